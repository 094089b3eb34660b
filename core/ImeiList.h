#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrino {

// Receiver of a list run's output, supplied by the caller.
class ProgressSink {
public:
    // One output line; the view is valid only during the call.
    virtual void AddLine(std::string_view line) = 0;
    // Body lines written so far (1, 2, ...), called after each body line.
    virtual void LinesDone(std::int32_t count) = 0;

protected:
    ~ProgressSink() = default;
};

// Writes "IMEI", then one line per body: the body's decimal text and its check
// digit, for quantity consecutive bodies from TextToInt64(firstBodyText); the
// body wraps past INT64_MAX. A text of digits only that begins with "0" keeps
// its width: every non-negative body is zero-padded to it. Throws
// EConvertError for a bad text (after the header) or at the first body whose
// check digit fails, before its line; lines already written stay written.
void BuildImeiList(std::string_view firstBodyText, std::int32_t quantity, ProgressSink& sink);

// What the first body field holds after the user's edit: an empty text
// becomes "0", a text that ScanInteger does not accept whole becomes the
// decimal text of the value the scan delivered, and any other text stays as
// typed. The result is never empty and always accepted by TextToInt64.
std::string RepairedFirstBody(std::string_view typed);

// Decimal text of TextToInt64(firstBodyText) + quantity - 1, wrapping, padded
// like BuildImeiList's bodies. Throws EConvertError for a bad text.
std::string LastImei14(std::string_view firstBodyText, std::int32_t quantity);

}  // namespace kestrino
