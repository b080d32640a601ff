// Reads the library data file layout from the input, then checks that whatever was accepted
// walks, resolves, writes and reads back to the same bytes, and unlinks cleanly.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "FuzzModel.h"

using namespace hv;

namespace {

fuzz::TBytes WriteLibrary(const TLibrary& lib, std::int32_t version = kLibraryVersion) {
  TMemoryStream s;
  WriteLibraryFile(s, lib, version);
  return s.Data();
}

void WriteSeeds(const std::string& dir) {
  auto store = fuzz::FuzzStore();
  auto lib = fuzz::FuzzLibrary(store.get());
  for (int version : {9, 10, 11})
    fuzz::WriteSeed(dir, "library_v" + std::to_string(version), WriteLibrary(*lib, version));
  fuzz::WriteSeed(dir, "library_empty", WriteLibrary(*TLibrary::CreateEmpty()));
}

void Exercise(TLibrary& lib) {
  for (TIdentityCategory* tree : {lib.QuestionTree, lib.SyllabusTree, lib.ResourceTree}) {
    auto it = tree->CreateIterator();
    while (TCategory* node = it->Next()) {
      auto* identity = dynamic_cast<TIdentityCategory*>(node);
      if (identity == nullptr) continue;
      const std::string id = FullID(identity);
      TIdentityCategory* found = FindByID(tree, id);
      if (found == nullptr || FullID(found) != id) std::abort();
      for (TTextSegment* segment : identity->Segments()) {
        if (segment->Identity != identity) std::abort();
        try {
          lib.FindSegment(segment->GetID());
        } catch (const EError&) {
        }
        if (segment->Chunk != nullptr) {
          try {
            segment->Chunk->GetLines();
          } catch (const EError&) {
            if (segment->Chunk->IsLoaded()) std::abort();
          }
          segment->Chunk->ReleaseLines();
        }
      }
    }
  }
}

bool RelationsSymmetric(TLibrary& lib) {
  for (TIdentityCategory* tree : {lib.QuestionTree, lib.SyllabusTree, lib.ResourceTree}) {
    auto it = tree->CreateIterator();
    while (TCategory* node = it->Next())
      if (auto* identity = dynamic_cast<TIdentityCategory*>(node))
        for (TIdentityCategory* other : identity->Related)
          if (std::find(other->Related.begin(), other->Related.end(), identity) == other->Related.end())
            return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MaybeWriteSeeds(WriteSeeds);
  RegisterModelClasses();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TTextStore* store = fuzz::FuzzStore().release();
  std::unique_ptr<TLibrary> lib;
  try {
    TMemoryStream stream(data, size);
    lib = ReadLibraryData(stream, store);
  } catch (const EError&) {
    return 0;
  }
  Exercise(*lib);

  // Whatever the reader accepts, our writer must write in a form that reads back identically.
  const fuzz::TBytes first = WriteLibrary(*lib);
  std::unique_ptr<TLibrary> again;
  try {
    TMemoryStream stream(first);
    again = ReadLibraryData(stream, store);
  } catch (const EError&) {
    std::abort();
  }
  if (WriteLibrary(*again) != first) std::abort();
  if (again->ObjectCount() != lib->ObjectCount()) std::abort();

  // Unlinking a whole question subtree hands back every node and, where the file kept its
  // relations two-sided, leaves no partner pointing at an unlinked node. (A one-sided link in a
  // damaged file cannot be found from the unlinked node; the read-only program never unlinks.)
  if (!lib->QuestionTree->Children.empty()) {
    const bool symmetric = RelationsSymmetric(*lib);
    TCategory* top = lib->QuestionTree->Children.front();
    auto released = top->Unlink();
    for (const auto& node : released)
      if (auto* identity = dynamic_cast<TIdentityCategory*>(node.get())) {
        if (!identity->Related.empty() || !identity->Segments().empty()) std::abort();
      }
    for (TIdentityCategory* tree : {lib->SyllabusTree, lib->ResourceTree}) {
      if (!symmetric) break;
      auto it = tree->CreateIterator();
      while (TCategory* node = it->Next())
        if (auto* identity = dynamic_cast<TIdentityCategory*>(node))
          for (TIdentityCategory* other : identity->Related)
            for (const auto& gone : released)
              if (other == gone.get()) std::abort();
    }
  }
  return 0;
}
