#include "model/RtfWords.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <array>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace hv {

namespace {

// Deeper groups are skipped whole, which bounds the state kept for hostile input; HTML wrapped in
// RTF by mail programs nests thousands deep.
constexpr std::size_t kMaxDepth = 4096;
constexpr std::size_t kMaxFonts = 10000;

constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Each Windows-1252 byte as UTF-8, ready to append; controls other than tab give nothing.
struct TCp1252Utf8 {
  std::array<std::array<char, 4>, 256> Bytes{};
  std::array<std::uint8_t, 256> Length{};
  TCp1252Utf8() {
    for (int b = 0; b < 256; ++b) {
      char32_t c = static_cast<char32_t>(b);
      if (b >= 0x80 && b < 0xA0) c = kCp1252High[static_cast<std::size_t>(b - 0x80)];
      if ((c < 0x20 && c != '\t') || c == 0x7F || (c >= 0x80 && c < 0xA0)) continue;
      std::string s;
      AppendUtf8(s, c);
      std::memcpy(Bytes[static_cast<std::size_t>(b)].data(), s.data(), s.size());
      Length[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(s.size());
    }
  }
};
const TCp1252Utf8 kCp1252;

const char* IconvNameFor(int cp) {
  switch (cp) {
    case 437: return "CP437";
    case 850: return "CP850";
    case 852: return "CP852";
    case 866: return "CP866";
    case 874: return "CP874";
    case 932: case 10001: return "CP932";
    case 936: case 10008: return "GBK";
    case 949: case 10003: return "CP949";
    case 950: case 10002: return "BIG5";
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1253: return "CP1253";
    case 1254: return "CP1254";
    case 1255: return "CP1255";
    case 1256: return "CP1256";
    case 1257: return "CP1257";
    case 1258: return "CP1258";
    case 1361: return "JOHAB";
    case 10000: return "MACINTOSH";
    case 20932: case 51932: return "EUC-JP";
    case 50220: return "ISO-2022-JP";
    case 54936: return "GB18030";
    case 65001: return "UTF-8";
    default: return nullptr;
  }
}


constexpr std::string_view kSkipped[] = {
    "info", "header", "headerl", "headerr", "headerf", "footer", "footerl", "footerr", "footerf", "footnote",
    "annotation", "objdata", "objclass", "objname", "objalias", "objtopic", "objitem", "objsect", "datafield",
    "xe", "tc", "tcn", "txe", "rxe", "pn", "pntxta", "pntxtb", "nonshppict", "nonesttables", "listtable",
    "listoverridetable", "revtbl", "rsidtbl", "filetbl", "themedata", "colorschememapping", "latentstyles",
    "datastore", "fchars", "lchars", "docvar", "template", "comment", "author", "title", "subject", "keywords",
    "operator", "doccomm", "company", "manager", "category", "buptim", "creatim", "printim", "revtim",
    "hlinkbase", "bkmkstart", "bkmkend", "atnid", "atnauthor", "atndate", "atnref", "atrfstart", "atrfend",
    "atnicn", "private", "blipuid", "picprop", "shpinst", "sp", "sn", "sv", "do", "ftnsep", "ftnsepc", "ftncn",
    "aftnsep", "aftnsepc", "aftncn", "pgdsctbl", "mmathPr", "wgrffmtfilter", "xmlnstbl", "xmlopen", "xmlclose",
    "generator", "userprops", "fldtype", "formfield", "ffname", "ffdeftext", "ffhelptext", "ffstattext",
    "ffentrymcr", "ffexitmcr", "ffformat", "ffl", "protusertbl", "mhtmltag", "htmltag", "bkmkcoll", "pxe",
    "falt", "panose", "fname", "fontemb", "fontfile", "keycode", "listname", "listpicture", "oldcprops",
    "oldpprops", "oldtprops", "oldsprops", "passwordhash", "password", "ebcstart", "ebcend", "dptxbxtext",
    "gridtbl", "nextfile", "background", "pgptbl",
    // Tables whose text is not part of the body, and pictures.
    "colortbl", "stylesheet", "pict", "fldinst"};

enum class TDest : std::uint8_t { Body, FontTable, Skip };

struct TGroup {
  TDest Dest = TDest::Body;
  TDest Resume = TDest::Body;  // what \ud returns to after \upr
  bool Hidden = false;
  bool Fresh = true;  // nothing but \* read yet: a destination word may start here
  bool Star = false;
  int Font = -1;
  int Uc = 1;
};

class TExtractor {
public:
  TExtractor(std::string_view rtf, std::string& out) : In(rtf), Out(out) { Groups.reserve(32); Groups.emplace_back(); }
  ~TExtractor() {
    for (auto& [cp, cd] : Converters)
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
  TExtractor(const TExtractor&) = delete;
  TExtractor& operator=(const TExtractor&) = delete;

  void Run() {
    const char* data = In.data();
    const std::size_t size = In.size();
    std::size_t lead = 0;
    while (lead < size && (data[lead] == ' ' || data[lead] == '\r' || data[lead] == '\n' || data[lead] == '\t')) ++lead;
    StartsAsRtf = size - lead >= 5 && std::memcmp(data + lead, "{\\rtf", 5) == 0;
    while (Pos < size && !OuterClosed) {
      const char ch = data[Pos];
      if (ch == '{') {
        Flush();
        UcSkip = 0;
        ++Pos;
        Open();
      } else if (ch == '}') {
        Flush();
        UcSkip = 0;
        ++Pos;
        Close();
      } else if (ch == '\\') {
        Control();
      } else if (ch == '\r' || ch == '\n') {
        ++Pos;
      } else {
        std::size_t end = Pos + 1;
        while (end < size) {
          const char c = data[end];
          if (c == '\\' || c == '{' || c == '}' || c == '\r' || c == '\n') break;
          ++end;
        }
        Text(Pos, end);
        Pos = end;
      }
    }
    Flush();
  }

private:
  TGroup& G() { return Groups.back(); }
  bool Visible() const { return Overflow == 0 && Groups.back().Dest == TDest::Body && !Groups.back().Hidden; }

  void Open() {
    if (Overflow > 0 || Groups.size() >= kMaxDepth) {
      ++Overflow;
      return;
    }
    Groups.push_back(Groups.back());
    TGroup& g = G();
    g.Fresh = true;
    g.Star = false;
  }

  void Close() {
    if (Overflow > 0) {
      --Overflow;
      return;
    }
    if (Groups.size() > 1) {
      if (G().Dest == TDest::FontTable && Groups[Groups.size() - 2].Dest != TDest::FontTable) CommitFont();
      Groups.pop_back();
    }
    // RTF ends with its outer group; whatever follows is not part of the text.
    if (Groups.size() == 1 && StartsAsRtf) OuterClosed = true;
  }

  int CodePage() const {
    const TGroup& g = Groups.back();
    const int font = g.Font < 0 ? DefaultFont : g.Font;
    const auto it = Fonts.find(font);
    if (it != Fonts.end() && it->second != 0) return it->second;
    return AnsiCp;
  }

  static bool IsSingleByte1252(int cp) { return cp == 1252 || cp == 0 || cp == 20127; }

  void Text(std::size_t begin, std::size_t end) {
    if (Overflow > 0) return;
    G().Fresh = false;
    if (UcSkip > 0) {
      const std::size_t skip = std::min<std::size_t>(static_cast<std::size_t>(UcSkip), end - begin);
      UcSkip -= static_cast<int>(skip);
      begin += skip;
      if (begin == end) return;
    }
    if (G().Dest == TDest::FontTable) {
      // A font's name ends at its semicolon, which also closes an entry written without a group.
      if (std::memchr(In.data() + begin, ';', end - begin) != nullptr) CommitFont();
      return;
    }
    if (!Visible()) return;
    const int cp = CodePage();
    if (IsSingleByte1252(cp)) {
      Flush();
      for (std::size_t i = begin; i < end; ++i) {
        const auto b = static_cast<unsigned char>(In[i]);
        if (b < 0x80) {
          if (b >= 0x20 && b != 0x7F) Out.push_back(static_cast<char>(b));
          else if (b == '\t') Out.push_back('\t');
        } else {
          Out.append(kCp1252.Bytes[b].data(), kCp1252.Length[b]);
        }
      }
    } else {
      if (!Pending.empty() && PendingCp != cp) Flush();
      PendingCp = cp;
      Pending.append(In.data() + begin, end - begin);
    }
  }

  void Byte(unsigned char b) {
    if (!Visible()) return;
    const int cp = CodePage();
    if (IsSingleByte1252(cp)) {
      Flush();
      Out.append(kCp1252.Bytes[b].data(), kCp1252.Length[b]);
      return;
    }
    if (!Pending.empty() && PendingCp != cp) Flush();
    PendingCp = cp;
    Pending.push_back(static_cast<char>(b));
  }

  void Char(char32_t c) {
    Flush();
    if (Visible()) AppendUtf8(Out, c);
  }

  // Decodes the bytes kept back for a code page other than Windows-1252.
  void Flush() {
    if (Pending.empty()) return;
    std::string bytes;
    bytes.swap(Pending);
    iconv_t cd = Converter(PendingCp);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
      for (unsigned char b : bytes) Out.append(kCp1252.Bytes[b].data(), kCp1252.Length[b]);
      return;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string decoded(bytes.size() * 4 + 8, '\0');
    char* in = bytes.data();
    std::size_t inLeft = bytes.size();
    char* out = decoded.data();
    std::size_t outLeft = decoded.size();
    while (inLeft > 0) {
      if (iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG) break;
      // An invalid or incomplete sequence: one replacement character for its first byte.
      ++in;
      --inLeft;
      if (outLeft >= 3) {
        std::memcpy(out, "\xEF\xBF\xBD", 3);
        out += 3;
        outLeft -= 3;
      }
    }
    const std::size_t produced = decoded.size() - outLeft;
    for (std::size_t i = 0; i < produced; ++i) {
      const auto b = static_cast<unsigned char>(decoded[i]);
      if (b >= 0x20 || b == '\t') Out.push_back(static_cast<char>(b));
    }
  }

  iconv_t Converter(int cp) {
    const auto it = Converters.find(cp);
    if (it != Converters.end()) return it->second;
    const char* name = IconvNameFor(cp);
    iconv_t cd = name != nullptr ? iconv_open("UTF-8", name) : reinterpret_cast<iconv_t>(-1);
    Converters.emplace(cp, cd);
    return cd;
  }

  void CommitFont() {
    if (FontNumber < 0) return;
    if (Fonts.size() < kMaxFonts || Fonts.contains(FontNumber)) Fonts[FontNumber] = FontCp;
    FontNumber = -1;
    FontCp = 0;
  }

  void Control() {
    const char* data = In.data();
    const std::size_t size = In.size();
    ++Pos;
    if (Pos >= size) return;
    const char first = data[Pos];
    if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z'))) {
      ++Pos;
      Symbol(first);
      return;
    }
    const std::size_t start = Pos;
    while (Pos < size && Pos - start < 32 &&
           ((data[Pos] >= 'a' && data[Pos] <= 'z') || (data[Pos] >= 'A' && data[Pos] <= 'Z')))
      ++Pos;
    const std::string_view word(data + start, Pos - start);
    bool negative = false;
    if (Pos + 1 < size && data[Pos] == '-' && data[Pos + 1] >= '0' && data[Pos + 1] <= '9') {
      negative = true;
      ++Pos;
    }
    bool hasParam = false;
    long long value = 0;
    int digits = 0;
    while (Pos < size && data[Pos] >= '0' && data[Pos] <= '9') {
      if (digits < 10) value = value * 10 + (data[Pos] - '0');
      ++digits;
      hasParam = true;
      ++Pos;
    }
    if (Pos < size && data[Pos] == ' ') ++Pos;
    if (negative) value = -value;
    const int param = static_cast<int>(std::clamp<long long>(value, -2147483647LL, 2147483647LL));
    Flush();
    if (word == "bin") {
      // Binary data is stepped over whatever the state, so its bytes are never read as RTF.
      if (hasParam && param > 0) Pos += std::min<std::size_t>(static_cast<std::size_t>(param), size - Pos);
      if (UcSkip > 0) --UcSkip;
      return;
    }
    if (Overflow > 0) return;
    if (UcSkip > 0) {
      --UcSkip;
      return;
    }
    Word(word, hasParam, param);
  }

  void Symbol(char ch) {
    if (Overflow > 0) {
      if (ch == '\'' && Pos + 1 < In.size()) Pos += 2;
      return;
    }
    if (ch != '*') G().Fresh = false;
    switch (ch) {
      case '\'': {
        if (Pos + 1 >= In.size()) return;
        const int hi = Hex(In[Pos]);
        const int lo = Hex(In[Pos + 1]);
        if (hi < 0 || lo < 0) return;  // a broken escape is dropped
        Pos += 2;
        if (UcSkip > 0) {
          --UcSkip;
          return;
        }
        if (G().Dest == TDest::FontTable) return;
        Byte(static_cast<unsigned char>(hi << 4 | lo));
        return;
      }
      case '*': G().Star = G().Fresh; return;
      case '\\':
      case '{':
      case '}':
        if (UcSkip > 0) {
          --UcSkip;
          return;
        }
        Char(static_cast<char32_t>(ch));
        return;
      case '~': Char(0x00A0); return;
      case '_': Char(0x2011); return;
      case '-': return;  // an optional hyphen belongs inside its word
      case '\r':
      case '\n':
        if (UcSkip > 0) {
          --UcSkip;
          return;
        }
        Char('\n');
        return;
      case '\t': Char('\t'); return;
      default:
        if (UcSkip > 0) --UcSkip;
        return;
    }
  }

  static int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  void Word(std::string_view w, bool hasParam, int param) {
    TGroup& g = G();
    const bool star = g.Star;
    const bool fresh = g.Fresh;
    g.Star = false;
    g.Fresh = false;
    if (g.Dest == TDest::Skip) return;

    if (w == "fonttbl") {
      g.Dest = TDest::FontTable;
      return;
    }
    if (w == "upr") {
      g.Resume = g.Dest;
      g.Dest = TDest::Skip;
      return;
    }
    if (w == "ud") return;  // reached only when \upr did not skip it: read as the body
    if (w == "shppict" || w == "shprslt" || w == "result" || w == "object" || w == "shp" || w == "shpgrp" ||
        w == "shptxt" || w == "field" || w == "fldrslt")
      return;
    // A picture stands between the words around it, as the reader's object character does.
    if (w == "pict" && Visible()) Char(' ');
    // A destination word counts only where a group starts, so \tc or \pn in the middle of a group
    // cannot swallow the rest of the text.
    if (fresh && std::find(std::begin(kSkipped), std::end(kSkipped), w) != std::end(kSkipped)) {
      g.Dest = TDest::Skip;
      return;
    }
    if (w == "pict" || w == "fldinst" || w == "colortbl" || w == "stylesheet") {
      g.Dest = TDest::Skip;
      return;
    }
    if (star) {
      g.Dest = TDest::Skip;
      return;
    }
    if (g.Dest == TDest::FontTable) {
      if (w == "f" && hasParam) {
        CommitFont();
        FontNumber = param;
        FontCp = 0;
      } else if (w == "fcharset") {
        if (FontCp == 0) FontCp = CodepageForCharset(param);
      } else if (w == "cpg") {
        FontCp = param;
      } else if (w == "u") {
        UcSkip = g.Uc;
      }
      return;
    }

    switch (w.size()) {
      case 1:
        if (w == "u") {
          const int v = param < 0 ? param + 65536 : param;
          UnitU(static_cast<char16_t>(v & 0xFFFF));
          UcSkip = g.Uc;
          return;
        }
        if (w == "f") {
          g.Font = hasParam ? param : -1;
          return;
        }
        if (w == "v") {
          g.Hidden = !hasParam || param != 0;
          return;
        }
        break;
      case 2:
        if (w == "uc") {
          g.Uc = std::max(0, param);
          return;
        }
        break;
      default: break;
    }
    if (w == "par" || w == "sect" || w == "line" || w == "cell" || w == "row" || w == "nestcell" ||
        w == "nestrow" || w == "page") {
      Char('\n');
      return;
    }
    if (w == "tab") { Char('\t'); return; }
    if (w == "plain") {
      g.Font = -1;
      g.Hidden = false;
      return;
    }
    if (w == "ansicpg") { if (param > 0) AnsiCp = param; return; }
    if (w == "mac") { AnsiCp = 10000; return; }
    if (w == "pc") { AnsiCp = 437; return; }
    if (w == "pca") { AnsiCp = 850; return; }
    if (w == "deff") { DefaultFont = param; return; }
    if (w == "emdash") { Char(0x2014); return; }
    if (w == "endash") { Char(0x2013); return; }
    if (w == "lquote") { Char(0x2018); return; }
    if (w == "rquote") { Char(0x2019); return; }
    if (w == "ldblquote") { Char(0x201C); return; }
    if (w == "rdblquote") { Char(0x201D); return; }
    if (w == "bullet") { Char(0x2022); return; }
    if (w == "emspace") { Char(0x2003); return; }
    if (w == "enspace") { Char(0x2002); return; }
    if (w == "qmspace") { Char(0x2005); return; }
  }

  // A \u escape: one UTF-16 unit; surrogate pairs arrive as two escapes.
  void UnitU(char16_t unit) {
    if (unit >= 0xD800 && unit < 0xDC00) {
      HighSurrogate = unit;
      return;
    }
    if (unit >= 0xDC00 && unit < 0xE000) {
      if (HighSurrogate != 0) Char(0x10000 + ((static_cast<char32_t>(HighSurrogate) - 0xD800) << 10) + (unit - 0xDC00));
      HighSurrogate = 0;
      return;
    }
    HighSurrogate = 0;
    if (unit < 0x20 && unit != '\t') return;
    if (unit == 0x00AD) return;
    Char(unit);
  }

  std::string_view In;
  std::string& Out;
  std::size_t Pos = 0;
  bool StartsAsRtf = false;
  bool OuterClosed = false;
  std::vector<TGroup> Groups;
  int Overflow = 0;
  int UcSkip = 0;
  int AnsiCp = 1252;
  int DefaultFont = 0;
  std::unordered_map<int, int> Fonts;  // font number to code page, 0 for the document's
  int FontNumber = -1;
  int FontCp = 0;
  std::string Pending;
  int PendingCp = 0;
  std::unordered_map<int, iconv_t> Converters;
  char16_t HighSurrogate = 0;
};

}  // namespace

int CodepageForCharset(int charset) {
  switch (charset) {
    case 0: return 1252;  // ANSI_CHARSET is Western, whatever the document's code page
    case 77: return 10000;
    case 78: return 10001;
    case 79: return 10003;
    case 80: return 10008;
    case 81: return 10002;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 255: return 437;
    default: return 0;  // default and symbol follow the document's code page
  }
}

void ExtractRtfText(std::string_view rtf, std::string& out) {
  TExtractor extractor(rtf, out);
  extractor.Run();
}

std::string RtfPlainText(std::string_view rtf) {
  std::string out;
  out.reserve(rtf.size() / 2);
  ExtractRtfText(rtf, out);
  return out;
}

char32_t NextCodePoint(std::string_view text, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int extra = 0;
  char32_t c = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1;
    c = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2;
    c = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3;
    c = b0 & 0x07;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + static_cast<std::size_t>(extra) >= text.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    c = (c << 6) | (b & 0x3F);
  }
  i += static_cast<std::size_t>(extra) + 1;
  return c;
}

bool IsWordChar(char32_t c) {
  if (c < 0x80) return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (c == 0xFFFD) return false;
  if (c < 0xC0) return c == 0xAA || c == 0xB2 || c == 0xB3 || c == 0xB5 || c == 0xB9 || c == 0xBA ||
                       (c >= 0xBC && c <= 0xBE);
  if (c == 0xD7 || c == 0xF7) return false;  // multiplication and division signs
  if (c >= 0x2000 && c <= 0x206F) return false;  // general punctuation, spaces, dashes, quotes
  if (c >= 0x20A0 && c <= 0x20CF) return false;  // currency
  if (c >= 0x2190 && c <= 0x23FF) return false;  // arrows, mathematical operators, technical
  if (c >= 0x2500 && c <= 0x27BF) return false;  // box drawing, shapes, dingbats
  if (c >= 0x3000 && c <= 0x303F) return false;  // ideographic punctuation
  if (c >= 0xFE30 && c <= 0xFE4F) return false;
  if (c >= 0xFF00 && c <= 0xFF0F) return false;
  return true;
}

}  // namespace hv
