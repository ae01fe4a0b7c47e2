// Runs the built MorvenClient in an application folder of the test's own, headless, and waits for its end.
#pragma once

#include "platform/core/process.h"

#include <cstdlib>
#include <string>
#include <vector>

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

}  // namespace morven::testing
