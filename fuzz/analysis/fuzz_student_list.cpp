// Reads the input as a student list (.ptx or .csv, one rule for both). Whatever is read must be
// written back so that reading the result gives the same students again.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "StudentList.h"

using namespace hv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const TStudentListText list = ParseStudentList(text, 200);
  if (list.Students.size() > 200) std::abort();
  for (const TStudent& s : list.Students)
    for (const std::string& field : s)
      if (field.find_first_of("\r\n") != std::string::npos) std::abort();

  // Writing stops at the first student without a surname; the rest must come back unchanged.
  const TStudentListText again = ParseStudentList(FormatStudentList(list.Students), 200);
  std::size_t kept = 0;
  while (kept < list.Students.size() && !list.Students[kept][0].empty()) ++kept;
  if (again.Students.size() != kept) std::abort();
  for (std::size_t i = 0; i < kept; ++i)
    if (again.Students[i] != list.Students[i]) std::abort();
  return 0;
}
