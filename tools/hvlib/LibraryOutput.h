#pragma once
// Writes a compiled library: the data file, the text file and the two configuration files.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/Streams.h"

namespace hv {
class TLibrary;
class TTextSegment;
}  // namespace hv

namespace hv::hvlib {

// What a build or synthesis produced, for the command line and the tests.
struct TBuildResult {
  std::string Key;
  std::string DataFile;
  std::string TextFile;
  std::string LibraryIni;
  std::string AutoIni;
  int Objects = 0;
  int Texts = 0;
  std::int64_t TextBytes = 0;
};

using TSettings = std::vector<std::pair<std::string, std::string>>;

// Collects the texts of a library into "<key>.txt" while the trees are built, then writes
// "<key>.dat" and the configuration. Every file is first written under a temporary name and only
// renamed into place once all of them are complete, so a failed build leaves OUT as it was.
class TLibraryWriter {
public:
  // Creates OUT if needed; throws EInOutError when it cannot.
  TLibraryWriter(const std::string& outDir, const std::string& key);
  ~TLibraryWriter();
  TLibraryWriter(const TLibraryWriter&) = delete;
  TLibraryWriter& operator=(const TLibraryWriter&) = delete;

  // Appends the RTF as one chunk record of one line and gives the segment a chunk pointing at it.
  void AddText(TTextSegment& segment, std::string rtf);

  // Organisation and settings are Windows-1252 already.
  TBuildResult Finish(const TLibrary& library, const std::string& organisation, const TSettings& settings);

private:
  std::string Dir;
  std::string Key;
  std::string TextTemp;
  std::unique_ptr<TFileStream> Text;
  std::vector<std::string> Temporaries;
  int TextCount = 0;
};

// "vornika32.ini" text with the library's section set to these lines: an existing section of that
// name (matched without regard to case) is replaced where it stands, other sections are kept.
std::string MergeIniSection(const std::string& existing, const std::string& section,
                            const std::vector<std::pair<std::string, std::string>>& keys);

}  // namespace hv::hvlib
