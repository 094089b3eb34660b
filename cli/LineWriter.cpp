#include "cli/LineWriter.h"

#include <cstring>

namespace kestrino::cli {

namespace {

// Copies of a size known at compile time become a few moves; lines are 15 to
// 21 bytes, and a general memcpy call per line costs as much as making it.
inline void CopyShort(char* to, const char* from, std::size_t n) {
    if (n >= 16 && n <= 32) {
        std::memcpy(to, from, 16);
        std::memcpy(to + n - 16, from + n - 16, 16);
    } else if (n >= 8 && n < 16) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else {
        std::memcpy(to, from, n);
    }
}

}  // namespace

LineWriter::LineWriter(ByteOutput& output, std::string_view lineEnd, ProgressLine& progress)
    : output_(output), lineEnd_{lineEnd[0], lineEnd.size() > 1 ? lineEnd[1] : '\0'}, lineEndSize_(lineEnd.size()),
      progress_(progress), buffer_(new char[kCapacity]) {}

void LineWriter::AddLine(std::string_view line) {
    // Room for the line and both bytes of lineEnd_, whatever its size.
    if (kCapacity - used_ < line.size() + sizeof lineEnd_) {
        Flush();
        if (kCapacity < line.size() + sizeof lineEnd_) {
            output_.Write(line);
            output_.Write(std::string_view(lineEnd_, lineEndSize_));
            return;
        }
    }
    char* const to = buffer_.get() + used_;
    CopyShort(to, line.data(), line.size());
    std::memcpy(to + line.size(), lineEnd_, sizeof lineEnd_);
    used_ += line.size() + lineEndSize_;
}

void LineWriter::LinesDone(std::int32_t count) {
    // Looking at the clock every 65,536 lines costs nothing measurable.
    if ((count & 0xFFFF) == 0) {
        const auto lines = static_cast<std::uint64_t>(count);
        progress_.Update(lines, lines);
    }
}

void LineWriter::Flush() {
    if (used_ == 0) return;
    const std::size_t size = used_;
    used_ = 0;
    output_.Write(std::string_view(buffer_.get(), size));
}

}  // namespace kestrino::cli
