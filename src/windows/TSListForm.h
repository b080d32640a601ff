#pragma once
// The text list: every mark scheme, examiner's report, specification link or resource of the
// library, in tree order.
#include <QListWidget>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QWidget>

#include <vector>

#include "commands/ViewManagers.h"
#include "core/Observer.h"
#include "windows/ListClicks.h"

namespace hv {

class TAppLogic;
class TTextSegment;
class TTSListForm;

// Draws a text list row: a resource as its full ID and title, any other text as a two-line item
// indented by the depth of its identity.
class TTextListDelegate : public QStyledItemDelegate {
  Q_OBJECT
public:
  TTextListDelegate(TTSListForm& form, QObject* parent);
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
  TTSListForm& Form;
};

// The tab strip along the bottom: one glyph per kind of text.
class TTextListTabs : public QTabBar {
  Q_OBJECT
public:
  explicit TTextListTabs(QWidget* parent);

protected:
  QSize tabSizeHint(int index) const override;
  void paintEvent(QPaintEvent* event) override;
};

// Lists all texts of one kind so the user can browse them in the Viewer or drag them into a
// document; its manager shows and hides it and chooses the kind. Closing it hides it.
class TTSListForm : public QWidget, public IToolWindow {
  Q_OBJECT
public:
  TTSListForm(TAppLogic& app, QWidget* mainForm);
  ~TTSListForm() override;

  // Tab captions and glyphs, in tab order.
  static constexpr int kTabGlyphs[4] = {19, 21, 20, 36};

  void ViewStateChanged(TObservable* sender, const TNotificationSet& codes);
  void AppNotified(TObservable* sender, const TNotificationSet& codes);
  void FillList();
  void SyncSelection();
  void ListLBClick();
  void TabSetClick(int index);

  void ShowNormal() override;
  void ShowMinimized() override;

  const std::vector<TTextSegment*>& Items() const { return ItemList; }
  QListWidget* ListLB() const { return List; }
  QTabBar* TabSet() const { return Tabs; }
  bool ShowsResources() const { return Tabs->currentIndex() > 2; }

protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  // Lets go of the application's current index and selection source in a refilled list.
  void ReleaseFromApp();

  TAppLogic& App;
  std::vector<TTextSegment*> ItemList;
  TClickList<QListWidget>* List;
  TTextListTabs* Tabs;
  bool Updating = false;
  bool Observing = false;
  bool ChangingTab = false;
};

}  // namespace hv
