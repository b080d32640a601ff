// Category and identity trees: lookup by ID, walks, moves and unlinking.
#include <gtest/gtest.h>

#include <algorithm>

#include "ModelTestSupport.h"

namespace hv::test {
namespace {

std::vector<TCategory*> Walk(TCategory* root) {
  std::vector<TCategory*> order;
  auto it = root->CreateIterator();
  while (TCategory* node = it->Next()) order.push_back(node);
  return order;
}

TEST(FindByID, DescendsByCodePrefixes) {
  TIdentityCategory root;
  TIdentityCategory* a1 = AddIdentity(&root, "A1", "Paper");
  TIdentityCategory* q07 = AddIdentity(a1, "07", "Question 7");
  EXPECT_EQ(FullID(q07), "A107");
  EXPECT_EQ(FullID(a1), "A1");
  EXPECT_EQ(FullID(&root), "");
  EXPECT_EQ(FindByID(&root, "A107"), q07);
  EXPECT_EQ(FindByID(&root, "A1"), a1);
  EXPECT_EQ(FindByID(&root, ""), &root);
  // The ID ends in the middle of a code, or runs on past the last code.
  EXPECT_EQ(FindByID(&root, "A10"), nullptr);
  EXPECT_EQ(FindByID(&root, "A1070"), nullptr);
  EXPECT_EQ(FindByID(&root, "a107"), nullptr);
  EXPECT_EQ(FindByID(nullptr, "A1"), nullptr);
}

TEST(FindByID, RootCodeIsIgnoredAndFailedBranchesBacktrack) {
  TIdentityCategory root;
  root.SetCode("ZZ");
  TIdentityCategory* a1 = AddIdentity(&root, "A1", "dead end");
  AddIdentity(a1, "9", "other");
  TIdentityCategory* a = AddIdentity(&root, "A", "second way");
  TIdentityCategory* target = AddIdentity(a, "107", "found");
  EXPECT_EQ(FindByID(&root, "A107"), target);
  EXPECT_EQ(FindByID(&root, "ZZA107"), nullptr);
  // The first matching branch in child order wins.
  TIdentityCategory* twin = AddIdentity(a1, "07", "earlier");
  EXPECT_EQ(FindByID(&root, "A107"), twin);
}

TEST(FindByID, EveryNodeIsFoundByItsOwnIdEvenUnderACodedRoot) {
  TIdentityCategory root;
  root.SetCode("R0");
  TIdentityCategory* a1 = AddIdentity(&root, "A1", "Paper");
  TIdentityCategory* q07 = AddIdentity(a1, "07", "Question 7");
  EXPECT_EQ(FullID(&root), "");
  EXPECT_EQ(FullID(q07), "A107");
  for (TIdentityCategory* node : {&root, a1, q07}) EXPECT_EQ(FindByID(&root, FullID(node)), node);
}

TEST(FindByID, EmptyCodeMatchesWithoutConsuming) {
  TIdentityCategory root;
  TIdentityCategory* group = AddIdentity(&root, "", "group");
  TIdentityCategory* x9 = AddIdentity(group, "X9", "inside");
  EXPECT_EQ(FindByID(&root, "X9"), x9);
  EXPECT_EQ(FullID(x9), "X9");
  EXPECT_EQ(FindByID(&root, ""), &root);
}

TEST(CategoryIterator, VisitsPreOrderInChildOrder) {
  TCategory root;
  TCategory* first = root.CreateChild();
  TCategory* grandchild = first->CreateChild();
  TCategory* second = root.CreateChild();
  auto it = root.CreateIterator();
  EXPECT_EQ(it->Next(), &root);
  EXPECT_EQ(it->Next(), first);
  EXPECT_EQ(it->Next(), grandchild);
  EXPECT_EQ(it->Next(), second);
  EXPECT_EQ(it->Next(), nullptr);
  EXPECT_EQ(it->Next(), nullptr);
  // A subtree walk stays inside the subtree.
  EXPECT_EQ(Walk(first), (std::vector<TCategory*>{first, grandchild}));
  auto lister = root.CreateLister();
  EXPECT_EQ(lister->Next(), &root);
  EXPECT_EQ(lister->Next(), first);
}

TEST(CategoryTree, SetParentMovesToTheEndAndKeepsOrderWhenUnchanged) {
  TCategory root;
  TCategory* a = root.CreateChild();
  TCategory* b = root.CreateChild();
  TCategory* c = root.CreateChild();
  a->SetParent(&root);
  EXPECT_EQ(root.Children, (std::vector<TCategory*>{a, b, c}));
  EXPECT_EQ(c->Depth(), 1);
  a->SetParent(c);
  EXPECT_EQ(root.Children, (std::vector<TCategory*>{b, c}));
  EXPECT_EQ(c->Children, std::vector<TCategory*>{a});
  EXPECT_EQ(a->Parent, c);
  EXPECT_EQ(a->Depth(), 2);
  EXPECT_EQ(root.Depth(), 0);
  b->SetParent(nullptr);
  EXPECT_EQ(root.Children, std::vector<TCategory*>{c});
  EXPECT_EQ(b->Parent, nullptr);
  delete b;  // parentless now, so nobody else frees it
}

TEST(CategoryTree, CreateChildMakesANodeOfTheSameKind) {
  TCategory plain;
  TIdentityCategory identity;
  TCategory* child = plain.CreateChild();
  EXPECT_EQ(dynamic_cast<TIdentityCategory*>(child), nullptr);
  EXPECT_STREQ(child->ClassName(), "TCategory");
  TCategory* identityChild = identity.CreateChild();
  EXPECT_NE(dynamic_cast<TIdentityCategory*>(identityChild), nullptr);
  identity.CreateChild();
  EXPECT_EQ(identity.Children.front(), identityChild);
  EXPECT_EQ(identityChild->Parent, &identity);
}

TEST(CategoryTree, NamesCodesAndTitlesAreCut) {
  TIdentityCategory node;
  node.SetName(std::string(60, 'n'));
  node.SetCode("ABCDEFGH");
  node.SetTitle(std::string(150, 't'));
  EXPECT_EQ(node.Name.size(), 40u);
  EXPECT_EQ(node.Code, "ABCDEF");
  EXPECT_EQ(node.Title.size(), 100u);
}

TEST(Unlink, DeletesSegmentsDropsRelationsAndHandsBackEveryNode) {
  TSampleLibrary s = MakeSampleLibrary();
  int destroyed = 0;
  s.Q07->Question->SetChunk(std::make_unique<TCountedChunk>(destroyed));
  s.Q07->MarkScheme->SetChunk(std::make_unique<TCountedChunk>(destroyed));
  TIdentityCategory* s12 = AddIdentity(s.Library->SyllabusTree, "1.2", "Other statement");
  Relate(s.Q08, s12);
  Relate(s.Q08, s.S11);

  auto released = s.A1->Unlink();
  EXPECT_EQ(destroyed, 2);
  EXPECT_TRUE(s.Library->QuestionTree->Children.empty());
  EXPECT_EQ(s.A1->Parent, nullptr);
  ASSERT_EQ(released.size(), 3u);  // 08, 07, then A1 itself: children last to first
  EXPECT_EQ(released[0].get(), s.Q08);
  EXPECT_EQ(released[1].get(), s.Q07);
  EXPECT_EQ(released[2].get(), s.A1);
  for (const auto& node : released) {
    auto* identity = static_cast<TIdentityCategory*>(node.get());
    EXPECT_TRUE(identity->Segments().empty());
    EXPECT_TRUE(identity->Related.empty());
    EXPECT_TRUE(identity->Children.empty());
    EXPECT_EQ(identity->Parent, nullptr);
  }
  EXPECT_TRUE(s.S11->Related.empty());
  EXPECT_TRUE(s12->Related.empty());
  // The questions' classification nodes are untouched.
  EXPECT_EQ(s.Library->Topics->Children.size(), 1u);
}

TEST(Unlink, ATreeRootStaysWithItsOwner) {
  TSampleLibrary s = MakeSampleLibrary();
  auto released = s.Library->ResourceTree->Unlink();
  EXPECT_EQ(released.size(), 2u);  // R2, R1; the root itself still belongs to the library
  EXPECT_TRUE(s.Library->ResourceTree->Children.empty());
}

TEST(Unlink, NodeRelatedToItselfLeavesNoStaleLinks) {
  // A damaged library can relate a node to itself; unlinking must still clear every partner.
  TSampleLibrary s = MakeSampleLibrary();
  TIdentityCategory* s12 = AddIdentity(s.Library->SyllabusTree, "1.2", "b");
  TIdentityCategory* s13 = AddIdentity(s.Library->SyllabusTree, "1.3", "c");
  s.Q08->Related = {s.Q08, s.S11, s12, s13};
  s.S11->Related.push_back(s.Q08);
  s12->Related.push_back(s.Q08);
  s13->Related.push_back(s.Q08);
  auto released = s.Q08->Unlink();
  for (TIdentityCategory* node : {s.S11, s12, s13})
    EXPECT_EQ(std::count(node->Related.begin(), node->Related.end(), s.Q08), 0) << node->Code;
  EXPECT_EQ(s.S11->Related, std::vector<TIdentityCategory*>{s.Q07});
}

TEST(CategoryTree, VeryDeepTreesAreCountedWalkedAndFreedWithoutRecursion) {
  // A damaged or hostile library can nest nodes far deeper than the call stack allows.
  constexpr int kDepth = 400000;
  auto root = std::make_unique<TIdentityCategory>();
  TCategory* node = root.get();
  for (int i = 0; i < kDepth; ++i) node = node->CreateChild();
  static_cast<TIdentityCategory*>(node)->AddQuestion();
  EXPECT_EQ(root->ObjectCount(), kDepth + 2);
  EXPECT_EQ(node->Depth(), kDepth);
  EXPECT_EQ(FindByID(root.get(), ""), root.get());
  EXPECT_EQ(Walk(root.get()).size(), static_cast<std::size_t>(kDepth + 1));
  EXPECT_EQ(root->Children[0]->Unlink().size(), static_cast<std::size_t>(kDepth));
}

}  // namespace
}  // namespace hv::test
