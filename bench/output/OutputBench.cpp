// Composing, exporting and printing a 100-question document of synthetic questions (RTF of 1 to
// 2.6 KB: tables, parts and mark lines, about 60 pages in all), and beside them LibreOffice turning
// the exported RTF into PDF.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

#include "TextControl.h"
#include "commands/CommandFramework.h"
#include "logic/AppLogic.h"
#include "logic/QuestionSelector.h"
#include "Synthesiser.h"
#include "core/Errors.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/TextStore.h"
#include "model/Segments.h"
#include "output/OutputForms.h"
#include "output/PrintDialogs.h"
#include "output/PrintForm.h"

namespace {

using namespace hv;

// 100 questions, or HV_BENCH_QUESTIONS of them (360 make a test of about 200 pages).
const int kQuestions = [] {
  const int n = qEnvironmentVariableIntValue("HV_BENCH_QUESTIONS");
  return n > 0 && n <= 5000 ? n : 100;
}();

// A library of kQuestions questions whose texts the synthesiser writes; the same seeds always give
// the same texts.
TOpenedLibrary SynthLibrary() {
  auto library = TLibrary::CreateEmpty();
  auto* paper = static_cast<TIdentityCategory*>(library->QuestionTree->CreateChild());
  paper->SetCode("P1");
  for (int i = 0; i < kQuestions; ++i) {
    auto* node = static_cast<TIdentityCategory*>(paper->CreateChild());
    node->SetCode(std::to_string(100 + i));
    node->SetTitle("Question " + std::to_string(i + 1));
    TQuestion* question = node->AddQuestion();
    question->Marks = static_cast<std::int16_t>(1 + i % 6);
    const std::size_t bytes = 1000 + static_cast<std::size_t>(i * 337 % 1600);
    question->SetChunk(std::make_unique<TTextChunk>(std::vector<std::string>{hvlib::SynthesiseRtf(std::uint64_t(i + 1), bytes)}));
  }
  return TOpenedLibrary{nullptr, std::move(library)};
}

// Prints to a PDF file instead of asking.
struct TPdfDialogs : IPrintDialogs {
  QString OutputFile;
  std::optional<TPrintChoice> Print(QPrinter& printer, int) override {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(OutputFile);
    return TPrintChoice{};
  }
  void PageSetup(QPrinter&) override {}
};

// The application state with one document of the first kQuestions questions in tree order. The
// subject is the sample's, so the footer carries the sample school's name.
struct TWorld {
  TAppLogic App;
  TCommandEnvironment Env{App};
  QTemporaryDir Dir;
  TPdfDialogs Dialogs;
  TPrintDialogsScope Scope{Dialogs};
  TDocLogic* Doc = nullptr;

  TWorld() {
    App.AdoptLibrary("Sample", SynthLibrary());
    App.NewDocument();
    Doc = App.Documents().back().get();
    App.SetCurrentDocument(Doc);
    const auto& results = App.Selector()->Results();
    TItemList items;
    if (results.size() < std::size_t(kQuestions)) throw EError("The synthetic library holds too few questions");
    for (std::size_t i = 0; i < std::size_t(kQuestions); ++i) items.push_back(results[i]);
    Doc->InsertEntries(items, -1);
    Dialogs.OutputFile = Dir.filePath(QStringLiteral("document.pdf"));
  }
  TPrintForm& Print() { return OutputForms().Print(); }
};

TWorld& World() {
  static TWorld world;
  return world;
}

void BM_ComposeAndPaginate(benchmark::State& state) {
  TWorld& w = World();
  for (auto _ : state) {
    w.Print().ComposeDocument(w.Doc->Document->Entries);
    benchmark::DoNotOptimize(w.Print().PrintATX->CurrentPages());
  }
  state.counters["pages"] = w.Print().PrintATX->CurrentPages();
}

void BM_ExportRtf(benchmark::State& state) {
  TWorld& w = World();
  const QString file = w.Dir.filePath(QStringLiteral("document.rtf"));
  for (auto _ : state) w.Print().ExportDocument(file);
  state.counters["bytes"] = double(QFile(file).size());
}

void BM_PrintPdf(benchmark::State& state) {
  TWorld& w = World();
  for (auto _ : state) {
    w.Print().PrintDocument();
  }
  state.counters["bytes"] = double(QFile(w.Dialogs.OutputFile).size());
}

// The peer: the same document as our RTF, turned into PDF by LibreOffice without its window. Its
// own profile folder keeps it apart from other LibreOffice processes; one conversion before the
// timing creates that profile.
void BM_LibreOfficeRtfToPdf(benchmark::State& state) {
  TWorld& w = World();
  const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
  if (soffice.isEmpty()) {
    state.SkipWithError("soffice not found");
    return;
  }
  const QString rtf = w.Dir.filePath(QStringLiteral("peer.rtf"));
  w.Print().ExportDocument(rtf);
  const QString outDir = w.Dir.filePath(QStringLiteral("peer"));
  QDir().mkpath(outDir);
  const QStringList args = {QStringLiteral("-env:UserInstallation=file://") + w.Dir.filePath(QStringLiteral("lo-profile")),
                            QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("pdf"),
                            QStringLiteral("--outdir"), outDir, rtf};
  auto convert = [&] {
    QProcess process;
    process.start(soffice, args);
    return process.waitForFinished(300000) && process.exitCode() == 0;
  };
  if (!convert()) {
    state.SkipWithError("LibreOffice could not convert the document");
    return;
  }
  for (auto _ : state) {
    if (!convert()) state.SkipWithError("LibreOffice could not convert the document");
  }
  state.counters["bytes"] = double(QFile(QDir(outDir).filePath(QStringLiteral("peer.pdf"))).size());
}

BENCHMARK(BM_ComposeAndPaginate)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportRtf)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PrintPdf)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibreOfficeRtfToPdf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  // Headless, over the sample library compiled into this build.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("HARROWVANE_CONFIG_DIR", HV_BINARY_DIR "/data/sample", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  OutputForms().Reset();
  return 0;
}
