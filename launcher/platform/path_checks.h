#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "launcher/platform/ascii.h"

namespace bx {

// Either separator that Windows accepts in a path.
constexpr bool is_path_separator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

// A slash-separated relative path from the manifest or the state file: no empty, "." or ".."
// segment, and none of the characters that Windows refuses in a file name (\ : * ? " < > | and
// the control bytes 00-1F).
bool is_safe_relative_path(std::string_view utf8) noexcept;
bool is_sha256_hex(std::string_view text) noexcept;
// Absolute in the launcher's sense: a drive or share and a root directory (D:\x,
// \\host\share\x, \\?\D:\x; not D:x or \x). The roots are read from the text, because some
// runtimes see no root name in share and extended-length paths.
bool is_fully_absolute(const std::filesystem::path& path);
// The lexical normal form, with the roots that Windows knows: separators become one backslash,
// "." segments go, ".." removes the segment before it but never climbs above the drive, the
// share (\\host\share) or the device of an extended path (\\?\D:, \\?\UNC\host\share).
// A path that ends in a separator, "." or ".." keeps one trailing separator. Nothing on disk
// is consulted.
std::filesystem::path normal_path(const std::filesystem::path& path);
// `path` taken relative to `base`, as the standard append does, with the same roots as above:
// an absolute path stands for itself, a rooted one (\x) keeps only the base's drive or share,
// and a drive-relative one (E:x) keeps the base only when the drive is the same.
std::filesystem::path join_path(const std::filesystem::path& base, const std::filesystem::path& path);
// Lexical, case-insensitive containment of two absolute paths; the directory itself is outside.
bool is_path_within(const std::filesystem::path& candidate, const std::filesystem::path& directory);

}  // namespace bx
