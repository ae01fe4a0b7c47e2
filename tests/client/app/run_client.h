// Runs the built MorvenClient in an application folder of the test's own, headless, and waits for its end.
#pragma once

#include "platform/core/process.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace morven::testing {

// `argomenti` are the program's arguments; `scala` makes the program's clock run that many times faster (0:
// the real clock). The component library is registered in the folder's own registry.
inline ProcessResult EseguiMorvenClient(const std::string& app, const std::vector<std::string>& argomenti, int scala,
                                        int timeoutMs) {
    setenv("MORVEN_APPDIR", app.c_str(), 1);
    setenv("MORVEN_COM_REGISTRY", (app + "/com-registry.reg").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    if (scala > 0) setenv("MORVEN_CLOCK_SCALE", std::to_string(scala).c_str(), 1);
    ProcessOptions o;
    o.wait = true;
    o.timeoutMs = timeoutMs;
    std::vector<std::string> comando{std::string(MORVEN_BINARY_DIR) + "/bin/MorvenClient"};
    comando.insert(comando.end(), argomenti.begin(), argomenti.end());
    const ProcessResult r = StartProcess(comando, o);
    unsetenv("MORVEN_APPDIR");
    unsetenv("MORVEN_COM_REGISTRY");
    unsetenv("MORVEN_CLOCK_SCALE");
    return r;
}

// Starts MorvenClient as a caller without a display does: no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM
// (nor any variable that asks Qt for its diagnostics), the application folder `app`, its standard error
// into `fileErrori`, with the variables `ambientePiu` ("NAME=value") on top. Returns the child's process id,
// 0 when it could not be started; WaitProcess ends it.
inline int AvviaSenzaSchermo(const std::string& app, const std::vector<std::string>& argomenti, int scala,
                             const std::string& fileErrori, const std::vector<std::string>& ambientePiu = {}) {
    static const char* const kTolte[] = {"DISPLAY=",          "WAYLAND_DISPLAY=",           "QT_QPA_PLATFORM=",
                                         "MORVEN_APPDIR=",    "MORVEN_COM_REGISTRY=",       "MORVEN_CLOCK_SCALE=",
                                         "QT_LOGGING_RULES=", "QTWEBENGINE_CHROMIUM_FLAGS=", "MORVEN_QT_DIAGNOSTICS="};
    std::vector<std::string> ambiente;
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        bool tolta = false;
        for (const char* t : kTolte) tolta = tolta || v.rfind(t, 0) == 0;
        if (!tolta) ambiente.push_back(v);
    }
    ambiente.push_back("MORVEN_APPDIR=" + app);
    ambiente.push_back("MORVEN_COM_REGISTRY=" + app + "/com-registry.reg");
    if (scala > 0) ambiente.push_back("MORVEN_CLOCK_SCALE=" + std::to_string(scala));
    ambiente.insert(ambiente.end(), ambientePiu.begin(), ambientePiu.end());
    std::vector<std::string> comando{std::string(MORVEN_BINARY_DIR) + "/bin/MorvenClient"};
    comando.insert(comando.end(), argomenti.begin(), argomenti.end());
    // Everything the child needs is made before the fork: it only redirects and starts the program.
    std::vector<char*> argv, envp;
    for (auto& a : comando) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& a : ambiente) envp.push_back(a.data());
    envp.push_back(nullptr);
    const int errori = ::open(fileErrori.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int nulla = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (errori < 0 || nulla < 0) return 0;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(nulla, 0);
        ::dup2(errori, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(errori);
    ::close(nulla);
    return pid > 0 ? pid : 0;
}

// How a started program ended: by itself with a status (a signal shows as 128 + its number), or not in time
// (then it is killed).
struct FineProgramma {
    bool finito = false;
    int codice = -1;
};

inline FineProgramma AttendiProgramma(int pid, int timeoutMs) {
    FineProgramma f;
    f.finito = WaitProcess(pid, timeoutMs, &f.codice);
    if (!f.finito) {
        ::kill(pid, SIGKILL);
        WaitProcess(pid, 10000);
    }
    return f;
}

}  // namespace morven::testing
