#pragma once
// The read-only configuration files: "vornika32.ini" (one section per library) and "vornika.ini".
//
// A file is looked for, first found wins, in: $HARROWVANE_CONFIG_DIR, the current directory, the
// program's directory, $XDG_CONFIG_HOME/harrowvane (default ~/.config/harrowvane), then each
// directory of $XDG_CONFIG_DIRS followed by /harrowvane (default /etc/xdg/harrowvane). Section and
// key names match without regard to ASCII case; the first occurrence wins.
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hv {

inline constexpr const char* kLibraryIniName = "vornika32.ini";
inline constexpr const char* kAutoIniName = "vornika.ini";

// A parsed profile file. Lines are "[section]", "key=value", or comments starting with ';' or '#'.
class TIniFile {
public:
  // Reads at most 4 MB; a file that cannot be read gives an empty profile.
  static TIniFile Load(const std::string& fileName);
  static TIniFile Parse(std::string_view text);

  std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue = {}) const;
  bool HasSection(std::string_view section) const;
  std::vector<std::string> Sections() const;
  const std::string& FileName() const { return Path; }

private:
  struct TSection {
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Keys;
  };
  const TSection* FindSection(std::string_view section) const;
  std::vector<TSection> SectionList;
  std::string Path;
};

// The directory of the running program; set once at start-up.
void SetProgramDirectory(const std::string& dir);
const std::string& ProgramDirectory();

std::vector<std::string> ConfigSearchPath();
// The full name of the first configuration file of that name on the search path, if any.
std::optional<std::string> FindConfigFile(const std::string& name);

// A value from a configuration file found on the search path; the default when there is none.
std::string ReadProfileString(const std::string& fileName, std::string_view section, std::string_view key,
                              std::string_view defaultValue = {});

struct TLibraryFiles {
  std::string TextFilename;
  std::string LibFilename;
};

// The two files of a library. A relative name is taken from the current directory; when it is not
// there, from the directory of the configuration file that named it.
TLibraryFiles LookupLibraryFiles(const std::string& subject);

}  // namespace hv
