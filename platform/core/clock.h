// Clocks. The session engine reads two: the local date and time of day for texts, log names and log lines,
// and a monotonic clock for every elapsed time and limit (so a session across midnight or a clock change
// times out like any other). Tests use TestClock, which they step by hand or let run at a scale.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace morven {

// A local calendar date and time of day, to the second.
struct DateTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;

    int SecondsSinceMidnight() const { return hour * 3600 + minute * 60 + second; }
    friend bool operator==(const DateTime&, const DateTime&) = default;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Local date and time now.
    virtual DateTime Now() const = 0;
    // Milliseconds on a clock that never goes back; its origin is arbitrary.
    virtual std::int64_t MonotonicMs() const = 0;
    // The real milliseconds in which this clock's monotonic time moves on by `ms` (how long a wait for `ms`
    // on this clock may sleep).
    virtual std::int64_t RealMsFor(std::int64_t ms) const { return ms; }

    double SecondsSinceMidnight() const { return Now().SecondsSinceMidnight(); }
};

// The machine's clocks.
class SystemClock final : public Clock {
public:
    DateTime Now() const override;
    std::int64_t MonotonicMs() const override;
};

// A clock for tests. Time moves only when the test says so: Advance() steps it, SetAutoStep() makes every
// monotonic read move it on (so a busy wait ends after a few rounds), SetScale() lets it follow the real
// monotonic clock multiplied by a factor (so a 30-second limit passes in 30 ms at 1000x). The local time
// moves with the monotonic time from the date and time it was given.
class TestClock final : public Clock {
public:
    explicit TestClock(DateTime start = {2026, 12, 10, 10, 0, 0});

    DateTime Now() const override;
    std::int64_t MonotonicMs() const override;
    // Scaled: `ms` divided by the scale, rounded up. Stepped: 0, since only the test moves the clock on and a
    // wait must never sleep through real time for it.
    std::int64_t RealMsFor(std::int64_t ms) const override;

    void Advance(std::int64_t ms);
    void SetAutoStep(std::int64_t ms);
    void SetScale(double factor);

private:
    std::int64_t ElapsedLocked() const;

    mutable std::mutex mutex_;
    DateTime start_;
    mutable std::int64_t elapsedMs_ = 0;
    std::int64_t autoStepMs_ = 0;
    double scale_ = 0;
    std::chrono::steady_clock::time_point scaleOrigin_{};
    std::int64_t scaleBaseMs_ = 0;
};

// Adds seconds to a local date and time, carrying into days, months and years.
DateTime AddSeconds(const DateTime& t, std::int64_t seconds);

}  // namespace morven
