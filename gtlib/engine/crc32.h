// CRC-32 of GZIP (ISO 3309, reflected polynomial 0xEDB88320).
#pragma once

#include <cstddef>
#include <cstdint>

namespace gtlib {

// Running CRC-32: the value is complemented before and after the buffer, so a fresh value starts at 0
// and an empty buffer leaves it unchanged. Uses carry-less multiplication where the processor has it,
// slicing by 8 otherwise.
std::uint32_t Crc32(std::uint32_t crc, const void* buf, std::size_t len);

// The same value computed one byte at a time from the plain 256-entry table (reference and small inputs).
std::uint32_t Crc32Bytewise(std::uint32_t crc, const void* buf, std::size_t len);

// The 256-entry table of the byte step.
const std::uint32_t* Crc32Table();

// One byte step without complementing: the key update of the entry encryption uses it.
inline std::uint32_t Crc32Step(std::uint32_t value, std::uint8_t byte) {
    return Crc32Table()[(value ^ byte) & 0xFF] ^ (value >> 8);
}

}  // namespace gtlib
