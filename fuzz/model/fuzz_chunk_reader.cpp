// Treats the input as a text store file and reads chunk records at offsets taken from its first
// bytes; whatever loads must copy and save into a new store unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FuzzModel.h"

using namespace hv;

namespace {

void WriteSeeds(const std::string& dir) {
  fuzz::WriteSeed(dir, "two_records", fuzz::FuzzTextFile());
  // An offset in front, pointing at a record behind four junk bytes.
  TMemoryStream s;
  const std::uint8_t head[8] = {8, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F};
  s.Write(head, sizeof head);
  WriteChunkRecord(s, {"{\\rtf1 a}", "", std::string(300, 'x')});
  fuzz::WriteSeed(dir, "offset_first", s.Data());
  TMemoryStream empty;
  WriteChunkRecord(empty, {});
  fuzz::WriteSeed(dir, "no_lines", empty.Data());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MaybeWriteSeeds(WriteSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TTextStore store(std::make_unique<TMemoryStream>(data, size));
  std::vector<std::int32_t> offsets{0};
  if (size >= 1) offsets.push_back(data[0]);
  if (size >= 4) {
    std::uint32_t v = 0;
    std::memcpy(&v, data, 4);
    offsets.push_back(static_cast<std::int32_t>(v));
    offsets.push_back(static_cast<std::int32_t>(size) - 4);
  }
  for (std::int32_t offset : offsets) {
    TTextChunk chunk;
    chunk.Store = &store;
    chunk.Offset = offset;
    std::vector<std::string> lines;
    try {
      lines = chunk.GetLines();
    } catch (const EError&) {
      if (chunk.IsLoaded()) std::abort();
      continue;
    }
    std::size_t total = 4;
    for (const auto& line : lines) {
      if (line.find('\0') != std::string::npos) std::abort();
      total += 4 + line.size();
    }
    if (total - 4 - 4 * lines.size() > size) std::abort();  // lines are cut, never grown
    std::unique_ptr<TTextChunk> copy = chunk.Copy();
    if (chunk.IsLoaded() || !copy->IsLoaded() || *copy->Lines != lines) std::abort();
    TTextStore target(std::make_unique<TMemoryStream>());
    copy->SaveToStore(target);
    if (copy->Store != &target || copy->Offset != 0 || copy->IsLoaded()) std::abort();
    if (target.Stream->Size() != static_cast<std::int64_t>(total)) std::abort();
    if (copy->GetLines() != lines) std::abort();
  }
  return 0;
}
