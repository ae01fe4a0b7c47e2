// The FTP exchange of a whole session against a real FTP server on loopback (pyftpdlib on a free port, which
// the program reaches as port 21 through the FTP layer's port map): the request goes up byte for byte, the
// answer is polled for on the test clock and converted, and every failure ends the session with a message.
#include "client/session/ftp_exchange.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "client/engine/ftp_device.h"
#include "client/engine/programma.h"
#include "client/engine/testing/test_program.h"
#include "client/session/line_events.h"
#include "client/session/loop.h"
#include "platform/core/files.h"
#include "tests/platform/core/temp_dir.h"
#include "tests/platform/ftp/local_ftp_server.h"

namespace morven {
namespace {

namespace fs = std::filesystem;
using testing::LocalFtpServer;

const std::string kFixtures = std::string(MORVEN_SOURCE_DIR) + "/tests/fixtures/";
const std::string kAnswer = kFixtures + "answers/IFCK02_OUT_T000.DAT";

std::string Read(const std::string& path) {
    std::string s;
    ReadWholeFile(path, s);
    return s;
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

struct FtpExchange {
    testing::TempDir dir;
    std::string app = dir / "app";
    LocalFtpServer server;
    testing::Ftp21Map map{server.Port()};
    TestProgram t{app};
    Programma& p = t.p;
    DeviceFtpClient ftp{t.pump};

    explicit FtpExchange(std::vector<std::string> onUpload = {}) : server(dir / "server", std::move(onUpload)) {
        fs::create_directories(app);
        t.clock.SetAutoStep(50);
        p.oggetti.oInet = &ftp;
        CollegaEventiLinea(p);
        p.percorsi.sFileLogSessione = "MvnConn01-20261210-100000.log";
        auto& imp = p.impostazioni;
        imp.sConnect = "Grossista FTP";
        imp.sCodiceCliente = "123456789";
        imp.bModoInternet = imp.bModoFTP = true;
        imp.aIndirizzoIp = {"127.0.0.1", "", ""};
        imp.sUser = LocalFtpServer::kUser;
        imp.sPassword = LocalFtpServer::kPassword;
        imp.nFtpDelay = 10;
        imp.nFtpRetry = 3;
        // The request options of the golden request file.
        imp.bCompMvn = true;
        imp.nTipoRichiesta = 3;
        imp.bOpzioneTestata1 = imp.bOpzioneTestata3 = true;
        imp.bDatiConseg = imp.bAllineaCol = imp.bConsDiffer = true;
        ReplaceFileAtomically(app + "/ordseq.txt", Read(kFixtures + "requests/ordseq.txt"));
    }
    std::string SessionLog() const { return Read(app + "/log/20261210/MvnConn01-20261210-100000.log"); }
    std::string FunctionLog() const { return Read(app + "/MorvenClient.log"); }
    std::vector<std::string> AppFiles() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(app))
            if (e.is_regular_file()) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> b;
        for (const auto& c : t.msgbox.calls) b.push_back(c.prompt);
        return b;
    }
};

TEST(FtpExchangeTest, AnswerAtTheFirstOrThirdPollOrNever) {
    enum class Answer { OnUpload, AfterTwoPolls, Never };
    const struct {
        const char* name;
        Answer answer;
        int polls;
    } cases[] = {{"first poll", Answer::OnUpload, 1}, {"third poll", Answer::AfterTwoPolls, 3}, {"never", Answer::Never, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> rules;
        if (c.answer == Answer::OnUpload) rules.push_back("IFCK02_IN_MORVEN.DAT=" + kAnswer + "=IFCK02_OUT_MORVEN.DAT");
        FtpExchange x(rules);
        ASSERT_NE(x.server.Port(), 0);
        // The wholesaler answers while the client waits after its second poll.
        ScopedPoller wholesaler(x.t.pump, [&] {
            if (c.answer == Answer::AfterTwoPolls && Count(x.SessionLog(), "FTP:SIZE ") == 2 &&
                !fs::exists(x.server.File("IFCK02_OUT_MORVEN.DAT")))
                fs::copy_file(kAnswer, x.server.File("IFCK02_OUT_MORVEN.DAT"));
        });
        const std::int64_t start = x.t.clock.MonotonicMs();
        EXPECT_TRUE(LoopTrasmissione(x.p));
        const std::string log = x.SessionLog();
        // Every poll asks for the answer's size first; only a poll that finds it fetches it.
        EXPECT_EQ(Count(log, "FTP:SIZE IFCK02_OUT_MORVEN.DAT"), c.polls) << log;
        EXPECT_EQ(Count(log, "FTP:RETR IFCK02_OUT_MORVEN.DAT"), c.answer == Answer::Never ? 0 : 1) << log;
        EXPECT_GE(x.t.clock.MonotonicMs() - start, c.polls * 10000);

        // The request went up as built, byte for byte (CR LF and all).
        const std::string request = Read(kFixtures + "requests/IFCK02_IN_MORVEN.DAT");
        EXPECT_EQ(Read(x.app + "/IFCK02_IN_MORVEN.DAT"), request);
        EXPECT_EQ(Read(x.server.File("IFCK02_IN_MORVEN.DAT")), request);

        if (c.answer == Answer::Never) {
            EXPECT_EQ(x.p.sessione.nPassoSessione, kPassoAbortito);
            EXPECT_EQ(x.Boxes(), std::vector<std::string>{"Nessuna Risposta ricevuta"});
            // No answer, no stub of one, no answer files: abort.dat tells the caller nothing came.
            EXPECT_EQ(x.AppFiles(), (std::vector<std::string>{"IFCK02_IN_MORVEN.DAT", "MorvenClient.log", "abort.dat",
                                                              "ordseq.txt", "winstat.dat"}));
        } else {
            EXPECT_EQ(x.p.sessione.nPassoSessione, kPassoRisposteVisibili);
            EXPECT_TRUE(x.Boxes().empty());
            EXPECT_EQ(Read(x.app + "/IFCK02_OUT_MORVEN.DAT"), Read(kAnswer));
            EXPECT_EQ(Read(x.app + "/ordseq2006.man"), Read(kAnswer));
            EXPECT_NE(Read(x.app + "/ordseq.rst").find("0234567890005\r\n"), std::string::npos);
            EXPECT_EQ(Read(x.app + "/msgrx.txt"), "Consegna prevista domani mattina\r\n");
            EXPECT_FALSE(fs::exists(x.app + "/abort.dat"));
        }
        EXPECT_NE(log.find("FTP:USER farmacia\r\n"), std::string::npos) << log;
        EXPECT_NE(log.find("FTP:PASS ****\r\n"), std::string::npos) << log;
        EXPECT_EQ(log.find(LocalFtpServer::kPassword), std::string::npos) << log;
        EXPECT_EQ(x.FunctionLog().find(LocalFtpServer::kPassword), std::string::npos);
    }
}

TEST(FtpExchangeTest, AWrongPasswordEndsTheProgramWithoutTouchingAnything) {
    FtpExchange x;
    ASSERT_NE(x.server.Port(), 0);
    x.p.impostazioni.sPassword = "sbagliata";
    ReplaceFileAtomically(x.app + "/ordseq.rst", "vecchio\r\n");
    EXPECT_TRUE(LoopTrasmissione(x.p));
    EXPECT_EQ(x.Boxes(), std::vector<std::string>{"Collegamento Impossibile"});
    EXPECT_EQ(x.t.end.calls, 1);
    EXPECT_FALSE(fs::exists(x.server.File("IFCK02_IN_MORVEN.DAT")));
    EXPECT_EQ(Read(x.app + "/ordseq.rst"), "vecchio\r\n");
    EXPECT_FALSE(x.p.sessione.bRichiestaInviata);
    EXPECT_NE(x.SessionLog().find("FTP:PASS ****\r\n"), std::string::npos);
    EXPECT_EQ(x.SessionLog().find("sbagliata"), std::string::npos);
    EXPECT_NE(x.FunctionLog().find("RichiestaIFCK_FTP :connessione a 127.0.0.1 non riuscita"), std::string::npos)
        << x.FunctionLog();
}

TEST(FtpExchangeTest, AvailabilityUsesTheKind01FilesAndWaitsBeyondSixteenBits) {
    FtpExchange x({"IFCK01_IN_MORVEN.DAT=" + kFixtures + "answers/IFCK01_OUT_MORVEN.DAT=IFCK01_OUT_MORVEN.DAT"});
    ASSERT_NE(x.server.Port(), 0);
    auto& imp = x.p.impostazioni;
    imp.bDisponibilita = true;
    imp.bRichDocs = true;  // the availability request wins over the other flags
    imp.bDispOrdine = {true, true, true};
    imp.nFtpDelay = 40;    // 40 000 ms: more than a 16-bit count of milliseconds holds
    const std::int64_t start = x.t.clock.MonotonicMs();
    ASSERT_TRUE(ChiamaFTP(x.p, x.ftp));
    EXPECT_GE(x.t.clock.MonotonicMs() - start, 40000);
    EXPECT_EQ(x.p.sessione.nPassoSessione, kPassoFineOrdine);
    EXPECT_TRUE(fs::exists(x.server.File("IFCK01_IN_MORVEN.DAT")));
    EXPECT_EQ(Read(x.app + "/ordseq2006.man"), Read(kFixtures + "answers/IFCK01_OUT_MORVEN.DAT"));
}

TEST(FtpExchangeTest, RequestsThatCannotGoOrWereNotBuiltEndTheSession) {
    const struct {
        const char* name;
        bool compMvn, docs, orderFile, requestFile;
        bool result;
        const char* box;
        bool connects;
    } cases[] = {
        {"documents request", true, true, true, false, false, "Richiesta IFCK03 non disponibile via FTP", false},
        {"no order to convert", true, false, false, false, false, "Impossibile preparare la Richiesta", false},
        {"no request from the management software", false, false, true, false, true, "Invio Richiesta non riuscito",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FtpExchange x;
        ASSERT_NE(x.server.Port(), 0);
        auto& imp = x.p.impostazioni;
        imp.bCompMvn = c.compMvn;
        imp.bRichDocs = c.docs;
        if (!c.orderFile) fs::remove(x.app + "/ordseq.txt");
        x.p.sessione.nPassoSessione = kPassoFTP;
        EXPECT_EQ(ChiamaFTP(x.p, x.ftp), c.result);
        EXPECT_EQ(x.p.sessione.nPassoSessione, kPassoAbortito);
        EXPECT_EQ(x.Boxes(), std::vector<std::string>{c.box});
        EXPECT_EQ(x.SessionLog().find("FTP:USER") != std::string::npos, c.connects) << x.SessionLog();
        EXPECT_TRUE(fs::is_empty(x.server.Root()));
        EXPECT_FALSE(x.p.sessione.bRichiestaInviata);  // nothing went out
    }
}

TEST(FtpExchangeTest, ARequestOfTheManagementSoftwareGoesAsItIsAndItsAnswerIsNotConverted) {
    FtpExchange x({"IFCK02_IN_MORVEN.DAT=" + kAnswer + "=IFCK02_OUT_MORVEN.DAT"});
    ASSERT_NE(x.server.Port(), 0);
    x.p.impostazioni.bCompMvn = false;
    const std::string request = "T2 written by the management software\r\nZ\r\n";
    ReplaceFileAtomically(x.app + "/IFCK02_IN_MORVEN.DAT", request);
    ASSERT_TRUE(ChiamaFTP(x.p, x.ftp));
    EXPECT_EQ(x.p.sessione.nPassoSessione, kPassoRisposteVisibili);
    EXPECT_EQ(Read(x.server.File("IFCK02_IN_MORVEN.DAT")), request);
    EXPECT_EQ(Read(x.app + "/IFCK02_OUT_MORVEN.DAT"), Read(kAnswer));
    EXPECT_FALSE(fs::exists(x.app + "/ordseq.rst"));
}

// The session marker the call driver wrote goes once an answer came, on this link as after the end block on
// the line, whether the request was the management software's own or built from an order file in capitals;
// without an answer it stays for the caller.
TEST(FtpExchangeTest, AbortMarkerGoesOnlyWithAnAnswer) {
    const struct {
        const char* name;
        bool compMvn;
        const char* orderFile;  // where the order file lies (with compMvn)
        bool answers;
    } cases[] = {
        {"own request answered", false, nullptr, true},
        {"own request never answered", false, nullptr, false},
        {"order file in capitals answered", true, "ORDSEQ.TXT", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> rules;
        if (c.answers) rules.push_back("IFCK02_IN_MORVEN.DAT=" + kAnswer + "=IFCK02_OUT_MORVEN.DAT");
        FtpExchange x(rules);
        ASSERT_NE(x.server.Port(), 0);
        x.p.impostazioni.bCompMvn = c.compMvn;
        x.p.opzioni.bBlkRun = true;
        const std::string own = "T2005001020123456700\r\nP012345678    000050NNN\r\nZ00001\r\n";
        if (c.compMvn) {
            fs::rename(x.app + "/ordseq.txt", x.app + "/" + c.orderFile);
        } else {
            fs::remove(x.app + "/ordseq.txt");
            ReplaceFileAtomically(x.app + "/IFCK02_IN_MORVEN.DAT", own);
        }
        ReplaceFileAtomically(x.app + "/abort.dat", "Scelta NomeGrossista :01\r\n");
        EXPECT_TRUE(LoopTrasmissione(x.p));
        EXPECT_EQ(fs::exists(x.app + "/abort.dat"), !c.answers);
        EXPECT_EQ(x.p.sessione.bMancantiRicevuti, c.answers);
        EXPECT_EQ(Read(x.server.File("IFCK02_IN_MORVEN.DAT")),
                  c.compMvn ? Read(kFixtures + "requests/IFCK02_IN_MORVEN.DAT") : own);
        EXPECT_EQ(fs::exists(x.app + "/IFCK02_OUT_MORVEN.DAT"), c.answers);
        // The request went out whole whether or not an answer came: the outcome line says so.
        EXPECT_TRUE(x.p.sessione.bRichiestaInviata);
        EXPECT_EQ(x.Boxes().empty(), c.answers) << ::testing::PrintToString(x.Boxes());
        EXPECT_EQ(x.t.end.calls, 1);  // a batch run ends by itself either way
    }
}

}  // namespace
}  // namespace morven
