// Whole IFCK sessions through SceltaChiamata against the fake wholesaler (TCP) and the modem emulator: the
// request out in numbered blocks, the answer in, and a table of faults on the line in both directions.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "client/session/call_driver.h"
#include "tests/client/session/ifck_session_scripts.h"
#include "tests/client/session/session_harness.h"
#include "tests/client/session/session_scripts.h"
#include "tests/platform/core/case_name.h"

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
    int ultimo = 0;
    for (const auto& l : righe) {
        std::string payload;
        if (l.rfind("AEIO", 0) != 0 || !peers::Unframe(l, &payload)) continue;
        r.blocchi.push_back(payload);
        const int n = NumeroBlocco(payload);
        if (n != 0 && n != 9999 && n == ultimo + 1) {  // a block sent again counts once
            ultimo = n;
            r.file += payload.substr(4);
        }
    }
    return r;
}

// One session over TCP against a wholesaler that plays `script`: what it received and the faults it saw.
struct Grossista {
    std::vector<std::string> righe, errori;
    int connessioni = 0;
};
Grossista SessioneTcp(SessionHarness& h, const peers::Script& script, bool compMvn = true) {
    peers::FakeWholesaler w({script});
    LowPortRelay relay(w.Port());
    h.UsaTcp();
    h.Impostazioni(ImpostazioniTcp(relay.Port(), compMvn));
    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    w.Stop();
    return {w.Lines(), w.Errors(), w.Connections()};
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

const std::vector<Caso>& CasiRisposta() {
    static const std::vector<Caso> casi = {
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
    return casi;
}

struct AnswerFaultsOverTcp : ::testing::TestWithParam<std::size_t> {};

TEST_P(AnswerFaultsOverTcp, Row) {
    const Caso& c = CasiRisposta()[GetParam()];
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
        script.push_back(i + 1 < richiesta.size() ? peers::ExpectBlock() : peers::ExpectBlock(kFineTx));
        script.push_back(peers::Send("SI" + std::to_string(NumeroBlocco(richiesta[i]))));
    }
    c.risposta(script, BlocchiFile(kRisposta, kCodice, 'O', kFineTx));
    const Grossista w = SessioneTcp(h, script);
    EXPECT_TRUE(w.errori.empty()) << ::testing::PrintToString(w.errori) << h.LogSessione();
    EXPECT_EQ(w.connessioni, 1);
    EXPECT_EQ(h.Passi(), c.passi) << h.LogSessione() << h.LogFunzioni();

    const Ricevuto r = Richiesta(w.righe);
    EXPECT_EQ(r.file, h.Leggi(kIn));
    EXPECT_EQ(r.file.size(), lunghezzaRichiesta);
    EXPECT_EQ(h.Esiste(kOut), c.rispostaScritta);
    if (c.rispostaScritta) {
        EXPECT_EQ(h.Leggi(kOut), kRisposta);
    }
    // With Comp-MVN a whole answer, and only a whole one, becomes the older answer files too.
    EXPECT_EQ(h.Esiste("ordseq2006.man"), c.rispostaScritta);
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
        EXPECT_EQ(h.LogErrori(), "");
    }
}

struct CasoRichiesta {
    const char* nome;
    bool compMvn;
    const char* file;  // the request file the management software left (with compMvn false); null for none
    // The wholesaler's part while the request comes in.
    std::function<void(peers::Script&, const std::vector<std::string>& richiesta)> richiesta;
    std::string risposta;  // the answer it sends afterwards
};

std::string Richiesta2048() {
    std::string f = "T2005001020CLI00100\r\n";
    while (f.size() < 2048) f += PadRight("P" + std::to_string(f.size()), 18) + "\r\n";
    return f.substr(0, 2048);
}

const std::vector<CasoRichiesta>& CasiRichiesta() {
    static const std::string f2048 = Richiesta2048();
    static const std::vector<CasoRichiesta> casi = {
        {"non-SI reply sends the block again", false, f2048.c_str(),
         [](peers::Script& s, const auto& b) {
             BlocchiAccettati(s, {b[0]});
             s.push_back(peers::ExpectBlock(b[1]));
             s.push_back(peers::Send("NO0"));
             BlocchiAccettati(s, {b[1], b[2], b[3], b[4]});
         },
         kRisposta},
        {"stale acknowledgement is skipped", false, f2048.c_str(),
         [](peers::Script& s, const auto& b) {
             BlocchiAccettati(s, {b[0], b[1]});
             s.push_back(peers::ExpectBlock(b[2]));
             s.push_back(peers::Send("SI1"));
             s.push_back(peers::Send("SI2"));
             BlocchiAccettati(s, {b[3], b[4]});
         },
         kRisposta},
        {"2048 bytes: two full blocks and an empty third", false, f2048.c_str(),
         [](peers::Script& s, const auto& b) {
             ASSERT_EQ(b.size(), 5u);
             EXPECT_EQ(b[3], "0003");
             BlocchiAccettati(s, b);
         },
         kRisposta},
        {"missing request: header of no blocks, then the end", false, nullptr,
         [](peers::Script& s, const auto&) {
             BlocchiAccettati(s, {"00000000MORVEN2006" + kCodice + " NN" + std::string(13, '*'), kFineTx});
         },
         kRisposta},
        {"answer data holding the end mark", false, f2048.c_str(), BlocchiAccettati,
         "T2005001\r\nAnota: xxOIEAyy fine\r\nZ\r\n"},
        {"answer data holding the end mark before a line end", false, f2048.c_str(), BlocchiAccettati,
         "T2005001\r\nAnota: xxOIEA\r\n\r\nZ\r\n"},
        {"answer data holding the end mark, then the start mark", false, f2048.c_str(), BlocchiAccettati,
         "T2005001\r\nAnota: xxOIEA\r\nyyAEIOzz\r\nZ\r\n"},
    };
    return casi;
}

struct RequestFaultsOverTcp : ::testing::TestWithParam<std::size_t> {};

TEST_P(RequestFaultsOverTcp, Row) {
    const CasoRichiesta& c = CasiRichiesta()[GetParam()];
    SCOPED_TRACE(c.nome);
    SessionHarness h;
    if (c.file) h.Scrivi(kIn, c.file);
    peers::Script script;
    c.richiesta(script, BlocchiFile(c.file ? c.file : "", kCodice, 'O'));
    Intera(script, BlocchiFile(c.risposta, kCodice, 'O'));
    const Grossista w = SessioneTcp(h, script, c.compMvn);
    EXPECT_TRUE(w.errori.empty()) << ::testing::PrintToString(w.errori) << h.LogSessione();
    EXPECT_EQ(h.Passi(), (std::vector<int>{5, 400, 401, 46, 999})) << h.LogSessione() << h.LogFunzioni();
    EXPECT_EQ(Richiesta(w.righe).file, c.file ? c.file : "");
    EXPECT_EQ(h.Leggi(kOut), c.risposta);
    EXPECT_FALSE(h.Esiste("ordseq2006.man"));  // without Comp-MVN the answer stays as it came
    EXPECT_FALSE(h.Esiste("abort.dat"));
    EXPECT_TRUE(h.t.msgbox.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(IfckSession, AnswerFaultsOverTcp, ::testing::Range<std::size_t>(0, CasiRisposta().size()),
                         [](const auto& i) { return CaseName(CasiRisposta()[i.param].nome); });
INSTANTIATE_TEST_SUITE_P(IfckSession, RequestFaultsOverTcp, ::testing::Range<std::size_t>(0, CasiRichiesta().size()),
                         [](const auto& i) { return CaseName(CasiRichiesta()[i.param].nome); });

// The step after a whole answer, by the kind of the request (read from the management software's own file)
// and by whether the wholesaler's end block announces news ("SI-NOT").
struct Seguito {
    const char* tipo;
    bool notizie;
    int passo;
};
struct StepAfterTheAnswer : ::testing::TestWithParam<Seguito> {};

TEST_P(StepAfterTheAnswer, Row) {
    const Seguito& c = GetParam();
    SessionHarness h;
    const std::string nome = std::string("IFCK") + c.tipo + "_IN_MORVEN.DAT";
    const std::string file = "T2005001" + std::string(c.tipo) + "000012345\r\nZ\r\n";
    h.Scrivi(nome, file);
    peers::Script script;
    const char lettera = std::string(c.tipo) == "01" ? 'D' : std::string(c.tipo) == "03" ? 'F' : 'O';
    BlocchiAccettati(script, BlocchiFile(file, kCodice, lettera));
    Intera(script, BlocchiFile("T2005001\r\nZ\r\n", kCodice, 'O', c.notizie ? kFineTx + "SI-NOT" : kFineTx));
    peers::FakeWholesaler w({script});
    LowPortRelay relay(w.Port());
    h.UsaTcp();
    auto righe = ImpostazioniTcp(relay.Port(), false);
    if (std::string(c.tipo) == "03") righe.push_back(Riga("RichDocs", "YES"));
    if (std::string(c.tipo) == "01")
        std::replace(righe.begin(), righe.end(), Riga("Interface", "DESCRIZ-MAN"), Riga("Interface", "DISPONIBILITA'"));
    h.Impostazioni(righe);
    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    w.Stop();
    EXPECT_TRUE(w.Errors().empty()) << ::testing::PrintToString(w.Errors()) << h.LogSessione();
    const auto passi = h.Passi();
    ASSERT_GE(passi.size(), 4u) << h.LogSessione();
    EXPECT_EQ(passi[2], 401);
    EXPECT_EQ(passi[3], c.passo);
    EXPECT_TRUE(h.p.sessione.bMancantiRicevuti);
}

INSTANTIATE_TEST_SUITE_P(IfckSession, StepAfterTheAnswer,
                         ::testing::Values(Seguito{"01", false, 46}, Seguito{"01", true, 46}, Seguito{"02", false, 46},
                                           Seguito{"02", true, 33}, Seguito{"03", false, 45},
                                           Seguito{"03", true, 33}),
                         [](const ::testing::TestParamInfo<Seguito>& i) {
                             return std::string("Kind") + i.param.tipo + (i.param.notizie ? "WithNews" : "");
                         });

TEST(IfckSessionTest, HeaderAnswerMayShowTheWholesalersPage) {
    for (const auto& [risposta, pagina] : std::vector<std::pair<std::string, std::string>>{
             {"SI0 http://grossista.test/ordine?n=7", "http://grossista.test/ordine?n=7&mini=1"},
             {"SI0 javascript:alert(1)", ""}}) {
        SCOPED_TRACE(risposta);
        SessionHarness h;
        const std::string file = Richiesta2048();
        h.Scrivi(kIn, file);
        const auto b = BlocchiFile(file, kCodice, 'O');
        peers::Script script{peers::ExpectBlock(b[0]), peers::Send(risposta)};
        BlocchiAccettati(script, {b[1], b[2], b[3], b[4]});
        Intera(script, BlocchiFile(kRisposta, kCodice, 'O'));
        const Grossista w = SessioneTcp(h, script, false);
        EXPECT_TRUE(w.errori.empty()) << ::testing::PrintToString(w.errori);
        const auto& nav = h.t.main.navigations;
        const bool mostrata = std::any_of(nav.begin(), nav.end(), [&](const auto& n) { return n.second == pagina; });
        EXPECT_EQ(mostrata, !pagina.empty());
        EXPECT_EQ(h.Leggi(kOut), kRisposta);
    }
}

// A wholesaler that takes the header and then says nothing: the sender's block limit ends the attempt, and
// the calls that follow (closed at once) end the session with its message.
TEST(IfckSessionTest, SilentWholesalerEndsTheSenderByItsBlockLimit) {
    SessionHarness h;
    const std::string file = Richiesta2048();
    h.Scrivi(kIn, file);
    const auto b = BlocchiFile(file, kCodice, 'O');
    const Grossista w = SessioneTcp(h, {peers::ExpectBlock(b[0]), peers::Silence()}, false);
    EXPECT_TRUE(w.errori.empty()) << ::testing::PrintToString(w.errori);
    EXPECT_NE(h.p.sessione.sTracciaEventi.find(" T.O. TxMorvenFCK [1]"), std::string::npos);
    EXPECT_EQ(Richiesta(w.righe).blocchi, std::vector<std::string>{b[0]});
    EXPECT_FALSE(h.Esiste(kOut));
    EXPECT_TRUE(h.Esiste("abort.dat"));
    ASSERT_EQ(h.t.msgbox.calls.size(), 1u);
    // The line opened: the message says that the transfer failed, not that no line could be had.
    EXPECT_EQ(h.t.msgbox.calls[0].prompt, "Collegamento Riuscito , Trasmissione Ordine ERRATA !");
    EXPECT_EQ(h.t.end.calls, 1);
}

// The answer as it comes, and ones whose data hold the end mark and a line end (the modem reader stops at
// the mark, and the rest of the block comes with the next read), and after them the start mark.
struct OrderOverTheModemEmulator : ::testing::TestWithParam<std::string> {};

TEST_P(OrderOverTheModemEmulator, AnswerTakenWhole) {
    const std::string risposta = GetParam();
    SessionHarness h;
    h.Ordine(FileOrdine(3));
    peers::Script script{peers::ExpectBlock(), peers::Send("SI0"), peers::ExpectBlock(), peers::Send("SI1"),
                         peers::ExpectBlock(kFineTx), peers::Send("SI9999"), peers::Hold()};
    Intera(script, BlocchiFile(risposta, kCodice, 'O'));
    peers::ModemEmulator modem({peers::ModemCall{"CONNECT 31200", script}});
    h.UsaModem(modem.DevicePath());
    // The wholesaler answers once the client has drained its line at the start of the answer.
    h.DopoSvuotamento(401, [&] { modem.Release(); });
    auto righe = Comuni(true);
    righe.push_back(Riga("Mode", "NORMALE"));
    righe.push_back(Riga("Phone 1", "0212345"));
    h.Impostazioni(righe);

    EXPECT_TRUE(SceltaChiamata(h.p, "01"));
    ASSERT_TRUE(modem.WaitCalls(1));
    EXPECT_TRUE(modem.Errors().empty()) << ::testing::PrintToString(modem.Errors()) << h.LogSessione();
    EXPECT_EQ(h.Passi(), (std::vector<int>{3, 5, 400, 401, 46, 999})) << h.LogSessione();
    const Ricevuto r = Richiesta(modem.Lines());
    ASSERT_EQ(r.blocchi.size(), 3u);
    EXPECT_EQ(r.blocchi[0], "00000001MORVEN2006" + kCodice + " ON" + std::string(13, '*'));
    EXPECT_EQ(r.file, h.Leggi(kIn));
    EXPECT_EQ(h.Leggi(kOut), risposta);
    EXPECT_FALSE(h.Esiste("abort.dat"));
    EXPECT_EQ(h.t.end.calls, 1);
    EXPECT_EQ(h.LogErrori(), "");
}

// A wholesaler that sends its answer header once, soon after the client's two-second drain at the start of
// the answer is over (counted in whole seconds of the session clock, it ends within three; the wholesaler
// sends at four, a second before a five-second drain would end), and waits for both acknowledgements of the
// end. A header that announces another number
// of blocks than follow still gives the whole answer.
TEST(IfckSessionTest, ModemAnswerWhoseHeaderComesOnceRightAfterTheDrain) {
    for (const int annunciati : {2, 5}) {
        SCOPED_TRACE(annunciati);
        SessionHarness h;
        h.Ordine(FileOrdine(3));
        std::vector<std::string> risposta = BlocchiFile(kRisposta, kCodice, 'O');
        ASSERT_EQ(risposta.size(), 4u);
        risposta[0].replace(4, 4, PadLeft(annunciati, 4, "0"));
        peers::Script script{peers::ExpectBlock(), peers::Send("SI0"), peers::ExpectBlock(), peers::Send("SI1"),
                             peers::ExpectBlock(kFineTx), peers::Send("SI9999"), peers::Hold()};
        Intera(script, {risposta[0], risposta[1], risposta[2]});
        script.push_back(peers::Send(peers::Frame(risposta[3])));
        script.push_back(peers::Expect("SI9999"));
        script.push_back(peers::Expect("SI9999"));
        peers::ModemEmulator modem({peers::ModemCall{"CONNECT 31200", script}});
        h.UsaModem(modem.DevicePath());
        h.Dopo(401, 4000, [&] { modem.Release(); });
        auto righe = Comuni(true);
        righe.push_back(Riga("Mode", "NORMALE"));
        righe.push_back(Riga("Phone 1", "0212345"));
        h.Impostazioni(righe);

        EXPECT_TRUE(SceltaChiamata(h.p, "01"));
        ASSERT_TRUE(modem.WaitCalls(1));
        EXPECT_TRUE(modem.Errors().empty()) << ::testing::PrintToString(modem.Errors()) << h.LogSessione();
        EXPECT_EQ(h.Passi(), (std::vector<int>{3, 5, 400, 401, 46, 999})) << h.LogSessione();
        EXPECT_EQ(h.Leggi(kOut), kRisposta);
        EXPECT_FALSE(h.Esiste("abort.dat"));
        EXPECT_EQ(h.t.end.calls, 1);
        EXPECT_EQ(h.t.main.Text("nblocchi"), "2 di " + std::to_string(annunciati));
        EXPECT_EQ(h.LogSessione().find("diversi dalla testata") != std::string::npos, annunciati != 2);
    }
}

std::string ConMarche(bool ancheInizio) {
    std::string r = "T000" + std::string(52, ' ') + "OIEA\r\n" + kRisposta.substr(62);
    if (ancheInizio) r.replace(r.find("PRD1 "), 5, "AEIO1");
    return r;
}

std::string NomeRisposta(const ::testing::TestParamInfo<std::string>& i) {
    static const char* const nomi[] = {"Plain", "EndMark", "EndAndStartMarks"};
    return nomi[i.index];
}

INSTANTIATE_TEST_SUITE_P(IfckSession, OrderOverTheModemEmulator,
                         ::testing::Values(kRisposta, ConMarche(false), ConMarche(true)), NomeRisposta);

}  // namespace
}  // namespace morven
