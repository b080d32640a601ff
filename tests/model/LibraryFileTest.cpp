// Library data files of every accepted version, the open sequence's checks, and our writer.
#include <gtest/gtest.h>

#include "HandLibrary.h"
#include "ModelTestSupport.h"
#include "model/LibraryConfig.h"

namespace hv::test {
namespace {

struct TOpened {
  TTempDir Dir;
  TOpenedLibrary Library;
};

std::unique_ptr<TOpened> OpenHand(const THandLibrary& hand) {
  auto opened = std::make_unique<TOpened>();
  const std::string text = opened->Dir.Write("lib.txt", hand.Text);
  const std::string data = opened->Dir.Write("lib.dat", hand.Data);
  opened->Library = OpenLibraryFiles(text, data);
  return opened;
}

TByteVector WriteLibrary(const TLibrary& library, std::int32_t version = kLibraryVersion) {
  TMemoryStream stream;
  WriteLibraryFile(stream, library, version);
  return stream.Data();
}

int CountReachable(const TLibrary& lib) {
  int n = 1;
  for (TCategory* tree : {lib.Topics, lib.QuestionTypes, lib.Levels, lib.Papers,
                          static_cast<TCategory*>(lib.QuestionTree), static_cast<TCategory*>(lib.SyllabusTree),
                          static_cast<TCategory*>(lib.ResourceTree)}) {
    auto it = tree->CreateIterator();
    while (TCategory* node = it->Next()) {
      ++n;
      if (auto* identity = dynamic_cast<TIdentityCategory*>(node))
        for (TTextSegment* s : identity->Segments()) n += 1 + (s->Chunk != nullptr ? 1 : 0);
    }
  }
  return n;
}

class LibraryVersions : public ::testing::TestWithParam<int> {};

TEST_P(LibraryVersions, HandBuiltFileReadsCompletely) {
  const int version = GetParam();
  const THandLibrary hand = BuildHandLibrary(version);
  auto opened = OpenHand(hand);
  TLibrary& lib = *opened->Library.Library;

  EXPECT_EQ(lib.Name, "Physics");
  EXPECT_EQ(lib.Topics->Name, "Topics");
  ASSERT_EQ(lib.Topics->Children.size(), 1u);
  EXPECT_EQ(lib.Topics->Children[0]->Parent, lib.Topics);

  TIdentityCategory* q07 = lib.FindIdentity("A107", 'Q');
  ASSERT_NE(q07, nullptr);
  EXPECT_EQ(FullID(q07), "A107");
  EXPECT_EQ(q07->Title, "Waves on strings");
  TQuestion* question = q07->Question;
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(question->Identity, q07);
  EXPECT_EQ(question->Marks, 4);
  EXPECT_EQ(question->Time, 6);
  ASSERT_EQ(question->Topics.size(), 1u);
  EXPECT_EQ(question->Topics[0]->Name, "Waves");
  ASSERT_NE(question->QuestionType, nullptr);
  EXPECT_EQ(question->QuestionType->Name, "Short answer");
  ASSERT_NE(question->Level, nullptr);
  EXPECT_EQ(question->Level->Name, "Foundation");
  ASSERT_EQ(question->Papers.size(), 1u);
  EXPECT_EQ(question->Papers[0]->Name, "Paper 1");

  // Every chunk points into the text file that was opened with the data file.
  ASSERT_NE(question->Chunk, nullptr);
  EXPECT_EQ(question->Chunk->Store, opened->Library.TextStore.get());
  EXPECT_EQ(question->Chunk->GetLines(), hand.QuestionLines);
  ASSERT_NE(q07->MarkScheme, nullptr);
  EXPECT_EQ(q07->MarkScheme->Chunk->GetLines(), hand.MarkSchemeLines);
  TIdentityCategory* s11 = lib.FindIdentity("1.1", 'S');
  ASSERT_NE(s11, nullptr);
  EXPECT_EQ(s11->Syllabus->Chunk->GetLines(), hand.SyllabusLines);
  EXPECT_EQ(s11->Related, std::vector<TIdentityCategory*>{q07});
  EXPECT_EQ(q07->Related, std::vector<TIdentityCategory*>{s11});

  if (version >= 9) {
    EXPECT_EQ(lib.ResourceTree->Name, "Resources");
    TIdentityCategory* r1 = lib.FindIdentity("R1", 'R');
    ASSERT_NE(r1, nullptr);
    EXPECT_EQ(question->Resources, std::vector<TIdentityCategory*>{r1});
    EXPECT_EQ(q07->Resource, nullptr);
  } else {
    EXPECT_EQ(lib.ResourceTree->Name, "All resources");
    EXPECT_TRUE(lib.ResourceTree->Children.empty());
    EXPECT_EQ(lib.ResourceTree->Code, "");
    EXPECT_EQ(lib.ResourceTree->Title, "");
    EXPECT_TRUE(question->Resources.empty());
    // Every identity node of the file, roots included, gets an empty resource of its own.
    for (TIdentityCategory* tree : {lib.QuestionTree, lib.SyllabusTree}) {
      auto it = tree->CreateIterator();
      while (TCategory* node = it->Next()) {
        auto* identity = static_cast<TIdentityCategory*>(node);
        ASSERT_NE(identity->Resource, nullptr) << identity->Name;
        EXPECT_EQ(identity->Resource->Identity, identity);
        EXPECT_EQ(identity->Resource->Chunk, nullptr);
      }
    }
  }
  EXPECT_EQ(lib.ObjectCount(), CountReachable(lib));
}

INSTANTIATE_TEST_SUITE_P(Accepted, LibraryVersions, ::testing::Values(1, 5, 6, 8, 9, 10, 11));

TEST(LibraryFile, Version1SegmentsCarryAnExtraBooleanAndChunksALeadingOne) {
  // The same file without the extra booleans must not read as version 1.
  THandLibrary v1 = BuildHandLibrary(1);
  THandLibrary v6 = BuildHandLibrary(6);
  EXPECT_GT(v1.Data.size(), v6.Data.size());
  v6.Data[1] = 1;  // header version 6 -> 1, body left in the version 6 layout
  TTempDir dir;
  EXPECT_THROW(OpenLibraryFiles(dir.Write("t", v6.Text), dir.Write("d", v6.Data)), EError);
}

TEST(LibraryFile, VersionAboveElevenRefusedBeforeAnythingElse) {
  TTempDir dir;
  const std::string text = dir.Write("lib.txt", TByteVector{});
  // Nothing follows the version: reading any further value would fail differently.
  TBytes twelve;
  twelve.Int(12);
  HV_EXPECT_ERROR(OpenLibraryFiles(text, dir.Write("12.dat", twelve.Data)), EInOutError, "Incorrect library version");
  TBytes large;
  large.Int(100000);
  HV_EXPECT_ERROR(OpenLibraryFiles(text, dir.Write("big.dat", large.Data)), EInOutError, "Incorrect library version");
}

TEST(LibraryFile, TextFileIsCheckedBeforeDataFile) {
  TTempDir dir;
  const THandLibrary hand = BuildHandLibrary(11);
  const std::string data = dir.Write("lib.dat", hand.Data);
  const std::string text = dir.Write("lib.txt", hand.Text);
  HV_EXPECT_ERROR(OpenLibraryFiles(dir.File("none.txt"), dir.File("none.dat")), EInOutError,
                  "Could not open library text file");
  HV_EXPECT_ERROR(OpenLibraryFiles(dir.File("none.txt"), data), EInOutError, "Could not open library text file");
  HV_EXPECT_ERROR(OpenLibraryFiles("", data), EInOutError, "Could not open library text file");
  // A folder is not a text file either.
  HV_EXPECT_ERROR(OpenLibraryFiles(dir.Path, data), EInOutError, "Could not open library text file");
  HV_EXPECT_ERROR(OpenLibraryFiles(text, dir.File("none.dat")), EInOutError, "Could not open library data file");
  HV_EXPECT_ERROR(OpenLibraryFiles(text, ""), EInOutError, "Could not open library data file");
}

TEST(LibraryFile, SectionWithOnlyTheDataFileFailsOnTheTextFile) {
  TTempDir dir;
  const THandLibrary hand = BuildHandLibrary(11);
  dir.Write("lib.dat", hand.Data);
  dir.Write("vornika32.ini", "[Physics]\nLibFilename=lib.dat\n");
  TEnvScope config("HARROWVANE_CONFIG_DIR", dir.Path.c_str());
  TCwdScope cwd(dir.Path);
  HV_EXPECT_ERROR(OpenLibrary("Physics"), EInOutError, "Could not open library text file");
  dir.Write("vornika32.ini", "[Physics]\nLibFilename=lib.dat\nTextFilename=lib.txt\n");
  HV_EXPECT_ERROR(OpenLibrary("Physics"), EInOutError, "Could not open library text file");
  dir.Write("lib.txt", hand.Text);
  EXPECT_EQ(OpenLibrary("physics").Library->Name, "Physics");
  HV_EXPECT_ERROR(OpenLibrary("Chemistry"), EInOutError, "Could not open library text file");
}

TEST(LibraryFile, StreamErrorsNameTheFileAndWhereTheyHappened) {
  TTempDir dir;
  THandLibrary hand = BuildHandLibrary(11);
  hand.Data.resize(hand.Data.size() - 1);
  const std::string data = dir.Write("d", hand.Data);
  try {
    OpenLibraryFiles(dir.Write("t", hand.Text), data);
    ADD_FAILURE();
  } catch (const EReadError& e) {
    const std::string prefix = "Library data file \"" + data + "\": Stream read error at object ";
    EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix);
  }
}

// Two items spelling one ID, or an item without a code below the root, would make a saved test
// come back showing another item: such a library is refused, naming the ID.
TEST(LibraryFile, AmbiguousIDsAreRefusedByName) {
  const auto read = [](const TLibrary& library) {
    TMemoryStream stream;
    WriteLibraryFile(stream, library);
    stream.Seek(0);
    return ReadLibraryData(stream, nullptr);
  };
  const auto node = [](TIdentityCategory* parent, const char* code, const char* title) {
    auto* n = static_cast<TIdentityCategory*>(parent->CreateChild());
    n->SetCode(code);
    n->SetTitle(title);
    return n;
  };
  std::unique_ptr<TLibrary> library = TLibrary::CreateEmpty();
  TIdentityCategory* a = node(library->QuestionTree, "A", "Paper A");
  node(a, "1", "One");
  TIdentityCategory* other = node(library->SyllabusTree, "A1", "Statement");
  EXPECT_NO_THROW(read(*library));  // another tree spells IDs of its own
  other->SetParent(library->QuestionTree);
  HV_EXPECT_ERROR(read(*library), EDataError, "Duplicate ID QA1: items \"One\" and \"Statement\"");
  other->SetCode("B");
  node(a, "", "Blank");
  HV_EXPECT_ERROR(read(*library), EDataError,
                  "Item \"Blank\" under QA has no code, so it would take the ID of the item above it");
}

TEST(LibraryWriter, WritesTheFormatByteForByte) {
  // The hand-built file uses the exact object count and zero header integers, as our writer does.
  for (int version : {9, 10, 11}) {
    const THandLibrary hand = BuildHandLibrary(version);
    auto opened = OpenHand(hand);
    EXPECT_EQ(opened->Library.Library->ObjectCount(), hand.ObjectsInStream);
    EXPECT_EQ(WriteLibrary(*opened->Library.Library, version), hand.Data) << "version " << version;
  }
}

TEST(LibraryWriter, RoundTripIsStable) {
  // A version 8 library gains its resources on reading; written again it keeps them.
  const THandLibrary hand = BuildHandLibrary(8);
  auto opened = OpenHand(hand);
  TLibrary& lib = *opened->Library.Library;
  EXPECT_EQ(lib.ObjectCount(), hand.ObjectsInStream + 6);
  EXPECT_EQ(lib.ObjectCount(), CountReachable(lib));

  const TByteVector first = WriteLibrary(lib);
  TMemoryStream stream(first);
  std::unique_ptr<TLibrary> again = ReadLibraryData(stream, opened->Library.TextStore.get());
  EXPECT_EQ(WriteLibrary(*again), first);
  EXPECT_EQ(again->ObjectCount(), lib.ObjectCount());
  ASSERT_NE(again->ResourceTree, nullptr);
  EXPECT_EQ(again->ResourceTree->Name, "All resources");
  EXPECT_NE(again->FindIdentity("A107", 'Q')->Resource, nullptr);
  EXPECT_EQ(again->FindIdentity("A107", 'Q')->Question->Chunk->GetLines(), hand.QuestionLines);
  // The question had no resource list in the old file; version 11 needs one, and it is empty.
  EXPECT_TRUE(again->FindIdentity("A107", 'Q')->Question->Resources.empty());
}

TEST(LibraryWriter, LibraryMadeInCodeRoundTrips) {
  TSampleLibrary sample = MakeSampleLibrary();
  const TByteVector first = WriteLibrary(*sample.Library);
  TMemoryStream stream(first);
  std::unique_ptr<TLibrary> again = ReadLibraryData(stream, nullptr);
  EXPECT_EQ(WriteLibrary(*again), first);
  EXPECT_EQ(again->ObjectCount(), sample.Library->ObjectCount());
  EXPECT_EQ(again->ObjectCount(), CountReachable(*again));
  // The header's count is the object count.
  TMemoryStream header(first);
  TNetReader reader(header);
  EXPECT_EQ(reader.ReadVersion(), kLibraryVersion);
  reader.ReadInteger();
  reader.ReadInteger();
  EXPECT_EQ(reader.ReadInteger(), sample.Library->ObjectCount());
}

}  // namespace
}  // namespace hv::test
