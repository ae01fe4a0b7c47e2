// The FTP client against a real FTP server on loopback (pyftpdlib): login, binary transfers both ways in
// passive and active mode, the trace with the password masked, failed downloads that leave nothing, and the
// pump turning while a transfer runs.
#include "platform/ftp/ftp_client.h"

#include "platform/core/files.h"
#include "tests/platform/core/temp_dir.h"
#include "tests/platform/ftp/local_ftp_server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace morven::platform {
namespace {

using morven::testing::LocalFtpServer;

struct Fixture : ::testing::Test {
    morven::testing::TempDir tmp;
    LocalFtpServer server{tmp / "server"};
    std::string dir = tmp / "app";
    EventPump pump;
    FtpClient ftp{&pump};
    std::vector<std::string> trace;

    void SetUp() override {
        std::filesystem::create_directories(dir);
        ASSERT_NE(server.Port(), 0);
        ftp.host = "127.0.0.1";
        ftp.port = server.Port();
        ftp.user = LocalFtpServer::kUser;
        ftp.password = LocalFtpServer::kPassword;
        ftp.trace = [this](const std::string& a, const std::string& b) { trace.push_back(a + " " + b); };
    }
    std::string Trace() const {
        std::string t;
        for (const auto& l : trace) t += l + "\n";
        return t;
    }
    std::vector<std::string> LocalFiles() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir))
            if (e.is_regular_file()) names.push_back(e.path().filename().string());
        return names;
    }
};

TEST_F(Fixture, FilesTravelByteForByteBothWaysInPassiveAndActiveMode) {
    // CR LF lines, a lone LF, a byte above 127 and a NUL: an ASCII-mode transfer would change them.
    static constexpr char kRequest[] = "0000000000000\r\n012745168\xE0\r\nlone\nend\0x";
    const std::string request(kRequest, sizeof kRequest - 1);
    for (const bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        ftp.passive = passive;
        ASSERT_TRUE(ReplaceFileAtomically(dir + "/IFCK02_IN_MORVEN.DAT", request));
        ftp.Close();
        ASSERT_EQ(ftp.Connect(), 0) << ftp.LastError() << Trace();
        ASSERT_EQ(ftp.Upload("IFCK02_IN_MORVEN.DAT", dir + "/IFCK02_IN_MORVEN.DAT"), 0) << ftp.LastError();
        std::string onServer;
        ASSERT_TRUE(ReadWholeFile(server.File("IFCK02_IN_MORVEN.DAT"), onServer));
        EXPECT_EQ(onServer, request);

        ASSERT_TRUE(ReplaceFileAtomically(server.File("IFCK02_OUT_MORVEN.DAT"), request + "answer"));
        ASSERT_EQ(ftp.Download("IFCK02_OUT_MORVEN.DAT", dir + "/IFCK02_OUT_MORVEN.DAT"), 0) << ftp.LastError();
        std::string local;
        ASSERT_TRUE(ReadWholeFile(dir + "/IFCK02_OUT_MORVEN.DAT", local));
        EXPECT_EQ(local, request + "answer");
        ftp.Close();
    }
    EXPECT_NE(Trace().find("TYPE I"), std::string::npos) << Trace();
    EXPECT_TRUE(Trace().find("PORT ") != std::string::npos || Trace().find("EPRT ") != std::string::npos)
        << Trace();
}

TEST_F(Fixture, TheTraceShowsCommandsAndRepliesButNeverThePassword) {
    ASSERT_EQ(ftp.Connect(), 0) << ftp.LastError();
    ftp.Close();
    ftp.password = "sbagliata";
    EXPECT_NE(ftp.Connect(), 0);
    EXPECT_FALSE(ftp.LastError().empty());
    const std::string t = Trace();
    EXPECT_NE(t.find("USER farmacia\n"), std::string::npos) << t;
    EXPECT_NE(t.find("PASS ****\n"), std::string::npos) << t;
    EXPECT_NE(t.find("230 "), std::string::npos) << t;  // the first login went through
    EXPECT_NE(t.find("530 "), std::string::npos) << t;  // the second was refused
    EXPECT_EQ(t.find(LocalFtpServer::kPassword), std::string::npos) << t;
    EXPECT_EQ(t.find("sbagliata"), std::string::npos) << t;
}

TEST_F(Fixture, AFailedOrOversizedDownloadLeavesNoFileAndKeepsAnOlderOne) {
    ASSERT_EQ(ftp.Connect(), 0) << ftp.LastError();
    EXPECT_NE(ftp.Download("IFCK02_OUT_MORVEN.DAT", dir + "/IFCK02_OUT_MORVEN.DAT"), 0);
    EXPECT_TRUE(LocalFiles().empty());  // neither the answer nor a temporary file

    ASSERT_TRUE(ReplaceFileAtomically(dir + "/IFCK01_OUT_MORVEN.DAT", "older\r\n"));
    EXPECT_NE(ftp.Download("IFCK01_OUT_MORVEN.DAT", dir + "/IFCK01_OUT_MORVEN.DAT"), 0);
    EXPECT_EQ(LocalFiles(), std::vector<std::string>{"IFCK01_OUT_MORVEN.DAT"});
    std::string kept;
    ReadWholeFile(dir + "/IFCK01_OUT_MORVEN.DAT", kept);
    EXPECT_EQ(kept, "older\r\n");

    // A file beyond the limit is refused before it is whole, and leaves nothing either.
    ASSERT_TRUE(ReplaceFileAtomically(server.File("big.dat"), std::string(300000, 'x')));
    ftp.maxDownload = 100000;
    EXPECT_EQ(ftp.Download("big.dat", dir + "/big.dat"), kFtpTooLarge);
    EXPECT_EQ(LocalFiles(), std::vector<std::string>{"IFCK01_OUT_MORVEN.DAT"});
    ftp.maxDownload = 300000;
    EXPECT_EQ(ftp.Download("big.dat", dir + "/big.dat"), 0) << ftp.LastError();
    std::filesystem::remove(dir + "/big.dat");

    // The connection is still good for the next call.
    ASSERT_TRUE(ReplaceFileAtomically(server.File("IFCK02_OUT_MORVEN.DAT"), "T000\r\n"));
    EXPECT_EQ(ftp.Download("IFCK02_OUT_MORVEN.DAT", dir + "/IFCK02_OUT_MORVEN.DAT"), 0) << ftp.LastError();
}

TEST_F(Fixture, TheEventPumpTurnsWhileATransferRuns) {
    int rounds = 0;
    ScopedPoller poller(pump, [&] { ++rounds; });
    ASSERT_TRUE(ReplaceFileAtomically(dir + "/big.dat", std::string(4 << 20, 'x')));
    ASSERT_EQ(ftp.Connect(), 0);
    ASSERT_EQ(ftp.Upload("big.dat", dir + "/big.dat"), 0) << ftp.LastError();
    EXPECT_GT(rounds, 0);
}

TEST_F(Fixture, NobodyListeningOrAnUnreadableFileIsAFailure) {
    EXPECT_NE(ftp.Upload("x.dat", dir + "/missing.dat"), 0);
    ftp.port = 1;  // nothing listens there
    ftp.timeoutSeconds = 5;
    EXPECT_NE(ftp.Connect(), 0);
}

TEST(FtpPortMap, TheEnvironmentNamesTheRealPort) {
    EXPECT_EQ(FtpClient::EffectivePort(21), 21);
    ::setenv("MORVEN_FTP21", "2121", 1);
    EXPECT_EQ(FtpClient::EffectivePort(21), 2121);
    EXPECT_EQ(FtpClient::EffectivePort(22), 22);
    ::setenv("MORVEN_FTP21", "21x", 1);
    EXPECT_EQ(FtpClient::EffectivePort(21), 21);  // not a number: the port as set
    ::unsetenv("MORVEN_FTP21");
}

}  // namespace
}  // namespace morven::platform
