#include "launcher/sync/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <fstream>
#include <stdexcept>

#include "launcher/platform/ascii.h"
#include "launcher/platform/errors.h"
#include "launcher/platform/secure.h"
#include "launcher/platform/text.h"
#include "launcher/platform/unique.h"

namespace bx {
namespace {

void close_algorithm(BCRYPT_ALG_HANDLE value) noexcept { BCryptCloseAlgorithmProvider(value, 0); }
void destroy_hash(BCRYPT_HASH_HANDLE value) noexcept { BCryptDestroyHash(value); }

using UniqueAlgorithm = Unique<NullEmptyTraits<BCRYPT_ALG_HANDLE, close_algorithm>>;
using UniqueHash = Unique<NullEmptyTraits<BCRYPT_HASH_HANDLE, destroy_hash>>;

// A property of the SHA-256 provider that is one 32-bit number.
ULONG dword_property(BCRYPT_ALG_HANDLE provider, const wchar_t* name, std::string_view call) {
    ULONG value = 0;
    ULONG written = 0;
    throw_ntstatus(BCryptGetProperty(provider, name, reinterpret_cast<PUCHAR>(&value),
                                     sizeof(value), &written, 0),
                   call);
    return value;
}

std::string hex_text(const std::vector<UCHAR>& digest) {
    std::string text;
    text.reserve(digest.size() * 2);
    for (UCHAR byte : digest) {
        text.push_back(hex_digit(byte >> 4));
        text.push_back(hex_digit(byte));
    }
    return text;
}

// One SHA-256 computation on the system's provider, fed piece by piece.
class Sha256 {
public:
    Sha256() {
        throw_ntstatus(BCryptOpenAlgorithmProvider(provider_.put(), BCRYPT_SHA256_ALGORITHM,
                                                   nullptr, 0),
                       "BCryptOpenAlgorithmProvider(SHA-256)");
        const ULONG objectLength = dword_property(provider_.get(), BCRYPT_OBJECT_LENGTH,
                                                  "BCryptGetProperty(SHA-256 object length)");
        digestLength_ = dword_property(provider_.get(), BCRYPT_HASH_LENGTH,
                                       "BCryptGetProperty(SHA-256 hash length)");
        object_.assign(objectLength, 0);
        throw_ntstatus(BCryptCreateHash(provider_.get(), hash_.put(), object_.data(), objectLength,
                                        nullptr, 0, 0),
                       "BCryptCreateHash");
    }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(const void* data, std::size_t size) {
        throw_ntstatus(BCryptHashData(hash_.get(),
                                      static_cast<PUCHAR>(const_cast<void*>(data)),
                                      static_cast<ULONG>(size), 0),
                       "BCryptHashData");
    }

    std::string finish_hex() {
        std::vector<UCHAR> digest(digestLength_, 0);
        throw_ntstatus(BCryptFinishHash(hash_.get(), digest.data(), digestLength_, 0),
                       "BCryptFinishHash");
        return hex_text(digest);
    }

private:
    // Declared in the order of release, last first: the hash goes before the memory it uses,
    // and that memory is wiped before it goes back.
    UniqueAlgorithm provider_;
    std::vector<UCHAR> object_;
    ScopedWipe<std::vector<UCHAR>> wipeObject_{object_};
    UniqueHash hash_;
    ULONG digestLength_ = 0;
};

}  // namespace

std::string sha256_file(const std::filesystem::path& path, std::vector<char>& buffer) {
    Sha256 hash;
    std::ifstream stream(path, std::ios::in | std::ios::binary);
    if (!stream.good()) {
        throw std::runtime_error("Could not open " + path_utf8(path));
    }
    if (buffer.size() < kSha256ReadBlock) {
        buffer.assign(kSha256ReadBlock, 0);
    }
    while (stream.good()) {
        stream.read(buffer.data(), static_cast<std::streamsize>(kSha256ReadBlock));
        const std::streamsize count = stream.gcount();
        if (count > 0) {
            hash.add(buffer.data(), static_cast<std::size_t>(count));
        }
    }
    if (stream.bad() || !stream.eof()) {
        throw std::runtime_error("Could not read " + path_utf8(path));
    }
    return hash.finish_hex();
}

std::string sha256_bytes(std::string_view bytes) {
    Sha256 hash;
    hash.add(bytes.data(), bytes.size());
    return hash.finish_hex();
}

std::string sha256_file(const std::filesystem::path& path) {
    std::vector<char> buffer(kSha256ReadBlock, 0);
    return sha256_file(path, buffer);
}

}  // namespace bx
