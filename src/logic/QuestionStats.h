#pragma once
// Question statistics: what a class's marks say about each question of a test (facility and
// discrimination), and the per-user store that keeps them per import, outside the read-only
// library, so that the Question Finder and the Viewer can show how each question went before.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/Observer.h"
#include "core/Sqlite.h"

namespace hv {

// A discrimination figure from fewer students than this says nothing and is not given.
inline constexpr int kMinStudentsForDiscrimination = 5;

// The marks of one test as typed: one column per question, one row per student; an empty
// optional is a missing mark (a blank cell), which counts neither as zero nor as a student.
struct TMarkTable {
  std::vector<std::string> TypedIDs;
  std::vector<int> MaxMarks;
  std::vector<std::vector<std::optional<double>>> Rows;
};

// The figures of one question from one import.
struct TItemFigures {
  std::string TypedID;
  int Students = 0;  // how many have a mark for it
  double Mean = 0;
  int MaxMarks = 0;
  std::optional<double> Facility;        // mean / MaxMarks; none for a question worth 0 marks
  std::optional<double> Discrimination;  // see ComputeItemFigures
};

// For each column: the students with a mark, their mean mark and the facility (the mean divided
// by the question's maximum). The discrimination is the correlation (Pearson's r) between the
// question's mark and the student's total on the other questions (their other marks added up, as
// the sheet's Total column does), over the students with a mark for the question; it is given
// only with at least kMinStudentsForDiscrimination such students and when neither varies.
std::vector<TItemFigures> ComputeItemFigures(const TMarkTable& table);

// One import: a class's marks on one test, as kept. An import is known by its library, its class
// and its questions in order, so bringing the same workbook in again replaces it.
struct TImportRecord {
  std::string LibraryKey;
  std::string ClassName;
  std::string Date;    // YYYY-MM-DD, when the marks were entered
  std::string Source;  // the workbook's file name, for the record only
  std::vector<TItemFigures> Items;
};

// What every import says about one question together.
struct TQuestionSummary {
  int Uses = 0;
  int Students = 0;
  // Averages over the imports that give the figure, weighted by their students.
  std::optional<double> Facility;
  std::optional<double> Discrimination;
  std::string LastClass;
  std::string LastDate;              // YYYY-MM-DD
  std::vector<std::string> Classes;  // every class that sat it, in the order of first use
  bool UsedWith(const std::string& className) const;
};

namespace StatsCode {
inline constexpr int Imported = 40;  // an import was added or replaced
}

// The statistics store: one SQLite database per user. Summaries are read for one library at a
// time into memory, so showing them costs a lookup; an import refreshes them and notifies.
class TStatsStore : public TObservable {
public:
  static constexpr int kSchemaVersion = 2;
  // Opens or creates the store. A damaged or newer store is set aside and a fresh one started;
  // setAsideMessage then says so.
  explicit TStatsStore(const std::string& path, std::string* setAsideMessage = nullptr);

  // $XDG_DATA_HOME/harrowvane/statistics.sqlite (default ~/.local/share/...); the folder is made.
  static std::string DefaultPath();

  // Stores one import in one transaction: all of it or, on any failure, nothing. Returns true
  // when it replaced an earlier import of the same class and questions. Raises EDataError for an
  // empty class or library key.
  bool Import(const TImportRecord& record);

  // The summary of a question of a library, or nullptr when no import holds it.
  const TQuestionSummary* Summary(const std::string& libraryKey, const std::string& typedID);
  // Every question of a library with statistics, by typed ID.
  const std::unordered_map<std::string, TQuestionSummary>& Summaries(const std::string& libraryKey);
  // The classes that sat any question of the library, sorted.
  std::vector<std::string> Classes(const std::string& libraryKey);
  int ImportCount();

  TSqlDatabase& Database() { return Db; }

private:
  void Load(const std::string& libraryKey);

  TSqlDatabase Db;
  std::string LoadedKey;
  bool Loaded = false;
  std::unordered_map<std::string, TQuestionSummary> Cache;
};

// "3 Nov 2026" for "2026-11-03"; the text itself when it is not such a date.
std::string ShortDate(const std::string& isoDate);
// "Used 3 times · facility 0.62 · discrimination 0.41 · last with 10B on 3 Nov 2026" (UTF-8);
// a figure the imports do not give is left out.
std::string SummaryLine(const TQuestionSummary& summary);

}  // namespace hv
