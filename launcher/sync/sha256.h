#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace bx {

// Size of one read while hashing a file.
inline constexpr std::size_t kSha256ReadBlock = 1048576;

// SHA-256 of the whole file as 64 lowercase hexadecimal characters, computed by the
// system's CNG provider. Throws std::runtime_error when the file cannot be opened or read or
// when a CNG call fails.
std::string sha256_file(const std::filesystem::path& path);

// The same, reading through the caller's buffer (resized to kSha256ReadBlock when smaller), so
// that a caller hashing many files allocates its read buffer once.
std::string sha256_file(const std::filesystem::path& path, std::vector<char>& buffer);

// SHA-256 of bytes in memory, in the same form.
std::string sha256_bytes(std::string_view bytes);

}  // namespace bx
