#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace bx {

// Equal ignoring the case of the ASCII letters only (hex digests).
bool ascii_iequals(std::string_view a, std::string_view b) noexcept;
bool is_hex_digit(unsigned char c) noexcept;
// The text with A-Z turned into a-z and nothing else changed, as _wcsicmp compares: a key under
// which paths that _wcsicmp finds equal are equal.
std::wstring ascii_lowercase(std::wstring text);
// A slash-separated relative path from the manifest or the state file: no empty, "." or ".."
// segment, no backslash, colon or NUL.
bool is_safe_relative_path(std::string_view utf8) noexcept;
bool is_sha256_hex(std::string_view text) noexcept;
// Absolute in the launcher's sense: a drive or share and a root directory (D:\x, \\host\share\x;
// not D:x or \x). Some runtimes do not see a share's root name, so a leading pair of
// separators is taken as one.
bool is_fully_absolute(const std::filesystem::path& path);
// Lexical, case-insensitive containment of two absolute paths; the directory itself is outside.
bool is_path_within(const std::filesystem::path& candidate, const std::filesystem::path& directory);

}  // namespace bx
