// Document windows: rows that follow the document in place, selection both ways, dragging within
// the list and dropping from other lists, closing, and the caption.
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include "ScriptedAsk.h"
#include "WindowRig.h"
#include "model/Document.h"
#include "windows/ItemDrag.h"

using namespace hv;
using namespace hv::test;

namespace {

// The entry each row shows, in row order.
std::vector<TStreamable*> RowItems(const QListWidget* list) {
  std::vector<TStreamable*> items;
  for (int i = 0; i < list->count(); ++i)
    items.push_back(reinterpret_cast<TStreamable*>(list->item(i)->data(kItemRole).value<quintptr>()));
  return items;
}

std::vector<TStreamable*> Entries(const TDocLogic* doc) {
  return {doc->Document->Entries.begin(), doc->Document->Entries.end()};
}

std::vector<int> SelectedRows(const QListWidget* list) {
  std::vector<int> rows;
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->isSelected()) rows.push_back(i);
  return rows;
}

// Selects rows as the user would, then lets the window report the click.
void ClickRows(TDocForm* form, std::vector<int> rows) {
  QListWidget* list = form->DocLB();
  const QSignalBlocker quiet(list);
  list->clearSelection();
  list->setCurrentRow(rows.front(), QItemSelectionModel::NoUpdate);
  for (int r : rows) list->item(r)->setSelected(true);
  form->DocLBClick();
}

QPoint RowPoint(const QListWidget* list, int row) { return list->visualItemRect(list->item(row)).center(); }

}  // namespace

class DocFormTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TScriptedAsk> Ask;
  std::unique_ptr<TWindowRig> Rig;
  TDocForm* Form = nullptr;

  TDocLogic* Doc() const { return Form->DocLogic(); }

private slots:
  void init() {
    Ask = std::make_unique<TScriptedAsk>();
    Rig = std::make_unique<TWindowRig>();
    Rig->Main->show();  // the first showing makes the empty document
    Form = LastDocForm();
    QVERIFY(Form != nullptr);
    Doc()->InsertEntries({Rig->Results().begin(), Rig->Results().end()}, -1);
  }

  void cleanup() {
    QVERIFY(Ask->Verify());
    Rig.reset();
    Ask.reset();
  }

  void rowsShowTheEntriesAndTheirNumbers() {
    QCOMPARE(Form->DocLB()->count(), 10);
    QCOMPARE(RowItems(Form->DocLB()), Entries(Doc()));
    // The entries were added and never saved: the caption carries the unsaved marker.
    QCOMPARE(Form->windowTitle(), QStringLiteral("Untitled*"));
    QCOMPARE(Form->DocLB()->sizeHintForRow(0), 33);
  }

  void insertsInTheMiddleKeepOtherRowsAndTheirSelection() {
    ClickRows(Form, {0, 9});
    const auto before = Entries(Doc());
    Doc()->InsertEntries({Rig->Results()[3], Rig->Results()[4]}, 5);
    QCOMPARE(RowItems(Form->DocLB()), Entries(Doc()));
    QCOMPARE(Form->DocLB()->count(), 12);
    // The rows that were there still show their entries, and the selection stayed on them.
    QVERIFY(RowItems(Form->DocLB())[0] == before[0]);
    QVERIFY(RowItems(Form->DocLB())[11] == before[9]);
    QCOMPARE(SelectedRows(Form->DocLB()), (std::vector<int>{0, 11}));
  }

  void movesAndRemovalsAreFollowed() {
    Doc()->MoveEntry(0, 9);
    QCOMPARE(RowItems(Form->DocLB()), Entries(Doc()));
    Doc()->RemoveEntries({Doc()->Document->Entries[2], Doc()->Document->Entries[7]});
    QCOMPARE(Form->DocLB()->count(), 8);
    QCOMPARE(RowItems(Form->DocLB()), Entries(Doc()));
    Doc()->RemoveEntries({Doc()->Document->Entries.begin(), Doc()->Document->Entries.end()});
    QCOMPARE(Form->DocLB()->count(), 0);
  }

  void clickingSelectsInTheApplicationState() {
    ClickRows(Form, {2, 4, 5});
    TAppLogic& app = Rig->App;
    QVERIFY(app.CurrentList() == TListRef(Doc()->Document->Entries));
    QCOMPARE(app.CurrentIndex(), 2);
    QVERIFY(app.SelectionSource() == app.CurrentList());
    const auto& e = Doc()->Document->Entries;
    QCOMPARE(app.Selection(), (TItemList{e[2], e[4], e[5]}));
    QCOMPARE(Rig->Main->StatusP()->text(), QStringLiteral("  3 items, total marks: 12"));
  }

  void selectionFromElsewhereIsShownOrCleared() {
    TAppLogic& app = Rig->App;
    const TListRef entries(Doc()->Document->Entries);
    // Select All on the document selects every row.
    app.SetCurrentList(entries, 0);
    app.SetSelection({Doc()->Document->Entries.begin(), Doc()->Document->Entries.end()}, entries);
    QCOMPARE(SelectedRows(Form->DocLB()).size(), std::size_t(10));
    // Next: one entry selected by the browse commands.
    app.SetCurrentList(entries, 3);
    app.SelectItem(Doc()->Document->Entries[3], entries, true);
    QCOMPARE(SelectedRows(Form->DocLB()), (std::vector<int>{3}));
    // A Question Finder result deselects every row.
    const TListRef results(Rig->Results());
    app.SetCurrentList(results, 0);
    app.SelectItem(Rig->Results()[0], results, true);
    QVERIFY(SelectedRows(Form->DocLB()).empty());
  }

  void activatingAnotherDocumentLeavesRowsUntilTheSelectionChanges() {
    ClickRows(Form, {1});
    Rig->App.NewDocument();
    TDocForm* second = LastDocForm();
    QVERIFY(second != Form);
    Rig->Main->MdiArea()->setActiveSubWindow(second);
    QVERIFY(Rig->App.CurrentDocument() == second->DocLogic());
    QCOMPARE(SelectedRows(Form->DocLB()), (std::vector<int>{1}));
    second->DocLogic()->InsertEntries({Rig->Results()[0]}, -1);
    ClickRows(second, {0});
    QVERIFY(SelectedRows(Form->DocLB()).empty());
  }

  void draggingBelowTheLastRowMovesToTheEnd() {
    QListWidget* list = Form->DocLB();
    list->resize(300, 33 * 12);
    ClickRows(Form, {2});
    TDocContent* moved = Doc()->Document->Entries[2];
    const QPoint below(10, list->viewport()->height() - 10);
    QVERIFY(list->itemAt(below) == nullptr);
    QVERIFY(Form->DocLBDragOver(list, below));
    Form->DocLBDragDrop(list, below);
    QVERIFY(Doc()->Document->Entries.back() == moved);
    QCOMPARE(RowItems(list), Entries(Doc()));
    QCOMPARE(SelectedRows(list), (std::vector<int>{9}));
    QCOMPARE(Rig->App.CurrentIndex(), 9);
    QVERIFY(Rig->App.Selection() == TItemList{moved});

    // Onto a row: the entry takes that row's place.
    ClickRows(Form, {9});
    Form->DocLBDragDrop(list, RowPoint(list, 0));
    QVERIFY(Doc()->Document->Entries.front() == moved);
    QCOMPARE(SelectedRows(list), (std::vector<int>{0}));

    // Onto itself: nothing moved, so the document is not changed.
    Doc()->IsModified = false;
    ClickRows(Form, {3});
    Form->DocLBDragDrop(list, RowPoint(list, 3));
    QVERIFY(!Doc()->IsModified);
  }

  // A drop from another running copy adds what it carries, not this copy's selection; items of
  // another library are refused.
  void droppingFromAnotherCopyAddsTheCarriedItems() {
    const TListRef results(Rig->Results());
    Rig->App.SetSelection({Rig->Results()[2]}, results);
    std::unique_ptr<QMimeData> carried(NewItemData(Rig->App));
    Rig->App.SetSelection({Rig->Results()[7]}, results);
    Ask->ExpectConfirm(QStringLiteral("Untitled already contains QP03. Do you want to include it again?"), TAskAnswer::Yes);
    Form->DocLBDragDrop(nullptr, RowPoint(Form->DocLB(), 0), carried.get());
    QCOMPARE(Doc()->Document->Entries[0]->Segment, static_cast<TTextSegment*>(Rig->Results()[2]));
    carried->setData(QLatin1String(kItemsMimeType), QByteArray("harrowvane-items 1\nChemistry\nQP01"));
    Ask->ExpectMessage(QStringLiteral(
        "These items come from the library \"Chemistry\" and cannot be added to a document of the library \"Ten\"."));
    Form->DocLBDragDrop(nullptr, RowPoint(Form->DocLB(), 0), carried.get());
    QCOMPARE(Doc()->Document->Entries.size(), std::size_t{11});
  }

  void draggingSeveralEntriesWithinTheListIsRefused() {
    QListWidget* list = Form->DocLB();
    ClickRows(Form, {1, 2});
    QVERIFY(!Form->DocLBDragOver(list, RowPoint(list, 5)));
    // Drags from other lists are taken whatever they carry.
    QWidget other;
    QVERIFY(Form->DocLBDragOver(&other, RowPoint(list, 5)));
  }

  void dragOverTheEdgesScrollsOneRow() {
    QListWidget* list = Form->DocLB();
    list->resize(300, 33 * 4);
    QScrollBar* bar = list->verticalScrollBar();
    QWidget other;
    QCOMPARE(bar->value(), 0);
    Form->DocLBDragOver(&other, QPoint(10, list->viewport()->height() - 2));
    QCOMPARE(bar->value(), 1);
    Form->DocLBDragOver(&other, QPoint(10, 2));
    QCOMPARE(bar->value(), 0);
    Form->DocLBDragOver(&other, QPoint(10, 2));
    QCOMPARE(bar->value(), 0);
  }

  void droppingFromAnotherListInsertsBeforeTheRowAfterAsking() {
    // A fresh document holding results 0 and 1; the user drags results 5, 0 and 6.
    Doc()->RemoveEntries({Doc()->Document->Entries.begin(), Doc()->Document->Entries.end()});
    Doc()->InsertEntries({Rig->Results()[0], Rig->Results()[1]}, -1);
    const TListRef results(Rig->Results());
    Rig->App.SetCurrentList(results, 5);
    Rig->App.SetSelection({Rig->Results()[5], Rig->Results()[0], Rig->Results()[6]}, results);
    Ask->ExpectConfirm(QStringLiteral("Untitled already contains QP01. Do you want to include it again?"), TAskAnswer::No);
    QWidget finder;
    Form->DocLBDragDrop(&finder, RowPoint(Form->DocLB(), 1));
    QVERIFY(Ask->Verify());
    std::vector<TTextSegment*> shown;
    for (TDocContent* e : Doc()->Document->Entries) shown.push_back(e->Segment);
    QCOMPARE(shown, (std::vector<TTextSegment*>{Rig->Results()[0], Rig->Results()[5], Rig->Results()[6], Rig->Results()[1]}));
    QCOMPARE(RowItems(Form->DocLB()), Entries(Doc()));
  }

  void closingRunsCloseAndTheWindowGoesWithItsDocument() {
    ClickRows(Form, {0});
    QPointer<TDocForm> form = Form;
    Ask->ExpectConfirm(QStringLiteral("Do you want to save the changes to document 'Untitled'?"), TAskAnswer::Cancel);
    QVERIFY(!form->close());
    QVERIFY(Ask->Verify());
    QCOMPARE(Rig->App.Documents().size(), std::size_t(1));
    Ask->ExpectConfirm(QStringLiteral("Do you want to save the changes to document 'Untitled'?"), TAskAnswer::No);
    form->close();
    QVERIFY(Rig->App.Documents().empty());
    QVERIFY(Rig->App.Selection().empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(form.isNull());
    QVERIFY(Rig->Main->MdiArea()->subWindowList().isEmpty());
  }

  void captionFollowsTheFileName() {
    QTemporaryDir dir;
    const std::string file = QFile::encodeName(dir.filePath(QStringLiteral("Forces test.kvd"))).toStdString();
    Doc()->SaveToFile(file);
    QCOMPARE(Form->windowTitle(), QStringLiteral("Forces test.kvd"));
    Doc()->Close();
  }
};

QTEST_MAIN(DocFormTest)
#include "DocFormTest.moc"
