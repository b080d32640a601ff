#pragma once
// The document file: the free texts' chunk records, then the object stream of the document.
//
//   offset 0   4 bytes   P, the offset of the object stream part (32-bit little-endian)
//   offset 4   P - 4     one chunk record per free text (count, then length and bytes per line)
//   offset P   to end    version (written as 10), the library's subject, the TDocument graph
//
// Each free text's chunk object in the graph holds the offset of its record, which must lie in
// [4, P). Library texts are stored by typed ID, so reading needs CurrentLibrary to be set.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Streams.h"
#include "model/Document.h"
#include "model/TextStore.h"

namespace hv {

inline constexpr std::int32_t kDocumentVersion = 10;

// Why a document file could not be read, told apart so the user learns the real cause. The
// message is the plain reason; whoever names the file to the user adds its name.
class EDocumentFileError : public EError {
public:
  enum class TKind { NotADocument, NewerVersion, OtherLibrary, Damaged };
  EDocumentFileError(TKind kind, const std::string& message) : EError(message), Kind(kind) {}
  TKind Kind;
};

// A free text whose record could not be read: the entry keeps its place with a notice instead.
struct TDamagedEntry {
  std::size_t Index;   // position in the document
  std::string Reason;  // the read error
};

// A decoded document file. Store is set only when the decoder opened the file itself; it keeps the
// file open so that the texts can be read, and must outlive nothing but Document's chunks.
struct TDocumentFile {
  std::unique_ptr<TTextStore> Store;
  std::int32_t StreamOffset = 0;  // P
  std::int32_t Version = 0;
  std::string Subject;
  std::unique_ptr<TDocument> Document;
  std::vector<std::string> MissingIDs;  // typed IDs the library lacks, now placeholder entries
  std::vector<TDamagedEntry> Damaged;
  std::vector<std::string> Warnings;    // what the reader stepped over, each with its place
};

// "entry 3, number 2, "Intro"" or "entry 4, QA101": how messages name an entry.
std::string DescribeEntry(const TDocument& document, std::size_t index);

// Reads a whole document file from a stream. Chunks attach to store. Every failure is an
// EDocumentFileError: a file whose head is no document's is NotADocument; a version above 10 is
// NewerVersion ("Incorrect file version"); when expectedSubject is given, a file of another
// subject (compared exactly) is OtherLibrary ("Incorrect library", naming both); a fault inside
// the object stream is Damaged, naming the object and the byte offset. Items the library lacks
// become placeholders, and free texts whose records cannot be read are kept with a notice; both
// are listed in the answer.
TDocumentFile ReadDocumentFile(TStream& stream, TTextStore* store,
                               std::optional<std::string_view> expectedSubject);

// The subject a document file was written for, read from the head of its object stream; fails
// like ReadDocumentFile for a file that is no document or of a newer version.
std::string ReadDocumentSubject(const std::string& fileName);

// Opens a file for reading, without locking it (for tools that only look), and decodes it.
TDocumentFile DecodeDocumentFile(const std::string& fileName, std::optional<std::string_view> expectedSubject);

// Where a free text's record went in a newly written file.
struct TChunkPlacement {
  TTextChunk* Chunk;
  std::int32_t Offset;
};

// Writes a complete document file into an empty stream: reads every free text from wherever it
// lives now, appends the records, then the object stream. The document and its chunks are left
// exactly as they were (same store, offset and loaded lines); the caller re-points the chunks
// with the answered placements once the new file has safely replaced the old one.
std::vector<TChunkPlacement> WriteDocumentFile(TStream& stream, const TDocument& document, std::string_view subject);

}  // namespace hv
