#include "StatsTool.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "LibraryOpen.h"
#include "MarkImport.h"

namespace hv::hvlib {

namespace {

std::string Figure(const std::optional<double>& value) {
  if (!value) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", *value);
  return text;
}

}  // namespace

std::string ImportStats(const std::string& workbook, const std::string& lib, const std::string& className,
                        TStatsStore& store) {
  TOpenedLibrary loaded = LoadLibrary(lib, std::string());
  const TCurrentLibraryScope scope(loaded.Library.get());
  const TMarkImportResult result = ImportMarkWorkbook(
      workbook, *loaded.Library, lib, className.empty() ? SuggestedClassName(workbook) : className, store);
  return "hvlib: " + std::to_string(result.Students) + " students, " + std::to_string(result.Record.Items.size()) +
         " questions imported for " + result.Record.ClassName + " (" + result.Record.Date + ")" +
         (result.Replaced ? ", replacing the earlier import of this sheet" : "");
}

int ShowStats(TStatsStore& store, const std::string& lib, const std::string& typedID, std::ostream& out) {
  const auto& summaries = store.Summaries(lib);
  std::vector<const std::pair<const std::string, TQuestionSummary>*> rows;
  for (const auto& entry : summaries)
    if (typedID.empty() || entry.first == typedID) rows.push_back(&entry);
  std::sort(rows.begin(), rows.end(), [](const auto* a, const auto* b) { return a->first < b->first; });
  for (const auto* row : rows)
    out << row->first << '\t' << row->second.Uses << '\t' << Figure(row->second.Facility) << '\t'
        << Figure(row->second.Discrimination) << '\n';
  return static_cast<int>(rows.size());
}

}  // namespace hv::hvlib
