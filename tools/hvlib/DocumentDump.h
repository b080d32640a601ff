#pragma once
// Decodes and prints a document file with the library it was made for.
#include <functional>
#include <ostream>
#include <string>

#include "logic/DocFile.h"
#include "model/Library.h"

namespace hv::hvlib {

struct TDecodedDocument {
  std::string FileName;
  TOpenedLibrary Library;  // declared first: the entries point into it
  TDocumentFile File;
};

using TLibraryOpener = std::function<TOpenedLibrary(const std::string& subject)>;

// The subject (library key) a document file was written for, read from the head of its object
// stream.
std::string DocumentSubject(const std::string& fileName);

// Reads the subject from the file, opens that library through `open`, and decodes the document
// with it as the CurrentLibrary (restored afterwards).
TDecodedDocument DecodeDocument(const std::string& fileName, const TLibraryOpener& open);

// Entries with number, typed ID, name, marks and time; free texts with their RTF size; items the
// library lacks as missing. Answers how many entries' own texts could not be read.
int DumpDocument(TDecodedDocument& decoded, std::ostream& out, bool json);

}  // namespace hv::hvlib
