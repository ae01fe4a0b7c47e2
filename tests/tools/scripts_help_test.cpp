// Every script in scripts/ answers --help with its usage and does nothing else: no build, no install, no
// package query, no folder made, no tracked file rewritten. The programs a script would run (cmake, ctest,
// apt-get, ...) are stand-ins on PATH that record being called, and every build folder a script would use is
// pointed into the test's own folder.
#include "platform/core/files.h"
#include "platform/core/process.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace morven {
namespace {

namespace fs = std::filesystem;

// Every file of a folder and what it holds, to tell whether anything in it changed.
std::vector<std::pair<std::string, std::string>> Contents(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::string s;
        if (it->is_regular_file() && ReadWholeFile(it->path().string(), s)) out.emplace_back(it->path().string(), s);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The scripts: the executable files directly in scripts/ (scripts/lib holds what they source).
std::vector<std::string> Scripts() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(std::string(MORVEN_SOURCE_DIR) + "/scripts"))
        if (e.is_regular_file() && (e.status().permissions() & fs::perms::owner_exec) != fs::perms::none)
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ScriptsTest : public ::testing::Test {
protected:
    void SetUp() override {
        stubs_ = dir_ / "stubs";
        fs::create_directories(stubs_);
        for (const char* program : {"cmake", "ctest", "ninja", "apt-get", "sudo", "dpkg-query", "xvfb-run",
                                    "python3", "clang", "g++", "git", "timeout"}) {
            const std::string path = stubs_ + "/" + program;
            ReplaceFileAtomically(path, "#!/bin/sh\necho \"" + std::string(program) + " $*\" >>\"" + (dir_ / "calls") +
                                            "\"\n");
            ::chmod(path.c_str(), 0755);
        }
        const char* path = std::getenv("PATH");
        oldPath_ = path ? path : "/usr/bin:/bin";
        setenv("PATH", (stubs_ + ":" + oldPath_).c_str(), 1);
        for (const char* v : kFolders) setenv(v, (dir_ / v).c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", oldPath_.c_str(), 1);
        for (const char* v : kFolders) unsetenv(v);
    }

    struct Run {
        ProcessResult result;
        std::string calls;
    };
    Run Start(const std::string& script, const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{std::string(MORVEN_SOURCE_DIR) + "/scripts/" + script};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        ProcessOptions o;
        o.wait = true;
        o.timeoutMs = 20000;  // only a guard against a script that went on to build: the stubs make that instant
        o.captureOutput = true;
        Run r{StartProcess(argv, o), {}};
        ReadWholeFile(dir_ / "calls", r.calls);
        fs::remove(dir_ / "calls");
        return r;
    }
    // No build folder was made.
    void ExpectNoFolders() {
        for (const char* v : kFolders) EXPECT_FALSE(fs::exists(dir_ / v)) << v;
    }

    static constexpr const char* kFolders[] = {"BUILD_DIR", "FUZZ_BUILD_DIR", "SANITIZE_BUILD_DIR",
                                               "MORVEN_DEMO_DIR"};
    morven::testing::TempDir dir_;
    std::string stubs_, oldPath_;
};

TEST_F(ScriptsTest, HelpPrintsTheUsageAndDoesNothingElse) {
    const auto scripts = Scripts();
    ASSERT_GE(scripts.size(), 8u);
    const std::string docs = std::string(MORVEN_SOURCE_DIR) + "/docs";
    const auto docsBefore = Contents(docs);
    for (const std::string& script : scripts) {
        for (const char* help : {"--help", "-h"}) {
            SCOPED_TRACE(script + " " + help);
            const Run r = Start(script, {help});
            ASSERT_TRUE(r.result.started) << r.result.error;
            EXPECT_TRUE(r.result.exited);
            EXPECT_EQ(r.result.exitCode, 0);
            EXPECT_EQ(r.result.output.rfind("usage: scripts/" + script, 0), 0u) << r.result.output;
            EXPECT_GT(r.result.output.size(), 80u) << r.result.output;  // says what it does, not only its name
            EXPECT_EQ(r.calls, "");
            ExpectNoFolders();
        }
    }
    EXPECT_EQ(Contents(docs), docsBefore);
}

// A script given an argument it does not know stops with its usage (status 2) instead of running as if the
// argument had not been given.
TEST_F(ScriptsTest, AnUnknownArgumentIsRefusedBeforeAnythingRuns) {
    const struct {
        const char* script;
        std::vector<std::string> arguments;
    } cases[] = {
        {"build", {"--release"}},
        {"setup", {"--yes"}},
        {"fuzz", {"60"}},
        {"docs-pictures", {"--only-order"}},
        {"demo", {"--pictures"}},
        {"demo", {"no-such-scenario"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.script) + " " + c.arguments.front());
        const Run r = Start(c.script, c.arguments);
        ASSERT_TRUE(r.result.started) << r.result.error;
        EXPECT_TRUE(r.result.exited);
        EXPECT_EQ(r.result.exitCode, 2);
        EXPECT_EQ(r.calls, "");
        ExpectNoFolders();
    }
}

}  // namespace
}  // namespace morven
