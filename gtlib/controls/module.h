// Module-wide state of the library (one per process): the two named locks that serialise actions of one
// kind across all instances and processes, and the lock count that
// DllCanUnloadNow reads (live objects, class-factory references and LockServer calls).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace sbgt {

// A named lock shared by every process that opens the same name: a file "<name>.lock" in the runtime
// folder, locked with flock, so a process that dies releases it. Within a process it behaves as the
// platform's mutex: the owning thread may take it again (counted), other threads wait.
class NamedLock {
public:
    explicit NamedLock(std::string name);
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;
    ~NamedLock();

    bool Valid() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    // One attempt, no wait.
    bool TryLock();
    // The clock of the waits: now in milliseconds and a pause; empty functions: the system's steady clock
    // and a real pause. Tests give a stepped clock so that rounds of a second take no time.
    struct WaitClock {
        std::function<std::int64_t()> now;
        std::function<void(std::int32_t ms)> pause;
    };
    // Waits up to `ms` milliseconds (measured on `clock`); true when the lock was obtained.
    bool LockFor(std::int32_t ms, const WaitClock& clock);
    void Unlock();

    // $SBGTACTX_LOCK_DIR, else $XDG_RUNTIME_DIR/sbgtactx, else /tmp/sbgtactx-<uid>.
    static std::string RuntimeDir();

private:
    std::string path_;
    int fd_ = -1;
    std::mutex mutex_;
    std::thread::id owner_;
    int depth_ = 0;
};

// Waits for a named lock for up to `rounds` rounds of one second (none when rounds <= 0) and holds it, when
// obtained, until it goes: an action releases the lock on every path, exceptions included.
class LockRounds {
public:
    LockRounds(NamedLock* lock, std::int32_t rounds, const NamedLock::WaitClock& clock) : lock_(lock) {
        for (std::int32_t r = 0; lock_ && r < rounds && !owned_; ++r) owned_ = lock_->LockFor(1000, clock);
    }
    LockRounds(const LockRounds&) = delete;
    LockRounds& operator=(const LockRounds&) = delete;
    ~LockRounds() {
        if (owned_) lock_->Unlock();
    }
    bool Owned() const { return owned_; }

private:
    NamedLock* lock_;
    bool owned_ = false;
};

struct ModuleState {
    NamedLock* compressionLock = nullptr;    // "gtactxmutex"
    NamedLock* decompressionLock = nullptr;  // "ugtactxmutex"
    bool ready = false;  // true between load and unload
    // The message pump a host registered for the module (DllSetMessagePump); a control may have its own.
    std::atomic<int (*)(void*)> pump{nullptr};
    std::atomic<void*> pumpContext{nullptr};
    std::atomic<long> lockCount{0};
};

// The process's module state; set up when the library is loaded, taken down when it is unloaded.
ModuleState& Module();
// Load and unload steps in their order (called by the library's load and unload hooks; tests call them to
// check the order's effects).
void ModuleLoad();
void ModuleUnload();

// Lock count helpers (objects and class-factory locks).
inline void ModuleLock() { ++Module().lockCount; }
inline void ModuleUnlockCount() { --Module().lockCount; }

}  // namespace sbgt
