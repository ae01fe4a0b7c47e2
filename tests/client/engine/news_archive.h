// News archives as a wholesaler's server makes them: `tar -C folder -cf - members... | gzip`, by GNU tar and
// gzip at run time, for the tests that unpack them with the real library.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace morven::testing {

// Starts a program with its standard input and output on the given descriptors (-1: inherited).
inline pid_t Spawn(const std::vector<std::string>& argv, int in, int out, const std::vector<int>& closeInChild) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (in >= 0) dup2(in, 0);
        if (out >= 0) dup2(out, 1);
        for (int fd : closeInChild) close(fd);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

inline int Wait(pid_t pid) {
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// `tar -C folder -cf - [options...] members... | gzip > gz`. Options such as "-P" keep names as given
// (a hostile "../name" member).
inline bool TarGz(const std::filesystem::path& folder, const std::vector<std::string>& members,
                  const std::filesystem::path& gz, const std::vector<std::string>& options = {}) {
    int p[2];
    if (pipe(p) != 0) return false;
    const int outFd = open(gz.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (outFd < 0) return false;
    std::vector<std::string> tar{"tar", "-C", folder.string(), "-cf", "-"};
    tar.insert(tar.end(), options.begin(), options.end());
    tar.insert(tar.end(), members.begin(), members.end());
    const pid_t t = Spawn(tar, -1, p[1], {p[0], p[1], outFd});
    const pid_t g = Spawn({"gzip", "-c", "-n"}, p[0], outFd, {p[0], p[1], outFd});
    close(p[0]);
    close(p[1]);
    close(outFd);
    const int tarStatus = Wait(t), gzipStatus = Wait(g);
    return tarStatus == 0 && gzipStatus == 0;
}

inline void WriteBytes(const std::filesystem::path& f, const std::string& bytes) {
    std::filesystem::create_directories(f.parent_path());
    std::ofstream(f, std::ios::binary) << bytes;
}

inline std::string ReadBytes(const std::filesystem::path& f) {
    std::ifstream in(f, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace morven::testing
