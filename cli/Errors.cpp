#include "cli/Errors.h"

namespace kestrino::cli {
namespace {

std::string Quoted(std::string_view before, std::string_view path, std::string_view reason) {
    std::string text(before);
    text += " \"";
    text += path;
    text += "\". ";
    text += reason;
    return text;
}

}  // namespace

EFCreateError::EFCreateError(std::string_view path, std::string_view reason)
    : EStreamError(Quoted("Cannot create file", path, reason)) {}

EWriteError::EWriteError() : EStreamError("Stream write error") {}

EReadError::EReadError(std::string_view path, std::string_view reason)
    : EStreamError(Quoted("Cannot read file", path, reason)) {}

EInterrupted::EInterrupted() : Exception("Interrupted") {}

}  // namespace kestrino::cli
