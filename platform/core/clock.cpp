#include "platform/core/clock.h"

#include <cmath>
#include <ctime>

namespace morven {

DateTime SystemClock::Now() const {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::int64_t SystemClock::MonotonicMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

DateTime AddSeconds(const DateTime& t, std::int64_t seconds) {
    // Calendar arithmetic through timegm on a broken-down UTC time, so no time zone or DST rule applies.
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    const std::time_t base = timegm(&tm) + static_cast<std::time_t>(seconds);
    std::tm out{};
    gmtime_r(&base, &out);
    return {out.tm_year + 1900, out.tm_mon + 1, out.tm_mday, out.tm_hour, out.tm_min, out.tm_sec};
}

TestClock::TestClock(DateTime start) : start_(start) {}

std::int64_t TestClock::ElapsedLocked() const {
    if (scale_ > 0) {
        const auto real = std::chrono::steady_clock::now() - scaleOrigin_;
        const double ms = std::chrono::duration<double, std::milli>(real).count() * scale_;
        return scaleBaseMs_ + static_cast<std::int64_t>(ms);
    }
    return elapsedMs_;
}

DateTime TestClock::Now() const {
    std::lock_guard lock(mutex_);
    return AddSeconds(start_, ElapsedLocked() / 1000);
}

std::int64_t TestClock::MonotonicMs() const {
    std::lock_guard lock(mutex_);
    if (scale_ <= 0 && autoStepMs_ > 0) elapsedMs_ += autoStepMs_;
    return ElapsedLocked();
}

std::int64_t TestClock::RealMsFor(std::int64_t ms) const {
    std::lock_guard lock(mutex_);
    if (scale_ <= 0 || ms <= 0) return 0;
    return static_cast<std::int64_t>(std::ceil(static_cast<double>(ms) / scale_));
}

void TestClock::Advance(std::int64_t ms) {
    std::lock_guard lock(mutex_);
    if (scale_ > 0) {
        scaleBaseMs_ += ms;
    } else {
        elapsedMs_ += ms;
    }
}

void TestClock::SetAutoStep(std::int64_t ms) {
    std::lock_guard lock(mutex_);
    autoStepMs_ = ms;
}

void TestClock::SetScale(double factor) {
    std::lock_guard lock(mutex_);
    const std::int64_t now = ElapsedLocked();
    scale_ = factor;
    scaleOrigin_ = std::chrono::steady_clock::now();
    scaleBaseMs_ = now;
    elapsedMs_ = now;
}

}  // namespace morven
