#pragma once
// Rich texts kept outside the object stream: stores (open files) and chunks (records in them).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ObjectStream.h"
#include "core/Streams.h"

namespace hv {

// An open file holding chunk records; the library's text file or a document file.
class TTextStore {
public:
  explicit TTextStore(std::unique_ptr<TStream> stream) : Stream(std::move(stream)) {}
  std::unique_ptr<TStream> Stream;
};

// One RTF text: either in memory (Lines only), or a record at Offset of a store, read on demand.
//
// A record is a 4-byte line count, then per line a 4-byte length and the bytes, little-endian.
class TTextChunk : public TStreamable {
public:
  static constexpr const char* StaticClassName = "TTextChunk";
  const char* ClassName() const override { return StaticClassName; }

  TTextChunk() = default;
  explicit TTextChunk(std::vector<std::string> lines) : Lines(std::move(lines)) {}

  std::optional<std::vector<std::string>> Lines;  // absent while a stored chunk is not loaded
  TTextStore* Store = nullptr;
  std::int32_t Offset = 0;

  // The lines, read from the store on first use. A record that runs past its file gives the
  // "Stream read error" and leaves the chunk unloaded.
  std::vector<std::string>& GetLines();
  void ReleaseLines();  // stored chunks only
  // The first line, read from the store without loading the chunk (or from the lines of a chunk
  // in memory): another thread may do so while this one reads the same store.
  std::string ReadFirstLine() const;
  void FreeLines() { Lines.reset(); }
  std::unique_ptr<TTextChunk> Copy();
  void SaveToStore(TTextStore& store);
  bool IsLoaded() const { return Lines.has_value(); }

  void ReadFrom(TNetReader& reader) override;
  void WriteTo(TNetWriter& writer) const override;
};

std::unique_ptr<TTextChunk> MakeRTFChunk(std::initializer_list<std::string_view> parts);
std::unique_ptr<TTextChunk> NoMarkSchemeChunk();
// A one-paragraph text saying message, ended like every entry.
std::unique_ptr<TTextChunk> MessageChunk(std::string_view message);
std::unique_ptr<TTextChunk> NoReportChunk();

// Appends one chunk record to a stream at its end; answers the record's offset.
std::int64_t WriteChunkRecord(TStream& stream, const std::vector<std::string>& lines);

}  // namespace hv
