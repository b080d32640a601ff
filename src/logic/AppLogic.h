#pragma once
// The one application-state object: library, open documents, browsing, selection, history,
// clipboard, and the question selector.
#include <concepts>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Observer.h"
#include "logic/DocLogic.h"
#include "logic/QuestionSelector.h"
#include "logic/QuestionStats.h"
#include "logic/WordIndex.h"
#include "model/Library.h"
#include "model/LibraryConfig.h"

namespace hv {

// Notification codes shared by the application state and the document logic. AppLogic sends
// DocCreate and CurrentDoc through ClipboardChanged itself; Document, Filename, Modified and
// DocDestroy come from a document, to its own observers and through DocumentRelay.
namespace AppCode {
inline constexpr int Document = 1;          // the document's entries changed
inline constexpr int Filename = 2;          // the document was saved under a file name
inline constexpr int Modified = 3;          // the document's modified state changed
inline constexpr int DocCreate = 4;         // a document was appended to Documents
inline constexpr int DocDestroy = 5;        // the document is closing and will be freed
inline constexpr int CurrentDoc = 6;        // CurrentDocument changed
inline constexpr int CurrentList = 7;       // CurrentList or CurrentIndex changed
inline constexpr int CurrentSelection = 8;  // Selection or its items changed
inline constexpr int History = 9;           // History may have changed
inline constexpr int SearchResults = 10;    // the selector's results were replaced
inline constexpr int ClipboardChanged = 11; // the clipboard contents were replaced
inline constexpr int Statistics = 12;       // the question statistics or their filter changed
}  // namespace AppCode

inline constexpr const char* kReportNeedsDocument = "Please click on the test Document window before creating the Report";

// A list owned elsewhere (a document's entries, the selector's results, a window's list) seen as
// a sequence of items. Two references are equal when they name the same list object; the default
// one names no list.
class TListRef {
public:
  TListRef() = default;
  TListRef(std::nullptr_t) {}
  template <class T>
    requires std::derived_from<T, TStreamable>
  TListRef(const std::vector<T*>& list)
      : List(&list),
        CountFn([](const void* l) { return static_cast<const std::vector<T*>*>(l)->size(); }),
        AtFn([](const void* l, std::size_t i) -> TStreamable* { return (*static_cast<const std::vector<T*>*>(l))[i]; }) {}

  explicit operator bool() const { return List != nullptr; }
  bool operator==(const TListRef& other) const { return List == other.List; }
  std::size_t Count() const { return List != nullptr ? CountFn(List) : 0; }
  TStreamable* At(std::size_t index) const { return AtFn(List, index); }
  // The item at an index, or nullptr when the index is outside the list.
  TStreamable* ItemAt(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < Count() ? At(static_cast<std::size_t>(index)) : nullptr;
  }

private:
  const void* List = nullptr;
  std::size_t (*CountFn)(const void*) = nullptr;
  TStreamable* (*AtFn)(const void*, std::size_t) = nullptr;
};

// Selected items: library segments, document entries, or resource identity nodes.
using TItemList = std::vector<TStreamable*>;

// Holds all application state that windows and commands share. Every change goes through an
// operation here and ends with exactly one notification set, so observers never see half an update.
//
// Messages to the user: logic shows nothing. Where an operation must tell the user something
// (OpenDocument, CreateReportDocument) it raises an EError carrying the exact text; commands let it
// reach the application's one handler, which shows it in a plain message box and carries on.
// The Question Finder's statistics filters: a facility range and a class whose questions are
// hidden (and asked about before they are copied into a document).
struct TStatsFilter {
  std::optional<double> MinFacility;
  std::optional<double> MaxFacility;
  std::string HideUsedWith;
  bool IsEmpty() const { return !MinFacility && !MaxFacility && HideUsedWith.empty(); }
  // Whether a question with this summary (nullptr: never used) passes. A facility bound leaves
  // out the questions without a facility.
  bool Passes(const TQuestionSummary* summary) const;
  bool operator==(const TStatsFilter&) const = default;
};

class TAppLogic : public TObservable {
public:
  TAppLogic();
  ~TAppLogic() override;

  // Reads the library of a subject as "vornika32.ini" locates it, sets CurrentLibrary and creates
  // the selector. Also reads OrganisationName from the subject's section.
  void OpenLibrary(const std::string& subject);
  // The same with a library opened by the caller (tests, tools).
  void AdoptLibrary(const std::string& subject, TOpenedLibrary opened);

  void NewDocument();
  // Any failure raises EInOutError with a message naming the file and the cause (no such file, no
  // permission, open elsewhere: kOpenDocumentFailed, another library, a newer version, damaged,
  // not a test document); nothing is added or notified then. Items the library lacks and
  // unreadable free texts do not fail: the document records them for the user to be told.
  void OpenDocument(const std::string& fileName);
  // Opens a crash-recovery copy as an untitled, modified document that names the test it came
  // from (origin, empty for an untitled one). Failures go on to the caller; nothing is added then.
  void RecoverDocument(const std::string& copyFile, const std::string& origin);
  void CreateMarkSchemeDocument();
  // Derives the report document from the current document; without one raises EError with
  // kReportNeedsDocument. A failure adds nothing.
  void CreateReportDocument();
  void SetCurrentDocument(TDocLogic* doc);

  void SetCurrentList(TListRef list, int index);
  void SelectItem(TStreamable* item, TListRef sourceList, bool clearHistory);
  void SetSelection(TItemList list, TListRef sourceList);
  void TouchSelection();
  void GoBack();
  TStreamable* SelectedItem() const;
  TTextSegment* SelectedSegment() const;

  void SetClipboard(const TItemList& items);

  // The status line text, computed from the state alone.
  std::string StatusText() const;

  TTextStore* TextStore() const { return Store.get(); }
  TLibrary* Library() const { return Lib.get(); }
  const std::string& Subject() const { return SubjectName; }
  const std::string& OrganisationName() const { return Organisation; }
  // The absolute folder of the library's text file, where links in its texts are resolved; empty
  // for a library adopted from the caller.
  const std::string& LibraryFolder() const { return Folder; }
  const std::vector<std::unique_ptr<TDocLogic>>& Documents() const { return DocumentList; }
  TDocLogic* CurrentDocument() const { return CurrentDoc; }
  TListRef CurrentList() const { return CurrentListRef; }
  int CurrentIndex() const { return Index; }
  const TItemList& Selection() const { return SelectionList; }
  TListRef SelectionSource() const { return Source; }
  const TItemList& History() const { return HistoryList; }
  const std::vector<std::unique_ptr<TDocContent>>& Clipboard() const { return ClipboardList; }
  TNotificationRelay& DocumentRelay() { return Relay; }
  TQuestionSelector* Selector() const { return SelectorPtr.get(); }

  // The per-user question statistics; none until the program attaches a store.
  void AttachStats(std::unique_ptr<TStatsStore> stats);
  TStatsStore* Stats() const { return StatsPtr.get(); }
  // The statistics of a question of the open library, or nullptr.
  const TQuestionSummary* QuestionStats(const TQuestion& question) const;
  // Narrows the selector's results; notifies Statistics, and the new results through the selector.
  void SetStatsFilter(const TStatsFilter& filter);
  const TStatsFilter& StatsFilter() const { return Filter; }
  void StatsChanged(TObservable* sender, const TNotificationSet& codes);
  // The word index of the open library, opened (not built) on first use; the selector's word
  // criterion searches it. It is keyed by the state the library's files had when they were read,
  // so a library updated on disk is indexed again the next time it is opened. A library adopted
  // without its files gets an index in memory.
  TWordIndex* WordIndex() const { return WordIdx.get(); }
  TWordIndex* OpenWordIndex();
  void SetWordIndex(std::unique_ptr<TWordIndex> index);

  void DocumentNotified(TObservable* sender, const TNotificationSet& codes);
  void SearchResultsChanged(TObservable* sender, const TNotificationSet& codes);

private:
  friend class TDocLogic;
  void Adopt(std::unique_ptr<TDocLogic> doc);
  void ReleaseDocument(TDocLogic* doc);
  std::unique_ptr<TDocLogic> NewLogic() const;
  void CreateDerived(bool reports);

  std::unique_ptr<TTextStore> Store;
  std::unique_ptr<TLibrary> Lib;
  std::string SubjectName;
  std::string Organisation;
  std::string Folder;
  std::vector<std::unique_ptr<TDocLogic>> DocumentList;
  std::vector<std::unique_ptr<TDocLogic>> Closing;  // between DocDestroy and the end of Close
  TDocLogic* CurrentDoc = nullptr;
  TListRef CurrentListRef;
  int Index = -1;
  TItemList SelectionList;
  TListRef Source;
  TItemList HistoryList;
  std::vector<std::unique_ptr<TDocContent>> ClipboardList;
  TNotificationRelay Relay;
  std::unique_ptr<TQuestionSelector> SelectorPtr;
  std::unique_ptr<TStatsStore> StatsPtr;
  TStatsFilter Filter;
  void ApplyStatsFilter();
  std::string FilesIdentity;  // of the library files as they were read; empty for an adopted library
  std::unique_ptr<TWordIndex> WordIdx;
};

}  // namespace hv
