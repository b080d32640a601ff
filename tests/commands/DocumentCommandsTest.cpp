// New, Open, Close, Close All, Save, Save As, Save All and Exit with the user's answers.
#include <QDir>
#include <QTest>

#include <filesystem>

#include "CommandFixtures.h"
#include "CommandTests.h"
#include "ScriptedAsk.h"
#include "commands/DocumentCommands.h"
#include "commands/ViewCommands.h"
#include "core/Errors.h"

using namespace hv;
using namespace hv::test;

namespace {

QString SaveQuestionFor(const char* name) {
  return QStringLiteral("Do you want to save the changes to document '") + QString::fromLatin1(name) +
         QStringLiteral("'?");
}

}  // namespace

class DocumentCommandsTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TCommandWorld> World;
  std::unique_ptr<QTemporaryDir> Dir;
  std::filesystem::path StartDir;

  QString PathOf(const char* name) const { return Dir->filePath(QString::fromLatin1(name)); }
  TDocLogic* ModifiedDocument() {
    TDocLogic* doc = World->NewDocument();
    doc->InsertEntries({World->Lib.P101->Question}, -1);
    return doc;
  }

private slots:
  void init() {
    StartDir = std::filesystem::current_path();
    World = std::make_unique<TCommandWorld>();
    Dir = std::make_unique<QTemporaryDir>();
    QVERIFY(Dir->isValid());
  }
  void cleanup() {
    World.reset();
    Dir.reset();
    std::filesystem::current_path(StartDir);
  }

  void newForgetsOfferedResources() {
    World->Env.OfferedResources = {"R1"};
    RunCommand<TNewCmd>();
    QCOMPARE(World->App.Documents().size(), std::size_t{1});
    QVERIFY(World->Env.OfferedResources.empty());
  }

  void openCancelledChangesNothing() {
    TScriptedAsk ask;
    ask.ExpectOpenFileName(QString());
    World->Env.OfferedResources = {"R1"};
    RunCommand<TOpenCmd>();
    QVERIFY(ask.Verify());
    QVERIFY(World->App.Documents().empty());
    QCOMPARE(World->Env.OfferedResources.size(), std::size_t{1});
    QCOMPARE(ask.Last(TQuestionKind::OpenFileName)->Filter, QStringLiteral("Harrowvane Documents (*.kvd)"));
  }

  void openResetsTheWorkingDirectoryAlsoOnError() {
    World->Env.ProgramDir = QFile::encodeName(Dir->path()).toStdString();
    QDir(Dir->path()).mkdir(QStringLiteral("elsewhere"));
    // A file dialog is free to move the working directory.
    std::filesystem::current_path(QFile::encodeName(PathOf("elsewhere")).toStdString());
    TScriptedAsk ask;
    ask.ExpectOpenFileName(PathOf("missing.kvd"));
    QVERIFY_THROWS_EXCEPTION(EInOutError, RunCommand<TOpenCmd>());
    QVERIFY(ask.Verify());
    QCOMPARE(std::filesystem::current_path(), std::filesystem::path(World->Env.ProgramDir));
    QVERIFY(World->App.Documents().empty());
  }

  void openReadsWhatSaveAsWrote() {
    TDocLogic* doc = ModifiedDocument();
    {
      TScriptedAsk ask;
      ask.ExpectSaveFileName(PathOf("test.kvd"));
      RunCommand<TSaveCmd>();  // a new document has no name yet, so Save asks for one
      QVERIFY(ask.Verify());
    }
    QVERIFY(!doc->IsModified);
    QCOMPARE(doc->FileName, QFile::encodeName(PathOf("test.kvd")).toStdString());
    RunCommand<TCloseCmd>();
    QVERIFY(World->App.Documents().empty());
    TScriptedAsk ask;
    ask.ExpectOpenFileName(PathOf("test.kvd"));
    World->Env.OfferedResources = {"R1"};
    RunCommand<TOpenCmd>();
    QVERIFY(ask.Verify());
    QCOMPARE(World->App.Documents().size(), std::size_t{1});
    QCOMPARE(World->App.Documents().front()->Document->Entries.size(), std::size_t{1});
    QVERIFY(World->Env.OfferedResources.empty());
  }

  void saveAsSuggestsTheCurrentNameAndSaveReusesIt() {
    TDocLogic* doc = ModifiedDocument();
    {
      TScriptedAsk ask;
      ask.ExpectSaveFileName(PathOf("first.kvd"));
      RunCommand<TSaveAsCmd>();
      QVERIFY(ask.Verify());
      QCOMPARE(ask.Last(TQuestionKind::SaveFileName)->InitialName, QString());
    }
    doc->InsertEntries({World->Lib.P102->Question}, -1);
    {
      TScriptedAsk ask;  // no question: the document has its file
      RunCommand<TSaveCmd>();
    }
    QVERIFY(!doc->IsModified);
    TScriptedAsk ask;
    ask.ExpectSaveFileName(QString());
    RunCommand<TSaveAsCmd>();
    QVERIFY(ask.Verify());
    QCOMPARE(ask.Last(TQuestionKind::SaveFileName)->InitialName, PathOf("first.kvd"));
  }

  void closeAsksOnlyAboutChanges() {
    World->NewDocument();
    {
      TScriptedAsk ask;
      RunCommand<TCloseCmd>();
    }
    QVERIFY(World->App.Documents().empty());

    TDocLogic* doc = ModifiedDocument();
    {
      TScriptedAsk ask;
      ask.ExpectConfirm(SaveQuestionFor("Untitled"), TAskAnswer::Cancel);
      RunCommand<TCloseCmd>();
      QVERIFY(ask.Verify());
    }
    QCOMPARE(World->App.CurrentDocument(), doc);
    {
      // Yes runs Save, which runs Save As; cancelling that keeps the document open.
      TScriptedAsk ask;
      ask.ExpectConfirm(SaveQuestionFor("Untitled"), TAskAnswer::Yes).ExpectSaveFileName(QString());
      RunCommand<TCloseCmd>();
      QVERIFY(ask.Verify());
    }
    QCOMPARE(World->App.Documents().size(), std::size_t{1});
    QVERIFY(doc->IsModified);
    {
      TScriptedAsk ask;
      ask.ExpectConfirm(SaveQuestionFor("Untitled"), TAskAnswer::Yes).ExpectSaveFileName(PathOf("kept.kvd"));
      RunCommand<TCloseCmd>();
      QVERIFY(ask.Verify());
    }
    QVERIFY(World->App.Documents().empty());
    QVERIFY(QFile::exists(PathOf("kept.kvd")));

    ModifiedDocument();
    TScriptedAsk ask;
    ask.ExpectConfirm(SaveQuestionFor("Untitled"), TAskAnswer::No);
    RunCommand<TCloseCmd>();
    QVERIFY(ask.Verify());
    QVERIFY(World->App.Documents().empty());
  }

  void closeAllKeepsWhatTheUserCancels() {
    World->NewDocument();
    TDocLogic* middle = ModifiedDocument();
    World->NewDocument();
    TScriptedAsk ask;
    ask.ExpectConfirm(SaveQuestionFor("Untitled"), TAskAnswer::Cancel);
    RunCommand<TCloseAllCmd>();
    QVERIFY(ask.Verify());
    QCOMPARE(World->App.Documents().size(), std::size_t{1});
    QCOMPARE(World->App.Documents().front().get(), middle);
    QCOMPARE(World->App.CurrentDocument(), middle);
  }

  void closeAllWorksWithoutACurrentDocument() {
    World->NewDocument();
    World->NewDocument();
    World->App.SetCurrentDocument(nullptr);
    TScriptedAsk ask;
    RunCommand<TCloseAllCmd>();
    QVERIFY(World->App.Documents().empty());
  }

  void saveAllStopsAtACancelledSaveAs() {
    TDocLogic* first = ModifiedDocument();
    TDocLogic* second = ModifiedDocument();
    TScriptedAsk ask;
    ask.ExpectSaveFileName(QString());
    RunCommand<TSaveAllCmd>();
    QVERIFY(ask.Verify());
    QVERIFY(first->IsModified);
    QVERIFY(second->IsModified);
    QCOMPARE(World->App.CurrentDocument(), first);
  }

  void saveAllSavesNamedDocumentsWithoutAsking() {
    TDocLogic* named = ModifiedDocument();
    {
      TScriptedAsk ask;
      ask.ExpectSaveFileName(PathOf("named.kvd"));
      RunCommand<TSaveAsCmd>();
    }
    named->InsertEntries({World->Lib.P102->Question}, -1);
    TDocLogic* unnamed = ModifiedDocument();
    TDocLogic* clean = World->NewDocument();
    TScriptedAsk ask;
    ask.ExpectSaveFileName(PathOf("unnamed.kvd"));
    RunCommand<TSaveAllCmd>();
    QVERIFY(ask.Verify());
    QVERIFY(!named->IsModified && !unnamed->IsModified);
    QVERIFY(clean->FileName.empty());
  }

  void exitEndsOnlyWhenEveryDocumentClosed() {
    ModifiedDocument();
    {
      TScriptedAsk ask;
      ask.ExpectConfirm(SaveQuestionFor("Untitled"), TAskAnswer::Cancel);
      RunCommand<TExitCmd>();
      QVERIFY(ask.Verify());
    }
    QCOMPARE(World->QuitCalls, 0);
    QCOMPARE(World->App.Documents().size(), std::size_t{1});
    TScriptedAsk ask;
    ask.ExpectConfirm(SaveQuestionFor("Untitled"), TAskAnswer::No);
    RunCommand<TExitCmd>();
    QVERIFY(ask.Verify());
    QCOMPARE(World->QuitCalls, 1);
  }

  void enablingFollowsTheCurrentDocument() {
    QAction close, saveAs, save, saveAll;
    std::unique_ptr<TCommand> c1(TCommand::Create<TCloseCmd>(nullptr, &close, nullptr));
    std::unique_ptr<TCommand> c2(TCommand::Create<TSaveAsCmd>(nullptr, &saveAs, nullptr));
    std::unique_ptr<TCommand> c3(TCommand::Create<TSaveCmd>(nullptr, &save, nullptr));
    std::unique_ptr<TCommand> c4(TCommand::Create<TSaveAllCmd>(nullptr, &saveAll, nullptr));
    QVERIFY(!close.isEnabled() && !saveAs.isEnabled() && !save.isEnabled() && !saveAll.isEnabled());
    TDocLogic* doc = World->NewDocument();
    QVERIFY(close.isEnabled() && saveAs.isEnabled() && !save.isEnabled() && !saveAll.isEnabled());
    doc->InsertEntries({World->Lib.P101->Question}, -1);
    QVERIFY(save.isEnabled() && saveAll.isEnabled());
    // A derived document arrives modified; Save All must offer to save it.
    doc->IsModified = false;
    doc->Notify({AppCode::Modified});
    QVERIFY(!saveAll.isEnabled());
    World->App.CreateMarkSchemeDocument();
    QVERIFY(saveAll.isEnabled());
  }

  void documentFilterInQtSyntax() {
    QCOMPARE(DocumentFilter(), QStringLiteral("Harrowvane Documents (*.kvd)"));
    QCOMPARE(QtFileFilter(QStringLiteral("Rich Text Format|*.rtf")), QStringLiteral("Rich Text Format (*.rtf)"));
    QCOMPARE(QtFileFilter(QStringLiteral("Lists|*.ptx;*.csv|All files|*")),
             QStringLiteral("Lists (*.ptx *.csv);;All files (*)"));
  }
};

int RunDocumentCommandTests(int argc, char** argv) {
  DocumentCommandsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "DocumentCommandsTest.moc"
