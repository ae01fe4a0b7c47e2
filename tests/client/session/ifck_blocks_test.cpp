// The pieces of the IFCK block transfer that need no line: header and end payloads, the block count, the
// kind letters and the session-limit estimate of a slow answer; and the answer receiver on the in-memory
// socket, where each acknowledgement can be checked against the answer file as it stands when it goes out.
#include "client/session/ifck_blocks.h"

#include <gtest/gtest.h>

#include "client/engine/programma.h"
#include "platform/core/text.h"
#include "tests/client/engine/engine_test_support.h"
#include "tests/client/engine/wholesaler_fake.h"
#include "tests/peers/codec.h"

namespace morven {
namespace {

TEST(IfckBlocks, PayloadsAndBlockCount) {
    EXPECT_EQ(PayloadTestataIFCK(3, "CLI001", "O", false), "00000003MORVEN2006CLI001 ON*************");
    EXPECT_EQ(PayloadTestataIFCK(0, "", "N", true), "00000000MORVEN2006 NS*************");
    // The client code starts at column 19, where the receiver reads it.
    EXPECT_EQ(PayloadTestataIFCK(12, "123456789", "D", false).substr(18, 9), "123456789");
    EXPECT_EQ(PayloadFineIFCK(), "9999FINE TX      ********************");
    const std::pair<std::size_t, int> totali[] = {{0, 1}, {1, 1}, {1023, 1}, {1024, 2}, {2048, 3}, {2049, 3}};
    for (const auto& [lunghezza, totale] : totali) EXPECT_EQ(TotaleBlocchi(lunghezza, 1024), totale) << lunghezza;
}

TEST(IfckBlocks, KindLetterByTheFirstFlagThatHolds) {
    struct Case {
        bool docs, listino, trattati, disp, pht;
        const char* lettera;
        const char* didascalia;
    };
    const Case cases[] = {
        {true, true, true, true, true, "F", "Richiesta Documenti"},
        {false, true, true, true, true, "L", "Richiesta Listino"},
        {false, false, true, true, true, "U", "Richiesta Trattati PHT"},
        {false, false, false, true, true, "D", "Richiesta Disponibilit\xe0"},
        {false, false, false, false, true, "H", "Trasmissione Ordine PHT"},
        {false, false, false, false, false, "O", "Trasmissione Ordine"},
    };
    for (const Case& c : cases) {
        Programma p;
        p.impostazioni.bRichDocs = c.docs;
        p.richiesta.bRichListino = c.listino;
        p.richiesta.bRichTrattatiPht = c.trattati;
        p.impostazioni.bDisponibilita = c.disp;
        p.impostazioni.bOrdinePht = c.pht;
        const TipoInvioIFCK t = TipoInvio(p);
        EXPECT_EQ(t.lettera, c.lettera);
        EXPECT_EQ(t.didascalia, c.didascalia);
    }
}

TEST(IfckBlocks, SessionLimitEstimateOfASlowAnswer) {
    struct Case {
        int blocco, totale, stima;
    };
    const Case cases[] = {
        {1, 5, 2250},      // 300 / 1 × 5 = 1500, and half of it again
        {2, 3, 675},       // 450 + 225
        {3, 1, 150},       // 100 + 50
        {7, 1, 64},        // 42.857 → 43; 43 + 21.5 = 64.5 → 64, a half to the even neighbour
        {1, 9998, 32767},  // 4,499,100 seconds: held to the 16-bit limit
        {0, 5, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(StimaTempoMassimo(c.blocco, c.totale), c.stima) << c.blocco << " " << c.totale;
}

// A request that cannot be numbered (more data blocks than the end block leaves) ends the transfer at step 3
// with its reason in the function log; nothing goes on the line and the step is not run again as it was.
TEST(IfckBlocks, UnexpectedErrorEndsAtStepThree) {
    testing::EngineFixture f;
    f.p.impostazioni.bModoInternet = true;
    f.p.sessione.nPassoSessione = kPassoInviaIFCK;
    f.Write("IFCK02_IN_MORVEN.DAT", std::string(9998, 'x'));
    EXPECT_FALSE(TxMorvenFCK(f.p, f.dir / "IFCK02_IN_MORVEN.DAT", 1, false, false));
    EXPECT_EQ(f.p.sessione.nPassoSessione, kPassoRitenta);
    EXPECT_NE(f.FunctionLog().find("TxMorvenFCK :File richiesta di 9998 byte: oltre 9998 blocchi"), std::string::npos)
        << f.FunctionLog();
    EXPECT_TRUE(f.t.socket.sent.empty());
}

// The end of an answer is acknowledged twice, both times once the answer file is stored whole; the header's
// block total is only shown, so an answer of another number of blocks than announced is kept, with the
// mismatch in the session log.
TEST(IfckAnswerReceiver, EndAcknowledgedTwiceAfterTheWholeAnswerWhateverTheHeaderAnnounced) {
    struct Caso {
        int annunciati;
        const char* blocchi;  // shown at the end
        bool differenza;
    };
    const std::string dati1(1024, 'a'), dati2 = "seconda parte\r\n";
    for (const Caso& c : {Caso{2, "2 di 2", false}, Caso{5, "2 di 5", true}, Caso{1, "2 di 1", true}}) {
        SCOPED_TRACE(c.annunciati);
        testing::EngineFixture f;
        f.t.clock.SetAutoStep(20);
        auto& st = f.p.sessione;
        f.p.impostazioni.bModoInternet = true;
        f.p.percorsi.sFileLogSessione = "s.log";
        st.nTimeMaxCorrente = 600;
        st.nTimeOutRecord = 30;
        st.nInizioCollegamento = static_cast<std::int32_t>(f.t.clock.MonotonicMs() / 1000);
        const std::string file = f.dir / "IFCK02_OUT_MORVEN.DAT";
        testing::GrossistaFinto g;
        std::vector<std::string> rispostaAlleFini;  // the answer file as each "SI9999" found it
        g.risponde = [&](const std::string& riga) {
            if (riga == "SI9999") rispostaAlleFini.push_back(f.Read("IFCK02_OUT_MORVEN.DAT"));
            return std::vector<std::string>{};
        };
        g.Collega(f.t.socket);
        for (const std::string& payload :
             {"0000" + PadLeft(c.annunciati, 4, "0") + "MORVEN2006CLI001    " + " ON" + std::string(13, '*'),
              "0001" + dati1, "0002" + dati2, std::string("9999FINE TX      ********************")})
            f.t.socket.Feed(peers::Frame(payload) + "\r\n");

        EXPECT_TRUE(RxMorvenFCK(f.p, file));
        EXPECT_EQ(st.nPassoSessione, kPassoFineOrdine);
        EXPECT_EQ(g.ricevute, (std::vector<std::string>{"SI0", "SI1", "SI2", "SI9999", "SI9999"}));
        EXPECT_EQ(rispostaAlleFini, (std::vector<std::string>{dati1 + dati2, dati1 + dati2}));
        EXPECT_EQ(f.t.main.Text("nblocchi"), c.blocchi);
        EXPECT_TRUE(st.bMancantiRicevuti);
        const std::string log = f.Read("log/20261210/s.log");
        EXPECT_EQ(log.find("RX: blocchi ricevuti 2 diversi dalla testata " + std::to_string(c.annunciati)) !=
                      std::string::npos,
                  c.differenza)
            << log;
        EXPECT_EQ(log.find("RX: ERRORE"), std::string::npos) << log;
    }
}

}  // namespace
}  // namespace morven
