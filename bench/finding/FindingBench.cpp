// Finding on a 20,000-question library: from Start Search in the picker to the Question Finder's
// list refilled and the first result's text painted in the Viewer, and scrolling the result list
// a screenful at a time.
//
// The library is synthesised once, in a child process, and kept under the build folder (shared
// with the other benchmarks of the synthetic library). The program is started as it starts for
// the user; only the picker's answer comes from the benchmark.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "Synthesiser.h"
#include "commands/Ask.h"
#include "commands/CommandFramework.h"
#include "commands/SearchCommands.h"
#include "components/TextControl.h"
#include "core/Streams.h"
#include "logic/AppLogic.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "windows/MainForm.h"
#include "windows/Program.h"
#include "windows/QFForm.h"
#include "windows/ViewerForm.h"

namespace {

using namespace hv;

constexpr int kQuestions = 20000;
const std::string kDir = HV_BINARY_DIR "/bench-data/synth20000";

// The user: presses Start Search on the next category of a rotation, and is asked nothing else.
class TStartSearchUser : public IAsk {
public:
  std::vector<TCategory*> Picks;
  std::size_t Next = 0;

  [[noreturn]] static void Unexpected(const QString& text) {
    std::cerr << "unexpected question: " << text.toStdString() << std::endl;
    std::exit(1);
  }
  TAskAnswer Confirm(const QString& text, TAskButtons) override { Unexpected(text); }
  void Message(const QString& text) override { Unexpected(text); }
  void Warning(const QString& text) override { Unexpected(text); }
  void Error(const QString& text) override { Unexpected(text); }
  QString OpenFileName(const QString& c, const QString&, const QString&, const QString&) override { Unexpected(c); }
  QString SaveFileName(const QString& c, const QString&, const QString&, const QString&, const QString&, bool) override {
    Unexpected(c);
  }
  std::optional<QString> InputText(const QString& c, const QString&, const QString&) override { Unexpected(c); }
  TPickAnswer PickCategory(TCategory*, const TSet&, TCategory*, const TPickOptions&) override {
    return {TPickResult::Start, Picks[Next++ % Picks.size()]};
  }
  int ChooseOne(const QString& c, const std::vector<TTextSegment*>&) override { Unexpected(c); }
};

struct TRunning {
  TStartSearchUser User;
  TAskScope Asking{User};
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
    if (QF == nullptr || Viewer == nullptr) {
      std::cerr << "the finding windows were not created" << std::endl;
      std::exit(1);
    }
  }
};

// Owned here rather than as a function's static, so the windows go before the QApplication does.
std::unique_ptr<TRunning> RunningProgram;

TRunning& Running() {
  if (!RunningProgram) RunningProgram = std::make_unique<TRunning>();
  return *RunningProgram;
}

// Paints what the user sees change: the result list and the Viewer's header and text.
void PaintFinding(TRunning& r) {
  r.QF->QuestionsLB()->viewport()->repaint();
  r.Viewer->CurrentItemBox()->repaint();
  r.Viewer->ViewerTX()->viewport()->repaint();
}

void StartSearch(benchmark::State& state, std::vector<TCategory*> picks) {
  TRunning& r = Running();
  r.User.Picks = std::move(picks);
  r.User.Next = 0;
  std::size_t results = 0;
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    RunCommand<TSearchByTopicCmd>();
    PaintFinding(r);
    state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    results += r.Program->App()->Selector()->Results().size();
    const auto& rows = r.QF->Results()->Items();
    if (rows.size() != r.Program->App()->Selector()->Results().size() ||
        (!rows.empty() && r.Viewer->LoadedChunk() != rows.front()->Chunk)) {
      state.SkipWithError("the list or the Viewer did not follow the search");
      return;
    }
  }
  state.counters["results"] = static_cast<double>(results) / static_cast<double>(state.iterations());
}

std::vector<TCategory*> Leaves(TCategory* root) {
  std::vector<TCategory*> leaves;
  TCategoryIterator it(root);
  for (TCategory* n = it.Next(); n != nullptr; n = it.Next())
    if (n->Children.empty() && n != root) leaves.push_back(n);
  return leaves;
}

// A narrow topic: a few hundred results.
void BM_StartSearchSubtopic(benchmark::State& state) { StartSearch(state, Leaves(Running().Program->App()->Library()->Topics)); }
BENCHMARK(BM_StartSearchSubtopic)->UseManualTime()->Unit(benchmark::kMillisecond);

// Alternating between the whole library and a main topic: the widest lists to refill.
void BM_StartSearchWide(benchmark::State& state) {
  TCategory* topics = Running().Program->App()->Library()->Topics;
  StartSearch(state, {topics, topics->Children.front()});
}
BENCHMARK(BM_StartSearchWide)->UseManualTime()->Unit(benchmark::kMillisecond);

// One screenful further down the whole library's results, painted.
void BM_ScrollScreenful(benchmark::State& state) {
  TRunning& r = Running();
  TCategory* topics = r.Program->App()->Library()->Topics;
  r.User.Picks = {topics};
  RunCommand<TSearchByTopicCmd>();
  QScrollBar* bar = r.QF->QuestionsLB()->verticalScrollBar();
  bar->setValue(0);
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    bar->setValue(bar->value() + bar->pageStep() >= bar->maximum() ? 0 : bar->value() + bar->pageStep());
    r.QF->QuestionsLB()->viewport()->repaint();
    state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
  }
  state.counters["rows_per_screen"] = bar->pageStep();
  state.counters["list_rows"] = static_cast<double>(r.QF->Results()->rowCount());
}
BENCHMARK(BM_ScrollScreenful)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  hvlib::EnsureSynthesisedLibrary(kQuestions, kDir);
  setenv("HARROWVANE_CONFIG_DIR", kDir.c_str(), 1);
  if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  RunningProgram.reset();
  return 0;
}
