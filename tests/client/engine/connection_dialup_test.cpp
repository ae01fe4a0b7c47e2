// The dial-up entry procedures over the recording dial-up port.
#include <gtest/gtest.h>

#include "client/engine/connection.h"
#include "tests/client/engine/engine_test_support.h"

namespace morven {
namespace {

struct DialupEntryTest : ::testing::Test, testing::EngineFixture {
    DialupEntryTest() { t.clock.SetAutoStep(50); }
};

TEST_F(DialupEntryTest, ListAndConnectedTest) {
    std::vector<std::string> combo;
    t.dialup.entries = {"isp1", "isp2"};
    EXPECT_TRUE(FillRasEntryList(p, combo));
    EXPECT_EQ(combo, (std::vector<std::string>{"isp1", "isp2"}));
    t.dialup.available = false;
    std::vector<std::string> none;
    EXPECT_FALSE(FillRasEntryList(p, none));
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(FunctionLog(), "");  // nothing is logged for a missing service

    t.dialup.connected = {"isp1"};
    EXPECT_TRUE(IsRasEntryConnected(p, "isp1"));
    EXPECT_FALSE(IsRasEntryConnected(p, "ISP1"));
    EXPECT_FALSE(IsRasEntryConnected(p, "isp2"));
}

TEST_F(DialupEntryTest, DialCases) {
    EXPECT_TRUE(DialRasEntry(p, "", 90));
    t.dialup.connected = {"isp1"};
    EXPECT_TRUE(DialRasEntry(p, "isp1", 90));
    EXPECT_TRUE(t.dialup.dialled.empty());  // already up: nothing started

    t.dialup.dialRounds = 3;
    EXPECT_TRUE(DialRasEntry(p, "isp2", 90));
    EXPECT_EQ(t.dialup.dialled, std::vector<std::string>{"isp2"});
    EXPECT_TRUE(t.dialup.hungUp.empty());

    // A dialler that never finishes is stopped at the limit.
    t.dialup.dialSucceeds = false;
    t.dialup.dialRounds = 1000000;
    const auto before = t.clock.MonotonicMs();
    EXPECT_FALSE(DialRasEntry(p, "isp3", 90));
    const auto waited = t.clock.MonotonicMs() - before;
    EXPECT_GE(waited, 95000);
    EXPECT_LT(waited, 100000);
    EXPECT_EQ(t.dialup.hungUp, std::vector<std::string>{"isp3"});
}

TEST_F(DialupEntryTest, HangUpOnlyThatEntry) {
    EXPECT_TRUE(HangUpRasEntry(p, ""));
    t.dialup.connected = {"isp1", "isp2"};
    EXPECT_TRUE(HangUpRasEntry(p, "isp1"));
    EXPECT_FALSE(HangUpRasEntry(p, "isp1"));
    EXPECT_EQ(t.dialup.connected, std::set<std::string>{"isp2"});
}

}  // namespace
}  // namespace morven
