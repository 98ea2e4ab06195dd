#include "image/pof_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "sim/pof_builder.h"

namespace fs = std::filesystem;

namespace {

// Each test runs in a folder of its own, since the temporary file lives in the working directory.
class PofFile : public testing::Test {
  protected:
    void SetUp() override {
        old_dir_ = fs::current_path();
        dir_ = fs::temp_directory_path() /
               ("cw_pof_test_" + std::to_string(std::random_device{}()) + "_" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_dir_);
        fs::remove_all(dir_);
    }

    // Loads bytes from a file; returns the load result and what went to standard error.
    bool load(const std::vector<std::uint8_t>& bytes, PofImage& pof, std::string& err) {
        write_file("in.pof", bytes);
        testing::internal::CaptureStderr();
        bool ok = load_pof("in.pof", pof);
        err = testing::internal::GetCapturedStderr();
        return ok;
    }

    static std::vector<std::uint8_t> read_bytes(const char* path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path old_dir_;
    fs::path dir_;
};

RomImage sample_image() {
    RomImage image;
    for (std::size_t k = 0; k < kRomSize; ++k) {
        image.bytes[k] = static_cast<std::uint8_t>(k * 7 + 3);
    }
    return image;
}

TEST(Crc16, CheckValueAndTableMatchesBytewise) {
    const char* digits = "123456789";
    auto p = reinterpret_cast<const std::uint8_t*>(digits);
    EXPECT_EQ(crc16_x25_bytewise(p, 9), 0x906E);
    EXPECT_EQ(crc16_x25(p, 9), 0x906E);
    EXPECT_EQ(crc16_x25(p, 0), 0x0000);

    std::mt19937 rng(1234);
    std::vector<std::uint8_t> data(4099);
    for (auto& b : data) {
        b = static_cast<std::uint8_t>(rng());
    }
    for (std::size_t n : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 1000u, 4099u}) {
        for (std::size_t start : {0u, 1u, 3u}) {
            SCOPED_TRACE(std::to_string(n) + "@" + std::to_string(start));
            std::size_t len = std::min(n, data.size() - start);
            EXPECT_EQ(crc16_x25(data.data() + start, len),
                      crc16_x25_bytewise(data.data() + start, len));
        }
    }
}

TEST_F(PofFile, MinimalFileLoads) {
    PofRecipe recipe;
    recipe.image = sample_image();
    std::vector<std::uint8_t> bytes = build_pof(recipe);
    ASSERT_EQ(bytes.size(), 1062u);
    PofImage pof;
    std::string err;
    ASSERT_TRUE(load(bytes, pof, err));
    EXPECT_EQ(err, "");
    EXPECT_EQ(pof.length, 1062u);
    EXPECT_EQ(pof.rom_data, 30u);
    EXPECT_EQ(pof.crc_pos, 1060u);
    EXPECT_EQ(pof.image, recipe.image);
    EXPECT_EQ(pof_crc(pof), crc16_x25_bytewise(bytes.data(), 1060));
}

TEST_F(PofFile, OtherPacketsAreSkipped) {
    PofRecipe recipe;
    recipe.image = sample_image();
    recipe.leading_data = {1, 2, 3, 4, 5};
    PofImage pof;
    std::string err;
    ASSERT_TRUE(load(build_pof(recipe), pof, err)) << err;
    EXPECT_EQ(pof.rom_data, 30u + 11u);
    EXPECT_EQ(pof.image, recipe.image);
}

TEST_F(PofFile, EachBrokenRuleHasItsMessage) {
    constexpr std::size_t kWhole = SIZE_MAX;
    struct Case {
        const char* what;
        void (*breaks)(PofRecipe&);
        std::size_t cut_to;  // keep only this many bytes of the built file
        const char* message;
    };
    auto none = [](PofRecipe&) {};
    const char* header = "Did not understand POF file header\n";
    const char* rom = "Did not understand ROM section in POF file\n";
    const char* tail = "Unknown data at end of pof file\n";
    const char* unused = "Unused parts of pof file ROM are not zero\n";
    const Case cases[] = {
        {"bad magic", [](PofRecipe& r) { r.header[2] = 'X'; }, kWhole, header},
        {"bad version word", [](PofRecipe& r) { r.header[6] = 2; }, kWhole, header},
        {"empty file", none, 0, header},
        {"seven bytes", none, 7, header},
        {"header only", none, 12, tail},
        {"rom length 1035", [](PofRecipe& r) { r.rom_length = 1035; }, kWhole, rom},
        {"rom length 1037", [](PofRecipe& r) { r.rom_length = 1037; }, kWhole, rom},
        {"rom sub-header", [](PofRecipe& r) { r.rom_sub_header[7] = 0x21; }, kWhole, rom},
        {"extra byte after crc", [](PofRecipe& r) { r.trailing = {0}; }, kWhole, tail},
        {"no crc packet", [](PofRecipe& r) { r.include_crc = false; }, kWhole, tail},
        {"bad checksum", [](PofRecipe& r) { r.corrupt_crc = true; }, kWhole,
         "POF file is corrupted\n"},
        {"no rom packet", [](PofRecipe& r) { r.include_rom = false; }, kWhole,
         "No ROM section in pof file\n"},
        {"bad checksum beats missing rom",
         [](PofRecipe& r) {
             r.include_rom = false;
             r.corrupt_crc = true;
         },
         kWhole, "POF file is corrupted\n"},
        {"pair byte", [](PofRecipe& r) { r.nonzero_pair_byte = true; }, kWhole, unused},
        {"tail byte", [](PofRecipe& r) { r.nonzero_tail_byte = true; }, kWhole, unused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PofRecipe recipe;
        recipe.image = sample_image();
        c.breaks(recipe);
        std::vector<std::uint8_t> bytes = build_pof(recipe);
        bytes.resize(std::min(bytes.size(), c.cut_to));
        PofImage pof;
        std::string err;
        EXPECT_FALSE(load(bytes, pof, err));
        EXPECT_EQ(err, c.message);
    }
}

TEST_F(PofFile, HugePacketLengthsEndTheWalkWithoutWrapping) {
    for (std::uint32_t huge : {4294967290u, 4294967295u, 4294967284u}) {
        SCOPED_TRACE(huge);
        PofRecipe recipe;
        recipe.include_crc = false;
        std::vector<std::uint8_t> bytes = build_pof(recipe);
        // A packet that claims nearly 4 GiB, then what would be a valid CRC packet if the
        // offset wrapped round to it.
        std::vector<std::uint8_t> packet = {3,
                                            0,
                                            static_cast<std::uint8_t>(huge),
                                            static_cast<std::uint8_t>(huge >> 8),
                                            static_cast<std::uint8_t>(huge >> 16),
                                            static_cast<std::uint8_t>(huge >> 24)};
        bytes.insert(bytes.end(), packet.begin(), packet.end());
        std::vector<std::uint8_t> crc_packet = {8, 0, 2, 0, 0, 0};
        bytes.insert(bytes.end(), crc_packet.begin(), crc_packet.end());
        std::uint16_t crc = crc16_x25_bytewise(bytes.data(), bytes.size());
        bytes.push_back(static_cast<std::uint8_t>(crc));
        bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
        PofImage pof;
        std::string err;
        EXPECT_FALSE(load(bytes, pof, err));
        EXPECT_EQ(err, "Unknown data at end of pof file\n");
    }
}

TEST_F(PofFile, TruncatedRomPacketIsUnknownData) {
    PofRecipe recipe;
    recipe.include_crc = false;
    std::vector<std::uint8_t> bytes = build_pof(recipe);
    bytes.resize(12 + 6 + 5);  // the sub-header itself is cut, so it is not compared
    PofImage pof;
    std::string err;
    EXPECT_FALSE(load(bytes, pof, err));
    EXPECT_EQ(err, "Unknown data at end of pof file\n");
}

TEST_F(PofFile, PathsThatNameNoReadableFile) {
    fs::create_directory("folder.pof");
    for (const char* path : {"missing.pof", "folder.pof"}) {
        SCOPED_TRACE(path);
        PofImage pof;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(load_pof(path, pof));
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("Unable to open ") + path + "\n");
    }
}

TEST_F(PofFile, WriteTempPofOfUnchangedFileIsIdentical) {
    PofRecipe recipe;
    recipe.image = sample_image();
    recipe.leading_data = {9, 8, 7};
    std::vector<std::uint8_t> bytes = build_pof(recipe);
    PofImage pof;
    std::string err;
    ASSERT_TRUE(load(bytes, pof, err));
    TempFile file;
    const char* name = write_temp_pof(pof, file);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "cablewright.tmp.pof");
    EXPECT_EQ(read_bytes(name), bytes);
    EXPECT_EQ(remove_temp_file(file, name), TempFileRemoval::kRemoved);
    EXPECT_FALSE(fs::exists(name));
}

TEST_F(PofFile, StampSerialMirrorsIntoFileAndRefreshesChecksum) {
    PofRecipe recipe;
    recipe.image = sample_image();
    PofImage pof;
    std::string err;
    ASSERT_TRUE(load(build_pof(recipe), pof, err));
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

    TempFile file;
    ASSERT_NE(write_temp_pof(pof, file), nullptr);
    PofImage reloaded;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(load_pof("cablewright.tmp.pof", reloaded));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(reloaded.image, pof.image);
    EXPECT_EQ(remove_temp_file(file, "cablewright.tmp.pof"), TempFileRemoval::kRemoved);
}

TEST_F(PofFile, WriteTempPofNeverReplacesAnExistingName) {
    PofRecipe recipe;
    PofImage pof;
    std::string err;
    ASSERT_TRUE(load(build_pof(recipe), pof, err));
    write_file("cablewright.tmp.pof", {'m', 'i', 'n', 'e'});
    testing::internal::CaptureStderr();
    TempFile file;
    EXPECT_EQ(write_temp_pof(pof, file), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Temporary file cablewright.tmp.pof was left by an earlier run that was stopped; its "
              "cable may still be in select mode (see --leave-select-mode). Delete the file and "
              "try again\n");
    EXPECT_EQ(read_bytes("cablewright.tmp.pof"), (std::vector<std::uint8_t>{'m', 'i', 'n', 'e'}));
}

TEST_F(PofFile, WriteTempPofNeverFollowsADanglingLink) {
    PofRecipe recipe;
    PofImage pof;
    std::string err;
    ASSERT_TRUE(load(build_pof(recipe), pof, err));
    std::error_code no_links;
    fs::create_symlink("victim.pof", "cablewright.tmp.pof", no_links);
    if (no_links) {
        // Wine, and Windows without the privilege to make links.
        GTEST_SKIP() << "cannot make a symbolic link here: " << no_links.message();
    }
    testing::internal::CaptureStderr();
    TempFile file;
    EXPECT_EQ(write_temp_pof(pof, file), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("was left by an earlier run"),
              std::string::npos);
    EXPECT_FALSE(fs::exists("victim.pof"));
}

}  // namespace
