// Document logic: the editing operations' notifications, and saving that never loses the old
// file or the document's texts.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "LogicFixtures.h"
#include "core/Errors.h"
#include "logic/DocFile.h"
#include "logic/DocLogic.h"
#include "model/Document.h"

namespace hv::test {
namespace {

using E = TRecorder::TEvent;
const std::vector<int> kEdited{AppCode::Document, AppCode::Modified};

// Writes through to a file until Limit bytes have gone, then fails like a full disk; Flush can
// fail too, as fsync does when the disk reports an error late.
class TFailAfter : public TStream {
public:
  TFailAfter(TStream& target, std::size_t limit, bool failFlush = false)
      : Target(target), Limit(limit), FailFlush(failFlush) {}
  std::size_t Read(void* b, std::size_t n) override { return Target.Read(b, n); }
  void Write(const void* b, std::size_t n) override {
    if (Written + n > Limit) {
      Target.Write(b, Limit - Written);
      Written = Limit;
      throw EInOutError("Write error: No space left on device");
    }
    Target.Write(b, n);
    Written += n;
  }
  std::int64_t Seek(std::int64_t p) override { return Target.Seek(p); }
  std::int64_t SeekEnd() override { return Target.SeekEnd(); }
  std::int64_t Position() const override { return Target.Position(); }
  std::int64_t Size() const override { return Target.Size(); }
  void Flush() override {
    if (FailFlush) throw EInOutError("Write error: Input/output error");
    Target.Flush();
  }

private:
  TStream& Target;
  std::size_t Limit;
  bool FailFlush;
  std::size_t Written = 0;
};

// What a save must leave untouched when it fails.
struct TChunkState {
  TTextStore* Store;
  std::int32_t Offset;
  std::optional<std::vector<std::string>> Lines;
  bool operator==(const TChunkState&) const = default;
};

std::vector<TChunkState> ChunkStates(const TDocLogic& doc) {
  std::vector<TChunkState> states;
  for (const TDocContent* e : doc.Document->Entries)
    if (e->OwnsSegment() && e->Segment->Chunk != nullptr)
      states.push_back({e->Segment->Chunk->Store, e->Segment->Chunk->Offset, e->Segment->Chunk->Lines});
  return states;
}

class DocLogicTest : public ::testing::Test, public TAppFixture {
protected:
  // A saved and reopened document with two texts in its file, plus a new in-memory text and a
  // library question; the second stored text is loaded, the first is not.
  std::unique_ptr<TDocLogic> LoadedDocument(const std::string& path) {
    {
      TDocLogic doc(kSubject);
      doc.CreateNew();
      doc.InsertText(-1, "First", false, Rtf(std::string(3000, 'a')), 0, 0);
      doc.InsertEntries({Nodes->A101->Question}, -1);
      doc.InsertText(-1, "Second", true, Rtf("second"), 1, 2);
      doc.SaveToFile(path);
    }
    auto doc = std::make_unique<TDocLogic>(kSubject);
    doc->LoadFromFile(path);
    doc->Document->Entries[2]->Segment->Chunk->GetLines();
    doc->InsertText(-1, "Fresh", false, Rtf("fresh"), 0, 0);
    return doc;
  }
  TTempDir Dir;
};

TEST_F(DocLogicTest, EveryEditSendsOneModifiedDocumentNotification) {
  TDocLogic doc(kSubject);
  doc.CreateNew();
  TRecorder rec;
  rec.Watch(doc);
  const std::vector<std::function<void()>> edits = {
      [&] { doc.InsertEntries({Nodes->A101->Question, Nodes->A102->Question}, -1); },
      [&] { doc.InsertText(0, "Title", false, Rtf("t"), 0, 0); },
      [&] { doc.MoveEntry(1, 1); },  // changes nothing visible, still an edit
      [&] { doc.ToggleNumbered(1); },
      [&] { doc.ReplaceText(2, "Own copy", true, Rtf("c"), 3, 4); },
      [&] { doc.RemoveEntries({doc.Document->Entries[0]}); },
  };
  for (std::size_t i = 0; i < edits.size(); ++i) {
    SCOPED_TRACE(i);
    doc.IsModified = false;
    edits[i]();
    EXPECT_TRUE(doc.IsModified);
    EXPECT_EQ(rec.Take(), (std::vector<E>{{&doc, kEdited}}));
  }
  ASSERT_EQ(doc.Document->Entries.size(), 2u);
  EXPECT_EQ(doc.Document->Entries[1]->Segment->GetName(), "Own copy");
}

TEST_F(DocLogicTest, AFailedEditNotifiesOnlyWhenSomethingChanged) {
  TDocLogic doc(kSubject);
  doc.CreateNew();
  TRecorder rec;
  rec.Watch(doc);
  EXPECT_THROW(doc.MoveEntry(3, 0), EListError);
  EXPECT_FALSE(doc.IsModified);
  EXPECT_TRUE(rec.Take().empty());
  // The second item has no resource; the first stays inserted and observers must hear of it.
  TIdentityCategory* bare = TSmallLibrary::Node(Nodes->R2, "X", "None");
  EXPECT_THROW(doc.InsertEntries({Nodes->A101->Question, bare}, -1), EDataError);
  EXPECT_EQ(doc.Document->Entries.size(), 1u);
  EXPECT_TRUE(doc.IsModified);
  EXPECT_EQ(rec.Take(), (std::vector<E>{{&doc, kEdited}}));
}

TEST_F(DocLogicTest, SavingUnderItsOwnNameReadsTheOldTextsThroughTheOpenFile) {
  const std::string path = Dir.File("own.kvd");
  auto doc = LoadedDocument(path);
  TTextStore* oldStore = doc->TextStore.get();
  doc->SaveToFile(path);
  EXPECT_NE(doc->TextStore.get(), oldStore);
  EXPECT_EQ(Dir.Names(), (std::vector<std::string>{"own.kvd"}));
  for (const TChunkState& s : ChunkStates(*doc)) {
    EXPECT_EQ(s.Store, doc->TextStore.get());
    EXPECT_FALSE(s.Lines.has_value());
  }
  EXPECT_EQ(doc->Document->Entries[0]->Segment->Chunk->GetLines()[0], Rtf(std::string(3000, 'a'))->GetLines()[0]);
  EXPECT_EQ(doc->Document->Entries[3]->Segment->Chunk->GetLines()[0], "{\\rtf1 fresh}");

  // The new file is the one held locked.
  TFileStream probe(path, TFileStream::TMode::OpenRead);
  EXPECT_FALSE(probe.TryLockExclusive());
  TDocumentFile file = DecodeDocumentFile(path, std::string_view(kSubject));
  EXPECT_EQ(file.Document->Entries.size(), 4u);
}

TEST_F(DocLogicTest, SavingElsewhereMovesTheLockToTheNewFile) {
  auto doc = LoadedDocument(Dir.File("a.kvd"));
  doc->SaveToFile(Dir.File("b.kvd"));
  TFileStream a(Dir.File("a.kvd"), TFileStream::TMode::OpenRead);
  EXPECT_TRUE(a.TryLockExclusive());
  TFileStream b(Dir.File("b.kvd"), TFileStream::TMode::OpenRead);
  EXPECT_FALSE(b.TryLockExclusive());
}

TEST_F(DocLogicTest, SavingOverADocumentOpenElsewhereIsRefused) {
  auto open = LoadedDocument(Dir.File("open.kvd"));
  const auto before = ReadBytes(Dir.File("open.kvd"));
  TDocLogic other(kSubject);
  other.CreateNew();
  other.InsertText(-1, "Other", false, Rtf("other"), 0, 0);
  EXPECT_THROW(other.SaveToFile(Dir.File("open.kvd")), EInOutError);
  EXPECT_EQ(ReadBytes(Dir.File("open.kvd")), before);
  EXPECT_TRUE(other.IsModified);
  EXPECT_EQ(Dir.Names(), (std::vector<std::string>{"open.kvd"}));
}

TEST_F(DocLogicTest, AFailedSaveLeavesFileDocumentAndTextsExactlyAsTheyWere) {
  const std::string path = Dir.File("safe.kvd");
  auto doc = LoadedDocument(path);
  const auto oldBytes = ReadBytes(path);
  const auto oldStates = ChunkStates(*doc);
  TTextStore* oldStore = doc->TextStore.get();
  TRecorder rec;
  rec.Watch(*doc);
  // Fail at the header, inside the first (large) record, between records, in the object stream,
  // at its last byte, and at the final flush.
  struct TFault {
    std::size_t Limit;
    bool Flush;
  };
  for (const TFault fault : {TFault{0, false}, TFault{3, false}, TFault{1000, false}, TFault{3012, false},
                             TFault{3060, false}, TFault{3200, false}, TFault{SIZE_MAX, true}}) {
    SCOPED_TRACE(fault.Limit);
    doc->SaveStreamFilter = [&](TStream& file) { return std::make_unique<TFailAfter>(file, fault.Limit, fault.Flush); };
    EXPECT_THROW(doc->SaveToFile(path), EInOutError);
    EXPECT_EQ(ReadBytes(path), oldBytes);
    EXPECT_EQ(Dir.Names(), (std::vector<std::string>{"safe.kvd"}));
    EXPECT_TRUE(doc->IsModified);
    EXPECT_EQ(doc->FileName, path);
    EXPECT_EQ(doc->TextStore.get(), oldStore);
    EXPECT_EQ(ChunkStates(*doc), oldStates);
    EXPECT_TRUE(rec.Take().empty());
  }
  // The texts still read from the old file, and a save without faults then succeeds.
  EXPECT_EQ(doc->Document->Entries[0]->Segment->Chunk->GetLines()[0].size(), 3008u);
  doc->Document->Entries[0]->Segment->Chunk->ReleaseLines();
  doc->SaveStreamFilter = nullptr;
  doc->SaveToFile(path);
  EXPECT_FALSE(doc->IsModified);
  TDocumentFile file = DecodeDocumentFile(path, std::string_view(kSubject));
  EXPECT_EQ(file.Document->Entries.size(), 4u);
}

TEST_F(DocLogicTest, AFailedFirstSaveCreatesNoFileAndKeepsTheTextsInMemory) {
  TDocLogic doc(kSubject);
  doc.CreateNew();
  doc.InsertText(-1, "Only", false, Rtf("only"), 0, 0);
  doc.SaveStreamFilter = [](TStream& file) { return std::make_unique<TFailAfter>(file, 20); };
  EXPECT_THROW(doc.SaveToFile(Dir.File("new.kvd")), EInOutError);
  EXPECT_TRUE(Dir.Names().empty());
  EXPECT_EQ(doc.TextStore, nullptr);
  EXPECT_TRUE(doc.FileName.empty());
  const TTextChunk* chunk = doc.Document->Entries[0]->Segment->Chunk;
  EXPECT_EQ(chunk->Store, nullptr);
  EXPECT_EQ(chunk->Lines, (std::vector<std::string>{"{\\rtf1 only}"}));
}

TEST_F(DocLogicTest, AFailedRenameRemovesTheTemporaryFile) {
  ASSERT_EQ(::mkdir(Dir.File("folder.kvd").c_str(), 0755), 0);
  TDocLogic doc(kSubject);
  doc.CreateNew();
  doc.InsertText(-1, "Only", false, Rtf("only"), 0, 0);
  EXPECT_THROW(doc.SaveToFile(Dir.File("folder.kvd")), EInOutError);
  EXPECT_EQ(Dir.Names(), (std::vector<std::string>{"folder.kvd"}));
  EXPECT_TRUE(doc.IsModified);
  EXPECT_EQ(doc.Document->Entries[0]->Segment->Chunk->Store, nullptr);
}

TEST_F(DocLogicTest, AFileSizeLimitHitMidwayLeavesTheOldFile) {
  // The kernel, not a test stream, refuses the write here: a child process gets a file size limit
  // above the old document and below the new one.
  const std::string path = Dir.File("limit.kvd");
  auto doc = LoadedDocument(path);
  const auto oldBytes = ReadBytes(path);
  doc.reset();  // the child opens and locks it itself
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int code = 0;
    try {
      TDocLogic d(kSubject);
      d.LoadFromFile(path);
      for (int i = 0; i < 20; ++i) d.InsertText(-1, "Big", false, Rtf(std::string(5000, 'b')), 0, 0);
      const auto before = ChunkStates(d);
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{static_cast<rlim_t>(oldBytes.size() + 8192), static_cast<rlim_t>(oldBytes.size() + 8192)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      try {
        d.SaveToFile(path);
        code = 1;
      } catch (const EInOutError&) {
        if (!d.IsModified || ChunkStates(d) != before) code = 2;
      }
    } catch (...) {
      code = 3;
    }
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadBytes(path), oldBytes);
  EXPECT_EQ(Dir.Names(), (std::vector<std::string>{"limit.kvd"}));
}

// A newer edition of the library that dropped B201: the test opens with a placeholder in its
// place, saves it back as the same reference, and the old edition then finds the item again.
TEST_F(DocLogicTest, ItemsANewerLibraryLacksSurviveOpeningAndSavingAsPlaceholders) {
  const std::string path = Dir.File("edition.kvd");
  {
    TDocLogic doc(kSubject);
    doc.CreateNew();
    doc.InsertEntries({Nodes->A101->Question, Nodes->B201->Question}, -1);
    doc.InsertText(-1, "Own words", false, Rtf("mine"), 0, 0);
    doc.SaveToFile(path);
  }
  TIdentityCategory* paper = Nodes->B2;
  Nodes->B201->SetParent(nullptr);  // the newer edition
  {
    TDocLogic doc(kSubject);
    doc.LoadFromFile(path);
    EXPECT_EQ(doc.MissingIDs, std::vector<std::string>{"QB201"});
    const auto& entries = doc.Document->Entries;
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0]->Segment, Nodes->A101->Question);
    EXPECT_TRUE(entries[1]->IsPlaceholder());
    EXPECT_EQ(entries[1]->Segment->GetName(), "QB201: not in this library");
    EXPECT_EQ(entries[1]->Number, 2);
    EXPECT_EQ(entries[2]->Segment->Chunk->GetLines(), std::vector<std::string>{"{\\rtf1 mine}"});
    doc.MoveEntry(2, 0);
    doc.SaveToFile(path);
  }
  Nodes->B201->SetParent(paper);  // the old edition again
  TDocLogic doc(kSubject);
  doc.LoadFromFile(path);
  EXPECT_TRUE(doc.MissingIDs.empty());
  EXPECT_EQ(doc.Document->Entries[2]->Segment, Nodes->B201->Question);
}

// One free text whose record is broken: the others open and the document saves; the broken one
// keeps its place and title with a notice instead of its text.
TEST_F(DocLogicTest, ADamagedTextIsNamedAndTheRestOpensAndSaves) {
  const std::string path = Dir.File("damaged.kvd");
  {
    TDocLogic doc(kSubject);
    doc.CreateNew();
    doc.InsertText(-1, "Broken", false, Rtf("lost"), 0, 0);
    doc.InsertEntries({Nodes->A101->Question}, -1);
    doc.InsertText(-1, "Fine", false, Rtf("kept"), 0, 0);
    doc.SaveToFile(path);
  }
  std::vector<std::uint8_t> bytes = ReadBytes(path);
  bytes[11] = 0x7F;  // the first record's only line now claims far more bytes than the file has
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  TDocLogic doc(kSubject);
  doc.LoadFromFile(path);
  ASSERT_EQ(doc.Damaged.size(), 1u);
  EXPECT_EQ(doc.Damaged[0].Index, 0u);
  EXPECT_EQ(DescribeEntry(*doc.Document, 0), "entry 1, \"Broken\"");
  EXPECT_EQ(doc.DamagedEntries(), std::vector<TDocContent*>{doc.Document->Entries[0]});
  EXPECT_EQ(doc.Document->Entries[2]->Segment->Chunk->GetLines(), std::vector<std::string>{"{\\rtf1 kept}"});
  doc.SaveToFile(Dir.File("saved.kvd"));
  TDocumentFile again = DecodeDocumentFile(Dir.File("saved.kvd"), kSubject);
  EXPECT_TRUE(again.Damaged.empty());
  EXPECT_NE(again.Document->Entries[0]->Segment->Chunk->GetLines()[0].find("could not be read"), std::string::npos);
}

// Locks hold only against this program: a change made by anything else since the document was
// read stops the save, whether the file was rewritten in place or replaced.
TEST_F(DocLogicTest, SavingOverAFileAnotherProgramChangedIsRefusedUntilAllowed) {
  const std::string path = Dir.File("shared.kvd");
  TDocLogic doc(kSubject);
  doc.CreateNew();
  doc.InsertEntries({Nodes->A101->Question}, -1);
  doc.SaveToFile(path);
  doc.SaveToFile(path);  // its own save is no outside change
  const auto theirs = [&](const std::string& text) { std::ofstream(path, std::ios::app) << text; };
  theirs("edited in place");
  const std::vector<std::uint8_t> changed = ReadBytes(path);
  EXPECT_THROW(doc.SaveToFile(path), EFileChanged);
  EXPECT_EQ(ReadBytes(path), changed);
  doc.SaveToFile(path, true);
  EXPECT_NE(ReadBytes(path), changed);

  std::ofstream(Dir.File("other.kvd")) << "a sync client's copy";
  ASSERT_EQ(std::rename(Dir.File("other.kvd").c_str(), path.c_str()), 0);
  EXPECT_THROW(doc.SaveToFile(path), EFileChanged);
  std::filesystem::remove(path);
  EXPECT_THROW(doc.SaveToFile(path), EFileChanged);
}

TEST_F(DocLogicTest, ASaveIntoAMissingFolderSaysSoAndKeepsTheDocumentModified) {
  TDocLogic doc(kSubject);
  doc.CreateNew();
  doc.InsertEntries({Nodes->A101->Question}, -1);
  try {
    doc.SaveToFile(Dir.File("gone/t.kvd"));
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot save: the folder \"" + Dir.File("gone") + "\" does not exist.");
  }
  EXPECT_TRUE(doc.IsModified);
  EXPECT_TRUE(doc.FileName.empty());
}

}  // namespace
}  // namespace hv::test
