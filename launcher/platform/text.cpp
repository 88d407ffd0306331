#include "launcher/platform/text.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <stdexcept>

#include "launcher/platform/errors.h"

namespace bx {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

}  // namespace

bool is_ascii(std::string_view text) noexcept {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The platform takes signed 32-bit counts; -1 would mean "NUL-terminated" and read past the end.
int platform_text_length(std::size_t units) {
    if (units > static_cast<std::size_t>(INT_MAX)) {
        throw std::length_error("Text is too long to convert");
    }
    return static_cast<int>(units);
}

std::wstring utf8_to_wide(std::string_view utf8) {
    std::wstring wide;
    if (utf8.empty()) return wide;
    const int size = platform_text_length(utf8.size());
    // ASCII, what most paths and URLs are, is its own UTF-16: no platform call is needed.
    if (is_ascii(utf8)) {
        wide.assign(utf8.begin(), utf8.end());
        return wide;
    }
    const int needed = check(
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0),
        "MultiByteToWideChar");
    wide.resize(static_cast<std::size_t>(needed));
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(),
                            needed) != needed) {
        throw_last_error("MultiByteToWideChar");
    }
    return wide;
}

std::string wide_to_utf8(std::wstring_view wide) {
    std::string utf8;
    wide_to_utf8(wide, utf8);
    return utf8;
}

void wide_to_utf8(std::wstring_view wide, std::string& utf8) {
    utf8.clear();
    if (wide.empty()) return;
    const int size = platform_text_length(wide.size());
    const int needed = check(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(),
                                                 size, nullptr, 0, nullptr, nullptr),
                             "WideCharToMultiByte");
    utf8.resize(static_cast<std::size_t>(needed));
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, utf8.data(), needed,
                            nullptr, nullptr) != needed) {
        throw_last_error("WideCharToMultiByte");
    }
}

std::string path_utf8(const std::filesystem::path& path) { return wide_to_utf8(path.native()); }

std::string read_file_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (!in) {
        throw std::runtime_error("Could not open " + path_utf8(path));
    }
    std::string content;
    // Room for the size the file has now, so that a large file is read without regrowing;
    // whatever it holds beyond that is read too.
    in.seekg(0, std::ios::end);
    const std::streamoff announced = in.tellg();
    in.seekg(0, std::ios::beg);
    if (announced > 0 && in) {
        content.reserve(static_cast<std::size_t>(announced));
    }
    in.clear();
    char chunk[64 * 1024];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        content.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    // End of file sets failbit with eofbit; anything else is a read error, not a short file.
    if (in.bad() || !in.eof()) {
        throw std::runtime_error("Could not read " + path_utf8(path));
    }
    if (content.size() >= kUtf8Bom.size() && content.compare(0, kUtf8Bom.size(), kUtf8Bom) == 0) {
        content.erase(0, kUtf8Bom.size());
    }
    return content;
}

std::string concat_message(const char* prefix, const char* data, std::size_t size) {
    std::string message(prefix);
    message.append(data, size);
    return message;
}

std::wstring display_text(std::string_view text) noexcept {
    try {
        return utf8_to_wide(text);
    } catch (...) {
    }
    try {
        if (text.size() <= static_cast<std::size_t>(INT_MAX)) {
            const int size = static_cast<int>(text.size());
            const int needed =
                MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
            if (needed > 0) {
                std::wstring wide(static_cast<std::size_t>(needed), L'\0');
                if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size,
                                        wide.data(), needed) == needed) {
                    return wide;
                }
            }
        }
        return L"Se produjo un error que no se puede mostrar.";
    } catch (...) {
        return {};
    }
}

}  // namespace bx
