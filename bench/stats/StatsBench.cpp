// The question statistics: importing a filled sheet of 40 questions and 300 students, and what
// showing statistics costs the Question Finder and the Viewer on the 100,000-question synthetic
// library with 10,000 imports in the store (with the store attached and without, in one process).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>

#include "AnalysisSheets.h"
#include "LibraryOpen.h"
#include "MarkImport.h"
#include "Synthesiser.h"
#include "Workbook.h"
#include "commands/Ask.h"
#include "commands/CommandFramework.h"
#include "commands/SearchCommands.h"
#include "components/TextControl.h"
#include "logic/AppLogic.h"
#include "model/Categories.h"
#include "model/Document.h"
#include "model/Library.h"
#include "model/Segments.h"
#include "windows/MainForm.h"
#include "windows/Program.h"
#include "windows/QFForm.h"
#include "windows/ViewerForm.h"

namespace {

using namespace hv;

constexpr int kQuestions = 100000;
constexpr int kImports = 10000;
const std::string kDir = HV_BINARY_DIR "/bench-data/synth100000";
const std::string kData = HV_BINARY_DIR "/bench-data/stats-xdg";

std::vector<TQuestion*> AllQuestions(const TLibrary& library) {
  std::vector<TQuestion*> list;
  TCategoryIterator it(library.QuestionTree);
  for (TCategory* n = it.Next(); n != nullptr; n = it.Next())
    if (auto* q = static_cast<TIdentityCategory*>(n)->Question) list.push_back(q);
  return list;
}

// 10,000 imports of 40 random questions for 30 classes, made once and kept.
void EnsureImports(const TLibrary& library) {
  TStatsStore store(TStatsStore::DefaultPath());
  if (store.ImportCount() >= kImports) return;
  store.Database().Exec("PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY");
  const std::vector<TQuestion*> all = AllQuestions(library);
  std::mt19937 random(7);
  std::uniform_int_distribution<std::size_t> pick(0, all.size() - 1);
  std::uniform_real_distribution<double> figure(0.05, 0.95);
  for (int i = store.ImportCount(); i < kImports; ++i) {
    TImportRecord record{"Synth", "Class " + std::to_string(i % 30), "2026-" + std::to_string(1 + i % 12) + "-01",
                         "bench", {}};
    for (int q = 0; q < 40; ++q)
      record.Items.push_back({all[pick(random)]->GetID(), 25, 2.0, 4, figure(random), figure(random)});
    std::sort(record.Items.begin(), record.Items.end(), [](auto& a, auto& b) { return a.TypedID < b.TypedID; });
    record.Items.erase(std::unique(record.Items.begin(), record.Items.end(),
                                   [](auto& a, auto& b) { return a.TypedID == b.TypedID; }),
                       record.Items.end());
    store.Import(record);
  }
}

class TQuietUser : public IAsk {
public:
  TCategory* Pick = nullptr;
  TAskAnswer Confirm(const QString&, TAskButtons) override { return TAskAnswer::No; }
  void Message(const QString&) override {}
  void Warning(const QString& t) override { std::cerr << t.toStdString() << std::endl; }
  void Error(const QString& t) override { std::cerr << t.toStdString() << std::endl; }
  QString OpenFileName(const QString&, const QString&, const QString&, const QString&) override { return {}; }
  QString SaveFileName(const QString&, const QString&, const QString&, const QString&, const QString&, bool) override { return {}; }
  std::optional<QString> InputText(const QString&, const QString&, const QString&) override { return {}; }
  TPickAnswer PickCategory(TCategory*, const TSet&, TCategory*, const TPickOptions&) override { return {TPickResult::Start, Pick}; }
  int ChooseOne(const QString&, const std::vector<TTextSegment*>&) override { return -1; }
};

struct TRunning {
  TQuietUser User;
  TAskScope Asking{User};
  std::unique_ptr<TProgram> Program;
  std::unique_ptr<TStatsStore> Detached;
  TQFForm* QF = nullptr;
  TViewerForm* Viewer = nullptr;
  TRunning() {
    Program = std::make_unique<TProgram>(QStringList{QStringLiteral("harrowvane"), QStringLiteral("Synth")});
    if (!Program->Start()) std::exit(1);
    Program->Show();
    QCoreApplication::processEvents();
    QF = Program->MainForm()->findChild<TQFForm*>();
    Viewer = Program->MainForm()->findChild<TViewerForm*>();
    if (Program->App()->Stats() == nullptr || QF == nullptr || Viewer == nullptr) std::exit(1);
  }
  TAppLogic& App() { return *Program->App(); }
  // Attaches or detaches the store, so both ways run in the same program.
  void UseStats(bool on) {
    if (on && Detached) App().AttachStats(std::move(Detached));
    // The summaries are read once per start or import; that cost is measured on its own below.
    if (on) App().Stats()->Summaries(App().Subject());
    if (!on && App().Stats() != nullptr) {
      auto* raw = App().Stats();
      Detached = std::make_unique<TStatsStore>(raw->Database().Path());
      App().AttachStats(nullptr);
    }
  }
};
std::unique_ptr<TRunning> RunningProgram;
TRunning& Running() {
  if (!RunningProgram) RunningProgram = std::make_unique<TRunning>();
  return *RunningProgram;
}

// Start Search alternating the whole library and a main topic, to list and Viewer painted: the
// finding benchmark's widest case, here with 100,000 questions.
void StartSearchWide(benchmark::State& state, bool stats) {
  TRunning& r = Running();
  r.UseStats(stats);
  TCategory* topics = r.App().Library()->Topics;
  const std::vector<TCategory*> picks = {topics, topics->Children.front()};
  std::size_t n = 0;
  for (auto _ : state) {
    r.User.Pick = picks[n++ % 2];
    QElapsedTimer timer;
    timer.start();
    RunCommand<TSearchByTopicCmd>();
    r.QF->QuestionsLB()->viewport()->repaint();
    r.Viewer->CurrentItemBox()->repaint();
    r.Viewer->ViewerTX()->viewport()->repaint();
    state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
  }
  state.counters["with_stats"] = stats ? 1 : 0;
}
void BM_StartSearchWide_NoStats(benchmark::State& s) { StartSearchWide(s, false); }
void BM_StartSearchWide_Stats(benchmark::State& s) { StartSearchWide(s, true); }
BENCHMARK(BM_StartSearchWide_NoStats)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartSearchWide_Stats)->UseManualTime()->Unit(benchmark::kMillisecond);

// The first paint of the Viewer for a newly selected question (header, statistics line, text).
void ViewerFirstPaint(benchmark::State& state, bool stats) {
  TRunning& r = Running();
  r.UseStats(stats);
  r.User.Pick = r.App().Library()->Topics;
  RunCommand<TSearchByTopicCmd>();
  const std::vector<TQuestion*> results = r.App().Selector()->Results();
  std::size_t n = 0;
  for (auto _ : state) {
    TQuestion* q = results[(n++ * 7919) % results.size()];
    QElapsedTimer timer;
    timer.start();
    r.App().SelectItem(q, TListRef(r.App().Selector()->Results()), false);
    r.Viewer->ViewerContent()->repaint();
    state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
  }
}
void BM_ViewerFirstPaint_NoStats(benchmark::State& s) { ViewerFirstPaint(s, false); }
void BM_ViewerFirstPaint_Stats(benchmark::State& s) { ViewerFirstPaint(s, true); }
BENCHMARK(BM_ViewerFirstPaint_NoStats)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewerFirstPaint_Stats)->UseManualTime()->Unit(benchmark::kMillisecond);

// Reading every summary of the library from 10,000 imports: once per start or import.
void BM_LoadSummaries(benchmark::State& state) {
  for (auto _ : state) {
    TStatsStore store(TStatsStore::DefaultPath());
    benchmark::DoNotOptimize(store.Summaries("Synth").size());
  }
}
BENCHMARK(BM_LoadSummaries)->Unit(benchmark::kMillisecond);

// Importing a filled sheet of 40 questions and 300 students: read, check, compute, store.
void BM_ImportSheet40x300(benchmark::State& state) {
  TOpenedLibrary lib = hvlib::LoadLibrary("Synth", "");
  const hvlib::TCurrentLibraryScope scope(lib.Library.get());
  const std::vector<TQuestion*> all = AllQuestions(*lib.Library);
  TDocument doc;
  std::vector<TStreamable*> chosen;
  for (int q = 0; q < 40; ++q) chosen.push_back(all[static_cast<std::size_t>(q) * 2011 % all.size()]);
  doc.InsertEntries(chosen, -1);
  const std::string folder = kData + "/import";
  std::filesystem::create_directories(folder);
  std::string students;
  for (int k = 0; k < 300; ++k) students += "Student" + std::to_string(k) + ",Jo,,F\r\n";
  ReplaceFileContent(folder + "/class.ptx", students);
  const std::string file = folder + "/sheet.xlsx";
  CreateMarkEntryWorkbook(doc, *lib.Library, false, HV_SOURCE_DIR "/resources/templates/RX2P.xltx", folder + "/class.ptx", file);
  {
    TWorkbook book = TWorkbook::Open(file);
    std::mt19937 random(3);
    for (int k = 0; k < 300; ++k)
      for (int q = 0; q < 40; ++q)
        book.Sheet(1).SetNumber(9 + k, 5 + q,
                                static_cast<double>(random() % (static_cast<unsigned>(std::max<int>(
                                                                    static_cast<TQuestion*>(chosen[static_cast<std::size_t>(q)])->Marks, 0)) + 1)));
    book.SaveAs(file);
  }
  TStatsStore store(folder + "/stats.sqlite");
  for (auto _ : state) {
    const TMarkImportResult r = ImportMarkWorkbook(file, *lib.Library, "Synth", "Bench", store);
    if (r.Students != 300 || r.Record.Items.size() != 40) state.SkipWithError("the sheet did not import whole");
  }
}
BENCHMARK(BM_ImportSheet40x300)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  hvlib::EnsureSynthesisedLibrary(kQuestions, kDir);
  setenv("HARROWVANE_CONFIG_DIR", kDir.c_str(), 1);
  setenv("XDG_DATA_HOME", kData.c_str(), 1);
  if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  {
    TOpenedLibrary lib = hvlib::LoadLibrary("Synth", "");
    const hvlib::TCurrentLibraryScope scope(lib.Library.get());
    EnsureImports(*lib.Library);
  }
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  RunningProgram.reset();
  return 0;
}
