// The browser window's rules without widgets: its size at load, its layout on resize, what closing it does
// to the page display, and the page the navigate button shows in it when no external browser can.
#include "client/presenters/browser_window.h"

#include "client/engine/testing/test_program.h"
#include "client/presenters/main_window.h"
#include "platform/core/files.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

namespace morven {
namespace {

TEST(BrowserWindow, SizeAtLoadAndLayoutOnResize) {
    const MisuraBrowser m = MisuraInizialeBrowser(15360, 11520);
    EXPECT_EQ(m.larghezza, 11520);
    EXPECT_EQ(m.altezza, 8640);
    EXPECT_EQ(TwipsPerPixel(96), 15);
    EXPECT_EQ(TwipsPerPixel(0), 15);

    struct Caso {
        int larghezza, altezza;
        std::optional<int> altezzaBrowser, larghezzaControlli;
    };
    const Caso casi[] = {
        {11520, 8640, 8240, 11420},
        {100, 400, 0, 0},
        {5000, 399, std::nullopt, 4900},  // too low: the browser keeps its height, the widths still follow
        {99, 3000, 2600, std::nullopt},
        {0, 0, std::nullopt, std::nullopt},
    };
    for (const Caso& c : casi) {
        const LayoutBrowser l = RidimensionaBrowser(c.larghezza, c.altezza);
        EXPECT_EQ(l.altezzaBrowser, c.altezzaBrowser) << c.larghezza << "x" << c.altezza;
        EXPECT_EQ(l.larghezza, c.larghezzaControlli) << c.larghezza << "x" << c.altezza;
    }
}

struct BrowserProgram : ::testing::Test {
    morven::testing::TempDir dir;
    TestProgram t{dir.path()};
    Programma& p = t.p;
};

TEST_F(BrowserProgram, ClosingTurnsThePageDisplayOffExceptAtTheEnd) {
    const std::pair<PassoSessione, bool> casi[] = {{kPassoNessuno, false}, {kPassoInviaOrdine, false}, {kPassoFinestraNascosta, true}};
    for (const auto& [passo, resta] : casi) {
        p.impostazioni.bDispBrowser = true;
        p.sessione.nPassoSessione = passo;
        ChiusuraBrowser(p);
        EXPECT_EQ(p.impostazioni.bDispBrowser, resta) << passo;
    }
    p.impostazioni.bDispBrowser = false;
    p.sessione.nPassoSessione = kPassoFinestraNascosta;
    ChiusuraBrowser(p);
    EXPECT_FALSE(p.impostazioni.bDispBrowser);
}

TEST_F(BrowserProgram, NavigateButtonWithoutExternalBrowserOpensTheBrowserWindow) {
    struct Risposte : VistaRisposte {
        void MostraLista(const ModelloLista&) override {}
        int RigaSelezionata() const override { return -1; }
        void MostraDocumenti(const ModelloDocumenti&) override {}
    } risposte;
    std::filesystem::create_directories(dir / "HTML/03");
    ReplaceFileAtomically(dir / "HTML/03/index.htm", "<p>3</p>");
    std::vector<std::string> pagine;
    CollegamentiFrmMorven c;
    c.MostraPagina = [&](const std::string& a) { pagine.push_back(a); };
    EventiFrmMorven f(p, t.main, risposte, c);

    p.impostazioni.sBrowserEsterno.clear();
    p.percorsi.sUltimoUrl = "www.grossista.it/ordini?id=1";
    f.CmdNaviga_Click();
    // The external browser would have had the address with its scheme; the window shows the same.
    ASSERT_EQ(pagine.size(), 1u);
    EXPECT_EQ(pagine[0], "http://www.grossista.it/ordini?id=1");

    // No remote page shown yet: the local page of the selected slot, then the general one.
    p.percorsi.sUltimoUrl.clear();
    p.opzioni.sGrossistaSelezionato = "03";
    f.CmdNaviga_Click();
    p.opzioni.sGrossistaSelezionato.clear();
    f.CmdNaviga_Click();
    ASSERT_EQ(pagine.size(), 3u);
    EXPECT_EQ(pagine[1], dir / "HTML/03/index.htm");
    EXPECT_EQ(pagine[2], dir / "HTML/index.htm");

    // An external browser that starts keeps the page to itself.
    p.impostazioni.sBrowserEsterno = "/bin/true";
    p.percorsi.sUltimoUrl = "http://www.grossista.it/x";
    f.CmdNaviga_Click();
    EXPECT_EQ(pagine.size(), 3u);
}

}  // namespace
}  // namespace morven
