#pragma once

#include <filesystem>
#include <string_view>

namespace bx {

// Equal ignoring the case of the ASCII letters only (hex digests).
bool ascii_iequals(std::string_view a, std::string_view b) noexcept;
bool is_hex_digit(unsigned char c) noexcept;
// A slash-separated relative path from the manifest or the state file: no empty, "." or ".."
// segment, no backslash, colon or NUL.
bool is_safe_relative_path(std::string_view utf8) noexcept;
bool is_sha256_hex(std::string_view text) noexcept;
// Lexical, case-insensitive containment of two absolute paths; the directory itself is outside.
bool is_path_within(const std::filesystem::path& candidate, const std::filesystem::path& directory);

}  // namespace bx
