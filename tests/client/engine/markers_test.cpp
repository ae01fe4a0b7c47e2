// Session markers, blank answers, the closing report and the program end.
#include "client/engine/markers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "client/engine/logs.h"
#include "client/engine/message_box.h"
#include "tests/client/engine/engine_test_support.h"

namespace morven {
namespace {

namespace fs = std::filesystem;

struct MarkersTest : ::testing::Test, testing::EngineFixture {
    bool Exists(const std::string& rel) const { return fs::exists(dir / rel); }
};

TEST_F(MarkersTest, AbortMarkerWrittenAndRemoved) {
    EXPECT_EQ(setAbortDat(p, "Scelta NomeGrossista :03\r\nsecond"), -1);
    EXPECT_EQ(Read("abort.dat"), "Scelta NomeGrossista :03\r\nsecond\r\n");
    EXPECT_EQ(setAbortDat(p, "x"), -1);
    EXPECT_EQ(Read("abort.dat"), "x\r\n");  // created anew
    EXPECT_EQ(KillAbortDat(p), -1);
    EXPECT_FALSE(Exists("abort.dat"));
    EXPECT_EQ(KillAbortDat(p), -1);  // nothing to delete
    EXPECT_EQ(FunctionLog(), "");
}

TEST_F(MarkersTest, OptionsFileFirstLineAndMessageLinesCleared) {
    p.messaggio.sMes1 = "old";
    EXPECT_EQ(LeggiOpzioni(p), "");
    EXPECT_EQ(p.messaggio.sMes1, "");
    // Whatever ends the line (CR LF, LF, a lone CR), the first line is what the program's start reads too.
    for (const char* testo : {"/1 /DEBUG\r\nsecond\r\n", "/1 /DEBUG\nsecond", "/1 /DEBUG\rsecond\r"}) {
        Write("MorvenClient.opz", testo);
        EXPECT_EQ(LeggiOpzioni(p), "/1 /DEBUG") << testo;
    }
    Write("MorvenClient.opz", "");
    EXPECT_EQ(LeggiOpzioni(p), "");
    EXPECT_NE(FunctionLog().find(" - LeggiOpzioni :"), std::string::npos);
}

TEST_F(MarkersTest, BlankAnswersFromTheOrderFile) {
    const std::string b29(29, ' '), b49(49, ' ');
    Write("ordseq.txt", "0000000000000\r\nABC1234560002\r\nXYZ9876540010\r\n");
    EXPECT_EQ(RicDispAggiornaMancanti(p), -1);
    EXPECT_EQ(Read("ordseq.rst"), "ABC1234560002\r\nXYZ9876540010\r\n");
    EXPECT_EQ(Read("ordseq.man"), "0000000000000" + b29 + "\r\nABC1234560002" + b29 + "\r\nXYZ9876540010" + b29 + "\r\n");
    EXPECT_EQ(Read("ordseq.ma1"), "0000000000000" + b49 + "\r\nABC1234560002" + b49 + "\r\nXYZ9876540010" + b49 + "\r\n");

    Write("ordseq.txt", "0000000000000\r\n");
    EXPECT_EQ(RicDispAggiornaMancanti(p), -1);
    EXPECT_EQ(Read("ordseq.rst"), "");
    EXPECT_EQ(Read("ordseq.man"), "0000000000000" + b29 + "\r\n");

    // Without the order file the answers stay as they were and the failure is logged.
    fs::remove(dir / "ordseq.txt");
    EXPECT_EQ(RicDispAggiornaMancanti(p), 0);
    EXPECT_EQ(Read("ordseq.man"), "0000000000000" + b29 + "\r\n");
    EXPECT_NE(FunctionLog().find("RicDispAggiornaMancanti :"), std::string::npos);

    // The order file is found whatever the case of its name, as the sending paths find it.
    Write("ORDSEQ.TXT", "0000000000000\r\nABC1234560002\r\n");
    EXPECT_EQ(RicDispAggiornaMancanti(p), -1);
    EXPECT_EQ(Read("ordseq.rst"), "ABC1234560002\r\n");
}

TEST_F(MarkersTest, ClosingReportListsWholeNewsLines) {
    p.impostazioni.sConnect = "Grossista Uno";
    const std::string head = "Trasmissione Terminata Correttamente \r\n\r\nElenco News (Grossista Uno)\r\n";
    EXPECT_EQ(DisplayPosta(p, t.main, "TextMess"), 0);  // no list: heading only, logged
    EXPECT_EQ(t.main.Text("TextMess"), head);
    EXPECT_NE(FunctionLog().find("DisplayPosta :"), std::string::npos);
    fs::create_directories(dir / "news");
    Write("news/eaggdati", "Listino nuovo\r\nCircolare\r\nsenza fine");
    EXPECT_EQ(DisplayPosta(p, t.main, "TextMess"), -1);
    EXPECT_EQ(t.main.Text("TextMess"), head + "Listino nuovo\r\nCircolare\r\n");
}

TEST_F(MarkersTest, ProgramEndDialUpQuestionTable) {
    struct Row {
        bool internet, connected, closeRas;
        int answer;
        bool asked, hungUp;
    } rows[] = {
        {true, true, false, vbYes, true, true},  {true, true, false, vbNo, true, false},
        {true, true, true, vbNo, false, true},   {true, false, false, vbYes, false, false},
        {false, true, false, vbYes, false, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(::testing::Message() << r.internet << r.connected << r.closeRas << r.answer);
        testing::EngineFixture f;
        f.p.impostazioni.bModoInternet = r.internet;
        f.p.impostazioni.sNomeRas = "isp";
        f.p.impostazioni.bCloseRas = r.closeRas;
        if (r.connected) f.t.dialup.connected.insert("isp");
        f.t.msgbox.answers.push_back(r.answer);
        TerminaProgramma(f.p);
        EXPECT_EQ(f.t.msgbox.calls.size(), r.asked ? 1u : 0u);
        if (r.asked) {
            EXPECT_EQ(f.t.msgbox.calls[0].prompt, "Si Desidera chiudere la connessione a isp");
            EXPECT_EQ(f.t.msgbox.calls[0].style, 68);
            EXPECT_EQ(f.t.msgbox.calls[0].title, "Fine Lavoro");
        }
        EXPECT_EQ(f.t.dialup.hungUp.size(), r.hungUp ? 1u : 0u);
        EXPECT_EQ(f.t.end.calls, 1);
        EXPECT_TRUE(f.p.sessione.bProgrammaTerminato);
        EXPECT_EQ(f.Read("MorvenClient.end"), "Termine Esecuzione Morven il 10/12/2026 10:00:00\r\n");
    }
}

TEST_F(MarkersTest, ProgramEndRunsNoUpdateBatchLogsItAndRemovesTheUpdate) {
    fs::create_directories(dir / "news");
    // A batch that would leave its trace if anything ran it.
    Write("news/morvenupgrade.bat", "printf '%s|%s\\n' \"$1\" \"$2\" > \"$1/batch.out\"\n");
    Write("news/morvenprofupg.dat", "Z\r\n");
    p.sessione.bUpgradeRicevuto = true;
    TerminaProgramma(p);
    EXPECT_EQ(t.end.calls, 1);
    EXPECT_TRUE(Exists("news/morvenupgrade.bat"));  // left where it arrived, never renamed to be run
    EXPECT_FALSE(Exists("news/morvenupgrade.bat.run"));
    EXPECT_FALSE(Exists("news/morvenprofupg.dat"));
    EXPECT_FALSE(Exists("batch.out"));
    const std::string atteso = "Aggiornamento del programma ricevuto con le notizie (" + dir.path() +
                               "/news/morvenupgrade.bat): non eseguito, il programma non esegue file ricevuti dalla linea";
    EXPECT_NE(FunctionLog().find(atteso), std::string::npos) << FunctionLog();
    // A second end says nothing more.
    const std::string prima = FunctionLog();
    TerminaProgramma(p);
    EXPECT_EQ(FunctionLog(), prima);
    EXPECT_FALSE(Exists("batch.out"));
}

TEST_F(MarkersTest, ProgramEndLeavesTheStatusFileWithTheLastStatus) {
    // A progress held back from the status file (the interval since the last write has not passed) goes
    // there before the caller sees the end marker.
    Write_Status(p, "Ricezione Mancanti", "", 500, 0, "", "");
    Write_Status(p, "Ricezione Mancanti", "", 500, 499, "", "");
    t.end.onEnd = [&] { EXPECT_EQ(Read("winstat.dat"), TestoWinstat("Ricezione Mancanti", "", 500, 499, "", "")); };
    TerminaProgramma(p);
    EXPECT_EQ(t.end.calls, 1);
    EXPECT_TRUE(Exists("MorvenClient.end"));
}

TEST_F(MarkersTest, ProgramEndGoesOnPastAFailingStep) {
    fs::create_directories(dir / "MorvenClient.end");  // the end marker can't be written
    TerminaProgramma(p);
    EXPECT_EQ(t.end.calls, 1);
    EXPECT_NE(FunctionLog().find("TerminaProgramma :"), std::string::npos);
}

TEST_F(MarkersTest, OwnedMessageBoxJoinsTheStyleParts) {
    t.msgbox.answers.push_back(vbRetry);
    EXPECT_EQ(MessagBox(p, &t.main, "Titolo", "Testo", 16, 2, 256), vbRetry);
    ASSERT_EQ(t.msgbox.calls.size(), 1u);
    EXPECT_EQ(t.msgbox.calls[0].style, 274);
    EXPECT_EQ(t.msgbox.calls[0].owner, &t.main);
    EXPECT_EQ(t.msgbox.calls[0].title, "Titolo");
    EXPECT_EQ(t.msgbox.calls[0].prompt, "Testo");
}

}  // namespace
}  // namespace morven
