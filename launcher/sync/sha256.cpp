#include "launcher/sync/sha256.h"

#include "launcher/platform/text.h"

#include <windows.h>
#include <bcrypt.h>

#include <fstream>
#include <stdexcept>

namespace bx {
namespace {

class AlgorithmProvider {
public:
    AlgorithmProvider() {
        throw_ntstatus(BCryptOpenAlgorithmProvider(&handle_, BCRYPT_SHA256_ALGORITHM, nullptr, 0),
                       "BCryptOpenAlgorithmProvider(SHA-256)");
    }
    ~AlgorithmProvider() { BCryptCloseAlgorithmProvider(handle_, 0); }
    AlgorithmProvider(const AlgorithmProvider&) = delete;
    AlgorithmProvider& operator=(const AlgorithmProvider&) = delete;

    BCRYPT_ALG_HANDLE get() const { return handle_; }

    ULONG dword_property(const wchar_t* name, std::string_view call) const {
        ULONG value = 0;
        ULONG written = 0;
        throw_ntstatus(BCryptGetProperty(handle_, name, reinterpret_cast<PUCHAR>(&value),
                                         sizeof(value), &written, 0),
                       call);
        return value;
    }

private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

// The hash object's working memory; wiped before it is released.
class HashObject {
public:
    explicit HashObject(ULONG size) : bytes_(size, 0) {}
    ~HashObject() { SecureZeroMemory(bytes_.data(), bytes_.size()); }
    HashObject(const HashObject&) = delete;
    HashObject& operator=(const HashObject&) = delete;

    PUCHAR data() { return bytes_.data(); }
    ULONG size() const { return static_cast<ULONG>(bytes_.size()); }

private:
    std::vector<UCHAR> bytes_;
};

class Hash {
public:
    Hash(const AlgorithmProvider& provider, HashObject& object) {
        throw_ntstatus(BCryptCreateHash(provider.get(), &handle_, object.data(), object.size(),
                                        nullptr, 0, 0),
                       "BCryptCreateHash");
    }
    ~Hash() { BCryptDestroyHash(handle_); }
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;

    void add(const char* data, std::size_t size) {
        throw_ntstatus(BCryptHashData(handle_, reinterpret_cast<PUCHAR>(const_cast<char*>(data)),
                                      static_cast<ULONG>(size), 0),
                       "BCryptHashData");
    }

    std::vector<UCHAR> finish(ULONG digestLength) {
        std::vector<UCHAR> digest(digestLength, 0);
        throw_ntstatus(BCryptFinishHash(handle_, digest.data(), digestLength, 0),
                       "BCryptFinishHash");
        return digest;
    }

private:
    BCRYPT_HASH_HANDLE handle_ = nullptr;
};

std::string hex_text(const std::vector<UCHAR>& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2);
    for (UCHAR byte : digest) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

std::string path_text(const std::filesystem::path& path) {
    return wide_to_utf8(path.native());
}

}  // namespace

void throw_ntstatus(std::int32_t status, std::string_view call) {
    if (status >= 0) {
        return;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    const auto value = static_cast<std::uint32_t>(status);
    std::string message(call);
    message += " failed with NTSTATUS 0x";
    for (int shift = 28; shift >= 0; shift -= 4) {
        message.push_back(kDigits[(value >> shift) & 0x0F]);
    }
    throw std::runtime_error(message);
}

std::string sha256_file(const std::filesystem::path& path, std::vector<char>& buffer) {
    AlgorithmProvider provider;
    const ULONG objectLength =
        provider.dword_property(BCRYPT_OBJECT_LENGTH, "BCryptGetProperty(SHA-256 object length)");
    const ULONG digestLength =
        provider.dword_property(BCRYPT_HASH_LENGTH, "BCryptGetProperty(SHA-256 hash length)");
    HashObject object(objectLength);
    Hash hash(provider, object);

    std::ifstream stream(path, std::ios::in | std::ios::binary);
    if (!stream.good()) {
        throw std::runtime_error("Could not open " + path_text(path));
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
        throw std::runtime_error("Could not read " + path_text(path));
    }
    return hex_text(hash.finish(digestLength));
}

std::string sha256_file(const std::filesystem::path& path) {
    std::vector<char> buffer(kSha256ReadBlock, 0);
    return sha256_file(path, buffer);
}

}  // namespace bx
