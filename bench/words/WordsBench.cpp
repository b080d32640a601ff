// Word search on the 100,000-question synthetic library: the extractor against unrtf on one
// 5 MB RTF file, building the index in the slices the program uses (the longest slice is how long
// the event loop waits), the index's size beside the text file's, and warm queries.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "LibraryOpen.h"
#include "Synthesiser.h"
#include "logic/WordIndex.h"
#include "model/RtfWords.h"

namespace {

using namespace hv;

constexpr int kQuestions = 100000;
const std::string kDir = HV_BINARY_DIR "/bench-data/synth100000";
const std::string kCache = HV_BINARY_DIR "/bench-data/word-cache";
// The slice the program builds in between events (TWordIndexDriver::kSlice).
constexpr std::chrono::milliseconds kSlice{15};

// One RTF document of about 5 MB: synthetic question texts, each kept as a group of its own.
const std::string& FiveMegabytes() {
  static const std::string rtf = [] {
    std::string s = "{\\rtf1\\ansi\\ansicpg1252\\deff0";
    for (std::uint64_t seed = 1; s.size() < 5 * 1024 * 1024; ++seed) {
      const std::string text = hvlib::SynthesiseRtf(seed, 18 * 1024);
      s += text.substr(0, text.size() - 1).replace(0, 6, "{") + "}\n";
    }
    return s + "}";
  }();
  return rtf;
}

std::string FiveMegabyteFile() {
  const std::string path = HV_BINARY_DIR "/bench-data/words-5mb.rtf";
  std::ofstream(path, std::ios::binary) << FiveMegabytes();
  return path;
}

void BM_ExtractText5MB(benchmark::State& state) {
  const std::string& rtf = FiveMegabytes();
  std::string out;
  for (auto _ : state) {
    out.clear();
    ExtractRtfText(rtf, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(rtf.size()));
  state.counters["input_bytes"] = static_cast<double>(rtf.size());
}
BENCHMARK(BM_ExtractText5MB)->Unit(benchmark::kMillisecond);

// unrtf as a process on the same bytes, its own processor time (its start-up is small beside 5 MB).
void BM_PeerUnrtf5MB(benchmark::State& state) {
  const std::string file = FiveMegabyteFile();
  if (::access("/usr/bin/unrtf", X_OK) != 0) {
    state.SkipWithError("unrtf is not installed");
    return;
  }
  for (auto _ : state) {
    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    const pid_t pid = fork();
    if (pid == 0) {
      freopen("/dev/null", "w", stdout);
      freopen("/dev/null", "w", stderr);
      execl("/usr/bin/unrtf", "unrtf", "--text", file.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    getrusage(RUSAGE_CHILDREN, &after);
    auto seconds = [](const rusage& r) {
      return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    };
    state.SetIterationTime(seconds(after) - seconds(before));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(FiveMegabytes().size()));
}
BENCHMARK(BM_PeerUnrtf5MB)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

std::int64_t SizeOf(const std::string& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

// The whole library indexed into a fresh file in the program's slices; wall time.
void BM_BuildIndex100k(benchmark::State& state) {
  TOpenedLibrary lib = hvlib::LoadLibrary(kDir + "/Synth.dat", kDir + "/Synth.txt");
  for (auto _ : state) {
    const std::string path = HV_BINARY_DIR "/bench-data/words-build.sqlite";
    std::remove(path.c_str());
    double longest = 0;
    int slices = 0;
    const auto started = std::chrono::steady_clock::now();
    {
      TWordIndex index(*lib.Library, LibraryFileIdentity(kDir + "/Synth.dat", kDir + "/Synth.txt"), path);
      for (bool more = true; more;) {
        const auto t0 = std::chrono::steady_clock::now();
        more = index.BuildSome(kSlice);
        longest = std::max(longest, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        ++slices;
      }
      state.counters["skipped_texts"] = index.Skipped();
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    state.counters["longest_slice_ms"] = longest;
    state.counters["slices"] = slices;
    state.counters["index_bytes"] = static_cast<double>(SizeOf(path));
    state.counters["text_file_bytes"] = static_cast<double>(SizeOf(kDir + "/Synth.txt"));
    state.counters["index_share_pct"] = 100.0 * static_cast<double>(SizeOf(path)) / static_cast<double>(SizeOf(kDir + "/Synth.txt"));
    std::remove(path.c_str());
  }
}
BENCHMARK(BM_BuildIndex100k)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// The library's own index in the benchmark's cache, built once and kept for later runs.
TWordIndex& Index() {
  static TOpenedLibrary lib = hvlib::LoadLibrary(kDir + "/Synth.dat", kDir + "/Synth.txt");
  static std::unique_ptr<TWordIndex> index = [] {
    auto i = OpenLibraryWordIndex(*lib.Library, hvlib::kSynthKey, LibraryFileIdentity(kDir + "/Synth.dat", kDir + "/Synth.txt"));
    i->BuildAll();
    return i;
  }();
  return *index;
}

// Two words, warm: the index's answer, best first.
void WarmQuery(benchmark::State& state, const char* words) {
  TWordIndex& index = Index();
  const TWordQuery query = ParseWordQuery(words);
  std::size_t found = index.Match(query, {}).size();
  for (auto _ : state) found = index.Match(query, {}).size();
  state.counters["results"] = static_cast<double>(found);
}
// Numbers occur in a few texts each, as distinctive words do in real ones.
void BM_WarmQueryDistinctive(benchmark::State& state) { WarmQuery(state, "trolley 437"); }
BENCHMARK(BM_WarmQueryDistinctive)->Unit(benchmark::kMillisecond);
// Two of the synthesiser's ninety words: nearly every question holds both, all ranked.
void BM_WarmQueryEverywhere(benchmark::State& state) { WarmQuery(state, "trolley ramp"); }
BENCHMARK(BM_WarmQueryEverywhere)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  hvlib::EnsureSynthesisedLibrary(kQuestions, kDir);
  setenv("XDG_CACHE_HOME", kCache.c_str(), 1);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
