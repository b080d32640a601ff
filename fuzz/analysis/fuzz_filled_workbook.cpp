// Reads the input as a filled mark entry workbook. The first byte chooses what the rest is: 0 a
// worksheet part and, after the first NUL, its shared strings part; anything else a whole
// workbook package. Whatever is read must hold together: cells inside the sheet, one mark slot
// per question for every student, and the students in the rows below the header.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FilledWorkbook.h"

using namespace hv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    TReadSheet sheet;
    if (data[0] == 0) {
      const std::size_t nul = rest.find('\0');
      sheet = ReadWorksheetXml(std::string(rest.substr(0, nul)),
                               nul == std::string_view::npos ? std::string() : std::string(rest.substr(nul + 1)));
    } else {
      sheet = ReadFirstWorksheet(rest);
    }
    std::size_t cells = 0;
    for (const auto& [row, columns] : sheet.Rows) {
      if (row < 1 || row > 1048576) std::abort();
      for (const auto& [column, cell] : columns) {
        if (column < 1 || column > 16384 || cell.Kind == TReadCell::TKind::Blank) std::abort();
        ++cells;
      }
    }
    if (cells > kMaxReadCells) std::abort();
    const TFilledMarks marks = FindMarks(sheet);
    if (marks.Questions.empty()) std::abort();
    for (const TFilledStudent& s : marks.Students) {
      if (s.Row < kMarkSheetFirstStudentRow || s.Marks.size() != marks.Questions.size()) std::abort();
      for (std::size_t k = 0; k < s.Marks.size(); ++k)
        if (s.Marks[k] != nullptr && s.Marks[k] != sheet.Cell(s.Row, marks.Questions[k].Column)) std::abort();
    }
  } catch (const EError&) {
  }
  return 0;
}
