#pragma once
// Prints a document file to PDF and exports it to RTF through the program's own composition.
#include <string>

namespace hv::hvlib {

struct TOutputRequest {
  std::string Document;  // the .kvd file
  std::string Output;    // the PDF or RTF to write
  std::string Paper = "A4";  // A4, Letter, A3 or Legal
  bool Landscape = false;
};

// Opens the document with the library it names (found as `hvlib doc` finds it), composes it as
// Print and Export do, and writes the PDF or the RTF. Failures raise the program's own errors;
// the paper name is checked first (std::invalid_argument).
void PrintDocumentFile(const TOutputRequest& request);
void ExportDocumentFile(const TOutputRequest& request);

// Whether a paper name is one PrintDocumentFile knows.
bool KnownPaper(const std::string& name);

}  // namespace hv::hvlib
