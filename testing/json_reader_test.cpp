#include "testing/json_reader.h"

#include <gtest/gtest.h>

namespace {

// The reader is only worth its name when it refuses what is not JSON.
TEST(JsonReader, AcceptsJsonAndNothingElse) {
    const char* const good[] = {
        "{}",
        " [ ] ",
        "null",
        "-0.5e+3",
        "\"a\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00FF\\uD83D\\uDE00\"",
        "{\"a\":[1,true,false,null,{\"b\":\"\"}]}",
    };
    const char* const bad[] = {
        "",
        "{",
        "{\"a\":1,}",
        "[1,]",
        "[1 2]",
        "01",
        "1.",
        "+1",
        ".5",
        "\"a",
        "\"\x01\"",
        "\"\\x\"",
        "\"\\u12\"",
        "\"\\uD800\"",
        "{a:1}",
        "{\"a\" 1}",
        "{\"a\":1,\"a\":2}",
        "nul",
        "true false",
        "'a'",
    };
    for (const char* text : good) {
        JsonValue value;
        std::string error;
        EXPECT_TRUE(read_json(text, value, error)) << text << ": " << error;
    }
    for (const char* text : bad) {
        JsonValue value;
        std::string error;
        EXPECT_FALSE(read_json(text, value, error)) << text;
        EXPECT_NE(error, "") << text;
    }
}

TEST(JsonReader, GivesBackWhatWasWritten) {
    JsonValue value;
    std::string error;
    ASSERT_TRUE(read_json("{\"b\":\"x\\u0000\\u00E9\\u20AC\",\"a\":[12,null]}", value, error));
    EXPECT_EQ((std::vector<std::string>{"b", "a"}), value.keys());
    EXPECT_EQ(std::string("x\0\xE9\xE2\x82\xAC", 6), value.find("b")->text);
    const JsonValue& a = *value.find("a");
    ASSERT_EQ(2u, a.items.size());
    EXPECT_EQ(JsonValue::kNumber, a.items[0].kind);
    EXPECT_EQ("12", a.items[0].text);
    EXPECT_EQ(JsonValue::kNull, a.items[1].kind);
    EXPECT_EQ(nullptr, value.find("c"));
}

}  // namespace
