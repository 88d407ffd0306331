#include "launcher/platform/windows_path.h"

#include "launcher/platform/ascii.h"
#include "launcher/platform/errors.h"
#include "launcher/platform/path_checks.h"
#include "launcher/platform/text.h"

#include <windows.h>

#include <array>
#include <stdexcept>
#include <string>
#include <system_error>

namespace bx {
namespace {

std::wstring full_path_name(const std::wstring& text) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = check(GetFullPathNameW(text.c_str(),
                                                    static_cast<DWORD>(buffer.size()),
                                                    buffer.data(), nullptr),
                                   "GetFullPathNameW");
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.assign(length, L'\0');
    }
}

// The long form of the longest existing part of a path, the rest appended as written.
std::wstring long_path_name(const std::wstring& text) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetLongPathNameW(text.c_str(), buffer.data(),
                                              static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            break;
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.assign(length, L'\0');
    }
    // Nothing exists there: convert the parent and keep the last segment as it is.
    const std::size_t separator = text.find_last_of(L"\\/");
    if (separator == std::wstring::npos || separator + 1 >= text.size() || separator < 3) {
        return text;
    }
    std::wstring parent = long_path_name(text.substr(0, separator));
    if (parent.empty() || !is_path_separator(parent.back())) {
        parent += L'\\';
    }
    return parent + text.substr(separator + 1);
}

bool is_device_name(std::string_view segment) {
    // Every device name begins with one of these letters: most segments stop here.
    const char first = segment.empty() ? '\0' : ascii_lower(segment[0]);
    if (first != 'c' && first != 'p' && first != 'a' && first != 'n' && first != 'l') {
        return false;
    }
    // The device is named by the text before the first dot, blanks at its end ignored.
    std::string_view base = segment.substr(0, segment.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.remove_suffix(1);
    }
    static constexpr std::array<std::string_view, 6> kNames = {"CON", "PRN", "AUX", "NUL",
                                                               "CONIN$", "CONOUT$"};
    for (std::string_view name : kNames) {
        if (ascii_iequals(base, name)) {
            return true;
        }
    }
    if (base.size() < 4) {
        return false;
    }
    const std::string_view stem = base.substr(0, 3);
    if (!ascii_iequals(stem, "COM") && !ascii_iequals(stem, "LPT")) {
        return false;
    }
    const std::string_view number = base.substr(3);
    // One digit, or the superscripts one, two and three in UTF-8.
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') ||
           number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace

std::filesystem::path absolute_path(const std::filesystem::path& path) {
    if (path.empty()) {
        throw std::filesystem::filesystem_error(
            "cannot make absolute path", path, std::make_error_code(std::errc::invalid_argument));
    }
    if (is_fully_absolute(path)) {
        return normal_path(path);
    }
    // Only the missing start is asked for (the current directory, the current drive or share,
    // or that drive's current directory); the path's own segments are kept as written.
    const std::wstring& text = path.native();
    const bool driveRelative = text.size() >= 2 && text[1] == L':';
    const bool rooted = !text.empty() && (text[0] == L'\\' || text[0] == L'/');
    const std::wstring start = driveRelative ? text.substr(0, 2) : rooted ? L"\\" : L".";
    std::wstring base;
    try {
        base = full_path_name(start);
    } catch (const std::system_error& error) {
        throw std::filesystem::filesystem_error("cannot make absolute path", path, error.code());
    }
    return normal_path(join_path(base, path));
}

std::filesystem::path path_as_opened(const std::filesystem::path& path) {
    return std::filesystem::path(long_path_name(full_path_name(path.native())));
}

std::wstring text_below(const std::filesystem::path& path, const std::filesystem::path& directory) {
    const std::wstring& text = directory.native();
    std::size_t length = text.size();
    if (length == 0 || (text.back() != L'\\' && text.back() != L'/')) {
        ++length;
    }
    return path.native().size() > length ? path.native().substr(length) : std::wstring();
}

bool same_file_name(std::wstring_view left, std::wstring_view right) {
    return CompareStringOrdinal(left.data(), platform_text_length(left.size()), right.data(),
                                platform_text_length(right.size()), TRUE) == CSTR_EQUAL;
}

std::wstring file_name_key(std::wstring_view text) {
    std::wstring key(text);
    bool ascii = true;
    for (wchar_t& c : key) {
        if (c >= 0x80) {
            ascii = false;
            break;
        }
        c = ascii_upper(c);
    }
    if (ascii) {
        return key;
    }
    // The file system's own casing, not a language's: LCMapStringEx without linguistic casing,
    // on the runs between surrogates. The file system folds single UTF-16 units only, so a
    // character beyond the BMP keeps its case (LCMapStringEx would fold some of them).
    key.assign(text);
    std::size_t start = 0;
    while (start < key.size()) {
        std::size_t end = start;
        while (end < key.size() && (key[end] < 0xD800 || key[end] > 0xDFFF)) {
            ++end;
        }
        if (end > start) {
            const int length = platform_text_length(end - start);
            if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data() + start, length,
                              key.data() + start, length, nullptr, nullptr, 0) != length) {
                throw_last_error("LCMapStringEx");
            }
        }
        start = end + 1;
    }
    return key;
}

bool has_windows_alias_segment(std::string_view relativePath) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = relativePath.find('/', start);
        const std::string_view segment = relativePath.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!segment.empty() && (segment.back() == '.' || segment.back() == ' ')) {
            return true;
        }
        if (is_device_name(segment)) {
            return true;
        }
        if (end == std::string_view::npos) {
            return false;
        }
        start = end + 1;
    }
}

Presence presence_of(const std::filesystem::path& path, std::error_code& error) noexcept {
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return Presence::absent;
    }
    return status.type() == std::filesystem::file_type::none && error ? Presence::unknown
                                                                       : Presence::present;
}

}  // namespace bx
