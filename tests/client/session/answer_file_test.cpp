#include "client/session/answer_file.h"

#include <gtest/gtest.h>

#include "tests/client/session/answer_test_support.h"

namespace morven {
namespace {

using test::Fixture;
using test::LeggiTutto;
using test::LogRegistrato;

TEST(AnswerFileLines, SplitsOnEveryLineEnd) {
    struct Caso {
        std::string_view dati;
        std::vector<std::string> righe;
    };
    const Caso casi[] = {
        {"", {}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},
        {"\r\n", {""}},
        {"a\r\n\r\nb\r\n", {"a", "", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\r\r\nb", {"a", "", "b"}},
        {std::string_view("a\0b\r\n", 5), {std::string("a\0b", 3)}},
    };
    for (const auto& c : casi) EXPECT_EQ(DividiRighe(c.dati), c.righe) << c.dati;
}

TEST(AnswerFileFields, QuantitiesAndRates) {
    struct Caso {
        std::string_view campo;
        std::optional<long> valore;
    };
    const Caso casi[] = {
        {"00000", 0},  {"12345", 12345}, {"00012", 12},         {"  12 ", 12},         {"     ", 0},
        {"", 0},       {"1 2", {}},      {"12a45", {}},         {"-0001", {}},         {"+0001", {}},
        {"10", 10},    {"04", 4},        {"1234567890", {}},
    };
    for (const auto& c : casi) {
        EXPECT_EQ(LeggiQuantita(c.campo), c.valore) << '"' << c.campo << '"';
        EXPECT_EQ(LeggiAliquota(c.campo), c.valore) << '"' << c.campo << '"';
    }
}

TEST(AnswerFileFields, MoneyIsExactTenThousandths) {
    struct Caso {
        std::string_view campo;
        std::optional<std::int64_t> valore;
    };
    const Caso casi[] = {
        {"00012345000", 12345000},      // 1234.5
        {"00000000000", 0},
        {"99999999999", 99999999999},   // the largest amount: 9999999.9999
        {"00000000001", 1},
        {"  123450000", 123450000},     // blanks before the integer part
        {"-0001234000", -1234000},      // a sign: zero or less means no price
        {"           ", {}},            // blank field
        {"0001234500", {}},             // short line: ten columns only
        {"000123450000", {}},           // not an 11-column field
        {"000123A5000", {}},
        {"0001234 000", {}},            // blank inside the decimals
        {"0000000.000", {}},            // no separator is allowed
    };
    for (const auto& c : casi) EXPECT_EQ(LeggiImporto(c.campo), c.valore) << '"' << c.campo << '"';
}

TEST(AnswerFileFields, DatesMustBeCalendarDates) {
    struct Caso {
        std::string_view campo;
        std::optional<Data> data;
    };
    const Caso casi[] = {
        {"20061231", Data{2006, 12, 31}}, {"20040229", Data{2004, 2, 29}}, {"20000229", Data{2000, 2, 29}},
        {"19000229", {}},                 {"20050229", {}},                {"20061332", {}},
        {"20060431", {}},                 {"20060100", {}},                {"00000000", {}},
        {"2006123", {}},                  {"2006 231", {}},                {"        ", {}},
        {"200612311", {}},                {"00991231", {}},                {"01001231", Data{100, 12, 31}},
    };
    for (const auto& c : casi) EXPECT_EQ(LeggiData(c.campo), c.data) << '"' << c.campo << '"';
}

TEST(AnswerFileRecords, HeaderCodesAndFields) {
    for (std::string_view codice : {"T000", "T115", "T116"}) EXPECT_TRUE(CodiceTestataAccettato(codice));
    for (std::string_view codice : {"T117", "t000", "T00", "T0000", "P000", ""}) EXPECT_FALSE(CodiceTestataAccettato(codice));

    const auto righe = DividiRighe(LeggiTutto(Fixture("IFCK02_OUT_T000.DAT")));
    const auto t = LeggiTestata(righe.front());
    ASSERT_TRUE(t);
    EXPECT_EQ(t->codice, "T000");
    EXPECT_EQ(t->rifOrdine, "ORD-2006-000123     ");
    EXPECT_EQ(t->note, "Consegna prevista domani mattina");
    // Short header: the fields are what the line holds.
    const auto corta = LeggiTestata("T115 abc");
    ASSERT_TRUE(corta);
    EXPECT_EQ(corta->rifOrdine, "");
    EXPECT_EQ(corta->note, "");
    EXPECT_FALSE(LeggiTestata(righe[1]));
    EXPECT_FALSE(LeggiTestata(""));
}

TEST(AnswerFileRecords, ProductInBothLayouts) {
    const auto ordine = DividiRighe(LeggiTutto(Fixture("IFCK02_OUT_T000.DAT")));
    const RecordProdotto p = LeggiRecordProdotto(ordine[3], LayoutProdotto::Ordine);
    EXPECT_EQ(p.codice, "034567890    ");
    EXPECT_EQ(p.qtaRichiesta, "12345");
    EXPECT_EQ(p.qtaMancante, "00000");
    EXPECT_EQ(p.qtaConsegnata, "12345");
    EXPECT_EQ(p.importoNetto, "01234500000");
    EXPECT_EQ(p.stato, "*");
    EXPECT_EQ(p.dataDisponibilita, "20070115");
    EXPECT_EQ(p.descrizione, "ZIRTEC GOCCE                ");
    EXPECT_EQ(p.nota, "Consegna parziale   ");
    EXPECT_EQ(p.prezzoPubblico, "");
    EXPECT_EQ(p.aliquota, "");

    const auto disp = DividiRighe(LeggiTutto(Fixture("IFCK01_OUT_MORVEN.DAT")));
    const RecordProdotto d = LeggiRecordProdotto(disp[2], LayoutProdotto::Disponibilita);
    EXPECT_EQ(d.codice, "900000003    ");
    EXPECT_EQ(d.importoNetto, "00001000000");
    EXPECT_EQ(d.prezzoPubblico, "00001210000");
    EXPECT_EQ(d.aliquota, "10");
    EXPECT_EQ(d.descrizione, std::string("TACHIPIRINA 500MG 20CPR").append(17, ' '));
    EXPECT_EQ(d.nota, std::string(20, ' '));

    // A line cut after the missing quantity: the rest reads empty, nothing beyond the line.
    const RecordProdotto corta = LeggiRecordProdotto(ordine.back(), LayoutProdotto::Ordine);
    EXPECT_EQ(corta.codice, "056789012    ");
    EXPECT_EQ(corta.qtaMancante, "00001");
    EXPECT_EQ(corta.qtaConsegnata, "");
    EXPECT_EQ(corta.importoNetto, "");
    EXPECT_EQ(corta.stato, "");
    EXPECT_EQ(corta.descrizione, "");
}

TEST(AnswerFileRecords, OfferAndDocumentRecords) {
    const auto disp = DividiRighe(LeggiTutto(Fixture("IFCK01_OUT_MORVEN.DAT")));
    const RecordOfferta o = LeggiRecordOfferta(disp[4]);  // second offer of 900000003
    EXPECT_EQ(o.codice, "900000003    ");
    EXPECT_EQ(o.validita, "20070131");
    EXPECT_EQ(o.qtaMinima, "00002");
    EXPECT_EQ(o.qtaDa, "00002");
    EXPECT_EQ(o.qtaA, "00020");
    EXPECT_EQ(o.qtaAssegnata, "00020");
    EXPECT_EQ(o.qtaOmaggio, "00001");
    EXPECT_EQ(o.importo, "00001800000");
    EXPECT_EQ(o.qtaAltroOmaggio, "00001");
    EXPECT_EQ(o.pagamento, "RIMESSA DIRETTA 60 GG         ");
    EXPECT_EQ(o.descrizioneAltroOmaggio, std::string("OMAGGIO 2").append(19, ' '));

    const auto doc = DividiRighe(LeggiTutto(Fixture("IFCK03_OUT_MORVEN.DAT")));
    const RecordDocumento r = LeggiRecordDocumento(doc[4]);
    EXPECT_EQ(r.chiave, "1A10000001234");
    EXPECT_EQ(r.tipo, "1");
    EXPECT_EQ(r.serie, "A1");
    EXPECT_EQ(r.numero, "0000001234");
    EXPECT_EQ(r.data, "20061215");
    EXPECT_EQ(r.pagamento, "RIMESSA DIRETTA 30GG          ");
    EXPECT_EQ(r.importoDocumento, "00001220000");
    EXPECT_EQ(r.importoNettoMerce, "00001000000");
    EXPECT_EQ(r.importoNettoPagare, "00001220000");
    EXPECT_EQ(r.importoSpese, "00000000000");
    const RecordOrdineDocumento s = LeggiRecordOrdineDocumento(doc[5]);
    EXPECT_EQ(s.numeroOrdine, "ORD0001             ");
    EXPECT_EQ(s.importoNettoMerce, "00001000000");
    const RecordRigaDocumento p = LeggiRecordRigaDocumento(doc[7]);
    EXPECT_EQ(p.quantita, "12345");
    EXPECT_EQ(p.prezzo, "00000812345");
    EXPECT_EQ(p.descrizione, "BENTELAN 1MG 10CPR          ");
}

TEST(AnswerFileOffers, ProductOffersStopAtTheGridWidth) {
    const auto righe = DividiRighe(LeggiTutto(Fixture("IFCK01_OUT_MORVEN.DAT")));
    struct Caso {
        std::string_view codice;
        bool prodotto;
        std::size_t offerte;
        std::size_t scartate;
    };
    const Caso casi[] = {
        {"900000001", true, 2, 0},  // one offer after each of its two "P" lines
        {"800000005", true, 5, 0},
        {"700000006", true, 5, 1},  // the sixth has no column
        {"600000007", true, 0, 0},
        {"600000008", true, 1, 0},  // the offer came before its product: still this product's
        {"099999999", false, 1, 0},
        {"  900000003  ", true, 3, 0},
    };
    for (const auto& c : casi) {
        LogRegistrato log;
        const auto p = LeggiProdottoDisponibilita(righe, c.codice, log.Sink(), "ImpostaForm");
        EXPECT_EQ(p.prodotto.has_value(), c.prodotto) << c.codice;
        EXPECT_EQ(p.offerte.size(), c.offerte) << c.codice;
        EXPECT_EQ(p.offerteScartate, c.scartate) << c.codice;
        EXPECT_EQ(log.Conta("ImpostaForm :"), c.scartate) << c.codice;
        EXPECT_EQ(log.righe.size(), c.scartate) << c.codice;
    }
    // Offers keep their file order, and the first "P" of a repeated product is the one taken.
    const auto sei = LeggiProdottoDisponibilita(righe, "700000006", {}, "ImpostaForm");
    for (std::size_t i = 0; i < sei.offerte.size(); ++i) {
        EXPECT_EQ(sei.offerte[i].qtaMinima, "0000" + std::to_string(i + 1));
    }
    const auto doppio = LeggiProdottoDisponibilita(righe, "900000001", {}, "ImpostaForm");
    EXPECT_EQ(doppio.prodotto->qtaRichiesta, "00010");
}

TEST(AnswerFileReading, MissingTooLargeAndFolders) {
    test::CartellaTemporanea cartella;
    const auto file = cartella / "IFCK02_OUT_MORVEN.DAT";

    auto mancante = LeggiFileLimitato(file);
    EXPECT_EQ(mancante.esito, EsitoLettura::Mancante);
    EXPECT_NE(mancante.errore.find("non presente"), std::string::npos);

    const std::string dati(100'000, 'x');
    test::Scrivi(file, dati);
    const auto intero = LeggiFileLimitato(file, dati.size());
    EXPECT_EQ(intero.esito, EsitoLettura::Letto);
    EXPECT_EQ(intero.dati, dati);

    const auto oltre = LeggiFileLimitato(file, dati.size() - 1);
    EXPECT_EQ(oltre.esito, EsitoLettura::TroppoGrande);
    EXPECT_TRUE(oltre.dati.empty());
    EXPECT_NE(oltre.errore.find("limite"), std::string::npos);

    EXPECT_EQ(LeggiFileLimitato(*cartella).esito, EsitoLettura::Errore);
}

TEST(AnswerFileReading, FindsNamesWithoutRegardToCase) {
    test::CartellaTemporanea cartella;
    test::Scrivi(cartella / "ifck02_out_Morven.dat", "T000\r\n");
    std::filesystem::create_directories(cartella / "ORDSEQ.MA1");  // a folder is never the file
    const auto trovato = CercaFile(*cartella, "IFCK02_OUT_MORVEN.DAT");
    ASSERT_TRUE(trovato);
    EXPECT_EQ(trovato->filename(), "ifck02_out_Morven.dat");
    EXPECT_FALSE(CercaFile(*cartella, "ordseq.ma1"));
    EXPECT_FALSE(CercaFile(*cartella, "IFCK01_OUT_MORVEN.DAT"));
    EXPECT_FALSE(CercaFile(cartella / "assente", "x"));
}

}  // namespace
}  // namespace morven
