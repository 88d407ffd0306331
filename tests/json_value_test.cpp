#include "json/json.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace {

using namespace std::literals;
using bx::JsonValue;

static_assert(std::is_base_of_v<std::runtime_error, bx::JsonError>);
static_assert(requires { typename bx::JsonObject::key_compare::is_transparent; },
              "find must look keys up without building a key string");

template <typename Call>
std::string error_of(Call call) {
    try {
        call();
    } catch (const bx::JsonError& error) {
        return error.what();
    }
    return "<no error>";
}

std::vector<JsonValue> one_value_of_each_kind() {
    std::vector<JsonValue> values;
    values.emplace_back();
    values.emplace_back(true);
    values.emplace_back(3.0);
    values.emplace_back("3"s);
    values.emplace_back(bx::JsonArray{});
    values.emplace_back(bx::JsonObject{});
    return values;
}

TEST(JsonValueKinds, ExactlyOneKindTestHoldsForEachKind) {
    const auto values = one_value_of_each_kind();
    for (std::size_t kind = 0; kind < values.size(); ++kind) {
        SCOPED_TRACE(kind);
        const JsonValue& value = values[kind];
        const bool tests[] = {value.is_null(),   value.is_bool(),  value.is_number(),
                              value.is_string(), value.is_array(), value.is_object()};
        for (std::size_t other = 0; other < 6; ++other) EXPECT_EQ(tests[other], other == kind) << other;
    }
}

TEST(JsonValueKinds, AccessorsServeTheirKindAndThrowExactMessagesForTheOthers) {
    struct Accessor {
        std::size_t kind;
        std::function<void(const JsonValue&)> call;
        std::string message;
    };
    const std::vector<Accessor> accessors = {
        {1, [](const JsonValue& v) { (void)v.as_bool(); }, "JSON value is not a boolean"},
        {2, [](const JsonValue& v) { (void)v.as_number(); }, "JSON value is not a number"},
        {2, [](const JsonValue& v) { (void)v.as_integer(); }, "JSON value is not a number"},
        {3, [](const JsonValue& v) { (void)v.as_string(); }, "JSON value is not a string"},
        {4, [](const JsonValue& v) { (void)v.as_array(); }, "JSON value is not an array"},
        {5, [](const JsonValue& v) { (void)v.as_object(); }, "JSON value is not an object"},
    };
    const auto values = one_value_of_each_kind();
    for (std::size_t kind = 0; kind < values.size(); ++kind) {
        for (const Accessor& accessor : accessors) {
            SCOPED_TRACE(accessor.message + " / kind " + std::to_string(kind));
            const std::string expected = accessor.kind == kind ? "<no error>" : accessor.message;
            EXPECT_EQ(error_of([&] { accessor.call(values[kind]); }), expected);
        }
    }
}

TEST(JsonValueKinds, AccessorsReturnThePayloadStoredInTheValue) {
    const JsonValue flag(true);
    EXPECT_TRUE(flag.as_bool());
    EXPECT_FALSE(JsonValue(false).as_bool());
    EXPECT_EQ(JsonValue(2.5).as_number(), 2.5);

    const JsonValue text("a\0b"s);
    EXPECT_EQ(text.as_string(), "a\0b"s);
    EXPECT_EQ(text.as_string().size(), 3u);
    EXPECT_EQ(&text.as_string(), &text.as_string());

    const JsonValue document = bx::parse_json(R"({"list":[1,2],"inner":{"k":null}})");
    EXPECT_EQ(document.find("list"), &document.as_object().find("list")->second);
    EXPECT_EQ(document.find("list")->as_array().size(), 2u);
    EXPECT_TRUE(document.find("inner")->find("k")->is_null());
}

TEST(JsonValueKinds, MovingAValueMovesItsSubtreeWithoutCopying) {
    JsonValue source = bx::parse_json(R"([{"name":"a long enough string to live on the heap"}])");
    const JsonValue* element = &source.as_array()[0];
    const char* characters = element->find("name")->as_string().data();

    const JsonValue target = std::move(source);
    ASSERT_EQ(&target.as_array()[0], element);
    EXPECT_EQ(target.as_array()[0].find("name")->as_string().data(), characters);
}

// A reader may take a document's texts over and release its elements as it goes; the mutable
// accessors reach the same payload and refuse the same kinds.
TEST(JsonValueKinds, MutableAccessorsLetAReaderTakeThePayloadOver) {
    JsonValue document = bx::parse_json(R"({"files":[{"path":"a long enough path to live on the heap"},7]})");
    bx::JsonArray& files = document.find("files")->as_array();
    std::string& path = files[0].find("path")->as_string();
    const char* characters = path.data();
    const std::string taken = std::move(path);
    EXPECT_EQ(taken.data(), characters);
    EXPECT_EQ(taken, "a long enough path to live on the heap");
    files[0] = JsonValue();
    EXPECT_TRUE(document.find("files")->as_array()[0].is_null());
    EXPECT_THROW(files[1].as_string(), bx::JsonError);
    EXPECT_THROW(document.as_array(), bx::JsonError);
    EXPECT_EQ(files[1].find("path"), nullptr);
}

struct IntegerCase {
    double number;
    std::optional<std::int64_t> expected;  // nullopt: "JSON number is not an integer"
};

TEST(JsonValueInteger, ConvertsExactlyOnlyIntegralNumbersInTheSigned64BitRange) {
    constexpr auto min64 = std::numeric_limits<std::int64_t>::min();
    const IntegerCase cases[] = {
        {3.0, 3},
        {-3.0, -3},
        {0.0, 0},
        {-0.0, 0},
        {3.5, std::nullopt},
        {-0.5, std::nullopt},
        {0x1p51 + 0.5, std::nullopt},
        {0x1p52 + 1, 4503599627370497},
        {1e300, std::nullopt},
        {-1e300, std::nullopt},
        {0x1p63, std::nullopt},
        {0x1p63 - 1024, 9223372036854774784},  // the largest double below 2^63
        {-0x1p63, min64},
        {-0x1p63 - 2048, std::nullopt},  // the next double below -2^63
        {std::numeric_limits<double>::infinity(), std::nullopt},
        {-std::numeric_limits<double>::infinity(), std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    };
    for (const IntegerCase& c : cases) {
        SCOPED_TRACE(c.number);
        const JsonValue value(c.number);
        if (c.expected) {
            EXPECT_EQ(value.as_integer(), *c.expected);
        } else {
            EXPECT_EQ(error_of([&] { (void)value.as_integer(); }), "JSON number is not an integer");
        }
    }
}

TEST(JsonValueInteger, ParsedIntegerTextsKeepOnlyWhatADoubleHolds) {
    // The largest int64 rounds to 2^63 as a double, so it must be refused,
    // not overflow; the smallest is exact.
    EXPECT_EQ(error_of([] { (void)bx::parse_json("9223372036854775807").as_integer(); }),
              "JSON number is not an integer");
    EXPECT_EQ(error_of([] { (void)bx::parse_json("9223372036854775808").as_integer(); }),
              "JSON number is not an integer");
    EXPECT_EQ(bx::parse_json("-9223372036854775808").as_integer(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(bx::parse_json("9007199254740993").as_integer(), 9007199254740992);
    EXPECT_EQ(bx::parse_json("-0").as_integer(), 0);
    EXPECT_EQ(bx::parse_json("1e2").as_integer(), 100);
    EXPECT_EQ(bx::parse_json("-7.0").as_integer(), -7);
}

TEST(JsonValueFind, ReturnsNullWithoutThrowingOnEveryKindButObject) {
    static_assert(noexcept(std::declval<const JsonValue&>().find("a")));
    const auto values = one_value_of_each_kind();
    for (const JsonValue& value : values) EXPECT_EQ(value.find("a"), nullptr);
    EXPECT_EQ(bx::parse_json(R"(["a"])").find("a"), nullptr);
    EXPECT_EQ(bx::parse_json(R"("a")").find("a"), nullptr);
}

TEST(JsonValueFind, MatchesExactlyTheKeyBytesOfTheView) {
    const JsonValue object = bx::parse_json(R"({"a":1,"ab":2,"A":3,"":4,"a\u0000b":5})");
    EXPECT_EQ(object.find("a")->as_number(), 1);
    EXPECT_EQ(object.find("ab")->as_number(), 2);
    EXPECT_EQ(object.find("A")->as_number(), 3);
    EXPECT_EQ(object.find("")->as_number(), 4);
    EXPECT_EQ(object.find("a\0b"sv)->as_number(), 5);
    EXPECT_EQ(object.find("AB"), nullptr);  // no case folding
    EXPECT_EQ(object.find("Ab"), nullptr);
    EXPECT_EQ(object.find("abc"), nullptr);
    EXPECT_EQ(object.find("b"), nullptr);
    EXPECT_EQ(object.find("a\0"sv), nullptr);

    // The view's length counts, not a terminating NUL.
    const std::string buffer = "abc";
    EXPECT_EQ(object.find(std::string_view(buffer).substr(0, 1))->as_number(), 1);
    EXPECT_EQ(object.find(std::string_view(buffer).substr(0, 2))->as_number(), 2);
}

std::vector<std::string> keys_in_order(const JsonValue& object) {
    std::vector<std::string> keys;
    for (const auto& member : object.as_object()) keys.push_back(member.first);
    return keys;
}

TEST(JsonValueObject, IteratesKeysInUnsignedByteOrder) {
    const JsonValue object = bx::parse_json("{\"b\":1,\"a\":2,\"B\":3,\"ab\":4,\"\xC3\xA9\":5}");
    EXPECT_EQ(keys_in_order(object), (std::vector<std::string>{"B", "a", "ab", "b", "\xC3\xA9"}));

    // 0x7F is ASCII; every byte from 0x80 up sorts after it, whatever char's signedness.
    const JsonValue high = bx::parse_json("{\"\xFF\":1,\"\xC3\xA9\":2,\"\x80\":3,\"\x7F\":4,\"z\":5,\"\":6}");
    EXPECT_EQ(keys_in_order(high), (std::vector<std::string>{"", "z", "\x7F", "\x80", "\xC3\xA9", "\xFF"}));
    EXPECT_EQ(high.find("\xC3\xA9")->as_number(), 2);
    EXPECT_EQ(high.find("\xFF")->as_number(), 1);
}

TEST(JsonValueObject, KeyOrderComparatorIsBytewiseWithShorterFirst) {
    const bx::JsonKeyLess less;
    EXPECT_TRUE(less("a", "ab"));
    EXPECT_FALSE(less("ab", "a"));
    EXPECT_FALSE(less("a", "a"));
    EXPECT_TRUE(less("", "\0"sv));
    EXPECT_TRUE(less("\0"sv, "\x01"));
    EXPECT_TRUE(less("z", "\x80"));
    EXPECT_TRUE(less("\x7F\xFF", "\x80"));
    EXPECT_FALSE(less("\x80", "\x7F\xFF"));
}

}  // namespace
