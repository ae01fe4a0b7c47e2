#include "platform/core/clock.h"
#include "platform/core/pump.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>

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

TEST(TestClock, RealTimeOfAWaitFollowsTheScale) {
    struct Caso {
        double scala;
        std::int64_t ms, reali;
    } casi[] = {
        {0, 30000, 0},     // stepped: only the test moves the clock, a wait never sleeps for it
        {1000, 30000, 30}, // a 30-second limit in 30 ms
        {1000, 1, 1},      // rounded up: a wait that still has time left sleeps
        {2, 0, 0},
    };
    for (const Caso& c : casi) {
        TestClock clock;
        if (c.scala > 0) clock.SetScale(c.scala);
        EXPECT_EQ(clock.RealMsFor(c.ms), c.reali) << c.scala << " " << c.ms;
    }
    EXPECT_EQ(SystemClock().RealMsFor(1234), 1234);
}

// The waiting pump. Each case would sleep for a minute (or an hour) if the pump missed what should wake it,
// so a fault shows as a hanging test rather than a slow one.
class PompaCheAttende : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(::pipe(tubo), 0); }
    void TearDown() override {
        ::close(tubo[0]);
        ::close(tubo[1]);
    }
    std::int64_t Tra(std::int64_t ms) const { return SystemClock().MonotonicMs() + ms; }
    int tubo[2] = {-1, -1};
    SystemClock sistema;
    EventPump pump;
};

TEST_F(PompaCheAttende, WakesForAWatchedDescriptorAndRunsThePollers) {
    int letti = 0;
    ScopedPoller lettore(
        pump,
        [&] {
            pollfd p{tubo[0], POLLIN, 0};
            char c;
            if (::poll(&p, 1, 0) == 1 && ::read(tubo[0], &c, 1) == 1) ++letti;
        },
        [&](WaitSet& w) { w.Watch(tubo[0], POLLIN); });
    ASSERT_EQ(::write(tubo[1], "x", 1), 1);
    pump.process(Tra(60000));
    EXPECT_EQ(letti, 1);
}

TEST_F(PompaCheAttende, APollerWithWorkOrWithoutInterestKeepsTheSleepShort) {
    struct Caso {
        const char* nome;
        EventPump::Interest interesse;
    } casi[] = {
        {"work now", [](WaitSet& w) { w.Within(0); }},
        {"its own limit", [](WaitSet& w) { w.Within(5); }},
        {"no interest given", {}},
    };
    for (const Caso& c : casi) {
        int giri = 0;
        ScopedPoller poller(pump, [&] { ++giri; }, c.interesse);
        pump.process(Tra(60000));
        EXPECT_EQ(giri, 1) << c.nome;
    }
}

TEST_F(PompaCheAttende, DeadlinesAreReadOnThePumpsClock) {
    // Nothing to wake the pump but the deadline: an hour on a stepped clock passes without real sleep, and a
    // deadline already passed does not sleep on any clock.
    int giri = 0;
    ScopedPoller poller(pump, [&] { ++giri; }, [&](WaitSet& w) { w.Watch(tubo[0], POLLIN); });
    TestClock passo;
    pump.SetClock(passo);
    pump.process(passo.MonotonicMs() + 3600 * 1000);
    pump.SetClock(sistema);
    pump.process(Tra(-1));
    EXPECT_EQ(giri, 2);
    // A scaled clock sleeps the scaled time: a minute at 10000x is 6 ms.
    TestClock veloce;
    veloce.SetScale(10000);
    pump.SetClock(veloce);
    const auto inizio = veloce.MonotonicMs();
    while (veloce.MonotonicMs() - inizio < 60000) pump.process(inizio + 60000);
    EXPECT_GE(giri, 3);
}

}  // namespace
}  // namespace morven
