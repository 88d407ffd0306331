#include "json/json.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using namespace std::literals;

struct EscapeCase {
    std::string_view input;
    std::string_view escaped;
};

TEST(JsonEscape, WritesShortEscapesLowerCaseUnicodeEscapesAndCopiesTheRest) {
    const EscapeCase cases[] = {
        {"", ""},
        {"abc", "abc"},
        {"a\tb", "a\\tb"},
        {"\"", "\\\""},
        {"\\", "\\\\"},
        {"\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
        {"\0"sv, "\\u0000"},
        {"\x01", "\\u0001"},
        {"\x0B", "\\u000b"},
        {"\x0E", "\\u000e"},
        {"\x1A", "\\u001a"},
        {"\x1F", "\\u001f"},
        {"/", "/"},
        {"\x7F", "\x7F"},
        {"\xC3\xA9", "\xC3\xA9"},
        {"\xFF", "\xFF"},
        {"\x80\xC3", "\x80\xC3"},
        {"say \"hi\"\r\n\\path\\to\0end"sv, "say \\\"hi\\\"\\r\\n\\\\path\\\\to\\u0000end"},
    };
    for (const EscapeCase& c : cases) {
        SCOPED_TRACE(std::string(c.input));
        EXPECT_EQ(bx::json_escape(c.input), c.escaped);
    }
}

TEST(JsonEscape, EveryByteStringParsesBackToItself) {
    std::string all_bytes;
    for (int byte = 0; byte <= 0xFF; ++byte) {
        const std::string single(1, static_cast<char>(byte));
        SCOPED_TRACE(byte);
        EXPECT_EQ(bx::parse_json('"' + bx::json_escape(single) + '"').as_string(), single);
        all_bytes += single;
    }
    const std::string doubled = all_bytes + all_bytes;
    EXPECT_EQ(bx::parse_json('"' + bx::json_escape(doubled) + '"').as_string(), doubled);
}

}  // namespace
