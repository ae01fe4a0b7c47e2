// The dial-up entries against a fake pppd: a shell script that records its arguments and, by the peer's
// name, brings the "link" up (writes the link pid file and detaches), fails, or keeps dialling.
#include "platform/dialup/dialup.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace morven {
namespace {

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class DialupTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("dialup_test_" + std::to_string(::getpid()) + "_" + morven::testing::CurrentTestFolderName());
        fs::remove_all(root_);
        fs::create_directories(root_ / "peers");
        fs::create_directories(root_ / "run");
        for (const char* peer : {"isp-ok", "isp-fail", "isp-slow"}) std::ofstream(root_ / "peers" / peer) << "# peer\n";
        script_ = root_ / "pppd";
        std::ofstream(script_) << "#!/bin/sh\n"
                                  "echo \"$*\" >> '" << (root_ / "calls.log").string() << "'\n"
                                  "pidfile='" << (root_ / "run").string() << "/ppp-'\"$4\"'.pid'\n"
                                  "case \"$2\" in\n"
                                  "  isp-ok) sleep 600 </dev/null >/dev/null 2>&1 &\n"
                                  "          printf '%s\\nppp0\\n' $! > \"$pidfile\"; exit 0 ;;\n"
                                  "  isp-slow) exec sleep 600 ;;\n"
                                  "  *) exit 1 ;;\n"
                                  "esac\n";
        fs::permissions(script_, fs::perms::owner_all);
        paths_ = {script_.string(), (root_ / "peers").string(), (root_ / "run").string()};
    }
    void TearDown() override {
        PppDialup d(paths_);
        d.HangUp("isp-ok");
        fs::remove_all(root_);
    }

    std::string Calls() const { return ReadAll(root_ / "calls.log"); }

    // Real processes: give them real time (bounded) to end.
    static bool Eventually(const std::function<bool()>& f) {
        for (int i = 0; i < 3000; ++i) {
            if (f()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    fs::path root_, script_;
    DialupPaths paths_;
};

TEST_F(DialupTest, ListsPeerFilesSortedAndSkipsNamesPppdCannotTake) {
    std::ofstream(root_ / "peers" / ".hidden") << "";
    std::ofstream(root_ / "peers" / "bad name") << "";
    fs::create_directories(root_ / "peers" / "subdir");
    PppDialup d(paths_);
    const auto list = d.Entries();
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(*list, (std::vector<std::string>{"isp-fail", "isp-ok", "isp-slow"}));
    EXPECT_TRUE(d.Connections().empty());
}

TEST_F(DialupTest, WithoutPppdThereAreNoEntriesAndDiallingFails) {
    paths_.pppdCommand = (root_ / "no-such-pppd").string();
    PppDialup d(paths_);
    EXPECT_FALSE(d.Entries().has_value());
    EXPECT_FALSE(d.StartDial("isp-ok"));
    EXPECT_FALSE(d.LastError().empty());
    EXPECT_FALSE(d.Dialling());
    EXPECT_FALSE(fs::exists(root_ / "calls.log"));
}

TEST_F(DialupTest, DialBringsTheLinkUpAndHangUpEndsIt) {
    PppDialup d(paths_);
    EXPECT_FALSE(d.IsConnected("isp-ok"));
    ASSERT_TRUE(d.StartDial("isp-ok"));
    EXPECT_TRUE(Eventually([&] { return !d.Dialling(); }));
    EXPECT_EQ(Calls(), "call isp-ok linkname isp-ok\n");
    EXPECT_TRUE(d.IsConnected("isp-ok"));
    EXPECT_FALSE(d.IsConnected("ISP-OK"));  // names are compared exactly
    EXPECT_EQ(d.Connections(), std::vector<std::string>{"isp-ok"});
    EXPECT_TRUE(d.HangUp("isp-ok"));
    EXPECT_TRUE(Eventually([&] { return !d.IsConnected("isp-ok"); }));
    EXPECT_FALSE(d.HangUp("isp-ok"));  // nothing left to hang up
    EXPECT_TRUE(d.HangUp(""));
}

TEST_F(DialupTest, FailedDiallerEndsAndHangUpStopsOneStillTrying) {
    PppDialup d(paths_);
    ASSERT_TRUE(d.StartDial("isp-fail"));
    EXPECT_TRUE(Eventually([&] { return !d.Dialling(); }));
    EXPECT_FALSE(d.IsConnected("isp-fail"));

    ASSERT_TRUE(d.StartDial("isp-slow"));
    EXPECT_TRUE(d.Dialling());
    EXPECT_FALSE(d.StartDial("isp-ok"));  // one dialler at a time
    EXPECT_TRUE(Eventually([&] { return Calls().find("isp-slow") != std::string::npos; }));
    EXPECT_TRUE(d.HangUp("isp-slow"));
    EXPECT_FALSE(d.Dialling());
    EXPECT_EQ(Calls(), "call isp-fail linkname isp-fail\ncall isp-slow linkname isp-slow\n");
}

TEST_F(DialupTest, InvalidEntryNamesNeverReachTheDialler) {
    PppDialup d(paths_);
    for (const std::string name : {"../peers/isp-ok", "a/b", "isp ok", "..", ".isp", "-isp", "isp;rm", "isp$(x)",
                                   "unknown-peer", ""}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(d.StartDial(name));
        EXPECT_FALSE(d.IsConnected(name));
    }
    EXPECT_FALSE(fs::exists(root_ / "calls.log"));
}

TEST(PeerNameTest, Rules) {
    struct Row {
        const char* name;
        bool ok;
    } rows[] = {{"isp", true},      {"Telecom_2.b+c@x", true}, {"", false},     {"a b", false},
                {"a/b", false},     {"..", false},             {"a..b", false}, {".a", false},
                {"-a", false},      {"a\tb", false},           {"a\"b", false}, {"\xe8", false}};
    for (const auto& r : rows) EXPECT_EQ(IsValidPeerName(r.name), r.ok) << r.name;
    EXPECT_FALSE(IsValidPeerName(std::string(65, 'a')));
}

}  // namespace
}  // namespace morven
