#include "cli/LineWriter.h"

#include <cstring>

namespace kestrino::cli {

LineWriter::LineWriter(ByteOutput& output, std::string_view lineEnd, ProgressLine& progress)
    : output_(output), lineEnd_(lineEnd), progress_(progress), buffer_(new char[kCapacity]) {}

void LineWriter::AddLine(std::string_view line) {
    if (kCapacity - used_ < line.size() + lineEnd_.size()) {
        Flush();
        if (kCapacity < line.size() + lineEnd_.size()) {
            output_.Write(line);
            output_.Write(lineEnd_);
            return;
        }
    }
    Put(line);
    Put(lineEnd_);
}

void LineWriter::Put(std::string_view bytes) {
    std::memcpy(buffer_.get() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
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
