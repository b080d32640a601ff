#include "logic/DocHistory.h"

#include <algorithm>

#include "core/Errors.h"
#include "model/Segments.h"
#include "model/TextStore.h"

namespace hv {

namespace {

// What the allocator adds to each block, and what a vector or deque slot costs.
constexpr std::size_t kBlockOverhead = 16;

std::size_t ChunkCost(const TTextChunk* chunk) {
  if (chunk == nullptr) return 0;
  std::size_t bytes = sizeof(TTextChunk) + kBlockOverhead;
  if (chunk->Lines)
    for (const std::string& line : *chunk->Lines) bytes += sizeof(std::string) + line.capacity() + kBlockOverhead;
  return bytes;
}

// The entry at index must be the one a step recorded there, or the history and the document have
// parted ways and nothing may be touched.
void Expect(const TDocument& document, int index, const TDocContent* entry) {
  if (index < 0 || index >= static_cast<int>(document.Entries.size()) ||
      document.Entries[static_cast<std::size_t>(index)] != entry)
    throw EError("The undo history does not match the document");
}

}  // namespace

std::size_t EntryCost(const TDocContent& entry) {
  std::size_t bytes = sizeof(TOwningDocContent) + kBlockOverhead + 2 * sizeof(void*);
  if (entry.OwnsSegment() && entry.Segment != nullptr) {
    const auto& text = static_cast<const TText&>(*entry.Segment);
    bytes += sizeof(TText) + kBlockOverhead + text.Title.capacity() + ChunkCost(text.Chunk);
  }
  return bytes;
}

TPlaceStep::TPlaceStep(std::string name, TKind kind, TDocument& document,
                       std::vector<std::pair<int, TDocContent*>> places)
    : TDocStep(std::move(name)), Kind(kind), Places(std::move(places)) {
  std::sort(Places.begin(), Places.end());
  // What the history itself keeps: removed entries are held by the step, inserted ones live in
  // the document while the step can be undone.
  Bytes = sizeof(*this) + Places.size() * (sizeof(Places[0]) + sizeof(TEntryPtr));
  if (Kind == TKind::Removed)
    for (const auto& place : Places) Bytes += EntryCost(*place.second);
  if (Kind == TKind::Removed) TakeOut(document);
}

void TPlaceStep::TakeOut(TDocument& document) {
  for (auto it = Places.rbegin(); it != Places.rend(); ++it) Expect(document, it->first, it->second);
  Held.resize(Places.size());
  for (std::size_t i = Places.size(); i-- > 0;) Held[i] = document.DetachAt(Places[i].first);
}

void TPlaceStep::PutBack(TDocument& document) {
  // Checked before the first entry goes in, so a mismatch leaves every entry with one owner.
  bool fits = Held.size() == Places.size();
  for (std::size_t i = 0; fits && i < Places.size(); ++i)
    fits = Held[i] && Places[i].first >= 0 && static_cast<std::size_t>(Places[i].first) <= document.Entries.size() + i;
  if (!fits) throw EError("The undo history does not match the document");
  for (std::size_t i = 0; i < Places.size(); ++i) document.AttachAt(Places[i].first, std::move(Held[i]));
  Held.clear();
}

void TPlaceStep::Undo(TDocument& document) {
  if (Kind == TKind::Inserted)
    TakeOut(document);
  else
    PutBack(document);
}

void TPlaceStep::Redo(TDocument& document) {
  if (Kind == TKind::Inserted)
    PutBack(document);
  else
    TakeOut(document);
}

std::vector<TDocContent*> TPlaceStep::Touched() const {
  std::vector<TDocContent*> entries;
  if (!Held.empty()) return entries;
  entries.reserve(Places.size());
  for (const auto& place : Places) entries.push_back(place.second);
  return entries;
}

std::size_t TPlaceStep::Cost() const { return Bytes; }

void TPlaceStep::ForEachHeldChunk(const std::function<void(TTextChunk&)>& fn) {
  for (const TEntryPtr& entry : Held)
    if (entry && entry->OwnsSegment() && entry->Segment != nullptr && entry->Segment->Chunk != nullptr)
      fn(*entry->Segment->Chunk);
}

TMoveStep::TMoveStep(std::string name, int from, int to, const TDocument& document)
    : TDocStep(std::move(name)), From(from), To(to), Entry(document.Entries.at(static_cast<std::size_t>(to))) {}

void TMoveStep::Undo(TDocument& document) {
  Expect(document, To, Entry);
  document.MoveEntry(To, From);
}

void TMoveStep::Redo(TDocument& document) {
  Expect(document, From, Entry);
  document.MoveEntry(From, To);
}

TToggleStep::TToggleStep(std::string name, int index, const TDocument& document)
    : TDocStep(std::move(name)), Index(index), Entry(document.Entries.at(static_cast<std::size_t>(index))) {}

TSwapStep::TSwapStep(std::string name, int index, TEntryPtr replaced, const TDocument& document)
    : TDocStep(std::move(name)),
      Index(index),
      Other(std::move(replaced)),
      Current(document.Entries.at(static_cast<std::size_t>(index))) {
  // The step holds the replaced entry; the current one belongs to the document.
  Bytes = sizeof(*this) + EntryCost(*Other);
}

void TSwapStep::Swap(TDocument& document) {
  Expect(document, Index, Current);
  TEntryPtr out = document.DetachAt(Index);
  document.AttachAt(Index, std::move(Other));
  Current = document.Entries[static_cast<std::size_t>(Index)];
  Other = std::move(out);
}

std::size_t TSwapStep::Cost() const { return Bytes; }

void TSwapStep::ForEachHeldChunk(const std::function<void(TTextChunk&)>& fn) {
  if (Other && Other->OwnsSegment() && Other->Segment != nullptr && Other->Segment->Chunk != nullptr)
    fn(*Other->Segment->Chunk);
}

void TDocHistory::Push(std::unique_ptr<TDocStep> step) {
  while (Steps.size() > Position) {
    TotalCost -= Steps.back()->Cost();
    Steps.pop_back();
  }
  if (Clean > static_cast<long>(Position)) Clean = -1;  // the saved state was among the undone steps
  TotalCost += step->Cost();
  Steps.push_back(std::move(step));
  ++Position;
  // The newest step always stays, however large: it is the one a teacher reaches for.
  while (TotalCost > Budget && Steps.size() > 1) {
    TotalCost -= Steps.front()->Cost();
    Steps.pop_front();
    --Position;
    Clean = Clean > 0 ? Clean - 1 : -1;
  }
}

std::string TDocHistory::UndoName() const { return CanUndo() ? Steps[Position - 1]->Name : std::string(); }

std::string TDocHistory::RedoName() const { return CanRedo() ? Steps[Position]->Name : std::string(); }

const TDocStep& TDocHistory::Undo(TDocument& document) {
  if (!CanUndo()) throw EError("There is nothing to undo");
  TDocStep& step = *Steps[Position - 1];
  step.Undo(document);
  --Position;
  return step;
}

const TDocStep& TDocHistory::Redo(TDocument& document) {
  if (!CanRedo()) throw EError("There is nothing to redo");
  TDocStep& step = *Steps[Position];
  step.Redo(document);
  ++Position;
  return step;
}

void TDocHistory::Clear() {
  Steps.clear();
  Position = 0;
  Clean = 0;
  TotalCost = 0;
}

void TDocHistory::ForEachHeldChunk(const std::function<void(TTextChunk&)>& fn) {
  for (const auto& step : Steps) step->ForEachHeldChunk(fn);
}

}  // namespace hv
