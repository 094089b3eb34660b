// `ledger` with its subcommands, and `allocate`.

#include "cli/CheckCommand.h"
#include "cli/Command.h"
#include "cli/SystemIo.h"
#include "cli/ledger/Ledger.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <vector>

namespace kestrino::cli {
namespace {

using ledger::Allocation;
using ledger::Ledger;

void Say(const std::string& line) { StandardOutput().Write(line + std::string(kNewline)); }

std::string Described(const Allocation& a) {
    return (a.state == "recorded" ? "range " : "allocation ") + std::to_string(a.id) + ": " + std::to_string(a.count) + " IMEIs, " +
           ledger::ImeiOfBody(a.first) + " to " + ledger::ImeiOfBody(a.Last());
}

// --ledger LOCATION, or KESTRINO_LEDGER.
void DeclareLocation(CLI::App& command, std::string& location) {
    command
        .add_option("--ledger", location,
                    "the ledger: a SQLite file, or a postgresql:// URI (libpq's environment and password file apply)")
        ->envname("KESTRINO_LEDGER")
        ->type_name("LOCATION")
        ->required();
}

std::optional<std::string> Given(CLI::Option* option, const std::string& value) {
    if (option->count() == 0) return std::nullopt;
    return value;
}

class LedgerCommand final : public Command {
public:
    void Declare(CLI::App& command) override {
        command.require_subcommand(1);
        command.fallthrough();
        DeclareLocation(command, location_);

        CLI::App* init = Add(command, "init", "Create the ledger's schema, or say that it exists; upgrades an older one.",
                             [this] {
                                 Ledger ledger(location_, true);
                                 Say(ledger.Init());
                                 return ExitCode::kDone;
                             });
        (void)init;

        CLI::App* addTac = Add(command, "add-tac", "Register a block of serials of a TAC (the whole TAC by default).",
                               [this] {
                                   Ledger ledger(location_, false);
                                   const ledger::Block b = ledger.AddTac(tac_, Given(serials_, serialsText_), note_);
                                   Say("block " + std::to_string(b.id) + ": TAC " + b.tac + " registered");
                                 return ExitCode::kDone;
                               });
        addTac->add_option("TAC", tac_, "the 8-digit Type Allocation Code")->required();
        serials_ = addTac->add_option("--serials", serialsText_, "the serials owned, 000000-999999 by default")
                       ->type_name("FROM-TO");
        addTac->add_option("--note", note_, "a note kept with the block")->type_name("TEXT");

        CLI::App* record = Add(command, "record", "Record a range issued before or elsewhere, so that it is never issued again.",
                               [this] {
                                   Ledger ledger(location_, false);
                                   Say("recorded " + Described(ledger.Record(first_, count_, order_, note_)));
                                 return ExitCode::kDone;
                               });
        record->add_option("FIRST", first_, "the 14-digit body of the range's first IMEI")->required();
        record->add_option("COUNT", count_, "the number of IMEIs")->required();
        record->add_option("--order", order_, "the order it was issued for")->type_name("ID");
        record->add_option("--note", note_, "a note kept with it")->type_name("TEXT");

        CLI::App* show = Add(command, "show", "Show each block with its serials issued and free, and each allocation.",
                             [this] {
                                 Ledger ledger(location_, false);
                                 StandardOutput out;
                                 ledger.Show(Given(showTac_, tac_), json_, out);
                                 return ExitCode::kDone;
                             });
        showTac_ = show->add_option("--tac", tac_, "only this TAC");
        show->add_flag("--json", json_, "JSON Lines: one {\"block\": ...} or {\"allocation\": ...} a line");

        CLI::App* exportList = Add(command, "export", "Write an allocation's list again, byte for byte the first one.",
                                   [this] {
                                       Ledger ledger(location_, false);
                                       Say("exported " + Described(ledger.Export(id_, output_)));
                                 return ExitCode::kDone;
                                   });
        exportList->add_option("ID", id_, "the allocation's id, as `ledger show` gives it")->required();
        exportList->add_option("-o,--output", output_, "the file to write")->type_name("FILE")->required();

        CLI::App* reconcile = Add(command, "reconcile",
                                  "Check the lists a station returned against an allocation: IMEIs missing, IMEIs "
                                  "not the allocation's, repeats.",
                                  [this] {
                                      Ledger ledger(location_, false);
                                      const Allocation a = ledger.Find(id_);
                                      CheckOptions options;
                                      options.files = files_;
                                      options.expected.push_back({ledger::BodyText(a.first), std::to_string(a.count)});
                                      options.json = json_;
                                      return RunCheck(options);
                                  });
        reconcile->add_option("ID", id_, "the allocation's id")->required();
        reconcile->add_option("FILE", files_, "the lists returned; - for standard input")->required();
        reconcile->add_flag("--json", json_, "the report as JSON Lines, as check writes it");
    }

    ExitCode Run() override {
        for (const Subcommand& s : subcommands_) {
            if (s.app->parsed()) return s.run();
        }
        return ExitCode::kUsage;
    }

private:
    struct Subcommand {
        CLI::App* app;
        std::function<ExitCode()> run;
    };

    CLI::App* Add(CLI::App& command, const char* name, const char* description, std::function<ExitCode()> run) {
        CLI::App* app = command.add_subcommand(name, description);
        subcommands_.push_back({app, std::move(run)});
        return app;
    }

    std::vector<Subcommand> subcommands_;
    std::string location_;
    std::string tac_, serialsText_, note_, first_, count_, order_, id_, output_;
    std::vector<std::string> files_;
    CLI::Option* serials_ = nullptr;
    CLI::Option* showTac_ = nullptr;
    bool json_ = false;
};

class AllocateCommand final : public Command {
public:
    void Declare(CLI::App& command) override {
        DeclareLocation(command, location_);
        command.add_option("QUANTITY", request_.quantity, "the number of devices")->required();
        command.add_option("--per-device", request_.perDevice, "consecutive IMEIs per device, 1 to 4 (default 1)")
            ->type_name("N");
        tac_ = command.add_option("--tac", tacText_, "the TAC; without it, the first registered block with room");
        command.add_option("--order", request_.order, "the order the IMEIs are for")->type_name("ID");
        command.add_option("--note", request_.note, "a note kept with the allocation")->type_name("TEXT");
        svn_ = command.add_option("--svn", svnText_, "also write each IMEI's IMEISV with the software version NN, 00 to 98")
            ->type_name("NN");
        command
            .add_option("--format", [this](const CLI::results_t& values) {
                const std::string& v = values.back();
                request_.style.format = v == "csv" ? ListFormat::kCsv : v == "xlsx" ? ListFormat::kXlsx : ListFormat::kText;
                return true;
            }, "text, csv or xlsx; without it, from FILE's name (.csv, .xlsx), otherwise text")
            ->check(CLI::IsMember({"text", "csv", "xlsx"}))
            ->type_name("FORMAT");
        command.add_flag("--lf", request_.style.lf, "end rows with LF instead of CR LF (text and csv)");
        command.add_option("-o,--output", request_.output, "the list's file, replaced only by a complete list")
            ->type_name("FILE")
            ->required();
    }

    ExitCode Run() override {
        request_.tac = Given(tac_, tacText_);
        request_.style.svn = Given(svn_, svnText_);
        Ledger ledger(location_, false);
        Say(Described(ledger.Allocate(request_)));
        return ExitCode::kDone;
    }

private:
    std::string location_;
    ledger::AllocateRequest request_;
    std::string tacText_, svnText_;
    CLI::Option* tac_ = nullptr;
    CLI::Option* svn_ = nullptr;
};

}  // namespace

std::unique_ptr<Command> MakeLedgerCommand() { return std::make_unique<LedgerCommand>(); }
std::unique_ptr<Command> MakeAllocateCommand() { return std::make_unique<AllocateCommand>(); }

}  // namespace kestrino::cli
