// The program put together: the state, the real ports, the main and debug windows, and what the main
// window starts. main() only makes the Qt application and runs it; tests of the windows build the same.
#pragma once

#include "client/engine/programma.h"
#include "client/windows/frm_browser.h"
#include "client/windows/frm_impostazioni.h"
#include "client/windows/frm_morven.h"
#include "client/windows/frm_splash.h"
#include "client/windows/qt_ports.h"

#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>
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

    // A start whose command line makes its call by itself (/BLKRUN:, /1../10) takes the folder's call lock
    // before the window loads. With another call under way it logs why, writes its outcome line, touches
    // nothing else and gives the exit status to end with; nothing when the start may go on.
    std::optional<int> BloccoAvvio(const std::string& argomenti);

private:
    void SalvaSchermataEFine();
    void SalvaSchermataImpostazioniEFine();
};

// The program's argument text: the arguments joined by one blank.
std::string TestoArgomenti(int argc, char** argv);

// The start-up line the switches are read from: the first line of MorvenClient.opz, a blank, the arguments.
std::string RigaAvvioProgramma(const std::string& cartellaApp, const std::string& argomenti);

// Exit status of a start that needs a person in front of the window and found no display.
inline constexpr int kUscitaSenzaSchermo = 2;

// Before the Qt application exists: a start that is not a batch run (/BLKRUN:) and finds no display (no
// DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM) has nobody to show its window to, and Qt would abort. It says
// so on the standard error and in MorvenClient.log, writes its outcome line and MorvenClient.end (unless
// another program's call holds the folder) and gives the exit status to end with; nothing when the start may
// go on.
std::optional<int> FineSenzaSchermo(const std::string& cartellaApp, const std::string& argomenti);

// Before the Qt application exists: a batch run (/BLKRUN: in the arguments or in the first line of
// MorvenClient.opz) without a display and without QT_QPA_PLATFORM gets the offscreen platform, a run as
// root gets the embedded browser's no-sandbox switch, and the web engine's own diagnostics stay off the
// standard error unless the environment already asks for them (QT_LOGGING_RULES, or a logging switch in
// QTWEBENGINE_CHROMIUM_FLAGS). Returns one log line for each change made.
std::vector<std::string> PreparaAmbienteQt(const std::string& cartellaApp, const std::string& argomenti);

// Qt's own messages: dropped unless they end the process, so the standard error holds the program's lines;
// QT_LOGGING_RULES or MORVEN_QT_DIAGNOSTICS in the environment keep them (see DiagnosticheQtRichieste).
bool DiagnosticheQtRichieste();
void MessaggiQt(QtMsgType tipo, const QMessageLogContext& contesto, const QString& testo);
// Installs MessaggiQt for the whole run. Until FineAvvioQt, a platform that cannot be had (a display that
// is named but does not answer) ends the start as FineSenzaSchermo does, instead of aborting.
void InizioAvvioQt(const std::string& cartellaApp, const std::string& argomenti);
void FineAvvioQt();

}  // namespace morven
