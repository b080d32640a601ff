#include "XmlScan.h"

#include <cstdint>
#include <cstdio>

#include "StudentList.h"
#include "core/Errors.h"

namespace hv::xml {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Enough of XML's name characters to tell a name from stray markup; anything beyond ASCII passes.
bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == ':' ||
         c == '-' || c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// "_xHHHH_" at a position: the four hex digits' value, or -1.
long EscapeAt(std::string_view text, std::size_t i) {
  if (i + 7 > text.size() || text[i] != '_' || text[i + 1] != 'x' || text[i + 6] != '_') return -1;
  long value = 0;
  for (std::size_t k = 2; k < 6; ++k) {
    if (!IsHex(text[i + k])) return -1;
    value = value * 16 + HexValue(text[i + k]);
  }
  return value;
}

[[noreturn]] void Malformed() { throw EDataError("The file is not a well-formed spreadsheet part"); }

}  // namespace

std::string_view TTag::LocalName() const {
  const std::size_t colon = Name.find(':');
  return colon == std::string_view::npos ? Name : Name.substr(colon + 1);
}

std::string_view TTag::Prefix() const {
  const std::size_t colon = Name.find(':');
  return colon == std::string_view::npos ? std::string_view() : Name.substr(0, colon + 1);
}

bool TScanner::Next(TTag& tag) {
  const std::size_t lt = Text.find('<', Pos);
  if (lt == std::string_view::npos) {
    Pos = Text.size();
    return false;
  }
  tag = TTag();
  tag.Begin = lt;
  const std::string_view rest = Text.substr(lt);
  auto skipTo = [&](std::string_view terminator) {
    const std::size_t end = Text.find(terminator, lt + 1);
    if (end == std::string_view::npos) Malformed();
    tag.Kind = TTag::Other;
    tag.End = end + terminator.size();
  };
  if (rest.starts_with("<!--")) {
    skipTo("-->");
  } else if (rest.starts_with("<![CDATA[")) {
    skipTo("]]>");
  } else if (rest.starts_with("<?")) {
    skipTo("?>");
  } else if (rest.starts_with("<!")) {
    // A DOCTYPE may hold an internal subset in brackets, itself holding '>'.
    int brackets = 0;
    std::size_t i = lt + 2;
    for (; i < Text.size(); ++i) {
      if (Text[i] == '[') ++brackets;
      else if (Text[i] == ']') --brackets;
      else if (Text[i] == '>' && brackets <= 0) break;
    }
    if (i >= Text.size()) Malformed();
    tag.Kind = TTag::Other;
    tag.End = i + 1;
  } else {
    const bool isEnd = rest.size() > 1 && rest[1] == '/';
    std::size_t i = lt + (isEnd ? 2 : 1);
    const std::size_t nameStart = i;
    while (i < Text.size() && !IsSpace(Text[i]) && Text[i] != '/' && Text[i] != '>') ++i;
    if (i == nameStart) Malformed();
    tag.Name = Text.substr(nameStart, i - nameStart);
    if (isEnd) {
      // An end tag holds its name and nothing but spaces after it; anything else there would be
      // taken for content by whoever reads the part next.
      while (i < Text.size() && IsSpace(Text[i])) ++i;
      if (i >= Text.size() || Text[i] != '>') Malformed();
      tag.Kind = TTag::Close;
      tag.End = i + 1;
      Pos = tag.End;
      return true;
    }
    const std::size_t attrStart = i;
    char quote = 0;
    for (; i < Text.size(); ++i) {
      const char c = Text[i];
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        break;
      }
    }
    if (i >= Text.size()) Malformed();
    tag.End = i + 1;
    std::size_t attrEnd = i;
    if (i > attrStart && Text[i - 1] == '/') {
      tag.Kind = TTag::SelfClosed;
      attrEnd = i - 1;
    } else {
      tag.Kind = TTag::Open;
    }
    tag.RawAttributes = Text.substr(attrStart, attrEnd - attrStart);
  }
  Pos = tag.End;
  return true;
}

bool IsName(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!IsNameChar(c)) return false;
  return true;
}

TAttributes ParseAttributes(std::string_view raw) {
  TAttributes attributes;
  std::size_t i = 0;
  while (i < raw.size()) {
    while (i < raw.size() && IsSpace(raw[i])) ++i;
    const std::size_t nameStart = i;
    while (i < raw.size() && !IsSpace(raw[i]) && raw[i] != '=') ++i;
    const std::string_view name = raw.substr(nameStart, i - nameStart);
    while (i < raw.size() && IsSpace(raw[i])) ++i;
    // A name holding quotes or markup would change how the tag reads once written out again.
    if (!IsName(name) || i >= raw.size() || raw[i] != '=') break;
    ++i;
    while (i < raw.size() && IsSpace(raw[i])) ++i;
    if (i >= raw.size() || (raw[i] != '"' && raw[i] != '\'')) break;
    const char quote = raw[i++];
    const std::size_t valueEnd = raw.find(quote, i);
    if (valueEnd == std::string_view::npos) break;
    attributes.emplace_back(std::string(name), Unescape(raw.substr(i, valueEnd - i)));
    i = valueEnd + 1;
  }
  return attributes;
}

std::string Attribute(const TAttributes& attributes, std::string_view name, bool local) {
  for (const auto& [n, v] : attributes) {
    if (n == name) return v;
    if (local) {
      const std::size_t colon = n.find(':');
      if (colon != std::string::npos && std::string_view(n).substr(colon + 1) == name) return v;
    }
  }
  return {};
}

bool HasAttribute(const TAttributes& attributes, std::string_view name) {
  for (const auto& a : attributes)
    if (a.first == name) return true;
  return false;
}

void SetAttribute(TAttributes& attributes, std::string_view name, std::string_view value) {
  for (auto& a : attributes)
    if (a.first == name) {
      a.second = std::string(value);
      return;
    }
  attributes.emplace_back(std::string(name), std::string(value));
}

void RemoveAttribute(TAttributes& attributes, std::string_view name) {
  std::erase_if(attributes, [&](const auto& a) { return a.first == name; });
}

std::string FormatAttributes(const TAttributes& attributes) {
  std::string out;
  for (const auto& [n, v] : attributes) {
    out += ' ';
    out += n;
    out += "=\"";
    out += Escape(v, true);
    out += '"';
  }
  return out;
}

std::size_t ElementEnd(std::string_view text, const TTag& start) {
  if (start.Kind != TTag::Open) return start.End;
  // Names must pair up: an element whose end tag names another would change its extent once the
  // content is written out again inside tags of our own.
  std::vector<std::string_view> open{start.Name};
  TScanner scanner(text, start.End);
  TTag tag;
  while (scanner.Next(tag)) {
    if (tag.Kind == TTag::Open) {
      open.push_back(tag.Name);
    } else if (tag.Kind == TTag::Close) {
      if (tag.Name != open.back()) return std::string_view::npos;
      open.pop_back();
      if (open.empty()) return tag.End;
    }
  }
  return std::string_view::npos;
}

std::string Escape(std::string_view text, bool attribute) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += attribute ? "&quot;" : "\""; break;
      case '\n': out += attribute ? "&#10;" : "\n"; break;
      case '\r': out += "&#13;"; break;
      case '\t': out += attribute ? "&#9;" : "\t"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    const std::size_t semi = text.find(';', i);
    if (semi == std::string_view::npos || semi - i > 12) {
      out += '&';
      continue;
    }
    const std::string_view entity = text.substr(i + 1, semi - i - 1);
    std::uint32_t cp = 0;
    bool ok = true;
    if (entity == "amp") cp = '&';
    else if (entity == "lt") cp = '<';
    else if (entity == "gt") cp = '>';
    else if (entity == "quot") cp = '"';
    else if (entity == "apos") cp = '\'';
    else if (entity.size() > 1 && entity[0] == '#') {
      const bool hex = entity[1] == 'x' || entity[1] == 'X';
      const std::string_view digits = entity.substr(hex ? 2 : 1);
      ok = !digits.empty();
      for (char d : digits) {
        if (hex ? !IsHex(d) : !(d >= '0' && d <= '9')) {
          ok = false;
          break;
        }
        cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(HexValue(d));
        if (cp > 0x10FFFF) ok = false;
      }
      if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) ok = false;
    } else {
      ok = false;
    }
    if (!ok) {
      out += '&';
      continue;
    }
    AppendUtf8(out, cp);
    i = semi;
  }
  return out;
}

std::string EncodeSpreadsheetText(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || EscapeAt(utf8, i) >= 0) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "_x%04X_", c);
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string DecodeSpreadsheetText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const long value = EscapeAt(text, i);
    if (value >= 0 && !(value >= 0xD800 && value <= 0xDFFF)) {
      AppendUtf8(out, static_cast<std::uint32_t>(value));
      i += 6;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string RunText(std::string_view markup) {
  std::string out;
  TScanner scanner(markup);
  TTag tag;
  int phonetic = 0;
  while (scanner.Next(tag)) {
    if (tag.LocalName() == "rPh") {
      if (tag.Kind == TTag::Open) ++phonetic;
      else if (tag.Kind == TTag::Close && phonetic > 0) --phonetic;
      continue;
    }
    if (phonetic > 0 || tag.Kind != TTag::Open || tag.LocalName() != "t") continue;
    TTag end;
    const std::size_t contentStart = tag.End;
    if (!scanner.Next(end)) break;
    out += DecodeSpreadsheetText(Unescape(markup.substr(contentStart, end.Begin - contentStart)));
  }
  return out;
}

}  // namespace hv::xml
