#pragma once

// The commands of kestrino-cli, as one table: each declares its arguments on
// its own CLI11 subcommand and runs with them once they are parsed.

#include <memory>

namespace CLI {
class App;
}

namespace kestrino::cli {

// What the program returns; the help's footer describes the same codes.
enum class ExitCode : int {
    kDone = 0,          // done; for check, no problem found
    kFailed = 1,        // an error, or check found problems
    kUsage = 2,         // a usage error, or check could not read a list
    kInterrupted = 130, // Ctrl+C while writing a file
};

class Command {
public:
    virtual ~Command() = default;
    // Declares the arguments on the command's subcommand; their values live in the command.
    virtual void Declare(CLI::App& command) = 0;
    // Runs after a successful parse. Errors are thrown as Exception (EInterrupted for Ctrl+C).
    virtual ExitCode Run() = 0;
};

struct CommandEntry {
    const char* name;
    const char* description;
    std::unique_ptr<Command> (*make)();
};

// The table's entries, each defined beside its command's code.
std::unique_ptr<Command> MakeListCommand();
std::unique_ptr<Command> MakeLastCommand();
std::unique_ptr<Command> MakeCheckCommand();
std::unique_ptr<Command> MakeLedgerCommand();
std::unique_ptr<Command> MakeAllocateCommand();

}  // namespace kestrino::cli
