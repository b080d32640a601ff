// The save soak's program. "save_soak run FILE" saves a 500-entry test to FILE over and over
// through the document logic, each save a new generation, and prints "saved G" once generation G
// is safely on disk; it carries on from whatever generation FILE holds. "save_soak check FILE"
// reads FILE back whole, checks that every entry is exactly what its generation must hold, and
// prints the generation. save_soak.sh kills the first at random moments and runs the second.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "logic/DocFile.h"
#include "logic/DocLogic.h"
#include "model/Categories.h"
#include "model/Document.h"
#include "model/Library.h"
#include "model/Segments.h"

using namespace hv;

namespace {

constexpr int kEntries = 500;
constexpr int kQuestions = 50;
const char* const kSubject = "Soak";

// Fifty questions, each with a mark scheme, for the document's library entries.
std::unique_ptr<TLibrary> SoakLibrary() {
  auto lib = TLibrary::CreateEmpty();
  lib->Name = kSubject;
  auto* paper = static_cast<TIdentityCategory*>(lib->QuestionTree->CreateChild());
  paper->SetCode("P1");
  for (int q = 0; q < kQuestions; ++q) {
    auto* node = static_cast<TIdentityCategory*>(paper->CreateChild());
    node->SetCode(std::to_string(10 + q));
    node->SetTitle("Question " + std::to_string(q));
    node->AddQuestion()->Marks = static_cast<std::int16_t>(q % 7);
    node->AddMarkScheme();
  }
  return lib;
}

// Every fourth entry is a free text; an eighth of the entries change with each generation (the
// first one's title names it), the other free texts keep the text they had, so a save both
// writes new texts and copies unchanged ones out of the file being replaced.
bool IsText(int i) { return i % 4 == 0; }
bool Changes(int i) { return i % 8 == 0; }

std::string Title(int i, long generation) {
  if (i == 0) return "Generation " + std::to_string(generation);
  return "Text " + std::to_string(i) + (Changes(i) ? " of " + std::to_string(generation) : "");
}

std::vector<std::string> Lines(int i, long generation) {
  const long g = Changes(i) ? generation : 0;
  return {"{\\rtf1 entry " + std::to_string(i) + " generation " + std::to_string(g) + "\\par",
          std::string(static_cast<std::size_t>(500 + (i * 37 + g) % 1500), static_cast<char>('a' + (i + g) % 26)),
          "}"};
}

TTextSegment* LibraryEntry(const TLibrary& lib, int i) {
  const auto* node = static_cast<TIdentityCategory*>(lib.QuestionTree->Children[0]->Children[static_cast<std::size_t>(i % kQuestions)]);
  return i % 3 == 0 ? static_cast<TTextSegment*>(node->MarkScheme) : node->Question;
}

void Build(TDocLogic& doc, const TLibrary& lib, long generation) {
  doc.CreateNew();
  for (int i = 0; i < kEntries; ++i) {
    if (IsText(i))
      doc.InsertText(-1, Title(i, generation), i % 3 != 0, std::make_unique<TTextChunk>(Lines(i, generation)),
                     static_cast<std::int16_t>(i % 11), static_cast<std::int16_t>(i % 5));
    else
      doc.InsertEntries({LibraryEntry(lib, i)}, -1);
  }
}

void NextGeneration(TDocLogic& doc, long generation) {
  for (int i = 0; i < kEntries; ++i)
    if (Changes(i))
      doc.ReplaceText(i, Title(i, generation), i % 3 != 0, std::make_unique<TTextChunk>(Lines(i, generation)),
                      static_cast<std::int16_t>(i % 11), static_cast<std::int16_t>(i % 5));
}

long GenerationOf(const TDocument& document) {
  if (document.Entries.empty()) throw EError("the file holds no entries");
  const std::string title = document.Entries[0]->Segment->GetName();
  if (title.rfind("Generation ", 0) != 0) throw EError("the first entry does not name a generation");
  return std::stol(title.substr(11));
}

[[noreturn]] void Mismatch(int i, const std::string& what) {
  throw EError("entry " + std::to_string(i) + ": " + what);
}

// Everything an entry holds must be what its generation gives it.
long Check(const std::string& fileName, const TLibrary& lib) {
  TDocumentFile file = DecodeDocumentFile(fileName, kSubject);
  const TDocument& document = *file.Document;
  const long generation = GenerationOf(document);
  if (document.Entries.size() != static_cast<std::size_t>(kEntries)) Mismatch(-1, "wrong number of entries");
  for (int i = 0; i < kEntries; ++i) {
    const TDocContent& entry = *document.Entries[static_cast<std::size_t>(i)];
    if (entry.OwnsSegment() != IsText(i)) Mismatch(i, "wrong kind");
    if (!IsText(i)) {
      if (entry.Segment != LibraryEntry(lib, i)) Mismatch(i, "wrong library text");
      continue;
    }
    const TTextSegment& text = *entry.Segment;
    if (text.GetName() != Title(i, generation)) Mismatch(i, "wrong title " + text.GetName());
    if (entry.Numbered != (i % 3 != 0) || text.Time != i % 11 || text.Marks != i % 5) Mismatch(i, "wrong fields");
    if (text.Chunk == nullptr || text.Chunk->GetLines() != Lines(i, generation)) Mismatch(i, "wrong text");
  }
  return generation;
}

int Run(const std::string& fileName, const TLibrary& lib) {
  TDocLogic doc(kSubject);
  long generation = 0;
  std::FILE* existing = std::fopen(fileName.c_str(), "rb");
  if (existing != nullptr) {
    std::fclose(existing);
    doc.LoadFromFile(fileName);
    generation = GenerationOf(*doc.Document);
  } else {
    Build(doc, lib, generation);
  }
  for (;;) {
    NextGeneration(doc, ++generation);
    doc.SaveToFile(fileName);
    std::printf("saved %ld\n", generation);
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: save_soak run|check FILE\n");
    return 2;
  }
  RegisterModelClasses();
  auto lib = SoakLibrary();
  CurrentLibrary = lib.get();
  try {
    const std::string mode = argv[1];
    if (mode == "run") return Run(argv[2], *lib);
    if (mode == "check") {
      std::printf("%ld\n", Check(argv[2], *lib));
      return 0;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "save_soak: %s: %s\n", argv[2], e.what());
    return 1;
  }
  std::fprintf(stderr, "usage: save_soak run|check FILE\n");
  return 2;
}
