#include "core/Exception.h"

#include <utility>

namespace kestrino {

Exception::Exception(std::string message) : message_(std::move(message)) {}

const std::string& Exception::Message() const noexcept { return message_; }

const char* Exception::what() const noexcept { return message_.c_str(); }

}  // namespace kestrino
