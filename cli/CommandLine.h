#pragma once

namespace kestrino::cli {

// Runs kestrino-cli with its arguments (UTF-8, argv[0] the program) and
// returns the exit code: 0 done, 1 an error or problems found, 2 a usage
// error or an unreadable list, 130 interrupted.
int RunCommandLine(int argc, const char* const* argv);

}  // namespace kestrino::cli
