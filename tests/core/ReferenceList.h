#pragma once

// A straightforward, line-by-line list builder: standard-library formatting
// and every digit of the check digit converted through TextToInt. It is the
// yardstick for the fast builder, both for equality (tests) and speed (bench).

#include "core/Exception.h"
#include "core/ImeiList.h"
#include "core/NumberText.h"
#include "tests/common/KnownLists.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace kestrino::reference {

inline std::int32_t CheckDigit(const std::string& bodyText) {
    std::int32_t eSum = 0;
    std::int32_t iSum = 0;
    for (std::size_t p = 1; p <= 14; ++p) {
        if (p > bodyText.size()) {
            throw EConvertError(known::ShortBody(bodyText));
        }
        const std::int32_t d = TextToInt(std::string(1, bodyText[p - 1]));
        if (p % 2 == 1) {
            eSum += d;
        } else {
            iSum += (2 * d) % 10 + (2 * d) / 10;
        }
    }
    const std::int32_t r = (iSum + eSum) % 10;
    return std::abs(r - 10) % 10;
}

inline std::size_t PaddedWidth(std::string_view text) {
    const bool digitsOnly = !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    return digitsOnly && text[0] == '0' ? text.size() : 0;
}

inline std::string BodyText(std::int64_t body, std::size_t width) {
    std::string text = std::to_string(body);
    if (body >= 0 && text.size() < width) text = std::string(width - text.size(), '0') + text;
    return text;
}

inline void BuildImeiList(std::string_view firstBodyText, std::int32_t quantity, ProgressSink& sink) {
    sink.AddLine("IMEI");
    std::int64_t body = TextToInt64(firstBodyText);
    const std::size_t width = PaddedWidth(firstBodyText);
    for (std::int64_t k = 1; k <= quantity; ++k) {
        const std::string text = BodyText(body, width);
        const std::int32_t check = CheckDigit(text);
        sink.AddLine(text + std::to_string(check));
        body = static_cast<std::int64_t>(static_cast<std::uint64_t>(body) + 1);
        sink.LinesDone(static_cast<std::int32_t>(k));
    }
}

}  // namespace kestrino::reference
