#include "platform/core/text.h"

#include <gtest/gtest.h>

namespace morven {
namespace {

struct PadCase {
    const char* value;
    int width;
    const char* fill;
    const char* left;
    const char* right;
};

TEST(Columns, PadCutsOrFillsToExactWidth) {
    const PadCase cases[] = {
        {"12345", 3, "0", "345", "123"},
        {"7", 4, "0", "0007", "7000"},
        {"ab", 4, "", "  ab", "ab  "},
        {"", 2, "xy", "xx", "xx"},
        {"abc", 0, " ", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PadLeft(c.value, c.width, c.fill), c.left) << c.value << "/" << c.width;
        EXPECT_EQ(PadRight(c.value, c.width, c.fill), c.right) << c.value << "/" << c.width;
    }
    EXPECT_THROW(PadLeft("x", -1), std::invalid_argument);
}

TEST(Columns, ShortLinesGiveWhatIsThere) {
    EXPECT_EQ(Mid("P0012", 2, 4), "0012");
    EXPECT_EQ(Mid("P0012", 4, 10), "12");
    EXPECT_EQ(Mid("P0012", 6, 3), "");
    EXPECT_EQ(Mid("P0012", 0, 3), "");
    EXPECT_EQ(Left("ab", 5), "ab");
    EXPECT_EQ(Right("abcdef", 2), "ef");
    EXPECT_EQ(Right("ab", 5), "ab");
}

TEST(Text, TrimRemovesOnlyTheCharactersAsked) {
    struct Case {
        const char* text;
        std::string_view chars;
        const char* want;
    };
    const Case cases[] = {
        {"  ABC  ", kBlanks, "ABC"},
        {"\t ABC \t", kBlanks, "\t ABC \t"},  // the system's trim takes blanks alone
        {"\t ABC \t", kBlanksAndTabs, "ABC"},
        {"\r\n ABC\v\f", kBlanksAndTabs, "\r\n ABC\v\f"},
        {"\r\n A B\v\f", kWhiteSpace, "A B"},
        {"    ", kBlanks, ""},
        {"", kWhiteSpace, ""},
        {"X", kBlanks, "X"},
    };
    for (const auto& c : cases) EXPECT_EQ(Trim(c.text, c.chars), c.want) << '"' << c.text << '"';
}

TEST(Text, CaseChangesAndComparesAsciiLettersOnly) {
    // Windows-1252 letters above 127 (\xE0 is "a" grave, \xC0 its capital) stay as they are, whatever the
    // locale would do with them, so a text upper-cased here is the same under every host.
    EXPECT_EQ(UpperAscii("ordine n.1 \xE0 caso"), "ORDINE N.1 \xE0 CASO");
    EXPECT_EQ(LowerAscii("HTTP://X/\xC0"), "http://x/\xC0");
    EXPECT_EQ(UpperAscii('z'), 'Z');
    EXPECT_EQ(UpperAscii('{'), '{');
    EXPECT_EQ(LowerAscii('@'), '@');
    EXPECT_TRUE(EqualsNoCase("ForceRemove", "FORCEREMOVE"));
    EXPECT_TRUE(EqualsNoCase("", ""));
    EXPECT_FALSE(EqualsNoCase("\xE0", "\xC0"));
    EXPECT_FALSE(EqualsNoCase("[", "{"));  // 0x5B and 0x7B differ by the case bit but are no letters
    EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
}

TEST(Text, ReplaceAllNeverRescansAReplacement) {
    EXPECT_EQ(ReplaceAll("IFCK01_IN_MORVEN.DAT", "_IN_", "_OUT_"), "IFCK01_OUT_MORVEN.DAT");
    EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(ReplaceAll("MvnConn03.par.par", ".par", ""), "MvnConn03");
    EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
    EXPECT_EQ(ReplaceAll("", "a", "b"), "");
}

TEST(Text, SplitLinesTakesEveryLineEnd) {
    const std::vector<std::string> want = {"a", "", "b", "c"};
    EXPECT_EQ(SplitLines("a\r\n\r\nb\rc\r\n"), want);
    EXPECT_EQ(SplitLines("a\n\nb\nc"), want);
    EXPECT_TRUE(SplitLines("").empty());
}

}  // namespace
}  // namespace morven
