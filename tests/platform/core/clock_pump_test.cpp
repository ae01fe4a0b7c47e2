#include "platform/core/clock.h"
#include "platform/core/pump.h"

#include <gtest/gtest.h>

namespace morven {
namespace {

TEST(TestClock, StepsAcrossMidnightAndMonthEnd) {
    TestClock clock({2026, 12, 31, 23, 59, 58});
    const auto t0 = clock.MonotonicMs();
    clock.Advance(3000);
    EXPECT_EQ(clock.MonotonicMs() - t0, 3000);
    EXPECT_EQ(clock.Now(), (DateTime{2027, 1, 1, 0, 0, 1}));
    EXPECT_EQ(clock.SecondsSinceMidnight(), 1);
}

TEST(TestClock, AutoStepMovesOnEveryRead) {
    TestClock clock;
    clock.SetAutoStep(250);
    const auto a = clock.MonotonicMs();
    const auto b = clock.MonotonicMs();
    EXPECT_EQ(b - a, 250);
}

TEST(EventPump, PollersMayRemoveThemselvesAndAddOthers) {
    EventPump pump;
    int a = 0, b = 0, added = 0;
    int idA = 0;
    idA = pump.AddPoller([&] {
        ++a;
        pump.RemovePoller(idA);
        pump.AddPoller([&] { ++added; });
    });
    ScopedPoller pb(pump, [&] { ++b; });
    pump.process();
    pump.process();
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(added, 1);
    pb.reset();
    pump.process();
    EXPECT_EQ(b, 2);
}

}  // namespace
}  // namespace morven
