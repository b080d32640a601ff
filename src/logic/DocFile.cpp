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
  TDocumentFile file;
  const std::int64_t size = stream.Size();
  stream.Seek(0);
  file.StreamOffset = GetInt32(stream);
  if (file.StreamOffset < 4 || file.StreamOffset >= size) throw EReadError(kStreamReadError);
  stream.Seek(file.StreamOffset);
  TNetReader reader(stream, 4096);
  reader.TextStore = store;
  file.Version = reader.ReadVersion();
  if (file.Version > kDocumentVersion) throw EDataError("Incorrect file version");
  file.Subject = reader.ReadString();
  if (expectedSubject && file.Subject != *expectedSubject) throw EDataError("Incorrect library");
  file.Document = reader.ReadObjectGraphAs<TDocument>();
  // A record outside the text part would be read from the object stream or beyond the file.
  for (const TDocContent* entry : file.Document->Entries) {
    const TTextChunk* chunk = FreeTextChunk(entry);
    if (chunk != nullptr && (chunk->Offset < 4 || chunk->Offset >= file.StreamOffset))
      throw EReadError(kStreamReadError);
  }
  return file;
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
