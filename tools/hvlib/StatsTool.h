#pragma once
// The question statistics from the command line: importing a filled mark entry workbook as the
// Tools menu does, and printing what the store holds for a library.
#include <ostream>
#include <string>

#include "logic/QuestionStats.h"

namespace hv::hvlib {

// Imports WORKBOOK for the library LIB (a key of vornika32.ini) into store; the class is the
// workbook's name without extension unless one is given. Returns the line to print.
std::string ImportStats(const std::string& workbook, const std::string& lib, const std::string& className,
                        TStatsStore& store);

// One line per question with statistics, sorted by typed ID (only typedID's when given): the typed
// ID, the uses, the facility and the discrimination, tab-separated, the figures with three
// decimals or "-" where the imports give none. Returns how many lines were printed.
int ShowStats(TStatsStore& store, const std::string& lib, const std::string& typedID, std::ostream& out);

}  // namespace hv::hvlib
