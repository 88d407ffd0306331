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

const EscapeCase kCases[] = {
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

TEST(JsonEscape, WritesShortEscapesLowerCaseUnicodeEscapesAndCopiesTheRest) {
    for (const EscapeCase& c : kCases) {
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

TEST(JsonEscape, CountsTheEscapedSizeWithoutBuildingIt) {
    for (const EscapeCase& c : kCases) {
        SCOPED_TRACE(std::string(c.input));
        EXPECT_EQ(bx::json_escaped_size(c.input), c.escaped.size());
    }
    std::string all_bytes;
    for (int byte = 0; byte <= 0xFF; ++byte) {
        all_bytes += static_cast<char>(byte);
    }
    EXPECT_EQ(bx::json_escaped_size(all_bytes), bx::json_escape(all_bytes).size());
}

// Escaping into a buffer reserved for its final size must never move it: a secret escaped
// there leaves no copy in a block given back to the heap.
TEST(JsonEscape, AppendsBehindTheTextInTheReservedStorage) {
    const std::string_view prefix = "{\"password\":\"";
    for (const EscapeCase& c : kCases) {
        SCOPED_TRACE(std::string(c.input));
        std::string out;
        out.reserve(prefix.size() + bx::json_escaped_size(c.input));
        out.append(prefix);
        const char* const storage = out.data();
        const std::size_t capacity = out.capacity();
        bx::json_escape_append(out, c.input);
        EXPECT_EQ(out, std::string(prefix) + std::string(c.escaped));
        EXPECT_EQ(out.data(), storage);
        EXPECT_EQ(out.capacity(), capacity);
    }
    const std::string quotes(64, '"');
    std::string out;
    out.reserve(bx::json_escaped_size(quotes));
    const char* const storage = out.data();
    bx::json_escape_append(out, quotes);
    EXPECT_EQ(out.size(), 128u);
    EXPECT_EQ(out.data(), storage);
}

}  // namespace
