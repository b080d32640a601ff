// The search commands with the picker's three answers, the view managers and their commands, and
// the derived documents.
#include <QAction>
#include <QTest>

#include "CommandFixtures.h"
#include "CommandTests.h"
#include "ScriptedAsk.h"
#include "commands/DerivedCommands.h"
#include "commands/SearchCommands.h"
#include "commands/ViewCommands.h"
#include "core/Errors.h"

using namespace hv;
using namespace hv::test;

namespace {

class TRecorder {
public:
  std::vector<std::vector<int>> Codes;
  void Changed(TObservable*, const TNotificationSet& codes) { Codes.push_back(codes.Codes()); }
};

class TFakeWindow : public IToolWindow {
public:
  std::vector<std::string> Calls;
  void ShowNormal() override { Calls.push_back("normal"); }
  void ShowMinimized() override { Calls.push_back("minimized"); }
};

}  // namespace

class SearchViewDerivedTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TCommandWorld> World;

private slots:
  void init() { World = std::make_unique<TCommandWorld>(); }
  void cleanup() { World.reset(); }

  void cancellingThePickerChangesNothing() {
    TQuestionSelector& selector = *World->App.Selector();
    selector.SetLevelCriterion(World->Lib.Core, true);
    const auto results = selector.Results();
    TScriptedAsk ask;
    ask.ExpectPick(TPickResult::Cancel, World->Lib.Waves);
    RunCommand<TSearchByTopicCmd>();
    QVERIFY(ask.Verify());
    QCOMPARE(selector.Results(), results);
    QVERIFY(selector.Criterion(TClassification::Topic) == nullptr);
    QCOMPARE(ask.Last(TQuestionKind::PickCategory)->Current, World->Library->Topics);  // unset: the root
  }

  void startingASearchClearsTheOtherCriteria() {
    TQuestionSelector& selector = *World->App.Selector();
    selector.SetLevelCriterion(World->Lib.Core, true);
    TScriptedAsk ask;
    ask.ExpectPick(TPickResult::Start, World->Lib.Mechanics);
    RunCommand<TSearchByTopicCmd>();
    QVERIFY(ask.Verify());
    QVERIFY(selector.Criterion(TClassification::Level) == nullptr);
    QCOMPARE(selector.TopicCriterion(), World->Lib.Mechanics);
    QCOMPARE(selector.Results().size(), std::size_t{3});
    QVERIFY(World->App.CurrentList() == World->Results());
  }

  void continuingRefinesTheCurrentResults() {
    TQuestionSelector& selector = *World->App.Selector();
    selector.SetLevelCriterion(World->Lib.Core, true);
    TScriptedAsk ask;
    ask.ExpectPick(TPickResult::Continue, World->Lib.Long).ExpectPick(TPickResult::Start, World->Lib.Extended);
    RunCommand<TSearchByQuestionTypeCmd>();
    QCOMPARE(selector.LevelCriterion(), World->Lib.Core);
    QCOMPARE(selector.Results(), (std::vector<TQuestion*>{World->Lib.P201->Question}));
    // The level picker is preselected with the level criterion, which is not the only one set.
    RunCommand<TSearchByLevelCmd>();
    QVERIFY(ask.Verify());
    QCOMPARE(ask.Last(TQuestionKind::PickCategory)->Current, World->Lib.Core);
    QCOMPARE(selector.Results(), (std::vector<TQuestion*>{World->Lib.P102->Question, World->Lib.P103->Question}));
  }

  void thePickerIsToldWhetherContinuingDiffers() {
    struct TOptionsAsk : TScriptedAsk {
      std::vector<bool> Only;
      int AvailableCount = 0;
      TPickAnswer PickCategory(TCategory* root, const TSet& available, TCategory* current,
                               const TPickOptions& options) override {
        Only.push_back(options.OnlyCriterion);
        AvailableCount = available.Count();
        return TScriptedAsk::PickCategory(root, available, current, options);
      }
    } ask;
    ask.ExpectPick(TPickResult::Start, World->Lib.Paper2).ExpectPick(TPickResult::Cancel).ExpectPick(TPickResult::Cancel);
    RunCommand<TSearchByPaperCmd>();
    RunCommand<TSearchByPaperCmd>();
    QCOMPARE(ask.AvailableCount, 3);  // both papers and the root: the paper criterion is left out
    RunCommand<TSearchByIdentityCmd>();
    QVERIFY(ask.Verify());
    QCOMPARE(ask.Only, (std::vector<bool>{true, true, false}));
  }

  void pickingFromAnotherTreeIsRefused() {
    TScriptedAsk ask;
    ask.ExpectPick(TPickResult::Start, World->Lib.Core);
    QVERIFY_THROWS_EXCEPTION(EError, RunCommand<TSearchByTopicCmd>());
    QVERIFY(ask.Verify());
  }

  void viewManagersNotifyTheirOwnCodes() {
    TRecorder recorder;
    TTSListManager& list = TSListManager();
    list.AddObserver<&TRecorder::Changed>(&recorder);
    RunCommand<TViewMarkSchemeCmd>();
    RunCommand<TViewMarkSchemeCmd>();
    RunCommand<TViewResourceCmd>();
    RunCommand<TCloseTSListCmd>();
    RunCommand<TCloseTSListCmd>();
    RunCommand<TViewSyllabusCmd>();
    list.RemoveObserver<&TRecorder::Changed>(&recorder);
    using namespace ViewCode;
    QCOMPARE(recorder.Codes, (std::vector<std::vector<int>>{
                                 {ViewVisible, ListClass}, {ViewVisible}, {ViewVisible, ListClass}, {ViewVisible},
                                 {ViewVisible, ListClass}}));
    QCOMPARE(list.SegmentClass(), TSegmentClass::Syllabus);
    QVERIFY(list.Visible());
  }

  void toolWindowsAreRestoredAndMinimized() {
    TFakeWindow qf, viewer;
    QFViewManager().SetWindow(&qf);
    ViewerViewManager().SetWindow(&viewer);
    TRecorder recorder;
    QFViewManager().AddObserver<&TRecorder::Changed>(&recorder);
    RunCommand<TViewQFCmd>();
    RunCommand<TCloseQFCmd>();
    RunCommand<TViewQFCmd>();  // already visible: restored, no notification
    RunCommand<TViewViewerCmd>();
    RunCommand<TCloseViewerCmd>();
    QFViewManager().RemoveObserver<&TRecorder::Changed>(&recorder);
    QCOMPARE(qf.Calls, (std::vector<std::string>{"normal", "minimized", "normal"}));
    QCOMPARE(viewer.Calls, (std::vector<std::string>{"normal", "minimized"}));
    QCOMPARE(recorder.Codes, (std::vector<std::vector<int>>{{ViewCode::ViewVisible}}));
    QVERIFY(QFViewManager().Visible() && ViewerViewManager().Visible());
    QFViewManager().SetWindow(nullptr);
    ViewerViewManager().SetWindow(nullptr);
  }

  void dockingFollowsTheManager() {
    QAction dock;
    std::unique_ptr<TCommand> cmd(TCommand::Create<TDockQFCmd>(nullptr, &dock, nullptr));
    TRecorder recorder;
    QFViewManager().AddObserver<&TRecorder::Changed>(&recorder);
    QVERIFY(!dock.isChecked());
    dock.trigger();
    QVERIFY(QFViewManager().Docked() && dock.isChecked());
    QFViewManager().SetDocked(true);  // unchanged, still announced
    QFViewManager().SetDocked(false);
    QVERIFY(!dock.isChecked());
    QFViewManager().RemoveObserver<&TRecorder::Changed>(&recorder);
    QCOMPARE(recorder.Codes.size(), std::size_t{3});
    QVERIFY(!ViewerViewManager().Docked());
  }

  void derivedDocumentsNeedEntries() {
    QAction ms, report;
    std::unique_ptr<TCommand> c1(TCommand::Create<TCreateMarkSchemeCmd>(nullptr, &ms, nullptr));
    std::unique_ptr<TCommand> c2(TCommand::Create<TCreateReportCmd>(nullptr, &report, nullptr));
    TDocLogic* doc = World->NewDocument();
    QVERIFY(!ms.isEnabled() && !report.isEnabled());
    doc->InsertEntries({World->Lib.P101->Question, World->Lib.S11->Syllabus, World->Lib.P102->Question}, -1);
    QVERIFY(ms.isEnabled() && report.isEnabled());
    ms.trigger();
    QCOMPARE(World->App.Documents().size(), std::size_t{2});
    const TDocLogic* derived = World->App.Documents().back().get();
    QVERIFY(derived->IsModified);
    QCOMPARE(derived->Document->Entries.size(), std::size_t{2});
    QCOMPARE(derived->Document->Entries[0]->Segment->GetName(), World->Lib.P101->Question->GetName());
    QCOMPARE(derived->Document->Entries[1]->Segment, static_cast<TTextSegment*>(World->Lib.P102->MarkScheme));
  }

  // Start-up makes an empty document before the teacher opens a test: the report is the current
  // document's, numbered as its questions are, and nothing else becomes current.
  void reportComesFromTheCurrentDocument() {
    World->NewDocument();
    TDocLogic* test = World->NewDocument();
    test->InsertText(-1, "Starter", true, nullptr, 0, 0);
    test->InsertEntries({World->Lib.P102->Question, World->Lib.P103->Question}, -1);
    QAction report;
    std::unique_ptr<TCommand> cmd(TCommand::Create<TCreateReportCmd>(nullptr, &report, nullptr));
    QVERIFY(report.isEnabled());
    report.trigger();
    QCOMPARE(World->App.CurrentDocument(), test);
    QCOMPARE(World->App.Documents().size(), std::size_t{3});
    const auto& entries = World->App.Documents().back()->Document->Entries;
    QCOMPARE(entries.size(), std::size_t{2});
    QCOMPARE(entries[0]->Segment, static_cast<TTextSegment*>(World->Lib.P102->ExaminersReport));
    QCOMPARE(entries[1]->Segment, static_cast<TTextSegment*>(World->Lib.P103->ExaminersReport));
    QCOMPARE(entries[0]->Number, std::int16_t{2});
    QCOMPARE(entries[1]->Number, std::int16_t{3});
  }

  void reportWithoutADocumentIsAPlainMessage() {
    TScriptedAsk ask;
    ask.ExpectMessage(QStringLiteral("Please click on the test Document window before creating the Report"));
    RunCommand<TCreateReportCmd>();
    QVERIFY(ask.Verify());
    QVERIFY(World->App.Documents().empty());
  }
};

int RunSearchViewDerivedTests(int argc, char** argv) {
  SearchViewDerivedTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "SearchViewDerivedTest.moc"
