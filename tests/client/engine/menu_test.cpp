// The wholesaler menu from the slots' settings files, the embedded browser's pages and the external browser.
#include "client/engine/menu.h"

#include "client/engine/testing/test_program.h"
#include "platform/core/files.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace morven {
namespace {

struct MenuFixture : ::testing::Test {
    morven::testing::TempDir dir;
    TestProgram t{dir.path()};
    void Scrivi(const std::string& nome, const std::string& testo) {
        std::filesystem::create_directories(std::filesystem::path(dir / nome).parent_path());
        ReplaceFileAtomically(dir / nome, testo);
    }
    std::string Log() {
        std::string s;
        ReadWholeFile(dir / "MorvenClient.log", s);
        return s;
    }
};

TEST_F(MenuFixture, EntriesFollowTheSettingsFiles) {
    Scrivi("MvnConn03.par", "Connect   :Farmagross Nord\r\nCliente   :123\r\n");
    Scrivi("MvnConn05.par", "Cliente   :damaged, first line lost\r\n");
    Scrivi("MvnConn07.par", "");
    Scrivi("MvnConn10.par", "CONNECT   :Dieci");  // no line end, capitals
    for (const bool blocca : {false, true}) {
        SCOPED_TRACE(blocca ? "locked" : "unlocked");
        // Captions left over from an earlier build must go.
        for (int n = 1; n <= 10; ++n) t.main.SetText(VoceConnessione(n), "old");
        ASSERT_EQ(ImpostaElencoConnessioni(t.p, t.main, blocca), -1);
        for (int n = 1; n <= 10; ++n) {
            SCOPED_TRACE(n);
            const std::string atteso = n == 3 ? "Farmagross Nord" : n == 10 ? "Dieci" : "";
            EXPECT_EQ(t.main.Text(VoceConnessione(n)), atteso);
            EXPECT_EQ(t.main.Text(VoceImpostazioni(n)), atteso);
            EXPECT_EQ(t.main.Enabled(VoceConnessione(n)), !blocca && !atteso.empty());
            // While a session runs no slot entry at all can be chosen.
            EXPECT_EQ(t.main.Enabled(VoceImpostazioni(n)), !blocca);
        }
    }
}

TEST_F(MenuFixture, LocalPagesOfTheSlotOrTheGeneralOne) {
    Scrivi("HTML/index.htm", "<p>generale</p>");
    Scrivi("HTML/03/index.htm", "<p>tre</p>");
    std::string vuoto;
    ASSERT_EQ(ImpostaMainBrowser(t.p, vuoto, "03", true), -1);
    ASSERT_EQ(ImpostaMainBrowser(t.p, vuoto, "04", true), -1);
    ASSERT_EQ(ImpostaMainBrowser(t.p, vuoto, "NONE", true), -1);
    ASSERT_EQ(t.main.navigations.size(), 3u);
    EXPECT_EQ(t.main.navigations[0].first, "WebBrowser1");
    EXPECT_EQ(t.main.navigations[0].second, dir / "HTML/03/index.htm");
    EXPECT_EQ(t.main.navigations[1].second, dir / "HTML/index.htm");
    EXPECT_EQ(t.main.navigations[2].second, dir / "HTML/index.htm");
    EXPECT_TRUE(t.p.percorsi.sUltimoUrl.empty());
}

TEST_F(MenuFixture, RemoteAddressesGetSchemeAndMini) {
    const struct {
        const char* dato;
        const char* scritto;
    } casi[] = {
        {"www.grossista.it/p?id=3", "http://www.grossista.it/p?id=3"},
        {"HTTP://WWW.X.IT/?a=1", "HTTP://WWW.X.IT/?a=1"},
        {"https://x.it/?b=2", "https://x.it/?b=2"},
    };
    for (const auto& c : casi) {
        std::string indirizzo = c.dato;
        ASSERT_EQ(ImpostaMainBrowser(t.p, indirizzo, "", false), -1);
        EXPECT_EQ(indirizzo, c.scritto);
        EXPECT_EQ(t.p.percorsi.sUltimoUrl, c.scritto);
        EXPECT_EQ(t.main.navigations.back().second, std::string(c.scritto) + "&mini=1");
    }
}

TEST_F(MenuFixture, NavigationErrorFallsBackOnceThenBlank) {
    Scrivi("HTML/index.htm", "x");
    t.p.opzioni.sGrossistaSelezionato = "02";
    EXPECT_EQ(DopoErroreNavigazione(t.p, "http://x.it/?a=1&mini=1"), dir / "HTML/index.htm");
    // The local page fails too: blank, and the blank page ends it.
    EXPECT_EQ(DopoErroreNavigazione(t.p, "file://" + (dir / "HTML/index.htm")), "about:blank");
    EXPECT_EQ(DopoErroreNavigazione(t.p, "about:blank"), "");
    ASSERT_EQ(t.main.navigations.size(), 2u);
    EXPECT_EQ(t.main.navigations[1].second, "about:blank");
}

TEST_F(MenuFixture, ExternalBrowserStartedWithTheAddressAsOneArgument) {
    // A "browser" that writes its arguments to a file.
    const std::string script = dir / "browser.sh";
    Scrivi("browser.sh", "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + (dir / "args.txt") + "\"\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    t.p.impostazioni.sBrowserEsterno = script;
    std::string indirizzo = "x.it/a b;rm -rf";
    ASSERT_EQ(MostraBrowser(t.p, indirizzo), -1);
    EXPECT_EQ(indirizzo, "http://x.it/a b;rm -rf");
    // The browser is not waited for; poll for the file it writes (a separate process, no protocol time).
    std::string args;
    for (int i = 0; i < 500 && args.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ReadWholeFile(dir / "args.txt", args);
    }
    EXPECT_EQ(args, "http://x.it/a b;rm -rf|");

    t.p.impostazioni.sBrowserEsterno = dir / "missing-browser";
    EXPECT_EQ(MostraBrowser(t.p, indirizzo), 0);
    EXPECT_NE(Log().find("MostraBrowser :"), std::string::npos);
}

}  // namespace
}  // namespace morven
