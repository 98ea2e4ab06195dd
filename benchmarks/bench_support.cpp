#include "benchmarks/bench_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "sim/pof_builder.h"

namespace {

// A POF file without the filler: header, ROM packet and CRC packet.
constexpr std::size_t kBarePofSize =
    kPofHeaderSize + kPacketHeaderSize + kRomPacketLength + kPacketHeaderSize + kCrcPacketLength;

}  // namespace

RomImage sample_image(std::uint16_t version) {
    RomImage image;
    set_u16(image, kZanVersionOffset, version);
    image.bytes[kKindOffset] = 1;
    set_u16(image, kHardwareIdOffset, 2);
    set_text(image, kSerialOffset, "A-0042");
    set_text(image, kProductOffset, "USB-KestrelII");
    for (std::size_t k = kSignatureOffset; k < kRomSize; ++k) {
        image.bytes[k] = static_cast<std::uint8_t>(k * 7 + 1);
    }
    image.bytes[kSignatureFlagOffset] = 1;
    return image;
}

std::vector<std::uint8_t> pof_of_size(std::size_t size, const RomImage& image) {
    PofRecipe recipe;
    recipe.image = image;
    // Arbitrary but not constant, so that the CRC sees real data.
    recipe.leading_data.resize(size - kBarePofSize - kPacketHeaderSize);
    std::uint32_t x = 2463534242u;
    for (auto& b : recipe.leading_data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
    return build_pof(recipe);
}

const std::string& pof_file_of_size(std::size_t size) {
    static std::map<std::size_t, std::string> paths;
    auto found = paths.find(size);
    if (found != paths.end()) {
        return found->second;
    }
    std::string path = "input-" + std::to_string(size) + ".pof";
    if (!write_file(path, pof_of_size(size, sample_image(3)))) {
        path.clear();
    }
    return paths.emplace(size, path).first->second;
}

PofImage clone_pof(const PofImage& pof) {
    PofImage copy;
    copy.bytes.reset(new std::uint8_t[pof.length]);
    std::memcpy(copy.bytes.get(), pof.bytes.get(), pof.length);
    copy.length = pof.length;
    copy.rom_data = pof.rom_data;
    copy.crc_pos = pof.crc_pos;
    copy.image = pof.image;
    return copy;
}

SavedOutput silence_output() {
    std::fflush(stdout);
    std::fflush(stderr);
    SavedOutput saved{dup(STDOUT_FILENO), dup(STDERR_FILENO)};
    int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_fd >= 0) {
        dup2(null_fd, STDOUT_FILENO);
        dup2(null_fd, STDERR_FILENO);
        close(null_fd);
    }
    return saved;
}

void restore_output(SavedOutput saved) {
    std::fflush(stdout);
    std::fflush(stderr);
    if (saved.out >= 0) {
        dup2(saved.out, STDOUT_FILENO);
        close(saved.out);
    }
    if (saved.err >= 0) {
        dup2(saved.err, STDERR_FILENO);
        close(saved.err);
    }
}
