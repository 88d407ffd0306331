#include "launcher/path_checks.h"

#include <wchar.h>

#include <string>

namespace bx {
namespace {

unsigned char fold_ascii(unsigned char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

bool is_safe_segment(std::string_view segment) noexcept {
    return !segment.empty() && segment != "." && segment != "..";
}

}  // namespace

bool ascii_iequals(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold_ascii(static_cast<unsigned char>(a[i])) !=
            fold_ascii(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::wstring ascii_lowercase(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c + (L'a' - L'A'));
        }
    }
    return text;
}

bool is_hex_digit(unsigned char c) noexcept {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool is_safe_relative_path(std::string_view utf8) noexcept {
    if (utf8.empty()) return false;
    // Win32 cuts a name at NUL, so such a path would alias another one and lose its suffixes.
    if (utf8.find_first_of(std::string_view("\\:\0", 3)) != std::string_view::npos) return false;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = utf8.find('/', start);
        const std::string_view segment =
            utf8.substr(start, slash == std::string_view::npos ? std::string_view::npos
                                                               : slash - start);
        if (!is_safe_segment(segment)) return false;
        if (slash == std::string_view::npos) return true;
        start = slash + 1;
    }
}

bool is_sha256_hex(std::string_view text) noexcept {
    if (text.size() != 64) return false;
    for (char c : text) {
        if (!is_hex_digit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

bool is_fully_absolute(const std::filesystem::path& path) {
    const std::wstring& text = path.native();
    const auto is_separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    if (text.size() > 2 && is_separator(text[0]) && is_separator(text[1]) && !is_separator(text[2])) {
        return true;
    }
    return path.has_root_name() && path.has_root_directory();
}

bool is_path_within(const std::filesystem::path& candidate,
                    const std::filesystem::path& directory) {
    const std::wstring inside = candidate.lexically_normal().native();
    std::wstring prefix = directory.lexically_normal().native();
    if (prefix.empty() || (prefix.back() != L'\\' && prefix.back() != L'/')) prefix += L'\\';
    if (inside.size() < prefix.size()) return false;
    return _wcsnicmp(inside.c_str(), prefix.c_str(), prefix.size()) == 0;
}

}  // namespace bx
