// IFCK request files: the builders against byte-exact golden files, the order conversion's edges
// (header-only, blank lines, oversize), the failures that must leave no file, and ControllaInvio's choice of
// builder and request flags.
#include "client/session/ifck_request.h"
#include "client/session/answer_lists.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "client/engine/errors.h"
#include "client/engine/programma.h"
#include "platform/core/files.h"
#include "platform/core/text.h"
#include "tests/client/engine/engine_test_support.h"

namespace morven {
namespace {

std::string Golden(const std::string& nome) {
    std::string s;
    EXPECT_TRUE(ReadWholeFile(std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/requests/" + nome, s)) << nome;
    return s;
}

struct IfckRequest : ::testing::Test, testing::EngineFixture {
    bool Exists(const std::string& nome) const { return FileExists(dir / nome); }
    std::string Path(const std::string& nome) const { return dir / nome; }

    // The order conversion with the options of the golden files: type 3, header flags 1 0 1 1, S N S.
    bool Converti(const std::string& cliente, const std::string& tipo, const std::string& out = "req.DAT",
                  int nTipoRichiesta = 3) {
        return ConvertiOrdineDa2003(p, Path("ordseq.txt"), Path(out), cliente, tipo, "", nTipoRichiesta, true, false,
                                    true, true, "", false, true, false, true);
    }
};

TEST_F(IfckRequest, GoldenFileForEveryKind) {
    Write("ordseq.txt", Golden("ordseq.txt"));
    ASSERT_TRUE(Converti(Left("123456789", 7) + "00", "02"));
    EXPECT_EQ(Read("req.DAT"), Golden("IFCK02_IN_MORVEN.DAT"));
    ASSERT_TRUE(Converti(Left("12345", 7) + "00", "01"));
    EXPECT_EQ(Read("req.DAT"), Golden("IFCK01_IN_MORVEN.DAT"));

    ASSERT_TRUE(CreaRichiestaDocumento(p, Path("req.DAT"), "12345", "1", "05/03/2026", "123", "4567", "A", true));
    EXPECT_EQ(Read("req.DAT"), Golden("IFCK03_IN_MORVEN.DAT"));
    ASSERT_TRUE(CreaRichiestaListino(p, Path("req.DAT"), "12345", "C"));
    EXPECT_EQ(Read("req.DAT"), Golden("IFCK04_IN_MORVEN.DAT"));
    ASSERT_TRUE(CreaRichiestaTrattatiPHT(p, Path("req.DAT"), "12345", "C"));
    EXPECT_EQ(Read("req.DAT"), Golden("IFCK06_IN_MORVEN.DAT"));
    EXPECT_EQ(FunctionLog(), "");
}

TEST_F(IfckRequest, ClientCodeColumnsByKind) {
    struct Case {
        const char* codice;
        const char* kind0102;  // first 7 characters and "00", zero-filled
        const char* kind0306;  // the code whole, zero-filled
    };
    const Case cases[] = {{"123456789", "123456700", "123456789"}, {"12345", "001234500", "000012345"}};
    Write("ordseq.txt", "0000000000000\r\n");
    for (const Case& c : cases) {
        ASSERT_TRUE(Converti(Left(c.codice, 7) + "00", "02"));
        EXPECT_EQ(Mid(Read("req.DAT"), 11, 9), c.kind0102) << c.codice;
        ASSERT_TRUE(CreaRichiestaListino(p, Path("req.DAT"), c.codice, "C"));
        EXPECT_EQ(Mid(Read("req.DAT"), 11, 9), c.kind0306) << c.codice;
    }
}

TEST_F(IfckRequest, OrderConversionEdges) {
    struct Case {
        const char* nome;
        std::string ordine;
        std::string trailer;
        int records;  // product records written
    };
    const Case cases[] = {
        {"header only", "0000000000042\r\n", "Z00000", 0},
        {"no line end", "0000000000042\r\n0123456780005", "Z00001", 1},
        {"blank lines count", "0000000000042\r\n\r\n0123456780005\r\n\r\n", "Z00003", 3},
        {"bare LF", "0000000000042\n0123456780005\n", "Z00001", 1},
        {"empty file", "", "Z00000", 0},
    };
    for (const Case& c : cases) {
        Write("ordseq.txt", c.ordine);
        ASSERT_TRUE(Converti("123456700", "02")) << c.nome;
        const std::string req = Read("req.DAT");
        std::size_t righe = 0;
        for (std::size_t i = req.find("\r\n"); i != std::string::npos; i = req.find("\r\n", i + 2)) ++righe;
        EXPECT_EQ(righe, static_cast<std::size_t>(c.records) + 2) << c.nome;
        EXPECT_EQ(Right(req, 8), c.trailer + "\r\n") << c.nome;
    }
    // A blank line gives an empty code and a zero quantity.
    Write("ordseq.txt", "0000000000042\r\n\r\n");
    ASSERT_TRUE(Converti("123456700", "02"));
    EXPECT_EQ(Mid(Read("req.DAT"), 124, 20), "P" + std::string(13, ' ') + "000000");
}

TEST_F(IfckRequest, OversizeOrderIsRefusedAndLeavesNoFile) {
    std::string ordine = "0000000000042\r\n";
    for (int i = 0; i < kMaxRigheRichiesta; ++i) ordine += "0123456780001\r\n";
    Write("ordseq.txt", ordine);
    ASSERT_TRUE(Converti("123456700", "02"));
    EXPECT_EQ(Right(Read("req.DAT"), 8), "Z32767\r\n");

    Write("ordseq.txt", ordine + "0123456780001\r\n");
    EXPECT_FALSE(Converti("123456700", "02"));
    EXPECT_FALSE(Exists("req.DAT"));
    EXPECT_NE(FunctionLog().find("ConvertiOrdineDa2003 :"), std::string::npos);
}

TEST_F(IfckRequest, OrderConversionFailuresSendNothing) {
    struct Case {
        const char* nome;
        bool ordine;
        std::string tipo;
        int nTipoRichiesta;
        std::string log;
        bool vecchioResta;  // the check for the order file comes before the old request is removed
    };
    const Case cases[] = {
        {"missing order file", false, "02", 0, "ConvertiOrdineDa2003 :File :" + Path("ordseq.txt") + " non presente", true},
        {"unknown kind", true, "03", 0, "ConvertiOrdineDa2003 :TipoRichiesta : 03 Non GESTITA", false},
        {"request type of two digits", true, "02", 12, "ConvertiOrdineDa2003 :TipoRichiesta : 12 non valido", false},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(Path("ordseq.txt"));
        std::filesystem::remove(Path("MorvenClient.log"));
        if (c.ordine) Write("ordseq.txt", "0000000000042\r\n0123456780005\r\n");
        Write("req.DAT", "old request\r\n");
        EXPECT_FALSE(Converti("123456700", c.tipo, "req.DAT", c.nTipoRichiesta)) << c.nome;
        EXPECT_EQ(Exists("req.DAT"), c.vecchioResta) << c.nome;
        EXPECT_NE(FunctionLog().find(c.log), std::string::npos) << c.nome << "\n" << FunctionLog();
    }
}

TEST_F(IfckRequest, FlagColumnsAndFiller) {
    Write("ordseq.txt", "0000000000042\r\n0123456780005\r\n");
    ASSERT_TRUE(ConvertiOrdineDa2003(p, Path("ordseq.txt"), Path("req.DAT"), "1", "02", "RIF", 1, false, true, false,
                                     false, "xyz", true, false, true, false));
    const std::string req = Read("req.DAT");
    const std::string testata = Left(req, req.find("\r\n"));
    EXPECT_EQ(Mid(testata, 20, 10), "       RIF");
    EXPECT_EQ(Mid(testata, 30, 14), "00000004210100");
    EXPECT_EQ(Mid(testata, 44), PadRight("xyz", 78));
    const std::string prodotto = Mid(req, testata.size() + 3, 101);
    EXPECT_EQ(Mid(prodotto, 20, 4), "1NSN");
    EXPECT_EQ(Mid(prodotto, 24), PadRight("xyz", 78));
}

TEST(DataRichiestaDocumento, DateTexts) {
    const std::pair<const char*, const char*> cases[] = {
        {"05/03/2026", "20260305"},       {"5/3/2026", "20260305"},         {"05/03/2026 10:11:12", "20260305"},
        {"2026-03-05", "20260305"},       {"20260305", "20260305"},         {"", "        "},
        {"00:00:00", "        "},         {"30/12/1899", "        "},       {"30/12/1899 00:00:00", "        "},
        {"31/02/2026", ""},               {"ieri", ""},                     {"05/03/26", ""},
        {"05/xx/2026", ""},
    };
    for (const auto& [testo, atteso] : cases) EXPECT_EQ(DataRichiestaDocumento(testo), atteso) << testo;
}

TEST_F(IfckRequest, DocumentRequestWithZeroOrBadDate) {
    ASSERT_TRUE(CreaRichiestaDocumento(p, Path("req.DAT"), "1", "0", "00:00:00", "", "", "", true));
    EXPECT_EQ(Mid(Read("req.DAT"), 41, 8), "        ");
    EXPECT_EQ(Mid(Read("req.DAT"), 40, 1), "0");

    EXPECT_FALSE(CreaRichiestaDocumento(p, Path("req.DAT"), "1", "0", "31/02/2026", "", "", "", true));
    EXPECT_FALSE(Exists("req.DAT"));
    EXPECT_NE(FunctionLog().find("CreaRichiestaDocumento :"), std::string::npos);
}

struct ControllaInvioTest : IfckRequest {
    ControllaInvioTest() {
        p.impostazioni.bCompMvn = true;
        p.impostazioni.sCodiceCliente = "12345";
        p.richiesta.sTipoListino = "C";
        p.richiesta.sTipoDocumento = "2";
        p.richiesta.sDataDocumento = "01/02/2026";
        Write("ordseq.txt", "0000000000042\r\n0123456780005\r\n");
    }
};

TEST_F(ControllaInvioTest, BuildsTheKindTheFlagsAskForAndRederivesThem) {
    struct Case {
        const char* nome;
        bool docs, listino, trattati, pht, disp;
        const char* kind;  // columns 9-10 of the built file; "" when nothing is built
    };
    const Case cases[] = {
        {"documents", true, true, true, false, false, "03"},
        {"price list", false, true, true, false, false, "04"},
        {"PHT agreements", false, false, true, false, false, "06"},
        {"availability", false, false, false, false, true, "01"},
        {"order", false, false, false, false, false, "02"},
        {"PHT order written by its window", false, false, false, true, false, ""},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(Path("req.DAT"));
        p.impostazioni.bRichDocs = c.docs;
        p.richiesta.bRichListino = c.listino;
        p.richiesta.bRichTrattatiPht = c.trattati;
        p.impostazioni.bOrdinePht = c.pht;
        p.impostazioni.bDisponibilita = c.disp;
        const bool costruito = ControllaInvio(p, Path("req.DAT"), true);
        EXPECT_EQ(costruito, std::string(c.kind) != "") << c.nome;
        if (!costruito) continue;
        EXPECT_EQ(Mid(Read("req.DAT"), 9, 2), c.kind) << c.nome;
        // Only the flag of the kind built stays on.
        const std::string k = c.kind;
        EXPECT_EQ(p.impostazioni.bRichDocs, k == "03") << c.nome;
        EXPECT_EQ(p.richiesta.bRichListino, k == "04") << c.nome;
        EXPECT_EQ(p.richiesta.bRichTrattatiPht, k == "06") << c.nome;
        EXPECT_EQ(p.impostazioni.bDisponibilita, k == "01") << c.nome;
        EXPECT_FALSE(p.impostazioni.bOrdinePht) << c.nome;
    }
    // The PHT order window's own file is sent as it stands and sets the PHT order flag.
    Write("req.DAT", "T200500105000012345\r\nZ00000\r\n");
    p.impostazioni.bOrdinePht = true;
    EXPECT_TRUE(ControllaInvio(p, Path("req.DAT"), true));
    EXPECT_EQ(Read("req.DAT"), "T200500105000012345\r\nZ00000\r\n");
    EXPECT_TRUE(p.impostazioni.bOrdinePht);
}

TEST_F(ControllaInvioTest, FileOfTheManagementSoftware) {
    p.impostazioni.bCompMvn = false;
    // Not built: the file is sent as it is, its kind sets the flags (a first line without "T" changes none).
    const std::pair<std::string, bool> cases[] = {{"T200500101001234500\r\n", true}, {"X200500102\r\n", true}};
    for (const auto& [testo, disp] : cases) {
        p.impostazioni.bDisponibilita = true;
        Write("req.DAT", testo);
        EXPECT_TRUE(ControllaInvio(p, Path("req.DAT"), true));
        EXPECT_EQ(p.impostazioni.bDisponibilita, disp) << testo;
    }
    // Without the build flag the header is not read.
    Write("req.DAT", "T200500102001234500\r\n");
    EXPECT_TRUE(ControllaInvio(p, Path("req.DAT"), false));
    EXPECT_TRUE(p.impostazioni.bDisponibilita);
}

TEST_F(ControllaInvioTest, NothingToSend) {
    // Missing, empty, or a conversion that failed: never an empty or a stale request.
    EXPECT_FALSE(ControllaInvio(p, Path("req.DAT"), false));
    Write("req.DAT", "");
    EXPECT_FALSE(ControllaInvio(p, Path("req.DAT"), false));

    Write("req.DAT", "stale\r\n");
    std::filesystem::remove(Path("ordseq.txt"));
    EXPECT_FALSE(ControllaInvio(p, Path("req.DAT"), true));

    p.impostazioni.bRichDocs = true;
    p.richiesta.sDataDocumento = "not a date";
    Write("req.DAT", "stale\r\n");
    EXPECT_FALSE(ControllaInvio(p, Path("req.DAT"), true));
    EXPECT_FALSE(Exists("req.DAT"));
}

}  // namespace
}  // namespace morven

namespace morven {
namespace {

// An availability list with rows of (code, requested quantity) in the columns the confirm reads.
ModelloLista Lista(const std::vector<std::pair<std::string, std::string>>& righe) {
    ModelloLista l;
    l.riuscito = true;
    for (const auto& [codice, quantita] : righe) l.righe.push_back({"KEY_" + codice, {"", codice, "DESCR", quantita}, {}, ""});
    return l;
}

TEST_F(IfckRequest, CreaOrdineWritesTheConfirmedRows) {
    p.impostazioni.bCompMvn = true;
    ASSERT_TRUE(CreaOrdine(p, Lista({{" 012345678 ", " 12 "}, {"A1", "0"}, {"A2", ""}, {"A3", "x"}, {"A4", "-3"},
                                     {"B", "0009999"}})));
    EXPECT_EQ(Read("ordseq.txt"), "0000000000000\r\n0123456780012\r\nB        9999\r\n");
}

TEST_F(IfckRequest, CreaOrdineRefusesWhatWouldOrderSomethingElse) {
    p.impostazioni.bCompMvn = true;
    struct Case {
        const char* nome;
        ModelloLista lista;
        const char* log;
    };
    ModelloLista nonIntera = Lista({{"A", "1"}});
    nonIntera.riuscito = false;
    const Case cases[] = {
        {"quantity of five digits", Lista({{"A", "1"}, {"B", "12345"}}), "CreaOrdine :Quantita' 12345 del prodotto B oltre 4 cifre"},
        {"code of ten characters", Lista({{"0123456789", "1"}}), "CreaOrdine :Codice prodotto \"0123456789\" non valido"},
        {"nothing to order", Lista({{"A", "0"}}), "CreaOrdine :Nessun prodotto da ordinare"},
        {"list not read whole", nonIntera, "CreaOrdine :Elenco risposte non letto per intero"},
    };
    for (const Case& c : cases) {
        Write("ordseq.txt", "previous order\r\n");
        EXPECT_FALSE(CreaOrdine(p, c.lista)) << c.nome;
        EXPECT_EQ(Read("ordseq.txt"), "previous order\r\n") << c.nome;
        EXPECT_NE(FunctionLog().find(c.log), std::string::npos) << c.nome << "\n" << FunctionLog();
    }
}

}  // namespace
}  // namespace morven
