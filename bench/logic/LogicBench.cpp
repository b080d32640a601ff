// The question selector and document files on a 20,000-question synthetic library: new searches,
// refinements, the available-category sets, and saving and reopening a 500-entry document.
//
// The library is synthesised once, in a child process, and kept under the build folder.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "Synthesiser.h"
#include "core/Streams.h"
#include "logic/AppLogic.h"
#include "logic/DocFile.h"
#include "logic/DocLogic.h"
#include "logic/QuestionSelector.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/Segments.h"

namespace {

using namespace hv;

constexpr int kQuestions = 20000;
const std::string kDir = HV_BINARY_DIR "/bench-data/synth20000";
const std::string kData = kDir + "/Synth.dat";
const std::string kText = kDir + "/Synth.txt";

// The application state over the synthetic library, opened once for all benchmarks.
TAppLogic& App() {
  static std::unique_ptr<TAppLogic> app = [] {
    hvlib::EnsureSynthesisedLibrary(kQuestions, kDir);
    auto a = std::make_unique<TAppLogic>();
    a->AdoptLibrary(hvlib::kSynthKey, OpenLibraryFiles(kText, kData));
    return a;
  }();
  return *app;
}

std::vector<TCategory*> Leaves(TCategory* root) {
  std::vector<TCategory*> leaves;
  TCategoryIterator it(root);
  for (TCategory* n = it.Next(); n != nullptr; n = it.Next())
    if (n->Children.empty() && n != root) leaves.push_back(n);
  return leaves;
}

void BM_NewSearchByTopic(benchmark::State& state) {
  TQuestionSelector& sel = *App().Selector();
  const std::vector<TCategory*> topics = Leaves(App().Library()->Topics);
  std::size_t i = 0, found = 0;
  for (auto _ : state) {
    sel.SetTopicCriterion(topics[i++ % topics.size()], true);
    found += sel.Results().size();
  }
  state.counters["results"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_NewSearchByTopic)->Unit(benchmark::kMillisecond);

// Alternating between two levels keeps most of the library in the results: the broadest rescan.
void BM_NewSearchByLevel(benchmark::State& state) {
  TQuestionSelector& sel = *App().Selector();
  const auto& levels = App().Library()->Levels->Children;
  std::size_t i = 0, found = 0;
  for (auto _ : state) {
    sel.SetLevelCriterion(levels[i++ % levels.size()], true);
    found += sel.Results().size();
  }
  state.counters["results"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_NewSearchByLevel)->Unit(benchmark::kMillisecond);

// From every question of a level down to one question type: a refinement of the widest list.
void BM_Refine(benchmark::State& state) {
  TQuestionSelector& sel = *App().Selector();
  TCategory* level = App().Library()->Levels->Children[0];
  const auto& types = App().Library()->QuestionTypes->Children;
  std::size_t i = 0, before = 0, after = 0;
  for (auto _ : state) {
    state.PauseTiming();
    sel.SetLevelCriterion(level, true);
    before += sel.Results().size();
    state.ResumeTiming();
    sel.SetQuestionTypeCriterion(types[i++ % types.size()], false);
    after += sel.Results().size();
  }
  state.counters["from"] = static_cast<double>(before) / static_cast<double>(state.iterations());
  state.counters["to"] = static_cast<double>(after) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_Refine)->Unit(benchmark::kMillisecond);

// Each set with its own criterion set as well, so it first rescans for the other criteria, and a
// second criterion set so that the rescan filters.
void BM_Available(benchmark::State& state) {
  TQuestionSelector& sel = *App().Selector();
  const TLibrary& lib = *App().Library();
  const auto which = static_cast<TClassification>(state.range(0));
  TCategory* own = nullptr;
  switch (which) {
    case TClassification::Identity: own = lib.QuestionTree->Children[0]; break;
    case TClassification::Topic: own = lib.Topics->Children[0]; break;
    case TClassification::QuestionType: own = lib.QuestionTypes->Children[0]; break;
    case TClassification::Level: own = lib.Levels->Children[0]; break;
    case TClassification::Paper: own = lib.Papers->Children[0]; break;
    case TClassification::Resource: own = lib.ResourceTree->Children[0]; break;
  }
  sel.ClearCriteria();
  sel.SetCriterion(which, own, true);
  if (which != TClassification::Level) sel.SetLevelCriterion(lib.Levels->Children[1], false);
  int count = 0;
  for (auto _ : state) {
    std::unique_ptr<TSet> set = sel.Available(which);
    count = set->Count();
    benchmark::DoNotOptimize(set);
  }
  state.counters["categories"] = count;
  state.counters["results"] = static_cast<double>(sel.Results().size());
}
BENCHMARK(BM_Available)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// With no criterion at all every question of the library contributes.
void BM_AvailableUnfiltered(benchmark::State& state) {
  TQuestionSelector& sel = *App().Selector();
  sel.SetTopicCriterion(nullptr, true);
  const auto which = static_cast<TClassification>(state.range(0));
  int count = 0;
  for (auto _ : state) {
    std::unique_ptr<TSet> set = sel.Available(which);
    count = set->Count();
    benchmark::DoNotOptimize(set);
  }
  state.counters["categories"] = count;
}
BENCHMARK(BM_AvailableUnfiltered)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// 400 library questions and 100 free texts of 1 to 20 KB, saved once so that later saves copy the
// texts out of the open file as real re-saves do.
struct TBenchDocument {
  std::string Dir;
  std::string Path;
  std::unique_ptr<TDocLogic> Doc;
  std::int64_t Bytes = 0;
  TBenchDocument() {
    Dir = HV_BINARY_DIR "/bench-data/logic-doc";
    std::filesystem::create_directories(Dir);
    Path = Dir + "/bench.kvd";
    std::filesystem::remove(Path);
    Doc = std::make_unique<TDocLogic>(App().Subject());
    Doc->CreateNew();
    const auto& all = App().Selector()->Results();
    std::vector<TStreamable*> questions;
    for (std::size_t i = 0; i < 400; ++i) questions.push_back(all[i * (all.size() / 400)]);
    Doc->InsertEntries(questions, -1);
    for (int i = 0; i < 100; ++i) {
      const std::size_t size = 1024 + static_cast<std::size_t>(i) * 190;
      Doc->InsertText(i * 5, "Free text " + std::to_string(i), i % 2 == 0,
                      std::make_unique<TTextChunk>(
                          std::vector<std::string>{hvlib::SynthesiseRtf(static_cast<std::uint64_t>(i), size)}),
                      0, 0);
    }
    Doc->SaveToFile(Path);
    Bytes = static_cast<std::int64_t>(std::filesystem::file_size(Path));
  }
};

TBenchDocument& BenchDocument() {
  static TBenchDocument doc;
  return doc;
}

void BM_SaveDocument(benchmark::State& state) {
  App().Selector()->SetTopicCriterion(nullptr, true);
  TBenchDocument& bench = BenchDocument();
  for (auto _ : state) bench.Doc->SaveToFile(bench.Path);
  state.counters["entries"] = static_cast<double>(bench.Doc->Document->Entries.size());
  state.counters["file_kb"] = static_cast<double>(bench.Bytes) / 1024.0;
  state.SetBytesProcessed(state.iterations() * bench.Bytes);
}
BENCHMARK(BM_SaveDocument)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReopenDocument(benchmark::State& state) {
  App().Selector()->SetTopicCriterion(nullptr, true);
  TBenchDocument& bench = BenchDocument();
  bench.Doc->Close();  // releases the lock; the object itself stays with the benchmark
  std::size_t entries = 0;
  for (auto _ : state) {
    TDocLogic doc(App().Subject());
    doc.LoadFromFile(bench.Path);
    entries = doc.Document->Entries.size();
  }
  bench.Doc->LoadFromFile(bench.Path);
  state.counters["entries"] = static_cast<double>(entries);
}
BENCHMARK(BM_ReopenDocument)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same 500 entries with 50 of the library questions replaced by items the library lacks, as
// when a newer edition dropped them: opening must cost no more than opening the test whole.
void BM_ReopenDocumentWithMissingItems(benchmark::State& state) {
  App().Selector()->SetTopicCriterion(nullptr, true);
  TBenchDocument& bench = BenchDocument();
  const std::string path = bench.Dir + "/missing.kvd";
  int replacedCount = 0;
  {
    TDocLogic doc(App().Subject());
    doc.CreateNew();
    for (TDocContent* entry : bench.Doc->Document->Entries) doc.Document->Entries.push_back(entry->Clone().release());
    // Every eighth library question goes (free texts sit at every fifth place, so a fixed
    // stride over the entries would meet only them).
    int replaced = 0;
    int questions = 0;
    for (std::size_t i = 0; i < doc.Document->Entries.size() && replaced < 50; ++i) {
      TDocContent*& entry = doc.Document->Entries[i];
      if (entry->OwnsSegment() || questions++ % 8 != 0) continue;
      entry->Dispose();
      entry = TDocContent::MakePlaceholder("QZZ" + std::to_string(replaced), "gone", true).release();
      ++replaced;
    }
    std::filesystem::remove(path);
    doc.SaveToFile(path);
    replacedCount = replaced;
  }
  std::size_t missing = 0;
  for (auto _ : state) {
    TDocLogic doc(App().Subject());
    doc.LoadFromFile(path);
    missing = doc.MissingIDs.size();
  }
  state.counters["missing"] = static_cast<double>(missing);
  state.counters["replaced"] = static_cast<double>(replacedCount);
}
BENCHMARK(BM_ReopenDocumentWithMissingItems)->Unit(benchmark::kMillisecond)->UseRealTime();

// A node related to itself 100,000 times: every link is checked for its partner, so a check
// that searched the partner's list for each link would take the square of the list.
std::vector<std::uint8_t> CraftedRelatedGraph(bool asDocument) {
  RegisterModelClasses();
  std::unique_ptr<TLibrary> library = TLibrary::CreateEmpty();
  auto* node = static_cast<TIdentityCategory*>(library->QuestionTree->CreateChild());
  node->Code = "A";
  node->Related.assign(100000, node);
  TMemoryStream out;
  if (!asDocument) {
    WriteLibraryFile(out, *library);
    return out.Data();
  }
  // A document whose graph is an identity tree instead of a TDocument.
  const std::uint8_t head[4] = {4, 0, 0, 0};
  out.Write(head, 4);
  TNetWriter writer(out);
  writer.WriteVersion(kDocumentVersion);
  writer.WriteString(App().Subject());
  writer.WriteObjectGraph(*library->QuestionTree);
  writer.Flush();
  return out.Data();
}

void BM_CraftedRelatedList(benchmark::State& state) {
  const bool asDocument = state.range(0) == 1;
  const std::vector<std::uint8_t> bytes = CraftedRelatedGraph(asDocument);
  bool refused = false;
  for (auto _ : state) {
    TMemoryStream in(bytes);
    try {
      if (asDocument)
        ReadDocumentFile(in, nullptr, App().Subject());
      else
        benchmark::DoNotOptimize(ReadLibraryData(in, nullptr));
    } catch (const EError&) {
      refused = true;
    }
  }
  state.counters["kb"] = static_cast<double>(bytes.size()) / 1024.0;
  state.counters["refused"] = refused ? 1 : 0;
}
BENCHMARK(BM_CraftedRelatedList)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
