#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace bx {

// The launcher's one way to make a path absolute, with the meaning Windows gives it: an
// absolute path (drive, share, \\?\ and \\.\ forms) is only put in normal form (normal_path);
// a relative, rooted (\x) or drive-relative (E:x) one is completed by GetFullPathNameW with the
// current directory, the current drive or share, or that drive's current directory. An empty
// path fails as the standard library fails it.
std::filesystem::path absolute_path(const std::filesystem::path& path);

// The path that Windows will actually open for an absolute path: GetFullPathNameW drops
// trailing dots and blanks of the last segment, cuts the text at a NUL and turns device
// names such as CON or aux.txt into \\.\ device paths. Existing files reached through an
// 8.3 short name are given under their long name. Throws for a failed GetFullPathNameW.
std::filesystem::path path_as_opened(const std::filesystem::path& path);

// True when a '/'-separated relative path (UTF-8) holds a segment that Windows would not
// open under its own name: one that ends in a dot or a blank, or a reserved device name
// (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, also with an extension).
bool has_windows_alias_segment(std::string_view relativePath);

// The text of `path` below `directory` (path lies within directory, both absolute), without
// the separator between them.
std::wstring text_below(const std::filesystem::path& path, const std::filesystem::path& directory);

// True when two names are one name to the file system: letter case folded as NTFS folds it,
// for all of Unicode, not only A-Z (CompareStringOrdinal, ignoring case).
bool same_file_name(std::wstring_view left, std::wstring_view right);

// The text in the upper case in which the file system compares names: two texts have the same
// key exactly when same_file_name finds them equal. For sets and maps of names.
std::wstring file_name_key(std::wstring_view text);

// Whether anything (a file, a directory, another item) stands at `path`, as its status says:
// unknown when the status cannot be read, with the reason in `error`.
enum class Presence { absent, present, unknown };
Presence presence_of(const std::filesystem::path& path, std::error_code& error) noexcept;

}  // namespace bx
