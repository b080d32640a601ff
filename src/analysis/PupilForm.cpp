#include "PupilForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "commands/Ask.h"
#include "commands/CommandFramework.h"
#include "components/AnsiString.h"
#include "core/Errors.h"

namespace hv {

namespace {

const char* const kListFilter = "Student list files|*.ptx";
const char* const kImportFilter = "Comma separated|*.csv";
const char* const kEmptyCaption = "Names of students in set";
const char* const kFileCaption = "Names of students in class ";

bool IsMoveOnKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab; }

// Ends an edit on Enter or Tab at once (the standard delegate defers Enter to the event loop and
// leaves the cursor where it was).
class TPupilDelegate : public QStyledItemDelegate {
public:
  explicit TPupilDelegate(TPupilGrid* grid) : QStyledItemDelegate(grid) {}

protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      auto* editor = qobject_cast<QWidget*>(object);
      if (editor != nullptr && IsMoveOnKey(static_cast<QKeyEvent*>(event)->key())) {
        emit commitData(editor);
        emit closeEditor(editor, QAbstractItemDelegate::EditNextItem);
        return true;
      }
    }
    return QStyledItemDelegate::eventFilter(object, event);
  }
};

QString Caption(const std::string& path) { return QLatin1String(kFileCaption) + PathToQt(path); }

}  // namespace

TPupilGrid::TPupilGrid(QWidget* parent) : QTableWidget(parent) {
  setItemDelegate(new TPupilDelegate(this));
}

void TPupilGrid::MoveOn() {
  int row = currentRow() < 0 ? 0 : currentRow();
  int column = currentColumn() < 0 ? 0 : currentColumn() + 1;
  if (column >= columnCount()) {
    column = 0;
    ++row;
  }
  if (row >= rowCount()) {
    if (rowCount() >= static_cast<int>(kMaxStudents)) return;
    setRowCount(row + 1);
  }
  setCurrentCell(row, column);
  // Moving the current box may already have opened its editor.
  if (!IsEditing()) edit(currentIndex());
}

void TPupilGrid::CommitEdit() {
  if (state() != EditingState) return;
  QWidget* editor = focusWidget();
  if (editor == nullptr || editor == this || !isAncestorOf(editor)) return;
  commitData(editor);
  QTableWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TPupilGrid::keyPressEvent(QKeyEvent* event) {
  if (state() != EditingState && IsMoveOnKey(event->key())) {
    MoveOn();
    event->accept();
    return;
  }
  QTableWidget::keyPressEvent(event);
}

void TPupilGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  if (hint != QAbstractItemDelegate::EditNextItem) {
    QTableWidget::closeEditor(editor, hint);
    return;
  }
  QTableWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
  MoveOn();
}

TPupilForm::TPupilForm(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("PupilForm"));
  setWindowTitle(QLatin1String(kEmptyCaption));
  resize(590, 527);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(13);
  setFont(font);

  auto* panel = new QWidget(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setGeometry(0, 0, 590, 41);
  auto* buttons = new QHBoxLayout(panel);
  buttons->setContentsMargins(8, 6, 8, 6);
  auto button = [this](QWidget* owner, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromUtf8(caption), owner);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
  };
  btNew = button(panel, "btNew", "&New");
  btOpen = button(panel, "btOpen", "&Open");
  btImport = button(panel, "btImport", "&Import");
  btSave = button(panel, "btSave", "&Save");
  btSaveAs = button(panel, "btSaveAs", "Save &As");
  btClose = button(panel, "btClose", "&Close");
  for (QPushButton* b : {btNew, btOpen, btImport, btSave, btSaveAs, btClose}) buttons->addWidget(b);
  buttons->addStretch();

  Label1 = new QLabel(QStringLiteral("Type details in the boxes"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(24, 46, 400, 16);
  Label2 = new QLabel(QStringLiteral("Press <Return> to move on to the next box"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setTextFormat(Qt::PlainText);
  Label2->setGeometry(24, 62, 400, 16);

  grPupil = new TPupilGrid(this);
  grPupil->setObjectName(QStringLiteral("grPupil"));
  grPupil->setAccessibleName(QStringLiteral("Students"));
  grPupil->setColumnCount(4);
  grPupil->setRowCount(kGridRows);
  grPupil->setHorizontalHeaderLabels({QStringLiteral("Surname"), QStringLiteral("Forename"), QStringLiteral("DoB"),
                                      QStringLiteral("Sex")});
  grPupil->verticalHeader()->hide();
  grPupil->verticalHeader()->setDefaultSectionSize(20);
  grPupil->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grPupil->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  grPupil->setSelectionMode(QAbstractItemView::ContiguousSelection);
  grPupil->setEditTriggers(QAbstractItemView::AllEditTriggers);
  grPupil->setShowGrid(true);
  // Dates need a little more than the 64 pixels of the other narrow column to show whole.
  const int widths[] = {180, 180, kDateWidth, 64};
  int total = 0;
  for (int c = 0; c < 4; ++c) {
    grPupil->setColumnWidth(c, widths[c]);
    total += widths[c];
  }
  grPupil->horizontalHeader()->setStretchLastSection(false);
  grPupil->setGeometry(24, 80, total + 25, 527 - 80 - 52);

  btEdit = button(this, "btEdit", "&Edit");
  btDelete = button(this, "btDelete", "&Delete");
  btEdit->setGeometry(24, 527 - 40, 85, 28);
  btDelete->setGeometry(24 + 85 + 8, 527 - 40, 85, 28);
  btEdit->setEnabled(false);
  btDelete->setEnabled(false);
  // Clicking them must not take the focus from the grid they act on (leaving the grid disables
  // Edit before the click would arrive).
  btEdit->setFocusPolicy(Qt::NoFocus);
  btDelete->setFocusPolicy(Qt::NoFocus);

  connect(btNew, &QPushButton::clicked, this, [this] { Guarded([this] { btNewClick(); }); });
  connect(btOpen, &QPushButton::clicked, this, [this] { Guarded([this] { btOpenClick(); }); });
  connect(btImport, &QPushButton::clicked, this, [this] { Guarded([this] { btImportClick(); }); });
  connect(btSave, &QPushButton::clicked, this, [this] { Guarded([this] { btSaveClick(); }); });
  connect(btSaveAs, &QPushButton::clicked, this, [this] { Guarded([this] { btSaveAsClick(); }); });
  connect(btClose, &QPushButton::clicked, this, [this] { Guarded([this] { btCloseClick(); }); });
  connect(btEdit, &QPushButton::clicked, this, [this] { Guarded([this] { btEditClick(); }); });
  connect(btDelete, &QPushButton::clicked, this, [this] { Guarded([this] { btDeleteClick(); }); });
  // Whatever changes a box (typing, a paste from the editor's menu, a program) marks the list;
  // loading and clearing set Modified again when they are done.
  connect(grPupil->model(), &QAbstractItemModel::dataChanged, this, [this] { Modified = true; });
  connect(qApp, &QApplication::focusChanged, this, &TPupilForm::FocusChanged);
  Modified = false;
}

TPupilForm::~TPupilForm() {
  // The children die after this body; their focus changes must not reach a half-destroyed window.
  disconnect(qApp, &QApplication::focusChanged, this, &TPupilForm::FocusChanged);
}

template <class TFn>
void TPupilForm::Guarded(TFn fn) {
  try {
    fn();
  } catch (const std::exception& error) {
    ReportCommandError(error);
  }
}

bool TPupilForm::CanDiscard() {
  // Text still in an open editor is part of the list.
  grPupil->CommitEdit();
  if (!Modified) return true;
  switch (Ask().Confirm(QStringLiteral("The list has changed. Do you want to save it?"), TAskButtons::YesNoCancel)) {
    case TAskAnswer::Yes:
      btSaveClick();
      // A save whose name dialog was cancelled has kept nothing, so the list must stay.
      return !Modified;
    case TAskAnswer::No: return true;
    case TAskAnswer::Cancel: break;
  }
  return false;
}

void TPupilForm::SetRowCount(int rows) {
  grPupil->setRowCount(std::max(rows, kGridRows));
}

void TPupilForm::ClearGrid() {
  grPupil->clearContents();
  SetRowCount(kGridRows);
  FocusGridForEditing(true);
  Modified = false;
}

bool AskToDropHeader(const TStudent& first) {
  QStringList fields;
  for (const std::string& f : first)
    if (!f.empty()) fields << QString::fromStdString(f);
  return Ask().Confirm(QStringLiteral("The first line, \"%1\", looks like column headings. Leave it out of the list?")
                           .arg(fields.join(QStringLiteral(", "))),
                       TAskButtons::YesNo) == TAskAnswer::Yes;
}

void TPupilForm::LoadList(const std::string& fileName) {
  const TStudentListText list = ImportStudentList(fileName, AskToDropHeader);
  grPupil->clearContents();
  SetRowCount(static_cast<int>(list.Students.size()));
  for (std::size_t r = 0; r < list.Students.size(); ++r)
    for (int c = 0; c < 4; ++c)
      grPupil->setItem(static_cast<int>(r), c,
                       new QTableWidgetItem(QString::fromStdString(list.Students[r][static_cast<std::size_t>(c)])));
  Modified = false;
  if (list.Truncated)
    Ask().Warning(QStringLiteral("Only the first %1 lines of %2 were read.").arg(kMaxStudents).arg(PathToQt(fileName)));
}

std::vector<TStudent> TPupilForm::Students() const {
  std::vector<TStudent> students(static_cast<std::size_t>(grPupil->rowCount()));
  for (int r = 0; r < grPupil->rowCount(); ++r)
    for (int c = 0; c < 4; ++c)
      if (const QTableWidgetItem* item = grPupil->item(r, c))
        students[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = item->text().toStdString();
  return students;
}

void TPupilForm::WriteList(const std::string& fileName) {
  grPupil->CommitEdit();
  WriteStudentListFile(fileName, Students());
}

void TPupilForm::FocusGridForEditing(bool firstBox) {
  if (firstBox) grPupil->setCurrentCell(0, 0);
  grPupil->setFocus();
  if (grPupil->currentIndex().isValid() && !grPupil->IsEditing())
    grPupil->edit(grPupil->currentIndex());
}

void TPupilForm::btNewClick() {
  if (CanDiscard()) ClearGrid();
}

void TPupilForm::btOpenClick() {
  if (!CanDiscard()) return;
  const QString chosen = Ask().OpenFileName(QStringLiteral("Open student list"), QtFileFilter(QLatin1String(kListFilter)),
                                            QStringLiteral("ptx"), QString());
  RestoreWorkingDirectory();
  if (chosen.isEmpty()) return;
  const std::string path = PathFromQt(chosen);
  LoadList(path);
  setWindowTitle(Caption(path));
  FileName = path;
  btSave->setEnabled(true);
  FocusGridForEditing(true);
  Modified = false;
}

void TPupilForm::btImportClick() {
  if (!CanDiscard()) return;
  const QString chosen = Ask().OpenFileName(QStringLiteral("Import students"), QtFileFilter(QLatin1String(kImportFilter)),
                                            QStringLiteral("csv"), QString());
  RestoreWorkingDirectory();
  if (chosen.isEmpty()) return;
  const std::string path = PathFromQt(chosen);
  LoadList(path);
  setWindowTitle(Caption(path));
  // The imported list is not the student list file opened earlier; saving it asks for a name
  // rather than writing it over that file. Until then it is kept nowhere, so closing asks.
  FileName.clear();
  FocusGridForEditing(true);
  Modified = true;
}

void TPupilForm::btSaveClick() {
  if (FileName.empty()) {
    btSaveAsClick();
    return;
  }
  WriteList(FileName);
  Modified = false;
  FocusGridForEditing(false);
}

void TPupilForm::btSaveAsClick() {
  struct TRestore {
    ~TRestore() { RestoreWorkingDirectory(); }
  } restore;
  const QString chosen = Ask().SaveFileName(QStringLiteral("Save student list"), QtFileFilter(QLatin1String(kListFilter)),
                                            QStringLiteral("ptx"), PathToQt(FileName), QString());
  if (chosen.isEmpty()) return;
  const std::string path = PathFromQt(chosen);
  WriteList(path);
  setWindowTitle(Caption(path));
  FileName = path;
  btSave->setEnabled(true);
  FocusGridForEditing(false);
  Modified = false;
}

void TPupilForm::btCloseClick() { close(); }

void TPupilForm::btEditClick() { FocusGridForEditing(false); }

void TPupilForm::btDeleteClick() {
  const int r = grPupil->currentRow();
  if (r < 0) return;
  grPupil->CommitEdit();
  const int last = grPupil->rowCount() - 1;
  for (int row = r; row < last; ++row)
    for (int c = 0; c < 4; ++c) {
      const QTableWidgetItem* below = grPupil->item(row + 1, c);
      grPupil->setItem(row, c, new QTableWidgetItem(below != nullptr ? below->text() : QString()));
    }
  // The last row moved up; it must not stay behind as a second copy.
  for (int c = 0; c < 4; ++c) delete grPupil->takeItem(last, c);
  FocusGridForEditing(false);
  Modified = true;
}

void TPupilForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  ClearGrid();
  FileName.clear();
  btSave->setEnabled(false);
  setWindowTitle(QLatin1String(kEmptyCaption));
}

void TPupilForm::closeEvent(QCloseEvent* event) {
  bool discard = false;
  Guarded([&] { discard = CanDiscard(); });
  if (discard)
    event->accept();
  else
    event->ignore();
}

bool TPupilForm::InGrid(const QWidget* widget) const {
  return widget != nullptr && (widget == grPupil || grPupil->isAncestorOf(widget));
}

void TPupilForm::FocusChanged(QWidget* old, QWidget* now) {
  const bool wasIn = InGrid(old);
  const bool isIn = InGrid(now);
  if (!wasIn && isIn) {
    btDelete->setEnabled(true);
    btEdit->setEnabled(true);
  } else if (wasIn && !isIn) {
    btEdit->setEnabled(false);
  }
}

}  // namespace hv
