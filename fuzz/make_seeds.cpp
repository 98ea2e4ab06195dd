// Writes the seed corpus of every fuzz target, or checks that the committed one is what this
// program writes:
//   make_seeds <corpus folder>          (re)writes <folder>/<target>/<seed>
//   make_seeds --check <corpus folder>  exit status 1 when a seed is missing, stale or extra
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "image/crc16.h"
#include "image/pof_file.h"
#include "sim/pof_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Seeds = std::map<std::string, Bytes>;   // file name -> content
using Corpus = std::map<std::string, Seeds>;  // target -> its seeds

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

void put_u16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put_u32(Bytes& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>((v >> shift) & 0xFF));
    }
}

void put_packet(Bytes& out, std::uint16_t tag, const Bytes& data) {
    put_u16(out, tag);
    put_u32(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
}

// Closes a file of packets with a CRC packet that holds the right checksum.
Bytes with_crc(Bytes bytes) {
    put_u16(bytes, kCrcPacketTag);
    put_u32(bytes, kCrcPacketLength);
    put_u16(bytes, crc16_x25(bytes.data(), bytes.size()));
    return bytes;
}

// A ROM image as a cable or a file would carry it.
RomImage make_image(std::uint16_t version, std::uint16_t id, const std::string& serial,
                    bool signature) {
    RomImage image;
    set_u16(image, kZanVersionOffset, version);
    image.bytes[kKindOffset] = 1;
    set_u16(image, kHardwareIdOffset, id);
    set_text(image, kSerialOffset, serial);
    set_text(image, kProductOffset, "USB-KestrelII");
    if (signature) {
        for (std::size_t k = kSignatureOffset; k < kSignatureFlagOffset; ++k) {
            image.bytes[k] = static_cast<std::uint8_t>(k * 37 + 11);
        }
        image.bytes[kSignatureCompanion] = 0x5C;
        image.bytes[kSignatureFlagOffset] = 1;
    }
    return image;
}

Bytes pof_of(const RomImage& image) {
    PofRecipe recipe;
    recipe.image = image;
    return build_pof(recipe);
}

Seeds pof_seeds() {
    const RomImage image = make_image(4, 1, "101-0####", true);
    Seeds seeds;
    seeds["valid.pof"] = pof_of(image);
    seeds["valid_blank_image.pof"] = pof_of(RomImage{});
    auto broken = [&](const char* name, auto change) {
        PofRecipe recipe;
        recipe.image = image;
        change(recipe);
        seeds[name] = build_pof(recipe);
    };
    broken("valid_leading_packet.pof", [](PofRecipe& r) { r.leading_data = {1, 2, 3, 4, 5}; });
    broken("bad_crc.pof", [](PofRecipe& r) { r.corrupt_crc = true; });
    broken("bad_header.pof", [](PofRecipe& r) { r.header[6] = 2; });
    broken("rom_length_1035.pof", [](PofRecipe& r) { r.rom_length = 1035; });
    broken("rom_length_1037.pof", [](PofRecipe& r) { r.rom_length = 1037; });
    broken("rom_sub_header.pof", [](PofRecipe& r) { r.rom_sub_header[7] = 0x21; });
    broken("nonzero_pair_byte.pof", [](PofRecipe& r) { r.nonzero_pair_byte = true; });
    broken("nonzero_tail_byte.pof", [](PofRecipe& r) { r.nonzero_tail_byte = true; });
    broken("no_rom.pof", [](PofRecipe& r) { r.include_rom = false; });
    broken("no_crc.pof", [](PofRecipe& r) { r.include_crc = false; });
    broken("trailing_byte.pof", [](PofRecipe& r) { r.trailing = {0}; });

    PofRecipe bare;
    bare.image = image;
    bare.include_crc = false;
    const Bytes frame = build_pof(bare);  // header and ROM packet
    const Bytes rom_packet(frame.begin() + kPofHeaderSize, frame.end());
    Bytes twice = frame;
    twice.insert(twice.end(), rom_packet.begin(), rom_packet.end());
    seeds["two_rom_packets.pof"] = with_crc(twice);
    Bytes other_tag8 = frame;
    put_packet(other_tag8, kCrcPacketTag, {1, 2, 3, 4});
    seeds["tag8_other_length.pof"] = with_crc(other_tag8);
    Bytes huge = Bytes(frame.begin(), frame.begin() + kPofHeaderSize);
    put_u16(huge, 3);
    put_u32(huge, 4294967290u);
    huge.resize(huge.size() + 16, 0);
    seeds["huge_length.pof"] = huge;
    return seeds;
}

std::string hex_text(const RomImage& image, bool upper) {
    std::string out;
    char pair[3];
    for (std::uint8_t b : image.bytes) {
        std::snprintf(pair, sizeof pair, upper ? "%02X" : "%02x", b);
        out += pair;
    }
    return out;
}

Seeds rom_text_seeds() {
    const RomImage image = make_image(3, 1, "101-01234", true);
    const std::string rom = hex_text(image, true);
    Seeds seeds;
    seeds["rom_upper"] = text(rom);
    seeds["rom_lower"] = text(hex_text(image, false));
    seeds["rom_zero"] = text(std::string(512, '0'));
    seeds["empty"] = text("empty");
    seeds["empty_upper"] = text("EMPTY");
    seeds["empty_terminated"] = text(std::string("empty", 6));
    seeds["short"] = text(rom.substr(0, 510));
    seeds["long"] = text(rom + "00");
    seeds["bad_digit"] = text(rom.substr(0, 511) + "g");
    seeds["leading_space"] = text(" " + rom.substr(1));
    seeds["signed_pair"] = text("-1+F" + rom.substr(4));
    return seeds;
}

Bytes words(const std::vector<std::string>& args) {
    Bytes out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0) {
            out.push_back(0);
        }
        out.insert(out.end(), args[i].begin(), args[i].end());
    }
    return out;
}

Seeds command_line_seeds() {
    Seeds seeds;
    seeds["no_arguments"] = words({});
    seeds["file"] = words({"new.pof"});
    seeds["all_options"] = words({"-c", "USB-1", "-S", "A-0042", "-d", "-f", "-n", "new.pof"});
    seeds["file_first"] = words({"new.pof", "--serial", "A-0042", "--cable", "USB-1"});
    seeds["two_files"] = words({"a.pof", "b.pof"});
    seeds["not_pof_then_pof"] = words({"a.txt", "b.pof"});
    seeds["only_suffix"] = words({".pof"});
    seeds["dash_word_as_cable"] = words({"-c", "-f", "new.pof"});
    seeds["serial_last"] = words({"new.pof", "--serial"});
    seeds["cable_alone"] = words({"--cable"});
    seeds["letter_case"] = words({"--FORCE", "-F", "--Dry-Run", "-D", "-s", "X-1", "x.pof"});
    seeds["upper_suffix"] = words({"x.POF"});
    seeds["empty_words"] = words({"", "", "new.pof"});
    seeds["help_word_as_cable"] = words({"-c", "--help", "a.txt"});
    seeds["list_with_cable_equals"] = words({"--CABLE=USB-1 [1-1]", "--list", "--json"});
    seeds["unknown_option"] = words({"a.txt", "--forse"});
    seeds["log_value_and_list"] = words({"--LOG", "--list", "--log=h.jsonl", "-l"});
    seeds["serial_without_file"] = words({"-c", "BL", "--serial", "A-0042"});
    seeds["log_names_pof"] = words({"--log", "zan.POF", "new.pof"});
    seeds["log_empty"] = words({"--log=", "-d"});
    seeds["bad_name_value_last"] = words({"a.txt", "b.pof", "-c"});
    seeds["station"] = words({"-a", "--jobs", "0008", "-f", "--json", "new.pof"});
    seeds["station_jobs_range"] = words({"--all", "--jobs=1025", "new.pof"});
    seeds["station_with_cable"] = words({"-c", "USB-1", "--ALL", "--batch=b", "new.pof"});
    seeds["serials"] = words({"--all", "--serials", "A-0100..A-0199", "--log", "h", "new.pof"});
    seeds["serials_reversed"] = words({"--serials=A-0199..A-0100", "--log=h", "new.pof"});
    seeds["history_filters"] = words({"--history", "h", "-S", "A-1", "-c", "U", "--json"});
    return seeds;
}

constexpr std::uint8_t kDebug = 1;
constexpr std::uint8_t kForce = 2;
constexpr std::uint8_t kSerialGiven = 4;
constexpr std::uint8_t kLeadingPacket = 8;

// The input layout of the reconcile target: cable image, file image, flags, serial number.
Bytes reconcile_input(const RomImage& cable, const RomImage& file, std::uint8_t flags,
                      const std::string& serial = "") {
    Bytes out(cable.bytes.begin(), cable.bytes.end());
    out.insert(out.end(), file.bytes.begin(), file.bytes.end());
    out.push_back(flags);
    out.insert(out.end(), serial.begin(), serial.end());
    return out;
}

Seeds reconcile_seeds() {
    const RomImage cable = make_image(3, 1, "101-01234", true);
    const RomImage unsigned_cable = make_image(3, 1, "101-01234", false);
    const RomImage newer = make_image(4, 1, "101-0####", true);
    const RomImage same = make_image(3, 1, "101-0####", true);
    const RomImage older = make_image(2, 1, "101-0####", true);
    const RomImage unsigned_file = make_image(4, 1, "101-0####", false);
    const RomImage other_id = make_image(4, 2, "101-0####", true);
    RomImage old_name = make_image(3, 1, "123", true);
    set_text(old_name, kProductOffset, "USB Kestrel++");
    const RomImage blank;

    Seeds seeds;
    seeds["newer_file"] = reconcile_input(cable, newer, 0);
    seeds["newer_file_leading_packet"] = reconcile_input(cable, newer, kLeadingPacket | kDebug);
    seeds["same_version"] = reconcile_input(cable, same, 0);
    seeds["same_version_forced"] = reconcile_input(cable, same, kForce);
    seeds["older_file"] = reconcile_input(cable, older, 0);
    seeds["cable_unsigned"] = reconcile_input(unsigned_cable, same, 0);
    seeds["neither_signed"] = reconcile_input(unsigned_cable, unsigned_file, 0);
    seeds["neither_signed_forced"] = reconcile_input(unsigned_cable, unsigned_file, kForce);
    seeds["wrong_hardware_id"] = reconcile_input(cable, other_id, 0);
    seeds["serial_for_used_cable"] = reconcile_input(cable, newer, kSerialGiven, "101-04321");
    seeds["fixed_up_cable"] = reconcile_input(old_name, same, kDebug);
    seeds["blank_with_serial"] = reconcile_input(blank, newer, kSerialGiven, "101-04321");
    seeds["blank_without_serial"] = reconcile_input(blank, newer, 0);
    seeds["blank_bad_serial"] = reconcile_input(blank, newer, kSerialGiven, "101-0432x");
    seeds["blank_unsigned_file"] = reconcile_input(blank, unsigned_file, kSerialGiven, "101-04321");
    return seeds;
}

Corpus all_seeds() {
    return {{"pof", pof_seeds()},
            {"rom_text", rom_text_seeds()},
            {"command_line", command_line_seeds()},
            {"reconcile", reconcile_seeds()}};
}

bool read_file(const std::filesystem::path& path, Bytes& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int write_corpus(const std::filesystem::path& root) {
    for (const auto& [target, seeds] : all_seeds()) {
        std::error_code ec;
        std::filesystem::create_directories(root / target, ec);
        // A renamed or dropped seed must not linger.
        for (const auto& entry : std::filesystem::directory_iterator(root / target, ec)) {
            if (seeds.count(entry.path().filename().string()) == 0) {
                std::filesystem::remove(entry.path(), ec);
            }
        }
        for (const auto& [name, bytes] : seeds) {
            std::filesystem::path path = root / target / name;
            if (!write_file(path.string(), bytes)) {
                std::fprintf(stderr, "Cannot write %s\n", path.string().c_str());
                return 1;
            }
        }
    }
    return 0;
}

int check_corpus(const std::filesystem::path& root) {
    int status = 0;
    for (const auto& [target, seeds] : all_seeds()) {
        for (const auto& [name, bytes] : seeds) {
            std::filesystem::path path = root / target / name;
            Bytes found;
            if (!read_file(path, found) || found != bytes) {
                std::fprintf(stderr, "Seed %s is missing or stale\n", path.string().c_str());
                status = 1;
            }
        }
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(root / target, ec)) {
            if (seeds.count(entry.path().filename().string()) == 0) {
                std::fprintf(stderr, "Seed %s is not made by make_seeds\n",
                             entry.path().string().c_str());
                status = 1;
            }
        }
    }
    if (status != 0) {
        std::fputs("Run make_seeds on the corpus folder to bring it up to date\n", stderr);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--check") != 0) {
        return write_corpus(argv[1]);
    }
    if (argc == 3 && std::strcmp(argv[1], "--check") == 0) {
        return check_corpus(argv[2]);
    }
    std::fprintf(stderr, "Usage: %s [--check] <corpus folder>\n", argv[0]);
    return 1;
}
