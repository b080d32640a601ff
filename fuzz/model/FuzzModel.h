#pragma once
// Fixtures shared by the model fuzz targets: a fixed library built in code, a small text file
// whose records its chunks point at, and the seed writer that each target runs on request
// (HV_FUZZ_WRITE_SEEDS=<folder> writes that target's seeds and exits).
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/Streams.h"
#include "model/Categories.h"
#include "model/Document.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "model/TextStore.h"

namespace hv::fuzz {

using TBytes = std::vector<std::uint8_t>;

inline constexpr const char* kFirstLine = "{\\rtf1 first}";
// Offset of the second record: the first is a count, a length and kFirstLine.
inline const std::int32_t kSecondRecord = 8 + static_cast<std::int32_t>(std::char_traits<char>::length(kFirstLine));

// Two records: kFirstLine at 0, then two lines (the second cut at its zero byte when read).
inline TBytes FuzzTextFile() {
  TMemoryStream s;
  WriteChunkRecord(s, {kFirstLine});
  WriteChunkRecord(s, {"{\\rtf1 second}", std::string("with\0zero", 9)});
  return s.Data();
}

inline std::unique_ptr<TTextStore> FuzzStore() {
  return std::make_unique<TTextStore>(std::make_unique<TMemoryStream>(FuzzTextFile()));
}

inline TIdentityCategory* Child(TIdentityCategory* parent, const char* code, const char* title) {
  auto* node = static_cast<TIdentityCategory*>(parent->CreateChild());
  node->SetCode(code);
  node->SetTitle(title);
  return node;
}

inline std::unique_ptr<TTextChunk> StoredChunk(TTextStore* store, std::int32_t offset) {
  auto chunk = std::make_unique<TTextChunk>();
  chunk->Store = store;
  chunk->Offset = offset;
  return chunk;
}

// Questions A1/07 (question, mark scheme, report, note) and A1/08 (question only), syllabus 1.1,
// resources R1 (with a resource) and R2 (without).
inline std::unique_ptr<TLibrary> FuzzLibrary(TTextStore* store) {
  auto lib = TLibrary::CreateEmpty();
  lib->Name = "Fuzz";
  TCategory* topic = lib->Topics->CreateChild();
  topic->SetName("Waves");
  TIdentityCategory* a1 = Child(lib->QuestionTree, "A1", "Paper A1");
  TIdentityCategory* q07 = Child(a1, "07", "Waves");
  TIdentityCategory* q08 = Child(a1, "08", "Refraction");
  TQuestion* q = q07->AddQuestion();
  q->Marks = 4;
  q->Time = 6;
  q->Topics.push_back(topic);
  q->SetChunk(StoredChunk(store, 0));
  q07->AddMarkScheme()->SetChunk(StoredChunk(store, kSecondRecord));
  q07->AddExaminersReport();
  q07->AddNote();
  q08->AddQuestion()->Marks = 3;
  TIdentityCategory* s11 = Child(lib->SyllabusTree, "1.1", "Wave speed");
  s11->AddSyllabus();
  q07->Related.push_back(s11);
  s11->Related.push_back(q07);
  TIdentityCategory* r1 = Child(lib->ResourceTree, "R1", "Data sheet");
  r1->AddResource();
  Child(lib->ResourceTree, "R2", "Empty");
  q->Resources.push_back(r1);
  return lib;
}

inline void WriteSeed(const std::string& dir, const std::string& name, const TBytes& bytes) {
  std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline TBytes GraphBytes(const TStreamable& root) {
  TMemoryStream s;
  {
    TNetWriter w(s);
    w.WriteObjectGraph(root);
    w.Flush();
  }
  return s.Data();
}

// Runs the seed writer when asked to, then ends the process.
template <class TWriter>
void MaybeWriteSeeds(TWriter writer) {
  const char* dir = std::getenv("HV_FUZZ_WRITE_SEEDS");
  if (dir == nullptr || *dir == '\0') return;
  RegisterModelClasses();
  writer(std::string(dir));
  std::exit(0);
}

}  // namespace hv::fuzz
