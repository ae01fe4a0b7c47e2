#include "platform/core/codepage.h"

#include <gtest/gtest.h>

namespace morven {
namespace {

TEST(CodePage, ConvertsBothWays) {
    struct Case {
        std::string cp1252;
        std::string utf8;
    };
    const Case cases[] = {
        {"Disponibilita'", "Disponibilita'"},
        {"perch\xe9 \xe8", "perch\xc3\xa9 \xc3\xa8"},
        {"\x80 10", "\xe2\x82\xac 10"},
        {"\x93quota\x94", "\xe2\x80\x9cquota\xe2\x80\x9d"},
        {"\x81\x8d\x8f\x90\x9d", "\xc2\x81\xc2\x8d\xc2\x8f\xc2\x90\xc2\x9d"},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
        {"\xff", "\xc3\xbf"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Cp1252ToUtf8(c.cp1252), c.utf8);
        EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252);
    }
}

TEST(CodePage, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
}

TEST(CodePage, UnmappableAndBrokenInputBecomeReplacement) {
    EXPECT_EQ(Utf8ToCp1252("\xe4\xb8\xad"), "?");           // a character outside Windows-1252
    EXPECT_EQ(Utf8ToCp1252("a\xc3"), "a?");                 // cut short
    EXPECT_EQ(Utf8ToCp1252("\xc0\xaf"), "??");              // overlong
    EXPECT_EQ(Utf8ToCp1252("\xed\xa0\x80x"), "???x");       // surrogate
    EXPECT_EQ(Utf8ToCp1252("\xf0\x9f\x98\x80", '_'), "_");  // outside the BMP
    EXPECT_EQ(Utf8ToCp1252("\x80z"), "?z");                 // stray continuation byte
}

}  // namespace
}  // namespace morven
