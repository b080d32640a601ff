#pragma once
// A small library built in code, a recorder of notifications, and a temporary folder, shared by
// the application-logic tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/Observer.h"
#include "core/Streams.h"
#include "logic/AppLogic.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "model/TextStore.h"

namespace hv::test {

inline constexpr const char* kSubject = "Physics";

// Topics: Mechanics (Forces, Energy), Waves. Types: Short, Long. Levels: Core, Extended.
// Papers: P1, P2. Questions: A1 (01, 02, 03), B2 (01, 02). Resources: R1, R2.
struct TSmallLibrary {
  std::unique_ptr<TLibrary> Library = TLibrary::CreateEmpty();
  TCategory *Mechanics, *Forces, *Energy, *Waves;
  TCategory *Short, *Long;
  TCategory *Core, *Extended;
  TCategory *P1, *P2;
  TIdentityCategory *A1, *A101, *A102, *A103, *B2, *B201, *B202;
  TIdentityCategory *R1, *R2;

  static TCategory* Child(TCategory* parent, const char* name) {
    TCategory* c = parent->CreateChild();
    c->SetName(name);
    return c;
  }
  static TIdentityCategory* Node(TIdentityCategory* parent, const char* code, const char* title) {
    auto* n = static_cast<TIdentityCategory*>(parent->CreateChild());
    n->SetCode(code);
    n->SetTitle(title);
    return n;
  }
  TQuestion* Ask(TIdentityCategory* node, std::int16_t marks, std::vector<TCategory*> topics, TCategory* type,
                 TCategory* level, std::vector<TCategory*> papers, std::vector<TIdentityCategory*> resources = {}) {
    TQuestion* q = node->AddQuestion();
    q->Marks = marks;
    q->Topics = std::move(topics);
    q->QuestionType = type;
    q->Level = level;
    q->Papers = std::move(papers);
    q->Resources = std::move(resources);
    q->SetChunk(std::make_unique<TTextChunk>(std::vector<std::string>{"{\\rtf1 " + node->Title + "}"}));
    return q;
  }

  TSmallLibrary() {
    TLibrary& l = *Library;
    l.Name = "Small physics";
    Mechanics = Child(l.Topics, "Mechanics");
    Forces = Child(Mechanics, "Forces");
    Energy = Child(Mechanics, "Energy");
    Waves = Child(l.Topics, "Waves");
    Short = Child(l.QuestionTypes, "Short");
    Long = Child(l.QuestionTypes, "Long");
    Core = Child(l.Levels, "Core");
    Extended = Child(l.Levels, "Extended");
    P1 = Child(l.Papers, "P1");
    P2 = Child(l.Papers, "P2");
    R1 = Node(l.ResourceTree, "R1", "Data sheet");
    R1->AddResource()->SetChunk(std::make_unique<TTextChunk>(std::vector<std::string>{"{\\rtf1 data}"}));
    R2 = Node(l.ResourceTree, "R2", "Graph paper");
    R2->AddResource();
    A1 = Node(l.QuestionTree, "A1", "Paper A");
    A101 = Node(A1, "01", "Falling ball");
    A102 = Node(A1, "02", "Spring");
    A103 = Node(A1, "03", "Ripple tank");
    B2 = Node(l.QuestionTree, "B2", "Paper B");
    B201 = Node(B2, "01", "Pendulum");
    B202 = Node(B2, "02", "Unclassified");
    Ask(A101, 4, {Forces}, Short, Core, {P1}, {R1});
    Ask(A102, 6, {Energy, Waves}, Long, Extended, {P1});
    Ask(A103, 3, {Waves}, Short, Extended, {P2}, {R1, R2});
    Ask(B201, 5, {Forces, Energy}, Long, Core, {P2});
    Ask(B202, 0, {}, nullptr, nullptr, {});
    A101->AddMarkScheme()->Marks = 4;
    A103->AddExaminersReport();
  }
};

// Records every notification with its sender and codes, in order; registers with any number of
// observables and unregisters itself.
class TRecorder {
public:
  struct TEvent {
    TObservable* Sender;
    std::vector<int> Codes;
    bool operator==(const TEvent&) const = default;
  };
  ~TRecorder() {
    for (TObservable* s : Subjects) s->RemoveObserver<&TRecorder::Changed>(this);
  }
  void Watch(TObservable& subject) {
    subject.AddObserver<&TRecorder::Changed>(this);
    Subjects.push_back(&subject);
  }
  void Changed(TObservable* sender, const TNotificationSet& codes) { Events.push_back({sender, codes.Codes()}); }
  std::vector<TEvent> Take() { return std::exchange(Events, {}); }
  std::vector<TEvent> Events;

private:
  std::vector<TObservable*> Subjects;
};

inline std::ostream& operator<<(std::ostream& os, const TRecorder::TEvent& e) {
  os << e.Sender << "{";
  for (int c : e.Codes) os << c << ",";
  return os << "}";
}

// A fresh folder in the test temporary folder, removed with everything in it.
class TTempDir {
public:
  TTempDir() {
    std::string pattern = ::testing::TempDir() + "hvlogic-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    Path = pattern;
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
  }
  std::string File(const std::string& name) const { return Path + "/" + name; }
  // Names in the folder, for spotting temporary files left behind.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Path)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Path;
};

inline std::vector<std::uint8_t> ReadBytes(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& fileName, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::unique_ptr<TTextChunk> Rtf(const std::string& text) {
  return std::make_unique<TTextChunk>(std::vector<std::string>{"{\\rtf1 " + text + "}"});
}

// An application state over the small library, which it owns; the fixture keeps pointers into it.
struct TAppFixture {
  TAppFixture() {
    RegisterModelClasses();
    Nodes = std::make_unique<TSmallLibrary>();
    App = std::make_unique<TAppLogic>();
    TOpenedLibrary opened;
    opened.Library = std::move(Nodes->Library);
    App->AdoptLibrary(kSubject, std::move(opened));
  }
  std::unique_ptr<TSmallLibrary> Nodes;
  std::unique_ptr<TAppLogic> App;
};

}  // namespace hv::test
