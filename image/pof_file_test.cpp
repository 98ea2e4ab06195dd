#include "image/pof_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/crc16.h"
#include "sim/pof_builder.h"
#include "testing/crc16_reference.h"
#include "testing/pof_in_memory.h"
#include "testing/temp_folder.h"

namespace fs = std::filesystem;

namespace {

// What parsing or loading a file gave, and what it wrote to standard error.
struct Parsed {
    bool ok = false;
    PofImage pof;
    std::string err;
};

// Each test runs in a folder of its own, since the temporary file lives in the working directory.
class PofFile : public testing::Test {
  protected:
    void SetUp() override {
        old_dir_ = fs::current_path();
        ASSERT_NE(dir_.path(), "");
        fs::current_path(dir_.path());
    }
    void TearDown() override { fs::current_path(old_dir_); }

    // Loads bytes from a file.
    static Parsed load(const std::vector<std::uint8_t>& bytes) {
        write_file("in.pof", bytes);
        Parsed r;
        testing::internal::CaptureStderr();
        r.ok = load_pof("in.pof", r.pof);
        r.err = testing::internal::GetCapturedStderr();
        return r;
    }

    fs::path old_dir_;
    TempFolder dir_{"cw_pof_test_"};
};

RomImage sample_image() {
    RomImage image;
    for (std::size_t k = 0; k < kRomSize; ++k) {
        image.bytes[k] = static_cast<std::uint8_t>(k * 7 + 3);
    }
    return image;
}

// Parses bytes in memory.
Parsed parse(const std::vector<std::uint8_t>& bytes, StoredCrc stored_crc = StoredCrc::kMustMatch) {
    Parsed r;
    testing::internal::CaptureStderr();
    r.ok = parse_pof_copy(bytes, stored_crc, r.pof);
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

// The file of the default recipe of sample_image(), with changes made by change.
std::vector<std::uint8_t> sample_file(void (*change)(PofRecipe&) = [](PofRecipe&) {}) {
    PofRecipe recipe;
    recipe.image = sample_image();
    change(recipe);
    return build_pof(recipe);
}

// Where the ROM data starts when the ROM packet follows the header directly.
constexpr std::size_t kFirstRomData = kPofHeaderSize + kPacketHeaderSize + kRomSubHeaderSize;

TEST(ParsePof, MinimalFileParsesAndOtherPacketsAreSkipped) {
    std::vector<std::uint8_t> bytes = sample_file();
    ASSERT_EQ(bytes.size(), 1062u);
    Parsed r = parse(bytes);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.pof.length, bytes.size());
    EXPECT_EQ(r.pof.rom_data, kFirstRomData);
    EXPECT_EQ(r.pof.crc_pos, bytes.size() - kCrcPacketLength);
    EXPECT_EQ(r.pof.image, sample_image());
    EXPECT_EQ(pof_crc(r.pof), crc16_x25_bytewise(bytes.data(), bytes.size() - kCrcPacketLength));

    // Other packets are skipped.
    r = parse(sample_file([](PofRecipe& recipe) { recipe.leading_data = {1, 2, 3, 4, 5}; }));
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(r.pof.rom_data, kFirstRomData + kPacketHeaderSize + 5);
    EXPECT_EQ(r.pof.image, sample_image());
}

constexpr std::size_t kWhole = SIZE_MAX;
const char* const kHeaderMessage = "Did not understand POF file header\n";
const char* const kRomMessage = "Did not understand ROM section in POF file\n";
const char* const kTailMessage = "Unknown data at end of pof file\n";
const char* const kCorruptMessage = "POF file is corrupted\n";
const char* const kNoRomMessage = "No ROM section in pof file\n";
const char* const kUnusedMessage = "Unused parts of pof file ROM are not zero\n";

struct BrokenRule {
    const char* what;
    void (*breaks)(PofRecipe&);
    std::size_t cut_to;  // keep only this many bytes of the built file
    const char* message;
};

void no_change(PofRecipe&) {}
void one_earlier_packet(PofRecipe& r) {
    r.earlier_roms = {sample_image()};
}
void two_earlier_packets(PofRecipe& r) {
    r.earlier_roms = {sample_image(), sample_image()};
}

const BrokenRule kBrokenRules[] = {
    {"bad magic", [](PofRecipe& r) { r.header[2] = 'X'; }, kWhole, kHeaderMessage},
    {"bad version word", [](PofRecipe& r) { r.header[6] = 2; }, kWhole, kHeaderMessage},
    {"empty file", no_change, 0, kHeaderMessage},
    {"seven bytes", no_change, 7, kHeaderMessage},
    {"header only", no_change, 12, kTailMessage},
    {"rom sub-header cut", no_change, kPofHeaderSize + kPacketHeaderSize + 5, kTailMessage},
    {"rom length 1035", [](PofRecipe& r) { r.rom_length = 1035; }, kWhole, kRomMessage},
    {"rom length 1037", [](PofRecipe& r) { r.rom_length = 1037; }, kWhole, kRomMessage},
    {"rom sub-header", [](PofRecipe& r) { r.rom_sub_header[7] = 0x21; }, kWhole, kRomMessage},
    {"extra byte after crc", [](PofRecipe& r) { r.trailing = {0}; }, kWhole, kTailMessage},
    {"no crc packet", [](PofRecipe& r) { r.include_crc = false; }, kWhole, kTailMessage},
    {"bad checksum", [](PofRecipe& r) { r.corrupt_crc = true; }, kWhole, kCorruptMessage},
    {"no rom packet", [](PofRecipe& r) { r.include_rom = false; }, kWhole, kNoRomMessage},
    {"bad checksum beats missing rom",
     [](PofRecipe& r) {
         r.include_rom = false;
         r.corrupt_crc = true;
     },
     kWhole, kCorruptMessage},
    {"pair byte", [](PofRecipe& r) { r.nonzero_pair_byte = true; }, kWhole, kUnusedMessage},
    {"tail byte", [](PofRecipe& r) { r.nonzero_tail_byte = true; }, kWhole, kUnusedMessage},
    // Whichever ROM packet the programmer takes, it must carry the same image.
    {"earlier packet differs",
     [](PofRecipe& r) {
         r.earlier_roms = {sample_image(), sample_image()};
         r.earlier_roms[1].bytes[0x40] ^= 1;
     },
     kWhole, "POF file has ROM sections that differ\n"},
    {"earlier packet's pair byte",
     [](PofRecipe& r) {
         one_earlier_packet(r);
         r.nonzero_earlier_byte = true;
     },
     kWhole, kUnusedMessage},
};

std::vector<std::uint8_t> broken_file(const BrokenRule& rule) {
    std::vector<std::uint8_t> bytes = sample_file(rule.breaks);
    bytes.resize(std::min(bytes.size(), rule.cut_to));
    return bytes;
}

// The file reader gives every file the verdict the parser gives its bytes.
TEST_F(PofFile, EachBrokenRuleHasItsMessage) {
    for (const BrokenRule& rule : kBrokenRules) {
        SCOPED_TRACE(rule.what);
        for (const Parsed& r : {parse(broken_file(rule)), load(broken_file(rule))}) {
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.err, rule.message);
        }
    }
}

// Accepting any stored checksum lets a file past that one check and no other.
TEST(ParsePof, AcceptingAnyChecksumSkipsOnlyTheChecksum) {
    const BrokenRule cases[] = {
        {"bad checksum", [](PofRecipe& r) { r.corrupt_crc = true; }, kWhole, ""},
        {"bad checksum and no rom packet",
         [](PofRecipe& r) {
             r.corrupt_crc = true;
             r.include_rom = false;
         },
         kWhole, kNoRomMessage},
        {"bad checksum and pair byte",
         [](PofRecipe& r) {
             r.corrupt_crc = true;
             r.nonzero_pair_byte = true;
         },
         kWhole, kUnusedMessage},
        {"bad magic", [](PofRecipe& r) { r.header[2] = 'X'; }, kWhole, kHeaderMessage},
        {"extra byte after crc", [](PofRecipe& r) { r.trailing = {0}; }, kWhole, kTailMessage},
    };
    for (const BrokenRule& c : cases) {
        SCOPED_TRACE(c.what);
        const bool accepted = *c.message == '\0';
        Parsed r = parse(broken_file(c), StoredCrc::kAcceptAny);
        EXPECT_EQ(r.ok, accepted);
        EXPECT_EQ(r.err, c.message);
        if (accepted) {
            EXPECT_EQ(r.pof.image, sample_image());
        }
    }
}

TEST(ParsePof, HugePacketLengthsEndTheWalkWithoutWrapping) {
    for (std::uint32_t huge : {4294967290u, 4294967295u, 4294967284u}) {
        SCOPED_TRACE(huge);
        PofRecipe recipe;
        recipe.include_crc = false;
        std::vector<std::uint8_t> bytes = build_pof(recipe);
        // A packet that claims nearly 4 GiB, then what would be a valid CRC packet if the
        // offset wrapped round to it.
        bytes.insert(bytes.end(), {3, 0});
        for (int shift : {0, 8, 16, 24}) {
            bytes.push_back(static_cast<std::uint8_t>(huge >> shift));
        }
        bytes.insert(bytes.end(), {8, 0, 2, 0, 0, 0});
        std::uint16_t crc = crc16_x25_bytewise(bytes.data(), bytes.size());
        bytes.push_back(static_cast<std::uint8_t>(crc));
        bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
        Parsed r = parse(bytes);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.err, kTailMessage);
    }
}

// A valid file of `size` bytes: a filler packet before the ROM packet makes up the size.
std::vector<std::uint8_t> valid_file_of_size(std::size_t size) {
    const std::size_t bare = build_pof(PofRecipe{}).size() + kPacketHeaderSize;
    PofRecipe recipe;
    recipe.image = sample_image();
    recipe.leading_data.resize(size - bare);
    for (std::size_t i = 0; i < recipe.leading_data.size(); ++i) {
        recipe.leading_data[i] = static_cast<std::uint8_t>(i * 31 + (i >> 9));
    }
    return build_pof(recipe);
}

// load_pof checksums the file in pieces as it reads them, all but the last two bytes: wherever
// the pieces end against the file's end, a valid file loads and a changed byte is caught.
TEST_F(PofFile, ChecksumWhileReadingCoversAllButTheStoredChecksum) {
    std::vector<std::size_t> sizes;
    for (std::size_t end : {kPofReadPieceSize, 2 * kPofReadPieceSize}) {
        for (std::size_t size = end - 3; size <= end + 4; ++size) {
            sizes.push_back(size);
        }
    }
    for (std::size_t size : sizes) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> bytes = valid_file_of_size(size);
        ASSERT_EQ(bytes.size(), size);
        Parsed r = load(bytes);
        ASSERT_TRUE(r.ok) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.pof.length, size);
        EXPECT_EQ(r.pof.image, sample_image());
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), r.pof.bytes.get()));
    }
    // Filler bytes on either side of the first piece's end and in the second piece.
    for (std::size_t at : {kPofReadPieceSize - 1, kPofReadPieceSize, kPofReadPieceSize + 100}) {
        SCOPED_TRACE(at);
        std::vector<std::uint8_t> bytes = valid_file_of_size(kPofReadPieceSize + 1000);
        bytes[at] ^= 0x40;
        Parsed r = load(bytes);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.err, kCorruptMessage);
    }
}

// The temporary file of an unchanged file is identical to it.
TEST_F(PofFile, WriteTempPofCopiesTheFileAndItsStampedSerial) {
    std::vector<std::uint8_t> bytes = sample_file([](PofRecipe& recipe) {
        recipe.leading_data = {9, 8, 7};
    });
    Parsed r = parse(bytes);
    ASSERT_TRUE(r.ok);
    TempFile file;
    const char* name = write_temp_pof(r.pof, ".", file);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "cablewright.tmp.pof");
    std::ifstream written(name, std::ios::binary);
    EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(written), {}), bytes);
    written.close();
    EXPECT_EQ(remove_temp_file(file, name), TempFileRemoval::kRemoved);
    EXPECT_FALSE(fs::exists(name));

    // A stamped serial is mirrored into the file, whose checksum is refreshed.
    PofImage& pof = r.pof;
    stamp_serial(pof, "AB-12", 0x30, 5);
    stamp_serial(pof, "zz", 0x40, 0);  // a count of 0 writes nothing
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(pof.image.bytes[0x30 + i], "AB-12"[i]);
        EXPECT_EQ(pof.bytes[pof.rom_data + 0x61 + 2 * i], "AB-12"[i]);
    }
    EXPECT_EQ(pof.image.bytes[0x35], sample_image().bytes[0x35]);  // no terminator
    EXPECT_EQ(pof.image.bytes[0x40], sample_image().bytes[0x40]);
    for (std::size_t k = 0; k < kRomSize; ++k) {
        ASSERT_EQ(pof.image.bytes[k], pof.bytes[pof.rom_data + 2 * k + 1]) << k;
    }

    TempFile stamped;
    ASSERT_NE(write_temp_pof(pof, ".", stamped), nullptr);
    PofImage reloaded;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(load_pof("cablewright.tmp.pof", reloaded));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(reloaded.image, pof.image);
    EXPECT_EQ(remove_temp_file(stamped, "cablewright.tmp.pof"), TempFileRemoval::kRemoved);
}

TEST_F(PofFile, WriteTempPofNeverReplacesAnExistingName) {
    Parsed r = parse(sample_file());
    ASSERT_TRUE(r.ok);
    write_file("cablewright.tmp.pof", {'m', 'i', 'n', 'e'});
    testing::internal::CaptureStderr();
    TempFile file;
    EXPECT_EQ(write_temp_pof(r.pof, ".", file), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to write cablewright.tmp.pof\n");
    std::ifstream kept("cablewright.tmp.pof", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "mine");
}

TEST_F(PofFile, WriteTempPofNeverFollowsADanglingLink) {
    Parsed r = parse(sample_file());
    ASSERT_TRUE(r.ok);
    std::error_code no_links;
    fs::create_symlink("victim.pof", "cablewright.tmp.pof", no_links);
    if (no_links) {
        // Wine, and Windows without the privilege to make links.
        GTEST_SKIP() << "cannot make a symbolic link here: " << no_links.message();
    }
    testing::internal::CaptureStderr();
    TempFile file;
    EXPECT_EQ(write_temp_pof(r.pof, ".", file), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to write cablewright.tmp.pof\n");
    EXPECT_FALSE(fs::exists("victim.pof"));
}

// Whichever ROM packet the programmer takes, it must carry the same image and, once merged, the
// cable's identity.
TEST(ParsePof, EveryRomPacketIsKeptEqual) {
    for (std::size_t earlier : {1, 2}) {
        SCOPED_TRACE(earlier);
        Parsed r = parse(sample_file(earlier == 1 ? one_earlier_packet : two_earlier_packets));
        ASSERT_TRUE(r.ok) << r.err;
        PofImage& pof = r.pof;
        ASSERT_EQ(pof.earlier_rom_data.size(), earlier);
        stamp_serial(pof, "AB-12", kSerialOffset, 5);
        for (std::size_t data : pof.earlier_rom_data) {
            RomImage in_packet;
            for (std::size_t k = 0; k < kRomSize; ++k) {
                in_packet.bytes[k] = pof.bytes[data + 2 * k + 1];
            }
            EXPECT_EQ(in_packet, pof.image);
        }
    }
}

}  // namespace
