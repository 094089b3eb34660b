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
    for (std::size_t i = 0; i < kImeiBodyDigits; ++i) text_[i] = digits[i];
    text_[15] = '\0';
    last_ = static_cast<std::uint32_t>(digits.back() - '0');
    UpdateChecks();
}

void ImeiCounter::Carry(std::uint32_t last) {
    // The plan keeps bodies below kBodyEnd: the carry stops before the first digit overflows.
    for (std::size_t i = kImeiBodyDigits - 1; i-- > 0;) {
        const bool nine = text_[i] == '9';
        text_[i] = nine ? '0' : static_cast<char>(text_[i] + 1);
        if (!nine) break;
    }
    last_ = last;
    UpdateChecks();
}

void ImeiCounter::UpdateChecks() {
    constexpr std::size_t kLast = kImeiBodyDigits - 1;
    std::int32_t headSum = 0;
    for (std::size_t i = 0; i < kLast; ++i) headSum += LuhnTerm(i, text_[i] - '0');
    for (std::int32_t d = 0; d < 10; ++d) {
        checks_[d] = static_cast<char>('0' + CheckDigitOfSum(headSum + LuhnTerm(kLast, d)));
    }
    text_[kLast] = static_cast<char>('0' + last_);
    text_[kImeiBodyDigits] = checks_[last_];
}

}  // namespace kestrino::cli
