#include "StudentList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>

#include "core/Errors.h"

namespace hv {

namespace {

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

bool NeedsQuotes(std::string_view field, bool last) {
  if (field.find('"') != std::string_view::npos) return true;
  return !last && field.find(',') != std::string_view::npos;
}

void AppendField(std::string& out, std::string_view field, bool last) {
  // A line end inside a field would split the student in two when read back.
  std::string clean(field);
  for (char& c : clean)
    if (c == '\r' || c == '\n') c = ' ';
  if (!NeedsQuotes(clean, last)) {
    out += clean;
    return;
  }
  out += '"';
  for (char c : clean) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

[[noreturn]] void FileError(const char* what, const std::string& fileName, int error) {
  throw EInOutError(std::string(what) + " \"" + fileName + "\". " + std::strerror(error));
}

}  // namespace

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

TStudent SplitStudentLine(std::string_view line) {
  TStudent student;
  std::string_view rest = line;
  for (std::size_t f = 0; f < 3; ++f) {
    if (auto quoted = ReadQuoted(rest)) {
      if (quoted->Length < rest.size() && rest[quoted->Length] == ',') {
        student[f] = std::move(quoted->Value);
        rest.remove_prefix(quoted->Length + 1);
        continue;
      }
      // A quoted text that ends the line holds no separator, whatever commas are inside it.
      if (quoted->Length == rest.size()) continue;
    }
    const std::size_t comma = rest.find(',');
    if (comma == std::string_view::npos) continue;
    student[f] = std::string(rest.substr(0, comma));
    rest.remove_prefix(comma + 1);
  }
  if (auto quoted = ReadQuoted(rest); quoted && quoted->Length == rest.size())
    student[3] = std::move(quoted->Value);
  else
    student[3] = std::string(rest);
  return student;
}

TStudentListText ParseStudentList(std::string_view text, std::size_t maxStudents) {
  TStudentListText list;
  for (std::string_view line : SplitLines(text)) {
    if (list.Students.size() >= maxStudents) {
      list.Truncated = true;
      break;
    }
    list.Students.push_back(SplitStudentLine(line));
  }
  return list;
}

std::string FormatStudentLine(const TStudent& student) {
  std::string line;
  for (std::size_t f = 0; f < 4; ++f) {
    if (f > 0) line += ',';
    AppendField(line, student[f], f == 3);
  }
  return line;
}

std::string FormatStudentList(const std::vector<TStudent>& students) {
  std::string text;
  for (const TStudent& s : students) {
    if (s[0].empty()) break;
    text += FormatStudentLine(s);
    text += "\r\n";
  }
  return text;
}

TStudentListText ReadStudentListFile(const std::string& fileName, std::size_t maxStudents) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) FileError("Cannot open file", fileName, errno);
  std::string text;
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxStudentListBytes)
      throw EInOutError("The file \"" + fileName + "\" is too large for a student list.");
  }
  if (in.bad()) FileError("Cannot read file", fileName, errno);
  return ParseStudentList(text, maxStudents);
}

void WriteStudentListFile(const std::string& fileName, const std::vector<TStudent>& students) {
  ReplaceFileContent(fileName, FormatStudentList(students));
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
