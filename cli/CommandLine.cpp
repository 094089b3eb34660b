#include "cli/CommandLine.h"

#include "cli/CheckCommand.h"
#include "cli/Errors.h"
#include "cli/ListCommand.h"
#include "cli/SystemIo.h"
#include "core/Exception.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <new>
#include <string>
#include <vector>

namespace kestrino::cli {
namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kInterrupted = 130;

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

int Fail(std::string_view message) {
    WriteStandardError("kestrino-cli: " + WithFinalPeriod(message) + std::string(kNewline));
    return kFailed;
}

}  // namespace

int RunCommandLine(int argc, const char* const* argv) {
    CLI::App app("Kestrino's lists of IMEI numbers from the command line.", "kestrino-cli");
    app.set_version_flag("--version", "kestrino-cli " KESTRINO_VERSION_TEXT);
    app.require_subcommand(1);
    app.footer(
        "Exit codes: 0 done; 1 an error, or problems found by check; 2 a usage error or an unreadable list; "
        "130 interrupted.");

    ListRequest list;
    CLI::App* listCommand = app.add_subcommand(
        "list", "Write the header IMEI and QUANTITY IMEIs from the 14-digit body FIRST on, each line ended by CR LF.");
    listCommand->add_option("FIRST", list.first, "the first body, for example 35851102000002")->required();
    listCommand->add_option("QUANTITY", list.quantity, "the number of IMEIs; 0 or less writes the header alone")->required();
    std::string outputPath;
    CLI::Option* output =
        listCommand->add_option("-o,--output", outputPath, "write into FILE, replaced only once the whole list is written")
            ->type_name("FILE");
    listCommand->add_flag("--lf", list.lf, "end lines with LF instead of CR LF");

    std::string lastFirst;
    std::string lastQuantity;
    CLI::App* lastCommand = app.add_subcommand("last", "Print the last body of the range of QUANTITY bodies from FIRST.");
    lastCommand->add_option("FIRST", lastFirst, "the first body")->required();
    lastCommand->add_option("QUANTITY", lastQuantity, "the number of bodies")->required();

    std::vector<std::string> files;
    CLI::App* checkCommand = app.add_subcommand(
        "check", "Check lists: report lines that are not IMEIs, wrong check digits and repeated IMEIs as FILE:LINE: message.");
    checkCommand->add_option("FILE", files, "lists to check; standard input when none or -");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        StandardOutput().Write(Lines(app.help()));
        return kDone;
    } catch (const CLI::CallForAllHelp&) {
        StandardOutput().Write(Lines(app.help("", CLI::AppFormatMode::All)));
        return kDone;
    } catch (const CLI::CallForVersion& e) {
        StandardOutput().Write(e.what() + std::string(kNewline));
        return kDone;
    } catch (const CLI::ParseError& e) {
        WriteStandardError("kestrino-cli: " + std::string(e.what()) + std::string(kNewline) + Lines(app.help()));
        return kUsage;
    }

    try {
        if (listCommand->parsed()) {
            if (output->count() > 0) list.output = outputPath;
            WriteList(list);
        } else if (lastCommand->parsed()) {
            WriteLast(lastFirst, lastQuantity);
        } else {
            return CheckLists(files);
        }
        return kDone;
    } catch (const EInterrupted& e) {
        Fail(e.Message());
        return kInterrupted;
    } catch (const Exception& e) {
        return Fail(e.Message());
    } catch (const std::bad_alloc&) {
        return Fail("Out of memory");
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}

}  // namespace kestrino::cli
