#pragma once

#include "cli/ColumnPlan.h"
#include "cli/ProgressLine.h"
#include "cli/SystemIo.h"

#include <ctime>

namespace kestrino::cli {

// Writes the plan's rows as an xlsx workbook to output: one sheet named
// "IMEI", the header in bold and frozen, every IMEI and IMEISV a text cell
// (an inline string formatted as text), columns as wide as their digits.
// libxlsxwriter makes it in its constant-memory mode into a staging file of
// the system's temporary folder that nobody else can see: on Linux an
// unnamed file, reached through /proc/self/fd; on Windows a named one,
// removed however the run ends and, from the moment the workbook is
// complete, opened to be deleted when closed. The same plan and creation
// time give the same bytes. Throws EStreamError, EInterrupted or what output
// throws.
void WriteXlsx(const ColumnPlan& plan, std::time_t created, ByteOutput& output, ProgressLine& progress);

// The workbook's creation time: SOURCE_DATE_EPOCH where it is set (seconds
// since 1970), otherwise 2000-01-01 00:00:00 UTC. Throws EListRequest for a
// value that is not a count of seconds from 1 to the end of the year 3000.
std::time_t WorkbookCreationTime();

}  // namespace kestrino::cli
