// Question selector: refining versus rescanning, criteria that clear themselves, notifications,
// and the categories each classification still offers.
#include <gtest/gtest.h>

#include "LogicFixtures.h"
#include "logic/QuestionSelector.h"

namespace hv::test {
namespace {

class QuestionSelectorTest : public ::testing::Test {
protected:
  QuestionSelectorTest() : Sel(*L.Library) { Rec.Watch(Sel); }
  std::vector<TQuestion*> Qs(std::initializer_list<TIdentityCategory*> nodes) {
    std::vector<TQuestion*> qs;
    for (auto* n : nodes) qs.push_back(n->Question);
    return qs;
  }
  static std::vector<TCategory*> Members(const TSet& set, std::initializer_list<TCategory*> universe) {
    std::vector<TCategory*> in;
    for (TCategory* c : universe)
      if (set.Contains(c)) in.push_back(c);
    return in;
  }
  TSmallLibrary L;
  TQuestionSelector Sel;
  TRecorder Rec;
};

TEST_F(QuestionSelectorTest, StartsWithEveryQuestionInTreeOrderAndRootsAsCriteria) {
  EXPECT_EQ(Sel.Results(), Qs({L.A101, L.A102, L.A103, L.B201, L.B202}));
  EXPECT_EQ(Sel.TopicCriterion(), L.Library->Topics);
  EXPECT_EQ(Sel.IdentityCriterion(), L.Library->QuestionTree);
  EXPECT_EQ(Sel.ResourceCriterion(), L.Library->ResourceTree);
  EXPECT_TRUE(Rec.Events.empty());
}

TEST_F(QuestionSelectorTest, NarrowingRefinesAndBroadeningRescans) {
  Sel.SetTopicCriterion(L.Mechanics, false);
  EXPECT_EQ(Sel.Results(), Qs({L.A101, L.A102, L.B201}));
  // A question made after the first search shows whether a step rescanned the library.
  TQuestion* late = L.Ask(TSmallLibrary::Node(L.B2, "03", "Late"), 1, {L.Forces}, L.Short, L.Core, {L.P1});
  Sel.SetTopicCriterion(L.Forces, false);
  EXPECT_EQ(Sel.Results(), Qs({L.A101, L.B201}));  // refined: the late question is not there
  Sel.SetTopicCriterion(L.Mechanics, false);
  EXPECT_EQ(Sel.Results(), (std::vector<TQuestion*>{L.A101->Question, L.A102->Question, L.B201->Question, late}));
  Sel.SetTopicCriterion(L.Waves, false);  // elsewhere in the tree: rescan
  EXPECT_EQ(Sel.Results(), Qs({L.A102, L.A103}));
  EXPECT_EQ(Rec.Take().size(), 4u);
}

TEST_F(QuestionSelectorTest, ChoosingTheRootClearsTheCriterionAndRescans) {
  Sel.SetLevelCriterion(L.Core, false);
  Sel.SetTopicCriterion(L.Forces, false);
  EXPECT_EQ(Sel.Results(), Qs({L.A101, L.B201}));
  Sel.SetLevelCriterion(L.Library->Levels, false);
  EXPECT_EQ(Sel.Criterion(TClassification::Level), nullptr);
  EXPECT_EQ(Sel.LevelCriterion(), L.Library->Levels);
  EXPECT_EQ(Sel.Results(), Qs({L.A101, L.B201}));  // the topic still applies
  Sel.SetTopicCriterion(nullptr, false);
  EXPECT_EQ(Sel.Results().size(), 5u);
}

TEST_F(QuestionSelectorTest, TheSameCategoryAgainIsSilentUnlessItStartsANewSearch) {
  Sel.SetTopicCriterion(L.Mechanics, false);
  Sel.SetPaperCriterion(L.P1, false);
  Rec.Take();
  Sel.SetTopicCriterion(L.Mechanics, false);
  Sel.SetLevelCriterion(L.Library->Levels, false);  // the root of an unset criterion: no change
  EXPECT_TRUE(Rec.Take().empty());
  Sel.SetTopicCriterion(L.Mechanics, true);
  EXPECT_EQ(Rec.Take(), (std::vector<TRecorder::TEvent>{{&Sel, {}}}));
  EXPECT_EQ(Sel.Criterion(TClassification::Paper), nullptr);
  EXPECT_EQ(Sel.Results(), Qs({L.A101, L.A102, L.B201}));
}

TEST_F(QuestionSelectorTest, ListFieldsMatchWhenAnyMemberLiesBelowTheCriterion) {
  Sel.SetTopicCriterion(L.Energy, true);  // B201 has Forces and Energy, A102 Energy and Waves
  EXPECT_EQ(Sel.Results(), Qs({L.A102, L.B201}));
  Sel.SetResourceCriterion(L.R2, true);
  EXPECT_EQ(Sel.Results(), Qs({L.A103}));
  Sel.SetIdentityCriterion(L.A1, true);
  EXPECT_EQ(Sel.Results(), Qs({L.A101, L.A102, L.A103}));
  Sel.SetQuestionTypeCriterion(L.Short, false);
  EXPECT_EQ(Sel.Results(), Qs({L.A101, L.A103}));
}

TEST_F(QuestionSelectorTest, ASearchWithoutMatchesStillNotifies) {
  Sel.SetTopicCriterion(L.Forces, false);
  Sel.SetLevelCriterion(L.Extended, false);
  EXPECT_TRUE(Sel.Results().empty());
  EXPECT_EQ(Rec.Take().size(), 2u);
}

TEST_F(QuestionSelectorTest, AvailableCategoriesIgnoreTheirOwnCriterion) {
  Sel.SetLevelCriterion(L.Core, false);
  Sel.SetPaperCriterion(L.P2, false);
  EXPECT_EQ(Sel.Results(), Qs({L.B201}));
  // Levels of every P2 question, not only of those at Core; each with its ancestors.
  auto levels = Sel.AvailableLevels();
  EXPECT_EQ(Members(*levels, {L.Library->Levels, L.Core, L.Extended}),
            (std::vector<TCategory*>{L.Library->Levels, L.Core, L.Extended}));
  EXPECT_EQ(levels->Count(), 3);
  auto papers = Sel.AvailablePapers();  // papers of the Core questions
  EXPECT_EQ(Members(*papers, {L.Library->Papers, L.P1, L.P2}), (std::vector<TCategory*>{L.Library->Papers, L.P1, L.P2}));
  auto topics = Sel.AvailableTopics();  // from the results alone: B201's topics
  EXPECT_EQ(Members(*topics, {L.Library->Topics, L.Mechanics, L.Forces, L.Energy, L.Waves}),
            (std::vector<TCategory*>{L.Library->Topics, L.Mechanics, L.Forces, L.Energy}));
  auto ids = Sel.AvailableIdentities();
  EXPECT_EQ(Members(*ids, {L.Library->QuestionTree, L.A1, L.A101, L.B2, L.B201, L.B202}),
            (std::vector<TCategory*>{L.Library->QuestionTree, L.B2, L.B201}));
  auto types = Sel.AvailableQuestionTypes();
  EXPECT_EQ(Members(*types, {L.Short, L.Long}), (std::vector<TCategory*>{L.Long}));
  EXPECT_EQ(Sel.AvailableResources()->Count(), 0);  // B201 uses no resource
}

TEST_F(QuestionSelectorTest, AvailableResourcesClimbEachBranchOnce) {
  auto resources = Sel.AvailableResources();
  EXPECT_EQ(Members(*resources, {L.Library->ResourceTree, L.R1, L.R2}),
            (std::vector<TCategory*>{L.Library->ResourceTree, L.R1, L.R2}));
  EXPECT_EQ(resources->Count(), 3);
  Sel.SetTopicCriterion(L.Forces, false);
  Sel.SetTopicCriterion(L.Waves, false);
  Sel.SetLevelCriterion(L.Core, false);
  EXPECT_TRUE(Sel.Results().empty());
  EXPECT_EQ(Sel.AvailableTopics()->Count(), 4);  // the Core questions' topics: root, Mechanics, Forces, Energy
  EXPECT_EQ(Sel.AvailableResources()->Count(), 0);
}

TEST_F(QuestionSelectorTest, IsOnlyCriterionSeesAnyOtherActiveCriterion) {
  EXPECT_TRUE(Sel.IsOnlyCriterion(L.Forces));
  Sel.SetTopicCriterion(L.Forces, false);
  EXPECT_TRUE(Sel.IsOnlyCriterion(L.Forces));
  EXPECT_FALSE(Sel.IsOnlyCriterion(L.Energy));
  Sel.SetPaperCriterion(L.P1, false);
  EXPECT_FALSE(Sel.IsOnlyCriterion(L.Forces));
  Sel.ClearCriteria();
  EXPECT_TRUE(Sel.IsOnlyCriterion(L.Forces));
  EXPECT_EQ(Sel.Results(), Qs({L.A101}));  // clearing does not touch the results
}

TEST_F(QuestionSelectorTest, ASecondSelectorWorksAlongside) {
  TQuestionSelector related(*L.Library);
  TRecorder relatedRec;
  relatedRec.Watch(related);
  related.SetResourceCriterion(L.R1, true);
  Sel.SetTopicCriterion(L.Waves, true);
  EXPECT_EQ(related.Results(), Qs({L.A101, L.A103}));
  EXPECT_EQ(Sel.Results(), Qs({L.A102, L.A103}));
  EXPECT_EQ(relatedRec.Take().size(), 1u);
  EXPECT_EQ(Rec.Take().size(), 1u);
  EXPECT_EQ(related.Criterion(TClassification::Topic), nullptr);
}

}  // namespace
}  // namespace hv::test
