// The PHT products and the PHT order file: Code 32 decoding, the search in a product file with short lines,
// the order list's rows and the kind-05 request, golden and refused.
#include "client/presenters/pht_order.h"

#include "client/engine/programma.h"
#include "client/engine/testing/test_program.h"
#include "platform/core/files.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace morven {
namespace {

const std::string kFixture = std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/";

std::string LeggiFile(const std::string& path) {
    std::string s;
    ReadWholeFile(path, s);
    return s;
}

TEST(PhtCode32, DecodesAndRecognises) {
    const std::pair<const char*, const char*> casi[] = {
        {"000001", "000000001"}, {"00000B", "000000010"}, {"000010", "000000032"},
        {"ZZZZZZ", "1073741823"}, {"000000", "0"},       {"00000b", "000000010"},
        {"zzzzzz", "1073741823"}, {"00000A", "0"},       {"00001", "0"},
    };
    for (const auto& [codice, atteso] : casi) EXPECT_EQ(Conv32To10(codice), atteso) << codice;

    for (const char* si : {"000001", "00000b", "BCDFGH", "zzzzzz"}) EXPECT_TRUE(IsBase32(si)) << si;
    // Vowels are not in the alphabet; the length must be exactly 6.
    for (const char* no : {"", "00001", "0000001", "00000A", "00000E", "0000 1", "012345678"})
        EXPECT_FALSE(IsBase32(no)) << no;
}

TEST(PhtSearch, FilterFromTheEntryFields) {
    struct Caso {
        const char *codice, *descrizione, *atteso;
    };
    const Caso casi[] = {
        {" 00000b ", "ignorata", "000000010"},  // Code 32, either case, trimmed
        {"012345678", "", "012345678"},          // a 9-digit code as it is
        {"00001", "", "00001"},                  // five characters: searched as typed
        {"  ", " insulina ", "insulina"},        // empty code: the description
        {"", "", ""},                            // both empty: every product
    };
    for (const Caso& c : casi) EXPECT_EQ(FiltroRicercaPht(c.codice, c.descrizione), c.atteso) << c.codice;
}

TEST(PhtSearch, ProductFileWithShortLines) {
    const std::string testo = LeggiFile(kFixture + "pht/PHT/MvnConn03/pht.dat");
    ASSERT_FALSE(testo.empty());
    const auto tutti = CercaProdottiPht(testo, "");
    // The header is skipped; a line short of the code column, or without a code, is no product.
    ASSERT_EQ(tutti.size(), 5u);
    EXPECT_EQ(tutti[0].sCodice, "000000010    ");
    EXPECT_EQ(tutti[0].sDescrizione, "ENOXAPARINA 4000UI 6 SIR                ");
    EXPECT_EQ(tutti[3].sCodice, "111222333    ");  // ends inside the description, LF only
    EXPECT_EQ(tutti[3].sDescrizione, "CORTA");
    EXPECT_EQ(tutti[4].sCodice, "444555       ");  // code only
    EXPECT_EQ(tutti[4].sDescrizione, "");

    struct Caso {
        const char* filtro;
        std::vector<std::string> codici;
    };
    const Caso casi[] = {
        {"000000010", {"000000010    "}},
        {"eritropoietina", {"012345678    "}},  // any case, anywhere in the line
        {"PHT", {"000000010    ", "012345678    ", "987654321    ", "111222333    "}},
        {"GROSSISTA", {}},                       // only in the header
        {"NESSUNO", {}},
    };
    for (const Caso& c : casi) {
        std::vector<std::string> codici;
        for (const auto& pr : CercaProdottiPht(testo, c.filtro)) codici.push_back(pr.sCodice);
        EXPECT_EQ(codici, c.codici) << c.filtro;
    }
    EXPECT_TRUE(CercaProdottiPht("", "").empty());
    EXPECT_TRUE(CercaProdottiPht("solo intestazione\r\n", "").empty());
}

TEST(PhtSearch, ProductFileOfTheSlot) {
    EXPECT_EQ(FilePhtDelloSlot("/app", "/app/MvnConn03.par"), "/app/PHT/MvnConn03/pht.dat");
    // The folders are found whatever their case.
    EXPECT_EQ(FilePhtDelloSlot(kFixture + "pht", kFixture + "pht/MvnConn03.par"),
              kFixture + "pht/PHT/MvnConn03/pht.dat");
}

struct PhtOrderFile : ::testing::Test {
    testing::TempDir dir;
    TestProgram t{dir.path()};
    Programma& p = t.p;
    TestataOrdinePht testata;
    std::vector<RigaOrdinePht> righe = {
        {"000000010    ", "ENOXAPARINA", "2", "RIC1234567", "LAZ01"},
        {"012345678    ", "Eritropoietina", "99999", "R1", ""},
    };

    PhtOrderFile() {
        testata.sCodiceCliente = "12345";
        testata.nTipoRichiesta = 1;
        testata.bOpzioneTestata1 = testata.bOpzioneTestata3 = true;
        testata.bAllineaCol = testata.bConsDiffer = true;
    }
    std::string File() const { return dir / "IFCK05_IN_MORVEN.DAT"; }
};

TEST_F(PhtOrderFile, GoldenKind05Request) {
    ReplaceFileAtomically(File(), "richiesta consegnata dal gestionale");
    ASSERT_TRUE(EmettiOrdinePHTLvW(p, righe, File(), testata));
    EXPECT_EQ(LeggiFile(File()), LeggiFile(kFixture + "requests/IFCK05_IN_MORVEN.DAT"));
    // The client code whole, zero-filled to 9 (kinds 01 and 02 would take 7 characters and "00").
    testata.sCodiceCliente = "123456789";
    EXPECT_EQ(TestoOrdinePht(testata, righe).substr(10, 9), "123456789");
}

TEST_F(PhtOrderFile, RowsThatDoNotFitAreRefusedNotCut) {
    struct Caso {
        const char* nome;
        RigaOrdinePht riga;
    };
    const Caso casi[] = {
        {"quantita' di 6 cifre", {"000000010", "", "123456", "", ""}},
        {"quantita' vuota", {"000000010", "", "", "", ""}},
        {"quantita' zero", {"000000010", "", "0", "", ""}},
        {"quantita' non numerica", {"000000010", "", "2a", "", ""}},
        {"ricettario di 11", {"000000010", "", "1", "RIC12345678", ""}},
        {"regione di 6", {"000000010", "", "1", "", "LAZIO1"}},
        {"codice vuoto", {"   ", "", "1", "", ""}},
    };
    ReplaceFileAtomically(File(), "richiesta consegnata dal gestionale");
    for (const Caso& c : casi) {
        SCOPED_TRACE(c.nome);
        EXPECT_TRUE(ErroreRigaPht(c.riga).has_value());
        EXPECT_FALSE(EmettiOrdinePHTLvW(p, {righe[0], c.riga}, File(), testata));
        // Refused before anything was touched: the file that was there stays.
        EXPECT_EQ(LeggiFile(File()), "richiesta consegnata dal gestionale");
    }
    EXPECT_FALSE(EmettiOrdinePHTLvW(p, {}, File(), testata));  // an empty order is never written
    for (const RigaOrdinePht& r : righe) EXPECT_FALSE(ErroreRigaPht(r).has_value());
}

TEST_F(PhtOrderFile, AFailedWriteLeavesNoRequest) {
    const std::string cartella = dir / "non_esiste";
    EXPECT_FALSE(EmettiOrdinePHTLvW(p, righe, cartella + "/IFCK05_IN_MORVEN.DAT", testata));
    EXPECT_FALSE(std::filesystem::exists(cartella));
    // A request file that is a folder cannot be replaced: the order is not reported as written.
    std::filesystem::create_directories(File() + "/dentro");
    EXPECT_FALSE(EmettiOrdinePHTLvW(p, righe, File(), testata));
    EXPECT_FALSE(FileExists(File()));
}

TEST_F(PhtOrderFile, OrderListRows) {
    FakeView v;
    ASSERT_TRUE(ImpostaLvWOrdine(p, v, "LvwOrdinePht"));
    EXPECT_EQ(v.List("LvwOrdinePht").columns,
              (std::vector<std::string>{"Codice", "Descrizione", "Quantit\xE0", "Codice Ricettario", "Codice Regione", ""}));
    ASSERT_TRUE(AggiungiRigaLvWOrdine(p, v, "LvwOrdinePht", righe[0]));
    ASSERT_TRUE(AggiungiRigaLvWOrdine(p, v, "LvwOrdinePht", righe[1]));
    EXPECT_EQ(v.List("LvwOrdinePht").items[0].texts.size(), 6u);
    RigaOrdinePht cambiata = righe[0];
    cambiata.sQuantitaPht = "7";
    ASSERT_TRUE(ModificaRigaLvWOrdine(p, v, "LvwOrdinePht", 1, cambiata));
    auto lette = RigheOrdinePht(v.List("LvwOrdinePht"));
    ASSERT_EQ(lette.size(), 2u);
    EXPECT_EQ(lette[1].sQuantitaPht, "7");
    EXPECT_EQ(lette[1].sCodicePht, righe[0].sCodicePht);

    // Rows that are not there, or values that do not fit, change nothing and report False.
    EXPECT_FALSE(ModificaRigaLvWOrdine(p, v, "LvwOrdinePht", 2, cambiata));
    EXPECT_FALSE(CancellaRigaLvWOrdine(p, v, "LvwOrdinePht", -1));
    cambiata.sQuantitaPht = "100000";
    EXPECT_FALSE(AggiungiRigaLvWOrdine(p, v, "LvwOrdinePht", cambiata));
    EXPECT_EQ(v.List("LvwOrdinePht").items.size(), 2u);
    ASSERT_TRUE(CancellaRigaLvWOrdine(p, v, "LvwOrdinePht", 0));
    lette = RigheOrdinePht(v.List("LvwOrdinePht"));
    ASSERT_EQ(lette.size(), 1u);
    EXPECT_EQ(lette[0].sQuantitaPht, "7");
}

TEST_F(PhtOrderFile, ProductListFromTheFile) {
    FakeView v;
    ASSERT_TRUE(PopolaLvWProdottiPht(p, v, "LvWProdotti", kFixture + "pht/PHT/MvnConn03/pht.dat", "INSULINA"));
    const ListModel& m = v.List("LvWProdotti");
    EXPECT_EQ(m.columns, (std::vector<std::string>{"Codice", "Descrizione", "Sostanza"}));
    ASSERT_EQ(m.items.size(), 1u);
    EXPECT_EQ(m.items[0].texts, (std::vector<std::string>{"987654321    ", "INSULINA GLARGINE PENNA                 ", ""}));
    // A missing file: an empty list and False.
    EXPECT_FALSE(PopolaLvWProdottiPht(p, v, "LvWProdotti", dir / "manca.dat", ""));
    EXPECT_TRUE(v.List("LvWProdotti").items.empty());
}

}  // namespace
}  // namespace morven
