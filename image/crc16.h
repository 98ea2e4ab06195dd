// CRC-16/X-25, the checksum of POF files: reflected polynomial 0x1021, register preset to 0xFFFF,
// result inverted.
#pragma once

#include <cstddef>
#include <cstdint>

// The register of a checksum taken over bytes that arrive in pieces.
struct Crc16X25 {
    std::uint16_t state = 0xFFFF;
};

// Adds n bytes to crc; pieces added one after another give the checksum of their concatenation.
void crc16_x25_add(Crc16X25& crc, const std::uint8_t* data, std::size_t n);

// The checksum of all bytes added to crc so far.
std::uint16_t crc16_x25_value(const Crc16X25& crc);

// CRC-16/X-25 of n bytes (0x906E for "123456789").
std::uint16_t crc16_x25(const std::uint8_t* data, std::size_t n);
