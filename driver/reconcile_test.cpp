#include "driver/reconcile.h"

#include <gtest/gtest.h>

#include <cstring>

#include "sim/pof_builder.h"
#include "testing/pof_in_memory.h"

namespace {

RomImage make_rom(std::uint16_t version, std::uint16_t id, const std::string& serial,
                  bool signature, std::uint8_t fill = 0) {
    RomImage image;
    for (std::size_t k = 0; k < kRomSize; ++k) {
        image.bytes[k] = static_cast<std::uint8_t>(fill ? (k * 13 + fill) : 0);
    }
    set_u16(image, kZanVersionOffset, version);
    set_u16(image, kHardwareIdOffset, id);
    set_text(image, kSerialOffset, serial);
    set_text(image, kProductOffset, "USB-KestrelII");
    image.bytes[kSignatureFlagOffset] = signature ? 1 : 0;
    return image;
}

// A file made and parsed in memory; its first packet after the header is the ROM packet.
PofImage make_pof(const RomImage& image) {
    PofRecipe recipe;
    recipe.image = image;
    PofImage pof;
    EXPECT_TRUE(parse_pof_copy(build_pof(recipe), StoredCrc::kMustMatch, pof));
    return pof;
}

struct Outcome {
    Reconciliation result;
    PofImage pof;  // the file after the reconciliation
    std::string out;
    std::string err;
};

// Reconciles a file carrying `file` with a cable holding `cable` (assessed quietly).
Outcome run(const RomImage& cable, const RomImage& file, const char* serial = nullptr,
            bool force = false) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    CableState state = assess_cable(cable, false);
    testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    Outcome o;
    o.pof = make_pof(file);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    o.result = reconcile(&state, &o.pof, serial, force);
    o.err = testing::internal::GetCapturedStderr();
    o.out = testing::internal::GetCapturedStdout();
    return o;
}

void expect_mirrored(const PofImage& pof) {
    for (std::size_t k = 0; k < kRomSize; ++k) {
        ASSERT_EQ(pof.image.bytes[k], pof.bytes[pof.rom_data + 2 * k + 1]) << k;
    }
}

TEST(AssessCable, LinesAndDebugDump) {
    struct Case {
        const char* what;
        RomImage image;
        bool debug;
        std::string err;
        bool fixups_dumped;
    };
    RomImage old_name = make_rom(3, 1, "12345678", true);
    set_text(old_name, kProductOffset, "USB Kestrel++");
    const Case cases[] = {
        {"blank", RomImage{}, true, "Cable ROM is blank\n", false},
        {"signed", make_rom(7, 2, "AB-12", true), true,
         "Cable ZAN_version=7, hardware_id=2, signature present\n", false},
        {"unsigned large numbers", make_rom(65535, 300, "AB-12", false), false,
         "Cable ZAN_version=65535, hardware_id=300, signature missing\n", false},
        {"fixed up, debug", old_name, true,
         "Cable ZAN_version=3, hardware_id=1, signature present\n", true},
        {"fixed up, no debug", old_name, false,
         "Cable ZAN_version=3, hardware_id=1, signature present\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        CableState state = assess_cable(c.image, c.debug);
        std::string err = testing::internal::GetCapturedStderr();
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(err, c.err);
        std::string expected_out = format_rom_dump("Cable", c.image);
        if (c.fixups_dumped) {
            expected_out += format_rom_dump("After fixups cable", state.image);
        }
        EXPECT_EQ(out, expected_out);
        EXPECT_EQ(state.as_read, c.image);
    }
}

TEST(Reconcile, Refusals) {
    const std::string force_hint = "Use the --force option to reprogram anyway\n";
    const std::string no_signature =
        "No signature in POF file.  Newer versions of linkhub will not\n"
        "work with a cable programmed with this file\n";
    struct Case {
        const char* what;
        RomImage cable;
        RomImage file;
        const char* serial;
        std::string tail;  // stderr after the POF line
    };
    const Case cases[] = {
        {"blank, no serial", RomImage{}, make_rom(5, 2, "AB-##", true), nullptr,
         "Please provide a serial number of the format AB-##\n"},
        {"blank, wrong serial", RomImage{}, make_rom(5, 2, "AB-##", true), "AB-1",
         "Please provide a serial number of the format AB-##\n"},
        {"blank, serial matches, no signature", RomImage{}, make_rom(5, 2, "AB-##", false), "AB-12",
         no_signature + force_hint},
        {"serial on a cable with content", make_rom(1, 2, "AB-07", true),
         make_rom(9, 2, "AB-##", true), "AB-12",
         "Once a board has a serial number you can't change it!\n"},
        {"wrong hardware id", make_rom(1, 2, "AB-07", true), make_rom(9, 3, "AB-##", true), nullptr,
         "pof is not suitable for this cable because it has the wrong hardware ID\n"},
        {"neither signed", make_rom(1, 2, "AB-07", false), make_rom(9, 2, "AB-##", false), nullptr,
         no_signature + force_hint},
        {"file older", make_rom(6, 2, "AB-07", true), make_rom(5, 2, "AB-##", true), nullptr,
         "This cable contains a newer version of the hardware than the file\n" + force_hint},
        {"same version, nothing changes", make_rom(5, 2, "AB-07", true, 9),
         make_rom(5, 2, "XX", false, 9), nullptr,
         "This cable contains the same version of the hardware as the file\n" + force_hint},
        {"versions compare unsigned", make_rom(0x8000, 2, "AB-07", true),
         make_rom(0x7FFF, 2, "AB-##", true), nullptr,
         "This cable contains a newer version of the hardware than the file\n" + force_hint},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Outcome o = run(c.cable, c.file, c.serial);
        EXPECT_FALSE(o.result.reprogram);
        char pof_line[128];
        std::snprintf(pof_line, sizeof pof_line,
                      "POF ZAN_version=%d, hardware_id=%d, signature %s\n", zan_version(c.file),
                      hardware_id(c.file), has_signature(c.file) ? "present" : "missing");
        EXPECT_EQ(o.err, pof_line + c.tail);
        EXPECT_EQ(o.out, format_rom_dump("pof file", c.file));
    }
}

TEST(Reconcile, UpdateKeepsTheCablesIdentity) {
    RomImage cable = make_rom(3, 2, "AB-07", true, 1);
    RomImage file = make_rom(4, 2, "AB-##", true, 2);
    Outcome o = run(cable, file);
    ASSERT_TRUE(o.result.reprogram);
    EXPECT_EQ(o.result.hardware_id, 2);
    for (std::size_t k = 0; k < kRomSize; ++k) {
        EXPECT_EQ(o.pof.image.bytes[k], k < 0x20 ? file.bytes[k] : cable.bytes[k]) << k;
    }
    expect_mirrored(o.pof);
    EXPECT_EQ(o.out, format_rom_dump("pof file", file) + format_rom_dump("Merged", o.pof.image));
    EXPECT_EQ(o.err, "POF ZAN_version=4, hardware_id=2, signature present\n");

    // An unsigned cable takes the file's signature block.
    const RomImage unsigned_cable = make_rom(5, 2, "AB-07", false, 1);
    const RomImage signed_file = make_rom(5, 2, "AB-##", true, 2);
    o = run(unsigned_cable, signed_file);
    ASSERT_TRUE(o.result.reprogram);  // same version, but the image changes
    for (std::size_t k = 0x20; k < kRomSize; ++k) {
        bool from_file = k >= kSignatureOffset || k == kSignatureCompanion;
        EXPECT_EQ(o.pof.image.bytes[k], from_file ? signed_file.bytes[k] : unsigned_cable.bytes[k])
            << k;
    }
    expect_mirrored(o.pof);

    // A fix-up alone makes the same version worth programming.
    const RomImage short_serial = make_rom(5, 1, "123", true, 3);  // fixed up to 101-0123
    o = run(short_serial, short_serial);
    ASSERT_TRUE(o.result.reprogram);
    EXPECT_EQ(o.result.hardware_id, 1);
    EXPECT_EQ(rom_text(o.pof.image, kSerialOffset, kSerialSize), "101-0123");
}

TEST(Reconcile, ForceOverridesVersionAndSignatureRefusals) {
    const std::string no_signature =
        "No signature in POF file.  Newer versions of linkhub will not\n"
        "work with a cable programmed with this file\n";
    struct Case {
        const char* what;
        RomImage cable, file;
        std::string err_tail;
    };
    const Case cases[] = {
        {"older", make_rom(6, 2, "AB-07", true), make_rom(5, 2, "AB-##", true), ""},
        {"same, unchanged", make_rom(5, 2, "AB-07", true, 9), make_rom(5, 2, "AB-07", true, 9), ""},
        {"unsigned", make_rom(1, 2, "AB-07", false), make_rom(9, 2, "AB-##", false), no_signature},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Outcome o = run(c.cable, c.file, nullptr, true);
        EXPECT_TRUE(o.result.reprogram);
        EXPECT_NE(o.out.find("Merged ROM contents:\n"), std::string::npos);
        EXPECT_EQ(o.err.substr(o.err.find('\n') + 1), c.err_tail);
    }
}

TEST(Reconcile, BlankCableTakesTheFileAndTheSerial) {
    RomImage file = make_rom(0x0102, 1, "AB-##", true, 4);
    Outcome o = run(RomImage{}, file, "AB-42");
    ASSERT_TRUE(o.result.reprogram);
    EXPECT_EQ(o.result.hardware_id, 1);
    RomImage expected = file;
    std::memcpy(&expected.bytes[kSerialOffset], "AB-42", 5);
    EXPECT_EQ(o.pof.image, expected);  // no terminator written; everything else from the file
    expect_mirrored(o.pof);
    EXPECT_EQ(o.out, format_rom_dump("pof file", file) + format_rom_dump("Merged", expected));

    // A format of sixteen characters has no terminator.
    file = make_rom(2, 2, "", true);
    std::memcpy(&file.bytes[kSerialOffset], "################", 16);
    file.bytes[kProductOffset] = 'Z';  // the field after it is not part of the format
    o = run(RomImage{}, file, "1234567890123456");
    ASSERT_TRUE(o.result.reprogram) << o.err;
    EXPECT_EQ(rom_text(o.pof.image, kSerialOffset, kSerialSize), "1234567890123456");
}

}  // namespace
