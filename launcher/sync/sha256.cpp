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

}  // namespace

std::string sha256_file(const std::filesystem::path& path, std::vector<char>& buffer) {
    UniqueAlgorithm provider;
    throw_ntstatus(BCryptOpenAlgorithmProvider(provider.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0),
                   "BCryptOpenAlgorithmProvider(SHA-256)");
    const ULONG objectLength = dword_property(provider.get(), BCRYPT_OBJECT_LENGTH,
                                              "BCryptGetProperty(SHA-256 object length)");
    const ULONG digestLength = dword_property(provider.get(), BCRYPT_HASH_LENGTH,
                                              "BCryptGetProperty(SHA-256 hash length)");
    // The hash object's working memory is wiped once the hash that uses it is destroyed.
    std::vector<UCHAR> object(objectLength, 0);
    const ScopedWipe wipeObject(object);
    UniqueHash hash;
    throw_ntstatus(BCryptCreateHash(provider.get(), hash.put(), object.data(), objectLength,
                                    nullptr, 0, 0),
                   "BCryptCreateHash");

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
            throw_ntstatus(BCryptHashData(hash.get(), reinterpret_cast<PUCHAR>(buffer.data()),
                                          static_cast<ULONG>(count), 0),
                           "BCryptHashData");
        }
    }
    if (stream.bad() || !stream.eof()) {
        throw std::runtime_error("Could not read " + path_utf8(path));
    }
    std::vector<UCHAR> digest(digestLength, 0);
    throw_ntstatus(BCryptFinishHash(hash.get(), digest.data(), digestLength, 0),
                   "BCryptFinishHash");
    return hex_text(digest);
}

std::string sha256_file(const std::filesystem::path& path) {
    std::vector<char> buffer(kSha256ReadBlock, 0);
    return sha256_file(path, buffer);
}

}  // namespace bx
