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

// One question's uses, oldest first, added up into its summary: the figures weighted by the
// students of the imports that give them.
class TSummaryBuilder {
public:
  void Add(int students, std::optional<double> facility, std::optional<double> discrimination, std::string className,
           std::string date) {
    ++Summary.Uses;
    Summary.Students += students;
    if (facility) {
      FacilitySum += students * *facility;
      FacilityWeight += students;
    }
    if (discrimination) {
      DiscriminationSum += students * *discrimination;
      DiscriminationWeight += students;
    }
    if (!Summary.UsedWith(className)) Summary.Classes.push_back(className);
    Summary.LastClass = std::move(className);
    Summary.LastDate = std::move(date);
  }
  TQuestionSummary Finish() {
    if (FacilityWeight > 0) Summary.Facility = FacilitySum / FacilityWeight;
    if (DiscriminationWeight > 0) Summary.Discrimination = DiscriminationSum / DiscriminationWeight;
    return std::move(Summary);
  }

private:
  TQuestionSummary Summary;
  double FacilitySum = 0, FacilityWeight = 0, DiscriminationSum = 0, DiscriminationWeight = 0;
};

std::optional<double> OptionalDouble(const TSqlStatement& st, int column) {
  return st.IsNull(column) ? std::nullopt : std::optional<double>(st.Double(column));
}

// Every use of a library's questions (of one question, when typedID is given), by question and
// then oldest first.
constexpr const char* kUsesSql =
    "SELECT s.typed_id, s.students, s.facility, s.discrimination, i.class, i.date "
    "FROM item_stats s JOIN imports i ON i.id = s.import_id WHERE i.library = ?1";
constexpr const char* kUseOrderSql = " ORDER BY s.typed_id, i.date, i.id";

void WriteSummary(TSqlDatabase& db, const std::string& library, const std::string& typedID, const TQuestionSummary& s) {
  std::string classes;
  for (const std::string& c : s.Classes) classes += c + "\n";
  TSqlStatement st = db.Prepare(
      "INSERT OR REPLACE INTO question_summary(library, typed_id, uses, students, facility, discrimination, "
      "last_class, last_date, classes) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
  st.Bind(1, library).Bind(2, typedID).Bind(3, s.Uses).Bind(4, s.Students);
  if (s.Facility) st.Bind(5, *s.Facility); else st.BindNull(5);
  if (s.Discrimination) st.Bind(6, *s.Discrimination); else st.BindNull(6);
  st.Bind(7, s.LastClass).Bind(8, s.LastDate).Bind(9, classes).Run();
}

// Adds up the uses the statement yields (grouped by question) and writes each summary.
void WriteSummariesOf(TSqlDatabase& db, TSqlStatement& uses, const std::string& library) {
  std::string id;
  std::optional<TSummaryBuilder> builder;
  while (uses.Step()) {
    if (!builder || uses.TextView(0) != id) {
      if (builder) WriteSummary(db, library, id, builder->Finish());
      id = uses.Text(0);
      builder.emplace();
    }
    builder->Add(static_cast<int>(uses.Int(1)), OptionalDouble(uses, 2), OptionalDouble(uses, 3), uses.Text(4), uses.Text(5));
  }
  if (builder) WriteSummary(db, library, id, builder->Finish());
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
      // What every import says about each question, kept added up, so that reading the
      // statistics of a library costs one row per question however many imports there are.
      [](TSqlDatabase& db) {
        db.Exec(
            "CREATE INDEX item_stats_by_question ON item_stats(typed_id);"
            "CREATE TABLE question_summary("
            "  library TEXT NOT NULL,"
            "  typed_id TEXT NOT NULL,"
            "  uses INTEGER NOT NULL,"
            "  students INTEGER NOT NULL,"
            "  facility REAL,"
            "  discrimination REAL,"
            "  last_class TEXT NOT NULL,"
            "  last_date TEXT NOT NULL,"
            "  classes TEXT NOT NULL,"  // in the order of first use, one per line
            "  PRIMARY KEY(library, typed_id));");
        std::vector<std::string> libraries;
        for (TSqlStatement st = db.Prepare("SELECT DISTINCT library FROM imports"); st.Step();) libraries.push_back(st.Text(0));
        for (const std::string& library : libraries) {
          TSqlStatement uses = db.Prepare(std::string(kUsesSql) + kUseOrderSql);
          uses.Bind(1, library);
          WriteSummariesOf(db, uses, library);
        }
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
    // The summaries of this import's questions, added up again (an import replaced had the same).
    for (const TItemFigures& f : record.Items) {
      Db.Prepare("DELETE FROM question_summary WHERE library = ?1 AND typed_id = ?2").Bind(1, record.LibraryKey).Bind(2, f.TypedID).Run();
      TSqlStatement uses = Db.Prepare(std::string(kUsesSql) + " AND s.typed_id = ?2" + kUseOrderSql);
      uses.Bind(1, record.LibraryKey).Bind(2, f.TypedID);
      WriteSummariesOf(Db, uses, record.LibraryKey);
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
  TSqlStatement st = Db.Prepare(
      "SELECT typed_id, uses, students, facility, discrimination, last_class, last_date, classes "
      "FROM question_summary WHERE library = ?1");
  st.Bind(1, libraryKey);
  while (st.Step()) {
    TQuestionSummary& s = cache[st.Text(0)];
    s.Uses = static_cast<int>(st.Int(1));
    s.Students = static_cast<int>(st.Int(2));
    s.Facility = OptionalDouble(st, 3);
    s.Discrimination = OptionalDouble(st, 4);
    s.LastClass = st.Text(5);
    s.LastDate = st.Text(6);
    const std::string_view classes = st.TextView(7);
    for (std::size_t at = 0; at < classes.size();) {
      const std::size_t end = std::min(classes.find('\n', at), classes.size());
      s.Classes.emplace_back(classes.substr(at, end - at));
      at = end + 1;
    }
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
