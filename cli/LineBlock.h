#pragma once

#include "core/ImeiList.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace kestrino::cli {

// The sink of one stretch of a list run: each line and its line end appended
// to one block of memory, to be written out in one piece. Copying a line is a
// few moves; a system call or a general memcpy call per line would cost more
// than making the line.
class LineBlock final : public ProgressSink {
public:
    // Room for about `lines` lines; longer runs or lines make it grow.
    LineBlock(std::size_t lines, std::string_view lineEnd);

    // Empties the block; with skipHeader, the next run's header line is left out.
    void Reset(bool skipHeader);
    void AddLine(std::string_view line) override;
    void LinesDone(std::int32_t count) override;

    std::string_view Bytes() const { return {data_.get(), used_}; }
    // Body lines in the block.
    std::int32_t Lines() const { return lines_; }

private:
    void Grow(std::size_t more);

    std::unique_ptr<char[]> data_;
    std::size_t capacity_;
    std::size_t used_ = 0;
    char lineEnd_[2];
    std::size_t lineEndSize_;
    bool skipHeader_ = false;
    std::int32_t lines_ = 0;
};

}  // namespace kestrino::cli
