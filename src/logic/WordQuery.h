#pragma once
// What a teacher types in the Words box, read into terms the word index can answer.
#include <string>
#include <string_view>
#include <vector>

namespace hv {

// One term of a word query: a word, or a phrase when it holds several words in order.
struct TWordTerm {
  std::vector<std::string> Words;  // as typed; matching ignores case and accents
  bool Prefix = false;             // the last word may be the start of a longer word (kinet*)
  bool Excluded = false;           // questions holding the term are left out (-word)
  bool operator==(const TWordTerm&) const = default;
};

// Every typed text is a valid query. Words must all occur, in any order; "a quoted phrase" must
// occur as written, as must words joined by punctuation (half-life); a trailing * matches a
// prefix; a leading - excludes. Anything else, the index engine's own operators and syntax
// characters included, is taken as words or as the spaces between them.
struct TWordQuery {
  std::vector<TWordTerm> Terms;

  bool Empty() const { return Terms.empty(); }
  bool HasRequired() const;
  // The full-text engine's match expression for the required terms, restricted to the given
  // columns, with the excluded ones subtracted; every word is quoted, so nothing typed can reach
  // the engine as an operator. Empty when no term is required.
  std::string MatchExpression(const std::vector<std::string>& columns) const;
  // The excluded terms as one expression matching any of them; empty when there are none.
  std::string ExcludedExpression(const std::vector<std::string>& columns) const;
};

TWordQuery ParseWordQuery(std::string_view text);

}  // namespace hv
