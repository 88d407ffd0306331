#pragma once

// Checks shared by the fuzz target and the corpus replay. Each returns an
// empty string when all is well, else a description of what went wrong.

#include "json/json.h"

#include <cmath>
#include <cstddef>
#include <exception>
#include <new>
#include <string>
#include <string_view>

namespace bx::fuzz {

inline bool is_known_parse_message(std::string_view message) {
    static constexpr std::string_view known[] = {
        "unexpected end of input",
        "unexpected token",
        "invalid literal",
        "invalid number",
        "invalid number fraction",
        "invalid number exponent",
        "invalid or non-finite number",
        "unterminated string",
        "unescaped control character in string",
        "unfinished string escape",
        "unknown string escape",
        "unfinished Unicode escape",
        "invalid hexadecimal digit in Unicode escape",
        "unexpected low surrogate",
        "high surrogate is missing its low surrogate",
        "invalid low surrogate",
        "object key must be a string",
        "expected ':'",
        "expected ','",
        "duplicate object key",
        "unexpected trailing content",
        "nesting too deep",
    };
    for (std::string_view candidate : known)
        if (message == candidate) return true;
    return false;
}

// A parse failure reads "<message> at byte <offset>", the offset in plain
// decimal and within the text.
inline std::string check_error_text(std::string_view what, std::size_t text_size) {
    constexpr std::string_view separator = " at byte ";
    const std::size_t at = what.rfind(separator);
    if (at == std::string_view::npos) return "parse error without offset: " + std::string(what);
    if (!is_known_parse_message(what.substr(0, at)))
        return "unknown parse message: " + std::string(what);
    const std::string_view digits = what.substr(at + separator.size());
    if (digits.empty() || digits.size() > 20 || (digits.size() > 1 && digits.front() == '0'))
        return "malformed offset: " + std::string(what);
    std::size_t offset = 0;
    for (char digit : digits) {
        if (digit < '0' || digit > '9') return "malformed offset: " + std::string(what);
        offset = offset * 10 + static_cast<std::size_t>(digit - '0');
    }
    if (offset > text_size) return "offset beyond the text: " + std::string(what);
    return {};
}

inline std::string check_tree(const JsonValue& value, std::size_t depth) {
    if (value.is_number() && !std::isfinite(value.as_number())) return "non-finite number";
    if (!value.is_array() && !value.is_object()) return {};
    if (depth + 1 > 512) return "tree nested deeper than 512";
    if (value.is_array()) {
        for (const JsonValue& element : value.as_array())
            if (std::string problem = check_tree(element, depth + 1); !problem.empty()) return problem;
        return {};
    }
    for (const auto& [key, member] : value.as_object()) {
        if (value.find(key) != &member) return "member not found by its own key";
        if (std::string problem = check_tree(member, depth + 1); !problem.empty()) return problem;
    }
    return {};
}

// Any text either parses to a sound tree or fails with a well-formed message.
inline std::string check_parse(std::string_view input) {
    const std::string text(input);
    try {
        const JsonValue root = parse_json(text);
        return check_tree(root, 0);
    } catch (const JsonError& error) {
        return check_error_text(error.what(), text.size());
    } catch (const std::bad_alloc&) {
        throw;  // exhausted memory is the fuzzer's to report
    } catch (const std::exception& error) {
        return std::string("parse_json threw something else than JsonError: ") + error.what();
    }
}

// Any bytes, escaped and quoted, parse back to exactly themselves.
inline std::string check_escape_round_trip(std::string_view bytes) {
    const std::string escaped = json_escape(bytes);
    if (escaped.size() < bytes.size()) return "escaped text shorter than its input";
    for (char byte : escaped)
        if (static_cast<unsigned char>(byte) < 0x20) return "control byte left in escaped text";
    try {
        const JsonValue parsed = parse_json('"' + escaped + '"');
        if (!parsed.is_string()) return "escaped text did not parse to a string";
        if (parsed.as_string() != bytes) return "escaped text parsed back to other bytes";
        return {};
    } catch (const JsonError& error) {
        return std::string("escaped text failed to parse: ") + error.what();
    }
}

inline std::string check_json_input(std::string_view input) {
    if (std::string problem = check_parse(input); !problem.empty()) return problem;
    return check_escape_round_trip(input);
}

}  // namespace bx::fuzz
