#include "windows/DocForm.h"

#include <QCloseEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMdiArea>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "commands/Ask.h"
#include "commands/CommandFramework.h"
#include "commands/DocumentCommands.h"
#include "commands/Utility.h"
#include "components/AnsiString.h"
#include "logic/AppLogic.h"
#include "logic/DocLogic.h"
#include "model/Document.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "windows/Drawing.h"
#include "windows/ItemDrag.h"
#include "windows/MainForm.h"

namespace hv {

namespace {

QPointer<TDocForm> Latest;

TStreamable* RowItem(const QModelIndex& index) {
  return reinterpret_cast<TStreamable*>(index.data(kItemRole).value<quintptr>());
}

TStreamable* RowItem(const QListWidgetItem* row) {
  return row != nullptr ? reinterpret_cast<TStreamable*>(row->data(kItemRole).value<quintptr>()) : nullptr;
}

// Counts nested program changes of a list, so its signals are not taken for the user's.
struct TSyncGuard {
  explicit TSyncGuard(int& counter) : Counter(counter) { ++Counter; }
  ~TSyncGuard() { --Counter; }
  int& Counter;
};

// Sets a flag for a scope, clearing it also when the scope is left by an exception.
struct TFlagGuard {
  explicit TFlagGuard(bool& flag) : Flag(flag) { Flag = true; }
  ~TFlagGuard() { Flag = false; }
  bool& Flag;
};

}  // namespace

TDocForm* LastDocForm() { return Latest.data(); }

void TSegmentItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  painter->save();
  const QRect rect = option.rect;
  const bool selected = option.state.testFlag(QStyle::State_Selected);
  painter->fillRect(rect, selected ? QColor(kSelectedRowColour) : option.palette.color(QPalette::Base));
  painter->setFont(option.font);
  painter->setPen(QColor(0xb8, 0xc2, 0xcc));
  TStreamable* item = RowItem(index);
  const TTextSegment* segment = nullptr;
  int left = rect.left() + 2;
  if (auto* entry = dynamic_cast<TDocContent*>(item)) {
    segment = entry->Segment;
    if (entry->Numbered) {
      painter->save();
      painter->setPen(QColor(kNavy));
      TextOut(*painter, rect.left() + 2, rect.top() + 4, QString::number(entry->Number));
      painter->restore();
      left = rect.left() + 15;
    }
  } else {
    segment = dynamic_cast<TTextSegment*>(item);
  }
  DrawSegmentItem(*painter, segment, rect.top() + 2, left, rect.right());
  if (option.state.testFlag(QStyle::State_HasFocus)) {
    painter->setPen(QPen(option.palette.color(QPalette::Highlight), 1, Qt::DotLine));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
  }
  painter->restore();
}

QSize TSegmentItemDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  return {200, kRowHeight};
}

TDocListBox::TDocListBox(TDocForm* form) : QListWidget(form), Form(form) {
  setObjectName(QStringLiteral("DocLB"));
  setAccessibleName(QStringLiteral("Document entries"));
  setItemDelegate(new TSegmentItemDelegate(this));
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(false);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::MoveAction);
  // Scrolling during a drag follows the window's own one-row rule.
  setAutoScroll(false);
  setFrameShape(QFrame::NoFrame);
  QFont rowFont = font();
  rowFont.setPixelSize(11);
  setFont(rowFont);
  connect(this, &QListWidget::itemSelectionChanged, this, &TDocListBox::SelectionChangedByUser);
}

void TDocListBox::SelectionChangedByUser() {
  if (Syncing > 0) return;
  if (Pressing)
    Dirty = true;
  else
    emit UserClicked();
}

void TDocListBox::mousePressEvent(QMouseEvent* event) {
  Pressing = true;
  Dirty = false;
  QListWidget::mousePressEvent(event);
}

void TDocListBox::mouseReleaseEvent(QMouseEvent* event) {
  QListWidget::mouseReleaseEvent(event);
  const bool onRow = itemAt(event->position().toPoint()) != nullptr;
  const bool changed = Dirty;
  Pressing = false;
  Dirty = false;
  if (changed || onRow) emit UserClicked();
}

void TDocListBox::startDrag(Qt::DropActions) {
  // The press that began the drag may have changed the selection; the application state must
  // hold the dragged rows before anyone asks what is being dragged.
  if (Dirty) {
    Dirty = false;
    emit UserClicked();
  }
  Pressing = false;
  StartItemDrag(this, AppLogic());
}

void TDocListBox::dragEnterEvent(QDragEnterEvent* event) {
  if (IsItemDrag(event->mimeData()) && Form->DocLBDragOver(qobject_cast<QWidget*>(event->source()), event->position().toPoint())) {
    event->setDropAction(event->source() == this ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void TDocListBox::dragMoveEvent(QDragMoveEvent* event) {
  if (IsItemDrag(event->mimeData()) && Form->DocLBDragOver(qobject_cast<QWidget*>(event->source()), event->position().toPoint())) {
    event->setDropAction(event->source() == this ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void TDocListBox::dropEvent(QDropEvent* event) {
  if (!IsItemDrag(event->mimeData())) {
    event->ignore();
    return;
  }
  event->setDropAction(event->source() == this ? Qt::MoveAction : Qt::CopyAction);
  event->accept();
  try {
    Form->DocLBDragDrop(qobject_cast<QWidget*>(event->source()), event->position().toPoint(), event->mimeData());
  } catch (const std::exception& error) {
    ReportCommandError(error);
  }
}

TDocForm::TDocForm(TAppLogic& app, TDocLogic& doc, TMainForm* mainForm)
    : QMdiSubWindow(nullptr), App(app), Doc(&doc), List(new TDocListBox(this)) {
  setObjectName(QStringLiteral("DocForm"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  setWindowIcon(GlyphIcon(0));
  setWidget(List);
  Doc->AddObserver<&TDocForm::DocChanged>(this);
  App.AddObserver<&TDocForm::DocChanged>(this);
  setWindowTitle(AnsiToQt(Doc->Caption()));
  if (mainForm != nullptr) resize(mainForm->DocWidth(), mainForm->DocHeight());
  for (TDocContent* entry : Doc->Document->Entries) List->addItem(NewRow(entry));
  connect(List, &TDocListBox::UserClicked, this, [this] {
    try {
      DocLBClick();
    } catch (const std::exception& error) {
      ReportCommandError(error);
    }
  });
  connect(this, &QMdiSubWindow::windowStateChanged, this, [this](Qt::WindowStates before, Qt::WindowStates now) {
    if (!before.testFlag(Qt::WindowActive) && now.testFlag(Qt::WindowActive)) FormActivate();
  });
}

TDocForm::~TDocForm() {
  App.RemoveObserver<&TDocForm::DocChanged>(this);
  if (Doc != nullptr) Doc->RemoveObserver<&TDocForm::DocChanged>(this);
}

QListWidgetItem* TDocForm::NewRow(TDocContent* entry) const {
  auto* row = new TItemRow;
  row->setData(kItemRole, QVariant::fromValue(reinterpret_cast<quintptr>(static_cast<TStreamable*>(entry))));
  return row;
}

void TDocForm::FormActivate() {
  if (Doc == nullptr) return;
  TFlagGuard updating(Updating);
  try {
    App.SetCurrentDocument(Doc);
  } catch (const std::exception& error) {
    ReportCommandError(error);
  }
}

void TDocForm::closeEvent(QCloseEvent* event) {
  // The window goes only when its document does; the Close command asks about unsaved changes.
  event->ignore();
  if (Doc == nullptr) return;
  try {
    App.SetCurrentDocument(Doc);
    RunCommand<TCloseCmd>();
  } catch (const std::exception& error) {
    ReportCommandError(error);
  }
}

void TDocForm::DocLBClick() {
  if (Doc == nullptr) return;
  TFlagGuard updating(Updating);
  App.SetCurrentList(TListRef(Doc->Document->Entries), List->currentRow());
  const TListRef list = App.CurrentList();
  TItemList selected;
  for (int i = 0; i < List->count(); ++i)
    if (List->item(i)->isSelected())
      if (TStreamable* item = list.ItemAt(i)) selected.push_back(item);
  App.SetSelection(std::move(selected), list);
}

bool TDocForm::DocLBDragOver(const QWidget* source, QPoint pos) {
  if (Doc == nullptr) return false;
  const bool accept = source != List || App.Selection().size() == 1;
  if (!accept) return false;
  QScrollBar* bar = List->verticalScrollBar();
  if (pos.y() <= 4 && bar->value() >= 1)
    bar->setValue(bar->value() - 1);
  else if (pos.y() > List->viewport()->height() - 5 && List->itemAt(pos) != nullptr)
    bar->setValue(bar->value() + 1);
  return true;
}

void TDocForm::DocLBDragDrop(const QWidget* source, QPoint pos, const QMimeData* carried) {
  if (Doc == nullptr) return;
  int index = List->indexAt(pos).row();
  if (source == nullptr && carried != nullptr) {
    // From another running copy: its selection is not ours, only the data tells what was dragged.
    DropFromOtherCopy(ReadItemData(carried), index);
    return;
  }
  if (source != List) {
    const TItemList items = App.Selection();
    AddItemsToDocument(*Doc, items, index, "Drag and Drop");
    return;
  }
  if (index == -1) index = List->count() - 1;
  const int from = List->currentRow();
  // Dropped where it was picked up: nothing moved, so nothing changed.
  if (from < 0 || index < 0 || from == index) return;
  Doc->MoveEntry(from, index, "Drag and Drop");
  App.SetCurrentList(TListRef(Doc->Document->Entries), index);
  {
    TSyncGuard syncing(List->Syncing);
    List->setCurrentRow(index, QItemSelectionModel::NoUpdate);
  }
  App.TouchSelection();
}

void TDocForm::DropFromOtherCopy(const TDraggedItems& dragged, int index) {
  if (dragged.LibraryKey.empty() || App.Library() == nullptr) return;
  // Library keys name configuration sections, which match without regard to case.
  if (QString::compare(AnsiToQt(dragged.LibraryKey), AnsiToQt(App.Subject()), Qt::CaseInsensitive) != 0) {
    Ask().Message(QStringLiteral("These items come from the library \"%1\" and cannot be added to a document of the library \"%2\".")
                      .arg(AnsiToQt(dragged.LibraryKey), AnsiToQt(App.Subject())));
    return;
  }
  // Every ID is looked up before anything is added, so an unknown one adds nothing.
  TItemList items;
  for (const std::string& id : dragged.Ids) items.push_back(App.Library()->FindSegment(id, false));
  if (!items.empty()) AddItemsToDocument(*Doc, items, index, "Drag and Drop");
}

void TDocForm::DocChanged(TObservable*, const TNotificationSet& codes) {
  if (Updating || Doc == nullptr) return;
  if (codes.Contains(AppCode::CurrentDoc) && App.CurrentDocument() == Doc) {
    if (mdiArea() != nullptr && mdiArea()->activeSubWindow() != this) {
      TFlagGuard updating(Updating);
      mdiArea()->setActiveSubWindow(this);
    }
    List->setFocus();
  }
  if (codes.Contains(AppCode::Document)) SyncItems();
  if (codes.Contains(AppCode::CurrentSelection)) SyncSelection();
  if (codes.Contains(AppCode::Filename) || codes.Contains(AppCode::Modified)) setWindowTitle(AnsiToQt(Doc->Caption()));
  if (codes.Contains(AppCode::DocDestroy)) Release();
}

void TDocForm::SyncItems() {
  const auto& entries = Doc->Document->Entries;
  const int n = static_cast<int>(entries.size());
  const int r = List->count();
  TSyncGuard syncing(List->Syncing);
  List->setUpdatesEnabled(false);
  if (n > r) {
    for (int i = 0; i < n; ++i) {
      QListWidgetItem* row = List->item(i);
      if (row == nullptr)
        List->addItem(NewRow(entries[i]));
      else if (RowItem(row) != entries[i])
        List->insertItem(i, NewRow(entries[i]));
    }
  } else if (n == r) {
    for (int i = 0; i < n; ++i)
      List->item(i)->setData(kItemRole, QVariant::fromValue(reinterpret_cast<quintptr>(static_cast<TStreamable*>(entries[i]))));
  } else if (n > 0) {
    int i = 0;
    while (i < List->count()) {
      if (i < n && RowItem(List->item(i)) == entries[i])
        ++i;
      else
        delete List->takeItem(i);
    }
  } else {
    List->clear();
  }
  List->setUpdatesEnabled(true);
  List->viewport()->update();
}

void TDocForm::SyncSelection() {
  TSyncGuard syncing(List->Syncing);
  const bool ours = App.SelectionSource() == TListRef(Doc->Document->Entries);
  const TListRef list = App.CurrentList();
  const TItemList& selection = App.Selection();
  for (int i = 0; i < List->count(); ++i) {
    QListWidgetItem* row = List->item(i);
    bool wanted = false;
    if (ours) {
      TStreamable* item = list.ItemAt(i);
      wanted = item != nullptr && std::find(selection.begin(), selection.end(), item) != selection.end();
    }
    if (row->isSelected() != wanted) row->setSelected(wanted);
  }
}

void TDocForm::Release() {
  {
    TSyncGuard syncing(List->Syncing);
    List->clear();
  }
  App.RemoveObserver<&TDocForm::DocChanged>(this);
  Doc->RemoveObserver<&TDocForm::DocChanged>(this);
  Doc = nullptr;
  hide();
  deleteLater();
}

TDocFormCreator::TDocFormCreator(TAppLogic& app) : App(app) { App.AddObserver<&TDocFormCreator::AppNotified>(this); }

TDocFormCreator::~TDocFormCreator() { App.RemoveObserver<&TDocFormCreator::AppNotified>(this); }

void TDocFormCreator::AppNotified(TObservable*, const TNotificationSet& codes) {
  if (!codes.Contains(AppCode::DocCreate) || Frame.isNull() || App.Documents().empty()) return;
  auto* form = new TDocForm(App, *App.Documents().back(), Frame.data());
  Frame->MdiArea()->addSubWindow(form);
  form->show();
  Latest = form;
}

}  // namespace hv
