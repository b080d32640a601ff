#pragma once
// Writes large synthetic libraries with the shape and text sizes of real ones, for benchmarks.
#include <cstdint>
#include <string>

#include "LibraryOutput.h"

namespace hv::hvlib {

inline constexpr const char* kSynthKey = "Synth";

// A library of `questions` question texts at the current format version: about questions/40
// papers of numbered questions (some in parts), about sqrt(questions) topics in two levels, five
// question types, three levels, a specification of about questions/4 statements related to the
// questions, and about questions/50 resources used by some questions. Every question has a mark
// scheme, about 80% an examiner's report and about 20% a note. Texts are RTF of 1 to 20 KB ending
// in the end-of-entry paragraph. The same count always gives the same bytes.
TBuildResult SynthesiseLibrary(int questions, const std::string& outDir);

// Makes sure outDir holds the synthetic library of `questions` questions, synthesising it once and
// reusing it while its stamp says it is current. Synthesis runs in a child process, so a benchmark
// that calls this first measures nothing of the synthesiser's memory. Ends the process on failure.
void EnsureSynthesisedLibrary(int questions, const std::string& outDir);

// One synthetic RTF text of about `bytes` bytes (at least 1 KB, at most 20 KB), for tests.
std::string SynthesiseRtf(std::uint64_t seed, std::size_t bytes);

}  // namespace hv::hvlib
