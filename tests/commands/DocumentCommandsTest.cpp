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

// A disk that is full from the first byte.
class TFullDisk : public TStream {
public:
  std::size_t Read(void*, std::size_t) override { return 0; }
  void Write(const void*, std::size_t) override { throw EInOutError("Write error: No space left on device"); }
  std::int64_t Seek(std::int64_t p) override { return p; }
  std::int64_t SeekEnd() override { return 0; }
  std::int64_t Position() const override { return 0; }
  std::int64_t Size() const override { return 0; }
};

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

  // Another program rewrote the file after it was opened: Save asks, No keeps both the file and
  // the unsaved changes, Yes overwrites.
  void saveAsksBeforeOverwritingAnotherProgramsChange() {
    TDocLogic* doc = ModifiedDocument();
    doc->SaveToFile(QFile::encodeName(PathOf("shared.kvd")).toStdString());
    doc->InsertEntries({World->Lib.P102->Question}, -1);
    {
      QFile theirs(PathOf("shared.kvd"));
      QVERIFY(theirs.open(QIODevice::Append));
      theirs.write("their change");
    }
    const QString question = QStringLiteral("\"shared.kvd\" was changed by another program since it was opened here. "
                                            "Saving now replaces that change with this test. Save anyway?");
    {
      TScriptedAsk ask;
      ask.ExpectConfirm(question, TAskAnswer::No);
      RunCommand<TSaveCmd>();
      QVERIFY(ask.Verify());
    }
    QVERIFY(doc->IsModified);
    TScriptedAsk ask;
    ask.ExpectConfirm(question, TAskAnswer::Yes);
    RunCommand<TSaveCmd>();
    QVERIFY(ask.Verify());
    QVERIFY(!doc->IsModified);
  }

  // A text whose record could not be read is dropped only when the teacher says so.
  void saveAsksBeforeDroppingADamagedText() {
    TDocLogic* doc = ModifiedDocument();
    doc->InsertText(-1, "Broken", false, nullptr, 0, 0);
    doc->Document->Entries[1]->Damage = "Stream read error";
    doc->SaveToFile(QFile::encodeName(PathOf("first.kvd")).toStdString());
    doc->Document->Entries[1]->Damage = "Stream read error";  // as found at opening
    const QString question = QStringLiteral(
        "The text of entry 2, \"Broken\" could not be read when the test was opened. Drop it from the test before "
        "saving? No keeps it as a placeholder with a notice in place of the text.");
    doc->InsertEntries({World->Lib.P102->Question}, -1);
    {
      TScriptedAsk ask;
      ask.ExpectConfirm(question, TAskAnswer::Cancel);
      RunCommand<TSaveCmd>();
      QVERIFY(ask.Verify());
      QVERIFY(doc->IsModified);
    }
    TScriptedAsk ask;
    ask.ExpectConfirm(question, TAskAnswer::Yes);
    RunCommand<TSaveCmd>();
    QVERIFY(ask.Verify());
    QVERIFY(!doc->IsModified);
    QCOMPARE(doc->Document->Entries.size(), std::size_t{2});
    QVERIFY(doc->DamagedEntries().empty());
  }

  // Exit saves before it closes anything: a save that fails stops it with every document open,
  // and the error goes on to be shown.
  void exitStopsAtAFailedSaveWithEveryDocumentOpen() {
    TDocLogic* first = ModifiedDocument();
    first->SaveToFile(QFile::encodeName(PathOf("first.kvd")).toStdString());
    first->InsertEntries({World->Lib.P102->Question}, -1);
    first->SaveStreamFilter = [](TStream&) { return std::make_unique<TFullDisk>(); };
    World->NewDocument();
    TScriptedAsk ask;
    ask.ExpectConfirm(SaveQuestionFor("first.kvd"), TAskAnswer::Yes);
    QVERIFY_THROWS_EXCEPTION(EError, RunCommand<TExitCmd>());
    QVERIFY(ask.Verify());
    QCOMPARE(World->App.Documents().size(), std::size_t{2});
    QCOMPARE(World->QuitCalls, 0);
    QVERIFY(first->IsModified);
  }

  // Open and Save As start in the user's documents folder, then where the last file went.
  void fileDialogsStartInTheDocumentsFolderThenTheLastOneUsed() {
    ModifiedDocument();
    TScriptedAsk ask;
    ask.ExpectSaveFileName(PathOf("kept.kvd"));
    RunCommand<TSaveAsCmd>();
    ask.ExpectOpenFileName(QString());
    RunCommand<TOpenCmd>();
    QVERIFY(ask.Verify());
    QCOMPARE(ask.Last(TQuestionKind::OpenFileName)->Dir, Dir->path());
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
