#include "cli/CheckCommand.h"

#include "cli/Command.h"

#include "cli/Errors.h"
#include "cli/ListChecker.h"
#include "cli/ProgressLine.h"
#include "cli/SystemIo.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <memory>

namespace kestrino::cli {
namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;

std::string Counted(std::uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

class CheckCommand final : public Command {
public:
    void Declare(CLI::App& command) override {
        command.add_option("FILE", options_.files, "lists to check; standard input when none or -");
    }
    ExitCode Run() override { return RunCheck(options_); }

private:
    CheckOptions options_;
};

}  // namespace

std::unique_ptr<Command> MakeCheckCommand() { return std::make_unique<CheckCommand>(); }

ExitCode RunCheck(const CheckOptions& options) {
    std::vector<std::string> names = options.files;
    if (names.empty()) names.emplace_back("-");
    std::uint64_t total = 0;
    for (const std::string& name : names) total += RegularFileSize(name);

    ListChecker checker;
    bool unreadable = false;
    {
        ProgressLine progress(total, StandardErrorIsTerminal());
        const std::unique_ptr<char[]> buffer(new char[kBlock]);
        std::uint64_t done = 0;
        for (const std::string& name : names) {
            checker.BeginFile(name == "-" ? "<stdin>" : name);
            try {
                InputFile file(name);
                while (const std::size_t n = file.Read(buffer.get(), kBlock)) {
                    checker.Feed(std::string_view(buffer.get(), n));
                    done += n;
                    progress.Update(done, checker.Lines());
                }
            } catch (const EReadError& e) {
                progress.Clear();
                WriteStandardError("kestrino-cli: " + WithFinalPeriod(e.Message()) + std::string(kNewline));
                unreadable = true;
            }
            checker.EndFile();
        }
    }
    StandardOutput out;
    const std::uint64_t problems = checker.Report(out);
    WriteStandardError(Counted(checker.Imeis(), "IMEI", "IMEIs") + ", " + Counted(problems, "problem", "problems") +
                       std::string(kNewline));
    if (unreadable) return ExitCode::kUsage;
    return problems > 0 ? ExitCode::kFailed : ExitCode::kDone;
}

std::vector<std::string> ProblemClassNames() { return {}; }

}  // namespace kestrino::cli
