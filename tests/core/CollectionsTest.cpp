#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/Collections.h"
#include "core/Errors.h"

namespace hv {
namespace {

std::vector<TElement> Drain(TIterator& it) {
  std::vector<TElement> out;
  for (TElement e = it.Next(); e != 0; e = it.Next()) out.push_back(e);
  return out;
}

// Every element lands in slot 5 (or the run behind it), so removals always happen inside a run.
std::size_t CollidingHash(TElement) { return 5; }
// Near the end of a 29-slot table, so runs wrap around to slot 0.
std::size_t WrappingHash(TElement) { return 27; }
std::intptr_t ValueCompare(TElement a, TElement b) { return static_cast<std::intptr_t>(a - b); }

// Elements are equal when they agree in their tens, so a second Add can replace the first.
std::size_t TensHash(TElement e) { return e / 10; }
std::intptr_t TensCompare(TElement a, TElement b) {
  return static_cast<std::intptr_t>(a / 10) - static_cast<std::intptr_t>(b / 10);
}

struct TSizing {
  int Requested;
  int Capacity;
  int MaxLoad;
};

class SetSizing : public ::testing::TestWithParam<TSizing> {};

TEST_P(SetSizing, HoldsTheRequestedCountBeforeGrowing) {
  const TSizing s = GetParam();
  TSet set(s.Requested);
  EXPECT_EQ(set.Capacity(), s.Capacity);
  EXPECT_EQ(set.MaxLoad(), s.MaxLoad);
  for (TElement e = 1; e <= static_cast<TElement>(s.MaxLoad); ++e) set.Add(e * 8);
  EXPECT_EQ(set.Capacity(), s.Capacity) << "grew before reaching MaxLoad";
  set.Add(0x10000);
  EXPECT_GT(set.Capacity(), s.Capacity);

  TDictionary dict(s.Requested);
  EXPECT_EQ(dict.Capacity(), s.Capacity);
  EXPECT_EQ(dict.MaxLoad(), s.MaxLoad);
}

INSTANTIATE_TEST_SUITE_P(Collections, SetSizing,
                         ::testing::Values(TSizing{201, 287, 201}, TSizing{20, 29, 20}, TSizing{8, 11, 8},
                                           TSizing{1, 1, 1}, TSizing{0, 1, 1}, TSizing{-4, 1, 1}));

TEST(Set, OneSlotSetGrowsOnSecondAddAndKeepsBoth) {
  TSet set(1);
  EXPECT_EQ(set.Add(16), 0u);
  EXPECT_EQ(set.Capacity(), 1);
  EXPECT_EQ(set.Add(24), 0u);
  EXPECT_GT(set.Capacity(), 1);
  EXPECT_EQ(set.Count(), 2);
  EXPECT_EQ(set.Find(16), 16u);
  EXPECT_EQ(set.Find(24), 24u);
}

// Small sets fill every slot before they grow; looking up an absent element must still end.
TEST(Set, AbsentElementIsNotFoundWhileEverySlotIsTaken) {
  for (int n : {0, 1, 2, 3}) {
    TSet set(n);
    for (TElement e = 1; e <= 40; ++e) {
      set.Add(e);
      ASSERT_EQ(set.Find(1000 + e), 0u) << "created for " << n << ", after adding " << e;
      ASSERT_EQ(set.Remove(1000 + e), 0u);
      ASSERT_EQ(set.Count(), static_cast<int>(e));
      for (TElement k = 1; k <= e; ++k) ASSERT_EQ(set.Find(k), k);
    }
  }
  TDictionary dict(1);
  dict.Put(7, 70);
  EXPECT_EQ(dict.Get(8), 0u);
  EXPECT_EQ(dict.Remove(8), 0u);
  EXPECT_EQ(dict.Get(7), 70u);
}

TEST(Set, AddReplacesAnEqualElementAndAnswersIt) {
  TSet set(8);
  set.SetFunctions(TensHash, TensCompare);
  EXPECT_EQ(set.Add(12), 0u);
  EXPECT_EQ(set.Add(15), 12u);
  EXPECT_EQ(set.Count(), 1);
  EXPECT_EQ(set.Find(19), 15u);
  EXPECT_EQ(set.Remove(11), 15u);
  EXPECT_EQ(set.Count(), 0);
  EXPECT_EQ(set.Find(15), 0u);
}

TEST(Set, SetFunctionsEmptiesTheSet) {
  TSet set(8);
  set.Add(3);
  set.SetFunctions(TensHash, TensCompare);
  EXPECT_EQ(set.Count(), 0);
  EXPECT_EQ(set.Find(3), 0u);
}

TEST(Dictionary, PutReplacesTheValueAndAnswersThePreviousOne) {
  TDictionary dict(8);
  EXPECT_EQ(dict.Put(0x1000, 1), 0u);
  EXPECT_EQ(dict.Put(0x1000, 2), 1u);
  EXPECT_EQ(dict.Count(), 1);
  EXPECT_EQ(dict.Get(0x1000), 2u);
  EXPECT_EQ(dict.Find(0x1000), 2u);
  EXPECT_EQ(dict.Remove(0x1000), 2u);
  EXPECT_EQ(dict.Remove(0x1000), 0u);
  EXPECT_EQ(dict.Get(0x1000), 0u);
  EXPECT_EQ(dict.Count(), 0);
}

struct TRun {
  TSet::THashFn Hash;
  const char* Name;
};

class RemoveInsideRun : public ::testing::TestWithParam<TRun> {};

TEST_P(RemoveInsideRun, KeepsEveryOtherElementFindable) {
  constexpr TElement kCount = 12;
  for (TElement victim = 1; victim <= kCount; ++victim) {
    TSet set(20);
    set.SetFunctions(GetParam().Hash, ValueCompare);
    for (TElement e = 1; e <= kCount; ++e) set.Add(e);
    ASSERT_EQ(set.Capacity(), 29);
    EXPECT_EQ(set.Remove(victim), victim);
    EXPECT_EQ(set.Count(), static_cast<int>(kCount - 1));
    for (TElement e = 1; e <= kCount; ++e) EXPECT_EQ(set.Find(e), e == victim ? 0 : e) << "removed " << victim;
    // The hole must not stop later additions from finding their own run.
    set.Add(victim);
    for (TElement e = 1; e <= kCount; ++e) EXPECT_EQ(set.Find(e), e);
  }
}

INSTANTIATE_TEST_SUITE_P(Collections, RemoveInsideRun,
                         ::testing::Values(TRun{CollidingHash, "middle"}, TRun{WrappingHash, "wrapping"}),
                         [](const auto& param) { return std::string(param.param.Name); });

TEST(Set, IteratesInSlotOrder) {
  TSet set(8);  // 11 slots; the element is its own hash
  for (TElement e : {10, 3, 14, 1}) set.Add(e);
  auto it = set.CreateIterator();
  // 14 collides with 3 (14 mod 11) and goes to the slot after it.
  EXPECT_EQ(Drain(*it), (std::vector<TElement>{1, 3, 14, 10}));
  EXPECT_EQ(it->Next(), 0u) << "an exhausted iterator keeps answering none";
}

TEST(Dictionary, IteratorAnswersValuesInSlotOrder) {
  TDictionary dict(8);
  dict.Put(10, 100);
  dict.Put(3, 30);
  dict.Put(14, 140);
  dict.Put(1, 10);
  auto it = dict.CreateIterator();
  EXPECT_EQ(Drain(*it), (std::vector<TElement>{10, 30, 140, 100}));
}

TEST(Set, SetCapacityBelowCountFailsAndLeavesTheSetAlone) {
  TSet set(8);
  for (TElement e = 1; e <= 5; ++e) set.Add(e * 16);
  const int capacity = set.Capacity();
  auto before = set.CreateIterator();
  const std::vector<TElement> order = Drain(*before);
  try {
    set.SetCapacity(4);
    FAIL() << "no error";
  } catch (const ERangeError& e) {
    EXPECT_STREQ(e.what(), "Set Capacity too small to hold existing elements.");
  }
  EXPECT_EQ(set.Capacity(), capacity);
  EXPECT_EQ(set.Count(), 5);
  auto after = set.CreateIterator();
  EXPECT_EQ(Drain(*after), order);

  set.SetCapacity(5);
  EXPECT_EQ(set.Capacity(), 7);
  for (TElement e = 1; e <= 5; ++e) EXPECT_EQ(set.Find(e * 16), e * 16);
  set.SetCapacity(200);
  EXPECT_EQ(set.Capacity(), 286);
  EXPECT_EQ(set.Count(), 5);
  for (TElement e = 1; e <= 5; ++e) EXPECT_EQ(set.Find(e * 16), e * 16);
}

TEST(Dictionary, ClearFreesEntriesAndKeepsWorking) {
  TDictionary dict(4);
  for (TElement k = 1; k <= 50; ++k) dict.Put(k * 8, k);
  dict.Clear();
  EXPECT_EQ(dict.Count(), 0);
  EXPECT_EQ(dict.Get(8), 0u);
  dict.Put(8, 3);
  EXPECT_EQ(dict.Get(8), 3u);
}

// Small key ranges force long runs, many replacements and removals inside runs.
TEST(Set, BehavesLikeUnorderedSetUnderRandomOperations) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 20; ++round) {
    TSet set(round % 5);
    std::unordered_set<TElement> model;
    const TElement range = 8 + static_cast<TElement>(round) * 40;
    std::uniform_int_distribution<TElement> key(1, range);
    std::uniform_int_distribution<int> op(0, 9);
    for (int step = 0; step < 3000; ++step) {
      const TElement k = key(rng);
      const int o = op(rng);
      if (o < 5) {
        const bool had = model.count(k) != 0;
        ASSERT_EQ(set.Add(k), had ? k : 0);
        model.insert(k);
      } else if (o < 8) {
        const bool had = model.erase(k) != 0;
        ASSERT_EQ(set.Remove(k), had ? k : 0);
      } else {
        ASSERT_EQ(set.Find(k), model.count(k) ? k : 0);
      }
      ASSERT_EQ(set.Count(), static_cast<int>(model.size()));
    }
    for (TElement k = 1; k <= range; ++k) ASSERT_EQ(set.Find(k), model.count(k) ? k : 0);
    auto it = set.CreateIterator();
    std::vector<TElement> listed = Drain(*it);
    std::vector<TElement> expected(model.begin(), model.end());
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(listed, expected);
  }
}

TEST(Dictionary, BehavesLikeUnorderedMapUnderRandomOperations) {
  std::mt19937 rng(77);
  for (int round = 0; round < 20; ++round) {
    TDictionary dict(round % 7);
    std::unordered_map<TElement, TElement> model;
    const TElement range = 8 + static_cast<TElement>(round) * 40;
    std::uniform_int_distribution<TElement> key(1, range);
    std::uniform_int_distribution<TElement> value(1, 1000000);
    std::uniform_int_distribution<int> op(0, 9);
    for (int step = 0; step < 3000; ++step) {
      const TElement k = key(rng) * 16;  // aligned like the pointers the writer stores
      const int o = op(rng);
      const auto found = model.find(k);
      const TElement old = found == model.end() ? 0 : found->second;
      if (o < 5) {
        const TElement v = value(rng);
        ASSERT_EQ(dict.Put(k, v), old);
        model[k] = v;
      } else if (o < 8) {
        ASSERT_EQ(dict.Remove(k), old);
        model.erase(k);
      } else {
        ASSERT_EQ(dict.Get(k), old);
      }
      ASSERT_EQ(dict.Count(), static_cast<int>(model.size()));
    }
    auto it = dict.CreateIterator();
    std::vector<TElement> listed = Drain(*it);
    std::vector<TElement> expected;
    for (const auto& [k, v] : model) expected.push_back(v);
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(listed, expected);
  }
}

}  // namespace
}  // namespace hv
