#include "output/TitleRtf.h"

#include <cstdint>

#include "AnsiString.h"
#include "model/TextStore.h"

namespace hv {

namespace {

constexpr const char* kHeader = "{\\rtf1\\ansi\\ansicpg1252\\uc1 \\deff0";
constexpr const char* kFontTable = "{\\fonttbl{\\f0\\froman\\fcharset0 TIMES NEW ROMAN;}}";
constexpr const char* kGenerator = "{\\*\\generator TX_RTF32 10.0.321.500;}";
const std::string kCrLf = "\r\n";

}  // namespace

std::string RtfFieldText(const QString& text) {
  static const char hex[] = "0123456789abcdef";
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  for (const QChar ch : text) {
    const char16_t unit = ch.unicode();
    if (unit == u'\\' || unit == u'{' || unit == u'}') {
      out += '\\';
      out += static_cast<char>(unit);
    } else if (unit == u'\t') {
      out += "\\tab ";
    } else if (unit < 0x20 || (unit >= 0x7f && unit <= 0x9f)) {
      continue;  // C0 and C1 controls, including the five bytes the code page leaves undefined
    } else if (unit < 0x80) {
      out += static_cast<char>(unit);
    } else if (const int byte = AnsiByteFor(unit); byte >= 0x80) {
      out += "\\'";
      out += hex[(byte >> 4) & 0xf];
      out += hex[byte & 0xf];
    } else {
      // \uN takes a signed 16-bit number; a surrogate pair is written as its two halves.
      out += "\\u" + std::to_string(static_cast<int>(static_cast<std::int16_t>(unit))) + "?";
    }
  }
  return out;
}

std::vector<std::string> TitlePieces(const TTitleFields& f, const QString& organisation) {
  const std::string org = RtfFieldText(organisation);
  if (f.FullPage) {
    return {kHeader,
            kFontTable,
            "\\par\\pard\\plain\\qc\\sb1440\\sa960\\f0\\fs24 ",
            "\r", "\n",
            org,
            "\r", "\n",
            "\\par\\sb480\\sa480\\ATXbrdr60\\fs52\\b ",
            RtfFieldText(f.Title),
            "\r", "\n",
            "\\par\\pard\\qc\\sb960\\ATXbrdr0\\fs36\\b0 ",
            RtfFieldText(f.Subtitle),
            "\r", "\n",
            "\\par\\sb720\\fs32\\b ",
            RtfFieldText(f.Date),
            "\r", "\n",
            "\\par\\fs28 \\b0 ",
            RtfFieldText(f.TimeAllowed),
            "\\par\\fs28 \\b0 ",
            RtfFieldText(f.TotalMarks),
            "\r", "\n",
            "\\par\\fs24\\i ",
            RtfFieldText(f.Instructions),
            "\r", "\n",
            "\\par\\sb0\\pard ",
            "\\par\\par\\par\\par\\par\\par\\par\\par\\par\\par\\par\\par\\par\\par -\\par}"};
  }
  return {kHeader,
          kFontTable,
          "\\par\\pard\\plain\\qc\\sa480\\f0\\fs24 ",
          org,
          "\\par\\sb240\\sa240\\ATXbrdr60\\fs52\\b ",
          RtfFieldText(f.Title),
          "\\par\\pard\\qc\\sb480\\sa288\\ATXbrdr0\\fs36\\b0 ",
          RtfFieldText(f.Subtitle),
          "\\par\\pard\\qc\\fs32\\b ",
          RtfFieldText(f.Date),
          "\\par\\fs28 \\b0 ",
          RtfFieldText(f.TimeAllowed),
          "\\par ",
          RtfFieldText(f.TotalMarks),
          "\\par\\fs24\\i ",
          RtfFieldText(f.Instructions),
          "\\par\\pard -\\par\\pard}"};
}

std::vector<std::string> SectionPieces(const TSectionFields& f) {
  if (f.NewPage) {
    return {kHeader,
            kFontTable,
            kGenerator,
            "\\plain\\pard\\qc\\pagebb\\keepn\\sa480\\f0\\fs32\\b1 ",
            "\r", "\n",
            RtfFieldText(f.SectionTitle),
            "\\par\\plain\\pard\\qc\\keepn\\sa480\\li1440\\fi1440\\ri1440\\f0\\fs24\\i1 ",
            "\r", "\n",
            "\t",
            RtfFieldText(f.Instruction),
            "\r", "\n",
            "\\par -\\par}"};
  }
  return {kHeader,
          kFontTable,
          kGenerator,
          "\\plain\\pard\\qc\\keepn\\sb1440\\sa480\\f0\\fs32\\b1 ",
          RtfFieldText(f.SectionTitle),
          "\\par\\plain\\pard\\qc\\keepn\\sa480\\li1440\\fi1440\\ri1440\\f0\\fs24\\i1 ",
          RtfFieldText(f.Instruction),
          "\\par -\\par}"};
}

std::unique_ptr<TTextChunk> ChunkOfPieces(const std::vector<std::string>& pieces) {
  std::string line;
  for (const std::string& piece : pieces) line += piece;
  return std::make_unique<TTextChunk>(std::vector<std::string>{std::move(line)});
}

}  // namespace hv
