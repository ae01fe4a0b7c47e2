// CRC-32 and the entry decryption as the decompression engine uses them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace gtlib {

// Running CRC-32 of GZIP: a fresh value starts at 0; complemented before and after each buffer.
uint32_t UgtCrc32(uint32_t crc, const uint8_t* data, std::size_t len);

// The key state of the entry decryption (three 32-bit keys).
class UgtKeys {
public:
    void Init(std::string_view code);
    // Decrypts in place: each byte is XORed with the stream byte, then the keys take the plain byte.
    void Decrypt(uint8_t* data, std::size_t len);

private:
    uint8_t StreamByte() const;
    void Update(uint8_t plain);
    uint32_t k0_ = 0, k1_ = 0, k2_ = 0;
};

}  // namespace gtlib
