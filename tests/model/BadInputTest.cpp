// Hostile and damaged streams: every one must end in one of our errors with its message, without
// a crash, a large allocation or a leak (the asan preset checks the leaks).
#include <gtest/gtest.h>

#include <functional>

#include "AllocationWatch.h"
#include "HandLibrary.h"
#include "ModelTestSupport.h"

namespace hv::test {
namespace {

struct TLibIds {
  int Topics = 0, Types = 0;
};

// A version 11 library whose seven trees are empty roots, with hooks that replace parts of it.
struct THooks {
  std::string TopicsClass = "TCategory";  // empty: no object at all
  std::function<void(TBytes&, const TLibIds&)> TopicsParent;
  std::function<void(TBytes&, const TLibIds&)> TopicsChildren;  // the whole list, brackets included
  std::function<void(TBytes&, const TLibIds&)> TypesChildren;
  std::function<void(TBytes&, const TLibIds&)> After;  // bodies of further objects
  std::int32_t Count = 8;
};

TByteVector MinimalLibrary(const THooks& hooks) {
  TBytes b;
  b.Int(11).Int(0).Int(0).Int(hooks.Count);
  b.New("TLibrary");
  b.Str("Minimal");
  TLibIds ids;
  if (hooks.TopicsClass.empty())
    b.Nil();
  else
    ids.Topics = b.New(hooks.TopicsClass);
  ids.Types = b.New("TCategory");
  b.New("TCategory");
  b.New("TCategory");
  for (int i = 0; i < 3; ++i) b.New("TIdentityCategory");
  if (!hooks.TopicsClass.empty()) {
    if (hooks.TopicsParent)
      hooks.TopicsParent(b, ids);
    else
      b.Nil();
    b.Str("Topics");
    if (hooks.TopicsChildren)
      hooks.TopicsChildren(b, ids);
    else
      b.EmptyList();
  }
  b.Nil().Str("Types");
  if (hooks.TypesChildren)
    hooks.TypesChildren(b, ids);
  else
    b.EmptyList();
  for (int i = 0; i < 2; ++i) b.Nil().Str("Plain").EmptyList();
  for (int i = 0; i < 3; ++i) {
    b.Nil().Str("Identities").EmptyList().Str("").Str("");
    for (int s = 0; s < 6; ++s) b.Nil();
    b.EmptyList();
  }
  if (hooks.After) hooks.After(b, ids);
  return b.Data;
}

std::unique_ptr<TLibrary> ReadLibraryBytes(const TByteVector& bytes, TTextStore* store = nullptr) {
  TMemoryStream stream(bytes);
  return ReadLibraryData(stream, store);
}

// Refused, saying where: the object being read and the byte offset.
void ExpectInvalid(const TByteVector& bytes) {
  try {
    ReadLibraryBytes(bytes);
    ADD_FAILURE() << "read without error";
  } catch (const EReadError& e) {
    const std::string what = e.what();
    EXPECT_EQ(what.rfind("Invalid property value", 0), 0u) << what;
    EXPECT_NE(what.find(" at "), std::string::npos) << what;
    EXPECT_NE(what.find("byte "), std::string::npos) << what;
  }
}

// Read, stepping over faults that are safe to pass, with one warning for each.
std::unique_ptr<TLibrary> ExpectWarned(const TByteVector& bytes, std::size_t warningCount) {
  TMemoryStream stream(bytes);
  std::vector<std::string> warnings;
  std::unique_ptr<TLibrary> library = ReadLibraryData(stream, nullptr, &warnings);
  EXPECT_EQ(warnings.size(), warningCount);
  return library;
}

TEST(BadLibrary, TheMinimalLibraryItselfReads) {
  std::unique_ptr<TLibrary> lib = ReadLibraryBytes(MinimalLibrary({}));
  EXPECT_EQ(lib->Name, "Minimal");
  EXPECT_EQ(lib->ObjectCount(), 8);
}

TEST(BadLibrary, ReferenceOfTheWrongClass) {
  THooks chunkAsTree;
  chunkAsTree.TopicsClass = "TTextChunk";
  ExpectInvalid(MinimalLibrary(chunkAsTree));
  THooks identityChildOfWrongClass;
  identityChildOfWrongClass.TopicsChildren = [](TBytes& b, const TLibIds&) {
    b.ListBegin().Int(1);
    b.New("TMarkScheme");
    b.ListEnd();
  };
  ExpectInvalid(MinimalLibrary(identityChildOfWrongClass));
  // A document where the library belongs.
  TBytes doc;
  doc.Int(11).Int(0).Int(0).Int(1);
  doc.New("TDocument");
  doc.EmptyList();
  ExpectInvalid(doc.Data);
}

TEST(BadLibrary, MissingObjectsWhereOnesAreRequired) {
  THooks noTree;
  noTree.TopicsClass = "";
  ExpectInvalid(MinimalLibrary(noTree));
  THooks nilChild;
  nilChild.TopicsChildren = [](TBytes& b, const TLibIds&) { b.ListBegin().Int(1).Nil().ListEnd(); };
  EXPECT_TRUE(ExpectWarned(MinimalLibrary(nilChild), 1)->Topics->Children.empty());
  TBytes nilRoot;
  nilRoot.Int(11).Int(0).Int(0).Int(1).Nil();
  ExpectInvalid(nilRoot.Data);
}

TEST(BadLibrary, ObjectsOwnedTwiceOrByNobody) {
  THooks twoParents;
  twoParents.TopicsChildren = [](TBytes& b, const TLibIds&) {
    b.ListBegin().Int(1);
    b.New("TCategory");
    b.ListEnd();
  };
  twoParents.TypesChildren = [](TBytes& b, const TLibIds&) { b.ListBegin().Int(1).Ref(9).ListEnd(); };
  twoParents.After = [](TBytes& b, const TLibIds& ids) { b.Ref(ids.Topics).Str("shared").EmptyList(); };
  {
    // The first claim stands; the second list goes without it.
    std::unique_ptr<TLibrary> lib = ExpectWarned(MinimalLibrary(twoParents), 2);
    EXPECT_EQ(lib->Topics->Children.size(), 1u);
    EXPECT_TRUE(lib->QuestionTypes->Children.empty());
  }

  // X (first met as the tree's parent, which does not own) under its own child Y.
  THooks ownDescendant;
  ownDescendant.TopicsParent = [](TBytes& b, const TLibIds&) { b.New("TCategory"); };
  ownDescendant.After = [](TBytes& b, const TLibIds&) {
    b.Nil().Str("X").ListBegin().Int(1);
    b.New("TCategory");
    b.ListEnd();
    b.Ref(9).Str("Y").ListBegin().Int(1).Ref(9).ListEnd();
  };
  ExpectInvalid(MinimalLibrary(ownDescendant));

  // One chunk claimed by two segments of the same node.
  THooks sharedChunk;
  sharedChunk.TopicsChildren = [](TBytes& b, const TLibIds&) {
    b.ListBegin().Int(1);
    b.New("TIdentityCategory");
    b.ListEnd();
  };
  sharedChunk.After = [](TBytes& b, const TLibIds& ids) {
    b.Ref(ids.Topics).Str("node").EmptyList().Str("N").Str("Node");
    b.New("TQuestion");
    b.New("TSyllabus");
    b.Nil().Nil().Nil().Nil().EmptyList();
    b.Ref(9);
    b.New("TTextChunk");
    b.Int(0).Int(0).EmptyList().Nil().Nil().EmptyList().EmptyList();
    b.Ref(9).Ref(12).Int(0).Int(0);
    b.Int(0);
  };
  {
    std::unique_ptr<TLibrary> lib = ExpectWarned(MinimalLibrary(sharedChunk), 1);
    const auto* node = static_cast<TIdentityCategory*>(lib->Topics->Children[0]);
    EXPECT_NE(node->Question->Chunk, nullptr);
    EXPECT_EQ(node->Syllabus->Chunk, nullptr);
  }

  // A category met only as the parent of a tree root: nobody owns it.
  THooks orphan;
  orphan.TopicsParent = [](TBytes& b, const TLibIds&) { b.New("TCategory"); };
  orphan.After = [](TBytes& b, const TLibIds&) { b.Nil().Str("orphan").EmptyList(); };
  ExpectInvalid(MinimalLibrary(orphan));
}

// The list that owns an object decides where it belongs; a link saying otherwise is mended.
TEST(BadLibrary, LinksThatContradictOwnershipAreMended) {
  // A child naming another parent than the node that lists it.
  THooks wrongParent;
  wrongParent.TopicsChildren = [](TBytes& b, const TLibIds&) {
    b.ListBegin().Int(1);
    b.New("TCategory");
    b.ListEnd();
  };
  wrongParent.After = [](TBytes& b, const TLibIds& ids) { b.Ref(ids.Types).Str("x").EmptyList(); };
  {
    std::unique_ptr<TLibrary> lib = ExpectWarned(MinimalLibrary(wrongParent), 1);
    EXPECT_EQ(lib->Topics->Children[0]->Parent, lib->Topics);
  }
  // A segment without the identity that holds it.
  THooks strayIdentity;
  strayIdentity.TopicsChildren = [](TBytes& b, const TLibIds&) {
    b.ListBegin().Int(1);
    b.New("TIdentityCategory");
    b.ListEnd();
  };
  strayIdentity.After = [](TBytes& b, const TLibIds& ids) {
    b.Ref(ids.Topics).Str("node").EmptyList().Str("N").Str("Node");
    b.Nil();
    b.New("TSyllabus");
    b.Nil().Nil().Nil().Nil().EmptyList();
    b.Nil().Nil().Int(0).Int(0);
  };
  {
    std::unique_ptr<TLibrary> lib = ExpectWarned(MinimalLibrary(strayIdentity), 1);
    const auto* node = static_cast<TIdentityCategory*>(lib->Topics->Children[0]);
    EXPECT_EQ(node->Syllabus->Identity, node);
  }
}

TEST(BadLibrary, PlainNodeInsideAnIdentityTree) {
  // Items below it would get IDs that never resolve, so documents using them could not reopen.
  THooks plainUnderIdentity;
  plainUnderIdentity.TopicsChildren = [](TBytes& b, const TLibIds&) {
    b.ListBegin().Int(1);
    b.New("TIdentityCategory");
    b.ListEnd();
  };
  plainUnderIdentity.After = [](TBytes& b, const TLibIds& ids) {
    b.Ref(ids.Topics).Str("node").ListBegin().Int(1);
    b.New("TCategory");
    b.ListEnd().Str("N").Str("Node").Nil().Nil().Nil().Nil().Nil().Nil().EmptyList();
    b.Ref(9).Str("plain").EmptyList();
  };
  ExpectInvalid(MinimalLibrary(plainUnderIdentity));
  // Identity nodes inside a plain tree do no harm and are kept.
  THooks identityUnderPlain = plainUnderIdentity;
  identityUnderPlain.After = [](TBytes& b, const TLibIds& ids) {
    b.Ref(ids.Topics).Str("node").EmptyList().Str("N").Str("Node").Nil().Nil().Nil().Nil().Nil().Nil().EmptyList();
  };
  EXPECT_EQ(ReadLibraryBytes(MinimalLibrary(identityUnderPlain))->Topics->Children.size(), 1u);
}

TEST(BadLibrary, OneSidedRelatedLinkIsMadeTwoSided) {
  // Unlink removes a node from its partners' lists; a partner that does not list it back would
  // keep a pointer to a freed node.
  auto library = [](bool backLink) {
    THooks hooks;
    hooks.TopicsChildren = [](TBytes& b, const TLibIds&) {
      b.ListBegin().Int(2);
      b.New("TIdentityCategory");
      b.New("TIdentityCategory");
      b.ListEnd();
    };
    hooks.After = [backLink](TBytes& b, const TLibIds& ids) {
      b.Ref(ids.Topics).Str("a").EmptyList().Str("A").Str("A").Nil().Nil().Nil().Nil().Nil().Nil();
      b.ListBegin().Int(1).Ref(10).ListEnd();
      b.Ref(ids.Topics).Str("b").EmptyList().Str("B").Str("B").Nil().Nil().Nil().Nil().Nil().Nil();
      if (backLink)
        b.ListBegin().Int(1).Ref(9).ListEnd();
      else
        b.EmptyList();
    };
    return MinimalLibrary(hooks);
  };
  std::unique_ptr<TLibrary> mended = ExpectWarned(library(false), 1);
  const auto* b = static_cast<TIdentityCategory*>(mended->Topics->Children[1]);
  EXPECT_EQ(b->Related, std::vector<TIdentityCategory*>{static_cast<TIdentityCategory*>(mended->Topics->Children[0])});
  EXPECT_EQ(ExpectWarned(library(true), 0)->Topics->Children.size(), 2u);
}

// Each message says where in the data file it happened.
TEST(BadLibrary, MessagesOfTheObjectStream) {
  THooks unknown;
  unknown.TopicsClass = "TFrobnicator";
  HV_EXPECT_ERROR(ReadLibraryBytes(MinimalLibrary(unknown)), EReadError, "Class TFrobnicator not found at object 1 (TLibrary), byte 45");
  THooks farReference;
  farReference.TypesChildren = [](TBytes& b, const TLibIds&) { b.ListBegin().Int(1).Ref(40).ListEnd(); };
  HV_EXPECT_ERROR(ReadLibraryBytes(MinimalLibrary(farReference)), EListError, "List index out of bounds (39) at object 3 (TCategory), byte 172");
  THooks negativeCount;
  negativeCount.Count = -5;
  HV_EXPECT_ERROR(ReadLibraryBytes(MinimalLibrary(negativeCount)), EListError, "List capacity out of bounds (-5) at byte 8");
  THooks negativeLength;
  negativeLength.TypesChildren = [](TBytes& b, const TLibIds&) { b.ListBegin().Int(-1).ListEnd(); };
  HV_EXPECT_ERROR(ReadLibraryBytes(MinimalLibrary(negativeLength)), EListError, "List capacity out of bounds (-1) at object 3 (TCategory), byte 170");
  THooks badTag;
  badTag.TypesChildren = [](TBytes& b, const TLibIds&) { b.Byte(7); };
  ExpectInvalid(MinimalLibrary(badTag));
}

TEST(BadLibrary, HugeCountsAndLengthsNeverReachTheAllocator) {
  constexpr std::size_t kSmall = 64 * 1024;
  {
    // The object count is only a size hint: a huge one still reads a small library.
    THooks hugeCount;
    hugeCount.Count = 0x7FFFFFFF;
    TAllocationWatch watch;
    EXPECT_EQ(ReadLibraryBytes(MinimalLibrary(hugeCount))->Name, "Minimal");
    EXPECT_LT(watch.Largest(), kSmall);
  }
  {
    THooks hugeList;
    hugeList.TypesChildren = [](TBytes& b, const TLibIds&) { b.ListBegin().Int(0x7FFFFFFF).ListEnd(); };
    TAllocationWatch watch;
    EXPECT_EQ(ReadLibraryBytes(MinimalLibrary(hugeList))->Name, "Minimal");
    EXPECT_LT(watch.Largest(), kSmall);
  }
  {
    TBytes hugeString;
    hugeString.Int(11).Int(0).Int(0).Int(1);
    hugeString.New("TLibrary");
    hugeString.Byte(12).Raw32(0x7FFFFFF0).Str("short");
    TAllocationWatch watch;
    HV_EXPECT_ERROR(ReadLibraryBytes(hugeString.Data), EReadError, "Stream read error at object 1 (TLibrary), byte 25");
    EXPECT_LT(watch.Largest(), kSmall);
  }
  {
    TBytes hugeClassName;
    hugeClassName.Int(11).Int(0).Int(0).Int(1).Int(-1).Byte(12).Raw32(0x7FFFFFFF);
    TAllocationWatch watch;
    HV_EXPECT_ERROR(ReadLibraryBytes(hugeClassName.Data), EReadError, "Stream read error at byte 15");
    EXPECT_LT(watch.Largest(), kSmall);
  }
}

TEST(BadLibrary, ListLengthHintsCannotAddUpToMoreThanTheStream) {
  // Thousands of empty child lists, each claiming two billion items: every hint alone is capped by
  // the bytes left, but together they must not reserve a multiple of the stream per list.
  constexpr int kNodes = 3000;
  THooks manyLists;
  manyLists.TypesChildren = [](TBytes& b, const TLibIds&) {
    b.ListBegin().Int(kNodes);
    for (int i = 0; i < kNodes; ++i) b.New("TCategory");
    b.ListEnd();
  };
  manyLists.After = [](TBytes& b, const TLibIds& ids) {
    for (int i = 0; i < kNodes; ++i) b.Ref(ids.Types).Str("").ListBegin().Int(0x7FFFFFFF).ListEnd();
  };
  const TByteVector bytes = MinimalLibrary(manyLists);
  TAllocationWatch watch;
  std::unique_ptr<TLibrary> lib = ReadLibraryBytes(bytes);
  EXPECT_EQ(lib->QuestionTypes->Children.size(), static_cast<std::size_t>(kNodes));
  EXPECT_LT(watch.Total(), 64 * bytes.size()) << "stream of " << bytes.size() << " bytes";
}

TEST(BadLibrary, EveryTruncationFailsCleanly) {
  for (int version : {1, 8, 11}) {
    const THandLibrary hand = BuildHandLibrary(version);
    auto store = MemoryStore(hand.Text);
    for (std::size_t n = 0; n < hand.Data.size(); ++n) {
      const TByteVector cut(hand.Data.begin(), hand.Data.begin() + static_cast<std::ptrdiff_t>(n));
      EXPECT_THROW(ReadLibraryBytes(cut, store.get()), EError) << "version " << version << " cut at " << n;
    }
    EXPECT_NO_THROW(ReadLibraryBytes(hand.Data, store.get()));
  }
}

TEST(BadLibrary, EveryDamagedByteFailsCleanlyOrReadsConsistently) {
  const THandLibrary hand = BuildHandLibrary(11);
  auto store = MemoryStore(hand.Text);
  for (std::size_t i = 0; i < hand.Data.size(); ++i) {
    for (std::uint8_t value : {0x00, 0x01, 0x02, 0x09, 0xFE, 0xFF}) {
      TByteVector damaged = hand.Data;
      damaged[i] = value;
      std::unique_ptr<TLibrary> lib;
      try {
        lib = ReadLibraryBytes(damaged, store.get());
      } catch (const EError&) {
        continue;
      }
      // Whatever was accepted holds together well enough to be written and read again.
      TMemoryStream out;
      WriteLibraryFile(out, *lib);
      EXPECT_NO_THROW(ReadLibraryBytes(out.Data(), store.get())) << "byte " << i << " set to " << int(value);
    }
  }
}

// ---- documents

class BadDocument : public ::testing::Test {
protected:
  TSampleLibrary S = MakeSampleLibrary();
  TCurrentLibraryScope Current{S.Library.get()};

  static TBytes Head(int entries) {
    TBytes b;
    b.Int(entries + 1);
    b.New("TDocument");
    return b;
  }
  static void ExpectInvalid(const TBytes& b) {
    HV_EXPECT_ERROR(ReadGraph<TDocument>(b.Data, 10), EReadError, "Invalid property value");
  }
};

TEST_F(BadDocument, EntriesMustBeEntries) {
  TBytes category = Head(1);
  category.ListBegin().Int(1);
  category.New("TCategory");
  category.ListEnd().Nil().Str("c").EmptyList();
  ExpectInvalid(category);
  TBytes nilEntry = Head(1);
  nilEntry.ListBegin().Int(1).Nil().ListEnd();
  EXPECT_TRUE(ReadGraph<TDocument>(nilEntry.Data, 10)->Entries.empty());  // an empty item is left out
  TBytes textWithoutEntry = Head(1);
  textWithoutEntry.ListBegin().Int(1);
  textWithoutEntry.New("TText");
  textWithoutEntry.ListEnd().Char(' ').Str("").Nil().Int(0).Int(0).Str("t");
  ExpectInvalid(textWithoutEntry);
}

TEST_F(BadDocument, OwningEntryNeedsItsOwnText) {
  TBytes noText = Head(1);
  noText.ListBegin().Int(1);
  noText.New("TOwningDocContent");
  noText.ListEnd().Bool(false).Int(0).Nil();
  ExpectInvalid(noText);

  TBytes libraryKind = Head(1);
  libraryKind.ListBegin().Int(1);
  libraryKind.New("TOwningDocContent");
  libraryKind.ListEnd().Bool(false).Int(0);
  libraryKind.New("TQuestion");
  libraryKind.Nil().Nil().Int(0).Int(0).EmptyList().Nil().Nil().EmptyList().EmptyList();
  ExpectInvalid(libraryKind);

  TBytes sharedText = Head(2);
  sharedText.ListBegin().Int(2);
  sharedText.New("TOwningDocContent");
  sharedText.New("TOwningDocContent");
  sharedText.ListEnd().Bool(false).Int(0);
  sharedText.New("TText");
  sharedText.Bool(false).Int(0).Ref(4);
  sharedText.Char(' ').Str("").Nil().Int(0).Int(0).Str("t");
  ExpectInvalid(sharedText);
}

// The first claim stands: one entry, freed once.
TEST_F(BadDocument, EntryListedTwiceIsKeptOnce) {
  TBytes twice = Head(1);
  twice.ListBegin().Int(2);
  twice.New("TDocContent");
  twice.Ref(2).ListEnd();
  twice.Bool(true).Int(1).Str("QA107");
  EXPECT_EQ(ReadGraph<TDocument>(twice.Data, 10)->Entries.size(), 1u);
}

TEST_F(BadDocument, EveryTruncationAndDamagedByteFailsCleanly) {
  TDocument doc;
  doc.InsertText(-1, "Title", false, MakeRTFChunk({"{\\rtf1 t}"}), 0, 0);
  doc.InsertEntries({S.Q07->Question, S.Q07->MarkScheme, S.R1}, -1);
  doc.ReplaceText(1, "Own copy", true, MakeRTFChunk({"{\\rtf1 c}"}), 1, 2);
  auto store = MemoryStore();
  for (TDocContent* e : doc.Entries)
    if (e->OwnsSegment()) e->Segment->Chunk->SaveToStore(*store);
  const TByteVector bytes = WriteGraph(doc);
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    const TByteVector cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_THROW(ReadGraph<TDocument>(cut, 10, store.get()), EError) << "cut at " << n;
  }
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    for (std::uint8_t value : {0x00, 0x01, 0x02, 0x08, 0x09, 0xFF}) {
      TByteVector damaged = bytes;
      damaged[i] = value;
      std::unique_ptr<TDocument> back;
      try {
        back = ReadGraph<TDocument>(damaged, 10, store.get());
      } catch (const EError&) {
        continue;
      }
      for (TDocContent* e : back->Entries) EXPECT_NE(e->Segment, nullptr);
      EXPECT_NO_THROW(ReadGraph<TDocument>(WriteGraph(*back), 10, store.get())) << "byte " << i;
    }
  }
}

}  // namespace
}  // namespace hv::test
