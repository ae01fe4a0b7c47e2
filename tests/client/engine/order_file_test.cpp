#include "client/engine/order_file.h"

#include "client/engine/programma.h"
#include "tests/client/engine/engine_test_support.h"
#include "platform/core/text.h"
#include "client/engine/line_devices.h"
#include "client/engine/line_io.h"
#include "tests/peers/peers.h"

#include <gtest/gtest.h>

namespace morven {
namespace {

std::string Lines(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\r\n";
    return s;
}

// Order lines "PRODnnnnn" + quantity, 13 characters each.
std::vector<std::string> OrderLines(int n, int firstQty = 1) {
    std::vector<std::string> v;
    for (int i = 0; i < n; ++i) v.push_back(PadRight("P" + std::to_string(i), 9) + PadLeft(std::to_string(firstQty + i), 4, "0"));
    return v;
}

class OrderFile : public ::testing::Test, public testing::EngineFixture {
protected:
    OrderFile() {
        p.impostazioni.sCodiceCliente = "123456789";
        p.impostazioni.nTipoInterfaccia = 1;
    }
    void Order(const std::vector<std::string>& data, const std::string& header = "0000000000042") {
        std::vector<std::string> all{header};
        all.insert(all.end(), data.begin(), data.end());
        Write("ordseq.txt", Lines(all));
    }
    // The records as sent, checked with the peer's own arithmetic and unwrapped.
    std::vector<std::string> Unwrapped() const {
        std::vector<std::string> v;
        for (int r = 0; r <= p.sessione.nUltimoRecord; ++r) {
            std::string data;
            EXPECT_TRUE(peers::Unrecord(p.sessione.aRecordOrdine[static_cast<std::size_t>(r)], &data)) << r;
            v.push_back(data);
        }
        return v;
    }
    std::vector<std::string> Records() const {
        return {p.sessione.aRecordOrdine.begin(), p.sessione.aRecordOrdine.begin() + p.sessione.nUltimoRecord + 1};
    }
};

TEST(PrefissoFamiglia, EveryInterfaceKindAndOption) {
    struct Case {
        int kind;
        bool opt3, cpj;
        const char* prefix;
    };
    const Case cases[] = {
        {1, false, false, "020001****"}, {1, true, false, "020001****"}, {1, false, true, "020011****"}, {1, true, true, "020011****"},
        {2, false, false, "020003****"}, {2, true, false, "020006****"}, {2, false, true, "020013****"}, {2, true, true, "020016****"},
        {3, false, false, "020005****"}, {3, true, false, "020007****"}, {3, false, true, "020015****"}, {3, true, true, "020017****"},
        {0, false, false, ""},           {4, true, true, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(PrefissoFamiglia(c.kind, c.opt3, c.cpj), c.prefix) << c.kind << c.opt3 << c.cpj;
}

TEST_F(OrderFile, StandardHeaderOnlyAndEightLinesPerRecord) {
    const std::string tail = "0000" "0002" "020001****" "      ";
    Order({});
    ASSERT_TRUE(LetturaOrdineMorven(p));
    EXPECT_EQ(p.sessione.sRiferimentoTestata, "0042");
    EXPECT_EQ(Unwrapped(), (std::vector<std::string>{"0000123456789" "0042" + tail, "0001", "9999123456789" "0042" + tail}));

    const auto eight = OrderLines(8);
    Order(eight);
    ASSERT_TRUE(LetturaOrdineMorven(p));
    const auto records = Unwrapped();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[1].size(), 108u);
    EXPECT_EQ(records[1], "0001" + eight[0] + eight[1] + eight[2] + eight[3] + eight[4] + eight[5] + eight[6] + eight[7]);
    EXPECT_EQ(records[2], "0002");
    EXPECT_EQ(records[3], "9999123456789" "0042" "0000" "0003" "020001****" "      ");
    EXPECT_EQ(records[0].substr(21, 4), "0003");

    Order(OrderLines(9));
    ASSERT_TRUE(LetturaOrdineMorven(p));
    EXPECT_EQ(Unwrapped()[2], "0002" + OrderLines(9)[8]);
}

TEST_F(OrderFile, MessageLinesAfterTheDataWithoutLineEnds) {
    p.messaggio = {"Consegna urgente\r\n", "per favore", "", "grazie\n"};
    Order(OrderLines(2));
    ASSERT_TRUE(LetturaOrdineMorven(p));
    const auto r = Unwrapped();
    ASSERT_EQ(r.size(), 7u);
    EXPECT_EQ(r[2], "MES1Consegna urgente");
    EXPECT_EQ(r[3], "MES2per favore");
    EXPECT_EQ(r[4], "MES3");
    EXPECT_EQ(r[5], "MES4grazie");
    EXPECT_EQ(r[6].substr(0, 4), "9999");
    EXPECT_EQ(r[6].substr(21, 4), "0002");  // the end counter counts the data records only

    // A blank first line leaves all four out.
    p.messaggio = {"   ", "ignored", "", ""};
    ASSERT_TRUE(LetturaOrdineMorven(p));
    EXPECT_EQ(Unwrapped().size(), 3u);
}

TEST_F(OrderFile, MessageLettersOverTcpMatchTheLine) {
    p.messaggio = {"Perch\xe9 cos\xec", "", "", ""};
    Order({});
    ASSERT_TRUE(LetturaOrdineMorven(p));
    EXPECT_EQ(Unwrapped()[2], "MES1Perch\xe9 cos\xec");  // the modem carries them
    p.impostazioni.bModoInternet = true;
    ASSERT_TRUE(LetturaOrdineMorven(p));
    EXPECT_EQ(Unwrapped()[2], "MES1Perche' cosi'");
}

TEST_F(OrderFile, RecordsPassTheWholesalersCheckOnTheLine) {
    p.impostazioni.bModoInternet = true;
    p.messaggio = {"Grazie, a luned\xec", "", "", ""};
    Order(OrderLines(10));
    ASSERT_TRUE(LetturaOrdineMorven(p));
    ASSERT_EQ(p.sessione.nUltimoRecord, 7);
    peers::FakeWholesaler peer({{peers::ExpectRecord("0000123456789"), peers::ExpectRecord("0001"),
                                 peers::ExpectRecord("0002"), peers::ExpectRecord("MES1Grazie, a lunedi'"),
                                 peers::ExpectRecord("MES2"), peers::ExpectRecord("MES3"), peers::ExpectRecord("MES4"),
                                 peers::ExpectRecord("9999123456789"), peers::Hold()}});
    auto& sock = p.Possiedi(std::make_unique<DeviceTcpSocket>(t.pump));
    p.oggetti.oWinsock = &sock;
    sock.RemoteHost = "127.0.0.1";
    sock.RemotePort = peer.Port();
    sock.Connect();
    for (int i = 0; i < 100000 && sock.State() != TcpSocket::sckConnected; ++i) t.pump.process();
    for (int r = 0; r <= p.sessione.nUltimoRecord; ++r)
        EXPECT_TRUE(ScriviComm(p, p.sessione.aRecordOrdine[static_cast<std::size_t>(r)]));
    ASSERT_TRUE(peer.WaitLines(8));
    EXPECT_TRUE(peer.Errors().empty()) << peer.Errors().front();
    peer.Release();
}

TEST_F(OrderFile, RecordLimitIsEnforced) {
    Order(OrderLines(3991));  // end record at index 500
    ASSERT_TRUE(LetturaOrdineMorven(p));
    EXPECT_EQ(p.sessione.nUltimoRecord, 500);
    Order(OrderLines(3992));  // one more record than the array holds
    EXPECT_FALSE(LetturaOrdineMorven(p));
    EXPECT_NE(FunctionLog().find("LetturaOrdineMorven :Ordine troppo lungo: oltre 500 record"), std::string::npos);

    p.messaggio.sMes1 = "x";
    Order(OrderLines(3960));
    EXPECT_FALSE(LetturaOrdineMorven(p));  // the message records do not fit either
}

TEST_F(OrderFile, WrongLineLengthFailsBothReaders) {
    for (const std::string& bad : {std::string("P1       001"), std::string("P1       00012"), std::string()}) {
        SCOPED_TRACE(bad);
        Order({OrderLines(1)[0], bad});
        EXPECT_FALSE(LetturaOrdineMorven(p));
        EXPECT_FALSE(LetturaOrdineComproject(p));
    }
    EXPECT_NE(FunctionLog().find("LetturaOrdineMorven :Formato Record non Corretto"), std::string::npos);
    EXPECT_NE(FunctionLog().find("LetturaOrdineComproject :Formato Errato"), std::string::npos);
    std::remove((dir / "ordseq.txt").c_str());
    EXPECT_FALSE(LetturaOrdineMorven(p));
    EXPECT_NE(FunctionLog().find("LetturaOrdineMorven :Impossibile trovare il file"), std::string::npos);
}

TEST_F(OrderFile, ComprojectRecords) {
    auto entry = [](const std::string& line) { return line.substr(0, 9) + line.substr(10, 3); };
    // Twenty lines: one full record and no empty one behind it.
    const auto twenty = OrderLines(20);
    Order(twenty);
    ASSERT_TRUE(LetturaOrdineComproject(p));
    std::string entries;
    for (const auto& l : twenty) entries += entry(l);
    EXPECT_EQ(Records(), (std::vector<std::string>{"2123456789", "320" + entries + "0210", "5000"}));

    // Twenty-one lines, a quantity of 1000 or more sent as 999 and counted so.
    auto lines = OrderLines(21);
    lines[20] = "BIG      1500";
    Order(lines);
    ASSERT_TRUE(LetturaOrdineComproject(p));
    ASSERT_EQ(p.sessione.nUltimoRecord, 3);
    EXPECT_EQ(p.sessione.aRecordOrdine[2], "301BIG      9990999");

    // The message record counts the texts' length.
    p.messaggio = {"ciao", "a te", "", "!"};
    Order({});
    ASSERT_TRUE(LetturaOrdineComproject(p));
    EXPECT_EQ(Records(), (std::vector<std::string>{"2123456789", "5009ciaoa te!"}));
}

TEST_F(OrderFile, ComprojectAvailabilityTakesTheFirstFourLines) {
    p.impostazioni.bDisponibilita = true;
    const auto six = OrderLines(6);
    Order(six);
    ASSERT_TRUE(LetturaOrdineComproject(p));
    auto entry = [](const std::string& line) { return line.substr(0, 9) + line.substr(10, 3); };
    EXPECT_EQ(Records(), (std::vector<std::string>{"7123456789", "44" + entry(six[0]) + entry(six[1]) + entry(six[2]) + entry(six[3])}));
    Order(OrderLines(2));
    ASSERT_TRUE(LetturaOrdineComproject(p));
    EXPECT_EQ(p.sessione.aRecordOrdine[1].substr(0, 2), "42");
}

TEST_F(OrderFile, TraDatBecomesTheOrderFile) {
    Write("tra.dat", "C000777888004711\r\nP012345678000012\r\n  P000000002   100\r\nx");
    p.impostazioni.sCodiceCliente = "1234";  // padded to 9
    ASSERT_TRUE(ConvertiOrdineCSF(p));
    EXPECT_EQ(Read("ordseq.txt"), "1234     4711\r\n0123456780012\r\n0000000020100\r\n");
    EXPECT_EQ(p.sessione.sCsfCodice, "000777888");
    EXPECT_EQ(p.sessione.sCsfNumero, "004711");
    ASSERT_TRUE(LetturaOrdineMorven(p));  // and the reader takes it
    EXPECT_EQ(p.sessione.sRiferimentoTestata, "4711");

    p.impostazioni.sCodiceCliente = "12345678901234";  // cut to 9
    ASSERT_TRUE(ConvertiOrdineCSF(p));
    EXPECT_EQ(Read("ordseq.txt").substr(0, 13), "1234567894711");
}

TEST_F(OrderFile, BrokenTraDatLeavesNoOrderFile) {
    const char* bad[] = {
        "C000777888004711\r\nC000777888004712\r\n",  // a second header
        "C000777888004711\r\nP012345678012345\r\n",  // 12345 does not fit 4 digits
        "C000777888004711\r\nP01234567800ab12\r\n",  // not a number
        "C000777888004711\r\nP012345678      \r\n",  // no quantity
        "P012345678000012\r\nC000777888004711\r\n",  // a product before the header
        "C000777888004711\r\nP0123456780000",        // cut off
    };
    for (const char* tra : bad) {
        SCOPED_TRACE(tra);
        Write("ordseq.txt", "stale order\r\n");
        Write("tra.dat", tra);
        EXPECT_FALSE(ConvertiOrdineCSF(p));
        EXPECT_FALSE(FileExists(dir / "ordseq.txt"));
    }
    EXPECT_NE(FunctionLog().find("ConvertiOrdineCSF :tra.dat con piu' di una testata C"), std::string::npos);
    EXPECT_NE(FunctionLog().find("ConvertiOrdineCSF :tra.dat: quantita' non valida \"012345\""), std::string::npos);
    std::remove((dir / "tra.dat").c_str());
    EXPECT_FALSE(ConvertiOrdineCSF(p));
    EXPECT_NE(FunctionLog().find("ConvertiOrdineCSF :Impossibile trovare il file"), std::string::npos);
}

TEST_F(OrderFile, AnswerFileBecomesRic000) {
    p.sessione.sCsfCodice = "000777888";
    p.sessione.sCsfNumero = "004711";
    p.impostazioni.sCodiceCliente = "123456789";
    const std::string pad(28, ' ');
    auto man = [&](const std::string& code, const std::string& qty, char answer) { return code + qty + pad + answer; };
    const char answers[] = {'1', 'F', '9', 'G', '3', 'C', '4', 'E', '5', 'A', '2', 'B', '6', 'I', '7', 'J', '8', 'D', 'x'};
    const char outcomes[] = {'1', '1', '1', '1', '3', '3', '4', '4', '5', '5', '0', '0', '0', '0', '0', '0', '0', '0', '0'};
    std::vector<std::string> lines{"testata dell'ordine"};
    std::string entries = "C000777888004711";
    for (std::size_t i = 0; i < sizeof answers; ++i) {
        const std::string code = PadRight("A" + std::to_string(i), 9);
        lines.push_back(man(code, "0012", answers[i]));
        entries += "P" + code + outcomes[i] + "0" + "0012";
    }
    lines.push_back("a line of another length");
    Write("ordseq.man", Lines(lines));
    ASSERT_TRUE(ConvertiMancantiCSF(p));
    entries += "Z123456789";
    const std::string ric = Read("ric.000");
    std::string expected;
    for (std::size_t i = 0; i < entries.size(); i += 128) expected += PadRight(entries.substr(i, 128), 128, "0") + "\r\n";
    EXPECT_EQ(ric, expected);

    Write("ordseq.man", "");
    ASSERT_TRUE(ConvertiMancantiCSF(p));
    EXPECT_EQ(Read("ric.000"), PadRight("C000777888004711Z123456789", 128, "0") + "\r\n");
}

}  // namespace
}  // namespace morven
