// Whole IFCK sessions through SceltaChiamata against the fake wholesaler (TCP) and the modem emulator: the
// request out in numbered blocks, the answer in, and a table of faults on the line in both directions.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "client/exchange/call_driver.h"
#include "tests/client/exchange/ifck_session_scripts.h"
#include "tests/client/exchange/session_harness.h"
#include "tests/client/exchange/session_scripts.h"

namespace morven {
namespace {

namespace peers = morven::peers;
using namespace morven::testing;

const std::string kIn = "IFCK02_IN_MORVEN.DAT";
const std::string kOut = "IFCK02_OUT_MORVEN.DAT";
const std::string kRisposta = FileRisposta(30);  // two blocks
const std::string kErrata = "Trasmissione Ordine Corretta , Ricezione Mancanti ERRATA !";

std::vector<std::string> Comuni(bool compMvn) {
    return {Riga("Connect", "Grossista IFCK"), Riga("Code", kCodice),         Riga("Interface", "DESCRIZ-MAN"),
            Riga("ModeIFCK", "YES"),           Riga("Comp-MVN", compMvn ? "YES" : "NO"),
            Riga("DispOrdine", "NO"),          Riga("TimeMaxOrd", "120")};
}

std::vector<std::string> ImpostazioniTcp(int porta, bool compMvn = true) {
    auto v = Comuni(compMvn);
    for (const auto& r : {Riga("Mode", "INTERNET"), Riga("Ip1", "127.0.0.1"), Riga("Porta", std::to_string(porta)),
                          Riga("AutoIncPor", "NO")})
        v.push_back(r);
    return v;
}

// The request blocks as they reached the wholesaler, unframed, and the file they rebuild.
struct Ricevuto {
    std::vector<std::string> blocchi;
    std::string file;
};
Ricevuto Richiesta(const std::vector<std::string>& righe) {
    Ricevuto r;
    for (const auto& l : righe) {
        std::string payload;
        if (l.rfind("AEIO", 0) != 0 || !peers::Unframe(l, &payload)) continue;
        r.blocchi.push_back(payload);
        const int n = NumeroBlocco(payload);
        if (n != 0 && n != 9999) r.file += payload.substr(4);
    }
    return r;
}

struct Caso {
    const char* nome;
    // The wholesaler's answer after it took the request (the request part is the same in every row but the
    // ones that change it).
    std::function<void(peers::Script&, const std::vector<std::string>& risposta)> risposta;
    std::vector<int> passi;
    bool rispostaScritta;
    std::string messaggio;  // the one message box, "" for none
};

// The answer blocks sent in order, each taken.
void Intera(peers::Script& s, const std::vector<std::string>& b) {
    for (const auto& x : b) BloccoInviato(s, x);
}

TEST(IfckSessionTest, AnswerFaultsOverTcp) {
    const std::vector<Caso> casi = {
        {"whole answer", Intera, {5, 400, 401, 46, 999}, true, ""},
        {"bad sum is refused and sent again",
         [](peers::Script& s, const auto& b) {
             BloccoInviato(s, b[0]);
             s.push_back(peers::Send(peers::FrameWithBadSums(b[1])));
             s.push_back(peers::Expect("NO0"));
             BloccoInviato(s, b[1]);
             BloccoInviato(s, b[2]);
             BloccoInviato(s, b[3]);
         },
         {5, 400, 401, 46, 999}, true, ""},
        {"skipped block is refused with the last accepted",
         [](peers::Script& s, const auto& b) {
             BloccoInviato(s, b[0]);
             s.push_back(peers::Send(peers::Frame(b[2])));
             s.push_back(peers::Expect("NO0"));
             Intera(s, {b[1], b[2], b[3]});
         },
         {5, 400, 401, 46, 999}, true, ""},
        {"duplicate block is taken again and kept once",
         [](peers::Script& s, const auto& b) { Intera(s, {b[0], b[1], b[1], b[2], b[3]}); },
         {5, 400, 401, 46, 999}, true, ""},
        {"garbage before the frame",
         [](peers::Script& s, const auto& b) {
             BloccoInviato(s, b[0]);
             s.push_back(peers::SendRaw("@@ rumore ##" + peers::Frame(b[1]) + "\r\n"));
             s.push_back(peers::Expect("SI1"));
             Intera(s, {b[2], b[3]});
         },
         {5, 400, 401, 46, 999}, true, ""},
        {"early end block is refused",
         [](peers::Script& s, const auto& b) {
             Intera(s, {b[0], b[1]});
             s.push_back(peers::Send(peers::Frame(b[3])));
             s.push_back(peers::Expect("NO1"));
             Intera(s, {b[2], b[3]});
         },
         {5, 400, 401, 46, 999}, true, ""},
        {"silence after the header",
         [](peers::Script& s, const auto& b) {
             BloccoInviato(s, b[0]);
             s.push_back(peers::Silence());
         },
         {5, 400, 401, 3}, false, kErrata},
        {"close in the middle",
         [](peers::Script& s, const auto& b) {
             Intera(s, {b[0], b[1]});
             s.push_back(peers::CloseLine());
         },
         {5, 400, 401, 200}, false, ""},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.nome);
        SessionHarness h;
        h.Ordine(FileOrdine(10));
        peers::Script script;
        // The request the client will write: built here the same way to know its blocks.
        const std::size_t lunghezzaRichiesta = 123 + 10 * 103 + 8;
        std::vector<std::string> richiesta = BlocchiFile(std::string(lunghezzaRichiesta, 'x'), kCodice, 'O');
        script.push_back(peers::ExpectBlock(richiesta[0]));
        script.push_back(peers::Send("SI0"));
        for (std::size_t i = 1; i < richiesta.size(); ++i) {
            script.push_back(i + 1 < richiesta.size() ? peers::ExpectAnyBlock() : peers::ExpectBlock(kFineTx));
            script.push_back(peers::Send("SI" + std::to_string(NumeroBlocco(richiesta[i]))));
        }
        c.risposta(script, BlocchiFile(kRisposta, kCodice, 'O', kFineTx));
        peers::FakeWholesaler w({script});
        LowPortRelay relay(w.Port());
        h.UsaTcp();
        h.Impostazioni(ImpostazioniTcp(relay.Port()));

        EXPECT_TRUE(SceltaChiamata(h.p, "01"));
        w.Stop();
        EXPECT_TRUE(w.Errors().empty()) << ::testing::PrintToString(w.Errors()) << h.LogSessione();
        EXPECT_EQ(w.Connections(), 1);
        EXPECT_EQ(h.Passi(), c.passi) << h.LogSessione() << h.LogFunzioni();

        const Ricevuto r = Richiesta(w.Lines());
        EXPECT_EQ(r.file, h.Leggi(kIn));
        EXPECT_EQ(r.file.size(), lunghezzaRichiesta);
        EXPECT_EQ(h.Esiste(kOut), c.rispostaScritta);
        if (c.rispostaScritta) {
            EXPECT_EQ(h.Leggi(kOut), kRisposta);
        }
        // The session marker goes only with a whole answer.
        EXPECT_EQ(h.Esiste("abort.dat"), !c.rispostaScritta);
        EXPECT_EQ(h.p.sessione.bMancantiRicevuti, c.rispostaScritta);
        if (c.messaggio.empty()) {
            EXPECT_TRUE(h.t.msgbox.calls.empty());
        } else {
            ASSERT_EQ(h.t.msgbox.calls.size(), 1u);
            EXPECT_EQ(h.t.msgbox.calls[0].prompt, c.messaggio);
        }
        if (c.rispostaScritta) {
            EXPECT_NE(h.LogSessione().find(" <<< Trasmissione IFCK >>>\r\n"), std::string::npos);
            EXPECT_NE(h.LogSessione().find(" <<< Ricezione IFCK  >>>\r\n"), std::string::npos);
            EXPECT_NE(h.p.sessione.sTracciaEventi.find(" Ricezione IFCK OK "), std::string::npos);
            EXPECT_EQ(h.t.main.Text("nblocchi"), "2 di 2");
            EXPECT_EQ(h.LogFunzioni(), "");
        }
    }
}

}  // namespace
}  // namespace morven
