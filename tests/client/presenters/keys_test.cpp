// Function-key codes and the rule that the answer's keys press only a button the window shows and enables.
#include "client/presenters/keys.h"

#include "client/engine/testing/fakes.h"

#include <gtest/gtest.h>

namespace morven {
namespace {

TEST(FunctionKeys, CodeAddsThousandsPerModifier) {
    const struct {
        int tasto, shift, codice;
    } casi[] = {{112, 0, 112}, {112, 1, 1112}, {112, 2, 2112}, {112, 4, 3112}, {121, 3, 3121}, {114, 7, 6114}, {65, 0, 65}};
    for (const auto& c : casi) EXPECT_EQ(CodiceTasto(c.tasto, c.shift), c.codice) << c.tasto << "+" << c.shift;
}

// The answer's keys need their button on screen; the browser and close keys act in every layout.
TEST(FunctionKeys, AnswerKeysPressOnlyAVisibleEnabledButton) {
    const struct {
        int codice;
        const char* pulsante;
        bool soloSeOfferto;
    } tabella[] = {{112, "CmdConferma", true}, {114, "CmdAnnulla", true}, {116, "CmdNaviga", false}, {121, "CmdChiudi(0)", false}};
    for (const auto& r : tabella) {
        SCOPED_TRACE(r.pulsante);
        const std::string nascosto = r.soloSeOfferto ? "" : r.pulsante;
        FakeView v;
        EXPECT_EQ(PulsanteDelTasto(v, r.codice), r.pulsante);
        v.SetVisible(r.pulsante, false);
        EXPECT_EQ(PulsanteDelTasto(v, r.codice), nascosto);
        v.SetVisible(r.pulsante, true);
        v.SetEnabled(r.pulsante, false);
        EXPECT_EQ(PulsanteDelTasto(v, r.codice), nascosto);
    }
    FakeView v;
    // Modified function keys and the other function keys do nothing.
    for (int codice : {1112, 2112, 3112, 113, 115, 117, 118, 119, 120, 1121}) EXPECT_EQ(PulsanteDelTasto(v, codice), "") << codice;
}

}  // namespace
}  // namespace morven
