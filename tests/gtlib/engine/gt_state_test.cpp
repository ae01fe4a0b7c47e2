#include "gtlib/engine/gt_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace gtlib {
namespace {

struct Shown {
    int code;
    std::string detail;
    bool box;
};
std::vector<Shown> shown;

// Only the first error of a run sets the code and reaches the message path.
TEST(GtState, FirstErrorLatch) {
    shown.clear();
    GtEngineState st;
    st.hooks.error = [](GtEngineState&, int code, const std::string& detail, bool box) {
        shown.push_back({code, detail, box});
    };
    EXPECT_EQ(st.ReportError(GTE_OPEN, "could not open for reading: x"), GTE_OPEN);
    EXPECT_EQ(st.ReportError(GTE_WRITE, "second"), GTE_OPEN);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].code, GTE_OPEN);
    EXPECT_TRUE(shown[0].box);

    GtEngineState quiet;
    quiet.messagesShown = false;
    quiet.hooks.error = st.hooks.error;
    quiet.SetError(GTE_WRITE);  // set by the output, not yet reported
    EXPECT_EQ(quiet.ReportError(GTE_WRITE, "was about to Compress or TAR"), GTE_WRITE);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_FALSE(shown[1].box);
}

TEST(GtState, Percentages) {
    struct Case {
        std::uint64_t done, total;
        int percent;
    };
    const Case minor[] = {{0, 0, 0}, {5, 10, 50}, {10, 10, 100}, {20, 10, 100},
                          {1, 3, 33}, {500000, 1000000, 50}, {1ull << 40, 1ull << 41, 50}};
    for (const Case& c : minor) EXPECT_EQ(MinorPercent(c.done, c.total), c.percent) << c.done << "/" << c.total;
    EXPECT_EQ(MajorPercent(1, 0), 0);
    EXPECT_EQ(MajorPercent(1, 4), 25);
    EXPECT_EQ(MajorPercent(4, 4), 100);
    EXPECT_EQ(MajorPercent(100000, 200000), 50);
    EXPECT_EQ(MajorPercent(150000, 300000), 50);
}

std::vector<std::string> calls;

// A minor-status answer cancels only with GTSO_MINORCANCEL; the cancel poll asks the major-status
// procedure again with its last text and percentage.
TEST(GtState, MinorCancelAndPoll) {
    for (std::uint32_t sub : {0u, static_cast<std::uint32_t>(GTSO_MINORCANCEL)}) {
        GtEngineState st;
        st.subOptions = sub;
        st.minorStatus = [](const char*, std::int32_t, std::int32_t, void*) -> std::int32_t { return 1; };
        st.MinorStatus("x", 1, 2);
        EXPECT_EQ(st.cancel, sub != 0);
    }
    calls.clear();
    GtEngineState st;
    st.itemNumber = 2;
    st.itemCount = 4;
    st.statusType = 3;
    st.majorStatus = [](const char* text, std::int32_t pct, std::int32_t type, void*) -> std::int32_t {
        calls.push_back(std::string(text) + " " + std::to_string(pct) + " " + std::to_string(type));
        return calls.size() >= 3 ? 1 : 0;
    };
    EXPECT_EQ(st.MajorStatus("Item 2 of 4"), 0);
    EXPECT_FALSE(st.CancelPoll());
    EXPECT_TRUE(st.CancelPoll());
    EXPECT_TRUE(st.CancelPoll());  // a set flag is answered without asking again
    EXPECT_EQ(calls, (std::vector<std::string>{"Item 2 of 4 50 3", "Item 2 of 4 50 3", "Item 2 of 4 50 3"}));
}

}  // namespace
}  // namespace gtlib

namespace gtlib {
namespace {

std::vector<std::pair<int, std::string>> hostMessages;

// A new state speaks through the library's message table and message path: the binary-data warning of
// the coder reaches the host's message procedure as a warning, and not at all in a quiet run.
TEST(GtState, DefaultHooksUseTheLibraryMessages) {
    GtEngineState st;
    EXPECT_EQ(st.Text(334), "can not translate EOL in binary files");
    EXPECT_EQ(st.Text(391), "Item %d of %d");
    EXPECT_EQ(st.Text(868), "");
    for (bool quiet : {false, true}) {
        hostMessages.clear();
        GtEngineState s;
        s.messagesShown = !quiet;
        s.messageHost.proc = [](std::int32_t kind, std::int32_t, std::int32_t, std::int32_t, char* text, char*,
                                void*) -> std::int32_t {
            if (kind != 7) hostMessages.emplace_back(kind, text);  // 7: the offer to change a looked-up text
            return 1;
        };
        s.Warn(s.Text(334));
        s.ReportError(GTE_OPEN, "could not open for reading: x.txt");
        if (quiet) {
            EXPECT_TRUE(hostMessages.empty());
        } else {
            ASSERT_EQ(hostMessages.size(), 2u);
            EXPECT_EQ(hostMessages[0].first, 6);
            EXPECT_EQ(hostMessages[0].second, "can not translate EOL in binary files");
            EXPECT_EQ(hostMessages[1].first, 5);
            EXPECT_EQ(hostMessages[1].second, "File open error (could not open for reading: x.txt)\n");
        }
        EXPECT_EQ(s.gtErrorCode, GTE_OPEN);
    }
}

}  // namespace
}  // namespace gtlib
