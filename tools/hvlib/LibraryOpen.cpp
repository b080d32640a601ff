#include "LibraryOpen.h"

#include <iostream>

#include "core/Streams.h"
#include "model/LibraryConfig.h"

namespace hv::hvlib {

namespace {

bool EndsWith(const std::string& s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

namespace {

// The program's own messages ("Could not open library text file") name no file; the tool adds it.
TOpenedLibrary OpenNamingFiles(const std::string& textFile, const std::string& dataFile) {
  try {
    std::vector<std::string> warnings;
    TOpenedLibrary opened = OpenLibraryFiles(textFile, dataFile, &warnings);
    for (const std::string& warning : warnings) std::cerr << "hvlib: " << dataFile << ": " << warning << "\n";
    return opened;
  } catch (const EInOutError& e) {
    const std::string what = e.what();
    if (what.find("text file") != std::string::npos) throw EInOutError(what + " \"" + textFile + "\"");
    if (what.find("data file") != std::string::npos || what.find("version") != std::string::npos)
      throw EInOutError(what + " \"" + dataFile + "\"");
    throw;
  }
}

}  // namespace

TOpenedLibrary LoadLibrary(const std::string& lib, const std::string& text) {
  if (EndsWith(lib, ".dat") || lib.find('/') != std::string::npos || FileExists(lib)) {
    std::string textFile = text;
    if (textFile.empty()) {
      if (!EndsWith(lib, ".dat")) throw EInOutError("Name the text file of \"" + lib + "\" as well");
      textFile = lib.substr(0, lib.size() - 4) + ".txt";
    }
    return OpenNamingFiles(textFile, lib);
  }
  const auto ini = FindConfigFile(kLibraryIniName);
  if (!ini) {
    std::string searched;
    for (const std::string& dir : ConfigSearchPath()) searched += "\n  " + dir;
    throw EInOutError(std::string("No ") + kLibraryIniName + " for the library \"" + lib + "\"; looked in:" + searched);
  }
  if (!TIniFile::Load(*ini).HasSection(lib))
    throw EInOutError(*ini + " has no section [" + lib + "]");
  const TLibraryFiles files = LookupLibraryFiles(lib);
  return OpenNamingFiles(files.TextFilename, files.LibFilename);
}

}  // namespace hv::hvlib
