// Reads the input as a mark entry sheet template. The first byte chooses what the rest is: 0 a
// worksheet part alone (the XML the cells are patched into), anything else a whole workbook
// package. Whatever is accepted is filled and written out again; a written worksheet must read
// back with the values that were set.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Workbook.h"
#include "core/Errors.h"

using namespace hv;

namespace {

const std::string kAwkward = std::string("=SUM(A1)<&>\"_x0041_ ") + '\x01' + "caf\xC3\xA9";

void Fill(TWorksheet& sheet) {
  sheet.SetText(1, 5, kAwkward);
  sheet.SetText(9, 1, "Smith, \"Jo\"");
  sheet.SetNumber(6, 5, 7);
  sheet.SetFormula(7, 5, "ROUND(SUM(E9:E200)*100/(B7*E6),0)");
  sheet.SetColumnWidth(6, 7);
  sheet.SetColumnWidth(3, 45);
}

void Check(const TWorksheet& sheet) {
  if (sheet.Cell(1, 5) != TCellValue{TCellValue::Text, kAwkward, sheet.Cell(1, 5).Style}) std::abort();
  if (sheet.Cell(9, 1).Value != "Smith, \"Jo\"") std::abort();
  if (sheet.Cell(6, 5).Kind != TCellValue::Number || sheet.Cell(6, 5).Value != "7") std::abort();
  if (sheet.Cell(7, 5).Kind != TCellValue::Formula) std::abort();
  if (sheet.ColumnWidth(6) != 7.0 || sheet.ColumnWidth(3) != 45.0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    if (data[0] == 0) {
      TWorksheet sheet{std::string(rest)};
      Fill(sheet);
      Check(sheet);
      std::string written = sheet.Xml();
      try {
        const TWorksheet again{std::move(written)};
        Check(again);
      } catch (const EError&) {
        std::abort();  // what we wrote must read back
      }
    } else {
      TWorkbook book = TWorkbook::FromBytes(rest);
      if (book.SheetCount() > 0) {
        Fill(book.Sheet(1));
        for (std::size_t i = 2; i <= book.SheetCount() && i <= 3; ++i) book.Sheet(i).SetText(2, 1, "Title");
      }
      // The reader takes the content types under any spelling; the writer stores the usual one.
      const auto parts = book.SavedParts();
      if (parts.find("[Content_Types].xml") == parts.end()) std::abort();
      // A template the reader took in must give a package that reads back as written.
      try {
        book.SavedBytes();
      } catch (const EDataError&) {
        std::abort();
      }
    }
  } catch (const EError&) {
  }
  return 0;
}
