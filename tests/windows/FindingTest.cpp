// Finding and reading over the sample library: the Question Finder, the category picker, the
// Viewer, the related information dialog and the text list, driven as a user drives them.
#include <QDockWidget>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

#include <algorithm>
#include <set>

#include "FindingRig.h"
#include "WindowRig.h"
#include "commands/BrowseCommands.h"
#include "commands/ViewCommands.h"
#include "components/TextControl.h"
#include "components/TextStreamer.h"
#include "core/Errors.h"
#include "windows/Program.h"
#include "logic/DocLogic.h"
#include "logic/QuestionSelector.h"
#include "model/Document.h"
#include "model/TextStore.h"
#include "windows/QtAsk.h"
#include "windows/SizeablePanel.h"

using namespace hv;
using namespace hv::test;

namespace {

QRect RowRect(QAbstractItemView* view, int row) {
  const QModelIndex index = view->model()->index(row, 0);
  view->scrollTo(index);
  return view->visualRect(index);
}

void ClickRow(QAbstractItemView* view, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, RowRect(view, row).center());
}

void DoubleClickRow(QAbstractItemView* view, int row) {
  const QPoint at = RowRect(view, row).center();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

int RowOf(TPickForm* picker, const TCategory* category) {
  for (int i = 0; i < picker->CategoriesLB()->count(); ++i)
    if (picker->CategoryAt(i) == category) return i;
  return -1;
}

QString ViewerText(TFindingRig& rig) { return rig.Viewer->ViewerTX()->toPlainText(); }

bool HasTopicWithin(const TQuestion* q, const TCategory* topic) { return AnyWithin(topic, q->Topics); }

}  // namespace

class FindingTest : public QObject {
  Q_OBJECT

private slots:
  void typicalRequestFromSearchToSavedTest() {
    TFindingRig rig;
    rig.Ask.Picker = rig.Picker;
    QVERIFY(rig.QF->isVisible());
    QVERIFY(rig.Viewer->isVisible());
    // The first showing selects the first result, and the Viewer shows it.
    QCOMPARE(rig.QF->Results()->rowCount(), static_cast<int>(rig.Results().size()));
    QVERIFY(rig.QF->QuestionsLB()->selectionModel()->isRowSelected(0, {}));
    QCOMPARE(rig.Viewer->LoadedChunk(), rig.Results().front()->Chunk);

    TCategory* waves = TFindingRig::Find(rig.Library().Topics, QStringLiteral("Waves"));
    QVERIFY(waves != nullptr);
    bool pickerShownRight = false;
    WhenModal([&](QWidget* modal) {
      auto* picker = qobject_cast<TPickForm*>(modal);
      QVERIFY(picker != nullptr);
      // The topic criterion is unset, so the root comes preselected and only Start makes sense.
      pickerShownRight = picker->CategoriesLB()->currentRow() == 0 && picker->StartB()->isEnabled() &&
                         !picker->ContinueB()->isEnabled() && picker->StartB()->isDefault();
      ClickRow(picker->CategoriesLB(), RowOf(picker, waves));
      QTest::mouseClick(picker->StartB(), Qt::LeftButton);
    });
    QTest::mouseClick(rig.QF->CriterionButton(TClassification::Topic), Qt::LeftButton);
    QVERIFY(pickerShownRight);

    QCOMPARE(rig.Selector().TopicCriterion(), waves);
    const auto& results = rig.Results();
    QVERIFY(!results.empty());
    QVERIFY(std::all_of(results.begin(), results.end(), [&](TQuestion* q) { return HasTopicWithin(q, waves); }));
    QCOMPARE(rig.QF->Results()->rowCount(), static_cast<int>(results.size()));
    QCOMPARE(rig.QF->QuestionsLB()->selectionModel()->selectedRows().size(), 1);
    QVERIFY(rig.QF->QuestionsLB()->selectionModel()->isRowSelected(0, {}));
    QCOMPARE(rig.Viewer->LoadedChunk(), results.front()->Chunk);
    QVERIFY(!ViewerText(rig).trimmed().isEmpty());
    QVERIFY(!rig.Main->StatusP()->text().isEmpty());

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("waves.KVD"));
    rig.Main->Action(QStringLiteral("CopyToDocB"))->trigger();
    TDocLogic* doc = rig.App.CurrentDocument();
    QVERIFY(doc != nullptr);
    QCOMPARE(doc->Document->Entries.size(), std::size_t{1});
    QCOMPARE(doc->Document->Entries.front()->Segment, static_cast<TTextSegment*>(results.front()));
    QVERIFY(rig.Main->Action(QStringLiteral("SaveB"))->isEnabled());

    rig.Ask.ExpectSaveFileName(file);
    rig.Main->Action(QStringLiteral("SaveB"))->trigger();
    QVERIFY(rig.Ask.Verify());
    QVERIFY(QFile::exists(file));
    QVERIFY(!rig.Main->Action(QStringLiteral("SaveB"))->isEnabled());
  }

  void continuingRefinesAndStartingRescans() {
    TFindingRig rig;
    rig.Ask.Picker = rig.Picker;
    TCategory* higher = TFindingRig::Find(rig.Library().Levels, QStringLiteral("Higher"));
    TCategory* mechanics = TFindingRig::Find(rig.Library().Topics, QStringLiteral("Mechanics"));
    rig.Selector().SetLevelCriterion(higher, true);
    const std::vector<TQuestion*> higherOnly = rig.Results();

    // Another criterion is set, so continuing differs from starting and is the default.
    bool continueOffered = false;
    WhenModal([&](QWidget* modal) {
      auto* picker = static_cast<TPickForm*>(modal);
      ClickRow(picker->CategoriesLB(), RowOf(picker, mechanics));
      continueOffered = picker->ContinueB()->isEnabled() && picker->ContinueB()->isDefault() && !picker->StartB()->isDefault();
      QTest::mouseClick(picker->ContinueB(), Qt::LeftButton);
    });
    QTest::mouseClick(rig.QF->CriterionButton(TClassification::Topic), Qt::LeftButton);
    QVERIFY(continueOffered);
    std::vector<TQuestion*> expected;
    std::copy_if(higherOnly.begin(), higherOnly.end(), std::back_inserter(expected),
                 [&](TQuestion* q) { return HasTopicWithin(q, mechanics); });
    QVERIFY(!expected.empty());
    QVERIFY(expected == rig.Results());
    QCOMPARE(rig.Selector().LevelCriterion(), higher);

    // Starting with the same topic forgets the level.
    WhenModal([&](QWidget* modal) { QTest::mouseClick(static_cast<TPickForm*>(modal)->StartB(), Qt::LeftButton); });
    QTest::mouseClick(rig.QF->CriterionButton(TClassification::Topic), Qt::LeftButton);
    QCOMPARE(rig.Selector().Criterion(TClassification::Level), nullptr);
    QCOMPARE(rig.Selector().TopicCriterion(), mechanics);
    QVERIFY(rig.Results().size() > expected.size());

    // Now the topic is the only criterion: Continue is off and Start is the default.
    bool onlyStart = false;
    WhenModal([&](QWidget* modal) {
      auto* picker = static_cast<TPickForm*>(modal);
      onlyStart = !picker->ContinueB()->isEnabled() && picker->StartB()->isDefault();
      QTest::keyClick(picker, Qt::Key_Escape);
    });
    QTest::mouseClick(rig.QF->CriterionButton(TClassification::Topic), Qt::LeftButton);
    QVERIFY(onlyStart);
  }

  void greyedCategoryDisablesContinue() {
    TFindingRig rig;
    rig.Ask.Picker = rig.Picker;
    TCategory* paper1 = TFindingRig::Find(rig.Library().Papers, QStringLiteral("Paper 1"));
    TCategory* waves = TFindingRig::Find(rig.Library().Topics, QStringLiteral("Waves"));
    TCategory* energy = TFindingRig::Find(rig.Library().Topics, QStringLiteral("Mechanics/Energy"));
    rig.Selector().SetPaperCriterion(paper1, true);
    // Paper 1 has no waves questions; energy is on it.
    bool checked = false;
    WhenModal([&](QWidget* modal) {
      auto* picker = static_cast<TPickForm*>(modal);
      QVERIFY(!picker->IsAvailable(waves));
      QVERIFY(picker->IsAvailable(energy));
      ClickRow(picker->CategoriesLB(), RowOf(picker, waves));
      checked = picker->Picked() == waves && !picker->ContinueB()->isEnabled() && picker->StartB()->isEnabled() &&
                picker->StartB()->isDefault();
      QTest::mouseClick(picker->CancelB(), Qt::LeftButton);
    });
    const std::vector<TQuestion*> before = rig.Results();
    QTest::mouseClick(rig.QF->CriterionButton(TClassification::Topic), Qt::LeftButton);
    QVERIFY(checked);
    // Cancel keeps everything, even after a row was clicked.
    QVERIFY(before == rig.Results());
    QCOMPARE(rig.Selector().Criterion(TClassification::Topic), nullptr);
  }

  void grandchildCriterionSelectsNothingInTheOutline() {
    TFindingRig rig;
    rig.Ask.Picker = rig.Picker;
    TCategory* forces = TFindingRig::Find(rig.Library().Topics, QStringLiteral("Mechanics/Forces"));
    rig.Selector().SetTopicCriterion(forces, true);
    bool checked = false;
    WhenModal([&](QWidget* modal) {
      auto* picker = static_cast<TPickForm*>(modal);
      checked = !picker->Sorted() && picker->CategoriesLB()->selectedItems().isEmpty() && picker->Picked() == nullptr &&
                !picker->StartB()->isEnabled() && !picker->ContinueB()->isEnabled();
      QTest::keyClick(picker, Qt::Key_Escape);
    });
    QTest::mouseClick(rig.QF->CriterionButton(TClassification::Topic), Qt::LeftButton);
    QVERIFY(checked);
    QCOMPARE(rig.Selector().TopicCriterion(), forces);
  }

  void outlineRowsExpandAndCollapse() {
    TFindingRig rig(false);
    TPickForm* picker = rig.Picker;
    TIdentityCategory* tree = rig.Library().QuestionTree;
    TCategory* paper1 = tree->Children.front();
    const std::unique_ptr<TSet> available = rig.Selector().AvailableIdentities();
    // A question in parts gives a third level to collapse with its paper.
    auto inParts = std::find_if(paper1->Children.begin(), paper1->Children.end(),
                                [](TCategory* c) { return !c->Children.empty(); });
    QVERIFY(inParts != paper1->Children.end());
    const int partsIndex = static_cast<int>(inParts - paper1->Children.begin());
    const int rootRows = 1 + static_cast<int>(tree->Children.size());
    QStringList seen;
    WhenModal([&](QWidget*) {
      QListWidget* list = picker->CategoriesLB();
      auto count = [&] { seen << QString::number(list->count()); };
      count();
      DoubleClickRow(list, 0);  // the root row changes nothing
      count();
      DoubleClickRow(list, 1);  // the first paper opens under itself
      count();
      if (!picker->IsExpanded(1) || picker->CategoryAt(2) != paper1->Children.front()) seen << QStringLiteral("not expanded");
      DoubleClickRow(list, 2 + partsIndex);
      count();
      DoubleClickRow(list, 2 + partsIndex + 1);  // a part is a leaf
      count();
      DoubleClickRow(list, 1);  // closing the paper takes the open parts with it
      count();
      if (picker->IsExpanded(1)) seen << QStringLiteral("still expanded");
      const int last = list->count() - 1;
      DoubleClickRow(list, last);  // the last row appends its children
      count();
      QTest::mouseClick(picker->CancelB(), Qt::LeftButton);
    });
    TCategory* current = tree;
    QCOMPARE(picker->Pick(tree, *available, current, true), TPickResult::Cancel);
    const int papers = static_cast<int>(paper1->Children.size());
    const int parts = static_cast<int>((*inParts)->Children.size());
    const int lastChildren = static_cast<int>(tree->Children.back()->Children.size());
    QCOMPARE(seen, (QStringList{QString::number(rootRows), QString::number(rootRows), QString::number(rootRows + papers),
                               QString::number(rootRows + papers + parts), QString::number(rootRows + papers + parts),
                               QString::number(rootRows), QString::number(rootRows + lastChildren)}));
    QCOMPARE(current, static_cast<TCategory*>(tree));
  }

  // Enter presses the focused button, not the default one; a click on a marker opens its branch.
  void pickerTakesEnterOnTheFocusedButtonAndClicksOnMarkers() {
    TFindingRig rig(false);
    TPickForm* picker = rig.Picker;
    TIdentityCategory* tree = rig.Library().QuestionTree;
    const std::unique_ptr<TSet> available = rig.Selector().AvailableIdentities();
    int rows = 0;
    WhenModal([&](QWidget*) {
      const QRect paper = picker->CategoriesLB()->visualItemRect(picker->CategoriesLB()->item(1));
      QTest::mouseClick(picker->CategoriesLB()->viewport(), Qt::LeftButton, {}, paper.topLeft() + QPoint(16, 6));
      rows = picker->CategoriesLB()->count();
      picker->StartB()->setFocus();  // Continue is the default
      QTest::keyClick(picker->StartB(), Qt::Key_Return);
    });
    TCategory* current = tree->Children.front();
    QCOMPARE(picker->Pick(tree, *available, current, false), TPickResult::Start);
    QCOMPARE(rows, 1 + static_cast<int>(tree->Children.size() + tree->Children.front()->Children.size()));
  }

  void alphabeticalListingIsKeptAndOnlyForTopics() {
    TFindingRig rig(false);
    TPickForm* picker = rig.Picker;
    const std::unique_ptr<TSet> topics = rig.Selector().AvailableTopics();
    const std::unique_ptr<TSet> levels = rig.Selector().AvailableLevels();
    QStringList sorted;
    WhenModal([&](QWidget*) {
      QVERIFY(picker->AlphaB()->isVisible());
      QTest::mouseClick(picker->AlphaB(), Qt::LeftButton);
      for (int i = 1; i < picker->CategoriesLB()->count(); ++i) sorted << picker->CategoriesLB()->item(i)->text();
      QTest::keyClick(picker, Qt::Key_Escape);
    });
    TCategory* current = rig.Library().Topics;
    picker->Pick(rig.Library().Topics, *topics, current, true);
    // Every topic of the tree, subtopics included, in alphabetical order.
    QCOMPARE(sorted.size(), 19);
    QStringList ordered = sorted;
    std::sort(ordered.begin(), ordered.end(), [](const QString& a, const QString& b) {
      return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    QCOMPARE(sorted, ordered);

    bool levelsOutlined = false;
    WhenModal([&](QWidget*) {
      levelsOutlined = !picker->AlphaB()->isVisible() && !picker->OutlineB()->isVisible() && !picker->Sorted();
      QTest::keyClick(picker, Qt::Key_Escape);
    });
    current = rig.Library().Levels;
    picker->Pick(rig.Library().Levels, *levels, current, true);
    QVERIFY(levelsOutlined);

    bool stillSorted = false;
    WhenModal([&](QWidget*) {
      stillSorted = picker->Sorted() && picker->AlphaB()->isChecked();
      QTest::keyClick(picker, Qt::Key_Escape);
    });
    current = rig.Library().Topics;
    picker->Pick(rig.Library().Topics, *topics, current, true);
    QVERIFY(stillSorted);
  }

  void resourceIsOfferedOncePerDocument() {
    TFindingRig rig;
    const auto& results = rig.Results();
    std::vector<int> withResource;
    for (int i = 0; i < static_cast<int>(results.size()); ++i)
      if (!results[i]->Resources.empty()) withResource.push_back(i);
    QVERIFY(withResource.size() >= 2);
    const int first = withResource.front();
    TIdentityCategory* resource = results[first]->Resources.front();
    auto sameResource = std::find_if(withResource.begin() + 1, withResource.end(),
                                     [&](int i) { return results[i]->Resources.front() == resource; });
    TDocLogic* doc = rig.App.CurrentDocument();
    QVERIFY(doc != nullptr);

    rig.Ask.ExpectConfirm(QLatin1String(TQFForm::kResourceQuestion), TAskAnswer::Yes);
    ClickRow(rig.QF->QuestionsLB(), first);
    QVERIFY(rig.Ask.Verify());
    QCOMPARE(doc->Document->Entries.size(), results[first]->Resources.size());
    QCOMPARE(rig.App.SelectedItem(), static_cast<TStreamable*>(results[first]));

    // Asked once: the same question again, or another needing the same resource, asks nothing.
    ClickRow(rig.QF->QuestionsLB(), first);
    if (sameResource != withResource.end()) ClickRow(rig.QF->QuestionsLB(), *sameResource);
    QVERIFY(rig.Ask.Verify());
    QCOMPARE(doc->Document->Entries.size(), results[first]->Resources.size());

    // With no document open, Yes adds nothing, and the resource still counts as offered.
    const int other = *std::find_if(withResource.begin(), withResource.end(),
                                    [&](int i) { return results[i]->Resources.front() != resource; });
    rig.App.SetCurrentDocument(nullptr);
    rig.Ask.ExpectConfirm(QLatin1String(TQFForm::kResourceQuestion), TAskAnswer::Yes);
    const std::size_t entries = doc->Document->Entries.size();
    ClickRow(rig.QF->QuestionsLB(), other);
    QCOMPARE(doc->Document->Entries.size(), entries);
    const auto& offered = rig.Main->OfferedResources();
    QVERIFY(std::find(offered.begin(), offered.end(), FullID(results[other]->Resources.front())) != offered.end());
  }

  // A resource without a text is not offered, and the click selects and shows the question.
  void resourceWithoutATextIsNotOffered() {
    TFindingRig rig;
    const auto& results = rig.Results();
    const auto plain = std::find_if(results.begin(), results.end(), [](TQuestion* q) { return q->Resources.empty(); });
    (*plain)->Resources = {static_cast<TIdentityCategory*>(rig.Library().ResourceTree->CreateChild())};
    ClickRow(rig.QF->QuestionsLB(), static_cast<int>(plain - results.begin()));
    QVERIFY(rig.Ask.Verify());
    QCOMPARE(rig.Viewer->LoadedChunk(), (*plain)->Chunk);
  }

  void clicksKeepTheUsersMultiSelection() {
    TFindingRig rig;
    QAbstractItemView* list = rig.QF->QuestionsLB();
    QVERIFY(rig.QF->isVisible());
    // Three rows in a row that need no resource, so nothing is offered.
    const auto& results = rig.Results();
    int from = 0;
    while (from + 2 < static_cast<int>(results.size()) &&
           !(results[from]->Resources.empty() && results[from + 1]->Resources.empty() && results[from + 2]->Resources.empty()))
      ++from;
    ClickRow(list, from);
    ClickRow(list, from + 2, Qt::ShiftModifier);
    QCOMPARE(rig.App.Selection().size(), std::size_t{3});
    QCOMPARE(list->selectionModel()->selectedRows().size(), 3);
    QCOMPARE(rig.App.CurrentIndex(), from + 2);
    // Several items: the Viewer is empty and remembers nothing.
    QVERIFY(ViewerText(rig).trimmed().isEmpty());
    QCOMPARE(rig.Viewer->LoadedChunk(), nullptr);
    QVERIFY(rig.Ask.Verify());

    // A selection from the document deselects every result.
    rig.Main->Action(QStringLiteral("CopyToDocB"))->trigger();
    TDocLogic* doc = rig.App.CurrentDocument();
    QCOMPARE(doc->Document->Entries.size(), std::size_t{3});
    TDocForm* docForm = LastDocForm();
    ClickRow(docForm->DocLB(), 1);
    QCOMPARE(rig.App.SelectionSource(), TListRef(doc->Document->Entries));
    QVERIFY(!list->selectionModel()->hasSelection());
    // The Viewer shows the entry's question.
    QCOMPARE(rig.Viewer->LoadedChunk(), doc->Document->Entries[1]->Segment->Chunk);
  }

  void viewerRemovesLineEndHyphensAndScrollsToTop() {
    TFindingRig rig;
    TQuestion question;
    question.SetChunk(std::make_unique<TTextChunk>(
        std::vector<std::string>{"{\\rtf1\\ansi -start\\par A-\\par B\\par C\\par -\\par -\\par}"}));
    rig.App.SelectItem(&question, nullptr, true);
    QCOMPARE(rig.Viewer->LoadedChunk(), question.Chunk);
    // A hyphen at the very start is left alone; the pair after A goes; of the two end markers in a
    // row only the first goes, because the search resumes one position after a deletion.
    QCOMPARE(ViewerText(rig), QStringLiteral("-start\nAB\nC\n-\n"));
    QCOMPARE(rig.Viewer->ViewerTX()->ScrollPosY(), 0);
    // An in-memory chunk keeps its lines; a stored one is released after showing.
    QVERIFY(question.Chunk->IsLoaded());
    TQuestion* stored = rig.Results().back();
    rig.App.SelectItem(stored, nullptr, true);
    QVERIFY(!stored->Chunk->IsLoaded());
    QVERIFY(!ViewerText(rig).trimmed().isEmpty());
    QVERIFY(!ViewerText(rig).trimmed().endsWith(QLatin1String("-")));
    rig.App.SetSelection({}, nullptr);
    QVERIFY(ViewerText(rig).isEmpty());
  }

  void wordsFindTheQuestionsHoldingThemAndAreHighlighted() {
    // The index goes to a cache of this test's own.
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    TFindingRig rig;
    // What should be found comes from the rich-text reader, not from the index's own extractor.
    auto holds = [](TQuestion* q, const QString& word) {
      TTXTextControl reader;
      reader.LoadFromString(q->Chunk->GetLines().front(), TTXTextControl::FormatRtf, false);
      q->Chunk->ReleaseLines();
      const QRegularExpression whole(QStringLiteral("\\b%1\\b").arg(word), QRegularExpression::CaseInsensitiveOption);
      return reader.toPlainText().contains(whole);
    };
    std::vector<TQuestion*> all = rig.Results();
    std::set<TQuestion*> kettle;
    for (TQuestion* q : all)
      if (holds(q, QStringLiteral("kettle"))) kettle.insert(q);
    QVERIFY(kettle.size() >= 2);

    QTest::keyClicks(rig.QF->WordsE(), QStringLiteral("KETTLE"));
    QTest::mouseClick(rig.QF->findChild<QPushButton*>(QStringLiteral("WordsStartB")), Qt::LeftButton);
    // A search made while the index is being built is repeated when it is complete.
    QTRY_COMPARE_WITH_TIMEOUT(std::set<TQuestion*>(rig.Results().begin(), rig.Results().end()), kettle, 10000);
    QCOMPARE(static_cast<int>(rig.QF->Results()->Items().size()), static_cast<int>(kettle.size()));
    QVERIFY(kettle.contains(static_cast<TQuestion*>(rig.App.SelectedSegment())));
    const auto marks = rig.Viewer->ViewerTX()->extraSelections();
    QVERIFY(!marks.isEmpty());
    for (const auto& mark : marks) QCOMPARE(mark.cursor.selectedText().toLower(), QStringLiteral("kettle"));

    // Continuing with a topic keeps the words: the results satisfy both.
    TCategory* electricity = TFindingRig::Find(rig.Library().Topics, QStringLiteral("Electricity"));
    QVERIFY(electricity != nullptr);
    rig.Selector().SetTopicCriterion(electricity, false);
    QVERIFY(!rig.Results().empty());
    for (TQuestion* q : rig.Results()) QVERIFY(kettle.contains(q) && HasTopicWithin(q, electricity));
    QCOMPARE(rig.QF->WordsE()->text(), QStringLiteral("KETTLE"));
    // Starting a new search by topic clears the words and their highlights.
    rig.Selector().SetTopicCriterion(electricity, true);
    QVERIFY(rig.QF->WordsE()->text().isEmpty());
    QVERIFY(rig.Viewer->ViewerTX()->extraSelections().isEmpty());
    qunsetenv("XDG_CACHE_HOME");
  }

  void reselectingTheShownItemDoesNotReload() {
    TFindingRig rig;
    TTXTextControl* text = rig.Viewer->ViewerTX();
    text->SetSelStart(5);
    rig.App.TouchSelection();
    QCOMPARE(text->SelStart(), 5);
    rig.Viewer->UpdateText(true);
    QCOMPARE(text->SelStart(), 0);
  }

  // Repainting the header keeps the reader's place; after a text that could not be read, going
  // back loads the text shown before instead of taking the emptied control for it.
  void viewerKeepsItsPlaceAndRecoversFromAnUnreadableText() {
    TFindingRig rig;
    std::string rtf = "{\\rtf1 ";
    for (int i = 0; i < 300; ++i) rtf += "line\\par ";
    TQuestion question;
    question.SetChunk(std::make_unique<TTextChunk>(std::vector<std::string>{rtf + "}"}));
    rig.App.SelectItem(&question, nullptr, true);
    rig.Viewer->ViewerTX()->SetScrollPosY(400);
    const int y = rig.Viewer->ViewerTX()->ScrollPosY();
    rig.Viewer->CurrentItemBox()->repaint();
    QVERIFY(y > 0 && rig.Viewer->ViewerTX()->ScrollPosY() == y);
    TQuestion broken;
    broken.SetChunk(std::make_unique<TTextChunk>(std::vector<std::string>{}));
    QVERIFY_THROWS_EXCEPTION(EListError, rig.App.SelectItem(&broken, nullptr, false));
    rig.App.GoBack();
    QVERIFY(ViewerText(rig).startsWith(QLatin1String("line")));
  }

  void viewerToolbarLayout() {
    TFindingRig rig;
    auto x = [&](const char* name) { return rig.Viewer->findChild<QToolButton*>(QLatin1String(name))->x(); };
    rig.Viewer->ViewerPanel()->resize(300, 33);
    rig.Viewer->ViewerPanelResize();
    QCOMPARE(x("RelResB"), 301);
    QCOMPARE(x("RelNoteB"), 421);
    QCOMPARE(x("BackB"), 277);
    QCOMPARE(rig.Viewer->CurrentItemBox()->width(), 206);
    rig.Viewer->ViewerPanel()->resize(700, 33);
    rig.Viewer->ViewerPanelResize();
    QCOMPARE(x("RelResB"), 550);
    QCOMPARE(x("RelQB"), 574);
    QCOMPARE(x("BackB"), 432);
    QCOMPARE(rig.Viewer->CurrentItemBox()->width(), 361);
    QCOMPARE(rig.Viewer->findChild<QToolButton*>(QStringLiteral("RelMSB"))->toolTip(),
             QStringLiteral("View related mark scheme"));
  }

  void viewerButtonsBrowseTheList() {
    TFindingRig rig;
    auto* next = rig.Viewer->findChild<QToolButton*>(QStringLiteral("NextB"));
    auto* prev = rig.Viewer->findChild<QToolButton*>(QStringLiteral("PrevB"));
    QVERIFY(!prev->isEnabled());
    QVERIFY(next->isEnabled());
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(rig.App.CurrentIndex(), 1);
    QCOMPARE(rig.Viewer->LoadedChunk(), rig.Results()[1]->Chunk);
    // The Question Finder follows a selection made elsewhere in its own list.
    QVERIFY(rig.QF->QuestionsLB()->selectionModel()->isRowSelected(1, {}));
    QVERIFY(prev->isEnabled());
  }

  void linksSplitAtTheFirstEscapedSpace() {
    QCOMPARE(SplitLinkTarget(QStringLiteral("calc.exe%20/a%20/b")).Target, QStringLiteral("calc.exe"));
    QCOMPARE(SplitLinkTarget(QStringLiteral("calc.exe%20/a%20/b")).Parameters, QStringLiteral("/a%20/b"));
    QCOMPARE(SplitLinkTarget(QStringLiteral("http://x.org/a%20b")).Target, QStringLiteral("http://x.org/a%20b"));
    QVERIFY(SplitLinkTarget(QStringLiteral("http://x.org/a%20b")).Parameters.isEmpty());
    QCOMPARE(SplitLinkTarget(QStringLiteral("notes.pdf")).Target, QStringLiteral("notes.pdf"));
  }

  void linksOpenSafely() {
    TScriptedAsk ask;
    QTemporaryDir dir;
    QList<QUrl> opened;
    QList<QStringList> started;
    TLinkActions actions{[&](const QUrl& url) {
                           opened << url;
                           return true;
                         },
                         [&](const QString& program, const QStringList& arguments) {
                           started << (QStringList{program} + arguments);
                           return true;
                         }};
    QVERIFY(FollowLink(QStringLiteral("https://example.org/a%20b"), dir.path(), actions));
    QVERIFY(FollowLink(QStringLiteral("mailto:head@school.example"), dir.path(), actions));
    QCOMPARE(opened.size(), 2);
    QCOMPARE(opened[0].toString(QUrl::FullyEncoded), QStringLiteral("https://example.org/a%20b"));
    QCOMPARE(opened[1].scheme(), QStringLiteral("mailto"));

    // A document opens with its default application, relative to the given folder, unasked.
    QFile sheet(dir.filePath(QStringLiteral("sheet.pdf")));
    QVERIFY(sheet.open(QIODevice::WriteOnly));
    sheet.close();
    QVERIFY(FollowLink(QStringLiteral("sheet.pdf%20-x"), dir.path(), actions));
    QCOMPARE(opened.last(), QUrl::fromLocalFile(dir.filePath(QStringLiteral("sheet.pdf"))));
    QVERIFY(!FollowLink(QStringLiteral("missing.pdf"), dir.path(), actions));

    // A program asks first, naming itself and its parameters; No runs nothing.
    const QString program = dir.filePath(QStringLiteral("tool"));
    QFile tool(program);
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\n");
    tool.close();
    tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString question =
        QStringLiteral("This link would run the program \"%1\" with the parameters \"%2\".  Do you want to run it?");
    ask.ExpectConfirm(question.arg(program, QStringLiteral("-v%20'a;b'")), TAskAnswer::No);
    QVERIFY(!FollowLink(QStringLiteral("tool%20-v%20'a;b'"), dir.path(), actions));
    QVERIFY(started.isEmpty());
    // Yes runs it directly: the parameters arrive as arguments, shell characters untouched.
    ask.ExpectConfirm(question.arg(program, QStringLiteral("-v \"a;b\" $HOME")), TAskAnswer::Yes);
    QVERIFY(FollowLink(QStringLiteral("tool%20-v \"a;b\" $HOME"), dir.path(), actions));
    QCOMPARE(started.size(), 1);
    QCOMPARE(started[0], (QStringList{program, QStringLiteral("-v"), QStringLiteral("a;b"), QStringLiteral("$HOME")}));
    QVERIFY(ask.Verify());

    // Every file of a USB stick is executable: a PDF still opens unasked, found by a Windows path.
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("sheets")));
    QFile pdf(dir.filePath(QStringLiteral("sheets/notes.pdf")));
    QVERIFY(pdf.open(QIODevice::WriteOnly) && pdf.write("%PDF-1.4\n") > 0);
    pdf.close();
    pdf.setPermissions(pdf.permissions() | QFile::ExeOwner);
    QVERIFY(FollowLink(QStringLiteral("sheets\\notes.pdf"), dir.path(), actions));
    QCOMPARE(opened.last(), QUrl::fromLocalFile(pdf.fileName()));
    // "httpd.sh" is a local script, not a web link.
    QFile httpd(dir.filePath(QStringLiteral("httpd.sh")));
    QVERIFY(httpd.open(QIODevice::WriteOnly));
    ask.ExpectConfirm(QStringLiteral("This link would run the program \"%1\".  Do you want to run it?").arg(httpd.fileName()),
                      TAskAnswer::No);
    QVERIFY(!FollowLink(QStringLiteral("httpd.sh"), dir.path(), actions));
  }

  // Questions open over the window in use (the text list, no longer above every program), and the
  // question before running a program takes Enter as No.
  void questionsOpenOverTheActiveWindow() {
    TFindingRig rig;
    RunCommand<TViewMarkSchemeCmd>();
    QVERIFY(!rig.TSList->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QApplication::setActiveWindow(rig.TSList);
    QWidget* parent = nullptr;
    WhenModal([&](QWidget* modal) {
      parent = modal->parentWidget();
      QTest::keyClick(modal, Qt::Key_Return);
    });
    QCOMPARE(TQtAsk(rig.Main).Confirm(QStringLiteral("Run it?"), TAskButtons::YesNoDefaultNo), TAskAnswer::No);
    QCOMPARE(parent, static_cast<QWidget*>(rig.TSList));
  }

  void relatedDialogStartsAfreshEachTime() {
    TFindingRig rig(false);
    TRelatedForm* dialog = rig.Related;
    const std::vector<TTextSegment*> three(rig.Results().begin(), rig.Results().begin() + 3);
    bool okOffAtFirst = false;
    WhenModal([&](QWidget*) {
      okOffAtFirst = !dialog->OkB()->isEnabled() && dialog->RelatedLB()->count() == 3;
      // Enter with nothing clicked does nothing.
      QTest::keyClick(dialog, Qt::Key_Return);
      ClickRow(dialog->RelatedLB(), 1);
      QTest::keyClick(dialog, Qt::Key_Return);
    });
    TTextSegment* chosen = nullptr;
    QCOMPARE(dialog->ShowRelated(three, chosen), 1);
    QVERIFY(okOffAtFirst);
    QCOMPARE(chosen, three[1]);

    const std::vector<TTextSegment*> two(rig.Results().begin() + 5, rig.Results().begin() + 7);
    bool fresh = false;
    WhenModal([&](QWidget*) {
      fresh = !dialog->OkB()->isEnabled() && dialog->RelatedLB()->count() == 2;
      QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QCOMPARE(dialog->ShowRelated(two, chosen), 2);
    QVERIFY(fresh);
    QCOMPARE(chosen, three[1]);

    // With the keyboard alone: an arrow key chooses a row, and Enter takes it.
    WhenModal([&](QWidget*) {
      QTest::keyClick(dialog->RelatedLB(), Qt::Key_Down);
      QTest::keyClick(dialog->RelatedLB(), Qt::Key_Return);
    });
    QCOMPARE(dialog->ShowRelated(two, chosen), 1);
    QVERIFY(chosen == two[0] || chosen == two[1]);
  }

  void relatedCommandChoosesThroughTheDialog() {
    TFindingRig rig;
    rig.Ask.Related = rig.Related;
    // A resource used by several questions offers them all.
    TLibrary& library = rig.Library();
    TTextSegment* resource = nullptr;
    TCategoryIterator nodes(library.ResourceTree);
    for (TCategory* n = nodes.Next(); n != nullptr && resource == nullptr; n = nodes.Next()) {
      auto* node = static_cast<TIdentityCategory*>(n);
      TQuestionSelector users(library);
      users.SetResourceCriterion(node, true);
      if (node->Resource != nullptr && users.Results().size() >= 2) resource = node->Resource;
    }
    QVERIFY(resource != nullptr);
    rig.App.SelectItem(resource, nullptr, true);
    WhenModal([&](QWidget*) {
      ClickRow(rig.Related->RelatedLB(), 1);
      QTest::mouseClick(rig.Related->OkB(), Qt::LeftButton);
    });
    QTest::mouseClick(rig.Viewer->findChild<QToolButton*>(QStringLiteral("RelQB")), Qt::LeftButton);
    auto* question = dynamic_cast<TQuestion*>(rig.App.SelectedItem());
    QVERIFY(question != nullptr);
    QVERIFY(AnyWithin(resource->Identity, question->Resources));
    QCOMPARE(rig.Viewer->LoadedChunk(), question->Chunk);
  }

  void textListTabsAndRows() {
    TFindingRig rig;
    TTSListForm* list = rig.TSList;
    QVERIFY(!list->isVisible());
    RunCommand<TViewResourceCmd>();
    QVERIFY(list->isVisible());
    QCOMPARE(list->windowTitle(), QStringLiteral("Resources"));
    QCOMPARE(list->TabSet()->currentIndex(), 3);
    // The resource tree's root and grouping nodes name no resource text and are skipped.
    int resources = 0;
    TCategoryIterator nodes(rig.Library().ResourceTree);
    for (TCategory* n = nodes.Next(); n != nullptr; n = nodes.Next())
      if (static_cast<TIdentityCategory*>(n)->Resource != nullptr) ++resources;
    QCOMPARE(list->ListLB()->count(), resources);
    QCOMPARE(static_cast<int>(list->Items().size()), resources);
    QVERIFY(dynamic_cast<TResource*>(list->Items().front()) != nullptr);

    const struct {
      int Tab;
      const char* Caption;
    } tabs[] = {{0, "Markscheme"}, {1, "Standards report"}, {2, "Links"}};
    for (const auto& tab : tabs) {
      list->TabSetClick(tab.Tab);
      QCOMPARE(list->windowTitle(), QLatin1String(tab.Caption));
      QCOMPARE(list->TabSet()->currentIndex(), tab.Tab);
      QVERIFY(list->ListLB()->count() > 0);
    }
    // Mark schemes in tree order, one row per question identity that has one.
    list->TabSetClick(0);
    int schemes = 0;
    TCategoryIterator questions(rig.Library().QuestionTree);
    for (TCategory* n = questions.Next(); n != nullptr; n = questions.Next())
      if (static_cast<TIdentityCategory*>(n)->MarkScheme != nullptr) ++schemes;
    QCOMPARE(list->ListLB()->count(), schemes);

    // A click shows the text in the Viewer, and Next walks the list's items.
    ClickRow(list->ListLB(), 0);
    QCOMPARE(rig.App.SelectedItem(), static_cast<TStreamable*>(list->Items()[0]));
    QCOMPARE(rig.Viewer->LoadedChunk(), list->Items()[0]->Chunk);
    QVERIFY(!rig.QF->QuestionsLB()->selectionModel()->hasSelection());
    RunCommand<TNextCmd>();
    QCOMPARE(rig.App.SelectedItem(), static_cast<TStreamable*>(list->Items()[1]));
    QVERIFY(list->ListLB()->item(1)->isSelected());
    QVERIFY(!list->ListLB()->item(0)->isSelected());

    // The same kind again refills nothing: the selection stays.
    RunCommand<TViewMarkSchemeCmd>();
    QVERIFY(list->ListLB()->item(1)->isSelected());

    // An arrow key on the tabs shows the next kind; the old rows' position and selection go with
    // them, while the text shown stays.
    QTest::keyClick(list->TabSet(), Qt::Key_Right);
    QCOMPARE(list->windowTitle(), QStringLiteral("Standards report"));
    QVERIFY(rig.App.CurrentIndex() == -1 && !rig.App.SelectionSource());
    QVERIFY(dynamic_cast<TMarkScheme*>(rig.App.SelectedSegment()) != nullptr);
    list->close();
    QVERIFY(!list->isVisible());
    QVERIFY(!TSListManager().Visible());
  }

  void programCreatesTheFindingWindows() {
    TScriptedAsk ask;
    TProgram program({QStringLiteral("harrowvane"), QStringLiteral("Sample")});
    QVERIFY(program.Start());
    program.Show();
    QApplication::processEvents();
    auto* qf = program.MainForm()->findChild<TQFForm*>();
    auto* viewer = program.MainForm()->findChild<TViewerForm*>();
    QVERIFY(qf != nullptr && viewer != nullptr);
    QVERIFY(program.MainForm()->findChild<TPickForm*>() != nullptr);
    QVERIFY(program.MainForm()->findChild<TRelatedForm*>() != nullptr);
    QVERIFY(program.MainForm()->findChild<TTSListForm*>() != nullptr);
    // The first showing placed them in the main window and selected the first result.
    QCOMPARE(qf->mdiArea(), program.MainForm()->MdiArea());
    QVERIFY(qf->isVisible() && viewer->isVisible());
    QVERIFY(qf->x() < viewer->x());
    QVERIFY(qf->QuestionsLB()->selectionModel()->isRowSelected(0, {}));
    QCOMPARE(viewer->LoadedChunk(), program.App()->Selector()->Results().front()->Chunk);
    QVERIFY(ask.Verify());
  }

  void streamerMovesChunksThroughTheControl() {
    TTXTextControl control;
    TTextStreamer streamer(control);
    TTextChunk empty(std::vector<std::string>{});
    try {
      streamer.LoadControl(empty);
      QFAIL("an empty chunk must not load");
    } catch (const EListError& error) {
      QCOMPARE(QString::fromLatin1(error.what()), QStringLiteral("List index out of bounds (0)"));
    }
    QVERIFY(control.toPlainText().isEmpty());

    TTextChunk source(std::vector<std::string>{"{\\rtf1\\ansi {\\b Bold} words\\par}", "{\\rtf1 ignored}"});
    streamer.LoadControl(source);
    QCOMPARE(streamer.CurrentChunk(), &source);
    QVERIFY(control.toPlainText().startsWith(QStringLiteral("Bold words")));
    // Saving appends one line holding the whole content, so a chunk can be read back.
    TTextChunk saved;
    saved.Lines.emplace();
    streamer.SaveControl(saved);
    QCOMPARE(saved.GetLines().size(), std::size_t{1});
    TTXTextControl again;
    TTextStreamer(again).LoadControl(saved);
    QCOMPARE(again.toPlainText(), control.toPlainText());
    streamer.SaveControl(saved);
    QCOMPARE(saved.GetLines().size(), std::size_t{2});
  }

  void criterionRowsFollowTheTreeNames() {
    TScriptedAsk ask;
    TWindowRig rig;
    auto* qf = new TQFForm(rig.App, rig.Main);
    rig.Main->FirstShowing();
    // The ten-question library names none of its trees: only the resource row shows, and its
    // button runs nothing (the scripted user would fail on a pick).
    QVERIFY(qf->CriterionBox(TClassification::Topic)->isHidden());
    QVERIFY(qf->CriterionButton(TClassification::Level)->isHidden());
    QVERIFY(!qf->CriterionBox(TClassification::Resource)->isHidden());
    QTest::mouseClick(qf->CriterionButton(TClassification::Resource), Qt::LeftButton);
    QVERIFY(ask.Verify());

    TFindingRig sample(false);
    for (std::size_t i = 0; i < kClassificationCount; ++i)
      QVERIFY(!sample.QF->CriterionButton(static_cast<TClassification>(i))->isHidden());
  }

  void closingMinimizesAndDockingMovesThePanel() {
    TFindingRig rig;
    rig.QF->close();
    QVERIFY(rig.QF->isMinimized());
    QVERIFY(QFViewManager().Visible());
    RunCommand<TViewQFCmd>();
    QVERIFY(!rig.QF->isMinimized());
    rig.Viewer->close();
    QVERIFY(rig.Viewer->isMinimized());

    RunCommand<TDockQFCmd>();
    auto* dock = rig.Main->findChild<QDockWidget*>(QStringLiteral("QFDock"));
    QVERIFY(dock != nullptr);
    QCOMPARE(dock->widget(), static_cast<QWidget*>(rig.QF->QFPanel()));
    QVERIFY(rig.QF->QFPanel()->isVisible());
    QVERIFY(!rig.QF->isVisible());
    RunCommand<TDockQFCmd>();
    QCOMPARE(rig.QF->widget(), static_cast<QWidget*>(rig.QF->QFPanel()));
    QCOMPARE(rig.QF->QFPanel()->parentWidget(), static_cast<QWidget*>(rig.QF));
    QVERIFY(rig.QF->isVisible());
    QVERIFY(rig.QF->QFPanel()->isVisible());
    QVERIFY(!dock->isVisible());

    // The Viewer's toolbar and text move together.
    RunCommand<TDockViewerCmd>();
    auto* viewerDock = rig.Main->findChild<QDockWidget*>(QStringLiteral("ViewerDock"));
    QVERIFY(viewerDock != nullptr);
    QCOMPARE(viewerDock->widget(), rig.Viewer->ViewerContent());
    QVERIFY(rig.Viewer->ViewerTX()->isVisible());
    RunCommand<TDockViewerCmd>();
    QCOMPARE(rig.Viewer->widget(), rig.Viewer->ViewerContent());
    QVERIFY(rig.Viewer->ViewerTX()->isVisible());
    // The list still follows the selection after the round trip.
    rig.App.SelectItem(rig.Results()[3], TListRef(rig.Results()), true);
    QVERIFY(rig.QF->QuestionsLB()->selectionModel()->isRowSelected(3, {}));
  }
};

QTEST_MAIN(FindingTest)
#include "FindingTest.moc"
