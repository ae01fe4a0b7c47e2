// Starting other programs. A program is always started with an argument vector (never through a shell
// string built from data); the first element is looked up on PATH when it holds no "/". The caller may wait
// for the end with a limit and may capture what the program writes on its standard output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morven {

struct ProcessOptions {
    std::string workingDirectory;   // empty: the caller's
    bool wait = false;              // wait for the program to end
    std::int64_t timeoutMs = -1;    // with wait: longest wait, below 0 no limit
    bool killOnTimeout = true;      // with wait: a program still running at the limit is killed
    bool captureOutput = false;     // with wait: collect standard output into ProcessResult::output
    std::size_t maxOutput = 1 << 20;  // bytes of output kept; the rest is read and dropped
};

struct ProcessResult {
    bool started = false;   // the program could be started
    int pid = 0;            // its process id (0 when not started)
    bool exited = false;    // it ended inside the wait
    int exitCode = -1;      // exit status; 128 + signal number when killed by a signal
    bool timedOut = false;  // the wait reached its limit
    std::string output;     // captured standard output
    std::string error;      // why it could not be started or waited for
};

// Starts argv[0] with the arguments argv[1..]. Without wait the child is left running and the caller may
// use WaitProcess later; a child that is never waited for is reaped by the system when this process ends.
ProcessResult StartProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// Waits for a child started by StartProcess(wait = false). Returns true when it ended within the limit.
bool WaitProcess(int pid, std::int64_t timeoutMs, int* exitCode = nullptr);

// True while the child runs (not yet ended). A child that ended is reaped by this call.
bool ProcessRunning(int pid, int* exitCode = nullptr);

}  // namespace morven
