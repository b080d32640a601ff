#include "model/TextStore.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>

namespace hv {

namespace {

void PutInt32(std::string& out, std::uint32_t v) {
  const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
  out.append(b, 4);
}

// Reads the chunk record at offset through read(position, buffer, count), which reads exactly
// count bytes or throws; keeps at most maxLines lines. A record that runs past the end of its
// file (size bytes) gives the "Stream read error".
template <class TReadExact>
std::vector<std::string> ReadRecord(TReadExact&& read, std::int64_t offset, std::int64_t size, std::size_t maxLines) {
  std::vector<std::string> lines;
  if (offset < 0) throw EReadError(kStreamReadError);
  std::int64_t at = offset;
  auto int32 = [&] {
    std::uint8_t b[4];
    read(at, b, 4);
    at += 4;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                                     (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
  };
  const std::int32_t count = int32();
  // Each line needs at least its 4-byte length, so the count cannot outgrow the file.
  const std::int64_t room = (size - at) / 4;
  const auto most = static_cast<std::int64_t>(std::min<std::size_t>(maxLines, INT32_MAX));
  if (count > 0 && room > 0) lines.reserve(static_cast<std::size_t>(std::min<std::int64_t>({count, room, most})));
  for (std::int32_t i = 0; i < count && lines.size() < maxLines; ++i) {
    const std::int32_t length = int32();
    if (length < 0 || length > size - at) throw EReadError(kStreamReadError);
    std::string line(static_cast<std::size_t>(length), '\0');
    read(at, line.data(), line.size());
    at += length;
    const auto zero = line.find('\0');
    if (zero != std::string::npos) line.resize(zero);
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace

std::vector<std::string>& TTextChunk::GetLines() {
  if (Lines) return *Lines;
  if (Store == nullptr || !Store->Stream) return Lines.emplace();
  TStream& stream = *Store->Stream;
  auto read = [&](std::int64_t position, void* buffer, std::size_t count) {
    stream.Seek(position);
    stream.ReadBuffer(buffer, count);
  };
  return Lines.emplace(ReadRecord(read, Offset, stream.Size(), std::numeric_limits<std::size_t>::max()));
}

std::string TTextChunk::ReadFirstLine() const {
  if (Store == nullptr || !Store->Stream) return Lines && !Lines->empty() ? Lines->front() : std::string();
  const TStream& stream = *Store->Stream;
  auto read = [&](std::int64_t position, void* buffer, std::size_t count) {
    if (stream.ReadAt(position, buffer, count) != count) throw EReadError(kStreamReadError);
  };
  std::vector<std::string> lines = ReadRecord(read, Offset, stream.Size(), 1);
  return lines.empty() ? std::string() : std::move(lines.front());
}

void TTextChunk::ReleaseLines() {
  if (Store != nullptr) Lines.reset();
}

std::unique_ptr<TTextChunk> TTextChunk::Copy() {
  auto copy = std::make_unique<TTextChunk>(GetLines());
  ReleaseLines();
  return copy;
}

std::int64_t WriteChunkRecord(TStream& stream, const std::vector<std::string>& lines) {
  std::string record;
  std::size_t total = 4;
  for (const auto& line : lines) total += 4 + line.size();
  record.reserve(total);
  PutInt32(record, static_cast<std::uint32_t>(lines.size()));
  for (const auto& line : lines) {
    if (line.size() > static_cast<std::size_t>(INT32_MAX)) throw EInOutError("Text too large to store");
    PutInt32(record, static_cast<std::uint32_t>(line.size()));
    record += line;
  }
  const std::int64_t offset = stream.SeekEnd();
  stream.Write(record.data(), record.size());
  return offset;
}

void TTextChunk::SaveToStore(TTextStore& store) {
  if (!store.Stream) throw EInOutError("Text store is not open");
  const std::vector<std::string>& lines = GetLines();
  const std::int64_t offset = WriteChunkRecord(*store.Stream, lines);
  if (offset > INT32_MAX) throw EInOutError("Text store too large");
  Offset = static_cast<std::int32_t>(offset);
  Store = &store;
  ReleaseLines();
}

void TTextChunk::ReadFrom(TNetReader& reader) {
  Store = reader.TextStore;
  if (reader.Version < 6) reader.ReadBoolean();
  Offset = reader.ReadInteger();
}

void TTextChunk::WriteTo(TNetWriter& writer) const { writer.WriteInteger(Offset); }

std::unique_ptr<TTextChunk> MakeRTFChunk(std::initializer_list<std::string_view> parts) {
  std::string line;
  for (auto p : parts) line += p;
  return std::make_unique<TTextChunk>(std::vector<std::string>{std::move(line)});
}

namespace {
std::unique_ptr<TTextChunk> StubChunk(std::string_view message) {
  return MakeRTFChunk({"{\\rtf1\\ansi\\ansicpg1252\\uc0 \\deff1", "{\\fonttbl{\\f0\\froman\\fcharset0 TIMES NEW ROMAN;}}",
                       "\\pard\\plain\\sa480\\f0\\fs24 ", message, "\\par\\par -\\par}"});
}
}  // namespace

std::unique_ptr<TTextChunk> MessageChunk(std::string_view message) {
  // RTF's own characters in the message are escaped; the rest is Windows-1252 as held.
  std::string escaped;
  for (char c : message) {
    if (c == '\\' || c == '{' || c == '}') escaped += '\\';
    escaped += c;
  }
  return StubChunk("  " + escaped);
}

std::unique_ptr<TTextChunk> NoMarkSchemeChunk() { return StubChunk("  No mark scheme available"); }

std::unique_ptr<TTextChunk> NoReportChunk() { return StubChunk("  No Report available for this question."); }

}  // namespace hv
