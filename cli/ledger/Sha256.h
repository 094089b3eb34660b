#pragma once

#include "cli/SystemIo.h"

#include <memory>
#include <string>
#include <string_view>

namespace kestrino::cli::ledger {

// SHA-256 by the system's own implementation: OpenSSL's libcrypto on POSIX,
// BCrypt on Windows.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Add(std::string_view bytes);
    // The digest as 64 lower-case hex digits; the object is spent afterwards.
    std::string Hex();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Passes bytes on to another output and adds them to a digest.
class HashingOutput final : public ByteOutput {
public:
    HashingOutput(ByteOutput& out, Sha256& digest) : out_(out), digest_(digest) {}
    void Write(std::string_view bytes) override {
        out_.Write(bytes);
        digest_.Add(bytes);
    }

private:
    ByteOutput& out_;
    Sha256& digest_;
};

}  // namespace kestrino::cli::ledger
