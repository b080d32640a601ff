#pragma once
// Student list files (".ptx") and the comma-separated files imported into them: one student per
// line, four fields. Plain C++ so the reading and writing rules can be tested and fuzzed alone.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace hv {

// Surname, forename, date of birth and sex, as UTF-8 text.
using TStudent = std::array<std::string, 4>;

// Bounds that keep a stray file (a spreadsheet, a photo) from exhausting memory.
inline constexpr std::size_t kMaxStudentListBytes = 4 * 1024 * 1024;
inline constexpr std::size_t kMaxStudents = 2000;

struct TStudentListText {
  std::vector<TStudent> Students;  // one per non-empty line, in file order
  bool Truncated = false;          // the file had more students than the caller allowed
  // The first line reads like column titles ("Surname, First name, Sex") rather than a student.
  bool FirstLooksLikeHeader = false;
};

// Lines end at a carriage return, a line feed or the pair; a last line without an end counts.
std::vector<std::string_view> SplitLines(std::string_view text);

// The text of a file as UTF-8: a UTF-8 byte-order mark, or bytes that are valid UTF-8, are taken
// as UTF-8 (the mark dropped); anything else is Windows-1252.
std::string DecodeListText(std::string_view bytes);
// The text in Windows-1252 when every character has a byte there and the result cannot be
// mistaken for UTF-8 when read back; otherwise UTF-8 behind a byte-order mark.
std::string EncodeListText(std::string_view utf8);

// Cuts a line into the four fields, left to right, at its first three commas; the fourth keeps
// everything left over, commas included. A field that starts with a double quote and is closed by
// one before a comma is taken whole with doubled quotes undone; other fields lose the spaces
// around them. A line without any comma is a name: see SplitName.
TStudent SplitStudentLine(std::string_view line);

// A name written in one piece: "SMITH John" (capitals mark the surname), "John Smith",
// "Jan van der Berg"; a single word, or a longer name without such hints, is all surname.
TStudent SplitName(std::string_view name);

// Whether a line reads like column titles: every field is one of the usual titles of a class list.
bool LooksLikeHeader(std::string_view line);

// Empty lines (and lines of nothing but commas and spaces) are skipped.
TStudentListText ParseStudentList(std::string_view text, std::size_t maxStudents = kMaxStudents);

// A student with any field holding text.
bool HasText(const TStudent& student);

// One line without its end: the four fields joined by commas. The first three are quoted when
// they hold a comma or a double quote, the last one only when it holds a double quote (a comma
// there is read back whole anyway, so such lines stay as other programs wrote them); any field
// with spaces at either end is quoted so that they survive.
std::string FormatStudentLine(const TStudent& student);

// Every student with any text, each line ended by CR LF, as UTF-8.
std::string FormatStudentList(const std::vector<TStudent>& students);

// Reads and decodes a whole file; a missing or unreadable file, or one above
// kMaxStudentListBytes, raises EInOutError.
TStudentListText ReadStudentListFile(const std::string& fileName, std::size_t maxStudents = kMaxStudents);

// Asked with the first line when it looks like column titles; true drops it.
using THeaderQuestion = std::function<bool(const TStudent& firstLine)>;
// A list as Import takes it: the file read, and its first line dropped when it looks like column
// titles and the question agrees.
TStudentListText ImportStudentList(const std::string& fileName, const THeaderQuestion& dropHeader,
                                   std::size_t maxStudents = kMaxStudents);

// Replaces the file's content in one step: a temporary file beside it is written, flushed and
// renamed over it, so a failure leaves the old file as it was. Raises EInOutError.
void WriteStudentListFile(const std::string& fileName, const std::vector<TStudent>& students);

// Appends a code point as UTF-8; shared by the analysis files.
void AppendUtf8(std::string& out, std::uint32_t cp);

// Writes bytes to a file through a temporary file and a rename; shared by the analysis files.
void ReplaceFileContent(const std::string& fileName, std::string_view bytes);

}  // namespace hv
