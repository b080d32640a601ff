#include "logic/DocFile.h"

#include <climits>

#include "core/ObjectStream.h"
#include "model/Segments.h"

namespace hv {

namespace {

void PutInt32(TStream& stream, std::int64_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                             static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
  stream.Write(b, 4);
}

std::int32_t GetInt32(TStream& stream) {
  std::uint8_t b[4];
  stream.ReadBuffer(b, 4);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                                   (static_cast<std::uint32_t>(b[2]) << 16) |
                                   (static_cast<std::uint32_t>(b[3]) << 24));
}

TTextChunk* FreeTextChunk(const TDocContent* entry) {
  if (!entry->OwnsSegment() || entry->Segment == nullptr) return nullptr;
  return entry->Segment->Chunk;
}

// Puts the chunks' offsets back however the write ends.
class TOffsetRestorer {
public:
  explicit TOffsetRestorer(std::vector<std::pair<TTextChunk*, std::int32_t>> saved) : Saved(std::move(saved)) {}
  ~TOffsetRestorer() {
    for (auto& [chunk, offset] : Saved) chunk->Offset = offset;
  }
  TOffsetRestorer(const TOffsetRestorer&) = delete;
  TOffsetRestorer& operator=(const TOffsetRestorer&) = delete;

private:
  std::vector<std::pair<TTextChunk*, std::int32_t>> Saved;
};

}  // namespace

TDocumentFile ReadDocumentFile(TStream& stream, TTextStore* store, std::optional<std::string_view> expectedSubject) {
  using TKind = EDocumentFileError::TKind;
  const auto notADocument = [] { return EDocumentFileError(TKind::NotADocument, "it is not a test document"); };
  TDocumentFile file;
  const std::int64_t size = stream.Size();
  stream.Seek(0);
  if (size < 8) throw notADocument();
  file.StreamOffset = GetInt32(stream);
  if (file.StreamOffset < 4 || file.StreamOffset >= size) throw notADocument();
  stream.Seek(file.StreamOffset);
  TNetReader reader(stream, 4096);
  reader.TextStore = store;
  // A document holds its entries, its free texts and their chunks, nothing else; any other
  // class is refused by name before it is made, whatever its body would cost to read.
  reader.AllowedClasses = {TDocument::StaticClassName, TDocContent::StaticClassName,
                           TOwningDocContent::StaticClassName, TText::StaticClassName, TTextChunk::StaticClassName};
  try {
    file.Version = reader.ReadVersion();
    file.Subject = reader.ReadString();
  } catch (const EError&) {
    throw notADocument();
  }
  if (file.Version > kDocumentVersion)
    throw EDocumentFileError(TKind::NewerVersion, "Incorrect file version: the file has version " +
                                                      std::to_string(file.Version) + ", this program reads up to " +
                                                      std::to_string(kDocumentVersion));
  if (expectedSubject && file.Subject != *expectedSubject)
    throw EDocumentFileError(TKind::OtherLibrary, "Incorrect library: the test was made for the library \"" +
                                                      file.Subject + "\", and the library open is \"" +
                                                      std::string(*expectedSubject) + "\"");
  try {
    file.Document = reader.ReadObjectGraphAs<TDocument>();
  } catch (const EError& e) {
    // A fault before the first object is read means the stream never was a document's.
    if (reader.FailureLocation.rfind("object", 0) != 0) throw notADocument();
    throw EDocumentFileError(TKind::Damaged, std::string("the file is damaged at ") + reader.FailureLocation + ": " +
                                                 e.what());
  }
  file.Warnings = std::move(reader.Warnings);

  const std::vector<TDocContent*>& entries = file.Document->Entries;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    TDocContent* entry = entries[i];
    if (entry->Placeholder) file.MissingIDs.push_back(entry->Placeholder->TypedID);
    TTextChunk* chunk = FreeTextChunk(entry);
    if (chunk == nullptr) continue;
    // Each record is read once now, so a damaged one is named at opening rather than failing
    // every later save; a record outside the text part would be read from the object stream.
    std::string reason;
    if (chunk->Offset < 4 || chunk->Offset >= file.StreamOffset) {
      reason = "its record lies outside the texts of the file";
    } else {
      try {
        chunk->GetLines();
      } catch (const EError& e) {
        reason = e.what();
      }
      chunk->ReleaseLines();
    }
    if (reason.empty()) continue;
    entry->Damage = reason;
    entry->Segment->SetChunk(MessageChunk("This text could not be read when the test was opened (" + reason + ")."));
    file.Damaged.push_back({i, reason});
  }
  return file;
}

std::string ReadDocumentSubject(const std::string& fileName) {
  using TKind = EDocumentFileError::TKind;
  TFileStream stream(fileName, TFileStream::TMode::OpenRead);
  const std::int64_t size = stream.Size();
  if (size < 8) throw EDocumentFileError(TKind::NotADocument, "it is not a test document");
  const std::int32_t p = GetInt32(stream);
  if (p < 4 || p >= size) throw EDocumentFileError(TKind::NotADocument, "it is not a test document");
  stream.Seek(p);
  TNetReader reader(stream, 4096);
  try {
    if (reader.ReadVersion() > kDocumentVersion)
      throw EDocumentFileError(TKind::NewerVersion, "Incorrect file version");
    return reader.ReadString();
  } catch (const EDocumentFileError&) {
    throw;
  } catch (const EError&) {
    throw EDocumentFileError(TKind::NotADocument, "it is not a test document");
  }
}

std::string DescribeEntry(const TDocument& document, std::size_t index) {
  std::string text = "entry " + std::to_string(index + 1);
  if (index >= document.Entries.size()) return text;
  const TDocContent* entry = document.Entries[index];
  if (entry->Numbered) text += ", number " + std::to_string(entry->Number);
  if (entry->Segment == nullptr) return text;
  if (entry->OwnsSegment())
    text += ", \"" + entry->Segment->GetName() + "\"";
  else
    text += ", " + entry->Segment->GetID();
  return text;
}

TDocumentFile DecodeDocumentFile(const std::string& fileName, std::optional<std::string_view> expectedSubject) {
  auto store = std::make_unique<TTextStore>(std::make_unique<TFileStream>(fileName, TFileStream::TMode::OpenRead));
  TDocumentFile file = ReadDocumentFile(*store->Stream, store.get(), expectedSubject);
  file.Store = std::move(store);
  return file;
}

std::vector<TChunkPlacement> WriteDocumentFile(TStream& stream, const TDocument& document, std::string_view subject) {
  stream.Seek(0);
  PutInt32(stream, 0);
  std::vector<TChunkPlacement> placements;
  for (const TDocContent* entry : document.Entries) {
    TTextChunk* chunk = FreeTextChunk(entry);
    if (chunk == nullptr) continue;
    const bool wasLoaded = chunk->IsLoaded();
    std::int64_t offset = 0;
    try {
      offset = WriteChunkRecord(stream, chunk->GetLines());
    } catch (...) {
      if (!wasLoaded) chunk->ReleaseLines();
      throw;
    }
    if (!wasLoaded) chunk->ReleaseLines();
    if (offset > INT32_MAX) throw EInOutError("Document too large to save");
    placements.push_back({chunk, static_cast<std::int32_t>(offset)});
  }
  const std::int64_t p = stream.SeekEnd();
  if (p > INT32_MAX) throw EInOutError("Document too large to save");
  stream.Seek(0);
  PutInt32(stream, p);
  stream.Seek(p);

  // The graph records each chunk's new offset; the chunks get their old ones back afterwards.
  std::vector<std::pair<TTextChunk*, std::int32_t>> saved;
  saved.reserve(placements.size());
  for (const TChunkPlacement& placement : placements) saved.emplace_back(placement.Chunk, placement.Chunk->Offset);
  TOffsetRestorer restorer(std::move(saved));
  for (const TChunkPlacement& placement : placements) placement.Chunk->Offset = placement.Offset;
  TNetWriter writer(stream, 4096);
  writer.WriteVersion(kDocumentVersion);
  writer.WriteString(subject);
  writer.WriteObjectGraph(document);
  writer.Flush();
  return placements;
}

}  // namespace hv
