#include "logic/RecentTests.h"

#include <algorithm>

#include "logic/UserFolders.h"

namespace hv {

namespace {
constexpr std::size_t kMaxListBytes = 64 * 1024;
constexpr std::size_t kMaxPath = 4096;
}  // namespace

std::string TRecentTests::DefaultFileName() { return UserConfigFolder() + "/recent-tests"; }

TRecentTests::TRecentTests(std::string fileName) : FileName(std::move(fileName)) {
  std::string text;
  if (!ReadSmallFile(FileName, kMaxListBytes, text)) return;
  std::size_t start = 0;
  while (start < text.size() && List.size() < kMaxFiles) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    // Only absolute paths without control characters are names this program wrote.
    const bool sound = !line.empty() && line[0] == '/' && line.size() <= kMaxPath &&
                       std::none_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    if (sound && std::find(List.begin(), List.end(), line) == List.end()) List.push_back(std::move(line));
  }
}

void TRecentTests::Add(const std::string& path) {
  if (path.empty() || path[0] != '/' || path.find('\n') != std::string::npos) return;
  List.erase(std::remove(List.begin(), List.end(), path), List.end());
  List.insert(List.begin(), path);
  if (List.size() > kMaxFiles) List.resize(kMaxFiles);
  Save();
}

void TRecentTests::Remove(const std::string& path) {
  const auto it = std::remove(List.begin(), List.end(), path);
  if (it == List.end()) return;
  List.erase(it, List.end());
  Save();
}

void TRecentTests::Save() const {
  const auto slash = FileName.find_last_of('/');
  if (slash != std::string::npos && slash > 0) MakeFolders(FileName.substr(0, slash));
  std::string text;
  for (const std::string& path : List) text += path + '\n';
  WriteFileAtomically(FileName, text);
}

}  // namespace hv
