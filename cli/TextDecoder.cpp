#include "cli/TextDecoder.h"

#include <cstring>

namespace kestrino::cli {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

unsigned char Byte(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

// The length of the valid UTF-8 at the start of s; cut tells whether what
// follows is the valid start of a character that the end of s cuts off.
std::size_t ValidUtf8(std::string_view s, bool& cut) {
    cut = false;
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        // Lists are nearly all ASCII: eight bytes a step.
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, s.data() + i, 8);
            if ((word & 0x8080808080808080u) != 0) break;
            i += 8;
        }
        if (i >= n) break;
        const unsigned char c = Byte(s, i);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        unsigned char low = 0x80;  // the range of the second byte: no overlong forms, no surrogates
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return i;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if (i + k >= n) {
                cut = true;
                return i;
            }
            const unsigned char next = Byte(s, i + k);
            if (k == 1 ? (next < low || next > high) : (next < 0x80 || next > 0xBF)) return i;
        }
        i += length;
    }
    return i;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string Hex(unsigned char c) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("0x") + kDigits[c >> 4] + kDigits[c & 15];
}

}  // namespace

void TextDecoder::Fail(std::string_view what, std::uint64_t at) {
    failed_ = true;
    reason_ = "It is neither UTF-8 nor UTF-16 with a byte-order mark (";
    reason_ += what;
    reason_ += " at byte " + std::to_string(at + 1) + ")";
}

std::string_view TextDecoder::Start(std::string_view bytes) {
    if (bytes.substr(0, 3) == kUtf8Mark) {
        encoding_ = Encoding::kUtf8;
        offset_ = 3;
        return DecodeUtf8(bytes.substr(3));
    }
    if (bytes.substr(0, 2) == kUtf16LeMark || bytes.substr(0, 2) == kUtf16BeMark) {
        encoding_ = bytes[0] == '\xFF' ? Encoding::kUtf16Le : Encoding::kUtf16Be;
        offset_ = 2;
        return DecodeUtf16(bytes.substr(2));
    }
    // A NUL this early is the other half of a UTF-16 character: text of
    // another system, not a list with a NUL in it.
    for (std::size_t i = 0; i < bytes.size() && i < 2; ++i) {
        if (bytes[i] == '\0') {
            Fail("0x00", i);
            return {};
        }
    }
    encoding_ = Encoding::kUtf8;
    return DecodeUtf8(bytes);
}

std::string_view TextDecoder::Decode(std::string_view bytes) {
    if (failed_ || bytes.empty()) return {};
    switch (encoding_) {
    case Encoding::kUtf8:
        return DecodeUtf8(bytes);
    case Encoding::kUtf16Le:
    case Encoding::kUtf16Be:
        return DecodeUtf16(bytes);
    case Encoding::kUnknown:
        break;
    }
    if (head_.empty() && bytes.size() >= kUtf8Mark.size()) return Start(bytes);
    head_.append(bytes);
    if (head_.size() < kUtf8Mark.size()) return {};
    first_.swap(head_);
    return Start(first_);
}

std::string_view TextDecoder::Finish() {
    std::string_view rest;
    if (!failed_ && encoding_ == Encoding::kUnknown && !head_.empty()) {
        first_.swap(head_);
        rest = Start(first_);
    }
    if (!failed_ && (!carry_.empty() || highSurrogate_ != 0)) {
        Fail(encoding_ == Encoding::kUtf8 ? "a character cut off" : "half a character", offset_);
        return {};
    }
    return failed_ ? std::string_view{} : rest;
}

std::string_view TextDecoder::DecodeUtf8(std::string_view bytes) {
    std::string_view input = bytes;
    std::uint64_t start = offset_;
    if (!carry_.empty()) {
        start -= carry_.size();
        buffer_ = carry_;
        buffer_.append(bytes);
        carry_.clear();
        input = buffer_;
    }
    offset_ += bytes.size();
    bool cut = false;
    const std::size_t valid = ValidUtf8(input, cut);
    if (valid < input.size()) {
        if (!cut) {
            Fail(Hex(Byte(input, valid)), start + valid);
            return {};
        }
        carry_.assign(input.substr(valid));
    }
    return input.substr(0, valid);
}

std::string_view TextDecoder::DecodeUtf16(std::string_view bytes) {
    buffer_.clear();
    std::uint64_t at = offset_ - carry_.size();
    std::string input = carry_;
    input.append(bytes);
    carry_.clear();
    offset_ += bytes.size();
    const bool little = encoding_ == Encoding::kUtf16Le;
    std::size_t i = 0;
    for (; i + 2 <= input.size(); i += 2, at += 2) {
        const std::uint32_t a = Byte(input, i);
        const std::uint32_t b = Byte(input, i + 1);
        const std::uint32_t unit = little ? a | b << 8 : a << 8 | b;
        if (highSurrogate_ != 0) {
            if (unit < 0xDC00 || unit > 0xDFFF) {
                Fail("an unpaired surrogate", at - 2);
                return {};
            }
            AppendUtf8(buffer_, 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (unit - 0xDC00));
            highSurrogate_ = 0;
        } else if (unit >= 0xD800 && unit <= 0xDBFF) {
            highSurrogate_ = unit;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            Fail("an unpaired surrogate", at);
            return {};
        } else {
            AppendUtf8(buffer_, unit);
        }
    }
    carry_.assign(input.substr(i));
    return buffer_;
}

}  // namespace kestrino::cli
