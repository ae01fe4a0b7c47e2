// The mail and news transfers on the in-memory line: the header fields and tags, the limit stretch, the
// framed news receive with its acknowledgements, repeats, refusals and silences, and the archives the sender
// refuses.
#include "client/engine/mail_receive.h"
#include "client/engine/mail_send.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "client/engine/frames.h"
#include "client/engine/line_io.h"
#include "platform/core/text.h"
#include "tests/client/engine/engine_test_support.h"
#include "tests/client/engine/wholesaler_fake.h"
#include "tests/peers/codec.h"

namespace morven {
namespace {

namespace fs = std::filesystem;

TEST(MailHeaderTest, FieldsTagsAndBlockCounts) {
    EXPECT_EQ(IntestazionePosta(2, true, "CLI001", EtichettaPosta(false, true, false, false)),
              "00000002OFFERTA   CLI001 ***************");
    EXPECT_EQ(IntestazionePosta(0, false, "CLI001", EtichettaPosta(true, false, true, true)),
              "00000000NO-OFFERTACLI001 TCPIPxxxxxxxxxx");
    struct Riga {
        bool tcp, archivio, partner, bdati;
        const char* tag;
    } righe[] = {
        {false, false, true, true, " ***************"}, {false, true, true, true, " OLTREMA********"},
        {false, true, false, true, " BDATI  ********"},  {false, true, false, false, " ***************"},
        {true, false, true, false, " TCPIPxxxxxxxxxx"},  {true, true, true, false, " OLTREMATCPIPxxx"},
        {true, true, false, true, " TCPIPxxxxxxxxxx"},
    };
    for (const auto& r : righe) EXPECT_EQ(EtichettaPosta(r.tcp, r.archivio, r.partner, r.bdati), r.tag);
    EXPECT_EQ(BlocchiPosta(0, false), 1);
    EXPECT_EQ(BlocchiPosta(1024, false), 2);  // the second block holds only its counter
    EXPECT_EQ(BlocchiPosta(1025, false), 2);
    EXPECT_EQ(BlocchiPosta(100, true), 1);
    EXPECT_EQ(BlocchiPosta(20000, true), 2);  // while three blocks go out
}

// The stretch of a long transfer's limit, for the news and the IFCK answer alike: the projection, never
// shorter, and never beyond four times the limit the phase started with, whatever the wholesaler announces.
TEST(MailHeaderTest, TheLimitStretchIsBoundedByThePhasesOwnLimit) {
    struct Caso {
        int limite;
        double fatti;
        long totale;
        int esteso;
    };
    const Caso casi[] = {
        {1800, 20, 300, 6750},     // within four times
        {400, 1, 9998, 1600},      // 9998 blocks announced, one in after 300 s: four times 400
        {400, 12, 9998, 1600},     // the projection (374,925 s) cut the same way
        {32767, 1, 9998, 131068},  // the largest setting
        {400, 300, 301, 452},      // nearly done: the projection itself
        {400, 0, 9998, 400},       // nothing in yet
        {0, 1, 10, 0},             // a phase without a limit of its own stays so
    };
    for (const Caso& c : casi)
        EXPECT_EQ(LimiteFaseEsteso(c.limite, c.fatti, c.totale), c.esteso) << c.limite << " " << c.fatti << " " << c.totale;

    testing::TempDir d;
    TestProgram tp(d.path());
    tp.p.percorsi.sFileLogSessione = "s.log";
    tp.p.sessione.nTimeMaxCorrente = 400;
    EstendiLimiteFase(tp.p, "Ricezione IFCK", 1, 9998);
    EXPECT_EQ(tp.p.sessione.nTimeMaxCorrente, 1600);
    std::string log;
    ReadWholeFile(d / "log/20261210/s.log", log);
    EXPECT_EQ(log, "Ricezione IFCK: limite di tempo 400 s, esteso a 1600 s (stima 4499100 s, oltre 4 volte il limite)\r\n");
}

TEST(MailHeaderTest, LimitStretchAndByteTexts) {
    EXPECT_EQ(LimiteFaseEsteso(1800, 20, 300), 6750);  // E = 300 / 20 × 300 = 4500, L = 6750
    EXPECT_EQ(LimiteFaseEsteso(9000, 20, 300), 9000);  // never shortened
    EXPECT_EQ(LimiteFaseEsteso(1800, 0, 300), 1800);
    EXPECT_EQ(FormattaByte(5), "005");
    EXPECT_EQ(FormattaByte(20000), "20.000");
    EXPECT_EQ(FormattaByte(1234567), "1.234.567");
    EXPECT_EQ(TestoNumero(5), " 5");
    EXPECT_EQ(TestoNumero(-1), "-1");
}

struct NewsReceiveTest : ::testing::Test, testing::EngineFixture {
    testing::GrossistaFinto g;

    NewsReceiveTest() {
        t.clock.SetAutoStep(20);
        p.impostazioni.bModoInternet = true;
        p.impostazioni.sCodiceCliente = "CLI001";
        p.impostazioni.nTipoInterfaccia = 3;
        p.sessione.nTimeMaxCorrente = 1800;
        p.sessione.nTimeOutRecord = 30;
        p.percorsi.sFileLogSessione = "s.log";
        g.Collega(t.socket);
    }
    void Invia(const std::vector<std::string>& frames) {
        for (const auto& f : frames) t.socket.Feed(f + "\r\n");
    }
    std::string Log() const { return Read("log/20261210/s.log"); }
};

std::string F(const std::string& payload) { return peers::Frame(payload); }
std::string Testata(int n, bool offerta = true) {
    return "0000" + PadLeft(n, 4, "0") + (offerta ? "OFFERTA   " : "NO-OFFERTA") + "CLI001   " + " ***************";
}

TEST_F(NewsReceiveTest, FramedNewsTable) {
    // Data that holds the lost-line words: inside a frame they are data.
    const std::string d1 = std::string("NO CARRIER\x00\x1f\x8b", 13), d2 = "seconda\r\nparte";
    struct Caso {
        const char* nome;
        std::vector<std::string> frames;
        std::vector<std::string> risposte;
        int passo;
        const char* archivio;  // nullptr: no file
    } casi[] = {
        {"nessuna notizia", {F(Testata(0, false))}, {"SI 0", "SI0000"}, 46, nullptr},
        {"ripetuto", {F(Testata(2)), F("0001" + d1), F("0001" + d1), F("0002" + d2), F("9999")},
         {"SI 0", "SI 1", "SI 1", "SI 2", "SI 9999", "SI9999"}, 46, "12"},
        {"fuori ordine", {F(Testata(2)), F("0002" + d2), F("0001" + d1), F("0002" + d2), F("9999")},
         {"SI 0", "NO 0", "SI 1", "SI 2", "SI 9999", "SI9999"}, 46, "12"},
        {"guasti", {"AEIOspazzaturaOIEA", F(Testata(1)), F("0001" + d1), peers::FrameWithBadSums("0002" + d2),
                    F("9999")},
         {"SI 0", "SI 1", "NO 1", "SI 9999", "SI9999"}, 46, "1"},
        {"fine prima della testata", {F("9999"), F(Testata(0, false))}, {"NO-1", "SI 0", "SI0000"}, 46, nullptr},
        // Silence after a block: asked again after each empty wait, until the record limit.
        {"silenzio", {F(Testata(2)), F("0001" + d1)}, {"SI 0", "SI 1", "NO 1", "NO 1"}, 3, nullptr},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        fs::remove_all(dir / "news");
        g.ricevute.clear();
        t.socket.incoming.clear();
        t.socket.sCodaRicezione.clear();
        p.sessione.bNotizieRicevute = false;
        p.sessione.nInizioCollegamento = static_cast<std::int32_t>(t.clock.MonotonicMs() / 1000);
        Invia(c.frames);
        EXPECT_EQ(RxPosta(p), c.passo != NumeroPasso(kPassoRitenta));
        EXPECT_EQ(NumeroPasso(p.sessione.nPassoSessione), c.passo);
        EXPECT_EQ(g.ricevute, c.risposte);
        if (c.archivio) {
            std::string atteso;
            for (const char* k = c.archivio; *k; ++k) atteso += *k == '1' ? d1 : d2;
            EXPECT_EQ(Read("news/notizie.gz"), atteso);
            EXPECT_TRUE(p.sessione.bNotizieRicevute);
        } else {
            EXPECT_FALSE(fs::exists(dir / "news/notizie.gz"));
            EXPECT_FALSE(p.sessione.bNotizieRicevute);
        }
        g.Collega(t.socket);  // the receiver closed the socket after the news
    }
    EXPECT_NE(Log().find("RX: ERRORE Progressione\r\nULTIMO OK:0\r\nRICEVUTO :2\r\n"), std::string::npos) << Log();
}

TEST_F(NewsReceiveTest, AFileThatCannotBeWrittenIsNeverAcknowledged) {
    Write("news", "un file dove va la cartella");
    p.impostazioni.nTipoInterfaccia = 4;
    Invia({F(Testata(1)), F("0001abc"), F("9999")});
    EXPECT_FALSE(RxPosta(p));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoRitenta);
    EXPECT_EQ(g.ricevute, (std::vector<std::string>{"SI 0", "SI 1"}));
    EXPECT_FALSE(p.sessione.bNotizieRicevute);
    EXPECT_NE(FunctionLog().find("RxPosta :"), std::string::npos);
}

TEST_F(NewsReceiveTest, MailSessionEndsAtFortySeven) {
    p.impostazioni.nTipoInterfaccia = 4;
    Invia({F(Testata(1)), F("0001abc"), F("9999")});
    EXPECT_TRUE(RxPosta(p));
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoFinePosta);
    EXPECT_EQ(Read("news/notizie.gz"), "abc");
    EXPECT_NE(p.sessione.sTracciaEventi.find(" Ricezione POSTA OK "), std::string::npos);
}

// An archive too large for the 4-digit block counter is refused before anything goes out.
TEST_F(NewsReceiveTest, MailArchiveTooLargeForTheCounterIsRefused) {
    for (const bool tcp : {false, true}) {
        SCOPED_TRACE(tcp);
        const std::uintmax_t troppo = tcp ? 10000ull * 8192 : 9998ull * 1024;
        Write("posta.gz", "");
        fs::resize_file(dir / "posta.gz", troppo);  // sparse: nothing is written
        g.ricevute.clear();
        p.sessione.nInizioCollegamento = static_cast<std::int32_t>(t.clock.MonotonicMs() / 1000);
        EXPECT_FALSE(tcp ? txPostaTCP(p) : TxPosta(p, dir / "posta.gz"));
        EXPECT_EQ(p.sessione.nPassoSessione, kPassoRitenta);
        EXPECT_TRUE(g.ricevute.empty());
        EXPECT_NE(Log().find("TX: ERRORE archivio posta di " + std::to_string(troppo) + " byte"), std::string::npos);
    }
    EXPECT_NE(FunctionLog().find("TxPosta :Archivio posta troppo grande"), std::string::npos) << FunctionLog();
    EXPECT_NE(FunctionLog().find("txPostaTCP :Archivio posta troppo grande"), std::string::npos);
}

}  // namespace
}  // namespace morven
