#include "logic/DocLogic.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/Errors.h"
#include "logic/AppLogic.h"
#include "logic/DocFile.h"

namespace hv {

namespace {

std::string DirectoryOf(const std::string& fileName) {
  const auto slash = fileName.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return fileName.substr(0, slash);
}

// Makes a rename in the folder survive a crash; a failure here cannot undo the rename, so it is
// not reported.
void SyncDirectory(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

mode_t NewFileMode(const std::string& fileName) {
  struct stat st{};
  if (::stat(fileName.c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

TFileIdentity IdentityOf(const struct stat& st) {
  return {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
          static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtim.tv_sec),
          static_cast<long long>(st.st_mtim.tv_nsec)};
}

// The identity of whatever the name now points at; Size -1 when there is nothing there.
TFileIdentity IdentityAt(const std::string& fileName) {
  struct stat st{};
  if (::stat(fileName.c_str(), &st) != 0) return {};
  return IdentityOf(st);
}

[[noreturn]] void ThrowSaveError(const std::string& what, const std::string& fileName, int err) {
  throw EInOutError(what + " \"" + fileName + "\". " + std::strerror(err));
}

// A save writes "~temp-" + six characters + ".kvd" beside its target.
constexpr std::string_view kTempStart = "~temp-";
constexpr std::string_view kTempEnd = ".kvd";
constexpr std::size_t kTempNameLength = 16;

// A save that was killed before its rename leaves its temporary file behind. A save in progress
// holds the lock of its own from the start, and a lock dies with its process, so any such file
// in the folder that can be locked belongs to nobody and is removed.
void RemoveStaleTemporaries(const std::string& dir) {
  DIR* folder = ::opendir(dir.c_str());
  if (folder == nullptr) return;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string_view name = entry->d_name;
    if (name.size() != kTempNameLength || !name.starts_with(kTempStart) || !name.ends_with(kTempEnd)) continue;
    const std::string path = dir + "/" + std::string(name);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st{};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
    ::close(fd);
  }
  ::closedir(folder);
}

// Creates a temporary file in dir and locks it. Another save that finds the file between its
// creation and its lock takes it for a stale one and may remove it; then a new one is made.
std::unique_ptr<TFileStream> CreateLockedTemporary(const std::string& dir, std::string& tempName) {
  for (int attempt = 1;; ++attempt) {
    const bool last = attempt == 3;
    tempName = dir + "/" + std::string(kTempStart) + "XXXXXX" + std::string(kTempEnd);
    const int fd = ::mkstemps(tempName.data(), static_cast<int>(kTempEnd.size()));
    if (fd < 0) {
      // The common causes in words the teacher can act on.
      const int err = errno;
      if (err == ENOENT || err == ENOTDIR) throw EInOutError("Cannot save: the folder \"" + dir + "\" does not exist.");
      if (err == EACCES || err == EPERM || err == EROFS)
        throw EInOutError("Cannot save: you may not write in the folder \"" + dir + "\".");
      ThrowSaveError("Cannot create a temporary file in", dir, err);
    }
    std::unique_ptr<TFileStream> file;
    try {
      file = std::make_unique<TFileStream>(tempName, TFileStream::TMode::OpenReadWrite);
    } catch (...) {
      ::close(fd);
      if (last) throw;
      continue;
    }
    ::close(fd);
    struct stat opened{};
    struct stat named{};
    if (file->TryLockExclusive() && ::fstat(file->Handle(), &opened) == 0 && ::stat(tempName.c_str(), &named) == 0 &&
        opened.st_dev == named.st_dev && opened.st_ino == named.st_ino)
      return file;
    if (last) ThrowSaveError("Cannot lock", tempName, EWOULDBLOCK);
  }
}

}  // namespace

TDocLogic::TDocLogic(std::string subject) : SubjectName(std::move(subject)) {}

TDocLogic::~TDocLogic() = default;

void TDocLogic::CreateNew() { Document = std::make_unique<TDocument>(); }

void TDocLogic::LoadFromFile(const std::string& fileName) {
  auto file = std::make_unique<TFileStream>(fileName, TFileStream::TMode::OpenRead);
  if (!file->TryLockExclusive()) throw EInOutError(kOpenDocumentFailed);
  struct stat st{};
  const TFileIdentity identity = ::fstat(file->Handle(), &st) == 0 ? IdentityOf(st) : TFileIdentity{};
  auto store = std::make_unique<TTextStore>(std::move(file));
  TDocumentFile decoded = ReadDocumentFile(*store->Stream, store.get(), SubjectName);
  Document = std::move(decoded.Document);
  MissingIDs = std::move(decoded.MissingIDs);
  Damaged = std::move(decoded.Damaged);
  ReadWarnings = std::move(decoded.Warnings);
  TextStore = std::move(store);
  FileName = fileName;
  OnDisk = identity;
  IsModified = false;
}

std::vector<TDocContent*> TDocLogic::DamagedEntries() const {
  std::vector<TDocContent*> damaged;
  if (Document)
    for (TDocContent* entry : Document->Entries)
      if (!entry->Damage.empty()) damaged.push_back(entry);
  return damaged;
}

bool TDocLogic::IsOwnFile(const std::string& fileName) const {
  if (!TextStore) return false;
  const auto* file = dynamic_cast<const TFileStream*>(TextStore->Stream.get());
  if (file == nullptr) return false;
  struct stat mine{};
  struct stat target{};
  return ::fstat(file->Handle(), &mine) == 0 && ::stat(fileName.c_str(), &target) == 0 &&
         mine.st_dev == target.st_dev && mine.st_ino == target.st_ino;
}

void TDocLogic::SaveToFile(const std::string& fileName, bool overwriteChanged) {
  if (!Document) throw EError("There is no document to save");
  // Locks only hold against this program: a sync client, an editor or another machine may have
  // changed or replaced the file since we read it, and a silent save would destroy their work.
  if (!overwriteChanged && !FileName.empty() && (fileName == FileName || IsOwnFile(fileName)) &&
      IdentityAt(FileName) != OnDisk)
    throw EFileChanged("\"" + DisplayName() + "\" was changed by another program since it was opened here.");
  // Renaming ignores locks, so a document open elsewhere would silently lose its file; holding
  // its lock until the rename is done also keeps others from opening it in between.
  std::unique_ptr<TFileStream> targetLock;
  if (FileExists(fileName) && !IsOwnFile(fileName)) {
    targetLock = std::make_unique<TFileStream>(fileName, TFileStream::TMode::OpenRead);
    if (!targetLock->TryLockExclusive())
      throw EInOutError("Cannot save \"" + fileName + "\". It is open in another window or program");
  }

  const std::string dir = DirectoryOf(fileName);
  RemoveStaleTemporaries(dir);
  std::string tempName;
  // Locked from the start, so the file is never visible under the target name unlocked.
  std::unique_ptr<TFileStream> file = CreateLockedTemporary(dir, tempName);
  std::vector<TChunkPlacement> placements;
  try {
    if (::fchmod(file->Handle(), NewFileMode(fileName)) != 0) ThrowSaveError("Cannot write", tempName, errno);
    std::unique_ptr<TStream> filter = SaveStreamFilter ? SaveStreamFilter(*file) : nullptr;
    TStream& out = filter ? *filter : *file;
    placements = WriteDocumentFile(out, *Document, SubjectName);
    out.Flush();
    file->Flush();
    if (::rename(tempName.c_str(), fileName.c_str()) != 0) ThrowSaveError("Cannot save", fileName, errno);
  } catch (...) {
    file.reset();
    ::unlink(tempName.c_str());
    throw;
  }
  SyncDirectory(dir);

  // The document only reads its file from now on: kept open read-only, locked again at once.
  // Should the name already point elsewhere, the written file stays open as it is.
  std::unique_ptr<TFileStream> readOnly;
  try {
    readOnly = std::make_unique<TFileStream>(fileName, TFileStream::TMode::OpenRead);
    struct stat mine{};
    struct stat written{};
    if (::fstat(readOnly->Handle(), &mine) != 0 || ::fstat(file->Handle(), &written) != 0 ||
        mine.st_ino != written.st_ino || mine.st_dev != written.st_dev)
      readOnly.reset();
  } catch (const EError&) {
    readOnly.reset();
  }
  if (readOnly) {
    file.reset();
    readOnly->TryLockExclusive();
    file = std::move(readOnly);
  }
  struct stat st{};
  OnDisk = ::fstat(file->Handle(), &st) == 0 ? IdentityOf(st) : TFileIdentity{};

  // Only now do the texts move to the new file; the old store closes after nobody points into it.
  auto store = std::make_unique<TTextStore>(std::move(file));
  for (const TChunkPlacement& placement : placements) {
    placement.Chunk->Store = store.get();
    placement.Chunk->Offset = placement.Offset;
    placement.Chunk->ReleaseLines();
  }
  TextStore = std::move(store);
  targetLock.reset();
  FileName = fileName;
  IsModified = false;
  Notify({AppCode::Modified, AppCode::Filename});
}

void TDocLogic::InitFromMarkSchemes(const TDocument& source) {
  auto document = std::make_unique<TDocument>();
  document->AddMarkSchemes(source);
  Document = std::move(document);
  IsModified = true;
}

void TDocLogic::InitFromReports(const TDocument& source) {
  auto document = std::make_unique<TDocument>();
  document->AddReports(source);
  Document = std::move(document);
  IsModified = true;
}

void TDocLogic::Close() {
  Notify({AppCode::DocDestroy});
  Document.reset();
  TextStore.reset();
  if (Owner != nullptr) Owner->ReleaseDocument(this);  // frees this object: nothing may follow
}

std::string TDocLogic::DisplayName() const {
  if (FileName.empty()) return "Untitled";
  const auto slash = FileName.find_last_of('/');
  return slash == std::string::npos ? FileName : FileName.substr(slash + 1);
}

template <class TEdit>
void TDocLogic::Edit(TEdit edit) {
  const std::vector<TDocContent*> before = Document->Entries;
  try {
    edit(*Document);
  } catch (...) {
    // An insertion that failed half-way keeps what it inserted; observers must see that.
    if (Document->Entries != before) {
      IsModified = true;
      Notify({AppCode::Modified, AppCode::Document});
    }
    throw;
  }
  IsModified = true;
  Notify({AppCode::Modified, AppCode::Document});
}

void TDocLogic::InsertEntries(const std::vector<TStreamable*>& items, int index) {
  Edit([&](TDocument& d) { d.InsertEntries(items, index); });
}

void TDocLogic::RemoveEntries(const std::vector<TDocContent*>& entries) {
  Edit([&](TDocument& d) { d.RemoveEntries(entries); });
}

void TDocLogic::MoveEntry(int from, int to) {
  Edit([&](TDocument& d) { d.MoveEntry(from, to); });
}

void TDocLogic::ToggleNumbered(int index) {
  Edit([&](TDocument& d) { d.ToggleNumbered(index); });
}

void TDocLogic::ReplaceText(int index, std::string_view title, bool numbered, std::unique_ptr<TTextChunk> chunk,
                            std::int16_t time, std::int16_t marks) {
  Edit([&](TDocument& d) { d.ReplaceText(index, title, numbered, std::move(chunk), time, marks); });
}

void TDocLogic::InsertText(int index, std::string_view title, bool numbered, std::unique_ptr<TTextChunk> chunk,
                           std::int16_t time, std::int16_t marks) {
  Edit([&](TDocument& d) { d.InsertText(index, title, numbered, std::move(chunk), time, marks); });
}

}  // namespace hv
