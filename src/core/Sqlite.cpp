#include "core/Sqlite.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <utility>

namespace hv {

namespace {

[[noreturn]] void Fail(sqlite3* db, int rc, const std::string& what) {
  std::string reason = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  throw ESqlError(what + ": " + reason, rc & 0xff);
}

std::string Stamp() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
  return buf;
}

}  // namespace

bool ESqlError::IsDamage() const { return Code == SQLITE_CORRUPT || Code == SQLITE_NOTADB; }

// ---- statements ----------------------------------------------------------------------------

TSqlStatement::TSqlStatement(sqlite3* db, std::string_view sql) : Db(db) {
  const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &Stmt, nullptr);
  if (rc != SQLITE_OK) Fail(db, rc, "Could not prepare a database statement");
}

TSqlStatement::TSqlStatement(TSqlStatement&& other) noexcept
    : Db(std::exchange(other.Db, nullptr)), Stmt(std::exchange(other.Stmt, nullptr)) {}

TSqlStatement& TSqlStatement::operator=(TSqlStatement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(Stmt);
    Db = std::exchange(other.Db, nullptr);
    Stmt = std::exchange(other.Stmt, nullptr);
  }
  return *this;
}

TSqlStatement::~TSqlStatement() { sqlite3_finalize(Stmt); }

void TSqlStatement::Check(int rc, const char* what) const {
  if (rc != SQLITE_OK) Fail(Db, rc, what);
}

TSqlStatement& TSqlStatement::Bind(int index, std::int64_t value) {
  Check(sqlite3_bind_int64(Stmt, index, value), "Could not bind a value");
  return *this;
}

TSqlStatement& TSqlStatement::Bind(int index, double value) {
  Check(sqlite3_bind_double(Stmt, index, value), "Could not bind a value");
  return *this;
}

TSqlStatement& TSqlStatement::Bind(int index, std::string_view text) {
  Check(sqlite3_bind_text64(Stmt, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8),
        "Could not bind a value");
  return *this;
}

TSqlStatement& TSqlStatement::BindBlob(int index, std::string_view bytes) {
  Check(sqlite3_bind_blob64(Stmt, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT),
        "Could not bind a value");
  return *this;
}

TSqlStatement& TSqlStatement::BindNull(int index) {
  Check(sqlite3_bind_null(Stmt, index), "Could not bind a value");
  return *this;
}

bool TSqlStatement::Step() {
  const int rc = sqlite3_step(Stmt);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  // sqlite3_reset reports the statement's error and makes it usable again.
  sqlite3_reset(Stmt);
  Fail(Db, rc, "A database statement failed");
}

void TSqlStatement::Run() {
  while (Step()) {
  }
}

void TSqlStatement::Reset(bool clearBindings) {
  sqlite3_reset(Stmt);
  if (clearBindings) sqlite3_clear_bindings(Stmt);
}

int TSqlStatement::ColumnCount() const { return sqlite3_column_count(Stmt); }
bool TSqlStatement::IsNull(int column) const { return sqlite3_column_type(Stmt, column) == SQLITE_NULL; }
std::int64_t TSqlStatement::Int(int column) const { return sqlite3_column_int64(Stmt, column); }
double TSqlStatement::Double(int column) const { return sqlite3_column_double(Stmt, column); }

std::string TSqlStatement::Text(int column) const { return std::string(TextView(column)); }

std::string_view TSqlStatement::TextView(int column) const {
  const auto* p = sqlite3_column_text(Stmt, column);
  const int n = sqlite3_column_bytes(Stmt, column);
  return p ? std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n)) : std::string_view();
}

// ---- connections ---------------------------------------------------------------------------

namespace {

void HitsRank(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* out, int argc, sqlite3_value** argv) {
  int hits = 0;
  if (api->xInstCount(fts, &hits) != SQLITE_OK) {
    sqlite3_result_error(out, "cannot count the hits of a row", -1);
    return;
  }
  double score = 0;
  for (int i = 0; i < hits; ++i) {
    int phrase = 0, column = 0, offset = 0;
    if (api->xInst(fts, i, &phrase, &column, &offset) != SQLITE_OK) continue;
    score += column >= 0 && column < argc ? sqlite3_value_double(argv[column]) : 1.0;
  }
  sqlite3_result_double(out, -score);
}

}  // namespace

TSqlDatabase::TSqlDatabase(const std::string& path, TMode mode) : FilePath(path) {
  const int flags = (mode == TMode::ReadOnly ? SQLITE_OPEN_READONLY
                                             : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                    SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(path.c_str(), &Db, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string reason = Db ? sqlite3_errmsg(Db) : sqlite3_errstr(rc);
    sqlite3_close(Db);
    Db = nullptr;
    throw ESqlError("Could not open the database " + path + ": " + reason, rc & 0xff);
  }
  sqlite3_extended_result_codes(Db, 0);
  SetBusyTimeout(2000);
}

TSqlDatabase::TSqlDatabase(TSqlDatabase&& other) noexcept
    : Db(std::exchange(other.Db, nullptr)), FilePath(std::move(other.FilePath)) {}

TSqlDatabase& TSqlDatabase::operator=(TSqlDatabase&& other) noexcept {
  if (this != &other) {
    sqlite3_close(Db);
    Db = std::exchange(other.Db, nullptr);
    FilePath = std::move(other.FilePath);
  }
  return *this;
}

TSqlDatabase::~TSqlDatabase() { sqlite3_close(Db); }

void TSqlDatabase::Exec(std::string_view sql) {
  const std::string text(sql);
  char* error = nullptr;
  const int rc = sqlite3_exec(Db, text.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    std::string reason = error ? error : sqlite3_errstr(rc);
    sqlite3_free(error);
    throw ESqlError("A database statement failed: " + reason, rc & 0xff);
  }
}

TSqlStatement TSqlDatabase::Prepare(std::string_view sql) { return TSqlStatement(Db, sql); }

int TSqlDatabase::UserVersion() {
  auto st = Prepare("PRAGMA user_version");
  return st.Step() ? static_cast<int>(st.Int(0)) : 0;
}

void TSqlDatabase::SetUserVersion(int version) { Exec("PRAGMA user_version = " + std::to_string(version)); }

void TSqlDatabase::CreateHitsRank(const char* name) {
  fts5_api* api = nullptr;
  {
    TSqlStatement st = Prepare("SELECT fts5(?1)");
    if (sqlite3_bind_pointer(st.Handle(), 1, &api, "fts5_api_ptr", nullptr) != SQLITE_OK) throw ESqlError("FTS5 is not available", SQLITE_ERROR);
    st.Step();
  }
  if (api == nullptr || api->iVersion < 2) throw ESqlError("FTS5 is not available", SQLITE_ERROR);
  const int rc = api->xCreateFunction(api, name, nullptr, HitsRank, nullptr);
  if (rc != SQLITE_OK) throw ESqlError(std::string("Cannot add the rank function ") + name, rc);
}

std::int64_t TSqlDatabase::LastInsertRowId() const { return sqlite3_last_insert_rowid(Db); }
int TSqlDatabase::Changes() const { return sqlite3_changes(Db); }
void TSqlDatabase::SetBusyTimeout(int milliseconds) { sqlite3_busy_timeout(Db, milliseconds); }
void TSqlDatabase::Interrupt() { sqlite3_interrupt(Db); }

void TSqlDatabase::CheckIntegrity() {
  auto st = Prepare("PRAGMA quick_check");
  std::string first;
  if (st.Step()) first = st.Text(0);
  if (first != "ok") throw ESqlError("The database " + FilePath + " is damaged: " + first, SQLITE_CORRUPT);
}

// ---- transactions --------------------------------------------------------------------------

TSqlTransaction::TSqlTransaction(TSqlDatabase& db, bool immediate) : Db(db) {
  Db.Exec(immediate ? "BEGIN IMMEDIATE" : "BEGIN");
}

TSqlTransaction::~TSqlTransaction() {
  if (!Done) sqlite3_exec(Db.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TSqlTransaction::Commit() {
  Db.Exec("COMMIT");
  Done = true;
}

// ---- schema --------------------------------------------------------------------------------

void MigrateSchema(TSqlDatabase& db, const std::vector<std::function<void(TSqlDatabase&)>>& migrations) {
  const int current = db.UserVersion();
  const int latest = static_cast<int>(migrations.size());
  if (current > latest)
    throw ESqlError("The database " + db.Path() + " was written by a newer version of the program (schema " +
                        std::to_string(current) + ", this version knows " + std::to_string(latest) + ")",
                    SQLITE_MISMATCH);
  for (int v = current; v < latest; ++v) {
    TSqlTransaction t(db);
    migrations[static_cast<std::size_t>(v)](db);
    db.SetUserVersion(v + 1);
    t.Commit();
  }
}

std::string SetStoreAside(const std::string& path, const ESqlError& reason) {
  const bool newer = reason.Code == SQLITE_MISMATCH;
  const std::string aside = path + (newer ? ".newer-" : ".damaged-") + Stamp();
  if (std::rename(path.c_str(), aside.c_str()) != 0)
    throw ESqlError("Could not set aside the database " + path + ": " + std::strerror(errno), SQLITE_CANTOPEN);
  // A journal or write-ahead log belongs to the file set aside, not to the fresh one.
  for (const char* suffix : {"-journal", "-wal", "-shm"}) std::rename((path + suffix).c_str(), (aside + suffix).c_str());
  return std::string(reason.what()) + ". It was kept as " + aside + " and a new one was started.";
}

TSqlDatabase OpenStore(const std::string& path,
                       const std::vector<std::function<void(TSqlDatabase&)>>& migrations,
                       std::string* setAsideMessage, int busyTimeoutMs, bool checkIntegrity) {
  try {
    TSqlDatabase db(path);
    db.SetBusyTimeout(busyTimeoutMs);
    if (checkIntegrity) db.CheckIntegrity();
    MigrateSchema(db, migrations);
    return db;
  } catch (const ESqlError& e) {
    if (e.Code != SQLITE_MISMATCH && !e.IsDamage()) throw;
    const std::string message = SetStoreAside(path, e);
    if (setAsideMessage) *setAsideMessage = message;
    TSqlDatabase db(path);
    db.SetBusyTimeout(busyTimeoutMs);
    MigrateSchema(db, migrations);
    return db;
  }
}

std::string SqliteVersion() { return sqlite3_libversion(); }

bool SqliteHasFts5() {
  try {
    TSqlDatabase db(":memory:");
    db.Exec("CREATE VIRTUAL TABLE probe USING fts5(x)");
    return true;
  } catch (const ESqlError&) {
    return false;
  }
}

}  // namespace hv
