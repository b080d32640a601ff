#pragma once
// The Question Finder: the six search criteria and the questions that match them.
#include <QAbstractListModel>
#include <QFrame>
#include <QListView>
#include <QMdiSubWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <vector>

#include "commands/ViewManagers.h"
#include "core/Observer.h"
#include "logic/QuestionSelector.h"
#include "windows/ListClicks.h"
#include "windows/SizeablePanel.h"

class QCheckBox;
class QDockWidget;
class QLineEdit;
class QMainWindow;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;
class QToolButton;

namespace hv {

class TAppLogic;
class TMainForm;
class TQuestion;

// The selector's results as list rows. It keeps its own copy of the list, taken when the window
// reloads, so the view never reads a list that changed under it; rows are drawn only when shown.
class TResultsModel : public QAbstractListModel {
  Q_OBJECT
public:
  using QAbstractListModel::QAbstractListModel;
  // With an application state, rows also answer their question's statistics: the facility
  // (kFacilityRole, none when the question has none) and the summary as tooltip.
  void SetStatsSource(const TAppLogic* app) { App = app; }
  void Reset(const std::vector<TQuestion*>& items);
  const std::vector<TQuestion*>& Items() const { return Rows; }
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
  std::vector<TQuestion*> Rows;
  const TAppLogic* App = nullptr;
};

inline constexpr int kFacilityRole = Qt::UserRole + 2;

// The result list: two-line rows, several selectable, dragged out into document windows.
class TResultsListBox : public TClickList<QListView> {
public:
  explicit TResultsListBox(QWidget* parent);
  // Drags the selected rows; a document window takes them from the application's selection.
  void DragSelection();
};

// A framed box showing one search criterion.
class TCriterionBox : public QFrame {
  Q_OBJECT
public:
  TCriterionBox(std::function<const TCategory*()> criterion, QWidget* parent);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  std::function<const TCategory*()> Criterion;
};

// Shows the current criteria and the matching questions, and selects the clicked results in the
// application state so the Viewer shows them. Closing it only minimizes it; its panel moves into
// the main window when its manager docks it.
class TQFForm : public QMdiSubWindow, public IToolWindow {
  Q_OBJECT
public:
  TQFForm(TAppLogic& app, QMainWindow* mainForm);
  ~TQFForm() override;

  static constexpr const char* kResourceQuestion =
      "This question requires a resource.  Would you like to add this to the document?";

  void ViewStateChanged(TObservable* sender, const TNotificationSet& codes);
  void AppNotified(TObservable* sender, const TNotificationSet& codes);
  void ReloadResults();
  void RepaintIfCurrent();
  void SyncSelection();
  // What a click on the list does: current list, resource offer, selection.
  void QuestionsLBClick();
  // Searches by the words in the Words box, starting afresh or within the other criteria.
  void WordSearch(bool newSearch);

  void ShowNormal() override;
  void ShowMinimized() override;

  TSizeablePanel* QFPanel() const { return Panel.data(); }
  TResultsListBox* QuestionsLB() const { return List; }
  TResultsModel* Results() const { return Model; }
  int DockedWidth() const { return DockWidth; }
  // The box and button of a criterion row.
  TCriterionBox* CriterionBox(TClassification which) const { return Boxes[Index(which)]; }
  QToolButton* CriterionButton(TClassification which) const { return Buttons[Index(which)]; }
  // The statistics filters, shown while there is a statistics store: the facility bound and the
  // class whose questions are hidden.
  QComboBox* FacilityFilter() const { return FacilityCB; }
  QDoubleSpinBox* FacilityValue() const { return FacilitySB; }
  QComboBox* ClassFilter() const { return ClassCB; }
  // The filter the controls describe, handed to the application state.
  void ApplyStatsFilter();
  void ReloadClasses();
  QLineEdit* WordsE() const { return WordsBox; }
  QCheckBox* WordsScopeCB() const { return WordsScope; }

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  static std::size_t Index(TClassification which) { return static_cast<std::size_t>(which); }
  void CreateRow(TClassification which, const char* boxName, const char* buttonName, QRect box, QPoint button);
  template <class TForm>
  friend void FollowViewManager(TForm&, const TViewManager&, const TNotificationSet&);
  void ShowWindowView();
  void HideWindowView();
  void DockWindow();
  void UndockWindow();
  void QFPanelResize();
  void OfferResources(const TQuestion& question);
  void CreateStatsFilters();
  int ListTop() const;

  TAppLogic& App;
  QPointer<QMainWindow> Frame;
  // Guarded: while docked the panel belongs to the main window's dock, which may go first.
  QPointer<TSizeablePanel> Panel;
  TResultsModel* Model;
  TResultsListBox* List;
  std::array<TCriterionBox*, kClassificationCount> Boxes{};
  std::array<QToolButton*, kClassificationCount> Buttons{};
  QComboBox* FacilityCB = nullptr;
  QDoubleSpinBox* FacilitySB = nullptr;
  QComboBox* ClassCB = nullptr;
  QLineEdit* WordsBox;
  QCheckBox* WordsScope;
  QPushButton* WordsStart;
  QPushButton* WordsContinue;
  QPointer<QDockWidget> Dock;
  int DockWidth = 313;
  bool Updating = false;
  bool Observing = false;
};

}  // namespace hv
