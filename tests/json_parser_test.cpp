#include "json/json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace std::literals;
using bx::JsonValue;

std::string parse_error(std::string_view text) {
    try {
        (void)bx::parse_json(std::string(text));
    } catch (const bx::JsonError& error) {
        return error.what();
    }
    return "<parsed>";
}

// A canonical rendering, so that a table can state whole documents.
std::string describe(const JsonValue& value) {
    if (value.is_null()) return "null";
    if (value.is_bool()) return value.as_bool() ? "true" : "false";
    if (value.is_number()) {
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value.as_number());
        return std::string(buffer, result.ptr);
    }
    if (value.is_string()) return '"' + bx::json_escape(value.as_string()) + '"';
    std::string out;
    if (value.is_array()) {
        for (const JsonValue& element : value.as_array()) out += (out.empty() ? "" : ",") + describe(element);
        return '[' + out + ']';
    }
    for (const auto& [key, member] : value.as_object())
        out += (out.empty() ? "\"" : ",\"") + bx::json_escape(key) + "\":" + describe(member);
    return '{' + out + '}';
}

std::string repeat(std::string_view piece, std::size_t count) {
    std::string out;
    out.reserve(piece.size() * count);
    for (std::size_t i = 0; i < count; ++i) out += piece;
    return out;
}

std::string nested_arrays(std::size_t depth) { return repeat("[", depth) + repeat("]", depth); }

struct ErrorCase {
    std::string_view text;
    std::string_view message;
};

TEST(JsonParserErrors, EachFailureNamesTheProblemAndItsByteOffset) {
    const ErrorCase cases[] = {
        // Where a value is due.
        {"", "unexpected end of input at byte 0"},
        {"   ", "unexpected end of input at byte 3"},
        {"[", "unexpected end of input at byte 1"},
        {"[1,", "unexpected end of input at byte 3"},
        {"{\"a\":", "unexpected end of input at byte 5"},
        {"[1,]", "unexpected token at byte 3"},
        {"]", "unexpected token at byte 0"},
        {"{\"a\":[}", "unexpected token at byte 6"},
        {"+1", "unexpected token at byte 0"},
        {".5", "unexpected token at byte 0"},
        {"NaN", "unexpected token at byte 0"},
        {"Infinity", "unexpected token at byte 0"},
        {"'a'", "unexpected token at byte 0"},
        {"\xEF\xBB\xBF{}", "unexpected token at byte 0"},
        {"\0"sv, "unexpected token at byte 0"},
        {"\f1", "unexpected token at byte 0"},
        {"\v1", "unexpected token at byte 0"},
        {"\xC2\xA0" "1", "unexpected token at byte 0"},
        // Literals.
        {"nan", "invalid literal at byte 0"},
        {"tru", "invalid literal at byte 0"},
        {"nul", "invalid literal at byte 0"},
        {"fals", "invalid literal at byte 0"},
        {"True", "unexpected token at byte 0"},
        {"[tRue]", "invalid literal at byte 1"},
        {"truex", "unexpected trailing content at byte 4"},
        // Numbers.
        {"-", "invalid number at byte 1"},
        {"-x", "invalid number at byte 1"},
        {"[-]", "invalid number at byte 2"},
        {"-.5", "invalid number at byte 1"},
        {"012", "unexpected trailing content at byte 1"},
        {"[012]", "expected ',' at byte 2"},
        {"-012", "unexpected trailing content at byte 2"},
        {"1.", "invalid number fraction at byte 2"},
        {"1.e5", "invalid number fraction at byte 2"},
        {"[1.]", "invalid number fraction at byte 3"},
        {"1e", "invalid number exponent at byte 2"},
        {"1E", "invalid number exponent at byte 2"},
        {"1e+", "invalid number exponent at byte 3"},
        {"1e+x", "invalid number exponent at byte 3"},
        {"1e-]", "invalid number exponent at byte 3"},
        {"1ex", "invalid number exponent at byte 2"},
        {"1e999", "invalid or non-finite number at byte 5"},
        {"-1e999", "invalid or non-finite number at byte 6"},
        {"[1.7976931348623159e308]", "invalid or non-finite number at byte 23"},
        {"10e308", "invalid or non-finite number at byte 6"},
        {"0.01e311", "invalid or non-finite number at byte 8"},
        {"0.0000001e400", "invalid or non-finite number at byte 13"},
        {"1e99999999999999999999999", "invalid or non-finite number at byte 25"},
        // Strings.
        {"\"abc", "unterminated string at byte 4"},
        {"\"", "unterminated string at byte 1"},
        {"[\"a]", "unterminated string at byte 4"},
        {"\"\\", "unfinished string escape at byte 2"},
        {"\"\\x\"", "unknown string escape at byte 3"},
        {"\"\\U0041\"", "unknown string escape at byte 3"},
        {"\"\\'\"", "unknown string escape at byte 3"},
        {"\"\\\0\""sv, "unknown string escape at byte 3"},
        {"\"\\u12\"", "unfinished Unicode escape at byte 3"},
        {"\"\\u", "unfinished Unicode escape at byte 3"},
        {"\"\\u12G4\"", "invalid hexadecimal digit in Unicode escape at byte 6"},
        {"\"\\ug000\"", "invalid hexadecimal digit in Unicode escape at byte 4"},
        {"\"\\u00e\"", "invalid hexadecimal digit in Unicode escape at byte 7"},
        {"\"\\uDC00\"", "unexpected low surrogate at byte 7"},
        {"\"\\uDFFF\\uDC00\"", "unexpected low surrogate at byte 7"},
        {"\"\\uD800\"", "high surrogate is missing its low surrogate at byte 7"},
        {"\"\\uD800x\"", "high surrogate is missing its low surrogate at byte 7"},
        {"\"\\uD800\\n\"", "high surrogate is missing its low surrogate at byte 7"},
        {"\"\\uDBFF", "high surrogate is missing its low surrogate at byte 7"},
        {"\"\\uD800\\", "high surrogate is missing its low surrogate at byte 7"},
        {"\"\\uD800\\u0041\"", "invalid low surrogate at byte 13"},
        {"\"\\uD800\\uD800\"", "invalid low surrogate at byte 13"},
        {"\"\\uD800\\uE000\"", "invalid low surrogate at byte 13"},
        {"\"\\uD800\\u", "unfinished Unicode escape at byte 9"},
        {"\"\\uD800\\uDC0", "unfinished Unicode escape at byte 9"},
        {"\"\\uD800\\uDC0G\"", "invalid hexadecimal digit in Unicode escape at byte 13"},
        {"\"a\tb\"", "unescaped control character in string at byte 3"},
        {"\"\0\""sv, "unescaped control character in string at byte 2"},
        {"\"\n\"", "unescaped control character in string at byte 2"},
        {"\"\x1F\"", "unescaped control character in string at byte 2"},
        // Arrays and objects.
        {"[1", "expected ',' at byte 2"},
        {"[1 2]", "expected ',' at byte 3"},
        {"[1;2]", "expected ',' at byte 2"},
        {"[1}", "expected ',' at byte 2"},
        {"{", "object key must be a string at byte 1"},
        {"{\"a\":1,}", "object key must be a string at byte 7"},
        {"{1:2}", "object key must be a string at byte 1"},
        {"{a:1}", "object key must be a string at byte 1"},
        {"{\"a\":1,", "object key must be a string at byte 7"},
        {"{\"a\" 1}", "expected ':' at byte 5"},
        {"{\"a\"", "expected ':' at byte 4"},
        {"{\"a\"=1}", "expected ':' at byte 4"},
        {"{\"a\":1", "expected ',' at byte 6"},
        {"{\"a\":1 \"b\":2}", "expected ',' at byte 7"},
        {"{\"a\":1]", "expected ',' at byte 6"},
        {"{\"a\":1,\"a\":2}", "duplicate object key at byte 12"},
        {"{\"a\":1,\"\\u0061\":2}", "duplicate object key at byte 17"},
        {"{\"a\":1,\"b\":2,\"a\":[1, 2] }", "duplicate object key at byte 23"},
        {"{\"\":1,\"\":2}", "duplicate object key at byte 10"},
        // After the value.
        {"[1]]", "unexpected trailing content at byte 3"},
        {"1 2", "unexpected trailing content at byte 2"},
        {"[1]\n\n x", "unexpected trailing content at byte 6"},
        {"1\f", "unexpected trailing content at byte 1"},
        {"{}\0"sv, "unexpected trailing content at byte 2"},
        {"null null", "unexpected trailing content at byte 5"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_EQ(parse_error(c.text), c.message);
    }
}

TEST(JsonParserErrors, FailuresAreJsonErrors) {
    EXPECT_THROW((void)bx::parse_json("[1,"), bx::JsonError);
    EXPECT_THROW((void)bx::parse_json(std::string(1, '\0')), bx::JsonError);
}

struct DocumentCase {
    std::string_view text;
    std::string_view described;
};

TEST(JsonParserDocuments, ParsesEveryKindAndSkipsTheFourWhitespaceBytes) {
    const DocumentCase cases[] = {
        {"null", "null"},
        {"true", "true"},
        {"false", "false"},
        {"0", "0"},
        {"\"x\"", "\"x\""},
        {"[]", "[]"},
        {"{}", "{}"},
        {"[ ]", "[]"},
        {"{ \t\n\r}", "{}"},
        {" \t\n\r[ 1 , true\t,\nnull\r, \"s\" ]\r\n ", "[1,true,null,\"s\"]"},
        {"{ \"b\" : [ ] , \"a\" :{ \"c\" : false } }", "{\"a\":{\"c\":false},\"b\":[]}"},
        {"[[],{},[[]],[{}]]", "[[],{},[[]],[{}]]"},
        {"[1,[2,[3,[4]]],5]", "[1,[2,[3,[4]]],5]"},
        {"[true,false,null]", "[true,false,null]"},
        {"{\"\\u0041\":1,\"a\":2}", "{\"A\":1,\"a\":2}"},
        {"[0,-0,1,-1]", "[0,-0,1,-1]"},
        {"[\"\",\"\"]", "[\"\",\"\"]"},
    };
    for (const DocumentCase& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_EQ(describe(bx::parse_json(std::string(c.text))), c.described);
    }
}

struct NumberCase {
    std::string_view text;
    double expected;
};

TEST(JsonParserNumbers, ConvertToTheNearestDoubleIndependentlyOfTheLocale) {
    const NumberCase cases[] = {
        {"0", 0.0},
        {"-0", -0.0},
        {"7", 7.0},
        {"-12.5e-1", -1.25},
        {"1E5", 100000.0},
        {"1e+2", 100.0},
        {"1e-2", 0.01},
        {"0.1", 0.1},
        {"0e0", 0.0},
        {"123456789012345678901234567890", 1.2345678901234568e29},
        {"9007199254740993", 9007199254740992.0},  // 2^53 + 1 becomes 2^53
        {"9223372036854775807", 0x1p63},
        {"1.7976931348623157e308", std::numeric_limits<double>::max()},
        {"1.7976931348623158e308", std::numeric_limits<double>::max()},
        {"0.001e311", 1e308},
        {"2.2250738585072011e-308", 0x0.fffffffffffffp-1022},
        {"4.9e-324", std::numeric_limits<double>::denorm_min()},
        {"2.4703282292062328e-324", std::numeric_limits<double>::denorm_min()},
        // Underflow is no error: the number becomes a zero.
        {"2.4703282292062327e-324", 0.0},
        {"1e-999", 0.0},
        {"-1e-999", -0.0},
        {"0.1e-323", 0.0},
        {"1000e-1000", 0.0},
        {"0.00000000000000000000000000000001e-300", 0.0},
        {"1e-99999999999999999999999", 0.0},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        const double parsed = bx::parse_json(std::string(c.text)).as_number();
        EXPECT_EQ(parsed, c.expected);
        EXPECT_EQ(std::signbit(parsed), std::signbit(c.expected));
    }
}

struct StringCase {
    std::string_view text;
    std::string_view bytes;
};

TEST(JsonParserStrings, DecodesEscapesAndKeepsOtherBytesUnchanged) {
    const StringCase cases[] = {
        {"\"\"", ""},
        {"\"abc\"", "abc"},
        {"\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"", "\"\\/\b\f\n\r\t"},
        {"\"ab\\ncd\\tef\"", "ab\ncd\tef"},
        {"\"\\u0000\"", "\0"sv},
        {"\"a\\u0000b\"", "a\0b"sv},
        {"\"\\u0041\\u00e9\\u20AC\"", "A\xC3\xA9\xE2\x82\xAC"},
        {"\"\\u007f\\u0080\\u07FF\\u0800\\uFFFF\"", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {"\"\\uD83D\\uDE00\"", "\xF0\x9F\x98\x80"},
        {"\"\\ud83d\\ude00\"", "\xF0\x9F\x98\x80"},
        {"\"\\uD800\\uDC00\"", "\xF0\x90\x80\x80"},
        {"\"\\uDBFF\\uDFFF\"", "\xF4\x8F\xBF\xBF"},
        // 0x7F and every byte from 0x80 up pass unchecked, valid UTF-8 or not.
        {"\"\x7F\"", "\x7F"},
        {"\"\xC3\xA9\"", "\xC3\xA9"},
        {"\"\x80\xFF\xC3\xBF\xFE\"", "\x80\xFF\xC3\xBF\xFE"},
        {"\"\xED\xA0\x80\"", "\xED\xA0\x80"},
        {"\" \x7F\\n\x80\"", " \x7F\n\x80"},
    };
    for (const StringCase& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_EQ(bx::parse_json(std::string(c.text)).as_string(), c.bytes);
    }
}

TEST(JsonParserStrings, EveryByteFrom0x20UpExceptQuoteAndBackslashIsCopied) {
    std::string bytes;
    for (int byte = 0x20; byte <= 0xFF; ++byte)
        if (byte != '"' && byte != '\\') bytes += static_cast<char>(byte);
    EXPECT_EQ(bx::parse_json('"' + bytes + '"').as_string(), bytes);
}

TEST(JsonParserObjects, ManyUnsortedMembersAreAllKeptAndFound) {
    std::vector<int> order(5000);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    std::string text = "{";
    for (int i : order) text += (text.size() > 1 ? ",\"k" : "\"k") + std::to_string(i) + "\":" + std::to_string(i);
    text += '}';

    const JsonValue object = bx::parse_json(text);
    ASSERT_EQ(object.as_object().size(), 5000u);
    for (int i = 0; i < 5000; ++i) ASSERT_EQ(object.find("k" + std::to_string(i))->as_integer(), i);
    EXPECT_TRUE(std::is_sorted(object.as_object().begin(), object.as_object().end(),
                               [](const auto& a, const auto& b) { return a.first < b.first; }));
}

TEST(JsonParserNesting, AcceptsDepth512AndRefusesTheBracketThatGoesDeeper) {
    const JsonValue deepest = bx::parse_json(nested_arrays(512));
    std::size_t depth = 1;
    for (const JsonValue* value = &deepest; !value->as_array().empty(); value = &value->as_array()[0]) ++depth;
    EXPECT_EQ(depth, 512u);

    EXPECT_EQ(parse_error(nested_arrays(513)), "nesting too deep at byte 512");
    EXPECT_EQ(parse_error(repeat("{\"a\":", 512) + "1" + repeat("}", 512)), "<parsed>");
    EXPECT_EQ(parse_error(repeat("{\"a\":", 513) + "1" + repeat("}", 513)), "nesting too deep at byte 2560");
    EXPECT_EQ(parse_error(repeat("[{\"k\": ", 256) + "0" + repeat("}]", 256)), "<parsed>");
    EXPECT_EQ(parse_error(repeat("[{\"k\": ", 256) + "[]" + repeat("}]", 256)),
              "nesting too deep at byte 1792");
}

TEST(JsonParserNesting, DepthIsCountedPerPathNotPerDocument) {
    EXPECT_EQ(parse_error('[' + nested_arrays(511) + ',' + nested_arrays(511) + ']'), "<parsed>");
    EXPECT_EQ(parse_error('[' + nested_arrays(511) + ',' + nested_arrays(512) + ']'),
              "nesting too deep at byte 1535");
}

TEST(JsonParserNesting, HugeBracketRunsFailWithoutExhaustingTheStack) {
    EXPECT_EQ(parse_error(repeat("[", 100000)), "nesting too deep at byte 512");
    EXPECT_EQ(parse_error(repeat("{\"\":", 100000)), "nesting too deep at byte 2048");
    EXPECT_EQ(parse_error(repeat("[{\"a\":", 100000)), "nesting too deep at byte 1536");
}

}  // namespace
