#include "client/engine/errors.h"
#include "client/engine/programma.h"

#include "tests/client/engine/engine_test_support.h"

#include <stdexcept>

#include <gtest/gtest.h>

namespace morven {
namespace {

class Errors : public ::testing::Test, public testing::EngineFixture {};

TEST_F(Errors, BoundaryLogsNameColonDescriptionAndReturnsResultAsItStands) {
    int reached = 0;
    const int r = EseguiProcedura(p, "Conta", 0, [&](int& result) {
        result = 7;
        ++reached;
        SollevaErrore(kErrFileNonTrovato);
        result = 9;  // never reached
    });
    EXPECT_EQ(r, 7);
    EXPECT_EQ(reached, 1);
    EXPECT_EQ(FunctionLog(), "10/12/2026 10:00:00 - Conta :Impossibile trovare il file\r\n");
}

TEST_F(Errors, AnyExceptionIsCaughtAndTheFallbackReturned) {
    ErroreMorven seen(0, "");
    const std::string r = EseguiProcedura(
        p, "Leggi", std::string("fallback"), [&]() -> std::string { throw std::runtime_error("porta chiusa"); },
        [&](const ErroreMorven& e) { seen = e; });
    EXPECT_EQ(r, "fallback");
    EXPECT_EQ(seen.nNumero, kErrChiamataNonValida);
    EXPECT_EQ(seen.sDescrizione, "porta chiusa");
    EXPECT_EQ(FunctionLog(), "10/12/2026 10:00:00 - Leggi :porta chiusa\r\n");

    // A body that returns its result.
    EXPECT_EQ(EseguiProcedura(p, "Somma", 0, [] { return 5; }), 5);
}

TEST_F(Errors, StagesSkipFailingStatementsOnlyInsideScans) {
    int done = 0;
    const bool r = EseguiProcedura(p, "Scansione", false, [&](bool& ok) {
        for (int i = 0; i < 3; ++i) {
            Istruzione(p, "Scansione", kStadioSalta, [&] {
                if (i == 1) SollevaErrore(kErrAccessoPercorso);
                ++done;
            });
        }
        Istruzione(p, "Scansione", kStadioTermina, [&] { SollevaErrore(kErrOverflow); });
        ok = true;  // not reached: stage 0 ends the procedure
    });
    EXPECT_FALSE(r);
    EXPECT_EQ(done, 2);
    EXPECT_EQ(FunctionLog(),
              "10/12/2026 10:00:00 - Scansione :Errore di accesso al percorso o al file\r\n"
              "10/12/2026 10:00:00 - Scansione :Overflow\r\n");
}

TEST(Programs, AreIndependentAndAMissingPortIsAnError) {
    testing::TempDir a, b;
    TestProgram one(a.path()), two(b.path());
    one.p.sessione.nPassoSessione = kPassoInviaOrdine;
    one.p.impostazioni.sConnect = "Uno";
    EXPECT_EQ(two.p.sessione.nPassoSessione, kPassoNessuno);
    EXPECT_EQ(two.p.impostazioni.sConnect, "");

    Programma bare;
    bare.percorsi.sPathApp = a.path();
    bare.oggetti.oClock = &one.clock;  // the function log needs a clock
    EXPECT_FALSE(EseguiProcedura(bare, "Mostra", false, [&](bool& ok) {
        bare.FrmMorven().Show();
        ok = true;
    }));
    std::string log;
    ReadWholeFile(a / "MorvenClient.log", log);
    EXPECT_EQ(log, "10/12/2026 10:00:00 - Mostra :Variabile oggetto o variabile del blocco With non impostata\r\n");
}

TEST(State, DefaultsAreTheProgramsStartValues) {
    Programma p;
    EXPECT_EQ(p.impostazioni.sSpeedComm, "57600");
    EXPECT_EQ(p.impostazioni.nPorta, 1121);
    EXPECT_TRUE(p.impostazioni.bModeIFCK);
    EXPECT_TRUE(p.impostazioni.bAutoIncPorta);
    EXPECT_EQ(p.impostazioni.nTimeMaxOrd, 600);
    EXPECT_EQ(p.impostazioni.nTimeMaxRxP, 1800);
    EXPECT_EQ(p.opzioni.sSorgenteIFCK, "MORVEN");
    EXPECT_TRUE(p.opzioni.bComponiNumero);
    EXPECT_EQ(p.sessione.aRecordOrdine.size(), 501u);
    EXPECT_EQ(p.sessione.nTimeOutRecord, 30);
}

}  // namespace
}  // namespace morven
