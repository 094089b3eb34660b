#include "cli/ledger/Sha256.h"

#include "core/Exception.h"

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

#include <new>

namespace kestrino::cli::ledger {
namespace {

std::string HexOf(const unsigned char* bytes, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 15];
    }
    return hex;
}

}  // namespace

#ifdef _WIN32
struct Sha256::Impl {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
    if (BCryptOpenAlgorithmProvider(&impl_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
        BCryptCreateHash(impl_->algorithm, &impl_->hash, nullptr, 0, nullptr, 0, 0) != 0) {
        throw Exception("SHA-256 is not available");
    }
}

Sha256::~Sha256() {
    if (impl_->hash) BCryptDestroyHash(impl_->hash);
    if (impl_->algorithm) BCryptCloseAlgorithmProvider(impl_->algorithm, 0);
}

void Sha256::Add(std::string_view bytes) {
    while (!bytes.empty()) {
        const auto n = static_cast<ULONG>(std::min<std::size_t>(bytes.size(), 1u << 30));
        BCryptHashData(impl_->hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), n, 0);
        bytes.remove_prefix(n);
    }
}

std::string Sha256::Hex() {
    unsigned char digest[32];
    BCryptFinishHash(impl_->hash, digest, sizeof digest, 0);
    return HexOf(digest, sizeof digest);
}
#else
struct Sha256::Impl {
    EVP_MD_CTX* context = nullptr;
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
    impl_->context = EVP_MD_CTX_new();
    if (!impl_->context) throw std::bad_alloc();
    if (EVP_DigestInit_ex(impl_->context, EVP_sha256(), nullptr) != 1) throw Exception("SHA-256 is not available");
}

Sha256::~Sha256() { EVP_MD_CTX_free(impl_->context); }

void Sha256::Add(std::string_view bytes) { EVP_DigestUpdate(impl_->context, bytes.data(), bytes.size()); }

std::string Sha256::Hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(impl_->context, digest, &size);
    return HexOf(digest, size);
}
#endif

}  // namespace kestrino::cli::ledger
