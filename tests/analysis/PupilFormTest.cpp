// The student list window offscreen: saving, opening and importing with scripted dialogs, the
// delete button, moving on with Enter and Tab, and the question before changes are lost.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "AnalysisTests.h"
#include "PupilForm.h"
#include "ScriptedAsk.h"
#include "TempFolder.h"
#include "commands/CommandFramework.h"
#include "core/Errors.h"
#include "logic/AppLogic.h"

namespace hv::test {
namespace {

const QString kSaveQuestion = QStringLiteral("The list has changed. Do you want to save it?");

QString Q(const std::string& path) { return QString::fromStdString(path); }

class TPupilFormTest : public QObject {
  Q_OBJECT

  // File dialogs restore the working directory through the commands' environment.
  TAppLogic App;
  TCommandEnvironment Env{App};
  std::unique_ptr<TPupilForm> Form;

  QPushButton* Button(const char* name) const { return Form->findChild<QPushButton*>(QLatin1String(name)); }
  void Put(int row, const TStudent& s) {
    for (int c = 0; c < 4; ++c)
      Form->Grid()->setItem(row, c, new QTableWidgetItem(QString::fromStdString(s[static_cast<std::size_t>(c)])));
  }
  QString Cell(int row, int column) const {
    const QTableWidgetItem* item = Form->Grid()->item(row, column);
    return item != nullptr ? item->text() : QString();
  }
  // The editor of the box being edited; closed ones are hidden until they are deleted.
  QLineEdit* OpenEditor() const {
    for (QLineEdit* e : Form->Grid()->viewport()->findChildren<QLineEdit*>())
      if (e->isVisible()) return e;
    return nullptr;
  }
  std::string Lines(int count, const char* prefix) {
    std::string text;
    for (int i = 1; i <= count; ++i) text += prefix + std::to_string(i) + ",F" + std::to_string(i) + ",,M\r\n";
    return text;
  }

private slots:
  void init() {
    Form = std::make_unique<TPupilForm>();
    Form->show();
    QVERIFY(QTest::qWaitForWindowExposed(Form.get()));
  }
  void cleanup() {
    // Nothing may be left to ask about when the window goes.
    Form->Modified = false;
    Form.reset();
  }

  void startsEmptyWithItsControls() {
    QCOMPARE(Form->windowTitle(), QStringLiteral("Names of students in set"));
    QCOMPARE(Form->Grid()->columnCount(), 4);
    QCOMPARE(Form->Grid()->rowCount(), TPupilForm::kGridRows);
    QCOMPARE(Form->Grid()->horizontalHeaderItem(0)->text(), QStringLiteral("Surname"));
    QCOMPARE(Form->Grid()->horizontalHeaderItem(3)->text(), QStringLiteral("Sex"));
    QCOMPARE(Form->Grid()->columnWidth(1), 180);
    QCOMPARE(Form->Grid()->width(), 180 + 180 + TPupilForm::kDateWidth + 64 + 25);
    QVERIFY(!Button("btSave")->isEnabled());
    QCOMPARE(Button("btSaveAs")->text(), QStringLiteral("Save &As"));
    QVERIFY(!Form->Modified);
  }

  void savesEveryRowWithText() {
    TTempFolder dir;
    for (int r = 0; r < 6; ++r) Put(r, {"S" + std::to_string(r), "F", "", "M"});
    Put(2, {"", "", "", ""});
    Put(4, {"", "Gap", "", ""});
    TScriptedAsk ask;
    ask.ExpectSaveFileName(Q(dir.File("set.ptx")));
    Form->btSaveClick();
    QCOMPARE(ReadText(dir.File("set.ptx")), std::string("S0,F,,M\r\nS1,F,,M\r\nS3,F,,M\r\n,Gap,,\r\nS5,F,,M\r\n"));
    QCOMPARE(Form->windowTitle(), QStringLiteral("Names of students in class ") + Q(dir.File("set.ptx")));
    QVERIFY(Button("btSave")->isEnabled());
    QVERIFY(!Form->Modified);

    // A list without any text is an empty file.
    Form->Grid()->clearContents();
    Form->btSaveClick();
    QCOMPARE(ReadText(dir.File("set.ptx")), std::string());
    QVERIFY(ask.Verify());
  }

  void aWholeClassInEveryScriptComesBack() {
    TTempFolder dir;
    // As school systems export it: UTF-8 with its mark, a heading line, blank lines.
    const char* names[][2] = {{"Петров", "Иван"}, {"Nguyễn", "Thị Hương"}, {"Wróbel", "Łukasz"}, {"Müller", "Jörg"}};
    std::string csv = "\xEF\xBB\xBFSurname,First name,Date of birth,Gender\r\n\r\n";
    std::vector<TStudent> expected;
    for (int i = 0; i < 300; ++i) {
      const auto& n = names[i % 4];
      expected.push_back({n[0] + std::to_string(i), n[1], "01/02/2009", i % 2 ? "F" : "M"});
      csv += expected.back()[0] + "," + n[1] + ",01/02/2009," + expected.back()[3] + (i % 50 ? "\r\n" : "\r\n\r\n");
    }
    WriteText(dir.File("class.csv"), csv);
    TScriptedAsk ask;
    ask.ExpectOpenFileName(Q(dir.File("class.csv")));
    ask.ExpectConfirm(QStringLiteral("The first line, \"Surname, First name, Date of birth, Gender\", looks like "
                                     "column headings. Leave it out of the list?"),
                      TAskAnswer::Yes);
    Form->btImportClick();
    QCOMPARE(Cell(0, 0), QStringLiteral("Петров0"));
    // Nothing is kept anywhere yet, so closing would ask.
    QVERIFY(Form->Modified);
    ask.ExpectSaveFileName(Q(dir.File("class.ptx")));
    Form->btSaveClick();
    QCOMPARE(ReadText(dir.File("class.ptx")).substr(0, 3), std::string("\xEF\xBB\xBF"));
    Form->btNewClick();
    ask.ExpectOpenFileName(Q(dir.File("class.ptx")));
    Form->btOpenClick();
    const std::vector<TStudent> reopened = Form->Students();
    QVERIFY(reopened.size() >= expected.size());
    QCOMPARE(std::vector<TStudent>(reopened.begin(), reopened.begin() + 300), expected);
    QCOMPARE(Cell(300, 0), QString());

    // A list of names alone, in Windows-1252 as older programs wrote it, stays in that code page.
    WriteText(dir.File("names.csv"), "J\xF6rg M\xFCller\r\nAnna KOWALSKI\r\n\r\nO'Neil\r\n");
    ask.ExpectOpenFileName(Q(dir.File("names.csv")));
    Form->btImportClick();
    ask.ExpectSaveFileName(Q(dir.File("names.ptx")));
    Form->btSaveClick();
    QCOMPARE(ReadText(dir.File("names.ptx")), std::string("M\xFCller,J\xF6rg,,\r\nKOWALSKI,Anna,,\r\nO'Neil,,,\r\n"));
    QVERIFY(ask.Verify());
  }

  void fiftyStudentsComeAndGoTogether() {
    TTempFolder dir;
    WriteText(dir.File("big.ptx"), Lines(50, "S"));
    TScriptedAsk ask;
    ask.ExpectOpenFileName(Q(dir.File("big.ptx")));
    Form->btOpenClick();
    QCOMPARE(Cell(49, 0), QStringLiteral("S50"));
    QCOMPARE(Form->FileName, dir.File("big.ptx"));
    WriteText(dir.File("big.ptx"), "");
    Form->btSaveClick();
    QCOMPARE(ReadText(dir.File("big.ptx")), Lines(50, "S"));
    // New empties the whole list, not only its first rows.
    Form->btNewClick();
    QCOMPARE(Cell(0, 0), QString());
    QCOMPARE(Cell(45, 0), QString());
    QVERIFY(ask.Verify());
  }

  void longFilesGrowTheGridUpToItsLimit() {
    TTempFolder dir;
    WriteText(dir.File("huge.csv"), Lines(static_cast<int>(kMaxStudents) + 5, "S"));
    TScriptedAsk ask;
    ask.ExpectOpenFileName(Q(dir.File("huge.csv")));
    ask.ExpectWarning(QStringLiteral("Only the first %1 lines of %2 were read.").arg(kMaxStudents).arg(Q(dir.File("huge.csv"))));
    Form->btImportClick();
    QCOMPARE(Form->Grid()->rowCount(), static_cast<int>(kMaxStudents));
    QCOMPARE(Cell(static_cast<int>(kMaxStudents) - 1, 0), QStringLiteral("S%1").arg(kMaxStudents));
    QVERIFY(ask.Verify());
  }

  void openingClearsRowsBelowTheFile() {
    TTempFolder dir;
    for (int r = 0; r < 5; ++r) Put(r, {"Old" + std::to_string(r), "", "", ""});
    Form->Modified = false;  // an earlier list, saved
    WriteText(dir.File("short.ptx"), "A,B,C,D,E\r\nOnly,One\r\n");
    TScriptedAsk ask;
    ask.ExpectOpenFileName(Q(dir.File("short.ptx")));
    Form->btOpenClick();
    QCOMPARE(Cell(0, 3), QStringLiteral("D,E"));
    QCOMPARE(Cell(1, 0), QStringLiteral("Only"));
    QCOMPARE(Cell(1, 1), QStringLiteral("One"));
    QCOMPARE(Cell(1, 3), QString());
    QCOMPARE(Cell(2, 0), QString());
    QCOMPARE(Cell(4, 0), QString());
    // The five-part line goes back as it came.
    Form->btSaveClick();
    QCOMPARE(ReadText(dir.File("short.ptx")), std::string("A,B,C,D,E\r\nOnly,One,,\r\n"));
    QVERIFY(ask.Verify());
  }

  void saveAfterImportAsksForAName() {
    TTempFolder dir;
    WriteText(dir.File("class.ptx"), "Keep,Me,,\r\n");
    WriteText(dir.File("other.csv"), "\"Smith, J\",Jo,,F\r\n");
    TScriptedAsk ask;
    ask.ExpectOpenFileName(Q(dir.File("class.ptx")));
    ask.ExpectOpenFileName(Q(dir.File("other.csv")));
    ask.ExpectSaveFileName(QString());
    ask.ExpectSaveFileName(Q(dir.File("imported.ptx")));
    Form->btOpenClick();
    Form->btImportClick();
    QVERIFY(Form->Modified);
    QCOMPARE(Form->windowTitle(), QStringLiteral("Names of students in class ") + Q(dir.File("other.csv")));
    QCOMPARE(Cell(0, 0), QStringLiteral("Smith, J"));
    Form->btSaveClick();  // cancelled: nothing written anywhere
    QCOMPARE(ReadText(dir.File("class.ptx")), std::string("Keep,Me,,\r\n"));
    Form->btSaveClick();
    QCOMPARE(ReadText(dir.File("class.ptx")), std::string("Keep,Me,,\r\n"));
    QCOMPARE(ReadText(dir.File("imported.ptx")), std::string("\"Smith, J\",Jo,,F\r\n"));
    QVERIFY(ask.Verify());
  }

  void deleteMovesRowsUpAndEmptiesTheLast() {
    for (int r = 0; r < 3; ++r) Put(r, {"S" + std::to_string(r), "", "", ""});
    const int last = Form->Grid()->rowCount() - 1;
    Put(last, {"Last", "x", "", ""});
    Form->Grid()->setCurrentCell(1, 2);
    Form->btDeleteClick();
    QCOMPARE(Cell(0, 0), QStringLiteral("S0"));
    QCOMPARE(Cell(1, 0), QStringLiteral("S2"));
    QCOMPARE(Cell(2, 0), QString());
    QCOMPARE(Cell(last - 1, 0), QStringLiteral("Last"));
    QCOMPARE(Cell(last, 0), QString());
    QVERIFY(Form->Modified);
  }

  void enterAndTabMoveOnToTheNextBox() {
    Form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form.get()));
    TPupilGrid* grid = Form->Grid();
    // Showing the window already opened the first box for typing.
    QCOMPARE(grid->currentRow(), 0);
    QCOMPARE(grid->currentColumn(), 0);
    QVERIFY(grid->IsEditing());
    QLineEdit* editor = OpenEditor();
    QVERIFY(editor != nullptr);
    QTest::keyClicks(editor, QStringLiteral("Smith"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCOMPARE(Cell(0, 0), QStringLiteral("Smith"));
    QCOMPARE(grid->currentColumn(), 1);
    QVERIFY(grid->IsEditing());
    QVERIFY(Form->Modified);
    editor = OpenEditor();
    QVERIFY(editor != nullptr);
    QTest::keyClicks(editor, QStringLiteral("Jo"));
    QTest::keyClick(editor, Qt::Key_Tab);
    QCOMPARE(Cell(0, 1), QStringLiteral("Jo"));
    QCOMPARE(grid->currentColumn(), 2);
    QVERIFY(grid->IsEditing());
    // From the last column to the first of the next row.
    grid->setCurrentCell(0, 3);
    grid->MoveOn();
    QCOMPARE(grid->currentRow(), 1);
    QCOMPARE(grid->currentColumn(), 0);
    // The grid holds the focus, so Edit and Delete are on.
    QVERIFY(Button("btDelete")->isEnabled());
    QVERIFY(Button("btEdit")->isEnabled());
  }

  void changesMarkTheListAndClosingAsks() {
    Put(0, {"Smith", "", "", ""});
    Form->Modified = false;
    Form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form.get()));
    // Moving about changes nothing.
    Form->Grid()->CommitEdit();
    QTest::keyClick(Form->Grid(), Qt::Key_Down);
    QVERIFY(!Form->Modified);
    // A paste from the box's own menu, still in the open editor when the window is closed.
    Form->Grid()->setCurrentCell(1, 0);
    Form->Grid()->edit(Form->Grid()->currentIndex());
    QApplication::clipboard()->setText(QStringLiteral("Pasted"));
    QLineEdit* editor = OpenEditor();
    QVERIFY(editor != nullptr);
    editor->paste();
    {
      TScriptedAsk ask;
      ask.ExpectConfirm(kSaveQuestion, TAskAnswer::Cancel);
      Form->btCloseClick();
      QVERIFY(Form->isVisible());
      QCOMPARE(Cell(0, 0), QStringLiteral("Smith"));
      QCOMPARE(Cell(1, 0), QStringLiteral("Pasted"));
      QVERIFY(ask.Verify());
    }
    {
      // Yes with a cancelled name keeps the window: nothing was saved.
      TScriptedAsk ask;
      ask.ExpectConfirm(kSaveQuestion, TAskAnswer::Yes);
      ask.ExpectSaveFileName(QString());
      QVERIFY(!Form->CanDiscard());
      QVERIFY(ask.Verify());
    }
    {
      TScriptedAsk ask;
      ask.ExpectConfirm(kSaveQuestion, TAskAnswer::No);
      Form->btCloseClick();
      QVERIFY(!Form->isVisible());
      QVERIFY(ask.Verify());
    }
    // Showing it again starts an empty list without a file.
    Form->show();
    QCOMPARE(Cell(0, 0), QString());
    QVERIFY(Form->FileName.empty());
  }

  void aFileThatCannotBeReadLeavesTheGrid() {
    Put(0, {"Kept", "", "", ""});
    Form->Modified = false;
    TScriptedAsk ask;
    ask.ExpectOpenFileName(QStringLiteral("/nonexistent/list.ptx"));
    QVERIFY_THROWS_EXCEPTION(EInOutError, Form->btOpenClick());
    QCOMPARE(Cell(0, 0), QStringLiteral("Kept"));
    QVERIFY(Form->FileName.empty());
    QVERIFY(ask.Verify());
  }
};

}  // namespace

int RunPupilFormTests(int argc, char** argv) {
  TPupilFormTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace hv::test

#include "PupilFormTest.moc"
