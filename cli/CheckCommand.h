#pragma once

#include "cli/Command.h"

#include <string>
#include <vector>

namespace kestrino::cli {

// `kestrino-cli check`: checks the lists (standard input for none or "-"),
// writes the reports to standard output and "N IMEIs, M problems" to standard
// error. Returns kDone without problems, kFailed with, kUsage when a list
// could not be read (its name and the system's reason go to standard error).
ExitCode CheckLists(std::vector<std::string> names);

}  // namespace kestrino::cli
