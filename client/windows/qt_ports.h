// Qt implementations of the engine's pump, message-box and program-end ports.
#pragma once

#include "client/engine/ports.h"
#include "platform/core/pump.h"

#include <QMessageBox>
#include <QObject>
#include <QTimer>

#include <functional>

namespace morven {

// The pump of a Qt program: window events, then the device pollers. A timer keeps the pollers running
// while no session calls the pump (so a peer's close is seen while the pharmacist reads the answer).
class QtPump : public EventPump {
public:
    explicit QtPump(int intervalloMs = 20);
    void process() override;

private:
    QTimer timer_;
    bool dentro_ = false;
};

// Italian captions of the buttons, by result (1 OK .. 7 No).
QString TestoPulsante(int risultato);

// QMessageBox with the buttons, icon and default button of the style sum; the owner is the given view's
// window. `prima` (tests) sees each box just before it is shown.
class QtMessageBoxes : public MessageBoxes {
public:
    int MsgBox(std::string_view prompt, int style, std::string_view title, View* owner) override;
    std::function<void(QMessageBox&)> prima;
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
