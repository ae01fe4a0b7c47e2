#include "client/engine/logs.h"
#include "client/engine/helpers.h"
#include "client/engine/programma.h"

#include "tests/client/engine/engine_test_support.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace morven {
namespace {

class Logs : public ::testing::Test, public testing::EngineFixture {};

TEST_F(Logs, SessionLogGoesToTheDaysFolderAndStartsAnewOrAppends) {
    EXPECT_TRUE(ScriviLog(p, "MvnConn03-20261210-100000.log", false, "prima"));
    EXPECT_TRUE(ScriviLog(p, "MvnConn03-20261210-100000.log", true, "TX:1ORD"));
    EXPECT_EQ(Read("log/20261210/MvnConn03-20261210-100000.log"), "prima\r\nTX:1ORD\r\n");

    // A second session the same day: a new file in the same folder.
    EXPECT_TRUE(ScriviLog(p, "MvnConn03-20261210-110000.log", false, ""));
    EXPECT_EQ(Read("log/20261210/MvnConn03-20261210-110000.log"), "\r\n");
    EXPECT_EQ(Read("log/20261210/MvnConn03-20261210-100000.log"), "prima\r\nTX:1ORD\r\n");

    // Not appending empties a file that exists.
    EXPECT_TRUE(ScriviLog(p, "MvnConn03-20261210-100000.log", false, "nuovo"));
    EXPECT_EQ(Read("log/20261210/MvnConn03-20261210-100000.log"), "nuovo\r\n");

    // The next day: a new folder.
    t.clock.Advance(24 * 3600 * 1000);
    EXPECT_TRUE(ScriviLog(p, "x.log", true, "dopo"));
    EXPECT_EQ(Read("log/20261211/x.log"), "dopo\r\n");
}

TEST_F(Logs, SessionLogFindsItsFolderAgainWhenItGoesOrTheProgramMoves) {
    EXPECT_TRUE(ScriviLog(p, "s.log", true, "uno"));
    std::filesystem::remove_all(dir / "log");  // cleaned away while the session runs
    EXPECT_TRUE(ScriviLog(p, "s.log", true, "due"));
    EXPECT_EQ(Read("log/20261210/s.log"), "due\r\n");
    std::filesystem::remove_all(dir / "log");
    mkdir((dir / "LOG").c_str(), 0755);  // back with another case
    EXPECT_TRUE(ScriviLog(p, "s.log", true, "tre"));
    EXPECT_EQ(Read("LOG/20261210/s.log"), "tre\r\n");

    // Another application folder gets its own log folder.
    mkdir((dir / "altra").c_str(), 0755);
    p.percorsi.sPathApp = dir / "altra";
    EXPECT_TRUE(ScriviLog(p, "s.log", true, "quattro"));
    EXPECT_EQ(Read("altra/log/20261210/s.log"), "quattro\r\n");
    EXPECT_EQ(Read("LOG/20261210/s.log"), "tre\r\n");
}

TEST_F(Logs, SessionLogUsesALogFolderOfAnyCase) {
    mkdir((dir / "LOG").c_str(), 0755);
    EXPECT_TRUE(ScriviLog(p, "s.log", true, "riga"));
    EXPECT_EQ(Read("LOG/20261210/s.log"), "riga\r\n");
    EXPECT_FALSE(DirectoryExists(dir / "log"));
}

TEST_F(Logs, SessionLogFeedsTheDebugListWhileItIsShown) {
    ListModel& list = t.debug.List("List1");
    EXPECT_TRUE(ScriviLog(p, "s.log", true, "nascosto"));
    EXPECT_TRUE(list.items.empty());

    t.debug.Show();
    list.items.push_back({"", {"vecchia"}, {}});
    EXPECT_TRUE(ScriviLog(p, "s.log", true, "uno"));
    EXPECT_TRUE(ScriviLog(p, "s.log", true, "due"));
    ASSERT_EQ(list.items.size(), 3u);
    EXPECT_EQ(list.items[2].texts[0], "due");
    EXPECT_EQ(list.selected, 2);

    EXPECT_TRUE(ScriviLog(p, "s.log", false, "sessione nuova"));
    ASSERT_EQ(list.items.size(), 1u);
    EXPECT_EQ(list.items[0].texts[0], "sessione nuova");
    EXPECT_EQ(list.selected, 0);
    EXPECT_EQ(t.debug.listChanges["List1"], 3);
}

TEST_F(Logs, SessionLogFailureIsLoggedAndReported) {
    std::ofstream(dir / "log") << "a file, not a folder";
    EXPECT_FALSE(ScriviLog(p, "s.log", true, "x"));
    EXPECT_NE(FunctionLog().find(" - ScriviLog :"), std::string::npos);
}

TEST_F(Logs, FunctionLogLines) {
    t.clock.Advance((9 * 3600 + 5 * 60 + 3) * 1000LL);  // 19:05:03
    EXPECT_EQ(ScriviLogFunzione(p, "CreaDir :Impossibile trovare il percorso"),
              "10/12/2026 19:05:03 - CreaDir :Impossibile trovare il percorso");
    EXPECT_EQ(ScriviLogFunzione(p, "avvio", "Form_Load"), "10/12/2026 19:05:03 - [FUNZIONE : Form_Load]avvio");
    EXPECT_EQ(FunctionLog(),
              "10/12/2026 19:05:03 - CreaDir :Impossibile trovare il percorso\r\n"
              "10/12/2026 19:05:03 - [FUNZIONE : Form_Load]avvio\r\n");
    ScriviLogFunzione(p, "altro", "", "Impostazioni");
    EXPECT_EQ(Read("Impostazioni.log"), "10/12/2026 19:05:03 - altro\r\n");

    // A folder that cannot be written: nothing is thrown, nothing else happens.
    p.percorsi.sPathApp = dir / "missing";
    EXPECT_NO_THROW(ScriviLogFunzione(p, "perso"));
}

struct StatusCase {
    const char* name;
    std::string stato;
    int max, value;
    int barMax, barValue;
    std::string bytes;
};

TEST_F(Logs, WriteStatusShowsAndWritesTheStatusFile) {
    const std::string longText(60, 'x');
    const StatusCase cases[] = {
        {"plain", "Invio Ordine", 100, 42, 100, 42,
         "Invio Ordine" + std::string(38, ' ') + "\r\nsecondo" + std::string(43, ' ') + "\r\n 100\r\n 42\r\n 0:05\r\n 1:10\r\n"},
        {"no maximum", "Settaggio Modem", 0, 0, 10, 0,
         "Settaggio Modem" + std::string(35, ' ') + "\r\nsecondo" + std::string(43, ' ') + "\r\n10\r\n 0\r\n 0:05\r\n 1:10\r\n"},
        {"value above maximum", "R", 100, 120, 100, 100,
         "R" + std::string(49, ' ') + "\r\nsecondo" + std::string(43, ' ') + "\r\n 100\r\n 100\r\n 0:05\r\n 1:10\r\n"},
        {"negative value", "R", 5, -3, 5, -3,
         "R" + std::string(49, ' ') + "\r\nsecondo" + std::string(43, ' ') + "\r\n 5\r\n-3\r\n 0:05\r\n 1:10\r\n"},
        {"long text", longText, 100, 1, 100, 1,
         std::string(50, 'x') + "\r\nsecondo" + std::string(43, ' ') + "\r\n 100\r\n 1\r\n 0:05\r\n 1:10\r\n"},
    };
    int polls = 0;
    ScopedPoller poller(t.pump, [&] { ++polls; });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(Write_Status(p, c.stato, "secondo", c.max, c.value, " 0:05", " 1:10"));
        EXPECT_EQ(Read("winstat.dat"), c.bytes);
        for (FakeView* v : {&t.main, &t.browser}) {
            EXPECT_EQ(v->Text("status"), c.stato);  // the label shows the whole text
            EXPECT_EQ(v->Max("Avanzamento"), c.barMax);
            EXPECT_EQ(v->Value("Avanzamento"), c.barValue);
        }
        EXPECT_EQ(t.main.Text("tres"), " 0:05");
        EXPECT_EQ(t.main.Text("ttra"), " 1:10");
        EXPECT_FALSE(t.browser.Has("tres"));
    }
    EXPECT_EQ(polls, 5);
}

TEST_F(Logs, WriteStatusKeepsEveryValueOnItsLine) {
    EXPECT_TRUE(Write_Status(p, "a\r\nb", "c\nd", 10, 1, "e\rf", "g"));
    EXPECT_EQ(Read("winstat.dat"),
              "a  b" + std::string(46, ' ') + "\r\nc d" + std::string(47, ' ') + "\r\n 10\r\n 1\r\ne f\r\ng\r\n");
}

TEST_F(Logs, WriteStatusWithoutTheBrowserWindowStillWrites) {
    p.oggetti.oFrmBrowser = nullptr;
    EXPECT_TRUE(Write_Status(p, "CONNESSO 57600", "", 100, 0, "", ""));
    EXPECT_EQ(Read("winstat.dat").substr(0, 14), "CONNESSO 57600");
}

// The progress value the status file holds (its fourth line), or -1 without a file.
int ValoreNelFile(const std::string& winstat) {
    std::size_t at = 0;
    for (int riga = 0; riga < 3; ++riga) {
        at = winstat.find("\r\n", at);
        if (at == std::string::npos) return -1;
        at += 2;
    }
    return std::stoi(winstat.substr(at));
}

TEST_F(Logs, StatusFileTakesEveryNewStateAtOnceAndProgressAtMostOnceAnInterval) {
    struct Passo {
        const char* name;
        std::int64_t advanceMs;
        std::string stato;
        int max, value;
        bool removeFile;  // the watcher deleted the file before this update
        int inFile;       // the progress value the file must hold afterwards
    };
    const std::int64_t kI = kIntervalloFileStatoMs;
    const Passo passi[] = {
        {"first status", 0, "Ricezione Mancanti", 500, 0, false, 0},
        {"progress right after: held back", 0, "Ricezione Mancanti", 500, 1, false, 0},
        {"trailing blank: the same state", kI - 1, "Ricezione Mancanti ", 500, 2, false, 0},
        {"interval over: the newest progress", 1, "Ricezione Mancanti", 500, 3, false, 3},
        {"progress again right after", 0, "Ricezione Mancanti", 500, 4, false, 3},
        {"new maximum: at once", 0, "Ricezione Mancanti", 600, 4, false, 4},
        {"new text: at once", 0, "Ricezione Ok", 100, 100, false, 100},
        {"file removed, same status: written again", 0, "Ricezione Ok", 100, 100, true, 100},
        {"progress held back", 0, "Ricezione Ok", 100, 50, false, 100},
        {"back to what the file says: nothing owed", kI, "Ricezione Ok", 100, 100, false, 100},
    };
    for (const Passo& s : passi) {
        SCOPED_TRACE(s.name);
        t.clock.Advance(s.advanceMs);
        if (s.removeFile) ::unlink((dir / "winstat.dat").c_str());
        EXPECT_TRUE(Write_Status(p, s.stato, "", s.max, s.value, "", ""));
        EXPECT_EQ(t.main.Value("Avanzamento"), std::min(s.value, s.max));  // the window always shows it
        EXPECT_EQ(ValoreNelFile(Read("winstat.dat")), s.inFile);
        EXPECT_EQ(Read("winstat.dat").substr(0, 9), s.stato.substr(0, 9));
    }
    // Nothing was owed after the last update: a forced write changes nothing.
    ScriviStatoInSospeso(p, true);
    EXPECT_EQ(ValoreNelFile(Read("winstat.dat")), 100);
}

TEST_F(Logs, HeldBackProgressReachesTheFileInWaitsAndAtTheEnd) {
    const std::string base = "Trasmissione Ordine";
    auto trattieni = [&](int value) {
        t.clock.Advance(kIntervalloFileStatoMs);
        Write_Status(p, base + std::to_string(value), "", 100, 0, "", "");  // a new state: written
        Write_Status(p, base + std::to_string(value), "", 100, value, "", "");
        ASSERT_EQ(ValoreNelFile(Read("winstat.dat")), 0);
    };

    // A wait's turn writes it once the interval has passed, not before.
    trattieni(10);
    AttendiEventi(p, t.clock.MonotonicMs());
    EXPECT_EQ(ValoreNelFile(Read("winstat.dat")), 0);
    t.clock.Advance(kIntervalloFileStatoMs);
    AttendiEventi(p, t.clock.MonotonicMs());
    EXPECT_EQ(ValoreNelFile(Read("winstat.dat")), 10);

    // A pause of the program writes it.
    trattieni(20);
    t.clock.SetAutoStep(50);
    WaitMilliseconds(p, 1000);
    t.clock.SetAutoStep(0);
    EXPECT_EQ(ValoreNelFile(Read("winstat.dat")), 20);

    // The end of a session or of the program writes it at once.
    trattieni(30);
    ScriviStatoInSospeso(p, true);
    EXPECT_EQ(Read("winstat.dat"), TestoWinstat(base + "30", "", 100, 30, "", ""));

    // A write that fails is logged once, not tried again by every turn of a wait; the next status writes.
    trattieni(40);
    const std::string winstat = dir / "winstat.dat";
    ::unlink(winstat.c_str());
    mkdir(winstat.c_str(), 0755);  // a folder in its place: the write fails
    mkdir((winstat + "/x").c_str(), 0755);
    t.clock.Advance(kIntervalloFileStatoMs);
    for (int i = 0; i < 3; ++i) AttendiEventi(p, t.clock.MonotonicMs());
    const std::string log = FunctionLog();
    EXPECT_NE(log.find("Write_Status"), std::string::npos);
    EXPECT_EQ(log.find("Write_Status"), log.rfind("Write_Status")) << log;
    rmdir((winstat + "/x").c_str());
    rmdir(winstat.c_str());
    EXPECT_TRUE(Write_Status(p, base + "40", "", 100, 41, "", ""));
    EXPECT_EQ(Read("winstat.dat"), TestoWinstat(base + "40", "", 100, 41, "", ""));
}

TEST_F(Logs, PulisciLogRemovesOnlyOldDatedFolders) {
    auto folder = [&](const std::string& name, bool withFile = true) {
        mkdir((dir / "log").c_str(), 0755);
        mkdir((dir / ("log/" + name)).c_str(), 0755);
        if (withFile) std::ofstream(dir / ("log/" + name + "/s.log")) << "x";
    };
    folder("20261110");  // exactly 30 days ago: stays
    folder("20261109");  // 31 days: goes
    folder("20200101");
    folder("20200102");
    mkdir((dir / "log/20200102/sub").c_str(), 0755);  // cannot be removed: logged, the scan goes on
    folder("20261399");   // not a date
    folder("2026110");    // not eight digits
    folder("20200103x");  // not a date name
    folder("old");
    std::ofstream(dir / "log/20190101") << "a file with a date name";
    // A link with a date name pointing at a folder outside: neither the link nor the target is touched.
    mkdir((dir / "outside").c_str(), 0755);
    std::ofstream(dir / "outside/keep.txt") << "keep";
    ASSERT_EQ(symlink((dir / "outside").c_str(), (dir / "log/20190102").c_str()), 0);
    // A dated folder holding a link: the link goes, its target stays.
    folder("20190103", false);
    ASSERT_EQ(symlink((dir / "outside/keep.txt").c_str(), (dir / "log/20190103/l").c_str()), 0);

    EXPECT_TRUE(PulisciLog(p, 30));

    std::vector<std::string> left;
    for (const auto& e : ListFolder(dir / "log")) left.push_back(e.name);
    EXPECT_EQ(left, (std::vector<std::string>{"20190101", "20190102", "20200102", "20200103x", "2026110",
                                              "20261110", "20261399", "old"}));
    EXPECT_EQ(Read("outside/keep.txt"), "keep");
    EXPECT_EQ(Read("log/20261110/s.log"), "x");
    EXPECT_FALSE(FileExists(dir / "log/20200102/s.log"));  // emptied, then the removal failed
    EXPECT_NE(FunctionLog().find(" - PulisciLog :"), std::string::npos);
}

TEST_F(Logs, PulisciLogWithoutLogFolder) { EXPECT_TRUE(PulisciLog(p, 30)); }

}  // namespace
}  // namespace morven
