// Start Search with words in the running program on the 100,000-question synthetic library, until
// the Question Finder's list and the Viewer are painted. The index is built first, once, into the
// benchmark's cache (shared with bench_words).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "Synthesiser.h"
#include "components/TextControl.h"
#include "logic/AppLogic.h"
#include "windows/MainForm.h"
#include "windows/Program.h"
#include "windows/QFForm.h"
#include "windows/ViewerForm.h"

namespace {

using namespace hv;

constexpr int kQuestions = 100000;
const std::string kDir = HV_BINARY_DIR "/bench-data/synth100000";
const std::string kCache = HV_BINARY_DIR "/bench-data/word-cache";

struct TRunning {
  std::unique_ptr<TProgram> Program;
  TQFForm* QF = nullptr;
  TViewerForm* Viewer = nullptr;
  TRunning() {
    Program = std::make_unique<TProgram>(QStringList{QStringLiteral("harrowvane"), QStringLiteral("Synth")});
    if (!Program->Start()) {
      std::cerr << "start-up failed" << std::endl;
      std::exit(1);
    }
    Program->Show();
    QCoreApplication::processEvents();
    QF = Program->MainForm()->findChild<TQFForm*>();
    Viewer = Program->MainForm()->findChild<TViewerForm*>();
    // The index is built once into the benchmark's cache and kept for later runs.
    Program->App()->OpenWordIndex()->BuildAll();
  }
};
std::unique_ptr<TRunning> RunningProgram;
TRunning& Running() {
  if (!RunningProgram) RunningProgram = std::make_unique<TRunning>();
  return *RunningProgram;
}

// Typing the words and pressing Start Search, until the list and the Viewer are painted.
void StartSearch(benchmark::State& state, const char* words) {
  TRunning& r = Running();
  auto* start = r.QF->findChild<QPushButton*>(QStringLiteral("WordsStartB"));
  r.QF->WordsE()->setText(QString::fromLatin1(words));
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    start->click();
    r.QF->QuestionsLB()->viewport()->repaint();
    r.Viewer->CurrentItemBox()->repaint();
    r.Viewer->ViewerTX()->viewport()->repaint();
    state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    if (r.QF->Results()->Items().size() != r.Program->App()->Selector()->Results().size()) {
      state.SkipWithError("the list did not follow the search");
      return;
    }
  }
  state.counters["results"] = static_cast<double>(r.QF->Results()->Items().size());
}
void BM_StartSearchWordsDistinctive(benchmark::State& state) { StartSearch(state, "trolley 437"); }
BENCHMARK(BM_StartSearchWordsDistinctive)->UseManualTime()->Unit(benchmark::kMillisecond);
void BM_StartSearchWordsEverywhere(benchmark::State& state) { StartSearch(state, "trolley ramp"); }
BENCHMARK(BM_StartSearchWordsEverywhere)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  hvlib::EnsureSynthesisedLibrary(kQuestions, kDir);
  setenv("HARROWVANE_CONFIG_DIR", kDir.c_str(), 1);
  setenv("XDG_CACHE_HOME", kCache.c_str(), 1);
  if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  RunningProgram.reset();
  return 0;
}
