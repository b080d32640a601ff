// Previous, Next, Back and the six related commands over a library with cross-links.
#include <QAction>
#include <QTest>

#include "CommandFixtures.h"
#include "CommandTests.h"
#include "ScriptedAsk.h"
#include "commands/BrowseCommands.h"

using namespace hv;
using namespace hv::test;

namespace {

template <class TCmd>
bool Enabled() {
  TCmd cmd;
  return cmd.IsEnabled();
}

TTextSegment* Selected() { return AppLogic().SelectedSegment(); }

}  // namespace

class BrowseCommandsTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TCommandWorld> World;

  // What following a link from the Viewer looks like: the item alone, from no list.
  void Show(TTextSegment* segment) { World->App.SelectItem(segment, nullptr, true); }

private slots:
  void init() { World = std::make_unique<TCommandWorld>(); }
  void cleanup() { World.reset(); }

  void previousAndNextWalkTheCurrentList() {
    QVERIFY(!Enabled<TPrevCmd>() && !Enabled<TNextCmd>());
    World->Click(World->Results(), 0);
    QVERIFY(!Enabled<TPrevCmd>() && Enabled<TNextCmd>());
    RunCommand<TNextCmd>();
    QCOMPARE(World->App.CurrentIndex(), 1);
    QCOMPARE(Selected(), static_cast<TTextSegment*>(World->Lib.P102->Question));
    QVERIFY(World->App.SelectionSource() == World->Results());
    QVERIFY(ViewerViewManager().Visible());
    RunCommand<TNextCmd>();
    RunCommand<TNextCmd>();
    QVERIFY(Enabled<TPrevCmd>() && !Enabled<TNextCmd>());
    RunCommand<TPrevCmd>();
    QCOMPARE(Selected(), static_cast<TTextSegment*>(World->Lib.P103->Question));
    World->App.SetCurrentList(World->Results(), -1);
    QVERIFY(!Enabled<TPrevCmd>() && !Enabled<TNextCmd>());

    // Browsing a document: Next wakes up when the document grows past its last entry.
    QAction next;
    std::unique_ptr<TCommand> cmd(TCommand::Create<TNextCmd>(nullptr, &next, nullptr));
    TDocLogic* doc = World->DocumentWith({World->Lib.P101->Question});
    World->Click(World->Entries(doc), 0);
    doc->InsertEntries({World->Lib.P102->Question}, -1);
    QVERIFY(next.isEnabled());
  }

  void browsingForgetsTheHistory() {
    World->Click(World->Results(), 1);
    RunCommand<TRelatedMarkSchemeCmd>();
    QVERIFY(Enabled<TBackCmd>());
    RunCommand<TBackCmd>();
    QCOMPARE(Selected(), static_cast<TTextSegment*>(World->Lib.P102->Question));
    QVERIFY(World->App.SelectionSource() == World->Results());
    QVERIFY(!Enabled<TBackCmd>());
    RunCommand<TRelatedMarkSchemeCmd>();
    RunCommand<TNextCmd>();
    QVERIFY(!Enabled<TBackCmd>());
  }

  void markSchemeOfTheNearestIdentityThatHasOne() {
    auto& lib = World->Lib;
    Show(lib.P101->Question);  // no mark scheme of its own; the paper's
    QVERIFY(Enabled<TRelatedMarkSchemeCmd>());
    RunCommand<TRelatedMarkSchemeCmd>();
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.P1->MarkScheme));
    QCOMPARE(World->App.History().size(), std::size_t{1});
    // From the paper's mark scheme nothing above has one.
    QVERIFY(!Enabled<TRelatedMarkSchemeCmd>());
    Show(lib.P102->Question);
    RunCommand<TRelatedMarkSchemeCmd>();
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.P102->MarkScheme));
    RunCommand<TRelatedMarkSchemeCmd>();  // the enclosing item's mark scheme
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.P1->MarkScheme));
    RunCommand<TBackCmd>();
    RunCommand<TBackCmd>();
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.P102->Question));
  }

  void reportsAndNotes() {
    auto& lib = World->Lib;
    Show(lib.P101->Question);
    QVERIFY(!Enabled<TRelatedExaminersReportCmd>());
    QVERIFY(!Enabled<TRelatedNoteCmd>());
    Show(lib.P103->Question);
    RunCommand<TRelatedExaminersReportCmd>();
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.P103->ExaminersReport));
    Show(lib.S11->Syllabus);
    RunCommand<TRelatedNoteCmd>();
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.S11->Note));
  }

  void noteOnAStatementLeadsToThatStatement() {
    auto& lib = World->Lib;
    Show(lib.S11->Note);
    TRelatedSyllabusCmd cmd;
    QVERIFY(cmd.IsEnabled());
    QCOMPARE(cmd.Target(), lib.S11);
    cmd.Execute(nullptr);
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.S11->Syllabus));
    // A note whose node has no statement, under a node without one either.
    Show(lib.S13->Note);
    QVERIFY(!Enabled<TRelatedSyllabusCmd>());
  }

  void statementWithOneRelatedQuestionJumpsStraightThere() {
    auto& lib = World->Lib;
    Show(lib.S11->Syllabus);
    TScriptedAsk ask;  // no dialog
    RunCommand<TRelatedQuestionsCmd>();
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.P101->Question));
    QVERIFY(ViewerViewManager().Visible());
  }

  void statementWithThreeRelatedQuestionsOffersThemInOrder() {
    auto& lib = World->Lib;
    Show(lib.S12->Syllabus);
    {
      TScriptedAsk ask;
      ask.ExpectChooseOne(-1);
      RunCommand<TRelatedQuestionsCmd>();
      QVERIFY(ask.Verify());
      const std::vector<TTextSegment*> offered = ask.Last(TQuestionKind::ChooseOne)->Items;
      QCOMPARE(offered, (std::vector<TTextSegment*>{lib.P102->Question, lib.P103->Question, lib.P201->Question}));
      QCOMPARE(ask.Last(TQuestionKind::ChooseOne)->Text, QStringLiteral("Related Information"));
    }
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.S12->Syllabus));  // cancelled: nothing moves
    QVERIFY(World->App.History().empty());
    TScriptedAsk ask;
    ask.ExpectChooseOne(2);
    RunCommand<TRelatedQuestionsCmd>();
    QVERIFY(ask.Verify());
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.P201->Question));
    QCOMPARE(World->App.History().size(), std::size_t{1});
  }

  void questionsOfAResourceComeFromATemporarySearch() {
    auto& lib = World->Lib;
    TQuestionSelector& finder = *World->App.Selector();
    finder.SetTopicCriterion(lib.Waves, true);
    const std::vector<TQuestion*> results = finder.Results();
    Show(lib.R1->Resource);
    QVERIFY(Enabled<TRelatedQuestionsCmd>());
    QVERIFY(!Enabled<TRelatedSyllabusCmd>());
    TScriptedAsk ask;
    ask.ExpectChooseOne(1);
    RunCommand<TRelatedQuestionsCmd>();
    QVERIFY(ask.Verify());
    QCOMPARE(ask.Last(TQuestionKind::ChooseOne)->Items,
             (std::vector<TTextSegment*>{lib.P102->Question, lib.P103->Question}));
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.P103->Question));
    QVERIFY(!ViewerViewManager().Visible());
    QCOMPARE(finder.Results(), results);  // the Question Finder's search is untouched
    QCOMPARE(finder.TopicCriterion(), lib.Waves);
  }

  void questionRelatedToSeveralStatements() {
    auto& lib = World->Lib;
    Show(lib.P101->Question);
    RunCommand<TRelatedSyllabusCmd>();
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.S11->Syllabus));
    Show(lib.P103->Question);
    TScriptedAsk ask;
    ask.ExpectChooseOne(1);
    RunCommand<TRelatedSyllabusCmd>();
    QVERIFY(ask.Verify());
    QCOMPARE(ask.Last(TQuestionKind::ChooseOne)->Items,
             (std::vector<TTextSegment*>{lib.S12->Syllabus, lib.S14->Syllabus}));
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.S14->Syllabus));
  }

  void questionsOfAParentMarkScheme() {
    // From the paper's mark scheme the walk starts at the paper, which has no question.
    Show(World->Lib.P1->MarkScheme);
    QVERIFY(!Enabled<TRelatedQuestionsCmd>());
    QVERIFY(Enabled<TRelatedSyllabusCmd>() == false);
    Show(World->Lib.P102->MarkScheme);
    RunCommand<TRelatedQuestionsCmd>();
    QCOMPARE(Selected(), static_cast<TTextSegment*>(World->Lib.P102->Question));
  }

  void resourcesOfAQuestion() {
    auto& lib = World->Lib;
    Show(lib.P101->Question);
    QVERIFY(!Enabled<TRelatedResourceCmd>());
    Show(lib.P102->Question);
    RunCommand<TRelatedResourceCmd>();
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.R1->Resource));
    Show(lib.P103->Question);
    {
      TScriptedAsk ask;
      ask.ExpectChooseOne(-1);
      RunCommand<TRelatedResourceCmd>();
      QVERIFY(ask.Verify());
      QCOMPARE(ask.Last(TQuestionKind::ChooseOne)->Items,
               (std::vector<TTextSegment*>{lib.R1->Resource, lib.R2->Resource}));
    }
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.P103->Question));
    QVERIFY(World->App.History().empty());

    // A resource without a text among several is named, and the others are still offered.
    lib.P103->Question->Resources = {lib.R1, TRelatedLibrary::Node(lib.R2, "X", "Lost"), lib.R2};
    TScriptedAsk ask;
    ask.ExpectWarning(QStringLiteral("No text for ID: RR2X")).ExpectChooseOne(1);
    RunCommand<TRelatedResourceCmd>();
    QCOMPARE(Selected(), static_cast<TTextSegment*>(lib.R2->Resource));
    // A resource no question uses says so.
    ask.ExpectMessage(QStringLiteral("No question uses the resource RR1Y."));
    Show(TRelatedLibrary::Node(lib.R1, "Y", "Spare")->AddResource());
    RunCommand<TRelatedQuestionsCmd>();
    QVERIFY(ask.Verify());
  }

  void severalSelectedItemsDisableEveryRelatedCommand() {
    World->ClickRange(World->Results(), 0, 1);
    QVERIFY(!Enabled<TRelatedQuestionsCmd>() && !Enabled<TRelatedMarkSchemeCmd>() &&
            !Enabled<TRelatedExaminersReportCmd>() && !Enabled<TRelatedResourceCmd>() &&
            !Enabled<TRelatedSyllabusCmd>() && !Enabled<TRelatedNoteCmd>());
  }

  void anEntryStandsForItsSegment() {
    TDocLogic* doc = World->DocumentWith({World->Lib.P102->Question});
    World->Click(World->Entries(doc), 0);
    RunCommand<TRelatedExaminersReportCmd>();
    QCOMPARE(Selected(), static_cast<TTextSegment*>(World->Lib.P102->ExaminersReport));
    RunCommand<TBackCmd>();
    // Back to the entry itself, which is the document's current row again.
    QCOMPARE(World->App.SelectedItem(), static_cast<TStreamable*>(doc->Document->Entries[0]));
    QVERIFY(World->App.SelectionSource() == World->Entries(doc));
  }
};

int RunBrowseCommandTests(int argc, char** argv) {
  BrowseCommandsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "BrowseCommandsTest.moc"
