#pragma once

#include "cli/ColumnPlan.h"
#include "cli/ProgressLine.h"
#include "cli/SystemIo.h"

namespace kestrino::cli {

// Writes the plan's rows as text or csv: the header row, then per device its
// IMEIs and IMEISVs, comma-separated, each row followed by the plan's line
// end. One IMEI per device without IMEISVs is the text list: "IMEI" and one
// IMEI a line, the window's bytes for the same range. Rows are made in blocks
// of about a megabyte on worker threads and written in order, each block in
// one piece. Throws what output throws; an error of output stops the workers.
void WriteRows(const ColumnPlan& plan, ByteOutput& output, ProgressLine& progress);

}  // namespace kestrino::cli
