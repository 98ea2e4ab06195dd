#include "testing/pof_in_memory.h"

#include <cstring>
#include <memory>

#include "image/crc16.h"

bool parse_pof_copy(const std::uint8_t* data, std::size_t n, StoredCrc stored_crc, PofImage& pof) {
    // One byte more than asked, so that an empty input still has a buffer of its own.
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[n + 1]);
    if (n != 0) {
        std::memcpy(copy.get(), data, n);
    }
    const std::uint16_t leading_crc =
        crc16_x25(data, n >= kCrcPacketLength ? n - kCrcPacketLength : 0);
    return parse_pof(std::move(copy), n, leading_crc, stored_crc, pof);
}

bool parse_pof_copy(const std::vector<std::uint8_t>& bytes, StoredCrc stored_crc, PofImage& pof) {
    return parse_pof_copy(bytes.data(), bytes.size(), stored_crc, pof);
}
