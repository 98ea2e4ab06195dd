#include "image/rom_text.h"

#include <cstring>

namespace {

constexpr char kBlankRomText[] = "empty";
constexpr std::size_t kBlankRomTextLength = sizeof kBlankRomText - 1;

}  // namespace

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool rom_from_hex(const char* text, std::size_t length, RomImage& image) {
    if (text == nullptr || length != kRomTextLength) {
        return false;
    }
    // Every pair must be two digits: a lenient reading would turn garbage into zero bytes, and
    // an all-zero image passes for a blank cable that would then lose its identity.
    RomImage decoded;
    for (std::size_t i = 0; i < kRomSize; ++i) {
        int high = hex_digit(text[2 * i]);
        int low = hex_digit(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        decoded.bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    image = decoded;
    return true;
}

bool rom_from_text(const char* text, std::size_t length, RomImage& image) {
    if (text != nullptr && length == kBlankRomTextLength &&
        std::memcmp(text, kBlankRomText, length) == 0) {
        image = RomImage{};
        return true;
    }
    return rom_from_hex(text, length, image);
}
