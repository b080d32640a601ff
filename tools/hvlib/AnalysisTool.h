#pragma once
// The class-records commands of the tool, for a school office working without the windows: they
// run the same student list import, save and workbook code as the program.
#include <ostream>
#include <string>
#include <vector>

namespace hv::hvlib {

// "students", "marksheet" or "fileindex" with their arguments; returns the exit status, or -1
// when the command is not one of these. Errors are reported on err.
int RunAnalysisCommand(const std::string& command, std::vector<std::string> args, std::ostream& out,
                       std::ostream& err);

}  // namespace hv::hvlib
