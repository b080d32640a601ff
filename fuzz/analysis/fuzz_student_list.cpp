// Reads the input as a student list (.ptx or .csv, one rule for both). Whatever is read must be
// written back so that reading the result gives the same students again, in whichever encoding
// the writer chose.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "StudentList.h"

using namespace hv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const TStudentListText list = ParseStudentList(DecodeListText(bytes), 200);
  if (list.Students.size() > 200) std::abort();
  for (const TStudent& s : list.Students) {
    if (!HasText(s)) std::abort();
    for (const std::string& field : s)
      if (field.find_first_of("\r\n") != std::string::npos) std::abort();
  }
  // Every student goes out and comes back, none lost and none changed.
  const TStudentListText again = ParseStudentList(DecodeListText(EncodeListText(FormatStudentList(list.Students))), 200);
  if (again.Students != list.Students) std::abort();
  return 0;
}
