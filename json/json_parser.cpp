#include "json/json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace bx {

namespace {

// The parser reads answers from the network; bounding the nesting keeps both
// its recursion and the later destruction of the tree off the stack's limit.
constexpr std::size_t max_nesting_depth = 512;

bool is_whitespace(char byte) noexcept {
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r';
}

bool is_digit(char byte) noexcept { return byte >= '0' && byte <= '9'; }

// 0 to 15, or -1 for a byte that is no hexadecimal digit.
int hex_value(char byte) noexcept {
    if (byte >= '0' && byte <= '9') return byte - '0';
    if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
    if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
    return -1;
}

void append_utf8(std::string& out, std::uint32_t code_point) {
    if (code_point < 0x80) {
        out += static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        out += static_cast<char>(0xC0 | (code_point >> 6));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else if (code_point < 0x10000) {
        out += static_cast<char>(0xE0 | (code_point >> 12));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code_point >> 18));
        out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    }
}

// from_chars leaves the value unset on a range error, for overflow and
// underflow alike. Tells them apart by the decimal exponent of the first
// significant digit; `number` already matches the number grammar.
bool magnitude_below_one(std::string_view number) noexcept {
    std::size_t i = number.front() == '-' ? 1 : 0;
    const std::size_t integer_start = i;
    while (i < number.size() && is_digit(number[i])) ++i;
    long long leading = -1;  // stays negative for a zero, which is never out of range
    if (number[integer_start] != '0') {
        leading = static_cast<long long>(i - integer_start) - 1;
    } else if (i < number.size() && number[i] == '.') {
        for (std::size_t j = i + 1; j < number.size() && is_digit(number[j]); ++j) {
            if (number[j] != '0') {
                leading = -static_cast<long long>(j - i);
                break;
            }
        }
    }
    while (i < number.size() && number[i] != 'e' && number[i] != 'E') ++i;
    if (i == number.size()) return leading < 0;
    ++i;
    const bool negative = number[i] == '-';
    if (number[i] == '+' || number[i] == '-') ++i;
    // Far beyond any text length, and small enough that nothing below overflows.
    constexpr long long saturation = 1'000'000'000'000'000;
    long long exponent = 0;
    for (; i < number.size(); ++i)
        exponent = std::min(saturation, exponent * 10 + (number[i] - '0'));
    return leading + (negative ? -exponent : exponent) < 0;
}

class JsonParser {
public:
    explicit JsonParser(std::string_view input) noexcept : text(input) {}

    JsonValue parse_document() {
        skip_whitespace();
        JsonValue root = parse_value();
        skip_whitespace();
        if (pos != text.size()) fail("unexpected trailing content");
        return root;
    }

private:
    std::string_view text;
    std::size_t pos = 0;
    std::size_t depth = 0;

    [[noreturn]] void fail(const char* message) const {
        throw JsonError(std::string(message) + " at byte " + std::to_string(pos));
    }

    bool at_end() const noexcept { return pos == text.size(); }

    void skip_whitespace() noexcept {
        while (pos < text.size() && is_whitespace(text[pos])) ++pos;
    }

    JsonValue parse_value() {
        if (at_end()) fail("unexpected end of input");
        const char byte = text[pos];
        if (byte == '"') return JsonValue(parse_string());
        if (byte == '-' || is_digit(byte)) return parse_number();
        if (byte == '[' || byte == '{') {
            if (depth == max_nesting_depth) fail("nesting too deep");
            ++depth;
            JsonValue nested = byte == '[' ? parse_array() : parse_object();
            --depth;
            return nested;
        }
        if (byte == 't') return parse_literal("true", JsonValue(true));
        if (byte == 'f') return parse_literal("false", JsonValue(false));
        if (byte == 'n') return parse_literal("null", JsonValue());
        fail("unexpected token");
    }

    JsonValue parse_literal(std::string_view word, JsonValue value) {
        if (text.compare(pos, word.size(), word) != 0) fail("invalid literal");
        pos += word.size();
        return value;
    }

    void skip_digits() noexcept {
        while (pos < text.size() && is_digit(text[pos])) ++pos;
    }

    bool at_digit() const noexcept { return pos < text.size() && is_digit(text[pos]); }

    JsonValue parse_number() {
        const std::size_t start = pos;
        if (text[pos] == '-') {
            ++pos;
            if (!at_digit()) fail("invalid number");
        }
        // A leading zero ends the integer part; a digit after it is the caller's.
        if (text[pos++] != '0') skip_digits();
        if (pos < text.size() && text[pos] == '.') {
            ++pos;
            if (!at_digit()) fail("invalid number fraction");
            skip_digits();
        }
        if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
            ++pos;
            if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
            if (!at_digit()) fail("invalid number exponent");
            skip_digits();
        }
        return JsonValue(convert_number(std::string_view(text).substr(start, pos - start)));
    }

    // Correctly rounded and independent of the locale.
    double convert_number(std::string_view number) const {
        double value = 0.0;
        const char* end = number.data() + number.size();
        const auto [stop, error] = std::from_chars(number.data(), end, value);
        if (stop != end) fail("invalid or non-finite number");
        if (error == std::errc::result_out_of_range) {
            // Underflow is no error: it becomes a zero of the number's sign.
            if (!magnitude_below_one(number)) fail("invalid or non-finite number");
            return number.front() == '-' ? -0.0 : 0.0;
        }
        if (error != std::errc() || !std::isfinite(value)) fail("invalid or non-finite number");
        return value;
    }

    static bool is_plain_string_byte(char byte) noexcept {
        return static_cast<unsigned char>(byte) >= 0x20 && byte != '"' && byte != '\\';
    }

    std::string parse_string() {
        ++pos;  // the opening quote
        std::string out;
        for (;;) {
            // Copy each run of ordinary bytes at once; bytes from 0x80 up pass unchecked.
            const std::size_t run_start = pos;
            while (pos < text.size() && is_plain_string_byte(text[pos])) ++pos;
            out.append(text, run_start, pos - run_start);
            if (at_end()) fail("unterminated string");
            const char byte = text[pos++];
            if (byte == '"') return out;
            if (byte != '\\') fail("unescaped control character in string");
            parse_escape(out);
        }
    }

    void parse_escape(std::string& out) {
        if (at_end()) fail("unfinished string escape");
        switch (text[pos++]) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': append_utf8(out, parse_unicode_escape()); break;
        default: fail("unknown string escape");
        }
    }

    // Called with pos just after the u of a backslash-u.
    std::uint32_t parse_unicode_escape() {
        const std::size_t backslash = pos - 2;
        if (text.size() < backslash + 6) fail("unfinished Unicode escape");
        const std::uint32_t first = parse_hex4();
        if (first >= 0xDC00 && first <= 0xDFFF) fail("unexpected low surrogate");
        if (first < 0xD800 || first > 0xDBFF) return first;
        if (text.size() < backslash + 8 || text[backslash + 6] != '\\' || text[backslash + 7] != 'u')
            fail("high surrogate is missing its low surrogate");
        pos = backslash + 8;
        if (text.size() < backslash + 12) fail("unfinished Unicode escape");
        const std::uint32_t second = parse_hex4();
        if (second < 0xDC00 || second > 0xDFFF) fail("invalid low surrogate");
        return 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
    }

    // The caller has made sure that four bytes are there.
    std::uint32_t parse_hex4() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hex_value(text[pos++]);
            if (digit < 0) fail("invalid hexadecimal digit in Unicode escape");
            value = value * 16 + static_cast<std::uint32_t>(digit);
        }
        return value;
    }

    // After an element or a member: true at the closing bracket, false after a comma.
    bool finish_item(char closing) {
        skip_whitespace();
        if (!at_end() && text[pos] == closing) {
            ++pos;
            return true;
        }
        if (at_end() || text[pos] != ',') fail("expected ','");
        ++pos;
        skip_whitespace();
        return false;
    }

    JsonValue parse_array() {
        ++pos;  // the opening bracket
        skip_whitespace();
        JsonArray elements;
        if (!at_end() && text[pos] == ']') {
            ++pos;
            return JsonValue(std::move(elements));
        }
        do {
            skip_whitespace();
            elements.push_back(parse_value());
        } while (!finish_item(']'));
        return JsonValue(std::move(elements));
    }

    JsonValue parse_object() {
        ++pos;  // the opening bracket
        skip_whitespace();
        JsonObject members;
        if (!at_end() && text[pos] == '}') {
            ++pos;
            return JsonValue(std::move(members));
        }
        do {
            if (at_end() || text[pos] != '"') fail("object key must be a string");
            std::string key = parse_string();
            skip_whitespace();
            if (at_end() || text[pos] != ':') fail("expected ':'");
            ++pos;
            skip_whitespace();
            JsonValue value = parse_value();
            // One search serves both the duplicate test and the insertion.
            const auto next = members.lower_bound(key);
            if (next != members.end() && next->first == key) fail("duplicate object key");
            members.emplace_hint(next, std::move(key), std::move(value));
        } while (!finish_item('}'));
        return JsonValue(std::move(members));
    }
};

}  // namespace

JsonValue parse_json(std::string_view text) {
    return JsonParser(text).parse_document();
}

}  // namespace bx
