#include "cli/LineBlock.h"

#include <cstring>

namespace kestrino::cli {
namespace {

// Room for a line of the usual sizes: a 20-digit body, its check digit, CR LF.
constexpr std::size_t kUsualLine = 24;

// Copies of a size known at compile time become a few moves.
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

LineBlock::LineBlock(std::size_t lines, std::string_view lineEnd)
    : data_(new char[(lines + 1) * kUsualLine]),
      capacity_((lines + 1) * kUsualLine),
      lineEnd_{lineEnd[0], lineEnd.size() > 1 ? lineEnd[1] : '\0'},
      lineEndSize_(lineEnd.size()) {}

void LineBlock::Reset(bool skipHeader) {
    used_ = 0;
    lines_ = 0;
    skipHeader_ = skipHeader;
}

void LineBlock::AddLine(std::string_view line) {
    if (skipHeader_) {
        skipHeader_ = false;
        return;
    }
    // Room for the line and both bytes of lineEnd_, whatever its size.
    if (capacity_ - used_ < line.size() + sizeof lineEnd_) Grow(line.size() + sizeof lineEnd_);
    char* const to = data_.get() + used_;
    CopyShort(to, line.data(), line.size());
    std::memcpy(to + line.size(), lineEnd_, sizeof lineEnd_);
    used_ += line.size() + lineEndSize_;
}

void LineBlock::LinesDone(std::int32_t count) { lines_ = count; }

void LineBlock::Grow(std::size_t more) {
    const std::size_t capacity = 2 * capacity_ + more;
    std::unique_ptr<char[]> data(new char[capacity]);
    std::memcpy(data.get(), data_.get(), used_);
    data_ = std::move(data);
    capacity_ = capacity;
}

}  // namespace kestrino::cli
