#include "cable/error_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every known code, the nameless 43, and the unknown codes around and far beyond them.
TEST(ErrorName, GivesTheFixedTextOfEveryCode) {
    struct Case {
        HWL_ERROR code;
        const char* text;
    };
    const Case cases[] = {
        {0, ""},
        {1, "Unknown error"},
        {2, "Timeout"},
        {3, "Unknown error"},
        {31, "Unknown error"},
        {32, "Unknown hardware"},
        {33, "Invalid CHAIN_ID"},
        {34, "Locked already"},
        {35, "Not locked"},
        {36, "Chain in use"},
        {37, "No devices"},
        {38, "Chain not configured"},
        {39, "Bad TAP position"},
        {40, "Device doesn't match"},
        {41, "IR length error"},
        {42, "Device not configured"},
        {43, ""},
        {44, "Invalid OPEN_ID"},
        {45, "Invalid parameter"},
        {46, "Bad TAP state"},
        {47, "Too many devices"},
        {48, "Different TAPS selected"},
        {49, "Bad sequence"},
        {50, "Instruction claimed"},
        {51, "Unknown error"},
        {79, "Unknown error"},
        {80, "File not found"},
        {81, "Communications error"},
        {82, "Server error"},
        {83, "Out of memory"},
        {84, "Bad port name"},
        {85, "Hardware in use"},
        {86, "Hardware not attached"},
        {87, "JTAG chain broken"},
        {88, "Unknown error"},
        {89, "Insufficient port permissions"},
        {90, "Unknown error"},
        {126, "Unknown error"},
        {127, "Internal error"},
        {128, "Unknown error"},
        {255, "Unknown error"},
        {127 + 256, "Unknown error"},  // no truncation to a byte
        {0xFFFFFFFFu, "Unknown error"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.text, error_name(c.code)) << "code " << c.code;
    }
}

// Texts are printed as they are, "%" included, and a missing text as an empty one.
TEST(PrintLibraryMessage, PrefixesByLevelAndHidesOtherLevels) {
    struct Case {
        std::uint32_t level;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {0, "cable gone", "Error: cable gone\n"},
        {1, "cable gone", "Warning: cable gone\n"},
        {2, "cable gone", "cable gone\n"},
        {3, "cable gone", ""},
        {4, "cable gone", ""},
        {0xFFFFFFFFu, "cable gone", ""},
        {2, "100% %s done", "100% %s done\n"},
        {1, nullptr, "Warning: \n"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStdout();
        print_library_message(nullptr, c.level, c.text);
        EXPECT_EQ(c.expected, testing::internal::GetCapturedStdout()) << "level " << c.level;
    }
}

}  // namespace
