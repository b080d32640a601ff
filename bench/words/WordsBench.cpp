// Word search on the 100,000-question synthetic library: the extractor against unrtf on one
// 5 MB RTF file, building the index beside a stand-in for the event loop (how long it ever
// waits), the index's size beside the text file's, and warm queries.
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
#include <thread>

#include "LibraryOpen.h"
#include "Synthesiser.h"
#include "logic/WordIndex.h"
#include "model/RtfWords.h"

namespace {

using namespace hv;

constexpr int kQuestions = 100000;
const std::string kDir = HV_BINARY_DIR "/bench-data/synth100000";
const std::string kCache = HV_BINARY_DIR "/bench-data/word-cache";

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

// The whole library indexed into a fresh file as the program does it: the index's own thread
// builds while this one stands in for the event loop, looking at the progress every 10 ms and
// searching two words once a second. Wall time; the longest wait of the event loop is the longest
// a 10 ms tick came late, or a look at the progress took.
void BM_BuildIndex100k(benchmark::State& state) {
  TOpenedLibrary lib = hvlib::LoadLibrary(kDir + "/Synth.dat", kDir + "/Synth.txt");
  const TWordQuery query = ParseWordQuery("trolley 437");
  for (auto _ : state) {
    const std::string path = HV_BINARY_DIR "/bench-data/words-build.sqlite";
    for (const char* suffix : {"", "-wal", "-shm", ".lock"}) std::remove((path + suffix).c_str());
    using clock = std::chrono::steady_clock;
    auto ms = [](clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    double longestWait = 0, longestPoll = 0, longestSearch = 0;
    int ticks = 0, searches = 0;
    const auto started = clock::now();
    {
      TWordIndex index(*lib.Library, LibraryFileIdentity(kDir + "/Synth.dat", kDir + "/Synth.txt"), path);
      if (!index.StartBuilding()) {
        state.SkipWithError("the index cannot be built on a thread of its own here");
        return;
      }
      auto nextSearch = clock::now() + std::chrono::seconds(1);
      auto due = clock::now();
      while (!index.Complete() || index.Building()) {
        due += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(due);
        const auto woke = clock::now();
        longestWait = std::max(longestWait, ms(woke - due));
        index.Poll();
        const auto polled = clock::now();
        longestPoll = std::max(longestPoll, ms(polled - woke));
        if (polled >= nextSearch) {
          benchmark::DoNotOptimize(index.Match(query, {}).size());
          longestSearch = std::max(longestSearch, ms(clock::now() - polled));
          ++searches;
          nextSearch = clock::now() + std::chrono::seconds(1);
        }
        due = std::max(due, clock::now());
        ++ticks;
      }
      index.Poll();
      state.counters["skipped_texts"] = index.Skipped();
    }
    state.SetIterationTime(std::chrono::duration<double>(clock::now() - started).count());
    state.counters["longest_wait_ms"] = longestWait;
    state.counters["longest_poll_ms"] = longestPoll;
    state.counters["longest_search_ms"] = longestSearch;
    state.counters["ticks"] = ticks;
    state.counters["searches"] = searches;
    state.counters["index_bytes"] = static_cast<double>(SizeOf(path));
    state.counters["text_file_bytes"] = static_cast<double>(SizeOf(kDir + "/Synth.txt"));
    state.counters["index_share_pct"] = 100.0 * static_cast<double>(SizeOf(path)) / static_cast<double>(SizeOf(kDir + "/Synth.txt"));
    for (const char* suffix : {"", "-wal", "-shm", ".lock"}) std::remove((path + suffix).c_str());
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
