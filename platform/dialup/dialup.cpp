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

PppDialup::PppDialup(DialupPaths paths) : paths_(std::move(paths)) {}

PppDialup::~PppDialup() { StopDialler(); }

std::optional<std::vector<std::string>> PppDialup::Entries() const {
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

std::vector<std::string> PppDialup::Connections() const {
    std::vector<std::string> up;
    if (const auto entries = Entries())
        for (const auto& e : *entries)
            if (IsConnected(e)) up.push_back(e);
    return up;
}

bool PppDialup::IsConnected(const std::string& name) const { return RunningPid(name, true).has_value(); }

bool PppDialup::StartDial(const std::string& name) {
    lastError_.clear();
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
    if (Dialling()) {
        lastError_ = "composizione gia' in corso: " + diallerEntry_;
        return false;
    }
    std::vector<std::string> args = {paths_.pppdCommand, "call", name, "linkname", name};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int rc = ::posix_spawn(&child, paths_.pppdCommand.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0) {
        lastError_ = std::string("avvio pppd fallito: ") + std::strerror(rc);
        return false;
    }
    dialler_ = child;
    diallerEntry_ = name;
    return true;
}

bool PppDialup::Dialling() {
    if (dialler_ <= 0) return false;
    int status = 0;
    const pid_t r = ::waitpid(dialler_, &status, WNOHANG);
    if (r == 0) return true;
    dialler_ = 0;  // ended (or not ours any more)
    return false;
}

void PppDialup::StopDialler() {
    if (!Dialling()) return;
    ::kill(dialler_, SIGTERM);
    for (int i = 0; i < 2000; ++i) {
        if (::waitpid(dialler_, nullptr, WNOHANG) == dialler_) {
            dialler_ = 0;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(dialler_, SIGKILL);
    ::waitpid(dialler_, nullptr, 0);
    dialler_ = 0;
}

bool PppDialup::HangUp(const std::string& name) {
    if (name.empty()) return true;
    bool told = false;
    if (dialler_ > 0 && diallerEntry_ == name && Dialling()) {
        StopDialler();
        told = true;
    }
    if (const auto pid = RunningPid(name, false)) told = ::kill(*pid, SIGTERM) == 0 || told;
    return told;
}

}  // namespace morven
