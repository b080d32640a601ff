// The mark entry sheet and the file index made from documents, their "q.txt", and finding the
// template.
#include <QTest>

#include <filesystem>

#include "AnalysisFixtures.h"
#include "AnalysisSheets.h"
#include "AnalysisTests.h"
#include "core/Errors.h"
#include "model/LibraryConfig.h"

namespace hv::test {
namespace {

class TSheetsTest : public QObject {
  Q_OBJECT

  TAnalysisLibrary Lib;
  const TLibrary& L() const { return *Lib.Library; }

  // The template filled for a document, as it would be saved.
  TWorkbook Filled(const TDocument& doc, const std::optional<std::vector<TStudent>>& students,
                   bool useResources = false) {
    TWorkbook book = TWorkbook::Open(TemplateFile());
    FillMarkEntrySheet(book, DocumentQuestions(doc, L(), useResources), students, L(), useResources);
    return book;
  }

private slots:
  void questionValuesSkipOtherEntries() {
    auto doc = DocumentOf({Lib.Q1, Lib.A101->MarkScheme, Lib.Q2});
    const auto questions = DocumentQuestions(*doc, L(), false);
    QCOMPARE(questions.size(), std::size_t(2));
    QCOMPARE(questions[0].ID, std::string("QA101"));
    QCOMPARE(questions[0].Level, std::string("2"));
    QCOMPARE(questions[1].Level, std::string("1"));
    QCOMPARE(questions[0].SpecRef1, std::string("1.2a"));
    QCOMPARE(questions[0].SpecRef2, std::string("3.1"));
    QCOMPARE(questions[1].SpecRef2, std::string());
    const auto resources = DocumentQuestions(*doc, L(), true);
    QCOMPARE(resources[1].SpecRef1, std::string("R2"));
    QCOMPARE(resources[1].SpecRef2, std::string("R1"));
    QCOMPARE(LevelNumber(L(), nullptr), 0);
  }

  void questionListLines() {
    auto doc = DocumentOf({Lib.Q1, Lib.Q3});
    const auto questions = DocumentQuestions(*doc, L(), false);
    QCOMPARE(MarkEntryLines(questions), std::string("QA101,2,5,1.2a,3.1,Forces, motion\r\nQA103,2,4,,,\r\n"));
    QCOMPARE(FileIndexLines(questions), std::string("QA101,Falling ball,'2   ,5 marks,1.2a,3.1,Forces, motion\r\n"
                                                    "QA103,Unlinked,'2   ,4 marks,,,\r\n"));
  }

  void twoQuestionsWithoutStudents() {
    auto doc = DocumentOf({Lib.Q1, Lib.A101->MarkScheme, Lib.Q2});
    TWorkbook book = Filled(*doc, std::nullopt);
    TWorksheet& s = book.Sheet(1);
    QCOMPARE(Text(s, 1, 5), std::string("QA101"));
    QCOMPARE(Text(s, 1, 6), std::string("QA102"));
    QCOMPARE(s.Cell(1, 7).Kind, TCellValue::Empty);
    // The comma in the topic stays inside the topic.
    QCOMPARE(Text(s, 2, 5), std::string("Forces, motion"));
    QCOMPARE(Text(s, 3, 5), std::string("1.2a"));
    QCOMPARE(s.Cell(3, 5).Kind, TCellValue::Text);
    QCOMPARE(Text(s, 4, 5), std::string("3.1"));
    QCOMPARE(s.Cell(4, 6).Kind, TCellValue::Empty);
    // The level takes the centred format of the template's row 5.
    QCOMPARE(s.Cell(5, 5), (TCellValue{TCellValue::Number, "2", "9"}));
    QCOMPARE(s.Cell(6, 6).Value, std::string("7"));
    QCOMPARE(s.Cell(6, 6).Kind, TCellValue::Number);
    QCOMPARE(s.Cell(7, 5),
             (TCellValue{TCellValue::Formula, "IF(N($B$7)*N(E$6)=0,\"\",ROUND(SUM(E9:E200)*100/($B$7*E$6),0))", "5"}));
    QCOMPARE(s.Cell(7, 6).Value, std::string("IF(N($B$7)*N(F$6)=0,\"\",ROUND(SUM(F9:F200)*100/($B$7*F$6),0))"));
    // Without a list the template's count of typed surnames stays in B7.
    QCOMPARE(s.Cell(7, 2).Value, std::string("COUNTA(A9:A1048576)"));
    QCOMPARE(s.Cell(8, 5).Value, std::string("1"));
    QCOMPARE(s.Cell(8, 6).Value, std::string("2"));
    QCOMPARE(s.Cell(8, 7), (TCellValue{TCellValue::Text, "Total", "4"}));
    QCOMPARE(Text(s, 8, 8), std::string("%Correct"));
    QCOMPARE(s.Cell(6, 2), (TCellValue{TCellValue::Formula, "SUM(E6:F6)", "7"}));
    QCOMPARE(s.ColumnWidth(7), std::optional<double>(7));
    QCOMPARE(s.ColumnWidth(8), std::optional<double>(9));
    QCOMPARE(s.LastRow(), 8);

    // 1.2a and 1.2b become one 1.2, sorted before 3.1, with the statements' titles.
    TWorksheet& refs = book.Sheet(2);
    QCOMPARE(Text(refs, 2, 1), std::string("1.2"));
    QCOMPARE(Text(refs, 2, 2), std::string("Forces and motion"));
    QCOMPARE(Text(refs, 3, 1), std::string("3.1"));
    QCOMPARE(Text(refs, 3, 2), std::string("Wave properties"));
    QCOMPARE(refs.Cell(4, 1).Kind, TCellValue::Empty);
  }

  void aMissingSecondReferenceAfterOneThatHadIt() {
    auto doc = DocumentOf({Lib.Q2, Lib.Q1, Lib.Q2});
    TWorkbook book = Filled(*doc, std::nullopt);
    QCOMPARE(book.Sheet(1).Cell(4, 5).Kind, TCellValue::Empty);
    QCOMPARE(Text(book.Sheet(1), 4, 6), std::string("3.1"));
    QCOMPARE(book.Sheet(1).Cell(4, 7).Kind, TCellValue::Empty);
  }

  void threeStudents() {
    auto doc = DocumentOf({Lib.Q1, Lib.Q2});
    const std::vector<TStudent> students = {{"Smith", "Jo", "12/03/2009", "F"}, {"Brown", "Al", "", "M,extra"},
                                            {"=Evil()", "Ed", "", ""}};
    TWorkbook book = Filled(*doc, students);
    TWorksheet& s = book.Sheet(1);
    QCOMPARE(Text(s, 9, 1), std::string("Smith"));
    QCOMPARE(s.Cell(9, 3), (TCellValue{TCellValue::Text, "12/03/2009", ""}));
    QCOMPARE(Text(s, 10, 4), std::string("M,extra"));
    QCOMPARE(s.Cell(11, 1).Kind, TCellValue::Text);
    QCOMPARE(s.Cell(9, 7), (TCellValue{TCellValue::Formula, "SUM(E9:F9)", ""}));
    QCOMPARE(s.Cell(9, 8).Value, std::string("IF(N($B$6)=0,\"\",ROUND(G9*100/$B$6,0))"));
    QCOMPARE(s.Cell(11, 7).Value, std::string("SUM(E11:F11)"));
    QCOMPARE(s.Cell(11, 8).Value, std::string("IF(N($B$6)=0,\"\",ROUND(G11*100/$B$6,0))"));
    // The class is the rows written, each with its total.
    QCOMPARE(s.Cell(7, 2).Value, std::string("COUNT(G9:G200)"));
    QCOMPARE(s.LastRow(), 11);
  }

  void longStudentListsAreCountedToTheEnd() {
    QCOMPARE(LastMarkRow(0), 200);
    QCOMPARE(LastMarkRow(192), 200);
    QCOMPARE(LastMarkRow(250), 258);
    auto doc = DocumentOf({Lib.Q1});
    TWorkbook book = Filled(*doc, std::vector<TStudent>(250, TStudent{"S", "", "", ""}));
    QCOMPARE(book.Sheet(1).Cell(7, 5).Value, std::string("IF(N($B$7)*N(E$6)=0,\"\",ROUND(SUM(E9:E258)*100/($B$7*E$6),0))"));
    QCOMPARE(book.Sheet(1).Cell(7, 2).Value, std::string("COUNT(F9:F258)"));
  }

  void twentyThreeQuestionsReachColumnAA() {
    auto doc = DocumentOf(std::vector<TTextSegment*>(Lib.Many.begin(), Lib.Many.end()));
    TWorkbook book = Filled(*doc, std::vector<TStudent>{{"Smith", "", "", ""}});
    TWorksheet& s = book.Sheet(1);
    QCOMPARE(Text(s, 1, 27), std::string("QB223"));
    QCOMPARE(Text(s, 8, 28), std::string("Total"));
    QCOMPARE(Text(s, 8, 29), std::string("%Correct"));
    QCOMPARE(s.ColumnWidth(28), std::optional<double>(7));
    QCOMPARE(s.ColumnWidth(29), std::optional<double>(9));
    QCOMPARE(s.Cell(6, 2).Value, std::string("SUM(E6:AA6)"));
    QCOMPARE(s.Cell(7, 27).Value, std::string("IF(N($B$7)*N(AA$6)=0,\"\",ROUND(SUM(AA9:AA200)*100/($B$7*AA$6),0))"));
    QCOMPARE(s.Cell(9, 28).Value, std::string("SUM(E9:AA9)"));
    QCOMPARE(s.Cell(9, 29).Value, std::string("IF(N($B$6)=0,\"\",ROUND(AB9*100/$B$6,0))"));
  }

  void resourcesAsReferences() {
    auto doc = DocumentOf({Lib.Q1, Lib.Q2});
    TWorkbook book = Filled(*doc, std::nullopt, true);
    QCOMPARE(Text(book.Sheet(1), 3, 6), std::string("R2"));
    // Titles come from the resource tree then.
    QCOMPARE(Text(book.Sheet(2), 2, 1), std::string("R1"));
    QCOMPARE(Text(book.Sheet(2), 2, 2), std::string("Data sheet"));
    QCOMPARE(Text(book.Sheet(2), 3, 2), std::string("Graph paper"));
    QCOMPARE(book.Sheet(2).Cell(4, 1).Kind, TCellValue::Empty);
  }

  void specRefsSortedWithoutDuplicates() {
    std::vector<TQuestionValues> q(3);
    q[0].SpecRef1 = "b1.2";
    q[0].SpecRef2 = "A3";
    q[1].SpecRef1 = "B1.2c";
    q[1].SpecRef2 = "x";
    q[2].SpecRef1 = "a3";
    QCOMPARE(SortedSpecRefs(q), (std::vector<std::string>{"A3", "b1.2"}));
    QCOMPARE(TrimSpecRef("1.2a"), std::string("1.2"));
    QCOMPARE(TrimSpecRef("1.2"), std::string("1.2"));
    QCOMPARE(TrimSpecRef("1.2:"), std::string("1.2"));
  }

  void fileIndexRows() {
    auto doc = DocumentOf({Lib.Q3, Lib.Q1, Lib.A101->MarkScheme, Lib.Q2});
    TWorkbook book = TWorkbook::Blank();
    FillFileIndex(book, DocumentQuestions(*doc, L(), false));
    TWorksheet& s = book.Sheet(1);
    const char* headings[] = {"Question", "Ref", "Summary", "Level", "Marks", "Spec ref1", "Spec ref2", "Topic"};
    for (int c = 1; c <= 8; ++c) QCOMPARE(s.Cell(1, c), (TCellValue{TCellValue::Text, headings[c - 1], "2"}));
    QCOMPARE(s.Cell(2, 1), (TCellValue{TCellValue::Text, "1.    ", TWorkbook::kBlankQuotedStyle}));
    QCOMPARE(Text(s, 2, 2), std::string("QA103"));
    QCOMPARE(Text(s, 2, 3), std::string("Unlinked"));
    QCOMPARE(s.Cell(2, 4), (TCellValue{TCellValue::Text, "2   ", TWorkbook::kBlankQuotedStyle}));
    QCOMPARE(Text(s, 2, 5), std::string("4 marks"));
    QCOMPARE(s.Cell(2, 6).Kind, TCellValue::Empty);
    QCOMPARE(Text(s, 3, 1), std::string("2.    "));
    QCOMPARE(Text(s, 3, 6), std::string("1.2a"));
    QCOMPARE(Text(s, 3, 7), std::string("3.1"));
    QCOMPARE(Text(s, 3, 8), std::string("Forces, motion"));
    QCOMPARE(Text(s, 4, 3), std::string("Momentum \"and\" <collisions>"));
    QCOMPARE(s.LastRow(), 4);
    QCOMPARE(s.ColumnWidth(3), std::optional<double>(45));
    QCOMPARE(s.ColumnWidth(8), std::optional<double>(20));
    QCOMPARE(s.ColumnWidth(2), std::optional<double>(12));
  }

  void flowsWriteOnlyTheWorkbook() {
    TTempFolder dir;
    auto doc = DocumentOf({Lib.Q1, Lib.Q2});
    // A list exported with a heading line and names no code page holds.
    WriteText(dir.File("set.csv"), "\xEF\xBB\xBFSurname,Forename\r\n\r\nSmith,Jo\r\n\xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2,"
                                   "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\r\n");
    std::vector<std::string> asked;
    CreateMarkEntryWorkbook(*doc, L(), false, TemplateFile(), dir.File("set.csv"), dir.File("marks.xlsx"),
                            [&](const TStudent& first) {
                              asked.push_back(first[0]);
                              return true;
                            });
    QCOMPARE(asked, std::vector<std::string>{"Surname"});
    TWorkbook marks = TWorkbook::Open(dir.File("marks.xlsx"));
    QCOMPARE(Text(marks.Sheet(1), 9, 1), std::string("Smith"));
    QCOMPARE(Text(marks.Sheet(1), 10, 2), std::string("\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD"));
    QCOMPARE(marks.Sheet(1).Cell(11, 1).Kind, TCellValue::Empty);

    CreateFileIndexWorkbook(*doc, L(), dir.File("index.xlsx"));
    QCOMPARE(Text(TWorkbook::Open(dir.File("index.xlsx")).Sheet(1), 3, 2), std::string("QA102"));
    // The question list is the program's own business: nothing is left beside the workbooks.
    QCOMPARE(dir.Names(), (std::vector<std::string>{"index.xlsx", "marks.xlsx", "set.csv"}));
  }

  void brokenInputsStopBeforeAnythingIsWritten() {
    TTempFolder dir;
    auto doc = DocumentOf({Lib.Q1});
    WriteText(dir.File("bad.xltx"), "not a workbook");
    QVERIFY_THROWS_EXCEPTION(EDataError, CreateMarkEntryWorkbook(*doc, L(), false, dir.File("bad.xltx"), std::nullopt,
                                                                 dir.File("m.xlsx")));
    QVERIFY_THROWS_EXCEPTION(EInOutError, CreateMarkEntryWorkbook(*doc, L(), false, TemplateFile(),
                                                                  dir.File("none.ptx"), dir.File("m.xlsx")));
    QCOMPARE(dir.Names(), std::vector<std::string>{"bad.xltx"});
  }

  void templateLookup() {
    TTempFolder dir;
    const std::string before = ProgramDirectory();
    SetProgramDirectory(dir.Path);
    // An old ".xlt" name finds the ".xltx" beside the program.
    QVERIFY_THROWS_EXCEPTION(EInOutError, FindTemplateFile("RX2P.xlt"));
    try {
      FindTemplateFile("RX2P.xlt");
    } catch (const EInOutError& e) {
      const std::string message = e.what();
      QVERIFY(message.find("\"RX2P.xltx\" was not found") != std::string::npos);
      QVERIFY(message.find(dir.Path) != std::string::npos);
    }
    std::filesystem::copy_file(TemplateFile(), dir.File("RX2P.xltx"));
    QCOMPARE(FindTemplateFile("RX2P.xlt"), dir.File("RX2P.xltx"));
    QCOMPARE(FindTemplateFile(""), dir.File("RX2P.xltx"));
    QCOMPARE(FindTemplateFile(dir.File("RX2P.xltx")), dir.File("RX2P.xltx"));
    WriteText(dir.File("One.xltx"), "PK not really");
    QVERIFY_THROWS_EXCEPTION(EDataError, OpenTemplate(FindTemplateFile("One.xlt")));
    // A workbook with a single sheet is not a mark entry template either.
    TWorkbook::Blank().SaveAs(dir.File("Single.xltx"));
    QVERIFY_THROWS_EXCEPTION(EDataError, OpenTemplate(dir.File("Single.xltx")));
    SetProgramDirectory(before);
  }
};

}  // namespace

int RunSheetsTests(int argc, char** argv) {
  TSheetsTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace hv::test

#include "SheetsTest.moc"
