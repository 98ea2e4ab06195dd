#include "cable/cable_operation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "cable/pause.h"
#include "testing/fake_linkhub.h"
#include "testing/rom_images.h"

namespace {

using Log = std::vector<std::string>;

class CableOperation : public testing::Test {
  protected:
    void SetUp() override { start_over(); }

    // A fake library that knows one healthy cable "USB-1".
    void start_over() {
        reset_fake_linkhub();
        FakeCable cable;
        cable.name = "USB-1";
        cable.rom_text = fake_rom_text(0, 1);
        fake_linkhub().cables.push_back(cable);
    }

    FakeCable& cable() { return fake_linkhub().cables[0]; }

    // Runs operate_cable with a pause that is only logged; returns what it wrote to standard
    // error.
    std::string operate(int& result, const char* name, CableStep step, RomImage* image) {
        testing::internal::CaptureStderr();
        result = operate_cable(name, step, image, [](std::uint32_t ms, CableStep) {
            fake_linkhub_note("pause " + std::to_string(ms));
        });
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(0, fake_locked_chains());
        return err;
    }
};

// Either form of the text: the hexadecimal digits, or "empty" for a blank image.
TEST_F(CableOperation, ReadsTheRomAsHexText) {
    std::string text = fake_rom_text(0, 1);
    text.replace(0, 6, "00FF7a");
    cable().rom_text = text;
    RomImage image = marked_image();
    int result = -1;
    EXPECT_EQ("", operate(result, "USB-1", CableStep::kReadRom, &image));
    EXPECT_EQ(kStatusDone, result);
    RomImage expected = stepped_image(0, 1);  // as fake_rom_text(0, 1) describes it
    expected.bytes[1] = 0xFF;
    expected.bytes[2] = 0x7A;
    EXPECT_EQ(expected, image);
    EXPECT_EQ((Log{"find USB-1 6000", "lock USB-1 10000",
                   "get_parameter USB-1 InternalEepromContents 512", "unlock USB-1"}),
              fake_linkhub().log);
    EXPECT_EQ(-1, cable().zan_select);

    cable().rom_text = "empty";
    EXPECT_EQ("", operate(result, "USB-1", CableStep::kReadRom, &image));
    EXPECT_EQ(kStatusDone, result);
    EXPECT_EQ(RomImage{}, image);
}

TEST_F(CableOperation, EachStepPrintsItsMessageAndResult) {
    struct Case {
        const char* label;
        void (*arrange)(FakeCable& cable);
        const char* name;
        CableStep step;
        const char* expected_err;
        int expected_result;
        Log expected_log;
    };
    const Log read = {"find USB-1 6000", "lock USB-1 10000",
                      "get_parameter USB-1 InternalEepromContents 512", "unlock USB-1"};
    const char* const unreadable = "Error () when reading EEPROM contents\n";
    const Case cases[] = {
        // A switch pauses while the chain is still locked.
        {"enter select mode", [](FakeCable&) {}, "USB-1", CableStep::kEnterSelectMode, "",
         kStatusDone,
         Log{"find USB-1 6000", "lock USB-1 10000", "set_parameter USB-1 InternalZanSelect 1",
             "pause 3000", "unlock USB-1"}},
        {"leave select mode", [](FakeCable&) {}, "USB-1", CableStep::kLeaveSelectMode, "",
         kStatusDone,
         Log{"find USB-1 6000", "lock USB-1 10000", "set_parameter USB-1 InternalZanSelect 0",
             "pause 3000", "unlock USB-1"}},
        {"unknown cable", [](FakeCable&) {}, "USB-9", CableStep::kReadRom,
         "Unable to find jtag cable \"USB-9\"\n", kStatusNoCable, Log{"find USB-9 6000"}},
        {"lookup fails", [](FakeCable& c) { c.find_result = 86; }, "USB-1", CableStep::kReadRom,
         "Error (Hardware not attached) when scanning hardware\n", kStatusNoCable,
         Log{"find USB-1 6000"}},
        {"lock fails", [](FakeCable& c) { c.lock_result = 36; }, "USB-1",
         CableStep::kEnterSelectMode, "Error (Chain in use) when locking chain\n", kStatusFailed,
         Log{"find USB-1 6000", "lock USB-1 10000"}},
        {"read fails", [](FakeCable& c) { c.rom_result = 81; }, "USB-1", CableStep::kReadRom,
         "Error (Communications error) when reading EEPROM contents\n", kStatusFailed, read},
        {"read fails with a nameless code", [](FakeCable& c) { c.rom_result = 43; }, "USB-1",
         CableStep::kReadRom, unreadable, kStatusFailed, read},
        // A value of each kind that does not decode; the decoder's own tests go through every
        // form it refuses.
        {"value EMPTY", [](FakeCable& c) { c.rom_text = "EMPTY"; }, "USB-1", CableStep::kReadRom,
         unreadable, kStatusFailed, read},
        {"empty value", [](FakeCable& c) { c.rom_text.clear(); }, "USB-1", CableStep::kReadRom,
         unreadable, kStatusFailed, read},
        {"a digit short", [](FakeCable& c) { c.rom_text.resize(511); }, "USB-1",
         CableStep::kReadRom, unreadable, kStatusFailed, read},
        {"a bad digit", [](FakeCable& c) { c.rom_text[2 * 255] = 'G'; }, "USB-1",
         CableStep::kReadRom, unreadable, kStatusFailed, read},
        {"switch refused", [](FakeCable& c) { c.select_result = 45; }, "USB-1",
         CableStep::kLeaveSelectMode, "Error (Invalid parameter) when setting zan mode\n",
         kStatusFailed,
         Log{"find USB-1 6000", "lock USB-1 10000", "set_parameter USB-1 InternalZanSelect 0",
             "unlock USB-1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        start_over();
        c.arrange(cable());
        RomImage image = marked_image();
        int result = -1;
        EXPECT_EQ(c.expected_err, operate(result, c.name, c.step, &image));
        EXPECT_EQ(c.expected_result, result);
        EXPECT_EQ(c.expected_log, fake_linkhub().log);
        EXPECT_EQ(marked_image(), image);  // a failed operation or a switch leaves it as it was
        if (c.expected_result == kStatusDone) {
            EXPECT_EQ(c.step == CableStep::kEnterSelectMode ? 1 : 0, cable().zan_select);
        }
    }
}

TEST(Pause, WaitsForReal) {
    auto start = std::chrono::steady_clock::now();
    pause_ms(30);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

}  // namespace
