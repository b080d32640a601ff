// Word search: reading typed queries, extracting words from RTF, the index's staleness rule and
// damaged files, and words combined with the category criteria.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <set>
#include <thread>

#include "LogicFixtures.h"
#include "logic/WordIndex.h"
#include "logic/WordQuery.h"
#include "model/RtfWords.h"

namespace hv::test {
namespace {

std::string Describe(const TWordQuery& query) {
  std::string out;
  for (const TWordTerm& t : query.Terms) {
    if (!out.empty()) out += ' ';
    out += t.Excluded ? '-' : '+';
    if (t.Words.size() > 1) out += '"';
    for (std::size_t i = 0; i < t.Words.size(); ++i) out += (i > 0 ? " " : "") + t.Words[i];
    if (t.Words.size() > 1) out += '"';
    if (t.Prefix) out += '*';
  }
  return out;
}

TEST(WordQueryTest, ReadsEveryTypedTextIntoTerms) {
  const std::pair<const char*, const char*> cases[] = {
      {"cliff stone", "+cliff +stone"},
      {"\"the cliff\" stone", "+\"the cliff\" +stone"},
      {"kinet*", "+kinet*"},
      {"kinet *", "+kinet"},
      {"-kettle half-life", "-kettle +\"half life\""},
      {"-\"steam engine\" boil", "-\"steam engine\" +boil"},
      {"a - b", "+a +b"},
      {"\"unclosed phrase", "+\"unclosed phrase\""},
      {"AND OR NOT NEAR", "+AND +OR +NOT +NEAR"},
      {"(x) {y}: ^z col:w", "+x +y +z +\"col w\""},
      {"* \" - ** () \"\"", ""},
      {"cliff Cliff cliff", "+cliff +Cliff"},
      {"\xC3\x89mile \xE2\x80\x9C" "caf\xC3\xA9 au\xE2\x80\x9D", "+\xC3\x89mile +\"caf\xC3\xA9 au\""},
      {"\xFF\xFE bad\xC3", "+bad"},
  };
  for (const auto& [typed, expected] : cases) EXPECT_EQ(Describe(ParseWordQuery(typed)), expected) << typed;
}

TEST(RtfWordsTest, DecodesWhatTheReaderShowsAndSkipsEveryOtherPart) {
  const std::pair<const char*, const char*> cases[] = {
      {"{\\rtf1\\ansi caf\\'e9 na\\'efve}", "caf\xC3\xA9 na\xC3\xAFve"},
      {"{\\rtf1 a\\u8364?b \\uc2\\u8212xyc \\uc0\\u233 d}", "a\xE2\x82\xAC" "b \xE2\x80\x94" "c \xC3\xA9" "d"},
      {"{\\rtf1 \\u-10179?\\u-8704?}", "\xF0\x9F\x98\x80"},
      {"{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}", "\xD0\x9F\xD1\x80\xD0\xB8"},
      {"{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset238 Arial CE;}}\\f1 \\'b9\\f0 \\'b9}", "\xC4\x85\xC2\xB9"},
      {"{\\rtf1{\\colortbl;\\red255;}{\\stylesheet{\\s1 Heading;}}{\\info{\\title T}}Body}", "Body"},
      {"{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt shown}} after}", "shown after"},
      {"{\\rtf1 a{\\*\\unknown hidden}{\\pict\\pngblip 4142}b\\bin3 {}}c}", "a bc"},
      {"{\\rtf1 one\\par two\\tab three{\\v secret}\\line four\\cell}", "one\ntwo\tthree\nfour\n"},
      {"{\\rtf1{\\footer page}{\\header head} kin\\-etic \\{x\\}\\\\}", " kinetic {x}\\"},
      {"{\\rtf1 \\'zz\\'4 broken\\", "zz4 broken"},  // as the reader: a broken escape is dropped
  };
  for (const auto& [rtf, expected] : cases) EXPECT_EQ(RtfPlainText(rtf), expected) << rtf;
  // Nesting no writer produces is skipped without unbounded state, and the text after it is read.
  EXPECT_EQ(RtfPlainText(std::string(200000, '{') + "deep" + std::string(200000, '}') + "x"), "x");
}

// The small library with texts of its own, its questions indexed in memory.
struct TWordLibrary : TAppFixture {
  TWordLibrary() {
    Nodes->A101->Question->SetChunk(Rtf("A ball falls from the cliff and hits a stone."));
    Nodes->A102->Question->SetChunk(Rtf("A spring stores elastic energy; the kinetic energy of the ball."));
    Nodes->A103->Question->SetChunk(Rtf("Waves in a ripple tank, like ripples on a caf\\'e9 table."));
    Nodes->B201->Question->SetChunk(Rtf("A pendulum swings; its kinetic energy is largest at the bottom."));
    Nodes->A101->MarkScheme->SetChunk(Rtf("Credit pendulum answers."));
    Nodes->B202->AddNote()->SetChunk(Rtf("Kettle boiling."));
    App->OpenWordIndex()->BuildAll();
  }
  std::vector<TQuestion*> Qs(std::initializer_list<TIdentityCategory*> nodes) {
    std::vector<TQuestion*> qs;
    for (auto* n : nodes) qs.push_back(n->Question);
    return qs;
  }
  TQuestionSelector& Sel() { return *App->Selector(); }
};

TEST(WordSearchTest, WordsCombineWithTheCategoryCriteria) {
  TWordLibrary w;
  auto& L = *w.Nodes;
  w.Sel().SetWordCriterion("kinetic energy", {}, true);
  EXPECT_EQ(std::set<TQuestion*>(w.Sel().Results().begin(), w.Sel().Results().end()),
            std::set<TQuestion*>({L.A102->Question, L.B201->Question}));
  // Continuing with a topic keeps the words; the results satisfy both.
  w.Sel().SetTopicCriterion(L.Forces, false);
  EXPECT_EQ(w.Sel().Results(), w.Qs({L.B201}));
  EXPECT_FALSE(w.Sel().IsOnlyCriterion(L.Forces));
  // And the other way round: a topic first, then words continuing it.
  w.Sel().SetTopicCriterion(L.Waves, true);
  EXPECT_FALSE(w.Sel().HasWordCriterion());
  w.Sel().SetWordCriterion("ripple*", {}, false);
  EXPECT_EQ(w.Sel().Results(), w.Qs({L.A103}));
  EXPECT_EQ(w.Sel().TopicCriterion(), L.Waves);
  // The categories still offered are those of the word matches.
  EXPECT_TRUE(w.Sel().AvailableTopics()->Contains(L.Waves));
  EXPECT_FALSE(w.Sel().AvailableTopics()->Contains(L.Mechanics));
  // Clearing the words by continuing with an empty box leaves the topic alone.
  w.Sel().SetWordCriterion("  ", {}, false);
  EXPECT_EQ(w.Sel().Results(), w.Qs({L.A102, L.A103}));
  TRecorder rec;
  rec.Watch(w.Sel());
  w.Sel().SetWordCriterion("", {}, false);
  EXPECT_TRUE(rec.Events.empty()) << "the same criterion again changes nothing";
}

TEST(WordSearchTest, MatchesIgnoreCaseAndAccentsAndHonourPhrasesPrefixesExclusionsAndScope) {
  TWordLibrary w;
  auto& L = *w.Nodes;
  auto find = [&](const std::string& words, TWordScope scope = {}) {
    w.Sel().SetWordCriterion(words, scope, true);
    std::vector<TQuestion*> r = w.Sel().Results();
    std::sort(r.begin(), r.end());
    return r;
  };
  auto sorted = [&](std::initializer_list<TIdentityCategory*> nodes) {
    std::vector<TQuestion*> r = w.Qs(nodes);
    std::sort(r.begin(), r.end());
    return r;
  };
  EXPECT_EQ(find("CAFE"), sorted({L.A103}));
  EXPECT_EQ(find("\"energy of the ball\""), sorted({L.A102}));
  EXPECT_EQ(find("\"ball energy\""), sorted({}));
  EXPECT_EQ(find("kinet* -pendulum"), sorted({L.A102}));
  EXPECT_EQ(find("-energy -ball"), sorted({L.A103, L.B202}));
  EXPECT_EQ(find("pendulum"), sorted({L.B201}));
  EXPECT_EQ(find("pendulum", TWordScope::All()), sorted({L.A101, L.B201}));
  EXPECT_EQ(find("kettle", {false, false, true}), sorted({L.B202}));
  // A hit in the question's own text ranks above one in its mark scheme.
  w.Sel().SetWordCriterion("pendulum", TWordScope::All(), true);
  EXPECT_EQ(w.Sel().Results(), w.Qs({L.B201, L.A101}));
  // Text the engine would read as its own syntax is taken as words.
  for (const char* typed : {"\"", "NEAR(a b)", "a OR b", "NOT", "col:x", "^a", "a + b", "{q} : x", "'", "a AND",
                            "\"*\"", "-", "x\"y\"z", "\xFF"})
    EXPECT_NO_THROW(w.Sel().SetWordCriterion(typed, TWordScope::All(), true)) << typed;
}

class WordIndexFileTest : public ::testing::Test {
protected:
  TSmallLibrary L;
  TTempDir Dir;
  std::string Path = Dir.File("cache/Physics.words.sqlite");
};

TEST_F(WordIndexFileTest, IdentityFollowsTheFilesStateAndHeader) {
  const std::string data = Dir.File("lib.dat"), text = Dir.File("lib.txt");
  WriteBytes(data, {1, 2, 3, 4});
  WriteBytes(text, {9});
  const std::string before = LibraryFileIdentity(data, text);
  struct stat st {};
  ::stat(data.c_str(), &st);
  WriteBytes(data, {1, 2, 3, 5});
  const timespec times[2] = {st.st_atim, st.st_mtim};
  ::utimensat(AT_FDCWD, data.c_str(), times, 0);
  EXPECT_NE(LibraryFileIdentity(data, text), before) << "same size and time, different header";
  WriteBytes(data, {1, 2, 3, 4});
  ::utimensat(AT_FDCWD, data.c_str(), times, 0);
  EXPECT_EQ(LibraryFileIdentity(data, text), before);
  WriteBytes(text, {9, 9});
  EXPECT_NE(LibraryFileIdentity(data, text), before);
  EXPECT_THROW(LibraryFileIdentity(Dir.File("missing.dat"), text), EInOutError);
}

TEST_F(WordIndexFileTest, AnIndexIsKeptForTheSameFilesAndBuiltAgainForChangedOnes) {
  const TWordQuery pendulum = ParseWordQuery("pendulum");
  {
    TWordIndex index(*L.Library, "files v1", Path);
    EXPECT_TRUE(index.Message().empty());
    EXPECT_TRUE(index.BuildSome(std::chrono::milliseconds(0))) << "one question per step at least";
    EXPECT_EQ(index.Indexed(), 1);
  }
  {
    TWordIndex index(*L.Library, "files v1", Path);
    EXPECT_EQ(index.Indexed(), 1) << "a later run goes on from where the last one stopped";
    EXPECT_TRUE(index.Match(pendulum, {}).empty()) << "only what is built is searched";
    index.BuildAll();
    EXPECT_EQ(index.Match(pendulum, {}), std::vector<TQuestion*>{L.B201->Question});
  }
  {
    TWordIndex index(*L.Library, "files v1", Path);
    EXPECT_TRUE(index.Complete());
    EXPECT_EQ(index.Match(pendulum, {}), std::vector<TQuestion*>{L.B201->Question});
  }
  TWordIndex changed(*L.Library, "files v2", Path);
  EXPECT_EQ(changed.Indexed(), 0);
  EXPECT_TRUE(changed.Match(pendulum, {}).empty());
  changed.BuildAll();
  changed.Restart("files v3");
  EXPECT_EQ(changed.Indexed(), 0);
}

TEST_F(WordIndexFileTest, AThreadOfItsOwnBuildsAFileIndexWhileSearchesGoOn) {
  const TWordQuery pendulum = ParseWordQuery("pendulum");
  {
    TWordIndex index(*L.Library, "v1", Path);
    ASSERT_TRUE(index.StartBuilding());
    for (int i = 0; i < 1000 && !index.Complete(); ++i) {
      // Whatever has been committed is searched; never a question beyond it.
      const auto found = index.Match(pendulum, {});
      EXPECT_LE(found.size(), 1u);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    index.Poll();
    EXPECT_TRUE(index.Complete());
    EXPECT_EQ(index.Match(pendulum, {}), std::vector<TQuestion*>{L.B201->Question});
  }
  {
    TWordIndex again(*L.Library, "v1", Path);
    EXPECT_TRUE(again.Complete()) << "what the thread built is kept";
  }
  // Damage inside the file shows only when it is read whole, which the thread does first.
  {
    std::FILE* f = std::fopen(Path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    ASSERT_GE(size, 3 * 4096);
    std::fseek(f, size - 4096, SEEK_SET);
    const std::vector<char> junk(4096, '\x5A');
    std::fwrite(junk.data(), 1, junk.size(), f);
    std::fclose(f);
  }
  TWordIndex damaged(*L.Library, "v1", Path);
  EXPECT_TRUE(damaged.Message().empty());
  ASSERT_TRUE(damaged.StartBuilding());
  // As the program's driver does: poll, and build again when the index restarts.
  for (int i = 0; i < 1000 && (damaged.Building() || !damaged.Complete() || damaged.Message().empty()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    damaged.Poll();
    if (!damaged.Building()) damaged.StartBuilding();
  }
  EXPECT_NE(damaged.Message().find("damaged"), std::string::npos) << damaged.Message();
  EXPECT_TRUE(damaged.Complete()) << "built again in a fresh file";
  EXPECT_EQ(damaged.Match(pendulum, {}), std::vector<TQuestion*>{L.B201->Question});
  TWordIndex memory(*L.Library, "v1", ":memory:");
  EXPECT_FALSE(memory.StartBuilding()) << "an index in memory is built in steps by its caller";
}

TEST_F(WordIndexFileTest, DamagedLockedAndUnwritableIndexesAreReplaced) {
  std::filesystem::create_directories(Dir.File("cache"));
  WriteBytes(Path, std::vector<std::uint8_t>(8192, 0x5A));
  {
    TWordIndex index(*L.Library, "v1", Path);
    EXPECT_NE(index.Message().find("damaged"), std::string::npos) << index.Message();
    index.BuildAll();
    EXPECT_EQ(index.Match(ParseWordQuery("pendulum"), {}).size(), 1u);
    // A second program finds the file locked and builds a private copy for its run.
    {
      TWordIndex second(*L.Library, "v1", Path);
      EXPECT_NE(second.Path(), Path);
      second.BuildAll();
      EXPECT_EQ(second.Match(ParseWordQuery("pendulum"), {}).size(), 1u);
    }
    EXPECT_EQ(Dir.Names().size(), 1u);
    EXPECT_EQ(std::filesystem::directory_iterator(Dir.File("cache"))->path().string().find(Path), 0u);
  }
  // A cache folder that cannot be made keeps the index in memory and says so once.
  WriteBytes(Dir.File("file"), {1});
  TWordIndex memory(*L.Library, "v1", Dir.File("file/words/x.sqlite"));
  EXPECT_TRUE(memory.InMemory());
  EXPECT_NE(memory.Message().find("in memory"), std::string::npos);
  memory.BuildAll();
  EXPECT_EQ(memory.Match(ParseWordQuery("pendulum"), {}).size(), 1u);
}

TEST_F(WordIndexFileTest, TextsThatCannotBeReadAreCountedAndSkipped) {
  auto store = std::make_unique<TTextStore>(std::make_unique<TMemoryStream>(std::vector<std::uint8_t>{1, 0}));
  auto broken = std::make_unique<TTextChunk>();
  broken->Store = store.get();
  broken->Offset = 1000;
  L.A102->Question->SetChunk(std::move(broken));
  TWordIndex index(*L.Library, "v1", ":memory:");
  index.BuildAll();
  EXPECT_TRUE(index.Complete());
  EXPECT_EQ(index.Skipped(), 1);
  EXPECT_EQ(index.Match(ParseWordQuery("pendulum"), {}).size(), 1u);
}

}  // namespace
}  // namespace hv::test
