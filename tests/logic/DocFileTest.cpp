// The document file: its byte layout, older versions, damaged files, and the lock that keeps a
// document from being opened twice.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "LogicFixtures.h"
#include "core/Errors.h"
#include "logic/DocFile.h"
#include "logic/DocLogic.h"
#include "model/Document.h"

namespace hv::test {
namespace {

// Byte helpers for files written by hand from the layout.
struct TBytes {
  std::vector<std::uint8_t> B;
  TBytes& U8(std::uint8_t v) { B.push_back(v); return *this; }
  TBytes& I32(std::int32_t v) {
    for (int i = 0; i < 4; ++i) B.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
    return *this;
  }
  TBytes& Int(std::int8_t v) { return U8(2).U8(static_cast<std::uint8_t>(v)); }  // small tagged integer
  TBytes& Str(const std::string& s) {
    U8(6).U8(static_cast<std::uint8_t>(s.size()));
    B.insert(B.end(), s.begin(), s.end());
    return *this;
  }
  TBytes& Bool(bool v) { return U8(v ? 9 : 8); }
  TBytes& New(const std::string& cls) { return Int(-1).Str(cls); }
  TBytes& Record(const std::string& line) {
    I32(1).I32(static_cast<std::int32_t>(line.size()));
    B.insert(B.end(), line.begin(), line.end());
    return *this;
  }
};

class DocFileTest : public ::testing::Test, public TAppFixture {
protected:
  static std::unique_ptr<TDocLogic> NewDoc() {
    auto doc = std::make_unique<TDocLogic>(kSubject);
    doc->CreateNew();
    return doc;
  }
  // One numbered free text with identity A101 and a record, a mark scheme, and an unnumbered
  // heading without identity or chunk, for any version from 7 on.
  std::vector<std::uint8_t> HandMade(int version, std::int32_t p = -1, std::int32_t chunkOffset = 4,
                                     const std::string& subject = kSubject) {
    TBytes f;
    f.I32(0).Record("{\\rtf1 hand}");
    const auto realP = static_cast<std::int32_t>(f.B.size());
    f.Int(static_cast<std::int8_t>(version)).Str(subject);
    f.Int(7).New("TDocument");
    f.U8(1).Int(3).New("TOwningDocContent").New("TDocContent").New("TOwningDocContent").U8(0);
    f.Bool(true).Int(1).New("TText");
    f.Bool(true).Int(2).Str("MA101");
    f.Bool(false).Int(0).New("TText");
    if (version > 9) f.U8(6).U8(1).U8('Q'); else f.Bool(false);
    f.Str("A101").New("TTextChunk").Int(4).Int(5).Str("Edited");
    if (version > 9) f.U8(6).U8(1).U8(' '); else f.Bool(true);
    f.Str("").Int(-2).Int(0).Int(0).Str("Heading");
    f.Int(static_cast<std::int8_t>(chunkOffset));
    const std::int32_t head = p < 0 ? realP : p;
    for (int i = 0; i < 4; ++i) f.B[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(head >> (8 * i));
    return f.B;
  }
  TTempDir Dir;
};

TEST_F(DocFileTest, ASavedDocumentFollowsTheLayoutByteForByte) {
  auto doc = NewDoc();
  doc->InsertText(-1, "One", false, Rtf("one"), 0, 0);
  doc->InsertEntries({Nodes->A101->Question}, -1);
  doc->InsertText(-1, "Two", false, Rtf("two"), 0, 0);
  doc->InsertEntries({Nodes->A102->Question}, -1);
  doc->InsertText(-1, "Three", false, Rtf("three"), 0, 0);
  TRecorder rec;
  rec.Watch(*doc);
  const std::string path = Dir.File("layout.kvd");
  doc->SaveToFile(path);
  EXPECT_EQ(rec.Take(), (std::vector<TRecorder::TEvent>{{doc.get(), {AppCode::Filename, AppCode::Modified}}}));

  TBytes want;
  want.I32(63);
  want.Record("{\\rtf1 one}").Record("{\\rtf1 two}").Record("{\\rtf1 three}");  // at 4, 23, 42
  ASSERT_EQ(want.B.size(), 63u);
  want.U8(0x02).U8(0x0A).Str(kSubject);  // version 10, then the subject
  want.Int(12).New("TDocument");         // 1 + 2 library entries + 3 x (entry, text, chunk)
  want.U8(1).Int(5).New("TOwningDocContent").New("TDocContent").New("TOwningDocContent").New("TDocContent");
  want.New("TOwningDocContent").U8(0);
  want.Bool(false).Int(0).New("TText");
  want.Bool(true).Int(1).Str("QA101");
  want.Bool(false).Int(0).New("TText");
  want.Bool(true).Int(2).Str("QA102");
  want.Bool(false).Int(0).New("TText");
  for (const char* title : {"One", "Two", "Three"})
    want.U8(6).U8(1).U8(' ').Str("").New("TTextChunk").Int(0).Int(0).Str(title);
  want.Int(4).Int(23).Int(42);
  EXPECT_EQ(ReadBytes(path), want.B);

  EXPECT_EQ(doc->FileName, path);
  EXPECT_EQ(doc->DisplayName(), "layout.kvd");
  EXPECT_FALSE(doc->IsModified);
  ASSERT_NE(doc->TextStore, nullptr);
  const TTextChunk* third = doc->Document->Entries[4]->Segment->Chunk;
  EXPECT_EQ(third->Store, doc->TextStore.get());
  EXPECT_EQ(third->Offset, 42);
  EXPECT_FALSE(third->IsLoaded());  // texts are read from the file again when needed
}

TEST_F(DocFileTest, ASavedDocumentReadsBackEqual) {
  const std::string path = Dir.File("round.kvd");
  {
    auto doc = NewDoc();
    doc->InsertText(0, "Heading", false, Rtf("head"), 0, 0);
    doc->InsertEntries({Nodes->A103->Question, Nodes->R1}, -1);
    doc->ReplaceText(1, "Edited ripple", true, Rtf("edited"), 9, 8);  // an owned copy of A103
    doc->SaveToFile(path);
  }
  TDocLogic back(kSubject);
  back.LoadFromFile(path);
  const auto& e = back.Document->Entries;
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0]->Segment->GetName(), "Heading");
  EXPECT_EQ(e[0]->Segment->Chunk->GetLines(), (std::vector<std::string>{"{\\rtf1 head}"}));
  EXPECT_TRUE(e[1]->OwnsSegment());
  EXPECT_EQ(e[1]->Segment->Identity, Nodes->A103);
  EXPECT_EQ(e[1]->Segment->Marks, 8);
  EXPECT_EQ(e[1]->Segment->Time, 9);
  EXPECT_EQ(e[1]->Number, 1);
  EXPECT_EQ(e[1]->Segment->Chunk->GetLines(), (std::vector<std::string>{"{\\rtf1 edited}"}));
  EXPECT_EQ(e[2]->Segment, Nodes->R1->Resource);
  EXPECT_FALSE(back.IsModified);
  EXPECT_EQ(back.FileName, path);
}

TEST_F(DocFileTest, FreeTextsOfVersionsSevenToTenAreRead) {
  for (int version = 7; version <= 10; ++version) {
    SCOPED_TRACE(version);
    const std::string path = Dir.File("v" + std::to_string(version) + ".kvd");
    WriteBytes(path, HandMade(version));
    TDocLogic doc(kSubject);
    doc.LoadFromFile(path);
    const auto& e = doc.Document->Entries;
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0]->Segment->Identity, Nodes->A101);
    EXPECT_EQ(e[0]->Segment->GetName(), "Edited");
    EXPECT_EQ(e[0]->Segment->Marks, 4);
    EXPECT_EQ(e[0]->Segment->Chunk->GetLines(), (std::vector<std::string>{"{\\rtf1 hand}"}));
    EXPECT_EQ(e[1]->Segment, Nodes->A101->MarkScheme);
    EXPECT_EQ(e[2]->Segment->Identity, nullptr);
    EXPECT_EQ(e[2]->Segment->Chunk, nullptr);
  }
  WriteBytes(Dir.File("v6.kvd"), HandMade(6));
  TDocLogic old(kSubject);
  EXPECT_THROW(old.LoadFromFile(Dir.File("v6.kvd")), EDocumentFileError);
}

TEST_F(DocFileTest, NewerVersionsAndOtherSubjectsAreRefused) {
  struct TCase {
    std::vector<std::uint8_t> Bytes;
    const char* Message;
  } cases[] = {{HandMade(11), "Incorrect file version: the file has version 11, this program reads up to 10"},
               {HandMade(10, -1, 4, "physics"),
                "Incorrect library: the test was made for the library \"physics\", and the library open is "
                "\"Physics\""},
               {HandMade(10, -1, 4, "Chemistry"), "Incorrect library"}};
  for (const TCase& c : cases) {
    WriteBytes(Dir.File("bad.kvd"), c.Bytes);
    TDocLogic doc(kSubject);
    try {
      doc.LoadFromFile(Dir.File("bad.kvd"));
      FAIL() << c.Message;
    } catch (const EDocumentFileError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.Message, 0), 0u) << e.what();
    }
    EXPECT_EQ(doc.TextStore, nullptr);
    EXPECT_EQ(doc.Document, nullptr);
    TFileStream probe(Dir.File("bad.kvd"), TFileStream::TMode::OpenRead);
    EXPECT_TRUE(probe.TryLockExclusive()) << "a refused file must not stay locked";
  }
}

// A stream offset outside the file means it is no document; a text record outside the text part
// damages that one text only, which opens as a placeholder.
TEST_F(DocFileTest, OffsetsOutsideTheLayoutAreRefusedOrDamageOneText) {
  const auto good = HandMade(10);
  const auto p = static_cast<std::int32_t>(good.size()) - 0;  // for P beyond the end
  const std::int32_t realP = 4 + 4 + 4 + 12;
  const std::vector<std::vector<std::uint8_t>> notDocuments = {HandMade(10, 0), HandMade(10, 3),
                                                               HandMade(10, p + 100), HandMade(10, p), {}};
  for (std::size_t i = 0; i < notDocuments.size(); ++i) {
    SCOPED_TRACE(i);
    WriteBytes(Dir.File("bad.kvd"), notDocuments[i]);
    TDocLogic doc(kSubject);
    EXPECT_THROW(doc.LoadFromFile(Dir.File("bad.kvd")), EDocumentFileError);
    TFileStream probe(Dir.File("bad.kvd"), TFileStream::TMode::OpenRead);
    EXPECT_TRUE(probe.TryLockExclusive());
  }
  for (std::int32_t offset : {3, realP, 100, -4}) {
    SCOPED_TRACE(offset);
    WriteBytes(Dir.File("bad.kvd"), HandMade(10, -1, offset));
    TDocLogic doc(kSubject);
    doc.LoadFromFile(Dir.File("bad.kvd"));
    ASSERT_EQ(doc.Damaged.size(), 1u);
    EXPECT_EQ(doc.Damaged[0].Index, 0u);
    EXPECT_EQ(doc.Damaged[0].Reason, "its record lies outside the texts of the file");
    EXPECT_EQ(doc.Document->Entries[1]->Segment, Nodes->A101->MarkScheme);
  }
}

TEST_F(DocFileTest, TheDecoderReadsWithoutLockingAndChecksTheSubjectOnlyWhenAsked) {
  WriteBytes(Dir.File("d.kvd"), HandMade(10, -1, 4, "Chemistry"));
  TDocumentFile file = DecodeDocumentFile(Dir.File("d.kvd"), std::nullopt);
  EXPECT_EQ(file.Subject, "Chemistry");
  EXPECT_EQ(file.Version, 10);
  EXPECT_EQ(file.StreamOffset, 24);
  EXPECT_EQ(file.Document->Entries[0]->Segment->Chunk->GetLines(), (std::vector<std::string>{"{\\rtf1 hand}"}));
  EXPECT_THROW(DecodeDocumentFile(Dir.File("d.kvd"), std::string_view("Physics")), EDocumentFileError);
  TFileStream probe(Dir.File("d.kvd"), TFileStream::TMode::OpenRead);
  EXPECT_TRUE(probe.TryLockExclusive());
}

TEST_F(DocFileTest, AnOpenDocumentCannotBeOpenedAgainHereOrInAnotherProcess) {
  const std::string path = Dir.File("locked.kvd");
  WriteBytes(path, HandMade(10));
  TDocLogic first(kSubject);
  first.LoadFromFile(path);
  TDocLogic second(kSubject);
  EXPECT_THROW(second.LoadFromFile(path), EInOutError);
  EXPECT_EQ(second.TextStore, nullptr);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int code = 1;
    try {
      TDocLogic other(kSubject);
      other.LoadFromFile(path);
    } catch (const EInOutError&) {
      code = 0;
    } catch (...) {
      code = 2;
    }
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the other process opened a locked document";

  first.Close();
  EXPECT_EQ(first.Document, nullptr);
  second.LoadFromFile(path);  // closing released the lock
  EXPECT_EQ(second.Document->Entries.size(), 3u);
}

TEST_F(DocFileTest, DisplayNameIsTheLastPathComponent) {
  auto doc = NewDoc();
  EXPECT_EQ(doc->DisplayName(), "Untitled");
  doc->SaveToFile(Dir.File("Mock exam.kvd"));
  EXPECT_EQ(doc->DisplayName(), "Mock exam.kvd");
}

}  // namespace
}  // namespace hv::test
