#include "logic/DocLogic.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_set>

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

void TDocLogic::CreateNew() {
  Document = std::make_unique<TDocument>();
  UndoHistory.Clear();
}

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
  UndoHistory.Clear();
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

std::unique_ptr<TFileStream> TDocLogic::WriteAtomically(const std::string& fileName,
                                                        std::vector<TChunkPlacement>& placements) {
  const std::string dir = DirectoryOf(fileName);
  RemoveStaleTemporaries(dir);
  std::string tempName;
  // Locked from the start, so the file is never visible under the target name unlocked.
  std::unique_ptr<TFileStream> file = CreateLockedTemporary(dir, tempName);
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
  return file;
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

  std::vector<TChunkPlacement> placements;
  std::unique_ptr<TFileStream> file = WriteAtomically(fileName, placements);

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
  DetachHeldTexts(TextStore.get());
  TextStore = std::move(store);
  targetLock.reset();
  FileName = fileName;
  RecoveredFrom.clear();
  UndoHistory.MarkClean();
  IsModified = false;
  Notify({AppCode::Modified, AppCode::Filename});
}

void TDocLogic::SaveCopyTo(const std::string& fileName) {
  if (!Document) throw EError("There is no document to save");
  std::vector<TChunkPlacement> placements;
  WriteAtomically(fileName, placements);
}

void TDocLogic::LoadRecoveryCopy(const std::string& fileName, const std::string& recoveredFrom) {
  LoadFromFile(fileName);
  // The copy stays open as the store of the texts, but Save must ask for a name: the copy is not
  // the teacher's file.
  FileName.clear();
  RecoveredFrom = recoveredFrom;
  UndoHistory.MarkUnreachable();
  IsModified = true;
}

void TDocLogic::DetachHeldTexts(const TTextStore* oldStore) {
  if (oldStore == nullptr) return;
  UndoHistory.ForEachHeldChunk([oldStore](TTextChunk& chunk) {
    if (chunk.Store != oldStore) return;
    try {
      chunk.GetLines();
    } catch (const std::exception&) {
      // A record that could not be read before cannot be read later either; it stays empty.
      chunk.Lines.emplace();
    }
    chunk.Store = nullptr;
  });
}

void TDocLogic::InitFromMarkSchemes(const TDocument& source) {
  auto document = std::make_unique<TDocument>();
  document->AddMarkSchemes(source);
  Document = std::move(document);
  UndoHistory.Clear();
  UndoHistory.MarkUnreachable();
  IsModified = true;
}

void TDocLogic::InitFromReports(const TDocument& source) {
  auto document = std::make_unique<TDocument>();
  document->AddReports(source);
  Document = std::move(document);
  UndoHistory.Clear();
  UndoHistory.MarkUnreachable();
  IsModified = true;
}

void TDocLogic::Close() {
  Notify({AppCode::DocDestroy});
  UndoHistory.Clear();
  Document.reset();
  TextStore.reset();
  if (Owner != nullptr) Owner->ReleaseDocument(this);  // frees this object: nothing may follow
}

std::string TDocLogic::DisplayName() const {
  if (FileName.empty()) return "Untitled";
  const auto slash = FileName.find_last_of('/');
  return slash == std::string::npos ? FileName : FileName.substr(slash + 1);
}

std::string TDocLogic::Caption() const {
  std::string caption = DisplayName();
  if (!RecoveredFrom.empty()) {
    const auto slash = RecoveredFrom.find_last_of('/');
    caption += " - recovered from " + (slash == std::string::npos ? RecoveredFrom : RecoveredFrom.substr(slash + 1));
  }
  if (IsModified) caption += '*';
  return caption;
}

void TDocLogic::Changed() {
  IsModified = !UndoHistory.IsClean();
  Notify({AppCode::Modified, AppCode::Document});
}

void TDocLogic::Record(std::unique_ptr<TDocStep> step) {
  UndoHistory.Push(std::move(step));
  Changed();
}

void TDocLogic::InsertEntries(const std::vector<TStreamable*>& items, int index, std::string_view undoName) {
  const std::unordered_set<const TDocContent*> before(Document->Entries.begin(), Document->Entries.end());
  // An insertion that failed half-way keeps what it inserted, and that much can be undone.
  auto record = [&] {
    std::vector<std::pair<int, TDocContent*>> places;
    for (std::size_t i = 0; i < Document->Entries.size(); ++i)
      if (before.count(Document->Entries[i]) == 0) places.emplace_back(static_cast<int>(i), Document->Entries[i]);
    if (places.empty()) return;
    Record(std::make_unique<TPlaceStep>(std::string(undoName), TPlaceStep::TKind::Inserted, *Document,
                                        std::move(places)));
  };
  try {
    Document->InsertEntries(items, index);
  } catch (...) {
    record();
    throw;
  }
  record();
}

void TDocLogic::RemoveEntries(const std::vector<TDocContent*>& entries, std::string_view undoName) {
  std::vector<std::pair<int, TDocContent*>> places;
  std::unordered_set<const TDocContent*> seen;
  for (TDocContent* entry : entries) {
    const int index = Document->IndexOf(entry);
    if (index >= 0 && seen.insert(entry).second) places.emplace_back(index, entry);
  }
  if (places.empty()) {
    Changed();
    return;
  }
  Record(std::make_unique<TPlaceStep>(std::string(undoName), TPlaceStep::TKind::Removed, *Document,
                                      std::move(places)));
}

void TDocLogic::MoveEntry(int from, int to, std::string_view undoName) {
  Document->MoveEntry(from, to);
  Record(std::make_unique<TMoveStep>(std::string(undoName), from, to, *Document));
}

void TDocLogic::ToggleNumbered(int index, std::string_view undoName) {
  Document->ToggleNumbered(index);
  Record(std::make_unique<TToggleStep>(std::string(undoName), index, *Document));
}

void TDocLogic::ReplaceText(int index, std::string_view title, bool numbered, std::unique_ptr<TTextChunk> chunk,
                            std::int16_t time, std::int16_t marks, std::string_view undoName) {
  TEntryPtr old = Document->ReplaceText(index, title, numbered, std::move(chunk), time, marks);
  Record(std::make_unique<TSwapStep>(std::string(undoName), index, std::move(old), *Document));
}

void TDocLogic::InsertText(int index, std::string_view title, bool numbered, std::unique_ptr<TTextChunk> chunk,
                           std::int16_t time, std::int16_t marks, std::string_view undoName) {
  Document->InsertText(index, title, numbered, std::move(chunk), time, marks);
  const int at = index < 0 ? static_cast<int>(Document->Entries.size()) - 1 : index;
  Record(std::make_unique<TPlaceStep>(std::string(undoName), TPlaceStep::TKind::Inserted, *Document,
                                      std::vector<std::pair<int, TDocContent*>>{
                                          {at, Document->Entries[static_cast<std::size_t>(at)]}}));
}

std::vector<TDocContent*> TDocLogic::Undo() {
  if (!Document) throw EError("There is no document");
  std::vector<TDocContent*> touched = UndoHistory.Undo(*Document).Touched();
  Changed();
  return touched;
}

std::vector<TDocContent*> TDocLogic::Redo() {
  if (!Document) throw EError("There is no document");
  std::vector<TDocContent*> touched = UndoHistory.Redo(*Document).Touched();
  Changed();
  return touched;
}

}  // namespace hv
