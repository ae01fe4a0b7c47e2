// The byte pipe a script runs over (a TCP connection or the data phase of a modem call) and the runner
// that plays a script on it. Internal to the peers.
#pragma once

#include "tests/peers/script.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace morven::peers {

class Link {
public:
    virtual ~Link() = default;
    // Writes every byte; false when the other side is gone.
    virtual bool Write(std::string_view bytes) = 0;
    // Appends what arrives within `waitMs` to `out`; false when the other side is gone.
    virtual bool Read(std::string& out, int waitMs) = 0;
    virtual void Close() = 0;
    virtual void Reset() = 0;
    // Says nothing more: reads and forgets until the other side goes away or `stopping` turns true.
    virtual void Silence(const std::atomic<bool>& stopping);
};

// What the peers share with the test: the lines received, the faults, the hold gate, the stop flag.
class PeerRecord {
public:
    void AddLine(std::string line);
    void AddError(std::string error);
    std::vector<std::string> Lines() const;
    std::vector<std::string> Errors() const;
    // Waits until at least `n` lines were received (real time, up to `waitMs`).
    bool WaitLines(std::size_t n, int waitMs) const;

    void Release();
    // Waits for a Release() (each Release lets one Hold pass) or the stop flag.
    void WaitRelease();
    void Stop();
    bool Stopping() const { return stop_; }
    const std::atomic<bool>& StopFlag() const { return stop_; }
    void ScriptDone();
    int ScriptsDone() const;
    bool WaitScripts(int n, int waitMs) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    std::vector<std::string> lines_, errors_;
    int releases_ = 0;
    int scriptsDone_ = 0;
    std::atomic<bool> stop_{false};
};

// Plays `script` over `link`. `shifted` selects the TCP line encoding. `pending` holds bytes already read
// from the link and not yet used (the modem passes what followed its CONNECT). Returns when the script
// ends, fails or the peer stops; the caller closes the link.
void RunScript(const Script& script, Link& link, bool shifted, std::string& pending, PeerRecord& record);

}  // namespace morven::peers
