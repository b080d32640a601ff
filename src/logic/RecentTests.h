#pragma once
// The tests a teacher opened or saved lately.
#include <cstddef>
#include <string>
#include <vector>

namespace hv {

// The last tests opened or saved, most recent first, kept one full path a line in a file of the
// user's configuration folder (never in the library's ini files). A damaged or foreign file gives
// an empty or shorter list; a list that cannot be written stays right for this run.
class TRecentTests {
public:
  static constexpr std::size_t kMaxFiles = 8;

  // The list's file in the configuration folder.
  static std::string DefaultFileName();

  explicit TRecentTests(std::string fileName);

  const std::vector<std::string>& Files() const { return List; }
  // Puts a test first (once) and writes the list.
  void Add(const std::string& path);
  void Remove(const std::string& path);

private:
  void Save() const;

  std::string FileName;
  std::vector<std::string> List;
};

}  // namespace hv
