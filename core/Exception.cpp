#include "core/Exception.h"

#include <utility>

namespace kestrino {

Exception::Exception(std::string message) : message_(std::move(message)) {}

const std::string& Exception::Message() const noexcept { return message_; }

const char* Exception::what() const noexcept { return message_.c_str(); }

std::string WithFinalPeriod(std::string_view message) {
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
    return text;
}

std::string ReasonText(std::string_view systemText) {
    while (!systemText.empty()) {
        const char last = systemText.back();
        if (last != ' ' && last != '\r' && last != '\n' && last != '.') break;
        systemText.remove_suffix(1);
    }
    return std::string(systemText);
}

}  // namespace kestrino
