#include "model/LibraryConfig.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/Streams.h"

namespace hv {

namespace {

constexpr std::size_t kMaxIniBytes = 4 * 1024 * 1024;

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

std::string& ProgramDirStorage() {
  static std::string dir;
  return dir;
}

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return (v != nullptr && *v != '\0') ? std::string(v) : fallback;
}

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

TIniFile TIniFile::Parse(std::string_view text) {
  TIniFile ini;
  TSection* current = nullptr;
  std::size_t pos = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;  // a byte-order mark some editors add
  while (pos < text.size()) {
    auto end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      const auto close = line.find(']');
      const std::string_view name = Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
      ini.SectionList.push_back({std::string(name), {}});
      current = &ini.SectionList.back();
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos || current == nullptr) continue;
    std::string_view value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    current->Keys.emplace_back(std::string(Trim(line.substr(0, eq))), std::string(value));
  }
  return ini;
}

TIniFile TIniFile::Load(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  std::string text;
  if (in) {
    text.resize(kMaxIniBytes);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
  }
  TIniFile ini = Parse(text);
  ini.Path = fileName;
  return ini;
}

const TIniFile::TSection* TIniFile::FindSection(std::string_view section) const {
  for (const TSection& s : SectionList)
    if (EqualNoCase(s.Name, section)) return &s;
  return nullptr;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const {
  // Windows joins repeated sections; the first occurrence of a key wins.
  for (const TSection& s : SectionList) {
    if (!EqualNoCase(s.Name, section)) continue;
    for (const auto& [k, v] : s.Keys)
      if (EqualNoCase(k, key)) return v;
  }
  return std::string(defaultValue);
}

bool TIniFile::HasSection(std::string_view section) const { return FindSection(section) != nullptr; }

std::vector<std::string> TIniFile::Sections() const {
  std::vector<std::string> names;
  for (const TSection& s : SectionList) names.push_back(s.Name);
  return names;
}

void SetProgramDirectory(const std::string& dir) { ProgramDirStorage() = dir; }

const std::string& ProgramDirectory() { return ProgramDirStorage(); }

std::vector<std::string> ConfigSearchPath() {
  std::vector<std::string> dirs;
  if (const char* explicitDir = std::getenv("HARROWVANE_CONFIG_DIR"); explicitDir != nullptr && *explicitDir != '\0')
    dirs.emplace_back(explicitDir);
  dirs.emplace_back(".");
  if (!ProgramDirectory().empty()) dirs.push_back(ProgramDirectory());
  const std::string home = EnvOr("HOME", "");
  const std::string configHome = EnvOr("XDG_CONFIG_HOME", home.empty() ? std::string() : home + "/.config");
  if (!configHome.empty()) dirs.push_back(configHome + "/harrowvane");
  std::stringstream configDirs(EnvOr("XDG_CONFIG_DIRS", "/etc/xdg"));
  for (std::string dir; std::getline(configDirs, dir, ':');)
    if (!dir.empty()) dirs.push_back(dir + "/harrowvane");
  return dirs;
}

std::optional<std::string> FindConfigFile(const std::string& name) {
  for (const std::string& dir : ConfigSearchPath()) {
    const std::string path = dir + "/" + name;
    if (FileExists(path)) return path;
  }
  return std::nullopt;
}

std::string ReadProfileString(const std::string& fileName, std::string_view section, std::string_view key,
                              std::string_view defaultValue) {
  const auto path = FindConfigFile(fileName);
  if (!path) return std::string(defaultValue);
  return TIniFile::Load(*path).ReadString(section, key, defaultValue);
}

TLibraryFiles LookupLibraryFiles(const std::string& subject) {
  TLibraryFiles files;
  const auto path = FindConfigFile(kLibraryIniName);
  if (!path) return files;
  const TIniFile ini = TIniFile::Load(*path);
  const std::string base = DirectoryOf(*path);
  auto resolve = [&](std::string name) {
    if (name.empty() || name[0] == '/' || FileExists(name)) return name;
    const std::string beside = base + "/" + name;
    return FileExists(beside) ? beside : name;
  };
  files.TextFilename = resolve(ini.ReadString(subject, "TextFilename"));
  files.LibFilename = resolve(ini.ReadString(subject, "LibFilename"));
  return files;
}

}  // namespace hv
