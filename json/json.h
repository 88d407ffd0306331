#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace bx {

class JsonValue;

// Orders keys as unsigned bytes (as memcmp does), a prefix before its
// extensions. Transparent, so a lookup takes a string_view without building a
// key string.
struct JsonKeyLess {
    using is_transparent = void;
    bool operator()(std::string_view left, std::string_view right) const noexcept;
};

using JsonArray = std::vector<JsonValue>;
using JsonObject = std::map<std::string, JsonValue, JsonKeyLess>;

// Malformed JSON text, a value of the wrong kind, or a wrongly shaped
// document. The message is all it carries.
class JsonError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One JSON value; it owns its whole subtree. Values are moved, never copied.
class JsonValue {
public:
    JsonValue() noexcept = default;
    explicit JsonValue(bool value) noexcept : payload_(value) {}
    explicit JsonValue(double value) noexcept : payload_(value) {}
    explicit JsonValue(std::string value) noexcept : payload_(std::move(value)) {}
    explicit JsonValue(JsonArray value) noexcept : payload_(std::move(value)) {}
    explicit JsonValue(JsonObject value) : payload_(std::move(value)) {}
    // A string literal would otherwise silently become a boolean.
    JsonValue(const char*) = delete;

    JsonValue(const JsonValue&) = delete;
    JsonValue& operator=(const JsonValue&) = delete;
    JsonValue(JsonValue&&) = default;
    JsonValue& operator=(JsonValue&&) = default;
    ~JsonValue() = default;

    bool is_null() const noexcept;
    bool is_bool() const noexcept;
    bool is_number() const noexcept;
    bool is_string() const noexcept;
    bool is_array() const noexcept;
    bool is_object() const noexcept;

    bool as_bool() const;
    double as_number() const;
    // Exact conversion of an integral number in [-2^63, 2^63).
    std::int64_t as_integer() const;
    const std::string& as_string() const;
    const JsonArray& as_array() const;
    const JsonObject& as_object() const;
    // The same for a reader that takes the payload over (moves a string out, or releases an
    // array's elements as it goes) instead of copying it.
    std::string& as_string();
    JsonArray& as_array();

    // The member with exactly these key bytes, or null (also when this value
    // is not an object).
    const JsonValue* find(std::string_view key) const noexcept;
    JsonValue* find(std::string_view key) noexcept;

private:
    std::variant<std::monostate, bool, double, std::string, JsonArray, JsonObject> payload_;
};

// Parses one complete, strict JSON text. Every failure is a JsonError whose
// message ends with " at byte " and the offset where the problem was found. The text is only
// read, never copied, so a caller may parse bytes it holds in any buffer.
JsonValue parse_json(std::string_view text);

// Escapes bytes to stand between the double quotes of a JSON string literal.
std::string json_escape(std::string_view text);

// The length of json_escape(text), counted without building it.
std::size_t json_escaped_size(std::string_view text) noexcept;

// Appends json_escape(text) to `out`. With room for json_escaped_size(text) more bytes reserved
// first, `out` keeps its storage, so no released block is left holding part of a secret.
void json_escape_append(std::string& out, std::string_view text);

}  // namespace bx
