#include "fileio/FileErrors.h"

#include <utility>

namespace kestrino {
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

EFCreateError::EFCreateError(std::string message) : EStreamError(std::move(message)) {}
EFCreateError::EFCreateError(std::string_view path, std::string_view reason)
    : EStreamError(Quoted("Cannot create file", path, reason)) {}

EWriteError::EWriteError() : EStreamError("Stream write error") {}
EWriteError::EWriteError(std::string message) : EStreamError(std::move(message)) {}
EWriteError::EWriteError(std::string_view path, std::string_view reason)
    : EStreamError(Quoted("Cannot write file", path, reason)) {}

EReadError::EReadError(std::string_view path, std::string_view reason)
    : EStreamError(Quoted("Cannot read file", path, reason)) {}

}  // namespace kestrino
