#pragma once

#include "cli/ProgressLine.h"
#include "cli/SystemIo.h"
#include "core/ImeiList.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace kestrino::cli {

// The sink of a list run: each line and its line end go into one large
// buffer, which reaches the output a megabyte at a time; a system call per
// line would cost more than making the line.
class LineWriter final : public ProgressSink {
public:
    LineWriter(ByteOutput& output, std::string_view lineEnd, ProgressLine& progress);

    void AddLine(std::string_view line) override;
    void LinesDone(std::int32_t count) override;
    // Writes what the buffer holds; the run's lines are all out after it.
    void Flush();

private:
    static constexpr std::size_t kCapacity = std::size_t{1} << 20;

    ByteOutput& output_;
    char lineEnd_[2];
    std::size_t lineEndSize_;
    ProgressLine& progress_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

}  // namespace kestrino::cli
