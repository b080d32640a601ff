// Composing, exporting and printing a 100-question document of synthetic questions (RTF of 1 to
// 2.6 KB: tables, parts and mark lines, about 60 pages in all), and beside them LibreOffice turning
// the exported RTF into PDF.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QAbstractTextDocumentLayout>
#include <QTextDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

#include "TabLeaders.h"
#include "TextControl.h"
#include "commands/CommandFramework.h"
#include "logic/AppLogic.h"
#include "logic/DocLogic.h"
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

// Pages in a PDF file, as a viewer counts them.
int PdfPages(const QString& file) {
  QFile pdf(file);
  if (!pdf.open(QIODevice::ReadOnly)) return 0;
  static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
  return int(QString::fromLatin1(pdf.readAll()).count(page));
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
  state.counters["pages"] = PdfPages(QDir(outDir).filePath(QStringLiteral("peer.pdf")));
}

// The batch printer as a school runs it: a saved test of the first kQuestions questions of the
// 20,000-question synthetic library, printed by hvlib in a process of its own, so the wall time
// holds its start-up and the opening of library and test as well. LibreOffice converting hvlib's
// export of the same test is beside it, with both page counts.
void BM_HvlibPrint(benchmark::State& state) {
  const std::string dir = HV_BINARY_DIR "/bench-data/synth20000";
  hvlib::EnsureSynthesisedLibrary(20000, dir);
  // HV_OUTPUT_ARTIFACTS keeps the test, the PDFs and the RTF for a look.
  QTemporaryDir tempDir;
  const QDir temp(qEnvironmentVariableIsEmpty("HV_OUTPUT_ARTIFACTS") ? tempDir.path() : qEnvironmentVariable("HV_OUTPUT_ARTIFACTS"));
  temp.mkpath(QStringLiteral("."));
  const QString kvd = temp.filePath(QStringLiteral("synth.kvd"));
  {
    TAppLogic app;
    app.AdoptLibrary(hvlib::kSynthKey, OpenLibraryFiles(dir + "/Synth.txt", dir + "/Synth.dat"));
    app.Selector()->SetTopicCriterion(nullptr, true);
    const auto& all = app.Selector()->Results();
    TDocLogic doc(app.Subject());
    doc.CreateNew();
    doc.InsertEntries(std::vector<TStreamable*>(all.begin(), all.begin() + std::min<std::ptrdiff_t>(kQuestions, std::ssize(all))), -1);
    doc.SaveToFile(kvd.toStdString());
  }
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("HARROWVANE_CONFIG_DIR"), QString::fromStdString(dir));
  auto hvlib = [&](const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(HV_HVLIB_PATH), args);
    return p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
  };
  const QString pdf = temp.filePath(QStringLiteral("synth.pdf"));
  for (auto _ : state)
    if (!hvlib({QStringLiteral("print"), kvd, pdf})) state.SkipWithError("hvlib print failed");
  state.counters["pages"] = PdfPages(pdf);
  const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
  const QString rtf = temp.filePath(QStringLiteral("synth.rtf"));
  if (soffice.isEmpty() || !hvlib({QStringLiteral("export"), kvd, rtf})) return;
  QProcess convert;
  QElapsedTimer timer;
  timer.start();
  convert.start(soffice, {QStringLiteral("-env:UserInstallation=file://") + temp.filePath(QStringLiteral("lo-profile")),
                          QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("pdf"),
                          QStringLiteral("--outdir"), temp.filePath(QStringLiteral("lo")), rtf});
  convert.waitForFinished(600000);
  state.counters["lo_ms"] = double(timer.elapsed());  // its first start, profile included
  state.counters["lo_pages"] = PdfPages(temp.filePath(QStringLiteral("lo/synth.pdf")));
}

// The answer lines of a real test: every question of the sample library, composed as Print does,
// then the dotted leaders of each page drawn on their own (at 150 dpi, as the preview does). The
// time is the leaders'; the counters set it beside the composition's. Runs last, since it opens
// the sample library as the current one.
void BM_SampleTestLeaders(benchmark::State& state) {
  World();  // the print form works for the benchmarks' application state
  TAppLogic app;
  app.OpenLibrary("Sample");
  const auto& all = app.Selector()->Results();
  TDocLogic doc(app.Subject());
  doc.CreateNew();
  doc.InsertEntries(std::vector<TStreamable*>(all.begin(), all.end()), -1);
  TTXTextControl& c = *OutputForms().Print().PrintATX;
  QElapsedTimer timer;
  double composeMs = 1e9;
  for (int i = 0; i < 3; ++i) {
    timer.start();
    OutputForms().Print().ComposeDocument(doc.Document->Entries);
    composeMs = std::min(composeMs, double(timer.nsecsElapsed()) / 1e6);
  }
  const int pages = c.CurrentPages();
  const double height = c.document()->documentLayout()->documentSize().height() / std::max(pages, 1);
  QImage canvas(1240, 1754, QImage::Format_RGB32);
  for (auto _ : state)
    for (int p = 0; p < pages; ++p) {
      QPainter painter(&canvas);
      painter.scale(150.0 / 96, 150.0 / 96);
      painter.translate(0, -p * height);
      rtf::DrawTabLeaders(painter, *c.document(), QRectF(0, p * height, 800, height));
    }
  state.counters["pages"] = pages;
  state.counters["compose_ms"] = composeMs;
}

BENCHMARK(BM_ComposeAndPaginate)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportRtf)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PrintPdf)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibreOfficeRtfToPdf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_HvlibPrint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SampleTestLeaders)->Unit(benchmark::kMillisecond);

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
