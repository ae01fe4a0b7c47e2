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

}  // namespace
}  // namespace morven
