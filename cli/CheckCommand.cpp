#include "cli/CheckCommand.h"

#include "cli/CheckReport.h"
#include "cli/Errors.h"
#include "cli/ImeiValue.h"
#include "cli/ListChecker.h"
#include "cli/ProgressLine.h"
#include "cli/SystemIo.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <system_error>

namespace kestrino::cli {
namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;
constexpr std::uint64_t kBodies = 100'000'000'000'000;  // 10^14: every 14-digit body

// An option that cannot be used: the reason, for "kestrino-cli: <reason>."
struct BadOption {
    std::string reason;
};

bool Number(std::string_view text) { return !text.empty() && AllDigits(text); }

char DelimiterOf(const std::string& text) {
    if (text.empty()) return '\0';
    if (text == "," || text == ";" || text == "\t") return text[0];
    if (text == "tab") return '\t';
    throw BadOption{"--delimiter: '" + text + "' is not , ; or tab"};
}

BodyRange RangeOf(const ExpectedRange& range) {
    std::uint64_t body = 0;
    if (Number(range.first) && range.first.size() == kImeiBodyDigits) {
        body = DigitsValue(range.first);
    } else if (Number(range.first) && range.first.size() == kImeiDigits && HasRightCheckDigit(DigitsValue(range.first))) {
        body = DigitsValue(range.first) / 10;
    } else {
        throw BadOption{"--expect: '" + range.first + "' is neither a 14-digit body nor a 15-digit IMEI"};
    }
    if (!Number(range.count) || range.count.size() > 15 || DigitsValue(range.count) == 0 ||
        DigitsValue(range.count) > kBodies - body) {
        throw BadOption{"--expect: '" + range.count + "' is not a count of IMEIs from " + range.first};
    }
    return {body, body + DigitsValue(range.count) - 1};
}

void Classes(const std::vector<std::string>& lists, const char* option, Severity severity, CheckSettings& settings) {
    for (const std::string& list : lists) {
        std::size_t start = 0;
        while (start <= list.size()) {
            const std::size_t comma = std::min(list.find(',', start), list.size());
            const std::string name = list.substr(start, comma - start);
            const auto known = std::find(kProblemClassNames.begin(), kProblemClassNames.end(), name);
            if (known == kProblemClassNames.end()) {
                std::string names;
                for (const std::string_view n : kProblemClassNames) names += (names.empty() ? "" : ", ") + std::string(n);
                throw BadOption{std::string(option) + ": '" + name + "' is not a class of problems; the classes are " + names};
            }
            Severity& s = settings.severity[static_cast<std::size_t>(known - kProblemClassNames.begin())];
            if (s != Severity::kError && s != severity) {
                throw BadOption{"'" + name + "' is given to both --warn and --ignore"};
            }
            s = severity;
            start = comma + 1;
        }
    }
}

CheckSettings SettingsOf(const CheckOptions& options) {
    CheckSettings settings;
    settings.delimiter = DelimiterOf(options.delimiter);
    for (const std::string& column : options.columns) {
        if (Number(column)) {
            if (column.size() > 9 || DigitsValue(column) == 0) throw BadOption{"--column: '" + column + "' is no column"};
            settings.columns.push_back({static_cast<std::size_t>(DigitsValue(column)), {}});
        } else {
            settings.columns.push_back({0, column});
        }
    }
    for (const ExpectedRange& range : options.expected) settings.expected.push_back(RangeOf(range));
    for (const std::string& tac : options.tacs) {
        if (!Number(tac) || tac.size() != 8) throw BadOption{"--tac: '" + tac + "' is not 8 digits"};
        settings.tacs.push_back(DigitsValue(tac));
    }
    Classes(options.warn, "--warn", Severity::kWarning, settings);
    Classes(options.ignore, "--ignore", Severity::kIgnored, settings);
    return settings;
}

// What names a file: the same file by two names counts once.
std::string IdentityOf(const std::string& name) {
    if (name == "-") return name;
    std::error_code error;
    const std::filesystem::path canonical =
        std::filesystem::weakly_canonical(std::filesystem::path(std::u8string(name.begin(), name.end())), error);
    if (error) return name;
    const std::u8string text = canonical.u8string();
    return std::string(text.begin(), text.end());
}

void Say(const std::string& message) { WriteStandardError("kestrino-cli: " + WithFinalPeriod(message) + std::string(kNewline)); }

class CheckCommand final : public Command {
public:
    void Declare(CLI::App& command) override {
        command.add_option("FILE", options_.files, "lists to check; standard input when none or -");
        command.add_option("--column", options_.columns, "check this column (its name or number; repeatable) instead of those the header names")
            ->type_name("NAME|NUMBER");
        command.add_option("--delimiter", options_.delimiter, "the cells' delimiter: , ; or tab (found from the first row when not given)")
            ->type_name("D");
        command.add_option("--expect", expected_, "COUNT IMEIs from FIRST (a 14-digit body or a 15-digit IMEI) are expected (repeatable)")
            ->type_name("FIRST COUNT")
            ->expected(2)
            ->take_all();
        command.add_option("--tac", options_.tacs, "IMEIs of this 8-digit TAC are expected (repeatable)")->type_name("TAC");
        command.add_option("--warn", options_.warn, "report these classes as warnings (CLASS,...)")->type_name("CLASS,...");
        command.add_option("--ignore", options_.ignore, "do not report these classes (CLASS,...)")->type_name("CLASS,...");
        command.add_flag("--json", options_.json, "JSON Lines on standard output: one object a problem, then a summary");
    }
    ExitCode Run() override {
        // CLI11 hands over the pairs one after the other, and lets a last one come alone.
        if (expected_.size() % 2 != 0) {
            Say("--expect takes two values, FIRST and COUNT: '" + expected_.back() + "' has no COUNT");
            return ExitCode::kUsage;
        }
        for (std::size_t i = 0; i + 1 < expected_.size(); i += 2) options_.expected.push_back({expected_[i], expected_[i + 1]});
        return RunCheck(options_);
    }

private:
    CheckOptions options_;
    std::vector<std::string> expected_;
};

}  // namespace

std::unique_ptr<Command> MakeCheckCommand() { return std::make_unique<CheckCommand>(); }

std::vector<std::string> ProblemClassNames() { return {kProblemClassNames.begin(), kProblemClassNames.end()}; }

ExitCode RunCheck(const CheckOptions& options) {
    CheckSettings settings;
    try {
        settings = SettingsOf(options);
    } catch (const BadOption& bad) {
        Say(bad.reason);
        return ExitCode::kUsage;
    }
    std::vector<std::string> names = options.files;
    if (names.empty()) names.emplace_back("-");
    std::vector<std::string> seen;
    std::vector<std::string> distinct;
    for (const std::string& name : names) {
        const std::string identity = IdentityOf(name);
        if (std::find(seen.begin(), seen.end(), identity) != seen.end()) {
            Say("warning: " + (name == "-" ? std::string("standard input") : name) + " is named twice: it is read once");
            continue;
        }
        seen.push_back(identity);
        distinct.push_back(name);
    }
    std::uint64_t total = 0;
    for (const std::string& name : distinct) total += RegularFileSize(name);

    ListChecker checker(std::move(settings));
    bool unreadable = false;
    {
        ProgressLine progress(total, StandardErrorIsTerminal());
        const std::unique_ptr<char[]> buffer(new char[kBlock]);
        std::uint64_t done = 0;
        for (const std::string& name : distinct) {
            const std::string shown = name == "-" ? "<stdin>" : name;
            checker.BeginFile(shown);
            try {
                InputFile file(name);
                while (const std::size_t n = file.Read(buffer.get(), kBlock)) {
                    checker.Feed(std::string_view(buffer.get(), n));
                    done += n;
                    progress.Update(done, checker.Lines());
                }
            } catch (const EReadError& e) {
                progress.Clear();
                Say(e.Message());
                checker.DropFile();
                unreadable = true;
                continue;
            }
            if (const std::optional<std::string> fault = checker.EndFile()) {
                progress.Clear();
                Say(EReadError(shown, *fault).Message());
                unreadable = true;
            }
        }
    }
    checker.Finish();
    StandardOutput out;
    const ReportCounts counts = WriteReport(checker, options.json, out);
    if (options.json) out.Write(JsonSummary(checker, counts));
    WriteStandardError(SummaryLine(checker, counts) + std::string(kNewline));
    if (unreadable) return ExitCode::kUsage;
    return counts.errors > 0 ? ExitCode::kFailed : ExitCode::kDone;
}

}  // namespace kestrino::cli
