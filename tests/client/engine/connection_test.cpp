// Opening the line on the in-memory modem and socket: the modem set-up, dialling and answer mode, the
// dial-up entry before TCP, and their failure paths.
#include "client/engine/connection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "tests/client/engine/engine_test_support.h"

namespace morven {
namespace {

// A modem that answers each command the way `risposta` says (CR ends a command).
struct ModemTest : ::testing::Test, testing::EngineFixture {
    std::vector<std::string> comandi;
    std::vector<std::string> stati;  // every status text shown, in order
    std::function<std::string(const std::string&)> risposta = [](const std::string&) { return "OK"; };
    ScopedPoller spia;

    ModemTest() {
        t.clock.SetAutoStep(50);
        p.impostazioni.sConnect = "Grossista";
        p.impostazioni.aTelefono = {"0212345", "222", "333"};
        p.sessione.nTentativo = 1;
        p.impostazioni.bModeIFCK = false;
        std::string buf;
        t.serial.onOutput = [this, buf](FakeSerialPort& s, std::string_view bytes) mutable {
            for (char c : bytes) {
                if (c == '\r') {
                    if (!buf.empty()) {
                        comandi.push_back(buf);
                        const std::string r = risposta(buf);
                        if (!r.empty()) s.Feed("\r\n" + r + "\r\n");
                    }
                    buf.clear();
                } else if (c != '\n') {
                    buf += c;
                }
            }
        };
        spia = ScopedPoller(t.pump, [this] {
            const std::string s = t.main.Text("status");
            if (stati.empty() || stati.back() != s) stati.push_back(s);
        });
    }
    bool Visto(const std::string& s) const { return std::find(stati.begin(), stati.end(), s) != stati.end(); }
};

TEST_F(ModemTest, SetUpConfiguresThePortOnceAndResetsTheModem) {
    EXPECT_TRUE(SettaggioModem(p));
    EXPECT_EQ(comandi, (std::vector<std::string>{"ATH0", "AT&FE0V1&D2X1"}));
    EXPECT_EQ(t.serial.Settings, "57600,N,8,1");
    EXPECT_EQ(t.serial.Handshaking, 2);
    EXPECT_EQ(t.serial.InBufferSize, 10240);
    EXPECT_EQ(t.serial.OutBufferSize, 2048);
    EXPECT_TRUE(t.serial.DTREnable && t.serial.RTSEnable);
    t.serial.Settings = "changed";
    EXPECT_TRUE(SettaggioModem(p));  // open already: closed and opened again, not configured again
    EXPECT_EQ(t.serial.Settings, "changed");
    EXPECT_EQ(t.serial.opens, 2);
}

TEST_F(ModemTest, ModemThatTakesNoSetUpStringGivesUpAfterSixTries) {
    risposta = [](const std::string& c) { return c == "ATH0" ? "OK" : "ERROR"; };
    EXPECT_FALSE(SettaggioModem(p));
    EXPECT_EQ(std::count(comandi.begin(), comandi.end(), "AT&FE0V1&D2X1"), 6);
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Il Modem Non Risponde !!!");
    EXPECT_EQ(t.end.calls, 1);
}

TEST_F(ModemTest, PortThatCannotOpenEndsTheProgramWithTheError) {
    t.serial.failOpen = true;
    EXPECT_FALSE(SettaggioModem(p));
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].title, "Errore Procedura");
    EXPECT_NE(t.msgbox.calls[0].prompt.find("Numero di porta non valido"), std::string::npos);
    EXPECT_TRUE(t.main.shown);
    EXPECT_EQ(t.end.calls, 1);
    EXPECT_NE(FunctionLog().find("SettaggioModem :Numero di porta non valido"), std::string::npos);
}

TEST_F(ModemTest, DiallingByAttemptAndTheStatusText) {
    risposta = [](const std::string& c) { return c.rfind("ATD", 0) == 0 ? "CONNECT 31200/ARQ" : "OK"; };
    t.serial.open = true;
    p.sessione.nTentativo = 4;
    EXPECT_TRUE(EseguiChiamata(p));
    EXPECT_EQ(comandi.back(), "ATDT0212345");
    EXPECT_EQ(t.serial.sent.substr(t.serial.sent.size() - 12), "ATDT0212345\r");  // CR only
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoConnesso);
    EXPECT_EQ(p.impostazioni.sSpeedComm, "31200");
    EXPECT_TRUE(Visto("Tentativo di Connessione n. 4 al n. 0212345"));

    p.opzioni.bComponiNumero = false;
    p.sessione.nTentativo = 5;
    p.impostazioni.nTipoInterfaccia = 4;
    EXPECT_TRUE(EseguiChiamata(p));
    EXPECT_EQ(comandi.back(), "ATDT222");
    EXPECT_TRUE(Visto("Tentativo di Connessione n. 5 a Grossista"));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoInviaPosta);  // a mail session
    p.impostazioni.bModeIFCK = true;
    EXPECT_TRUE(EseguiChiamata(p));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoInviaIFCK);  // an IFCK exchange
}

TEST_F(ModemTest, AnswerModeWaitsForTheRing) {
    p.impostazioni.aTelefono[0] = "Answer";
    risposta = [](const std::string& c) { return c == "ATS0=1" ? "RING\r\nCONNECT 9600" : "OK"; };
    t.serial.open = true;
    EXPECT_TRUE(EseguiChiamata(p));
    EXPECT_EQ(comandi.back(), "ATS0=1");
    EXPECT_TRUE(Visto("Attesa Chiamata "));
    EXPECT_TRUE(Visto("Chiamata in Arrivo "));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoConnesso);
    EXPECT_EQ(p.impostazioni.sSpeedComm, " 9600");
}

TEST_F(ModemTest, BusyNoCarrierAndSilenceGiveStepThree) {
    t.serial.open = true;
    for (const char* reply : {"BUSY", "NO CARRIER", "NOCARRIER", ""}) {
        SCOPED_TRACE(reply);
        risposta = [reply](const std::string& c) { return c.rfind("ATD", 0) == 0 ? reply : "OK"; };
        p.sessione.nPassoSessione = kPassoChiama;
        const auto before = t.clock.MonotonicMs();
        EXPECT_TRUE(EseguiChiamata(p));
        EXPECT_EQ(p.sessione.nPassoSessione, kPassoRitenta);
        if (std::string(reply).empty()) {
            EXPECT_GE(t.clock.MonotonicMs() - before, 45000);  // the connect limit
        }
    }
}

TEST_F(ModemTest, TcpAfterAFailedDialUpEntryEndsTheProgram) {
    p.impostazioni.bModoInternet = true;
    p.impostazioni.sNomeRas = "isp";
    p.impostazioni.bDispOrdine = {true, true, true};
    t.dialup.dialSucceeds = false;
    EXPECT_TRUE(EseguiChiamata(p));
    EXPECT_EQ(t.dialup.dialled, std::vector<std::string>{"isp"});
    EXPECT_FALSE(p.impostazioni.bModoInternet);
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Collegamento Impossibile");
    EXPECT_EQ(t.msgbox.calls[0].title, "Connessione con isp");
    EXPECT_EQ(t.msgbox.calls[0].owner, nullptr);  // a plain box when the answers are shown
    EXPECT_EQ(t.end.calls, 1);
    EXPECT_TRUE(t.socket.connects.empty());
}

TEST_F(ModemTest, TcpConnectClearsTheClosedFlagAndTimesOut) {
    p.impostazioni.bModoInternet = true;
    p.impostazioni.aIndirizzoIp = {" 10.0.0.1 ", "", ""};
    p.sessione.bConnessioneChiusa = true;  // left by the previous attempt
    EXPECT_TRUE(EseguiChiamata(p));
    EXPECT_FALSE(p.sessione.bConnessioneChiusa);
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoConnesso);
    EXPECT_EQ(p.impostazioni.sSpeedComm, "NET  ");
    ASSERT_EQ(t.socket.connects.size(), 1u);
    EXPECT_EQ(t.socket.connects[0], (std::pair<std::string, int>{"10.0.0.1", 1121}));

    t.socket.connectResult = TcpSocket::sckConnecting;  // never connects
    const auto before = t.clock.MonotonicMs();
    EXPECT_TRUE(EseguiChiamata(p));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoRitenta);
    EXPECT_GE(t.clock.MonotonicMs() - before, 3000 + 5000);
    EXPECT_EQ(t.socket.closes, 1);  // the open socket of the first call was closed first
}

}  // namespace
}  // namespace morven
