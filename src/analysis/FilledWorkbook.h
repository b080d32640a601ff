#pragma once
// Reading a mark entry workbook back after a teacher has typed the marks into it, whichever
// program saved it last: the package is read part by part and each part with an XML parser, so
// shared strings, inline strings, formulas with cached values, styles and any namespace prefixes
// are understood. Text here is UTF-8.
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/Errors.h"

namespace hv {

// One cell as read: its kind and value, never its formula.
struct TReadCell {
  enum class TKind { Blank, Number, Text, Boolean, Error };
  TKind Kind = TKind::Blank;
  double Value = 0;  // of a number
  std::string Text;  // the text, or the value as written for the other kinds
};

// A worksheet's cells by row and column (both from 1). Blank cells are not kept.
struct TReadSheet {
  std::string Name;
  std::map<int, std::map<int, TReadCell>> Rows;
  const TReadCell* Cell(int row, int column) const;
};

// A problem with a filled workbook, placed where the teacher can find it; Row and Column are 0
// when the problem is not in one cell.
struct TMarkProblem {
  std::string Sheet;
  int Row = 0;
  int Column = 0;
  std::string Text;
  // "Sheet "Marks", row 12, column F: the mark "abc" is not a number."
  std::string Message() const;
};

// The problems that keep a workbook from being imported, all listed in the message.
class EMarkImportError : public EDataError {
public:
  explicit EMarkImportError(std::vector<TMarkProblem> problems);
  std::vector<TMarkProblem> Problems;
};

// Bounds on a workbook read for its marks, so that a damaged or hostile file cannot exhaust memory.
inline constexpr std::size_t kMaxReadCells = 4'000'000;
inline constexpr std::size_t kMaxSharedStrings = 1'000'000;

// Reads the first worksheet of a workbook package (and the shared strings it uses). Raises
// EMarkImportError when the bytes are not a readable workbook, EInOutError when the file cannot
// be read.
TReadSheet ReadFirstWorksheet(std::string_view bytes);
TReadSheet ReadFirstWorksheetFile(const std::string& fileName);
// One worksheet part and the shared strings part it uses (may be empty), without the package.
TReadSheet ReadWorksheetXml(const std::string& sheetXml, const std::string& sharedStringsXml);

// The mark entry sheet as the program lays it out: question IDs in row 1 from column E, the
// maximum marks in row 6, the questions numbered 1, 2, ... in row 8 and followed there by "Total",
// the students from row 9 with their marks under the questions.
inline constexpr int kMarkSheetIDRow = 1;
inline constexpr int kMarkSheetMarksRow = 6;
inline constexpr int kMarkSheetNumberRow = 8;
inline constexpr int kMarkSheetFirstStudentRow = 9;
inline constexpr int kMarkSheetFirstQuestionColumn = 5;

struct TFilledQuestion {
  std::string ID;  // as in the sheet, UTF-8
  int Column = 0;
};

struct TFilledStudent {
  int Row = 0;
  std::vector<const TReadCell*> Marks;  // one per question; nullptr for a blank cell
};

// The questions and the students' rows of a mark entry sheet; rows without any mark (a student
// who did not sit the test, or an empty row) are left out. Raises EMarkImportError when the sheet
// is not laid out as the program makes it. The cells point into sheet.
struct TFilledMarks {
  std::string Sheet;
  std::vector<TFilledQuestion> Questions;
  std::vector<TFilledStudent> Students;
};
TFilledMarks FindMarks(const TReadSheet& sheet);

}  // namespace hv
