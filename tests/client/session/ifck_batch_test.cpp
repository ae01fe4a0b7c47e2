// Batch runs as the management software makes them: the main window's start-up with /BLKRUN (and /FILEIN
// for a request it wrote itself), Timer1, the call driver and the session, over TCP against the fake
// wholesaler and over the modem emulator. Every run must end by itself with the answer file and the end
// marker, the request sent whole once.
#include <gtest/gtest.h>

#include <filesystem>

#include "client/session/answer_file.h"
#include "client/session/call_driver.h"
#include "client/session/loop.h"
#include "client/presenters/main_window.h"
#include "client/presenters/settings_dialog.h"
#include "tests/client/session/ifck_session_scripts.h"
#include "tests/client/session/session_harness.h"
#include "tests/client/session/session_scripts.h"
#include "tests/client/session/settings_form.h"

namespace morven {
namespace {

namespace peers = morven::peers;
using namespace morven::testing;

struct NessunaRisposta : VistaRisposte {
    void MostraLista(const ModelloLista&) override {}
    int RigaSelezionata() const override { return -1; }
    void MostraDocumenti(const ModelloDocumenti&) override {}
};

struct Lotto {
    const char* nome;
    bool modem;
    bool compMvn;
    const char* argomenti;
    const char* fileIn;   // the request the client sends (written by the management software without Comp-MVN)
    const char* fileOut;  // where the answer must land
    char lettera;         // kind letter of the header
};

// The management software's own request, of the kind its file name says.
std::string Gestionale(const std::string& nome) {
    return "T2005001" + nome.substr(4, 2) + "001234500          1011\r\nP012345678    000050NNN\r\nZ00001\r\n";
}

struct BatchRun : ::testing::TestWithParam<Lotto> {};

TEST_P(BatchRun, EndsWithTheAnswerAndTheEndMarker) {
    const Lotto& l = GetParam();
    SessionHarness h;
    const std::string risposta = FileRisposta(20);
    if (l.compMvn)
        h.Ordine(FileOrdine(4));
    else
        h.Scrivi(l.fileIn, Gestionale(l.fileIn));

    // Header and one data block (both requests are shorter than a block), then the end; what they carried is
    // checked afterwards.
    peers::Script script{peers::ExpectBlock(),     peers::Send("SI0"),   peers::ExpectBlock(),
                         peers::Send("SI1"),          peers::ExpectBlock(kFineTx), peers::Send("SI9999")};
    if (l.modem) script.push_back(peers::Hold());
    for (const auto& b : BlocchiFile(risposta, kCodice, l.lettera)) BloccoInviato(script, b);

    std::unique_ptr<peers::FakeWholesaler> w;
    std::unique_ptr<LowPortRelay> relay;
    std::unique_ptr<peers::ModemEmulator> modem;
    std::vector<std::string> righe = {Riga("Connect", "Grossista Lotto"), Riga("Code", kCodice),
                                      Riga("Interface", "DESCRIZ-MAN"), Riga("ModeIFCK", "YES"),
                                      Riga("Comp-MVN", l.compMvn ? "YES" : "NO"), Riga("DispOrdine", "NO")};
    if (l.modem) {
        modem = std::make_unique<peers::ModemEmulator>(std::vector<peers::ModemCall>{{"CONNECT 31200", script}});
        h.UsaModem(modem->DevicePath());
        h.DopoSvuotamento(401, [&] { modem->Release(); });
        righe.push_back(Riga("Mode", "NORMALE"));
        righe.push_back(Riga("Phone 1", "0212345"));
    } else {
        w = std::make_unique<peers::FakeWholesaler>(std::vector<peers::Script>{script});
        relay = std::make_unique<LowPortRelay>(w->Port());
        h.UsaTcp();
        righe.push_back(Riga("Mode", "INTERNET"));
        righe.push_back(Riga("Ip1", "127.0.0.1"));
        righe.push_back(Riga("Porta", std::to_string(relay->Port())));
        righe.push_back(Riga("AutoIncPor", "NO"));
    }
    h.Impostazioni(righe);

    NessunaRisposta vista;
    CollegamentiFrmMorven c;
    c.SceltaChiamata = [](Programma& q, std::string& slot) { return SceltaChiamata(q, slot); };
    c.LoopTrasmissione = [](Programma& q) { return LoopTrasmissione(q); };
    EventiFrmMorven f(h.p, h.t.main, vista, c);
    f.Form_Load(l.argomenti);
    ASSERT_TRUE(h.p.opzioni.bBlkRun);
    f.Timer1_Timer();

    const std::vector<std::string> ricevute = l.modem ? modem->Lines() : (w->Stop(), w->Lines());
    const std::vector<std::string> errori = l.modem ? modem->Errors() : w->Errors();
    EXPECT_TRUE(errori.empty()) << ::testing::PrintToString(errori) << h.LogSessione();
    EXPECT_EQ(h.t.end.calls, 1);
    EXPECT_TRUE(h.Esiste("MorvenClient.end"));
    EXPECT_EQ(h.Leggi(l.fileOut), risposta) << h.LogSessione() << h.LogFunzioni();
    EXPECT_FALSE(h.Esiste("abort.dat"));
    // The request went whole, once: one header, and the data rebuild the request file.
    std::string payload, file;
    int testate = 0;
    for (const auto& r : ricevute) {
        if (r.rfind("AEIO", 0) != 0 || !peers::Unframe(r, &payload)) continue;
        const int n = NumeroBlocco(payload);
        if (n == 0) {
            ++testate;
            EXPECT_EQ(payload.substr(18), kCodice + " " + std::string(1, l.lettera) + "N" + std::string(13, '*'));
        } else if (n != 9999) {
            file += payload.substr(4);
        }
    }
    EXPECT_EQ(testate, 1);
    EXPECT_EQ(file, h.Leggi(l.fileIn));
    if (!l.compMvn) {
        EXPECT_EQ(file, Gestionale(l.fileIn));
    }
}

// The main window started as the management software starts it, and its Timer1.
void LanciaLotto(SessionHarness& h, const std::string& argomenti) {
    NessunaRisposta vista;
    CollegamentiFrmMorven c;
    c.SceltaChiamata = [](Programma& q, std::string& slot) { return SceltaChiamata(q, slot); };
    c.LoopTrasmissione = [](Programma& q) { return LoopTrasmissione(q); };
    EventiFrmMorven f(h.p, h.t.main, vista, c);
    f.Form_Load(argomenti);
    ASSERT_TRUE(h.p.opzioni.bBlkRun);
    f.Timer1_Timer();
}

// An IFCK slot over TCP as an earlier installation left it, working.
std::vector<std::string> SlotTcp(int porta, bool compMvn) {
    return {Riga("Connect", "Grossista Lotto"), Riga("Code", kCodice),        Riga("Interface", "DESCRIZ-MAN"),
            Riga("ModeIFCK", "YES"),            Riga("Comp-MVN", compMvn ? "YES" : "NO"),
            Riga("DispOrdine", "NO"),           Riga("Mode", "INTERNET"),     Riga("Ip1", "127.0.0.1"),
            Riga("Porta", std::to_string(porta)), Riga("AutoIncPor", "NO")};
}

// The slot opened in the settings window, the request ticked (or nothing changed) and saved; then a batch run
// of that slot. The window saves the interface as "IFCK" or "DOCUMENTI", which no interface class names:
// the call is still made, the request goes out once and the answer is stored.
struct SalvataDallaFinestra {
    const char* nome;
    const char* spunta;      // the request box ticked in the window, or null to save unchanged
    bool compMvn;
    const char* interfaccia;  // as the window saves it
    const char* fileIn;       // the request sent (the management software's own without Comp-MVN)
    const char* fileOut;
    char lettera;
};

void PrintTo(const SalvataDallaFinestra& c, std::ostream* os) { *os << c.nome; }

struct SlotSavedByTheSettingsWindow : ::testing::TestWithParam<SalvataDallaFinestra> {};

TEST_P(SlotSavedByTheSettingsWindow, IsCalledInABatchRun) {
    const SalvataDallaFinestra& c = GetParam();
    SessionHarness h;
    const std::string risposta = FileRisposta(20);
    peers::Script script{peers::ExpectBlock(), peers::Send("SI0"),   peers::ExpectBlock(),
                         peers::Send("SI1"),   peers::ExpectBlock(kFineTx), peers::Send("SI9999")};
    for (const auto& b : BlocchiFile(risposta, kCodice, c.lettera)) BloccoInviato(script, b);
    peers::FakeWholesaler w({script});
    LowPortRelay relay(w.Port());
    h.UsaTcp();
    h.Impostazioni(SlotTcp(relay.Port(), c.compMvn));
    if (c.compMvn) h.Ordine(FileOrdine(4));
    if (!c.compMvn) h.Scrivi(c.fileIn, Gestionale(c.fileIn));

    {
        FakeView form;
        DichiaraControlli(form);
        h.p.opzioni.sGrossistaSelezionato = "01";
        EventiFrmImpostazioni finestra(h.p, form);
        finestra.Form_Load();
        if (c.spunta) {
            form.SetValue(Ctl(c.spunta), 1);
            finestra.ChkRichiesta_Click(c.spunta);
        }
        finestra.CmdSalva_Click();
    }
    ASSERT_NE(h.Leggi("MvnConn01.par").find("Interface :" + std::string(c.interfaccia) + "\r\n"), std::string::npos)
        << h.Leggi("MvnConn01.par");
    h.t.msgbox.calls.clear();

    LanciaLotto(h, "/BLKRUN:01");
    w.Stop();
    EXPECT_TRUE(w.Errors().empty()) << ::testing::PrintToString(w.Errors()) << h.LogSessione() << h.LogFunzioni();
    EXPECT_EQ(w.Connections(), 1);
    EXPECT_TRUE(h.t.msgbox.calls.empty()) << h.t.msgbox.calls.front().prompt;
    EXPECT_EQ(h.Leggi(c.fileOut), risposta);
    EXPECT_FALSE(h.Esiste("abort.dat"));
    EXPECT_TRUE(h.Esiste("MorvenClient.end"));
    EXPECT_EQ(h.t.end.calls, 1);
    std::string payload, file;
    int testate = 0;
    for (const auto& r : w.Lines()) {
        if (r.rfind("AEIO", 0) != 0 || !peers::Unframe(r, &payload)) continue;
        const int n = NumeroBlocco(payload);
        if (n == 0) {
            ++testate;
            // The code as the window normalised it.
            EXPECT_EQ(payload.substr(18), "0" + kCodice + "00 " + std::string(1, c.lettera) + "N" + std::string(13, '*'));
        } else if (n != 9999) {
            file += payload.substr(4);
        }
    }
    EXPECT_EQ(testate, 1);
    EXPECT_EQ(file, h.Leggi(c.fileIn));
    EXPECT_FALSE(file.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Ifck, SlotSavedByTheSettingsWindow,
    ::testing::Values(
        SalvataDallaFinestra{"order_saved_unchanged", nullptr, true, "IFCK", "IFCK02_IN_MORVEN.DAT",
                             "IFCK02_OUT_MORVEN.DAT", 'O'},
        SalvataDallaFinestra{"pht_order", "ChkOrdinePht", false, "DOCUMENTI", "IFCK05_IN_MORVEN.DAT",
                             "IFCK05_OUT_MORVEN.DAT", 'H'},
        SalvataDallaFinestra{"documents", "ChkRicDocumenti", true, "DOCUMENTI", "IFCK03_IN_MORVEN.DAT",
                             "IFCK03_OUT_MORVEN.DAT", 'F'}),
    [](const ::testing::TestParamInfo<SalvataDallaFinestra>& caso) { return std::string(caso.param.nome); });

// An IFCK order built from ordseq.txt with no order file to build it from, an empty one or one too long to
// read whole: refused before the line opens with the message the line gives such a file. Nothing reaches
// the wholesaler, abort.dat stays and the caller gets its end marker.
TEST(IfckBatchRefusal, UnusableOrderFileSendsNothing) {
    enum class Ordine { Vuoto, Mancante, TroppoLungo };
    const struct {
        const char* nome;
        Ordine ordine;
        const char* motivo;
    } casi[] = {{"empty", Ordine::Vuoto, "File ordine vuoto"},
                {"missing", Ordine::Mancante, "File ordine mancante"},
                {"too long", Ordine::TroppoLungo, "oltre il limite"}};
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        SessionHarness h;
        peers::FakeWholesaler w({{peers::Silence()}});
        LowPortRelay relay(w.Port());
        h.UsaTcp();
        h.Impostazioni(SlotTcp(relay.Port(), true));
        if (c.ordine == Ordine::Vuoto) h.Scrivi("ordseq.txt", "");
        if (c.ordine == Ordine::TroppoLungo) {
            h.Ordine(FileOrdine(4));
            std::filesystem::resize_file(h.dir / "ordseq.txt", kLimiteFileRisposta + 1);
        }
        LanciaLotto(h, "/BLKRUN:01");
        w.Stop();
        EXPECT_EQ(w.Connections(), 0);
        ASSERT_EQ(h.t.msgbox.calls.size(), 1u);
        EXPECT_EQ(h.t.msgbox.calls[0].prompt.rfind("Il File Ordine non e' corretto : trasmissione annullata.\r\n", 0),
                  0u)
            << h.t.msgbox.calls[0].prompt;
        EXPECT_NE(h.t.msgbox.calls[0].prompt.find(c.motivo), std::string::npos) << h.t.msgbox.calls[0].prompt;
        EXPECT_NE(h.LogFunzioni().find("SceltaChiamata :"), std::string::npos);
        EXPECT_FALSE(h.Esiste("IFCK02_IN_MORVEN.DAT"));
        EXPECT_TRUE(h.Esiste("abort.dat"));
        EXPECT_TRUE(h.Esiste("MorvenClient.end"));
        EXPECT_EQ(h.t.end.calls, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ifck, BatchRun,
    ::testing::Values(
        Lotto{"tcp_own_availability_request", false, false, "/FILEIN:IFCK01_IN_GEST.DAT /BLKRUN:01",
              "IFCK01_IN_GEST.DAT", "IFCK01_OUT_GEST.DAT", 'D'},
        Lotto{"tcp_own_order_request", false, false, "/FILEIN:IFCK02_IN_GEST.DAT /BLKRUN:01", "IFCK02_IN_GEST.DAT",
              "IFCK02_OUT_GEST.DAT", 'O'},
        Lotto{"tcp_order_from_ordseq", false, true, "/BLKRUN:01", "IFCK02_IN_MORVEN.DAT", "IFCK02_OUT_MORVEN.DAT", 'O'},
        Lotto{"modem_own_availability_request", true, false, "/FILEIN:IFCK01_IN_GEST.DAT /BLKRUN:01",
              "IFCK01_IN_GEST.DAT", "IFCK01_OUT_GEST.DAT", 'D'},
        Lotto{"modem_order_from_ordseq", true, true, "/FILEIN:IFCK01_IN_GEST.DAT /BLKRUN:01", "IFCK02_IN_MORVEN.DAT",
              "IFCK02_OUT_MORVEN.DAT", 'O'}),
    [](const ::testing::TestParamInfo<Lotto>& caso) { return std::string(caso.param.nome); });

}  // namespace
}  // namespace morven
