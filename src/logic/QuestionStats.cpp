#include "logic/QuestionStats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/Errors.h"

namespace hv {

namespace {

std::optional<double> Correlation(const std::vector<double>& x, const std::vector<double>& y) {
  const double n = static_cast<double>(x.size());
  double mx = 0, my = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    mx += x[i];
    my += y[i];
  }
  mx /= n;
  my /= n;
  double sxy = 0, sxx = 0, syy = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double dx = x[i] - mx, dy = y[i] - my;
    sxy += dx * dy;
    sxx += dx * dx;
    syy += dy * dy;
  }
  // Everyone scoring the same on either side leaves nothing to correlate.
  if (sxx <= 1e-12 || syy <= 1e-12) return std::nullopt;
  return sxy / std::sqrt(sxx * syy);
}

const std::vector<std::function<void(TSqlDatabase&)>>& Migrations() {
  static const std::vector<std::function<void(TSqlDatabase&)>> list = {
      [](TSqlDatabase& db) {
        db.Exec(
            "CREATE TABLE imports("
            "  id INTEGER PRIMARY KEY,"
            "  library TEXT NOT NULL,"
            "  class TEXT NOT NULL,"
            "  questions TEXT NOT NULL,"  // the typed IDs in sheet order, one per line
            "  date TEXT NOT NULL,"
            "  source TEXT NOT NULL,"
            "  UNIQUE(library, class, questions));"
            "CREATE TABLE item_stats("
            "  import_id INTEGER NOT NULL,"
            "  typed_id TEXT NOT NULL,"
            "  students INTEGER NOT NULL,"
            "  mean REAL NOT NULL,"
            "  max_marks INTEGER NOT NULL,"
            "  facility REAL,"
            "  discrimination REAL,"
            "  PRIMARY KEY(import_id, typed_id));"
            "CREATE INDEX imports_by_library ON imports(library);");
      },
  };
  return list;
}

void BindOptional(TSqlStatement& st, int index, const std::optional<double>& value) {
  if (value)
    st.Bind(index, *value);
  else
    st.BindNull(index);
}

}  // namespace

std::vector<TItemFigures> ComputeItemFigures(const TMarkTable& table) {
  const std::size_t columns = table.TypedIDs.size();
  std::vector<double> totals(table.Rows.size(), 0.0);
  for (std::size_t r = 0; r < table.Rows.size(); ++r)
    for (const std::optional<double>& mark : table.Rows[r])
      if (mark) totals[r] += *mark;

  std::vector<TItemFigures> figures;
  figures.reserve(columns);
  std::vector<double> item, rest;
  for (std::size_t c = 0; c < columns; ++c) {
    TItemFigures f;
    f.TypedID = table.TypedIDs[c];
    f.MaxMarks = c < table.MaxMarks.size() ? table.MaxMarks[c] : 0;
    item.clear();
    rest.clear();
    for (std::size_t r = 0; r < table.Rows.size(); ++r) {
      const auto& row = table.Rows[r];
      if (c >= row.size() || !row[c]) continue;
      item.push_back(*row[c]);
      rest.push_back(totals[r] - *row[c]);
    }
    f.Students = static_cast<int>(item.size());
    if (!item.empty()) {
      double sum = 0;
      for (double m : item) sum += m;
      f.Mean = sum / static_cast<double>(item.size());
      if (f.MaxMarks > 0) f.Facility = f.Mean / f.MaxMarks;
    }
    if (f.Students >= kMinStudentsForDiscrimination) f.Discrimination = Correlation(item, rest);
    figures.push_back(std::move(f));
  }
  return figures;
}

bool TQuestionSummary::UsedWith(const std::string& className) const {
  return std::find(Classes.begin(), Classes.end(), className) != Classes.end();
}

TStatsStore::TStatsStore(const std::string& path, std::string* setAsideMessage)
    : Db(OpenStore(path, Migrations(), setAsideMessage)) {
  Db.SetBusyTimeout(2000);
}

std::string TStatsStore::DefaultPath() {
  namespace fs = std::filesystem;
  fs::path base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/')
    base = xdg;
  else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
    base = fs::path(home) / ".local" / "share";
  else
    throw EInOutError("The statistics store has no place: neither XDG_DATA_HOME nor HOME is set.");
  const fs::path folder = base / "harrowvane";
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) throw EInOutError("Cannot create the folder " + folder.string() + ": " + ec.message());
  return (folder / "statistics.sqlite").string();
}

bool TStatsStore::Import(const TImportRecord& record) {
  if (record.LibraryKey.empty()) throw EDataError("The marks cannot be stored without a library.");
  if (record.ClassName.empty()) throw EDataError("The class name is empty.");
  std::string questions;
  for (const TItemFigures& f : record.Items) questions += f.TypedID + "\n";

  bool replaced = false;
  {
    TSqlTransaction transaction(Db);
    TSqlStatement find = Db.Prepare("SELECT id FROM imports WHERE library = ?1 AND class = ?2 AND questions = ?3");
    find.Bind(1, record.LibraryKey).Bind(2, record.ClassName).Bind(3, questions);
    while (find.Step()) {
      const std::int64_t old = find.Int(0);
      Db.Prepare("DELETE FROM item_stats WHERE import_id = ?1").Bind(1, old).Run();
      Db.Prepare("DELETE FROM imports WHERE id = ?1").Bind(1, old).Run();
      replaced = true;
    }
    Db.Prepare("INSERT INTO imports(library, class, questions, date, source) VALUES(?1, ?2, ?3, ?4, ?5)")
        .Bind(1, record.LibraryKey)
        .Bind(2, record.ClassName)
        .Bind(3, questions)
        .Bind(4, record.Date)
        .Bind(5, record.Source)
        .Run();
    const std::int64_t id = Db.LastInsertRowId();
    TSqlStatement insert = Db.Prepare(
        "INSERT INTO item_stats(import_id, typed_id, students, mean, max_marks, facility, discrimination) "
        "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    for (const TItemFigures& f : record.Items) {
      insert.Reset();
      insert.Bind(1, id).Bind(2, f.TypedID).Bind(3, f.Students).Bind(4, f.Mean).Bind(5, f.MaxMarks);
      BindOptional(insert, 6, f.Facility);
      BindOptional(insert, 7, f.Discrimination);
      insert.Run();
    }
    transaction.Commit();
  }
  Loaded = false;
  Notify({StatsCode::Imported});
  return replaced;
}

void TStatsStore::Load(const std::string& libraryKey) {
  if (Loaded && LoadedKey == libraryKey) return;
  std::unordered_map<std::string, TQuestionSummary> cache;
  struct TSums {
    double FacilityWeight = 0, Facility = 0, DiscriminationWeight = 0, Discrimination = 0;
  };
  std::unordered_map<std::string, TSums> sums;
  // Oldest first, so the last row seen for a question is its last use.
  TSqlStatement st = Db.Prepare(
      "SELECT s.typed_id, s.students, s.facility, s.discrimination, i.class, i.date "
      "FROM item_stats s JOIN imports i ON i.id = s.import_id WHERE i.library = ?1 ORDER BY i.date, i.id");
  st.Bind(1, libraryKey);
  while (st.Step()) {
    const std::string id = st.Text(0);
    TQuestionSummary& s = cache[id];
    TSums& w = sums[id];
    const int students = static_cast<int>(st.Int(1));
    ++s.Uses;
    s.Students += students;
    if (!st.IsNull(2)) {
      w.Facility += students * st.Double(2);
      w.FacilityWeight += students;
    }
    if (!st.IsNull(3)) {
      w.Discrimination += students * st.Double(3);
      w.DiscriminationWeight += students;
    }
    s.LastClass = st.Text(4);
    s.LastDate = st.Text(5);
    if (!s.UsedWith(s.LastClass)) s.Classes.push_back(s.LastClass);
  }
  for (auto& [id, s] : cache) {
    const TSums& w = sums[id];
    if (w.FacilityWeight > 0) s.Facility = w.Facility / w.FacilityWeight;
    if (w.DiscriminationWeight > 0) s.Discrimination = w.Discrimination / w.DiscriminationWeight;
  }
  Cache = std::move(cache);
  LoadedKey = libraryKey;
  Loaded = true;
}

const TQuestionSummary* TStatsStore::Summary(const std::string& libraryKey, const std::string& typedID) {
  Load(libraryKey);
  const auto it = Cache.find(typedID);
  return it == Cache.end() ? nullptr : &it->second;
}

const std::unordered_map<std::string, TQuestionSummary>& TStatsStore::Summaries(const std::string& libraryKey) {
  Load(libraryKey);
  return Cache;
}

std::vector<std::string> TStatsStore::Classes(const std::string& libraryKey) {
  std::vector<std::string> list;
  TSqlStatement st = Db.Prepare("SELECT DISTINCT class FROM imports WHERE library = ?1 ORDER BY class");
  st.Bind(1, libraryKey);
  while (st.Step()) list.push_back(st.Text(0));
  return list;
}

int TStatsStore::ImportCount() {
  TSqlStatement st = Db.Prepare("SELECT COUNT(*) FROM imports");
  st.Step();
  return static_cast<int>(st.Int(0));
}

std::string ShortDate(const std::string& isoDate) {
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int y = 0, m = 0, d = 0;
  char tail = 0;
  if (std::sscanf(isoDate.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3 || m < 1 || m > 12 || d < 1 || d > 31)
    return isoDate;
  return std::to_string(d) + " " + months[m - 1] + " " + std::to_string(y);
}

std::string SummaryLine(const TQuestionSummary& summary) {
  const char* dot = " \xC2\xB7 ";
  char figure[32];
  std::string line = "Used " + std::to_string(summary.Uses) + (summary.Uses == 1 ? " time" : " times");
  if (summary.Facility) {
    std::snprintf(figure, sizeof figure, "%.2f", *summary.Facility);
    line += std::string(dot) + "facility " + figure;
  }
  if (summary.Discrimination) {
    std::snprintf(figure, sizeof figure, "%.2f", *summary.Discrimination);
    line += std::string(dot) + "discrimination " + figure;
  }
  if (!summary.LastClass.empty()) line += std::string(dot) + "last with " + summary.LastClass + " on " + ShortDate(summary.LastDate);
  return line;
}

}  // namespace hv
