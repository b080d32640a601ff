// Identity lookups of the hash collections and object stream throughput on a library-sized graph.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/Collections.h"
#include "core/ObjectStream.h"

namespace hv {
namespace {

constexpr int kKeys = 100000;

// Heap objects in allocation order, like the objects the stream writer looks up.
struct TKeys {
  std::vector<std::unique_ptr<long>> Stored;
  std::vector<std::unique_ptr<long>> Absent;
  std::vector<TElement> Probes;  // the stored keys, shuffled
  std::vector<TElement> Misses;

  TKeys() {
    for (int i = 0; i < kKeys; ++i) {
      Stored.push_back(std::make_unique<long>(i));
      Absent.push_back(std::make_unique<long>(-i));
    }
    for (const auto& p : Stored) Probes.push_back(reinterpret_cast<TElement>(p.get()));
    for (const auto& p : Absent) Misses.push_back(reinterpret_cast<TElement>(p.get()));
    std::mt19937 rng(5);
    std::shuffle(Probes.begin(), Probes.end(), rng);
    std::shuffle(Misses.begin(), Misses.end(), rng);
  }
};

const TKeys& Keys() {
  static const TKeys keys;
  return keys;
}

void BM_SetFindHit(benchmark::State& state) {
  const TKeys& keys = Keys();
  TSet set(kKeys);
  for (TElement k : keys.Probes) set.Add(k);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(set.Find(keys.Probes[i]));
    if (++i == keys.Probes.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetFindHit);

void BM_SetFindMiss(benchmark::State& state) {
  const TKeys& keys = Keys();
  TSet set(kKeys);
  for (TElement k : keys.Probes) set.Add(k);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(set.Find(keys.Misses[i]));
    if (++i == keys.Misses.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetFindMiss);

void BM_DictionaryGet(benchmark::State& state) {
  const TKeys& keys = Keys();
  TDictionary dict(kKeys);
  TElement identity = 1;
  for (TElement k : keys.Probes) dict.Put(k, identity++);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(dict.Get(keys.Probes[i]));
    if (++i == keys.Probes.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DictionaryGet);

class TBSegment;
class TBQuestion;

// A category with a name, a code and a link to its parent, as in a syllabus tree.
class TBCategory : public TStreamable {
public:
  static constexpr const char* StaticClassName = "TBCategory";
  std::string Name;
  std::int32_t Code = 0;
  TBCategory* Parent = nullptr;

  const char* ClassName() const override { return StaticClassName; }
  void ReadFrom(TNetReader& r) override {
    Name = r.ReadString();
    Code = r.ReadInteger();
    Parent = r.ReadRef<TBCategory>();
  }
  void WriteTo(TNetWriter& w) const override {
    w.WriteString(Name);
    w.WriteInteger(Code);
    w.WriteReference(Parent);
  }
};

// A piece of question text pointing back at its question.
class TBSegment : public TStreamable {
public:
  static constexpr const char* StaticClassName = "TBSegment";
  std::string Text;
  std::int32_t Start = 0;
  std::int32_t Length = 0;
  TBQuestion* Question = nullptr;

  const char* ClassName() const override { return StaticClassName; }
  void ReadFrom(TNetReader& r) override;
  void WriteTo(TNetWriter& w) const override;
};

// A question owning its segments and filed under a few categories.
class TBQuestion : public TStreamable {
public:
  static constexpr const char* StaticClassName = "TBQuestion";
  std::string Title;
  std::int32_t Year = 0;
  std::int32_t Marks = 0;
  bool Calculator = false;
  std::vector<TBCategory*> Categories;
  std::vector<std::unique_ptr<TBSegment>> Segments;

  const char* ClassName() const override { return StaticClassName; }
  void ReadFrom(TNetReader& r) override {
    Title = r.ReadString();
    Year = r.ReadInteger();
    Marks = r.ReadInteger();
    Calculator = r.ReadBoolean();
    r.ReadRefList(Categories, false);
    r.ReadOwnedList(Segments);
  }
  void WriteTo(TNetWriter& w) const override {
    w.WriteString(Title);
    w.WriteInteger(Year);
    w.WriteInteger(Marks);
    w.WriteBoolean(Calculator);
    w.WriteReferenceList(Categories);
    w.WriteReferenceList(Segments);
  }
  int ObjectCount() const override { return 1 + CountObjects(Segments); }
  void ForgetOwned() override {
    for (auto& s : Segments) s.release();
    Segments.clear();
  }
};

void TBSegment::ReadFrom(TNetReader& r) {
  Text = r.ReadString();
  Start = r.ReadInteger();
  Length = r.ReadInteger();
  Question = r.ReadRef<TBQuestion>();
}

void TBSegment::WriteTo(TNetWriter& w) const {
  w.WriteString(Text);
  w.WriteInteger(Start);
  w.WriteInteger(Length);
  w.WriteReference(Question);
}

// The root: every category and every question.
class TBLibrary : public TStreamable {
public:
  static constexpr const char* StaticClassName = "TBLibrary";
  std::vector<std::unique_ptr<TBCategory>> Categories;
  std::vector<std::unique_ptr<TBQuestion>> Questions;

  const char* ClassName() const override { return StaticClassName; }
  void ReadFrom(TNetReader& r) override {
    r.ReadOwnedList(Categories);
    r.ReadOwnedList(Questions);
  }
  void WriteTo(TNetWriter& w) const override {
    w.WriteReferenceList(Categories);
    w.WriteReferenceList(Questions);
  }
  int ObjectCount() const override { return 1 + CountObjects(Categories) + CountObjects(Questions); }
  void ForgetOwned() override {
    for (auto& c : Categories) c.release();
    for (auto& q : Questions) q.release();
    Categories.clear();
    Questions.clear();
  }
};

const bool kRegistered = [] {
  RegisterClass<TBCategory>();
  RegisterClass<TBSegment>();
  RegisterClass<TBQuestion>();
  RegisterClass<TBLibrary>();
  return true;
}();

// 2,000 categories and 16,000 questions of 7 segments: about 130,000 objects.
std::unique_ptr<TBLibrary> MakeLibrary() {
  std::mt19937 rng(11);
  auto lib = std::make_unique<TBLibrary>();
  for (int i = 0; i < 2000; ++i) {
    auto c = std::make_unique<TBCategory>();
    c->Name = "Topic " + std::to_string(i) + " algebra";
    c->Code = 1000 + i;
    if (i > 0) c->Parent = lib->Categories[rng() % lib->Categories.size()].get();
    lib->Categories.push_back(std::move(c));
  }
  for (int i = 0; i < 16000; ++i) {
    auto q = std::make_unique<TBQuestion>();
    q->Title = "Paper " + std::to_string(1990 + i % 30) + " question " + std::to_string(i);
    q->Year = 1990 + i % 30;
    q->Marks = static_cast<std::int32_t>(rng() % 20);
    q->Calculator = (i & 1) != 0;
    for (int k = 0; k < 3; ++k) q->Categories.push_back(lib->Categories[rng() % 2000].get());
    std::int32_t start = 0;
    for (int s = 0; s < 7; ++s) {
      auto seg = std::make_unique<TBSegment>();
      seg->Text = "Find the value of x when " + std::to_string(rng() % 1000) + "x = 3";
      seg->Start = start;
      seg->Length = static_cast<std::int32_t>(seg->Text.size());
      start += seg->Length + 40000;
      seg->Question = q.get();
      q->Segments.push_back(std::move(seg));
    }
    lib->Questions.push_back(std::move(q));
  }
  return lib;
}

std::vector<std::uint8_t> WriteLibrary(const TBLibrary& lib) {
  TMemoryStream stream;
  TNetWriter writer(stream);
  writer.WriteObjectGraph(lib);
  writer.Flush();
  return stream.Data();
}

void BM_WriteLibraryGraph(benchmark::State& state) {
  const auto lib = MakeLibrary();
  std::size_t bytes = 0;
  for (auto _ : state) {
    TMemoryStream stream;
    TNetWriter writer(stream);
    writer.WriteObjectGraph(*lib);
    writer.Flush();
    bytes = stream.Data().size();
    benchmark::DoNotOptimize(stream.Data().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["objects"] = lib->ObjectCount();
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_WriteLibraryGraph)->Unit(benchmark::kMillisecond);

void BM_ReadLibraryGraph(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = WriteLibrary(*MakeLibrary());
  for (auto _ : state) {
    TMemoryStream stream(bytes);
    std::unique_ptr<TStreamable> root;
    {
      TNetReader reader(stream);
      root = reader.ReadObjectGraph();
    }
    state.PauseTiming();
    root.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_ReadLibraryGraph)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace hv

BENCHMARK_MAIN();
