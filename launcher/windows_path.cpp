#include "launcher/windows_path.h"

#include "launcher/errors.h"
#include "launcher/path_checks.h"

#include <windows.h>

#include <array>
#include <string>

namespace bx {
namespace {

std::wstring full_path_name(const std::wstring& text) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFullPathNameW(text.c_str(), static_cast<DWORD>(buffer.size()),
                                              buffer.data(), nullptr);
        if (length == 0) {
            throw_last_error("GetFullPathNameW");
        }
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
    if (parent.empty() || (parent.back() != L'\\' && parent.back() != L'/')) {
        parent += L'\\';
    }
    return parent + text.substr(separator + 1);
}

bool is_device_name(std::string_view segment) {
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

std::filesystem::path path_as_opened(const std::filesystem::path& path) {
    return std::filesystem::path(long_path_name(full_path_name(path.native())));
}

std::filesystem::path path_as_opened_below(const std::filesystem::path& path,
                                           const std::filesystem::path& directory,
                                           const std::filesystem::path& openedDirectory) {
    const std::wstring below = text_below(path, directory);
    if (below.empty() || below.find(L'~') != std::wstring::npos ||
        !is_path_within(path, directory)) {
        return path_as_opened(path);
    }
    return openedDirectory / below;
}

std::wstring text_below(const std::filesystem::path& path, const std::filesystem::path& directory) {
    const std::wstring& text = directory.native();
    std::size_t length = text.size();
    if (length == 0 || (text.back() != L'\\' && text.back() != L'/')) {
        ++length;
    }
    return path.native().size() > length ? path.native().substr(length) : std::wstring();
}

bool same_path_text(const std::filesystem::path& left, const std::filesystem::path& right) {
    const std::wstring& a = left.native();
    const std::wstring& b = right.native();
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
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

}  // namespace bx
