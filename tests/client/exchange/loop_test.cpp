// The state machine's own decisions on the in-memory line: first steps by mode, transfers not built in,
// the abort, the modem's attempt count, the news clean-up and the end of a session that stays on the line.
#include "client/exchange/loop.h"

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
    EXPECT_EQ(p.sessione.nPassoSessione, 200);
    EXPECT_NE(FunctionLog().find("[FUNZIONE : ChiamaFTP]"), std::string::npos);
    EXPECT_EQ(t.serial.opens, 0);
    EXPECT_TRUE(t.socket.connects.empty());
}

TEST_F(LoopTest, StepsOfLaterTransfersEndAtTwoHundredNamingThem) {
    struct Row {
        int classe;
        bool ifck, tcpDir;
        const char* nome;
    } rows[] = {{4, false, false, "[FUNZIONE : TxPosta]"},
                {4, false, true, "[FUNZIONE : txPostaTCP]"}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.nome);
        testing::TempDir d;
        TestProgram tp(d.path());
        tp.clock.SetAutoStep(50);
        auto& imp = tp.p.impostazioni;
        imp.bModoInternet = true;
        imp.nTipoInterfaccia = r.classe;
        imp.bModeIFCK = r.ifck;
        imp.bTcpDir = r.tcpDir;  // read by the mail step as the slot left it
        EXPECT_TRUE(LoopTrasmissione(tp.p));
        EXPECT_EQ(tp.p.sessione.nPassoSessione, 200);
        std::string log;
        ReadWholeFile(d / "MorvenClient.log", log);
        EXPECT_NE(log.find(r.nome), std::string::npos) << log;
        EXPECT_EQ(tp.end.calls, 0);
        EXPECT_TRUE(tp.main.Enabled("mnuOpzione(9)"));
    }
}

TEST_F(LoopTest, NewsAfterTheAnswerRemoveStaleUpdatesFirst) {
    fs::create_directories(dir / "news");
    ReplaceFileAtomically(dir / "news/MorvenUpgrade.bat", "old");
    ReplaceFileAtomically(dir / "news/morvenprofupg.dat", "old");
    RispostaCompleta(3);
    Grossista();
    EXPECT_TRUE(LoopTrasmissione(p));
    EXPECT_EQ(p.sessione.nPassoSessione, 200);
    EXPECT_TRUE(p.sessione.bMancantiRicevuti);
    EXPECT_NE(FunctionLog().find("[FUNZIONE : RxPosta]"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "news/MorvenUpgrade.bat"));
    EXPECT_FALSE(fs::exists(dir / "news/morvenprofupg.dat"));
}

TEST_F(LoopTest, AbortRequestEndsAtTwoHundredAndABatchRunStillEnds) {
    for (bool batch : {false, true}) {
        SCOPED_TRACE(batch);
        p.opzioni.bBlkRun = batch;
        t.socket.connectResult = TcpSocket::sckConnecting;
        t.end.calls = 0;
        t.main.SetEnabled("mnuOpzione(0)", false);
        ScopedPoller abort(t.pump, [this] {
            if (p.sessione.nPassoSessione == 5) p.sessione.bProceduraAbortita = true;
        });
        EXPECT_TRUE(LoopTrasmissione(p));
        EXPECT_EQ(p.sessione.nPassoSessione, 200);
        EXPECT_EQ(t.main.Text("status"), "");
        EXPECT_EQ(t.main.Value("Avanzamento"), 0);
        EXPECT_TRUE(t.main.Enabled("mnuOpzione(0)"));
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
        EXPECT_EQ(p.sessione.nPassoSessione, 50);
        EXPECT_NE(FunctionLog().find("[FUNZIONE : DisplayMancanti]"), std::string::npos);
        EXPECT_EQ(t.dialup.hungUp.size(), disponibilita ? 0u : 1u);
        EXPECT_EQ(t.end.calls, 0);  // the answers are on screen, the program stays
    }
}

}  // namespace
}  // namespace morven
