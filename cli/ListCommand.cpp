// The commands list and last: the same arguments and the same rules.

#include "cli/Command.h"
#include "cli/ListRules.h"
#include "cli/ListWriter.h"
#include "cli/SystemIo.h"

#include <CLI/CLI.hpp>

#include <map>

namespace kestrino::cli {
namespace {

// The arguments that name the rows; list adds where and how they are written.
void DeclareRows(CLI::App& command, ListRequest& request) {
    command.add_option("FIRST", request.first, "the first body (14 digits) or the first IMEI (15 digits)")->required();
    command.add_option("QUANTITY", request.quantity, "the number of devices; 0 writes the header alone")->required();
    command.add_option("--per-device", request.perDevice, "consecutive IMEIs per device from FIRST's range, 1 to 4 (default 1)")
        ->type_name("N");
    command.add_option("--column", request.columns, "a further IMEI column from its own range starting at FIRST2 (up to three)")
        ->type_name("FIRST2")
        ->expected(1)
        ->take_all();
    command
        .add_option("--svn", [&request](const CLI::results_t& values) { request.svn = values.back(); return true; },
                    "also write each IMEI's IMEISV with the software version NN, 00 to 98")
        ->type_name("NN");
    command.add_flag("--across-tac", request.acrossTac, "let a range run on into the next TAC");
    // Reported as usage errors, with the usage, while the arguments are parsed.
    command.callback([&request] {
        try {
            CheckOptionsGoTogether(request);
        } catch (const EListUsage& e) {
            throw CLI::ValidationError(e.Message());
        }
    });
}

class ListCommand final : public Command {
public:
    void Declare(CLI::App& command) override {
        DeclareRows(command, request_);
        const std::map<std::string, ListFormat> formats{
            {"text", ListFormat::kText}, {"csv", ListFormat::kCsv}, {"xlsx", ListFormat::kXlsx}};
        command
            .add_option("--format", [this, formats](const CLI::results_t& values) {
                request_.format = formats.at(values.back());
                return true;
            }, "text, csv or xlsx; without it, from FILE's name (.csv, .xlsx), otherwise text")
            ->check(CLI::IsMember({"text", "csv", "xlsx"}))
            ->type_name("FORMAT");
        command
            .add_option("-o,--output", [this](const CLI::results_t& values) {
                request_.output = values.back();
                return true;
            }, "write into FILE, replaced only once the whole list is written")
            ->type_name("FILE");
        command.add_flag("--lf", request_.lf, "end rows with LF instead of CR LF (text and csv)");
    }
    ExitCode Run() override {
        StandardOutput out;
        WriteList(request_, out);
        return ExitCode::kDone;
    }

private:
    ListRequest request_;
};

class LastCommand final : public Command {
public:
    void Declare(CLI::App& command) override { DeclareRows(command, request_); }
    ExitCode Run() override {
        const std::string bodies = LastBodies(request_);
        if (bodies.empty()) {
            WriteStandardError("kestrino-cli: QUANTITY is 0: there is no last device." + std::string(kNewline));
        } else {
            StandardOutput().Write(bodies + std::string(kNewline));
        }
        return ExitCode::kDone;
    }

private:
    ListRequest request_;
};

}  // namespace

std::unique_ptr<Command> MakeListCommand() { return std::make_unique<ListCommand>(); }
std::unique_ptr<Command> MakeLastCommand() { return std::make_unique<LastCommand>(); }

}  // namespace kestrino::cli
