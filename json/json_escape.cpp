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
    std::size_t run_start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (!needs_escape(byte)) continue;
        out.append(text, run_start, i - run_start);
        append_escape(out, byte);
        run_start = i + 1;
    }
    out.append(text, run_start, text.size() - run_start);
    return out;
}

}  // namespace bx
