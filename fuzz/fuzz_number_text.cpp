// libFuzzer target for the number text rules. Each input is scanned as a
// text and checked against a model of the scan's outcome; its first bytes
// also give a 64-bit and a 32-bit value that must survive formatting.

#include "core/Exception.h"
#include "core/NumberText.h"
#include "fuzz/FuzzCheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

using kestrino::EConvertError;
using kestrino::ScanResult;
using kestrino::ScanResult32;

constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (!hex) return -1;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// What the scan must deliver, derived from the rules as a whole: which digits
// are taken, their value with the sign applied, and where the scan stops.
struct Model {
    std::size_t end = 0;          // scan end: first NUL or length
    bool negative = false;
    bool hex = false;
    std::size_t significant = 0;  // significant digits in the digit run
    std::uint64_t magnitude = 0;  // value of the digits taken, unsigned
    ScanResult expected{0, 0};
};

Model Predict(std::string_view text) {
    Model m;
    m.end = std::min(text.size(), text.find('\0'));
    if (text.empty()) {
        m.expected = {0, 1};
        return m;
    }
    auto at = [&](std::size_t i) { return i < m.end ? text[i] : '\0'; };
    std::size_t i = 0;
    while (at(i) == ' ') ++i;
    if (at(i) == '-' || at(i) == '+') m.negative = at(i++) == '-';
    if (at(i) == '$' || at(i) == 'x' || at(i) == 'X') {
        m.hex = true;
        i += 1;
    } else if (at(i) == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X')) {
        m.hex = true;
        i += 2;
    }

    std::size_t zeros = 0;
    while (at(i + zeros) == '0') ++zeros;
    std::size_t run = zeros;
    while (DigitValue(at(i + run), m.hex) >= 0) ++run;
    m.significant = run - zeros;

    // Hexadecimal takes at most 16 significant digits. Decimal takes 18, and a
    // 19th only when the first 18 are at most 922337203685477580.
    std::size_t taken = m.significant;
    if (m.hex) {
        taken = std::min<std::size_t>(taken, 16);
    } else if (taken > 18) {
        std::uint64_t first18 = 0;
        for (std::size_t k = 0; k < 18; ++k) first18 = first18 * 10 + static_cast<std::uint64_t>(at(i + zeros + k) - '0');
        taken = first18 <= 922337203685477580u ? 19 : 18;
    }
    for (std::size_t k = 0; k < taken; ++k) {
        m.magnitude = m.magnitude * (m.hex ? 16 : 10) + static_cast<std::uint64_t>(DigitValue(at(i + zeros + k), m.hex));
    }

    const std::size_t stop = i + zeros + taken;  // index where the scan stands
    const bool tookDigit = zeros + taken > 0;
    const std::uint64_t bits = m.negative ? 0 - m.magnitude : m.magnitude;
    m.expected.value = static_cast<std::int64_t>(bits);
    const bool fits = m.hex || (m.negative ? m.magnitude <= kSignBit : m.magnitude < kSignBit);
    if (!fits) {
        m.expected.errorPosition = static_cast<std::int32_t>(stop);  // on the digit that wrapped
    } else {
        m.expected.errorPosition = tookDigit && stop == m.end ? 0 : static_cast<std::int32_t>(stop + 1);
    }
    return m;
}

std::string NotIntegerMessage(std::string_view text) {
    return std::string("'").append(text).append("' is not a valid integer value");
}

void CheckScans(std::string_view text) {
    const Model m = Predict(text);
    const ScanResult r = kestrino::ScanInteger(text);
    CHECK(r.value == m.expected.value);
    CHECK(r.errorPosition == m.expected.errorPosition);
    CHECK(r.errorPosition >= 0 && static_cast<std::size_t>(r.errorPosition) <= m.end + 1);

    // The strict conversion agrees with the scan, and quotes the whole text.
    try {
        const std::int64_t v = kestrino::TextToInt64(text);
        CHECK(r.errorPosition == 0 && v == r.value);
    } catch (const EConvertError& e) {
        CHECK(r.errorPosition != 0);
        CHECK(e.Message() == NotIntegerMessage(text));
    }

    const ScanResult32 r32 = kestrino::ScanInteger32(text);
    const bool accepted = r.errorPosition == 0;
    bool accepted32 = false;
    if (m.hex) {
        accepted32 = accepted && m.significant <= 8;
    } else {
        accepted32 = accepted && r.value >= INT32_MIN && r.value <= INT32_MAX;
    }
    CHECK((r32.errorPosition == 0) == accepted32);
    if (accepted32) CHECK(static_cast<std::uint32_t>(r32.value) == static_cast<std::uint32_t>(r.value));

    try {
        const std::int32_t v = kestrino::TextToInt(text);
        CHECK(r32.errorPosition == 0 && v == r32.value);
    } catch (const EConvertError& e) {
        CHECK(r32.errorPosition != 0);
        CHECK(e.Message() == NotIntegerMessage(text));
    }
}

void CheckRoundTrips(const std::uint8_t* data, std::size_t size) {
    std::uint64_t bits = 0;
    if (size > 0) std::memcpy(&bits, data, std::min(size, sizeof bits));
    const auto v = static_cast<std::int64_t>(bits);
    const std::string text = kestrino::IntToText(v);
    CHECK(text == std::to_string(v));
    const ScanResult r = kestrino::ScanInteger(text);
    CHECK(r.value == v && r.errorPosition == 0);

    const auto v32 = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
    const std::string text32 = kestrino::IntToText(v32);
    CHECK(text32 == std::to_string(v32));
    const ScanResult32 r32 = kestrino::ScanInteger32(text32);
    CHECK(r32.value == v32 && r32.errorPosition == 0);
    CHECK(kestrino::TextToInt(text32) == v32);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckRoundTrips(data, size);
    CheckScans(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
