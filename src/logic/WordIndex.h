#pragma once
// The word index of a library: every question's text, and optionally its mark scheme, examiner's
// report and note, in a full-text store kept per user in the cache folder.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/Observer.h"
#include "core/Sqlite.h"
#include "logic/WordQuery.h"

namespace hv {

class TLibrary;
class TQuestion;
class TTextChunk;

namespace WordIndexCode {
inline constexpr int Progress = 1;  // more questions were indexed
inline constexpr int Complete = 2;  // every question is indexed
inline constexpr int Restarted = 3; // the index was emptied and is being built again
}  // namespace WordIndexCode

// Which texts of a question a word search reads; the question's own text always.
struct TWordScope {
  bool MarkSchemes = false;
  bool Reports = false;
  bool Notes = false;
  bool operator==(const TWordScope&) const = default;
  static TWordScope All() { return {true, true, true}; }
};

// The state of a library's two files: device, inode, size and modification time of each, and a
// digest of the data file's header. Any change means the index must be built again. Throws
// EInOutError when a file cannot be examined.
std::string LibraryFileIdentity(const std::string& dataFile, const std::string& textFile);

// $XDG_CACHE_HOME/harrowvane/words (default ~/.cache/harrowvane/words).
std::string WordIndexFolder();
// The index file of a library key inside a folder; characters a file name cannot hold become '_'.
std::string WordIndexPath(const std::string& folder, const std::string& libraryKey);

class TWordIndex;
// The index of a library in the user's cache folder, named by its key and checked against the
// identity of its files (LibraryFileIdentity, taken before they were read); in memory when the
// identity is unknown.
std::unique_ptr<TWordIndex> OpenLibraryWordIndex(const TLibrary& library, const std::string& key,
                                                 const std::string& identity);

// Holds one library's index. The index is built either on a thread of its own (StartBuilding),
// so that the caller's thread never waits on it, or in steps on the caller's thread (BuildSome);
// what was built survives the program and a later run goes on from there. Questions are numbered
// by their pre-order in the question tree, which the file identity pins down. Notifies
// WordIndexCode codes on the caller's thread: after every step, or from Poll.
//
// A damaged index is set aside and a fresh one started; one that is in use by another program or
// unreadable is replaced by a private file for this run; when the folder cannot be written the
// index lives in memory. Message() then holds the one thing to tell the user.
class TWordIndex : public TObservable {
public:
  // path ":memory:" keeps the index in memory only.
  TWordIndex(const TLibrary& library, std::string identity, const std::string& path);
  ~TWordIndex() override;
  TWordIndex(const TWordIndex&) = delete;
  TWordIndex& operator=(const TWordIndex&) = delete;

  int Total() const { return static_cast<int>(Questions.size()); }
  int Indexed() const { return Done.load(); }
  // Texts that could not be read from the library's text file; they are left out, not retried.
  int Skipped() const { return SkippedTexts.load(); }
  bool Complete() const { return Indexed() >= Total(); }
  const std::string& Message() const { return Note; }
  const std::string& Path() const { return FilePath; }
  const std::string& Identity() const { return SourceIdentity; }
  bool InMemory() const { return FilePath == ":memory:"; }
  std::int64_t FileSize() const;

  // Starts building what is missing on a thread with its own connection to the file, after
  // reading the file whole for damage (once a run); searches meanwhile answer from what it has
  // committed. A damaged file is set aside and built afresh (Restarted, with a Message()).
  // Answers false, starting nothing, when the index cannot be shared between two connections (in
  // memory, or a file system without shared memory): the caller builds with BuildSome instead.
  bool StartBuilding();
  // Stops the thread after the question it is at; what it committed stays.
  void StopBuilding();
  bool Building() const { return Worker.joinable() && Running.load(); }
  // On the caller's thread: notifies the progress the thread made since the last call, and
  // throws the error that stopped it, if one did.
  void Poll();

  // Indexes questions until the budget is spent (at least one); answers whether more remain.
  bool BuildSome(std::chrono::milliseconds budget);
  void BuildAll();
  // The library's files changed: forget everything and build again from the first question.
  void Restart(std::string identity);

  // The questions matching a query among those indexed so far, best first; with only excluded
  // terms, every indexed question without them, in tree order. An empty query matches nothing.
  std::vector<TQuestion*> Match(const TWordQuery& query, TWordScope scope);

private:
  // A question's texts in index columns: its own, mark scheme, examiner's report, note.
  struct TTexts {
    const TTextChunk* Parts[4] = {};
  };

  void Open(const std::string& path);
  void PrepareSchema();
  void ReadState();
  void Reset(TSqlDatabase& db);
  // The file is damaged: it is set aside, Message() says so, and a fresh one is started.
  void StartAfresh(const ESqlError& damage);
  // Indexes questions on db until the deadline (at least one) or until stop is asked for, in one
  // transaction; Done moves on when it is committed.
  void Step(TSqlDatabase& db, std::chrono::steady_clock::time_point deadline, const std::stop_token* stop);
  std::string ReadText(const TTextChunk* chunk);
  void Announce();
  void ReleaseFiles();

  const TLibrary& Lib;
  std::vector<TQuestion*> Questions;
  std::vector<TTexts> Texts;
  std::string SourceIdentity;
  std::string FilePath;
  bool Private = false;  // a file of this run only, removed at the end
  bool Shared = false;   // in write-ahead-log mode, readable while another connection writes
  bool Checked = false;  // the file was read whole for damage
  int LockFd = -1;       // held while this program owns the file
  std::string Note;
  std::unique_ptr<TSqlDatabase> Db;
  bool NeedsReset = false;  // the stored index is of other files; emptied by the next step
  std::atomic<int> Done{0};
  std::atomic<int> SkippedTexts{0};
  int Announced = -1;
  std::jthread Worker;
  std::atomic<bool> Running{false};
  std::exception_ptr Failure;  // set by the thread before it clears Running
};

}  // namespace hv
