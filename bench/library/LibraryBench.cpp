// Opening a 20,000-question library: the data file read into its trees with the text file open.
//
// The library is synthesised once, in a child process so that its allocations do not blur the
// memory figure, and kept under the build folder for later runs.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "Synthesiser.h"
#include "core/Streams.h"
#include "model/Library.h"

namespace {

constexpr int kQuestions = 20000;
// Bump when the synthesiser changes what it writes, so cached libraries are made again.

const std::string kDir = HV_BINARY_DIR "/bench-data/synth20000";
const std::string kData = kDir + "/Synth.dat";
const std::string kText = kDir + "/Synth.txt";

struct TMemory {
  long RssKb = 0;
  std::size_t HeapBytes = 0;
};

TMemory Memory() {
  TMemory m;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) m.RssKb = std::stol(line.substr(6));
  m.HeapBytes = mallinfo2().uordblks;
  return m;
}

struct TOpenFigures {
  double RssMb = 0;
  double HeapMb = 0;
  int Objects = 0;
  long DataBytes = 0;
  long TextBytes = 0;
};
TOpenFigures Figures;

void MeasureOnce() {
  const TMemory before = Memory();
  hv::TOpenedLibrary opened = hv::OpenLibraryFiles(kText, kData);
  const TMemory after = Memory();
  Figures.RssMb = static_cast<double>(after.RssKb - before.RssKb) / 1024.0;
  Figures.HeapMb = static_cast<double>(after.HeapBytes - before.HeapBytes) / (1024.0 * 1024.0);
  Figures.Objects = opened.Library->ObjectCount();
  hv::TFileStream data(kData, hv::TFileStream::TMode::OpenRead);
  Figures.DataBytes = static_cast<long>(data.Size());
  Figures.TextBytes = static_cast<long>(opened.TextStore->Stream->Size());
  std::cout << "Library: " << Figures.Objects << " objects, data file " << Figures.DataBytes << " bytes, text file "
            << Figures.TextBytes << " bytes; resident memory with it open +" << Figures.RssMb << " MB (heap +"
            << Figures.HeapMb << " MB)" << std::endl;
}

void BM_OpenLibrary(benchmark::State& state) {
  for (auto _ : state) {
    hv::TOpenedLibrary opened = hv::OpenLibraryFiles(kText, kData);
    benchmark::DoNotOptimize(opened.Library.get());
    state.PauseTiming();  // freeing the trees is not part of opening them
    opened = {};
    state.ResumeTiming();
  }
  state.counters["objects"] = Figures.Objects;
  state.counters["rss_MB"] = Figures.RssMb;
  state.counters["heap_MB"] = Figures.HeapMb;
  state.SetBytesProcessed(state.iterations() * Figures.DataBytes);
}
BENCHMARK(BM_OpenLibrary)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  hv::hvlib::EnsureSynthesisedLibrary(kQuestions, kDir);
  MeasureOnce();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
