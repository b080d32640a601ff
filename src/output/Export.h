#pragma once
// Export of the current document to a word-processor (RTF) file.
#include <QString>

namespace hv {

class TAppLogic;

inline constexpr const char* kExportFilter = "Rich Text Format|*.rtf";
inline constexpr const char* kExportDefaultExt = "rtf";
inline constexpr const char* kNothingToExport = "There are no items in the current document to export.";

// A chosen name without an extension gets ".rtf", what the file holds; a typed ".doc" is kept.
QString ExportFileName(const QString& chosen);

// Asks for a file name (asking again while an existing file is not to be overwritten) and writes
// the composed document there. Tells the user when the document holds nothing to export.
// Answers whether a file was written.
bool ExportCurrentDocument(TAppLogic& app);

}  // namespace hv
