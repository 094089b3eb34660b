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

namespace {

constexpr std::size_t kLastDigit = kImeiBodyDigits - 1;

// Row s: the check digits for the last digits 0 to 9 when the first 13 digits' Luhn sum ends in s.
struct CheckTable {
    char rows[10][10];
    constexpr CheckTable() : rows() {
        for (std::int32_t s = 0; s < 10; ++s) {
            for (std::int32_t d = 0; d < 10; ++d) rows[s][d] = static_cast<char>('0' + CheckDigitOfSum(s + LuhnTerm(kLastDigit, d)));
        }
    }
};
constexpr CheckTable kChecks;

}  // namespace

ImeiCounter::ImeiCounter(std::uint64_t body) {
    const std::string digits = BodyText(body);
    for (std::size_t i = 0; i < kImeiBodyDigits; ++i) text_[i] = digits[i];
    for (std::size_t i = 0; i < kLastDigit; ++i) headSum_ += LuhnTerm(i, digits[i] - '0');
    text_[15] = '\0';
    last_ = static_cast<std::uint32_t>(digits.back() - '0');
    UpdateChecks();
}

void ImeiCounter::Carry(std::uint32_t last) {
    // The plan keeps bodies below kBodyEnd: the carry stops before the first digit overflows.
    for (std::size_t i = kLastDigit; i-- > 0;) {
        const std::int32_t d = text_[i] - '0';
        const std::int32_t next = d == 9 ? 0 : d + 1;
        headSum_ += LuhnTerm(i, next) - LuhnTerm(i, d);
        text_[i] = static_cast<char>('0' + next);
        if (next != 0) break;
    }
    last_ = last;
    UpdateChecks();
}

void ImeiCounter::UpdateChecks() {
    checks_ = kChecks.rows[headSum_ % 10];
    text_[kLastDigit] = static_cast<char>('0' + last_);
    text_[kImeiBodyDigits] = checks_[last_];
}

}  // namespace kestrino::cli
