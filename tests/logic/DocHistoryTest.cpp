// The undo history of a document: every kind of change comes back exactly, the saved state is
// recognised again, and entries held by the history keep one owner and readable texts.
#include <gtest/gtest.h>

#include <random>

#include "LogicFixtures.h"
#include "core/Errors.h"
#include "logic/DocLogic.h"
#include "model/Document.h"

namespace hv::test {
namespace {

// What a teacher sees of a document: each entry's name, number (0 when unnumbered) and text.
std::vector<std::string> Shown(const TDocLogic& doc) {
  std::vector<std::string> rows;
  for (TDocContent* e : doc.Document->Entries) {
    std::string row = e->Segment->GetName() + "#" + std::to_string(e->Numbered ? e->Number : 0);
    if (e->Segment->Chunk != nullptr)
      for (const std::string& line : e->Segment->Chunk->GetLines()) row += "|" + line;
    rows.push_back(row);
  }
  return rows;
}

class DocHistoryTest : public ::testing::Test, public TAppFixture {
protected:
  DocHistoryTest() {
    Doc.CreateNew();
    Doc.InsertEntries({Nodes->A101->Question, Nodes->A102->Question, Nodes->R1->Resource}, -1);
    Doc.InsertText(-1, "Own", true, Rtf("own"), 1, 2);
  }
  TDocLogic Doc{kSubject};
  TTempDir Dir;
};

TEST_F(DocHistoryTest, EachKindOfChangeUndoesAndRedoesExactlyAndSelectsWhatItTouched) {
  TIdentityCategory* noText = TSmallLibrary::Node(Nodes->R2, "X", "None");
  struct TCase {
    const char* Name;
    std::function<void()> Change;
    std::vector<int> TouchedAfterUndo;  // indices in the document after the undo
  };
  const std::vector<TCase> cases = {
      {"Insert", [&] { Doc.InsertEntries({Nodes->B201->Question, Nodes->A103->Question}, 1); }, {}},
      // A half-failed insertion undoes what it did insert.
      {"Insert", [&] { EXPECT_THROW(Doc.InsertEntries({Nodes->B201->Question, noText}, 0), EDataError); }, {}},
      {"Delete", [&] { Doc.RemoveEntries({Doc.Document->Entries[3], Doc.Document->Entries[0]}); }, {0, 3}},
      {"Move", [&] { Doc.MoveEntry(0, 3); }, {0}},
      {"Show Number", [&] { Doc.ToggleNumbered(0); }, {0}},
      {"Edit Text", [&] { Doc.ReplaceText(1, "Edited", false, Rtf("new"), 0, 0); }, {1}},
      {"Edit Text", [&] { Doc.ReplaceText(3, "Edited own", false, Rtf("new own"), 0, 0); }, {3}},
      {"Insert Text", [&] { Doc.InsertText(0, "Title", false, Rtf("title"), 0, 0); }, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<std::string> before = Shown(Doc);
    c.Change();
    const std::vector<std::string> after = Shown(Doc);
    ASSERT_NE(after, before);
    EXPECT_EQ(Doc.History().UndoName(), c.Name);
    const std::vector<TDocContent*> touched = Doc.Undo();
    EXPECT_EQ(Shown(Doc), before);
    std::vector<TDocContent*> expected;
    for (int i : c.TouchedAfterUndo) expected.push_back(Doc.Document->Entries[static_cast<std::size_t>(i)]);
    EXPECT_EQ(touched, expected);
    EXPECT_EQ(Doc.History().RedoName(), c.Name);
    Doc.Redo();
    EXPECT_EQ(Shown(Doc), after);
    Doc.Undo();
  }
  // Everything undone leaves the first state, and nothing more to undo.
  EXPECT_EQ(Doc.Document->Entries.size(), 4u);
  EXPECT_EQ(Doc.History().UndoName(), "Insert Text");
}

TEST_F(DocHistoryTest, UndoingBackToTheSavedStateMakesTheDocumentUnmodified) {
  Doc.SaveToFile(Dir.File("t.kvd"));
  EXPECT_FALSE(Doc.IsModified);
  Doc.MoveEntry(0, 1);
  EXPECT_TRUE(Doc.IsModified);
  Doc.Undo();
  EXPECT_FALSE(Doc.IsModified);
  Doc.Undo();  // before the save
  EXPECT_TRUE(Doc.IsModified);
  Doc.Redo();
  EXPECT_FALSE(Doc.IsModified);
  // A new change after an undo drops the redo steps, the saved state among them for good.
  Doc.Undo();
  Doc.ToggleNumbered(0);
  EXPECT_FALSE(Doc.History().CanRedo());
  Doc.Undo();
  EXPECT_TRUE(Doc.IsModified);
  // A saved state pushed out of a full history cannot be reached again either.
  Doc.SaveToFile(Dir.File("t.kvd"));
  Doc.SetHistoryBudget(1);
  Doc.ToggleNumbered(0);
  Doc.ToggleNumbered(0);
  EXPECT_EQ(Doc.History().Count(), 1u);
  Doc.Undo();
  EXPECT_TRUE(Doc.IsModified);
}

TEST_F(DocHistoryTest, TextsHeldByTheHistoryOutliveTheFileTheyWereReadFrom) {
  const std::string path = Dir.File("held.kvd");
  Doc.SaveToFile(path);
  Doc.Close();
  TDocLogic d(kSubject);
  d.LoadFromFile(path);  // the own text now lives in the file, not loaded
  d.ReplaceText(3, "Changed", false, Rtf("changed"), 0, 0);
  d.RemoveEntries({d.Document->Entries[3]});
  // Saving under the same name closes the file that held the old texts.
  d.SaveToFile(path);
  d.SaveToFile(Dir.File("other.kvd"));
  d.Undo();
  d.Undo();
  EXPECT_EQ(Shown(d)[3], "Own#3|{\\rtf1 own}");
  d.SaveToFile(path);
  TDocLogic back(kSubject);
  d.Close();
  back.LoadFromFile(path);
  EXPECT_EQ(Shown(back)[3], "Own#3|{\\rtf1 own}");
}

// Random changes, undos and redos, checked against the states recorded along the way; run under
// the address sanitizer this also proves no entry is freed twice or lost.
TEST_F(DocHistoryTest, RandomChangesUndoAndRedoToTheStatesTheyCameFrom) {
  std::mt19937 random(17);
  std::vector<std::vector<std::string>> states{Shown(Doc)};
  std::size_t position = 0;
  TStreamable* items[] = {Nodes->A103->Question, Nodes->B201->Question, Nodes->R2, Nodes->A101->MarkScheme};
  for (int step = 0; step < 400; ++step) {
    const int size = static_cast<int>(Doc.Document->Entries.size());
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const int what = pick(8);
    if (what == 0 && Doc.History().CanUndo()) {
      Doc.Undo();
      ASSERT_EQ(Shown(Doc), states[--position]) << step;
      continue;
    }
    if (what == 1 && Doc.History().CanRedo()) {
      Doc.Redo();
      ASSERT_EQ(Shown(Doc), states[++position]) << step;
      continue;
    }
    if (what == 2 || size == 0) {
      Doc.InsertEntries({items[pick(4)], size > 0 ? Doc.Document->Entries[static_cast<std::size_t>(pick(size))] : items[0]},
                        pick(size + 1));
    } else if (what == 3) {
      Doc.RemoveEntries({Doc.Document->Entries[static_cast<std::size_t>(pick(size))],
                         Doc.Document->Entries[static_cast<std::size_t>(pick(size))]});
    } else if (what == 4) {
      Doc.MoveEntry(pick(size), pick(size));
    } else if (what == 5) {
      Doc.ToggleNumbered(pick(size));
    } else if (what == 6) {
      Doc.ReplaceText(pick(size), "R" + std::to_string(step), true, Rtf(std::to_string(step)), 0, 0);
    } else {
      Doc.InsertText(pick(size + 1), "T" + std::to_string(step), false, Rtf("t"), 0, 0);
    }
    if (step == 200) Doc.SaveToFile(Dir.File("random.kvd"));
    states.resize(++position);
    states.push_back(Shown(Doc));
  }
  while (position > 0) {
    Doc.Undo();
    --position;
  }
  EXPECT_EQ(Shown(Doc), states[0]);
}

}  // namespace
}  // namespace hv::test
