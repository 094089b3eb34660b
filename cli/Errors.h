#pragma once

#include "core/Exception.h"
#include "fileio/FileErrors.h"

namespace kestrino::cli {

// File errors live in the file layer, with the messages the window's Save
// shows for the same faults: "Cannot create file "<path>". <reason>",
// "Cannot write file "<path>". <reason>", "Cannot read file "<path>". <reason>".
using kestrino::EFCreateError;
using kestrino::EReadError;
using kestrino::EStreamError;
using kestrino::EWriteError;

// Ctrl+C (or a request to end) arrived while a file was being written.
class EInterrupted : public Exception {
public:
    EInterrupted();
};

}  // namespace kestrino::cli
