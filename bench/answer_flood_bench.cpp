// The memory of a batch run whose wholesaler floods the answer: MorvenClient (/BLKRUN:) sends a 10-line order
// over TCP to a fake wholesaler on 127.0.0.1, which takes it and then answers with up to 9998 records of 8 KB
// entries, each sent as soon as the previous one was acknowledged. The answer files are bounded and written as
// the answer arrives, so the program stops at the bound, keeps no part of the answer and keeps abort.dat.
// For comparison the same run is made first with a short answer of 10 such records, which is kept. Printed for
// each: the program's peak resident memory (getrusage of the reaped child: the largest of the program and what
// it runs itself, the web engine's processes among them), the records it acknowledged, and what it left in
// its folder. Target: under 250 MB for the flood.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/files.h"
#include "platform/core/process.h"
#include "tests/peers/peers.h"

namespace {

namespace fs = std::filesystem;
namespace peers = morven::peers;


std::string Riga(const std::string& chiave, const std::string& valore) {
    std::string k = chiave;
    k.resize(10, ' ');
    return k + ":" + valore + "\r\n";
}

std::string Cifre(int n, int larghezza) {
    std::string s = std::to_string(n);
    return std::string(static_cast<std::size_t>(std::max<int>(0, larghezza - static_cast<int>(s.size()))), '0') + s;
}

// The order goes out as four records (header, two of data, end), each taken with "SI"; then the answer's
// header and the flood. Entries of 13 characters (interface ORDINE), numbers only, so the record sums stay
// within their 16 bits.
peers::Script Risposta(int nRecord) {
    peers::Script s;
    for (int i = 0; i < 4; ++i) {
        s.push_back(peers::ExpectAny());
        s.push_back(peers::Send("SI"));
    }
    std::string voci;
    while (voci.size() + 13 <= 8190) voci += "0123456781234";
    s.push_back(peers::Send(peers::Record("0000" + std::string("CLIENTE01") + std::string(8, ' ') + Cifre(nRecord, 4))));
    s.push_back(peers::Expect("SI"));
    for (int i = 1; i <= nRecord; ++i) {
        s.push_back(peers::Send(peers::Record(Cifre(i, 4) + voci)));
        s.push_back(peers::Expect("SI"));
    }
    s.push_back(peers::Send(peers::Record("9999CLIENTE01")));
    s.push_back(peers::Expect("SI"));
    return s;
}

// One batch run against a wholesaler answering with `nRecord` records; true when it ended as it should:
// the short answer kept and abort.dat gone, the flood stopped at the bound with nothing of it left.
bool Corsa(int nRecord, bool oltreIlLimite) {
    std::string app = (fs::temp_directory_path() / "floodbench-XXXXXX").string();
    if (!::mkdtemp(app.data())) {
        std::perror("mkdtemp");
        return false;
    }
    std::string ordine = "000000000R001\r\n";
    for (int i = 1; i <= 10; ++i) ordine += "PRD" + Cifre(i, 6) + Cifre(i * 3, 4) + "\r\n";
    morven::ReplaceFileAtomically(app + "/ordseq.txt", ordine);
    ::setenv("MORVEN_APPDIR", app.c_str(), 1);
    ::setenv("MORVEN_COM_REGISTRY", (app + "/com-registry.reg").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    ::setenv("MORVEN_CLOCK_SCALE", "10", 1);  // the protocol's pauses, not the flood, are what the clock shortens

    // The peak is read in a child of its own, forked before the wholesaler's script is built: the peak over a
    // process's reaped children only grows, and it also counts what a child held before its exec, so the
    // process that starts the program must be small. The child starts the program once told the wholesaler
    // is ready, reaps it and hands the figure over in a file.
    const std::string fileMisura = app + "/picco.txt";
    int via[2];
    if (::pipe(via) != 0) return false;
    std::fflush(nullptr);
    const pid_t misura = ::fork();
    if (misura == 0) {
        ::close(via[1]);
        char pronto = 0;
        if (::read(via[0], &pronto, 1) != 1) ::_exit(1);
        // The program's own diagnostics (Qt's among them) go to a file in its folder, not to the table.
        const int errori = ::open((app + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (errori >= 0) ::dup2(errori, 2);
        morven::ProcessOptions o;
        o.wait = true;
        o.timeoutMs = 600000;
        const morven::ProcessResult r =
            morven::StartProcess({std::string(MORVEN_BINARY_DIR) + "/bin/MorvenClient", "/BLKRUN:01"}, o);
        rusage figli{};
        ::getrusage(RUSAGE_CHILDREN, &figli);
        morven::ReplaceFileAtomically(fileMisura, std::to_string(figli.ru_maxrss));
        ::_exit(r.exited && !r.timedOut ? 0 : 1);
    }
    ::close(via[0]);
    peers::FakeWholesaler w({Risposta(nRecord)});
    const std::string impostazioni = Riga("Connect", "Grossista Simulato") + Riga("Code", "CLIENTE01") +
                                     Riga("Mode", "INTERNET") + Riga("Ip1", "127.0.0.1") +
                                     Riga("Porta", std::to_string(w.Port())) + Riga("AutoIncPor", "NO") +
                                     Riga("Interface", "ORDINE") + Riga("DispOrdine", "NO") +
                                     Riga("ModeIFCK", "NO");
    morven::ReplaceFileAtomically(app + "/MvnConn01.par", impostazioni);
    const char via_libera = 1;
    const bool avviato = ::write(via[1], &via_libera, 1) == 1;
    ::close(via[1]);
    int stato = 1;
    ::waitpid(misura, &stato, 0);
    w.Stop();

    std::string picco;
    morven::ReadWholeFile(fileMisura, picco);
    const auto righe = w.Lines();
    const long si = std::count(righe.begin(), righe.end(), std::string("SI"));
    const bool risposte = morven::FileExists(app + "/ordseq.ma1") && morven::FileExists(app + "/ordseq.man") &&
                          morven::FileExists(app + "/ordseq.rst");
    const bool abortDat = morven::FileExists(app + "/abort.dat");
    const bool finito = avviato && WIFEXITED(stato) && WEXITSTATUS(stato) == 0 &&
                        morven::FileExists(app + "/MorvenClient.end");
    const long piccoMb = std::atol(picco.c_str()) / 1024;
    std::printf("  %4d records offered, %4ld acknowledged (header and end record too): peak resident memory %ld MB; "
                "answer kept: %s; abort.dat kept: %s; ended by itself: %s\n",
                nRecord, si, piccoMb, risposte ? "yes" : "no", abortDat ? "yes" : "no", finito ? "yes" : "no");
    std::fflush(stdout);
    const bool ok = finito && risposte != oltreIlLimite && abortDat == oltreIlLimite && piccoMb < 250;
    if (ok) {
        std::error_code ec;
        fs::remove_all(app, ec);
    } else {
        std::fprintf(stderr, "run of %d records not as expected, folder kept: %s\n", nRecord, app.c_str());
    }
    return ok;
}

}  // namespace

int main() {
    std::printf("answer flood: a 10-line order in a batch run, answered with records of 8 KB (target: under 250 MB)\n");
    std::fflush(stdout);
    const bool breve = Corsa(10, false);
    const bool diluvio = Corsa(9998, true);
    return breve && diluvio ? 0 : 1;
}
