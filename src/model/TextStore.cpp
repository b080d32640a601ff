#include "model/TextStore.h"

#include <climits>
#include <cstring>

namespace hv {

namespace {

std::int32_t ReadInt32(TStream& stream) {
  std::uint8_t b[4];
  stream.ReadBuffer(b, 4);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                                   (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
}

void PutInt32(std::string& out, std::uint32_t v) {
  const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
  out.append(b, 4);
}

}  // namespace

std::vector<std::string>& TTextChunk::GetLines() {
  if (Lines) return *Lines;
  Lines.emplace();
  if (Store == nullptr || !Store->Stream) return *Lines;
  TStream& stream = *Store->Stream;
  try {
    if (Offset < 0) throw EReadError(kStreamReadError);
    const std::int64_t size = stream.Size();
    stream.Seek(Offset);
    const std::int32_t count = ReadInt32(stream);
    // Each line needs at least its 4-byte length, so the count cannot outgrow the file.
    const std::int64_t room = (size - stream.Position()) / 4;
    if (count > 0) Lines->reserve(static_cast<std::size_t>(std::min<std::int64_t>(count, room)));
    for (std::int32_t i = 0; i < count; ++i) {
      const std::int32_t length = ReadInt32(stream);
      if (length < 0 || length > size - stream.Position()) throw EReadError(kStreamReadError);
      std::string line(static_cast<std::size_t>(length), '\0');
      stream.ReadBuffer(line.data(), line.size());
      const auto zero = line.find('\0');
      if (zero != std::string::npos) line.resize(zero);
      Lines->push_back(std::move(line));
    }
  } catch (...) {
    Lines.reset();
    throw;
  }
  return *Lines;
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
