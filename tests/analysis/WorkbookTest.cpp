// Workbook packages: cell names, cells and widths patched into worksheet XML, templates turned
// into workbooks, and damaged packages refused.
#include <gtest/gtest.h>
#include <zip.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "TempFolder.h"
#include "Workbook.h"
#include "core/Errors.h"

namespace hv {
namespace {

using test::ReadText;
using test::TTempFolder;

const std::string kTemplate = std::string(HV_SOURCE_DIR) + "/resources/templates/RX2P.xltx";

// A zip package written by libzip directly, so tests can hand the reader any parts they like.
void WriteZip(const std::string& fileName, const std::vector<std::pair<std::string, std::string>>& parts) {
  int error = 0;
  zip_t* z = zip_open(fileName.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(z, nullptr);
  for (const auto& [name, data] : parts) {
    zip_source_t* s = zip_source_buffer(z, data.data(), data.size(), 0);
    ASSERT_GE(zip_file_add(z, name.c_str(), s, ZIP_FL_OVERWRITE), 0);
  }
  ASSERT_EQ(zip_close(z), 0);
}

std::string Sheet(const std::string& body, const std::string& prefix = "") {
  const std::string ns = prefix.empty() ? "xmlns" : "xmlns:" + prefix.substr(0, prefix.size() - 1);
  return "<?xml version=\"1.0\"?><" + prefix + "worksheet " + ns +
         "=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" + body + "</" + prefix + "worksheet>";
}

TEST(CellNames, LettersOfColumns) {
  const std::pair<int, const char*> cases[] = {{1, "A"}, {5, "E"}, {26, "Z"}, {27, "AA"}, {28, "AB"},
                                               {52, "AZ"}, {53, "BA"}, {702, "ZZ"}, {703, "AAA"}, {16384, "XFD"}};
  for (const auto& [n, letters] : cases) EXPECT_EQ(ColumnLetters(n), letters) << n;
  // Up to ZZ the names are the two-letter rule: (n - 1) div 26 and (n - 1) mod 26.
  for (int n = 27; n <= 702; ++n) {
    const std::string rule{static_cast<char>(64 + (n - 1) / 26), static_cast<char>(65 + (n - 1) % 26)};
    ASSERT_EQ(ColumnLetters(n), rule) << n;
  }
  int row = 0, column = 0;
  EXPECT_TRUE(ParseCellName("AB12", row, column));
  EXPECT_EQ(row, 12);
  EXPECT_EQ(column, 28);
  EXPECT_FALSE(ParseCellName("A0", row, column));
  EXPECT_FALSE(ParseCellName("XFE1", row, column));
  EXPECT_FALSE(ParseCellName("A1048577", row, column));
  EXPECT_FALSE(ParseCellName("12", row, column));
}

TEST(Worksheets, TextIsKeptAsTextAndEscaped) {
  TWorksheet sheet(Sheet("<sheetData/>"));
  sheet.SetText(1, 1, "=SUM(A2:A3)");
  sheet.SetText(1, 2, "<b> & \"c\"");
  sheet.SetText(1, 3, std::string("bell\x07_x0041_"));
  sheet.SetText(1, 4, "  padded  ");
  sheet.SetNumber(2, 1, 12);
  sheet.SetNumber(2, 2, 0.5);
  sheet.SetFormula(3, 1, "SUM(A2:B2)");
  const TWorksheet again(sheet.Xml());
  EXPECT_EQ(again.Cell(1, 1), (TCellValue{TCellValue::Text, "=SUM(A2:A3)", ""}));
  EXPECT_EQ(again.Cell(1, 2).Value, "<b> & \"c\"");
  EXPECT_EQ(again.Cell(1, 3).Value, std::string("bell\x07_x0041_"));
  EXPECT_EQ(again.Cell(1, 4).Value, "  padded  ");
  EXPECT_EQ(again.Cell(2, 1), (TCellValue{TCellValue::Number, "12", ""}));
  EXPECT_EQ(again.Cell(2, 2).Value, "0.5");
  EXPECT_EQ(again.Cell(3, 1), (TCellValue{TCellValue::Formula, "SUM(A2:B2)", ""}));
  EXPECT_EQ(again.Cell(4, 1).Kind, TCellValue::Empty);
  EXPECT_EQ(sheet.Xml().find("<f>=") , std::string::npos);
}

TEST(Worksheets, CellsKeepTheirFormatAndNewOnesTakeTheRowsOrColumns) {
  TWorksheet sheet(Sheet("<cols><col min=\"3\" max=\"9\" width=\"7\" style=\"4\" customWidth=\"1\"/></cols>"
                         "<sheetData><row r=\"2\" s=\"5\" customFormat=\"1\"><c r=\"A2\" s=\"2\" t=\"s\"><v>0</v></c></row>"
                         "<row r=\"3\" spans=\"1:1\"><c r=\"A3\"/></row></sheetData>"));
  sheet.SetText(2, 1, "x");
  sheet.SetNumber(2, 6, 3);
  sheet.SetNumber(3, 5, 4);
  sheet.SetNumber(3, 12, 4);
  EXPECT_EQ(sheet.Cell(2, 1).Style, "2");
  EXPECT_EQ(sheet.Cell(2, 6).Style, "5");
  EXPECT_EQ(sheet.Cell(3, 5).Style, "4");
  EXPECT_EQ(sheet.Cell(3, 12).Style, "");
  // Stale spans would tell a reader the row ends at column 1.
  EXPECT_EQ(sheet.Xml().find("spans"), std::string::npos);
}

TEST(Worksheets, WidthsSplitTheColumnRangesTheyFallIn) {
  TWorksheet sheet(Sheet("<dimension ref=\"A1:B2\"/><cols><col min=\"5\" max=\"200\" width=\"7\" customWidth=\"1\"/></cols>"
                         "<sheetData/>"));
  sheet.SetColumnWidth(7, 9);
  sheet.SetColumnWidth(5, 12);
  sheet.SetColumnWidth(300, 20);
  const TWorksheet again(sheet.Xml());
  EXPECT_EQ(again.ColumnWidth(5), 12.0);
  EXPECT_EQ(again.ColumnWidth(6), 7.0);
  EXPECT_EQ(again.ColumnWidth(7), 9.0);
  EXPECT_EQ(again.ColumnWidth(8), 7.0);
  EXPECT_EQ(again.ColumnWidth(200), 7.0);
  EXPECT_EQ(again.ColumnWidth(300), 20.0);
  EXPECT_FALSE(again.ColumnWidth(4).has_value());
  // The old used range would be wrong now; it is optional, so it goes.
  EXPECT_EQ(sheet.Xml().find("dimension"), std::string::npos);
}

TEST(Worksheets, PrefixedElementsAndImplicitPositions) {
  TWorksheet sheet(Sheet("<x:sheetViews/><x:sheetData><x:row><x:c><x:v>1</x:v></x:c><x:c><x:v>2</x:v></x:c></x:row>"
                         "<x:row><x:c r=\"C2\"><x:v>3</x:v></x:c></x:row></x:sheetData><x:pageMargins/>",
                         "x:"));
  EXPECT_EQ(sheet.Cell(1, 2).Value, "2");
  EXPECT_EQ(sheet.Cell(2, 3).Value, "3");
  sheet.SetText(1, 1, "a");
  sheet.SetColumnWidth(2, 8);
  const std::string xml = sheet.Xml();
  EXPECT_NE(xml.find("<x:c r=\"A1\" t=\"inlineStr\"><x:is><x:t"), std::string::npos) << xml;
  // Columns go right before the cell table, where the schema wants them.
  EXPECT_NE(xml.find("<x:sheetViews/><x:cols><x:col min=\"2\" max=\"2\""), std::string::npos) << xml;
  EXPECT_EQ(TWorksheet(xml).Cell(1, 1).Value, "a");
}

TEST(Worksheets, DamagedXmlIsRefused) {
  const char* bad[] = {
      "<worksheet><sheetData><row r=\"1\"><c r=\"A1\"></row></sheetData></worksheet>",
      // Found by fuzzing: an end tag naming another element made the cell swallow later rows.
      "<worksheet><sheetData><row r=\"1\"><c r=\"D1\"><v>1=/v></c></row~<row r=\"2\"></row></sheetData></worksheet>",
      "<worksheet><sheetData/></other>",
      "<worksheet><sheetData><row r=\"0\"/></sheetData></worksheet>",
      "<worksheet><sheetData><row r=\"1048577\"/></sheetData></worksheet>",
      "<worksheet><sheetData><row><c r=\"ZZZZ1\"/></row></sheetData></worksheet>",
      "<worksheet><sheetViews/></worksheet>",
      "<worksheet><sheetData>",
      "<chartsheet><sheetData/></chartsheet>",
      "<worksheet <sheetData/></worksheet>",
      // Found by fuzzing: junk after an end tag's name was written back inside the cell.
      "<worksheet><sheetData><row><c></c/\"<\"></row></sheetData></worksheet>",
      "",
  };
  for (const char* xml : bad) EXPECT_THROW(TWorksheet{std::string(xml)}, EDataError) << xml;
}

// Found by fuzzing: an attribute name holding a quote was written back as it came, and the quote
// then swallowed the cells after it when the sheet was read again.
TEST(Worksheets, MalformedAttributesDoNotSwallowLaterCells) {
  TWorksheet sheet(Sheet("<sheetData><row r=\"1\"><c r=\"D1\" s\"t4=\"=\" b=\"><v>15</v></c></row></sheetData>"));
  sheet.SetText(1, 5, "after");
  const TWorksheet again(sheet.Xml());
  EXPECT_EQ(again.Cell(1, 5).Value, "after");
  EXPECT_EQ(again.Cell(1, 4).Value, "15");
  EXPECT_THROW(TWorksheet(Sheet("<a\"b:sheetData/>")), EDataError);
}

TEST(SharedFormulas, ReferencesMoveAsWhenCopied) {
  const std::tuple<const char*, int, int, const char*> cases[] = {
      {"SUM(E9:E200)*100/($B$7*E$6)", 0, 2, "SUM(G9:G200)*100/($B$7*G$6)"},
      {"A1+$A1+A$1+$A$1", 2, 1, "B3+$A3+B$1+$A$1"},
      {"SUM(A:A)+SUM(3:4)+LOG10(B2)", 1, 1, "SUM(B:B)+SUM(4:5)+LOG10(C3)"},
      // Sheet names, texts, errors and numbers are not references.
      {"'Sheet 1'!A1&\"B2\"&Sheet2!C3+1E5+#DIV/0!", 1, 0, "'Sheet 1'!A2&\"B2\"&Sheet2!C4+1E5+#DIV/0!"},
      {"A1+XFD1", 0, 1, "B1+#REF!"},
      {"A2", -2, 0, "#REF!"},
  };
  for (const auto& [formula, rows, columns, expected] : cases)
    EXPECT_EQ(ShiftFormula(formula, rows, columns), expected) << formula;
}

TEST(Workbooks, TheShippedTemplateHasTwoSheetsWithItsLabels) {
  TWorkbook book = TWorkbook::Open(kTemplate);
  ASSERT_EQ(book.SheetCount(), 2u);
  EXPECT_EQ(book.SheetName(1), "Marks");
  // Shared strings are resolved.
  EXPECT_EQ(book.Sheet(1).Cell(8, 1), (TCellValue{TCellValue::Text, "Surname", "4"}));
  EXPECT_EQ(book.Sheet(1).Cell(7, 2).Kind, TCellValue::Formula);
  EXPECT_EQ(book.Sheet(1).Cell(7, 2).Value, "COUNTA(A9:A1048576)");
  EXPECT_EQ(book.Sheet(2).Cell(1, 1).Value, "Spec ref");
  EXPECT_THROW(book.Sheet(3), EDataError);
}

TEST(Workbooks, SavingATemplateGivesAWorkbookThatRecalculates) {
  TTempFolder dir;
  TWorkbook book = TWorkbook::Open(kTemplate);
  book.Sheet(1).SetText(1, 5, "QA101");
  book.Sheet(2).SetText(2, 1, "1.2");
  const std::string out = dir.File("marks.xlsx");
  book.SaveAs(out);
  TWorkbook saved = TWorkbook::Open(out);
  EXPECT_EQ(saved.Sheet(1).Cell(1, 5).Value, "QA101");
  EXPECT_EQ(saved.Sheet(1).Cell(8, 1).Value, "Surname");
  EXPECT_EQ(saved.Sheet(2).Cell(2, 1).Value, "1.2");
  const auto parts = saved.SavedParts();
  EXPECT_EQ(parts.at("[Content_Types].xml").find("template.main"), std::string::npos);
  EXPECT_NE(parts.at("[Content_Types].xml").find("sheet.main+xml"), std::string::npos);
  EXPECT_NE(parts.at("xl/workbook.xml").find("fullCalcOnLoad=\"1\""), std::string::npos);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"marks.xlsx"});
}

TEST(Workbooks, AStaleCalculationChainIsDropped) {
  TTempFolder dir;
  TWorkbook blank = TWorkbook::Blank();
  auto parts = blank.SavedParts();
  parts["xl/calcChain.xml"] = "<calcChain xmlns=\"m\"><c r=\"A1\" i=\"1\"/></calcChain>";
  std::string& types = parts["[Content_Types].xml"];
  types.insert(types.find("</Types>"), "<Override PartName=\"/xl/calcChain.xml\" ContentType=\"calc\"/>");
  std::string& rels = parts["xl/_rels/workbook.xml.rels"];
  rels.insert(rels.find("</Relationships>"),
              "<Relationship Id=\"rId9\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
              "calcChain\" Target=\"calcChain.xml\"/>");
  // No calcPr yet: it must be added before the elements that follow it.
  std::string& wb = parts["xl/workbook.xml"];
  wb.replace(wb.find("<calcPr fullCalcOnLoad=\"1\"/>"), 28, "<extLst/>");
  WriteZip(dir.File("chain.xlsx"), {parts.begin(), parts.end()});

  TWorkbook book = TWorkbook::Open(dir.File("chain.xlsx"));
  const auto saved = book.SavedParts();
  EXPECT_EQ(saved.count("xl/calcChain.xml"), 0u);
  EXPECT_EQ(saved.at("[Content_Types].xml").find("calcChain"), std::string::npos);
  EXPECT_EQ(saved.at("xl/_rels/workbook.xml.rels").find("calcChain"), std::string::npos);
  EXPECT_NE(saved.at("xl/workbook.xml").find("<calcPr fullCalcOnLoad=\"1\"/><extLst/>"), std::string::npos);
}

TEST(Workbooks, DamagedPackagesAreRefused) {
  TTempFolder dir;
  EXPECT_THROW(TWorkbook::Open(dir.File("missing.xlsx")), EInOutError);
  EXPECT_THROW(TWorkbook::FromBytes("not a zip at all"), EDataError);
  WriteZip(dir.File("empty.xlsx"), {{"readme.txt", "hello"}});
  EXPECT_THROW(TWorkbook::Open(dir.File("empty.xlsx")), EDataError);

  auto parts = TWorkbook::Blank().SavedParts();
  parts.erase("xl/worksheets/sheet1.xml");
  WriteZip(dir.File("nosheet.xlsx"), {parts.begin(), parts.end()});
  TWorkbook book = TWorkbook::Open(dir.File("nosheet.xlsx"));
  EXPECT_EQ(book.SheetCount(), 1u);
  EXPECT_THROW(book.Sheet(1), EDataError);
}

TEST(Workbooks, ContentTypesAreStoredUnderTheirUsualName) {
  TTempFolder dir;
  auto parts = TWorkbook::Blank().SavedParts();
  parts["[content_types].XML"] = parts.at("[Content_Types].xml");
  parts.erase("[Content_Types].xml");
  WriteZip(dir.File("lower.xlsx"), {parts.begin(), parts.end()});
  TWorkbook book = TWorkbook::Open(dir.File("lower.xlsx"));
  const auto saved = book.SavedParts();
  EXPECT_EQ(saved.count("[Content_Types].xml"), 1u);
  EXPECT_EQ(saved.count("[content_types].XML"), 0u);
}

TEST(Workbooks, SavingWhereNoFileCanBeMadeRaises) {
  TTempFolder dir;
  TWorkbook book = TWorkbook::Blank();
  EXPECT_THROW(book.SaveAs(dir.File("no/folder/x.xlsx")), EInOutError);
}

}  // namespace
}  // namespace hv
