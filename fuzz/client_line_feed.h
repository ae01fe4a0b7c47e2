// What the wholesaler sends, fed to a client fuzz target's fake socket: one segment at every round of the
// event pump; after the last the peer stays connected (fine 0 or 3), closes (1), or is closing (2).
#pragma once

#include <deque>
#include <string>

#include "client/engine/testing/test_program.h"
#include "platform/core/pump.h"

namespace fuzzing {

// Feeds `segmenti` (taken from the front) while the returned poller lives.
inline morven::ScopedPoller FeedSegments(morven::TestProgram& t, std::deque<std::string>& segmenti, int fine) {
    return morven::ScopedPoller(t.pump, [&t, &segmenti, fine] {
        if (!segmenti.empty()) {
            t.socket.Feed(segmenti.front());
            segmenti.pop_front();
        } else if (fine == 1 && t.socket.state == morven::TcpSocket::sckConnected) {
            t.socket.PeerCloses();
        } else if (fine == 2) {
            t.socket.state = morven::TcpSocket::sckClosing;
        }
    });
}

}  // namespace fuzzing
