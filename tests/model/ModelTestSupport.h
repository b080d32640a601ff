#pragma once
// Shared fixtures of the model tests: a byte builder that spells the tagged stream format by hand
// (so the reader is checked against the format, not against our writer), temporary folders, a
// small library built in code, and a chunk that counts its own destruction.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/Streams.h"
#include "model/Categories.h"
#include "model/Document.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "model/TextStore.h"

namespace hv::test {

using TByteVector = std::vector<std::uint8_t>;

// Builds object-stream bytes value by value. New() numbers objects in the order the stream
// introduces them, which is the numbering Ref() must use.
class TBytes {
public:
  TBytes& Byte(std::uint8_t b) {
    Data.push_back(b);
    return *this;
  }
  TBytes& Raw32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  TBytes& Int(std::int32_t v) {
    if (v >= -128 && v <= 127) return Byte(2).Byte(static_cast<std::uint8_t>(v));
    if (v >= -32768 && v <= 32767)
      return Byte(3).Byte(static_cast<std::uint8_t>(v)).Byte(static_cast<std::uint8_t>(v >> 8));
    return Byte(4).Raw32(static_cast<std::uint32_t>(v));
  }
  TBytes& Str(std::string_view s) {
    if (s.size() < 256)
      Byte(6).Byte(static_cast<std::uint8_t>(s.size()));
    else
      Byte(12).Raw32(static_cast<std::uint32_t>(s.size()));
    Data.insert(Data.end(), s.begin(), s.end());
    return *this;
  }
  TBytes& Bool(bool b) { return Byte(b ? 9 : 8); }
  TBytes& Char(char c) { return Byte(6).Byte(1).Byte(static_cast<std::uint8_t>(c)); }
  TBytes& ListBegin() { return Byte(1); }
  TBytes& ListEnd() { return Byte(0); }
  TBytes& Nil() { return Int(-2); }
  TBytes& Ref(int n) { return Int(n); }
  TBytes& EmptyList() { return ListBegin().Int(0).ListEnd(); }
  // Introduces a new object and answers its number.
  int New(std::string_view className) {
    Int(-1).Str(className);
    return ++Objects;
  }
  TBytes& Append(const TByteVector& more) {
    Data.insert(Data.end(), more.begin(), more.end());
    return *this;
  }
  std::string Text() const { return std::string(Data.begin(), Data.end()); }

  TByteVector Data;
  int Objects = 0;
};

// A chunk record as it lies in a store file.
inline TByteVector ChunkRecord(const std::vector<std::string>& lines) {
  TBytes b;
  b.Raw32(static_cast<std::uint32_t>(lines.size()));
  for (const auto& line : lines) {
    b.Raw32(static_cast<std::uint32_t>(line.size()));
    b.Data.insert(b.Data.end(), line.begin(), line.end());
  }
  return b.Data;
}

inline std::unique_ptr<TTextStore> MemoryStore(TByteVector bytes = {}) {
  return std::make_unique<TTextStore>(std::make_unique<TMemoryStream>(std::move(bytes)));
}

inline const TByteVector& StoreBytes(const TTextStore& store) {
  return static_cast<const TMemoryStream&>(*store.Stream).Data();
}

// A fresh folder under the system's temporary directory, removed with everything in it.
class TTempDir {
public:
  TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "hvmodel-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    Path = pattern;
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  std::string File(std::string_view name) const { return Path + "/" + std::string(name); }
  std::string Write(std::string_view name, std::string_view bytes) const {
    const std::string path = File(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::string Write(std::string_view name, const TByteVector& bytes) const {
    return Write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }

  std::string Path;
};

// Makes a library the process-wide current one for the scope of a test.
class TCurrentLibraryScope {
public:
  explicit TCurrentLibraryScope(TLibrary* library) : Saved(CurrentLibrary) { CurrentLibrary = library; }
  ~TCurrentLibraryScope() { CurrentLibrary = Saved; }
  TCurrentLibraryScope(const TCurrentLibraryScope&) = delete;
  TCurrentLibraryScope& operator=(const TCurrentLibraryScope&) = delete;

private:
  TLibrary* Saved;
};

// A chunk that reports its destruction, so tests can tell an owned text was really freed.
class TCountedChunk : public TTextChunk {
public:
  explicit TCountedChunk(int& destroyed, std::string line = "{\\rtf1 counted}")
      : TTextChunk(std::vector<std::string>{std::move(line)}), Destroyed(destroyed) {}
  ~TCountedChunk() override { ++Destroyed; }

private:
  int& Destroyed;
};

inline TIdentityCategory* AddIdentity(TIdentityCategory* parent, std::string_view code, std::string_view title) {
  auto* node = static_cast<TIdentityCategory*>(parent->CreateChild());
  node->SetCode(code);
  node->SetTitle(title);
  return node;
}

inline void Relate(TIdentityCategory* a, TIdentityCategory* b) {
  a->Related.push_back(b);
  b->Related.push_back(a);
}

// A small library made in code:
//   questions  A1 "Paper A1" / 07 "Waves on strings" (question 4 marks 6 min, mark scheme,
//              examiner's report, note) / 08 "Refraction" (question only, 3 marks)
//   syllabus   1.1 "Wave speed" (statement, related to A107)
//   resources  R1 "Data sheet" (resource) / R2 "Empty slot" (no resource)
struct TSampleLibrary {
  std::unique_ptr<TLibrary> Library;
  TIdentityCategory* A1 = nullptr;
  TIdentityCategory* Q07 = nullptr;
  TIdentityCategory* Q08 = nullptr;
  TIdentityCategory* S11 = nullptr;
  TIdentityCategory* R1 = nullptr;
  TIdentityCategory* R2 = nullptr;
};

inline TSampleLibrary MakeSampleLibrary() {
  TSampleLibrary s;
  s.Library = TLibrary::CreateEmpty();
  TLibrary& lib = *s.Library;
  lib.Name = "Physics";
  lib.Topics->SetName("Topics");
  lib.QuestionTree->SetName("Questions");
  lib.SyllabusTree->SetName("Syllabus");
  lib.ResourceTree->SetName("Resources");
  TCategory* waves = lib.Topics->CreateChild();
  waves->SetName("Waves");
  s.A1 = AddIdentity(lib.QuestionTree, "A1", "Paper A1");
  s.Q07 = AddIdentity(s.A1, "07", "Waves on strings");
  s.Q08 = AddIdentity(s.A1, "08", "Refraction");
  TQuestion* q = s.Q07->AddQuestion();
  q->Marks = 4;
  q->Time = 6;
  q->Topics.push_back(waves);
  q->SetChunk(MakeRTFChunk({"{\\rtf1 question 7}"}));
  s.Q07->AddMarkScheme()->SetChunk(MakeRTFChunk({"{\\rtf1 mark scheme 7}"}));
  s.Q07->AddExaminersReport()->SetChunk(MakeRTFChunk({"{\\rtf1 report 7}"}));
  s.Q07->AddNote();
  s.Q08->AddQuestion()->Marks = 3;
  s.S11 = AddIdentity(lib.SyllabusTree, "1.1", "Wave speed");
  s.S11->AddSyllabus();
  Relate(s.Q07, s.S11);
  s.R1 = AddIdentity(lib.ResourceTree, "R1", "Data sheet");
  s.R1->AddResource();
  s.R2 = AddIdentity(lib.ResourceTree, "R2", "Empty slot");
  q->Resources.push_back(s.R1);
  return s;
}

// Runs an expression that must fail with one of our errors of class E and exactly this message.
#define HV_EXPECT_ERROR(statement, ErrorClass, message)                                       \
  do {                                                                                        \
    try {                                                                                     \
      statement;                                                                              \
      ADD_FAILURE() << "no exception from " #statement;                                       \
    } catch (const ErrorClass& e) {                                                           \
      EXPECT_EQ(std::string(e.what()), std::string(message));                                 \
    } catch (const std::exception& e) {                                                       \
      ADD_FAILURE() << "wrong exception type from " #statement ": " << e.what();              \
    }                                                                                         \
  } while (false)

}  // namespace hv::test

namespace hv::test {

// Sets (or, with nullptr, removes) an environment variable for one scope and restores it after.
class TEnvScope {
public:
  TEnvScope(const char* name, const char* value) : Name(name) {
    if (const char* old = std::getenv(name)) Saved = old, HadValue = true;
    if (value != nullptr)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~TEnvScope() {
    if (HadValue)
      ::setenv(Name.c_str(), Saved.c_str(), 1);
    else
      ::unsetenv(Name.c_str());
  }
  TEnvScope(const TEnvScope&) = delete;
  TEnvScope& operator=(const TEnvScope&) = delete;

private:
  std::string Name;
  std::string Saved;
  bool HadValue = false;
};

// Changes the working directory for one scope.
class TCwdScope {
public:
  explicit TCwdScope(const std::string& dir) : Saved(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~TCwdScope() {
    std::error_code ec;
    std::filesystem::current_path(Saved, ec);
  }
  TCwdScope(const TCwdScope&) = delete;
  TCwdScope& operator=(const TCwdScope&) = delete;

private:
  std::filesystem::path Saved;
};

// Reads one graph the way the document and library files do, from bytes in memory.
template <class T>
std::unique_ptr<T> ReadGraph(const TByteVector& bytes, std::int32_t version, TTextStore* store = nullptr) {
  RegisterModelClasses();
  TMemoryStream stream(bytes);
  TNetReader reader(stream);
  reader.Version = version;
  reader.TextStore = store;
  return reader.ReadObjectGraphAs<T>();
}

inline TByteVector WriteGraph(const TStreamable& root) {
  TMemoryStream stream;
  {
    TNetWriter writer(stream);
    writer.WriteObjectGraph(root);
    writer.Flush();
  }
  return stream.Data();
}

}  // namespace hv::test
