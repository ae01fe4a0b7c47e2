#include "platform/core/desktop.h"
#include "platform/core/process.h"

#include "tests/platform/core/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace morven {
namespace {

using morven::testing::TempDir;

TEST(Process, PassesArgumentsUntouchedAndCapturesOutput) {
    ProcessOptions opt;
    opt.wait = true;
    opt.captureOutput = true;
    opt.timeoutMs = 10000;
    // A shell metacharacter in an argument is only a byte: nothing interprets it.
    const auto r = StartProcess({"printf", "%s|%s", "a b; echo x", "$HOME"}, opt);
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "a b; echo x|$HOME");
}

TEST(Process, ReportsExitCodeWorkingFolderAndMissingProgram) {
    TempDir dir;
    ProcessOptions opt;
    opt.wait = true;
    opt.timeoutMs = 10000;
    opt.workingDirectory = dir.path();
    const auto r = StartProcess({"sh", "-c", "touch made; exit 3"}, opt);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 3);
    std::ifstream made(dir / "made");
    EXPECT_TRUE(made.good());

    const auto missing = StartProcess({"no-such-program-here"}, opt);
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(missing.error.empty());
    EXPECT_FALSE(StartProcess({}, opt).started);
}

TEST(Process, WaitLimitKillsAStuckChild) {
    ProcessOptions opt;
    opt.wait = true;
    opt.timeoutMs = 50;
    opt.captureOutput = true;
    const auto r = StartProcess({"sleep", "30"}, opt);
    ASSERT_TRUE(r.started);
    EXPECT_TRUE(r.timedOut);
    EXPECT_FALSE(r.exited);
    EXPECT_EQ(r.exitCode, 128 + 9);
}

TEST(Process, StartWithoutWaitThenPoll) {
    const auto r = StartProcess({"sh", "-c", "exit 5"});
    ASSERT_TRUE(r.started);
    int code = -1;
    ASSERT_TRUE(WaitProcess(r.pid, 10000, &code));
    EXPECT_EQ(code, 5);
    EXPECT_FALSE(ProcessRunning(r.pid));
}

class DefaultBrowser : public ::testing::Test {
protected:
    void SetUp() override {
        oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        mkdir((dir_ / "bin").c_str(), 0755);
        mkdir((dir_ / "share").c_str(), 0755);
        mkdir((dir_ / "share/applications").c_str(), 0755);
        setenv("XDG_DATA_HOME", (dir_ / "share").c_str(), 1);
        setenv("XDG_DATA_DIRS", (dir_ / "none").c_str(), 1);
        setenv("PATH", ((dir_ / "bin") + ":/usr/bin:/bin").c_str(), 1);
    }
    void TearDown() override { setenv("PATH", oldPath_.c_str(), 1); }

    void Script(const std::string& name, const std::string& body) {
        const std::string p = dir_ / ("bin/" + name);
        std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
        chmod(p.c_str(), 0755);
    }

    TempDir dir_;
    std::string oldPath_;
};

TEST_F(DefaultBrowser, ResolvesTheDesktopEntryToAProgramOnPath) {
    Script("xdg-mime", "echo web.desktop");
    Script("webby", "exit 0");
    std::ofstream(dir_ / "share/applications/web.desktop")
        << "[Desktop Entry]\nName=Web\nExec=webby %u\n[Desktop Action new]\nExec=other\n";
    int code = -1;
    EXPECT_EQ(FindDefaultBrowser(code), dir_ / "bin/webby");
    EXPECT_EQ(code, 0);
}

TEST_F(DefaultBrowser, EmptyWhenNothingOpensPages) {
    int code = -1;
    Script("xdg-mime", "exit 4");
    EXPECT_EQ(FindDefaultBrowser(code), "");
    EXPECT_EQ(code, 2);
    Script("xdg-mime", "echo");
    EXPECT_EQ(FindDefaultBrowser(code), "");
    EXPECT_EQ(code, 1);
    Script("xdg-mime", "echo gone.desktop");
    EXPECT_EQ(FindDefaultBrowser(code), "");
    EXPECT_EQ(code, 1);
}

TEST(Desktop, ApplicationFolderIsTheExecutablesUnlessTheEnvironmentSaysOtherwise) {
    unsetenv("MORVEN_APPDIR");
    EXPECT_EQ(ApplicationFolder(), std::filesystem::canonical(std::string(MORVEN_BINARY_DIR) + "/bin").string());
    setenv("MORVEN_APPDIR", "/srv/morven/", 1);
    EXPECT_EQ(ApplicationFolder(), "/srv/morven");
    unsetenv("MORVEN_APPDIR");
}

TEST(Desktop, TempDirectoryEndsInSlash) {
    const std::string t = TempDirectory();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.back(), '/');
}

}  // namespace
}  // namespace morven
