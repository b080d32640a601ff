// The Tools menu commands of the analysis sheets: when they are enabled, every answer to their
// dialogs, and the working directory afterwards.
#include <QAction>
#include <QTest>

#include <filesystem>

#include "AnalysisCommands.h"
#include "AnalysisFixtures.h"
#include "AnalysisTests.h"
#include "PupilForm.h"
#include "ScriptedAsk.h"
#include "core/Errors.h"
#include "model/LibraryConfig.h"

namespace hv::test {
namespace {

const QString kUseList = QStringLiteral("Do you want to use a Student list?");

class TCommandsTest : public QObject {
  Q_OBJECT

  // Each test builds its own state: commands must observe a fresh AppLogic.
  struct TWorld {
    TAnalysisLibrary Lib;
    TQuestion* Q1 = Lib.Q1;
    TQuestion* Q2 = Lib.Q2;
    TAppLogic App;
    TCommandEnvironment Env{App};
    TTempFolder ProgramDir;
    TTempFolder Work;
    std::vector<std::string> Shown;
    bool Opens = true;  // whether the desktop has a program for workbooks

    TWorld() {
      App.AdoptLibrary("Analysis", TOpenedLibrary{nullptr, std::move(Lib.Library)});
      Env.ProgramDir = ProgramDir.Path;
      SetProgramDirectory(ProgramDir.Path);
      std::filesystem::copy_file(TemplateFile(), ProgramDir.File("RX2P.xltx"));
      SetWorkbookViewer([this](const std::string& f) {
        Shown.push_back(f);
        return Opens;
      });
    }
    ~TWorld() {
      SetProgramDirectory(std::string());
      std::filesystem::current_path(std::filesystem::temp_directory_path());
    }
    TDocLogic* Document(const std::vector<TTextSegment*>& segments) {
      App.NewDocument();
      TDocLogic* doc = App.Documents().back().get();
      App.SetCurrentDocument(doc);
      if (!segments.empty()) doc->InsertEntries(TItemList(segments.begin(), segments.end()), -1);
      return doc;
    }
    // The settings as the main window would have read them.
    static TAnalysisSettings Settings() { return {false, "RX2P.xlt"}; }
    // Somewhere else than the program's folder, as after a file dialog.
    void Wander() { std::filesystem::current_path(Work.Path); }
    bool Restored() const { return std::filesystem::current_path() == std::filesystem::path(ProgramDir.Path); }
  };

private slots:
  void initTestCase() { SetProgramDirectory(std::string()); }

  void enabledWhileTheCurrentDocumentHasEntries() {
    TWorld w;
    QAction summary, marks;
    TCommand::Create<TCreateSummaryCmd>(&summary, &summary, nullptr);
    TCommand::Create<TCreateMarkSheetCmd>(&marks, &marks, nullptr, &TWorld::Settings);
    QVERIFY(!summary.isEnabled());
    TDocLogic* doc = w.Document({});
    QVERIFY(!marks.isEnabled());
    doc->InsertEntries({w.Q1}, -1);
    QVERIFY(summary.isEnabled());
    QVERIFY(marks.isEnabled());
    doc->RemoveEntries({doc->Document->Entries[0]});
    QVERIFY(!marks.isEnabled());
    doc->InsertEntries({w.Q1}, -1);
    doc->Close();
    QVERIFY(!summary.isEnabled());
    QVERIFY(!marks.isEnabled());
  }

  void markSheetWithoutStudentList() {
    TWorld w;
    w.Document({w.Q1, w.Q2});
    w.Wander();
    TScriptedAsk ask;
    ask.ExpectConfirm(kUseList, TAskAnswer::No);
    ask.ExpectSaveFileName(QString::fromStdString(w.Work.File("marks")));
    TCreateMarkSheetCmd(&TWorld::Settings).Execute(nullptr);
    QVERIFY(ask.Verify());
    QCOMPARE(ask.Last(TQuestionKind::SaveFileName)->Text, QStringLiteral("File to save analysis sheet"));
    QCOMPARE(ask.Last(TQuestionKind::SaveFileName)->Filter, QStringLiteral("Spreadsheet file (*.xlsx)"));
    QCOMPARE(w.Work.Names(), std::vector<std::string>{"marks.xlsx"});
    QCOMPARE(w.Shown, std::vector<std::string>{w.Work.File("marks.xlsx")});
    TWorkbook book = TWorkbook::Open(w.Work.File("marks.xlsx"));
    QCOMPARE(Text(book.Sheet(1), 8, 7), std::string("Total"));
    QCOMPARE(book.Sheet(1).LastRow(), 8);
    QVERIFY(w.Restored());
  }

  void markSheetWithStudentList() {
    TWorld w;
    w.Document({w.Q1, w.Q2});
    WriteText(w.Work.File("set.ptx"), "Smith,Jo,,F\r\nBrown,Al,,M\r\nGreen,Di,,F\r\n");
    TScriptedAsk ask;
    ask.ExpectConfirm(kUseList, TAskAnswer::Yes);
    ask.ExpectOpenFileName(QString::fromStdString(w.Work.File("set.ptx")));
    ask.ExpectSaveFileName(QString::fromStdString(w.Work.File("marks.xls")));
    TCreateMarkSheetCmd(&TWorld::Settings).Execute(nullptr);
    QVERIFY(ask.Verify());
    QCOMPARE(ask.Last(TQuestionKind::OpenFileName)->Text, QStringLiteral("Student list file"));
    TWorkbook book = TWorkbook::Open(w.Work.File("marks.xlsx"));
    QCOMPARE(Text(book.Sheet(1), 11, 1), std::string("Green"));
    QCOMPARE(book.Sheet(1).Cell(11, 8).Kind, TCellValue::Formula);
    QVERIFY(w.Restored());
  }

  void theFileWrittenIsTheOneAskedAbout() {
    TWorld w;
    w.Document({w.Q1});
    WriteText(w.Work.File("marks.xlsx"), "the marks a teacher typed");
    const QString question = QString::fromStdString(w.Work.File("marks.xlsx")) +
                             QStringLiteral(" exists. Do you want to overwrite it?");
    TScriptedAsk ask;
    // "marks.xls" is written as marks.xlsx, so that is the file asked about: No asks for another
    // name, Cancel ends it.
    ask.ExpectSaveFileName(QString::fromStdString(w.Work.File("marks.xls")));
    ask.ExpectConfirm(question, TAskAnswer::No);
    ask.ExpectSaveFileName(QString::fromStdString(w.Work.File("marks.xls")));
    ask.ExpectConfirm(question, TAskAnswer::Cancel);
    TCreateSummaryCmd().Execute(nullptr);
    QVERIFY(ask.Verify());
    QCOMPARE(ReadText(w.Work.File("marks.xlsx")), std::string("the marks a teacher typed"));
    QVERIFY(!ask.Last(TQuestionKind::SaveFileName)->ConfirmOverwrite);

    // Yes replaces it; without a program to show it, the user learns where it went.
    w.Opens = false;
    TScriptedAsk yes;
    yes.ExpectSaveFileName(QString::fromStdString(w.Work.File("marks.xls")));
    yes.ExpectConfirm(question, TAskAnswer::Yes);
    yes.ExpectMessage(QStringLiteral("No program to open the workbook was found. It was saved as ") +
                      QString::fromStdString(w.Work.File("marks.xlsx")) + QStringLiteral("."));
    TCreateSummaryCmd().Execute(nullptr);
    QVERIFY(yes.Verify());
    QCOMPARE(Text(TWorkbook::Open(w.Work.File("marks.xlsx")).Sheet(1), 2, 2), std::string("QA101"));
  }

  void cancelledDialogsWriteNothing() {
    TWorld w;
    w.Document({w.Q1});
    w.Wander();
    TScriptedAsk ask;
    // A cancelled student list goes on without one; a cancelled save name ends it all.
    ask.ExpectConfirm(kUseList, TAskAnswer::Yes);
    ask.ExpectOpenFileName(QString());
    ask.ExpectSaveFileName(QString());
    ask.ExpectConfirm(kUseList, TAskAnswer::Cancel);
    ask.ExpectSaveFileName(QString());
    ask.ExpectSaveFileName(QString());
    TCreateMarkSheetCmd(&TWorld::Settings).Execute(nullptr);
    TCreateMarkSheetCmd(&TWorld::Settings).Execute(nullptr);
    TCreateSummaryCmd().Execute(nullptr);
    QVERIFY(ask.Verify());
    QVERIFY(w.Work.Names().empty());
    QVERIFY(w.Shown.empty());
    QVERIFY(w.Restored());
  }

  void noQuestionsNoSheet() {
    TWorld w;
    w.Document({w.Lib.A101->MarkScheme});
    TScriptedAsk ask;
    ask.ExpectMessage(QStringLiteral("The document holds no questions to enter marks for."));
    TCreateMarkSheetCmd(&TWorld::Settings).Execute(nullptr);
    QVERIFY(ask.Verify());
  }

  void aMissingTemplateIsReportedAndTheFolderRestored() {
    TWorld w;
    w.Document({w.Q1});
    std::filesystem::remove(w.ProgramDir.File("RX2P.xltx"));
    w.Wander();
    TScriptedAsk ask;
    ask.ExpectConfirm(kUseList, TAskAnswer::No);
    ask.ExpectSaveFileName(QString::fromStdString(w.Work.File("m.xlsx")));
    QVERIFY_THROWS_EXCEPTION(EInOutError, TCreateMarkSheetCmd(&TWorld::Settings).Execute(nullptr));
    QVERIFY(ask.Verify());
    QVERIFY(w.Work.Names().empty());
    QVERIFY(w.Restored());
  }

  void fileIndex() {
    TWorld w;
    w.Document({w.Q2, w.Q1});
    w.Wander();
    TScriptedAsk ask;
    ask.ExpectSaveFileName(QStringLiteral("index.xlsx"));  // relative to the folder the dialog left
    TCreateSummaryCmd().Execute(nullptr);
    QVERIFY(ask.Verify());
    TWorkbook book = TWorkbook::Open(w.Work.File("index.xlsx"));
    QCOMPARE(Text(book.Sheet(1), 2, 2), std::string("QA102"));
    QCOMPARE(Text(book.Sheet(1), 3, 8), std::string("Forces, motion"));
    QCOMPARE(w.Work.Names(), std::vector<std::string>{"index.xlsx"});
    QVERIFY(w.Restored());
  }

  void workbookNames() {
    QCOMPARE(WorkbookFileName("marks"), std::string("marks.xlsx"));
    QCOMPARE(WorkbookFileName("marks.XLS"), std::string("marks.XLSX"));
    QCOMPARE(WorkbookFileName("marks.xlsx"), std::string("marks.xlsx"));
    QCOMPARE(WorkbookFileName("set.v2"), std::string("set.v2.xlsx"));
  }

  void studentListWindowIsMadeOnce() {
    TWorld w;
    QWidget owner;
    QAction item;
    auto* command = TCommand::Create<TShowPupilFormCmd>(&owner, &item, nullptr);
    QVERIFY(item.isEnabled());
    item.trigger();
    TPupilForm* form = command->Form();
    QVERIFY(form != nullptr);
    QVERIFY(form->isVisible());
    QCOMPARE(form->parentWidget(), &owner);
    form->close();
    item.trigger();
    QCOMPARE(command->Form(), form);
  }
};

}  // namespace

int RunCommandsTests(int argc, char** argv) {
  TCommandsTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace hv::test

#include "CommandsTest.moc"
