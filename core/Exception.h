#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace kestrino {

// Base of every error Kestrino raises: one message text and nothing else.
class Exception : public std::exception {
public:
    explicit Exception(std::string message);
    const std::string& Message() const noexcept;
    // The message up to its first NUL, if it holds one.
    const char* what() const noexcept override;

private:
    std::string message_;
};

// A text is not a number, or a number is not a usable IMEI body.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// How an error's message is shown to the user: a period is added when the
// last character's code lies above the period's.
std::string WithFinalPeriod(std::string_view message);

// A system's description of an error as a message's reason: without
// trailing blanks, line breaks and periods.
std::string ReasonText(std::string_view systemText);

}  // namespace kestrino
