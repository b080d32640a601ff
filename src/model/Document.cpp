#include "model/Document.h"

#include <algorithm>

#include "model/Categories.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "model/TextStore.h"

namespace hv {

TDocContent::TDocContent() = default;

TDocContent::TDocContent(TTextSegment* segment, bool numbered) : Numbered(numbered), Segment(segment) {}

TDocContent::~TDocContent() = default;

std::unique_ptr<TDocContent> TDocContent::MakePlaceholder(std::string typedId, std::string caption, bool numbered) {
  auto entry = std::make_unique<TDocContent>();
  entry->Numbered = numbered;
  entry->Placeholder = std::make_unique<TPlaceholderSegment>(std::move(typedId), std::move(caption));
  entry->Segment = entry->Placeholder.get();
  return entry;
}

std::unique_ptr<TDocContent> TDocContent::Clone() const {
  if (Placeholder) return MakePlaceholder(Placeholder->TypedID, Placeholder->Caption, Numbered);
  return std::make_unique<TDocContent>(Segment, Numbered);
}

void TDocContent::ReadFrom(TNetReader& reader) {
  Numbered = reader.ReadBoolean();
  Number = reader.ReadSmallInt("an entry number");
  std::string id = reader.ReadString();
  // An item a newer edition of the library dropped keeps its place and its reference, so the
  // teacher's own texts still open and the old library finds the item again after a save.
  Segment = CurrentLibrary != nullptr ? CurrentLibrary->LookupSegment(id) : nullptr;
  if (Segment == nullptr) {
    std::string caption = MissingItemCaption(id);
    Placeholder = std::make_unique<TPlaceholderSegment>(std::move(id), std::move(caption));
    Segment = Placeholder.get();
  }
}

void TDocContent::WriteTo(TNetWriter& writer) const {
  writer.WriteBoolean(Numbered);
  writer.WriteInteger(Number);
  writer.WriteString(Segment != nullptr ? Segment->GetID() : std::string());
}

TOwningDocContent::TOwningDocContent(TText* text, bool numbered) : TDocContent(text, numbered) {}

TOwningDocContent::~TOwningDocContent() { delete Segment; }

TText* TOwningDocContent::Text() const { return static_cast<TText*>(Segment); }

std::unique_ptr<TDocContent> TOwningDocContent::Clone() const {
  std::unique_ptr<TText> text = Text()->CreateText();
  if (Text()->Chunk != nullptr) text->SetChunk(Text()->Chunk->Copy());
  auto entry = std::make_unique<TOwningDocContent>(text.release(), Numbered);
  entry->Damage = Damage;
  return entry;
}

void TOwningDocContent::ReadFrom(TNetReader& reader) {
  Numbered = reader.ReadBoolean();
  Number = reader.ReadSmallInt("an entry number");
  Segment = reader.ReadOwned<TText>(true);
}

void TOwningDocContent::WriteTo(TNetWriter& writer) const {
  writer.WriteBoolean(Numbered);
  writer.WriteInteger(Number);
  writer.WriteReference(Segment);
}

int TOwningDocContent::ObjectCount() const { return 1 + (Segment != nullptr ? Segment->ObjectCount() : 0); }

TDocument::~TDocument() {
  for (TDocContent* entry : Entries) entry->Dispose();
}

void TDocument::CheckIndex(int index) const {
  if (index < 0 || index >= static_cast<int>(Entries.size())) throw EListError::Index(index);
}

void TDocument::InsertAt(int position, std::unique_ptr<TDocContent> entry) {
  if (position < 0) {
    Entries.push_back(entry.get());
  } else {
    if (position > static_cast<int>(Entries.size())) throw EListError::Index(position);
    Entries.insert(Entries.begin() + position, entry.get());
  }
  entry.release();
}

void TDocument::CheckNumberingRoom(std::size_t added) const {
  const auto numbered = static_cast<std::size_t>(
      std::count_if(Entries.begin(), Entries.end(), [](const TDocContent* e) { return e->Numbered; }));
  if (numbered + added > static_cast<std::size_t>(kMaxNumberedEntries))
    throw ERangeError("A test can number at most " + std::to_string(kMaxNumberedEntries) + " entries");
}

void TDocument::InsertEntries(const std::vector<TStreamable*>& items, int position) {
  CheckNumberingRoom(items.size());
  int k = 0;
  try {
    for (TStreamable* item : items) {
      std::unique_ptr<TDocContent> entry;
      if (auto* content = dynamic_cast<TDocContent*>(item)) {
        entry = content->Clone();
      } else if (auto* node = dynamic_cast<TIdentityCategory*>(item)) {
        if (CurrentLibrary == nullptr) throw EDataError("No text for ID: R" + FullID(node));
        entry = CurrentLibrary->FindSegment("R" + FullID(node), false)->CreateContent();
      } else if (auto* text = dynamic_cast<TText*>(item)) {
        // A text's CreateContent adopts it; the caller's text stays with whoever owns it.
        std::unique_ptr<TText> copy = text->CreateText();
        if (text->Chunk != nullptr) copy->SetChunk(text->Chunk->Copy());
        entry = copy->CreateContent();
        copy.release();
      } else if (auto* segment = dynamic_cast<TTextSegment*>(item)) {
        entry = segment->CreateContent();
      } else {
        throw EDataError("Invalid item for a document");
      }
      InsertAt(position < 0 ? -1 : position + k, std::move(entry));
      ++k;
    }
  } catch (...) {
    // Entries already inserted stay, numbered like every other.
    Renumber();
    throw;
  }
  Renumber();
}

void TDocument::RemoveEntries(const std::vector<TDocContent*>& entries) {
  for (TDocContent* entry : entries) {
    const auto it = std::find(Entries.begin(), Entries.end(), entry);
    if (it == Entries.end()) continue;  // not ours, or already removed
    Entries.erase(it);
    entry->Dispose();
  }
  Renumber();
}

void TDocument::MoveEntry(int from, int to) {
  CheckIndex(from);
  CheckIndex(to);
  TDocContent* entry = Entries[static_cast<std::size_t>(from)];
  Entries.erase(Entries.begin() + from);
  Entries.insert(Entries.begin() + to, entry);
  Renumber();
}

void TDocument::ToggleNumbered(int index) {
  CheckIndex(index);
  if (!Entries[static_cast<std::size_t>(index)]->Numbered) CheckNumberingRoom(1);
  Entries[static_cast<std::size_t>(index)]->Numbered = !Entries[static_cast<std::size_t>(index)]->Numbered;
  Renumber();
}

namespace {
void SetTextFields(TDocContent& entry, std::string_view name, bool numbered, std::unique_ptr<TTextChunk> chunk,
                   std::int16_t time, std::int16_t marks) {
  entry.Numbered = numbered;
  TTextSegment& text = *entry.Segment;
  text.SetName(name);
  text.Marks = marks;
  text.Time = time;
  text.SetChunk(std::move(chunk));
}
}  // namespace

TEntryPtr TDocument::ReplaceText(int index, std::string_view name, bool numbered, std::unique_ptr<TTextChunk> chunk,
                                 std::int16_t time, std::int16_t marks) {
  CheckIndex(index);
  TDocContent*& slot = Entries[static_cast<std::size_t>(index)];
  if (slot->Placeholder) throw EDataError(slot->Placeholder->Caption + ": it cannot be edited");
  if (numbered && !slot->Numbered) CheckNumberingRoom(1);
  // Editing a library item turns the entry into an owned copy that remembers where it came from.
  // A damaged entry gets a sound new text in its place.
  std::unique_ptr<TText> text;
  if (slot->OwnsSegment()) {
    text = static_cast<TOwningDocContent*>(slot)->Text()->CreateText();
  } else {
    text = std::make_unique<TText>();
    text->Identity = slot->Segment != nullptr ? slot->Segment->Identity : nullptr;
  }
  std::unique_ptr<TDocContent> entry = text->CreateContent();
  text.release();
  SetTextFields(*entry, name, numbered, std::move(chunk), time, marks);
  TEntryPtr old(slot);
  slot = entry.release();
  Renumber();
  return old;
}

TEntryPtr TDocument::DetachAt(int index) {
  CheckIndex(index);
  TEntryPtr entry(Entries[static_cast<std::size_t>(index)]);
  Entries.erase(Entries.begin() + index);
  Renumber();
  return entry;
}

void TDocument::AttachAt(int index, TEntryPtr entry) {
  if (!entry) throw EDataError("No entry to put back");
  if (index < 0 || index > static_cast<int>(Entries.size())) throw EListError::Index(index);
  Entries.insert(Entries.begin() + index, entry.get());
  entry.release();
  Renumber();
}

void TDocument::InsertText(int position, std::string_view name, bool numbered, std::unique_ptr<TTextChunk> chunk,
                           std::int16_t time, std::int16_t marks) {
  if (numbered) CheckNumberingRoom(1);
  auto text = std::make_unique<TText>();
  std::unique_ptr<TDocContent> entry = text->CreateContent();
  text.release();
  TDocContent* raw = entry.get();
  InsertAt(position, std::move(entry));
  SetTextFields(*raw, name, numbered, std::move(chunk), time, marks);
  Renumber();
}

template <class TPick>
void TDocument::AddDerived(const TDocument& source, TPick pick, std::unique_ptr<TTextChunk> (*stub)()) {
  for (const TDocContent* entry : source.Entries) {
    auto* question = dynamic_cast<TQuestion*>(entry->Segment);
    if (question == nullptr) continue;
    TTextSegment* derived = question->Identity != nullptr ? pick(*question->Identity) : nullptr;
    std::unique_ptr<TDocContent> made;
    if (derived != nullptr) {
      made = std::make_unique<TDocContent>(derived, entry->Numbered);
    } else {
      std::unique_ptr<TText> text = question->CreateText();
      text->SetChunk(stub());
      made = std::make_unique<TOwningDocContent>(text.release(), entry->Numbered);
    }
    // A derived entry carries the number of its question, so the scheme for question 3 reads 3
    // even where the test numbers titles or free texts between its questions.
    made->Number = entry->Number;
    Entries.push_back(made.get());
    made.release();
  }
}

void TDocument::AddMarkSchemes(const TDocument& source) {
  AddDerived(source, [](TIdentityCategory& node) -> TTextSegment* { return node.MarkScheme; }, NoMarkSchemeChunk);
}

void TDocument::AddReports(const TDocument& source) {
  AddDerived(source, [](TIdentityCategory& node) -> TTextSegment* { return node.ExaminersReport; }, NoReportChunk);
}

void TDocument::Renumber() {
  std::int16_t counter = 1;
  for (TDocContent* entry : Entries)
    if (entry->Numbered) entry->Number = counter++;
}

int TDocument::IndexOf(const TDocContent* entry) const {
  const auto it = std::find(Entries.begin(), Entries.end(), entry);
  return it == Entries.end() ? -1 : static_cast<int>(it - Entries.begin());
}

int TDocument::TotalMarks() const {
  int total = 0;
  for (const TDocContent* entry : Entries)
    if (entry->Segment != nullptr) total += entry->Segment->Marks;
  return total;
}

int TDocument::TotalTime() const {
  int total = 0;
  for (const TDocContent* entry : Entries)
    if (entry->Segment != nullptr) total += entry->Segment->Time;
  return total;
}

void TDocument::ReadFrom(TNetReader& reader) { reader.ReadRefList(Entries, true); }

void TDocument::WriteTo(TNetWriter& writer) const { writer.WriteReferenceList(Entries); }

int TDocument::ObjectCount() const { return 1 + CountObjects(Entries); }

}  // namespace hv
