// Undo and redo on a 500-entry test of the 20,000-question synthetic library, the memory of a
// history of 1,000 changes, and the crash-recovery copy of such a test.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "Synthesiser.h"
#include "logic/AppLogic.h"
#include "logic/DocLogic.h"
#include "logic/QuestionSelector.h"
#include "logic/Recovery.h"
#include "model/Library.h"
#include "model/Segments.h"

namespace {

using namespace hv;

constexpr int kQuestions = 20000;
const std::string kDir = HV_BINARY_DIR "/bench-data/synth20000";

TAppLogic& App() {
  static std::unique_ptr<TAppLogic> app = [] {
    hvlib::EnsureSynthesisedLibrary(kQuestions, kDir);
    auto a = std::make_unique<TAppLogic>();
    a->AdoptLibrary(hvlib::kSynthKey, OpenLibraryFiles(kDir + "/Synth.txt", kDir + "/Synth.dat"));
    a->Selector()->SetTopicCriterion(nullptr, true);
    return a;
  }();
  return *app;
}

// 400 questions and 100 free texts of 1 to 20 KiB, as a long test with titles and edited items.
std::unique_ptr<TDocLogic> TestOf500() {
  auto doc = std::make_unique<TDocLogic>(App().Subject());
  doc->CreateNew();
  const auto& all = App().Selector()->Results();
  std::vector<TStreamable*> questions;
  for (std::size_t i = 0; i < 400; ++i) questions.push_back(all[i * (all.size() / 400)]);
  doc->InsertEntries(questions, -1);
  for (int i = 0; i < 100; ++i)
    doc->InsertText(i * 5, "Free text " + std::to_string(i), i % 2 == 0,
                    std::make_unique<TTextChunk>(std::vector<std::string>{
                        hvlib::SynthesiseRtf(static_cast<std::uint64_t>(i), 1024 + static_cast<std::size_t>(i) * 190)}),
                    0, 0);
  return doc;
}

// One change of each family, done once; the benchmark then undoes and redoes it.
void UndoRedo(benchmark::State& state, const std::function<void(TDocLogic&)>& change) {
  std::unique_ptr<TDocLogic> doc = TestOf500();
  change(*doc);
  for (auto _ : state) {
    doc->Undo();
    doc->Redo();
  }
  state.counters["entries"] = static_cast<double>(doc->Document->Entries.size());
  state.SetItemsProcessed(state.iterations() * 2);  // items/s: single undos or redos a second
}

void BM_UndoRedoClearAll(benchmark::State& state) {
  UndoRedo(state, [](TDocLogic& d) { d.RemoveEntries(d.Document->Entries, "Clear"); });
}
void BM_UndoRedoPaste100(benchmark::State& state) {
  UndoRedo(state, [](TDocLogic& d) {
    std::vector<TStreamable*> items(d.Document->Entries.begin(), d.Document->Entries.begin() + 100);
    d.InsertEntries(items, -1, "Paste");
  });
}
void BM_UndoRedoMoveToTop(benchmark::State& state) {
  UndoRedo(state, [](TDocLogic& d) { d.MoveEntry(499, 0, "Move to Top"); });
}
void BM_UndoRedoShowNumber(benchmark::State& state) {
  UndoRedo(state, [](TDocLogic& d) { d.ToggleNumbered(250, "Show Number"); });
}
void BM_UndoRedoEditText(benchmark::State& state) {
  UndoRedo(state, [](TDocLogic& d) {
    d.ReplaceText(251, "Edited", true, std::make_unique<TTextChunk>(std::vector<std::string>{hvlib::SynthesiseRtf(7, 20000)}),
                  3, 4);
  });
}
BENCHMARK(BM_UndoRedoClearAll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoRedoPaste100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoRedoMoveToTop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoRedoShowNumber)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoRedoEditText)->Unit(benchmark::kMillisecond);

// 1,000 changes that cycle through the families, the largest of them (clearing all 500 entries and
// editing a 20 KiB text) included; the heap in use grows by what the history keeps.
void BM_HistoryOf1000Changes(benchmark::State& state) {
  double megabytes = 0;
  double estimated = 0;
  for (auto _ : state) {
    std::unique_ptr<TDocLogic> doc = TestOf500();
    const std::size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 1000; ++i) {
      TDocLogic& d = *doc;
      switch (i % 5) {
        case 0: d.RemoveEntries(d.Document->Entries, "Clear"); break;
        case 1: d.Undo(); d.ToggleNumbered(i % 500); break;  // the clear comes back and a new step drops its redo
        case 2: d.MoveEntry(i % 500, (i * 7) % 500); break;
        case 3:
          d.ReplaceText(i % 500, "Edited", false,
                        std::make_unique<TTextChunk>(std::vector<std::string>{hvlib::SynthesiseRtf(static_cast<std::uint64_t>(i), 20000)}),
                        0, 0);
          break;
        default: {
          std::vector<TStreamable*> items(d.Document->Entries.begin(), d.Document->Entries.begin() + 50);
          d.InsertEntries(items, 0, "Paste");
          d.RemoveEntries(std::vector<TDocContent*>(d.Document->Entries.begin(), d.Document->Entries.begin() + 50), "Cut");
        }
      }
    }
    megabytes = static_cast<double>(mallinfo2().uordblks - before) / (1024.0 * 1024.0);
    estimated = static_cast<double>(doc->History().Cost()) / (1024.0 * 1024.0);
    state.counters["steps"] = static_cast<double>(doc->History().Count());
  }
  state.counters["heap_MB"] = megabytes;
  state.counters["estimate_MB"] = estimated;
}
BENCHMARK(BM_HistoryOf1000Changes)->Unit(benchmark::kMillisecond)->Iterations(1);

// The two-minute copy of a modified 500-entry test, as the interface's timer runs it.
void BM_AutosaveOf500(benchmark::State& state) {
  const std::string folder = HV_BINARY_DIR "/bench-data/recovery";
  std::filesystem::remove_all(folder);
  std::unique_ptr<TDocLogic> doc = TestOf500();
  TRecoveryStore store(folder, App().Subject());
  for (auto _ : state) {
    if (!store.SaveAll({doc.get()}).empty()) state.SkipWithError("the copy failed");
  }
  state.counters["file_kb"] = static_cast<double>(std::filesystem::file_size(
                                  std::filesystem::directory_iterator(folder)->path().string() + "/test-1.kvd")) /
                              1024.0;
  store.Finish();
}
BENCHMARK(BM_AutosaveOf500)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
