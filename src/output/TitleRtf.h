#pragma once
// The rich texts of title blocks and section headings, built from what the teacher typed.
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace hv {

class TTextChunk;

// Text typed into a field, made safe to stand inside RTF: backslashes and braces are escaped,
// characters of Windows-1252 above 0x7F become \'hh, tabs \tab, and anything else outside the
// code page a \uN escape with one '?' for readers that skip it (the texts declare \uc1). Other
// control characters are dropped, so nothing typed can act as markup.
std::string RtfFieldText(const QString& text);

struct TTitleFields {
  QString Title, Subtitle, Date, TimeAllowed, TotalMarks, Instructions;
  bool FullPage = false;
};

struct TSectionFields {
  QString SectionTitle, Instruction;
  bool NewPage = false;
};

// The pieces of a title block, in order; joined they make the entry's one RTF line.
std::vector<std::string> TitlePieces(const TTitleFields& fields, const QString& organisation);
std::vector<std::string> SectionPieces(const TSectionFields& fields);

// A new in-memory chunk whose single line is the pieces joined without separators.
std::unique_ptr<TTextChunk> ChunkOfPieces(const std::vector<std::string>& pieces);

}  // namespace hv
