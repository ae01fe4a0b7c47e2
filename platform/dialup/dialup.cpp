#include "platform/dialup/dialup.h"

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

extern char** environ;

namespace morven {

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsExecutable(const std::string& path) { return IsRegularFile(path) && ::access(path.c_str(), X_OK) == 0; }

// A process counts as running when it exists and is not a zombie waiting to be reaped.
bool ProcessRuns(int pid) {
    if (pid <= 0) return false;
    if (::kill(pid, 0) != 0 && errno != EPERM) return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;  // no /proc: trust kill()
    const auto close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size()) return true;
    const char state = line[close + 2];
    return state != 'Z' && state != 'X';
}

void PauseBriefly() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

}  // namespace

bool IsValidPeerName(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    if (name.front() == '.' || name.front() == '-') return false;
    if (name.find("..") != std::string::npos) return false;
    return std::all_of(name.begin(), name.end(), [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
               c == '-' || c == '+' || c == '@';
    });
}

PppDialup::PppDialup(const Clock& clock, EventPump& pump, DialupPaths paths)
    : clock_(clock), pump_(pump), paths_(std::move(paths)) {}

std::optional<std::vector<std::string>> PppDialup::ListEntries() const {
    if (!IsExecutable(paths_.pppdCommand)) return std::nullopt;
    DIR* dir = ::opendir(paths_.peersDir.c_str());
    if (!dir) return std::nullopt;
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (!IsValidPeerName(name)) continue;  // editor backups, hidden files and names pppd can't take
        if (IsRegularFile(paths_.peersDir + "/" + name)) names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<int> PppDialup::RunningPid(const std::string& name, bool requireInterface) const {
    if (!IsValidPeerName(name)) return std::nullopt;
    std::ifstream in(paths_.runDir + "/ppp-" + name + ".pid");
    std::string pidLine, ifLine;
    if (!std::getline(in, pidLine)) return std::nullopt;
    std::getline(in, ifLine);
    int pid = 0;
    try {
        pid = std::stoi(pidLine);
    } catch (...) {
        return std::nullopt;
    }
    if (!ProcessRuns(pid)) return std::nullopt;
    // pppd writes the interface name once the ppp unit exists; before that the link is still being made.
    if (requireInterface && ifLine.find_first_not_of(" \t\r") == std::string::npos) return std::nullopt;
    return pid;
}

bool PppDialup::IsConnected(const std::string& name) const { return RunningPid(name, true).has_value(); }

void PppDialup::WaitSeconds(double seconds) {
    const auto start = clock_.MonotonicMs();
    while (clock_.MonotonicMs() - start < static_cast<std::int64_t>(seconds * 1000)) {
        pump_.process();
        PauseBriefly();
    }
}

bool PppDialup::Dial(const std::string& name, int timeoutSeconds) {
    lastError_.clear();
    if (name.empty() || IsConnected(name)) return true;
    if (!IsValidPeerName(name)) {
        lastError_ = "nome connessione non valido: " + name;
        return false;
    }
    if (!IsExecutable(paths_.pppdCommand)) {
        lastError_ = "pppd non disponibile: " + paths_.pppdCommand;
        return false;
    }
    if (!IsRegularFile(paths_.peersDir + "/" + name)) {
        lastError_ = "connessione sconosciuta: " + name;
        return false;
    }

    std::vector<std::string> args = {paths_.pppdCommand, "call", name, "linkname", name};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (::posix_spawn(&child, paths_.pppdCommand.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        lastError_ = std::string("avvio pppd fallito: ") + std::strerror(errno);
        return false;
    }

    // pppd stays in the foreground until the link is up, then detaches (its first process ends).
    const auto start = clock_.MonotonicMs();
    bool ended = false;
    while (!ended) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) {
            ended = true;
            break;
        }
        if (clock_.MonotonicMs() - start >= static_cast<std::int64_t>(timeoutSeconds) * 1000) break;
        pump_.process();
        PauseBriefly();
    }
    bool result = IsConnected(name);
    if (!ended) {
        // Still dialling at the limit: stop it, so no link comes up behind the caller's back.
        ::kill(child, SIGTERM);
        for (int i = 0; i < 2000; ++i) {
            int status = 0;
            if (::waitpid(child, &status, WNOHANG) == child) {
                ended = true;
                break;
            }
            PauseBriefly();
        }
        if (!ended) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
        if (!result) HangUp(name);
        result = IsConnected(name);
    }
    if (!result && lastError_.empty()) lastError_ = "connessione non riuscita: " + name;
    WaitSeconds(5);
    return result;
}

bool PppDialup::HangUp(const std::string& name) {
    if (name.empty()) return true;
    const auto pid = RunningPid(name, false);
    if (!pid) return false;
    return ::kill(*pid, SIGTERM) == 0;
}

}  // namespace morven
