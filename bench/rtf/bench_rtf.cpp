// Reading and writing RTF through the text control, and the peer converters on the same input.
#include "TextControl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <string>

namespace {

// Text-heavy RTF as word processors write it: paragraphs of prose with some formatting runs,
// accented letters as \'hh and the odd \u escape.
std::string TextHeavyRtf(std::size_t targetBytes)
{
    std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}{\\f1\\fswiss Arial;}}"
                      "{\\colortbl;\\red0\\green0\\blue0;\\red200\\green0\\blue0;}\n";
    static const char* const words[] = {"the", "question", "asks", "students", "to", "calculate", "energy", "transferred",
                                        "when", "a", "ball", "falls", "from", "rest", "through", "height", "of", "metres",
                                        "explain", "why", "answer", "differs", "caf\\'e9", "na\\'efve", "r\\'e9sum\\'e9"};
    unsigned seed = 12345;
    int paragraph = 0;
    while (rtf.size() < targetBytes) {
        rtf += "\\pard\\plain\\qj\\sa120\\f0\\fs24 ";
        for (int w = 0; w < 90; ++w) {
            seed = seed * 1103515245u + 12345u;
            const unsigned pick = (seed >> 16) % 25;
            if (w % 23 == 5)
                rtf += "{\\b ";
            rtf += words[pick];
            if (w % 23 == 7)
                rtf += "}";
            if (w % 41 == 13)
                rtf += " {\\i\\cf2 emphasised \\u8364? note}";
            rtf += ' ';
        }
        rtf += "\\par\n";
        ++paragraph;
    }
    rtf += "}";
    return rtf;
}

const std::string& Input()
{
    static const std::string input = TextHeavyRtf(4 * 1024 * 1024);
    return input;
}

QString InputFile()
{
    static QTemporaryDir dir;
    static QString path;
    if (path.isEmpty()) {
        path = dir.filePath(QStringLiteral("text-heavy.rtf"));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(Input().data(), qint64(Input().size()));
    }
    return path;
}

void BM_ReadRtfIntoControl(benchmark::State& state)
{
    TTXTextControl control;
    const std::string& rtf = Input();
    for (auto _ : state) {
        control.ResetContents();
        control.LoadFromString(rtf, TTXTextControl::FormatRtf, true);
        benchmark::DoNotOptimize(control.document()->characterCount());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(rtf.size()));
}
BENCHMARK(BM_ReadRtfIntoControl)->Unit(benchmark::kMillisecond);

void BM_WriteRtfFromControl(benchmark::State& state)
{
    TTXTextControl control;
    control.LoadFromString(Input(), TTXTextControl::FormatRtf, true);
    std::string out;
    for (auto _ : state) {
        control.SaveToString(out, TTXTextControl::FormatRtf, true);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
    state.counters["rtf_bytes"] = double(out.size());
}
BENCHMARK(BM_WriteRtfFromControl)->Unit(benchmark::kMillisecond);

// What the Viewer does for one question: empty the control, load the text, draw what is visible.
void BM_LoadAndShowQuestion(benchmark::State& state)
{
    const std::string question = TextHeavyRtf(50 * 1024);
    TTXTextControl control;
    control.resize(640, 360);
    control.show();
    QPixmap canvas(control.viewport()->size());
    for (auto _ : state) {
        control.ResetContents();
        control.LoadFromString(question, TTXTextControl::FormatRtf, true);
        control.SetScrollPosY(0);
        control.viewport()->render(&canvas);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(question.size()));
}
BENCHMARK(BM_LoadAndShowQuestion)->Unit(benchmark::kMillisecond);

// One unbroken word of the given size, shown as the Viewer shows a text.
void BM_ShowLongWord(benchmark::State& state)
{
    const std::string word = "{\\rtf1\\ansi " + std::string(std::size_t(state.range(0)), 'x') + "}";
    TTXTextControl control;
    control.resize(640, 360);
    control.show();
    QPixmap canvas(control.viewport()->size());
    for (auto _ : state) {
        control.ResetContents();
        control.LoadFromString(word, TTXTextControl::FormatRtf, true);
        control.SetScrollPosY(0);
        control.viewport()->render(&canvas);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(word.size()));
}
BENCHMARK(BM_ShowLongWord)->Arg(1 << 20)->Arg(2 << 20)->Unit(benchmark::kMillisecond)->Iterations(2);

// A test of answer lines, as exam questions write them: a sentence, then lines to write on that
// end in a unit. With dotted leaders (range 1) or the same tabs without them (range 0), so the
// difference of the two drawing times is what the leaders cost. Composition is reading the text
// and breaking it into pages; drawing is every page at 150 dpi, as a preview shows them.
std::string AnswerLines(bool leaders)
{
    std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}}\\f0\\fs24 ";
    for (int i = 1; i <= 600; ++i) {
        rtf += "\\pard " + std::to_string(i) + ". Calculate the kinetic energy of the trolley as it leaves the ramp.\\par ";
        for (int line = 0; line < 3; ++line)
            rtf += std::string("\\pard\\li567") + (leaders ? "\\tldot" : "") + "\\tqr\\tx8000 Kinetic energy = \\tab J\\par ";
    }
    return rtf + "}";
}

void BM_ComposeAnswerLines(benchmark::State& state)
{
    const std::string rtf = AnswerLines(true);
    TTXTextControl control;
    for (auto _ : state) {
        control.ResetContents();
        control.LoadFromString(rtf, TTXTextControl::FormatRtf, true);
        benchmark::DoNotOptimize(control.CurrentPages());
    }
    state.counters["pages"] = control.CurrentPages();
}
BENCHMARK(BM_ComposeAnswerLines)->Unit(benchmark::kMillisecond);

void BM_DrawAnswerLines(benchmark::State& state)
{
    TTXTextControl control;
    control.LoadFromString(AnswerLines(state.range(0) != 0), TTXTextControl::FormatRtf, true);
    QImage page(1240, 1754, QImage::Format_RGB32);  // A4 at 150 dpi
    page.setDotsPerMeterX(5906);
    page.setDotsPerMeterY(5906);
    control.SetPrintDevice(&page);
    const int pages = control.CurrentPages();
    for (auto _ : state)
        for (int p = 1; p <= pages; ++p) {
            page.fill(Qt::white);
            control.PrintPage(p);
        }
    state.counters["pages"] = pages;
}
BENCHMARK(BM_DrawAnswerLines)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The peers run as processes on the same file; their start-up is small beside 4 MB of input.
// Every figure here is processor time: the build machine is shared, and wall-clock time there
// measures the neighbours as much as the code.
void RunPeer(benchmark::State& state, const QString& program, const QStringList& args)
{
    const QString exe = QStandardPaths::findExecutable(program);
    if (exe.isEmpty()) {
        state.SkipWithError("not installed");
        return;
    }
    for (auto _ : state) {
        // The peer's own processor time, so that other load on the machine does not count.
        rusage before{}, after{};
        getrusage(RUSAGE_CHILDREN, &before);
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start(exe, args);
        p.waitForFinished(-1);
        getrusage(RUSAGE_CHILDREN, &after);
        auto seconds = [](const rusage& r) {
            return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
        };
        state.SetIterationTime(seconds(after) - seconds(before));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Input().size()));
}

void BM_PeerPandoc(benchmark::State& state)
{
    RunPeer(state, QStringLiteral("pandoc"), {QStringLiteral("-f"), QStringLiteral("rtf"), QStringLiteral("-t"), QStringLiteral("plain"), InputFile()});
}
BENCHMARK(BM_PeerPandoc)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_PeerUnrtf(benchmark::State& state)
{
    RunPeer(state, QStringLiteral("unrtf"), {QStringLiteral("--text"), InputFile()});
}
BENCHMARK(BM_PeerUnrtf)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
