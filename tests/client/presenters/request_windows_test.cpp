// The request windows' behaviour on a recording view: the document request's options and results, the
// message composer's splits, the PHT order window's three states, lists and keys, and when a batch run
// answers a request window by itself.
#include "client/presenters/pht_order_window.h"
#include "client/presenters/request_dialogs.h"

#include "client/engine/programma.h"
#include "client/engine/testing/test_program.h"
#include "client/presenters/keys.h"
#include "platform/core/files.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace morven {
namespace {

constexpr int kF2 = 113, kF4 = 115;

TEST(RequestWindows, BatchRunWithoutAScreenAnswersByItself) {
    struct Caso {
        bool batch;
        const char* piattaforma;
        bool schermo, atteso;
    };
    const Caso casi[] = {
        {true, "offscreen", true, true}, {true, "minimal", true, true}, {true, "xcb", false, true},
        {true, "xcb", true, false},      {false, "offscreen", true, false}, {false, "xcb", false, false},
    };
    for (const Caso& c : casi)
        EXPECT_EQ(RichiestaSenzaPersona(c.batch, c.piattaforma, c.schermo), c.atteso) << c.piattaforma << c.batch;
}

TEST(MessageComposer, Splits) {
    struct Caso {
        const char* testo;
        RigheMessaggio atteso;
    };
    const std::string cento(100, 'x');
    const std::string lungo = std::string(80, 'a') + std::string(80, 'b') + std::string(80, 'c') + "dd";
    const Caso casi[] = {
        {"AB\r\nCD", {"AB ", "CD", "", ""}},
        {"1\r\n2\r\n3\r\n4\r\n5", {"1 ", "2 ", "3 ", "4 "}},  // the fifth line is dropped
        {"uno\r\n", {"uno ", "", "", ""}},
        {"AB\nCD\rEF", {"AB ", "CD ", "EF", ""}},             // LF or CR alone break a line too
        {"AB\n\r\nCD", {"AB ", " ", "CD", ""}},               // LF then CR LF: an empty line between
        {cento.c_str(), {std::string(80, 'x'), std::string(20, 'x'), "", ""}},
        {lungo.c_str(), {std::string(80, 'a'), std::string(80, 'b'), std::string(80, 'c'), ""}},
    };
    for (const Caso& c : casi) {
        const auto m = DividiMessaggio(c.testo);
        ASSERT_TRUE(m.has_value()) << c.testo;
        EXPECT_EQ(m->sMes1, c.atteso.sMes1) << c.testo;
        EXPECT_EQ(m->sMes2, c.atteso.sMes2) << c.testo;
        EXPECT_EQ(m->sMes3, c.atteso.sMes3) << c.testo;
        EXPECT_EQ(m->sMes4, c.atteso.sMes4) << c.testo;
    }
    EXPECT_FALSE(DividiMessaggio("").has_value());
    EXPECT_FALSE(DividiMessaggio("    ").has_value());
}

struct WindowTest : ::testing::Test {
    testing::TempDir dir;
    TestProgram t{dir.path()};
    Programma& p = t.p;
    FakeView form;
    int chiusure = 0;

    bool Tasto(auto& eventi, int tasto, int shift = 0) {
        int k = tasto;
        return eventi.Gestisci_Tasto_Funzione(k, shift);
    }
};

TEST_F(WindowTest, MessageComposerKeepsOrReplacesTheLines) {
    EventiFrmMessaggio w(p, form, [this] { ++chiusure; });
    w.Form_Load();
    p.messaggio = {"vecchia", "", "", ""};
    form.SetText("Imessaggio", "   ");
    Tasto(w, kTastoF1);  // a blank text leaves the lines
    EXPECT_EQ(p.messaggio.sMes1, "vecchia");
    EXPECT_EQ(chiusure, 1);
    form.SetText("Imessaggio", "Consegna\r\nentro le 12");
    Tasto(w, kTastoF3);  // cancel leaves them too
    EXPECT_EQ(p.messaggio.sMes1, "vecchia");
    Tasto(w, kTastoF1, kBitShift);  // Shift+F1 is not F1
    EXPECT_EQ(chiusure, 2);
    form.SetEnabled("CmdConferma", false);
    Tasto(w, kTastoF1);  // a key acts only through a button that can be pressed
    EXPECT_EQ(chiusure, 2);
    form.SetEnabled("CmdConferma", true);
    Tasto(w, kTastoF1);
    EXPECT_EQ(p.messaggio.sMes1, "Consegna ");
    EXPECT_EQ(p.messaggio.sMes2, "entro le 12");
    EXPECT_EQ(chiusure, 3);
}

TEST_F(WindowTest, DocumentRequestOpensOnThePriceList) {
    EventiFrmRicDocumenti w(p, form, [this] { ++chiusure; });
    w.Form_Load();
    EXPECT_EQ(form.Value("OptListino"), -1);
    for (const char* c : {"TxtNumeroOrdine", "TxtSiglaDocumento", "TxtNumeroDocumento", "DTDataDocumento"})
        EXPECT_FALSE(form.Enabled(c)) << c;
    EXPECT_EQ(form.controls["TxtNumeroOrdine"].backColor, 0x80000000u);
    EXPECT_EQ(form.Text("DTDataDocumento"), "10/12/2026");
    Tasto(w, kTastoF1);
    EXPECT_TRUE(p.richiesta.bRichListino);
    EXPECT_FALSE(p.impostazioni.bRichDocs);
    EXPECT_EQ(p.richiesta.sTipoListino, "C");
    EXPECT_EQ(chiusure, 1);
}

TEST_F(WindowTest, DocumentRequestOptions) {
    struct Caso {
        const char* opzione;
        bool ordine, documento;
        bool docs, listino, trattati;
        const char* tipoDocumento;
    };
    const Caso casi[] = {
        {"OptDDt", true, true, true, false, false, "1"},
        {"OptFatture", true, true, true, false, false, "2"},
        {"OptDDtFatture", false, true, true, true, false, "0"},  // the price list asked before stays
        {"OptListino", false, false, false, true, false, ""},
        {"OptTrattatiPHT", false, false, false, false, true, ""},
    };
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.opzione);
        p.richiesta = {};
        p.richiesta.bRichListino = true;
        p.impostazioni.bRichDocs = false;
        EventiFrmRicDocumenti w(p, form, [this] { ++chiusure; });
        w.Form_Load();
        form.SetText("TxtNumeroOrdine", "vecchio");
        w.Opzione_Click(c.opzione);
        EXPECT_EQ(form.Text("TxtNumeroOrdine"), "");  // choosing an option empties the fields
        EXPECT_EQ(form.Enabled("TxtNumeroOrdine"), c.ordine);
        EXPECT_EQ(form.Enabled("TxtSiglaDocumento"), c.documento);
        EXPECT_EQ(form.Enabled("TxtNumeroDocumento"), c.documento);
        EXPECT_EQ(form.Enabled("DTDataDocumento"), c.documento);
        EXPECT_EQ(form.controls["TxtSiglaDocumento"].backColor, c.documento ? 0xFFFFFFu : 0x80000000u);
        if (c.ordine) form.SetText("TxtNumeroOrdine", "  123 ");
        if (c.documento) {
            form.SetText("TxtSiglaDocumento", " A1");
            form.SetText("TxtNumeroDocumento", "4567 ");
            form.SetText("DTDataDocumento", "05/03/2026");
        }
        w.CmdConferma_Click();
        EXPECT_EQ(p.impostazioni.bRichDocs, c.docs);
        EXPECT_EQ(p.richiesta.bRichListino, c.listino);
        EXPECT_EQ(p.richiesta.bRichTrattatiPht, c.trattati);
        EXPECT_EQ(p.richiesta.sTipoDocumento, c.tipoDocumento);
        EXPECT_EQ(p.richiesta.sNumeroOrdine, c.ordine ? "123" : "");
        EXPECT_EQ(p.richiesta.sSiglaDocumento, c.documento ? "A1" : "");
        EXPECT_EQ(p.richiesta.sNumeroDocumento, c.documento ? "4567" : "");
    }
    // Cancelling clears every request flag: the call driver then ends the call.
    EventiFrmRicDocumenti w(p, form, [this] { ++chiusure; });
    w.Form_Load();
    Tasto(w, kTastoF3);
    EXPECT_FALSE(p.impostazioni.bRichDocs || p.richiesta.bRichListino || p.richiesta.bRichTrattatiPht ||
                 p.richiesta.bRichAltro);
    const int prima = chiusure;
    Tasto(w, kTastoF1, kBitCtrl);
    Tasto(w, kTastoF10);
    EXPECT_EQ(chiusure, prima);
}

struct PhtWindowTest : WindowTest {
    std::unique_ptr<EventiFrmOrdinePht> w;
    std::vector<std::string> fuochi;

    void SetUp() override {
        const std::string sorgente = std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/pht/PHT";
        std::filesystem::copy(sorgente, dir / "PHT", std::filesystem::copy_options::recursive);
        p.percorsi.sFileImpostazioni = dir / "MvnConn03.par";
        p.opzioni.sFileIFCKIn = "IFCK05_IN_MORVEN.DAT";
        p.impostazioni.sCodiceCliente = "12345";
        CollegamentiFrmOrdinePht c;
        c.Chiudi = [this] { ++chiusure; };
        c.Fuoco = [this](std::string_view n) { fuochi.emplace_back(n); };
        w = std::make_unique<EventiFrmOrdinePht>(p, form, std::move(c));
        w->Form_Load();
    }
    bool Tasto(int tasto, int shift = 0) { return WindowTest::Tasto(*w, tasto, shift); }
    // Searches `codice`, picks the first product and enters the quantity and prescription.
    void Riga(const std::string& codice, const std::string& qta, const std::string& p1 = "",
              const std::string& p2 = "") {
        form.SetText("TxtCodice", codice);
        Tasto(kF2);
        w->LvWProdotti_DblClick(0);
        Tasto(kTastoF1);
        form.SetText("TxtQta", qta);
        form.SetText("TxtRicettaParte1", p1);
        form.SetText("TxtRicettaParte2", p2);
        Tasto(kTastoF1);
    }
    std::size_t Righe() { return form.List("LvwOrdinePht").items.size(); }
    std::string Richiesta() const { return dir / "IFCK05_IN_MORVEN.DAT"; }
};

TEST_F(PhtWindowTest, OpensInCodeEntry) {
    EXPECT_EQ(p.percorsi.sFilePht, dir / "PHT/MvnConn03/pht.dat");
    EXPECT_FALSE(form.Visible("FrameRicerca"));
    EXPECT_TRUE(form.Enabled("TxtCodice"));
    EXPECT_FALSE(form.Enabled("TxtQta"));
    EXPECT_EQ(form.Text("TxtQta"), "1");
    EXPECT_FALSE(form.Enabled("CmdEmettiOrdine"));
    EXPECT_EQ(form.List("LvwOrdinePht").columns.size(), 6u);
    EXPECT_EQ(fuochi.back(), "TxtCodice");
}

TEST_F(PhtWindowTest, SearchPickAndEnterARow) {
    form.SetText("TxtCodice", "00000b");  // Code 32 in lower case: searched as 000000010
    w->TxtRicerca_KeyPress(13);
    ASSERT_TRUE(w->Ricerca());
    ASSERT_EQ(form.List("LvWProdotti").items.size(), 1u);
    EXPECT_FALSE(form.Enabled("CmdRicConferma"));  // a product must be picked first
    Tasto(kF2);  // F2 while searching does nothing
    Tasto(kTastoF1);
    EXPECT_TRUE(w->Ricerca());
    w->LvWProdotti_DblClick(5);  // no such row: nothing picked
    EXPECT_EQ(w->RigaProdotto(), -1);
    w->LvWProdotti_DblClick(0);
    EXPECT_EQ(w->RigaProdotto(), 0);
    Tasto(kTastoF1);  // takes the product
    EXPECT_FALSE(w->Ricerca());
    EXPECT_EQ(form.Text("TxtCodice"), "000000010    ");
    EXPECT_FALSE(form.Enabled("TxtCodice"));
    EXPECT_TRUE(form.Enabled("TxtQta"));
    EXPECT_EQ(fuochi.back(), "TxtQta");

    // Entered values that do not fit are refused with a message, not cut on writing.
    form.SetText("TxtQta", "123456");
    Tasto(kTastoF1);
    EXPECT_EQ(Righe(), 0u);
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].title, "Emissione Ordine PHT");
    form.SetText("TxtQta", " 2 ");
    form.SetText("TxtRicettaParte1", "RIC1234567");
    form.SetText("TxtRicettaParte2", "LAZ01");
    Tasto(kTastoF1);
    ASSERT_EQ(Righe(), 1u);
    EXPECT_EQ(form.List("LvwOrdinePht").items[0].texts[2], "2");
    EXPECT_TRUE(form.Enabled("CmdEmettiOrdine"));
    EXPECT_TRUE(form.Enabled("TxtCodice"));
    EXPECT_EQ(form.Text("TxtQta"), "1");
}

TEST_F(PhtWindowTest, BothFieldsEmptyListsEveryProductAndCancelLeavesTheSearch) {
    Tasto(kF2);
    EXPECT_EQ(form.List("LvWProdotti").items.size(), 5u);
    form.List("LvWProdotti").selected = 2;  // selected without a double-click: the take button stays off
    Tasto(kTastoF1);
    EXPECT_TRUE(w->Ricerca());
    w->CmdRicConferma_Click();  // the handler itself takes the selected row
    EXPECT_EQ(form.Text("TxtCodice"), "987654321    ");
    Tasto(kTastoF3);  // reset
    Tasto(kF2);
    Tasto(kTastoF3);  // while searching: leaves the search
    EXPECT_FALSE(w->Ricerca());
    EXPECT_TRUE(form.Enabled("TxtCodice"));
    EXPECT_EQ(form.Text("TxtCodice"), "");
}

TEST_F(PhtWindowTest, EditDeleteAndReset) {
    Riga("000000010", "2");
    Riga("012345678", "3");
    ASSERT_EQ(Righe(), 2u);
    Tasto(kF4);  // no row under edit: nothing to delete
    EXPECT_EQ(Righe(), 2u);
    w->LvwOrdinePht_DblClick(1);
    EXPECT_EQ(form.Text("TxtQta"), "3");
    EXPECT_FALSE(form.Enabled("TxtCodice"));
    form.SetText("TxtQta", "30");
    Tasto(kTastoF1);
    EXPECT_EQ(form.List("LvwOrdinePht").items[1].texts[2], "30");
    EXPECT_EQ(w->RigaOrdine(), -1);

    // A reset clears the row under edit: a later confirm changes nothing and F4 deletes nothing.
    w->LvwOrdinePht_DblClick(0);
    Tasto(kTastoF3);
    EXPECT_EQ(w->RigaOrdine(), -1);
    Tasto(kTastoF1);
    Tasto(kF4);
    EXPECT_EQ(Righe(), 2u);
    EXPECT_EQ(form.List("LvwOrdinePht").items[0].texts[2], "2");

    // Each list keeps its own row: picking a product does not move the row under edit.
    w->LvwOrdinePht_DblClick(0);
    Tasto(kF4);
    ASSERT_EQ(Righe(), 1u);
    EXPECT_EQ(form.List("LvwOrdinePht").items[0].texts[0], "012345678    ");
    w->LvwOrdinePht_DblClick(0);
    Tasto(kF4);
    EXPECT_EQ(Righe(), 0u);
    EXPECT_FALSE(form.Enabled("CmdEmettiOrdine"));  // disabled again after the last row went
}

TEST_F(PhtWindowTest, EmitWritesTheOrderAndCloses) {
    ReplaceFileAtomically(Richiesta(), "consegnata con /FILEIN:");
    Tasto(kTastoF1, kBitCtrl);  // empty order: the button is disabled, nothing is written
    EXPECT_EQ(chiusure, 0);
    EXPECT_FALSE(w->Emesso());
    Riga("000000010", "2", "RIC1234567", "LAZ01");
    Riga("eritropoietina", "99999", "R1");
    p.impostazioni.nTipoRichiesta = 1;
    p.impostazioni.bOpzioneTestata1 = p.impostazioni.bOpzioneTestata3 = true;
    p.impostazioni.bAllineaCol = p.impostazioni.bConsDiffer = true;
    Tasto(kTastoF1, kBitCtrl);
    EXPECT_TRUE(w->Emesso());
    EXPECT_EQ(chiusure, 1);
    std::string scritto, atteso;
    ReadWholeFile(Richiesta(), scritto);
    ReadWholeFile(std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/requests/IFCK05_IN_MORVEN.DAT", atteso);
    EXPECT_EQ(scritto, atteso);
}

TEST_F(PhtWindowTest, ExitAsksAndDefaultsToNo) {
    Riga("000000010", "2");
    Tasto(kTastoF10);  // the script is empty: the default button, No
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Confermi Uscita");
    EXPECT_EQ(t.msgbox.calls[0].style, 276);
    EXPECT_EQ(chiusure, 0);
    t.msgbox.answers.push_back(vbYes);
    Tasto(kTastoF10);
    EXPECT_EQ(chiusure, 1);
    EXPECT_FALSE(w->Emesso());
    EXPECT_FALSE(FileExists(Richiesta()));
}

}  // namespace
}  // namespace morven
