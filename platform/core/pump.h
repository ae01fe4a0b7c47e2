// The event pump. The program has one thread; everything that happens while a session runs (socket and
// serial-port events, window events, timers) happens inside EventPump::process(), which the engine calls on
// every turn of its loops and waits. Devices register pollers; the Qt window layer derives a pump that also
// processes the window system's events.
#pragma once

#include <functional>
#include <vector>

namespace morven {

class EventPump {
public:
    using Poller = std::function<void()>;

    virtual ~EventPump() = default;

    // Registers a poller run once by every process(); returns its id for RemovePoller.
    int AddPoller(Poller poller);
    // Removes a poller; safe to call from inside a poller.
    void RemovePoller(int id);

    // Runs every registered poller once. A derived pump adds its own event processing.
    virtual void process();

private:
    struct Entry {
        int id;
        Poller poller;
    };
    std::vector<Entry> pollers_;
    int nextId_ = 1;
};

// Keeps a poller registered for the lifetime of the object.
class ScopedPoller {
public:
    ScopedPoller() = default;
    ScopedPoller(EventPump& pump, EventPump::Poller poller) : pump_(&pump), id_(pump.AddPoller(std::move(poller))) {}
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
