#pragma once
// Copies of unsaved tests that outlive a crash.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace hv {

class TDocLogic;

// A copy left by a run that did not end cleanly.
struct TRecoveryCopy {
  std::string File;       // the document copy
  std::string InfoFile;   // what it was copied from
  std::string Origin;     // the test's own file name; empty for an untitled test
  std::string Subject;    // the library it was made for
  std::int64_t SavedAt = 0;  // seconds since 1970
  // Why it cannot be offered: damaged, made for another library, or left by a newer version.
  // Empty when it can.
  std::string Problem;
};

// Keeps the crash-recovery copies of one run in a folder of its own under the state folder,
// locked while the run lives, so a second running program never offers this run's copies.
// Each copy is a document file written the way Save writes, beside a small text file naming the
// test it came from. A clean exit removes the run's folder; after a crash the next run finds it
// unlocked and offers its copies.
class TRecoveryStore {
public:
  static constexpr int kFormatVersion = 1;
  // $XDG_STATE_HOME/harrowvane/recovery
  static std::string DefaultFolder();

  TRecoveryStore(std::string folder, std::string subject);
  ~TRecoveryStore();
  TRecoveryStore(const TRecoveryStore&) = delete;
  TRecoveryStore& operator=(const TRecoveryStore&) = delete;

  // Writes a copy of each modified document and removes the copies of the others. A failure is
  // answered with its message the first time only, so a read-only or full folder is reported once
  // a run; the copies that could be written are kept.
  std::string SaveAll(const std::vector<TDocLogic*>& documents);
  // Removes a document's copy: it was saved, or closed.
  void Forget(const TDocLogic* document);
  // A clean exit: this run's folder goes.
  void Finish();

  // The copies of earlier runs that ended without a clean exit, oldest first, each checked: a
  // copy that cannot be offered says why in Problem.
  std::vector<TRecoveryCopy> FindLeftOvers() const;
  // Moves a copy that cannot be offered to the kept-aside folder; answers its new name there, or
  // its old name when it could not be moved.
  std::string KeepAside(const TRecoveryCopy& copy) const;
  // Deletes a copy (recovered or declined) and its run's folder once that is empty.
  void Discard(const TRecoveryCopy& copy) const;

  const std::string& Folder() const { return Root; }
  std::string KeptAsideFolder() const { return Root + "/kept"; }

private:
  bool OpenSession();
  void RemoveCopy(int slot);

  std::string Root;
  std::string Subject;
  std::string Session;  // this run's folder, once it exists
  int LockFd = -1;
  std::map<const TDocLogic*, int> Slots;
  int NextSlot = 1;
  bool FailureReported = false;
};

}  // namespace hv
