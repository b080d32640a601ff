#pragma once
// Part names inside a workbook package (a zip of XML parts), shared by the writer that patches our
// templates and the reader of workbooks other programs saved.
#include <string>
#include <string_view>
#include <vector>

namespace hv {

// Joins a relationship target to the folder of the part that names it ("xl/"), resolving "." and
// ".."; a target starting with "/" is taken from the package root.
inline std::string ResolvePart(std::string_view folder, std::string_view target) {
  const std::string path = !target.empty() && target[0] == '/' ? std::string(target.substr(1))
                                                              : std::string(folder) + std::string(target);
  std::vector<std::string> segments;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    const std::string segment = path.substr(start, slash - start);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    start = slash + 1;
  }
  std::string joined;
  for (const auto& s : segments) joined += (joined.empty() ? "" : "/") + s;
  return joined;
}

}  // namespace hv
