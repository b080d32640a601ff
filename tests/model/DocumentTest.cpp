// Test documents: numbering, the editing operations, derived documents and hand-built streams.
#include <gtest/gtest.h>

#include "ModelTestSupport.h"

namespace hv::test {
namespace {

// Numbers of the entries, 0 standing for an unnumbered entry.
std::vector<int> Numbers(const TDocument& doc) {
  std::vector<int> out;
  for (const TDocContent* e : doc.Entries) out.push_back(e->Numbered ? e->Number : 0);
  return out;
}

class DocumentTest : public ::testing::Test {
protected:
  TSampleLibrary S = MakeSampleLibrary();
  TCurrentLibraryScope Current{S.Library.get()};
  TDocument Doc;
};

TEST_F(DocumentTest, NumberingSkipsUnnumberedEntries) {
  Doc.InsertEntries({S.Q07->Question, S.Q07->Note, S.Q08->Question}, -1);
  EXPECT_EQ(Numbers(Doc), (std::vector<int>{1, 0, 2}));
  // An unnumbered title at the top shifts no numbers; a numbered text does.
  Doc.InsertText(0, "Title", false, nullptr, 0, 0);
  EXPECT_EQ(Numbers(Doc), (std::vector<int>{0, 1, 0, 2}));
  Doc.InsertText(0, "Warm-up", true, nullptr, 0, 0);
  EXPECT_EQ(Numbers(Doc), (std::vector<int>{1, 0, 2, 0, 3}));
  Doc.ToggleNumbered(0);
  EXPECT_EQ(Numbers(Doc), (std::vector<int>{0, 0, 1, 0, 2}));
  Doc.ToggleNumbered(3);
  EXPECT_EQ(Numbers(Doc), (std::vector<int>{0, 0, 1, 2, 3}));
  HV_EXPECT_ERROR(Doc.ToggleNumbered(5), EListError, "List index out of bounds (5)");
}

TEST_F(DocumentTest, InsertEntriesPlacesItemsFromThePosition) {
  Doc.InsertEntries({S.Q07->Question, S.Q08->Question}, -1);
  Doc.InsertEntries({S.S11->Syllabus, S.Q07->MarkScheme}, 1);
  ASSERT_EQ(Doc.Entries.size(), 4u);
  EXPECT_EQ(Doc.Entries[0]->Segment, S.Q07->Question);
  EXPECT_EQ(Doc.Entries[1]->Segment, S.S11->Syllabus);
  EXPECT_EQ(Doc.Entries[2]->Segment, S.Q07->MarkScheme);
  EXPECT_EQ(Doc.Entries[3]->Segment, S.Q08->Question);
  EXPECT_EQ(Numbers(Doc), (std::vector<int>{1, 0, 2, 3}));
  Doc.InsertEntries({}, 0);
  EXPECT_EQ(Doc.Entries.size(), 4u);
  HV_EXPECT_ERROR(Doc.InsertEntries({S.Q07->Question}, 9), EListError, "List index out of bounds (9)");
  EXPECT_EQ(Doc.Entries.size(), 4u);
}

TEST_F(DocumentTest, ResourceNodesBecomeTheirResources) {
  Doc.InsertEntries({S.Q07->Question, S.R1}, -1);
  ASSERT_EQ(Doc.Entries.size(), 2u);
  EXPECT_EQ(Doc.Entries[1]->Segment, S.R1->Resource);
  EXPECT_FALSE(Doc.Entries[1]->Numbered);
  // The resource of R2 does not exist: the entries made before it stay.
  HV_EXPECT_ERROR(Doc.InsertEntries({S.Q08->Question, S.R2, S.Q07->MarkScheme}, -1), EDataError,
                  "No text for ID: RR2");
  ASSERT_EQ(Doc.Entries.size(), 3u);
  EXPECT_EQ(Doc.Entries[2]->Segment, S.Q08->Question);
  EXPECT_EQ(Numbers(Doc), (std::vector<int>{1, 0, 2}));
}

TEST_F(DocumentTest, ClonedEntriesAreNumberedOnlyByTheInsertion) {
  Doc.InsertEntries({S.Q07->Question, S.Q08->Question}, -1);
  std::unique_ptr<TDocContent> clone = Doc.Entries[1]->Clone();
  EXPECT_EQ(clone->Number, 0);
  EXPECT_TRUE(clone->Numbered);
  EXPECT_EQ(clone->Segment, S.Q08->Question);

  int destroyed = 0;
  Doc.InsertText(-1, "Own text", true, std::make_unique<TCountedChunk>(destroyed, "{\\rtf1 own}"), 5, 2);
  std::unique_ptr<TDocContent> ownClone = Doc.Entries[2]->Clone();
  EXPECT_EQ(ownClone->Number, 0);
  ASSERT_TRUE(ownClone->OwnsSegment());
  EXPECT_NE(ownClone->Segment, Doc.Entries[2]->Segment);
  EXPECT_EQ(ownClone->Segment->GetName(), "Own text");
  EXPECT_EQ(ownClone->Segment->Marks, 2);
  EXPECT_EQ(ownClone->Segment->Time, 5);
  ASSERT_NE(ownClone->Segment->Chunk, nullptr);
  EXPECT_NE(ownClone->Segment->Chunk, Doc.Entries[2]->Segment->Chunk);
  EXPECT_EQ(ownClone->Segment->Chunk->GetLines(), std::vector<std::string>{"{\\rtf1 own}"});

  TDocument other;
  other.InsertEntries({Doc.Entries[2], Doc.Entries[0]}, -1);
  EXPECT_EQ(Numbers(other), (std::vector<int>{1, 2}));
  EXPECT_EQ(Numbers(Doc), (std::vector<int>{1, 2, 3}));

  // A free text given on its own is copied; adopting it would give it two owners, and both
  // documents would free it.
  other.InsertEntries({Doc.Entries[2]->Segment}, -1);
  ASSERT_TRUE(other.Entries[2]->OwnsSegment());
  EXPECT_NE(other.Entries[2]->Segment, Doc.Entries[2]->Segment);
  EXPECT_EQ(other.Entries[2]->Segment->GetName(), "Own text");
  EXPECT_EQ(other.Entries[2]->Segment->Chunk->GetLines(), std::vector<std::string>{"{\\rtf1 own}"});
}

TEST_F(DocumentTest, RemovingAnOwnedTextFreesItAndLibraryEntriesLeaveTheLibraryAlone) {
  int destroyed = 0;
  Doc.InsertEntries({S.Q07->Question}, -1);
  Doc.InsertText(-1, "Mine", true, std::make_unique<TCountedChunk>(destroyed), 0, 0);
  Doc.InsertEntries({S.Q08->Question}, -1);
  TDocContent* owned = Doc.Entries[1];
  Doc.RemoveEntries({owned, Doc.Entries[0]});
  EXPECT_EQ(destroyed, 1);
  ASSERT_EQ(Doc.Entries.size(), 1u);
  EXPECT_EQ(Numbers(Doc), std::vector<int>{1});
  EXPECT_EQ(S.Library->FindSegment("QA107"), S.Q07->Question);
  EXPECT_NE(S.Q07->Question->Chunk, nullptr);
  // Entries that are not (or no longer) in the document are ignored.
  TDocContent stranger(S.Q07->Question, true);
  Doc.RemoveEntries({&stranger});
  EXPECT_EQ(Doc.Entries.size(), 1u);
}

TEST_F(DocumentTest, ReplaceTextTurnsALibraryEntryIntoAnOwnedCopy) {
  Doc.InsertEntries({S.Q07->Question, S.Q08->Question}, -1);
  int destroyed = 0;
  Doc.ReplaceText(0, std::string(120, 'e'), false, std::make_unique<TCountedChunk>(destroyed, "{\\rtf1 v1}"), 9, 7);
  ASSERT_TRUE(Doc.Entries[0]->OwnsSegment());
  TTextSegment* text = Doc.Entries[0]->Segment;
  EXPECT_EQ(text->Identity, S.Q07);
  EXPECT_EQ(text->GetID(), "TA107");
  EXPECT_EQ(text->GetName(), std::string(100, 'e'));
  EXPECT_EQ(text->Marks, 7);
  EXPECT_EQ(text->Time, 9);
  EXPECT_EQ(Numbers(Doc), (std::vector<int>{0, 1}));
  // The library's question keeps its own name and text.
  EXPECT_EQ(S.Q07->Title, "Waves on strings");
  EXPECT_EQ(S.Q07->Question->Chunk->GetLines(), std::vector<std::string>{"{\\rtf1 question 7}"});

  // Replacing an owned text again puts a new text in its place and hands the old one back whole,
  // so that it can be put back; only dropping it frees the old chunk.
  TEntryPtr old = Doc.ReplaceText(0, "Second", true, MakeRTFChunk({"{\\rtf1 v2}"}), 1, 1);
  EXPECT_EQ(old->Segment, text);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(Doc.Entries[0]->Segment->Identity, S.Q07);
  EXPECT_EQ(Doc.Entries[0]->Segment->Chunk->GetLines(), std::vector<std::string>{"{\\rtf1 v2}"});
  old.reset();
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(Numbers(Doc), (std::vector<int>{1, 2}));
  HV_EXPECT_ERROR(Doc.ReplaceText(2, "x", false, nullptr, 0, 0), EListError, "List index out of bounds (2)");
}

TEST_F(DocumentTest, InsertTextAppendsOrInsertsAnOwnedText) {
  Doc.InsertEntries({S.Q07->Question}, -1);
  Doc.InsertText(-1, "End", false, MakeRTFChunk({"{\\rtf1 end}"}), 3, 4);
  Doc.InsertText(0, "Top", false, nullptr, 0, 0);
  ASSERT_EQ(Doc.Entries.size(), 3u);
  EXPECT_EQ(Doc.Entries[0]->Segment->GetName(), "Top");
  EXPECT_EQ(Doc.Entries[2]->Segment->GetName(), "End");
  EXPECT_EQ(Doc.Entries[2]->Segment->Marks, 4);
  EXPECT_EQ(Doc.Entries[2]->Segment->Time, 3);
  EXPECT_EQ(Doc.Entries[2]->Segment->Identity, nullptr);
  EXPECT_EQ(Doc.TotalMarks(), 8);
  EXPECT_EQ(Doc.TotalTime(), 9);
  // An impossible position frees the chunk it was given.
  int destroyed = 0;
  EXPECT_THROW(Doc.InsertText(7, "Lost", false, std::make_unique<TCountedChunk>(destroyed), 0, 0), EListError);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(Doc.Entries.size(), 3u);
}

TEST_F(DocumentTest, MoveEntryRemovesThenInserts) {
  Doc.InsertEntries({S.Q07->Question, S.Q07->Note, S.Q08->Question, S.S11->Syllabus}, -1);
  TDocContent* note = Doc.Entries[1];
  Doc.MoveEntry(0, 3);
  EXPECT_EQ(Doc.IndexOf(note), 0);
  EXPECT_EQ(Doc.Entries[3]->Segment, S.Q07->Question);
  EXPECT_EQ(Numbers(Doc), (std::vector<int>{0, 1, 0, 2}));
  Doc.MoveEntry(3, 0);
  EXPECT_EQ(Numbers(Doc), (std::vector<int>{1, 0, 2, 0}));
  Doc.MoveEntry(2, 2);
  EXPECT_EQ(Doc.Entries[2]->Segment, S.Q08->Question);
  HV_EXPECT_ERROR(Doc.MoveEntry(0, 4), EListError, "List index out of bounds (4)");
  HV_EXPECT_ERROR(Doc.MoveEntry(-1, 0), EListError, "List index out of bounds (-1)");
}

TEST_F(DocumentTest, MarkSchemeAndReportDocumentsFollowTheQuestions) {
  // A numbered free text before the questions: the derived entries keep the questions' numbers.
  Doc.InsertText(-1, "Starter", true, nullptr, 0, 0);
  Doc.InsertEntries({S.Q07->Question, S.Q07->Note, S.Q08->Question}, -1);
  TDocument schemes;
  schemes.AddMarkSchemes(Doc);
  ASSERT_EQ(schemes.Entries.size(), 2u);
  EXPECT_EQ(schemes.Entries[0]->Segment, S.Q07->MarkScheme);
  EXPECT_FALSE(schemes.Entries[0]->OwnsSegment());
  ASSERT_TRUE(schemes.Entries[1]->OwnsSegment());
  TTextSegment* stub = schemes.Entries[1]->Segment;
  EXPECT_EQ(stub->GetName(), "Refraction");
  EXPECT_EQ(stub->Identity, S.Q08);
  EXPECT_EQ(stub->Marks, 3);
  EXPECT_EQ(stub->Chunk->GetLines(), NoMarkSchemeChunk()->GetLines());
  EXPECT_EQ(Numbers(schemes), (std::vector<int>{2, 3}));

  Doc.ToggleNumbered(1);  // the first question unnumbered: the derived entry follows it
  TDocument reports;
  reports.AddReports(Doc);
  ASSERT_EQ(reports.Entries.size(), 2u);
  EXPECT_EQ(reports.Entries[0]->Segment, S.Q07->ExaminersReport);
  EXPECT_FALSE(reports.Entries[0]->Numbered);
  EXPECT_EQ(reports.Entries[1]->Segment->Chunk->GetLines(), NoReportChunk()->GetLines());
  EXPECT_EQ(Numbers(reports), (std::vector<int>{0, 2}));
}

TEST_F(DocumentTest, WrittenGraphCountsItsObjectsAndReadsBack) {
  Doc.InsertText(-1, "Title", false, MakeRTFChunk({"{\\rtf1 title}"}), 0, 0);
  Doc.InsertEntries({S.Q07->Question, S.R1, S.S11->Syllabus}, -1);
  Doc.ReplaceText(2, "Edited resource", false, nullptr, 0, 0);
  EXPECT_EQ(Doc.ObjectCount(), 1 + 3 + 1 + 2 + 1);
  auto store = MemoryStore();
  for (TDocContent* e : Doc.Entries)
    if (e->OwnsSegment() && e->Segment->Chunk != nullptr) e->Segment->Chunk->SaveToStore(*store);
  const TByteVector bytes = WriteGraph(Doc);
  TMemoryStream header(bytes);
  EXPECT_EQ(TNetReader(header).ReadInteger(), Doc.ObjectCount());
  auto back = ReadGraph<TDocument>(bytes, 10, store.get());
  ASSERT_EQ(back->Entries.size(), 4u);
  EXPECT_EQ(back->Entries[0]->Segment->Chunk->GetLines(), std::vector<std::string>{"{\\rtf1 title}"});
  EXPECT_EQ(back->Entries[1]->Segment, S.Q07->Question);
  EXPECT_EQ(back->Entries[1]->Number, 1);
  EXPECT_EQ(back->Entries[2]->Segment->Identity, S.R1);
  EXPECT_EQ(back->Entries[3]->Segment, S.S11->Syllabus);
  EXPECT_EQ(WriteGraph(*back), bytes);
}

// A document of every kind of entry in the layout of a given version: the tree letter of a text
// is a boolean for versions 7 to 9 and a character from 10 on.
TBytes HandDocument(int version) {
  TBytes b;
  b.Int(8);
  b.New("TDocument");
  b.ListBegin().Int(3);
  b.New("TDocContent");
  b.New("TOwningDocContent");
  b.New("TOwningDocContent");
  b.ListEnd();
  b.Bool(true).Int(1).Str("QA107");
  b.Bool(false).Int(0);
  b.New("TText");
  b.Bool(true).Int(2);
  b.New("TText");
  auto letter = [&](char c) {
    if (version >= 10)
      b.Char(c);
    else
      b.Bool(c == 'S');
  };
  letter('S');
  b.Str("1.1");
  b.New("TTextChunk");
  b.Int(2).Int(5).Str("Statement copy");
  letter(' ');
  b.Str("");
  b.New("TTextChunk");
  b.Int(0).Int(0).Str("Title");
  b.Int(0);
  b.Int(static_cast<std::int32_t>(ChunkRecord({"{\\rtf1 statement}"}).size()));
  return b;
}

TEST_F(DocumentTest, HandBuiltDocumentsOfVersions7To10ReadBack) {
  TByteVector text = ChunkRecord({"{\\rtf1 statement}"});
  const TByteVector title = ChunkRecord({"{\\rtf1 title}"});
  text.insert(text.end(), title.begin(), title.end());
  for (int version : {7, 8, 9, 10}) {
    auto store = MemoryStore(text);
    auto doc = ReadGraph<TDocument>(HandDocument(version).Data, version, store.get());
    ASSERT_EQ(doc->Entries.size(), 3u) << version;
    EXPECT_EQ(doc->Entries[0]->Segment, S.Q07->Question);
    EXPECT_TRUE(doc->Entries[0]->Numbered);
    EXPECT_EQ(doc->Entries[0]->Number, 1);
    TTextSegment* copy = doc->Entries[1]->Segment;
    EXPECT_EQ(copy->Identity, S.S11);
    EXPECT_EQ(copy->GetName(), "Statement copy");
    EXPECT_EQ(copy->Marks, 2);
    EXPECT_EQ(copy->Time, 5);
    EXPECT_EQ(copy->Chunk->GetLines(), std::vector<std::string>{"{\\rtf1 statement}"});
    EXPECT_EQ(doc->Entries[2]->Number, 2);
    EXPECT_EQ(doc->Entries[2]->Segment->Identity, nullptr);
    EXPECT_EQ(doc->Entries[2]->Segment->Chunk->GetLines(), std::vector<std::string>{"{\\rtf1 title}"});
    if (version == 10) {
      EXPECT_EQ(WriteGraph(*doc), HandDocument(10).Data);
    }
  }
}

// A typed ID the library cannot resolve (a newer edition dropped the item, or none is open) keeps
// its entry as a placeholder that writes back exactly the reference it read.
TEST_F(DocumentTest, TypedIdsTheLibraryCannotResolveBecomePlaceholdersThatWriteBackTheSameBytes) {
  const auto bytes = [](const char* id) {
    TBytes b;
    b.Int(2);
    b.New("TDocument");
    b.ListBegin().Int(1);
    b.New("TDocContent");
    b.ListEnd();
    b.Bool(true).Int(1).Str(id);
    return b.Data;
  };
  for (const char* id : {"QA199", "TA107", "EA108", ""}) {
    std::unique_ptr<TDocument> doc = ReadGraph<TDocument>(bytes(id), 10);
    const TDocContent& entry = *doc->Entries.at(0);
    EXPECT_TRUE(entry.IsPlaceholder()) << id;
    EXPECT_EQ(entry.Segment->GetName(), std::string(id) + ": not in this library");
    EXPECT_EQ(WriteGraph(*doc), bytes(id)) << id;
    TDocument copy;
    copy.InsertEntries({doc->Entries[0], doc->Entries[0]->Segment}, -1);
    doc.reset();  // the copies own their own stand-ins
    EXPECT_EQ(copy.Entries[1]->Segment->GetID(), id);
    EXPECT_THROW(copy.ReplaceText(0, "x", false, nullptr, 0, 0), EDataError);
  }
  TCurrentLibraryScope none(nullptr);
  EXPECT_TRUE(ReadGraph<TDocument>(bytes("QA107"), 10)->Entries.at(0)->IsPlaceholder());
}

TEST_F(DocumentTest, NumbersNeverWrapPastTheirSixteenBits) {
  Doc.InsertEntries(std::vector<TStreamable*>(kMaxNumberedEntries, S.Q07->Question), -1);
  EXPECT_EQ(Doc.Entries.back()->Number, kMaxNumberedEntries);
  Doc.InsertText(-1, "note", false, nullptr, 0, 0);
  EXPECT_THROW(Doc.InsertEntries({S.Q07->Question}, 0), ERangeError);
  EXPECT_THROW(Doc.ToggleNumbered(static_cast<int>(Doc.Entries.size()) - 1), ERangeError);
  EXPECT_THROW(Doc.InsertText(0, "more", true, nullptr, 0, 0), ERangeError);
  EXPECT_EQ(Doc.Entries.size(), static_cast<std::size_t>(kMaxNumberedEntries) + 1);
  EXPECT_EQ(Doc.Entries.front()->Number, 1);
}

}  // namespace
}  // namespace hv::test
