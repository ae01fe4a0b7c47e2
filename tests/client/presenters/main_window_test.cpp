// The main window's behaviour on a recording view: start-up, keys, confirm and refuse with their line
// checks, timers, closing, menu, the answer at the end of a session and the list events.
#include "client/presenters/main_window.h"
#include "client/session/ifck_request.h"
#include "client/session/answer_file.h"

#include "client/engine/testing/test_program.h"
#include "client/session/call_driver.h"
#include "client/session/layout.h"
#include "platform/core/files.h"
#include "platform/core/text.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

namespace morven {
namespace {

class FakeRisposte : public VistaRisposte {
public:
    int liste = 0, alberi = 0, selezionata = -1;
    ModelloLista ultima;
    ModelloDocumenti documenti;
    void MostraLista(const ModelloLista& l) override {
        ++liste;
        ultima = l;
    }
    int RigaSelezionata() const override { return selezionata; }
    void MostraDocumenti(const ModelloDocumenti& d) override {
        ++alberi;
        documenti = d;
    }
};

struct MainWindowFixture : ::testing::Test {
    morven::testing::TempDir dir;
    TestProgram t{dir.path()};
    Programma& p = t.p;
    FakeRisposte risposte;
    std::vector<std::string> linea;  // lines sent to the wholesaler
    bool lineaFunziona = true;
    std::vector<std::string> chiamate;
    CollegamentiFrmMorven c;

    MainWindowFixture() {
        c.ScriviComm = [this](Programma&, std::string_view r) {
            linea.emplace_back(r);
            return lineaFunziona;
        };
        c.SceltaChiamata = [this](Programma&, std::string& slot) {
            chiamate.push_back(slot);
            return true;
        };
    }
    EventiFrmMorven Finestra() { return EventiFrmMorven(p, t.main, risposte, c); }

    void Scrivi(const std::string& nome, const std::string& testo) {
        std::filesystem::create_directories(std::filesystem::path(dir / nome).parent_path());
        ReplaceFileAtomically(dir / nome, testo);
    }
    std::string Leggi(const std::string& nome) {
        std::string s;
        ReadWholeFile(dir / nome, s);
        return s;
    }
    // The answer dialogue on screen, as the availability layout leaves it.
    void Dialogo() { ImpostaVisualizzazione(p, t.main, kFaseDisponibilita, "Elenco Risposte", ""); }
    void CopiaRisposta() {
        std::filesystem::copy_file(std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/answers/IFCK01_OUT_MORVEN.DAT",
                                   dir / "IFCK01_OUT_MORVEN.DAT", std::filesystem::copy_options::overwrite_existing);
    }
};

TEST_F(MainWindowFixture, LoadPreparesFoldersOptionsMenuAndTimer) {
    Scrivi("MorvenClient.end", "old");
    Scrivi("MorvenClient.opz", "/DEBUG /BLKRUN:0004\r\nsecond line ignored /7\r\n");
    Scrivi("MvnConn04.par", "Connect   :Quarto\r\n");
    Scrivi("HTML/index.htm", "x");
    auto f = Finestra();
    f.Form_Load("/3 /FILEIN:IFCK02_IN_GEST.DAT");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "news"));
    EXPECT_FALSE(FileExists(dir / "MorvenClient.end"));
    EXPECT_EQ(t.main.caption, "Morven []");
    EXPECT_TRUE(p.opzioni.bDebug);
    EXPECT_TRUE(p.opzioni.bBlkRun);
    EXPECT_EQ(p.opzioni.sGrossistaSelezionato, "0004");
    EXPECT_EQ(p.opzioni.sSorgenteIFCK, "GEST");
    EXPECT_TRUE(t.main.Enabled("Timer1"));
    EXPECT_EQ(t.main.Value("Timer1"), 1000);
    EXPECT_EQ(t.main.Text("MNU_CON_GROSS4"), "Quarto");
    EXPECT_TRUE(t.main.Enabled("MNU_CON_GROSS4"));
    // The idle layout: the local start page, the idle strip and a heading that says where a call starts.
    EXPECT_TRUE(t.main.Visible("WebBrowser1"));
    EXPECT_TRUE(t.main.Visible("PictureMenu(0)"));
    EXPECT_FALSE(t.main.Visible("PictureMenu(1)"));
    EXPECT_EQ(t.main.Text("LblSpazioRosso"), "Morven");
    EXPECT_EQ(t.main.Text("LblSpazioGrigio"), "Scegliere il grossista dal menu Collegamento");
    ASSERT_FALSE(t.main.navigations.empty());
    EXPECT_EQ(t.main.navigations[0].second, dir / "HTML/index.htm");
    EXPECT_EQ(p.impostazioni.nTimeMaxOrd, 600);
    EXPECT_EQ(p.impostazioni.nTimeMaxRxP, 1800);
}

// /DEBUG is the caller's wish for the run: the call reads the slot's settings (which clear the debug option)
// and still opens the debug window.
TEST_F(MainWindowFixture, TheDebugSwitchShowsTheDebugWindowDuringTheCall) {
    Scrivi("MvnConn02.par", "Connect   :Secondo\r\nMode      :FTP\r\n");
    c.SceltaChiamata = [](Programma& q, std::string& slot) { return SceltaChiamata(q, slot, nullptr); };
    auto f = Finestra();
    f.Form_Load("/2 /DEBUG");
    EXPECT_FALSE(t.debug.shown);
    f.Timer1_Timer();
    EXPECT_TRUE(t.debug.shown);
    EXPECT_TRUE(p.opzioni.bDebug);
}

TEST_F(MainWindowFixture, LoadWithoutSwitchesLeavesTimerOffAndAnExistingNewsFolder) {
    Scrivi("news/keep.txt", "k");
    auto f = Finestra();
    f.Form_Load("");
    EXPECT_FALSE(t.main.Enabled("Timer1"));
    EXPECT_TRUE(p.opzioni.sGrossistaSelezionato.empty());
    EXPECT_EQ(Leggi("news/keep.txt"), "k");
}

TEST_F(MainWindowFixture, ConfigurationRunHidesTheWindowAndOpensTheSettingsNotModal) {
    std::vector<bool> modali;
    c.MostraImpostazioni = [&](bool m) { modali.push_back(m); };
    auto f = Finestra();
    t.main.shown = true;
    f.Form_Load("/2 /BLKCFG:0002 X=1");
    EXPECT_FALSE(t.main.shown);
    EXPECT_EQ(modali, std::vector<bool>{false});
    EXPECT_FALSE(t.main.Enabled("Timer1"));  // never a call
    EXPECT_EQ(p.opzioni.sParametriBlkCfg, " X=1");
}

TEST_F(MainWindowFixture, FunctionKeysActOnlyOnOfferedButtons) {
    Scrivi("ordseq.txt", "HEADER\r\n0001 A\r\n");
    Scrivi("ordseq.rst", "ANSWER\r\n");
    t.serial.carrier = true;
    p.impostazioni.bModeIFCK = false;
    auto f = Finestra();
    ImpostaVisualizzazione(p, t.main, kFaseMancanti, "Fine", "");  // no dialogue: the buttons are hidden

    int tasto = 114;
    EXPECT_TRUE(f.Gestisci_Tasto_Funzione(tasto, 0));
    EXPECT_EQ(tasto, 114);
    tasto = 112;
    f.Gestisci_Tasto_Funzione(tasto, 0);
    EXPECT_TRUE(linea.empty());
    EXPECT_EQ(Leggi("ordseq.rst"), "ANSWER\r\n");  // F3 did not blank the answer

    Dialogo();
    tasto = 112;
    f.Gestisci_Tasto_Funzione(tasto, 1);  // Shift+F1
    EXPECT_EQ(tasto, 1112);
    EXPECT_TRUE(linea.empty());
    tasto = 112;
    f.Gestisci_Tasto_Funzione(tasto, 0);
    EXPECT_EQ(linea, std::vector<std::string>{"6UUU"});
    EXPECT_FALSE(t.main.Visible("CmdConferma"));
    EXPECT_FALSE(t.main.Visible("CmdAnnulla"));
    // The dialogue is over: a second F1 or an F3 does nothing.
    tasto = 112;
    f.Gestisci_Tasto_Funzione(tasto, 0);
    tasto = 114;
    f.Gestisci_Tasto_Funzione(tasto, 0);
    EXPECT_EQ(linea.size(), 1u);
    EXPECT_EQ(t.end.calls, 0);

    tasto = 121;
    f.Gestisci_Tasto_Funzione(tasto, 0);
    EXPECT_EQ(t.end.calls, 1);  // F10 ends at once, without a question
    EXPECT_TRUE(t.msgbox.calls.empty());
}

TEST_F(MainWindowFixture, ConfirmOnALostLineRebuildsAnswersAndEnds) {
    Scrivi("ordseq.txt", "HEADER\r\n0001 A\r\n");
    struct Caso {
        const char* nome;
        bool internet;
        bool carrier;
        int stato;
        bool chiusa;
        bool linea;
    } casi[] = {
        {"modem without carrier", false, false, 0, false, true},
        {"socket not connected", true, true, TcpSocket::sckClosed, false, true},
        {"socket closed by the peer", true, true, TcpSocket::sckConnected, true, true},
        {"line refuses the line", true, true, TcpSocket::sckConnected, false, false},
    };
    for (const Caso& k : casi) {
        SCOPED_TRACE(k.nome);
        std::filesystem::remove(dir / "ordseq.rst");
        t.msgbox.calls.clear();
        t.end.calls = 0;
        p.sessione.bProgrammaTerminato = false;
        p.impostazioni.bModeIFCK = false;
        p.impostazioni.bModoInternet = k.internet;
        t.serial.carrier = k.carrier;
        t.socket.state = k.stato;
        p.sessione.bConnessioneChiusa = k.chiusa;
        lineaFunziona = k.linea;
        auto f = Finestra();
        Dialogo();
        f.CmdConferma_Click();
        ASSERT_EQ(t.msgbox.calls.size(), 1u);
        EXPECT_EQ(t.msgbox.calls[0].prompt, "Errore di Connessione\r\nNon e' stato possibile confermare l'ordine.");
        EXPECT_EQ(t.msgbox.calls[0].title, "Errore in Conferma");
        EXPECT_EQ(t.msgbox.calls[0].style, 16);
        EXPECT_EQ(t.end.calls, 1);
        EXPECT_EQ(Leggi("ordseq.rst"), "0001 A\r\n");
        EXPECT_TRUE(t.main.Enabled("CmdChiudi(0)"));
    }
}

TEST_F(MainWindowFixture, BatchRunEndsThreeSecondsAfterConfirmOrRefuse) {
    Scrivi("ordseq.txt", "HEADER\r\n");
    t.clock.SetAutoStep(50);
    p.opzioni.bBlkRun = true;
    p.impostazioni.bModeIFCK = false;
    p.impostazioni.bModoInternet = true;
    t.socket.state = TcpSocket::sckConnected;
    for (const bool conferma : {true, false}) {
        t.end.calls = 0;
        p.sessione.bProgrammaTerminato = false;
        auto f = Finestra();
        Dialogo();
        const auto prima = t.clock.MonotonicMs();
        conferma ? f.CmdConferma_Click() : f.CmdAnnulla_Click();
        EXPECT_GE(t.clock.MonotonicMs() - prima, 3000);
        EXPECT_EQ(t.end.calls, 1);
    }
    EXPECT_EQ(linea, (std::vector<std::string>{"6UUU", "6NNN"}));
}

TEST_F(MainWindowFixture, IfckConfirmOfAListNotReadWholeStaysWithItsBox) {
    p.impostazioni.bModeIFCK = true;
    p.impostazioni.bDisponibilita = true;
    p.opzioni.sFileIFCKIn = "IFCK01_IN_MORVEN.DAT";
    p.opzioni.sFileIFCKOut = "IFCK01_OUT_MORVEN.DAT";
    auto f = Finestra();
    Dialogo();
    f.CmdConferma_Click();
    EXPECT_EQ(p.opzioni.sFileIFCKIn, "IFCK02_IN_MORVEN.DAT");
    EXPECT_EQ(p.opzioni.sFileIFCKOut, "IFCK02_OUT_MORVEN.DAT");
    EXPECT_FALSE(p.impostazioni.bDisponibilita);
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Errore Generazione Ordine\r\nNon e' stato possibile Generare l'ordine.");
    EXPECT_EQ(t.end.calls, 0);
    EXPECT_FALSE(t.main.Enabled("Timer4"));
    EXPECT_NE(Leggi("MorvenClient.log").find("CreaOrdine :Elenco risposte non letto per intero"), std::string::npos);
    EXPECT_TRUE(linea.empty());
}

// The availability answer on screen, confirmed: the order of the confirmed rows goes to the second session,
// which Timer4 starts; with Comp-MVN through ordseq.txt (converted by that session), without it as the
// order request itself.
TEST_F(MainWindowFixture, IfckConfirmBuildsTheOrderForTheSecondSession) {
    std::string risposta;
    ASSERT_TRUE(ReadWholeFile(std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/answers/IFCK01_OUT_MORVEN.DAT", risposta));
    for (const bool compMvn : {true, false}) {
        SCOPED_TRACE(compMvn);
        std::filesystem::remove(dir / "IFCK02_IN_MORVEN.DAT");
        std::filesystem::remove(dir / "ordseq.txt");
        Scrivi("IFCK01_OUT_MORVEN.DAT", risposta);
        auto& imp = p.impostazioni;
        imp.bModeIFCK = true;
        imp.bDisponibilita = true;
        imp.bCompMvn = compMvn;
        imp.bDispOrdine = {true, true, true};
        imp.sCodiceCliente = "CLI001";
        p.opzioni.sFileIFCKIn = "IFCK01_IN_MORVEN.DAT";
        p.opzioni.sFileIFCKOut = "IFCK01_OUT_MORVEN.DAT";
        std::string inviata;
        c.LoopTrasmissione = [&](Programma& q) {
            // What the second session's request step sends.
            if (ControllaInvio(q, dir / q.opzioni.sFileIFCKIn, true)) inviata = Leggi(q.opzioni.sFileIFCKIn);
            return true;
        };
        auto f = Finestra();
        ASSERT_TRUE(f.MostraRispostaMancanti());
        std::vector<std::string> attese;
        for (const auto& r : f.Lista().righe)
            if (const auto q = LeggiQuantita(r.testi[3]); q && *q > 0)
                attese.push_back("P" + PadRight(TogliSpazi(r.testi[1]), 13) + PadLeft(*q, 5, "0"));
        ASSERT_FALSE(attese.empty());

        f.CmdConferma_Click();
        EXPECT_TRUE(t.main.Enabled("Timer4"));
        EXPECT_TRUE(t.msgbox.calls.empty());
        f.Timer4_Timer();
        const auto righe = DividiRighe(inviata);
        ASSERT_EQ(righe.size(), attese.size() + 2) << inviata;
        EXPECT_EQ(Mid(righe.front(), 1, 19), "T2005001020CLI00100");
        for (std::size_t i = 0; i < attese.size(); ++i) EXPECT_EQ(Left(righe[i + 1], 19), attese[i]);
        EXPECT_EQ(righe.back(), "Z" + PadLeft(static_cast<long long>(attese.size()), 5, "0"));
        EXPECT_FALSE(p.impostazioni.bDisponibilita);
        EXPECT_EQ(FileExists(dir / "ordseq.txt"), compMvn);
    }
}

TEST_F(MainWindowFixture, IfckConfirmArmsTheSecondSession) {
    int loops = 0;
    c.CreaOrdine = [](Programma&, const ModelloLista&) { return true; };
    c.LoopTrasmissione = [&](Programma&) { return ++loops > 0; };
    p.impostazioni.bModeIFCK = true;
    p.impostazioni.sConnect = "Grossista";
    p.opzioni.sFileIFCKIn = "IFCK01_IN_MORVEN.DAT";
    auto f = Finestra();
    Dialogo();
    f.CmdConferma_Click();
    EXPECT_TRUE(t.main.Enabled("Timer4"));
    EXPECT_EQ(t.main.Value("Timer4"), 100);
    p.sessione.bConnessioneChiusa = true;
    f.Timer4_Timer();
    EXPECT_EQ(loops, 1);
    EXPECT_FALSE(t.main.Enabled("Timer4"));
    EXPECT_FALSE(p.sessione.bConnessioneChiusa);
    EXPECT_EQ(t.main.Text("LblSpazioRosso"), "Collegamento");
    EXPECT_TRUE(t.main.Visible("WebBrowser1"));
}

TEST_F(MainWindowFixture, LateOrderSendEndsWithTempoScaduto) {
    Scrivi("ordseq.txt", "H\r\n");
    p.impostazioni.bModeIFCK = false;
    auto f = Finestra();
    f.Timer4_Timer();
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Tempo Scaduto\r\nNon e' piu' possibile confermare l'ordine.");
    EXPECT_EQ(t.end.calls, 1);
}

TEST_F(MainWindowFixture, CloseBoxAsksAndCancelLeavesEverything) {
    auto f = Finestra();
    t.serial.open = true;
    t.msgbox.answers = {vbCancel};
    EXPECT_TRUE(f.Form_QueryUnload());
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Confermi Uscita dal Programma");
    EXPECT_EQ(t.msgbox.calls[0].title, "Fine Lavoro");
    EXPECT_EQ(t.msgbox.calls[0].style, 49);
    EXPECT_EQ(t.end.calls, 0);
    EXPECT_TRUE(t.serial.open);
    t.msgbox.answers = {vbOK};
    f.SmartMenu_ItemClick("MNU_FINE");
    EXPECT_EQ(t.end.calls, 1);
    EXPECT_FALSE(t.serial.open);
}

TEST_F(MainWindowFixture, MenuEntries) {
    Scrivi("MvnConn02.par", "Connect   :Due\r\n");
    std::vector<bool> impostazioni;
    std::vector<std::string> info;
    c.MostraImpostazioni = [&](bool m) { impostazioni.push_back(m); };
    c.MostraInformazioni = [&](const std::string& s) { info.push_back(s); };
    c.SceltaChiamata = [&](Programma&, std::string& slot) {
        chiamate.push_back(slot);
        // While the call runs every slot entry is locked.
        EXPECT_FALSE(t.main.Enabled("MNU_CON_GROSS2"));
        EXPECT_FALSE(t.main.Enabled("MNU_SET_GROSS2"));
        return false;  // no call made
    };
    auto f = Finestra();
    f.Form_Load("");
    f.SmartMenu_ItemClick("MNU_CON_GROSS1");  // no settings file: not offered
    EXPECT_FALSE(t.main.Enabled("Timer1"));
    f.SmartMenu_ItemClick("MNU_CON_GROSS2");
    EXPECT_EQ(p.opzioni.sGrossistaSelezionato, "02");
    EXPECT_TRUE(t.main.Enabled("Timer1"));
    EXPECT_EQ(t.main.Value("Timer1"), 100);
    f.Timer1_Timer();
    EXPECT_FALSE(t.main.Enabled("Timer1"));
    EXPECT_EQ(chiamate, std::vector<std::string>{"02"});
    // The call ended early: the menu is offered again.
    EXPECT_TRUE(t.main.Enabled("MNU_CON_GROSS2"));
    EXPECT_TRUE(t.main.Enabled("MNU_SET_GROSS2"));

    f.SmartMenu_ItemClick("MNU_SET_GROSS10");
    EXPECT_EQ(p.opzioni.sGrossistaSelezionato, "10");
    EXPECT_EQ(impostazioni, std::vector<bool>{true});
    f.SmartMenu_ItemClick("MNU_INFO");
    EXPECT_EQ(info, std::vector<std::string>{" Versione  1.0.0"});

    const bool debug = p.opzioni.bDebug;
    f.SmartMenu_ItemClick("MNU_DEBUG");
    EXPECT_TRUE(t.debug.shown);
    EXPECT_TRUE(p.opzioni.bDebug);
    f.SmartMenu_ItemClick("MNU_DEBUG");
    EXPECT_FALSE(t.debug.shown);
    EXPECT_EQ(p.opzioni.bDebug, debug);
    f.SmartMenu_ItemClick("mnu_fine");  // keys compare with case
    EXPECT_TRUE(t.msgbox.calls.empty());
}

// The menu after each kind of call: the settings entries come back whatever the call did; the connect
// entries come back too, except while an availability answer waits for its confirm or refuse (the line, or
// the IFCK files and settings of that call, are still in use), and then come back once it is answered.
TEST_F(MainWindowFixture, MenuAfterEachKindOfCall) {
    Scrivi("MvnConn02.par", "Connect   :Due\r\n");
    CopiaRisposta();
    enum class Esito { NessunaChiamata, Interrotta, RispostaOrdine, Disponibilita };
    const struct {
        const char* nome;
        Esito esito;
        bool collegamentiOfferti;
    } casi[] = {
        {"no call made", Esito::NessunaChiamata, true},
        {"broken off", Esito::Interrotta, true},
        {"order answer shown", Esito::RispostaOrdine, true},
        {"availability answer waiting", Esito::Disponibilita, false},
    };
    for (const auto& k : casi) {
        SCOPED_TRACE(k.nome);
        EventiFrmMorven* finestra = nullptr;
        c.SceltaChiamata = [&](Programma& q, std::string&) {
            EXPECT_FALSE(t.main.Enabled("MNU_SET_GROSS2"));  // not while the call runs
            q.sessione.nPassoSessione = k.esito == Esito::Interrotta ? kPassoAbortito : kPassoRisposteVisibili;
            q.impostazioni.bModeIFCK = true;
            q.impostazioni.bDisponibilita = k.esito == Esito::Disponibilita;
            q.opzioni.sFileIFCKOut = "IFCK01_OUT_MORVEN.DAT";
            if (k.esito == Esito::RispostaOrdine || k.esito == Esito::Disponibilita) finestra->MostraRispostaMancanti();
            return k.esito != Esito::NessunaChiamata;
        };
        auto f = Finestra();
        finestra = &f;
        f.Form_Load("/2");
        ImpostaVisualizzazione(p, t.main, kFaseCollegamento, "Collegamento", "Due");
        f.Timer1_Timer();
        EXPECT_EQ(t.main.Enabled("MNU_CON_GROSS2"), k.collegamentiOfferti);
        EXPECT_TRUE(t.main.Enabled("MNU_SET_GROSS2"));
        EXPECT_EQ(f.RispostaInAttesa(), !k.collegamentiOfferti);
        // A call that was not made leaves the window idle, not on its connection phase.
        if (k.esito == Esito::NessunaChiamata) {
            EXPECT_EQ(t.main.Text("LblSpazioRosso"), "Morven");
            EXPECT_FALSE(t.main.Visible("PictureMenu(1)"));
        }
        if (k.esito != Esito::Disponibilita) continue;
        f.CmdAnnulla_Click();
        EXPECT_TRUE(t.main.Enabled("MNU_CON_GROSS2"));
        EXPECT_FALSE(f.RispostaInAttesa());
    }
}

// An IFCK confirm starts the order's session through Timer4: the menu stays locked from the confirm to the
// end of that session, and a settings save meanwhile does not unlock it.
TEST_F(MainWindowFixture, MenuStaysLockedUntilTheOrderSessionEnds) {
    Scrivi("MvnConn02.par", "Connect   :Due\r\n");
    c.CreaOrdine = [](Programma&, const ModelloLista&) { return true; };
    EventiFrmMorven* finestra = nullptr;
    c.LoopTrasmissione = [&](Programma&) {
        finestra->AggiornaMenu();  // what a settings save does
        EXPECT_FALSE(t.main.Enabled("MNU_CON_GROSS2"));
        EXPECT_FALSE(t.main.Enabled("MNU_SET_GROSS2"));
        return true;
    };
    auto f = Finestra();
    finestra = &f;
    f.Form_Load("");
    p.impostazioni.bModeIFCK = true;
    p.opzioni.sFileIFCKIn = "IFCK01_IN_MORVEN.DAT";
    Dialogo();
    f.CmdConferma_Click();
    EXPECT_EQ(t.main.Text("LblSpazioRosso"), "Ordine Confermato");
    EXPECT_FALSE(t.main.Enabled("MNU_CON_GROSS2"));
    f.Timer4_Timer();
    EXPECT_TRUE(t.main.Enabled("MNU_CON_GROSS2"));
    EXPECT_TRUE(t.main.Enabled("MNU_SET_GROSS2"));
}

TEST_F(MainWindowFixture, SessionBrokenOffGivesTheMenuBack) {
    Scrivi("MvnConn02.par", "Connect   :Due\r\n");
    c.SceltaChiamata = [&](Programma& q, std::string&) {
        EXPECT_FALSE(t.main.Enabled("MNU_CON_GROSS2"));
        q.sessione.nPassoSessione = kPassoAbortito;
        return true;
    };
    auto f = Finestra();
    f.Form_Load("/2");
    f.Timer1_Timer();
    EXPECT_TRUE(t.main.Enabled("MNU_CON_GROSS2"));
    EXPECT_TRUE(t.main.Enabled("MNU_SET_GROSS2"));
}

TEST_F(MainWindowFixture, AvailabilityAnswerShownWithTheDialogue) {
    std::filesystem::copy_file(std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/answers/IFCK01_OUT_MORVEN.DAT",
                               dir / "IFCK01_OUT_MORVEN.DAT");
    p.impostazioni.bModeIFCK = true;
    p.impostazioni.bDisponibilita = true;
    p.impostazioni.sConnect = "Grossista";
    p.opzioni.sFileIFCKOut = "IFCK01_OUT_MORVEN.DAT";
    auto f = Finestra();
    ASSERT_TRUE(f.MostraRispostaMancanti());
    EXPECT_EQ(risposte.liste, 1);
    EXPECT_FALSE(risposte.ultima.righe.empty());
    EXPECT_TRUE(t.main.Visible("CmdConferma"));
    EXPECT_TRUE(t.main.Visible("LVWMancanti"));
    EXPECT_EQ(t.main.Text("LblSpazioRosso"), "Elenco Risposte");
    EXPECT_EQ(t.main.Text("LblSpazioGrigio"), "Grossista");
    EXPECT_EQ(t.main.Text("LblRifOrdineGrossista"), "DISP-0001           ");

    // Sort on a column, then the offer dialog changes a quantity.
    f.LVWMancanti_ColumnClick(2);
    EXPECT_EQ(risposte.liste, 2);
    EXPECT_TRUE(risposte.ultima.ordinata);
    EXPECT_EQ(risposte.ultima.colonnaOrdinamento, 2u);
    std::string codiceVisto, fileVisto;
    int scelta = 0;
    c.DettaglioOfferta = [&](const std::string& codice, const std::string& file, int q) {
        codiceVisto = codice;
        fileVisto = file;
        return scelta < 0 ? q : scelta;
    };
    auto g = Finestra();
    ASSERT_TRUE(g.MostraRispostaMancanti());
    risposte.selezionata = 0;
    const RigaLista riga = g.Lista().righe[0];
    // The same quantity back leaves text and colour as they were.
    scelta = -1;
    g.LVWMancanti_DblClick();
    EXPECT_EQ(codiceVisto, riga.testi[1]);
    EXPECT_EQ(fileVisto, dir / "IFCK01_OUT_MORVEN.DAT");
    EXPECT_EQ(g.Lista().righe[0].testi, riga.testi);
    EXPECT_EQ(g.Lista().righe[0].colori, riga.colori);
    scelta = std::atoi(riga.testi[3].c_str()) + 7;
    g.LVWMancanti_DblClick();
    EXPECT_EQ(g.Lista().righe[0].testi[3], PadLeft(scelta, 5, "0"));
    EXPECT_EQ(g.Lista().righe[0].colori[3], 255u);
}

TEST_F(MainWindowFixture, MissingAnswerNeverOffersTheConfirm) {
    p.impostazioni.bModeIFCK = true;
    p.impostazioni.bDisponibilita = true;
    p.opzioni.sFileIFCKOut = "IFCK01_OUT_MORVEN.DAT";
    auto f = Finestra();
    EXPECT_FALSE(f.MostraRispostaMancanti());
    EXPECT_FALSE(t.main.Visible("CmdConferma"));
    EXPECT_TRUE(t.main.Visible("CmdAnnulla"));
}

TEST_F(MainWindowFixture, AnswerThatFailsToShowNeverOffersTheConfirm) {
    struct ListaGuasta : FakeRisposte {
        void MostraLista(const ModelloLista&) override { throw std::runtime_error("lista non disponibile"); }
    } guasta;
    std::filesystem::copy_file(std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/answers/IFCK01_OUT_MORVEN.DAT",
                               dir / "IFCK01_OUT_MORVEN.DAT");
    p.impostazioni.bModeIFCK = true;
    p.impostazioni.bDisponibilita = true;
    p.opzioni.sFileIFCKOut = "IFCK01_OUT_MORVEN.DAT";
    EventiFrmMorven f(p, t.main, guasta, c);
    EXPECT_FALSE(f.MostraRispostaMancanti());
    EXPECT_FALSE(t.main.Visible("CmdConferma"));
    EXPECT_TRUE(t.main.Visible("CmdAnnulla"));  // the answer can still be refused
}

TEST_F(MainWindowFixture, DoubleClickOnAnOrderListDoesNothing) {
    std::filesystem::copy_file(std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/answers/IFCK02_OUT_T115.DAT",
                               dir / "IFCK02_OUT_MORVEN.DAT");
    p.impostazioni.bModeIFCK = true;
    p.opzioni.sFileIFCKOut = "IFCK02_OUT_MORVEN.DAT";
    int aperture = 0;
    c.DettaglioOfferta = [&](const std::string&, const std::string&, int q) { return ++aperture + q; };
    auto f = Finestra();
    f.MostraRispostaMancanti();
    EXPECT_EQ(t.main.Text("LblSpazioRosso"), "Fine");
    risposte.selezionata = 0;
    f.LVWMancanti_DblClick();
    EXPECT_EQ(aperture, 0);
}

TEST_F(MainWindowFixture, DocumentsAnswerFillsTreeAndMessages) {
    std::filesystem::copy_file(std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/answers/IFCK03_OUT_MORVEN.DAT",
                               dir / "IFCK03_OUT_MORVEN.DAT");
    p.impostazioni.bRichDocs = true;
    p.impostazioni.sConnect = "Grossista";
    auto f = Finestra();
    f.MostraRispostaDocumenti();
    EXPECT_EQ(risposte.alberi, 1);
    EXPECT_FALSE(risposte.documenti.nodi.empty());
    EXPECT_TRUE(t.main.Visible("TreeView1"));
    EXPECT_FALSE(t.main.Text("TextMess").empty());

    p.impostazioni.bRichDocs = false;
    f.MostraRispostaDocumenti();
    EXPECT_EQ(risposte.alberi, 1);
    EXPECT_TRUE(t.main.Visible("WebBrowser1"));
}

}  // namespace
}  // namespace morven
