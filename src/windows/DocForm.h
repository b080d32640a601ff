#pragma once
// The document windows: one MDI child per open test document, and the factory that makes them.
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStyledItemDelegate>

#include "core/Observer.h"
#include "windows/ItemDrag.h"
#include "windows/MainForm.h"

namespace hv {

class TAppLogic;
class TDocContent;
class TDocLogic;
class TDocForm;

// Draws a row of a list whose rows carry library items: the light-blue selection, then the item
// as two lines. Document entries show their number, when numbered, in front of the item.
class TSegmentItemDelegate : public QStyledItemDelegate {
  Q_OBJECT
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  static constexpr int kRowHeight = 33;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The row data: the item a row shows, as a TStreamable pointer.
inline constexpr int kItemRole = Qt::UserRole + 1;

// The list of a document window: multi-select rows of entries, dragging out the selection and
// taking drops, which it hands to its window.
class TDocListBox : public QListWidget {
  Q_OBJECT
public:
  explicit TDocListBox(TDocForm* form);

signals:
  // The user changed the selection or clicked a row (mouse or keyboard).
  void UserClicked();

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

private:
  friend class TDocForm;
  void SelectionChangedByUser();

  TDocForm* Form;
  bool Pressing = false;
  bool Dirty = false;   // the selection changed during the current press
  int Syncing = 0;      // rows are being changed by the program, not the user
};

// Shows one test document and follows it: rows for its entries, their selection in the
// application state, and its file name as the caption. Clicking selects, dragging reorders,
// dropping from other lists adds; closing runs the Close command, and the window goes away
// only when its document does.
class TDocForm : public QMdiSubWindow {
  Q_OBJECT
public:
  TDocForm(TAppLogic& app, TDocLogic& doc, TMainForm* mainForm);
  ~TDocForm() override;

  TDocLogic* DocLogic() const { return Doc; }
  TDocListBox* DocLB() const { return List; }

  // Whether a drag from source may drop here (and auto-scrolls when over the list's ends);
  // source is null or another widget for drags from other lists. pos is in the list's viewport.
  bool DocLBDragOver(const QWidget* source, QPoint pos);
  // A drop with no source widget came from another running copy of the program; carried says
  // what it carries.
  void DocLBDragDrop(const QWidget* source, QPoint pos, const QMimeData* carried = nullptr);
  void DocLBClick();

  void DocChanged(TObservable* sender, const TNotificationSet& codes);

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void FormActivate();
  void DropFromOtherCopy(const TDraggedItems& dragged, int index);
  void SyncItems();
  void SyncSelection();
  void Release();
  QListWidgetItem* NewRow(TDocContent* entry) const;

  TAppLogic& App;
  TDocLogic* Doc;  // null once the document has gone
  TDocListBox* List;
  bool Updating = false;
};

// Makes a document window for every document the application state adds.
class TDocFormCreator {
public:
  explicit TDocFormCreator(TAppLogic& app);
  virtual ~TDocFormCreator();
  TDocFormCreator(const TDocFormCreator&) = delete;
  TDocFormCreator& operator=(const TDocFormCreator&) = delete;

  // The frame that owns the windows; documents added before it is set get no window.
  void SetMainForm(TMainForm* mainForm) { Frame = mainForm; }
  virtual void AppNotified(TObservable* sender, const TNotificationSet& codes);

private:
  TAppLogic& App;
  QPointer<TMainForm> Frame;
};

// The most recently created document window.
TDocForm* LastDocForm();

}  // namespace hv
