// A local FTP server for a test: pyftpdlib (tests/platform/ftp/ftp_server.py) on a free port of 127.0.0.1,
// serving one folder to one user. It starts with the object and is terminated with it.
#pragma once

#include "platform/core/files.h"
#include "platform/core/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace morven::testing {

class LocalFtpServer {
public:
    static constexpr const char* kUser = "farmacia";
    static constexpr const char* kPassword = "Segreta!77";

    // `root` is the server's folder (created); `onUpload` rules "NAME=SOURCE=ANSWER" (see the script).
    explicit LocalFtpServer(const std::string& root, std::vector<std::string> onUpload = {}) : root_(root) {
        std::filesystem::create_directories(root_);
        const std::string portFile = root_ + ".port";
        std::filesystem::remove(portFile);
        std::vector<std::string> argv = {"/usr/bin/python3", std::string(MORVEN_SOURCE_DIR) + "/tests/platform/ftp/ftp_server.py",
                                         "--root", root_, "--user", kUser, "--password", kPassword,
                                         "--port-file", portFile};
        for (const auto& r : onUpload) {
            argv.push_back("--on-upload");
            argv.push_back(r);
        }
        const ProcessResult r = StartProcess(argv);
        if (!r.started) {
            ADD_FAILURE() << "FTP server not started: " << r.error;
            return;
        }
        pid_ = r.pid;
        // Start-up of the server process itself (not a protocol pause): up to 20 s on a busy machine.
        for (int i = 0; i < 2000 && port_ == 0; ++i) {
            std::string text;
            if (ReadWholeFile(portFile, text) && !text.empty()) {
                port_ = std::stoi(text);
                break;
            }
            if (!ProcessRunning(pid_)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (port_ == 0) ADD_FAILURE() << "FTP server did not start listening";
    }
    ~LocalFtpServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            if (!WaitProcess(pid_, 5000)) {
                ::kill(pid_, SIGKILL);
                WaitProcess(pid_, 5000);
            }
        }
    }
    LocalFtpServer(const LocalFtpServer&) = delete;
    LocalFtpServer& operator=(const LocalFtpServer&) = delete;

    int Port() const { return port_; }
    const std::string& Root() const { return root_; }
    std::string File(const std::string& name) const { return root_ + "/" + name; }

private:
    std::string root_;
    int pid_ = 0;
    int port_ = 0;
};

// Maps port 21 of the program to the server's port for as long as it lives.
class Ftp21Map {
public:
    explicit Ftp21Map(int port) { ::setenv("MORVEN_FTP21", std::to_string(port).c_str(), 1); }
    ~Ftp21Map() { ::unsetenv("MORVEN_FTP21"); }
};

}  // namespace morven::testing
