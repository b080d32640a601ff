#include "logic/WordQuery.h"

#include <algorithm>

#include "model/RtfWords.h"

namespace hv {

namespace {

bool IsSpace(char32_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == 0xA0 || c == 0x3000; }
bool IsQuote(char32_t c) { return c == '"' || c == 0x201C || c == 0x201D || c == 0x201E; }
bool IsMinus(char32_t c) { return c == '-' || c == 0x2212 || c == 0x2013; }

std::vector<std::string> WordsOf(std::string_view text) {
  std::vector<std::string> words;
  ForEachWord(text, [&](std::string_view w) { words.emplace_back(w); });
  return words;
}

// A term as the engine reads it: "w1 w2" is a phrase, "w"* a prefix; words hold only letters and
// digits, so the quotes cannot be broken out of.
std::string Quoted(const TWordTerm& term) {
  std::string out = "\"";
  for (std::size_t i = 0; i < term.Words.size(); ++i) {
    if (i > 0) out += ' ';
    out += term.Words[i];
  }
  out += '"';
  if (term.Prefix) out += '*';
  return out;
}

std::string ColumnFilter(const std::vector<std::string>& columns) {
  std::string out = "{";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) out += ' ';
    out += columns[i];
  }
  return out + "} : ";
}

}  // namespace

TWordQuery ParseWordQuery(std::string_view text) {
  TWordQuery query;
  std::size_t i = 0;
  auto peek = [&](std::size_t at) -> char32_t {
    std::size_t k = at;
    return at < text.size() ? NextCodePoint(text, k) : 0;
  };
  auto advance = [&](std::size_t at) {
    std::size_t k = at;
    NextCodePoint(text, k);
    return k;
  };
  while (i < text.size()) {
    if (IsSpace(peek(i))) {
      i = advance(i);
      continue;
    }
    TWordTerm term;
    // A minus counts only in front of something, so a lone dash is a space.
    if (IsMinus(peek(i))) {
      const std::size_t next = advance(i);
      if (next < text.size() && !IsSpace(peek(next))) term.Excluded = true;
      i = next;
      if (!term.Excluded) continue;
    }
    std::size_t end = i;
    if (IsQuote(peek(i))) {
      const std::size_t start = advance(i);
      end = start;
      while (end < text.size() && !IsQuote(peek(end))) end = advance(end);
      term.Words = WordsOf(text.substr(start, end - start));
      if (end < text.size()) end = advance(end);  // the closing quote
      if (end < text.size() && peek(end) == '*') {
        term.Prefix = true;
        end = advance(end);
      }
    } else {
      while (end < text.size() && !IsSpace(peek(end)) && !IsQuote(peek(end))) end = advance(end);
      const std::string_view chunk = text.substr(i, end - i);
      term.Words = WordsOf(chunk);
      if (!term.Words.empty()) {
        // The star must follow the last word directly: "kinet*" but not "kinet *".
        const std::string& last = term.Words.back();
        const std::size_t at = chunk.rfind(last);
        term.Prefix = at != std::string_view::npos && at + last.size() < chunk.size() && chunk[at + last.size()] == '*';
      }
    }
    i = end;
    if (!term.Words.empty() && std::find(query.Terms.begin(), query.Terms.end(), term) == query.Terms.end())
      query.Terms.push_back(std::move(term));
  }
  return query;
}

bool TWordQuery::HasRequired() const {
  return std::any_of(Terms.begin(), Terms.end(), [](const TWordTerm& t) { return !t.Excluded; });
}

std::string TWordQuery::MatchExpression(const std::vector<std::string>& columns) const {
  std::string required;
  for (const TWordTerm& t : Terms) {
    if (t.Excluded) continue;
    if (!required.empty()) required += " AND ";
    required += Quoted(t);
  }
  if (required.empty()) return {};
  std::string expression = ColumnFilter(columns) + "(" + required + ")";
  const std::string excluded = ExcludedExpression(columns);
  if (!excluded.empty()) expression = "(" + expression + ") NOT (" + excluded + ")";
  return expression;
}

std::string TWordQuery::ExcludedExpression(const std::vector<std::string>& columns) const {
  std::string any;
  for (const TWordTerm& t : Terms) {
    if (!t.Excluded) continue;
    if (!any.empty()) any += " OR ";
    any += Quoted(t);
  }
  return any.empty() ? any : ColumnFilter(columns) + "(" + any + ")";
}

}  // namespace hv
