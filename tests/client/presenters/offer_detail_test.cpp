// The offer detail dialog on a recording view: the texts it shows for the products of the availability
// fixture, a missing answer, the quantity box with its buttons and keys, and a changed quantity travelling
// from the dialog through the answer list into the order that a confirm writes.
#include "client/presenters/offer_detail.h"

#include "client/engine/testing/test_program.h"
#include "client/session/answer_file.h"
#include "client/session/layout.h"
#include "client/presenters/main_window.h"
#include "platform/core/files.h"
#include "tests/client/session/answer_test_support.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace morven {
namespace {

struct OfferDetail : ::testing::Test {
    morven::testing::TempDir dir;
    TestProgram t{dir.path()};
    Programma& p = t.p;
    FakeView form;
    DettaglioOfferta d{p, form};

    OfferDetail() {
        std::filesystem::copy_file(test::Fixture("IFCK01_OUT_MORVEN.DAT"), dir / "IFCK01_OUT_MORVEN.DAT");
    }
    std::string LogFunzioni() {
        std::string s;
        ReadWholeFile(dir / "MorvenClient.log", s);
        return s;
    }
    bool Prepara(std::string_view codice, int quantita, std::string_view file = "IFCK01_OUT_MORVEN.DAT") {
        return d.Prepara(codice, dir / std::string(file), quantita);
    }
    // How many grid columns have any text.
    int ColonneRiempite() {
        int n = 0;
        for (int i = 0; i < kColonneGrigliaOfferta; ++i) n += form.Text(ControlId("LblValidita", i)).empty() ? 0 : 1;
        return n;
    }
};

TEST_F(OfferDetail, ProductFieldsAndOfferGridFromTheAnswer) {
    // The name is looked up without regard to case, as the answer may come with either.
    ASSERT_TRUE(Prepara("900000003", 10, "ifck01_out_morven.dat"));
    EXPECT_EQ(form.Text("LblCodiceProdotto"), "900000003");
    EXPECT_EQ(form.Text("LblDescrizioneProdotto"), "TACHIPIRINA 500MG 20CPR                 ");
    EXPECT_EQ(form.Text("LblSituazioneProdotto"), "Disponibile");
    EXPECT_EQ(form.Text("LblAliquota"), "10");
    EXPECT_EQ(form.Text("LblPrezzoPubblico"), "121,0000");
    EXPECT_EQ(form.Text("LblPrezzoDeivato"), "110,0000");
    EXPECT_EQ(form.Text("LblPrezzoNetto"), "10,0000");  // 100 for the 10 delivered
    EXPECT_EQ(form.Text("LblScontoNetto"), "90,91%");
    EXPECT_EQ(form.Text("LblScontoLOrdo"), "91,74%");
    EXPECT_EQ(form.Text("TxtQtaRichiesta"), "10");

    // First condition: valid to 30/01/2007, from 1 to 10 pieces, 10 assigned for 90 (9 each, 91,82% below
    // the price without VAT), one piece of another product free, direct remittance at 30 days.
    const std::pair<std::string_view, std::string_view> prima[] = {
        {"LblValidita", "30/01/2007 "},
        {"LblQtaMinima", "1 "},
        {"LblQtaDaA", "1 / 10 "},
        {"LblQtaAssegnata", "10 "},
        {"LblQtaOmaggio", "0 "},
        {"LblPrezzoUnitario", "9,0000 / 91,82% "},
        {"LblAltroOmaggio", "OMAGGIO 1                    "},
        {"LblQtaAltroOmaggio", "1 "},
        {"LblPagamento", "RIMESSA DIRETTA 30 GG          "},
        {"LblQtaMaxAssegnabile", ""},
    };
    for (const auto& [riga, testo] : prima) EXPECT_EQ(form.Text(ControlId(riga, 0)), testo) << riga;
    EXPECT_EQ(form.Text("LblValidita(1)"), "31/01/2007 ");
    EXPECT_EQ(form.Text("LblQtaDaA(2)"), "3 / 30 ");
    EXPECT_EQ(ColonneRiempite(), 3);
    for (std::string_view c : kCampiFondoOfferta) EXPECT_EQ(form.Text(c), "") << c;
    EXPECT_EQ(LogFunzioni(), "");
}

TEST_F(OfferDetail, ProductsWithoutOffersUnavailableOrWithTooManyOffers) {
    struct Caso {
        std::string_view codice;
        std::string_view situazione;
        int colonne;
        bool logScarto;
    };
    const Caso casi[] = {
        {"600000007", "Sospeso/Revocato    ", 0, false},  // no "O" records: an empty grid
        {"600000008", "Consegna parziale   ", 1, false},  // state "*": the reason, not "Disponibile"
        {"700000006", "Disponibile", 5, true},             // a sixth condition: logged, never past the grid
    };
    for (const Caso& c : casi) {
        std::filesystem::remove(dir / "MorvenClient.log");
        // A product shown before leaves nothing behind.
        ASSERT_TRUE(Prepara("900000003", 1));
        ASSERT_TRUE(Prepara(c.codice, 1)) << c.codice;
        EXPECT_EQ(form.Text("LblSituazioneProdotto"), c.situazione) << c.codice;
        EXPECT_EQ(ColonneRiempite(), c.colonne) << c.codice;
        EXPECT_EQ(LogFunzioni().find("ImpostaForm :") != std::string::npos, c.logScarto) << c.codice;
    }
    EXPECT_FALSE(form.Has("LblValidita(5)"));
}

TEST_F(OfferDetail, MissingAnswerFileShowsNothingAndKeepsTheQuantity) {
    form.SetText("LblDescrizioneProdotto", "PRIMA");
    EXPECT_FALSE(Prepara("900000003", 10, "IFCK01_OUT_ALTRO.DAT"));
    EXPECT_NE(LogFunzioni().find("ImpostaForm :File non trovato"), std::string::npos);
    EXPECT_EQ(form.Text("LblDescrizioneProdotto"), "");
    EXPECT_EQ(d.nTmpQta, 0);
}

TEST_F(OfferDetail, QuantityBoxButtonsAndKeys) {
    struct Caso {
        const char* nome;
        int tasto;
        int shift;
        std::string_view scritto;
        bool chiude;
        int scelta;
        std::string_view casella;  // the box afterwards
        bool avviso;               // the refusal message
    };
    const Caso casi[] = {
        {"F1 takes the box", 112, 0, "7", true, 7, "7", false},
        {"F1 with blanks", 112, 0, " 42 ", true, 42, " 42 ", false},
        {"F1 zero", 112, 0, "0", true, 0, "0", false},
        {"F1 highest", 112, 0, "9999", true, 9999, "9999", false},
        {"F1 too large", 112, 0, "10000", false, 10, "10000", true},
        {"F1 16-bit overflow", 112, 0, "70000", false, 10, "70000", true},
        {"F1 negative", 112, 0, "-1", false, 10, "-1", true},
        {"F1 not a number", 112, 0, "7a", false, 10, "7a", true},
        {"F1 empty", 112, 0, "", false, 10, "", true},
        {"F3 restores and stays", 114, 0, "7", false, 10, "10", false},
        {"F10 leaves with the passed", 121, 0, "7", true, 10, "7", false},
        {"Shift+F1", 112, 1, "7", false, 10, "7", false},
        {"Ctrl+F1", 112, 2, "7", false, 10, "7", false},
        {"Alt+F10", 121, 4, "7", false, 10, "7", false},
        {"F2", 113, 0, "7", false, 10, "7", false},
        {"F5", 116, 0, "7", false, 10, "7", false},
    };
    for (const Caso& c : casi) {
        ASSERT_TRUE(Prepara("900000003", 10));
        t.msgbox.calls.clear();
        form.SetText("TxtQtaRichiesta", c.scritto);
        int tasto = c.tasto;
        bool chiudi = true;
        EXPECT_TRUE(d.Gestisci_Tasto_Funzione(tasto, c.shift, chiudi)) << c.nome;
        EXPECT_EQ(tasto, c.tasto + (c.shift & 1 ? 1000 : 0) + (c.shift & 2 ? 2000 : 0) + (c.shift & 4 ? 3000 : 0));
        EXPECT_EQ(chiudi, c.chiude) << c.nome;
        EXPECT_EQ(d.nTmpQta, c.scelta) << c.nome;
        EXPECT_EQ(form.Text("TxtQtaRichiesta"), c.casella) << c.nome;
        ASSERT_EQ(t.msgbox.calls.size(), c.avviso ? 1u : 0u) << c.nome;
        if (c.avviso) {
            EXPECT_EQ(t.msgbox.calls[0].prompt, "Quantita' non valida\r\nIndicare un numero da 0 a 9999.");
            EXPECT_EQ(t.msgbox.calls[0].owner, &form);
        }
    }
    // A quantity of 0 passed in shows "0".
    ASSERT_TRUE(Prepara("900000003", 0));
    EXPECT_EQ(form.Text("TxtQtaRichiesta"), "0");
}

// The main window's double-click runs the dialog; the quantity confirmed there is what the confirm of the
// availability answer hands to the order writer.
TEST_F(OfferDetail, ChangedQuantityReachesTheConfirmedOrder) {
    struct Risposte : VistaRisposte {
        void MostraLista(const ModelloLista&) override {}
        int RigaSelezionata() const override { return 0; }
        void MostraDocumenti(const ModelloDocumenti&) override {}
    } risposte;
    p.impostazioni.bModeIFCK = true;
    p.impostazioni.bDisponibilita = true;
    p.opzioni.sFileIFCKIn = "IFCK01_IN_MORVEN.DAT";
    p.opzioni.sFileIFCKOut = "IFCK01_OUT_MORVEN.DAT";
    CollegamentiFrmMorven c;
    std::string digitato;
    c.DettaglioOfferta = [&](const std::string& codice, const std::string& file, int q) {
        FakeView finestra;
        DettaglioOfferta dialogo(p, finestra);
        if (!dialogo.Prepara(codice, file, q)) return q;
        finestra.SetText("TxtQtaRichiesta", digitato);
        int f1 = 112;
        bool chiudi = false;
        dialogo.Gestisci_Tasto_Funzione(f1, 0, chiudi);
        EXPECT_TRUE(chiudi);
        return dialogo.nTmpQta;
    };
    ModelloLista ordinata;
    c.CreaOrdine = [&](Programma&, const ModelloLista& l) {
        ordinata = l;
        return true;
    };
    EventiFrmMorven f(p, t.main, risposte, c);
    ASSERT_TRUE(f.MostraRispostaMancanti());
    const RigaLista prima = f.Lista().righe[0];
    digitato = "7";
    f.LVWMancanti_DblClick();
    EXPECT_EQ(f.Lista().righe[0].testi[3], "00007");

    f.CmdConferma_Click();
    ASSERT_EQ(ordinata.righe.size(), f.Lista().righe.size());
    EXPECT_EQ(ordinata.righe[0].testi[1], prima.testi[1]);
    EXPECT_EQ(ordinata.righe[0].testi[3], "00007");
    for (std::size_t i = 1; i < ordinata.righe.size(); ++i) EXPECT_EQ(ordinata.righe[i].testi, f.Lista().righe[i].testi);
}

}  // namespace
}  // namespace morven
