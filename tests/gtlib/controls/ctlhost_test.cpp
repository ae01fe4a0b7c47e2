// The control host program, run as a separate process against a registry of the test's own.
#ifdef CTLHOST
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "temp_registry.h"

namespace {

struct HostRun {
    int status;
    std::string out;
};

HostRun RunHost(const std::vector<std::string>& args) {
    int pipefd[2];
    if (pipe(pipefd) != 0) return {-1, ""};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipefd[1], 1);
        close(pipefd[0]);
        close(pipefd[1]);
        std::vector<char*> argv{const_cast<char*>(CTLHOST)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(CTLHOST, argv.data());
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

bool Has(const std::string& out, const std::string& line) { return out.find(line + "\n") != std::string::npos; }

}  // namespace

TEST(CtlHost, RegistersCreatesSetsAndReadsBack) {
    TempRegistry reg;
    const HostRun r = RunHost({"--registry", reg.path(), "--register", SBGTACTX_MODULE, "--progid", "ugtactx.ugtactx.1",
                           "--set", "GTFile=/tmp/notizie.tar", "--set", "bOverwriteFlag=true", "--set",
                           "ugtSubOptions=258", "--action", "0", "--get", "GTFile", "--get", "bOverwriteFlag",
                           "--get", "ugtSubOptions", "--get", "TarIndex"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, "created ugtactx.ugtactx.1")) << r.out;
    EXPECT_TRUE(Has(r.out, "action 0: 0x00000000")) << r.out;
    EXPECT_TRUE(Has(r.out, "ErrorCode=0")) << r.out;
    EXPECT_TRUE(Has(r.out, "GTFile=\"/tmp/notizie.tar\"")) << r.out;
    EXPECT_TRUE(Has(r.out, "bOverwriteFlag=true")) << r.out;
    EXPECT_TRUE(Has(r.out, "ugtSubOptions=258")) << r.out;
    EXPECT_TRUE(Has(r.out, "TarIndex=-1")) << r.out;
}

TEST(CtlHost, ReportsFailuresAndMissingEngines) {
    TempRegistry reg;
    ASSERT_EQ(RunHost({"--registry", reg.path(), "--register", SBGTACTX_MODULE}).status, 0);
    const HostRun unknown = RunHost({"--registry", reg.path(), "--progid", "nothing.here"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(Has(unknown.out, "create nothing.here: 0x80040154")) << unknown.out;
    const HostRun badName = RunHost({"--registry", reg.path(), "--progid", "gtactx.gtactx.1", "--get", "NoSuch"});
    EXPECT_EQ(badName.status, 1);
    EXPECT_TRUE(Has(badName.out, "NoSuch: 0x80020006")) << badName.out;
    EXPECT_EQ(RunHost({"--bogus"}).status, 2);
}
#endif
