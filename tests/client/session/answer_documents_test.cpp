#include "client/session/answer_documents.h"

#include <gtest/gtest.h>

#include "tests/client/session/answer_test_support.h"

namespace morven {
namespace {

using test::Fixture;
using test::LeggiTutto;
using test::LogRegistrato;

std::vector<std::string> Testi(const ModelloDocumenti& m, const std::vector<std::size_t>& indici) {
    std::vector<std::string> out;
    for (auto i : indici) out.push_back(m.nodi[i].testo);
    return out;
}

std::string Pad(std::string_view s, std::size_t n) {
    std::string out(s);
    out.resize(n, ' ');
    return out;
}

class DocumentsTree : public ::testing::Test {
protected:
    void SetUp() override { m = DisplayDocumenti(Fixture("IFCK03_OUT_MORVEN.DAT"), log.Sink()); }
    // The single child of `genitore` whose text begins with `testo`.
    std::size_t Figlio(std::optional<std::size_t> genitore, std::string_view testo) const {
        std::size_t trovato = m.nodi.size();
        for (auto i : m.Figli(genitore)) {
            if (m.nodi[i].testo.rfind(testo, 0) == 0) {
                EXPECT_EQ(trovato, m.nodi.size()) << "more than one " << testo;
                trovato = i;
            }
        }
        EXPECT_LT(trovato, m.nodi.size()) << "no " << testo;
        return trovato;
    }
    LogRegistrato log;
    ModelloDocumenti m;
};

TEST_F(DocumentsTree, OneBranchPerDocumentWithEveryKind) {
    ASSERT_TRUE(m.riuscito);
    EXPECT_TRUE(m.modificaManuale);
    EXPECT_TRUE(m.lineeDallaRadice);
    EXPECT_EQ(Testi(m, m.Figli(std::nullopt)), (std::vector<std::string>{
                                                   "Ddt          A10000001234 15/12/2006",
                                                   "Fattura Acc. B20000000055 20/12/2006",
                                                   "Fattura      C30000000077 31/12/2006",
                                                   "Nota Credito D40000000088 05/01/2007",
                                                   "Nota Debito  E50000000099 ",
                                                   "Documento    F60000000011 10/01/2007",
                                                   "Ddt          A10000001234 16/12/2006",
                                               }));
    for (auto radice : m.Figli(std::nullopt)) {
        EXPECT_EQ(Testi(m, m.Figli(radice)),
                  (std::vector<std::string>{"Riferimenti Contabili", "Riferimenti Ordini"}));
    }
}

TEST_F(DocumentsTree, DetailLinesOrdersAndRows) {
    const std::size_t ddt = m.Figli(std::nullopt)[0];
    EXPECT_EQ(m.nodi[ddt].chiave, "1A10000001234");
    const std::size_t contabili = Figlio(ddt, "Riferimenti Contabili");
    const std::size_t ordini = Figlio(ddt, "Riferimenti Ordini");
    EXPECT_EQ(m.nodi[contabili].chiave, "1A10000001234_CONTABILI");
    EXPECT_EQ(m.nodi[ordini].chiave, "1A10000001234_ORDINI");
    EXPECT_EQ(Testi(m, m.Figli(contabili)), (std::vector<std::string>{
                                                "Tipo Documento         :Ddt         ",
                                                "Sigla Documento        :A1",
                                                "Numero Documento       :0000001234",
                                                "Data Documento         :15/12/2006",
                                                "Importo Documento      :122,0000",
                                                "Importo Netto Merce    :100,0000",
                                                "Importo Netto a Pagare :122,0000",
                                                "Importo Spese Varie    :",
                                                "Modalit\xE0 Pagamento     :" + Pad("RIMESSA DIRETTA 30GG", 30),
                                            }));
    for (auto d : m.Figli(contabili)) EXPECT_EQ(m.nodi[d].chiave, "");

    EXPECT_EQ(Testi(m, m.Figli(ordini)),
              (std::vector<std::string>{"Ordine Grossista Numero:" + Pad("ORD0001", 20),
                                        "Ordine Grossista Numero:" + Pad("ORD0002", 20)}));
    const std::size_t primo = m.Figli(ordini)[0];
    EXPECT_EQ(m.nodi[primo].chiave, "1A10000001234_ORDINI" + Pad("ORD0001", 20));
    EXPECT_EQ(Testi(m, m.Figli(primo)), (std::vector<std::string>{
                                            "Importo Netto Merce    :100,0000",
                                            "7     " + Pad("ASPIRINA 500MG 20CPR", 28) + " 5,0000",
                                            "12345 " + Pad("BENTELAN 1MG 10CPR", 28) + " 81,2345",
                                        }));
    const std::size_t secondo = m.Figli(ordini)[1];
    EXPECT_EQ(Testi(m, m.Figli(secondo)), (std::vector<std::string>{
                                              "Importo Netto Merce    :20,0000",
                                              "10    " + Pad("GARZE STERILI", 28) + " 2,0000",
                                          }));
}

TEST_F(DocumentsTree, EmptyBranchesAndEmptyAmounts) {
    const auto radici = m.Figli(std::nullopt);
    // A document without orders keeps an empty "Riferimenti Ordini"; the row after it had no order.
    EXPECT_TRUE(m.Figli(Figlio(radici[1], "Riferimenti Ordini")).empty());
    EXPECT_EQ(m.nodi[m.Figli(Figlio(radici[1], "Riferimenti Contabili"))[7]].testo, "Importo Spese Varie    :1,2500");
    EXPECT_TRUE(m.Figli(Figlio(radici[3], "Riferimenti Ordini")).empty());
    // Zero and blank amounts show the labels with nothing after them.
    for (auto doc : {radici[2], radici[4]}) {
        const auto dettagli = m.Figli(Figlio(doc, "Riferimenti Contabili"));
        ASSERT_EQ(dettagli.size(), 9u);
        for (std::size_t k = 4; k < 8; ++k) EXPECT_EQ(m.nodi[dettagli[k]].testo.size(), 24u) << k;
    }
    EXPECT_EQ(m.nodi[m.Figli(Figlio(radici[4], "Riferimenti Contabili"))[3]].testo, "Data Documento         :");
}

TEST_F(DocumentsTree, RepeatsAreShownAndOrphansSkipped) {
    const auto radici = m.Figli(std::nullopt);
    // The repeated document is a second branch without keys of its own; its order hangs under it.
    const std::size_t ripetuto = radici[6];
    EXPECT_EQ(m.nodi[ripetuto].chiave, "");
    for (auto figlio : m.Figli(ripetuto)) EXPECT_EQ(m.nodi[figlio].chiave, "");
    const auto ordiniRipetuti = m.Figli(Figlio(ripetuto, "Riferimenti Ordini"));
    ASSERT_EQ(ordiniRipetuti.size(), 1u);
    EXPECT_EQ(m.nodi[ordiniRipetuti[0]].chiave, "");
    EXPECT_EQ(Testi(m, m.Figli(ordiniRipetuti[0])).back(), "1     " + Pad("ASPIRINA RIPETUTA", 28) + " 5,0000");
    EXPECT_EQ(m.NodoPerChiave("1A10000001234"), &m.nodi[radici[0]]);

    // The order listed twice in one document: both shown, the second without key.
    const auto ordiniFattura = m.Figli(Figlio(radici[2], "Riferimenti Ordini"));
    ASSERT_EQ(ordiniFattura.size(), 2u);
    EXPECT_EQ(m.nodi[ordiniFattura[0]].chiave, "3C30000000077_ORDINI" + Pad("ORD0003", 20));
    EXPECT_EQ(m.nodi[ordiniFattura[1]].chiave, "");

    // Rows before any order, the order before any document and its row are nowhere in the tree.
    for (const auto& n : m.nodi) {
        EXPECT_EQ(n.testo.find("SENZA"), std::string::npos) << n.testo;
        EXPECT_EQ(n.testo.find("PRIMA DI OGNI"), std::string::npos) << n.testo;
        EXPECT_EQ(n.testo.find("DOPO R"), std::string::npos) << n.testo;
    }
    EXPECT_EQ(m.nodi.size(), 98u);
    // Three orphans, one row after a document without order, two repeated keys.
    EXPECT_EQ(log.Conta("DisplayDocumenti :"), 6u);
    EXPECT_EQ(log.Conta("VerificaData :"), 1u);
    EXPECT_EQ(log.Conta("CalcolaPrezzoSingolo :"), 4u);
    EXPECT_EQ(log.righe.size(), 11u);
}

TEST(DocumentKinds, TwelveCharacterTexts) {
    const std::pair<std::string_view, std::string_view> casi[] = {
        {"1", "Ddt         "}, {"2", "Fattura Acc."}, {"3", "Fattura     "}, {"4", "Nota Credito"},
        {"5", "Nota Debito "}, {"9", "Documento   "}, {"", "Documento   "},  {"A", "Documento   "},
    };
    for (const auto& [codice, testo] : casi) {
        EXPECT_EQ(TestoTipoDocumento(codice), testo) << codice;
        EXPECT_EQ(TestoTipoDocumento(codice).size(), 12u);
    }
}

TEST(DocumentsFailures, MissingOversizedAndEmptyFiles) {
    test::CartellaTemporanea cartella;
    LogRegistrato mancante;
    const ModelloDocumenti m = DisplayDocumenti(cartella / "IFCK03_OUT_MORVEN.DAT", mancante.Sink());
    EXPECT_FALSE(m.riuscito);
    EXPECT_TRUE(m.nodi.empty());
    EXPECT_EQ(mancante.Conta("DisplayDocumenti :"), 1u);

    const std::string dati = LeggiTutto(Fixture("IFCK03_OUT_MORVEN.DAT"));
    test::Scrivi(cartella / "grande.DAT", dati);
    LogRegistrato oltre;
    const ModelloDocumenti g = DisplayDocumenti(cartella / "grande.DAT", oltre.Sink(), dati.size() - 1);
    EXPECT_FALSE(g.riuscito);
    EXPECT_TRUE(g.nodi.empty());
    ASSERT_EQ(oltre.righe.size(), 1u);
    EXPECT_NE(oltre.righe[0].find("limite"), std::string::npos);

    LogRegistrato vuoto;
    EXPECT_FALSE(ModelloDocumentiDaTesto("", vuoto.Sink()).riuscito);
    EXPECT_EQ(vuoto.Conta("DisplayDocumenti :"), 1u);
    // A header and nothing else is a documents answer with no documents.
    EXPECT_TRUE(ModelloDocumentiDaTesto("T000\r\n", {}).riuscito);
}

TEST(Messages, ClosingLineMessageAndNews) {
    const ModelloMessaggi m = DisplayMessaggi(Fixture("app_messages"), "Grossista Test", {});
    EXPECT_TRUE(m.riuscito);
    EXPECT_EQ(m.testo,
              "Trasmissione Terminata Correttamente \r\n\r\n"
              "Messaggio da Grossista Test\r\n"
              "Messaggio da :CLIENTE01\r\n"
              "Data:10/12/2026 Time:10:15:00\r\n"
              "Chiusura magazzino il 24 dicembre.\r\n"
              "Elenco News da Grossista Test\r\n"
              "listino_gennaio.txt\r\n"
              "promozioni.txt\r\n");
}

TEST(Messages, SectionsOnlyForFilesThatExist) {
    test::CartellaTemporanea app;
    LogRegistrato log;
    EXPECT_EQ(DisplayMessaggi(*app, "G", log.Sink()).testo, "Trasmissione Terminata Correttamente \r\n\r\n");
    test::Scrivi(app / "news" / "eaggdati", "uno.txt\r\n");
    const ModelloMessaggi soloNews = DisplayMessaggi(*app, "G", log.Sink());
    EXPECT_TRUE(soloNews.riuscito);
    EXPECT_EQ(soloNews.testo, "Trasmissione Terminata Correttamente \r\n\r\nElenco News da G\r\nuno.txt\r\n");
    EXPECT_TRUE(log.righe.empty());

    // A message file past the limit is reported and not shown; the closing line stays.
    test::Scrivi(app / "MSGRX.TXT", std::string(64, 'm') + "\r\n");
    const ModelloMessaggi troppo = DisplayMessaggi(*app, "G", log.Sink(), 32);
    EXPECT_FALSE(troppo.riuscito);
    EXPECT_EQ(troppo.testo, "Trasmissione Terminata Correttamente \r\n\r\n");
    EXPECT_EQ(log.Conta("DisplayMessaggi :"), 1u);
}

}  // namespace
}  // namespace morven
