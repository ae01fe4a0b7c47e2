// The Comproject order send on the in-memory line, and the address taken from the answer to the header.
#include "client/engine/order_send.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/core/text.h"
#include "tests/client/engine/engine_test_support.h"
#include "tests/client/engine/wholesaler_fake.h"

namespace morven {
namespace {

struct ComprojectSendTest : ::testing::Test, testing::EngineFixture {
    testing::GrossistaFinto g;

    ComprojectSendTest() {
        t.clock.SetAutoStep(20);
        p.impostazioni.bModoInternet = true;
        p.impostazioni.sCodiceCliente = "CLI001";
        p.sessione.nTimeMaxCorrente = 600;
        p.sessione.nTimeOutRecord = 30;
        g.Collega(t.socket);
        std::string order = "0000000000000\r\n";
        for (int i = 1; i <= 25; ++i) order += PadRight("P" + std::to_string(i), 9) + "0002\r\n";
        Write("ordseq.txt", order);
    }
    int Conta(const std::string& line) const {
        return static_cast<int>(std::count(g.ricevute.begin(), g.ricevute.end(), line));
    }
};

TEST_F(ComprojectSendTest, EndsOnTheLineWithTheClientCodeAnsweredAck) {
    g.risponde = [](const std::string& l) -> std::vector<std::string> {
        if (l == "5000") return {"ACK", "CLI001 FINE ORDINE"};  // the ACK of the last record does not end it
        if (l == "ACK") return {};
        return {"ACK"};
    };
    EXPECT_TRUE(TxComproject(p));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoRiceviMancanti);
    ASSERT_EQ(g.ricevute.size(), 5u);
    EXPECT_EQ(g.ricevute[0], "2CLI001");
    EXPECT_EQ(g.ricevute[1].substr(0, 3), "320");
    EXPECT_EQ(g.ricevute[2].substr(0, 3), "305");
    EXPECT_EQ(g.ricevute[3], "5000");
    EXPECT_EQ(g.ricevute[4], "ACK");
}

TEST_F(ComprojectSendTest, NakAfterTheLastRecordSendsItAgain) {
    int naks = 0;
    g.risponde = [&](const std::string& l) -> std::vector<std::string> {
        if (l == "5000") return {naks++ == 0 ? "NAK" : "CLI001"};
        if (l == "ACK") return {};
        return {"ACK"};
    };
    EXPECT_TRUE(TxComproject(p));
    EXPECT_EQ(Conta("5000"), 2);
    EXPECT_EQ(g.ricevute.back(), "ACK");
}

TEST_F(ComprojectSendTest, OneReplyAdvancesOneRecordEvenWhenItHoldsAckAndTheCode) {
    g.risponde = [](const std::string& l) -> std::vector<std::string> {
        if (l == "ACK") return {};
        if (l == "5000") return {"ACK", "CLI001"};
        return {"ACK CLI001"};
    };
    EXPECT_TRUE(TxComproject(p));
    // Every record went out: none was skipped by a reply counted twice.
    EXPECT_EQ(g.ricevute[0], "2CLI001");
    EXPECT_EQ(g.ricevute[2].substr(0, 3), "320");
    EXPECT_EQ(g.ricevute[4].substr(0, 3), "305");
    EXPECT_EQ(Conta("5000"), 1);
}

TEST_F(ComprojectSendTest, EmptyClientCodeNeverTakesAnyLineForTheEnd) {
    p.impostazioni.sCodiceCliente = "";
    g.risponde = [](const std::string& l) -> std::vector<std::string> {
        if (l == "5000") return {"ACK", "QUALSIASI RIGA"};
        return {"ACK"};
    };
    EXPECT_FALSE(TxComproject(p));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoRitenta);  // ended by the record limit
    EXPECT_EQ(Conta("ACK"), 0);
}

TEST_F(ComprojectSendTest, WithoutTheAnnouncementSendingStartsAfterThirtySeconds) {
    p.impostazioni.bCPJAAAA = true;
    g.risponde = [](const std::string& l) -> std::vector<std::string> {
        if (l == "5000") return {"CLI001"};
        if (l == "ACK") return {};
        return {"ACK"};
    };
    std::int64_t firstSend = -1;
    const auto start = t.clock.MonotonicMs();
    auto base = g.risponde;
    g.risponde = [&](const std::string& l) {
        if (firstSend < 0) firstSend = t.clock.MonotonicMs() - start;
        return base(l);
    };
    EXPECT_TRUE(TxComproject(p));
    EXPECT_GE(firstSend, 33000);  // 3 s pause, then 30 s waiting for "AAAA"
    EXPECT_LT(firstSend, 45000);
}

TEST_F(ComprojectSendTest, LostLineAndMalformedOrder) {
    g.risponde = [this](const std::string&) -> std::vector<std::string> {
        t.socket.state = TcpSocket::sckClosed;
        return {};
    };
    EXPECT_FALSE(TxComproject(p));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoRitenta);

    Write("ordseq.txt", "0000000000000\r\nP1       002\r\n");
    g.ricevute.clear();
    t.socket.state = TcpSocket::sckConnected;
    EXPECT_FALSE(TxComproject(p));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoRitenta);
    EXPECT_TRUE(g.ricevute.empty());  // nothing is sent
}

// Once the wholesaler acknowledged the last record the order counts as sent, whatever ends the transfer
// before its closing line: a new call must not send it again.
TEST_F(ComprojectSendTest, TheLastRecordAcknowledgedCountsAsSentWhateverFollows) {
    const struct {
        const char* caso;
        const char* rispostaUltimo;  // the reply to the last record
        bool lineaPersa;             // then the line is lost (else the wholesaler falls silent)
        bool inviato;
    } casi[] = {
        {"ACK, then the line lost", "ACK", true, true},
        {"ACK, then silence past the record limit", "ACK", false, true},
        {"NAK, then the line lost", "NAK", true, false},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.caso);
        p.sessione.bOrdineTrasmesso = p.sessione.bRichiestaInviata = false;
        g.ricevute.clear();
        t.socket.state = TcpSocket::sckConnected;
        bool ultimo = false;
        g.risponde = [&](const std::string& l) -> std::vector<std::string> {
            if (ultimo) {
                if (c.lineaPersa) t.socket.state = TcpSocket::sckClosed;
                return {};
            }
            if (l != "5000") return {"ACK"};
            ultimo = true;
            return {c.rispostaUltimo};
        };
        EXPECT_FALSE(TxComproject(p));
        EXPECT_EQ(p.sessione.nPassoSessione, kPassoRitenta);
        EXPECT_EQ(p.sessione.bOrdineTrasmesso, c.inviato);
        EXPECT_EQ(p.sessione.bRichiestaInviata, c.inviato);
    }
}

TEST(OrderAnswerAddressTest, OnlyWebAddressesAreTaken) {
    const std::pair<const char*, const char*> rows[] = {
        {"SI  http://grossista.example/ordine", "http://grossista.example/ordine"},
        {"SI  HTTPS://g.example/a?b=1 ", "HTTPS://g.example/a?b=1"},
        {"SI  file:///etc/passwd", ""},
        {"SI  javascript:alert(1)", ""},
        {"SI  cmd.exe /c del", ""},
        {"SI  http://a.example/x y", ""},
        {"SI", ""},
        {"NO  http://a.example", ""},
    };
    for (const auto& [in, out] : rows) EXPECT_EQ(IndirizzoDaRisposta(in), out) << in;
}

}  // namespace
}  // namespace morven
