#pragma once
// Student list files (".ptx") and the comma-separated files imported into them: one student per
// line, four fields. Plain C++ so the reading and writing rules can be tested and fuzzed alone.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace hv {

// Surname, forename, date of birth and sex, as Windows-1252 bytes.
using TStudent = std::array<std::string, 4>;

// Bounds that keep a stray file (a spreadsheet, a photo) from exhausting memory.
inline constexpr std::size_t kMaxStudentListBytes = 4 * 1024 * 1024;
inline constexpr std::size_t kMaxStudents = 2000;

struct TStudentListText {
  std::vector<TStudent> Students;  // one per line, in file order
  bool Truncated = false;          // the file had more lines than the caller allowed
};

// Lines end at a carriage return, a line feed or the pair; a last line without an end counts.
std::vector<std::string_view> SplitLines(std::string_view text);

// Cuts a line into four fields at its first three commas; a cut that finds no comma leaves its
// field empty and passes the whole remaining text on, and the fourth field keeps everything left
// over, commas included. A field that starts with a double quote and is closed by one before a
// comma is taken whole with doubled quotes undone, so names written quoted read back intact.
TStudent SplitStudentLine(std::string_view line);

TStudentListText ParseStudentList(std::string_view text, std::size_t maxStudents = kMaxStudents);

// One line without its end: the four fields joined by commas. The first three are quoted when
// they hold a comma or a double quote, the last one only when it holds a double quote (a comma
// there is read back whole anyway, so such lines stay as other programs wrote them).
std::string FormatStudentLine(const TStudent& student);

// Every student up to the first one without a surname, each line ended by CR LF.
std::string FormatStudentList(const std::vector<TStudent>& students);

// Reads a whole file; a missing or unreadable file, or one above kMaxStudentListBytes, raises
// EInOutError.
TStudentListText ReadStudentListFile(const std::string& fileName, std::size_t maxStudents = kMaxStudents);

// Replaces the file's content in one step: a temporary file beside it is written, flushed and
// renamed over it, so a failure leaves the old file as it was. Raises EInOutError.
void WriteStudentListFile(const std::string& fileName, const std::vector<TStudent>& students);

// Writes bytes to a file through a temporary file and a rename; shared by the analysis files.
void ReplaceFileContent(const std::string& fileName, std::string_view bytes);

}  // namespace hv
