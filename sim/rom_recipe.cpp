#include "sim/rom_recipe.h"

#include "sim/pof_builder.h"

namespace {

constexpr std::uint8_t kCompanionValue = 0x5A;
constexpr std::uint8_t kSignaturePresent = 1;

}  // namespace

RomImage make_rom(const RomFields& fields) {
    RomImage image;
    set_u16(image, kZanVersionOffset, fields.zan_version);
    image.bytes[kKindOffset] = fields.kind;
    set_u16(image, kHardwareIdOffset, fields.hardware_id);
    // The serial field may be full (16 characters, no zero); the product field then starts
    // right after it, so write the serial first.
    set_text(image, kSerialOffset, fields.serial.substr(0, kMaxSerialLength));
    set_text(image, kProductOffset, fields.product.substr(0, kMaxProductLength));
    if (fields.signature) {
        // FNV-1a of the serial text seeds a simple byte sequence.
        std::uint32_t seed = 2166136261u;
        for (char c : fields.serial) {
            seed = (seed ^ static_cast<unsigned char>(c)) * 16777619u;
        }
        for (std::size_t k = kSignatureOffset; k < kRomSize; ++k) {
            seed = seed * 1103515245u + 12345u;
            image.bytes[k] = static_cast<std::uint8_t>(seed >> 24);
        }
        image.bytes[kSignatureFlagOffset] = kSignaturePresent;
        image.bytes[kSignatureCompanion] = kCompanionValue;
    }
    return image;
}
