// Text segments: lookup by typed ID, names shared through the identity, and the free-text body.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "ModelTestSupport.h"

namespace hv::test {
namespace {

TEST(FindSegment, ResolvesEveryKindThroughItsTree) {
  TSampleLibrary s = MakeSampleLibrary();
  const TLibrary& lib = *s.Library;
  EXPECT_EQ(lib.FindSegment("QA107"), s.Q07->Question);
  EXPECT_EQ(lib.FindSegment("MA107"), s.Q07->MarkScheme);
  EXPECT_EQ(lib.FindSegment("EA107"), s.Q07->ExaminersReport);
  EXPECT_EQ(lib.FindSegment("NA107"), s.Q07->Note);
  EXPECT_EQ(lib.FindSegment("S1.1"), s.S11->Syllabus);
  EXPECT_EQ(lib.FindSegment("RR1"), s.R1->Resource);
  for (TTextSegment* seg : s.Q07->Segments()) EXPECT_EQ(lib.FindSegment(seg->GetID()), seg) << seg->GetID();
}

TEST(FindSegment, ReportsEachFailureWithItsMessage) {
  TSampleLibrary s = MakeSampleLibrary();
  const TLibrary& lib = *s.Library;
  HV_EXPECT_ERROR(lib.FindSegment("TA107"), EDataError, "Invalid text type: T");
  HV_EXPECT_ERROR(lib.FindSegment("XA107"), EDataError, "Invalid text type: X");
  HV_EXPECT_ERROR(lib.FindSegment(""), EDataError, "Invalid text type: ");
  HV_EXPECT_ERROR(lib.FindSegment("EA108"), EDataError, "No text for ID: EA108");
  HV_EXPECT_ERROR(lib.FindSegment("RR2"), EDataError, "No text for ID: RR2");
  HV_EXPECT_ERROR(lib.FindSegment("QA109"), EDataError, "Invalid ID: QA109");
  // M, E and N look among the questions, so a syllabus ID is unknown to them.
  HV_EXPECT_ERROR(lib.FindSegment("M1.1"), EDataError, "Invalid ID: M1.1");
  // The identity is looked up before the type letter is judged.
  HV_EXPECT_ERROR(lib.FindSegment("TZZ"), EDataError, "Invalid ID: TZZ");
  EXPECT_EQ(s.Q08->ExaminersReport, nullptr);
}

TEST(FindSegment, CreateFlagMakesTheMissingSegment) {
  TSampleLibrary s = MakeSampleLibrary();
  TTextSegment* report = s.Library->FindSegment("EA108", true);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report, s.Q08->ExaminersReport);
  EXPECT_EQ(report->Identity, s.Q08);
  EXPECT_EQ(report->Chunk, nullptr);
  EXPECT_EQ(s.Library->FindSegment("EA108", true), report);
}

TEST(SegmentNames, LibrarySegmentsShareTheIdentityTitle) {
  TSampleLibrary s = MakeSampleLibrary();
  s.Q07->MarkScheme->SetName("Standing waves");
  EXPECT_EQ(s.Q07->Title, "Standing waves");
  for (TTextSegment* seg : s.Q07->Segments()) EXPECT_EQ(seg->GetName(), "Standing waves");
  s.Q07->Note->SetName(std::string(150, 'x'));
  EXPECT_EQ(s.Q07->Question->GetName(), std::string(100, 'x'));

  TText text;
  text.SetName(std::string(150, 'y'));
  EXPECT_EQ(text.GetName(), std::string(100, 'y'));
}

TEST(SegmentNames, TypedIdsCarryTheTypeLetter) {
  TSampleLibrary s = MakeSampleLibrary();
  EXPECT_EQ(s.Q07->Question->GetID(), "QA107");
  EXPECT_EQ(s.S11->Syllabus->GetID(), "S1.1");
  TText loose;
  EXPECT_EQ(loose.GetID(), "");
}

TEST(CreateText, CopiesNameMarksTimeAndIdentityButNoChunk) {
  TSampleLibrary s = MakeSampleLibrary();
  std::unique_ptr<TText> text = s.Q07->Question->CreateText();
  EXPECT_EQ(text->Title, "Waves on strings");
  EXPECT_EQ(text->Marks, 4);
  EXPECT_EQ(text->Time, 6);
  EXPECT_EQ(text->Identity, s.Q07);
  EXPECT_EQ(text->Chunk, nullptr);
  EXPECT_EQ(text->GetID(), "TA107");
  // The library question is untouched.
  EXPECT_NE(s.Q07->Question->Chunk, nullptr);
  EXPECT_EQ(s.Q07->Question, s.Library->FindSegment("QA107"));
}

TEST(CreateContent, NumberingFollowsTheKind) {
  TSampleLibrary s = MakeSampleLibrary();
  struct TCase {
    TTextSegment* Segment;
    bool Numbered;
  };
  for (const TCase& c : {TCase{s.Q07->Question, true}, TCase{s.Q07->MarkScheme, true},
                         TCase{s.Q07->ExaminersReport, true}, TCase{s.Q07->Note, false},
                         TCase{s.S11->Syllabus, false}, TCase{s.R1->Resource, false}}) {
    std::unique_ptr<TDocContent> entry = c.Segment->CreateContent();
    EXPECT_EQ(entry->Numbered, c.Numbered) << c.Segment->GetID();
    EXPECT_EQ(entry->Segment, c.Segment);
    EXPECT_FALSE(entry->OwnsSegment());
  }
  auto text = std::make_unique<TText>();
  std::unique_ptr<TDocContent> owning = text->CreateContent();
  EXPECT_TRUE(owning->OwnsSegment());
  EXPECT_FALSE(owning->Numbered);
  EXPECT_EQ(owning->Segment, text.release());  // the entry owns it now
}

TEST(SegmentDelete, ClearsTheIdentitySlotAndFreesTheChunk) {
  TSampleLibrary s = MakeSampleLibrary();
  int destroyed = 0;
  s.Q07->MarkScheme->SetChunk(std::make_unique<TCountedChunk>(destroyed));
  s.Q07->MarkScheme->Delete();
  EXPECT_EQ(s.Q07->MarkScheme, nullptr);
  EXPECT_EQ(destroyed, 1);
  HV_EXPECT_ERROR(s.Library->FindSegment("MA107"), EDataError, "No text for ID: MA107");
}

// ---- TText bodies in document streams, built by hand

// A document with one owned text: letter and id as given, then a chunk (offset) or none.
TBytes DocumentWithText(int version, const std::function<void(TBytes&)>& letter, std::string_view id,
                        std::string_view title, bool withChunk) {
  TBytes b;
  b.Int(withChunk ? 4 : 3);
  b.New("TDocument");
  b.ListBegin().Int(1);
  b.New("TOwningDocContent");
  b.ListEnd();
  b.Bool(false).Int(0);
  b.New("TText");
  letter(b);
  b.Str(id);
  if (withChunk)
    b.New("TTextChunk");
  else
    b.Nil();
  b.Int(2).Int(-300).Str(title);
  if (withChunk) {
    if (version < 6) b.Bool(false);
    b.Int(0);
  }
  return b;
}

TEST(TextBody, WithoutIdentityWritesASpaceAndAnEmptyId) {
  TDocument doc;
  doc.InsertText(-1, "Title", false, nullptr, 0, 0);
  TBytes expected;
  expected.Int(3);
  expected.New("TDocument");
  expected.ListBegin().Int(1);
  expected.New("TOwningDocContent");
  expected.ListEnd();
  expected.Bool(false).Int(0);
  expected.New("TText");
  expected.Char(' ').Str("").Nil().Int(0).Int(0).Str("Title");
  const TByteVector written = WriteGraph(doc);
  EXPECT_EQ(written, expected.Data);
  std::unique_ptr<TDocument> back = ReadGraph<TDocument>(written, 10);
  ASSERT_EQ(back->Entries.size(), 1u);
  EXPECT_EQ(back->Entries[0]->Segment->Identity, nullptr);
  EXPECT_EQ(back->Entries[0]->Segment->GetID(), "");
  EXPECT_EQ(back->Entries[0]->Segment->GetName(), "Title");
}

TEST(TextBody, TreeLetterIsABooleanForVersions7To9AndACharacterFrom10) {
  TSampleLibrary s = MakeSampleLibrary();
  TCurrentLibraryScope current(s.Library.get());
  for (int version : {7, 8, 9}) {
    auto syllabus = ReadGraph<TDocument>(
        DocumentWithText(version, [](TBytes& b) { b.Bool(true); }, "1.1", "s", false).Data, version);
    EXPECT_EQ(syllabus->Entries[0]->Segment->Identity, s.S11) << version;
    auto question = ReadGraph<TDocument>(
        DocumentWithText(version, [](TBytes& b) { b.Bool(false); }, "A107", "q", false).Data, version);
    EXPECT_EQ(question->Entries[0]->Segment->Identity, s.Q07) << version;
    EXPECT_EQ(question->Entries[0]->Segment->Marks, 2);
    EXPECT_EQ(question->Entries[0]->Segment->Time, -300);
    // A character where a boolean belongs leaves the rest of the body misread.
    EXPECT_THROW(ReadGraph<TDocument>(
                     DocumentWithText(version, [](TBytes& b) { b.Char('S'); }, "1.1", "s", false).Data, version),
                 EError);
  }
  for (auto [letter, id, node] : {std::tuple{'S', "1.1", s.S11}, std::tuple{'Q', "A107", s.Q07},
                                   std::tuple{' ', "A107", s.Q07}, std::tuple{'R', "R1", s.R1}}) {
    const char l = letter;
    auto doc = ReadGraph<TDocument>(DocumentWithText(10, [l](TBytes& b) { b.Char(l); }, id, "t", false).Data, 10);
    EXPECT_EQ(doc->Entries[0]->Segment->Identity, node) << letter;
    // Written again, the letter names the identity's tree.
    auto again = ReadGraph<TDocument>(WriteGraph(*doc), 10);
    EXPECT_EQ(again->Entries[0]->Segment->Identity, node);
  }
}

TEST(TextBody, UnknownIdentityOrLetterLeavesTheTextWithoutIdentity) {
  TSampleLibrary s = MakeSampleLibrary();
  TCurrentLibraryScope current(s.Library.get());
  for (auto [letter, id] : {std::pair{'Q', "ZZ99"}, std::pair{'X', "A107"}, std::pair{'S', "A107"}}) {
    const char l = letter;
    auto doc = ReadGraph<TDocument>(DocumentWithText(10, [l](TBytes& b) { b.Char(l); }, id, "t", false).Data, 10);
    EXPECT_EQ(doc->Entries[0]->Segment->Identity, nullptr) << letter << id;
  }
}

TEST(TextBody, OldTextFormatIsRefused) {
  for (int version : {1, 5, 6}) {
    HV_EXPECT_ERROR(
        ReadGraph<TDocument>(DocumentWithText(version, [](TBytes& b) { b.Bool(false); }, "", "t", false).Data,
                             version),
        EDataError, "Cannot read old text format");
  }
}

TEST(TextBody, LongTitlesAreCutAndChunksAttachToTheReadersStore) {
  auto store = MemoryStore(ChunkRecord({"{\\rtf1 stored}"}));
  auto doc = ReadGraph<TDocument>(
      DocumentWithText(10, [](TBytes& b) { b.Char(' '); }, "", std::string(150, 't'), true).Data, 10, store.get());
  TTextSegment* text = doc->Entries[0]->Segment;
  EXPECT_EQ(text->GetName(), std::string(100, 't'));
  ASSERT_NE(text->Chunk, nullptr);
  EXPECT_EQ(text->Chunk->Store, store.get());
  EXPECT_EQ(text->Chunk->GetLines(), std::vector<std::string>{"{\\rtf1 stored}"});
}

}  // namespace
}  // namespace hv::test
