// libFuzzer target for list generation. The first two bytes of an input give a
// quantity of at most a few hundred, the rest a first body text. The fast
// builder must write what the straightforward line-by-line builder writes,
// and fail with the same message at the same body; LastImei14 must agree with
// the scan followed by a wrapping add.

#include "core/Exception.h"
#include "core/ImeiList.h"
#include "core/NumberText.h"
#include "fuzz/FuzzCheck.h"
#include "tests/core/ReferenceList.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using kestrino::EConvertError;
using kestrino::ProgressSink;

// Lines, counts and the error message ("" for none) of one run, flattened.
struct Outcome : ProgressSink {
    std::vector<std::string> lines;
    std::vector<std::int32_t> counts;
    std::string error;
    void AddLine(std::string_view line) override { lines.emplace_back(line); }
    void LinesDone(std::int32_t count) override { counts.push_back(count); }
    bool operator==(const Outcome& other) const {
        return lines == other.lines && counts == other.counts && error == other.error;
    }
};

template <typename Build>
Outcome Run(Build build, std::string_view text, std::int32_t quantity) {
    Outcome out;
    try {
        build(text, quantity, out);
    } catch (const EConvertError& e) {
        out.error = e.Message();
    }
    return out;
}

void CheckList(std::string_view text, std::int32_t quantity) {
    const Outcome fast = Run(kestrino::BuildImeiList, text, quantity);
    const Outcome slow = Run(kestrino::reference::BuildImeiList, text, quantity);
    CHECK(fast == slow);
}

void CheckLastBody(std::string_view text, std::int32_t quantity) {
    const kestrino::ScanResult scan = kestrino::ScanInteger(text);
    std::string last;
    std::string error;
    try {
        last = kestrino::LastImei14(text, quantity);
    } catch (const EConvertError& e) {
        error = e.Message();
    }
    if (scan.errorPosition != 0) {
        CHECK(error == std::string("'").append(text).append("' is not a valid integer value"));
        return;
    }
    CHECK(error.empty());
    const auto wrapped = static_cast<std::int64_t>(static_cast<std::uint64_t>(scan.value) +
                                                   static_cast<std::uint64_t>(std::int64_t{quantity}) - 1);
    CHECK(last == kestrino::reference::BodyText(wrapped, kestrino::reference::PaddedWidth(text)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // -64 .. 447: negative, zero and a few hundred lines.
    const std::int32_t quantity = static_cast<std::int32_t>((data[0] << 8 | data[1]) % 512) - 64;
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
    CheckList(text, quantity);
    CheckLastBody(text, quantity);
    // The extremes of the quantity, where only the last body is cheap to check.
    CheckLastBody(text, INT32_MAX);
    CheckLastBody(text, INT32_MIN);
    return 0;
}
