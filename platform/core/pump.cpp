#include "platform/core/pump.h"

#include "platform/core/clock.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace morven {

namespace {

const SystemClock kOrologioMacchina;

}  // namespace

void WaitSet::Watch(int fd, short events) {
    if (fd >= 0) descriptors_.push_back({fd, events});
}

void WaitSet::Within(std::int64_t ms) {
    ms = std::max<std::int64_t>(ms, 0);
    limitMs_ = limitMs_ < 0 ? ms : std::min(limitMs_, ms);
}

EventPump::EventPump() : clock_(&kOrologioMacchina) {}

int EventPump::AddPoller(Poller poller, Interest interest) {
    const int id = nextId_++;
    pollers_.push_back({id, std::move(poller), std::move(interest)});
    return id;
}

void EventPump::RemovePoller(int id) {
    // Blank the entry; process() drops blank entries once no poller is running.
    for (auto& e : pollers_) {
        if (e.id == id) {
            e.poller = nullptr;
            e.interest = nullptr;
        }
    }
}

void EventPump::RunPollers() {
    // Pollers may add or remove pollers while they run: iterate by index over what was there at the start.
    const std::size_t n = pollers_.size();
    for (std::size_t i = 0; i < n && i < pollers_.size(); ++i) {
        if (pollers_[i].poller) {
            auto p = pollers_[i].poller;  // a copy: the poller may remove itself
            p();
        }
    }
    pollers_.erase(std::remove_if(pollers_.begin(), pollers_.end(), [](const Entry& e) { return !e.poller; }),
                   pollers_.end());
}

void EventPump::process() { RunPollers(); }

EventPump::Piano EventPump::PianoAttesa(std::int64_t deadlineMs) const {
    Piano piano;
    for (const Entry& e : pollers_) {
        if (!e.poller) continue;
        if (e.interest) {
            e.interest(piano.attesa);
        } else {
            piano.attesa.Within(kPollerSenzaAttesaMs);
        }
    }
    const std::int64_t resto = deadlineMs - clock_->MonotonicMs();
    std::int64_t sonno = resto > 0 ? clock_->RealMsFor(resto) : 0;
    if (piano.attesa.LimitMs() >= 0) sonno = std::min(sonno, piano.attesa.LimitMs());
    piano.sonnoMs = std::clamp<std::int64_t>(sonno, 0, INT_MAX);
    return piano;
}

void EventPump::process(std::int64_t deadlineMs) {
    const Piano piano = PianoAttesa(deadlineMs);
    if (piano.sonnoMs > 0) {
        std::vector<pollfd> fds;
        fds.reserve(piano.attesa.Descriptors().size());
        for (const auto& d : piano.attesa.Descriptors()) fds.push_back({d.fd, d.events, 0});
        // An interrupted sleep simply ends early: the caller's loop looks at its clock and comes back.
        ::poll(fds.data(), fds.size(), static_cast<int>(piano.sonnoMs));
    }
    process();
}

}  // namespace morven
