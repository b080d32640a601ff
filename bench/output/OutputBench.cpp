// Composing, exporting and printing a 100-question document made of the sample library's
// questions, and beside them LibreOffice turning the exported RTF into PDF.
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
#include "output/OutputForms.h"
#include "output/PrintDialogs.h"
#include "output/PrintForm.h"

namespace {

using namespace hv;

constexpr int kQuestions = 100;

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

// The application state with one document of kQuestions entries: the sample's questions in
// tree order, over again from the first when they run out.
struct TWorld {
  TAppLogic App;
  TCommandEnvironment Env{App};
  QTemporaryDir Dir;
  TPdfDialogs Dialogs;
  TPrintDialogsScope Scope{Dialogs};
  TDocLogic* Doc = nullptr;

  TWorld() {
    App.OpenLibrary("Sample");
    App.NewDocument();
    Doc = App.Documents().back().get();
    App.SetCurrentDocument(Doc);
    const auto& results = App.Selector()->Results();
    TItemList items;
    for (int i = 0; i < kQuestions; ++i) items.push_back(results[static_cast<std::size_t>(i) % results.size()]);
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
