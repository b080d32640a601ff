#include "logic/QuestionSelector.h"

#include <algorithm>

#include "model/Categories.h"
#include "model/Library.h"
#include "model/Segments.h"

namespace hv {

namespace {

// Capacity hint of the available-category sets; they grow beyond it when a tree is larger.
constexpr int kAvailableCapacity = 201;

template <class T>
void AddWithAncestors(TSet& set, T* node) {
  for (const TCategory* n = node; n != nullptr; n = n->Parent)
    if (set.Add(const_cast<TCategory*>(n)) != 0) return;  // the rest of the branch is there already
}

}  // namespace

bool IsWithin(const TCategory* category, const TCategory* node) {
  for (; node != nullptr; node = node->Parent)
    if (node == category) return true;
  return false;
}

TQuestionSelector::TQuestionSelector(const TLibrary& library) : Lib(library) { Search(Current, ResultList); }

TCategory* TQuestionSelector::TreeOf(TClassification which) const {
  switch (which) {
    case TClassification::Identity: return Lib.QuestionTree;
    case TClassification::Topic: return Lib.Topics;
    case TClassification::QuestionType: return Lib.QuestionTypes;
    case TClassification::Level: return Lib.Levels;
    case TClassification::Paper: return Lib.Papers;
    case TClassification::Resource: return Lib.ResourceTree;
  }
  return nullptr;
}

bool TQuestionSelector::Matches(const TQuestion& q, const TCriteria& c) {
  using C = TClassification;
  if (c[C::Identity] != nullptr && !IsWithin(c[C::Identity], q.Identity)) return false;
  if (c[C::Topic] != nullptr && !AnyWithin(c[C::Topic], q.Topics)) return false;
  if (c[C::QuestionType] != nullptr && !IsWithin(c[C::QuestionType], q.QuestionType)) return false;
  if (c[C::Level] != nullptr && !IsWithin(c[C::Level], q.Level)) return false;
  if (c[C::Paper] != nullptr && !AnyWithin(c[C::Paper], q.Papers)) return false;
  if (c[C::Resource] != nullptr && !AnyWithin(c[C::Resource], q.Resources)) return false;
  return true;
}

void TQuestionSelector::Search(const TCriteria& criteria, std::vector<TQuestion*>& target) const {
  target.clear();
  if (!Query.Empty()) {
    for (TQuestion* q : WordMatches)
      if (Matches(*q, criteria)) target.push_back(q);
    return;
  }
  if (Lib.QuestionTree == nullptr) return;
  // Below an identity criterion nothing else can match, so the walk starts there.
  TCategory* start = criteria[TClassification::Identity] != nullptr ? criteria[TClassification::Identity]
                                                                     : Lib.QuestionTree;
  if (TreeRoot(start) != Lib.QuestionTree) return;
  TCategoryIterator it(start);
  for (TCategory* node = it.Next(); node != nullptr; node = it.Next()) {
    TQuestion* question = static_cast<TIdentityCategory*>(node)->Question;
    if (question != nullptr && Matches(*question, criteria) && (!Filter || Filter(*question)))
      target.push_back(question);
  }
}

void TQuestionSelector::SetResultFilter(TResultFilter filter) {
  Filter = std::move(filter);
  Search(Current, ResultList);
  Notify({});
}

void TQuestionSelector::Refine(const TCriteria& criteria, std::vector<TQuestion*>& target) {
  if (&target == &ResultList) {
    std::erase_if(ResultList, [&](const TQuestion* q) { return !Matches(*q, criteria); });
    return;
  }
  target.clear();
  for (TQuestion* q : ResultList)
    if (Matches(*q, criteria)) target.push_back(q);
}

void TQuestionSelector::SetCriterion(TClassification which, TCategory* category, bool newSearch) {
  if (category != nullptr && category == TreeOf(which)) category = nullptr;
  if (category == Current[which] && !newSearch) return;
  if (newSearch) ClearCriteria();
  bool stillSet = Current[which] != nullptr;
  if (stillSet && IsWithin(Current[which], category)) stillSet = false;  // narrows the old node
  if (stillSet || newSearch) {
    TCriteria criteria = Current;
    criteria[which] = category;
    Search(criteria, ResultList);
  } else {
    // The current results already satisfy every other criterion.
    TCriteria only;
    only[which] = category;
    Refine(only, ResultList);
  }
  Current[which] = category;
  Notify(TNotificationSet{});
}

void TQuestionSelector::SetIdentityCriterion(TIdentityCategory* category, bool newSearch) {
  SetCriterion(TClassification::Identity, category, newSearch);
}
void TQuestionSelector::SetTopicCriterion(TCategory* category, bool newSearch) {
  SetCriterion(TClassification::Topic, category, newSearch);
}
void TQuestionSelector::SetQuestionTypeCriterion(TCategory* category, bool newSearch) {
  SetCriterion(TClassification::QuestionType, category, newSearch);
}
void TQuestionSelector::SetLevelCriterion(TCategory* category, bool newSearch) {
  SetCriterion(TClassification::Level, category, newSearch);
}
void TQuestionSelector::SetPaperCriterion(TCategory* category, bool newSearch) {
  SetCriterion(TClassification::Paper, category, newSearch);
}
void TQuestionSelector::SetResourceCriterion(TIdentityCategory* category, bool newSearch) {
  SetCriterion(TClassification::Resource, category, newSearch);
}

TIdentityCategory* TQuestionSelector::IdentityCriterion() const {
  return static_cast<TIdentityCategory*>(Current[TClassification::Identity] != nullptr
                                             ? Current[TClassification::Identity]
                                             : Lib.QuestionTree);
}
TCategory* TQuestionSelector::TopicCriterion() const {
  return Current[TClassification::Topic] != nullptr ? Current[TClassification::Topic] : Lib.Topics;
}
TCategory* TQuestionSelector::QuestionTypeCriterion() const {
  return Current[TClassification::QuestionType] != nullptr ? Current[TClassification::QuestionType]
                                                           : Lib.QuestionTypes;
}
TCategory* TQuestionSelector::LevelCriterion() const {
  return Current[TClassification::Level] != nullptr ? Current[TClassification::Level] : Lib.Levels;
}
TCategory* TQuestionSelector::PaperCriterion() const {
  return Current[TClassification::Paper] != nullptr ? Current[TClassification::Paper] : Lib.Papers;
}
TIdentityCategory* TQuestionSelector::ResourceCriterion() const {
  return static_cast<TIdentityCategory*>(Current[TClassification::Resource] != nullptr
                                             ? Current[TClassification::Resource]
                                             : Lib.ResourceTree);
}

std::unique_ptr<TSet> TQuestionSelector::Available(TClassification which) const {
  std::vector<TQuestion*> others;
  const std::vector<TQuestion*>* list = &ResultList;
  if (Current[which] != nullptr) {
    TCriteria criteria = Current;
    criteria[which] = nullptr;
    Search(criteria, others);
    list = &others;
  }
  // Every question has an identity node of its own, so that set grows with the list; growing it
  // step by step from the usual hint would rehash it a dozen times.
  const int hint = which == TClassification::Identity
                       ? std::max(kAvailableCapacity, static_cast<int>(list->size() + list->size() / 4))
                       : kAvailableCapacity;
  auto set = std::make_unique<TSet>(hint);
  for (TQuestion* q : *list) {
    switch (which) {
      case TClassification::Identity: AddWithAncestors(*set, q->Identity); break;
      case TClassification::Topic:
        for (TCategory* n : q->Topics) AddWithAncestors(*set, n);
        break;
      case TClassification::QuestionType: AddWithAncestors(*set, q->QuestionType); break;
      case TClassification::Level: AddWithAncestors(*set, q->Level); break;
      case TClassification::Paper:
        for (TCategory* n : q->Papers) AddWithAncestors(*set, n);
        break;
      case TClassification::Resource:
        for (TIdentityCategory* n : q->Resources) AddWithAncestors(*set, n);
        break;
    }
  }
  return set;
}

void TQuestionSelector::ClearCriteria() {
  Current = TCriteria{};
  Words.clear();
  Query = TWordQuery{};
  Scope = TWordScope{};
  WordMatches.clear();
}

void TQuestionSelector::SetWordCriterion(const std::string& words, TWordScope scope, bool newSearch) {
  TWordQuery query = ParseWordQuery(words);
  // Only the words count: "kettle" and " kettle " are the same criterion.
  if (query.Empty()) scope = TWordScope{};
  if (!newSearch && query.Terms == Query.Terms && (query.Empty() || scope == Scope)) return;
  if (newSearch) ClearCriteria();
  Words = query.Empty() ? std::string() : words;
  Query = std::move(query);
  Scope = scope;
  WordMatches.clear();
  if (!Query.Empty() && Matcher) WordMatches = Matcher(Query, Scope);
  Search(Current, ResultList);
  Notify(TNotificationSet{});
}

void TQuestionSelector::RefreshWordMatches() {
  if (Query.Empty()) return;
  WordMatches = Matcher ? Matcher(Query, Scope) : std::vector<TQuestion*>();
  Search(Current, ResultList);
  Notify(TNotificationSet{});
}

bool TQuestionSelector::IsOnlyCriterion(const TCategory* category) const {
  if (!Query.Empty()) return false;
  return std::all_of(Current.Nodes.begin(), Current.Nodes.end(),
                     [&](const TCategory* c) { return c == nullptr || c == category; });
}

}  // namespace hv
