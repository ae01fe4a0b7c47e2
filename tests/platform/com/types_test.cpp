#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/bstr.h"
#include "platform/com/types.h"

using namespace morven::com;

TEST(Guid, TextFormRoundTripsAndIsUpperCase) {
    const GUID g{0x0A1B2C3D, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};
    EXPECT_EQ(GuidToString(g), "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}");
    auto back = GuidFromString("{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}");
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back == g);
}

TEST(Guid, RejectsMalformedText) {
    for (const char* bad : {"", "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9", "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F}",
                            "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8FG}", "{0A1B2C3D+4E5F-6071-8293-A4B5C6D7E8F9}",
                            "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}x"})
        EXPECT_FALSE(GuidFromString(bad)) << bad;
}

TEST(Bstr, CarriesItsByteLengthAndInnerZeros) {
    const char16_t text[] = {u'a', 0, u'b'};
    BSTR s = SysAllocStringLen(text, 3);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(SysStringByteLen(s), 6u);
    std::uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 6u);
    EXPECT_EQ(s[3], 0);  // terminated past its length
    EXPECT_EQ(Utf8FromBstr(s), std::string("a\0b", 3));
    EXPECT_EQ(Utf8FromBstrToZero(s), "a");
    SysFreeString(s);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(Utf8FromBstr(nullptr), "");
}

TEST(Bstr, ByteLengthStringsKeepOddCounts) {
    BSTR s = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(s), 3u);
    EXPECT_EQ(SysStringLen(s), 1u);
    EXPECT_EQ(std::memcmp(s, "abc\0", 4), 0);
    SysFreeString(s);
}

TEST(Bstr, Utf8ConversionKeepsAccentsAndAstralCharacters) {
    const std::string path = "/tmp/Notizie/perch\xC3\xA9 \xF0\x9F\x98\x80.txt";  // é and an emoji
    const std::u16string w = Utf8ToUtf16(path);
    EXPECT_EQ(w.size(), path.size() - 1 - 2);  // é: 2 bytes -> 1 unit; emoji: 4 bytes -> 2 units
    EXPECT_EQ(Utf16ToUtf8(w), path);
    Bstr b(path);
    EXPECT_EQ(b.Utf8(), path);
}

TEST(Bstr, InvalidInputBecomesReplacementCharacters) {
    struct Case {
        std::string in;
        std::u16string out;
    } cases[] = {
        {"a\xFF" "b", u"a\uFFFD" "b"},
        {"\xC3", u"\uFFFD"},                  // cut short
        {"\xC0\xAF", u"\uFFFD\uFFFD"},        // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // a surrogate in UTF-8
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.in), c.out) << c.in;
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}
