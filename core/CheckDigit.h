#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrino {

// Number of body digits the check digit covers.
inline constexpr std::size_t kImeiBodyDigits = 14;

// Luhn check digit (0..9) of the first 14 characters of a body's decimal text;
// characters after the 14th are ignored. Throws EConvertError at the first of
// those 14 that is not a digit: "'-' is not a valid integer value" for a sign,
// "'<text>' is not a valid IMEI body: it has fewer than 14 digits" when short.
std::int32_t CheckDigitOfText(std::string_view bodyText);

// CheckDigitOfText of the body's decimal text (IntToText): negative bodies and
// bodies below 10000000000000 throw EConvertError.
std::int32_t Gen15(std::int64_t body);

}  // namespace kestrino
