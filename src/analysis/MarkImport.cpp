#include "MarkImport.h"

#include <QString>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>

#include "AnsiString.h"
#include "Workbook.h"
#include "model/Library.h"
#include "model/Segments.h"

namespace hv {

namespace {

std::string Figure(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

TImportRecord MarkImportRecord(const TFilledMarks& marks, const TLibrary& library, const std::string& libraryKey,
                               const std::string& className, const std::string& date, const std::string& source) {
  std::vector<TMarkProblem> problems;
  TImportRecord record{libraryKey, Trimmed(className), date, source, {}};
  if (record.ClassName.empty()) problems.push_back({"", 0, 0, "The class name is empty: please give the class these marks belong to."});

  TMarkTable table;
  std::vector<int> maxMarks;
  for (const TFilledQuestion& q : marks.Questions) {
    const std::string ansi = QtToAnsi(QString::fromUtf8(q.ID.data(), static_cast<qsizetype>(q.ID.size())).trimmed());
    const TIdentityCategory* node =
        ansi.size() > 1 && (ansi[0] == 'Q' || ansi[0] == 'q') ? library.FindIdentity(ansi.substr(1), 'Q') : nullptr;
    const TQuestion* question = node != nullptr ? node->Question : nullptr;
    if (question == nullptr) {
      problems.push_back({marks.Sheet, kMarkSheetIDRow, q.Column,
                          "the question \"" + q.ID + "\" is not in the library \"" + libraryKey + "\"."});
      table.TypedIDs.push_back(ansi);
      table.MaxMarks.push_back(0);
      continue;
    }
    const std::string id = question->GetID();
    for (std::size_t k = 0; k < table.TypedIDs.size(); ++k)
      if (table.TypedIDs[k] == id)
        problems.push_back({marks.Sheet, kMarkSheetIDRow, q.Column,
                            "the question \"" + q.ID + "\" is already in column " +
                                ColumnLetters(marks.Questions[k].Column) + "."});
    table.TypedIDs.push_back(id);
    table.MaxMarks.push_back(question->Marks);
  }

  for (const TFilledStudent& student : marks.Students) {
    std::vector<std::optional<double>> row;
    for (std::size_t k = 0; k < student.Marks.size(); ++k) {
      const TReadCell* cell = student.Marks[k];
      const int column = marks.Questions[k].Column;
      if (cell == nullptr) {
        row.emplace_back();
        continue;
      }
      if (cell->Kind != TReadCell::TKind::Number) {
        problems.push_back({marks.Sheet, student.Row, column, "the mark \"" + cell->Text + "\" is not a number."});
      } else if (cell->Value < 0) {
        problems.push_back({marks.Sheet, student.Row, column, "the mark " + Figure(cell->Value) + " is negative."});
      } else if (table.MaxMarks[k] > 0 && cell->Value > table.MaxMarks[k]) {
        problems.push_back({marks.Sheet, student.Row, column,
                            "the mark " + Figure(cell->Value) + " is above the question's " +
                                std::to_string(table.MaxMarks[k]) + " marks."});
      }
      row.emplace_back(cell->Kind == TReadCell::TKind::Number ? std::optional<double>(cell->Value) : std::nullopt);
    }
    table.Rows.push_back(std::move(row));
  }
  if (marks.Students.empty())
    problems.push_back({marks.Sheet, kMarkSheetFirstStudentRow, 0, "there are no marks from this row on."});
  if (!problems.empty()) throw EMarkImportError(std::move(problems));
  record.Items = ComputeItemFigures(table);
  return record;
}

std::string FileDate(const std::string& fileName) {
  struct stat info {};
  std::time_t when = std::time(nullptr);
  if (::stat(fileName.c_str(), &info) == 0) when = info.st_mtime;
  std::tm tm{};
  localtime_r(&when, &tm);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
  return text;
}

std::string SuggestedClassName(const std::string& fileName) { return std::filesystem::path(fileName).stem().string(); }

TMarkImportResult ImportMarkWorkbook(const std::string& fileName, const TLibrary& library,
                                     const std::string& libraryKey, const std::string& className, TStatsStore& store) {
  const TReadSheet sheet = ReadFirstWorksheetFile(fileName);
  const TFilledMarks marks = FindMarks(sheet);
  TMarkImportResult result;
  result.Record = MarkImportRecord(marks, library, libraryKey, className, FileDate(fileName),
                                   std::filesystem::absolute(fileName).string());
  result.Students = static_cast<int>(marks.Students.size());
  result.Replaced = store.Import(result.Record);
  return result;
}

}  // namespace hv
