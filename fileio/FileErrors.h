#pragma once
// The errors of file work, shared by the window's Save and kestrino-cli. Their
// messages are UTF-8; the window converts them at its boundary.
#include "core/Exception.h"

#include <string>
#include <string_view>

namespace kestrino {

// A file could not be created, replaced, written or read.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// "Cannot create file "<path>". <reason>", or a message made elsewhere.
class EFCreateError : public EStreamError {
public:
    explicit EFCreateError(std::string message);
    EFCreateError(std::string_view path, std::string_view reason);
};

// "Stream write error", the window's text; with a name, "Cannot write file
// "<path>". <reason>", the file created and a write into it failed.
class EWriteError : public EStreamError {
public:
    EWriteError();
    explicit EWriteError(std::string message);
    EWriteError(std::string_view path, std::string_view reason);
};

// "Cannot read file "<path>". <reason>".
class EReadError : public EStreamError {
public:
    EReadError(std::string_view path, std::string_view reason);
};

}  // namespace kestrino
