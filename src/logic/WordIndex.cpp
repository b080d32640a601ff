#include "logic/WordIndex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

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
    for (TCategory* node = it.Next(); node != nullptr; node = it.Next())
      if (TQuestion* q = static_cast<TIdentityCategory*>(node)->Question) Questions.push_back(q);
  }
  Open(path);
}

TWordIndex::~TWordIndex() {
  Db.reset();
  if (Private) {
    std::remove(FilePath.c_str());
    std::remove((FilePath + "-journal").c_str());
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
  try {
    FilePath = path;
    std::string setAside;
    Db = std::make_unique<TSqlDatabase>(OpenStore(path, kMigrations, &setAside, kLockWaitMs));
    if (!setAside.empty()) Note = "The word index " + setAside;
    PrepareSchema();
    return;
  } catch (const ESqlError& e) {
    Db.reset();
    // Locked by another program, or unreadable: this run builds its own copy beside it.
    const std::string fresh = path + "." + std::to_string(::getpid());
    try {
      std::remove(fresh.c_str());
      FilePath = fresh;
      Db = std::make_unique<TSqlDatabase>(OpenStore(fresh, kMigrations, nullptr, kLockWaitMs));
      Private = true;
      PrepareSchema();
      return;
    } catch (const ESqlError&) {
      Db.reset();
      std::remove(fresh.c_str());
      Private = false;
    }
    Note = std::string("The word index could not be opened (") + e.what() + "); it is built in memory for this session.";
    Open(":memory:");
  }
}

void TWordIndex::PrepareSchema() {
  Db->CreateHitsRank("hits");
  if (InMemory()) {
    MigrateSchema(*Db, kMigrations);
  } else {
    // One owner per file: a second program opening it finds it locked and builds its own. The
    // index is a cache that is rebuilt when damaged, so it is not synced to the disk.
    Db->Exec("PRAGMA locking_mode = EXCLUSIVE; PRAGMA synchronous = OFF");
    Db->SetBusyTimeout(0);
    // Taking the write lock now makes a lock held by another program show here, in Open.
    TSqlTransaction claim(*Db);
    claim.Commit();
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
    Reset();
    return;
  }
  Done = std::clamp(std::atoi(get("done").c_str()), 0, Total());
  SkippedTexts = std::max(0, std::atoi(get("skipped").c_str()));
}

void TWordIndex::Reset() {
  {
    TSqlTransaction t(*Db);
    Db->Exec("DROP TABLE IF EXISTS words; DELETE FROM meta");
    Db->Exec("CREATE VIRTUAL TABLE words USING fts5(q, m, e, n, content='', tokenize='unicode61 remove_diacritics 2')");
    auto put = Db->Prepare("INSERT INTO meta(key, value) VALUES (?1, ?2)");
    for (const auto& [key, value] : {std::pair<const char*, std::string>{"identity", SourceIdentity},
                                     {"total", std::to_string(Total())}, {"done", "0"}, {"skipped", "0"}}) {
      put.Bind(1, key).Bind(2, value).Run();
      put.Reset(true);
    }
    t.Commit();
  }
  // The pages of the old index go back to the file system.
  if (!InMemory()) Db->Exec("VACUUM");
  Done = 0;
  SkippedTexts = 0;
}

void TWordIndex::Restart(std::string identity) {
  SourceIdentity = std::move(identity);
  Reset();
  Notify({WordIndexCode::Restarted});
}

std::int64_t TWordIndex::FileSize() const {
  if (InMemory()) return 0;
  struct stat st {};
  return ::stat(FilePath.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

std::string TWordIndex::ReadText(TTextChunk* chunk) {
  if (chunk == nullptr) return {};
  const bool wasLoaded = chunk->IsLoaded();
  std::string text;
  try {
    const std::vector<std::string>& lines = chunk->GetLines();
    // What the Viewer shows is the first line; the rest never reaches the reader.
    if (!lines.empty()) ExtractRtfText(lines.front(), text);
  } catch (const EError&) {
    ++SkippedTexts;
    return {};
  }
  if (!wasLoaded) chunk->ReleaseLines();
  return text;
}

bool TWordIndex::BuildSome(std::chrono::milliseconds budget) {
  if (Complete()) return false;
  const auto until = std::chrono::steady_clock::now() + budget;
  {
    TSqlTransaction t(*Db);
    auto insert = Db->Prepare("INSERT INTO words(rowid, q, m, e, n) VALUES (?1, ?2, ?3, ?4, ?5)");
    do {
      TQuestion* q = Questions[static_cast<std::size_t>(Done)];
      const TIdentityCategory* node = q->Identity;
      insert.Bind(1, static_cast<std::int64_t>(Done) + 1);
      insert.Bind(2, ReadText(q->Chunk));
      insert.Bind(3, node != nullptr && node->MarkScheme != nullptr ? ReadText(node->MarkScheme->Chunk) : std::string());
      insert.Bind(4, node != nullptr && node->ExaminersReport != nullptr ? ReadText(node->ExaminersReport->Chunk) : std::string());
      insert.Bind(5, node != nullptr && node->Note != nullptr ? ReadText(node->Note->Chunk) : std::string());
      insert.Run();
      insert.Reset(true);
      ++Done;
    } while (Done < Total() && std::chrono::steady_clock::now() < until);
    auto put = Db->Prepare("UPDATE meta SET value = ?2 WHERE key = ?1");
    put.Bind(1, "done").Bind(2, std::to_string(Done)).Run();
    put.Reset(true);
    put.Bind(1, "skipped").Bind(2, std::to_string(SkippedTexts)).Run();
    t.Commit();
  }
  TNotificationSet codes{WordIndexCode::Progress};
  if (Complete()) codes.Include(WordIndexCode::Complete);
  Notify(codes);
  return !Complete();
}

void TWordIndex::BuildAll() {
  while (BuildSome(std::chrono::milliseconds(1000))) {
  }
}

std::vector<TQuestion*> TWordIndex::Match(const TWordQuery& query, TWordScope scope) {
  std::vector<TQuestion*> found;
  if (query.Empty() || Done == 0) return found;
  std::vector<std::string> columns{"q"};
  if (scope.MarkSchemes) columns.emplace_back("m");
  if (scope.Reports) columns.emplace_back("e");
  if (scope.Notes) columns.emplace_back("n");
  auto at = [&](std::int64_t rowid) -> TQuestion* {
    return rowid >= 1 && rowid <= Done ? Questions[static_cast<std::size_t>(rowid - 1)] : nullptr;
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
  for (int i = 0; i < Done; ++i)
    if (!excluded.contains(i + 1)) found.push_back(Questions[static_cast<std::size_t>(i)]);
  return found;
}

}  // namespace hv
