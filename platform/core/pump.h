// The event pump. The program has one thread; everything that happens while a session runs (socket and
// serial-port events, window events, timers) happens inside EventPump::process(), which the engine calls on
// every turn of its loops and waits. Devices register pollers; the Qt window layer derives a pump that also
// processes the window system's events.
//
// process() runs one round and never blocks. process(deadline) is the pump of a wait: it sleeps until one of
// the descriptors the pollers watch is ready, a poller's own limit passes or the deadline comes, then runs one
// round. The deadline is read on the pump's clock, so a wait on a test clock (stepped or scaled) lasts what
// that clock says, not real time.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace morven {

class Clock;

// What the pollers wait for before their next round: descriptors to watch and a limit in real milliseconds.
class WaitSet {
public:
    struct Descriptor {
        int fd;
        short events;  // POLLIN, POLLOUT
    };

    // Wakes the pump when `fd` is ready for `events`.
    void Watch(int fd, short events);
    // Wakes the pump after at most `ms` real milliseconds (0: the poller has work now, do not sleep).
    void Within(std::int64_t ms);

    const std::vector<Descriptor>& Descriptors() const { return descriptors_; }
    // The soonest limit given, or -1 when none.
    std::int64_t LimitMs() const { return limitMs_; }

private:
    std::vector<Descriptor> descriptors_;
    std::int64_t limitMs_ = -1;
};

class EventPump {
public:
    using Poller = std::function<void()>;
    // Tells the pump what a poller waits for; it is asked before every sleep.
    using Interest = std::function<void(WaitSet&)>;

    // How often a poller that says nothing of what it waits for is run while the pump sleeps.
    static constexpr std::int64_t kPollerSenzaAttesaMs = 10;

    EventPump();
    virtual ~EventPump() = default;

    // The clock the deadlines of process(deadline) are read on; unset, the machine's monotonic clock.
    void SetClock(const Clock& clock) { clock_ = &clock; }
    const Clock& Orologio() const { return *clock_; }

    // Registers a poller run once by every process(); returns its id for RemovePoller. `interest` says what the
    // poller waits for; without one, the poller is run at least every kPollerSenzaAttesaMs while the pump sleeps.
    int AddPoller(Poller poller, Interest interest = {});
    // Removes a poller; safe to call from inside a poller.
    void RemovePoller(int id);

    // Runs every registered poller once. A derived pump adds its own event processing.
    virtual void process();
    // Sleeps until a watched descriptor is ready, a poller's limit passes or `deadlineMs` (MonotonicMs of the
    // pump's clock) comes, then runs one round as process() does. A deadline already passed sleeps not at all.
    virtual void process(std::int64_t deadlineMs);

protected:
    // What every poller waits for, and the real milliseconds to sleep at most before `deadlineMs` on the pump's
    // clock (0: do not sleep).
    struct Piano {
        WaitSet attesa;
        std::int64_t sonnoMs = 0;
    };
    Piano PianoAttesa(std::int64_t deadlineMs) const;
    // Runs the pollers once (what process() of this class does).
    void RunPollers();

private:
    struct Entry {
        int id;
        Poller poller;
        Interest interest;
    };
    std::vector<Entry> pollers_;
    int nextId_ = 1;
    const Clock* clock_;
};

// Keeps a poller registered for the lifetime of the object.
class ScopedPoller {
public:
    ScopedPoller() = default;
    ScopedPoller(EventPump& pump, EventPump::Poller poller, EventPump::Interest interest = {})
        : pump_(&pump), id_(pump.AddPoller(std::move(poller), std::move(interest))) {}
    ScopedPoller(const ScopedPoller&) = delete;
    ScopedPoller& operator=(const ScopedPoller&) = delete;
    ScopedPoller(ScopedPoller&& o) noexcept : pump_(o.pump_), id_(o.id_) { o.pump_ = nullptr; }
    ScopedPoller& operator=(ScopedPoller&& o) noexcept {
        if (this != &o) {
            reset();
            pump_ = o.pump_;
            id_ = o.id_;
            o.pump_ = nullptr;
        }
        return *this;
    }
    ~ScopedPoller() { reset(); }

    void reset() {
        if (pump_) pump_->RemovePoller(id_);
        pump_ = nullptr;
    }

private:
    EventPump* pump_ = nullptr;
    int id_ = 0;
};

}  // namespace morven
