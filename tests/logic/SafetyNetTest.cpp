// Crash-recovery copies and the list of recent tests: what a later run finds, and what it must
// refuse to offer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "LogicFixtures.h"
#include "logic/DocLogic.h"
#include "logic/RecentTests.h"
#include "logic/Recovery.h"

namespace hv::test {
namespace {

class SafetyNetTest : public ::testing::Test, public TAppFixture {
protected:
  std::unique_ptr<TDocLogic> ChangedDoc(const std::string& text) {
    auto doc = std::make_unique<TDocLogic>(kSubject);
    doc->CreateNew();
    doc->InsertEntries({Nodes->A101->Question}, -1);
    doc->InsertText(-1, "Note", false, Rtf(text), 0, 0);
    return doc;
  }
  TTempDir Dir;
};

TEST_F(SafetyNetTest, ACrashedRunsCopiesAreOfferedAndAFinishedRunLeavesNone) {
  const std::string root = Dir.File("recovery");
  auto saved = ChangedDoc("kept");
  saved->SaveToFile(Dir.File("lesson.kvd"));
  auto changed = ChangedDoc("unsaved");
  {
    TRecoveryStore crashed(root, kSubject);
    saved->MoveEntry(0, 1);
    EXPECT_EQ(crashed.SaveAll({saved.get(), changed.get()}), "");
    // A second run while this one lives must not take its copies.
    EXPECT_TRUE(TRecoveryStore(root, kSubject).FindLeftOvers().empty());
    // Saving removes a copy at the next round; the store is then dropped without Finish, as a
    // crash leaves it.
    saved->SaveToFile(saved->FileName);
    EXPECT_EQ(crashed.SaveAll({saved.get(), changed.get()}), "");
  }
  TRecoveryStore next(root, kSubject);
  const std::vector<TRecoveryCopy> copies = next.FindLeftOvers();
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(copies[0].Problem, "");
  EXPECT_EQ(copies[0].Origin, "");

  TAppLogic& app = *App;
  app.RecoverDocument(copies[0].File, copies[0].Origin);
  next.Discard(copies[0]);
  TDocLogic* recovered = app.Documents().back().get();
  EXPECT_TRUE(recovered->IsModified);
  EXPECT_EQ(recovered->FileName, "");
  EXPECT_EQ(recovered->Caption(), "Untitled - recovered from Untitled*");
  ASSERT_EQ(recovered->Document->Entries.size(), 2u);
  EXPECT_EQ(recovered->Document->Entries[1]->Segment->Chunk->GetLines(), std::vector<std::string>{"{\\rtf1 unsaved}"});
  EXPECT_TRUE(next.FindLeftOvers().empty());

  // A run that finishes cleanly leaves nothing behind.
  EXPECT_EQ(next.SaveAll({recovered}), "");
  next.Finish();
  EXPECT_EQ(Dir.Names(), (std::vector<std::string>{"lesson.kvd", "recovery"}));
  EXPECT_TRUE(TRecoveryStore(root, kSubject).FindLeftOvers().empty());
}

TEST_F(SafetyNetTest, CopiesThatCannotBeOfferedAreKeptAsideByNameAndAFailingFolderIsReportedOnce) {
  const std::string root = Dir.File("recovery");
  auto one = ChangedDoc("one");
  auto two = ChangedDoc("two");
  auto three = ChangedDoc("three");
  {
    TRecoveryStore crashed(root, kSubject);
    EXPECT_EQ(crashed.SaveAll({one.get(), two.get(), three.get()}), "");
  }
  std::vector<TRecoveryCopy> copies = TRecoveryStore(root, kSubject).FindLeftOvers();
  ASSERT_EQ(copies.size(), 3u);
  // One copy damaged, one from a newer version, one for another library.
  std::vector<std::uint8_t> bytes = ReadBytes(copies[0].File);
  bytes.resize(bytes.size() / 2);
  WriteBytes(copies[0].File, bytes);
  WriteBytes(copies[1].InfoFile, {'h', 'a', 'r', 'r', 'o', 'w', 'v', 'a', 'n', 'e', '-', 'r', 'e', 'c', 'o', 'v',
                                  'e', 'r', 'y', ' ', '2', '\n'});
  const std::string damaged = copies[0].File;
  const std::string newer = copies[1].File;
  TRecoveryStore next(root, kSubject);
  const auto problemOf = [](const std::vector<TRecoveryCopy>& found, const std::string& file) {
    for (const TRecoveryCopy& c : found)
      if (c.File == file) return c.Problem;
    return std::string("missing");
  };
  copies = next.FindLeftOvers();
  ASSERT_EQ(copies.size(), 3u);
  EXPECT_EQ(problemOf(copies, damaged), "it is damaged");
  EXPECT_EQ(problemOf(copies, newer), "it was left by a newer version of the program");
  EXPECT_EQ(problemOf(TRecoveryStore(root, "Chemistry").FindLeftOvers(), copies[2].File),
            "it was made for another library");
  for (const TRecoveryCopy& copy : copies) {
    const std::string kept = next.KeepAside(copy);
    EXPECT_EQ(kept.rfind(next.KeptAsideFolder() + "/run-", 0), 0u) << kept;
    EXPECT_EQ(ReadBytes(kept).empty(), false);
  }
  EXPECT_TRUE(next.FindLeftOvers().empty());

  // A folder nobody may write: one message for the run, not one per round.
  if (::geteuid() != 0) {
    const std::string locked = Dir.File("locked");
    ::mkdir(locked.c_str(), 0500);
    TRecoveryStore failing(locked + "/recovery", kSubject);
    EXPECT_NE(failing.SaveAll({one.get()}), "");
    EXPECT_EQ(failing.SaveAll({one.get()}), "");
    ::chmod(locked.c_str(), 0700);
  }
}

TEST_F(SafetyNetTest, RecentTestsKeepTheLastEightOnceEachAndSurviveAGarbledFile) {
  const std::string file = Dir.File("config/recent-tests");
  {
    TRecentTests recent(file);
    for (int i = 0; i < 10; ++i) recent.Add("/t/" + std::to_string(i) + ".kvd");
    recent.Add("/t/5.kvd");
    recent.Add("relative.kvd");
    recent.Remove("/t/8.kvd");
  }
  EXPECT_EQ(TRecentTests(file).Files(),
            (std::vector<std::string>{"/t/5.kvd", "/t/9.kvd", "/t/7.kvd", "/t/6.kvd", "/t/4.kvd", "/t/3.kvd", "/t/2.kvd"}));
  WriteBytes(file, {'/', 'a', '\n', 0, 1, 2, '\n', 'x', '\n', '/', 'b', '\x1b', '\n', '/', 'a', '\n'});
  EXPECT_EQ(TRecentTests(file).Files(), (std::vector<std::string>{"/a"}));
}

}  // namespace
}  // namespace hv::test
