#pragma once

// The one way a list is written: `kestrino-cli list` and everything that
// writes a list as it does come here.

#include "core/Exception.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrino::cli {

class ByteOutput;

enum class ListFormat { kText, kCsv, kXlsx };

// A list as asked for on the command line, its texts as typed there.
struct ListRequest {
    std::string first;                  // FIRST: the first body (14 digits) or the first IMEI (15, its check digit right)
    std::string quantity;               // QUANTITY: devices, decimal digits, 0 or more
    int perDevice = 1;                  // --per-device: consecutive IMEIs per device from FIRST's range, 1 to 4
    std::vector<std::string> columns;   // --column: FIRSTs of up to three further IMEI columns; not with perDevice > 1
    std::optional<std::string> svn;     // --svn: two digits, 00 to 98; each IMEI's IMEISV follows the IMEI columns
    std::optional<ListFormat> format;   // --format; none: from output's name (.csv, .xlsx, any case), otherwise text
    std::optional<std::string> output;  // -o: the file to replace; none: the output given to WriteList
    bool lf = false;                    // --lf: LF after each row instead of CR LF (text and csv)
    bool acrossTac = false;             // --across-tac: ranges may run on from one TAC into the next
};

// A request that breaks a rule of lists; its message says which and what fits.
class EListRequest : public Exception {
public:
    using Exception::Exception;
};

// A combination of options that cannot go together (--per-device above 1
// with --column): the command line's usage error.
class EListUsage : public EListRequest {
public:
    using EListRequest::EListRequest;
};

// Checks every rule of the request and then writes the list: a header row
// and one row per device, each IMEI valid and none twice; nothing is written
// when a rule is broken. With request.output the file is replaced only by the
// complete list (an InterruptGuard lives meanwhile: hold none around the
// call): a run that fails or is interrupted leaves the old file as it was and
// no temporary file. Otherwise the bytes go to output; xlsx needs a file.
// The same request gives the same bytes (for xlsx, with the same
// SOURCE_DATE_EPOCH). Throws EListRequest (EListUsage), EStreamError
// (EFCreateError, EWriteError, EReadError) or EInterrupted.
void WriteList(const ListRequest& request, ByteOutput& output);

// The bodies of the last device's row, comma-separated when a device has
// several; empty for QUANTITY 0. Checks every rule on the rows as WriteList
// does (not format, output and lf, which only say how rows are written) and
// throws the same EListRequest for them.
std::string LastBodies(const ListRequest& request);

}  // namespace kestrino::cli
