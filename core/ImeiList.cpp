#include "core/ImeiList.h"

#include "core/CheckDigit.h"
#include "core/NumberText.h"

#include <cstddef>

namespace kestrino {
namespace {

// The typed width when the text is all decimal digits and begins with "0":
// bodies such as 01326300876543 must keep their leading zero. 0 otherwise.
std::size_t PaddedWidth(std::string_view text) {
    if (text.empty() || text[0] != '0') return 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return 0;
    }
    return text.size();
}

// Decimal text of body, zero-padded to width unless negative.
std::string BodyText(std::int64_t body, std::size_t width) {
    std::string text = IntToText(body);
    if (body >= 0 && text.size() < width) text.insert(0, width - text.size(), '0');
    return text;
}

// Check digit characters for each value of the 14th digit, given the Luhn sum
// of digits 1..13; that sum changes only when a carry reaches digit 13.
void FillCheckTable(const char* digits, char (&checkFor)[10]) {
    std::int32_t sum13 = 0;
    for (std::size_t i = 0; i + 1 < kImeiBodyDigits; ++i) {
        sum13 += LuhnTerm(i, digits[i] - '0');
    }
    for (std::int32_t d = 0; d < 10; ++d) {
        checkFor[d] = static_cast<char>('0' + CheckDigitOfSum(sum13 + LuhnTerm(kImeiBodyDigits - 1, d)));
    }
}

}  // namespace

// The line buffer holds the current body's digits and its check digit; each
// step increments the digits like an odometer and redoes the check digit only
// when a carry reaches the first 14 digits. Anything unusual (first body,
// carry into a new digit, wrap to negative) goes through BodyText and
// CheckDigitOfText, which raise the same errors a line-by-line run would.
void BuildImeiList(std::string_view firstBodyText, std::int32_t quantity, ProgressSink& sink) {
    sink.AddLine("IMEI");
    auto body = static_cast<std::uint64_t>(TextToInt64(firstBodyText));
    const std::size_t width = PaddedWidth(firstBodyText);

    constexpr std::uint64_t kFirstNegative = std::uint64_t{1} << 63;
    std::string line;
    std::size_t length = 0;  // body digits in line
    char checkFor[10] = {};
    bool ready = false;

    for (std::int64_t k = 1; k <= quantity; ++k) {
        if (!ready) {
            const std::string text = BodyText(static_cast<std::int64_t>(body), width);
            const std::int32_t check = CheckDigitOfText(text);
            line = text;
            line += static_cast<char>('0' + check);
            length = text.size();
            FillCheckTable(line.data(), checkFor);
            ready = true;
        }
        sink.AddLine(std::string_view(line.data(), length + 1));

        ++body;
        char* const digits = line.data();
        if (body == kFirstNegative) {
            ready = false;
        } else {
            std::size_t i = length;  // ends on the leftmost digit that changed
            bool carryOut = true;
            while (i > 0) {
                --i;
                if (digits[i] != '9') {
                    ++digits[i];
                    carryOut = false;
                    break;
                }
                digits[i] = '0';
            }
            if (carryOut) {
                ready = false;  // all nines: the body gains a digit
            } else {
                if (i + 1 < kImeiBodyDigits) FillCheckTable(digits, checkFor);
                if (i < kImeiBodyDigits) digits[length] = checkFor[digits[kImeiBodyDigits - 1] - '0'];
            }
        }
        sink.LinesDone(static_cast<std::int32_t>(k));
    }
}

std::string RepairedFirstBody(std::string_view typed) {
    if (typed.empty()) return "0";
    const ScanResult scan = ScanInteger(typed);
    return scan.errorPosition == 0 ? std::string(typed) : IntToText(scan.value);
}

std::string LastImei14(std::string_view firstBodyText, std::int32_t quantity) {
    const auto first = static_cast<std::uint64_t>(TextToInt64(firstBodyText));
    const std::uint64_t last = first + static_cast<std::uint64_t>(static_cast<std::int64_t>(quantity)) - 1;
    return BodyText(static_cast<std::int64_t>(last), PaddedWidth(firstBodyText));
}

}  // namespace kestrino
