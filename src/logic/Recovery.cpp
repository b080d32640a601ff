#include "logic/Recovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <random>

#include "core/Errors.h"
#include "logic/DocFile.h"
#include "logic/DocLogic.h"
#include "logic/UserFolders.h"

namespace hv {

namespace {

constexpr const char* kInfoHeader = "harrowvane-recovery ";
constexpr std::size_t kMaxInfoBytes = 16 * 1024;

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string SlotName(const std::string& session, int slot) { return session + "/test-" + std::to_string(slot); }

// The info file's lines after its header, as key=value.
std::map<std::string, std::string> ReadInfo(const std::string& text, int& version) {
  std::map<std::string, std::string> fields;
  version = 0;
  std::size_t start = 0;
  bool first = true;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (first) {
      first = false;
      if (line.rfind(kInfoHeader, 0) != 0) return {};
      const std::string number = line.substr(std::strlen(kInfoHeader));
      if (number.empty() || number.size() > 6 || !std::all_of(number.begin(), number.end(), ::isdigit)) return {};
      version = std::stoi(number);
      continue;
    }
    const auto eq = line.find('=');
    if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return fields;
}

}  // namespace

std::string TRecoveryStore::DefaultFolder() { return UserStateFolder() + "/recovery"; }

TRecoveryStore::TRecoveryStore(std::string folder, std::string subject)
    : Root(std::move(folder)), Subject(std::move(subject)) {}

TRecoveryStore::~TRecoveryStore() {
  if (LockFd >= 0) ::close(LockFd);
}

bool TRecoveryStore::OpenSession() {
  if (!Session.empty()) return true;
  if (!MakeFolders(Root)) return false;
  std::random_device random;
  const std::string name = Root + "/run-" + std::to_string(::getpid()) + "-" + std::to_string(random() % 1000000);
  if (::mkdir(name.c_str(), 0700) != 0) return false;
  const int fd = ::open((name + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (fd >= 0) ::close(fd);
    ::unlink((name + "/lock").c_str());
    ::rmdir(name.c_str());
    return false;
  }
  LockFd = fd;
  Session = name;
  return true;
}

std::string TRecoveryStore::SaveAll(const std::vector<TDocLogic*>& documents) {
  std::string failure;
  for (auto it = Slots.begin(); it != Slots.end();) {
    const bool open = std::find(documents.begin(), documents.end(), it->first) != documents.end();
    if (open && it->first->IsModified) {
      ++it;
      continue;
    }
    RemoveCopy(it->second);
    it = Slots.erase(it);
  }
  for (TDocLogic* doc : documents) {
    if (!doc->IsModified || !doc->Document) continue;
    try {
      if (!OpenSession()) throw EInOutError("Cannot create the folder \"" + Root + "\". " + std::strerror(errno));
      auto slot = Slots.find(doc);
      if (slot == Slots.end()) slot = Slots.emplace(doc, NextSlot++).first;
      const std::string base = SlotName(Session, slot->second);
      std::string info = kInfoHeader + std::to_string(kFormatVersion) + "\nsubject=" + Subject +
                         "\norigin=" + (doc->FileName.empty() ? doc->RecoveredFrom : doc->FileName) +
                         "\nsaved=" + std::to_string(static_cast<long long>(std::time(nullptr))) + "\n";
      // The info goes first: a copy without it is taken for damaged, never for someone else's.
      if (!WriteFileAtomically(base + ".info", info))
        throw EInOutError("Cannot write \"" + base + ".info\". " + std::strerror(errno));
      doc->SaveCopyTo(base + ".kvd");
    } catch (const std::exception& error) {
      if (failure.empty()) failure = error.what();
    }
  }
  if (failure.empty() || FailureReported) return {};
  FailureReported = true;
  return failure;
}

void TRecoveryStore::RemoveCopy(int slot) {
  if (Session.empty()) return;
  const std::string base = SlotName(Session, slot);
  ::unlink((base + ".kvd").c_str());
  ::unlink((base + ".info").c_str());
}

void TRecoveryStore::Forget(const TDocLogic* document) {
  const auto it = Slots.find(document);
  if (it == Slots.end()) return;
  RemoveCopy(it->second);
  Slots.erase(it);
}

void TRecoveryStore::Finish() {
  for (const auto& [doc, slot] : Slots) RemoveCopy(slot);
  Slots.clear();
  if (Session.empty()) return;
  for (const std::string& name : Names(Session))
    if (name != "lock") return;  // something that is not ours: leave the folder
  ::unlink((Session + "/lock").c_str());
  ::rmdir(Session.c_str());
  ::close(LockFd);
  LockFd = -1;
  Session.clear();
}

std::vector<TRecoveryCopy> TRecoveryStore::FindLeftOvers() const {
  std::vector<TRecoveryCopy> copies;
  for (const std::string& run : Names(Root)) {
    const std::string folder = Root + "/" + run;
    if (run.rfind("run-", 0) != 0 || folder == Session) continue;
    // A run that still lives holds its lock.
    const int fd = ::open((folder + "/lock").c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
      const bool alive = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
      ::close(fd);
      if (alive) continue;
    }
    for (const std::string& name : Names(folder)) {
      if (!EndsWith(name, ".kvd")) continue;
      TRecoveryCopy copy;
      copy.File = folder + "/" + name;
      copy.InfoFile = copy.File.substr(0, copy.File.size() - 4) + ".info";
      std::string text;
      int version = 0;
      const std::map<std::string, std::string> info =
          ReadSmallFile(copy.InfoFile, kMaxInfoBytes, text) ? ReadInfo(text, version) : std::map<std::string, std::string>{};
      if (version == 0) {
        copy.Problem = "it is damaged";
      } else if (version > kFormatVersion) {
        copy.Problem = "it was left by a newer version of the program";
      } else {
        const auto field = [&](const char* key) {
          const auto it = info.find(key);
          return it != info.end() ? it->second : std::string();
        };
        copy.Subject = field("subject");
        copy.Origin = field("origin");
        const std::string saved = field("saved");
        if (!saved.empty() && saved.size() < 19 && std::all_of(saved.begin(), saved.end(), ::isdigit))
          copy.SavedAt = std::stoll(saved);
        if (copy.Subject != Subject) {
          copy.Problem = "it was made for another library";
        } else {
          try {
            DecodeDocumentFile(copy.File, Subject);
          } catch (const std::exception&) {
            copy.Problem = "it is damaged";
          }
        }
      }
      copies.push_back(std::move(copy));
    }
  }
  std::stable_sort(copies.begin(), copies.end(),
                   [](const TRecoveryCopy& a, const TRecoveryCopy& b) { return a.SavedAt < b.SavedAt; });
  return copies;
}

std::string TRecoveryStore::KeepAside(const TRecoveryCopy& copy) const {
  const std::string kept = KeptAsideFolder();
  if (!MakeFolders(kept)) return copy.File;
  const auto slash = copy.File.find_last_of('/');
  const std::string run = copy.File.substr(0, slash);
  const std::string runName = run.substr(run.find_last_of('/') + 1);
  const std::string target = kept + "/" + runName + "-" + copy.File.substr(slash + 1);
  if (::rename(copy.File.c_str(), target.c_str()) != 0) return copy.File;
  const std::string infoTarget = target.substr(0, target.size() - 4) + ".info";
  ::rename(copy.InfoFile.c_str(), infoTarget.c_str());
  if (const std::vector<std::string> left = Names(run); left.empty() || left == std::vector<std::string>{"lock"}) {
    ::unlink((run + "/lock").c_str());
    ::rmdir(run.c_str());
  }
  return target;
}

void TRecoveryStore::Discard(const TRecoveryCopy& copy) const {
  if (copy.File.empty()) return;
  ::unlink(copy.File.c_str());
  ::unlink(copy.InfoFile.c_str());
  const std::string run = copy.File.substr(0, copy.File.find_last_of('/'));
  const std::vector<std::string> left = Names(run);
  if (left.empty() || left == std::vector<std::string>{"lock"}) {
    ::unlink((run + "/lock").c_str());
    ::rmdir(run.c_str());
  }
}

}  // namespace hv
