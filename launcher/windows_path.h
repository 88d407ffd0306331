#pragma once

#include <filesystem>
#include <string_view>

namespace bx {

// The path that Windows will actually open for an absolute path: GetFullPathNameW drops
// trailing dots and blanks of the last segment, cuts the text at a NUL and turns device
// names such as CON or aux.txt into \\.\ device paths. Existing files reached through an
// 8.3 short name are given under their long name. Throws for a failed GetFullPathNameW.
std::filesystem::path path_as_opened(const std::filesystem::path& path);

// path_as_opened of `path`, an absolute, lexically normal path within `directory`, given the
// opened form of that directory. Once segments ending in a dot or a blank and device names are
// refused (has_windows_alias_segment), only a segment holding '~' can be a generated 8.3 alias:
// the others open under their own names. The disk lookup behind the long name costs about a
// millisecond per call under Wine, so it runs only for such paths.
std::filesystem::path path_as_opened_below(const std::filesystem::path& path,
                                           const std::filesystem::path& directory,
                                           const std::filesystem::path& openedDirectory);

// True when a '/'-separated relative path (UTF-8) holds a segment that Windows would not
// open under its own name: one that ends in a dot or a blank, or a reserved device name
// (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, also with an extension).
bool has_windows_alias_segment(std::string_view relativePath);

// The text of `path` below `directory` (path lies within directory, both absolute), without
// the separator between them.
std::wstring text_below(const std::filesystem::path& path, const std::filesystem::path& directory);

// True when two paths name the same text under the file system's own case folding
// (CompareStringOrdinal ignoring case), as when Windows gives back a name in its stored case.
bool same_path_text(const std::filesystem::path& left, const std::filesystem::path& right);

}  // namespace bx
