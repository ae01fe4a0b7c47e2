#include "gtlib/engine/ugt_crypt.h"

namespace gtlib {

namespace {

struct Table {
    uint32_t v[256];
    Table() {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            v[n] = c;
        }
    }
};

const Table& CrcTable() {
    static const Table t;
    return t;
}

uint32_t Step(uint32_t value, uint8_t byte) { return CrcTable().v[(value ^ byte) & 0xFF] ^ (value >> 8); }

}  // namespace

uint32_t UgtCrc32(uint32_t crc, const uint8_t* data, std::size_t len) {
    crc = ~crc;
    for (std::size_t i = 0; i < len; ++i) crc = Step(crc, data[i]);
    return ~crc;
}

void UgtKeys::Init(std::string_view code) {
    k0_ = 305419896u;
    k1_ = 591751049u;
    k2_ = 878082192u;
    for (char c : code) Update(static_cast<uint8_t>(c));
}

uint8_t UgtKeys::StreamByte() const {
    const uint32_t t = (k2_ | 2u) & 0xFFFFu;
    return static_cast<uint8_t>(((t * (t ^ 1u)) >> 8) & 0xFFu);
}

void UgtKeys::Update(uint8_t plain) {
    k0_ = Step(k0_, plain);
    k1_ = (k1_ + (k0_ & 0xFFu)) * 134775813u + 1u;
    k2_ = Step(k2_, static_cast<uint8_t>(k1_ >> 24));
}

void UgtKeys::Decrypt(uint8_t* data, std::size_t len) {
    for (std::size_t i = 0; i < len; ++i) {
        const uint8_t c = static_cast<uint8_t>(data[i] ^ StreamByte());
        Update(c);
        data[i] = c;
    }
}

}  // namespace gtlib
