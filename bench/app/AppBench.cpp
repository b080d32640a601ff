// Starting the program on a 20,000-question library: from the command line to the main window
// shown with its first document and the first result selected, and the memory in use then.
//
// The library is synthesised once, in a child process, and kept under the build folder. Each
// iteration runs the whole start-up (library, commands, windows, first showing) and then frees
// everything again, so later iterations show a warm start in the same process; the memory figure
// is taken after the first start, before anything is freed.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMdiArea>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "Synthesiser.h"
#include "commands/Ask.h"
#include "core/Streams.h"
#include "logic/AppLogic.h"
#include "windows/MainForm.h"
#include "windows/Program.h"

namespace {

constexpr int kQuestions = 20000;
const std::string kDir = HV_BINARY_DIR "/bench-data/synth20000";

long RssKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

// Start-up never asks anything when the library opens; any question is a failure of the run.
class TNoQuestions : public hv::IAsk {
public:
  [[noreturn]] static void Unexpected(const QString& text) {
    std::cerr << "unexpected question: " << text.toStdString() << std::endl;
    std::exit(1);
  }
  hv::TAskAnswer Confirm(const QString& text, hv::TAskButtons) override { Unexpected(text); }
  void Message(const QString& text) override { Unexpected(text); }
  void Warning(const QString& text) override { Unexpected(text); }
  void Error(const QString& text) override { Unexpected(text); }
  QString OpenFileName(const QString& c, const QString&, const QString&, const QString&) override { Unexpected(c); }
  QString SaveFileName(const QString& c, const QString&, const QString&, const QString&, const QString&, bool) override {
    Unexpected(c);
  }
  std::optional<QString> InputText(const QString& c, const QString&, const QString&) override { Unexpected(c); }
  hv::TPickAnswer PickCategory(hv::TCategory*, const hv::TSet&, hv::TCategory*, const hv::TPickOptions&) override {
    Unexpected(QStringLiteral("pick"));
  }
  int ChooseOne(const QString& c, const std::vector<hv::TTextSegment*>&) override { Unexpected(c); }
};

long RssAfterFirstStart = 0;
double FirstStartMs = 0;
long RssBefore = 0;

void BM_StartProgram(benchmark::State& state) {
  TNoQuestions noQuestions;
  hv::TAskScope asking(noQuestions);
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    auto program = std::make_unique<hv::TProgram>(QStringList{QStringLiteral("harrowvane"), QStringLiteral("Synth")});
    if (!program->Start()) {
      state.SkipWithError("start-up failed");
      return;
    }
    program->Show();
    // Until the window system has taken the first frame.
    QCoreApplication::processEvents();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    state.SetIterationTime(seconds);
    if (program->App()->Documents().size() != 1 || program->App()->Selection().empty()) {
      state.SkipWithError("first showing incomplete");
      return;
    }
    if (RssAfterFirstStart == 0) {
      RssAfterFirstStart = RssKb();
      FirstStartMs = seconds * 1000.0;
    }
    program.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  state.counters["rss_after_first_start_MB"] = static_cast<double>(RssAfterFirstStart) / 1024.0;
  state.counters["first_start_ms"] = FirstStartMs;
  state.counters["rss_before_MB"] = static_cast<double>(RssBefore) / 1024.0;
}
BENCHMARK(BM_StartProgram)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  hv::hvlib::EnsureSynthesisedLibrary(kQuestions, kDir);
  setenv("HARROWVANE_CONFIG_DIR", kDir.c_str(), 1);
  if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  RssBefore = RssKb();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
