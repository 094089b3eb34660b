#pragma once

#include "core/Exception.h"

#include <string>
#include <string_view>

namespace kestrino::cli {

// File errors, with the messages the window's Save shows for the same faults.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// "Cannot create file "<path>". <reason>"
class EFCreateError : public EStreamError {
public:
    EFCreateError(std::string_view path, std::string_view reason);
};

// "Stream write error": the file was created, a write failed (a full disk).
class EWriteError : public EStreamError {
public:
    EWriteError();
};

// "Cannot read file "<path>". <reason>": a list given to check.
class EReadError : public EStreamError {
public:
    EReadError(std::string_view path, std::string_view reason);
};

// Ctrl+C (or a request to end) arrived while a file was being written.
class EInterrupted : public Exception {
public:
    EInterrupted();
};

}  // namespace kestrino::cli
