#include "LibraryOutput.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "model/Library.h"
#include "model/LibraryConfig.h"
#include "model/Segments.h"
#include "model/TextStore.h"

namespace hv::hvlib {

namespace {

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string TrimLine(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return std::string(s.substr(first, last - first + 1));
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  TFileStream file(path, TFileStream::TMode::Create);
  file.Write(bytes.data(), bytes.size());
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string MergeIniSection(const std::string& existing, const std::string& section,
                            const std::vector<std::pair<std::string, std::string>>& keys) {
  std::string ours = "[" + section + "]\n";
  for (const auto& [k, v] : keys) ours += k + "=" + v + "\n";

  std::string out;
  bool inOurs = false;
  bool placed = false;
  std::istringstream lines(existing);
  for (std::string line; std::getline(lines, line);) {
    const std::string trimmed = TrimLine(line);
    if (!trimmed.empty() && trimmed[0] == '[') {
      const auto close = trimmed.find(']');
      const std::string name = TrimLine(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      inOurs = LowerAscii(name) == LowerAscii(section);
      if (inOurs) {
        // A repeated section is dropped as well; ours is written once, where the first one stood.
        if (!placed) out += ours;
        placed = true;
        continue;
      }
    }
    if (!inOurs) out += line + "\n";
  }
  if (!placed) {
    if (!out.empty() && !out.ends_with("\n\n")) out += "\n";
    out += ours;
  }
  return out;
}

TLibraryWriter::TLibraryWriter(const std::string& outDir, const std::string& key) : Dir(outDir), Key(key) {
  std::error_code ec;
  std::filesystem::create_directories(Dir, ec);
  if (ec || !std::filesystem::is_directory(Dir)) throw EInOutError("Cannot create the folder \"" + Dir + "\": " + ec.message());
  TextTemp = Dir + "/" + Key + ".txt.tmp";
  Text = std::make_unique<TFileStream>(TextTemp, TFileStream::TMode::Create);
  Temporaries.push_back(TextTemp);
}

TLibraryWriter::~TLibraryWriter() {
  Text.reset();
  for (const std::string& path : Temporaries) std::remove(path.c_str());
}

void TLibraryWriter::AddText(TTextSegment& segment, std::string rtf) {
  const std::int64_t offset = WriteChunkRecord(*Text, {std::move(rtf)});
  if (offset > INT32_MAX) throw EInOutError("The library text file would grow beyond 2 GB");
  auto chunk = std::make_unique<TTextChunk>();
  chunk->Offset = static_cast<std::int32_t>(offset);
  segment.SetChunk(std::move(chunk));
  ++TextCount;
}

TBuildResult TLibraryWriter::Finish(const TLibrary& library, const std::string& organisation, const TSettings& settings) {
  TBuildResult result;
  result.Key = Key;
  result.DataFile = Dir + "/" + Key + ".dat";
  result.TextFile = Dir + "/" + Key + ".txt";
  result.LibraryIni = Dir + "/" + kLibraryIniName;
  result.AutoIni = Dir + "/" + kAutoIniName;
  result.Objects = library.ObjectCount();
  result.Texts = TextCount;
  result.TextBytes = Text->Size();
  if (result.TextBytes > INT32_MAX) throw EInOutError("The library text file would grow beyond 2 GB");
  Text.reset();

  const std::string dataTemp = result.DataFile + ".tmp";
  Temporaries.push_back(dataTemp);
  {
    TFileStream data(dataTemp, TFileStream::TMode::Create);
    WriteLibraryFile(data, library, kLibraryVersion);
  }

  // The ini names the files bare: they lie beside it, and the lookup falls back to its folder.
  std::vector<std::pair<std::string, std::string>> keys = {
      {"TextFilename", Key + ".txt"}, {"LibFilename", Key + ".dat"}, {"OrganisationName", organisation}};
  keys.insert(keys.end(), settings.begin(), settings.end());
  const std::string iniTemp = result.LibraryIni + ".tmp";
  Temporaries.push_back(iniTemp);
  WriteWholeFile(iniTemp, MergeIniSection(ReadWholeFile(result.LibraryIni), Key, keys));
  const std::string autoTemp = result.AutoIni + ".tmp";
  Temporaries.push_back(autoTemp);
  WriteWholeFile(autoTemp, "[Auto]\nSubject=" + Key + "\n");

  const std::pair<std::string, std::string> renames[] = {
      {TextTemp, result.TextFile}, {dataTemp, result.DataFile}, {iniTemp, result.LibraryIni}, {autoTemp, result.AutoIni}};
  for (const auto& [from, to] : renames)
    if (std::rename(from.c_str(), to.c_str()) != 0)
      throw EInOutError("Cannot write \"" + to + "\": " + std::strerror(errno));
  Temporaries.clear();
  return result;
}

}  // namespace hv::hvlib
