// The bytewise CRC-16/X-25: slow and plain, the oracle that the product's table-driven one is
// checked and measured against.
#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16/X-25 of n bytes, one bit at a time (0x906E for "123456789").
std::uint16_t crc16_x25_bytewise(const std::uint8_t* data, std::size_t n);
