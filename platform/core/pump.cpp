#include "platform/core/pump.h"

#include <algorithm>

namespace morven {

int EventPump::AddPoller(Poller poller) {
    const int id = nextId_++;
    pollers_.push_back({id, std::move(poller)});
    return id;
}

void EventPump::RemovePoller(int id) {
    // Blank the entry; process() drops blank entries once no poller is running.
    for (auto& e : pollers_) {
        if (e.id == id) e.poller = nullptr;
    }
}

void EventPump::process() {
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

}  // namespace morven
