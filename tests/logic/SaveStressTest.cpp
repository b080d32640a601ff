// Saving killed at random moments: the document file must always be the complete old document or
// the complete new one.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "LogicFixtures.h"
#include "logic/DocFile.h"
#include "logic/DocLogic.h"

namespace hv::test {
namespace {

constexpr int kFixedTexts = 100;

std::string FixedText(int i) { return "{\\rtf1 fixed " + std::to_string(i) + " " + std::string(2000, 'f') + "}"; }
std::string GenerationText(int g, int i) {
  return "{\\rtf1 gen " + std::to_string(g) + " item " + std::to_string(i) + " " + std::string(2000, 'g') + "}";
}
int GenerationSize(int g) { return 50 + (g % 7) * 20; }

// Entry 0 names the generation; then the fixed texts, which every save copies from the old file;
// then the generation's own texts, which are new in memory.
void MakeGeneration(TDocLogic& doc, int g) {
  doc.ReplaceText(0, "gen " + std::to_string(g), false, Rtf("gen " + std::to_string(g)), 0, 0);
  std::vector<TDocContent*> old(doc.Document->Entries.begin() + 1 + kFixedTexts, doc.Document->Entries.end());
  doc.RemoveEntries(old);
  for (int i = 0; i < GenerationSize(g); ++i)
    doc.InsertText(-1, "item", false, std::make_unique<TTextChunk>(std::vector<std::string>{GenerationText(g, i)}),
                   0, 0);
}

// Decodes the whole file and answers its generation; fails the test on anything incomplete.
int CheckComplete(const std::string& path) {
  TDocumentFile file = DecodeDocumentFile(path, std::string_view(kSubject));
  const auto& e = file.Document->Entries;
  const std::string name = e.at(0)->Segment->GetName();
  const int g = std::stoi(name.substr(4));
  EXPECT_EQ(e.size(), static_cast<std::size_t>(1 + kFixedTexts + GenerationSize(g)));
  for (int i = 0; i < kFixedTexts; ++i)
    EXPECT_EQ(e.at(static_cast<std::size_t>(1 + i))->Segment->Chunk->GetLines().at(0), FixedText(i));
  for (int i = 0; i < GenerationSize(g); ++i)
    EXPECT_EQ(e.at(static_cast<std::size_t>(1 + kFixedTexts + i))->Segment->Chunk->GetLines().at(0),
              GenerationText(g, i));
  return g;
}

TEST(SaveStress, SavesKilledAtRandomMomentsLeaveTheOldOrTheNewDocument) {
  TAppFixture app;  // sets CurrentLibrary for the parent and the children alike
  TTempDir dir;
  const std::string path = dir.File("stress.kvd");
  {
    TDocLogic doc(kSubject);
    doc.CreateNew();
    doc.InsertText(-1, "gen 0", false, Rtf("gen 0"), 0, 0);
    for (int i = 0; i < kFixedTexts; ++i)
      doc.InsertText(-1, "fixed", false, std::make_unique<TTextChunk>(std::vector<std::string>{FixedText(i)}), 0, 0);
    MakeGeneration(doc, 0);
    doc.SaveToFile(path);
  }
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> pause(0, 40000);  // microseconds
  int generation = 0;
  int advanced = 0;
  int leftovers = 0;
  for (int round = 0; round < 50; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        TDocLogic doc(kSubject);
        doc.LoadFromFile(path);
        int g = std::stoi(doc.Document->Entries[0]->Segment->GetName().substr(4));
        for (;;) {
          MakeGeneration(doc, ++g);
          doc.SaveToFile(path);
        }
      } catch (...) {
        ::_exit(3);
      }
    }
    ::usleep(static_cast<useconds_t>(pause(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child stopped by itself, status " << status;

    SCOPED_TRACE(round);
    const int g = CheckComplete(path);
    ASSERT_GE(g, generation);
    if (g > generation) ++advanced;
    generation = g;
    // A killed save cannot remove its temporary file; it never replaces the document.
    for (const std::string& name : dir.Names()) {
      if (name == "stress.kvd") continue;
      EXPECT_EQ(name.rfind("~temp-", 0), 0u) << name;
      std::remove(dir.File(name).c_str());
      ++leftovers;
    }
  }
  EXPECT_GT(advanced, 0) << "no save ever completed, so the test proved nothing";
  EXPECT_GT(leftovers, 0) << "no kill landed inside a save, so the test proved nothing";
  std::cout << "[ stress   ] " << advanced << " rounds saw a new generation, " << leftovers
            << " kills landed inside a save; last generation " << generation << "\n";
}

}  // namespace
}  // namespace hv::test
