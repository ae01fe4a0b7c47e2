#include "client/session/answer_lists.h"

#include <gtest/gtest.h>

#include "platform/core/text.h"
#include "tests/client/session/answer_test_support.h"

namespace morven {
namespace {

using test::Fixture;
using test::LeggiTutto;
using test::LogRegistrato;

std::vector<std::string> Intestazioni(const ModelloLista& m) {
    std::vector<std::string> out;
    for (const auto& c : m.colonne) out.push_back(c.intestazione);
    return out;
}

const std::vector<std::string> kColonneOrdine = {"Codice", "Descrizione", "Rich.",      "Manc.",
                                                 "Cons.",  "Prezzo",      "Data Disp.", "Nota"};

std::string Pad(std::string_view s, std::size_t n) {
    std::string out(s);
    out.resize(n, ' ');
    return out;
}

// The row's colour: every cell of a filled row carries the same one.
std::optional<std::uint32_t> ColoreRiga(const RigaLista& r) {
    EXPECT_EQ(r.colori.size(), r.testi.size());
    for (const auto& c : r.colori) EXPECT_EQ(c, r.colori.front());
    return r.colori.empty() ? std::nullopt : r.colori.front();
}

TEST(ShortageList, OrderAnswerRowsColoursAndOrder) {
    LogRegistrato log;
    const ModelloLista m = DisplayMancanti2006(Fixture("IFCK02_OUT_T000.DAT"), log.Sink());
    ASSERT_TRUE(m.riuscito);
    EXPECT_EQ(Intestazioni(m), kColonneOrdine);
    EXPECT_EQ(m.listaImmagini, "");
    EXPECT_EQ(m.rifOrdineGrossista, "ORD-2006-000123     ");
    EXPECT_EQ(m.noteOrdine, "Consegna prevista domani mattina");

    struct Attesa {
        std::string chiave;
        std::vector<std::string> testi;
        bool blu;
    };
    // Sorted on "Descrizione"; the line cut before its description sorts first.
    const Attesa attese[] = {
        {"KEY_056789012", {Pad("056789012", 13), "", "00001", "00001", "", "", "", ""}, false},
        {"KEY_012345678",
         {Pad("012345678", 13), Pad("ASPIRINA 500MG 20CPR", 28), "00010", "00000", "00010", "1,2345", "31/12/2006",
          Pad("", 20)},
         true},
        // The same product again: shown, but the key stays with the first row.
        {"",
         {Pad("012345678", 13), Pad("ASPIRINA 500MG 20CPR BIS", 28), "00002", "00002", "00000", "", "28/02/2007",
          Pad("Sprovvisto.Temp.", 20)},
         false},
        // State "@": not coloured in an IFCK list; no money and a bad date show nothing.
        {"KEY_045678901",
         {Pad("045678901", 13), Pad("AUGMENTIN 875MG", 28), "00003", "00003", "00000", "", "",
          Pad("Sospeso/Revocato", 20)},
         false},
        {"KEY_023456789",
         {Pad("023456789", 13), Pad("BENTELAN 1MG 10CPR", 28), "00005", "00005", "00000", "", "",
          Pad("Fornitore Sprov.", 20)},
         false},
        // State "*" is coloured like an available row; 12345 delivered divides the amount.
        {"KEY_034567890",
         {Pad("034567890", 13), Pad("ZIRTEC GOCCE", 28), "12345", "00000", "12345", "10,0000", "15/01/2007",
          Pad("Consegna parziale", 20)},
         true},
    };
    ASSERT_EQ(m.righe.size(), std::size(attese));
    for (std::size_t i = 0; i < m.righe.size(); ++i) {
        const RigaLista& r = m.righe[i];
        EXPECT_EQ(r.chiave, attese[i].chiave) << i;
        EXPECT_EQ(r.testi, attese[i].testi) << i;
        EXPECT_EQ(ColoreRiga(r), attese[i].blu ? std::optional<std::uint32_t>(kColoreBlu) : std::nullopt) << i;
        EXPECT_EQ(r.immagine, "") << i;
    }
    EXPECT_TRUE(m.ordinata);
    EXPECT_EQ(m.colonnaOrdinamento, 1u);

    // The repeat is reported, the rest of the list is still whole; bad fields report under their helper.
    EXPECT_EQ(log.Conta("DisplayMancanti2006 :"), 1u);
    for (const auto& riga : log.righe) {
        if (riga.rfind("DisplayMancanti2006 :", 0) == 0) {
            EXPECT_NE(riga.find("012345678"), std::string::npos) << riga;
        }
    }
    EXPECT_EQ(log.Conta("VerificaData :"), 3u);
    EXPECT_EQ(log.Conta("CalcolaPrezzoSingolo :"), 2u);
    EXPECT_EQ(log.righe.size(), 6u);
}

TEST(ShortageList, SortIgnoresCaseAndKeepsTiesInFileOrder) {
    auto riga = [](std::string_view codice, std::string_view descrizione) {
        std::string r(127, ' ');
        r[0] = 'P';
        r.replace(1, codice.size(), codice);
        r.replace(99, descrizione.size(), descrizione);
        return r + "\r\n";
    };
    const std::string dati = "T000\r\n" + riga("3", "alfa") + riga("1", "Gamma") + riga("4", "ZETA") +
                             riga("2", "Beta") + riga("5", "gamma");
    ModelloLista m = ModelloMancanti2006(dati, {});
    auto codici = [&m]() {
        std::string out;
        for (const auto& r : m.righe) out += TogliSpazi(r.testi[0]);
        return out;
    };
    EXPECT_EQ(codici(), "32154");
    OrdinaLista(m, 0);  // a click on the first column
    EXPECT_EQ(codici(), "12345");
    EXPECT_EQ(m.colonnaOrdinamento, 0u);
}

TEST(ShortageList, ColumnSizingData) {
    const ModelloLista m = DisplayMancanti2006(Fixture("IFCK02_OUT_T000.DAT"), {});
    ASSERT_TRUE(m.dimensionata);
    struct Attesa {
        std::string_view misura;
        std::size_t larghezza;
    };
    const Attesa attese[] = {{"CODICEXXX", 13}, {"DESCRIZIONE", 28}, {"RICH.", 5},       {"MANC.", 5},
                             {"CONS.", 5},      {"PREZZO", 7},       {"DATA DISP.", 10}, {"NOTA", 20}};
    ASSERT_EQ(m.colonne.size(), std::size(attese));
    for (std::size_t i = 0; i < m.colonne.size(); ++i) {
        EXPECT_EQ(m.colonne[i].testoMisura, attese[i].misura) << i;
        EXPECT_EQ(m.colonne[i].larghezzaCaratteri, attese[i].larghezza) << i;
    }
    // With no rows the headers alone size the columns.
    const ModelloLista vuota = ModelloDisponibilita2006("T000\r\n", {});
    ASSERT_TRUE(vuota.riuscito);
    EXPECT_EQ(vuota.colonne[0].testoMisura, "XXX");
    EXPECT_EQ(vuota.colonne[0].larghezzaCaratteri, 3u);
    EXPECT_EQ(vuota.colonne[7].larghezzaCaratteri, 10u);
}

TEST(ShortageList, HeaderVariants) {
    struct Caso {
        std::string_view file;
        std::optional<std::string> rif;
        std::optional<std::string> note;
        std::vector<std::string> codici;
    };
    const Caso casi[] = {
        {"IFCK02_OUT_T000.DAT", Pad("ORD-2006-000123", 20), "Consegna prevista domani mattina",
         {"056789012", "012345678", "012345678", "045678901", "023456789", "034567890"}},
        {"IFCK02_OUT_T115.DAT", Pad("RIF-T115", 20), "Nota della risposta T115", {"111111111"}},
        {"IFCK02_OUT_T116.DAT", Pad("RIF-T116", 20), "Ordine non accettato", {"222222222"}},
        {"IFCK02_OUT_BLANKHDR.DAT", std::string(20, ' '), std::string(22, ' '), {"333333333"}},
        // The first line is in the header's place even when it looks like a product: no fields, no row.
        {"IFCK02_OUT_NOHDR.DAT", std::nullopt, std::nullopt, {"555555555"}},
    };
    for (const auto& c : casi) {
        const ModelloLista m = DisplayMancanti2006(Fixture(c.file), {});
        EXPECT_TRUE(m.riuscito) << c.file;
        EXPECT_EQ(m.rifOrdineGrossista, c.rif) << c.file;
        EXPECT_EQ(m.noteOrdine, c.note) << c.file;
        std::vector<std::string> codici;
        for (const auto& r : m.righe) codici.push_back(TogliSpazi(r.testi[0]));
        EXPECT_EQ(codici, c.codici) << c.file;
    }
}

TEST(AvailabilityList, OffersMarkTheirRowAndOrphansAreSkipped) {
    LogRegistrato log;
    const ModelloLista m = DisplayDisponibilita2006(Fixture("IFCK01_OUT_MORVEN.DAT"), log.Sink());
    ASSERT_TRUE(m.riuscito);
    std::vector<std::string> colonne = {""};
    colonne.insert(colonne.end(), kColonneOrdine.begin(), kColonneOrdine.end());
    EXPECT_EQ(Intestazioni(m), colonne);
    EXPECT_EQ(m.listaImmagini, "ImageListLvW");
    EXPECT_EQ(m.rifOrdineGrossista, Pad("DISP-0001", 20));

    struct Attesa {
        std::string_view chiave;
        std::string_view descrizione;
        std::string_view prezzo;
        std::string_view data;
        bool info;
        bool blu;
    };
    // Sorted on "Codice"; the repeated product keeps file order after the first one.
    const Attesa attese[] = {
        {"KEY_600000007", "CEROTTI 20PZ", "", "", false, false},
        {"KEY_600000008", "GARZE STERILI", "5,0000", "20/01/2007", false, true},  // its offer came first
        {"KEY_700000006", "VIVIN C 20CPR", "10,0000", "10/01/2007", true, true},
        {"KEY_800000004", "FLUIFORT SCIROPPO", "10,0000", "10/01/2007", true, true},
        {"KEY_800000005", "ENTEROGERMINA 10FL", "10,0000", "10/01/2007", true, true},
        {"KEY_900000001", "ASPIRINA C 10CPR EFF", "10,0000", "10/01/2007", true, true},
        {"", "ASPIRINA C 10CPR EFF", "", "01/02/2007", false, false},
        {"KEY_900000002", "BENAGOL PASTIGLIE", "10,0000", "10/01/2007", true, true},
        {"KEY_900000003", "TACHIPIRINA 500MG 20CPR", "10,0000", "10/01/2007", true, true},
    };
    ASSERT_EQ(m.righe.size(), std::size(attese));
    for (std::size_t i = 0; i < m.righe.size(); ++i) {
        const RigaLista& r = m.righe[i];
        ASSERT_EQ(r.testi.size(), 9u) << i;
        EXPECT_EQ(r.chiave, attese[i].chiave) << i;
        EXPECT_EQ(r.testi[0], "") << i;
        EXPECT_EQ(r.testi[1], Pad(r.chiave.empty() ? "900000001" : Mid(r.chiave, 5), 13)) << i;
        EXPECT_EQ(r.testi[2], Pad(attese[i].descrizione, 28)) << i;
        EXPECT_EQ(r.testi[6], attese[i].prezzo) << i;
        EXPECT_EQ(r.testi[7], attese[i].data) << i;
        EXPECT_EQ(r.immagine, attese[i].info ? "INFO" : "") << i;
        EXPECT_EQ(ColoreRiga(r), attese[i].blu ? std::optional<std::uint32_t>(kColoreBlu) : std::nullopt) << i;
    }
    EXPECT_EQ(m.righe[0].testi[8], Pad("Sospeso/Revocato", 20));
    EXPECT_EQ(m.RigaPerChiave("KEY_900000001"), &m.righe[5]);
    EXPECT_EQ(m.RigaPerChiave("KEY_099999999"), nullptr);

    // Two offers without a row yet and one repeated product; nothing else.
    EXPECT_EQ(log.Conta("DisplayDisponibilita2006 :"), 3u);
    std::size_t orfani = 0;
    for (const auto& riga : log.righe) {
        if (riga.find("099999999") != std::string::npos || riga.find("600000008") != std::string::npos) ++orfani;
    }
    EXPECT_EQ(orfani, 2u);
    EXPECT_EQ(log.Conta("VerificaData :"), 1u);
    EXPECT_EQ(log.righe.size(), 4u);
}

TEST(AvailabilityList, OfferLinesAreIgnoredByTheOrderList) {
    // The same file read as an order answer takes no image and reports no orphan offer.
    LogRegistrato log;
    const ModelloLista m = DisplayMancanti2006(Fixture("IFCK01_OUT_MORVEN.DAT"), log.Sink());
    ASSERT_TRUE(m.riuscito);
    EXPECT_EQ(m.righe.size(), 9u);
    for (const auto& r : m.righe) EXPECT_EQ(r.immagine, "");
    EXPECT_EQ(log.Conta("DisplayMancanti2006 :"), 1u);  // only the repeated product
}

TEST(AnswerListFailures, MissingEmptyAndOversizedFiles) {
    test::CartellaTemporanea cartella;
    using Display = ModelloLista (*)(const std::filesystem::path&, const LogFunzione&, std::uintmax_t);
    struct Caso {
        std::string_view nome;
        Display display;
        std::size_t colonne;
    };
    const Caso casi[] = {
        {"DisplayMancanti2006", &DisplayMancanti2006, 8},
        {"DisplayDisponibilita2006", &DisplayDisponibilita2006, 9},
    };
    const std::string grande = LeggiTutto(Fixture("IFCK01_OUT_MORVEN.DAT"));
    test::Scrivi(cartella / "vuoto.DAT", "");
    test::Scrivi(cartella / "grande.DAT", grande);
    for (const auto& c : casi) {
        // A missing answer is not an error: headers only, and the list is not a confirmable answer.
        LogRegistrato mancante;
        const ModelloLista m = c.display(cartella / "assente.DAT", mancante.Sink(), kLimiteFileRisposta);
        EXPECT_FALSE(m.riuscito) << c.nome;
        EXPECT_EQ(m.colonne.size(), c.colonne) << c.nome;
        EXPECT_TRUE(m.righe.empty()) << c.nome;
        EXPECT_FALSE(m.rifOrdineGrossista) << c.nome;
        EXPECT_TRUE(mancante.righe.empty()) << c.nome;

        LogRegistrato vuoto;
        EXPECT_FALSE(c.display(cartella / "vuoto.DAT", vuoto.Sink(), kLimiteFileRisposta).riuscito) << c.nome;
        EXPECT_EQ(vuoto.Conta(std::string(c.nome) + " :"), 1u) << c.nome;

        // Past the limit nothing of the file is shown and the refusal is reported.
        LogRegistrato oltre;
        const ModelloLista g = c.display(cartella / "grande.DAT", oltre.Sink(), grande.size() - 1);
        EXPECT_FALSE(g.riuscito) << c.nome;
        EXPECT_TRUE(g.righe.empty()) << c.nome;
        EXPECT_FALSE(g.rifOrdineGrossista) << c.nome;
        ASSERT_EQ(oltre.righe.size(), 1u) << c.nome;
        EXPECT_EQ(oltre.Conta(std::string(c.nome) + " :"), 1u) << c.nome;
        EXPECT_NE(oltre.righe[0].find("limite"), std::string::npos) << c.nome;

        EXPECT_TRUE(c.display(cartella / "grande.DAT", {}, grande.size()).riuscito) << c.nome;
    }
}

TEST(OldShortageList, LongFileWinsAndCarriesItsReasons) {
    LogRegistrato log;
    const ModelloLista m = DisplayMancanti2003(Fixture("app2003_ma1"), log.Sink());
    ASSERT_TRUE(m.riuscito);
    EXPECT_EQ(Intestazioni(m),
              (std::vector<std::string>{"Codice", "Descrizione", "Qta Mancante", "Qta Consegnata", "Nota"}));
    EXPECT_FALSE(m.rifOrdineGrossista);
    struct Attesa {
        std::vector<std::string> testi;
        bool blu;
    };
    // Descriptions are right-aligned in these files, so more leading blanks sort first.
    const Attesa attese[] = {
        {{"123456789", PadLeft("ZIRTEC GOCCE", 28), "0005", "", "Fornitore sprovvisto"}, false},
        {{"345678901", PadLeft("BENTELAN 1MG 10CPR", 28), "", "0002", "Consegna parziale   "}, true},
        {{"234567890", PadLeft("ASPIRINA 500MG 20CPR", 28), "", "0010", std::string(20, ' ')}, true},
    };
    ASSERT_EQ(m.righe.size(), std::size(attese));
    for (std::size_t i = 0; i < m.righe.size(); ++i) {
        EXPECT_EQ(m.righe[i].chiave, "") << i;
        EXPECT_EQ(m.righe[i].testi, attese[i].testi) << i;
        EXPECT_EQ(ColoreRiga(m.righe[i]).has_value(), attese[i].blu) << i;
    }
    EXPECT_TRUE(log.righe.empty());
}

TEST(OldShortageList, ShortFileMapsReasonCodes) {
    const ModelloLista m = DisplayMancanti2003(Fixture("app2003_man"), {});
    ASSERT_TRUE(m.riuscito);
    struct Attesa {
        std::string_view codice;
        std::string_view mancante;
        std::string_view consegnata;
        std::string nota;
        bool blu;
    };
    const Attesa attese[] = {
        {"444444444", "0003", "", "Scarsa Disponibilit\xE0", false},
        {"555555555", "0002", "", "Fornitore Sprov.", false},
        {"333333333", "", "0006", std::string(20, ' '), true},
        {"111111111", "0004", "", "Non Trattato    ", false},
        {"222222222", "0001", "", std::string(20, ' '), false},
    };
    ASSERT_EQ(m.righe.size(), std::size(attese));
    for (std::size_t i = 0; i < m.righe.size(); ++i) {
        EXPECT_EQ(m.righe[i].testi[0], attese[i].codice) << i;
        EXPECT_EQ(m.righe[i].testi[2], attese[i].mancante) << i;
        EXPECT_EQ(m.righe[i].testi[3], attese[i].consegnata) << i;
        EXPECT_EQ(m.righe[i].testi[4], attese[i].nota) << i;
        EXPECT_EQ(ColoreRiga(m.righe[i]).has_value(), attese[i].blu) << i;
    }

    test::CartellaTemporanea vuota;
    const ModelloLista nessuno = DisplayMancanti2003(*vuota, {});
    EXPECT_FALSE(nessuno.riuscito);
    EXPECT_EQ(nessuno.colonne.size(), 5u);
    EXPECT_TRUE(nessuno.righe.empty());
}

TEST(AnswerDisplay, ChoosesListLayoutAndMessages) {
    test::CartellaTemporanea app;
    // Files as they may arrive: the answer's name in lower case.
    test::Scrivi(app / "ifck02_out_morven.dat", LeggiTutto(Fixture("IFCK02_OUT_T000.DAT")));
    test::Scrivi(app / "IFCK01_OUT_MORVEN.DAT", LeggiTutto(Fixture("IFCK01_OUT_MORVEN.DAT")));
    test::Scrivi(app / "ordseq.man", LeggiTutto(Fixture("app2003_man/ordseq.man")));
    test::Scrivi(app / "msgrx.txt", "Messaggio di prova\r\n");
    struct Caso {
        bool disponibilita;
        bool ifck;
        std::string_view file;
        int fase;
        std::string_view titolo;
        std::size_t colonne;
        std::size_t righe;
        bool messaggi;
    };
    const Caso casi[] = {
        {false, true, "IFCK02_OUT_MORVEN.DAT", 3, "Fine", 8, 6, true},
        {false, false, "IFCK02_OUT_MORVEN.DAT", 3, "Fine", 5, 5, true},
        {true, true, "IFCK01_OUT_MORVEN.DAT", 2, "Elenco Risposte", 9, 9, false},
        {true, false, "IFCK01_OUT_MORVEN.DAT", 2, "Elenco Risposte", 5, 5, false},
    };
    for (const auto& c : casi) {
        const SorgenteRisposta s{*app, std::string(c.file), c.disponibilita, c.ifck, "Grossista Prova"};
        const VistaRisposta v = DisplayMancanti(s, {});
        EXPECT_TRUE(v.riuscito) << c.disponibilita << c.ifck;
        EXPECT_EQ(v.fase, c.fase);
        EXPECT_EQ(v.titolo, c.titolo);
        EXPECT_EQ(v.descrizioneConnessione, "Grossista Prova");
        EXPECT_EQ(v.lista.colonne.size(), c.colonne);
        EXPECT_EQ(v.lista.righe.size(), c.righe);
        ASSERT_EQ(v.messaggi.has_value(), c.messaggi);
        if (c.messaggi) {
            EXPECT_EQ(v.messaggi->testo,
                      "Trasmissione Terminata Correttamente \r\n\r\nMessaggio da Grossista Prova\r\n"
                      "Messaggio di prova\r\n");
        }
    }
    // No answer file: the list is empty with its headers and the session's answer is not confirmable.
    const VistaRisposta nessuna = DisplayMancanti({*app, "IFCK03_OUT_MORVEN.DAT", true, true, "G"}, {});
    EXPECT_FALSE(nessuna.riuscito);
    EXPECT_EQ(nessuna.lista.colonne.size(), 9u);
    EXPECT_TRUE(nessuna.lista.righe.empty());
}

}  // namespace
}  // namespace morven
