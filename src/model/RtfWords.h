#pragma once
// The visible text of an RTF text as UTF-8, read in one pass without building a document, and the
// words in it. The word index reads every text of a library through this, so it must keep up with
// the disk and never trust its input.
#include <cstddef>
#include <string>
#include <string_view>

namespace hv {

// Appends the text a reader of the RTF would see to out, as UTF-8: body text with its code pages,
// \'hh and \u escapes decoded; font, colour and style tables, pictures, field instructions,
// headers and footers, hidden text and every other destination left out. Paragraph, line, cell
// and row ends become '\n', tabs '\t'. Any byte sequence is accepted: damaged escapes are dropped,
// nesting beyond what RTF writers produce is skipped, and the output never exceeds a few bytes per
// input byte.
void ExtractRtfText(std::string_view rtf, std::string& out);
std::string RtfPlainText(std::string_view rtf);

// The Windows code page of an RTF font's \fcharset; 0 where the document's own code page applies.
int CodepageForCharset(int charset);

// A word: a maximal run of letters and digits (any script), as the index's tokenizer splits text.
// Calls f(word) for each word of a UTF-8 text, in order; malformed UTF-8 bytes separate words.
template <class F>
void ForEachWord(std::string_view utf8, F&& f);

// Decodes one UTF-8 character at text[i], advancing i; malformed or truncated bytes give
// U+FFFD and advance by one.
char32_t NextCodePoint(std::string_view text, std::size_t& i);
// True for characters that belong to words: letters, digits, combining marks and private-use
// characters; false for spaces, punctuation and symbols.
bool IsWordChar(char32_t c);

template <class F>
void ForEachWord(std::string_view utf8, F&& f) {
  std::size_t i = 0;
  std::size_t start = std::string_view::npos;
  while (i < utf8.size()) {
    const std::size_t at = i;
    const char32_t c = NextCodePoint(utf8, i);
    if (IsWordChar(c)) {
      if (start == std::string_view::npos) start = at;
    } else if (start != std::string_view::npos) {
      f(utf8.substr(start, at - start));
      start = std::string_view::npos;
    }
  }
  if (start != std::string_view::npos) f(utf8.substr(start));
}

}  // namespace hv
