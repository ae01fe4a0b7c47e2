#include "gtlib/engine/records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace gtlib {
namespace {

TEST(RecordsTest, CopyToFieldCutsAndZeroFills) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"", ""},
        {"abc", "abc"},
        {"abcdefg", "abcdefg"},    // exactly size - 1
        {"abcdefgh", "abcdefg"},   // full field: cut to size less one
        {"abcdefghijk", "abcdefg"},
    };
    for (const auto& c : cases) {
        char field[8];
        std::memset(field, 'x', sizeof field);
        CopyToField(field, c.text);
        EXPECT_EQ(FieldText(field), c.expected) << c.text;
        for (std::size_t i = c.expected.size(); i < sizeof field; ++i) EXPECT_EQ(field[i], 0) << c.text << " at " << i;
    }
}

TEST(RecordsTest, FieldTextStopsAtFieldEndWithoutZero) {
    char field[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(FieldText(field), "abcd");
    EXPECT_EQ(FieldText(nullptr, 10), "");
}

TEST(RecordsTest, NewRecordsCarryTheirSizeAndStartIndex) {
    EXPECT_EQ(NewGzipInfo().ulStructSize, 396u);
    EXPECT_EQ(NewGzipInfo().lIndex, -1);
    EXPECT_EQ(NewTarInfo().ulStructSize, 824u);
    EXPECT_EQ(NewTarInfo().lIndex, -1);
    EXPECT_EQ(NewRenameStruct().ulStructSize, 628u);
    EXPECT_EQ(NewCallbackStruct().ulStructSize, sizeof(CALLBACKSTRUCT));
    const GTCMDSTRUCT gt = NewGtCmdStruct();
    EXPECT_EQ(gt.ulgtStructSize, sizeof(GTCMDSTRUCT));
    EXPECT_EQ(gt.lIndex, -1);
    EXPECT_EQ(gt.lpszGTFile, nullptr);
    const UGTCMDSTRUCT ugt = NewUgtCmdStruct();
    EXPECT_EQ(ugt.ulugtStructSize, sizeof(UGTCMDSTRUCT));
    EXPECT_EQ(ugt.lIndex, -1);
    EXPECT_EQ(ugt.lpCallbackStruct, nullptr);
}

}  // namespace
}  // namespace gtlib
