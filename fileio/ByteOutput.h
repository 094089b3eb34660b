#pragma once
#include <string_view>

namespace kestrino::fileio {

// Receiver of output bytes. Write throws an EStreamError (or whatever its
// owner raises, such as an interruption) when the bytes cannot all be written.
class ByteOutput {
public:
    virtual void Write(std::string_view bytes) = 0;

protected:
    ~ByteOutput() = default;
};

}  // namespace kestrino::fileio
