#include "client/engine/helpers.h"
#include "client/engine/programma.h"

#include "tests/client/engine/engine_test_support.h"

#include <fstream>

#include <gtest/gtest.h>

namespace morven {
namespace {

class Helpers : public ::testing::Test, public testing::EngineFixture {};

TEST(Flags, OnlyMinusOneIsTrue) {
    struct Case {
        int flag;
        const char* sn;
        const char* yesNo;
        int bit;
    };
    const Case cases[] = {{-1, "S", "YES", 1}, {0, "N", "NO", 0}, {1, "N", "NO", 0}, {-2, "N", "NO", 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(FlagToSN(c.flag), c.sn) << c.flag;
        EXPECT_EQ(FlagToYesNo(c.flag), c.yesNo) << c.flag;
        EXPECT_EQ(FlagToBit(c.flag), c.bit) << c.flag;
    }
    // A bool is a flag already: true is -1.
    EXPECT_EQ(FlagToSN(true), "S");
    EXPECT_EQ(FlagToYesNo(false), "NO");
    EXPECT_EQ(FlagToBit(true), 1);
    EXPECT_TRUE(PositiveToFlag(-5));
    EXPECT_TRUE(PositiveToFlag(1));
    EXPECT_FALSE(PositiveToFlag(0));
}

TEST_F(Helpers, FormattaTempoCutsMinutesToTwoCharacters) {
    const std::pair<int, const char*> cases[] = {
        {0, " 0:00"}, {59, " 0:59"}, {65, " 1:05"}, {600, "10:00"}, {6000, "00:00"}, {3599, "59:59"},
    };
    for (const auto& [s, text] : cases) EXPECT_EQ(FormattaTempo(p, s), text) << s;
}

TEST_F(Helpers, TextAndPathHelpers) {
    EXPECT_EQ(StripAtNull(std::string("abc\0def", 7)), "abc");
    EXPECT_EQ(StripAtNull("abc"), "abc");

    EXPECT_EQ(AddSlash(p, "/app/", "/"), "");
    EXPECT_EQ(AddSlash(p, "C:\\app\\", "\\"), "");
    EXPECT_EQ(AddSlash(p, "/app", "/"), "/");
    EXPECT_EQ(AddSlash(p, "", "\\"), "\\");

    EXPECT_EQ(TogliPathFile(p, "a/b/c.txt"), "c.txt");
    EXPECT_EQ(TogliPathFile(p, "C:\\app\\MvnConn03.par"), "MvnConn03.par");
    EXPECT_EQ(TogliPathFile(p, "ordseq.txt"), "ordseq.txt");
    EXPECT_EQ(TogliPathFile(p, "dir/"), "");
}

TEST_F(Helpers, CreaDirMakesEveryLevelAndKeepsTheSlash) {
    std::string path = dir / "PHT/MvnConn03";
    EXPECT_TRUE(CreaDir(p, path));
    EXPECT_EQ(path, dir / "PHT/MvnConn03/");
    EXPECT_TRUE(DirectoryExists(dir / "PHT/MvnConn03"));
    EXPECT_TRUE(CreaDir(p, path));  // already there
    EXPECT_EQ(path, dir / "PHT/MvnConn03/");

    std::string relative = "rel//a/./b";
    {
        // A relative path is taken from the working folder; run it inside the test folder.
        const auto old = std::filesystem::current_path();
        std::filesystem::current_path(dir.path());
        EXPECT_TRUE(CreaDir(p, relative));
        std::filesystem::current_path(old);
    }
    EXPECT_TRUE(DirectoryExists(dir / "rel/a/b"));

    std::ofstream(dir / "file") << "x";
    std::string blocked = dir / "file/sub";
    EXPECT_FALSE(CreaDir(p, blocked));
    EXPECT_NE(FunctionLog().find(" - CreaDir :"), std::string::npos);
}

TEST_F(Helpers, WaitKeepsThePumpGoingAndSurvivesMidnight) {
    int polls = 0;
    ScopedPoller poller(t.pump, [&] { ++polls; });
    WaitMilliseconds(p, 0);
    WaitMilliseconds(p, -5);
    EXPECT_EQ(polls, 0);

    // 23:59:59.9 and a wait of a second: the time of day passes midnight, the wait does not care.
    TestClock late({2026, 12, 31, 23, 59, 59});
    late.Advance(900);
    p.oggetti.oClock = &late;
    late.SetAutoStep(100);
    const auto start = late.MonotonicMs();
    WaitMilliseconds(p, 1000);
    const auto waited = late.MonotonicMs() - start;
    EXPECT_GT(waited, 1000);
    EXPECT_LE(waited, 1300);
    EXPECT_EQ(late.Now().year, 2027);
    EXPECT_GE(polls, 2);  // the events are processed while the wait lasts, not only at its end
}

TEST_F(Helpers, WaitSleepsWhileNothingHappens) {
    // Half a minute at 1000x is 30 ms of real time. A pump that spins goes round thousands of times in it; a
    // pump that sleeps until the wait's end wakes only for the wait's own turns (one per
    // kTurnoAttesaMassimoMs of the program's clock at most).
    int giri = 0;
    ScopedPoller poller(t.pump, [&] { ++giri; }, [](WaitSet&) {});
    t.clock.SetScale(1000);
    const auto start = t.clock.MonotonicMs();
    WaitMilliseconds(p, 30000);
    EXPECT_GT(t.clock.MonotonicMs() - start, 30000);
    EXPECT_GE(giri, 2);
    EXPECT_LE(giri, 30000 / kTurnoAttesaMassimoMs + 2);
}

TEST_F(Helpers, SystemHelpersGoThroughTheDesktop) {
    t.desktop.temp = std::string("/var/tmp/\0junk", 14);
    EXPECT_EQ(GetTempDirectory(p), "/var/tmp/");
    t.desktop.browser = "/usr/bin/firefox";
    int code = -1;
    EXPECT_EQ(GetDefaultBrowser(p, code), "/usr/bin/firefox");
    EXPECT_EQ(code, 0);
    t.desktop.browser = "";
    t.desktop.browserCode = 1;
    EXPECT_EQ(GetDefaultBrowser(p, code), "");
    EXPECT_EQ(code, 1);
    EXPECT_EQ(GetPlatformId(p), 2);
}

TEST_F(Helpers, EnableContainerControlsSetsTheFramesControlsAndSkipsFailures) {
    FakeView& form = t.main;
    form.AddControl({"TxtCodice", "Frame", 0, true});
    form.AddControl({"TxtPorta", " frame ", 0, true});
    form.AddControl({"TxtAltro", "Frame", 1, true});
    form.AddControl({"Timer1", "Frame", 0, false});       // no enabled state
    form.AddControl({"TxtSenzaIndice", "Frame", -1, true});  // container not an array: logged, skipped
    form.AddControl({"TxtDopo", "FRAME", 0, true});
    form.AddControl({"CmdConferma", "", -1, true});

    EXPECT_TRUE(EnableContainerControls(p, form, "Frame ", 0, false));
    EXPECT_FALSE(form.Enabled("TxtCodice"));
    EXPECT_FALSE(form.Enabled("TxtPorta"));
    EXPECT_FALSE(form.Enabled("TxtDopo"));
    EXPECT_TRUE(form.Enabled("TxtAltro"));
    EXPECT_TRUE(form.Enabled("Timer1"));
    EXPECT_TRUE(form.Enabled("TxtSenzaIndice"));
    EXPECT_TRUE(form.Enabled("CmdConferma"));
    EXPECT_NE(FunctionLog().find(" - EnableContainerControls :"), std::string::npos);

    // No name: every control that has an enabled state.
    EXPECT_TRUE(EnableContainerControls(p, form, "", 0, false));
    EXPECT_FALSE(form.Enabled("TxtAltro"));
    EXPECT_FALSE(form.Enabled("TxtSenzaIndice"));
    EXPECT_FALSE(form.Enabled("CmdConferma"));
    EXPECT_TRUE(form.Enabled("Timer1"));
}

TEST_F(Helpers, ListRowColourAndColumnSizes) {
    ListItem item{"K1", {"A", "B", "C"}, {}};
    ColorListItemRow(item, 0xFF);
    EXPECT_EQ(item.colors, (std::vector<std::uint32_t>{0xFF, 0xFF, 0xFF}));

    ListModel& list = t.main.List("LvwMancanti");
    list.columns = {"Cod", "Descrizione", "Qt"};
    list.items.push_back({"R1", {"012345678", "ASPIRINA", "12345"}, {}});
    AutoSizeListViewColumns(t.main, "LvwMancanti");
    // "COD" + "XXX" is 6 < 9; "DESCRIZIONE" 11 > 8; "QT" 2 < 5.
    EXPECT_EQ(list.columnWidths, (std::vector<int>{9, 11, 5}));
    ASSERT_EQ(list.items.size(), 1u);
    EXPECT_EQ(list.items[0].sKey, "R1");

    list.items.clear();
    AutoSizeListViewColumns(t.main, "LvwMancanti");
    EXPECT_EQ(list.columnWidths, (std::vector<int>{6, 11, 2}));

    EXPECT_THROW(AutoSizeListViewColumns(t.main, "Vuota"), ErroreMorven);
}

TEST(Dates, NamesAndDayNumbers) {
    int y = 0, m = 0, d = 0;
    EXPECT_TRUE(DataDaNome("20240229", y, m, d));
    EXPECT_EQ(y * 10000 + m * 100 + d, 20240229);
    for (const char* bad : {"20230229", "20261301", "20261200", "2026121", "202612101", "2026-1-1", "........"}) {
        EXPECT_FALSE(DataDaNome(bad, y, m, d)) << bad;
    }
    EXPECT_EQ(GiornoAssoluto(1970, 1, 1), 0);
    EXPECT_EQ(GiornoAssoluto(2026, 12, 10) - GiornoAssoluto(2026, 11, 10), 30);
    EXPECT_EQ(GiornoAssoluto(2027, 1, 1) - GiornoAssoluto(2026, 12, 31), 1);
    EXPECT_EQ(DataAAAAMMGG({2026, 3, 7, 1, 2, 3}), "20260307");
    EXPECT_EQ(DataOraLog({2026, 3, 7, 1, 2, 3}), "07/03/2026 01:02:03");
}

}  // namespace
}  // namespace morven
