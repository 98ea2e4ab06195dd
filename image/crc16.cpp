#include "image/crc16.h"

#include <array>

namespace {

constexpr std::uint16_t kPolynomial = 0x8408;  // 0x1021 reflected

// tables[k][b]: the CRC change of byte b followed by k zero bytes, for slicing by eight.
struct CrcTables {
    std::array<std::array<std::uint16_t, 256>, 8> t{};
    CrcTables() {
        for (unsigned b = 0; b < 256; ++b) {
            std::uint16_t crc = static_cast<std::uint16_t>(b);
            for (int bit = 0; bit < 8; ++bit) {
                crc = static_cast<std::uint16_t>((crc >> 1) ^ ((crc & 1) ? kPolynomial : 0));
            }
            t[0][b] = crc;
        }
        for (std::size_t k = 1; k < 8; ++k) {
            for (unsigned b = 0; b < 256; ++b) {
                std::uint16_t prev = t[k - 1][b];
                t[k][b] = static_cast<std::uint16_t>((prev >> 8) ^ t[0][prev & 0xFF]);
            }
        }
    }
};

const CrcTables& tables() {
    static const CrcTables instance;
    return instance;
}

}  // namespace

void crc16_x25_add(Crc16X25& crc, const std::uint8_t* data, std::size_t n) {
    const auto& t = tables().t;
    std::uint16_t reg = crc.state;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        unsigned x = reg ^ (data[i] | (data[i + 1] << 8));
        reg = static_cast<std::uint16_t>(t[7][x & 0xFF] ^ t[6][x >> 8] ^ t[5][data[i + 2]] ^
                                         t[4][data[i + 3]] ^ t[3][data[i + 4]] ^ t[2][data[i + 5]] ^
                                         t[1][data[i + 6]] ^ t[0][data[i + 7]]);
    }
    for (; i < n; ++i) {
        reg = static_cast<std::uint16_t>((reg >> 8) ^ t[0][(reg ^ data[i]) & 0xFF]);
    }
    crc.state = reg;
}

std::uint16_t crc16_x25_value(const Crc16X25& crc) {
    return static_cast<std::uint16_t>(~crc.state);
}

std::uint16_t crc16_x25(const std::uint8_t* data, std::size_t n) {
    Crc16X25 crc;
    crc16_x25_add(crc, data, n);
    return crc16_x25_value(crc);
}
