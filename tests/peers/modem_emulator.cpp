#include "tests/peers/modem_emulator.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace morven::peers {

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

// Reads from the master side. False while no client has the port open (the master reports a hang-up).
bool ReadMaster(int master, std::string& out, int waitMs) {
    pollfd p{master, POLLIN, 0};
    const int r = ::poll(&p, 1, waitMs);
    if (r == 0) return true;
    if (r < 0) return errno == EINTR;
    if (p.revents & POLLIN) {
        char buf[4096];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, static_cast<std::size_t>(n));
            return true;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    }
    // POLLHUP / EIO: the port is closed on the client's side (DTR dropped). Do not spin.
    ::poll(nullptr, 0, waitMs > 0 ? waitMs : 1);
    return false;
}

bool WriteMaster(int master, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(master, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                ::poll(nullptr, 0, 1);
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The data phase of a call. The client hanging up (closing the port) ends it; so does, during a silence,
// a new "AT" command line: a client that reopened the port between two reads of ours talks to the modem
// again, and that command is kept for command mode.
class ModemLink final : public Link {
public:
    ModemLink(int master, std::string& commandPending) : master_(master), commandPending_(commandPending) {}

    bool Write(std::string_view bytes) override { return !hungUp_ && WriteMaster(master_, bytes); }
    bool Read(std::string& out, int waitMs) override {
        if (hungUp_) return false;
        if (!ReadMaster(master_, out, waitMs)) {
            hungUp_ = true;
            return false;
        }
        return true;
    }
    void Close() override {
        if (!hungUp_) Write("\r\nNO CARRIER\r\n");
        hungUp_ = true;
    }
    void Reset() override { hungUp_ = true; }
    void Silence(const std::atomic<bool>& stopping) override {
        std::string buf;
        while (!stopping && !hungUp_) {
            if (!Read(buf, 10)) break;
            std::size_t lineStart = 0;
            for (std::size_t i = 0; i < buf.size(); ++i) {
                if (buf[i] == '\r' || buf[i] == '\n') {
                    lineStart = i + 1;
                    continue;
                }
                if (i == lineStart && i + 1 < buf.size() && Upper(buf.substr(i, 2)) == "AT") {
                    commandPending_ = buf.substr(i);
                    hungUp_ = true;
                    return;
                }
            }
            buf.erase(0, lineStart);
            if (buf.size() > 1) buf.erase(0, buf.size() - 1);
        }
    }
    bool HungUp() const { return hungUp_; }

private:
    int master_;
    std::string& commandPending_;
    bool hungUp_ = false;
};

}  // namespace

ModemEmulator::ModemEmulator(std::vector<ModemCall> calls, ModemOptions options)
    : calls_(std::move(calls)), options_(options) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("modem emulator: no pseudo-terminal");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("modem emulator: no pseudo-terminal name");
    slavePath_ = name;
    // Raw from the start, so nothing is echoed or translated before the client configures the port.
    termios t{};
    if (tcgetattr(master_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
    thread_ = std::thread([this] { Run(); });
}

ModemEmulator::~ModemEmulator() {
    Stop();
    if (master_ >= 0) ::close(master_);
}

void ModemEmulator::Stop() {
    record_.Stop();
    if (thread_.joinable()) thread_.join();
}

std::vector<std::string> ModemEmulator::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

bool ModemEmulator::WaitCommands(std::size_t n, int waitMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Commands().size() >= n) return true;
        ::poll(nullptr, 0, 1);
    }
    return false;
}

bool ModemEmulator::Write(std::string_view bytes) { return WriteMaster(master_, bytes); }

void ModemEmulator::Run() {
    std::string pending;
    while (!record_.Stopping()) {
        const auto cr = pending.find('\r');
        if (cr == std::string::npos) {
            if (!ReadMaster(master_, pending, 10)) pending.clear();  // port closed: a half command is lost
            continue;
        }
        std::string command;
        for (char c : pending.substr(0, cr))
            if (c != '\n') command.push_back(c);
        pending.erase(0, cr + 1);
        command = Trim(command);
        if (command.empty()) continue;
        HandleCommand(command, pending);
    }
}

void ModemEmulator::HandleCommand(const std::string& command, std::string& pending) {
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(command);
    }
    if (options_.echo) Write(command + "\r");
    if (commandsSeen_++ < options_.unansweredCommands) return;
    const std::string upper = Upper(command);
    if (upper.compare(0, 2, "AT") != 0) {
        Write("\r\nERROR\r\n");
        return;
    }
    if (upper.compare(0, 3, "ATD") == 0) {
        if (nextCall_ >= calls_.size()) {
            Write("\r\nNO CARRIER\r\n");
            return;
        }
        const ModemCall& call = calls_[nextCall_++];
        if (call.result.empty()) return;  // never answers
        Write("\r\n" + call.result + "\r\n");
        if (call.result.compare(0, 7, "CONNECT") == 0) {
            PlayCall(call, pending);
        } else {
            record_.ScriptDone();
        }
        return;
    }
    Write("\r\nOK\r\n");
    if (upper.find("S0=1") != std::string::npos && nextCall_ < calls_.size() && calls_[nextCall_].incoming) {
        const ModemCall& call = calls_[nextCall_++];
        Write("\r\nRING\r\n\r\n" + call.result + "\r\n");
        PlayCall(call, pending);
    }
}

void ModemEmulator::PlayCall(const ModemCall& call, std::string& pending) {
    std::string commandPending;
    ModemLink link(master_, commandPending);
    RunScript(call.dialogue, link, false, pending, record_);
    if (!link.HungUp()) link.Close();
    // What was left of the data phase is not for the command interpreter, except a command a reconnected
    // client already sent.
    pending = commandPending;
    record_.ScriptDone();
}

}  // namespace morven::peers
