#pragma once
// The category picker: one category of a classification tree as a search criterion.
#include <QDialog>
#include <QStyledItemDelegate>

#include "commands/Ask.h"

class QListWidget;
class QListWidgetItem;
class QPushButton;
class QToolButton;

namespace hv {

class TAppLogic;
class TCategory;
class TPickForm;
class TQtAsk;
class TSet;

// Draws a picker row: greyed when the category gives no results, bold for the root, indented with
// an expand marker in the outline listing.
class TCategoryRowDelegate : public QStyledItemDelegate {
  Q_OBJECT
public:
  TCategoryRowDelegate(TPickForm& form, QObject* parent);
  static constexpr int kRowHeight = 13;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
  TPickForm& Form;
};

// Lets the user pick a category, greying those that would give no results, and choose between
// starting a new search and refining the current one. The topic tree can also be listed
// alphabetically; the choice of listing is kept from one use to the next.
class TPickForm : public QDialog {
  Q_OBJECT
public:
  // app: to tell the topic tree from the others. Installs itself as the picker of ask when ask
  // is the Qt implementation (null: the one installed, if any).
  explicit TPickForm(TAppLogic& app, QWidget* parent = nullptr, TQtAsk* ask = nullptr);
  ~TPickForm() override;

  // Shows the picker modally; category comes in as the current criterion and, unless cancelled,
  // goes out as the category picked.
  TPickResult Pick(TCategory* root, const TSet& available, TCategory*& category, bool onlyCriterion);
  TPickAnswer PickCategory(TCategory* root, const TSet& available, TCategory* current, const TPickOptions& options);

  void FillList();
  void UpdateButtons();
  void AlphaBClick();
  void OutlineBClick();
  void CategoriesLBClick();
  void CategoriesLBDblClick();

  bool Sorted() const { return SortedListing; }
  TCategory* Picked() const { return PickedCategory; }
  TCategory* CategoryAt(int row) const;
  bool IsAvailable(const TCategory* category) const;
  // Whether the row after row holds the first child of row's category.
  bool IsExpanded(int row) const;

  QListWidget* CategoriesLB() const { return List; }
  QToolButton* AlphaB() const { return Alpha; }
  QToolButton* OutlineB() const { return Outline; }
  QPushButton* StartB() const { return Start; }
  QPushButton* ContinueB() const { return Continue; }
  QPushButton* CancelB() const { return Cancel; }

protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // Whether x, in the list's viewport, lies on the expand marker of row in the outline listing.
  bool OnMarker(int row, int x) const;
  QListWidgetItem* NewRow(TCategory* category, const QString& text) const;

  TAppLogic& App;
  TQtAsk* InstalledIn = nullptr;
  QListWidget* List;
  QToolButton* Alpha;
  QToolButton* Outline;
  QPushButton* Start;
  QPushButton* Continue;
  QPushButton* Cancel;
  TCategory* Root = nullptr;
  const TSet* Available = nullptr;
  TCategory* PickedCategory = nullptr;
  bool OnlyCriterion = false;
  bool SortedListing = false;
};

}  // namespace hv
