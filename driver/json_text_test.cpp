#include "driver/json_text.h"

#include <gtest/gtest.h>

namespace {

TEST(JsonText, EscapesWhatJsonOrUtf8CouldMisread) {
    struct Case {
        std::string text;
        std::string json;
    };
    const Case cases[] = {
        {"", R"("")"},
        {"USB-1 [1-1]", R"("USB-1 [1-1]")"},
        {R"(say "hi" \ bye)", R"("say \"hi\" \\ bye")"},
        {"tab\there\nline\r", R"("tab\u0009here\u000Aline\u000D")"},
        {std::string("\x00\x1F\x20\x7E\x7F", 5), R"("\u0000\u001F ~\u007F")"},
        {"caf\xE9 \xC3\xA9 \xFF", R"("caf\u00E9 \u00C3\u00A9 \u00FF")"},
        {"/", R"("/")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(json_string(c.text), c.json);
    }
}

}  // namespace
