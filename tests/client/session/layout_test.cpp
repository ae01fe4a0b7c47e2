// The main window's layout per phase, read back from a recording view.
#include "client/session/layout.h"

#include "client/engine/testing/test_program.h"
#include "platform/core/files.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

#include <optional>

namespace morven {
namespace {

// Expected Visible/Enabled per phase; nullopt = left as it was.
struct Atteso {
    const char* controllo;
    bool abilitato;  // the Enabled property instead of Visible
    std::optional<bool> fasi[6];
};

constexpr std::optional<bool> _ = std::nullopt;

TEST(MainWindowLayout, PhaseTableInBothModes) {
    for (const bool ifck : {false, true}) {
        const Atteso tabella[] = {
            {"WebBrowser1", false, {true, true, false, false, true, false}},
            {"LVWMancanti", false, {false, false, true, true, false, false}},
            {"TreeView1", false, {false, false, false, false, false, true}},
            {"PictureMenu(0)", false, {true, false, false, false, false, false}},
            {"PictureMenu(1)", false, {false, true, false, false, false, false}},
            {"PictureMenu(2)", false, {false, false, true, true, true, true}},
            {"CmdChiudi(0)", true, {_, _, true, true, true, true}},
            {"CmdConferma", false, {_, _, true, false, false, false}},
            {"CmdAnnulla", false, {_, _, true, false, false, false}},
            {"CmdNaviga", false, {_, _, false, true, true, true}},
            {"PictureinfoOrdine", false, {_, _, false, ifck, false, false}},
            {"PictureMessaggio", false, {_, _, false, true, true, true}},
        };
        for (int fase = 0; fase < 6; ++fase) {
            SCOPED_TRACE(::testing::Message() << "phase " << fase << (ifck ? " IFCK" : ""));
            // Start from a marker value opposite to nothing in particular: every control first set to a value the
            // phase must not leave when it sets the control, and checked untouched where the table is blank.
            for (const bool prima : {false, true}) {
                TestProgram t("/nonexistent");
                t.p.impostazioni.bModeIFCK = ifck;
                for (const Atteso& a : tabella) {
                    if (a.abilitato) t.main.SetEnabled(a.controllo, prima);
                    else t.main.SetVisible(a.controllo, prima);
                }
                ASSERT_TRUE(ImpostaVisualizzazione(t.p, t.main, fase, "Titolo", "Grossista"));
                for (const Atteso& a : tabella) {
                    const bool valore = a.abilitato ? t.main.Enabled(a.controllo) : t.main.Visible(a.controllo);
                    EXPECT_EQ(valore, a.fasi[fase].value_or(prima)) << a.controllo;
                }
                EXPECT_EQ(t.main.Text("LblSpazioRosso"), "Titolo");
                EXPECT_EQ(t.main.Text("LblSpazioGrigio"), "Grossista");
            }
        }
    }
}

TEST(MainWindowLayout, PhaseOutsideTheTableOnlyHidesTheStripAndSetsCaptions) {
    TestProgram t("/nonexistent");
    t.main.SetVisible("WebBrowser1", true);
    t.main.SetVisible("PictureMenu(2)", true);
    t.main.SetVisible("CmdConferma", true);
    ASSERT_TRUE(ImpostaVisualizzazione(t.p, t.main, 9, "X", "Y"));
    EXPECT_FALSE(t.main.Visible("PictureMenu(2)"));
    EXPECT_TRUE(t.main.Visible("WebBrowser1"));
    EXPECT_TRUE(t.main.Visible("CmdConferma"));
    EXPECT_EQ(t.main.Text("LblSpazioRosso"), "X");
}

TEST(MainWindowLayout, AvailabilityAfterEndShowsListAndButtons) {
    TestProgram t("/nonexistent");
    ImpostaVisualizzazione(t.p, t.main, 4, "Fine", "");
    ImpostaVisualizzazione(t.p, t.main, 2, "Elenco Risposte", "");
    EXPECT_FALSE(t.main.Visible("WebBrowser1"));
    EXPECT_TRUE(t.main.Visible("LVWMancanti"));
    EXPECT_TRUE(t.main.Visible("CmdConferma"));
    EXPECT_TRUE(t.main.Visible("CmdAnnulla"));
    EXPECT_FALSE(t.main.Visible("CmdNaviga"));
}

// A view that fails on one control, as a window without it would.
class ViewSenzaControllo : public FakeView {
public:
    void SetVisible(std::string_view c, bool v) override {
        if (c == "TreeView1") throw ErroreMorven(438, "Proprieta' o metodo non supportati");
        FakeView::SetVisible(c, v);
    }
};

TEST(MainWindowLayout, MissingControlIsLoggedAndEarlierControlsKeepTheirValues) {
    morven::testing::TempDir dir;
    TestProgram t(dir.path());
    ViewSenzaControllo v;
    v.SetVisible("WebBrowser1", false);
    EXPECT_FALSE(ImpostaVisualizzazione(t.p, v, 1, "Collegamento", "G"));
    std::string log;
    ReadWholeFile(dir / "MorvenClient.log", log);
    EXPECT_NE(log.find(" - ImpostaVisualizzazione :Proprieta' o metodo non supportati"), std::string::npos) << log;
    EXPECT_TRUE(v.Visible("WebBrowser1"));
    EXPECT_TRUE(v.Visible("PictureMenu(1)"));
    EXPECT_NE(v.Text("LblSpazioRosso"), "Collegamento");
}

}  // namespace
}  // namespace morven
