#pragma once
// Bringing a class's marks back from a filled mark entry workbook into the statistics store: the
// questions are found in the open library by the IDs in the sheet, every mark is checked, and the
// figures of each question are stored as one import.
#include <string>

#include "FilledWorkbook.h"
#include "logic/QuestionStats.h"

namespace hv {

class TLibrary;

// Checks every question and mark of a filled sheet against the library and computes the figures.
// Problems (an ID the library lacks or used twice, a mark that is text, negative or above the
// question's maximum, an empty class, no marks at all) are all collected and raised together as
// EMarkImportError; nothing is returned then. Class name and the rest of the record are UTF-8.
TImportRecord MarkImportRecord(const TFilledMarks& marks, const TLibrary& library, const std::string& libraryKey,
                               const std::string& className, const std::string& date, const std::string& source);

// The date a file was last written, YYYY-MM-DD in local time: when the marks were typed.
std::string FileDate(const std::string& fileName);
// The class a workbook's file name suggests: its name without folder and extension.
std::string SuggestedClassName(const std::string& fileName);

struct TMarkImportResult {
  TImportRecord Record;
  bool Replaced = false;  // an earlier import of the same class and questions was replaced
  int Students = 0;       // the rows with at least one mark
};

// The whole import behind the menu item and the library tool: read, check, store.
TMarkImportResult ImportMarkWorkbook(const std::string& fileName, const TLibrary& library,
                                     const std::string& libraryKey, const std::string& className, TStatsStore& store);

}  // namespace hv
