#include "sim/bench_format.h"

#include <gtest/gtest.h>

#include "image/rom_text.h"

namespace {

std::string all_bytes_but_zero() {
    std::string text;
    for (int b = 1; b < 256; ++b) {
        text += static_cast<char>(b);
    }
    return text;
}

TEST(BenchFormat, EscapedTextSurvivesAnyBytes) {
    const std::string names[] = {
        "USB-1",
        "USB Kestrel [2] \"quoted\"",
        "back\\slash\\",
        "line\nbreak=x",
        "caf\xC3\xA9 \xFF\x01",
        all_bytes_but_zero(),
        std::string(10000, 'n') + "\\x41",
    };
    for (const std::string& name : names) {
        std::string escaped = escape_text(name);
        EXPECT_EQ(escaped.find('\n'), std::string::npos);
        std::string back;
        ASSERT_TRUE(unescape_text(escaped, back)) << escaped;
        EXPECT_EQ(back, name);
    }
    // Malformed escapes are refused and leave the output as it was.
    for (const char* text : {"\\", "a\\x4", "\\xZZ", "\\q", "\\x00", "end\\"}) {
        std::string out = "untouched";
        EXPECT_FALSE(unescape_text(text, out)) << text;
        EXPECT_EQ(out, "untouched");
    }
}

TEST(BenchFormat, NumbersAreDecimalOrHexAndFit32Bits) {
    struct Case {
        const char* text;
        bool ok;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"0", true, 0},
        {"42", true, 42},
        {"0x2A", true, 42},
        {"0XfF", true, 255},
        {"4294967295", true, 0xFFFFFFFFu},
        {"4294967296", false, 0},
        {"0x100000000", false, 0},
        {"-1", false, 0},
        {"", false, 0},
        {"0x", false, 0},
        {"1a", false, 0},
        {" 1", false, 0},
        {"+1", false, 0},
    };
    for (const Case& c : cases) {
        std::uint32_t value = 7;
        EXPECT_EQ(parse_number(c.text, value), c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : 7u) << c.text;
    }
}

// The stand-in reports the ROM in the form the program decodes.
TEST(BenchFormat, RomHexReadsBackAsTheSameImage) {
    RomImage image;
    for (std::size_t k = 0; k < kRomSize; ++k) {
        image.bytes[k] = static_cast<std::uint8_t>(255 - k);
    }
    std::string hex = rom_to_hex(image);
    EXPECT_EQ(hex.size(), kRomTextLength);
    EXPECT_EQ(hex.substr(0, 6), "FFFEFD");
    RomImage back;
    ASSERT_TRUE(rom_from_hex(hex.data(), hex.size(), back));
    EXPECT_EQ(back, image);
}

TEST(BenchFormat, CableRecordRoundTrips) {
    CableRecord record;
    record.name = "odd \"name\" [3]\\\xE9";
    record.rom_written = true;
    record.rom.bytes[0] = 0x12;
    record.rom.bytes[255] = 0xFE;
    record.select_mode = true;
    record.usable = 0;
    record.virtual_hw = 0xFFFFFFFFu;
    record.times_programmed = 3;
    record.zan_version = 0xFFFF;
    record.zan_crc = 0x1234;
    record.faults.find = {81, false};
    record.faults.lock = {36, true};
    record.faults.rom_read = {45, true, 2};
    record.faults.set_parameter = {82, false, 7};
    record.faults.name = {45, false};
    record.faults.has_rom_reply = true;
    record.faults.rom_reply = "";  // an empty reply is a reply too

    CableRecord back;
    ASSERT_TRUE(parse_cable(format_cable(record), "cable", back));
    EXPECT_EQ(format_cable(back), format_cable(record));
    EXPECT_EQ(back.name, record.name);
    EXPECT_EQ(back.rom, record.rom);
    EXPECT_TRUE(back.faults.lock.once);
    EXPECT_EQ(back.faults.rom_read.after, 2u);
    EXPECT_TRUE(back.faults.rom_read.once);
    EXPECT_EQ(back.faults.set_parameter.after, 7u);
    EXPECT_TRUE(back.faults.has_rom_reply);
    EXPECT_EQ(back.faults.rom_reply, "");

    CableRecord blank;
    blank.name = "b";
    ASSERT_TRUE(parse_cable(format_cable(blank), "cable", back));
    EXPECT_FALSE(back.rom_written);
    EXPECT_FALSE(back.faults.has_rom_reply);
    EXPECT_EQ(back.usable, 1u);
    EXPECT_EQ(back.virtual_hw, 0u);
}

TEST(BenchFormat, BadCableFilesNameTheLine) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"name=a\nselect=2\n", "bench: f line 2: bad value for select\n"},
        {"name=a\n# note\ncolour=red\n", "bench: f line 3: unknown key \"colour\"\n"},
        {"name=a\nrom\n", "bench: f line 2: expected key=value\n"},
        {"rom=00\nname=a\n", "bench: f line 1: bad value for rom\n"},
        {"fault_lock=36 twice\nname=a\n", "bench: f line 1: bad value for fault_lock\n"},
        {"select=1\n", "bench: f: no cable name\n"},
    };
    for (const Case& c : cases) {
        CableRecord record;
        record.name = "kept";
        testing::internal::CaptureStderr();
        EXPECT_FALSE(parse_cable(c.text, "f", record));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(record.name, "kept");
    }
}

TEST(BenchFormat, SettingsRoundTripWithMessagesInOrder) {
    BenchSettings settings;
    settings.wait_scale_percent = 5;
    settings.server_after_attempts = 4;
    settings.programmer = {ProgrammerMode::kWrongByte, 0x30};
    settings.messages = {{0, "first \\ one"}, {3, ""}, {1, "caf\xC3\xA9"}};
    BenchSettings back;
    ASSERT_TRUE(parse_settings(format_settings(settings), "s", back));
    EXPECT_EQ(back.wait_scale_percent, 5u);
    EXPECT_EQ(back.server_after_attempts, 4u);
    EXPECT_EQ(back.programmer.mode, ProgrammerMode::kWrongByte);
    EXPECT_EQ(back.programmer.value, 0x30u);
    ASSERT_EQ(back.messages.size(), 3u);
    EXPECT_EQ(back.messages[0].text, "first \\ one");
    EXPECT_EQ(back.messages[1].level, 3u);
    EXPECT_EQ(back.messages[1].text, "");
    EXPECT_EQ(back.messages[2].text, "caf\xC3\xA9");

    ASSERT_TRUE(reset_setting(back, "message"));
    EXPECT_TRUE(back.messages.empty());
    EXPECT_FALSE(reset_setting(back, "colour"));
}

TEST(BenchFormat, ProgrammerModes) {
    struct Case {
        const char* text;
        bool ok;
        ProgrammerMode mode;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"normal", true, ProgrammerMode::kNormal, 0},
        {"exit 3", true, ProgrammerMode::kExit, 3},
        {"hang 600", true, ProgrammerMode::kHang, 600},
        {"segv", true, ProgrammerMode::kSegv, 0},
        {"abort", true, ProgrammerMode::kAbort, 0},
        {"skip-rom", true, ProgrammerMode::kSkipRom, 0},
        {"wrong-byte 255", true, ProgrammerMode::kWrongByte, 255},
        {"wrong-byte 256", false, ProgrammerMode::kNormal, 0},
        {"exit", false, ProgrammerMode::kNormal, 0},
        {"segv 1", false, ProgrammerMode::kNormal, 0},
        {"explode", false, ProgrammerMode::kNormal, 0},
    };
    for (const Case& c : cases) {
        ProgrammerBehaviour behaviour;
        EXPECT_EQ(parse_programmer(c.text, behaviour), c.ok) << c.text;
        EXPECT_EQ(behaviour.mode, c.mode) << c.text;
        EXPECT_EQ(behaviour.value, c.value) << c.text;
        if (c.ok) {
            EXPECT_EQ(format_programmer(behaviour), c.text);
        }
    }
}

}  // namespace
