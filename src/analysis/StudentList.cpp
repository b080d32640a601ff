#include "StudentList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>

#include "core/Errors.h"

namespace hv {

namespace {

// The characters of Windows-1252's bytes 0x80 to 0x9F; the five bytes it leaves undefined stand
// for the C1 controls of the same value, so every byte has a character and back.
constexpr char16_t kHighHalf[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::uint32_t Cp1252Char(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHighHalf[byte - 0x80] : byte;
}

int Cp1252Byte(std::uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (int i = 0; i < 32; ++i)
    if (kHighHalf[i] == cp) return 0x80 + i;
  return -1;
}


// The length of the well-formed UTF-8 sequence at i (no overlong forms, no surrogates, nothing
// above U+10FFFF), with its character; 0 when the bytes there are not one.
std::size_t Utf8At(std::string_view s, std::size_t i, std::uint32_t& cp) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  std::size_t n = 0;
  std::uint32_t min = 0;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    n = 2, cp = c & 0x1F, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, cp = c & 0x0F, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

bool IsValidUtf8(std::string_view s) {
  std::uint32_t cp = 0;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = Utf8At(s, i, cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A quoted field at the start of text: its value and the length it took, closing quote included.
struct TQuoted {
  std::string Value;
  std::size_t Length = 0;
};

std::optional<TQuoted> ReadQuoted(std::string_view text) {
  if (text.empty() || text[0] != '"') return std::nullopt;
  TQuoted q;
  std::size_t i = 1;
  while (i < text.size()) {
    if (text[i] == '"') {
      if (i + 1 < text.size() && text[i + 1] == '"') {
        q.Value += '"';
        i += 2;
        continue;
      }
      q.Length = i + 1;
      return q;
    }
    q.Value += text[i++];
  }
  return std::nullopt;
}

// What is left of a line, taken whole as its last field: quoted text alone, or the text trimmed.
std::string WholeField(std::string_view rest) {
  const std::string_view trimmed = Trim(rest);
  if (auto quoted = ReadQuoted(trimmed); quoted && quoted->Length == trimmed.size()) return std::move(quoted->Value);
  return std::string(trimmed);
}

bool NeedsQuotes(std::string_view field, bool last) {
  if (field.find('"') != std::string_view::npos) return true;
  if (!field.empty() && (IsBlank(field.front()) || IsBlank(field.back()))) return true;
  return !last && field.find(',') != std::string_view::npos;
}

std::string Clean(std::string_view field) {
  // A line end inside a field would split the student in two when read back.
  std::string clean(field);
  for (char& c : clean)
    if (c == '\r' || c == '\n') c = ' ';
  return clean;
}

void AppendField(std::string& out, const std::string& field, bool last) {
  if (!NeedsQuotes(field, last)) {
    out += field;
    return;
  }
  out += '"';
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// Rough letter case of the scripts class lists are written in: Latin with its extensions (which
// Vietnamese and Polish use), Greek and Cyrillic. Other characters have no case.
int LetterCase(std::uint32_t cp) {  // 1 upper, -1 lower, 0 neither
  if (cp >= 'A' && cp <= 'Z') return 1;
  if (cp >= 'a' && cp <= 'z') return -1;
  if (cp >= 0xC0 && cp <= 0xDE) return cp == 0xD7 ? 0 : 1;
  if (cp >= 0xDF && cp <= 0xFF) return cp == 0xF7 ? 0 : -1;
  if (cp == 0x01A0 || cp == 0x01AF) return 1;
  if (cp == 0x01A1 || cp == 0x01B0) return -1;
  if ((cp >= 0x0139 && cp <= 0x0148) || (cp >= 0x0179 && cp <= 0x017E)) return cp % 2 == 1 ? 1 : -1;
  if (cp == 0x0178) return 1;
  if (cp >= 0x0100 && cp <= 0x017F) return cp == 0x0138 || cp == 0x0149 || cp == 0x017F ? -1 : (cp % 2 == 0 ? 1 : -1);
  if (cp >= 0x1E00 && cp <= 0x1EFF) return cp >= 0x1E96 && cp <= 0x1E9F ? -1 : (cp % 2 == 0 ? 1 : -1);
  if (cp >= 0x0391 && cp <= 0x03A9) return 1;
  if (cp >= 0x03B1 && cp <= 0x03C9) return -1;
  if (cp >= 0x0400 && cp <= 0x042F) return 1;
  if (cp >= 0x0430 && cp <= 0x045F) return -1;
  if (cp >= 0x0460 && cp <= 0x04FF) return cp % 2 == 0 ? 1 : -1;
  return 0;
}

// A word in capitals, as many school systems write surnames ("NGUYỄN Văn An"); a lone capital
// is an initial, not a surname.
bool IsCapitalWord(std::string_view word) {
  int upper = 0;
  std::uint32_t cp = 0;
  for (std::size_t i = 0; i < word.size();) {
    std::size_t n = Utf8At(word, i, cp);
    if (n == 0) n = 1, cp = 0;
    const int c = LetterCase(cp);
    if (c < 0) return false;
    if (c > 0) ++upper;
    i += n;
  }
  return upper >= 2;
}

bool IsParticle(std::string_view word) {
  static const char* const particles[] = {"van", "von", "der", "den", "de", "del", "della", "di", "da", "du",
                                          "dos", "das", "le", "la", "ter", "ten", "bin", "ibn", "al", "el"};
  for (const char* p : particles)
    if (word == p) return true;
  return false;
}

std::string Join(const std::vector<std::string_view>& words, std::size_t from, std::size_t to) {
  std::string out;
  for (std::size_t i = from; i < to; ++i) {
    if (!out.empty()) out += ' ';
    out += words[i];
  }
  return out;
}

std::string NormalisedTitle(std::string_view field) {
  std::string out;
  for (char c : field) {
    if (c >= 'A' && c <= 'Z') out += static_cast<char>(c - 'A' + 'a');
    else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) out += c;
  }
  return out;
}

bool IsTitle(std::string_view normalised) {
  static const char* const titles[] = {
      "surname",   "surnames",   "lastname",   "familyname", "name",        "names",       "fullname",
      "studentname", "pupilname", "student",   "students",   "pupil",       "pupils",      "forename",
      "forenames", "firstname",  "firstnames", "givenname",  "givennames",  "middlename",  "middlenames",
      "preferredname", "legalsurname", "legalforename", "dob", "dateofbirth", "birthdate", "birthday",
      "born",      "sex",        "gender",     "mf",         "class",       "form",        "set",
      "group",     "tutorgroup", "reggroup",   "registrationgroup", "year", "yeargroup",   "id",
      "no",        "number",     "upn",        "candidatenumber", "admissionno", "email",  "nachname",
      "vorname",   "geschlecht", "klasse",     "nom",        "prenom"};
  for (const char* t : titles)
    if (normalised == t) return true;
  return false;
}

[[noreturn]] void FileError(const char* what, const std::string& fileName, int error) {
  throw EInOutError(std::string(what) + " \"" + fileName + "\". " + std::strerror(error));
}

}  // namespace

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(text.substr(start, i - start));
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::string DecodeListText(std::string_view bytes) {
  const bool marked = bytes.starts_with(kUtf8Mark);
  if (marked) bytes.remove_prefix(kUtf8Mark.size());
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() * 2);
  std::uint32_t cp = 0;
  for (std::size_t i = 0; i < bytes.size();) {
    // Behind a byte-order mark the odd damaged byte is taken as Windows-1252 on its own.
    const std::size_t n = marked ? Utf8At(bytes, i, cp) : 0;
    if (n > 0) {
      out.append(bytes.substr(i, n));
      i += n;
    } else {
      AppendUtf8(out, Cp1252Char(static_cast<unsigned char>(bytes[i])));
      ++i;
    }
  }
  return out;
}

std::string EncodeListText(std::string_view utf8) {
  std::string bytes;
  bytes.reserve(utf8.size());
  bool high = false;
  std::uint32_t cp = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t n = Utf8At(utf8, i, cp);
    const int b = n == 0 ? -1 : Cp1252Byte(cp);
    if (b < 0) return std::string(kUtf8Mark) + std::string(utf8);
    high = high || b >= 0x80;
    bytes += static_cast<char>(b);
    i += n;
  }
  // Windows-1252 bytes that happen to form UTF-8 ("Ã©"), or start like its byte-order mark, would
  // be read back as other characters.
  if ((high && IsValidUtf8(bytes)) || bytes.starts_with(kUtf8Mark)) return std::string(kUtf8Mark) + std::string(utf8);
  return bytes;
}

TStudent SplitName(std::string_view name) {
  TStudent student;
  name = Trim(name);
  if (const std::size_t comma = name.find(','); comma != std::string_view::npos) {
    student[0] = std::string(Trim(name.substr(0, comma)));
    student[1] = std::string(Trim(name.substr(comma + 1)));
    return student;
  }
  std::vector<std::string_view> words;
  for (std::size_t i = 0; i < name.size();) {
    while (i < name.size() && IsBlank(name[i])) ++i;
    const std::size_t start = i;
    while (i < name.size() && !IsBlank(name[i])) ++i;
    if (i > start) words.push_back(name.substr(start, i - start));
  }
  const std::size_t n = words.size();
  auto split = [&](std::size_t surnameFrom, std::size_t surnameTo) {
    student[0] = Join(words, surnameFrom, surnameTo);
    student[1] = surnameFrom == 0 ? Join(words, surnameTo, n) : Join(words, 0, surnameFrom);
    return student;
  };
  if (n >= 2) {
    // Capitals mark the surname when they stand together at one end of the name.
    std::size_t lead = 0, trail = 0;
    while (lead < n && IsCapitalWord(words[lead])) ++lead;
    while (trail < n && IsCapitalWord(words[n - 1 - trail])) ++trail;
    if (lead > 0 && lead < n) return split(0, lead);
    if (trail > 0 && trail < n) return split(n - trail, n);
    if (n == 2) return split(1, 2);
    // "Jan van der Berg": the particles belong to the surname.
    std::size_t first = 1;
    while (first < n - 1 && !IsParticle(words[first])) ++first;
    bool particles = first < n - 1;
    for (std::size_t i = first; i < n - 1; ++i) particles = particles && IsParticle(words[i]);
    if (particles) return split(first, n);
  }
  student[0] = std::string(name);
  return student;
}

TStudent SplitStudentLine(std::string_view line) {
  TStudent student;
  std::string_view rest = line;
  for (std::size_t f = 0; f < 3; ++f) {
    const std::string_view lead = Trim(rest);
    if (auto quoted = ReadQuoted(lead)) {
      const std::string_view after = Trim(lead.substr(quoted->Length));
      // A quoted text that ends the line holds no separator, whatever commas are inside it.
      if (after.empty()) {
        if (f == 0) return SplitName(quoted->Value);
        student[f] = std::move(quoted->Value);
        return student;
      }
      if (after[0] == ',') {
        student[f] = std::move(quoted->Value);
        rest = after.substr(1);
        continue;
      }
    }
    const std::size_t comma = rest.find(',');
    if (comma == std::string_view::npos) {
      // The last field of the line: a line without any separator is a name.
      if (f == 0) return SplitName(WholeField(rest));
      student[f] = WholeField(rest);
      return student;
    }
    student[f] = std::string(Trim(rest.substr(0, comma)));
    rest.remove_prefix(comma + 1);
  }
  student[3] = WholeField(rest);
  return student;
}

bool LooksLikeHeader(std::string_view line) {
  bool any = false;
  std::size_t start = 0;
  while (start <= line.size()) {
    std::size_t comma = line.find(',', start);
    if (comma == std::string_view::npos) comma = line.size();
    const std::string title = NormalisedTitle(line.substr(start, comma - start));
    if (!title.empty()) {
      if (!IsTitle(title)) return false;
      any = true;
    }
    start = comma + 1;
  }
  return any;
}

bool HasText(const TStudent& student) {
  for (const std::string& field : student)
    if (!Trim(field).empty()) return true;
  return false;
}

TStudentListText ParseStudentList(std::string_view text, std::size_t maxStudents) {
  TStudentListText list;
  bool first = true;
  for (std::string_view line : SplitLines(text)) {
    TStudent student = SplitStudentLine(line);
    if (!HasText(student)) continue;
    if (first) list.FirstLooksLikeHeader = LooksLikeHeader(line);
    first = false;
    if (list.Students.size() >= maxStudents) {
      list.Truncated = true;
      break;
    }
    list.Students.push_back(std::move(student));
  }
  return list;
}

std::string FormatStudentLine(const TStudent& student) {
  std::string line;
  for (std::size_t f = 0; f < 4; ++f) {
    if (f > 0) line += ',';
    AppendField(line, Clean(student[f]), f == 3);
  }
  return line;
}

std::string FormatStudentList(const std::vector<TStudent>& students) {
  std::string text;
  for (const TStudent& s : students) {
    const TStudent clean = {Clean(s[0]), Clean(s[1]), Clean(s[2]), Clean(s[3])};
    if (!HasText(clean)) continue;
    text += FormatStudentLine(clean);
    text += "\r\n";
  }
  return text;
}

TStudentListText ReadStudentListFile(const std::string& fileName, std::size_t maxStudents) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) FileError("Cannot open file", fileName, errno);
  std::string bytes;
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kMaxStudentListBytes)
      throw EInOutError("The file \"" + fileName + "\" is too large for a student list.");
  }
  if (in.bad()) FileError("Cannot read file", fileName, errno);
  return ParseStudentList(DecodeListText(bytes), maxStudents);
}

TStudentListText ImportStudentList(const std::string& fileName, const THeaderQuestion& dropHeader,
                                   std::size_t maxStudents) {
  // One more than asked for, so a dropped header leaves room for the last student.
  TStudentListText list = ReadStudentListFile(fileName, maxStudents + 1);
  if (list.FirstLooksLikeHeader && !list.Students.empty() && dropHeader && dropHeader(list.Students.front()))
    list.Students.erase(list.Students.begin());
  if (list.Students.size() > maxStudents) {
    list.Students.resize(maxStudents);
    list.Truncated = true;
  }
  return list;
}

void WriteStudentListFile(const std::string& fileName, const std::vector<TStudent>& students) {
  ReplaceFileContent(fileName, EncodeListText(FormatStudentList(students)));
}

void ReplaceFileContent(const std::string& fileName, std::string_view bytes) {
  std::string temp = fileName + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) FileError("Cannot create file", fileName, errno);
  auto fail = [&](const char* what) {
    const int error = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    FileError(what, fileName, error);
  };
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("Cannot write file");
    }
    done += static_cast<std::size_t>(n);
  }
  // mkstemp makes the file private; a list or sheet is an ordinary user file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(fd, 0666 & ~mask) != 0 || ::fsync(fd) != 0) fail("Cannot write file");
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    FileError("Cannot write file", fileName, error);
  }
  if (::rename(temp.c_str(), fileName.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    FileError("Cannot create file", fileName, error);
  }
}

}  // namespace hv
