#pragma once

// The rules a list's arguments obey, so that everything written is a list of
// valid, distinct IMEIs.

#include "cli/ColumnPlan.h"
#include "cli/ListWriter.h"

namespace kestrino::cli {

// Throws EListUsage when the request's options cannot go together, what the
// command line reports as a usage error while it parses.
void CheckOptionsGoTogether(const ListRequest& request);

// The rows the request names, every rule on them checked: FIRST and the
// further columns' FIRSTs, QUANTITY, --per-device, --svn, the end of 14-digit
// bodies, the TAC boundary (unless acrossTac) and columns that share an IMEI.
// The format is left as text. Throws EListRequest.
ColumnPlan PlanRows(const ListRequest& request);

// PlanRows, then the format (named, or from output's name) and its own rules:
// text holds one IMEI a line; xlsx goes into a file and into one sheet.
ColumnPlan PlanList(const ListRequest& request);

}  // namespace kestrino::cli
