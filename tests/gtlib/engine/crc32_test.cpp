#include "gtlib/engine/crc32.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/gtlib/engine/test_util.h"

namespace gtlib {
namespace {

// The bit-by-bit definition: reflected polynomial 0xEDB88320, complemented before and after.
std::uint32_t BitwiseCrc(const std::uint8_t* p, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return ~c;
}

TEST(Crc32, KnownValues) {
    struct Case {
        const char* text;
        std::uint32_t crc;
    };
    const Case cases[] = {{"", 0}, {"a", 0xE8B7BE43}, {"abc", 0x352441C2}, {"123456789", 0xCBF43926},
                          {"The quick brown fox jumps over the lazy dog", 0x414FA339}};
    for (const Case& c : cases) {
        EXPECT_EQ(Crc32(0, c.text, std::strlen(c.text)), c.crc) << c.text;
        EXPECT_EQ(Crc32Bytewise(0, c.text, std::strlen(c.text)), c.crc) << c.text;
    }
}

// The fast paths (carry-less multiply, slicing by 8) agree with the plain table at every length around
// their block sizes and at every alignment, also as a running value.
TEST(Crc32, FastPathsAgreeWithTheTable) {
    const test::Bytes data = test::RandomBytes(70000, 1);
    for (std::size_t len : {0, 1, 7, 8, 15, 16, 63, 64, 65, 127, 128, 129, 191, 255, 256, 1000, 4096, 65536}) {
        for (std::size_t off = 0; off < 16; off += 5) {
            const std::uint8_t* p = data.data() + off;
            EXPECT_EQ(Crc32(0x12345678u, p, len), Crc32Bytewise(0x12345678u, p, len)) << len << "/" << off;
            EXPECT_EQ(Crc32(0, p, len), BitwiseCrc(p, len)) << len << "/" << off;
        }
    }
    // Split anywhere, the running value gives the same result.
    const std::uint32_t whole = Crc32(0, data.data(), data.size());
    for (std::size_t cut : {1, 100, 333, 4097, 50000}) {
        EXPECT_EQ(Crc32(Crc32(0, data.data(), cut), data.data() + cut, data.size() - cut), whole) << cut;
    }
    EXPECT_EQ(Crc32(whole, data.data(), 0), whole);
}

TEST(Crc32, ByteStepIsTheUncomplementedUpdate) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (char ch : std::string("123456789")) c = Crc32Step(c, static_cast<std::uint8_t>(ch));
    EXPECT_EQ(~c, 0xCBF43926u);
}

}  // namespace
}  // namespace gtlib
