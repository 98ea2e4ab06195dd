#include "handoff/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Each form written out by the Windows rules: 2n backslashes before a quote give n and end the
// quoting, 2n+1 give n and a literal quote, backslashes elsewhere are literal.
TEST(QuoteArgument, EscapesOnlyQuotesAndTheBackslashesBeforeThem) {
    const std::pair<std::string, std::string> cases[] = {
        {"", R"("")"},
        {"plain", R"("plain")"},
        {"USB-1 [1-1]", R"("USB-1 [1-1]")"},
        {"  leading and trailing  ", R"("  leading and trailing  ")"},
        {"tab\there", "\"tab\there\""},
        {R"(C:\dir\file.pof)", R"("C:\dir\file.pof")"},
        {R"(\\server\share\file.pof)", R"("\\server\share\file.pof")"},
        {R"(")", R"("\"")"},
        {R"(quote"inside)", R"("quote\"inside")"},
        {R"(a""b)", R"("a\"\"b")"},
        {R"(trail\)", R"("trail\\")"},
        {R"(trail\\)", R"("trail\\\\")"},
        {R"(C:\Program Files\)", R"("C:\Program Files\\")"},
        {R"(back\"quote)", R"("back\\\"quote")"},
        {R"(\\")", R"("\\\\\"")"},
        {R"(\"\)", R"("\\\"\\")"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e \x80\xFF",
         "\"Gr\xC3\xBC\xC3\x9F"
         "e \x80\xFF\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(quote_argument(c.first), c.second) << c.first;
    }
}

// The program name knows no escapes: it is quoted only where a blank would split it.
}  // namespace
