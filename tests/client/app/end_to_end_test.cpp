// The real MorvenClient binary in a batch run (/BLKRUN:) against the wholesaler simulator: the order goes
// out, the answer files are written, and the program ends by itself with MorvenClient.end.
#include "tools/simulator/simulator.h"

#include "platform/core/files.h"
#include "platform/core/process.h"
#include "tests/client/app/run_client.h"
#include "tests/client/session/low_port_relay.h"
#include "tests/client/session/session_scripts.h"
#include "tests/peers/peers.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

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

    // The program's pauses (the wait before the order, the input drains) on a clock twenty times faster.
    const ProcessResult r = morven::testing::EseguiMorvenClient(app.path(), {"/BLKRUN:01"}, 20, 120000);
    s.Ferma();
    server.join();
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_TRUE(r.exited);

    std::string log;
    ReadWholeFile(app / "MorvenClient.log", log);
    // The program makes the call itself: a run without the call driver is a failure, not a skip.
    EXPECT_EQ(log.find("SceltaChiamata non disponibile"), std::string::npos) << log;

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

// A configuration-only run opens the settings window alone; without a display it saves the window's picture
// and leaves it unchanged, which ends the run with MorvenClient.end and writes no settings file.
TEST(EndToEnd, ConfigurationRunShowsTheSettingsWindowAndEnds) {
    // With a picture asked for, and without: where nobody can see the window there is nobody to wait for.
    for (const bool foto : {true, false}) {
        SCOPED_TRACE(foto ? "picture" : "no picture");
        morven::testing::TempDir app;
        ReplaceFileAtomically(app / "MorvenClient.end", "old\r\n");
        if (foto) setenv("MORVEN_SCREENSHOT", (app.path() + "/impostazioni.png").c_str(), 1);
        const ProcessResult r = morven::testing::EseguiMorvenClient(app.path(), {"/BLKCFG:0003", "X=1"}, 0, 60000);
        unsetenv("MORVEN_SCREENSHOT");
        ASSERT_TRUE(r.started) << r.error;
        EXPECT_TRUE(r.exited);
        EXPECT_FALSE(r.timedOut);
        std::string log, fine, png;
        ReadWholeFile(app / "MorvenClient.log", log);
        ASSERT_TRUE(ReadWholeFile(app / "MorvenClient.end", fine)) << log;
        EXPECT_NE(fine, "old\r\n");  // start-up removed the old marker, the end wrote a new one
        if (foto) {
            ASSERT_TRUE(ReadWholeFile(app / "impostazioni.png", png)) << log;
            EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
        } else {
            EXPECT_NE(log.find("FrmImpostazioni :nessuno schermo"), std::string::npos) << log;
        }
        EXPECT_FALSE(FileExists(app / "MvnConn0003.par"));
        EXPECT_TRUE(std::filesystem::is_directory(app / "news"));
    }
}

// The session logs of a run (log/<day>/*.log), for the failure messages.
std::string LogSessioni(const std::string& app) {
    std::string tutto;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(app + "/log", ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::string s;
        if (it->is_regular_file() && ReadWholeFile(it->path().string(), s)) tutto += s;
    }
    return tutto;
}

// A loopback port of the settings' range (below 32768) that nobody listens on.
int PortaChiusa() {
    for (int porta = 31000; porta > 20000; porta -= 7)
        if (morven::testing::relay_detail::Free(porta)) return porta;
    return 1;
}

// A batch run that fails must end all the same: the caller waits for MorvenClient.end, and nobody is there
// to click the message box that reports the failure (offscreen, every box answers by itself and logs it).
TEST(EndToEnd, FailingBatchRunsEndWithTheEndMarker) {
    enum class Linea { Nessuna, Chiusa, ChiudeDopoTestata, ModemAssente };
    const struct {
        const char* caso;
        bool impostazioni;
        Linea linea;
        const char* ordine;
        const char* nelLog;          // function log: the failure's box, answered by itself
        const char* nelLogSessione;  // session log: how far the session went
    } casi[] = {
        {"no settings file for the slot", false, Linea::Nessuna, nullptr,
         "a \"Errore di Trasmissione\" :Il File di Configurazione non esiste", nullptr},
        {"nobody listens on the wholesaler's port", true, Linea::Chiusa, nullptr,
         "MessagBox :risposta automatica OK (1) a \"Connessione con Grossista Simulato\" :Collegamento Impossibile",
         nullptr},
        {"the wholesaler hangs up in the middle of the answer", true, Linea::ChiudeDopoTestata, nullptr, nullptr,
         "<<< Ricezione mancanti >>>"},
        {"an order line of the wrong length", true, Linea::Chiusa, "0000000000000\r\n012745168002\r\n",
         ":Il File Ordine non e' corretto", nullptr},
        {"a modem line on a serial port that does not exist", true, Linea::ModemAssente, nullptr,
         "a \"Errore Procedura\" :Si e' Verificato il seguente errore : 8002", nullptr},
    };
    for (const auto& k : casi) {
        SCOPED_TRACE(k.caso);
        morven::testing::TempDir app;
        std::unique_ptr<peers::FakeWholesaler> grossista;
        std::unique_ptr<morven::testing::LowPortRelay> rinvio;
        int porta = PortaChiusa();
        if (k.linea == Linea::ChiudeDopoTestata) {
            // The order's three records are taken, then the answer's header goes out and the line drops.
            peers::Script script;
            for (int r = 0; r < 3; ++r) {
                script.push_back(peers::ExpectRecord());
                script.push_back(peers::Send("SI"));
            }
            script.push_back(peers::Send(peers::Record(morven::testing::Testata(3))));
            script.push_back(peers::ExpectAny());
            script.push_back(peers::CloseLine());
            grossista = std::make_unique<peers::FakeWholesaler>(std::vector<peers::Script>{script});
            rinvio = std::make_unique<morven::testing::LowPortRelay>(grossista->Port());
            porta = rinvio->Port();
        }
        std::string impostazioni = Impostazioni(porta, "NO");
        if (k.linea == Linea::ModemAssente) {
            // The same slot over the modem, on COM7, which the port map points at a device that is not there.
            const auto at = impostazioni.find("Mode      :INTERNET");
            impostazioni.replace(at, 19, "Mode      :NORMALE\r\nCommPort  :7\r\nPhone 1   :0123456");
            ReplaceFileAtomically(app / "serialports.txt", "com7 = " + (app / "nessun-modem") + "\n");
        }
        if (k.impostazioni) ReplaceFileAtomically(app / "MvnConn01.par", impostazioni);
        ReplaceFileAtomically(app / "ordseq.txt",
                              k.ordine ? k.ordine : "0000000000000\r\n0127451680002\r\n0047631140010\r\n");
        ReplaceFileAtomically(app / "MorvenClient.end", "old\r\n");

        // Retries, pauses and the boxes' time limits on a clock fifty times faster.
        const ProcessResult r = morven::testing::EseguiMorvenClient(app.path(), {"/BLKRUN:01"}, 50, 60000);
        if (grossista) grossista->Stop();

        ASSERT_TRUE(r.started) << r.error;
        EXPECT_TRUE(r.exited);
        EXPECT_FALSE(r.timedOut);
        std::string log, fine;
        ReadWholeFile(app / "MorvenClient.log", log);
        ASSERT_TRUE(ReadWholeFile(app / "MorvenClient.end", fine)) << log;
        EXPECT_NE(fine, "old\r\n") << log;  // written by this run's end
        const std::string sessioni = LogSessioni(app.path());
        if (k.nelLog) {
            EXPECT_NE(log.find(k.nelLog), std::string::npos) << log << sessioni;
        }
        if (k.nelLogSessione) {
            EXPECT_NE(sessioni.find(k.nelLogSessione), std::string::npos) << log << sessioni;
        }
        if (grossista) {
            EXPECT_EQ(grossista->Connections(), 1) << log;  // the order went out once
        }
    }
}

// Started as the management software starts it on a server: no display, no Qt platform named, further
// switches after the slot. The program picks the offscreen platform itself, says so, and still ends.
TEST(EndToEnd, HeadlessBatchRunSetsItselfUpAndEnds) {
    morven::testing::TempDir app;
    ReplaceFileAtomically(app / "ordseq.txt", "0000000000000\r\n0127451680002\r\n");
    std::vector<std::pair<std::string, std::string>> salvate;
    for (const char* nome : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const char* v = std::getenv(nome)) salvate.emplace_back(nome, v);
        unsetenv(nome);
    }
    setenv("MORVEN_APPDIR", app.path().c_str(), 1);
    setenv("MORVEN_COM_REGISTRY", (app.path() + "/com-registry.reg").c_str(), 1);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    ProcessOptions o;
    o.wait = true;
    o.timeoutMs = 60000;
    const ProcessResult r =
        StartProcess({std::string(MORVEN_BINARY_DIR) + "/bin/MorvenClient", "/BLKRUN:01", "/NONUMBER"}, o);
    unsetenv("MORVEN_APPDIR");
    unsetenv("MORVEN_COM_REGISTRY");
    for (const auto& [nome, valore] : salvate) setenv(nome.c_str(), valore.c_str(), 1);

    ASSERT_TRUE(r.started) << r.error;
    EXPECT_TRUE(r.exited);
    EXPECT_FALSE(r.timedOut);
    std::string log;
    ReadWholeFile(app / "MorvenClient.log", log);
    EXPECT_TRUE(std::filesystem::exists(app / "MorvenClient.end")) << log;
    EXPECT_NE(log.find("[FUNZIONE : main]nessuno schermo: esecuzione batch con la piattaforma offscreen"),
              std::string::npos)
        << log;
    // Slot "01" was read through the blank after it: its missing settings file is what ended the run.
    EXPECT_NE(log.find("Il File di Configurazione non esiste"), std::string::npos) << log;
}

}  // namespace
}  // namespace morven
