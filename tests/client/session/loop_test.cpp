// The state machine's own decisions on the in-memory line: first steps by mode, transfers not built in,
// the abort, the modem's attempt count, the news clean-up and the end of a session that stays on the line.
#include "client/session/loop.h"
#include "client/session/layout.h"
#include "client/engine/menu.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "client/engine/frames.h"
#include "client/engine/line_io.h"
#include "client/engine/programma.h"
#include "client/engine/testing/test_program.h"
#include "platform/core/files.h"
#include "platform/core/text.h"
#include "tests/platform/core/temp_dir.h"

namespace morven {
namespace {

namespace fs = std::filesystem;

struct LoopTest : ::testing::Test {
    testing::TempDir dir;
    TestProgram t{dir.path()};
    Programma& p = t.p;
    std::vector<std::string> ricevute;  // lines the wholesaler got
    std::vector<std::string> risposta;  // answer lines, one after each "SI" of the client

    LoopTest() {
        t.clock.SetAutoStep(50);
        auto& imp = p.impostazioni;
        imp.sConnect = "Grossista";
        imp.sCodiceCliente = "CLI001";
        imp.bModoInternet = true;
        imp.bModeIFCK = false;
        imp.nTipoInterfaccia = 2;
        imp.aIndirizzoIp = {"10.0.0.1", "", ""};
        p.percorsi.sFileLogSessione = "s.log";
        ReplaceFileAtomically(dir / "ordseq.txt", "0000000000000\r\nPRD1     0003\r\n");
    }
    std::string FunctionLog() const {
        std::string s;
        ReadWholeFile(dir / "MorvenClient.log", s);
        return s;
    }
    // A wholesaler that takes the order and then sends `risposta`.
    void Grossista() {
        t.socket.onSend = [this](FakeTcpSocket& s, std::string_view bytes) {
            const std::string line = DecodificaTcp(std::string(bytes.substr(0, bytes.size() - 2)));
            ricevute.push_back(line);
            auto send = [&s](const std::string& l) { s.Feed(CodificaTcp(l) + "\r\n"); };
            if (line == "SI" || line.rfind("\x02" "9999", 0) == 0) {
                if (line != "SI") send("SI");
                if (!risposta.empty()) {
                    send(risposta.front());
                    risposta.erase(risposta.begin());
                }
            } else if (line.rfind("\x02", 0) == 0) {
                send("SI");
            }
        };
    }
    void RispostaCompleta(int classe) {
        p.impostazioni.nTipoInterfaccia = classe;
        risposta = {FormaControllata("0000" + PadRight("CLI001", 17) + "0001"),
                    FormaControllata("0001" + PadRight("PRD1", 9) + "0003" + std::string(29, ' ')),
                    FormaControllata("9999CLI001")};
    }
};

TEST_F(LoopTest, FtpModeStartsWithTheFtpStepAndNoLine) {
    p.impostazioni.bModoFTP = true;
    EXPECT_TRUE(LoopTrasmissione(p));
    // The FTP client connects to the first address on port 21; with no request file to send the session
    // ends as aborted with a message, instead of running the step again.
    ASSERT_GE(t.ftp.log.size(), 2u);
    EXPECT_EQ(t.ftp.log[1], "connect 10.0.0.1:21 ");
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoAbortito);
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Invio Richiesta non riuscito");
    EXPECT_EQ(t.serial.opens, 0);
    EXPECT_TRUE(t.socket.connects.empty());
}

// A call broken off before its answer (here by an abort while the request goes out): the window says so,
// read back from the view, instead of staying on the connection phase with an empty status; the status file
// and the session log say it too, and the wholesaler menu locked for the call is offered again.
TEST_F(LoopTest, ABrokenOffCallSaysSoInTheWindow) {
    ReplaceFileAtomically(dir / "MvnConn01.par", "Connect   :Grossista\r\n");
    ImpostaElencoConnessioni(p, t.main, true);  // locked, as Timer1 does before the call
    ImpostaVisualizzazione(p, t.main, kFaseCollegamento, "Collegamento", "Grossista");
    p.impostazioni.bModeIFCK = true;
    const ScopedPoller interruzione(t.pump, [&] {
        if (p.sessione.nPassoSessione == kPassoInviaIFCK) p.sessione.bProceduraAbortita = true;
    });
    EXPECT_TRUE(LoopTrasmissione(p));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoAbortito);
    EXPECT_FALSE(t.main.Has("mnuOpzione(0)"));  // no control the window does not have
    EXPECT_EQ(t.main.Text("LblSpazioRosso"), "Collegamento Interrotto");
    EXPECT_EQ(t.main.Text("LblSpazioGrigio"), "Grossista");
    EXPECT_EQ(t.main.Text("status"), "Collegamento Interrotto");
    EXPECT_NE(t.main.Text("TextMess").find("prima della risposta del grossista"), std::string::npos);
    EXPECT_TRUE(t.main.Visible("PictureMessaggio"));
    EXPECT_TRUE(t.main.Visible("PictureMenu(2)"));
    EXPECT_TRUE(t.main.Enabled("CmdChiudi(0)"));
    EXPECT_TRUE(t.main.Enabled("MNU_CON_GROSS1"));
    std::string stato, sessione;
    ReadWholeFile(dir / "winstat.dat", stato);
    ReadWholeFile(dir / "log/20261210/s.log", sessione);
    EXPECT_EQ(stato.substr(0, 23), "Collegamento Interrotto");
    EXPECT_NE(stato.find("Nessuna Risposta"), std::string::npos);
    EXPECT_NE(sessione.find("Collegamento Interrotto\r\n"), std::string::npos);
    EXPECT_EQ(t.end.calls, 0);
}

TEST_F(LoopTest, NewsAfterTheAnswerRemoveStaleUpdatesFirst) {
    fs::create_directories(dir / "news");
    ReplaceFileAtomically(dir / "news/MorvenUpgrade.bat", "old");
    ReplaceFileAtomically(dir / "news/morvenprofupg.dat", "old");
    RispostaCompleta(3);
    Grossista();
    p.impostazioni.nTimeMaxRxP = 60;  // before the first block only the phase limit ends the wait
    EXPECT_TRUE(LoopTrasmissione(p));
    // The wholesaler sends no news after the answer: the news fail, and the answer is not asked for again.
    EXPECT_TRUE(p.sessione.bMancantiRicevuti);
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Trasmissione Ordine Corretta , Ricezione Notizie ERRATA !");
    EXPECT_EQ(t.end.calls, 1);
    EXPECT_FALSE(fs::exists(dir / "news/MorvenUpgrade.bat"));
    EXPECT_FALSE(fs::exists(dir / "news/morvenprofupg.dat"));
}

TEST_F(LoopTest, AbortRequestEndsAtTwoHundredAndABatchRunStillEnds) {
    for (bool batch : {false, true}) {
        SCOPED_TRACE(batch);
        p.opzioni.bBlkRun = batch;
        t.socket.connectResult = TcpSocket::sckConnecting;
        t.end.calls = 0;
        ScopedPoller abort(t.pump, [this] {
            if (p.sessione.nPassoSessione == kPassoChiama) p.sessione.bProceduraAbortita = true;
        });
        EXPECT_TRUE(LoopTrasmissione(p));
        EXPECT_EQ(p.sessione.nPassoSessione, kPassoAbortito);
        EXPECT_EQ(t.main.Text("status"), "Collegamento Interrotto");
        EXPECT_EQ(t.main.Value("Avanzamento"), 0);
        EXPECT_EQ(t.end.calls, batch ? 1 : 0);
    }
}

TEST_F(LoopTest, SixModemCallsThenCollegamentoImpossibile) {
    p.impostazioni.bModoInternet = false;
    p.impostazioni.aTelefono = {"111", "222", "333"};
    std::vector<std::string> dials;
    std::string buf;
    t.serial.onOutput = [&](FakeSerialPort& s, std::string_view bytes) {
        for (char c : bytes) {
            if (c != '\r') {
                if (c != '\n') buf += c;
                continue;
            }
            if (buf.rfind("ATD", 0) == 0) {
                dials.push_back(buf);
                s.Feed("\r\nBUSY\r\n");
            } else if (buf.rfind("AT", 0) == 0) {
                s.Feed("\r\nOK\r\n");
            }
            buf.clear();
        }
    };
    EXPECT_TRUE(LoopTrasmissione(p));
    EXPECT_EQ(dials, (std::vector<std::string>{"ATDT111", "ATDT222", "ATDT333", "ATDT111", "ATDT222", "ATDT333"}));
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Collegamento Impossibile");
    EXPECT_EQ(t.msgbox.calls[0].owner, &t.main);
    EXPECT_EQ(t.end.calls, 1);
}

TEST_F(LoopTest, SessionEndingOnScreenHangsUpUnlessItIsAnAvailabilityOffer) {
    for (bool disponibilita : {false, true}) {
        SCOPED_TRACE(disponibilita);
        ricevute.clear();
        t.socket.state = TcpSocket::sckClosed;
        t.dialup.connected = {"isp"};
        t.dialup.hungUp.clear();
        p.impostazioni.sNomeRas = "isp";
        p.impostazioni.bDispOrdine = {true, true, true};
        p.impostazioni.bDisponibilita = disponibilita;
        RispostaCompleta(2);
        Grossista();
        EXPECT_TRUE(LoopTrasmissione(p));
        EXPECT_EQ(p.sessione.nPassoSessione, kPassoRisposteVisibili);
        EXPECT_NE(FunctionLog().find("[FUNZIONE : DisplayMancanti]"), std::string::npos);
        EXPECT_EQ(t.dialup.hungUp.size(), disponibilita ? 0u : 1u);
        EXPECT_EQ(t.end.calls, 0);  // the answers are on screen, the program stays
    }
}

}  // namespace
}  // namespace morven
