#pragma once
// The question bank: four classification trees and three identity trees, read from the data file.
#include <memory>
#include <string>

#include "core/ObjectStream.h"
#include "model/Categories.h"
#include "model/TextStore.h"

namespace hv {

class TTextSegment;

inline constexpr std::int32_t kLibraryVersion = 11;

class TLibrary : public TStreamable {
public:
  static constexpr const char* StaticClassName = "TLibrary";
  const char* ClassName() const override { return StaticClassName; }

  TLibrary() = default;
  ~TLibrary() override;

  std::string Name;  // at most 40 characters
  TCategory* Topics = nullptr;  // the seven trees are owned
  TCategory* QuestionTypes = nullptr;
  TCategory* Levels = nullptr;
  TCategory* Papers = nullptr;
  TIdentityCategory* QuestionTree = nullptr;
  TIdentityCategory* SyllabusTree = nullptr;
  TIdentityCategory* ResourceTree = nullptr;

  // A library with seven empty, unnamed trees.
  static std::unique_ptr<TLibrary> CreateEmpty();

  // The tree named by a letter: S syllabus, Q or space questions, R resources.
  TIdentityCategory* FindIdentity(std::string_view id, char letter) const;
  // The segment named by a typed ID; throws EDataError rather than answering none.
  TTextSegment* FindSegment(std::string_view typedId, bool create = false) const;
  // The same without creation, answering none (and why, when asked) instead of throwing.
  TTextSegment* LookupSegment(std::string_view typedId, std::string* why = nullptr) const;

  void ReadFrom(TNetReader& reader) override;
  void WriteTo(TNetWriter& writer) const override;
  int ObjectCount() const override;
  void ForgetOwned() override;
  void CheckGraph(TNetReader& reader) override;
};

// The open library, used to resolve typed IDs while documents are read. The application state
// owns the library; this only points at it.
extern TLibrary* CurrentLibrary;

struct TOpenedLibrary {
  std::unique_ptr<TTextStore> TextStore;
  std::unique_ptr<TLibrary> Library;
};

// Refuses an identity tree in which two items spell the same ID, or an item below the root has
// no code (it would take its parent's ID): a test would come back showing the other item.
void CheckUniqueIDs(TIdentityCategory* root, char letter);

// Opens the library of a subject: the text file first, then the data file with its version checks.
// File problems raise EInOutError; malformed data raises the object stream's errors.
TOpenedLibrary OpenLibrary(const std::string& subject);
// warnings, when given, receives what the reader stepped over, each with its place.
TOpenedLibrary OpenLibraryFiles(const std::string& textFileName, const std::string& dataFileName,
                                std::vector<std::string>* warnings = nullptr);

// Reads the data file's layout (version checks, header, graph) from an open stream; every chunk
// of the library attaches to textStore.
std::unique_ptr<TLibrary> ReadLibraryData(TStream& data, TTextStore* textStore,
                                         std::vector<std::string>* warnings = nullptr);

// Writes a library data file: version, two header integers, the graph.
void WriteLibraryFile(TStream& stream, const TLibrary& library, std::int32_t version = kLibraryVersion);

// Registers every model class with the object stream; safe to call more than once.
void RegisterModelClasses();

}  // namespace hv
