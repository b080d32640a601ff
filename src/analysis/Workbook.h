#pragma once
// Spreadsheet workbooks (.xlsx, and .xltx templates) read and written directly: the parts of the
// zip package are kept as they are, and cells and column widths are patched into the worksheets'
// XML. Text here is UTF-8. Plain C++ over libzip.
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "XmlScan.h"

namespace hv {

// Bounds on what a workbook read from disk may hold, so a damaged or hostile file cannot exhaust
// memory.
inline constexpr std::size_t kMaxWorkbookParts = 4096;
inline constexpr std::size_t kMaxWorkbookPartBytes = 64u * 1024 * 1024;
inline constexpr std::size_t kMaxWorkbookBytes = 256u * 1024 * 1024;
inline constexpr int kMaxSheetRows = 1048576;
inline constexpr int kMaxSheetColumns = 16384;

// The spreadsheet name of a column number (1 = A, 26 = Z, 27 = AA, 53 = BA, 703 = AAA).
std::string ColumnLetters(int column);
// "B7" for row 7, column 2.
std::string CellName(int row, int column);
// Reads "AB12"; false when the text is not a cell name within the sheet's bounds.
bool ParseCellName(std::string_view name, int& row, int& column);

// A formula as it reads when copied rows down and columns across: relative references move,
// "$" parts stay, and a reference pushed off the sheet becomes #REF!.
std::string ShiftFormula(std::string_view formula, int rows, int columns);

// What a cell holds, as read back (tests and checks; the writer never needs it).
struct TCellValue {
  enum TKind { Empty, Text, Number, Formula, Other };
  TKind Kind = Empty;
  std::string Value;  // the text, the number as written, or the formula without "="
  std::string Style;  // the cell format index, empty for the default
  bool operator==(const TCellValue&) const = default;
};

// One worksheet: its XML with the cell table and the column table taken apart, so that cells can
// be set while everything else in the part (views, merges, page set-up) is copied through.
class TWorksheet {
public:
  // Raises EDataError when the XML is not a worksheet.
  explicit TWorksheet(std::string xml, const std::vector<std::string>* sharedStrings = nullptr);

  // Text is always stored as text, whatever it looks like (a leading "=" stays a character).
  void SetText(int row, int column, std::string_view utf8);
  void SetNumber(int row, int column, double value);
  // A formula in the file's own syntax, without the leading "=" ("SUM(E6:F6)").
  void SetFormula(int row, int column, std::string_view formula);
  void SetStyle(int row, int column, std::string_view style);
  void SetColumnWidth(int column, double width);

  TCellValue Cell(int row, int column) const;
  std::optional<double> ColumnWidth(int column) const;
  // The last row and column holding a cell; 0 when the sheet has none.
  int LastRow() const;
  int LastColumn() const;

  std::string Xml() const;
  // The same cells and columns, markup and all.
  bool SameContent(const TWorksheet& other) const;

private:
  struct TCell {
    xml::TAttributes Attributes;  // without "r"
    std::string Inner;            // markup between the start and the end tag
    bool operator==(const TCell&) const = default;
  };
  struct TRow {
    xml::TAttributes Attributes;  // without "r" and "spans"
    std::map<int, TCell> Cells;
    bool operator==(const TRow&) const = default;
  };
  struct TColumns {
    int Min = 0;
    int Max = 0;
    xml::TAttributes Attributes;  // without "min" and "max"
    bool operator==(const TColumns&) const = default;
  };
  struct TRegion {
    std::size_t Begin = 0;
    std::size_t End = 0;
    bool Found = false;
  };

  void Parse();
  void ParseRows(std::size_t from, std::size_t to);
  void ParseColumns(std::size_t from, std::size_t to);
  void ExpandSharedFormulas();
  TCell& Target(int row, int column);
  std::string Name(std::string_view local) const { return Prefix + std::string(local); }
  std::string ColumnsXml() const;
  std::string RowsXml() const;

  std::string Source;
  const std::vector<std::string>* Shared;
  std::string Prefix;  // of the sheetData element, used for every element written
  TRegion Dimension, Columns, SheetData;
  std::map<int, TRow> Rows;
  std::vector<TColumns> ColumnTable;  // sorted, not overlapping
};

// A workbook package. Worksheets are numbered from 1 in the order of the workbook's sheet list;
// chart sheets are not counted.
class TWorkbook {
public:
  // Raises EInOutError when the file cannot be read, EDataError when it is not a workbook.
  static TWorkbook Open(const std::string& fileName);
  static TWorkbook FromBytes(std::string_view bytes);
  // One empty worksheet named "Sheet1", with the formats below.
  static TWorkbook Blank();
  // Cell formats of the blank workbook: text kept as typed (shown with an apostrophe in the
  // editing line, as when a user types '2), and bold headings.
  static constexpr const char* kBlankQuotedStyle = "1";
  static constexpr const char* kBlankHeadingStyle = "2";

  TWorkbook(TWorkbook&&) noexcept;
  TWorkbook& operator=(TWorkbook&&) noexcept;
  ~TWorkbook();

  std::size_t SheetCount() const { return Sheets.size(); }
  // Raises EDataError when there is no such sheet or its part is damaged.
  TWorksheet& Sheet(std::size_t number);
  const std::string& SheetName(std::size_t number) const;

  // Writes an .xlsx package (a template becomes an ordinary workbook) that recalculates every
  // formula when opened. The package is read back first, and a workbook that would not read as
  // it was written raises EDataError with nothing saved. The file is replaced in one step; raises
  // EInOutError.
  void SaveAs(const std::string& fileName);
  // The package's bytes as SaveAs writes them, checked the same way.
  std::string SavedBytes();
  // The package's parts as they would be saved, for checks without a file.
  std::map<std::string, std::string> SavedParts();

private:
  TWorkbook() = default;
  struct TSheetEntry {
    std::string Name;
    std::string Part;
    std::unique_ptr<TWorksheet> Sheet;  // parsed when first asked for
  };
  void Load();
  std::string* FindPart(std::string_view name);
  void PrepareForSave();

  std::vector<std::pair<std::string, std::string>> Parts;  // in package order
  std::string WorkbookPart;
  std::vector<TSheetEntry> Sheets;
  std::vector<std::string> SharedStrings;
};

}  // namespace hv
