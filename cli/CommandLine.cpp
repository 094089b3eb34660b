#include "cli/CommandLine.h"

#include "cli/Command.h"
#include "cli/Errors.h"
#include "cli/SystemIo.h"
#include "cli/ledger/LedgerStore.h"
#include "core/Exception.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <new>
#include <string>
#include <vector>

namespace kestrino::cli {
namespace {

// In the manner of a tool table: the name, what it does, and how it is made.
constexpr CommandEntry kCommands[] = {
    {"list", "Write a header row and one row of IMEIs per device, from FIRST on: text, csv or xlsx.",
     &MakeListCommand},
    {"last", "Print the bodies of the last device's row of the list the same arguments name.", &MakeLastCommand},
    {"check", "Check received lists and exports (text or csv, UTF-8 or UTF-16): every problem of a cell as FILE:LINE: message.",
     &MakeCheckCommand},
    {"ledger", "The allocation ledger: init, add-tac, record, show, export, reconcile.", &MakeLedgerCommand},
    {"allocate", "Take the lowest free serials from the ledger, record them and write their list.", &MakeAllocateCommand},
};

std::string Lines(std::string text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out += kNewline;
        } else {
            out += c;
        }
    }
    return out;
}

// A usage error quotes the arguments it did not expect: a ledger's URI among
// them is shown without its password.
std::string WithoutPasswords(const std::string& text) {
    std::string shown;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find_first_of(" \t\r\n", start);
        if (end == std::string::npos) end = text.size();
        shown += ledger::ShownLocation(text.substr(start, end - start));
        if (end < text.size()) shown += text[end];
        start = end + 1;
    }
    return shown;
}

ExitCode Fail(std::string_view message) {
    WriteStandardError("kestrino-cli: " + WithFinalPeriod(message) + std::string(kNewline));
    return ExitCode::kFailed;
}

// Help and version text; a standard output that cannot take it fails like any other write.
ExitCode Print(std::string_view text) {
    try {
        StandardOutput().Write(text);
        return ExitCode::kDone;
    } catch (const EStreamError& e) {
        return Fail(e.Message());
    }
}

ExitCode Run(int argc, const char* const* argv) {
    CLI::App app("Kestrino's lists of IMEI numbers from the command line.", "kestrino-cli");
    app.set_version_flag("--version", "kestrino-cli " KESTRINO_VERSION_TEXT);
    app.require_subcommand(1);
    app.footer(
        "Exit codes: 0 done; 1 an error, or problems found by check; 2 a usage error or an unreadable list; "
        "130 interrupted.");

    struct Declared {
        CLI::App* subcommand;
        std::unique_ptr<Command> command;
    };
    std::vector<Declared> declared;
    for (const CommandEntry& entry : kCommands) {
        Declared d{app.add_subcommand(entry.name, entry.description), entry.make()};
        d.command->Declare(*d.subcommand);
        declared.push_back(std::move(d));
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return Print(Lines(app.help()));
    } catch (const CLI::CallForAllHelp&) {
        return Print(Lines(app.help("", CLI::AppFormatMode::All)));
    } catch (const CLI::CallForVersion& e) {
        return Print(e.what() + std::string(kNewline));
    } catch (const CLI::ParseError& e) {
        WriteStandardError("kestrino-cli: " + WithoutPasswords(e.what()) + std::string(kNewline) + Lines(app.help()));
        return ExitCode::kUsage;
    }

    try {
        for (Declared& d : declared) {
            if (d.subcommand->parsed()) return d.command->Run();
        }
        return ExitCode::kUsage;
    } catch (const EInterrupted& e) {
        Fail(e.Message());
        return ExitCode::kInterrupted;
    } catch (const Exception& e) {
        return Fail(e.Message());
    } catch (const std::bad_alloc&) {
        return Fail("Out of memory");
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

}  // namespace

int RunCommandLine(int argc, const char* const* argv) { return static_cast<int>(Run(argc, argv)); }

}  // namespace kestrino::cli
