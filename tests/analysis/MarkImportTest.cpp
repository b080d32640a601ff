// Reading filled mark entry workbooks back: ours with marks typed in, the same marks as other
// producers write them, and every kind of bad input, each reported where the teacher can mend it.
#include <zip.h>

#include <QTest>

#include "AnalysisFixtures.h"
#include "AnalysisSheets.h"
#include "AnalysisTests.h"
#include "MarkImport.h"

namespace hv::test {
namespace {

// Writes a zip package of the given parts, in order.
void WritePackage(const std::string& fileName, const std::vector<std::pair<std::string, std::string>>& parts) {
  int error = 0;
  zip_t* archive = zip_open(fileName.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  QVERIFY(archive != nullptr);
  for (const auto& [name, data] : parts) {
    zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
    QVERIFY(zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) >= 0);
  }
  QCOMPARE(zip_close(archive), 0);
}

const char* const kRels =
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"book/main.xml\"/></Relationships>";

// Another producer's package: the workbook part elsewhere, prefixed elements, rich shared
// strings with phonetic hints, inline strings, cells without references and cached formula values.
std::vector<std::pair<std::string, std::string>> ForeignPackage(const std::string& sheetData) {
  const std::string ns = "xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
  return {
      {"_rels/.rels", kRels},
      {"book/main.xml",
       "<?xml version=\"1.0\"?><x:workbook " + ns +
           " xmlns:rel=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><x:sheets>"
           "<x:sheet name=\"Chart\" sheetId=\"3\" rel:id=\"c\"/><x:sheet name=\"Marks\" sheetId=\"1\" rel:id=\"s\"/>"
           "</x:sheets></x:workbook>"},
      {"book/_rels/main.xml.rels",
       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"c\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/chartsheet\" Target=\"c.xml\"/>"
       "<Relationship Id=\"s\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" Target=\"../sheets/one.xml\"/>"
       "<Relationship Id=\"t\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" Target=\"/book/strings.xml\"/>"
       "</Relationships>"},
      {"book/strings.xml",
       "<x:sst " + ns + "><x:si><x:r><x:t>QA1</x:t></x:r><x:r><x:rPr/><x:t>01</x:t></x:r><x:rPh><x:t>kana</x:t></x:rPh></x:si>"
       "<x:si><x:t>Total</x:t></x:si><x:si><x:t xml:space=\"preserve\">  </x:t></x:si></x:sst>"},
      {"sheets/one.xml", "<x:worksheet " + ns + "><x:sheetData>" + sheetData + "</x:sheetData></x:worksheet>"},
  };
}

// Questions A101 and A102; five students from row 9, the third with question two blank and the
// fifth row a cleared cell of spaces (no student).
const char* const kForeignCells =
    "<x:row r=\"1\"><x:c r=\"E1\" t=\"s\"><x:v>0</x:v></x:c><x:c t=\"inlineStr\"><x:is><x:t>QA102</x:t></x:is></x:c></x:row>"
    "<x:row r=\"8\"><x:c r=\"E8\"><x:v>1</x:v></x:c><x:c><x:v>2</x:v></x:c><x:c t=\"s\"><x:v>1</x:v></x:c></x:row>"
    "<x:row r=\"9\"><x:c r=\"A9\" t=\"inlineStr\"><x:is><x:t>M\xC3\xBCller</x:t></x:is></x:c>"
    "<x:c r=\"E9\" s=\"3\"><x:f>2+3</x:f><x:v>5</x:v></x:c><x:c r=\"F9\"><x:v>7</x:v></x:c></x:row>"
    "<x:row><x:c r=\"E10\"><x:v>4</x:v></x:c><x:c r=\"F10\"><x:v>6</x:v></x:c></x:row>"
    "<x:row><x:c r=\"E11\"><x:v>3</x:v></x:c><x:c r=\"F11\" s=\"2\"/></x:row>"
    "<x:row><x:c r=\"E12\"><x:v>1</x:v></x:c><x:c r=\"F12\"><x:v>1</x:v></x:c></x:row>"
    "<x:row><x:c r=\"E13\"><x:v>0</x:v></x:c><x:c r=\"F13\"><x:v>3.5</x:v></x:c></x:row>"
    "<x:row><x:c r=\"E14\" t=\"s\"><x:v>2</x:v></x:c></x:row>";

class TMarkImportTest : public QObject {
  Q_OBJECT
  TAnalysisLibrary Lib;

  std::vector<std::string> Problems(const std::function<void()>& import) {
    try {
      import();
    } catch (const EMarkImportError& e) {
      std::vector<std::string> list;
      for (const TMarkProblem& p : e.Problems) list.push_back(p.Message());
      return list;
    }
    return {"(imported)"};
  }

  // Our own sheet for three questions and six students, with the marks typed in.
  std::string OurFilledSheet(const TTempFolder& dir, const std::vector<std::vector<std::optional<double>>>& marks) {
    auto doc = DocumentOf({Lib.Q1, Lib.Q2, Lib.Q3});
    std::string students;
    for (std::size_t k = 0; k < marks.size(); ++k) students += "Student" + std::to_string(k) + ",Jo,,F\r\n";
    WriteText(dir.File("class.ptx"), students);
    CreateMarkEntryWorkbook(*doc, *Lib.Library, false, TemplateFile(), dir.File("class.ptx"), dir.File("10B.xlsx"));
    TWorkbook book = TWorkbook::Open(dir.File("10B.xlsx"));
    for (std::size_t k = 0; k < marks.size(); ++k)
      for (std::size_t q = 0; q < marks[k].size(); ++q)
        if (marks[k][q]) book.Sheet(1).SetNumber(9 + static_cast<int>(k), 5 + static_cast<int>(q), *marks[k][q]);
    book.SaveAs(dir.File("10B.xlsx"));
    return dir.File("10B.xlsx");
  }

private slots:
  void ourSheetGivesTheHandComputedFiguresAndReplacesOnReimport() {
    TTempFolder dir;
    const std::optional<double> blank;
    const std::string file =
        OurFilledSheet(dir, {{5, 7, 4}, {4, 6, 3}, {3, 2, 4}, {1, 1, 0}, {2, blank, 1}, {0, 3, 2}});
    TStatsStore store(dir.File("stats.sqlite"));
    TMarkImportResult r = ImportMarkWorkbook(file, *Lib.Library, "Physics", "10B", store);
    QCOMPARE(r.Students, 6);
    QVERIFY(!r.Replaced);
    QCOMPARE(r.Record.Items.size(), std::size_t(3));
    QCOMPARE(r.Record.Items[0].TypedID, Lib.Q1->GetID());
    QCOMPARE(*r.Record.Items[0].Facility, 0.5);                             // 15 / 6 of 5
    QVERIFY(std::abs(*r.Record.Items[0].Discrimination - 0.771720) < 1e-6);  // 29.5 / sqrt(17.5 * 83.5)
    QCOMPARE(r.Record.Items[1].Students, 5);                                // the blank is no mark
    QVERIFY(std::abs(*r.Record.Items[1].Facility - 3.8 / 7) < 1e-12);
    r = ImportMarkWorkbook(file, *Lib.Library, "Physics", "10B", store);
    QVERIFY(r.Replaced);
    QCOMPARE(store.Summary("Physics", Lib.Q1->GetID())->Uses, 1);
  }

  void otherProducersXmlReadsTheSame() {
    TTempFolder dir;
    WritePackage(dir.File("foreign.xlsx"), ForeignPackage(kForeignCells));
    const TReadSheet sheet = ReadFirstWorksheetFile(dir.File("foreign.xlsx"));
    QCOMPARE(sheet.Name, std::string("Marks"));  // the chart sheet before it is passed over
    QCOMPARE(sheet.Cell(9, 1)->Text, std::string("M\xC3\xBCller"));
    const TFilledMarks marks = FindMarks(sheet);
    QCOMPARE(marks.Questions.size(), std::size_t(2));
    QCOMPARE(marks.Questions[0].ID, std::string("QA101"));  // runs joined, phonetic hint left out
    QCOMPARE(marks.Students.size(), std::size_t(5));         // row 14 holds spaces only
    const TImportRecord record = MarkImportRecord(marks, *Lib.Library, "Physics", "9C", "2026-11-03", "foreign.xlsx");
    QCOMPARE(record.Items[0].Students, 5);
    QCOMPARE(record.Items[0].Mean, 13.0 / 5);  // the cached value of the formula counts
    QCOMPARE(record.Items[1].Students, 4);
    QCOMPARE(record.Items[1].Mean, 17.5 / 4);
    QVERIFY(!record.Items[1].Discrimination);  // four students only
  }

  void badInputIsReportedByCellAndNothingIsImported() {
    TTempFolder dir;
    TStatsStore store(dir.File("stats.sqlite"));
    const std::string file = OurFilledSheet(dir, {{5, 7, 4}, {4, 6, 3}});
    {
      TWorkbook book = TWorkbook::Open(file);
      book.Sheet(1).SetText(10, 5, "abs");  // text where a mark belongs
      book.Sheet(1).SetNumber(9, 6, -1);
      book.Sheet(1).SetNumber(9, 7, 4.5);  // question three is worth 4
      book.Sheet(1).SetText(1, 6, "QZZ99");
      book.SaveAs(file);
    }
    const auto listed = Problems([&] { ImportMarkWorkbook(file, *Lib.Library, "Physics", " ", store); });
    const std::vector<std::string> expected = {
        "The class name is empty: please give the class these marks belong to.",
        "Sheet \"Marks\", row 1, column F: the question \"QZZ99\" is not in the library \"Physics\".",
        "Sheet \"Marks\", row 9, column F: the mark -1 is negative.",
        "Sheet \"Marks\", row 9, column G: the mark 4.5 is above the question's 4 marks.",
        "Sheet \"Marks\", row 10, column E: the mark \"abs\" is not a number."};
    QCOMPARE(listed, expected);
    QCOMPARE(store.ImportCount(), 0);

    // Not our layout, not a workbook, a damaged part: each said plainly.
    WritePackage(dir.File("plain.xlsx"),
                 ForeignPackage("<x:row r=\"8\"><x:c r=\"E8\"><x:v>1</x:v></x:c><x:c r=\"F8\"><x:v>3</x:v></x:c></x:row>"));
    QCOMPARE(Problems([&] { FindMarks(ReadFirstWorksheetFile(dir.File("plain.xlsx"))); }),
             std::vector<std::string>{"Sheet \"Marks\", row 8, column F: The question number 2 or \"Total\" was expected "
                                      "here. This is not a mark entry sheet made by Harrowvane."});
    WriteText(dir.File("notes.xlsx"), "Surname,Mark\r\n");
    QCOMPARE(Problems([&] { ReadFirstWorksheetFile(dir.File("notes.xlsx")); }).size(), std::size_t(1));
    WritePackage(dir.File("broken.xlsx"), ForeignPackage("<x:row r=\"1\"><x:c r=\"E1\" t=\"s\"><x:v>9</x:v></x:c></x:row>"));
    QVERIFY(Problems([&] { ReadFirstWorksheetFile(dir.File("broken.xlsx")); }).front().find("shared string") != std::string::npos);
    WritePackage(dir.File("cut.xlsx"), ForeignPackage("<x:row r=\"1\"><x:c r=\"E1\"><x:v>1"));
    QVERIFY(Problems([&] { ReadFirstWorksheetFile(dir.File("cut.xlsx")); }).front().find("damaged XML") != std::string::npos);
  }
};

}  // namespace

int RunMarkImportTests(int argc, char** argv) {
  TMarkImportTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace hv::test

#include "MarkImportTest.moc"
