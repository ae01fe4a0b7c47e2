#include <gtest/gtest.h>

#include "client/session/call_driver.h"

#include "client/engine/settings.h"
#include "client/engine/testing/test_program.h"
#include "platform/core/clock.h"
#include "platform/core/files.h"
#include "platform/core/text.h"
#include "tests/platform/core/temp_dir.h"

namespace morven {
namespace {

TEST(CallDriverRulesTest, ExchangeKindFirstFlagWins) {
    struct Row {
        FlagsRichiesta f;
        const char* kind;
    } rows[] = {
        {{}, "02"},
        {{true, true, true, true, true}, "01"},
        {{false, true, false, true, false}, "03"},
        {{false, false, true, true, true}, "04"},
        {{false, false, false, true, true}, "05"},
        {{false, false, false, false, true}, "06"},
    };
    for (const auto& r : rows) EXPECT_EQ(TipoScambioIFCK(r.f), r.kind);
    EXPECT_EQ(FileIFCKIn("02"), "IFCK02_IN_MORVEN.DAT");
    EXPECT_EQ(FileIFCKOut("02"), "IFCK02_OUT_MORVEN.DAT");
}

TEST(CallDriverRulesTest, AvailabilityClientCode) {
    const std::pair<const char*, const char*> rows[] = {
        {"12345", "00123450850000"},     {"1234567890", "12345670720000"}, {"0000000", "00000001000000"},
        {"9999999", "99999990370000"},   {" 12 ", "00000120970000"},       {"", "00000001000000"},
        {"12A4567", "12A45670750000"},
    };
    for (const auto& [in, out] : rows) EXPECT_EQ(CodiceClienteDisponibilita(in), out) << in;
}

TEST(CallDriverRulesTest, SessionLogName) {
    EXPECT_EQ(NomeLogSessione("03", DateTime{2006, 10, 15, 9, 30, 12}), "MvnConn03-20061015-093012.log");
    EXPECT_EQ(NomeLogSessione("ABCD", DateTime{2026, 1, 2, 3, 4, 5}), "MvnConnABCD-20260102-030405.log");
}

// Whether a slot has an exchange, for the interface values its writers leave (the settings window saves
// "IFCK" and "DOCUMENTI" in IFCK mode, and keeps them in order mode when nothing of the list is chosen), as
// the settings reader derives them: exchange files carry any request, the older protocols need a class.
TEST(CallDriverRulesTest, SlotHasAnExchange) {
    const struct {
        const char* interfaccia;
        const char* ifck;
        bool scambio;
    } rows[] = {
        {"IFCK", "YES", true},        {"DOCUMENTI", "YES", true},   {"SCONOSCIUTA", "YES", true},
        {"ORDINE", "NO", true},       {"NOTIZIE-ALL", "NO", true},  {"POSTA", "NO", true},
        {"CPJ", "NO", true},          {"DOCUMENTI", "NO", false},   {"IFCK", "NO", false},
        {"SCONOSCIUTA", "NO", false},
    };
    testing::TempDir dir;
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.interfaccia) + " " + r.ifck);
        TestProgram t{dir.path()};
        const std::string file = dir / "MvnConn01.par";
        ReplaceFileAtomically(file, PadRight("Interface", 10) + ":" + r.interfaccia + "\r\n" + PadRight("ModeIFCK", 10) +
                                        ":" + r.ifck + "\r\n");
        ASSERT_TRUE(LeggiImpostazioni(t.p, file));
        EXPECT_EQ(HaScambio(t.p.impostazioni), r.scambio);
    }
}

}  // namespace
}  // namespace morven
