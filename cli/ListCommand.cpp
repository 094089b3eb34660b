#include "cli/ListCommand.h"

#include "cli/Command.h"

#include "cli/Interrupt.h"
#include "cli/ListPipeline.h"
#include "cli/ProgressLine.h"
#include "cli/SafeFile.h"
#include "cli/SystemIo.h"
#include "core/ImeiList.h"
#include "core/NumberText.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdint>

namespace kestrino::cli {
namespace {

class DiscardingSink final : public ProgressSink {
public:
    void AddLine(std::string_view) override {}
    void LinesDone(std::int32_t) override {}
};

// The core raises the same errors for the first line that a full run would:
// running that one line first finds a bad text or body before any output.
void CheckFirstBody(std::string_view first, std::int32_t quantity) {
    DiscardingSink nothing;
    BuildImeiList(first, std::min(quantity, std::int32_t{1}), nothing);
}

class ListCommand final : public Command {
public:
    void Declare(CLI::App& command) override {
        command.add_option("FIRST", request_.first, "the first body, for example 35851102000002")->required();
        command.add_option("QUANTITY", request_.quantity, "the number of IMEIs; 0 or less writes the header alone")
            ->required();
        output_ = command.add_option("-o,--output", outputPath_, "write into FILE, replaced only once the whole list is written")
                      ->type_name("FILE");
        command.add_flag("--lf", request_.lf, "end lines with LF instead of CR LF");
    }
    ExitCode Run() override {
        if (output_->count() > 0) request_.output = outputPath_;
        WriteList(request_);
        return ExitCode::kDone;
    }

private:
    ListRequest request_;
    std::string outputPath_;
    CLI::Option* output_ = nullptr;
};

class LastCommand final : public Command {
public:
    void Declare(CLI::App& command) override {
        command.add_option("FIRST", first_, "the first body")->required();
        command.add_option("QUANTITY", quantity_, "the number of bodies")->required();
    }
    ExitCode Run() override {
        WriteLast(first_, quantity_);
        return ExitCode::kDone;
    }

private:
    std::string first_;
    std::string quantity_;
};

}  // namespace

std::unique_ptr<Command> MakeListCommand() { return std::make_unique<ListCommand>(); }
std::unique_ptr<Command> MakeLastCommand() { return std::make_unique<LastCommand>(); }

void WriteList(const ListRequest& request) {
    TextToInt64(request.first);  // its error before the quantity's
    const std::int32_t quantity = TextToInt(request.quantity);
    CheckFirstBody(request.first, quantity);
    const std::string_view lineEnd = request.lf ? "\n" : "\r\n";
    const std::uint64_t total = quantity > 0 ? static_cast<std::uint64_t>(quantity) : 0;

    if (!request.output) {
        // A progress line among list lines on the same screen would garble both.
        ProgressLine progress(total, StandardErrorIsTerminal() && !StandardOutputIsTerminal());
        StandardOutput out;
        WriteListLines(request.first, quantity, lineEnd, out, progress);
        return;
    }

    InterruptGuard guard;
    ProgressLine progress(total, StandardErrorIsTerminal());
    SafeFile file(*request.output);
    WriteListLines(request.first, quantity, lineEnd, file, progress);
    file.Commit();
}

void WriteLast(std::string_view first, std::string_view quantity) {
    TextToInt64(first);  // its error before the quantity's
    std::string text = LastImei14(first, TextToInt(quantity));
    text += kNewline;
    StandardOutput().Write(text);
}

}  // namespace kestrino::cli
