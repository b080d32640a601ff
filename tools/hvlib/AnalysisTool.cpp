#include "AnalysisTool.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "AnalysisCommands.h"
#include "AnalysisSheets.h"
#include "DocumentDump.h"
#include "LibraryOpen.h"
#include "StudentList.h"

namespace hv::hvlib {

namespace {

// Takes a flag out of the arguments; true when it was there.
bool TakeFlag(std::vector<std::string>& args, const std::string& flag) {
  const auto it = std::find(args.begin(), args.end(), flag);
  if (it == args.end()) return false;
  args.erase(it);
  return true;
}

// Takes "--name VALUE" out of the arguments.
std::optional<std::string> TakeOption(std::vector<std::string>& args, const std::string& name, bool& bad) {
  const auto it = std::find(args.begin(), args.end(), name);
  if (it == args.end()) return std::nullopt;
  if (it + 1 == args.end()) {
    bad = true;
    return std::nullopt;
  }
  std::string value = *(it + 1);
  args.erase(it, it + 2);
  return value;
}

// Without anyone to ask, a first line that looks like column headings is left out (and said so),
// unless --keep-first-line keeps it.
THeaderQuestion HeaderRule(bool keepFirstLine, std::ostream& err) {
  return [keepFirstLine, &err](const TStudent& first) {
    if (keepFirstLine) return false;
    std::string line;
    for (const std::string& f : first)
      if (!f.empty()) line += (line.empty() ? "" : ", ") + f;
    err << "hvlib: first line \"" << line << "\" taken as column headings and left out\n";
    return true;
  };
}

bool Absent(const std::string& arg) { return arg.empty() || arg.starts_with("--"); }

}  // namespace

int RunAnalysisCommand(const std::string& command, std::vector<std::string> args, std::ostream& out,
                       std::ostream& err) {
  if (command != "students" && command != "marksheet" && command != "fileindex") return -1;
  const bool keepFirstLine = TakeFlag(args, "--keep-first-line");
  bool bad = false;
  const std::optional<std::string> studentList = TakeOption(args, "--students", bad);
  if (bad || args.size() != 2 || Absent(args[0]) || Absent(args[1]) || (command != "marksheet" && studentList) ||
      (command == "fileindex" && keepFirstLine))
    return 2;

  if (command == "students") {
    const TStudentListText list = ImportStudentList(args[0], HeaderRule(keepFirstLine, err));
    if (list.Truncated) {
      err << "hvlib: " << args[0] << " holds more than " << kMaxStudents << " students; nothing written\n";
      return 1;
    }
    WriteStudentListFile(args[1], list.Students);
    out << "hvlib: " << list.Students.size() << " students written to " << args[1] << "\n";
    return 0;
  }

  TDecodedDocument decoded = DecodeDocument(args[0], [](const std::string& subject) { return LoadLibrary(subject, {}); });
  const TLibrary& library = *decoded.Library.Library;
  const TCurrentLibraryScope scope(decoded.Library.Library.get());
  // Written under the name the program would give it ("marks.xls" is an .xlsx package).
  const std::string fileName = std::filesystem::absolute(WorkbookFileName(args[1])).string();
  if (command == "fileindex") {
    CreateFileIndexWorkbook(*decoded.File.Document, library, fileName);
  } else {
    const TAnalysisSettings settings = ReadAnalysisSettings(decoded.File.Subject);
    if (DocumentQuestions(*decoded.File.Document, library, settings.UseResource).empty()) {
      err << "hvlib: " << args[0] << ": The document holds no questions to enter marks for.\n";
      return 1;
    }
    CreateMarkEntryWorkbook(*decoded.File.Document, library, settings.UseResource,
                            FindTemplateFile(settings.TemplateName), studentList, fileName,
                            HeaderRule(keepFirstLine, err));
  }
  out << "hvlib: " << fileName << "\n";
  return 0;
}

}  // namespace hv::hvlib
