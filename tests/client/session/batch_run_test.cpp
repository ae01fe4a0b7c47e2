// Batch runs as the management software starts them: the switch line read as start-up reads it, then the
// call driver and the whole session against the fake wholesaler on the test clock. Whatever the settings,
// the switches, the order file and the folder, every run ends through the program-end procedure, leaves
// MorvenClient.end, sends the order whole once or not at all, and changes none of its input files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "client/engine/markers.h"
#include "client/session/call_driver.h"
#include "client/session/startup.h"
#include "tests/client/session/session_harness.h"
#include "tests/client/session/session_scripts.h"

namespace morven {
namespace {

namespace peers = morven::peers;
namespace fs = std::filesystem;
using namespace morven::testing;

const std::string kFam = "020003****";  // DESCRIZ-MAN
const int kRighe = 2;
const std::string kVoce = PadRight("PRD1", 9) + "0003" + PadRight("NON DISPONIBILE", 28) + "3";
const std::string kIntestazione = RecordAttesi(kFam, kRighe).front();

peers::Script Completa() {
    peers::Script s;
    OrdineAccettato(s, kFam, kRighe);
    Risposta(s, Testata(2));
    Risposta(s, "0001" + kVoce);
    Risposta(s, "9999" + kCodice);
    return s;
}

// The slot's settings; "{porta}" stands for the wholesaler's port.
std::map<std::string, std::string> Base() {
    return {{"Connect", "Grossista Prova"}, {"Code", kCodice},        {"Mode", "INTERNET"},
            {"Ip1", "127.0.0.1"},           {"Porta", "{porta}"},     {"AutoIncPor", "NO"},
            {"Interface", "DESCRIZ-MAN"},   {"ModeIFCK", "NO"},       {"DispOrdine", "NO"}};
}

std::string Crlf(const std::vector<std::string>& righe) {
    std::string s;
    for (const auto& r : righe) s += r + "\r\n";
    return s;
}

struct Caso {
    const char* nome;
    std::map<std::string, std::string> impostazioni;  // over Base(); an empty value writes the key with no value
    std::string opzioni;                              // first line of MorvenClient.opz ("" for no file)
    std::string argomenti;
    std::string ordine;                               // ordseq.txt as bytes
    std::function<void(SessionHarness&)> prepara;     // more of the folder
    int ordiniInviati;                                // how often the header record reached the wholesaler
    const char* messaggio;                            // part of the first message box, "" for none
};

const std::string kOrdine = Crlf(FileOrdine(kRighe));

std::map<std::string, std::string> Con(std::map<std::string, std::string> extra) {
    auto m = Base();
    for (auto& [k, v] : extra) m[k] = v;
    return m;
}

// A folder with a file in it where the program wants to write a file.
void Directory(SessionHarness& h, const std::string& rel) {
    fs::create_directories(fs::path(h.dir / rel) / "occupato");
}

const char* kSenzaFile = "Il File di Configurazione non esiste";
const char* kNonValida = "Impostazione non valida nel File di Configurazione";
const char* kOrdineErrato = "Il File Ordine non e' corretto";

TEST(BatchRunTest, EveryBatchRunEndsAndSendsTheOrderAtMostOnce) {
    const std::vector<Caso> casi = {
        {"a plain batch run", Base(), "", "/BLKRUN:01", kOrdine, nullptr, 1, ""},
        // Ports.
        {"port 0", Con({{"Porta", "0"}}), "", "/BLKRUN:01", kOrdine, nullptr, 0, kNonValida},
        {"negative port", Con({{"Porta", "-5"}}), "", "/BLKRUN:01", kOrdine, nullptr, 0, kNonValida},
        {"empty port", Con({{"Porta", ""}}), "", "/BLKRUN:01", kOrdine, nullptr, 0, kNonValida},
        {"port that is not a number", Con({{"Porta", "abc"}}), "", "/BLKRUN:01", kOrdine, nullptr, 0, kNonValida},
        {"port above 65535", Con({{"Porta", "65536"}}), "", "/BLKRUN:01", kOrdine, nullptr, 0, kNonValida},
        {"a time limit that is not a number", Con({{"TimeMaxOrd", "dieci"}}), "", "/BLKRUN:01", kOrdine, nullptr,
         0, kNonValida},
        {"ports counted up past 65535", Con({{"Porta", "65535"}, {"AutoIncPor", "YES"}}), "", "/BLKRUN:01", kOrdine,
         nullptr, 0, "Collegamento Impossibile"},
        // Slot fields.
        {"another switch after the slot", Base(), "", "/BLKRUN:01 /NONUMBER", kOrdine, nullptr, 1, ""},
        {"a slash right after the slot", Base(), "", "/BLKRUN:01/DEBUG", kOrdine, nullptr, 1, ""},
        {"the options file alone", Base(), "/BLKRUN:01", "", kOrdine, nullptr, 1, ""},
        {"no slot at all", Base(), "", "/BLKRUN: /NONUMBER", kOrdine, nullptr, 0, kSenzaFile},
        {"a path for slot", Base(), "", "/BLKRUN:../x", kOrdine, nullptr, 0, kSenzaFile},
        {"a slot with no settings file", Base(), "", "/BLKRUN:07", kOrdine, nullptr, 0, kSenzaFile},
        // Order files.
        {"empty order file", Base(), "", "/BLKRUN:01", "", nullptr, 0, "Il File Ordine non e' corretto : "
         "trasmissione annullata.\r\nFile ordine vuoto"},
        {"short order line", Base(), "", "/BLKRUN:01", Crlf({"0000000000042", "PRD1    0003"}), nullptr, 0,
         kOrdineErrato},
        {"order line the TCP line cannot carry", Base(), "", "/BLKRUN:01",
         Crlf({"0000000000042", "PRD\xc8     0003"}), nullptr, 0,
         "Carattere non trasmissibile (200) nell'ordine, riga 2"},
        {"client code the TCP line cannot carry", Con({{"Code", "CLI\xc8" "01"}}), "", "/BLKRUN:01", kOrdine,
         nullptr, 0, "nell'ordine, codice cliente"},
        // The folder.
        {"work files cannot be created", Base(), "", "/BLKRUN:01", kOrdine,
         [](SessionHarness& h) { Directory(h, "MorvenClient.prova"); }, 0, "Impossibile scrivere nella cartella"},
        {"an answer file cannot be written", Base(), "", "/BLKRUN:01", kOrdine,
         [](SessionHarness& h) { Directory(h, "ordseq.man"); }, 1, "Risposta ricevuta ma non salvata"},
        // Values no window can show.
        {"a description of 100 KB", Con({{"Connect", std::string(100000, 'x')}}), "", "/BLKRUN:01", kOrdine,
         nullptr, 1, ""},
        // A request file handed in is never deleted when no PHT window is there to write it again.
        {"PHT order handed in", Con({{"ModeIFCK", "YES"}, {"OrdinePht", "YES"}}), "",
         "/BLKRUN:01 /FILEIN:IFCK05_IN_ABCDE.DAT", kOrdine,
         [](SessionHarness& h) { h.Scrivi("IFCK05_IN_ABCDE.DAT", "richiesta PHT\r\n"); }, 0, ""},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.nome);
        peers::FakeWholesaler w({Completa()});
        SessionHarness h;
        h.t.clock.SetScale(100);  // a table of whole calls: the protocol's pauses take a fraction of a second
        h.UsaTcp();
        std::string par;
        for (const auto& [k, v] : c.impostazioni)
            par += Riga(k, v == "{porta}" ? std::to_string(w.Port()) : v) + "\r\n";
        h.Scrivi("MvnConn01.par", par);
        h.Scrivi("ordseq.txt", c.ordine);
        if (!c.opzioni.empty()) h.Scrivi("MorvenClient.opz", c.opzioni + "\r\n");
        if (c.prepara) c.prepara(h);
        std::map<std::string, std::string> ingressi;
        for (const auto& e : ListFolder(h.dir.path()))
            if (e.kind == EntryKind::File) ingressi[e.name] = h.Leggi(e.name);

        const ComandoAvvio comando = AnalizzaRigaComando(RigaComandoAvvio(LeggiOpzioni(h.p), c.argomenti));
        ApplicaComandoAvvio(h.p, comando);
        ASSERT_TRUE(h.p.opzioni.bBlkRun);
        SceltaChiamata(h.p, h.p.opzioni.sGrossistaSelezionato);

        EXPECT_TRUE(h.p.sessione.bProgrammaTerminato);
        EXPECT_EQ(h.t.end.calls, 1);
        EXPECT_TRUE(h.Esiste("MorvenClient.end"));
        const auto righe = w.Lines();
        EXPECT_EQ(std::count(righe.begin(), righe.end(), kIntestazione), c.ordiniInviati);
        if (*c.messaggio) {
            ASSERT_FALSE(h.t.msgbox.calls.empty());
            EXPECT_NE(h.t.msgbox.calls[0].prompt.find(c.messaggio), std::string::npos) << h.t.msgbox.calls[0].prompt;
        }
        for (const auto& [nome, dati] : ingressi) EXPECT_EQ(h.Leggi(nome), dati) << nome;
        // Sent and answered: the answer is there and the session marker gone; otherwise the marker stays.
        const bool risposta = c.ordiniInviati == 1 && !*c.messaggio;
        EXPECT_EQ(h.Esiste("abort.dat"), !risposta);
        if (risposta) {
            EXPECT_NE(h.Leggi("ordseq.man").find(kVoce), std::string::npos);
        }
        EXPECT_LE(h.p.impostazioni.sConnect.size(), 255u);
    }
}

TEST(BatchRunTest, AnAnswerToShowWaitsOnlyWhereSomeoneCanSeeIt) {
    for (const bool senzaSchermo : {false, true}) {
        SCOPED_TRACE(senzaSchermo ? "no screen" : "screen");
        peers::FakeWholesaler w({Completa()});
        SessionHarness h;
        h.UsaTcp();
        std::vector<std::string> righe;
        for (auto [k, v] : Con({{"DispOrdine", "YES"}}))
            righe.push_back(Riga(k, v == "{porta}" ? std::to_string(w.Port()) : v));
        h.Impostazioni(righe);
        h.Ordine(FileOrdine(kRighe));
        h.p.opzioni.bBlkRun = true;
        h.p.opzioni.bSenzaSchermo = senzaSchermo;
        EXPECT_TRUE(SceltaChiamata(h.p, "01"));
        EXPECT_EQ(h.Passi().back(), 50);  // the answer is laid out for display
        EXPECT_NE(h.Leggi("ordseq.man").find(kVoce), std::string::npos);
        // With a screen the pharmacist closes the window; without one the run ends by itself.
        EXPECT_EQ(h.t.end.calls, senzaSchermo ? 1 : 0);
        EXPECT_EQ(h.Esiste("MorvenClient.end"), senzaSchermo);
    }
}

TEST(BatchRunTest, ARefusedSettingIsNamedAndNeverSavedOver) {
    peers::FakeWholesaler w({Completa()});
    SessionHarness h;
    h.UsaTcp();
    h.Impostazioni({Riga("Connect", "Grossista Prova"), Riga("Mode", "INTERNET"), Riga("Porta", "0")});
    h.Ordine(FileOrdine(kRighe));
    h.p.opzioni.bBlkRun = true;
    EXPECT_FALSE(SceltaChiamata(h.p, "01"));
    ASSERT_EQ(h.t.msgbox.calls.size(), 1u);
    EXPECT_NE(h.t.msgbox.calls[0].prompt.find("PORTA :0"), std::string::npos);
    EXPECT_NE(h.LogFunzioni().find("SceltaChiamata :impostazione non valida PORTA :0"), std::string::npos);
    EXPECT_EQ(w.Connections(), 0);
}

}  // namespace
}  // namespace morven
