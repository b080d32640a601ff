// Reads a document graph against a fixed library, at version 10 and at the version named by the
// first input byte; whatever is accepted must renumber, clone, derive and round-trip cleanly.
#include <cstdint>
#include <cstdlib>

#include "FuzzModel.h"

using namespace hv;

namespace {

TTextStore* gStore = nullptr;
TLibrary* gLibrary = nullptr;

// A graph in the version 7 to 9 layout, where the tree letter of a text is a boolean.
fuzz::TBytes OldLayoutDocument() {
  fuzz::TBytes b;
  auto byte = [&](int v) { b.push_back(static_cast<std::uint8_t>(v)); };
  auto integer = [&](int v) { byte(2), byte(v); };
  auto str = [&](std::string_view s) {
    byte(6), byte(static_cast<int>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
  };
  auto fresh = [&](std::string_view cls) { integer(-1), str(cls); };
  integer(5);
  fresh("TDocument");
  byte(1), integer(2), fresh("TDocContent"), fresh("TOwningDocContent"), byte(0);
  byte(9), integer(1), str("QA107");
  byte(8), integer(0), fresh("TText");
  byte(9), str("1.1"), fresh("TTextChunk"), integer(2), integer(3), str("Old title");
  integer(0);
  return b;
}

void WriteSeeds(const std::string& dir) {
  TDocument doc;
  TIdentityCategory* q07 = gLibrary->FindIdentity("A107", 'Q');
  TIdentityCategory* r1 = gLibrary->FindIdentity("R1", 'R');
  doc.InsertEntries({q07->Question, q07->MarkScheme, q07->ExaminersReport, q07->Note,
                     gLibrary->FindIdentity("1.1", 'S')->Syllabus, r1, gLibrary->FindIdentity("A108", 'Q')->Question},
                    -1);
  doc.InsertText(0, "Test title", false, fuzz::StoredChunk(gStore, 0), 0, 0);
  doc.InsertText(-1, "Section", true, fuzz::StoredChunk(gStore, fuzz::kSecondRecord), 5, 2);
  doc.ReplaceText(2, "Edited question", true, std::make_unique<TTextChunk>(std::vector<std::string>{"{\\rtf1 e}"}),
                  7, 3);
  doc.InsertText(-1, "No chunk", false, nullptr, 0, 0);
  const fuzz::TBytes graph = fuzz::GraphBytes(doc);
  fuzz::WriteSeed(dir, "document_v10", graph);
  fuzz::TBytes prefixed{10};
  prefixed.insert(prefixed.end(), graph.begin(), graph.end());
  fuzz::WriteSeed(dir, "document_prefixed_v10", prefixed);
  for (std::uint8_t version : {7, 8, 9}) {
    fuzz::TBytes old{version};
    const fuzz::TBytes body = OldLayoutDocument();
    old.insert(old.end(), body.begin(), body.end());
    fuzz::WriteSeed(dir, "document_prefixed_v" + std::to_string(version), old);
  }
  fuzz::WriteSeed(dir, "document_empty", fuzz::GraphBytes(TDocument()));
}

void CheckNumbers(const TDocument& doc) {
  std::int16_t expected = 1;
  for (const TDocContent* entry : doc.Entries)
    if (entry->Numbered && entry->Number != expected++) std::abort();
}

// A derived document has one entry per question of its source, in order, each numbered as its
// question is, so a scheme reads 3 where its question did.
void CheckDerived(const TDocument& source, const TDocument& derived) {
  std::size_t next = 0;
  for (const TDocContent* entry : source.Entries) {
    if (dynamic_cast<const TQuestion*>(entry->Segment) == nullptr) continue;
    if (next >= derived.Entries.size()) std::abort();
    const TDocContent* made = derived.Entries[next++];
    if (made->Numbered != entry->Numbered || (entry->Numbered && made->Number != entry->Number)) std::abort();
  }
  if (next != derived.Entries.size()) std::abort();
}

void Exercise(TDocument& doc) {
  for (TDocContent* entry : doc.Entries) {
    if (entry->Segment == nullptr) std::abort();
    if (entry->OwnsSegment() != (dynamic_cast<TText*>(entry->Segment) != nullptr)) std::abort();
    entry->Segment->GetName();
    // A library entry is the library's own item; one the library lacks stands in as a placeholder
    // that keeps its ID, and only then.
    if (!entry->OwnsSegment()) {
      TTextSegment* found = gLibrary->LookupSegment(entry->Segment->GetID());
      if (entry->Placeholder != nullptr ? found != nullptr : found != entry->Segment) std::abort();
    }
    if (TTextChunk* chunk = entry->Segment->Chunk) {
      try {
        chunk->GetLines();
      } catch (const EError&) {
      }
      chunk->ReleaseLines();
    }
  }

  // Written again, the graph reads back to the same bytes.
  const fuzz::TBytes first = fuzz::GraphBytes(doc);
  {
    TMemoryStream s(first);
    TNetReader r(s);
    r.Version = 10;
    r.TextStore = gStore;
    std::unique_ptr<TDocument> again;
    try {
      again = r.ReadObjectGraphAs<TDocument>();
    } catch (const EError&) {
      std::abort();
    }
    if (fuzz::GraphBytes(*again) != first) std::abort();
  }

  doc.Renumber();
  CheckNumbers(doc);
  TDocument copy;
  std::vector<TStreamable*> items(doc.Entries.begin(), doc.Entries.end());
  try {
    copy.InsertEntries(items, -1);
  } catch (const EError&) {
  }
  CheckNumbers(copy);
  TDocument schemes;
  schemes.AddMarkSchemes(doc);
  CheckDerived(doc, schemes);
  TDocument reports;
  reports.AddReports(doc);
  CheckDerived(doc, reports);
  if (!copy.Entries.empty()) {
    copy.ToggleNumbered(0);
    copy.MoveEntry(0, static_cast<int>(copy.Entries.size()) - 1);
    // A placeholder cannot be edited: the edit is refused with an error and nothing changes.
    const bool placeholder = copy.Entries[0]->Placeholder != nullptr;
    try {
      copy.ReplaceText(0, "Replaced", true, nullptr, 1, 1);
      if (placeholder) std::abort();
    } catch (const EError&) {
      if (!placeholder) throw;
    }
    CheckNumbers(copy);
    copy.RemoveEntries({copy.Entries.back(), copy.Entries.front()});
    CheckNumbers(copy);
  }
}

void ReadAt(const std::uint8_t* data, std::size_t size, std::int32_t version) {
  TMemoryStream stream(data, size);
  TNetReader reader(stream);
  reader.Version = version;
  reader.TextStore = gStore;
  std::unique_ptr<TDocument> doc;
  try {
    doc = reader.ReadObjectGraphAs<TDocument>();
  } catch (const EError&) {
    return;
  }
  Exercise(*doc);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  RegisterModelClasses();
  gStore = fuzz::FuzzStore().release();
  gLibrary = fuzz::FuzzLibrary(gStore).release();
  CurrentLibrary = gLibrary;
  fuzz::MaybeWriteSeeds(WriteSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ReadAt(data, size, 10);
  if (size > 0) ReadAt(data + 1, size - 1, data[0]);
  return 0;
}
