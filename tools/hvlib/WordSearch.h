#pragma once
// hvlib search: the program's word index and word criterion from the command line.
#include <ostream>
#include <string>
#include <vector>

namespace hv::hvlib {

// "search LIB [--in q,m,e,n] WORDS..." prints the typed IDs of the matching questions, best
// first, one a line; "search --index LIB" builds or refreshes the index and prints its size and
// the time taken. args follow the word "search". Answers the exit status: 0 found (or indexed),
// 1 nothing found, 2 a usage error (reported on err).
int SearchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace hv::hvlib
