#pragma once
// The student list window: a four-column grid of the students of a set, started empty, opened
// from a student list file, filled from a comma-separated file, edited and saved.
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QWidget>

#include <string>
#include <vector>

#include "StudentList.h"

class QLabel;
class QPushButton;

namespace hv {

// The grid of the student list: Enter and Tab end the edit, move to the next box (from the last
// column to the first of the next row) and edit again.
class TPupilGrid : public QTableWidget {
  Q_OBJECT
public:
  explicit TPupilGrid(QWidget* parent = nullptr);
  // Moves to the next box and starts editing it; at the last box a row is added while the grid
  // has room for more students.
  void MoveOn();
  // Ends an edit in progress, keeping what was typed.
  void CommitEdit();
  bool IsEditing() const { return state() == EditingState; }

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
};

// Asks whether a first line that looks like column headings is to be left out of a list.
bool AskToDropHeader(const TStudent& first);

class TPupilForm : public QWidget {
  Q_OBJECT
public:
  // The rows the grid starts with below its header; files with more lines make it grow up to
  // kMaxStudents rows.
  static constexpr int kGridRows = 159;
  static constexpr int kDateWidth = 80;

  explicit TPupilForm(QWidget* parent = nullptr);
  ~TPupilForm() override;

  std::string FileName;
  bool Modified = false;

  // Asks whether to save a changed list. Yes saves (and answers false when that save was
  // cancelled), No answers true, Cancel false.
  bool CanDiscard();
  // Empties every row, back to the starting number of rows, and edits the first box.
  void ClearGrid();
  // Fills the grid from a file, one row per student, and empties the rows below; a first line
  // that looks like column headings is left out when the user agrees. Errors go to the caller
  // with the grid as it was.
  void LoadList(const std::string& fileName);

  // The handlers of the buttons; errors go to the caller (the buttons report them to the user).
  void btNewClick();
  void btOpenClick();
  void btImportClick();
  void btSaveClick();
  void btSaveAsClick();
  void btCloseClick();
  void btEditClick();
  void btDeleteClick();

  // The grid's rows as students, in order.
  std::vector<TStudent> Students() const;
  TPupilGrid* Grid() const { return grPupil; }

protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void FocusGridForEditing(bool firstBox);
  void SetRowCount(int rows);
  void WriteList(const std::string& fileName);
  void FocusChanged(QWidget* old, QWidget* now);
  bool InGrid(const QWidget* widget) const;
  // Runs a handler from a button: errors are shown to the user instead of leaving the slot.
  template <class TFn>
  void Guarded(TFn fn);

  QPushButton *btNew, *btOpen, *btImport, *btSave, *btSaveAs, *btClose, *btEdit, *btDelete;
  QLabel *Label1, *Label2;
  TPupilGrid* grPupil;
};

}  // namespace hv
