#pragma once

#include <string>
#include <vector>

namespace kestrino::cli {

// `kestrino-cli check`: checks the lists (standard input for none or "-"),
// writes the reports to standard output and "N IMEIs, M problems" to standard
// error. Returns the exit code: 0 without problems, 1 with, 2 when a list
// could not be read (its name and the system's reason go to standard error).
int CheckLists(std::vector<std::string> names);

}  // namespace kestrino::cli
