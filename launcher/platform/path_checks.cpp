#include "launcher/platform/path_checks.h"

#include <wchar.h>

#include <string>
#include <vector>

namespace bx {
namespace {

enum class RootKind {
    none,           // a\b
    rooted,         // \a: the root directory of the current drive or share
    drive_relative, // D:a: the current directory of that drive
    absolute,       // D:\a, \\host\share\a, \\?\D:\a, \\?\UNC\host\share\a, \\.\device\a
};

// The root of a path as Windows reads it: its kind, its text with backslashes (absolute roots
// end in one) and where the rest of the path begins.
struct PathRoot {
    RootKind kind = RootKind::none;
    std::wstring text;
    std::size_t rest = 0;
};

// The end of the segment that starts at `from`.
std::size_t segment_end(std::wstring_view text, std::size_t from) noexcept {
    while (from < text.size() && !is_path_separator(text[from])) ++from;
    return from;
}

std::size_t skip_separators(std::wstring_view text, std::size_t from) noexcept {
    while (from < text.size() && is_path_separator(text[from])) ++from;
    return from;
}

// Appends the segment at `from` and one backslash to the root; returns where it ended.
std::size_t take_root_segment(std::wstring_view text, std::size_t from, std::wstring& root) {
    const std::size_t end = segment_end(text, from);
    root.append(text.substr(from, end - from));
    root += L'\\';
    return skip_separators(text, end);
}

PathRoot path_root(std::wstring_view text) {
    PathRoot root;
    const bool doubled = text.size() >= 2 && is_path_separator(text[0]) && is_path_separator(text[1]);
    if (doubled && text.size() >= 4 && (text[2] == L'?' || text[2] == L'.') &&
        is_path_separator(text[3])) {
        // Extended-length and device paths: the device (D:, UNC\host\share, Volume{...}) is
        // the root, whatever stands in it.
        root.kind = RootKind::absolute;
        root.text = {L'\\', L'\\', text[2], L'\\'};
        std::size_t at = 4;
        const std::size_t end = segment_end(text, at);
        const std::wstring_view device = text.substr(at, end - at);
        const bool unc = ascii_iequals(device, L"UNC");
        at = take_root_segment(text, at, root.text);
        if (unc) {
            at = take_root_segment(text, at, root.text);
            at = take_root_segment(text, at, root.text);
        }
        root.rest = at;
    } else if (doubled && text.size() > 2 && !is_path_separator(text[2])) {
        // \\host\share: ".." never climbs above the share.
        root.kind = RootKind::absolute;
        root.text = L"\\\\";
        std::size_t at = take_root_segment(text, 2, root.text);
        if (at < text.size()) {
            at = take_root_segment(text, at, root.text);
        }
        root.rest = at;
    } else if (text.size() >= 2 && text[1] == L':' && is_ascii_letter(text[0])) {
        root.text = text.substr(0, 2);
        if (text.size() > 2 && is_path_separator(text[2])) {
            root.kind = RootKind::absolute;
            root.text += L'\\';
            root.rest = skip_separators(text, 2);
        } else {
            root.kind = RootKind::drive_relative;
            root.rest = 2;
        }
    } else if (!text.empty() && is_path_separator(text[0])) {
        root.kind = RootKind::rooted;
        root.text = L"\\";
        root.rest = skip_separators(text, 0);
    }
    return root;
}

// What no Windows file name may hold besides the slash. The backslash and the colon would
// reach beyond the path (drives, streams, shares); NUL cuts the name short in Win32, so the path
// would alias another one and lose its suffixes; the others cannot be created at all, and a
// manifest naming such a file would fail only after retirement had already run.
bool is_forbidden_in_name(unsigned char c) noexcept {
    return c < 0x20 || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
           c == '>' || c == '|';
}

bool is_safe_segment(std::string_view segment) noexcept {
    return !segment.empty() && segment != "." && segment != "..";
}

}  // namespace

bool is_safe_relative_path(std::string_view utf8) noexcept {
    if (utf8.empty()) return false;
    for (const char c : utf8) {
        if (is_forbidden_in_name(static_cast<unsigned char>(c))) return false;
    }
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
    return path_root(path.native()).kind == RootKind::absolute;
}

std::filesystem::path normal_path(const std::filesystem::path& path) {
    const std::wstring_view text = path.native();
    if (text.empty()) return {};
    const PathRoot root = path_root(text);
    const bool rooted = root.kind == RootKind::absolute || root.kind == RootKind::rooted;
    std::vector<std::wstring_view> kept;
    bool trailing = false;
    for (std::size_t at = root.rest; at < text.size();) {
        const std::size_t end = segment_end(text, at);
        const std::wstring_view segment = text.substr(at, end - at);
        at = skip_separators(text, end);
        // A separator at the end, or a last segment that names a directory, keeps one.
        trailing = at >= text.size() && (end < text.size() || segment == L"." || segment == L"..");
        if (segment == L".") continue;
        if (segment == L"..") {
            if (!kept.empty() && kept.back() != L"..") {
                kept.pop_back();
            } else if (!rooted) {
                kept.push_back(segment);
                trailing = false;
            }
            continue;
        }
        kept.push_back(segment);
    }
    std::wstring normal = root.text;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) normal += L'\\';
        normal.append(kept[i]);
    }
    if (trailing && !kept.empty() && kept.back() != L"..") normal += L'\\';
    if (normal.empty()) normal = L".";
    return std::filesystem::path(std::move(normal));
}

std::filesystem::path join_path(const std::filesystem::path& base,
                                const std::filesystem::path& path) {
    const std::wstring& text = path.native();
    const std::wstring& baseText = base.native();
    const PathRoot root = path_root(text);
    const PathRoot baseRoot = path_root(baseText);
    const bool baseHasDevice =
        baseRoot.kind == RootKind::absolute || baseRoot.kind == RootKind::drive_relative;
    switch (root.kind) {
    case RootKind::absolute:
        return path;
    case RootKind::drive_relative:
        // Only the same drive letter continues the base.
        if (baseRoot.text.size() < 2 || baseRoot.text[1] != L':' ||
            (baseRoot.text[0] | 0x20) != (text[0] | 0x20)) {
            return path;
        }
        break;
    case RootKind::rooted: {
        if (!baseHasDevice) return path;
        std::wstring device = baseRoot.text;
        while (!device.empty() && device.back() == L'\\') device.pop_back();
        return std::filesystem::path(device + text);
    }
    case RootKind::none:
        break;
    }
    if (baseText.empty()) return path;
    std::wstring joined = baseText;
    if (!is_path_separator(joined.back()) && !(joined.size() == 2 && joined[1] == L':')) joined += L'\\';
    joined.append(text, root.rest);
    return std::filesystem::path(std::move(joined));
}

bool is_path_within(const std::filesystem::path& candidate,
                    const std::filesystem::path& directory) {
    const std::wstring inside = normal_path(candidate).native();
    std::wstring prefix = normal_path(directory).native();
    if (prefix.empty() || (prefix.back() != L'\\' && prefix.back() != L'/')) prefix += L'\\';
    if (inside.size() < prefix.size()) return false;
    return _wcsnicmp(inside.c_str(), prefix.c_str(), prefix.size()) == 0;
}

}  // namespace bx
