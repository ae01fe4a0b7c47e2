// The time MorvenClient adds to a call beyond the protocol's own pauses: a batch run (/BLKRUN:) of a
// 500-record order over the TCP line against the wholesaler simulator on 127.0.0.1, the real program
// started as the management software starts it, from its start to its end with MorvenClient.end.
//
// The pauses the program makes on purpose (the start timer's second, the wait before the order, the drains,
// the end of a batch run) run on its clock; the rest (start-up, files, the line, the answer) does not. So
// the run is timed twice: on the real clock (T1) and on a clock S = 2 times faster (TS; a faster one
// shortens the line's time limits below what 500 records take). T1 = W + P and TS = W + P / S, hence the
// pauses P = (T1 - TS) S / (S - 1) and the program's own time W = T1 - P. Both runs use the program's
// clock started with the program (MORVEN_CLOCK_SCALE), so they see the same whole seconds.
//
// What W holds: a drain ends on a whole second of the program's clock, two to three seconds after it
// begins, so work done since the last such second (the connection, the order going out, while it stays
// within that second) shortens the drain by as much and counts as pause on either clock. W is the work no
// drain follows: the start before the program's clock runs, the answer's reception and the end. Each clock
// runs --reps times (default 2), alternating, and the best of each is kept. Each run's output and logs stay
// in its folder only when it fails.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/wholesaler_settings.h"
#include "platform/core/files.h"
#include "platform/core/process.h"
#include "tools/simulator/simulator.h"

namespace {

namespace fs = std::filesystem;
constexpr int kRecords = 500;
constexpr double kFastScale = 2;

// One batch run with the program clock `scale` times the real one (1: the real clock); its wall seconds,
// or a negative number when the run did not send the whole order and end with the end marker.
double OneRun(const std::string& base, double scale) {
    std::string app = base + "/run-XXXXXX";
    if (!::mkdtemp(app.data())) return -1;
    morven::simulator::Simulatore sim;
    morven::ReplaceFileAtomically(app + "/MvnConn01.par", morven::bench::WholesalerSettings(sim.Porta(), 60, 5));
    std::string order = "0000000000000\r\n";
    std::vector<std::string> lines;
    for (int i = 0; i < kRecords; ++i) {
        char line[16];
        std::snprintf(line, sizeof line, "%09d%04d", 10000000 + i * 7919, 1 + i % 30);
        lines.push_back(line);
        order += std::string(line) + "\r\n";
    }
    morven::ReplaceFileAtomically(app + "/ordseq.txt", order);
    fs::create_directories(app + "/HTML");
    morven::ReplaceFileAtomically(app + "/HTML/index.htm", "<html><body>Morven</body></html>");

    morven::simulator::EsitoSessione outcome;
    std::thread server([&] { outcome = sim.ServiUna(120000); });
    ::setenv("MORVEN_APPDIR", app.c_str(), 1);
    ::setenv("MORVEN_COM_REGISTRY", (app + "/com-registry.reg").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    ::setenv("MORVEN_CLOCK_SCALE", std::to_string(scale).c_str(), 1);
    morven::ProcessOptions o;
    o.wait = true;
    o.timeoutMs = 300000;
    // The program's own diagnostics (Qt's among them) go to a file in its folder, not to the table.
    std::fflush(stderr);
    const int savedErr = ::dup(2);
    const int errFile = ::open((app + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errFile >= 0) ::dup2(errFile, 2);
    const auto t0 = std::chrono::steady_clock::now();
    const morven::ProcessResult r =
        morven::StartProcess({std::string(MORVEN_BINARY_DIR) + "/bin/MorvenClient", "/BLKRUN:01"}, o);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (savedErr >= 0) {
        ::dup2(savedErr, 2);
        ::close(savedErr);
    }
    if (errFile >= 0) ::close(errFile);
    std::printf("  run on clock x%g: %.2f s\n", scale, seconds);
    std::fflush(stdout);
    sim.Ferma();
    server.join();
    const bool ok = r.exited && !r.timedOut && morven::FileExists(app + "/MorvenClient.end") && outcome.completa &&
                    outcome.righeOrdine == lines;
    if (!ok) std::fprintf(stderr, "run on clock x%g failed (%s), folder kept: %s\n", scale, outcome.errore.c_str(),
                          app.c_str());
    else fs::remove_all(app);
    return ok ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 2;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--reps=", 7) == 0) reps = std::max(1, std::atoi(argv[i] + 7));
    std::string base = (fs::temp_directory_path() / "sessionbench-XXXXXX").string();
    if (!::mkdtemp(base.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    std::printf("session: batch run of a %d-record order against the simulator on loopback, best of %d:\n", kRecords,
                reps);
    std::fflush(stdout);
    double real = 1e30, fast = 1e30;
    bool ok = true;
    for (int r = 0; r < reps && ok; ++r) {
        const double t1 = OneRun(base, 1), ts = OneRun(base, kFastScale);
        ok = t1 >= 0 && ts >= 0;
        real = std::min(real, t1);
        fast = std::min(fast, ts);
    }
    std::error_code ec;
    if (ok) fs::remove_all(base, ec);
    if (!ok) return 1;
    const double pauses = (real - fast) * kFastScale / (kFastScale - 1);
    std::printf("  real clock %.2f s, clock x%g %.2f s; the protocol's pauses %.2f s; the program adds %.2f s "
                "(target under 1 s: %s)\n",
                real, kFastScale, fast, pauses, real - pauses, real - pauses < 1.0 ? "met" : "not met");
    return 0;
}
