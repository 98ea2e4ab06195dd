#include "image/crc16.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "testing/crc16_reference.h"

namespace {

std::vector<std::uint8_t> random_bytes(std::size_t n) {
    std::mt19937 rng(1234);
    std::vector<std::uint8_t> data(n);
    for (auto& b : data) {
        b = static_cast<std::uint8_t>(rng());
    }
    return data;
}

TEST(Crc16, CheckValueTableAndPiecesMatchBytewise) {
    const char* digits = "123456789";
    auto p = reinterpret_cast<const std::uint8_t*>(digits);
    EXPECT_EQ(crc16_x25_bytewise(p, 9), 0x906E);
    EXPECT_EQ(crc16_x25(p, 9), 0x906E);
    EXPECT_EQ(crc16_x25(p, 0), 0x0000);

    std::vector<std::uint8_t> data = random_bytes(4099);
    for (std::size_t n : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 1000u, 4099u}) {
        for (std::size_t start : {0u, 1u, 3u}) {
            SCOPED_TRACE(std::to_string(n) + "@" + std::to_string(start));
            std::size_t len = std::min(n, data.size() - start);
            EXPECT_EQ(crc16_x25(data.data() + start, len),
                      crc16_x25_bytewise(data.data() + start, len));
        }
    }

    // A file is checksummed as it is read, in pieces of any length: the register must carry over
    // between pieces whatever their length, eight-byte steps or not.
    data.resize(1000);
    const std::uint16_t whole = crc16_x25_bytewise(data.data(), data.size());
    for (std::size_t first : {0u, 1u, 7u, 8u, 13u, 500u, 999u, 1000u}) {
        for (std::size_t second : {0u, 1u, 3u, 16u, 21u}) {
            SCOPED_TRACE(std::to_string(first) + "+" + std::to_string(second));
            const std::size_t a = first;
            const std::size_t b = std::min(data.size(), a + second);
            Crc16X25 crc;
            crc16_x25_add(crc, data.data(), a);
            crc16_x25_add(crc, data.data() + a, b - a);
            crc16_x25_add(crc, data.data() + b, data.size() - b);
            EXPECT_EQ(crc16_x25_value(crc), whole);
        }
    }
    EXPECT_EQ(crc16_x25_value(Crc16X25{}), crc16_x25(data.data(), 0));
}

}  // namespace
