// Parses the input as a profile file; lookups must ignore the case of section and key names.
#include <cstdint>
#include <cstdlib>

#include "FuzzModel.h"
#include "model/LibraryConfig.h"

using namespace hv;

namespace {

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

void WriteSeeds(const std::string& dir) {
  const std::string ini =
      "; libraries\r\n[Physics]\r\nTextFilename=phys.txt\r\nLibFilename = \"phys.dat\"\r\n"
      "OrganisationName=Harrowvane School\r\n# other\r\n[Auto]\r\nSubject=Physics\r\n";
  fuzz::WriteSeed(dir, "two_sections", fuzz::TBytes(ini.begin(), ini.end()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MaybeWriteSeeds(WriteSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const TIniFile ini = TIniFile::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const std::string& section : ini.Sections()) {
    if (!ini.HasSection(section) || !ini.HasSection(Upper(section))) std::abort();
    for (const char* key : {"TextFilename", "LibFilename", "OrganisationName"}) {
      const std::string value = ini.ReadString(section, key, "\x01");
      if (ini.ReadString(Upper(section), Upper(key), "\x01") != value) std::abort();
    }
  }
  return 0;
}
