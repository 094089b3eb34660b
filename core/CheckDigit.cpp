#include "core/CheckDigit.h"

#include "core/Exception.h"
#include "core/NumberText.h"

#include <string>
#include <utility>

namespace kestrino {
namespace {

[[noreturn]] void ThrowShortBody(std::string_view bodyText) {
    std::string message;
    message += '\'';
    message += bodyText;
    message += "' is not a valid IMEI body: it has fewer than 14 digits";
    throw EConvertError(std::move(message));
}

}  // namespace

std::int32_t CheckDigitOfText(std::string_view bodyText) {
    std::int32_t sum = 0;
    for (std::size_t i = 0; i < kImeiBodyDigits; ++i) {
        if (i >= bodyText.size()) ThrowShortBody(bodyText);
        const char c = bodyText[i];
        // A non-digit goes through TextToInt, which rejects every such
        // one-character text with its own message.
        const std::int32_t d = (c >= '0' && c <= '9') ? c - '0' : TextToInt(bodyText.substr(i, 1));
        sum += LuhnTerm(i, d);
    }
    return CheckDigitOfSum(sum);
}

std::int32_t Gen15(std::int64_t body) { return CheckDigitOfText(IntToText(body)); }

}  // namespace kestrino
