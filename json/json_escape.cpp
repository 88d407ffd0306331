#include "json/json.h"

namespace bx {

namespace {

// The two-byte escape for a byte that has one, else 0.
char short_escape(unsigned char byte) noexcept {
    switch (byte) {
    case '"': return '"';
    case '\\': return '\\';
    case '\b': return 'b';
    case '\t': return 't';
    case '\n': return 'n';
    case '\f': return 'f';
    case '\r': return 'r';
    default: return 0;
    }
}

bool needs_escape(unsigned char byte) noexcept {
    return byte < 0x20 || byte == '"' || byte == '\\';
}

// Bytes that append_escape writes for the byte, or 1 when it is copied.
std::size_t escaped_length(unsigned char byte) noexcept {
    if (!needs_escape(byte)) return 1;
    return short_escape(byte) != 0 ? 2 : 6;
}

void append_escape(std::string& out, unsigned char byte) {
    if (const char letter = short_escape(byte)) {
        out += '\\';
        out += letter;
        return;
    }
    static constexpr char hex_digits[] = "0123456789abcdef";
    out += "\\u00";
    out += hex_digits[byte >> 4];
    out += hex_digits[byte & 0x0F];
}

}  // namespace

std::string json_escape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    json_escape_append(out, text);
    return out;
}

std::size_t json_escaped_size(std::string_view text) noexcept {
    std::size_t size = 0;
    for (const char c : text) {
        size += escaped_length(static_cast<unsigned char>(c));
    }
    return size;
}

void json_escape_append(std::string& out, std::string_view text) {
    std::size_t run_start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (!needs_escape(byte)) continue;
        out.append(text, run_start, i - run_start);
        append_escape(out, byte);
        run_start = i + 1;
    }
    out.append(text, run_start, text.size() - run_start);
}

}  // namespace bx
