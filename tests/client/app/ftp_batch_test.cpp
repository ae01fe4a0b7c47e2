// The real MorvenClient in a batch run by FTP, as the management software starts it: the slot works by FTP
// on port 21 (mapped by the FTP layer to a local pyftpdlib server), the order goes up as an IFCK request,
// the wholesaler's answer comes down, becomes the older answer work files, and the program ends by itself
// with MorvenClient.end.
#include "platform/core/files.h"
#include "platform/core/process.h"
#include "tests/client/app/run_client.h"
#include "tests/platform/core/temp_dir.h"
#include "tests/platform/ftp/local_ftp_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace morven {
namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
    std::string s;
    ReadWholeFile(path, s);
    return s;
}

std::string SessionLogs(const std::string& app) {
    std::string all;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(app + "/log", ec); it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_regular_file()) all += Read(it->path().string());
    return all;
}

TEST(FtpBatch, AnOrderByFtpEndsWithTheConvertedAnswerAndTheEndMarker) {
    morven::testing::TempDir dir;
    const std::string app = dir / "app";
    fs::create_directories(app);
    const std::string answer = std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/answers/IFCK02_OUT_T000.DAT";
    morven::testing::LocalFtpServer server(dir / "server", {"IFCK02_IN_MORVEN.DAT=" + answer + "=IFCK02_OUT_MORVEN.DAT"});
    ASSERT_NE(server.Port(), 0);

    std::string settings;
    for (const auto& [k, v] : std::initializer_list<std::pair<std::string, std::string>>{
             {"Connect", "Grossista FTP"}, {"Code", "1234567"}, {"User", morven::testing::LocalFtpServer::kUser},
             {"Password", morven::testing::LocalFtpServer::kPassword}, {"Mode", "FTP"}, {"Ip1", "127.0.0.1"},
             {"Interface", "ORDINE"}, {"DispOrdine", "NO"}, {"ModeIFCK", "YES"}, {"Comp-MVN", "YES"},
             {"FTP-DELAY", "2"}, {"FTP-RETRY", "3"}}) {
        std::string key = k;
        key.resize(10, ' ');
        settings += key + ":" + v + "\r\n";
    }
    ReplaceFileAtomically(app + "/MvnConn01.par", settings);
    ReplaceFileAtomically(app + "/ordseq.txt", "0000000004711\r\n0123456780005\r\n0234567890010\r\n");

    ProcessResult r;
    {
        // The polls' pauses on a clock twenty times faster.
        morven::testing::Ftp21Map map(server.Port());
        r = morven::testing::EseguiMorvenClient(app, {"/BLKRUN:01"}, 20, 60000);
    }
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_TRUE(r.exited);
    EXPECT_FALSE(r.timedOut);

    const std::string functionLog = Read(app + "/MorvenClient.log");
    const std::string sessionLog = SessionLogs(app);
    EXPECT_TRUE(fs::exists(app + "/MorvenClient.end")) << functionLog << sessionLog;
    EXPECT_FALSE(fs::exists(app + "/abort.dat")) << functionLog;
    // The request as it went up and as it was built.
    const std::string request = Read(app + "/IFCK02_IN_MORVEN.DAT");
    EXPECT_EQ(request.rfind("T", 0), 0u) << request;
    EXPECT_NE(request.find("P012345678"), std::string::npos) << request;
    EXPECT_EQ(Read(server.File("IFCK02_IN_MORVEN.DAT")), request);
    // The answer and its conversion.
    EXPECT_EQ(Read(app + "/IFCK02_OUT_MORVEN.DAT"), Read(answer));
    EXPECT_EQ(Read(app + "/ordseq2006.man"), Read(answer));
    EXPECT_NE(Read(app + "/ordseq.rst").find("0234567890005\r\n"), std::string::npos);
    EXPECT_EQ(Read(app + "/msgrx.txt"), "Consegna prevista domani mattina\r\n");
    EXPECT_NE(sessionLog.find("FTP:PASS ****"), std::string::npos) << sessionLog;
    EXPECT_EQ(sessionLog.find(morven::testing::LocalFtpServer::kPassword), std::string::npos);
    EXPECT_EQ(functionLog.find(morven::testing::LocalFtpServer::kPassword), std::string::npos);
}

}  // namespace
}  // namespace morven
