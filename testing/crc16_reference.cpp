#include "testing/crc16_reference.h"

std::uint16_t crc16_x25_bytewise(const std::uint8_t* data, std::size_t n) {
    constexpr std::uint16_t kPolynomial = 0x8408;  // 0x1021 reflected
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc >> 1) ^ ((crc & 1) ? kPolynomial : 0));
        }
    }
    return static_cast<std::uint16_t>(~crc);
}
