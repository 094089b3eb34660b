#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrino::cli {

// Turns a file's bytes into UTF-8 text: UTF-8 with or without a byte-order
// mark, UTF-16 little- or big-endian with one. The mark itself is dropped.
// Anything else (bytes that are no UTF-8, UTF-16 without a mark, an unpaired
// surrogate) stops the decoding: Failed() turns true, Reason() says why, and
// no more text comes out.
class TextDecoder {
public:
    // The text of the next bytes; a character may run across calls. The view
    // is the input itself or an inner buffer, valid until the next call.
    std::string_view Decode(std::string_view bytes);
    // After the last bytes: the text still held back (a list shorter than a
    // mark); a character cut off at the end fails the decoding.
    std::string_view Finish();

    bool Failed() const { return failed_; }
    // Why the bytes are no text, for "Cannot read file "<path>". <reason>".
    const std::string& Reason() const { return reason_; }

private:
    enum class Encoding : std::uint8_t { kUnknown, kUtf8, kUtf16Le, kUtf16Be };

    std::string_view DecodeUtf8(std::string_view bytes);
    std::string_view DecodeUtf16(std::string_view bytes);
    std::string_view Start(std::string_view bytes);
    void Fail(std::string_view what, std::uint64_t at);

    Encoding encoding_ = Encoding::kUnknown;
    std::string head_;     // the first bytes, until the mark can be told
    std::string first_;    // those bytes, once told
    std::string carry_;    // the start of a character cut by the end of a block
    std::string buffer_;   // decoded text, when it is not the input itself
    std::uint32_t highSurrogate_ = 0;
    std::uint64_t offset_ = 0;  // bytes of the file before those of this call
    bool failed_ = false;
    std::string reason_;
};

}  // namespace kestrino::cli
