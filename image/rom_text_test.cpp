#include "image/rom_text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "testing/rom_images.h"

namespace {

TEST(RomFromText, DecodesEitherLetterCaseWithinTheGivenLength) {
    const std::string upper = hex_of(stepped_image(0, 1));
    std::string lower = upper;
    for (char& ch : lower) {
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    for (const std::string& text : {upper, lower}) {
        for (auto decode : {rom_from_text, rom_from_hex}) {
            RomImage image = marked_image();
            EXPECT_TRUE(decode(text.data(), kRomTextLength, image));
            EXPECT_EQ(stepped_image(0, 1), image);
        }
    }

    // Neither value is terminated, and what follows would spoil a reader that ignored the length.
    const std::string blank = "emptyFF";
    RomImage image = marked_image();
    EXPECT_TRUE(rom_from_text(blank.data(), 5, image));
    EXPECT_EQ(RomImage{}, image);

    const std::string rom = hex_of(stepped_image(3, 5)) + "zz";
    EXPECT_TRUE(rom_from_text(rom.data(), kRomTextLength, image));
    EXPECT_EQ(0x03, image.bytes[0]);
    EXPECT_EQ(0x08, image.bytes[1]);
    EXPECT_EQ(static_cast<std::uint8_t>(3 + 255 * 5), image.bytes[255]);

    image = marked_image();
    EXPECT_FALSE(rom_from_text(nullptr, kRomTextLength, image));
    EXPECT_FALSE(rom_from_text(nullptr, 5, image));
    EXPECT_FALSE(rom_from_text(rom.data(), kRomTextLength + 2, image));
    EXPECT_EQ(marked_image(), image);
}

// Anything but the two forms is refused whole, and the image keeps what it had: a lenient
// decoder would give a cable garbage or, worse, an all-zero identity.
TEST(RomFromText, RefusesEverythingElseAndLeavesTheImage) {
    const std::string good = hex_of(stepped_image(0, 1));
    auto with_pair = [&good](std::size_t at, const std::string& pair) {
        std::string text = good;
        text.replace(2 * at, 2, pair);
        return text;
    };
    const std::string texts[] = {
        "EMPTY",
        "empt",
        "empty!",
        "",
        good.substr(0, kRomTextLength - 1),
        good + "0",
        with_pair(255, "G0"),
        with_pair(0, "0g"),
        with_pair(10, "+1"),
        with_pair(10, " 1"),
        with_pair(10, "-1"),
        with_pair(10, "0x"),
        with_pair(100, std::string("\0"
                                   "1",
                                   2)),
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE("text '" + text.substr(0, 40) + "' of length " + std::to_string(text.size()));
        RomImage image = marked_image();
        EXPECT_FALSE(rom_from_text(text.data(), text.size(), image));
        EXPECT_FALSE(rom_from_hex(text.data(), text.size(), image));
        EXPECT_EQ(marked_image(), image);
    }
    // "empty" is a word of the cable's text form, not digits.
    RomImage image = marked_image();
    EXPECT_FALSE(rom_from_hex("empty", 5, image));
    EXPECT_EQ(marked_image(), image);
}

}  // namespace
