// The real MorvenClient binary in a batch run (/BLKRUN:) against the wholesaler simulator: the order goes
// out, the answer files are written, and the program ends by itself with MorvenClient.end.
#include "tools/simulator/simulator.h"

#include "platform/core/files.h"
#include "platform/core/process.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

namespace morven {
namespace {

std::string Impostazioni(int porta, const char* visualizza) {
    const std::pair<const char*, std::string> righe[] = {
        {"Connect", "Grossista Simulato"}, {"Code", "CLIENTE01"}, {"Mode", "INTERNET"},
        {"Ip1", "127.0.0.1"}, {"Porta", std::to_string(porta)}, {"AutoIncPor", "NO"},
        {"Interface", "DESCRIZ-ALL"}, {"DispOrdine", visualizza}, {"ModeIFCK", "NO"},
        {"TimeMaxOrd", "60"}, {"TMCONN-INT", "5"},
    };
    std::string s;
    for (const auto& [k, v] : righe) {
        std::string chiave = k;
        chiave.resize(10, ' ');
        s += chiave + ":" + v + "\r\n";
    }
    return s;
}

TEST(EndToEnd, BatchRunAgainstTheSimulatorWritesTheAnswersAndEnds) {
    morven::testing::TempDir app;
    simulator::Simulatore s;
    ReplaceFileAtomically(app / "MvnConn01.par", Impostazioni(s.Porta(), "NO"));
    const std::vector<std::string> ordine = {"0127451680002", "0047631140010", "0234510940001"};
    std::string txt = "0000000000000\r\n";
    for (const auto& r : ordine) txt += r + "\r\n";
    ReplaceFileAtomically(app / "ordseq.txt", txt);
    std::filesystem::create_directories(app / "HTML");
    ReplaceFileAtomically(app / "HTML/index.htm", "<html><body>Morven</body></html>");

    simulator::EsitoSessione esito;
    std::thread server([&] { esito = s.ServiUna(60000); });

    setenv("MORVEN_APPDIR", app.path().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    // The program's pauses (the wait before the order, the input drains) on a clock twenty times faster.
    setenv("MORVEN_CLOCK_SCALE", "20", 1);
    ProcessOptions o;
    o.wait = true;
    o.timeoutMs = 120000;
    const ProcessResult r = StartProcess({std::string(MORVEN_BINARY_DIR) + "/bin/MorvenClient", "/BLKRUN:01"}, o);
    unsetenv("MORVEN_APPDIR");
    unsetenv("MORVEN_CLOCK_SCALE");
    s.Ferma();
    server.join();
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_TRUE(r.exited);

    std::string log;
    ReadWholeFile(app / "MorvenClient.log", log);
    if (log.find("SceltaChiamata non disponibile") != std::string::npos)
        GTEST_SKIP() << "the call driver is not wired into MorvenClient yet";

    EXPECT_TRUE(FileExists(app / "MorvenClient.end")) << log;
    EXPECT_TRUE(esito.completa) << esito.errore << "\n" << log;
    EXPECT_EQ(esito.righeOrdine, ordine);
    std::string ma1;
    ASSERT_TRUE(ReadWholeFile(app / "ordseq.ma1", ma1)) << log;
    for (std::size_t i = 0; i < ordine.size(); ++i)
        EXPECT_NE(ma1.find(simulator::VoceRisposta(ordine[i], i) + "\r\n"), std::string::npos) << ma1;
    std::string msg;
    ReadWholeFile(app / "msgrx.txt", msg);
    EXPECT_NE(msg.find("Chiusura magazzino"), std::string::npos) << msg;
}

TEST(EndToEnd, ConfigurationRunWithoutItsWindowEndsInsteadOfWaiting) {
    morven::testing::TempDir app;
    ReplaceFileAtomically(app / "MorvenClient.end", "old\r\n");
    setenv("MORVEN_APPDIR", app.path().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    ProcessOptions o;
    o.wait = true;
    o.timeoutMs = 60000;
    const ProcessResult r = StartProcess({std::string(MORVEN_BINARY_DIR) + "/bin/MorvenClient", "/BLKCFG:0003", "X=1"}, o);
    unsetenv("MORVEN_APPDIR");
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_TRUE(r.exited);
    EXPECT_FALSE(r.timedOut);
    std::string log, fine;
    ReadWholeFile(app / "MorvenClient.log", log);
    EXPECT_NE(log.find("FrmImpostazioni"), std::string::npos) << log;
    ASSERT_TRUE(ReadWholeFile(app / "MorvenClient.end", fine));
    EXPECT_NE(fine, "old\r\n");  // start-up removed the old marker, the end wrote a new one
    EXPECT_TRUE(std::filesystem::is_directory(app / "news"));
}

}  // namespace
}  // namespace morven
