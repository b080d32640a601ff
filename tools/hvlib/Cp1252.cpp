#include "Cp1252.h"

#include <array>
#include <cstdint>

namespace hv::hvlib {

namespace {

// Code points of bytes 0x80..0x9F; 0 where Windows-1252 defines no character.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::optional<std::uint8_t> ByteFor(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<std::uint8_t>(c);
  for (std::size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] != 0 && kHigh[i] == c) return static_cast<std::uint8_t>(0x80 + i);
  return std::nullopt;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one character at pos and advances; nothing for malformed, overlong or surrogate input.
std::optional<char32_t> Decode(std::string_view s, std::size_t& pos) {
  const auto b0 = static_cast<std::uint8_t>(s[pos]);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  int extra = 0;
  char32_t c = 0;
  char32_t minimum = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, c = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, c = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, c = b0 & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (pos + static_cast<std::size_t>(extra) >= s.size()) return std::nullopt;
  for (int i = 1; i <= extra; ++i) {
    const auto b = static_cast<std::uint8_t>(s[pos + static_cast<std::size_t>(i)]);
    if ((b & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (b & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  pos += static_cast<std::size_t>(extra) + 1;
  return c;
}

std::string Hex(std::uint8_t b) {
  static constexpr char kDigits[] = "0123456789abcdef";
  return {kDigits[b >> 4], kDigits[b & 15]};
}

}  // namespace

std::optional<std::string> Utf8ToCp1252(std::string_view utf8, std::string* bad) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::size_t start = pos;
    const auto c = Decode(utf8, pos);
    if (!c) {
      if (bad != nullptr) *bad = "malformed UTF-8 at byte " + std::to_string(start);
      return std::nullopt;
    }
    const auto b = ByteFor(*c);
    if (!b) {
      if (bad != nullptr) *bad = std::string(utf8.substr(start, pos - start));
      return std::nullopt;
    }
    out += static_cast<char>(*b);
  }
  return out;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto b = static_cast<std::uint8_t>(ch);
    if (b >= 0x80 && b < 0xA0)
      AppendUtf8(out, kHigh[b - 0x80] != 0 ? kHigh[b - 0x80] : char32_t{b});
    else
      AppendUtf8(out, b);
  }
  return out;
}

std::string RtfFromUtf8(std::string_view rtf) {
  bool plainAscii = true;
  for (char ch : rtf)
    if (static_cast<std::uint8_t>(ch) >= 0x80) plainAscii = false;
  if (plainAscii) return std::string(rtf);
  std::string out;
  out.reserve(rtf.size() + rtf.size() / 8);
  std::size_t pos = 0;
  while (pos < rtf.size()) {
    const auto c = Decode(rtf, pos);
    if (!c) return std::string(rtf);
    if (*c < 0x80) {
      out += static_cast<char>(*c);
    } else if (const auto b = ByteFor(*c)) {
      out += "\\'" + Hex(*b);
    } else if (*c < 0x10000) {
      // A group keeps the one-character fallback count from leaking into the text around it.
      out += "{\\uc1\\u" + std::to_string(static_cast<std::int16_t>(static_cast<std::uint16_t>(*c))) + "?}";
    } else {
      const char32_t v = *c - 0x10000;
      const auto hi = static_cast<std::uint16_t>(0xD800 + (v >> 10));
      const auto lo = static_cast<std::uint16_t>(0xDC00 + (v & 0x3FF));
      out += "{\\uc1\\u" + std::to_string(static_cast<std::int16_t>(hi)) + "?\\u" +
             std::to_string(static_cast<std::int16_t>(lo)) + "?}";
    }
  }
  return out;
}

}  // namespace hv::hvlib
