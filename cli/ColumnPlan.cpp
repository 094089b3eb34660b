#include "cli/ColumnPlan.h"

#include "core/CheckDigit.h"

namespace kestrino::cli {

std::vector<std::string> ColumnPlan::HeaderNames() const {
    std::vector<std::string> names;
    const std::size_t columns = starts.size();
    const auto add = [&](const char* name) {
        for (std::size_t c = 0; c < columns; ++c) names.push_back(columns == 1 ? name : name + std::to_string(c + 1));
    };
    add("IMEI");
    if (svn) add("IMEISV");
    return names;
}

std::string BodyText(std::uint64_t body) {
    std::string text(kImeiBodyDigits, '0');
    for (std::size_t i = kImeiBodyDigits; i-- > 0 && body > 0; body /= 10) text[i] = static_cast<char>('0' + body % 10);
    return text;
}

ImeiCounter::ImeiCounter(std::uint64_t body) {
    const std::string digits = BodyText(body);
    for (std::size_t i = 0; i < kImeiBodyDigits; ++i) {
        text_[i] = digits[i];
        if (i + 1 < kImeiBodyDigits) headSum_ += LuhnTerm(i, digits[i] - '0');
    }
    text_[15] = '\0';
    UpdateCheckDigit();
}

void ImeiCounter::Advance(std::uint32_t step) {
    constexpr std::size_t kLast = kImeiBodyDigits - 1;
    const auto last = static_cast<std::int32_t>(text_[kLast] - '0') + static_cast<std::int32_t>(step);
    text_[kLast] = static_cast<char>('0' + last % 10);
    if (last >= 10) {
        // The carry; the plan keeps bodies below kBodyEnd, so it stops before the first digit overflows.
        for (std::size_t i = kLast; i-- > 0;) {
            const std::int32_t d = text_[i] - '0';
            const std::int32_t next = d == 9 ? 0 : d + 1;
            headSum_ += LuhnTerm(i, next) - LuhnTerm(i, d);
            text_[i] = static_cast<char>('0' + next);
            if (next != 0) break;
        }
    }
    UpdateCheckDigit();
}

void ImeiCounter::UpdateCheckDigit() {
    constexpr std::size_t kLast = kImeiBodyDigits - 1;
    text_[kImeiBodyDigits] = static_cast<char>('0' + CheckDigitOfSum(headSum_ + LuhnTerm(kLast, text_[kLast] - '0')));
}

}  // namespace kestrino::cli
