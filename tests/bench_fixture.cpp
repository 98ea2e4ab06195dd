#include "tests/bench_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "sim/pof_builder.h"
#include "testing/temp_folder.h"

namespace fs = std::filesystem;

RomImage cable_rom(std::uint16_t version, std::uint16_t id, const std::string& serial,
                   bool signature, const std::string& product) {
    RomImage image;
    for (std::size_t k = kSignatureOffset; k < kRomSize; ++k) {
        image.bytes[k] = static_cast<std::uint8_t>(k * 5);  // signature material
    }
    set_u16(image, kZanVersionOffset, version);
    image.bytes[0x02] = 0x5A;
    set_u16(image, kHardwareIdOffset, id);
    set_text(image, kSerialOffset, serial);
    set_text(image, kProductOffset, product);
    image.bytes[kSignatureFlagOffset] = signature ? 1 : 0;
    return image;
}

void BenchTest::SetUp() {
    root_ = make_temp_folder("cw_e2e_");
    ASSERT_FALSE(root_.empty());
    bench_ = (fs::path(root_) / "bench").string();
    work_ = (fs::path(root_) / "work").string();
    ASSERT_TRUE(fs::create_directory(work_));
    ASSERT_TRUE(create_bench(bench_));
    // The library's own waits are simulated; the program's pauses stay real.
    change_settings([](BenchSettings& s) { s.wait_scale_percent = 1; });
}

void BenchTest::TearDown() {
    if (!root_.empty()) {
        std::error_code ec;
        fs::remove_all(root_, ec);
        EXPECT_FALSE(ec) << "Unable to remove " << root_ << ": " << ec.message();
    }
}

int BenchTest::add_cable(const std::string& name, const RomImage* rom) {
    CableRecord record;
    record.name = name;
    if (rom != nullptr) {
        record.rom_written = true;
        record.rom = *rom;
    }
    int id = -1;
    EXPECT_TRUE(::add_cable(bench_, record, &id));
    return id;
}

CableRecord BenchTest::cable(int id) {
    CableRecord record;
    EXPECT_EQ(load_cable(bench_, id, record), LoadResult::kLoaded);
    return record;
}

void BenchTest::change_cable(int id, const std::function<void(CableRecord&)>& change) {
    ASSERT_TRUE(update_cable(bench_, id, change));
}

void BenchTest::change_settings(const std::function<void(BenchSettings&)>& change) {
    BenchSettings settings;
    ASSERT_TRUE(load_settings(bench_, settings));
    change(settings);
    ASSERT_TRUE(save_settings(bench_, settings));
}

namespace {

// Stands for the ZAN logic in the test files.
PofRecipe test_recipe(const RomImage& image) {
    PofRecipe recipe;
    recipe.image = image;
    recipe.leading_data = {0xDE, 0xAD, 0xBE, 0xEF};
    return recipe;
}

}  // namespace

std::string BenchTest::write_pof(const std::string& name, const RomImage& image) {
    // Joined as text, not through fs::path: MinGW's std::filesystem reads a narrow name as
    // Latin-1 but gives it back as UTF-8, so a non-ASCII name would not be the one the program
    // opens. '/' separates folders on Windows too.
    EXPECT_TRUE(write_file(work_ + "/" + name, build_pof(test_recipe(image))));
    return name;
}

std::string programmer_report(const std::string& cable, const RomImage& image, bool rom_written) {
    std::vector<std::uint8_t> bytes = build_pof(test_recipe(image));
    unsigned crc = bytes[bytes.size() - 2] | (bytes[bytes.size() - 1] << 8);
    char numbers[128];
    std::snprintf(numbers, sizeof numbers, "  ZAN logic version %u programmed (checksum 0x%04X)\n",
                  zan_version(image), crc);
    return "Programming \"cablewright.tmp.pof\" through cable \"" + cable + "\"\n" + numbers +
           (rom_written ? "  ROM: 256 bytes programmed\n" : "  ROM: left unchanged\n") +
           "Programming successful\n";
}

RomImage merged_image(const RomImage& cable, const RomImage& file) {
    RomImage out = cable;
    for (std::size_t k = 0; k < kKindOffset; ++k) {
        out.bytes[k] = file.bytes[k];
    }
    return out;
}

namespace {

// The build's program folder. Under Wine the build machine's absolute path is taken on the
// current drive, Z:, which Wine maps to the build machine's root.
fs::path bin_dir() {
    return fs::absolute(CW_BIN_DIR);
}

std::string program_file(const char* name) {
    return std::string(name) + kProgramSuffix;
}

}  // namespace

ChildSpec BenchTest::cablewright_child(const std::vector<std::string>& args,
                                       bool programmer_on_path) {
    ChildSpec child;
    child.program = (bin_dir() / program_file("cablewright")).string();
    child.args = args;
    child.folder = work_;
    std::string search;
    if (programmer_on_path) {
        search = bin_dir().string();
    } else {
        // Windows finds a program in the starting program's own folder before PATH, so this
        // cablewright runs from a folder of its own, with the client library but no programmer.
        fs::path alone = fs::path(root_) / "alone";
        fs::create_directories(alone);
        for (const fs::directory_entry& entry : fs::directory_iterator(bin_dir())) {
            std::string name = entry.path().filename().string();
            if (name == program_file("cablewright") ||
                name.find("linkhub_client") != std::string::npos) {
                fs::copy_file(entry.path(), alone / name, fs::copy_options::overwrite_existing);
            }
        }
        child.program = (alone / program_file("cablewright")).string();
    }
    if (const char* path = std::getenv("PATH")) {
        search += search.empty() ? path : kPathListSeparator + std::string(path);
    }
    child.env = {{"LINKHUB_BENCH", bench_}, {"PATH", search}};
    return child;
}

ChildRun BenchTest::run(const ChildSpec& child) {
    ChildRun result = run_child(child);
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.failure, "");
    EXPECT_FALSE(result.signalled) << "ended by signal " << result.status;
    return result;
}

ChildRun BenchTest::cablewright(const std::vector<std::string>& args, const std::string& input,
                                bool programmer_on_path) {
    ChildSpec child = cablewright_child(args, programmer_on_path);
    child.input = input;
    return run(child);
}

bool BenchTest::temp_file_left() const {
    return fs::exists(fs::path(work_) / "cablewright.tmp.pof") || !private_folders().empty();
}

std::vector<std::string> BenchTest::private_folders() const {
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(work_)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".cablewright-", 0) == 0) {
            found.push_back(name);
        }
    }
    return found;
}

static std::string summary(const char* who, const RomImage& image) {
    char line[128];
    std::snprintf(line, sizeof line, "%s ZAN_version=%d, hardware_id=%d, signature %s\n", who,
                  zan_version(image), hardware_id(image),
                  has_signature(image) ? "present" : "missing");
    return line;
}

const char kUsb1CommandLine[] = "vantor_pgm -c \"USB-1\" -m jtag -o \"p;cablewright.tmp.pof\"\n";
const char kInterruptAck[] = "Stopping safely: the cable is returned to normal mode first\n";

std::string update_head(const std::string& name, const RomImage& cable, const RomImage& file) {
    return "Reprogramming cable " + name + "\n" + cable_line(cable) + pof_line(file);
}

std::string cable_line(const RomImage& image) {
    return is_blank(image) ? "Cable ROM is blank\n" : summary("Cable", image);
}

std::string pof_line(const RomImage& image) {
    return summary("POF", image);
}

std::string rom_dump(const std::string& label, const RomImage& image) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text = label + " ROM contents:\n";
    for (std::size_t row = 0; row < 16; ++row) {
        text += row == 0 ? std::string("  0:") : std::string(" ") + kHex[row] + "0:";
        std::string shown;
        for (std::size_t column = 0; column < 16; ++column) {
            const std::uint8_t byte = image.bytes[row * 16 + column];
            text += column != 0 && column % 4 == 0 ? "  " : " ";
            text += kHex[byte >> 4];
            text += kHex[byte & 0x0F];
            shown += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
        }
        text += "  " + shown + "\n";
    }
    return text;
}
std::string console(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += kConsoleLineEnd;
        } else {
            out += c;
        }
    }
    return out;
}

std::string terminal_screen(const std::string& text) {
    std::vector<std::string> lines(1);
    std::size_t column = 0;
    for (char c : text) {
        std::string& line = lines.back();
        if (c == '\n') {
            lines.emplace_back();
            column = 0;
        } else if (c == '\r') {
            column = 0;
        } else if (c == '\b') {
            column -= column > 0 ? 1 : 0;
        } else {
            if (column >= line.size()) {
                line.resize(column + 1, ' ');
            }
            line[column++] = c;
        }
    }
    std::string shown;
    for (std::string& line : lines) {
        line.erase(line.find_last_not_of(' ') + 1);
        shown += line + "\n";
    }
    return shown;
}
