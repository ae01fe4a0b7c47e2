#include "gtlib/engine/crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define GTLIB_CRC_CLMUL 1
#endif

namespace gtlib {
namespace {

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
    Tables t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    // t[k][n]: CRC of byte n followed by k zero bytes, so eight bytes can be folded in one step.
    for (std::uint32_t n = 0; n < 256; ++n)
        for (int k = 1; k < 8; ++k) t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
    return t;
}

constexpr Tables kTables = MakeTables();

// CRC register update without the complements.
inline std::uint32_t RawBytes(std::uint32_t c, const std::uint8_t* p, std::size_t len) {
    while (len--) c = kTables[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return c;
}

std::uint32_t RawSlice8(std::uint32_t c, const std::uint8_t* p, std::size_t len) {
    while (len >= 8) {
        std::uint32_t lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
        lo ^= c;
        c = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
            kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
            kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
        p += 8;
        len -= 8;
    }
    return RawBytes(c, p, len);
}

#ifdef GTLIB_CRC_CLMUL
// Folding with carry-less multiplication: four 128-bit lanes advance over 64 bytes per round; each fold
// multiplies a lane by x^(distance) mod P, which keeps the message's remainder unchanged. The last
// 128-bit value is reduced by the table (16 bytes), so no Barrett constants are needed.
__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
    const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const std::uint8_t* q) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

__attribute__((target("pclmul,sse4.1"))) std::uint32_t RawClmul(std::uint32_t c, const std::uint8_t* p,
                                                                 std::size_t len) {
    const __m128i k4 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);  // fold by 512 bits
    const __m128i k1 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);  // fold by 128 bits
    __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x1 = Load(p + 16), x2 = Load(p + 32), x3 = Load(p + 48);
    p += 64;
    len -= 64;
    while (len >= 64) {
        x0 = Fold(x0, k4, Load(p));
        x1 = Fold(x1, k4, Load(p + 16));
        x2 = Fold(x2, k4, Load(p + 32));
        x3 = Fold(x3, k4, Load(p + 48));
        p += 64;
        len -= 64;
    }
    __m128i x = Fold(x0, k1, x1);
    x = Fold(x, k1, x2);
    x = Fold(x, k1, x3);
    while (len >= 16) {
        x = Fold(x, k1, Load(p));
        p += 16;
        len -= 16;
    }
    alignas(16) std::uint8_t tail[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(tail), x);
    return RawSlice8(RawSlice8(0, tail, 16), p, len);
}

bool HaveClmul() {
    static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return have;
}
#endif

}  // namespace

const std::uint32_t* Crc32Table() { return kTables[0].data(); }

std::uint32_t Crc32Bytewise(std::uint32_t crc, const void* buf, std::size_t len) {
    return ~RawBytes(~crc, static_cast<const std::uint8_t*>(buf), len);
}

std::uint32_t Crc32(std::uint32_t crc, const void* buf, std::size_t len) {
    const auto* p = static_cast<const std::uint8_t*>(buf);
#ifdef GTLIB_CRC_CLMUL
    if (len >= 128 && HaveClmul()) return ~RawClmul(~crc, p, len);
#endif
    return ~RawSlice8(~crc, p, len);
}

}  // namespace gtlib
