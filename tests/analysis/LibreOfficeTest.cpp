// The produced workbooks opened by another spreadsheet program: LibreOffice, without its window,
// converts them to CSV, which shows whether totals and percentages compute and how the file index
// reads. Skipped where LibreOffice is not installed. With HV_SCREENSHOT_DIR set, the student list
// window and both workbooks (rendered by LibreOffice) are also saved there as pictures.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include "AnalysisFixtures.h"
#include "AnalysisSheets.h"
#include "AnalysisTests.h"
#include "MarkImport.h"
#include "PupilForm.h"

#include <zip.h>

namespace hv::test {
namespace {

using TCsv = std::vector<std::vector<std::string>>;

TCsv ParseCsv(const std::string& text) {
  TCsv rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(std::exchange(field, {}));
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      row.push_back(std::exchange(field, {}));
      rows.push_back(std::exchange(row, {}));
    } else {
      field += c;
    }
  }
  if (!field.empty() || !row.empty()) {
    row.push_back(field);
    rows.push_back(row);
  }
  return rows;
}

void WriteZip(const std::string& fileName, const std::map<std::string, std::string>& parts) {
  int error = 0;
  zip_t* z = zip_open(fileName.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  QVERIFY(z != nullptr);
  for (const auto& [name, data] : parts)
    QVERIFY(zip_file_add(z, name.c_str(), zip_source_buffer(z, data.data(), data.size(), 0), ZIP_FL_OVERWRITE) >= 0);
  QCOMPARE(zip_close(z), 0);
}

// A cell of a CSV by its spreadsheet position, empty outside what was written.
std::string At(const TCsv& csv, int row, int column) {
  if (row < 1 || static_cast<std::size_t>(row) > csv.size()) return {};
  const auto& r = csv[static_cast<std::size_t>(row - 1)];
  return static_cast<std::size_t>(column) <= r.size() ? r[static_cast<std::size_t>(column - 1)] : std::string();
}

class TLibreOfficeTest : public QObject {
  Q_OBJECT

  QString Office;
  TTempFolder Profile;  // its own profile, so runs beside another LibreOffice do not collide
  TAnalysisLibrary Lib;

  // Runs the converter; the output lands in the workbook's folder.
  void Convert(const std::string& file, const QString& format) {
    QProcess p;
    p.start(Office, {QStringLiteral("-env:UserInstallation=file://") + QString::fromStdString(Profile.Path),
                     QStringLiteral("--headless"), QStringLiteral("--convert-to"), format, QStringLiteral("--outdir"),
                     QFileInfo(QString::fromStdString(file)).absolutePath(), QString::fromStdString(file)});
    QVERIFY(p.waitForFinished(180000));
    QCOMPARE(p.exitCode(), 0);
  }

  // Every sheet to its own CSV ("name-Sheet.csv"), values as shown.
  void ConvertAllSheets(const std::string& file) {
    Convert(file, QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1"));
  }

  // The first page of a workbook as a picture, through a PDF.
  void Render(const std::string& file, const QString& picture) {
    Convert(file, QStringLiteral("pdf"));
    const QString pdf = QString::fromStdString(file.substr(0, file.rfind('.')) + ".pdf");
    QProcess p;
    p.start(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("90"),
                                         QStringLiteral("-singlefile"), QStringLiteral("-f"), QStringLiteral("1"),
                                         pdf, picture.chopped(4)});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
  }

  // The mark entry sheet of two questions for three students, with marks typed in. The list is
  // UTF-8 with names in three scripts, a blank line, and a student without a surname.
  std::string FilledMarkSheet(const TTempFolder& dir, const std::string& templateFile = TemplateFile()) {
    auto doc = DocumentOf({Lib.Q1, Lib.Q2});
    WriteText(dir.File("set.csv"), "\xEF\xBB\xBF\xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2,\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD,"
                                   "12/03/2009,M\r\n\r\nNguy\xE1\xBB\x85n,Th\xE1\xBB\x8B H\xC6\xB0\xC6\xA1ng,01/09/2008,F\r\n"
                                   ",\xC5\x81ukasz,,M\r\n");
    CreateMarkEntryWorkbook(*doc, *Lib.Library, false, templateFile, dir.File("set.csv"), dir.File("marks.xlsx"));
    // What the teacher types afterwards.
    TWorkbook book = TWorkbook::Open(dir.File("marks.xlsx"));
    const int marks[3][2] = {{5, 6}, {5, 7}, {4, 0}};
    for (int k = 0; k < 3; ++k)
      for (int q = 0; q < 2; ++q) book.Sheet(1).SetNumber(9 + k, 5 + q, marks[k][q]);
    book.SaveAs(dir.File("marks.xlsx"));
    return dir.File("marks.xlsx");
  }

  // No cell of a sheet shows a spreadsheet error.
  static void NoErrors(const TCsv& csv) {
    for (const auto& row : csv)
      for (const std::string& cell : row) QVERIFY2(!cell.starts_with("#") && !cell.starts_with("Err:"), cell.c_str());
  }

private slots:
  void initTestCase() {
    Office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (Office.isEmpty()) QSKIP("LibreOffice (soffice) is not installed");
  }

  void totalsAndPercentagesCompute() {
    TTempFolder dir;
    ConvertAllSheets(FilledMarkSheet(dir));
    const TCsv marks = ParseCsv(ReadText(dir.File("marks-Marks.csv")));
    QCOMPARE(At(marks, 1, 5), std::string("QA101"));
    QCOMPARE(At(marks, 2, 5), std::string("Forces, motion"));
    QCOMPARE(At(marks, 6, 2), std::string("12"));
    // Every row written counts, the one without a surname too.
    QCOMPARE(At(marks, 7, 2), std::string("3"));
    // (5 + 5 + 4) * 100 / (3 * 5) and (6 + 7 + 0) * 100 / (3 * 7), rounded.
    QCOMPARE(At(marks, 7, 5), std::string("93"));
    QCOMPARE(At(marks, 7, 6), std::string("62"));
    QCOMPARE(At(marks, 8, 7), std::string("Total"));
    QCOMPARE(At(marks, 8, 8), std::string("%Correct"));
    QCOMPARE(At(marks, 9, 1), std::string("\xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2"));
    QCOMPARE(At(marks, 9, 3), std::string("12/03/2009"));
    QCOMPARE(At(marks, 10, 2), std::string("Th\xE1\xBB\x8B H\xC6\xB0\xC6\xA1ng"));
    QCOMPARE(At(marks, 11, 2), std::string("\xC5\x81ukasz"));
    // 11, 12 and 4 of 12 marks.
    QCOMPARE(At(marks, 9, 7), std::string("11"));
    QCOMPARE(At(marks, 9, 8), std::string("92"));
    QCOMPARE(At(marks, 10, 8), std::string("100"));
    QCOMPARE(At(marks, 11, 7), std::string("4"));
    QCOMPARE(At(marks, 11, 8), std::string("33"));
    NoErrors(marks);
    const TCsv refs = ParseCsv(ReadText(dir.File("marks-Spec refs.csv")));
    QCOMPARE(At(refs, 2, 1), std::string("1.2"));
    QCOMPARE(At(refs, 2, 2), std::string("Forces and motion"));
    QCOMPARE(At(refs, 3, 1), std::string("3.1"));
    QCOMPARE(At(refs, 4, 1), std::string());
  }

  // LibreOffice writes its own XML (shared strings, styles on every cell, its own part names):
  // the marks read back from its copy are those typed.
  void marksComeBackFromLibreOfficesCopy() {
    TTempFolder dir;
    const std::string file = FilledMarkSheet(dir);
    QDir().mkpath(QString::fromStdString(dir.File("saved")));
    QProcess p;
    p.start(Office, {QStringLiteral("-env:UserInstallation=file://") + QString::fromStdString(Profile.Path),
                     QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("xlsx"),
                     QStringLiteral("--outdir"), QString::fromStdString(dir.File("saved")), QString::fromStdString(file)});
    QVERIFY(p.waitForFinished(180000));
    QCOMPARE(p.exitCode(), 0);
    TStatsStore store(dir.File("stats.sqlite"));
    const TMarkImportResult r = ImportMarkWorkbook(dir.File("saved/marks.xlsx"), *Lib.Library, "Physics", "10B", store);
    QCOMPARE(r.Students, 3);
    QCOMPARE(r.Record.Items.size(), std::size_t(2));
    QCOMPARE(r.Record.Items[0].TypedID, std::string("QA101"));
    QCOMPARE(r.Record.Items[0].Mean, 14.0 / 3);  // 5 + 5 + 4
    QCOMPARE(r.Record.Items[1].Mean, 13.0 / 3);  // 6 + 7 + 0: the typed zero is a mark
  }

  void anEmptyClassOrAQuestionWorthNothingShowsNoError() {
    TTempFolder dir;
    const int marks = Lib.Q3->Marks;
    Lib.Q3->Marks = 0;
    auto doc = DocumentOf({Lib.Q1, Lib.Q3});
    WriteText(dir.File("empty.csv"), "\r\n");
    CreateMarkEntryWorkbook(*doc, *Lib.Library, false, TemplateFile(), std::nullopt, dir.File("none.xlsx"));
    CreateMarkEntryWorkbook(*doc, *Lib.Library, false, TemplateFile(), dir.File("empty.csv"), dir.File("empty.xlsx"));
    WriteText(dir.File("one.csv"), "Smith,Jo\r\n");
    CreateMarkEntryWorkbook(*doc, *Lib.Library, false, TemplateFile(), dir.File("one.csv"), dir.File("one.xlsx"));
    Lib.Q3->Marks = static_cast<std::int16_t>(marks);
    // Without students there is no percentage to give; one student without marks has 0 %.
    for (const auto& [name, first] : {std::pair{"none", ""}, {"empty", ""}, {"one", "0"}}) {
      ConvertAllSheets(dir.File(std::string(name) + ".xlsx"));
      const TCsv csv = ParseCsv(ReadText(dir.File(std::string(name) + "-Marks.csv")));
      QCOMPARE(At(csv, 6, 2), std::string("5"));
      QCOMPARE(At(csv, 7, 5), std::string(first));
      QCOMPARE(At(csv, 7, 6), std::string());
      NoErrors(csv);
    }
  }

  void sharedFormulasOfATemplateCompute() {
    TTempFolder dir;
    // A template whose row 7 and column J share one formula each, as spreadsheet programs save
    // formulas filled across and down.
    auto parts = TWorkbook::Open(TemplateFile()).SavedParts();
    std::string& sheet = parts.at("xl/worksheets/sheet1.xml");
    const std::string row7 = "<c r=\"D7\" s=\"3\" t=\"s\"><v>11</v></c>";
    QVERIFY(sheet.find(row7) != std::string::npos);
    std::string group = "<c r=\"E7\"><f t=\"shared\" ref=\"E7:J7\" si=\"0\">SUM(E9:E20)</f></c>";
    for (const char* c : {"F", "G", "H", "I", "J"}) group += "<c r=\"" + std::string(c) + "7\"><f t=\"shared\" si=\"0\"/></c>";
    sheet.insert(sheet.find(row7) + row7.size(), group);
    sheet.insert(sheet.find("</sheetData>"),
                 "<row r=\"9\"><c r=\"J9\"><f t=\"shared\" ref=\"J9:J11\" si=\"1\">E9*2</f></c></row>"
                 "<row r=\"10\"><c r=\"J10\"><f t=\"shared\" si=\"1\"/></c></row>"
                 "<row r=\"11\"><c r=\"J11\"><f t=\"shared\" si=\"1\"/></c></row>");
    WriteZip(dir.File("Shared.xltx"), parts);
    ConvertAllSheets(FilledMarkSheet(dir, dir.File("Shared.xltx")));
    const TCsv marks = ParseCsv(ReadText(dir.File("marks-Marks.csv")));
    QCOMPARE(At(marks, 7, 5), std::string("93"));
    // The cells after the first of each group compute their own copy of it.
    QCOMPARE(At(marks, 7, 7), std::string("27"));   // the totals 11 + 12 + 4
    QCOMPARE(At(marks, 7, 8), std::string("225"));  // 92 + 100 + 33
    QCOMPARE(At(marks, 11, 10), std::string("8"));
    QCOMPARE(At(marks, 7, 10), std::string("28"));
    NoErrors(marks);
  }

  void fileIndexReadsAsWritten() {
    TTempFolder dir;
    auto doc = DocumentOf({Lib.Q3, Lib.Q1, Lib.Q2});
    CreateFileIndexWorkbook(*doc, *Lib.Library, dir.File("index.xlsx"));
    Convert(dir.File("index.xlsx"), QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1"));
    const TCsv csv = ParseCsv(ReadText(dir.File("index.csv")));
    QCOMPARE(csv[0], (std::vector<std::string>{"Question", "Ref", "Summary", "Level", "Marks", "Spec ref1", "Spec ref2",
                                               "Topic"}));
    QCOMPARE(csv[1], (std::vector<std::string>{"1.    ", "QA103", "Unlinked", "2   ", "4 marks", "", "", ""}));
    QCOMPARE(csv[2], (std::vector<std::string>{"2.    ", "QA101", "Falling ball", "2   ", "5 marks", "1.2a", "3.1",
                                               "Forces, motion"}));
    QCOMPARE(At(csv, 4, 3), std::string("Momentum \"and\" <collisions>"));
  }

  void screenshots() {
    const QString out = qEnvironmentVariable("HV_SCREENSHOT_DIR");
    if (out.isEmpty()) QSKIP("HV_SCREENSHOT_DIR is not set");
    QDir().mkpath(out);
    TTempFolder dir;
    Render(FilledMarkSheet(dir), out + QStringLiteral("/mark-sheet.png"));
    auto doc = DocumentOf({Lib.Q1, Lib.Q2, Lib.Q3, Lib.Many[0], Lib.Many[1]});
    CreateFileIndexWorkbook(*doc, *Lib.Library, dir.File("index.xlsx"));
    Render(dir.File("index.xlsx"), out + QStringLiteral("/file-index.png"));

    TPupilForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const char* names[][4] = {{"Adeyemi", "Grace", "14/02/2009", "F"},  {"Brown", "Alfie", "01/09/2008", "M"},
                              {"Dubois", "Camille", "05/05/2009", "F"},  {"Nguyễn", "Thị Hương", "12/10/2008", "F"},
                              {"O'Neil", "Eamon", "30/06/2009", "M"},   {"Петров", "Иван", "17/01/2009", "M"},
                              {"Wróbel", "Łukasz", "03/03/2009", "M"}, {"Trần", "Đức Anh", "21/07/2008", "M"}};
    for (int r = 0; r < 8; ++r)
      for (int c = 0; c < 4; ++c) form.Grid()->setItem(r, c, new QTableWidgetItem(QString::fromUtf8(names[r][c])));
    form.Grid()->setCurrentCell(8, 0);
    form.setWindowTitle(QStringLiteral("Names of students in class /home/teacher/sets/10B.ptx"));
    QVERIFY(form.grab().save(out + QStringLiteral("/pupil-list.png")));
    form.Modified = false;
  }
};

}  // namespace

int RunLibreOfficeTests(int argc, char** argv) {
  TLibreOfficeTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace hv::test

#include "LibreOfficeTest.moc"
