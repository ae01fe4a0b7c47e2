// What a call costs the machine while the wholesaler is silent: MorvenClient in a batch run (/BLKRUN:) calls a
// wholesaler on 127.0.0.1 that accepts the connection, reads what it is sent and never answers. For 20 seconds
// (--seconds=N) from the moment the call connects, the program waits on its line; then it is stopped. Printed:
// the program's CPU time against the wall time over that window (from /proc, so its start-up is left out), and
// its whole run's CPU time from getrusage (wait4) beside its whole wall time. Target: under 2% over the window;
// a pump that spins uses about 100%.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/wholesaler_settings.h"
#include "platform/core/files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Orologio = std::chrono::steady_clock;

// A wholesaler that takes every call and says nothing: it keeps each connection open and drops what it reads.
class GrossistaMuto {
public:
    GrossistaMuto() {
        ascolto_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (ascolto_ < 0 || ::bind(ascolto_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(ascolto_, 8) != 0 || ::getsockname(ascolto_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            std::perror("listen on 127.0.0.1");
            std::exit(1);
        }
        porta_ = ntohs(a.sin_port);
        filo_ = std::thread([this] { Servi(); });
    }
    ~GrossistaMuto() {
        fermo_ = true;
        filo_.join();
        ::close(ascolto_);
    }
    int Porta() const { return porta_; }
    int Chiamate() const { return chiamate_; }

private:
    void Servi() {
        std::vector<pollfd> fds{{ascolto_, POLLIN, 0}};
        while (!fermo_) {
            if (::poll(fds.data(), fds.size(), 50) <= 0) continue;
            for (std::size_t i = fds.size(); i-- > 0;) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                if (i == 0) {
                    const int c = ::accept4(ascolto_, nullptr, nullptr, SOCK_CLOEXEC);
                    if (c >= 0) {
                        fds.push_back({c, POLLIN, 0});
                        ++chiamate_;
                    }
                    continue;
                }
                char buf[4096];
                if (::read(fds[i].fd, buf, sizeof buf) <= 0) {
                    ::close(fds[i].fd);
                    fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i));
                }
            }
        }
        for (std::size_t i = 1; i < fds.size(); ++i) ::close(fds[i].fd);
    }

    int ascolto_ = -1;
    int porta_ = 0;
    std::thread filo_;
    std::atomic<bool> fermo_{false};
    std::atomic<int> chiamate_{0};
};

// User plus system CPU seconds of a running process, from /proc/<pid>/stat; negative once it is gone.
double CpuDi(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string testo((std::istreambuf_iterator<char>(f)), {});
    const auto chiusa = testo.rfind(')');
    if (chiusa == std::string::npos) return -1;
    std::istringstream campi(testo.substr(chiusa + 2));
    std::string campo;
    long long utime = 0, stime = 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    for (int n = 3; n <= 15 && campi >> campo; ++n) {
        if (n == 14) utime = std::atoll(campo.c_str());
        if (n == 15) stime = std::atoll(campo.c_str());
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The program has ended (it is left for wait4 to reap).
bool Finito(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0;
}

double Secondi(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
    int durata = 20;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--seconds=", 10) == 0) durata = std::max(1, std::atoi(argv[i] + 10));
    std::string app = (fs::temp_directory_path() / "silentbench-XXXXXX").string();
    if (!::mkdtemp(app.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    GrossistaMuto grossista;
    // Limits long enough that the call is still waiting on the line when the window closes.
    morven::ReplaceFileAtomically(app + "/MvnConn01.par", morven::bench::WholesalerSettings(grossista.Porta(), 600, 60));
    morven::ReplaceFileAtomically(app + "/ordseq.txt", "0000000000000\r\n0100000000001\r\n");
    fs::create_directories(app + "/HTML");
    morven::ReplaceFileAtomically(app + "/HTML/index.htm", "<html><body>Morven</body></html>");

    ::setenv("MORVEN_APPDIR", app.c_str(), 1);
    ::setenv("MORVEN_COM_REGISTRY", (app + "/com-registry.reg").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    ::unsetenv("MORVEN_CLOCK_SCALE");  // the real clock: the point is what a real wait costs
    const std::string programma = std::string(MORVEN_BINARY_DIR) + "/bin/MorvenClient";
    std::vector<char*> args{const_cast<char*>(programma.c_str()), const_cast<char*>("/BLKRUN:01"), nullptr};
    posix_spawn_file_actions_t azioni;
    posix_spawn_file_actions_init(&azioni);
    // The program's own diagnostics (Qt's among them) go to a file in its folder, not to the table.
    posix_spawn_file_actions_addopen(&azioni, 2, (app + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const auto avvio = Orologio::now();
    if (posix_spawn(&pid, programma.c_str(), &azioni, nullptr, args.data(), environ) != 0) {
        std::perror("posix_spawn");
        return 1;
    }
    posix_spawn_file_actions_destroy(&azioni);

    // The window opens once the call is connected (the program's start-up is not the wait being measured).
    while (grossista.Chiamate() == 0 && Orologio::now() - avvio < std::chrono::seconds(60) &&
           !Finito(pid))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto inizio = Orologio::now();
    const double cpuInizio = CpuDi(pid);
    double cpuFine = cpuInizio;
    auto fine = inizio;
    bool finitoDaSolo = grossista.Chiamate() == 0;
    while (!finitoDaSolo && Orologio::now() - inizio < std::chrono::seconds(durata)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const double c = CpuDi(pid);
        if (c < 0 || Finito(pid)) {
            finitoDaSolo = true;
            break;
        }
        cpuFine = c;
        fine = Orologio::now();
    }
    ::kill(pid, SIGKILL);
    int stato = 0;
    rusage uso{};
    ::wait4(pid, &stato, 0, &uso);
    const double totale = std::chrono::duration<double>(Orologio::now() - avvio).count();
    const double finestra = std::chrono::duration<double>(fine - inizio).count();
    const double cpu = cpuFine - cpuInizio;
    const double cpuTotale = Secondi(uso.ru_utime) + Secondi(uso.ru_stime);

    std::printf("silent wholesaler: MorvenClient /BLKRUN: on a call to 127.0.0.1 that gets no answer\n");
    if (grossista.Chiamate() == 0) {
        std::printf("  the program never called (folder kept: %s)\n", app.c_str());
        return 1;
    }
    if (finitoDaSolo) std::printf("  the program ended by itself before the window closed\n");
    const double quota = finestra > 0 ? cpu / finestra * 100 : 0;
    std::printf("  window on the silent line: %.2f s wall, %.3f s CPU = %.2f%% (target under 2%%: %s)\n", finestra,
                cpu, quota, quota < 2.0 ? "met" : "not met");
    std::printf("  whole run (getrusage): %.2f s wall, %.3f s CPU (user %.3f, system %.3f) = %.2f%%\n", totale,
                cpuTotale, Secondi(uso.ru_utime), Secondi(uso.ru_stime), cpuTotale / totale * 100);
    std::error_code ec;
    fs::remove_all(app, ec);
    return quota < 2.0 ? 0 : 2;
}
