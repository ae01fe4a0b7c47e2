#include "gtlib/controls/module.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace sbgt {

namespace {
std::int64_t NowMs(const NamedLock::WaitClock& clock) {
    if (clock.now) return clock.now();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void PauseMs(const NamedLock::WaitClock& clock, std::int32_t ms) {
    if (clock.pause)
        clock.pause(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
}  // namespace

std::string NamedLock::RuntimeDir() {
    if (const char* d = std::getenv("SBGTACTX_LOCK_DIR"); d && *d) return d;
    if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) return std::string(x) + "/sbgtactx";
    return "/tmp/sbgtactx-" + std::to_string(::getuid());
}

NamedLock::NamedLock(std::string name) {
    const std::string dir = RuntimeDir();
    ::mkdir(dir.c_str(), 0700);
    path_ = dir + "/" + name + ".lock";
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

NamedLock::~NamedLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool NamedLock::TryLock() {
    if (fd_ < 0) return false;
    std::lock_guard l(mutex_);
    if (depth_ > 0) {
        if (owner_ != std::this_thread::get_id()) return false;
        ++depth_;
        return true;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) return false;
    owner_ = std::this_thread::get_id();
    depth_ = 1;
    return true;
}

bool NamedLock::LockFor(std::int32_t ms, const WaitClock& clock) {
    if (fd_ < 0) return false;
    const std::int64_t deadline = NowMs(clock) + ms;
    while (true) {
        if (TryLock()) return true;
        const std::int64_t left = deadline - NowMs(clock);
        if (left <= 0) return false;
        PauseMs(clock, static_cast<std::int32_t>(left < 10 ? left : 10));
    }
}

void NamedLock::Unlock() {
    std::lock_guard l(mutex_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) return;
    if (--depth_ == 0) {
        owner_ = std::thread::id();
        ::flock(fd_, LOCK_UN);
    }
}

ModuleState& Module() {
    static ModuleState state;
    return state;
}

void ModuleLoad() {
    ModuleState& m = Module();
    // Locks first (compression, then decompression); a lock of that name held by another process is shared.
    m.compressionLock = new NamedLock("gtactxmutex");
    m.decompressionLock = new NamedLock("ugtactxmutex");
    m.ready = true;
}

void ModuleUnload() {
    ModuleState& m = Module();
    delete m.compressionLock;
    m.compressionLock = nullptr;
    delete m.decompressionLock;
    m.decompressionLock = nullptr;
    m.ready = false;
}

}  // namespace sbgt
