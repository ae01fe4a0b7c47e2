#include "client/engine/line_io.h"

#include "client/engine/frames.h"
#include "client/engine/line_devices.h"
#include "client/engine/programma.h"
#include "tests/client/engine/engine_test_support.h"
#include "tests/peers/peers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace morven {
namespace {

namespace peers = morven::peers;

constexpr const char* kLog = "log/20261210/sessione.log";

class LineIo : public ::testing::Test, public testing::EngineFixture {
protected:
    LineIo() { p.percorsi.sFileLogSessione = "sessione.log"; }

    std::string SessionLog() const { return Read(kLog); }

    // The real socket, connected to a fake wholesaler playing `scripts`.
    void ConnectTo(std::vector<peers::Script> scripts) {
        peer_ = std::make_unique<peers::FakeWholesaler>(std::move(scripts));
        sock_ = &p.Possiedi(std::make_unique<DeviceTcpSocket>(t.pump));
        p.oggetti.oWinsock = sock_;
        p.impostazioni.bModoInternet = true;
        sock_->RemoteHost = "127.0.0.1";
        sock_->RemotePort = peer_->Port();
        sock_->Connect();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (sock_->State() != TcpSocket::sckConnected && std::chrono::steady_clock::now() < deadline) t.pump.process();
        ASSERT_EQ(sock_->State(), TcpSocket::sckConnected);
    }

    // Until the peer's bytes are in (real loopback time; the test clock does not move).
    void AwaitBytes(std::size_t n) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            t.pump.process();
            if (sock_->BytesReceived() + sock_->sCodaRicezione.size() >= n) return;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        FAIL() << "peer bytes did not arrive";
    }

    std::unique_ptr<peers::FakeWholesaler> peer_;
    DeviceTcpSocket* sock_ = nullptr;
};

TEST(TcpEncoding, ShiftAndUnshift) {
    EXPECT_EQ(CodificaTcp("ABC"), "\x80\x81\x82");
    EXPECT_EQ(DecodificaTcp("\x80\x81\x82"), "ABC");
    EXPECT_EQ(DecodificaTcp("\x80\x10\x81\x3e\x82"), "ABC");  // codes below 63 are dropped
    std::string all;
    for (int c = 0; c <= 192; ++c) all.push_back(static_cast<char>(c));
    EXPECT_EQ(DecodificaTcp(CodificaTcp(all)), all);
    // What has no shifted form is written in plain letters.
    EXPECT_EQ(SostituisciNonTrasmissibili("Per\xf2 citt\xe0 \xc8 \xe9\xe7\xf1\xdf\xf7\xc0"), "Pero' citta' E' e'cnss?\xc0");
}

TEST_F(LineIo, TcpSendShiftsPlainLinesAndLeavesFramesAlone) {
    p.impostazioni.bModoInternet = true;
    t.socket.state = TcpSocket::sckConnected;
    EXPECT_TRUE(ScriviComm(p, "ABC"));
    EXPECT_TRUE(ScriviComm(p, "AEIOA000098000000OIEA"));
    EXPECT_TRUE(ScriviComm(p, "gi\xf9"));
    EXPECT_EQ(t.socket.sent, "\x80\x81\x82\r\nAEIOA000098000000OIEA\r\n" + CodificaTcp("giu'") + "\r\n");
    EXPECT_EQ(SessionLog(), "TX:ABC\r\nTX:AEIOA000098000000OIEA\r\nTX:giu'\r\n");

    // Mail sessions log the short form.
    p.impostazioni.nTipoInterfaccia = 4;
    const std::string block = "AEIO0001" + std::string(1000, 'x') + "000000000000OIEA";
    EXPECT_TRUE(ScriviComm(p, block));
    EXPECT_NE(SessionLog().find("TX:AEIO0001~OIEA len:1024\r\n"), std::string::npos);
}

TEST_F(LineIo, TcpNotConnectedSendsNothingAndReadsNoCarrier) {
    p.impostazioni.bModoInternet = true;
    for (int state : {TcpSocket::sckClosed, TcpSocket::sckConnecting, TcpSocket::sckClosing, TcpSocket::sckError}) {
        SCOPED_TRACE(state);
        t.socket.state = state;
        EXPECT_FALSE(ScriviComm(p, "6UUU"));  // the confirmation must not look sent
        EXPECT_EQ(t.socket.sent, "");
        EXPECT_EQ(LeggiComm(p, 0), "NO CARRIER");  // at once, even without a time limit
    }
    EXPECT_NE(SessionLog().find("TX: ERRORE linea non connessa, non inviato :6UUU"), std::string::npos);
}

TEST_F(LineIo, TcpLinesAreTheSameHoweverTheSegmentsFall) {
    const std::string wire = peers::Shift("SI 0001") + "\r\n" + peers::Frame("0002DATI") + "\r\n" +
                             peers::Shift("NO 0001") + "\r\n" + peers::Shift("\x02" "ABC") + "\r\n";
    for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{7}, wire.size()}) {
        SCOPED_TRACE(chunk);
        ConnectTo({{peers::SendSplit(wire, chunk), peers::Hold()}});
        AwaitBytes(chunk == wire.size() ? wire.size() : 1);  // one segment, or the first bytes only
        EXPECT_EQ(LeggiComm(p, 0), "SI 0001");
        p.sessione.nTimeOutRicezione = 0;
        EXPECT_EQ(LeggiZip(p, 0), peers::Frame("0002DATI"));
        EXPECT_EQ(LeggiComm(p, 0), "NO 0001");
        EXPECT_EQ(LeggiComm(p, 0), "\x02" "ABC");
        EXPECT_TRUE(sock_->sCodaRicezione.empty());
        peer_->Release();
        peer_.reset();
    }
}

TEST_F(LineIo, TcpReadKeepsWhatFollowsAFrame) {
    p.impostazioni.bModoInternet = true;
    t.socket.state = TcpSocket::sckConnected;
    t.socket.Feed("noise" + peers::Frame("0001good") + "\r\n" + peers::Shift("SI") + "\r\n");
    EXPECT_EQ(LeggiZip(p, 0), peers::Frame("0001good"));
    EXPECT_EQ(LeggiComm(p, 0), "SI");
    // A broken frame runs into the next one; it goes out as one block (the check refuses it) and the
    // following frame is whole again.
    t.socket.Feed("AEIO0001bro" + peers::Frame("0001good") + "\r\n" + peers::Frame("0002next") + "\r\n");
    EXPECT_EQ(LeggiZip(p, 0), "AEIO0001bro" + peers::Frame("0001good"));
    EXPECT_EQ(LeggiZip(p, 0), peers::Frame("0002next"));
    // A line holding "AEIO" is taken unshifted, apart from its CR LF.
    t.socket.Feed("xxAEIOyy\r\n");
    EXPECT_EQ(LeggiComm(p, 0), "xxAEIOyy");
    EXPECT_NE(SessionLog().find("RX:AEIO0001~OIEA len:28\r\nRX:SI\r\nRX:AEIO0001~OIEA len:39\r\n"
                                "RX:AEIO0002~OIEA len:28\r\nRX:xxAEIOyy\r\n"),
              std::string::npos);
}

TEST_F(LineIo, TcpPeerCloseHandsOutTheLastLineThenNoCarrier) {
    ConnectTo({{peers::Send("FINE"), peers::Send("CIAO"), peers::CloseLine()}});
    EXPECT_EQ(LeggiComm(p, 0), "FINE");
    EXPECT_EQ(LeggiComm(p, 0), "CIAO");
    EXPECT_EQ(LeggiComm(p, 0), "NO CARRIER");
    EXPECT_EQ(LeggiZip(p, 0), "NO CARRIER");
}

TEST_F(LineIo, TcpSendReachesTheWholesaler) {
    ConnectTo({{peers::Expect("1ORD0001"), peers::ExpectFrame("0001"), peers::Expect("Pero' citta'"), peers::Hold()}});
    EXPECT_TRUE(ScriviComm(p, "1ORD0001"));
    EXPECT_TRUE(ScriviComm(p, peers::Frame("0001XYZ")));
    EXPECT_TRUE(ScriviComm(p, "Per\xf2 citt\xe0"));
    ASSERT_TRUE(peer_->WaitLines(3));
    EXPECT_TRUE(peer_->Errors().empty()) << peer_->Errors().front();
    peer_->Release();
}

TEST_F(LineIo, OverlongTcpLineIsThrownAway) {
    p.impostazioni.bModoInternet = true;
    t.socket.state = TcpSocket::sckConnected;
    t.socket.Feed(std::string(kMaxRigaLinea + 10, '\x90'));
    t.clock.SetAutoStep(100);
    EXPECT_EQ(LeggiComm(p, 10), "");
    EXPECT_TRUE(t.socket.sCodaRicezione.empty());
    EXPECT_NE(SessionLog().find("RX: ERRORE dati oltre 65536 byte senza fine riga"), std::string::npos);
    t.socket.Feed(CodificaTcp("SI") + "\r\n");
    EXPECT_EQ(LeggiComm(p, 10), "SI");
}

TEST_F(LineIo, TcpLineOrFrameOverTheLimitIsRefusedEvenWithItsEnd) {
    p.impostazioni.bModoInternet = true;
    t.socket.state = TcpSocket::sckConnected;
    t.clock.SetAutoStep(100);
    // The end arrives in the same segment that takes the line past the limit.
    t.socket.Feed(std::string(kMaxRigaLinea + 200, '\x90') + "\r\n" + CodificaTcp("SI") + "\r\n");
    EXPECT_EQ(LeggiComm(p, 10), "");
    EXPECT_NE(SessionLog().find("RX: ERRORE riga oltre 65536 byte, scartati 65736 byte"), std::string::npos);
    EXPECT_EQ(LeggiComm(p, 10), "SI");
    p.sessione.nTimeOutRicezione = 10;
    t.socket.Feed("AEIO" + std::string(kMaxRigaLinea, 'x') + "OIEA\r\n" + peers::Frame("0001good") + "\r\n");
    EXPECT_EQ(LeggiZip(p, 0), "");
    EXPECT_EQ(LeggiZip(p, 0), peers::Frame("0001good"));
}

TEST_F(LineIo, TcpLineNeverHoldsALineEnd) {
    p.impostazioni.bModoInternet = true;
    t.socket.state = TcpSocket::sckConnected;
    // 'I' and 'L' are what the shift makes of LF and CR; a peer that sends them raw inside a line does not
    // split the line or smuggle a line end into it, nor do bare CR and LF inside a framed line.
    t.socket.Feed(std::string("\x80I\x81L") + "\r\n" + "AEIO\rX\nOIEA\r\n");
    EXPECT_EQ(LeggiComm(p, 0), "AB");
    EXPECT_EQ(LeggiComm(p, 0), "AEIOXOIEA");
}

// A peer that sends without ever ending its line or frame costs at most the limit, on the modem as over TCP,
// and the next complete line is read normally.
TEST_F(LineIo, OverlongDataWithoutAnEndIsThrownAwayOnEveryRoad) {
    struct Case {
        const char* name;
        bool tcp, frame;
    };
    const Case cases[] = {
        {"modem line", false, false},
        {"modem frame", false, true},
        {"tcp frame", true, true},
    };
    t.clock.SetAutoStep(100);
    p.sessione.nTimeOutRicezione = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string flood = (c.frame ? "AEIO" : "") + std::string(kMaxRigaLinea + 1 - (c.frame ? 4 : 0), 'x');
        ASSERT_EQ(flood.size(), kMaxRigaLinea + 1);
        p.impostazioni.bModoInternet = c.tcp;
        if (c.tcp) {
            t.socket.state = TcpSocket::sckConnected;
            t.socket.Feed(flood);
        } else {
            t.serial.open = true;
            t.serial.Feed(flood);
        }
        const std::string before = SessionLog();
        EXPECT_EQ(c.frame ? LeggiZip(p, 0) : LeggiComm(p, 10), "");
        EXPECT_NE(SessionLog().find("RX: ERRORE dati oltre 65536 byte", before.size()), std::string::npos);
        EXPECT_TRUE(c.tcp ? t.socket.sCodaRicezione.empty() : t.serial.incoming.empty());

        const std::string next = c.frame ? std::string("AEIOA000098000000OIEA") : std::string("SI");
        if (c.tcp) {
            t.socket.Feed(next + "\r\n");
        } else {
            t.serial.Feed(next + "\r");
        }
        EXPECT_EQ(c.frame ? LeggiZip(p, 0) : LeggiComm(p, 10), next);
    }
}

// Time-outs run on the test clock: every clock read moves it on, so the waits end after a few rounds.
TEST_F(LineIo, TimeOutsCountWholeSecondsAcrossMidnight) {
    struct Case {
        bool tcp;
        DateTime start;
    };
    for (const Case& c : {Case{true, {2026, 12, 10, 10, 0, 0}}, Case{true, {2026, 12, 10, 23, 59, 55}},
                          Case{false, {2026, 12, 10, 23, 59, 58}}}) {
        SCOPED_TRACE(c.tcp);
        testing::TempDir d;
        TestProgram tp(d.path());
        tp.clock.Advance((c.start.SecondsSinceMidnight() - 36000) * 1000LL);
        tp.p.impostazioni.bModoInternet = c.tcp;
        tp.socket.state = TcpSocket::sckConnected;
        tp.serial.open = true;
        tp.clock.SetAutoStep(50);
        const auto t0 = tp.clock.MonotonicMs();
        EXPECT_EQ(LeggiComm(tp.p, 10), "");
        const auto waited = tp.clock.MonotonicMs() - t0;
        EXPECT_GT(waited, 10000);
        EXPECT_LE(waited, 12200);
        tp.p.sessione.nTimeOutRicezione = 3;
        const auto t1 = tp.clock.MonotonicMs();
        EXPECT_EQ(LeggiZip(tp.p, 99), "");  // the argument is not used
        EXPECT_GT(tp.clock.MonotonicMs() - t1, 3000);
        EXPECT_LE(tp.clock.MonotonicMs() - t1, 5200);
    }
}

TEST_F(LineIo, NoTimeLimitWaitsForDataOrTheAbortFlag) {
    p.impostazioni.bModoInternet = true;
    t.socket.state = TcpSocket::sckConnected;
    t.clock.SetAutoStep(1000);
    int rounds = 0;
    ScopedPoller feeder(t.pump, [&] {
        if (++rounds == 500) t.socket.Feed(CodificaTcp("OK") + "\r\n");
    });
    EXPECT_EQ(LeggiComm(p, 0), "OK");  // 500 rounds and as many seconds later
    EXPECT_GE(rounds, 500);

    ScopedPoller aborter(t.pump, [&] {
        if (rounds > 700) p.sessione.bProceduraAbortita = true;
    });
    EXPECT_EQ(LeggiComm(p, 0), "");
    p.sessione.bProceduraAbortita = true;
    const int before = rounds;
    EXPECT_EQ(LeggiZip(p, 0), "");
    EXPECT_EQ(SvuotaComm(p, 2), "");
    EXPECT_LE(rounds - before, 2);
}

TEST_F(LineIo, ModemSendEndsDialCommandsWithCrAlone) {
    t.serial.open = true;
    int outputs = 0;
    t.serial.onOutput = [&](FakeSerialPort&, std::string_view) { ++outputs; };
    EXPECT_TRUE(ScriviComm(p, "ATDT0212345"));
    EXPECT_TRUE(ScriviComm(p, "ATH0"));
    EXPECT_TRUE(ScriviComm(p, "atdt1"));  // only the capitals make a dial command
    EXPECT_EQ(t.serial.sent, "ATDT0212345\rATH0\r\natdt1\r\n");
    EXPECT_EQ(outputs, 12 + 6 + 7);  // one character per Output
    EXPECT_EQ(SessionLog(), "TX:ATDT0212345\r\r\nTX:ATH0\r\n\r\nTX:atdt1\r\n\r\n");

    t.serial.open = false;
    EXPECT_FALSE(ScriviComm(p, "ATH0"));  // a failing port is logged and reported
    EXPECT_NE(FunctionLog().find("ScriviComm :"), std::string::npos);
}

TEST_F(LineIo, ModemReadClearsTheEighthBitOnlyOnSevenBitFraming) {
    struct Case {
        const char* settings;
        std::string in, line;
    };
    const Case cases[] = {
        {"9600,E,7,1", "\xcf\xcb\r", "OK"},
        {"9600,N,8,1", "\xcf\xcb\r", "\xcf\xcb"},
        {"57600,N,8,1", "\r\n\r\nCONNECT 9600\r\n", "CONNECT 9600"},  // empty lines skipped, LF ignored
        {"57600,N,8,1", std::string("A\0B\r", 4), std::string("A\0B", 3)},
    };
    t.serial.open = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        t.serial.Settings = c.settings;
        t.serial.Feed(c.in);
        EXPECT_EQ(LeggiComm(p, 10), c.line);
        EXPECT_EQ(t.serial.InputLen, 0);
    }
}

TEST_F(LineIo, ModemFrameReadStopsAtTheEndMarkAndLeavesTheRest) {
    t.serial.open = true;
    p.sessione.nTimeOutRicezione = 10;
    t.serial.Feed("SI\r\nAEIOA000098000000OIEA\r\nAEIOAB");
    EXPECT_EQ(LeggiZip(p, 0), "AEIOA000098000000OIEA");
    EXPECT_EQ(t.serial.incoming, "\r\nAEIOAB");
    EXPECT_NE(SessionLog().find("RX:AEIOA000~OIEA len:21"), std::string::npos);
}

TEST_F(LineIo, DrainReadsTheSerialPortButNeverTheSocket) {
    t.serial.open = true;
    t.clock.SetAutoStep(100);
    t.serial.Feed("ATH0\r\r\nOK\r\n");
    EXPECT_EQ(SvuotaComm(p, 2), "ATH0\r\r\nOK\r");
    p.impostazioni.bModoInternet = true;
    t.socket.state = TcpSocket::sckConnected;
    t.socket.Feed("pending");
    EXPECT_EQ(SvuotaComm(p, 2), "");
    EXPECT_EQ(t.socket.incoming, "pending");
    EXPECT_NE(SessionLog().find("SV:ATH0\r\r\nOK\r\r\nSV:\r\n"), std::string::npos);
}

// The whole modem road on the emulator: set-up, dial, dialogue, hang-up.
TEST_F(LineIo, ModemDialogueOnTheEmulator) {
    peers::ModemEmulator modem({{"BUSY", {}},
                                {"CONNECT 9600", {peers::Expect("1ORD0001"), peers::Send("SI 0001"),
                                                  peers::Send(peers::Frame("0001NEWS"))}}});
    std::ofstream(dir / "serialports.txt") << "COM2=" << modem.DevicePath() << "\n";
    auto& port = p.Possiedi(std::make_unique<DeviceSerialPort>(t.pump, dir.path()));
    p.oggetti.oMSComm = &port;
    port.DTREnable = true;
    port.RTSEnable = true;
    port.Handshaking = 2;
    port.InBufferSize = 10240;
    port.ParityReplace = "";
    port.OutBufferSize = 2048;
    port.CommPort = 2;
    port.Settings = "57600,N,8,1";
    port.SetPortOpen(true);

    // The reads wait for the emulator in real time: the test clock stands still.
    EXPECT_TRUE(ScriviComm(p, "ATH0"));
    EXPECT_EQ(LeggiComm(p, 10), "OK");
    EXPECT_TRUE(ScriviComm(p, "ATDT0212345"));
    EXPECT_EQ(LeggiComm(p, 10), "BUSY");
    EXPECT_TRUE(ScriviComm(p, "ATDT0299999"));
    EXPECT_EQ(LeggiComm(p, 10), "CONNECT 9600");
    EXPECT_TRUE(ScriviComm(p, "1ORD0001"));
    EXPECT_EQ(LeggiComm(p, 10), "SI 0001");
    p.sessione.nTimeOutRicezione = 10;
    EXPECT_EQ(LeggiZip(p, 0), peers::Frame("0001NEWS"));
    EXPECT_EQ(LeggiComm(p, 10), "NO CARRIER");
    port.SetPortOpen(false);
    EXPECT_EQ(modem.Commands(), (std::vector<std::string>{"ATH0", "ATDT0212345", "ATDT0299999"}));
    EXPECT_TRUE(modem.Errors().empty());
}

// Only the modem says the line is lost: over TCP the words are the wholesaler's text unless the socket is
// gone, and on the modem they are data inside a frame or checked record whose sums hold.
TEST_F(LineIo, TheLostLineWordsCountOnlyWhenTheModemOrTheSocketSaysThem) {
    const std::string messaggio = "Ieri il modem ha dato NO CARRIER due volte";
    const std::string record = FormaControllata("0001" + messaggio);
    std::string recordGuasto = record;
    recordGuasto[recordGuasto.size() - 2] = recordGuasto[recordGuasto.size() - 2] == '0' ? '1' : '0';
    struct Caso {
        const char* nome;
        bool tcp;
        bool connesso;
        std::string testo;
        bool persa;
    } casi[] = {
        {"tcp: the readers' mark, socket gone", true, false, "NO CARRIER", true},
        {"tcp: the words while connected", true, true, "NO CARRIER", false},
        {"tcp: a message line, socket gone", true, false, messaggio, false},
        {"tcp: a message line", true, true, messaggio, false},
        {"tcp: the abort word", true, true, "bProceduraAbortita", false},
        {"tcp: a frame", true, true, peers::Frame("NOCARRIER dati"), false},
        {"modem: the modem's line", false, false, "NO CARRIER", true},
        {"modem: without the blank", false, false, "NOCARRIER", true},
        {"modem: amid noise", false, false, "~#NO CARRIER", true},
        {"modem: the abort word", false, false, "bProceduraAbortita", true},
        {"modem: a good frame", false, false, peers::Frame("0001NO CARRIER dati"), false},
        {"modem: a frame with bad sums", false, false, peers::FrameWithBadSums("0001NO CARRIER dati"), true},
        {"modem: the words after a good frame", false, false, peers::Frame("0001dati") + "NO CARRIER", true},
        {"modem: a checked record", false, false, record, false},
        {"modem: a record with bad sums", false, false, recordGuasto, true},
        {"modem: a reply", false, false, "SI", false},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        p.impostazioni.bModoInternet = c.tcp;
        t.socket.state = c.connesso ? TcpSocket::sckConnected : TcpSocket::sckClosed;
        EXPECT_EQ(LineaPersa(p, c.testo), c.persa);
    }
}

}  // namespace
}  // namespace morven
