#pragma once
// The logic of one open test document: its entries, its file, and whether it has unsaved changes.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/Observer.h"
#include "logic/DocFile.h"
#include "logic/DocHistory.h"
#include "model/Document.h"
#include "model/TextStore.h"

namespace hv {

class TAppLogic;

// Shown when a document file is held open by this or another program.
inline constexpr const char* kOpenDocumentFailed =
    "Please check that the file is not already open, and that you have not mis-typed the filename.";

// The document's file was changed or replaced by another program (a sync client, an editor,
// another machine) since it was opened or last saved; saving would overwrite that change.
class EFileChanged : public EError {
public:
  using EError::EError;
};

// What the file on disk was when this document last read or wrote it.
struct TFileIdentity {
  unsigned long long Device = 0;
  unsigned long long Inode = 0;
  long long Size = -1;
  long long ModifiedSeconds = 0;
  long long ModifiedNanoseconds = 0;
  bool operator==(const TFileIdentity&) const = default;
};

// Wraps one test document and the file it was read from or saved to. Every change goes through
// an operation here and ends with one notification, so observers and the modified flag stay
// right. While the document has a file, that file stays open with an exclusive lock, so no
// second window or program can open it.
//
// Close ends the document's life: it notifies DocDestroy, frees the content and the file, and the
// application state that owns the object then frees it, so the caller must not touch it again. A
// document nobody adopted (tests, tools) is freed by whoever holds it.
class TDocLogic : public TObservable {
public:
  // subject is the library key written into the file and required of files read.
  explicit TDocLogic(std::string subject);
  ~TDocLogic() override;

  std::unique_ptr<TDocument> Document;
  std::unique_ptr<TTextStore> TextStore;  // over the document file; none until saved or loaded
  std::string FileName;
  bool IsModified = false;
  // The test an untitled document was recovered from after a crash; shown in its caption.
  std::string RecoveredFrom;

  // What opening found, for the one message the user is shown about it: typed IDs the library
  // lacks (placeholder entries), entries whose text could not be read, and what the reader
  // stepped over.
  std::vector<std::string> MissingIDs;
  std::vector<TDamagedEntry> Damaged;
  std::vector<std::string> ReadWarnings;
  // The teacher chose to keep the damaged entries; saves stop asking about them.
  bool KeepDamaged = false;
  // Entries whose text could not be read and that still hold the notice in its place.
  std::vector<TDocContent*> DamagedEntries() const;

  const std::string& Subject() const { return SubjectName; }

  void CreateNew();
  // Reads and locks a document file, read-only. On failure nothing is kept: the file is closed
  // again and the error goes on to the caller: EFileOpenError, EDocumentFileError, or an
  // EInOutError with kOpenDocumentFailed when another window or program holds the file.
  void LoadFromFile(const std::string& fileName);
  // Writes a temporary file beside the target, forces it to disk and renames it over the target,
  // then keeps the new file open and locked. On any failure the temporary file is removed and the
  // old file, the document, its texts' store, FileName and IsModified stay exactly as they were.
  // A target held open by another document or program is refused. Saving over the document's own
  // file when another program changed or replaced it since it was read raises EFileChanged,
  // unless overwriteChanged says the user agreed.
  void SaveToFile(const std::string& fileName, bool overwriteChanged = false);
  // Writes the document to another file the same safe way, for crash recovery, and leaves the
  // document, its file and its modified state as they were.
  void SaveCopyTo(const std::string& fileName);
  // Opens a recovery copy as an untitled, modified document that remembers the test it came from.
  void LoadRecoveryCopy(const std::string& fileName, const std::string& recoveredFrom);
  void InitFromMarkSchemes(const TDocument& source);
  void InitFromReports(const TDocument& source);
  void Close();
  // The file name without its folder, or "Untitled".
  std::string DisplayName() const;

  // The window caption: the display name, the test a recovered document came from, and "*" while
  // there are unsaved changes.
  std::string Caption() const;

  // Every change is one step of the undo history, named for the menu ("Undo Move Up").
  void InsertEntries(const std::vector<TStreamable*>& items, int index, std::string_view undoName = "Insert");
  void RemoveEntries(const std::vector<TDocContent*>& entries, std::string_view undoName = "Delete");
  void MoveEntry(int from, int to, std::string_view undoName = "Move");
  void ToggleNumbered(int index, std::string_view undoName = "Show Number");
  void ReplaceText(int index, std::string_view title, bool numbered, std::unique_ptr<TTextChunk> chunk,
                   std::int16_t time, std::int16_t marks, std::string_view undoName = "Edit Text");
  void InsertText(int index, std::string_view title, bool numbered, std::unique_ptr<TTextChunk> chunk,
                  std::int16_t time, std::int16_t marks, std::string_view undoName = "Insert Text");

  const TDocHistory& History() const { return UndoHistory; }
  // Take back or do again the last step; both notify like any change and answer the entries the
  // step touched that are in the document now, for the caller to select.
  std::vector<TDocContent*> Undo();
  std::vector<TDocContent*> Redo();
  // Lets a caller shrink the history's memory budget (tests and benchmarks).
  void SetHistoryBudget(std::size_t bytes) { UndoHistory.Budget = bytes; }

  // Lets tests put a failing stream between the save and the temporary file; the answered stream
  // writes through to the file it is given.
  std::function<std::unique_ptr<TStream>(TStream& file)> SaveStreamFilter;

private:
  friend class TAppLogic;
  void Record(std::unique_ptr<TDocStep> step);
  void Changed();
  // The held steps' texts that still live in the file being replaced move into memory.
  void DetachHeldTexts(const TTextStore* oldStore);
  // The safe write shared by Save and the recovery copies: answers the new file, open and locked,
  // and where each free text went in it.
  std::unique_ptr<TFileStream> WriteAtomically(const std::string& fileName, std::vector<TChunkPlacement>& placements);
  bool IsOwnFile(const std::string& fileName) const;

  std::string SubjectName;
  TDocHistory UndoHistory;
  TFileIdentity OnDisk;  // of FileName, when the document last read or wrote it
  TAppLogic* Owner = nullptr;  // frees this object at the end of Close
};

}  // namespace hv
