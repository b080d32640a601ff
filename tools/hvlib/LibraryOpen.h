#pragma once
// Opens a library for the tool, by key through vornika32.ini or by file names.
#include <string>

#include "model/Library.h"
#include "model/LibraryConfig.h"

namespace hv::hvlib {

// LIB is a key of vornika32.ini, or the path of a data file (ending in ".dat" or naming an
// existing file); the text file is TEXT, or the data file's name with ".txt" for ".dat". A key
// that no configuration file knows fails with a message saying where the file was looked for.
TOpenedLibrary LoadLibrary(const std::string& lib, const std::string& text);
// The two files LoadLibrary opens for LIB and TEXT, and the library key: LIB itself when it is a
// key, else the data file's name without its folder and ".dat".
TLibraryFiles ResolveLibraryFiles(const std::string& lib, const std::string& text, std::string* key = nullptr);

// Makes a library the CurrentLibrary for as long as this object lives.
class TCurrentLibraryScope {
public:
  explicit TCurrentLibraryScope(TLibrary* library) : Previous(CurrentLibrary) { CurrentLibrary = library; }
  ~TCurrentLibraryScope() { CurrentLibrary = Previous; }
  TCurrentLibraryScope(const TCurrentLibraryScope&) = delete;
  TCurrentLibraryScope& operator=(const TCurrentLibraryScope&) = delete;

private:
  TLibrary* Previous;
};

}  // namespace hv::hvlib
