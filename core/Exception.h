#pragma once

#include <exception>
#include <string>

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

}  // namespace kestrino
