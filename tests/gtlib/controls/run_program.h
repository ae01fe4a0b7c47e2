// Runs a program with an argument vector and collects its standard output.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

struct HostRun {
    int status;
    std::string out;
};

inline HostRun RunProgram(const char* program, const std::vector<std::string>& args) {
    int pipefd[2];
    if (pipe(pipefd) != 0) return {-1, ""};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipefd[1], 1);
        close(pipefd[0]);
        close(pipefd[1]);
        std::vector<char*> argv{const_cast<char*>(program)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(program, argv.data());
        _exit(127);
    }
    close(pipefd[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(pipefd[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    close(pipefd[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}

