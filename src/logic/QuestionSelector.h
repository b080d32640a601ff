#pragma once
// The search engine behind the Question Finder: six classification criteria and the questions
// that satisfy all of them.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Collections.h"
#include "core/Observer.h"
#include "logic/WordIndex.h"
#include "logic/WordQuery.h"

namespace hv {

class TCategory;
class TIdentityCategory;
class TLibrary;
class TQuestion;

// The six classifications of a question, in the order the criteria are always listed.
enum class TClassification { Identity, Topic, QuestionType, Level, Paper, Resource };
inline constexpr std::size_t kClassificationCount = 6;

// One node per classification; nullptr means "any".
struct TCriteria {
  std::array<TCategory*, kClassificationCount> Nodes{};
  TCategory*& operator[](TClassification c) { return Nodes[static_cast<std::size_t>(c)]; }
  TCategory* operator[](TClassification c) const { return Nodes[static_cast<std::size_t>(c)]; }
};

// True when category is node or one of node's ancestors; false for a missing node.
bool IsWithin(const TCategory* category, const TCategory* node);
// True when IsWithin holds for some node of the list.
template <class T>
bool AnyWithin(const TCategory* category, const std::vector<T*>& list) {
  for (const T* node : list)
    if (IsWithin(category, node)) return true;
  return false;
}

// The questions matching a word query, best first; supplied by the word index.
using TWordMatcher = std::function<std::vector<TQuestion*>(const TWordQuery&, TWordScope)>;

// Holds up to six category criteria and a word criterion over one library and keeps Results equal
// to the questions that satisfy every set criterion: in the pre-order of the question tree, or
// best first while words are set. Narrowing a criterion filters the current results; every other
// change rescans the tree (or the word matches). Observers are notified with the empty set after
// every change of the results. Any number of selectors may work on the same library.
class TQuestionSelector : public TObservable {
public:
  // Starts with no criteria and every question of the library; does not notify.
  explicit TQuestionSelector(const TLibrary& library);

  const std::vector<TQuestion*>& Results() const { return ResultList; }
  const TLibrary& Library() const { return Lib; }

  void SetIdentityCriterion(TIdentityCategory* category, bool newSearch);
  void SetTopicCriterion(TCategory* category, bool newSearch);
  void SetQuestionTypeCriterion(TCategory* category, bool newSearch);
  void SetLevelCriterion(TCategory* category, bool newSearch);
  void SetPaperCriterion(TCategory* category, bool newSearch);
  void SetResourceCriterion(TIdentityCategory* category, bool newSearch);
  void SetCriterion(TClassification which, TCategory* category, bool newSearch);

  // The criterion, or the root of its tree when it is not set (what the picker preselects).
  TIdentityCategory* IdentityCriterion() const;
  TCategory* TopicCriterion() const;
  TCategory* QuestionTypeCriterion() const;
  TCategory* LevelCriterion() const;
  TCategory* PaperCriterion() const;
  TIdentityCategory* ResourceCriterion() const;
  // The stored criterion itself; nullptr when it is not set.
  TCategory* Criterion(TClassification which) const { return Current[which]; }
  const TCriteria& Criteria() const { return Current; }

  // The categories of one classification that occur among the questions matching every other
  // criterion, each with all its ancestors up to the root; owned by the caller.
  std::unique_ptr<TSet> AvailableIdentities() const { return Available(TClassification::Identity); }
  std::unique_ptr<TSet> AvailableTopics() const { return Available(TClassification::Topic); }
  std::unique_ptr<TSet> AvailableQuestionTypes() const { return Available(TClassification::QuestionType); }
  std::unique_ptr<TSet> AvailableLevels() const { return Available(TClassification::Level); }
  std::unique_ptr<TSet> AvailablePapers() const { return Available(TClassification::Paper); }
  std::unique_ptr<TSet> AvailableResources() const { return Available(TClassification::Resource); }
  std::unique_ptr<TSet> Available(TClassification which) const;

  // The word criterion: what was typed, read as a query, and the texts it searches. Empty text
  // (or text without a word) means no word criterion; the word matcher must be set for one.
  void SetWordCriterion(const std::string& words, TWordScope scope, bool newSearch);
  const std::string& WordCriterion() const { return Words; }
  const TWordQuery& WordQuery() const { return Query; }
  TWordScope WordScope() const { return Scope; }
  bool HasWordCriterion() const { return !Query.Empty(); }
  void SetWordMatcher(TWordMatcher matcher) { Matcher = std::move(matcher); }
  // Asks the word index again for the current words (it has grown) and notifies.
  void RefreshWordMatches();

  // True when no criterion other than this category is active.
  bool IsOnlyCriterion(const TCategory* category) const;
  // Forgets every criterion, the words too; Results stay and nobody is notified.
  void ClearCriteria();

  // Fills target with every question of the library that matches, in tree order (best first
  // among the word matches while words are set).
  void Search(const TCriteria& criteria, std::vector<TQuestion*>& target) const;
  // Fills target with the questions of Results that match, keeping their order.
  void Refine(const TCriteria& criteria, std::vector<TQuestion*>& target);

  static bool Matches(const TQuestion& question, const TCriteria& criteria);

  // A further test every result must pass besides the criteria (the statistics filters of the
  // Question Finder); an empty one passes everything. Setting it rescans and notifies.
  using TResultFilter = std::function<bool(const TQuestion&)>;
  void SetResultFilter(TResultFilter filter);
  bool HasResultFilter() const { return static_cast<bool>(Filter); }
  // The root of the library tree a classification draws its nodes from.
  TCategory* TreeOf(TClassification which) const;

private:
  const TLibrary& Lib;
  TCriteria Current;
  std::vector<TQuestion*> ResultList;
  TResultFilter Filter;
  std::string Words;
  TWordQuery Query;
  TWordScope Scope;
  std::vector<TQuestion*> WordMatches;  // of the current word criterion, best first
  TWordMatcher Matcher;
};

}  // namespace hv
