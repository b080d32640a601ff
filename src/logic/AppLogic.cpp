#include "logic/AppLogic.h"

#include <algorithm>
#include <filesystem>

#include "core/Errors.h"
#include "model/Categories.h"
#include "model/LibraryConfig.h"
#include "model/Segments.h"

namespace hv {

namespace {

bool Holds(const TItemList& items, const std::vector<TDocContent*>& entries) {
  return std::any_of(items.begin(), items.end(), [&](const TStreamable* item) {
    return std::find(entries.begin(), entries.end(), item) != entries.end();
  });
}

const TTextSegment* SegmentOf(const TStreamable* item) {
  if (const auto* entry = dynamic_cast<const TDocContent*>(item)) return entry->Segment;
  return dynamic_cast<const TTextSegment*>(item);
}

}  // namespace

TAppLogic::TAppLogic() { Relay.AddObserver<&TAppLogic::DocumentNotified>(this); }

TAppLogic::~TAppLogic() {
  if (StatsPtr) StatsPtr->RemoveObserver<&TAppLogic::StatsChanged>(this);
  SelectorPtr.reset();
  WordIdx.reset();
  for (const auto& doc : DocumentList) Relay.Detach(doc.get());
  DocumentList.clear();
  Closing.clear();
  ClipboardList.clear();
  if (CurrentLibrary == Lib.get()) CurrentLibrary = nullptr;
  Lib.reset();
  Store.reset();
}

void TAppLogic::OpenLibrary(const std::string& subject) {
  if (Lib) throw EError("A library is already open");
  SubjectName = subject;
  const TLibraryFiles files = LookupLibraryFiles(subject);
  // Taken before reading: a file changed meanwhile then differs at the next opening, never the
  // other way round.
  std::string identity;
  try {
    identity = LibraryFileIdentity(files.LibFilename, files.TextFilename);
  } catch (const EInOutError&) {
  }
  AdoptLibrary(subject, OpenLibraryFiles(files.TextFilename, files.LibFilename));
  FilesIdentity = identity;
  // Taken now: the configured names may be relative to the directory the program started in.
  std::error_code ignored;
  const std::filesystem::path text = std::filesystem::absolute(files.TextFilename, ignored);
  Folder = text.has_parent_path() ? text.parent_path().string() : std::string();
}

TWordIndex* TAppLogic::OpenWordIndex() {
  if (WordIdx || !Lib) return WordIdx.get();
  SetWordIndex(OpenLibraryWordIndex(*Lib, SubjectName, FilesIdentity));
  return WordIdx.get();
}

void TAppLogic::SetWordIndex(std::unique_ptr<TWordIndex> index) {
  WordIdx = std::move(index);
}


void TAppLogic::AdoptLibrary(const std::string& subject, TOpenedLibrary opened) {
  if (Lib) throw EError("A library is already open");
  if (!opened.Library) throw EError("No library to adopt");
  SubjectName = subject;
  Store = std::move(opened.TextStore);
  Lib = std::move(opened.Library);
  CurrentLibrary = Lib.get();
  Organisation = ReadProfileString(kLibraryIniName, subject, "OrganisationName");
  SelectorPtr = std::make_unique<TQuestionSelector>(*Lib);
  SelectorPtr->AddObserver<&TAppLogic::SearchResultsChanged>(this);
  // The first word search opens the index; it answers from what is built so far.
  SelectorPtr->SetWordMatcher([this](const TWordQuery& query, TWordScope scope) {
    TWordIndex* index = OpenWordIndex();
    return index != nullptr ? index->Match(query, scope) : std::vector<TQuestion*>();
  });
  if (!Filter.IsEmpty()) ApplyStatsFilter();
}

bool TStatsFilter::Passes(const TQuestionSummary* summary) const {
  if (!HideUsedWith.empty() && summary != nullptr && summary->UsedWith(HideUsedWith)) return false;
  if (MinFacility || MaxFacility) {
    if (summary == nullptr || !summary->Facility) return false;
    if (MinFacility && *summary->Facility < *MinFacility) return false;
    if (MaxFacility && *summary->Facility > *MaxFacility) return false;
  }
  return true;
}

void TAppLogic::AttachStats(std::unique_ptr<TStatsStore> stats) {
  if (StatsPtr) StatsPtr->RemoveObserver<&TAppLogic::StatsChanged>(this);
  StatsPtr = std::move(stats);
  if (StatsPtr) StatsPtr->AddObserver<&TAppLogic::StatsChanged>(this);
  if (SelectorPtr && !Filter.IsEmpty()) ApplyStatsFilter();
  Notify({AppCode::Statistics});
}

const TQuestionSummary* TAppLogic::QuestionStats(const TQuestion& question) const {
  if (!StatsPtr || !Lib) return nullptr;
  return StatsPtr->Summary(SubjectName, question.GetID());
}

void TAppLogic::ApplyStatsFilter() {
  if (!SelectorPtr) return;
  if (Filter.IsEmpty() || !StatsPtr) {
    if (SelectorPtr->HasResultFilter()) SelectorPtr->SetResultFilter({});
    return;
  }
  // The summaries are looked up once per rescan, not once per question.
  const auto* summaries = &StatsPtr->Summaries(SubjectName);
  SelectorPtr->SetResultFilter([this, summaries](const TQuestion& q) {
    const auto it = summaries->find(q.GetID());
    return Filter.Passes(it == summaries->end() ? nullptr : &it->second);
  });
}

void TAppLogic::SetStatsFilter(const TStatsFilter& filter) {
  if (filter == Filter) return;
  Filter = filter;
  ApplyStatsFilter();
  Notify({AppCode::Statistics});
}

void TAppLogic::StatsChanged(TObservable*, const TNotificationSet&) {
  if (!Filter.IsEmpty()) ApplyStatsFilter();
  Notify({AppCode::Statistics});
}

std::unique_ptr<TDocLogic> TAppLogic::NewLogic() const { return std::make_unique<TDocLogic>(SubjectName); }

void TAppLogic::Adopt(std::unique_ptr<TDocLogic> doc) {
  TDocLogic* raw = doc.get();
  raw->Owner = this;
  DocumentList.push_back(std::move(doc));
  Relay.Attach(raw);
  Notify({AppCode::DocCreate});
}

void TAppLogic::ReleaseDocument(TDocLogic* doc) {
  std::unique_ptr<TDocLogic> dying;
  for (auto* list : {&Closing, &DocumentList}) {
    const auto it = std::find_if(list->begin(), list->end(), [&](const auto& d) { return d.get() == doc; });
    if (it != list->end()) {
      dying = std::move(*it);
      list->erase(it);
      break;
    }
  }
  if (!dying) return;
  if (std::find(Relay.Subjects().begin(), Relay.Subjects().end(), doc) != Relay.Subjects().end()) Relay.Detach(doc);
  if (CurrentDoc == doc) CurrentDoc = nullptr;
}

void TAppLogic::NewDocument() {
  std::unique_ptr<TDocLogic> doc = NewLogic();
  doc->CreateNew();
  Adopt(std::move(doc));
}

void TAppLogic::OpenDocument(const std::string& fileName) {
  std::unique_ptr<TDocLogic> doc = NewLogic();
  const auto slash = fileName.find_last_of('/');
  const std::string shown = "\"" + (slash == std::string::npos ? fileName : fileName.substr(slash + 1)) + "\"";
  // Each cause gets its own message, so the teacher learns what to do about it.
  try {
    doc->LoadFromFile(fileName);
  } catch (const EFileOpenError& e) {
    using R = EFileOpenError::TReason;
    switch (e.Reason) {
      case R::NotFound: throw EInOutError("Cannot open " + shown + ": there is no such file.");
      case R::NoPermission: throw EInOutError("Cannot open " + shown + ": you do not have permission to read it.");
      case R::Folder: throw EInOutError("Cannot open " + shown + ": it is a folder, not a test document.");
      case R::NotRegular: throw EInOutError("Cannot open " + shown + ": it is not a file, so not a test document.");
      case R::Other: break;
    }
    throw EInOutError(e.what());
  } catch (const EDocumentFileError& e) {
    using K = EDocumentFileError::TKind;
    switch (e.Kind) {
      case K::NotADocument: throw EInOutError(shown + " is not a test document.");
      case K::NewerVersion:
      case K::OtherLibrary: throw EInOutError(std::string(e.what()) + " (" + shown + ").");
      case K::Damaged: throw EInOutError("Cannot open " + shown + ": " + e.what() + ".");
    }
    throw EInOutError(e.what());
  } catch (const EInOutError&) {
    throw;
  } catch (const std::exception& e) {
    throw EInOutError("Cannot open " + shown + ": " + e.what());
  }
  Adopt(std::move(doc));
}

void TAppLogic::RecoverDocument(const std::string& copyFile, const std::string& origin) {
  std::unique_ptr<TDocLogic> doc = NewLogic();
  doc->LoadRecoveryCopy(copyFile, origin.empty() ? "Untitled" : origin);
  Adopt(std::move(doc));
}

void TAppLogic::CreateMarkSchemeDocument() {
  if (CurrentDoc == nullptr || !CurrentDoc->Document) throw EError("There is no current document");
  std::unique_ptr<TDocLogic> doc = NewLogic();
  doc->InitFromMarkSchemes(*CurrentDoc->Document);
  Adopt(std::move(doc));
}

void TAppLogic::CreateReportDocument() {
  // From the document the teacher is working on, as the mark scheme is: the first open document
  // is often the empty one made at start-up.
  if (CurrentDoc == nullptr || !CurrentDoc->Document) throw EError(kReportNeedsDocument);
  std::unique_ptr<TDocLogic> doc = NewLogic();
  doc->InitFromReports(*CurrentDoc->Document);
  Adopt(std::move(doc));
}

void TAppLogic::SetCurrentDocument(TDocLogic* doc) {
  if (doc == CurrentDoc) return;
  CurrentDoc = doc;
  Notify({AppCode::CurrentDoc});
}

void TAppLogic::SetCurrentList(TListRef list, int index) {
  if (!list) throw EError("The current list cannot be none");
  const int newIndex = index >= 0 && static_cast<std::size_t>(index) < list.Count() ? index : -1;
  if (list == CurrentListRef && newIndex == Index) return;
  CurrentListRef = list;
  Index = newIndex;
  Notify({AppCode::CurrentList});
}

void TAppLogic::SelectItem(TStreamable* item, TListRef sourceList, bool clearHistory) {
  if (clearHistory)
    HistoryList.clear();
  else if (SelectionList.size() == 1)
    HistoryList.push_back(SelectionList.front());
  SelectionList.assign(1, item);
  Source = sourceList;
  Notify({AppCode::CurrentSelection, AppCode::History});
}

void TAppLogic::SetSelection(TItemList list, TListRef sourceList) {
  HistoryList.clear();
  SelectionList = std::move(list);
  Source = sourceList;
  Notify({AppCode::CurrentSelection, AppCode::History});
}

void TAppLogic::TouchSelection() { Notify({AppCode::CurrentSelection}); }

void TAppLogic::GoBack() {
  if (HistoryList.empty()) throw EListError::Index(-1);
  TStreamable* item = HistoryList.back();
  HistoryList.pop_back();
  SelectionList.assign(1, item);
  const bool isCurrentItem = HistoryList.empty() && CurrentListRef && CurrentListRef.ItemAt(Index) == item;
  Source = isCurrentItem ? CurrentListRef : TListRef();
  Notify({AppCode::CurrentSelection, AppCode::History});
}

TStreamable* TAppLogic::SelectedItem() const { return SelectionList.size() == 1 ? SelectionList.front() : nullptr; }

TTextSegment* TAppLogic::SelectedSegment() const {
  TStreamable* item = SelectedItem();
  if (auto* entry = dynamic_cast<TDocContent*>(item)) return entry->Segment;
  return dynamic_cast<TTextSegment*>(item);
}

void TAppLogic::SetClipboard(const TItemList& items) {
  // The new contents are complete before the old ones go, so a failure leaves the clipboard as it
  // was, and copying the clipboard's own entries works.
  std::vector<std::unique_ptr<TDocContent>> copies;
  copies.reserve(items.size());
  for (TStreamable* item : items) {
    if (auto* entry = dynamic_cast<TDocContent*>(item)) {
      copies.push_back(entry->Clone());
    } else if (auto* text = dynamic_cast<TText*>(item)) {
      // A free text belongs to its document entry; the clipboard takes its own copy.
      std::unique_ptr<TText> copy = text->CreateText();
      if (text->Chunk != nullptr) copy->SetChunk(text->Chunk->Copy());
      copies.push_back(copy->CreateContent());
      copy.release();
    } else if (auto* segment = dynamic_cast<TTextSegment*>(item)) {
      copies.push_back(segment->CreateContent());
    } else if (auto* node = dynamic_cast<TIdentityCategory*>(item)) {
      if (node->Resource == nullptr) throw EDataError("No text for ID: R" + FullID(node));
      copies.push_back(node->Resource->CreateContent());
    } else {
      throw EDataError("Invalid item for a document");
    }
  }
  ClipboardList.swap(copies);
  copies.clear();
  Notify({AppCode::ClipboardChanged});
}

std::string TAppLogic::StatusText() const {
  if (SelectionList.empty()) return {};
  std::string text;
  int marks = 0;
  int time = 0;
  auto add = [&](const TStreamable* item) {
    if (const TTextSegment* segment = SegmentOf(item)) {
      marks += segment->Marks;
      time += segment->Time;
    }
  };
  const TStreamable* single = SelectedItem();
  if (single != nullptr && CurrentListRef && CurrentListRef.ItemAt(Index) == single) {
    std::string listName = "Text List";
    const auto doc = std::find_if(DocumentList.begin(), DocumentList.end(), [&](const auto& d) {
      return d->Document && CurrentListRef == TListRef(d->Document->Entries);
    });
    if (doc != DocumentList.end())
      listName = (*doc)->DisplayName();
    else if (SelectorPtr && CurrentListRef == TListRef(SelectorPtr->Results()))
      listName = "Question Finder";
    text = "  Item " + std::to_string(Index + 1) + " of " + std::to_string(CurrentListRef.Count()) + " in " + listName;
    for (std::size_t i = 0; i < CurrentListRef.Count(); ++i) add(CurrentListRef.At(i));
  } else {
    text = SelectionList.size() == 1 ? std::string("1 item") : "  " + std::to_string(SelectionList.size()) + " items";
    for (const TStreamable* item : SelectionList) add(item);
  }
  if (marks > 0) text += ", total marks: " + std::to_string(marks);
  if (time > 0) text += ", time allowed: " + std::to_string(time) + " min";
  return text;
}

void TAppLogic::DocumentNotified(TObservable* sender, const TNotificationSet& codes) {
  if (!codes.Contains(AppCode::DocDestroy)) return;
  auto* doc = dynamic_cast<TDocLogic*>(sender);
  if (doc == nullptr) return;
  const auto it =
      std::find_if(DocumentList.begin(), DocumentList.end(), [&](const auto& d) { return d.get() == doc; });
  if (it != DocumentList.end()) {
    Closing.push_back(std::move(*it));
    DocumentList.erase(it);
  }
  TNotificationSet out;
  if (doc == CurrentDoc) {
    out.Include(AppCode::CurrentDoc);
    CurrentDoc = nullptr;
  }
  // Whether current or not, no window may go on reading the entries of a closed document.
  if (doc->Document) {
    const std::vector<TDocContent*>& entries = doc->Document->Entries;
    const TListRef list(entries);
    if (Source == list || Holds(SelectionList, entries)) {
      SelectionList.clear();
      Source = nullptr;
      out.Include(AppCode::CurrentSelection);
    }
    if (CurrentListRef == list) {
      CurrentListRef = nullptr;
      Index = -1;
      HistoryList.clear();
      out.Include(AppCode::CurrentList);
      out.Include(AppCode::History);
    } else if (Holds(HistoryList, entries)) {
      HistoryList.clear();
      out.Include(AppCode::History);
    }
  }
  if (!out.IsEmpty()) Notify(out);
  Relay.Detach(doc);
}

void TAppLogic::SearchResultsChanged(TObservable*, const TNotificationSet&) {
  const std::vector<TQuestion*>& results = SelectorPtr->Results();
  CurrentListRef = results;
  Index = 0;
  HistoryList.clear();
  SelectionList.clear();
  if (!results.empty()) {
    SelectionList.push_back(results.front());
    Source = results;
  } else {
    Source = nullptr;
  }
  Notify({AppCode::SearchResults, AppCode::CurrentList, AppCode::History, AppCode::CurrentSelection});
}

}  // namespace hv
