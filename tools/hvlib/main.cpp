// hvlib: builds libraries from sources, prints libraries, texts and document files, writes
// synthetic libraries for benchmarks, and makes student lists and the workbooks of a test.
#include <unistd.h>

#include <climits>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#ifdef HV_WITH_QT
#include "AnalysisTool.h"
#endif
#include "DocumentDump.h"
#ifdef HV_WITH_QT
#include "DocumentOutput.h"
#include "StatsTool.h"
#endif
#include "LibraryDump.h"
#include "LibraryOpen.h"
#include "ManifestCompiler.h"
#include "Synthesiser.h"
#include "WordSearch.h"
#include "model/Library.h"
#include "model/LibraryConfig.h"
#include "model/Segments.h"

namespace {

constexpr const char* kUsage =
    "usage: hvlib build SRC OUT            compile SRC (a folder with library.json, or the manifest) into OUT\n"
    "       hvlib dump [--json] LIB [TXT]   print a library; LIB is a key from vornika32.ini or a .dat file\n"
    "       hvlib text LIB [TXT] TYPEDID    print the RTF of one text\n"
    "       hvlib doc [--json] FILE         decode a document file (its library is found through vornika32.ini)\n"
    "       hvlib synth N OUT               write a synthetic library of N questions (key \"Synth\") into OUT\n"
    "       hvlib search LIB [--in q,m,e,n] WORDS...\n"
    "                                       print the typed IDs of the questions holding WORDS, best first;\n"
    "                                       \"a phrase\", kinet* (prefix), -word (exclude); --in adds mark\n"
    "                                       schemes (m), examiner's reports (e) and notes (n) to the question (q)\n"
    "       hvlib search --index LIB        build or refresh LIB's word index; print its size and the time taken\n"
#ifdef HV_WITH_QT
    "       hvlib students [--keep-first-line] IN.csv OUT.ptx\n"
    "                                       import a class list as the student list window does and save it\n"
    "       hvlib marksheet [--keep-first-line] FILE.kvd OUT.xlsx [--students LIST]\n"
    "                                       make the mark entry sheet of a test, for a .ptx or .csv class list\n"
    "       hvlib fileindex FILE.kvd OUT.xlsx  make the file index of a test\n"
    "       hvlib print FILE.kvd OUT.pdf [--paper A4|Letter|A3|Legal] [--landscape]\n"
    "                                       compose a test as Print does and write it as a PDF\n"
    "       hvlib export FILE.kvd OUT.rtf   write what Export writes for a test\n"
    "A first line of a class list that looks like column headings is left out unless --keep-first-line.\n"
    "       hvlib stats import [--library LIB] [--class NAME] WORKBOOK.xlsx\n"
    "                                       store the marks of a filled mark entry sheet as question statistics;\n"
    "                                       LIB defaults to the Subject of vornika.ini, NAME to the workbook's name\n"
    "       hvlib stats show LIB [TYPEDID]  print each question's ID, uses, facility and discrimination (tab-separated)\n"
    "The statistics live in $XDG_DATA_HOME/harrowvane/statistics.sqlite (~/.local/share by default).\n"
#endif
    "Word indexes live in $XDG_CACHE_HOME/harrowvane/words (default ~/.cache/harrowvane/words).\n"
    "vornika32.ini is looked for in $HARROWVANE_CONFIG_DIR, the current folder, the folder of hvlib,\n"
    "$XDG_CONFIG_HOME/harrowvane and $XDG_CONFIG_DIRS/harrowvane.\n";

int Usage() {
  std::cerr << kUsage;
  return 2;
}

void SetProgramDirectoryFromExe() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return;
  std::string exe(path, static_cast<std::size_t>(n));
  const auto slash = exe.find_last_of('/');
  if (slash != std::string::npos) hv::SetProgramDirectory(exe.substr(0, slash));
}

void PrintBuilt(const hv::hvlib::TBuildResult& result) {
  std::cout << "hvlib: library \"" << result.Key << "\": " << result.Objects << " objects, " << result.Texts
            << " texts (" << result.TextBytes << " bytes)\n"
            << "  " << result.DataFile << "\n  " << result.TextFile << "\n  " << result.LibraryIni << "\n  "
            << result.AutoIni << "\n";
}

int Run(std::vector<std::string> args) {
  using namespace hv::hvlib;
  if (args.empty()) return Usage();
  const std::string command = args[0];
  args.erase(args.begin());
  bool json = false;
  if (!args.empty() && args[0] == "--json" && (command == "dump" || command == "doc")) {
    json = true;
    args.erase(args.begin());
  }

  if (command == "build") {
    if (args.size() != 2) return Usage();
    PrintBuilt(BuildLibrary(args[0], args[1]));
    return 0;
  }
  if (command == "synth") {
    if (args.size() != 2) return Usage();
    char* end = nullptr;
    const long n = std::strtol(args[0].c_str(), &end, 10);
    if (end == args[0].c_str() || *end != '\0' || n < 1 || n > 1000000) {
      std::cerr << "hvlib: N must be a whole number from 1 to 1000000\n";
      return 2;
    }
    PrintBuilt(SynthesiseLibrary(static_cast<int>(n), args[1]));
    return 0;
  }
  if (command == "search") {
    const int status = SearchCommand(args, std::cout, std::cerr);
    if (status == 2) std::cerr << kUsage;
    return status;
  }
  if (command == "dump") {
    if (args.empty() || args.size() > 2) return Usage();
    hv::TOpenedLibrary loaded = LoadLibrary(args[0], args.size() == 2 ? args[1] : std::string());
    const int unreadable = DumpLibrary(*loaded.Library, std::cout, json);
    if (unreadable > 0) {
      std::cerr << "hvlib: " << unreadable << " texts could not be read\n";
      return 1;
    }
    return 0;
  }
  if (command == "text") {
    if (args.size() < 2 || args.size() > 3) return Usage();
    hv::TOpenedLibrary loaded = LoadLibrary(args[0], args.size() == 3 ? args[1] : std::string());
    hv::TTextSegment* segment = loaded.Library->FindSegment(args.back(), false);
    if (segment->Chunk == nullptr) {
      std::cerr << "hvlib: " << args.back() << " has no stored text\n";
      return 1;
    }
    std::cout << SegmentRtf(*segment);
    return std::cout.good() ? 0 : 1;
  }
#ifdef HV_WITH_QT
  if (const int status = RunAnalysisCommand(command, args, std::cout, std::cerr); status >= 0)
    return status == 2 ? Usage() : status;
  if (command == "stats") {
    if (args.empty()) return Usage();
    const std::string sub = args[0];
    args.erase(args.begin());
    std::string setAside;
    if (sub == "import") {
      std::string lib, className, workbook;
      for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--library" && i + 1 < args.size())
          lib = args[++i];
        else if (args[i] == "--class" && i + 1 < args.size())
          className = args[++i];
        else if (workbook.empty() && !args[i].empty() && args[i][0] != '-')
          workbook = args[i];
        else
          return Usage();
      }
      if (workbook.empty()) return Usage();
      if (lib.empty()) lib = hv::ReadProfileString(hv::kAutoIniName, "Auto", "Subject");
      if (lib.empty()) {
        std::cerr << "hvlib: no library given, and vornika.ini names no Subject; use --library LIB\n";
        return 2;
      }
      hv::TStatsStore store(hv::TStatsStore::DefaultPath(), &setAside);
      if (!setAside.empty()) std::cerr << "hvlib: " << setAside << "\n";
      try {
        std::cout << ImportStats(workbook, lib, className, store) << "\n";
      } catch (const hv::EDataError& e) {
        std::cerr << "hvlib: " << workbook << ": " << e.what() << "\n";
        return 1;
      }
      return 0;
    }
    if (sub == "show") {
      if (args.empty() || args.size() > 2) return Usage();
      hv::TStatsStore store(hv::TStatsStore::DefaultPath(), &setAside);
      if (!setAside.empty()) std::cerr << "hvlib: " << setAside << "\n";
      const int shown = ShowStats(store, args[0], args.size() == 2 ? args[1] : std::string(), std::cout);
      if (shown == 0 && args.size() == 2) {
        std::cerr << "hvlib: no statistics for " << args[1] << " in " << args[0] << "\n";
        return 1;
      }
      return 0;
    }
    return Usage();
  }
#endif
  if (command == "doc") {
    if (args.size() != 1) return Usage();
    try {
      TDecodedDocument decoded = DecodeDocument(args[0], [](const std::string& subject) {
        return LoadLibrary(subject, std::string());
      });
      // Like dump: a text that cannot be read fails the run, after every other entry is listed.
      const int unreadable = DumpDocument(decoded, std::cout, json);
      for (const std::string& warning : decoded.File.Warnings) std::cerr << "hvlib: " << args[0] << ": " << warning << "\n";
      if (unreadable > 0) {
        std::cerr << "hvlib: " << args[0] << ": " << unreadable << " texts could not be read\n";
        return 1;
      }
    } catch (const std::exception& e) {
      std::cerr << "hvlib: " << args[0] << ": " << e.what() << "\n";
      return 1;
    }
    return 0;
  }
#ifdef HV_WITH_QT
  if (command == "print" || command == "export") {
    TOutputRequest request;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (command == "print" && args[i] == "--landscape") {
        request.Landscape = true;
      } else if (command == "print" && args[i] == "--paper" && i + 1 < args.size()) {
        request.Paper = args[++i];
        if (!KnownPaper(request.Paper)) {
          std::cerr << "hvlib: unknown paper \"" << request.Paper << "\" (A4, Letter, A3 or Legal)\n";
          return 2;
        }
      } else if (args[i].rfind("--", 0) == 0) {
        return Usage();
      } else {
        files.push_back(args[i]);
      }
    }
    if (files.size() != 2) return Usage();
    request.Document = files[0];
    request.Output = files[1];
    try {
      if (command == "print")
        PrintDocumentFile(request);
      else
        ExportDocumentFile(request);
    } catch (const std::exception& e) {
      std::cerr << "hvlib: " << files[0] << ": " << e.what() << "\n";
      return 1;
    }
    return 0;
  }
#endif
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  SetProgramDirectoryFromExe();
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::cerr << "hvlib: " << e.what() << "\n";
    return 1;
  }
}
