#pragma once

#include "cli/ProgressLine.h"
#include "cli/SystemIo.h"

#include <cstdint>
#include <string_view>

namespace kestrino::cli {

// Writes the list of BuildImeiList(first, quantity) to output, each line
// followed by lineEnd. Long lists are made in stretches of 65,536 lines on
// worker threads, each stretch a BuildImeiList run of its own from the text of
// its first body (LastImei14, padded alike), and written in order: the bytes
// are those of one run. When the run fails, every line before the failing
// body is written and its error thrown; an error of output stops the workers.
void WriteListLines(std::string_view first, std::int32_t quantity, std::string_view lineEnd, ByteOutput& output,
                    ProgressLine& progress);

}  // namespace kestrino::cli
