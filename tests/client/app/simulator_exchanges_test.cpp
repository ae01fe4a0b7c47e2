// The real MorvenClient binary, headless in a batch run (/BLKRUN:), against the wholesaler simulator, once
// per exchange of the line: the simulator tells which exchange it played, and the program keeps the answer
// that exchange gives (the answer work files, the IFCK answer file, the unpacked news) and ends by itself.
#include "tools/simulator/simulator.h"

#include "platform/core/files.h"
#include "platform/core/process.h"
#include "tests/client/app/run_client.h"
#include "tests/client/engine/news_archive.h"
#include "tests/platform/core/case_name.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace morven {
namespace {

const std::vector<std::string> kOrdine = {"0127451680002", "0047631140010", "0234510940001"};
const std::string kAvviso = "Avviso del grossista simulato\r\n";

std::string Riga(std::string chiave, const std::string& valore) {
    chiave.resize(10, ' ');
    return chiave + ":" + valore + "\r\n";
}

std::string Leggi(const morven::testing::TempDir& app, const std::string& nome) {
    std::string s;
    ReadWholeFile(app / nome, s);
    return s;
}

// What the answer left, checked against what the simulator sent.
using Verifica = std::function<void(const morven::testing::TempDir& app, const simulator::EsitoSessione& esito)>;

struct Scambio {
    const char* nome;
    std::vector<std::pair<const char*, const char*>> impostazioni;  // over the common ones
    std::vector<std::string> argomenti;                               // after /BLKRUN:01
    const char* scambio;                                              // as the simulator names it
    bool notizie;                                                     // the simulator has a news archive
    bool annuncia;
    Verifica verifica;
    bool modem = false;  // the simulator behind a modem on a pseudo-terminal instead of TCP
};

// The Comproject entry as the client stores it in ordseq.man: code, "0", quantity, description, outcome.
std::string VoceManComproject(const std::string& rigaOrdine, std::size_t i) {
    const std::string v = simulator::VoceComproject(rigaOrdine.substr(0, 9) + rigaOrdine.substr(10, 3), i);
    return v.substr(0, 9) + "0" + v.substr(9, 3) + v.substr(13, 28) + v.substr(12, 1);
}

const std::vector<Scambio>& Scambi() {
    static const std::vector<Scambio> scambi = {
        {"order with descriptions and reasons", {{"Interface", "DESCRIZ-ALL"}}, {}, "ordine", false, false,
         [](const auto& app, const auto& esito) {
             const std::string ma1 = Leggi(app, "ordseq.ma1");
             for (std::size_t i = 0; i < kOrdine.size(); ++i)
                 EXPECT_NE(ma1.find(simulator::VoceRisposta(kOrdine[i], i) + "\r\n"), std::string::npos) << ma1;
             EXPECT_NE(Leggi(app, "msgrx.txt").find("Chiusura magazzino"), std::string::npos);
             EXPECT_EQ(esito.conferma, "");
         }},
        // The availability request goes in the Comproject form: "7" and the client code, then the first four
        // order lines; the answer comes in "9" records and ends with the message.
        {"availability request", {{"Interface", "DESCRIZ-ALL"}}, {"/RICHDISP"}, "comproject", false, false,
         [](const auto& app, const auto& esito) {
             EXPECT_EQ(esito.righeOrdine, kOrdine);
             const std::string ma1 = Leggi(app, "ordseq.ma1");
             for (std::size_t i = 0; i < kOrdine.size(); ++i)
                 EXPECT_NE(ma1.find(VoceManComproject(kOrdine[i], i) + std::string(20, ' ') + "\r\n"),
                           std::string::npos)
                     << ma1;
             EXPECT_NE(Leggi(app, "msgrx.txt").find("Chiusura magazzino"), std::string::npos);
         }},
        {"order to a news interface", {{"Interface", "NOTIZIE"}}, {}, "ordine", true, false,
         [](const auto& app, const auto& esito) {
             EXPECT_TRUE(esito.notizieInviate);
             EXPECT_NE(Leggi(app, "ordseq.man").find(simulator::VoceRisposta(kOrdine[0], 0).substr(0, 42)),
                       std::string::npos);
             EXPECT_EQ(Leggi(app, "news/avvisi.txt"), kAvviso);
         }},
        // Over TCP a Comproject slot sends the standard order with the news interface's record family, to a
        // wholesaler that announces itself first.
        {"comproject slot over tcp", {{"Interface", "CPJ-AAAA"}}, {}, "ordine", true, true,
         [](const auto& app, const auto& esito) {
             EXPECT_EQ(esito.righeOrdine, kOrdine);
             EXPECT_TRUE(esito.notizieInviate);
             EXPECT_NE(Leggi(app, "ordseq.man").find(simulator::VoceRisposta(kOrdine[0], 0).substr(0, 42)),
                       std::string::npos);
         }},
        {"ifck order", {{"ModeIFCK", "YES"}, {"Comp-MVN", "YES"}}, {}, "ifck", false, false,
         [](const auto& app, const auto& esito) {
             EXPECT_EQ(esito.tipoIfck, 'O');
             EXPECT_NE(esito.richiestaIfck.find("P012745168    00002"), std::string::npos) << esito.richiestaIfck;
             EXPECT_EQ(Leggi(app, "IFCK02_OUT_MORVEN.DAT"), esito.rispostaIfck);
             EXPECT_NE(esito.rispostaIfck.find("\r\nP012745168    0000200000"), std::string::npos);
         }},
        {"ifck availability with offer conditions", {{"ModeIFCK", "YES"}, {"Comp-MVN", "YES"}}, {"/RICHDISP"}, "ifck",
         false, false,
         [](const auto& app, const auto& esito) {
             EXPECT_EQ(esito.tipoIfck, 'D');
             EXPECT_EQ(Leggi(app, "IFCK01_OUT_MORVEN.DAT"), esito.rispostaIfck);
             EXPECT_NE(esito.rispostaIfck.find("\r\nO012745168    20261231"), std::string::npos);
         }},
        {"ifck documents from the management software",
         {{"ModeIFCK", "YES"}},
         {"/FILEIN:IFCK03_IN_GEST.DAT"},
         "ifck",
         false,
         false,
         [](const auto& app, const auto& esito) {
             EXPECT_EQ(esito.tipoIfck, 'F');
             EXPECT_EQ(esito.richiestaIfck, Leggi(app, "IFCK03_IN_GEST.DAT"));
             EXPECT_EQ(Leggi(app, "IFCK03_OUT_GEST.DAT"), esito.rispostaIfck);
             EXPECT_NE(esito.rispostaIfck.find("\r\nR1AA0000001200"), std::string::npos);
         }},
        {"ifck order with news", {{"ModeIFCK", "YES"}, {"Comp-MVN", "YES"}}, {}, "ifck", true, false,
         [](const auto& app, const auto& esito) {
             EXPECT_TRUE(esito.notizieInviate);
             EXPECT_EQ(Leggi(app, "IFCK02_OUT_MORVEN.DAT"), esito.rispostaIfck);
             EXPECT_EQ(Leggi(app, "news/avvisi.txt"), kAvviso);
         }},
        // The Comproject order form goes only over the modem: "2" and the client code, "3" records, the "5"
        // end, from a wholesaler that announces itself; the shortages come in "9" records.
        {"comproject order over the modem",
         {{"Interface", "CPJ-AAAA"}, {"Mode", "NORMALE"}, {"CommPort", "7"}, {"Phone 1", "0123456"}},
         {},
         "comproject",
         false,
         true,
         [](const auto& app, const auto& esito) {
             EXPECT_EQ(esito.righeOrdine, kOrdine);
             const std::string man = Leggi(app, "ordseq.man");
             for (std::size_t i = 0; i < kOrdine.size(); ++i)
                 EXPECT_NE(man.find(VoceManComproject(kOrdine[i], i) + "\r\n"), std::string::npos) << man;
             EXPECT_NE(Leggi(app, "msgrx.txt").find("Chiusura magazzino"), std::string::npos);
         },
         true},
        {"mail and news", {{"Interface", "POSTA"}}, {}, "posta", true, false,
         [](const auto& app, const auto& esito) {
             EXPECT_EQ(esito.posta, Leggi(app, "posta.gz"));
             EXPECT_EQ(Leggi(app, "news/avvisi.txt"), kAvviso);
         }},
    };
    return scambi;
}

struct SimulatorExchange : ::testing::TestWithParam<std::size_t> {};

TEST_P(SimulatorExchange, TheProgramGetsTheAnswer) {
    const Scambio& k = Scambi()[GetParam()];
    morven::testing::TempDir app;
    auto simulatore = k.modem ? std::make_unique<simulator::Simulatore>(simulator::Simulatore::SuModem{})
                              : std::make_unique<simulator::Simulatore>();
    simulator::Simulatore& s = *simulatore;
    s.annuncia = k.annuncia;
    if (k.modem) ReplaceFileAtomically(app / "serialports.txt", "com7 = " + s.Dispositivo() + "\n");
    if (k.notizie) {
        std::filesystem::create_directories(app / "server");
        ReplaceFileAtomically(app / "server/avvisi.txt", kAvviso);
        ASSERT_TRUE(morven::testing::TarGz(app / "server", {"avvisi.txt"}, app / "notizie-grossista.gz"));
        s.notizie = Leggi(app, "notizie-grossista.gz");
    }

    std::vector<std::pair<std::string, std::string>> righe = {
        {"Connect", "Grossista Simulato"}, {"Code", "CLIENTE01"}, {"Mode", "INTERNET"}, {"Ip1", "127.0.0.1"},
        {"Porta", std::to_string(k.modem ? 1 : s.Porta())}, {"AutoIncPor", "NO"}, {"Interface", "DESCRIZ-MAN"},
        {"DispOrdine", "NO"}, {"ModeIFCK", "NO"}, {"TimeMaxOrd", "120"}, {"TMCONN-INT", "5"},
    };
    for (const auto& [chiave, valore] : k.impostazioni) {
        bool trovata = false;
        for (auto& r : righe)
            if (r.first == chiave) r.second = valore, trovata = true;
        if (!trovata) righe.emplace_back(chiave, valore);
    }
    std::string impostazioni;
    for (const auto& [chiave, valore] : righe) impostazioni += Riga(chiave, valore);
    ReplaceFileAtomically(app / "MvnConn01.par", impostazioni);
    std::string ordine = "0000000000000\r\n";
    for (const auto& r : kOrdine) ordine += r + "\r\n";
    ReplaceFileAtomically(app / "ordseq.txt", ordine);
    ReplaceFileAtomically(app / "IFCK03_IN_GEST.DAT",
                          "T200500103CLIENTE01" + std::string(20, ' ') + "020261201" + std::string(12, ' ') +
                              "1\r\nZ00000\r\n");
    ReplaceFileAtomically(app / "posta.gz", std::string("\x1f\x8b\x08\0posta della farmacia\r\nOIEA\nAEIO", 36) +
                                                std::string(9000, 'p'));

    simulator::EsitoSessione esito;
    std::thread server([&] { esito = s.ServiUna(60000); });
    std::vector<std::string> argomenti{"/BLKRUN:01"};
    argomenti.insert(argomenti.end(), k.argomenti.begin(), k.argomenti.end());
    // The program's pauses (the waits before sending, the input drains) on a clock twenty times faster.
    const ProcessResult r = morven::testing::EseguiMorvenClient(app.path(), argomenti, 20, 120000);
    s.Ferma();
    server.join();

    ASSERT_TRUE(r.started) << r.error;
    EXPECT_TRUE(r.exited);
    EXPECT_FALSE(r.timedOut);
    const std::string log = Leggi(app, "MorvenClient.log");
    EXPECT_TRUE(FileExists(app / "MorvenClient.end")) << log;
    EXPECT_EQ(esito.scambio, k.scambio) << esito.errore;
    EXPECT_TRUE(esito.completa) << esito.errore << "\n" << log;
    EXPECT_EQ(esito.errore, "");
    k.verifica(app, esito);
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, SimulatorExchange, ::testing::Range<std::size_t>(0, Scambi().size()),
                         [](const auto& i) { return morven::testing::CaseName(Scambi()[i.param].nome); });

}  // namespace
}  // namespace morven
