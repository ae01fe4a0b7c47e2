// The program put together: the state, the real ports, the main and debug windows, and what the main
// window starts. main() only makes the Qt application and runs it; tests of the windows build the same.
#pragma once

#include "client/engine/programma.h"
#include "client/windows/frm_browser.h"
#include "client/windows/frm_impostazioni.h"
#include "client/windows/frm_morven.h"
#include "client/windows/frm_splash.h"
#include "client/windows/qt_ports.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace morven {

class DeviceSerialPort;
class DeviceTcpSocket;

struct ProgrammaMorven {
    // `cartellaApp` is sPathApp. A `scalaOrologio` above 0 runs the program's clock that many times faster
    // than real time, from the current date and time (tests of the whole program use it, so its protocol
    // pauses and time limits take a fraction of their time).
    explicit ProgrammaMorven(std::string cartellaApp, double scalaOrologio = 0);
    ~ProgrammaMorven();

    Programma p;
    QtPump* pompa = nullptr;
    QtMessageBoxes* msgbox = nullptr;
    QtProgramEnd* fine = nullptr;
    DeviceSerialPort* seriale = nullptr;
    DeviceTcpSocket* socket = nullptr;
    std::unique_ptr<FrmDebug> debug;
    std::unique_ptr<FrmMorven> finestra;
    std::unique_ptr<FrmImpostazioni> impostazioni;
    std::unique_ptr<FrmBrowser> browser;  // frmbrowser: made at start, shown on demand
    std::unique_ptr<FrmSplash> informazioni;  // frmSplash: made when first asked for

    // Saves a picture of the main window (PNG) after every session when not empty, then ends the program:
    // how a run without a display shows what the window looked like. A configuration-only run saves the
    // settings window's picture instead, as it opens.
    std::string fileSchermata;

    // The call driver the main window's Timer1 runs.
    std::function<bool(Programma&, std::string&)> chiamata;

private:
    void SalvaSchermataEFine();
    void SalvaSchermataImpostazioniEFine();
};

// The program's argument text: the arguments joined by one blank.
std::string TestoArgomenti(int argc, char** argv);

// Before the Qt application exists: a batch run (/BLKRUN: in the arguments or in the first line of
// MorvenClient.opz) without a display and without QT_QPA_PLATFORM gets the offscreen platform, and a run as
// root gets the embedded browser's no-sandbox switch. Returns one log line for each change made.
std::vector<std::string> PreparaAmbienteQt(const std::string& cartellaApp, const std::string& argomenti);

}  // namespace morven
