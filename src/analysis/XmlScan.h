#pragma once
// A small scanner over the tags of a spreadsheet part's XML: enough to find elements, read their
// attributes and copy everything else through untouched, without rebuilding the document.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hv::xml {

using TAttributes = std::vector<std::pair<std::string, std::string>>;  // name, decoded value

struct TTag {
  enum TKind { Open, Close, SelfClosed, Other };  // Other: comments, processing instructions, CDATA, DOCTYPE
  TKind Kind = Other;
  std::size_t Begin = 0;  // offset of '<'
  std::size_t End = 0;    // offset just after '>'
  std::string_view Name;  // qualified name as written
  std::string_view RawAttributes;

  std::string_view LocalName() const;
  // The prefix with its colon ("x:"), or empty.
  std::string_view Prefix() const;
};

// Walks the tags of a text in order. Malformed markup (a tag that never closes, a tag without a
// name, an end tag with more than its name) raises EDataError; text between tags is not reported.
class TScanner {
public:
  explicit TScanner(std::string_view text, std::size_t from = 0) : Text(text), Pos(from) {}
  bool Next(TTag& tag);
  std::size_t Position() const { return Pos; }

private:
  std::string_view Text;
  std::size_t Pos;
};

// Whether text can stand as an element or attribute name (no quotes, no markup characters).
bool IsName(std::string_view text);

// Attributes up to the first one that is not well formed.
TAttributes ParseAttributes(std::string_view raw);
// The value of the first attribute with that qualified name, or of one with that local name when
// local is set; empty when absent.
std::string Attribute(const TAttributes& attributes, std::string_view name, bool local = false);
bool HasAttribute(const TAttributes& attributes, std::string_view name);
void SetAttribute(TAttributes& attributes, std::string_view name, std::string_view value);
void RemoveAttribute(TAttributes& attributes, std::string_view name);
std::string FormatAttributes(const TAttributes& attributes);

// Given an Open tag, the offset just after its matching end tag; npos when it never ends or an
// end tag inside it names another element than the one it closes.
std::size_t ElementEnd(std::string_view text, const TTag& start);

std::string Escape(std::string_view text, bool attribute);
std::string Unescape(std::string_view text);

// Spreadsheet text escapes characters XML cannot hold as _xHHHH_ (and a literal "_x" that would
// read as one gets its underscore escaped); these turn UTF-8 text into such text and back.
std::string EncodeSpreadsheetText(std::string_view utf8);
std::string DecodeSpreadsheetText(std::string_view text);

// The concatenated text of the <t> elements inside some markup, phonetic runs left out.
std::string RunText(std::string_view markup);

}  // namespace hv::xml
