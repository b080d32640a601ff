// Chunks and stores: records read on demand, saved by appending, and the stub texts.
#include <gtest/gtest.h>

#include "ModelTestSupport.h"

namespace hv::test {
namespace {

std::unique_ptr<TTextChunk> StoredAt(TTextStore& store, std::int32_t offset) {
  auto chunk = std::make_unique<TTextChunk>();
  chunk->Store = &store;
  chunk->Offset = offset;
  return chunk;
}

TEST(ChunkRecords, ReadsAnyNumberOfLinesAtTheOffset) {
  TByteVector file{0xAA, 0xBB, 0xCC};  // records lie wherever their offsets say
  const TByteVector empty = ChunkRecord({});
  const TByteVector three = ChunkRecord({"{\\rtf1 one}", "", "three"});
  file.insert(file.end(), empty.begin(), empty.end());
  file.insert(file.end(), three.begin(), three.end());
  auto store = MemoryStore(file);
  auto none = StoredAt(*store, 3);
  EXPECT_TRUE(none->GetLines().empty());
  EXPECT_TRUE(none->IsLoaded());
  auto lines = StoredAt(*store, 3 + static_cast<std::int32_t>(empty.size()));
  EXPECT_EQ(lines->GetLines(), (std::vector<std::string>{"{\\rtf1 one}", "", "three"}));
}

TEST(ChunkRecords, ALineEndsAtItsFirstZeroByte) {
  auto store = MemoryStore(ChunkRecord({std::string("abc\0def", 7), std::string("\0x", 2)}));
  auto chunk = StoredAt(*store, 0);
  EXPECT_EQ(chunk->GetLines(), (std::vector<std::string>{"abc", ""}));
}

TEST(ChunkRecords, RecordsBeyondTheFileFailAndStayUnloaded) {
  TByteVector record = ChunkRecord({"hello"});
  auto store = MemoryStore(record);
  for (std::int32_t offset : {static_cast<std::int32_t>(record.size()), 1000, -4}) {
    auto chunk = StoredAt(*store, offset);
    HV_EXPECT_ERROR(chunk->GetLines(), EReadError, "Stream read error");
    EXPECT_FALSE(chunk->IsLoaded()) << offset;
  }
  // A line length that runs past the end, and a count promising more lines than there are.
  TByteVector longLine = record;
  longLine[4] = 200;
  TTextStore longStore(std::make_unique<TMemoryStream>(longLine));
  auto chunk = StoredAt(longStore, 0);
  HV_EXPECT_ERROR(chunk->GetLines(), EReadError, "Stream read error");
  EXPECT_FALSE(chunk->IsLoaded());
  TByteVector manyLines = record;
  manyLines[0] = 2;
  TTextStore manyStore(std::make_unique<TMemoryStream>(manyLines));
  chunk->Store = &manyStore;
  HV_EXPECT_ERROR(chunk->GetLines(), EReadError, "Stream read error");
  EXPECT_FALSE(chunk->IsLoaded());
  // A huge count in a short file is not reserved up front.
  TBytes huge;
  huge.Raw32(0x7FFFFFFF).Raw32(1).Byte('x');
  TTextStore hugeStore(std::make_unique<TMemoryStream>(huge.Data));
  chunk->Store = &hugeStore;
  HV_EXPECT_ERROR(chunk->GetLines(), EReadError, "Stream read error");
}

TEST(ChunkRecords, AStoreWithoutAStreamReadsEmpty) {
  TTextStore closed(nullptr);
  auto chunk = StoredAt(closed, 0);
  EXPECT_TRUE(chunk->GetLines().empty());
}

TEST(ChunkStates, ReleaseFreeAndCopy) {
  auto store = MemoryStore(ChunkRecord({"stored"}));
  auto stored = StoredAt(*store, 0);
  stored->GetLines();
  EXPECT_TRUE(stored->IsLoaded());
  stored->ReleaseLines();
  EXPECT_FALSE(stored->IsLoaded());

  TTextChunk memory({"in memory"});
  memory.ReleaseLines();  // nothing to read it back from, so it keeps its text
  EXPECT_EQ(memory.GetLines(), std::vector<std::string>{"in memory"});
  memory.FreeLines();
  EXPECT_FALSE(memory.IsLoaded());
  EXPECT_TRUE(memory.GetLines().empty());

  std::unique_ptr<TTextChunk> copy = stored->Copy();
  EXPECT_EQ(copy->Store, nullptr);
  EXPECT_EQ(copy->GetLines(), std::vector<std::string>{"stored"});
  EXPECT_FALSE(stored->IsLoaded());  // the source's cache is dropped after copying
  copy->ReleaseLines();
  EXPECT_EQ(copy->GetLines(), std::vector<std::string>{"stored"});
}

TEST(SaveToStore, AppendsOneRecordAndRemembersItsOffset) {
  auto store = MemoryStore(TByteVector(17, 0x55));
  TTextChunk chunk({std::string(300, 'r')});
  chunk.SaveToStore(*store);
  EXPECT_EQ(chunk.Offset, 17);
  EXPECT_EQ(chunk.Store, store.get());
  EXPECT_FALSE(chunk.IsLoaded());
  const TByteVector& bytes = StoreBytes(*store);
  ASSERT_EQ(bytes.size(), 17u + 4 + 4 + 300);
  EXPECT_EQ(TByteVector(bytes.begin() + 17, bytes.end()), ChunkRecord({std::string(300, 'r')}));
  EXPECT_EQ(chunk.GetLines(), std::vector<std::string>{std::string(300, 'r')});
}

TEST(SaveToStore, CopiesARecordFromAnotherStoreAndOnlyReadsTheOldOne) {
  const TByteVector oldBytes = ChunkRecord({"first", "second"});
  auto oldStore = MemoryStore(oldBytes);
  auto newStore = MemoryStore(ChunkRecord({"already here"}));
  const auto before = static_cast<std::int32_t>(StoreBytes(*newStore).size());
  auto chunk = StoredAt(*oldStore, 0);
  chunk->SaveToStore(*newStore);
  EXPECT_EQ(StoreBytes(*oldStore), oldBytes);
  EXPECT_EQ(chunk->Store, newStore.get());
  EXPECT_EQ(chunk->Offset, before);
  EXPECT_EQ(TByteVector(StoreBytes(*newStore).begin() + before, StoreBytes(*newStore).end()), oldBytes);
  EXPECT_EQ(chunk->GetLines(), (std::vector<std::string>{"first", "second"}));
}

TEST(SaveToStore, AnUnreadableSourceLeavesTheChunkWhereItWas) {
  auto oldStore = MemoryStore(TByteVector{1, 0, 0});
  auto newStore = MemoryStore();
  auto chunk = StoredAt(*oldStore, 0);
  HV_EXPECT_ERROR(chunk->SaveToStore(*newStore), EReadError, "Stream read error");
  EXPECT_EQ(chunk->Store, oldStore.get());
  EXPECT_TRUE(StoreBytes(*newStore).empty());
}

TEST(StubChunks, HoldOneLineOfExactRtf) {
  const std::string head =
      "{\\rtf1\\ansi\\ansicpg1252\\uc0 \\deff1{\\fonttbl{\\f0\\froman\\fcharset0 TIMES NEW ROMAN;}}"
      "\\pard\\plain\\sa480\\f0\\fs24 ";
  EXPECT_EQ(NoMarkSchemeChunk()->GetLines(),
            std::vector<std::string>{head + "  No mark scheme available\\par\\par -\\par}"});
  EXPECT_EQ(NoReportChunk()->GetLines(),
            std::vector<std::string>{head + "  No Report available for this question.\\par\\par -\\par}"});
  EXPECT_EQ(MakeRTFChunk({"a", "", "bc"})->GetLines(), std::vector<std::string>{"abc"});
  EXPECT_EQ(NoReportChunk()->Store, nullptr);
}

TEST(ChunkBody, VersionsBelow6CarryALeadingBoolean) {
  // A chunk read as the root of a graph of its own, attached to the reader's store.
  for (int version : {1, 5, 6, 11}) {
    TBytes b;
    b.Int(1);
    b.New("TTextChunk");
    if (version < 6) b.Bool(true);
    b.Int(1234);
    auto store = MemoryStore();
    auto chunk = ReadGraph<TTextChunk>(b.Data, version, store.get());
    EXPECT_EQ(chunk->Offset, 1234) << version;
    EXPECT_EQ(chunk->Store, store.get());
    EXPECT_FALSE(chunk->IsLoaded());
    // Written back, the body is the offset alone.
    TBytes expected;
    expected.Int(1);
    expected.New("TTextChunk");
    expected.Int(1234);
    EXPECT_EQ(WriteGraph(*chunk), expected.Data);
  }
}

}  // namespace
}  // namespace hv::test
