// Batch runs against wholesalers whose answers are odd, huge or hostile, and slots whose numbers no window
// would save: whole calls on the test clock against the fake wholesaler. Every run ends through the
// program-end procedure, sends the order at most once, and leaves the answer files whole or absent, with
// abort.dat gone only when a whole answer was kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "client/engine/shortage_receive.h"
#include "client/session/call_driver.h"
#include "tests/client/session/session_harness.h"
#include "tests/client/session/session_scripts.h"

namespace morven {
namespace {

namespace peers = morven::peers;
namespace fs = std::filesystem;
using namespace morven::testing;

const std::string kFam = "020003****";  // DESCRIZ-MAN: entries of 42 characters
const int kRighe = 10;
const std::string kVoce = PadRight("PRD1", 9) + "0003" + PadRight("NON DISPONIBILE", 28) + "3";
const std::string kMessaggioModem = "Ieri il modem ha dato NO CARRIER, oggi la linea e' buona";

peers::Script ConMessaggio() {
    peers::Script s;
    OrdineAccettato(s, kFam, kRighe);
    Risposta(s, Testata(3));
    Risposta(s, "0001" + kVoce);
    Risposta(s, "0002INIZIO MESSAGGIO DA GROSSISTA");
    Risposta(s, "0003" + kMessaggioModem);
    Risposta(s, "9999" + kCodice);
    return s;
}

// Records of 8 KB (numbers and blanks, so the record sums keep within 16 bits), as many as the bound needs
// and 20 more: entries, or message lines after the message's first record.
int RecordDiluvio(bool messaggio);
peers::Script Diluvio(bool messaggio) {
    peers::Script s;
    OrdineAccettato(s, kFam, kRighe);
    Risposta(s, Testata(9998));
    std::string dati;
    while (dati.size() + 42 <= 8190) dati += PadLeft("1234567", 42, "0");
    const int n = RecordDiluvio(messaggio);
    for (int i = 1; i <= n; ++i)
        Risposta(s, PadLeft(i, 4, "0") + (messaggio && i == 1 ? std::string("INIZIO MESSAGGIO DA GROSSISTA") : dati));
    return s;
}

int RecordDiluvio(bool messaggio) {
    const std::uintmax_t dati = 8190 / 42 * 42;
    const std::uintmax_t perRecord = messaggio ? dati + 2 : (dati / 42) * 64;  // bytes of the largest file
    return static_cast<int>(kMaxFileRisposta / perRecord) + 20;
}

struct Caso {
    const char* nome;
    std::map<std::string, std::string> impostazioni;  // over the base settings
    peers::Script script;
    int ordiniInviati;
    bool rispostaTenuta;  // the answer files are there and abort.dat is gone
    const char* messaggio;  // part of the first message box, "" for none
    int recordFlusso = 0;   // records the wholesaler has ready after the header; the client takes fewer
};

TEST(AnswerBatchTest, OddAnswersAndRefusedNumbersEndTheRunWithWholeFilesOrNone) {
    const char* kNonValida = "Impostazione non valida nel File di Configurazione";
    const std::vector<Caso> casi = {
        {"a message that speaks of the modem", {}, ConMessaggio(), 1, true, ""},
        {"entries past the bound", {}, Diluvio(false), 1, false, "", RecordDiluvio(false)},
        {"message lines past the bound", {}, Diluvio(true), 1, false, "", RecordDiluvio(true)},
        {"a negative order time", {{"TimeMaxOrd", "-1"}}, ConMessaggio(), 0, false, "TIMEMAXORD :-1"},
        {"a connect wait past 32767", {{"TMCONN-INT", "40000"}}, ConMessaggio(), 0, false, "TMCONN-INT :40000"},
        {"a negative FTP retry count", {{"FTP-RETRY", "-3"}}, ConMessaggio(), 0, false, "FTP-RETRY :-3"},
        {"a negative serial port", {{"CommPort", "-1"}}, ConMessaggio(), 0, false, "COMMPORT :-1"},
        {"numbers at the ends of their ranges", {{"TimeMaxRxP", "32767"}, {"FTP-DELAY", "0"}}, ConMessaggio(), 1,
         true, ""},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.nome);
        peers::FakeWholesaler w({c.script});
        SessionHarness h;
        h.t.clock.SetScale(100);
        h.UsaTcp();
        std::map<std::string, std::string> imp = {
            {"Connect", "Grossista Prova"}, {"Code", kCodice},     {"Mode", "INTERNET"},
            {"Ip1", "127.0.0.1"},           {"Porta", std::to_string(w.Port())},
            {"AutoIncPor", "NO"},           {"Interface", "DESCRIZ-MAN"},
            {"ModeIFCK", "NO"},             {"DispOrdine", "NO"}};
        for (const auto& [k, v] : c.impostazioni) imp[k] = v;
        std::vector<std::string> righe;
        for (const auto& [k, v] : imp) righe.push_back(Riga(k, v));
        h.Impostazioni(righe);
        h.Ordine(FileOrdine(kRighe));
        h.Scrivi("abort.dat", "chiamata precedente\r\n");
        h.p.opzioni.bBlkRun = true;
        const std::int64_t inizio = h.t.clock.MonotonicMs();
        SceltaChiamata(h.p, "01");

        // Each run ends within the order's own time limit (600 s): the bound ends a flood, not the clock.
        EXPECT_LT(h.t.clock.MonotonicMs() - inizio, 600 * 1000);
        EXPECT_TRUE(h.p.sessione.bProgrammaTerminato);
        EXPECT_TRUE(h.Esiste("MorvenClient.end"));
        const auto linee = w.Lines();
        EXPECT_EQ(std::count(linee.begin(), linee.end(), RecordAttesi(kFam, kRighe).front()), c.ordiniInviati);
        EXPECT_EQ(h.Esiste("abort.dat"), !c.rispostaTenuta);
        for (const char* nome : {"ordseq.rst", "ordseq.man", "ordseq.ma1"}) EXPECT_EQ(h.Esiste(nome), c.rispostaTenuta) << nome;
        if (c.rispostaTenuta) {
            EXPECT_NE(h.Leggi("ordseq.man").find(kVoce), std::string::npos);
            EXPECT_NE(h.Leggi("msgrx.txt").find("\r\n" + kMessaggioModem + "\r\n"), std::string::npos);
        } else {
            EXPECT_FALSE(h.Esiste("msgrx.txt"));
        }
        for (const auto& e : fs::directory_iterator(h.dir.path()))
            EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
        if (c.recordFlusso > 0) {
            // Ended at the bound: the records after it were never taken.
            const auto si = std::count(linee.begin(), linee.end(), std::string("SI"));
            EXPECT_GT(si, 100);
            EXPECT_LT(si, c.recordFlusso - 10);
            EXPECT_NE(h.LogFunzioni().find("Risposta oltre"), std::string::npos);
        }
        if (*c.messaggio) {
            EXPECT_EQ(w.Connections(), 0);
            ASSERT_FALSE(h.t.msgbox.calls.empty());
            EXPECT_NE(h.t.msgbox.calls[0].prompt.find(kNonValida), std::string::npos);
            EXPECT_NE(h.t.msgbox.calls[0].prompt.find(c.messaggio), std::string::npos);
            EXPECT_NE(h.LogFunzioni().find(std::string("impostazione non valida ") + c.messaggio), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace morven
