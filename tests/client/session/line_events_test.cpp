// Socket, serial-port and FTP events into the session state.
#include "client/session/line_events.h"

#include "client/engine/testing/test_program.h"
#include "platform/core/files.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

namespace morven {
namespace {

struct LineEventsFixture : ::testing::Test {
    morven::testing::TempDir dir;
    TestProgram t{dir.path()};
    Programma& p = t.p;
};

TEST_F(LineEventsFixture, SocketErrorTable) {
    const struct {
        int numero;
        EsitoErroreSocket esito;
    } casi[] = {{10053, EsitoErroreSocket::LineaPersaChiudi}, {10054, EsitoErroreSocket::LineaPersaChiudi},
                {10060, EsitoErroreSocket::LineaPersa},       {10061, EsitoErroreSocket::LineaPersa},
                {10065, EsitoErroreSocket::LineaPersa},       {10050, EsitoErroreSocket::Chiedi},
                {0, EsitoErroreSocket::Chiedi}};
    for (const auto& c : casi) EXPECT_EQ(EsitoPerErroreSocket(c.numero), c.esito) << c.numero;
}

TEST_F(LineEventsFixture, SocketEventsSetTheLineState) {
    CollegaEventiLinea(p);
    t.socket.events.Connect();
    EXPECT_EQ(p.sessione.sStatoLinea, "CONNECT");

    t.socket.state = TcpSocket::sckConnected;
    t.socket.events.ConnectionRequest(42);
    EXPECT_EQ(t.socket.accepted, 42);
    EXPECT_EQ(t.socket.closes, 1);  // the open socket was closed before the accept
    EXPECT_EQ(p.sessione.sStatoLinea, "CONNECT ");

    p.sessione.bInvioInCorso = true;
    t.socket.events.SendComplete();
    EXPECT_FALSE(p.sessione.bInvioInCorso);

    p.sessione.bInvioInCorso = p.sessione.bRicezioneInCorso = true;
    t.socket.events.Close();
    EXPECT_EQ(p.sessione.sStatoLinea, "NO CARRIER");
    EXPECT_TRUE(p.sessione.bConnessioneChiusa);
    EXPECT_FALSE(p.sessione.bInvioInCorso);
    EXPECT_FALSE(p.sessione.bRicezioneInCorso);
}

TEST_F(LineEventsFixture, SocketErrorsByNumber) {
    CollegaEventiLinea(p);
    t.socket.state = TcpSocket::sckConnected;
    t.socket.events.Error(10054, "reset");
    EXPECT_EQ(p.sessione.sStatoLinea, "NO CARRIER");
    EXPECT_EQ(t.socket.closes, 1);

    p.sessione.sStatoLinea.clear();
    t.socket.state = TcpSocket::sckConnected;
    t.socket.events.Error(10061, "refused");
    EXPECT_EQ(p.sessione.sStatoLinea, "NO CARRIER");
    EXPECT_EQ(t.socket.closes, 1);
    EXPECT_TRUE(t.msgbox.calls.empty());

    // Another number asks; Retry goes on as a lost line.
    p.sessione.sStatoLinea.clear();
    t.msgbox.answers = {vbRetry};
    t.socket.events.Error(10050, "Network is down");
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Errore :10050 Network is down");
    EXPECT_EQ(t.msgbox.calls[0].title, "Errore Socket");
    EXPECT_EQ(t.msgbox.calls[0].style, 274);
    EXPECT_EQ(t.msgbox.calls[0].owner, &t.main);
    EXPECT_EQ(p.sessione.sStatoLinea, "NO CARRIER");
    EXPECT_EQ(t.end.calls, 0);

    // Abort and Ignore end the program.
    for (int risposta : {vbAbort, vbIgnore}) {
        const int prima = t.end.calls;
        t.msgbox.answers = {risposta};
        t.socket.events.Error(10050, "x");
        EXPECT_EQ(t.end.calls, prima + 1);
    }
}

TEST_F(LineEventsFixture, SerialReceiveResumesTheSavedStep) {
    t.serial.RThreshold = 1;
    p.sessione.nPassoSessione = kPassoInviaOrdine;
    p.sessione.nPassoRipresa = kPassoRiceviPosta;
    for (int evento : {1, 3, 4, 5, 6, 1001, 1011, 77}) MSComm1_OnComm(p, evento);
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoInviaOrdine);
    EXPECT_EQ(t.serial.RThreshold, 1);
    MSComm1_OnComm(p, 2);
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoRiceviPosta);
    EXPECT_EQ(t.serial.RThreshold, 0);
}

TEST_F(LineEventsFixture, FtpTraceGoesToTheSessionLog) {
    p.percorsi.sFileLogSessione = "MvnConn01-20261210-100000.log";
    CollegaEventiLinea(p);
    t.ftp.CommandTrace("USER", "farmacia");
    std::string log;
    ReadWholeFile(dir / "log/20261210/MvnConn01-20261210-100000.log", log);
    EXPECT_EQ(log, "FTP:USER farmacia\r\n");
}

}  // namespace
}  // namespace morven
