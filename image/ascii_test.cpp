#include "image/ascii.h"

#include <gtest/gtest.h>

namespace {

TEST(EqualIgnoringAsciiCase, FoldsLettersOnly) {
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    };
    const Case cases[] = {
        {"--dry-run", "--DRY-RUN", true},
        {"USB-Kestrel II", "usb-kestrel ii", true},
        {"", "", true},
        {"-f", "-F", true},
        {"--force", "--forc", false},  // a prefix is not the word
        {"--forc", "--force", false},
        {"", "x", false},
        {"@", "`", false},  // differ by 0x20 but are not letters
        {"[", "{", false},
        {"^", "~", false},
        {"\xC9", "\xE9", false},  // bytes above 0x7F are compared as they are
        {"\xC9", "\xC9", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        EXPECT_EQ(equal_ignoring_ascii_case(c.a, c.b), c.equal);
        EXPECT_EQ(equal_ignoring_ascii_case(c.b, c.a), c.equal);
    }
}

}  // namespace
