// What a batch run leaves for its caller: one outcome line at the end of MorvenClient.log that tells "sent and
// answered", "sent, no answer" and "nothing sent" apart and says why, the last message naming what failed,
// and no answer of an earlier call left beside a new one, refused or not. Whole calls against the fake
// wholesaler on the test clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "client/session/call_driver.h"
#include "client/session/line_events.h"
#include "tests/client/session/session_harness.h"
#include "tests/client/session/session_scripts.h"

namespace morven {
namespace {

namespace peers = morven::peers;
using namespace morven::testing;

const std::string kFam = "020003****";  // DESCRIZ-MAN
const int kRighe = 2;
const std::string kVoce = PadRight("PRD1", 9) + "0003" + PadRight("NON DISPONIBILE", 28) + "3";

std::vector<std::string> Impostazioni(int porta, const std::string& valorePorta = {}) {
    return {Riga("Connect", "Grossista Prova"),
            Riga("Code", kCodice),
            Riga("Mode", "INTERNET"),
            Riga("Ip1", "127.0.0.1"),
            Riga("Porta", valorePorta.empty() ? std::to_string(porta) : valorePorta),
            Riga("AutoIncPor", "NO"),
            Riga("Interface", "DESCRIZ-MAN"),
            Riga("ModeIFCK", "NO"),
            Riga("DispOrdine", "NO"),
            Riga("TimeMaxOrd", "30")};
}

peers::Script Completa() {
    peers::Script s;
    OrdineAccettato(s, kFam, kRighe);
    Risposta(s, Testata(1));
    Risposta(s, "0001" + kVoce);
    Risposta(s, "9999" + kCodice);
    return s;
}

// The order taken whole and the answer begun, then the line ends: closed in order, or reset.
peers::Script OrdineEPoi(peers::Step fine) {
    peers::Script s;
    OrdineAccettato(s, kFam, kRighe);
    Risposta(s, Testata(1));
    s.push_back(std::move(fine));
    return s;
}

// Every record refused, then the line closed: each call opens the line and sends nothing whole.
std::vector<peers::Script> RifiutaTutto() {
    peers::Script s;
    for (int i = 0; i < 3; ++i) {
        s.push_back(peers::ExpectAny());
        s.push_back(peers::Send("NO"));
    }
    s.push_back(peers::CloseLine());
    return std::vector<peers::Script>(16, s);
}

// The lines of the function log that are outcome lines.
std::vector<std::string> RigheEsito(const std::string& log) {
    std::vector<std::string> r;
    for (const std::string& riga : SplitLines(log))
        if (riga.find(" - Esito :") != std::string::npos) r.push_back(riga);
    return r;
}

TEST(RunOutcomeTest, EveryBatchRunEndsWithOneOutcomeLine) {
    const struct {
        const char* caso;
        std::function<std::vector<peers::Script>()> grossista;
        bool impostazioni;        // the slot's settings file is there
        const char* porta;        // the port value written, "" for the wholesaler's
        const char* esito;        // the outcome line from "Esito :" on, up to the reasons
        const char* motivo;       // part of the reasons, "" for none
        const char* ultimoBox;    // part of the last message shown
        int ordiniInviati;        // how often the order's end record (the order whole) reached the wholesaler
    } casi[] = {
        {"sent and answered", [] { return std::vector<peers::Script>{Completa()}; }, true, "",
         "Esito :inviato SI, risposta completa SI", "", nullptr, 1},
        {"no settings file", [] { return std::vector<peers::Script>{Completa()}; }, false, "",
         "Esito :inviato NO, risposta completa NO :", "file di configurazione mancante", nullptr, 0},
        {"a port that cannot be used", [] { return std::vector<peers::Script>{Completa()}; }, true, "0",
         "Esito :inviato NO, risposta completa NO :", "impostazione non valida PORTA :0", nullptr, 0},
        {"the wholesaler closes the line after the order",
         [] { return std::vector<peers::Script>{OrdineEPoi(peers::CloseLine())}; }, true, "",
         "Esito :inviato SI, risposta completa NO :", "connessione chiusa dal grossista", nullptr, 1},
        {"the wholesaler resets the line after the order",
         [] { return std::vector<peers::Script>{OrdineEPoi(peers::ResetLine())}; }, true, "",
         "Esito :inviato SI, risposta completa NO :", "connessione interrotta (errore", nullptr, 1},
        {"every record refused", RifiutaTutto, true, "", "Esito :inviato NO, risposta completa NO :",
         "Trasmissione Ordine ERRATA", "Collegamento Riuscito , Trasmissione Ordine ERRATA !", 0},
        {"nobody answers on the port", [] { return std::vector<peers::Script>{}; }, true, "1",
         "Esito :inviato NO, risposta completa NO :", "Collegamento Impossibile", "Collegamento Impossibile", 0},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.caso);
        peers::FakeWholesaler w(c.grossista());
        SessionHarness h;
        h.UsaTcp();
        CollegaEventiLinea(h.p);  // the program's own socket events, which log how the line ended
        if (c.impostazioni) h.Impostazioni(Impostazioni(w.Port(), c.porta));
        h.Ordine(FileOrdine(kRighe));
        h.p.opzioni.bBlkRun = true;
        SceltaChiamata(h.p, "01");

        ASSERT_EQ(h.t.end.calls, 1);
        EXPECT_TRUE(h.Esiste("MorvenClient.end"));
        const std::string log = h.LogFunzioni();
        const auto esiti = RigheEsito(log);
        ASSERT_EQ(esiti.size(), 1u) << log;
        // The last line of the log, so a caller that reads the log after the end marker finds it there.
        EXPECT_EQ(SplitLines(log).back(), esiti[0]);
        const std::string esito = esiti[0].substr(esiti[0].find("Esito :"));
        EXPECT_EQ(esito.substr(0, std::string(c.esito).size()), c.esito) << esito;
        if (*c.motivo) {
            EXPECT_NE(esito.find(c.motivo), std::string::npos) << esito;
        }
        if (c.ultimoBox) {
            ASSERT_FALSE(h.t.msgbox.calls.empty());
            EXPECT_NE(h.t.msgbox.calls.back().prompt.find(c.ultimoBox), std::string::npos)
                << h.t.msgbox.calls.back().prompt;
            EXPECT_EQ(h.t.msgbox.calls.back().prompt.find("Collegamento Impossibile") != std::string::npos,
                      std::string(c.ultimoBox) == "Collegamento Impossibile");
        }
        const auto righe = w.Lines();
        EXPECT_EQ(std::count(righe.begin(), righe.end(), RecordAttesi(kFam, kRighe).back()), c.ordiniInviati);
        // The answer files are whole exactly when the outcome says so, and abort.dat stays otherwise.
        const bool risposta = esito.find("risposta completa SI") != std::string::npos;
        EXPECT_EQ(h.Esiste("abort.dat"), !risposta);
        EXPECT_EQ(h.Esiste("ordseq.man"), risposta);
    }
}

// A new call removes the previous call's answers before anything else, so a refused call never leaves them
// beside its own abort.dat for a caller to take as this call's answer.
TEST(RunOutcomeTest, ARefusedCallLeavesNoEarlierAnswer) {
    const struct {
        const char* caso;
        bool impostazioni;
        const char* porta;
    } casi[] = {
        {"no settings file", false, ""},
        {"port 0", true, "0"},
        {"a port that is not a number", true, "abc"},
    };
    const char* vecchie[] = {"ordseq.rst", "ordseq.man", "ordseq.ma1", "ordseq2006.man", "msgrx.txt",
                             "IFCK01_OUT_MORVEN.DAT", "ifck03_out_abc.txt"};
    for (const auto& c : casi) {
        SCOPED_TRACE(c.caso);
        peers::FakeWholesaler w({Completa()});
        SessionHarness h;
        h.UsaTcp();
        if (c.impostazioni) h.Impostazioni(Impostazioni(w.Port(), c.porta));
        h.Ordine(FileOrdine(kRighe));
        for (const char* f : vecchie) h.Scrivi(f, "risposta della chiamata precedente\r\n");
        h.Scrivi("IFCK01_IN_MORVEN.DAT", "richiesta\r\n");
        h.p.opzioni.bBlkRun = true;
        EXPECT_FALSE(SceltaChiamata(h.p, "01"));
        EXPECT_EQ(w.Connections(), 0);
        for (const char* f : vecchie) EXPECT_FALSE(h.Esiste(f)) << f;
        EXPECT_TRUE(h.Esiste("IFCK01_IN_MORVEN.DAT"));  // a request handed in is not an answer
        EXPECT_TRUE(h.Esiste("abort.dat"));
        EXPECT_TRUE(h.Esiste("MorvenClient.end"));
    }
}

}  // namespace
}  // namespace morven
