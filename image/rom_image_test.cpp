#include "image/rom_image.h"

#include <gtest/gtest.h>

#include "sim/pof_builder.h"

namespace {

RomImage image_with(std::uint16_t id, std::uint8_t kind, const std::string& product,
                    const std::string& serial) {
    RomImage image;
    set_u16(image, kHardwareIdOffset, id);
    image.bytes[kKindOffset] = kind;
    set_text(image, kProductOffset, product);
    set_text(image, kSerialOffset, serial);
    return image;
}

TEST(RomImage, FieldsAreLittleEndian) {
    RomImage image;
    image.bytes[0x1E] = 0x34;
    image.bytes[0x1F] = 0x12;
    image.bytes[0x21] = 0xCD;
    image.bytes[0x22] = 0xAB;
    EXPECT_EQ(zan_version(image), 0x1234);
    EXPECT_EQ(hardware_id(image), 0xABCD);
    EXPECT_FALSE(has_signature(image));
    image.bytes[kSignatureFlagOffset] = 0x80;
    EXPECT_TRUE(has_signature(image));

    // Blank means every byte zero.
    image = RomImage{};
    EXPECT_TRUE(is_blank(image));
    image.bytes[255] = 1;
    EXPECT_FALSE(is_blank(image));
}

// Printed to standard output as formatted.
TEST(RomImage, DumpHasExactLayout) {
    RomImage image;
    for (std::size_t i = 0; i < 16; ++i) {
        image.bytes[0x10 + i] = static_cast<std::uint8_t>(0x41 + i);
    }
    image.bytes[0xF0] = 0x1F;  // below printable
    image.bytes[0xF1] = 0x7F;  // above printable
    image.bytes[0xF2] = 0x20;
    image.bytes[0xF3] = 0x7E;
    image.bytes[0xF4] = 0xFF;
    std::string dump = format_rom_dump("Cable", image);
    std::string zero_row =
        " 00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00  ................\n";
    std::string expected =
        "Cable ROM contents:\n  0:" + zero_row +
        " 10: 41 42 43 44  45 46 47 48  49 4A 4B 4C  4D 4E 4F 50  ABCDEFGHIJKLMNOP\n";
    for (int row = 0x20; row < 0xF0; row += 0x10) {
        char head[8];
        std::snprintf(head, sizeof head, "%3X:", row);
        expected += head + zero_row;
    }
    expected += " F0: 1F 7F 20 7E  FF 00 00 00  00 00 00 00  00 00 00 00  .. ~............\n";
    EXPECT_EQ(dump, expected);
    testing::internal::CaptureStdout();
    dump_rom("Cable", image);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
}

struct FixUpCase {
    const char* what;
    RomImage before;
    std::uint16_t id_after;
    std::string product_after;
    std::string serial_after;
};

TEST(RomImage, FixUpRules) {
    const FixUpCase cases[] = {
        {"blank stays blank", RomImage{}, 0, "", ""},
        {"id 0: sets id 1 only", image_with(0, 1, "USB Kestrel++", "7"), 1, "USB Kestrel++", "7"},
        {"id 0: is case-sensitive", image_with(0, 1, "usb kestrel++", "7"), 0, "usb kestrel++",
         "7"},
        {"id 0: needs kind 1", image_with(0, 2, "USB Kestrel++", "7"), 0, "USB Kestrel++", "7"},
        {"id 1: exact old name", image_with(1, 0, "USB Kestrel++", "12345678"), 1, "USB-KestrelII",
         "12345678"},
        {"id 1: old name is case-sensitive", image_with(1, 0, "usb kestrel++", "12345678"), 1,
         "usb kestrel++", "12345678"},
        {"id 1: qdex ignoring case", image_with(1, 0, "debug-kestrel QDEX", "12345678"), 1,
         "USB-KestrelII", "12345678"},
        {"id 1: Kestrel II ignoring case", image_with(1, 0, "usb-KESTREL ii", "12345678"), 1,
         "USB-KestrelII", "12345678"},
        {"id 1: other name kept", image_with(1, 0, "USB-Kestrel III", "12345678"), 1,
         "USB-Kestrel III", "12345678"},
        {"id 1: short serial gets prefix", image_with(1, 0, "Other", "123"), 1, "Other",
         "101-0123"},
        {"id 1: empty serial", image_with(1, 0, "Other", ""), 1, "Other", "101-0"},
        {"id 1: four-character serial kept", image_with(1, 0, "Other", "1234"), 1, "Other", "1234"},
        {"id 0x0101 untouched", image_with(0x0101, 1, "USB Kestrel++", "1"), 0x0101,
         "USB Kestrel++", "1"},
    };
    for (const FixUpCase& c : cases) {
        SCOPED_TRACE(c.what);
        RomImage image = c.before;
        fix_up_rom(image);
        EXPECT_EQ(hardware_id(image), c.id_after);
        EXPECT_EQ(rom_text(image, kProductOffset, kProductSize), c.product_after);
        EXPECT_EQ(rom_text(image, kSerialOffset, kSerialSize), c.serial_after);
    }

    // A fix-up changes only the bytes it must.
    RomImage image = image_with(1, 0, "Debug-Kestrel qdex", "12345678");
    image.bytes[kProductOffset + 30] = 0xAA;  // beyond the 14 bytes written
    RomImage expected = image;
    set_text(expected, kProductOffset, "USB-KestrelII");
    fix_up_rom(image);
    EXPECT_EQ(image, expected);

    // A short serial moves four bytes.
    image = image_with(1, 0, "Other", "12");
    image.bytes[0x39] = 0x55;  // not among the moved bytes
    fix_up_rom(image);
    const std::uint8_t moved[] = {'1', '0', '1', '-', '0', '1', '2', 0, 0, 0x55};
    for (std::size_t i = 0; i < sizeof moved; ++i) {
        EXPECT_EQ(image.bytes[kSerialOffset + i], moved[i]) << i;
    }
}

TEST(RomImage, SerialFormats) {
    struct Case {
        const char* format;
        const char* serial;
        bool matches;
    };
    const Case cases[] = {
        {"AB-##", "AB-12", true},   {"AB-##", "AB-1", false},
        {"AB-##", "AB-123", false}, {"AB-##", "ab-12", false},
        {"AB-##", "AB-1x", false},  {"AB-##", nullptr, false},
        {nullptr, "AB-12", false},  {"", "", true},
        {"", "1", false},           {"####", "0909", true},
        {"####", "090/", false},    {"####", "090:", false},
        {"#", "#", false},          {"A#B", "A5B", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format ? c.format : "(none)") + " / " +
                     (c.serial ? c.serial : "(none)"));
        EXPECT_EQ(serial_matches_format(c.format, c.serial), c.matches);
    }
}

}  // namespace
