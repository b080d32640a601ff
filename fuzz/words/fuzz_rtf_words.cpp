// Extracts the text of any bytes read as RTF; the output must be well-formed UTF-8 of bounded
// size whatever the input, and every word found in it must consist of word characters.
#include <cstdint>
#include <cstdlib>

#include "FuzzModel.h"
#include "model/RtfWords.h"

using namespace hv;

namespace {

void WriteSeeds(const std::string& dir) {
  const std::string rtf =
      "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset238 Arial CE;}{\\f2\\fcharset128 MS Gothic;}}"
      "{\\colortbl;\\red255\\green0\\blue0;}\\f0 caf\\'e9 \\uc1\\u8364? {\\f1 \\'b9}{\\f2 \\'82\\'a0}"
      "{\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt link}}{\\pict\\pngblip 89504e47}\\bin2 {}\\par end}";
  fuzz::WriteSeed(dir, "mixed", fuzz::TBytes(rtf.begin(), rtf.end()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MaybeWriteSeeds(WriteSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = RtfPlainText(std::string_view(reinterpret_cast<const char*>(data), size));
  if (text.size() > 4 * size + 16) std::abort();
  // Only well-formed UTF-8 comes out: a replacement character is a whole three-byte sequence.
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t start = i;
    if (NextCodePoint(text, i) == 0xFFFD && i - start != 3) std::abort();
  }
  ForEachWord(text, [](std::string_view word) {
    for (std::size_t i = 0; i < word.size();)
      if (!IsWordChar(NextCodePoint(word, i))) std::abort();
  });
  return 0;
}
