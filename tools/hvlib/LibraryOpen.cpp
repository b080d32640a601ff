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
  const TLibraryFiles files = ResolveLibraryFiles(lib, text);
  return OpenNamingFiles(files.TextFilename, files.LibFilename);
}

TLibraryFiles ResolveLibraryFiles(const std::string& lib, const std::string& text, std::string* key) {
  if (EndsWith(lib, ".dat") || lib.find('/') != std::string::npos || FileExists(lib)) {
    std::string textFile = text;
    if (textFile.empty()) {
      if (!EndsWith(lib, ".dat")) throw EInOutError("Name the text file of \"" + lib + "\" as well");
      textFile = lib.substr(0, lib.size() - 4) + ".txt";
    }
    if (key != nullptr) {
      const auto slash = lib.find_last_of('/');
      *key = lib.substr(slash == std::string::npos ? 0 : slash + 1);
      if (EndsWith(*key, ".dat")) key->resize(key->size() - 4);
    }
    return {textFile, lib};
  }
  const auto ini = FindConfigFile(kLibraryIniName);
  if (!ini) {
    std::string searched;
    for (const std::string& dir : ConfigSearchPath()) searched += "\n  " + dir;
    throw EInOutError(std::string("No ") + kLibraryIniName + " for the library \"" + lib + "\"; looked in:" + searched);
  }
  if (!TIniFile::Load(*ini).HasSection(lib))
    throw EInOutError(*ini + " has no section [" + lib + "]");
  if (key != nullptr) *key = lib;
  return LookupLibraryFiles(lib);
}

}  // namespace hv::hvlib
