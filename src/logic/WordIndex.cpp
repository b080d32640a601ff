#include "logic/WordIndex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_set>
#include <utility>

#include "core/Errors.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/RtfWords.h"
#include "model/Segments.h"
#include "model/TextStore.h"

namespace hv {

namespace {

constexpr std::size_t kHeaderDigestBytes = 4096;
// The index is opened on the user interface thread; another program's lock is not waited for.
constexpr int kLockWaitMs = 20;
// How much the building thread indexes between commits, which is how often searches see more.
constexpr std::chrono::milliseconds kWorkerStep{500};
// SQLite's code for a database in use elsewhere (SQLITE_BUSY), without its header here.
constexpr int kSqlBusy = 5;

std::string FileState(const std::string& name) {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) throw EInOutError("Cannot examine " + name + ": " + std::strerror(errno));
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
         std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

std::string HeaderDigest(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EInOutError("Cannot read " + name + ": " + std::strerror(errno));
  unsigned char buffer[kHeaderDigestBytes];
  std::size_t got = 0;
  while (got < sizeof buffer) {
    const ssize_t n = ::read(fd, buffer + got, sizeof buffer - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  std::uint64_t h = 14695981039346656037ULL;  // FNV-1a
  for (std::size_t i = 0; i < got; ++i) h = (h ^ buffer[i]) * 1099511628211ULL;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return hex;
}

// Creates every missing folder of a path; answers whether it exists afterwards.
bool MakeFolders(const std::string& folder) {
  for (std::size_t at = 1; at <= folder.size(); ++at) {
    if (at < folder.size() && folder[at] != '/') continue;
    const std::string part = folder.substr(0, at);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, std::max<std::size_t>(slash, 1));
}

const std::vector<std::function<void(TSqlDatabase&)>> kMigrations = {
    [](TSqlDatabase& db) {
      db.Exec("CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL)");
      // Contentless: only the index is kept, not the texts, so the file stays small; the rank
      // needs each text's length, which the engine keeps anyway.
      db.Exec("CREATE VIRTUAL TABLE words USING fts5(q, m, e, n, content='', "
              "tokenize='unicode61 remove_diacritics 2')");
    },
};

}  // namespace

std::string LibraryFileIdentity(const std::string& dataFile, const std::string& textFile) {
  return "data " + FileState(dataFile) + " " + HeaderDigest(dataFile) + " text " + FileState(textFile);
}

std::string WordIndexFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  std::string base;
  if (cache != nullptr && cache[0] == '/') {
    base = cache;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr && home[0] != '\0' ? home : "/tmp") + "/.cache";
  }
  return base + "/harrowvane/words";
}

std::string WordIndexPath(const std::string& folder, const std::string& libraryKey) {
  std::string name;
  for (char c : libraryKey) {
    const auto b = static_cast<unsigned char>(c);
    name += (b < 0x20 || c == '/' || c == '\\' || b == 0x7F) ? '_' : c;
  }
  if (name.empty() || name == "." || name == "..") name = "_" + name;
  return folder + "/" + name + ".words.sqlite";
}

std::unique_ptr<TWordIndex> OpenLibraryWordIndex(const TLibrary& library, const std::string& key,
                                                 const std::string& identity) {
  if (identity.empty()) return std::make_unique<TWordIndex>(library, std::string(), ":memory:");
  return std::make_unique<TWordIndex>(library, identity, WordIndexPath(WordIndexFolder(), key));
}

TWordIndex::TWordIndex(const TLibrary& library, std::string identity, const std::string& path)
    : Lib(library), SourceIdentity(std::move(identity)) {
  if (Lib.QuestionTree != nullptr) {
    TCategoryIterator it(Lib.QuestionTree);
    for (TCategory* node = it.Next(); node != nullptr; node = it.Next()) {
      TQuestion* q = static_cast<TIdentityCategory*>(node)->Question;
      if (q == nullptr) continue;
      // Taken once here: the building thread reads only these and the store behind them.
      const TIdentityCategory* id = q->Identity;
      TTexts texts;
      texts.Parts[0] = q->Chunk;
      if (id != nullptr) {
        texts.Parts[1] = id->MarkScheme != nullptr ? id->MarkScheme->Chunk : nullptr;
        texts.Parts[2] = id->ExaminersReport != nullptr ? id->ExaminersReport->Chunk : nullptr;
        texts.Parts[3] = id->Note != nullptr ? id->Note->Chunk : nullptr;
      }
      Questions.push_back(q);
      Texts.push_back(texts);
    }
  }
  Open(path);
}

TWordIndex::~TWordIndex() {
  StopBuilding();
  Db.reset();
  ReleaseFiles();
}

void TWordIndex::ReleaseFiles() {
  if (Private)
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) std::remove((FilePath + suffix).c_str());
  if (LockFd >= 0) {
    if (Private) std::remove((FilePath + ".lock").c_str());
    ::close(LockFd);
    LockFd = -1;
  }
}

void TWordIndex::Open(const std::string& path) {
  if (path == ":memory:") {
    FilePath = path;
    Db = std::make_unique<TSqlDatabase>(path);
    PrepareSchema();
    return;
  }
  const std::string folder = FolderOf(path);
  if (!MakeFolders(folder) || ::access(folder.c_str(), W_OK) != 0) {
    Note = "The word index cannot be kept in " + folder + ", which cannot be written; it is built in memory for this session.";
    Open(":memory:");
    return;
  }
  // One owner per file: a second program finds the lock taken and builds its own copy.
  auto claim = [&](const std::string& file) {
    LockFd = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (LockFd >= 0 && ::flock(LockFd, LOCK_EX | LOCK_NB) == 0) return true;
    if (LockFd >= 0) ::close(LockFd);
    LockFd = -1;
    return false;
  };
  try {
    FilePath = path;
    if (!claim(path)) throw ESqlError("it is in use by another program", kSqlBusy);
    std::string setAside;
    // Reading the whole file for damage takes long on a large index: the building thread does it
    // (StartBuilding), or, when there can be none, this one now.
    Db = std::make_unique<TSqlDatabase>(OpenStore(path, kMigrations, &setAside, kLockWaitMs, false));
    if (!setAside.empty()) Note = "The word index " + setAside;
    PrepareSchema();
    if (!Shared) {
      Checked = true;
      try {
        Db->CheckIntegrity();
      } catch (const ESqlError& damage) {
        if (!damage.IsDamage()) throw;
        StartAfresh(damage);
      }
    }
    return;
  } catch (const ESqlError& e) {
    Db.reset();
    ReleaseFiles();
    // In use by another program, or unreadable: this run builds its own copy beside it.
    const std::string fresh = path + "." + std::to_string(::getpid());
    try {
      for (const char* suffix : {"", "-journal", "-wal", "-shm"}) std::remove((fresh + suffix).c_str());
      FilePath = fresh;
      Private = true;
      if (!claim(fresh)) throw ESqlError("its private copy is in use", kSqlBusy);
      Db = std::make_unique<TSqlDatabase>(OpenStore(fresh, kMigrations, nullptr, kLockWaitMs));
      PrepareSchema();
      return;
    } catch (const ESqlError&) {
      Db.reset();
      ReleaseFiles();
      Private = false;
    }
    Note = std::string("The word index could not be opened (") + e.what() + "); it is built in memory for this session.";
    Open(":memory:");
  }
}

void TWordIndex::StartAfresh(const ESqlError& damage) {
  Db.reset();
  Note = "The word index " + SetStoreAside(FilePath, damage);
  Db = std::make_unique<TSqlDatabase>(OpenStore(FilePath, kMigrations, nullptr, kLockWaitMs, false));
  PrepareSchema();
}

void TWordIndex::PrepareSchema() {
  Db->CreateHitsRank("hits");
  if (InMemory()) {
    MigrateSchema(*Db, kMigrations);
  } else {
    // A write-ahead log lets this connection search while the building thread writes; the
    // index is a cache that is rebuilt when damaged, so it is not synced to the disk.
    auto mode = Db->Prepare("PRAGMA journal_mode = WAL");
    Shared = mode.Step() && mode.Text(0) == "wal";
    mode.Reset();
    Db->Exec("PRAGMA synchronous = OFF");
  }
  ReadState();
}

void TWordIndex::ReadState() {
  auto get = [&](const char* key) {
    auto st = Db->Prepare("SELECT value FROM meta WHERE key = ?1");
    st.Bind(1, key);
    return st.Step() ? st.Text(0) : std::string();
  };
  const std::string identity = get("identity");
  const std::string total = get("total");
  if (identity != SourceIdentity || total != std::to_string(Total())) {
    // Emptied by the first step of building, so that opening stays quick.
    NeedsReset = true;
    Done = 0;
    SkippedTexts = 0;
    return;
  }
  Done = std::clamp(std::atoi(get("done").c_str()), 0, Total());
  SkippedTexts = std::max(0, std::atoi(get("skipped").c_str()));
}

void TWordIndex::Reset(TSqlDatabase& db) {
  {
    TSqlTransaction t(db);
    db.Exec("DROP TABLE IF EXISTS words; DELETE FROM meta");
    db.Exec("CREATE VIRTUAL TABLE words USING fts5(q, m, e, n, content='', tokenize='unicode61 remove_diacritics 2')");
    auto put = db.Prepare("INSERT INTO meta(key, value) VALUES (?1, ?2)");
    for (const auto& [key, value] : {std::pair<const char*, std::string>{"identity", SourceIdentity},
                                     {"total", std::to_string(Total())}, {"done", "0"}, {"skipped", "0"}}) {
      put.Bind(1, key).Bind(2, value).Run();
      put.Reset(true);
    }
    t.Commit();
  }
  // The pages of the old index go back to the file system.
  if (!InMemory()) db.Exec("VACUUM");
  NeedsReset = false;
  Done = 0;
  SkippedTexts = 0;
}

void TWordIndex::Restart(std::string identity) {
  StopBuilding();
  SourceIdentity = std::move(identity);
  NeedsReset = true;
  Done = 0;
  SkippedTexts = 0;
  Announced = 0;
  Notify({WordIndexCode::Restarted});
}

std::int64_t TWordIndex::FileSize() const {
  if (InMemory()) return 0;
  struct stat st {};
  return ::stat(FilePath.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

std::string TWordIndex::ReadText(const TTextChunk* chunk) {
  if (chunk == nullptr) return {};
  std::string text;
  try {
    // What the Viewer shows is the first line; the rest never reaches the reader.
    ExtractRtfText(chunk->ReadFirstLine(), text);
  } catch (const EError&) {
    ++SkippedTexts;
    return {};
  }
  return text;
}

void TWordIndex::Step(TSqlDatabase& db, std::chrono::steady_clock::time_point deadline, const std::stop_token* stop) {
  if (NeedsReset) Reset(db);
  int done = Done.load();
  TSqlTransaction t(db);
  auto insert = db.Prepare("INSERT INTO words(rowid, q, m, e, n) VALUES (?1, ?2, ?3, ?4, ?5)");
  do {
    const TTexts& texts = Texts[static_cast<std::size_t>(done)];
    insert.Bind(1, static_cast<std::int64_t>(done) + 1);
    for (int column = 0; column < 4; ++column) insert.Bind(column + 2, ReadText(texts.Parts[column]));
    insert.Run();
    insert.Reset(true);
    ++done;
  } while (done < Total() && std::chrono::steady_clock::now() < deadline &&
           (stop == nullptr || !stop->stop_requested()));
  auto put = db.Prepare("UPDATE meta SET value = ?2 WHERE key = ?1");
  put.Bind(1, "done").Bind(2, std::to_string(done)).Run();
  put.Reset(true);
  put.Bind(1, "skipped").Bind(2, std::to_string(SkippedTexts.load())).Run();
  t.Commit();
  Done = done;
}

void TWordIndex::Announce() {
  const int done = Done.load();
  if (done == Announced) return;
  Announced = done;
  TNotificationSet codes{WordIndexCode::Progress};
  if (done >= Total()) codes.Include(WordIndexCode::Complete);
  Notify(codes);
}

bool TWordIndex::BuildSome(std::chrono::milliseconds budget) {
  StopBuilding();
  if (Complete()) return false;
  Step(*Db, std::chrono::steady_clock::now() + budget, nullptr);
  Announce();
  return !Complete();
}

void TWordIndex::BuildAll() {
  while (BuildSome(std::chrono::milliseconds(1000))) {
  }
}

bool TWordIndex::StartBuilding() {
  if (!Shared) return false;
  if (Building() || (Complete() && Checked)) return true;
  StopBuilding();
  Running = true;
  const bool check = !std::exchange(Checked, true);
  Worker = std::jthread([this, check](std::stop_token stop) {
    try {
      // Beside the user interface, never ahead of it.
      ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
      TSqlDatabase db(FilePath);
      // The other connection only reads, and a reader never holds up a writer in this mode.
      db.SetBusyTimeout(10000);
      db.Exec("PRAGMA synchronous = OFF");
      if (check) db.CheckIntegrity();
      while (!stop.stop_requested() && !Complete())
        Step(db, std::chrono::steady_clock::now() + kWorkerStep, &stop);
    } catch (...) {
      Failure = std::current_exception();
    }
    Running = false;
  });
  return true;
}

void TWordIndex::StopBuilding() {
  if (!Worker.joinable()) return;
  Worker.request_stop();
  Worker.join();
  Worker = std::jthread();
}

void TWordIndex::Poll() {
  if (Worker.joinable() && !Running.load()) {
    Worker.join();
    Worker = std::jthread();
    if (std::exception_ptr failure = std::exchange(Failure, nullptr)) {
      try {
        std::rethrow_exception(failure);
      } catch (const ESqlError& damage) {
        if (!damage.IsDamage() || InMemory()) throw;
        // Found damaged while checked or built: set aside, and everything is built again.
        StartAfresh(damage);
        Checked = true;
        Announced = 0;
        Notify({WordIndexCode::Restarted});
        return;
      }
    }
  }
  Announce();
}

std::vector<TQuestion*> TWordIndex::Match(const TWordQuery& query, TWordScope scope) {
  std::vector<TQuestion*> found;
  // Whatever the building thread commits after this is left out until the next search.
  const int done = Done.load();
  if (query.Empty() || done == 0) return found;
  std::vector<std::string> columns{"q"};
  if (scope.MarkSchemes) columns.emplace_back("m");
  if (scope.Reports) columns.emplace_back("e");
  if (scope.Notes) columns.emplace_back("n");
  auto at = [&](std::int64_t rowid) -> TQuestion* {
    return rowid >= 1 && rowid <= done ? Questions[static_cast<std::size_t>(rowid - 1)] : nullptr;
  };
  if (query.HasRequired()) {
    // Best first: the more hits, the better, and the question's own words weigh most. Ties keep
    // the library's order.
    auto st = Db->Prepare("SELECT rowid FROM words WHERE words MATCH ?1 ORDER BY hits(words, 4.0, 1.0, 1.0, 1.0), rowid");
    st.Bind(1, query.MatchExpression(columns));
    while (st.Step())
      if (TQuestion* q = at(st.Int(0))) found.push_back(q);
    return found;
  }
  std::unordered_set<std::int64_t> excluded;
  auto st = Db->Prepare("SELECT rowid FROM words WHERE words MATCH ?1");
  st.Bind(1, query.ExcludedExpression(columns));
  while (st.Step()) excluded.insert(st.Int(0));
  for (int i = 0; i < done; ++i)
    if (!excluded.contains(i + 1)) found.push_back(Questions[static_cast<std::size_t>(i)]);
  return found;
}

}  // namespace hv
