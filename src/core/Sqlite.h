#pragma once
// A thin RAII layer over SQLite's C API for the per-user stores (the word index, the question
// statistics): a connection, prepared statements, transactions and a schema version with
// migrations. A store that is damaged or was written by a newer version is set aside under a new
// name, never deleted, and a fresh one is started in its place.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Errors.h"

struct sqlite3;
struct sqlite3_stmt;

namespace hv {

// Any failure reported by SQLite; the message names the operation and SQLite's own reason.
class ESqlError : public EError {
public:
  ESqlError(const std::string& message, int code) : EError(message), Code(code) {}
  int Code;  // SQLite's primary result code (SQLITE_CORRUPT, SQLITE_BUSY, ...)
  bool IsDamage() const;  // the file is not a database or is corrupt
};

class TSqlStatement {
public:
  TSqlStatement() = default;
  TSqlStatement(sqlite3* db, std::string_view sql);
  TSqlStatement(TSqlStatement&& other) noexcept;
  TSqlStatement& operator=(TSqlStatement&& other) noexcept;
  TSqlStatement(const TSqlStatement&) = delete;
  TSqlStatement& operator=(const TSqlStatement&) = delete;
  ~TSqlStatement();

  // Parameters count from 1, as in SQL's ?1, ?2.
  TSqlStatement& Bind(int index, std::int64_t value);
  TSqlStatement& Bind(int index, int value) { return Bind(index, static_cast<std::int64_t>(value)); }
  TSqlStatement& Bind(int index, double value);
  TSqlStatement& Bind(int index, std::string_view text);
  TSqlStatement& Bind(int index, const char* text) { return Bind(index, std::string_view(text)); }
  TSqlStatement& Bind(int index, const std::string& text) { return Bind(index, std::string_view(text)); }
  TSqlStatement& BindBlob(int index, std::string_view bytes);
  TSqlStatement& BindNull(int index);

  // Runs one step: true while a row is ready, false when the statement is done.
  bool Step();
  // Runs to completion, ignoring rows.
  void Run();
  // Makes the statement ready to run again; bindings are kept unless cleared.
  void Reset(bool clearBindings = false);

  int ColumnCount() const;
  bool IsNull(int column) const;
  std::int64_t Int(int column) const;
  double Double(int column) const;
  std::string Text(int column) const;
  // The same without a copy; valid until the next Step, Reset or column read of another type.
  std::string_view TextView(int column) const;

  sqlite3_stmt* Handle() const { return Stmt; }

private:
  void Check(int rc, const char* what) const;
  sqlite3* Db = nullptr;
  sqlite3_stmt* Stmt = nullptr;
};

class TSqlDatabase {
public:
  enum class TMode { ReadOnly, ReadWriteCreate };
  // Opens (or creates) the database at path; ":memory:" gives a private in-memory one.
  explicit TSqlDatabase(const std::string& path, TMode mode = TMode::ReadWriteCreate);
  TSqlDatabase(TSqlDatabase&& other) noexcept;
  TSqlDatabase& operator=(TSqlDatabase&& other) noexcept;
  TSqlDatabase(const TSqlDatabase&) = delete;
  TSqlDatabase& operator=(const TSqlDatabase&) = delete;
  ~TSqlDatabase();

  // Runs one or more statements separated by semicolons, with no parameters.
  void Exec(std::string_view sql);
  TSqlStatement Prepare(std::string_view sql);

  int UserVersion();
  void SetUserVersion(int version);
  std::int64_t LastInsertRowId() const;
  int Changes() const;
  // How long a statement waits for another connection's lock before reporting SQLITE_BUSY.
  void SetBusyTimeout(int milliseconds);
  // Asks a statement running on another thread to stop at its next step (SQLITE_INTERRUPT).
  void Interrupt();
  // Reads the whole file once; a damaged file throws an ESqlError with IsDamage().
  void CheckIntegrity();
  // Adds the full-text rank function NAME(weight of column 0, weight of column 1, ...): the sum,
  // over every hit of the query in a row, of its column's weight, negated so that the best row
  // sorts first as with bm25(). It reads only the row's hits, where bm25() also looks up each
  // row's length and scans every row of each term for its rarity: ranking thousands of rows
  // then costs a fraction. Throws an ESqlError when the engine has no FTS5.
  void CreateHitsRank(const char* name);

  const std::string& Path() const { return FilePath; }
  sqlite3* Handle() const { return Db; }

private:
  sqlite3* Db = nullptr;
  std::string FilePath;
};

// BEGIN on construction, ROLLBACK on destruction unless Commit() was called: an exception
// anywhere inside leaves the database as it was.
class TSqlTransaction {
public:
  explicit TSqlTransaction(TSqlDatabase& db, bool immediate = true);
  TSqlTransaction(const TSqlTransaction&) = delete;
  TSqlTransaction& operator=(const TSqlTransaction&) = delete;
  ~TSqlTransaction();
  void Commit();

private:
  TSqlDatabase& Db;
  bool Done = false;
};

// Brings a store's schema up to date. migrations[i] takes version i to version i + 1; each runs in
// its own transaction together with the new version number. A database whose version is newer
// than migrations.size() throws ESqlError (SQLITE_MISMATCH): it was written by a newer program.
void MigrateSchema(TSqlDatabase& db, const std::vector<std::function<void(TSqlDatabase&)>>& migrations);

// Opens a per-user store and brings it up to date. A file that is damaged, not a database, or
// written by a newer version is renamed aside (path + ".damaged-YYYYMMDD-HHMMSS" or
// ".newer-...") and a fresh database is created in its place; setAsideMessage then says so,
// naming both files, so the caller can tell the user once. Errors that leave no usable file at
// path (a read-only folder, a full disk) are thrown. busyTimeoutMs bounds the wait for another
// program's lock (a store opened on the user interface thread must not wait long). Without
// checkIntegrity only a file that is not a database at all is found damaged here; the caller
// checks the rest later (CheckIntegrity), where a long read does not keep anyone waiting.
TSqlDatabase OpenStore(const std::string& path,
                       const std::vector<std::function<void(TSqlDatabase&)>>& migrations,
                       std::string* setAsideMessage = nullptr, int busyTimeoutMs = 2000, bool checkIntegrity = true);
// Renames a damaged store, or one written by a newer version (reason's code SQLITE_MISMATCH),
// aside together with its journal and log; answers the message that names both files. Throws
// when it cannot be renamed.
std::string SetStoreAside(const std::string& path, const ESqlError& reason);

// The version of the SQLite library in use, and whether it has the full-text engine.
std::string SqliteVersion();
bool SqliteHasFts5();

}  // namespace hv
