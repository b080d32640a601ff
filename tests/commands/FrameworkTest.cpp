// Binding, routing and refreshing of commands, and the duplicate question of adding items.
#include <QAction>
#include <QTest>
#include <QToolButton>

#include <map>

#include "CommandFixtures.h"
#include "CommandTests.h"
#include "ScriptedAsk.h"
#include "commands/BrowseCommands.h"
#include "commands/DerivedCommands.h"
#include "commands/DocumentCommands.h"
#include "commands/EditCommands.h"
#include "commands/MainMenu.h"
#include "commands/Utility.h"
#include "core/Errors.h"

using namespace hv;
using namespace hv::test;

namespace {

// A command whose state the test sets, counting what it was asked to do.
class TProbeCmd : public TCommand {
public:
  bool Enabled = true;
  bool Checked = false;
  std::vector<QObject*> Senders;
  std::function<void()> Action;
  void Execute(QObject* sender) override {
    Senders.push_back(sender);
    if (Action) Action();
  }
  bool IsEnabled() override { return Enabled; }
  bool IsChecked() override { return Checked; }
};

// An application command that remembers whether it was registered while it ran.
class TRegisteredProbeCmd : public TAppCommand {
public:
  static inline std::size_t ObserversWhileRunning = 0;
  void Execute(QObject*) override { ObserversWhileRunning = AppLogic().ObserverCount(); }
};

class TThrowingCmd : public TCommand {
public:
  void Execute(QObject*) override { throw EDataError("Invalid ID: Q99"); }
};

}  // namespace

class FrameworkTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TCommandWorld> World;

private slots:
  void init() { World = std::make_unique<TCommandWorld>(); }
  void cleanup() { World.reset(); }

  void triggersRunOnlyEnabledCommandsWithTheirControlAsSender() {
    QAction menu;
    QToolButton button;
    auto* cmd = TCommand::Create<TProbeCmd>(nullptr, &menu, &button);
    std::unique_ptr<TProbeCmd> owned(cmd);
    menu.trigger();
    button.click();
    QCOMPARE(cmd->Senders, (std::vector<QObject*>{&menu, &button}));
    cmd->Enabled = false;
    cmd->UpdateState();
    QVERIFY(!menu.isEnabled());
    QVERIFY(!button.isEnabled());
    // Even a trigger that reaches a disabled command by another way does not run it.
    menu.setEnabled(true);
    menu.trigger();
    QCOMPARE(cmd->Senders.size(), std::size_t{2});
  }

  void oneActionForMenuAndToolbarRunsOnce() {
    QAction shared;
    std::unique_ptr<TProbeCmd> cmd(TCommand::Create<TProbeCmd>(nullptr, &shared, &shared));
    shared.trigger();
    QCOMPARE(cmd->Senders.size(), std::size_t{1});
  }

  void checkedStateReachesMenuAndButton() {
    QAction menu;
    QToolButton button;
    std::unique_ptr<TProbeCmd> cmd(TCommand::Create<TProbeCmd>(nullptr, &menu, &button));
    QVERIFY(!menu.isChecked());
    cmd->Checked = true;
    cmd->UpdateState();
    QVERIFY(menu.isCheckable() && menu.isChecked());
    QVERIFY(button.isChecked() && button.isDown());
    cmd->Checked = false;
    cmd->UpdateState();
    QVERIFY(!menu.isChecked());
    QVERIFY(!button.isChecked() && !button.isDown());
    // Clicking a checkable control toggles it; the command's own state wins afterwards.
    button.click();
    QVERIFY(!button.isChecked());
  }

  void controlsMayGoFirst() {
    auto menu = std::make_unique<QAction>();
    std::unique_ptr<TProbeCmd> cmd(TCommand::Create<TProbeCmd>(nullptr, menu.get(), nullptr));
    menu.reset();
    cmd->UpdateState();
    QVERIFY(cmd->MenuItem() == nullptr);
  }

  void buttonsMustBeActionsOrButtons() {
    TProbeCmd cmd;
    QObject notAControl;
    QVERIFY_THROWS_EXCEPTION(EError, cmd.Bind(nullptr, &notAControl));
  }

  void runCommandRegistersOnlyWhileRunning() {
    const std::size_t before = World->App.ObserverCount();
    RunCommand<TRegisteredProbeCmd>();
    QCOMPARE(TRegisteredProbeCmd::ObserversWhileRunning, before + 1);
    QCOMPARE(World->App.ObserverCount(), before);
  }

  void errorsOfTriggeredCommandsGoToAnErrorBox() {
    TScriptedAsk ask;
    ask.ExpectError(QStringLiteral("Invalid ID: Q99"));
    QAction menu;
    std::unique_ptr<TThrowingCmd> cmd(TCommand::Create<TThrowingCmd>(nullptr, &menu, nullptr));
    menu.trigger();
    QVERIFY(ask.Verify());
    // Run without controls, the error goes on to the caller.
    QVERIFY_THROWS_EXCEPTION(EDataError, RunCommand<TThrowingCmd>());
  }

  // Each command refreshes its control on its own codes and on no other: a control put in the
  // wrong state is corrected exactly when a notification carries one of them.
  void controlsRefreshOnTheirCodesOnly_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QList<int>>("codes");
    using namespace AppCode;
    auto row = [](const char* name, QList<int> codes) { QTest::newRow(name) << QString::fromLatin1(name) << codes; };
    row("TCloseCmd", {CurrentDoc});
    row("TCloseAllCmd", {CurrentDoc});
    row("TSaveCmd", {CurrentDoc, Modified});
    row("TSaveAsCmd", {CurrentDoc});
    row("TSaveAllCmd", {Modified, DocCreate});
    row("TPrevCmd", {CurrentList});
    row("TNextCmd", {CurrentList, Document});
    row("TBackCmd", {History});
    row("TRelatedQuestionsCmd", {CurrentSelection});
    row("TRelatedMarkSchemeCmd", {CurrentSelection});
    row("TRelatedExaminersReportCmd", {CurrentSelection});
    row("TRelatedResourceCmd", {CurrentSelection});
    row("TRelatedSyllabusCmd", {CurrentSelection});
    row("TRelatedNoteCmd", {CurrentSelection});
    row("TCutCmd", {CurrentDoc, CurrentSelection});
    row("TCopyCmd", {CurrentSelection});
    row("TPasteCmd", {CurrentDoc, ClipboardChanged});
    row("TClearCmd", {CurrentDoc, CurrentSelection});
    row("TSelectAllCmd", {CurrentList});
    row("TToggleNumberedCmd", {CurrentSelection, CurrentDoc, Document});
    row("TMoveToTopCmd", {CurrentSelection, CurrentDoc, Document});
    row("TMoveUpCmd", {CurrentSelection, CurrentDoc, Document});
    row("TMoveDownCmd", {CurrentSelection, CurrentDoc, Document});
    row("TMoveToBottomCmd", {CurrentSelection, CurrentDoc, Document});
    row("TCopyToDocCmd", {CurrentDoc, CurrentSelection});
    row("TCreateMarkSchemeCmd", {CurrentDoc, Document});
    row("TCreateReportCmd", {CurrentDoc, Document});
  }

  void controlsRefreshOnTheirCodesOnly() {
    QFETCH(QString, command);
    QFETCH(QList<int>, codes);
    TDocLogic* doc = World->NewDocument();
    World->App.NewDocument();
    TDocLogic* other = World->App.Documents().back().get();
    QAction action;
    std::unique_ptr<TCommand> cmd(FindCommandClass(command.toStdString())(nullptr, &action, nullptr));
    for (int code = AppCode::Document; code <= AppCode::ClipboardChanged; ++code) {
      if (code == AppCode::DocDestroy) continue;  // sent only by a closing document, tested on its own
      const bool documentCode = code == AppCode::Document || code == AppCode::Filename || code == AppCode::Modified;
      for (TObservable* sender : documentCode ? std::vector<TObservable*>{doc, other} : std::vector<TObservable*>{&World->App}) {
        action.setEnabled(!cmd->IsEnabled());
        sender->Notify({code});
        const bool refreshed = action.isEnabled() == cmd->IsEnabled();
        QVERIFY2(refreshed == codes.contains(code),
                 qPrintable(QStringLiteral("code %1 from %2").arg(code).arg(sender == &World->App ? QStringLiteral("AppLogic") : QStringLiteral("a document"))));
      }
    }
  }

  void saveAllRefreshesWhenADocumentCloses() {
    TDocLogic* doc = World->NewDocument();
    doc->InsertEntries({World->Lib.P101->Question}, -1);
    QAction action;
    std::unique_ptr<TCommand> cmd(FindCommandClass("TSaveAllCmd")(nullptr, &action, nullptr));
    QVERIFY(action.isEnabled());
    doc->Close();
    QVERIFY(!action.isEnabled());
  }

  void saveFollowsTheCurrentDocumentsModifiedState() {
    TDocLogic* first = World->NewDocument();
    World->App.NewDocument();
    TDocLogic* second = World->App.Documents().back().get();
    QAction save;
    std::unique_ptr<TCommand> cmd(FindCommandClass("TSaveCmd")(nullptr, &save, nullptr));
    QVERIFY(!save.isEnabled());
    second->InsertEntries({World->Lib.P101->Question}, -1);
    QVERIFY(!save.isEnabled());  // not the current document
    World->App.SetCurrentDocument(second);
    QVERIFY(save.isEnabled());
    World->App.SetCurrentDocument(first);
    QVERIFY(!save.isEnabled());
    first->InsertEntries({World->Lib.P102->Question}, -1);
    QVERIFY(save.isEnabled());
  }

  void assignSymbolsNumbersTypesAndLevels() {
    AssignSymbols(*World->App.Library());
    QCOMPARE(CategorySymbol(World->Lib.Short), 1);
    QCOMPARE(CategorySymbol(World->Lib.Long), 2);
    QCOMPARE(CategorySymbol(World->Lib.Core), 17);
    QCOMPARE(CategorySymbol(World->Lib.Extended), 18);
    QCOMPARE(CategorySymbol(World->App.Library()->Levels), 0);  // roots have none
    QCOMPARE(CategorySymbol(World->Lib.Mechanics), 0);          // nor topics
    QCOMPARE(ClassIcon(World->Lib.P101->Question), 1);
    QCOMPARE(ClassIcon(World->Lib.P1->MarkScheme), 2);
    QCOMPARE(ClassIcon(World->Lib.S11->Syllabus), 3);
    QCOMPARE(ClassIcon(World->Lib.P102->ExaminersReport), 4);
    QCOMPARE(ClassIcon(World->Lib.S11->Note), 7);
    QCOMPARE(ClassIcon(World->Lib.R1->Resource), 0);
    // A second call starts again rather than adding to the old numbers.
    AssignSymbols(*World->App.Library());
    QCOMPARE(CategorySymbol(World->Lib.Long), 2);
  }

  void addItemsAsksAboutEachDuplicate() {
    auto& lib = World->Lib;
    TDocLogic* doc = World->DocumentWith({lib.P101->Question, lib.P102->Question});
    const QString question = QStringLiteral("Untitled already contains QP101. Do you want to include it again?");
    {
      TScriptedAsk ask;
      ask.ExpectConfirm(question, TAskAnswer::No);
      AddItemsToDocument(*doc, {lib.P103->Question, lib.P101->Question}, -1);
      QVERIFY(ask.Verify());
    }
    QCOMPARE(doc->Document->Entries.size(), std::size_t{3});
    QCOMPARE(doc->Document->Entries.back()->Segment, static_cast<TTextSegment*>(lib.P103->Question));
    {
      TScriptedAsk ask;
      ask.ExpectConfirm(question, TAskAnswer::Yes);
      AddItemsToDocument(*doc, {lib.P201->Question, lib.P101->Question}, 0);
      QVERIFY(ask.Verify());
    }
    QCOMPARE(doc->Document->Entries.size(), std::size_t{5});
    QCOMPARE(doc->Document->Entries[0]->Segment, static_cast<TTextSegment*>(lib.P201->Question));
    QCOMPARE(doc->Document->Entries[1]->Segment, static_cast<TTextSegment*>(lib.P101->Question));
  }

  void addItemsThatAreAllDroppedLeavesTheDocumentAlone() {
    auto& lib = World->Lib;
    TDocLogic* doc = World->DocumentWith({lib.P101->Question, lib.R1->Resource});
    doc->IsModified = false;
    int notifications = 0;
    struct TCounter {
      int* N;
      void Changed(TObservable*, const TNotificationSet&) { ++*N; }
    } counter{&notifications};
    doc->AddObserver<&TCounter::Changed>(&counter);
    TScriptedAsk ask;
    ask.ExpectConfirm(QStringLiteral("Untitled already contains QP101. Do you want to include it again?"), TAskAnswer::No)
        .ExpectConfirm(QStringLiteral("Untitled already contains RR1. Do you want to include it again?"), TAskAnswer::No);
    // The resource node stands for its resource text, which the document already shows.
    AddItemsToDocument(*doc, {lib.P101->Question, lib.R1}, -1);
    QVERIFY(ask.Verify());
    doc->RemoveObserver<&TCounter::Changed>(&counter);
    QCOMPARE(notifications, 0);
    QVERIFY(!doc->IsModified);
    QCOMPARE(doc->Document->Entries.size(), std::size_t{2});
  }

  void addItemsInsertsAResourceNodeAsItsResource() {
    auto& lib = World->Lib;
    TDocLogic* doc = World->DocumentWith({lib.P101->Question});
    AddItemsToDocument(*doc, {lib.R2}, 0);
    QCOMPARE(doc->Document->Entries.front()->Segment, static_cast<TTextSegment*>(lib.R2->Resource));
    QVERIFY(!doc->Document->Entries.front()->Numbered);
  }
};

int RunFrameworkTests(int argc, char** argv) {
  FrameworkTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "FrameworkTest.moc"
