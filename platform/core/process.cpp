#include "platform/core/process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace morven {
namespace {

using SteadyClock = std::chrono::steady_clock;

int DecodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

std::int64_t MsLeft(SteadyClock::time_point deadline) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
}

}  // namespace

bool ProcessRunning(int pid, int* exitCode) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == 0) return true;
    if (r == pid && exitCode) *exitCode = DecodeStatus(status);
    return false;
}

bool WaitProcess(int pid, std::int64_t timeoutMs, int* exitCode) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, timeoutMs < 0 ? 0 : WNOHANG);
        if (r == pid) {
            if (exitCode) *exitCode = DecodeStatus(status);
            return true;
        }
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (MsLeft(deadline) <= 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

ProcessResult StartProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    ProcessResult result;
    if (argv.empty() || argv[0].empty()) {
        result.error = "no program given";
        return result;
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    const bool capture = options.wait && options.captureOutput;
    int pipeFd[2] = {-1, -1};
    if (capture && pipe2(pipeFd, O_CLOEXEC) != 0) {
        result.error = std::string("pipe: ") + std::strerror(errno);
        return result;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (capture) {
        posix_spawn_file_actions_adddup2(&actions, pipeFd[1], STDOUT_FILENO);
    }
    if (!options.workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The child starts with default signal dispositions and an empty mask, whatever this process set.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (capture) close(pipeFd[1]);
    if (rc != 0) {
        if (capture) close(pipeFd[0]);
        result.error = argv[0] + ": " + std::strerror(rc);
        return result;
    }
    result.started = true;
    result.pid = pid;
    if (!options.wait) return result;

    const bool limited = options.timeoutMs >= 0;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(limited ? options.timeoutMs : 0);

    if (capture) {
        // Read until the child closes its output or the limit passes.
        char buf[4096];
        for (;;) {
            int wait = -1;
            if (limited) {
                const auto left = MsLeft(deadline);
                if (left <= 0) break;
                wait = static_cast<int>(left);
            }
            pollfd pfd{pipeFd[0], POLLIN, 0};
            const int pr = poll(&pfd, 1, wait);
            if (pr < 0 && errno == EINTR) continue;
            if (pr <= 0) break;
            const ssize_t n = read(pipeFd[0], buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            const std::size_t room = options.maxOutput - std::min(options.maxOutput, result.output.size());
            result.output.append(buf, std::min(room, static_cast<std::size_t>(n)));
        }
        close(pipeFd[0]);
    }

    std::int64_t left = limited ? std::max<std::int64_t>(0, MsLeft(deadline)) : -1;
    int code = -1;
    if (WaitProcess(pid, left, &code)) {
        result.exited = true;
        result.exitCode = code;
        return result;
    }
    result.timedOut = true;
    if (options.killOnTimeout) {
        kill(pid, SIGKILL);
        if (WaitProcess(pid, 1000, &code)) result.exitCode = code;
    }
    return result;
}

}  // namespace morven
