#include "driver/cable_report.h"

#include <gtest/gtest.h>

#include <cstring>

#include "testing/rom_images.h"

namespace {

RomImage rom(std::uint16_t version, std::uint16_t id, const char* serial, const char* product,
             bool signature) {
    RomImage image;
    image.bytes[kZanVersionOffset] = static_cast<std::uint8_t>(version & 0xFF);
    image.bytes[kZanVersionOffset + 1] = static_cast<std::uint8_t>(version >> 8);
    image.bytes[kHardwareIdOffset] = static_cast<std::uint8_t>(id & 0xFF);
    image.bytes[kHardwareIdOffset + 1] = static_cast<std::uint8_t>(id >> 8);
    std::memcpy(&image.bytes[kSerialOffset], serial, std::strlen(serial));
    std::memcpy(&image.bytes[kProductOffset], product, std::strlen(product));
    image.bytes[kSignatureFlagOffset] = signature ? 1 : 0;
    return image;
}

ListedCable listed(int number, const char* name, ListedKind kind, HWL_ERROR error = 0) {
    ListedCable cable;
    cable.number = number;
    cable.name = name;
    cable.kind = kind;
    cable.error = error;
    cable.updatable = true;
    return cable;
}

ListedCable with_rom(int number, const char* name, const RomImage& image) {
    ListedCable cable = listed(number, name, ListedKind::kRom);
    cable.rom = image;
    return cable;
}

TEST(CableReport, ListLines) {
    // Hardware id 1 with a three-character serial: the line shows it after fix-ups.
    RomImage old = rom(7, 1, "123", "USB Kestrel++", false);
    struct Case {
        ListedCable cable;
        std::string line;
    };
    const Case cases[] = {
        {with_rom(1, "USB-1 [1-1]", rom(3, 2, "A-0042", "USB-KestrelII", true)),
         "1) USB-1 [1-1]: ZAN_version=3, hardware_id=2, serial \"A-0042\", product "
         "\"USB-KestrelII\", signature present\n"},
        {with_rom(2, "Old", old),
         "2) Old: ZAN_version=7, hardware_id=1, serial \"101-0123\", product \"USB-KestrelII\", "
         "signature missing\n"},
        {with_rom(3, "Fresh", RomImage{}), "3) Fresh: blank\n"},
        {listed(4, "Busy", ListedKind::kInUse, 36), "4) Busy: in use\n"},
        {listed(5, "Garbage", ListedKind::kUnreadable), "5) Garbage: unreadable ROM\n"},
        {listed(6, "Gone", ListedKind::kError, 86), "6) Gone: error (Hardware not attached)\n"},
        {listed(7, "Odd", ListedKind::kError, 43), "7) Odd: error ()\n"},
        // Control bytes from a cable neither break the row nor reach the terminal.
        {listed(8, "A\nB\x1B[2J\x7F\xE9", ListedKind::kInUse, 36),
         "8) A\\x0AB\\x1B[2J\\x7F\xE9: in use\n"},
        {with_rom(9, "C", rom(3, 2, "\t1", "\x1B]0;x\x07", true)),
         "9) C: ZAN_version=3, hardware_id=2, serial \"\\x091\", product \"\\x1B]0;x\\x07\", "
         "signature present\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(cable_list_line(c.cable), c.line);
    }
}

TEST(CableReport, JsonDocument) {
    RomImage image = rom(0x1234, 1, "12", "Q\"\\\x01\xE9", true);
    ListedCable shown = with_rom(0, "USB-1 [1-1]", image);
    shown.updatable = false;
    const std::string hex = hex_of(image);
    // Fix-ups change the serial but the "rom" field shows the bytes as read.
    EXPECT_EQ(cables_json_document({shown}),
              "{\"cables\":[\n"
              "{\"number\":null,\"name\":\"USB-1 [1-1]\",\"updatable\":false,\"rom\":\"" +
                  hex +
                  "\",\"blank\":false,\"zan_version\":4660,\"hardware_id\":1,"
                  "\"serial\":\"101-012\",\"product_name\":\"Q\\\"\\\\\\u0001\\u00E9\","
                  "\"signature\":true}\n"
                  "]}\n");

    EXPECT_EQ(cables_json_document(
                  {with_rom(2, "Fresh", RomImage{}), listed(5, "Busy", ListedKind::kInUse, 34)}),
              "{\"cables\":[\n"
              "{\"number\":2,\"name\":\"Fresh\",\"updatable\":true,\"rom\":\"" +
                  std::string(512, '0') +
                  "\",\"blank\":true,\"zan_version\":0,\"hardware_id\":0,\"serial\":\"\","
                  "\"product_name\":\"\",\"signature\":false},\n"
                  "{\"number\":5,\"name\":\"Busy\",\"error\":\"in use\"}\n"
                  "]}\n");
    EXPECT_EQ(cables_json_document({}), "{\"cables\":[]}\n");
}

}  // namespace
