// The Qt pump's wait: it sleeps in Qt's wait for more events and wakes for a watched descriptor, a window
// event or the deadline on its clock. Every case gives a deadline a minute or an hour ahead, so a missed wake
// shows as a hanging test.
#include "tests/client/windows/qt_test_support.h"

#include "platform/core/clock.h"

#include <QTimer>

#include <poll.h>
#include <unistd.h>

namespace morven::testing {
namespace {

struct QtPumpWait : ::testing::Test {
    void SetUp() override {
        App();
        ASSERT_EQ(::pipe(tubo), 0);
        pompa.SetClock(sistema);
    }
    void TearDown() override {
        ::close(tubo[0]);
        ::close(tubo[1]);
    }
    std::int64_t TraUnMinuto() const { return sistema.MonotonicMs() + 60000; }

    int tubo[2] = {-1, -1};
    SystemClock sistema;
    QtPump pompa;
    int letti = 0;
    ScopedPoller lettore{pompa,
                         [this] {
                             pollfd p{tubo[0], POLLIN, 0};
                             char c;
                             if (::poll(&p, 1, 0) == 1 && ::read(tubo[0], &c, 1) == 1) ++letti;
                         },
                         [this](WaitSet& w) { w.Watch(tubo[0], POLLIN); }};
};

TEST_F(QtPumpWait, WakesForLineDataAndRunsThePollers) {
    ASSERT_EQ(::write(tubo[1], "x", 1), 1);
    pompa.process(TraUnMinuto());
    EXPECT_EQ(letti, 1);
}

TEST_F(QtPumpWait, WakesForAWindowEvent) {
    bool arrivato = false;
    QTimer::singleShot(0, [&] { arrivato = true; });
    while (!arrivato) pompa.process(TraUnMinuto());
    EXPECT_EQ(letti, 0);
}

TEST_F(QtPumpWait, AStoppedTestClockNeverSleeps) {
    TestClock passo;
    pompa.SetClock(passo);
    pompa.process(passo.MonotonicMs() + 3600 * 1000);
    EXPECT_EQ(letti, 0);
}

}  // namespace
}  // namespace morven::testing
