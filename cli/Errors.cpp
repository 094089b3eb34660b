#include "cli/Errors.h"

namespace kestrino::cli {

EInterrupted::EInterrupted() : Exception("Interrupted") {}

}  // namespace kestrino::cli
