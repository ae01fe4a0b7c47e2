// The real MorvenClient started as a caller on a server starts it: no display, its standard error kept.
// One call at a time runs in a program folder (a second program sends nothing and leaves the running call's
// files alone; a program that was killed leaves no lock behind), every start that needs a person ends by
// itself with its end marker, and the standard error holds only the program's own lines.
#include "platform/core/files.h"
#include "platform/core/process.h"
#include "platform/core/text.h"
#include "tests/client/app/run_client.h"
#include "tests/client/session/low_port_relay.h"
#include "tests/client/session/session_scripts.h"
#include "tests/peers/peers.h"
#include "tests/platform/core/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

namespace morven {
namespace {

namespace peers = morven::peers;
namespace fs = std::filesystem;
using namespace morven::testing;

const std::string kFam = "020003****";  // DESCRIZ-MAN
const int kRighe = 2;
const std::string kVoce = PadRight("PRD1", 9) + "0003" + PadRight("NON DISPONIBILE", 28) + "3";
constexpr int kAttesaMs = 120000;

std::string Riga(const std::string& chiave, const std::string& valore) { return PadRight(chiave, 10) + ":" + valore; }

std::string Righe(const std::vector<std::string>& righe) {
    std::string s;
    for (const auto& r : righe) s += r + "\r\n";
    return s;
}

void Risposte(peers::Script& s) {
    Risposta(s, Testata(1));
    Risposta(s, "0001" + kVoce);
    Risposta(s, "9999" + kCodice);
}

peers::Script Completa() {
    peers::Script s;
    OrdineAccettato(s, kFam, kRighe);
    Risposte(s);
    return s;
}

// The order taken, then the wholesaler waits for the test before it answers: the call stays under way.
peers::Script InAttesa() {
    peers::Script s;
    OrdineAccettato(s, kFam, kRighe);
    s.push_back(peers::Hold());
    Risposte(s);
    return s;
}

void PreparaCartella(const TempDir& app, int porta) {
    const std::vector<std::string> righe = {
        Riga("Connect", "Grossista Prova"), Riga("Code", kCodice),          Riga("Mode", "INTERNET"),
        Riga("Ip1", "127.0.0.1"),           Riga("Porta", std::to_string(porta)), Riga("AutoIncPor", "NO"),
        Riga("Interface", "DESCRIZ-MAN"),   Riga("ModeIFCK", "NO"),         Riga("DispOrdine", "NO"),
        Riga("TimeMaxOrd", "600")};
    ReplaceFileAtomically(app / "MvnConn01.par", Righe(righe));
    ReplaceFileAtomically(app / "ordseq.txt", Righe(FileOrdine(kRighe)));
}

std::string Leggi(const std::string& path) {
    std::string s;
    ReadWholeFile(path, s);
    return s;
}

std::vector<std::string> RigheEsito(const std::string& log) {
    std::vector<std::string> r;
    for (const std::string& riga : SplitLines(log))
        if (riga.find(" - Esito :") != std::string::npos) r.push_back(riga.substr(riga.find("Esito :")));
    return r;
}

int FileLogSessione(const std::string& app) {
    int n = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(app + "/log", ec); it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_regular_file()) ++n;
    return n;
}

// Every line on the standard error is one of the program's own ("MorvenClient: ..."): no library's notes.
void SoloRigheNostre(const std::string& errori) {
    for (const std::string& riga : SplitLines(errori))
        EXPECT_EQ(riga.rfind("MorvenClient: ", 0), 0u) << "a line that is not ours: " << riga << "\n" << errori;
}

TEST(CallLock, ASecondProgramOnTheFolderSendsNothingAndLeavesTheCallAlone) {
    TempDir app;
    peers::FakeWholesaler w({InAttesa(), Completa()});
    LowPortRelay rinvio(w.Port());
    PreparaCartella(app, rinvio.Port());
    const std::size_t righeOrdine = RecordAttesi(kFam, kRighe).size();

    const int primo = AvviaSenzaSchermo(app.path(), {"/BLKRUN:01"}, 2, app / "errori-primo.txt");
    ASSERT_GT(primo, 0);
    // The first program's order is in and it waits for the answer: its call is under way.
    ASSERT_TRUE(w.WaitLines(righeOrdine, kAttesaMs)) << Leggi(app / "MorvenClient.log");
    const std::string abort = Leggi(app / "abort.dat");

    const int secondo = AvviaSenzaSchermo(app.path(), {"/BLKRUN:01"}, 2, app / "errori-secondo.txt");
    ASSERT_GT(secondo, 0);
    const FineProgramma f2 = AttendiProgramma(secondo, kAttesaMs);
    ASSERT_TRUE(f2.finito);
    EXPECT_EQ(f2.codice, 3);
    // Nothing of the running call changed: its marker, no end marker for its caller, one session log.
    EXPECT_EQ(Leggi(app / "abort.dat"), abort);
    EXPECT_FALSE(FileExists(app / "MorvenClient.end"));
    EXPECT_EQ(FileLogSessione(app.path()), 1);
    const std::string errori = Leggi(app / "errori-secondo.txt");
    EXPECT_NE(errori.find("chiamata gia' in corso nella cartella del programma"), std::string::npos) << errori;
    SoloRigheNostre(errori);

    w.Release();
    const FineProgramma f1 = AttendiProgramma(primo, kAttesaMs);
    ASSERT_TRUE(f1.finito);
    EXPECT_EQ(f1.codice, 0);
    EXPECT_EQ(w.Connections(), 1);  // the order went out once
    const auto righe = w.Lines();
    EXPECT_EQ(std::count(righe.begin(), righe.end(), RecordAttesi(kFam, kRighe).front()), 1);
    EXPECT_NE(Leggi(app / "ordseq.man").find(kVoce), std::string::npos);
    EXPECT_TRUE(FileExists(app / "MorvenClient.end"));
    const auto esiti = RigheEsito(Leggi(app / "MorvenClient.log"));
    ASSERT_EQ(esiti.size(), 2u) << Leggi(app / "MorvenClient.log");
    EXPECT_EQ(esiti[0].rfind("Esito :inviato NO, risposta completa NO :chiamata gia' in corso", 0), 0u) << esiti[0];
    EXPECT_EQ(esiti[1], "Esito :inviato SI, risposta completa SI");
}

TEST(CallLock, AProgramKilledMidCallDoesNotBlockTheNextRun) {
    TempDir app;
    peers::FakeWholesaler w({InAttesa(), Completa()});
    LowPortRelay rinvio(w.Port());
    PreparaCartella(app, rinvio.Port());

    const int ucciso = AvviaSenzaSchermo(app.path(), {"/BLKRUN:01"}, 2, app / "errori-ucciso.txt");
    ASSERT_GT(ucciso, 0);
    ASSERT_TRUE(w.WaitLines(RecordAttesi(kFam, kRighe).size(), kAttesaMs));
    ::kill(ucciso, SIGKILL);
    const FineProgramma fu = AttendiProgramma(ucciso, kAttesaMs);
    ASSERT_TRUE(fu.finito);
    EXPECT_EQ(fu.codice, 128 + SIGKILL);
    w.Release();  // the killed call's script runs out on its closed line

    const int dopo = AvviaSenzaSchermo(app.path(), {"/BLKRUN:01"}, 2, app / "errori-dopo.txt");
    ASSERT_GT(dopo, 0);
    const FineProgramma fd = AttendiProgramma(dopo, kAttesaMs);
    ASSERT_TRUE(fd.finito);
    EXPECT_EQ(fd.codice, 0);
    EXPECT_EQ(w.Connections(), 2);
    EXPECT_NE(Leggi(app / "ordseq.man").find(kVoce), std::string::npos);
    EXPECT_FALSE(FileExists(app / "abort.dat"));
    EXPECT_TRUE(FileExists(app / "MorvenClient.end"));
    const auto esiti = RigheEsito(Leggi(app / "MorvenClient.log"));
    ASSERT_FALSE(esiti.empty());
    EXPECT_EQ(esiti.back(), "Esito :inviato SI, risposta completa SI");
    SoloRigheNostre(Leggi(app / "errori-dopo.txt"));
}

// An X display number nobody serves on this machine: a display that is named but does not answer.
std::string DisplayMuto() {
    for (int n = 97; n > 50; --n)
        if (!fs::exists("/tmp/.X11-unix/X" + std::to_string(n))) return "DISPLAY=:" + std::to_string(n);
    return "DISPLAY=:97";
}

// A batch run on a server, with no display or one that does not answer: it makes its call, and the web
// engine and the Qt platform say nothing on the standard error.
TEST(CallLock, ABatchRunWritesOnlyItsOwnLinesOnTheStandardError) {
    for (const std::string& display : {std::string(), DisplayMuto()}) {
        SCOPED_TRACE(display.empty() ? "no display" : display);
        TempDir app;
        peers::FakeWholesaler w({Completa()});
        LowPortRelay rinvio(w.Port());
        PreparaCartella(app, rinvio.Port());
        fs::create_directories(app / "HTML");
        ReplaceFileAtomically(app / "HTML/index.htm", "<html><body>Morven</body></html>");
        std::vector<std::string> ambiente;
        if (!display.empty()) ambiente.push_back(display);
        const int pid = AvviaSenzaSchermo(app.path(), {"/BLKRUN:01"}, 20, app / "errori.txt", ambiente);
        ASSERT_GT(pid, 0);
        const FineProgramma f = AttendiProgramma(pid, kAttesaMs);
        ASSERT_TRUE(f.finito);
        EXPECT_EQ(f.codice, 0);
        EXPECT_NE(Leggi(app / "ordseq.man").find(kVoce), std::string::npos) << Leggi(app / "MorvenClient.log");
        EXPECT_TRUE(FileExists(app / "MorvenClient.end"));
        SoloRigheNostre(Leggi(app / "errori.txt"));
    }
}

// Every start but a batch run needs a person in front of the window. Without a display each ends by itself
// (not by a signal) with a message on the standard error and in MorvenClient.log, its outcome line and a new
// end marker, and never calls; with another program's call under way it leaves the end marker to that call.
TEST(CallLock, StartsThatNeedAPersonEndByThemselvesWithoutADisplay) {
    const struct {
        const char* caso;
        std::vector<std::string> argomenti;
        const char* opzioni;   // first line of MorvenClient.opz, nullptr for none
        bool chiamataInCorso;  // another program holds the folder's call lock
        const char* inPiu;     // more the message says, "" for nothing
        bool displayMuto = false;  // a display is named, but it does not answer
    } casi[] = {
        {"no switch", {}, nullptr, false, ""},
        {"a slot to call", {"/3"}, nullptr, false, ""},
        {"slot 10", {"/10"}, nullptr, false, ""},
        {"a slot in the options file", {}, "/2", false, ""},
        {"configuration only", {"/BLKCFG:01", "X=1"}, nullptr, false, ""},
        {"a batch switch in lower case", {"/blkrun:01"}, nullptr, false, "maiuscole e minuscole: /BLKRUN:"},
        {"an unknown switch", {"/XYZ"}, nullptr, false, ""},
        {"a call under way in the folder", {"/3"}, nullptr, true, ""},
        {"a display that does not answer", {"/3"}, nullptr, false, "nessuno schermo raggiungibile", true},
        {"a display that does not answer, no switch", {}, nullptr, false, "nessuno schermo raggiungibile", true},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.caso);
        TempDir app;
        PreparaCartella(app, 1);
        ReplaceFileAtomically(app / "MorvenClient.end", "old\r\n");
        if (c.opzioni) ReplaceFileAtomically(app / "MorvenClient.opz", std::string(c.opzioni) + "\r\n");
        int blocco = -1;
        if (c.chiamataInCorso) {
            blocco = ::open((app / "MorvenClient.lck").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            ASSERT_EQ(::flock(blocco, LOCK_EX | LOCK_NB), 0);
        }
        std::vector<std::string> ambiente;
        if (c.displayMuto) ambiente.push_back(DisplayMuto());
        const int pid = AvviaSenzaSchermo(app.path(), c.argomenti, 0, app / "errori.txt", ambiente);
        ASSERT_GT(pid, 0);
        const FineProgramma f = AttendiProgramma(pid, kAttesaMs);
        if (blocco >= 0) ::close(blocco);
        ASSERT_TRUE(f.finito);
        EXPECT_EQ(f.codice, c.chiamataInCorso ? 3 : 2);  // never 128 + a signal
        const std::string errori = Leggi(app / "errori.txt");
        EXPECT_NE(errori.find("MorvenClient: nessuno schermo"), std::string::npos) << errori;
        EXPECT_NE(errori.find(c.inPiu), std::string::npos) << errori;
        SoloRigheNostre(errori);
        const std::string log = Leggi(app / "MorvenClient.log");
        EXPECT_NE(log.find("[FUNZIONE : main]nessuno schermo"), std::string::npos) << log;
        const auto esiti = RigheEsito(log);
        ASSERT_EQ(esiti.size(), 1u) << log;
        EXPECT_EQ(esiti[0].rfind("Esito :inviato NO, risposta completa NO :nessuno schermo", 0), 0u) << esiti[0];
        EXPECT_EQ(Leggi(app / "MorvenClient.end") == "old\r\n", c.chiamataInCorso);
        EXPECT_FALSE(FileExists(app / "abort.dat"));
    }
}

// A configuration run where nobody sees its window, while a call runs in the folder: its window closes
// unchanged and the run ends, but the end marker is left to the running call.
TEST(CallLock, AConfigurationRunLeavesTheEndMarkerToARunningCall) {
    for (const bool chiamataInCorso : {false, true}) {
        SCOPED_TRACE(chiamataInCorso ? "a call under way" : "no call");
        TempDir app;
        int blocco = -1;
        if (chiamataInCorso) {
            blocco = ::open((app / "MorvenClient.lck").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            ASSERT_EQ(::flock(blocco, LOCK_EX | LOCK_NB), 0);
        }
        const int pid = AvviaSenzaSchermo(app.path(), {"/BLKCFG:01"}, 0, app / "errori.txt",
                                          {"QT_QPA_PLATFORM=offscreen"});
        ASSERT_GT(pid, 0);
        const FineProgramma f = AttendiProgramma(pid, kAttesaMs);
        if (blocco >= 0) ::close(blocco);
        ASSERT_TRUE(f.finito);
        EXPECT_EQ(f.codice, 0);
        const std::string log = Leggi(app / "MorvenClient.log");
        EXPECT_EQ(FileExists(app / "MorvenClient.end"), !chiamataInCorso) << log;
        EXPECT_EQ(RigheEsito(log).size(), 1u) << log;
        SoloRigheNostre(Leggi(app / "errori.txt"));
    }
}

}  // namespace
}  // namespace morven
