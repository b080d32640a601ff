#pragma once
// Conversion between the UTF-8 of manifests and terminals and the Windows-1252 bytes the model keeps.
#include <optional>
#include <string>
#include <string_view>

namespace hv::hvlib {

// The Windows-1252 bytes of a UTF-8 text, or nothing when the text is not valid UTF-8 or holds a
// character that Windows-1252 has no byte for; `bad` then receives that character (as UTF-8) or
// a description of the malformed bytes.
std::optional<std::string> Utf8ToCp1252(std::string_view utf8, std::string* bad = nullptr);

// Every byte is a character; the five bytes Windows-1252 leaves undefined map to the C1 controls.
std::string Cp1252ToUtf8(std::string_view bytes);

// An RTF file saved as UTF-8 made safe for an ANSI reader: each non-ASCII character becomes an
// \'xx escape, or a \u escape with a '?' fallback when Windows-1252 cannot hold it. A file that is
// not valid UTF-8 is taken to be Windows-1252 already and comes back unchanged.
std::string RtfFromUtf8(std::string_view rtf);

}  // namespace hv::hvlib
