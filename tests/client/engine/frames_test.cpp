#include "client/engine/frames.h"

#include "client/engine/programma.h"
#include "tests/client/engine/engine_test_support.h"
#include "tests/peers/codec.h"

#include <gtest/gtest.h>

namespace morven {
namespace {

class Frames : public ::testing::Test, public testing::EngineFixture {
protected:
    Frames() { p.percorsi.sFileLogSessione = "sessione.log"; }
    std::string SessionLog() const { return Read("log/20261210/sessione.log"); }
};

TEST_F(Frames, PublishedVectorsAndTheIndependentPeer) {
    EXPECT_EQ(AddCeck_MORVEN(p, "A"), "AEIOA000098000000OIEA");
    EXPECT_EQ(AddCeck_MORVEN(p, "AB"), "AEIOAB000148000049OIEA");
    // Every byte value, and payloads long enough for the sums to pass six digits.
    std::string all;
    for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
    for (const std::string& payload : {all, std::string(8200, '\xff'), std::string(5000, 'x') + all}) {
        const std::string frame = AddCeck_MORVEN(p, payload);
        EXPECT_EQ(frame, peers::Frame(payload));
        std::string copy = frame;
        EXPECT_TRUE(Ceck_MORVEN(p, copy));
        EXPECT_EQ(copy, payload);
    }
    EXPECT_GT(CalcolaSommeFrame(std::string(8200, '\xff')).nChkTxp, 999999);
}

TEST_F(Frames, FrameCheckFailures) {
    struct Case {
        std::string frame;
        std::string payloadAfter;  // what the argument becomes
        std::string sessionLog;
        bool functionLog;
    };
    const Case cases[] = {
        {"XEIOA000098000000OIEA", "XEIOA000098000000OIEA", "RX: ERRORE manca INIZIO\r\n", false},
        {"AEIOA000098000000OIEX", "AEIOA000098000000OIEX", "RX: ERRORE manca FINE\r\n", false},
        {"AEIOB000098000000OIEA", "B",
         "RX: ERRORE ceckSUM\r\nnRxChkTxp   :98\r\nnChkTxp :99\r\nnRxChkTxd   :0\r\nnChkTxd :0\r\n", false},
        {"AEIOAB000148000048OIEA", "AB",
         "RX: ERRORE ceckSUM\r\nnRxChkTxp   :148\r\nnChkTxp :148\r\nnRxChkTxd   :48\r\nnChkTxd :49\r\n", false},
        {"AEIO000000000000OIEA", "", "", true},  // 20 characters: no payload
        {"AEIOxOIEA", "AEIOxOIEA", "", true},    // too short to hold the sums
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        testing::TempDir d;
        TestProgram tp(d.path());
        tp.p.percorsi.sFileLogSessione = "s.log";
        std::string arg = c.frame;
        EXPECT_FALSE(Ceck_MORVEN(tp.p, arg));
        EXPECT_EQ(arg, c.payloadAfter);
        std::string log;
        ReadWholeFile(d / "log/20261210/s.log", log);
        EXPECT_EQ(log, c.sessionLog);
        std::string flog;
        ReadWholeFile(d / "MorvenClient.log", flog);
        EXPECT_EQ(flog.find("Ceck_MORVEN :") != std::string::npos, c.functionLog) << flog;
    }
    EXPECT_EQ(AddCeck_MORVEN(p, ""), "");
    EXPECT_NE(FunctionLog().find("AddCeck_MORVEN :Divisione per zero"), std::string::npos);
}

TEST_F(Frames, ReceiverCutsTheBufferToTheFrame) {
    EXPECT_EQ(TagliaAlFrame("SI 1\r\nAEIOA000098000000OIEA\r\nxx"), "AEIOA000098000000OIEA");
    EXPECT_EQ(TagliaAlFrame("OIEA AEIOxx"), "OIEA AEIOxx");
    EXPECT_EQ(TagliaAlFrame("no marks"), "no marks");
}

// A frame whose data hold "OIEA" arrives cut there; the join puts it back together with what comes next,
// and lets a new frame through when the sender moved on.
TEST_F(Frames, CutFramesAreJoinedWithTheirContinuation) {
    const std::string intero = AddCeck_MORVEN(p, "0003dati OIEA\r\ne altri");
    const auto cut = intero.find("OIEA") + 4;
    const std::string primo = intero.substr(0, cut);   // what the reader hands over first
    const std::string resto = intero.substr(cut + 2);  // after the line end the reader took off
    const std::string nuovo = AddCeck_MORVEN(p, "0004nuovo");
    struct Caso {
        const char* nome;
        std::string letto, prima;
        std::size_t massimo;
        std::string atteso;
        bool scaduto;
    };
    const Caso casi[] = {
        {"continuation", resto, "", 1024, intero, false},
        {"the sender moved on", nuovo, "", 1024, nuovo, false},
        {"a new frame after bytes", nuovo, "NO 2\r\n", 1024, nuovo, false},
        {"nothing came", "", "", 1024, "", true},
        {"joined beyond the longest frame", resto, "", 8, intero, false},  // the caller refuses it by its size
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        GiuntaFrame g;
        ASSERT_TRUE(g.Trattieni(primo, "\r\n"));
        EXPECT_TRUE(g.InAttesa());
        bool scaduto = false;
        EXPECT_EQ(g.Candidato(c.letto, c.prima, c.massimo, scaduto), c.atteso);
        EXPECT_EQ(scaduto, c.scaduto);
        EXPECT_EQ(g.Scartato(), c.atteso == nuovo);  // a new frame drops the held one
        EXPECT_FALSE(g.InAttesa());  // every call ends the hold
    }
    // The start mark inside the data of the continuation: joined when the two together have the right sums.
    const std::string conMarca = AddCeck_MORVEN(p, "0005xOIEAyAEIOz");
    const auto taglio = conMarca.find("OIEA") + 4;
    GiuntaFrame g;
    ASSERT_TRUE(g.Trattieni(conMarca.substr(0, taglio), ""));
    bool scaduto = false;
    // The reader hands over the continuation from its start mark, with the byte before it apart.
    EXPECT_EQ(g.Candidato(conMarca.substr(taglio + 1), conMarca.substr(taglio, 1), 1024, scaduto), conMarca);
    // Without a hold the read is cut to its frame; only a text with both marks is held.
    EXPECT_EQ(g.Candidato("xx" + nuovo + "yy", "", 1024, scaduto), nuovo);
    EXPECT_FALSE(scaduto);
    EXPECT_FALSE(g.Trattieni("AEIO senza fine", ""));
    EXPECT_FALSE(g.Trattieni("senza inizio OIEA", ""));
    EXPECT_FALSE(g.InAttesa());
}

TEST_F(Frames, StandardRecordChecks) {
    const std::string stx = "\x02", etx = "\x03";
    const std::string data = "0001000000000123  4567890120003";
    struct Case {
        std::string record;
        bool ok;
        std::string after;
        bool overflow;
    };
    const Case cases[] = {
        {peers::Record(data), true, data, false},
        {FormaControllata(data), true, data, false},
        {stx + "A0422500000" + etx, true, "A", false},           // 65 × 65 = 4225
        {stx + "A0422400000" + etx, false, "A", false},          // K1 off by one
        {stx + "A0422500001" + etx, false, "A", false},          // K2 off by one
        {"A0422500000" + etx, false, "A0422500000" + etx, false},  // no STX
        {stx + "A0422500000", false, stx + "A0422500000", false},  // no ETX
        {stx + "\xb6" "0000000000" + etx, false, "\xb6", true},  // 182 × 182 overflows 16 bits
        {stx + "\xb5" "3276100000" + etx, true, "\xb5", false},  // 181 × 181 = 32761 fits
        {stx + "12" + etx, false, stx + "12" + etx, true},      // too short for the sums
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.record);
        testing::TempDir d;
        TestProgram tp(d.path());
        std::string arg = c.record;
        EXPECT_EQ(Ceck_LORQ(tp.p, arg), c.ok);
        EXPECT_EQ(arg, c.after);
        std::string flog;
        ReadWholeFile(d / "MorvenClient.log", flog);
        EXPECT_EQ(flog.find("Ceck_LORQ :") != std::string::npos, c.overflow) << flog;
    }
}

TEST_F(Frames, LongRecordsCompareTheLastFiveDigits) {
    // Sums past 99999: the sender writes only their last five digits, and they must still pass.
    const std::string data(3000, 'z');
    const SommeRecord s = CalcolaSommeRecord(data);
    ASSERT_GT(s.k2, 99999);
    std::string rec = peers::Record(data);
    EXPECT_TRUE(Ceck_LORQ(p, rec));
    EXPECT_EQ(rec, data);
}

TEST_F(Frames, EndRecordPassesOnlyWithTheOrderInterface) {
    const std::string end = "X9999" + std::string(30, '9') + "tail";
    std::string arg = end;
    p.impostazioni.sInterfaccia = "ORDINE";
    EXPECT_TRUE(Ceck_LORQ(p, arg));
    EXPECT_EQ(arg, end.substr(1));
    arg = end;
    p.impostazioni.sInterfaccia = "ordine";  // the test is case-sensitive
    EXPECT_FALSE(Ceck_LORQ(p, arg));
    EXPECT_EQ(arg, end);
}

TEST_F(Frames, CpjRecordLengths) {
    struct Case {
        std::string record;
        bool ok;
        std::string after;
    };
    const Case cases[] = {
        {"902" + std::string(82, 'x'), true, "902" + std::string(82, 'x')},
        {"902" + std::string(81, 'x'), false, "902" + std::string(81, 'x')},
        {"  5OK", true, "5OK"},
        {"ab1", true, "1"},
        {"900", true, "900"},
        {"9", false, "9"},
        {"xyz", false, "xyz"},
        {"  3 then 9", false, "9"},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.record);
        std::string arg = c.record;
        EXPECT_EQ(Ceck_CPJ(p, arg), c.ok);
        EXPECT_EQ(arg, c.after);
    }
}

TEST(ValoreCifre, LeadingDigitsOnly) {
    EXPECT_EQ(ValoreCifre("000098"), 98);
    EXPECT_EQ(ValoreCifre("  12ab"), 12);
    EXPECT_EQ(ValoreCifre("ab12"), 0);
    EXPECT_EQ(ValoreCifre(""), 0);
    EXPECT_EQ(ValoreCifre("-0012"), -12);
}

}  // namespace
}  // namespace morven
