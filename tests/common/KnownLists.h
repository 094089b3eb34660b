#pragma once
// Lists and messages the tests of every folder know by heart: the main window's
// initial values with the list they give, the shape of a saved list, and the
// messages of the number core. One place, so that a test states what it
// expects by name instead of retyping it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrino::known {

// The main window's initial first body and quantity.
inline constexpr std::string_view kFirstBody = "35851102000002";
inline constexpr std::int32_t kQuantity = 10;

// The ten IMEIs of the initial values, and the list Builder writes and Save
// saves from them: the header, then each line, each ended by CR LF.
inline constexpr std::string_view kInitialImeis[] = {
    "358511020000026", "358511020000034", "358511020000042", "358511020000059", "358511020000067",
    "358511020000075", "358511020000083", "358511020000091", "358511020000109", "358511020000117",
};
inline constexpr std::string_view kInitialList =
    "IMEI\r\n358511020000026\r\n358511020000034\r\n358511020000042\r\n358511020000059\r\n358511020000067\r\n"
    "358511020000075\r\n358511020000083\r\n358511020000091\r\n358511020000109\r\n358511020000117\r\n";

// A list of 14-digit bodies: "IMEI" and CR LF, then 15 digits and CR LF a line.
inline constexpr std::size_t kHeaderSize = 6;
inline constexpr std::size_t kLineSize = 17;
constexpr std::size_t ListSize(std::size_t imeis) { return kHeaderSize + imeis * kLineSize; }
// The IMEI lines in the whole lines of such a list's first `size` characters.
constexpr std::size_t ImeisIn(std::size_t size) { return size < kHeaderSize ? 0 : (size - kHeaderSize) / kLineSize; }

static_assert(ListSize(kQuantity) == kInitialList.size());

// The number core's messages, as raised (the error box adds a period).
inline std::string NotAnInteger(std::string_view text) {
    return std::string("'").append(text).append("' is not a valid integer value");
}
inline std::string ShortBody(std::string_view text) {
    return std::string("'").append(text).append("' is not a valid IMEI body: it has fewer than 14 digits");
}
// A body that wrapped negative fails at its sign.
inline const std::string kDash = NotAnInteger("-");

}  // namespace kestrino::known
