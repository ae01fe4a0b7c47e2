// The call driver before the session: marker, paths, exchange file pair, availability over the older line
// protocol, old answers, the request dialogs and the refusals. The slot is set to FTP mode, where the fake
// FTP server has no answer, so the session ends at its first step.
#include "client/session/call_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>

#include "client/engine/programma.h"
#include "client/engine/testing/test_program.h"
#include "platform/core/files.h"
#include "platform/core/text.h"
#include "tests/platform/core/temp_dir.h"

namespace morven {
namespace {

namespace fs = std::filesystem;

std::string Riga(const std::string& k, const std::string& v) { return PadRight(k, 10) + ":" + v + "\r\n"; }

struct Dialoghi : DialoghiRichiesta {
    std::function<void(Programma&)> docs, pht, mes;
    int aperti = 0;
    void RicDocumenti(Programma& p) override {
        ++aperti;
        if (docs) docs(p);
    }
    bool OrdinePht(Programma& p) override {
        ++aperti;
        if (!pht) return false;
        pht(p);
        return true;
    }
    void Messaggio(Programma& p) override {
        ++aperti;
        if (mes) mes(p);
    }
};

struct CallDriverTest : ::testing::Test {
    testing::TempDir dir;
    TestProgram t{dir.path()};
    Programma& p = t.p;
    Dialoghi d;

    CallDriverTest() { t.clock.SetAutoStep(50); }
    void Slot(const std::string& extra, const std::string& slot = "01") const {
        ReplaceFileAtomically(dir / ("MvnConn" + slot + ".par"),
                              Riga("Connect", "Grossista") + Riga("Code", "12345") + Riga("Mode", "FTP") +
                                  (extra.find("Interface") == std::string::npos ? Riga("Interface", "ORDINE") : "") +
                                  extra);
    }
    bool Esiste(const std::string& rel) const { return fs::exists(dir / rel); }
    std::string Leggi(const std::string& rel) const {
        std::string s;
        ReadWholeFile(dir / rel, s);
        return s;
    }
};

TEST_F(CallDriverTest, PathsLogNameAndExchangeFiles) {
    Slot(Riga("Comp-MVN", "YES"), "ABCD");
    ReplaceFileAtomically(dir / "ordseq.txt", "0000000000000\r\n0123456780002\r\n");
    p.opzioni.sFileIFCKIn = "IFCK02_IN_GESTIONALE.DAT";
    p.opzioni.sSorgenteIFCK = "GESTIONALE";
    EXPECT_TRUE(SceltaChiamata(p, "ABCD", &d));
    EXPECT_EQ(p.percorsi.sFileImpostazioni, dir / "MvnConnABCD.par");
    EXPECT_EQ(p.percorsi.sFileLogSessione, "MvnConnABCD-20261210-100000.log");
    // 2003 compatibility: the fixed pair of the request replaces the handed-in names.
    EXPECT_EQ(p.opzioni.sFileIFCKIn, "IFCK02_IN_MORVEN.DAT");
    EXPECT_EQ(p.opzioni.sFileIFCKOut, "IFCK02_OUT_MORVEN.DAT");
    EXPECT_EQ(p.opzioni.sSorgenteIFCK, "MORVEN");
    EXPECT_EQ(d.aperti, 0);
}

TEST_F(CallDriverTest, HandedInExchangeFilesAreKeptWithoutCompatibilityMode) {
    Slot("");
    p.opzioni.sFileIFCKIn = "IFCK02_IN_GESTIONALE.DAT";
    p.opzioni.sFileIFCKOut = "IFCK02_OUT_GESTIONALE.DAT";
    p.opzioni.sSorgenteIFCK = "GESTIONALE";
    EXPECT_TRUE(SceltaChiamata(p, "01", &d));
    EXPECT_EQ(p.opzioni.sFileIFCKIn, "IFCK02_IN_GESTIONALE.DAT");
    EXPECT_EQ(p.opzioni.sSorgenteIFCK, "GESTIONALE");
}

TEST_F(CallDriverTest, OldAnswersAreDeletedBeforeTheCall) {
    Slot("");
    for (const char* f : {"ordseq.rst", "ordseq.man", "ordseq.ma1", "IFCK01_OUT_MORVEN.DAT", "ifck06_out_x.dat",
                          "ordseq2006.man", "msgrx.txt", "IFCK07_OUT_MORVEN.DAT", "IFCK02_IN_MORVEN.DAT", "altro.txt"})
        ReplaceFileAtomically(dir / f, "x");
    EXPECT_TRUE(SceltaChiamata(p, "01", &d));
    for (const char* f : {"ordseq.rst", "ordseq.man", "ordseq.ma1", "IFCK01_OUT_MORVEN.DAT", "ifck06_out_x.dat",
                          "ordseq2006.man", "msgrx.txt"})
        EXPECT_FALSE(Esiste(f)) << f;
    for (const char* f : {"IFCK07_OUT_MORVEN.DAT", "IFCK02_IN_MORVEN.DAT", "altro.txt"}) EXPECT_TRUE(Esiste(f)) << f;
}

TEST_F(CallDriverTest, AvailabilityOverTheOlderProtocolUsesComprojectFraming) {
    Slot(Riga("Interface", "DISPONIBILITA'") + Riga("ModeIFCK", "NO"));
    EXPECT_TRUE(SceltaChiamata(p, "01", &d));
    const auto& imp = p.impostazioni;
    EXPECT_TRUE(imp.bCPJ);
    EXPECT_EQ(imp.sSettings, "E,7,1");
    EXPECT_EQ(imp.sCodiceCliente, "00123450850000");
    EXPECT_EQ(imp.bDispOrdine, (std::array<bool, 3>{true, true, true}));
}

TEST_F(CallDriverTest, CancelledDocumentRequestEndsTheProgramAtOnce) {
    Slot(Riga("RichDocs", "YES") + Riga("Comp-MVN", "YES"));
    d.docs = [](Programma& q) { q.impostazioni.bRichDocs = false; };
    EXPECT_FALSE(SceltaChiamata(p, "01", &d));
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Richiesta Documenti Annullata ");
    EXPECT_EQ(t.msgbox.calls[0].style, 64);
    EXPECT_EQ(t.end.calls, 1);
    EXPECT_FALSE(Esiste("MorvenClient.end"));  // not through the program-end procedure
    EXPECT_TRUE(p.sessione.bProgrammaTerminato);

    // A batch run's caller waits for the end marker: there the program ends through the program-end procedure.
    p.opzioni.bBlkRun = true;
    t.msgbox.calls.clear();
    EXPECT_FALSE(SceltaChiamata(p, "01", &d));
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Richiesta Documenti Annullata ");
    EXPECT_EQ(t.end.calls, 2);
    EXPECT_TRUE(Esiste("MorvenClient.end"));
}

TEST_F(CallDriverTest, PhtOrderWindowLeftWithoutAnOrderMakesNoCall) {
    Slot(Riga("OrdinePht", "YES"));
    ReplaceFileAtomically(dir / "IFCK05_IN_MORVEN.DAT", "vecchio");
    EXPECT_FALSE(SceltaChiamata(p, "01", &d));
    // A window left without an order makes no call, and the request already there is not lost.
    EXPECT_EQ(Leggi("IFCK05_IN_MORVEN.DAT"), "vecchio");
    EXPECT_EQ(Leggi("abort.dat"), "Scelta NomeGrossista :01\r\n");
    EXPECT_TRUE(t.msgbox.calls.empty());

    d.pht = [this](Programma&) { ReplaceFileAtomically(dir / "IFCK05_IN_MORVEN.DAT", "ordine"); };
    EXPECT_TRUE(SceltaChiamata(p, "01", &d));
}

TEST_F(CallDriverTest, MessageComposerOpensWhenTheSlotSendsMessages) {
    Slot(Riga("SendMes", "YES"));
    d.mes = [](Programma& q) { q.messaggio.sMes1 = "Buongiorno"; };
    EXPECT_TRUE(SceltaChiamata(p, "01", &d));
    EXPECT_EQ(d.aperti, 1);
    EXPECT_EQ(p.messaggio.sMes1, "Buongiorno");
}

// While the call runs (here: when the message composer opens, just before the session) the window shows the
// connection phase with the wholesaler's name and the slot's own start page; a slot without its own page
// shows the common one.
TEST_F(CallDriverTest, TheCallShowsTheConnectionPhaseAndTheSlotsStartPage) {
    fs::create_directories(dir / "HTML/03");
    ReplaceFileAtomically(dir / "HTML/03/index.htm", "<html>03</html>");
    ReplaceFileAtomically(dir / "HTML/index.htm", "<html>comune</html>");
    for (const std::string slot : {"03", "04"}) {
        SCOPED_TRACE(slot);
        Slot(Riga("SendMes", "YES"), slot);
        t.main.navigations.clear();
        t.main.SetVisible("LVWMancanti", true);
        t.main.SetVisible("PictureMenu(2)", true);
        bool visto = false;
        d.mes = [&](Programma&) {
            visto = true;
            EXPECT_EQ(t.main.Text("LblSpazioRosso"), "Collegamento");
            EXPECT_EQ(t.main.Text("LblSpazioGrigio"), "Grossista");
            EXPECT_TRUE(t.main.Visible("WebBrowser1"));
            EXPECT_FALSE(t.main.Visible("LVWMancanti"));
            EXPECT_FALSE(t.main.Visible("TreeView1"));
            EXPECT_FALSE(t.main.Visible("PictureMenu(0)"));
            EXPECT_TRUE(t.main.Visible("PictureMenu(1)"));
            EXPECT_FALSE(t.main.Visible("PictureMenu(2)"));
            ASSERT_EQ(t.main.navigations.size(), 1u);
            EXPECT_EQ(t.main.navigations[0].first, "WebBrowser1");
            EXPECT_EQ(t.main.navigations[0].second, dir / (slot == "03" ? "HTML/03/index.htm" : "HTML/index.htm"));
        };
        EXPECT_TRUE(SceltaChiamata(p, slot, &d));
        EXPECT_TRUE(visto);
    }
}

// A slot file as another program or an older installation left it: its name in small letters, no Interface
// line (an order slot). The call is made.
TEST_F(CallDriverTest, ASlotFileInSmallLettersWithoutAnInterfaceLineIsCalled) {
    ReplaceFileAtomically(dir / "mvnconn05.par", Riga("Connect", "Grossista") + Riga("Mode", "FTP"));
    EXPECT_TRUE(SceltaChiamata(p, "05", &d));
    // The call reached the wholesaler's FTP server (where the fake has no answer for it).
    EXPECT_NE(std::find(t.ftp.log.begin(), t.ftp.log.end(), "reset"), t.ftp.log.end());
    for (const auto& c : t.msgbox.calls) {
        EXPECT_EQ(c.prompt.find("Configurazione"), std::string::npos) << c.prompt;
        EXPECT_EQ(c.prompt.find("Interfaccia"), std::string::npos) << c.prompt;
    }
    EXPECT_EQ(p.impostazioni.nTipoInterfaccia, 1);
    EXPECT_EQ(t.main.Text("LblSpazioGrigio"), "Grossista");
}

TEST_F(CallDriverTest, RefusedCalls) {
    // No settings file for the slot: no call with the values another slot left.
    p.impostazioni.sConnect = "Altro grossista";
    EXPECT_FALSE(SceltaChiamata(p, "09", &d));
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].style, 48);
    EXPECT_EQ(t.end.calls, 0);
    EXPECT_TRUE(t.main.navigations.empty());  // refused before the window was laid out for a call
    // A batch run ends the program so that its caller sees the end marker.
    p.opzioni.bBlkRun = true;
    EXPECT_FALSE(SceltaChiamata(p, "09", &d));
    EXPECT_EQ(t.end.calls, 1);
    EXPECT_TRUE(Esiste("MorvenClient.end"));

    // An interface the program does not know has no answer layout.
    p.opzioni.bBlkRun = false;
    t.msgbox.calls.clear();
    Slot(Riga("Interface", "SCONOSCIUTA") + Riga("ModeIFCK", "NO"), "02");
    EXPECT_FALSE(SceltaChiamata(p, "02", &d));
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Interfaccia non gestita : SCONOSCIUTA");

    // A connection mode the program does not know: no line is guessed for it (the modem is not dialled).
    t.msgbox.calls.clear();
    ReplaceFileAtomically(dir / "MvnConn04.par", Riga("Connect", "Grossista") + Riga("Mode", "INTRENET"));
    EXPECT_FALSE(SceltaChiamata(p, "04", &d));
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Modo di collegamento non gestito : INTRENET");
    EXPECT_EQ(t.msgbox.calls[0].title, "Connessione con Grossista");
    EXPECT_EQ(t.msgbox.calls[0].style, 16);
    EXPECT_EQ(p.sessione.nPassoSessione, kPassoNessuno);  // no session step ran

    // Every other refusal of a batch run ends the program as well: the unknown interface, and a PHT order
    // window left without its order file (no message there).
    p.opzioni.bBlkRun = true;
    EXPECT_FALSE(SceltaChiamata(p, "02", &d));
    EXPECT_EQ(t.end.calls, 2);
    Slot(Riga("OrdinePht", "YES"), "03");
    EXPECT_FALSE(SceltaChiamata(p, "03", &d));
    EXPECT_EQ(t.end.calls, 3);
}

}  // namespace
}  // namespace morven
