#include "testing/json_reader.h"

#include <gtest/gtest.h>

namespace {

// The parser itself is nlohmann's; what is ours is the refusal of a repeated key, at any depth
// and only within one object, and the bytes given back.
TEST(JsonReader, RefusesARepeatedKeyAndGivesBackBytes) {
    const std::pair<const char*, bool> cases[] = {
        {"{\"a\":1,\"a\":2}", false},    {"{\"a\":{\"b\":1,\"b\":2}}", false},
        {"[{\"a\":1},{\"a\":2}]", true}, {"{\"a\":{\"a\":1},\"b\":{\"a\":2}}", true},
        {"{\"a\":1,}", false},
    };
    for (const auto& [text, accepted] : cases) {
        Json value;
        std::string error;
        EXPECT_EQ(read_json(text, value, error), accepted) << text;
        EXPECT_EQ(error.empty(), accepted) << text;
    }
    Json value;
    std::string error;
    ASSERT_TRUE(read_json("{\"b\":\"x\\u0000\\u00E9\\u20AC\",\"a\":[12,null]}", value, error));
    EXPECT_EQ(keys_of(value), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(text_of(value, "b"), std::string("x\0\xE9\xE2\x82\xAC", 6));
    EXPECT_EQ(text_of(value["a"][0]), "12");
    EXPECT_EQ(text_of(value["a"][1]), "null");
    EXPECT_EQ(text_of(value, "c"), "(missing)");
}

}  // namespace
