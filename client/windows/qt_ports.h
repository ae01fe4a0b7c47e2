// Qt implementations of the engine's pump, message-box and program-end ports.
#pragma once

#include "client/engine/ports.h"
#include "platform/core/pump.h"

#include <QMessageBox>
#include <QObject>
#include <QTimer>

#include <functional>
#include <string>
#include <string_view>

namespace morven {

struct Programma;

// The pump of a Qt program: window events, then the device pollers. A timer keeps the pollers running
// while no session calls the pump (so a peer's close is seen while the pharmacist reads the answer).
// process(deadline) sleeps in Qt's wait for more events, with a socket notifier on every descriptor the
// pollers watch and a timer for the deadline, so it wakes for line data, window events or the deadline.
class QtPump : public EventPump {
public:
    explicit QtPump(int intervalloMs = 20);
    void process() override;
    void process(std::int64_t deadlineMs) override;

private:
    QTimer timer_;
    bool dentro_ = false;
};

// Italian captions of the buttons, by result (1 OK .. 7 No).
QString TestoPulsante(int risultato);

// Who answers a message box. A box that waits for a click nobody can make would hang the program, and with it
// a management program waiting for the batch run's end marker.
enum class ModoRisposta {
    Utente,  // shown, waits for the pharmacist's click
    Subito,  // not shown: answered at once with its default button (nobody can see it)
    ATempo,  // shown, and answered with its default button when nobody clicked within `limiteMs`
};
struct RispostaBox {
    ModoRisposta modo = ModoRisposta::Utente;
    int limiteMs = 0;
    friend bool operator==(const RispostaBox&, const RispostaBox&) = default;
};

// How long a box of a batch run waits for a click, on the program's clock.
inline constexpr int kLimiteBoxBatchMs = 30000;

// The rule, in one place: on a platform without a screen ("offscreen", "minimal") a box is answered at once;
// in a batch run (/BLKRUN:) it closes itself after kLimiteBoxBatchMs; otherwise it waits for the click.
RispostaBox PoliticaRisposta(bool bBlkRun, std::string_view piattaforma);

// The function-log line of a box that answered by itself: title, text (line ends as blanks) and the button.
std::string RigaRispostaAutomatica(std::string_view title, std::string_view prompt, int risultato);

// QMessageBox with the buttons, icon and default button of the style sum; the owner is the given view's
// window. Who answers follows PoliticaRisposta; a box that answers by itself writes RigaRispostaAutomatica
// to the function log. `prima` (tests) sees each shown box just before it is shown.
class QtMessageBoxes : public MessageBoxes {
public:
    int MsgBox(std::string_view prompt, int style, std::string_view title, View* owner) override;
    std::function<void(QMessageBox&)> prima;
    // The program whose batch flag, clock and function log the boxes use. Unset: not a batch run, the real
    // monotonic clock, no log line.
    Programma* programma = nullptr;
    // The platform the rule sees; empty: the running Qt platform.
    std::string piattaforma;
};

// Ends the Qt program: closes the windows and leaves the event loop with the exit code. When the loop is not
// running yet (an end during start-up), the program's main() sees `terminato` and returns the code.
class QtProgramEnd : public ProgramEnd {
public:
    void EndProgram(int exitCode) override;
    bool terminato = false;
    int codice = 0;
    std::function<void()> primaDiUscire;  // closes the ports and the files
};

}  // namespace morven
