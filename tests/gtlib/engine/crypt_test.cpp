#include "gtlib/engine/crypt.h"

#include <gtest/gtest.h>

#include <string>

#include "gtlib/engine/gt_state.h"
#include "tests/gtlib/engine/test_util.h"

namespace gtlib {
namespace {

TEST(Crypt, CodeLengthRules) {
    struct Case {
        std::string code;
        int mode;
        bool encrypt;
        int expected;
    };
    const Case cases[] = {
        {"", 1, false, GTE_OK},                     // no encryption asked: the code is not looked at
        {"", 1, true, GTE_PARMS},                   // empty code refused for compression
        {"x", 1, true, GTE_OK},
        {std::string(65, 'k'), 1, true, GTE_OK},    // 65 characters accepted
        {std::string(66, 'k'), 1, true, GTE_PARMS}, // 66 refused
        {"segreto", 2, true, GTE_PARMS},            // TAR data could never be decrypted by the reader
    };
    for (const Case& c : cases)
        EXPECT_EQ(CheckEncryptionRequest(c.mode, c.encrypt, c.code), c.expected) << c.code.size() << " mode " << c.mode;
}

// The header's check byte decrypts to 0 with the right code; wrong codes are refused except by chance,
// and then the data decode wrongly.
TEST(Crypt, HeaderCheckByte) {
    GtRandom random;
    int wrongAccepted = 0;
    for (int i = 0; i < 512; ++i) {
        CryptKeys enc, dec;
        std::uint8_t header[kCryptHeaderSize];
        BuildEncryptionHeader("codice", [&random] { return random.Next(); }, enc, header);
        std::uint8_t copy[kCryptHeaderSize];
        std::copy(header, header + kCryptHeaderSize, copy);
        ASSERT_TRUE(CheckEncryptionHeader("codice", dec, copy));
        EXPECT_EQ(copy[11], 0);
        std::copy(header, header + kCryptHeaderSize, copy);
        if (CheckEncryptionHeader("Codice", dec, copy)) ++wrongAccepted;
    }
    EXPECT_LT(wrongAccepted, 12);  // about 2 of 512 expected
}

// Data encrypted after the header decrypt back with keys that went through the same header.
TEST(Crypt, EncryptDecryptRoundTrip) {
    const test::Bytes plain = test::RandomBytes(5000, 3);
    GtRandom random;
    CryptKeys enc, dec;
    std::uint8_t header[kCryptHeaderSize];
    BuildEncryptionHeader("chiave", [&random] { return random.Next(); }, enc, header);
    test::Bytes data = plain;
    enc.Encrypt(data.data(), 1000);
    enc.Encrypt(data.data() + 1000, data.size() - 1000);  // in pieces: the key stream runs on
    EXPECT_NE(data, plain);
    ASSERT_TRUE(CheckEncryptionHeader("chiave", dec, header));
    dec.Decrypt(data.data(), data.size());
    EXPECT_EQ(data, plain);
}

// The random bytes come from the state's own generator seeded from the system's entropy: two headers
// made in the same second by the same process differ (a time-and-process seed would repeat them).
TEST(Crypt, HeadersOfOneSecondDiffer) {
    GtEngineState a, b;
    std::uint8_t ha[kCryptHeaderSize], hb[kCryptHeaderSize];
    CryptKeys ka, kb;
    BuildEncryptionHeader("stesso", [&a] { return a.random.Next(); }, ka, ha);
    BuildEncryptionHeader("stesso", [&b] { return b.random.Next(); }, kb, hb);
    EXPECT_FALSE(std::equal(ha, ha + 11, hb));
    // A seeded generator repeats itself: the header depends on nothing else.
    a.random.Seed(42);
    b.random.Seed(42);
    BuildEncryptionHeader("stesso", [&a] { return a.random.Next(); }, ka, ha);
    BuildEncryptionHeader("stesso", [&b] { return b.random.Next(); }, kb, hb);
    EXPECT_TRUE(std::equal(ha, ha + kCryptHeaderSize, hb));
}

}  // namespace
}  // namespace gtlib
