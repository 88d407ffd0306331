#include "json/json.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace bx {

bool JsonKeyLess::operator()(std::string_view left, std::string_view right) const noexcept {
    const std::size_t common = std::min(left.size(), right.size());
    // memcmp compares as unsigned bytes, so keys beginning with 0x80 and up
    // sort after all ASCII whatever the signedness of char.
    const int order = common == 0 ? 0 : std::memcmp(left.data(), right.data(), common);
    return order != 0 ? order < 0 : left.size() < right.size();
}

bool JsonValue::is_null() const noexcept { return std::holds_alternative<std::monostate>(payload_); }
bool JsonValue::is_bool() const noexcept { return std::holds_alternative<bool>(payload_); }
bool JsonValue::is_number() const noexcept { return std::holds_alternative<double>(payload_); }
bool JsonValue::is_string() const noexcept { return std::holds_alternative<std::string>(payload_); }
bool JsonValue::is_array() const noexcept { return std::holds_alternative<JsonArray>(payload_); }
bool JsonValue::is_object() const noexcept { return std::holds_alternative<JsonObject>(payload_); }

bool JsonValue::as_bool() const {
    if (const bool* value = std::get_if<bool>(&payload_)) return *value;
    throw JsonError("JSON value is not a boolean");
}

double JsonValue::as_number() const {
    if (const double* value = std::get_if<double>(&payload_)) return *value;
    throw JsonError("JSON value is not a number");
}

std::int64_t JsonValue::as_integer() const {
    const double value = as_number();
    // Both bounds are powers of two, so they are exact as doubles; 2^63 itself
    // is out of range (the largest int64 has no double of its own).
    constexpr double lowest = -9223372036854775808.0;
    constexpr double beyond_highest = 9223372036854775808.0;
    const bool integral = value == std::floor(value);  // false for NaN
    if (!integral || value < lowest || value >= beyond_highest)
        throw JsonError("JSON number is not an integer");
    return static_cast<std::int64_t>(value);
}

const std::string& JsonValue::as_string() const {
    if (const std::string* value = std::get_if<std::string>(&payload_)) return *value;
    throw JsonError("JSON value is not a string");
}

const JsonArray& JsonValue::as_array() const {
    if (const JsonArray* value = std::get_if<JsonArray>(&payload_)) return *value;
    throw JsonError("JSON value is not an array");
}

std::string& JsonValue::as_string() {
    return const_cast<std::string&>(std::as_const(*this).as_string());
}

JsonArray& JsonValue::as_array() {
    return const_cast<JsonArray&>(std::as_const(*this).as_array());
}

const JsonObject& JsonValue::as_object() const {
    if (const JsonObject* value = std::get_if<JsonObject>(&payload_)) return *value;
    throw JsonError("JSON value is not an object");
}

const JsonValue* JsonValue::find(std::string_view key) const noexcept {
    const JsonObject* object = std::get_if<JsonObject>(&payload_);
    if (object == nullptr) return nullptr;
    const auto member = object->find(key);
    return member == object->end() ? nullptr : &member->second;
}

JsonValue* JsonValue::find(std::string_view key) noexcept {
    return const_cast<JsonValue*>(std::as_const(*this).find(key));
}

}  // namespace bx
