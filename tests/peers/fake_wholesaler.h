// A scripted fake wholesaler on 127.0.0.1. It listens on a free port; the first connection plays the first
// script, the second connection the second, and so on; connections beyond the scripts are closed at once.
// Lines go in the TCP shifted encoding (frames unshifted). Runs on its own thread.
#pragma once

#include "tests/peers/link.h"
#include "tests/peers/script.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace morven::peers {

class FakeWholesaler {
public:
    explicit FakeWholesaler(std::vector<Script> scripts);
    ~FakeWholesaler();
    FakeWholesaler(const FakeWholesaler&) = delete;
    FakeWholesaler& operator=(const FakeWholesaler&) = delete;

    int Port() const { return port_; }
    // Lets one Hold step pass.
    void Release() { record_.Release(); }
    // Ends every script at its next step and stops listening.
    void Stop();

    std::vector<std::string> Lines() const { return record_.Lines(); }
    std::vector<std::string> Errors() const { return record_.Errors(); }
    int Connections() const { return connections_; }
    // Waits (real time) until `n` scripts have ended, or until `n` lines were received.
    bool WaitScripts(int n, int waitMs = 10000) const { return record_.WaitScripts(n, waitMs); }
    bool WaitLines(std::size_t n, int waitMs = 10000) const { return record_.WaitLines(n, waitMs); }

private:
    struct Lingering {
        int fd;
        std::chrono::steady_clock::time_point until;
    };
    void Run();
    void Linger();

    std::vector<Script> scripts_;
    PeerRecord record_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<int> connections_{0};
    std::vector<Lingering> lingering_;
    std::thread thread_;
};

}  // namespace morven::peers
