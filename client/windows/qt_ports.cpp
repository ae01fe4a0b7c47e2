#include "client/windows/qt_ports.h"

#include "client/engine/logs.h"
#include "client/engine/message_box.h"
#include "client/engine/programma.h"
#include "client/windows/qt_text.h"
#include "client/windows/qt_view.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>

#include <poll.h>

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace morven {

QtPump::QtPump(int intervalloMs) {
    timer_.setInterval(intervalloMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (!dentro_) EventPump::process();
    });
    timer_.start();
}

void QtPump::process() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    dentro_ = true;
    EventPump::process();
    dentro_ = false;
}

void QtPump::process(std::int64_t deadlineMs) {
    const Piano piano = PianoAttesa(deadlineMs);
    if (piano.sonnoMs > 0) {
        // The notifiers and the timer only wake the wait: the events they post end it, and the pollers
        // do the reading. One notifier per descriptor and kind (Qt refuses two alike).
        std::vector<std::unique_ptr<QSocketNotifier>> avvisi;
        std::set<std::pair<int, int>> visti;
        auto avvisa = [&](int fd, QSocketNotifier::Type tipo) {
            if (visti.insert({fd, int(tipo)}).second) avvisi.push_back(std::make_unique<QSocketNotifier>(fd, tipo));
        };
        for (const auto& d : piano.attesa.Descriptors()) {
            if (d.events & POLLIN) avvisa(d.fd, QSocketNotifier::Read);
            if (d.events & POLLOUT) avvisa(d.fd, QSocketNotifier::Write);
        }
        QTimer sveglia;
        sveglia.setSingleShot(true);
        sveglia.setTimerType(Qt::PreciseTimer);
        sveglia.start(static_cast<int>(piano.sonnoMs));
        // The idle timer would wake the wait fifty times a second for nothing; the wait runs the pollers itself.
        timer_.stop();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        timer_.start();
    }
    process();
}

QString TestoPulsante(int r) {
    switch (r) {
        case kMsgOk: return QStringLiteral("OK");
        case kMsgCancel: return QStringLiteral("Annulla");
        case kMsgAbort: return QStringLiteral("Interrompi");
        case kMsgRetry: return QStringLiteral("Riprova");
        case kMsgIgnore: return QStringLiteral("Ignora");
        case kMsgYes: return QStringLiteral("S\u00ec");
        case kMsgNo: return QStringLiteral("No");
        default: return QString();
    }
}

RispostaBox PoliticaRisposta(bool bBlkRun, std::string_view piattaforma) {
    if (piattaforma == "offscreen" || piattaforma == "minimal") return {ModoRisposta::Subito, 0};
    if (bBlkRun) return {ModoRisposta::ATempo, kLimiteBoxBatchMs};
    return {ModoRisposta::Utente, 0};
}

std::string RigaRispostaAutomatica(std::string_view title, std::string_view prompt, int risultato) {
    std::string testo(prompt);
    for (std::size_t at = testo.find("\r\n"); at != std::string::npos; at = testo.find("\r\n", at + 1))
        testo.replace(at, 2, " ");
    for (char& c : testo)
        if (c == '\r' || c == '\n') c = ' ';
    return "MessagBox :risposta automatica " + ACp1252(TestoPulsante(risultato)) + " (" +
           std::to_string(risultato) + ") a \"" + std::string(title) + "\" :" + testo;
}

namespace {

std::int64_t AdessoMs(Programma* p) {
    if (p && p->oggetti.oClock) return p->oggetti.oClock->MonotonicMs();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int QtMessageBoxes::MsgBox(std::string_view prompt, int style, std::string_view title, View* owner) {
    const MsgBoxLayout m = DecodeMessageBoxStyle(std::uint32_t(style));
    const bool batch = programma && programma->opzioni.bBlkRun;
    const RispostaBox regola = PoliticaRisposta(
        batch, piattaforma.empty() ? QGuiApplication::platformName().toStdString() : piattaforma);
    auto registra = [&](int risultato) {
        if (programma) ScriviLogFunzione(*programma, RigaRispostaAutomatica(title, prompt, risultato));
    };
    if (regola.modo == ModoRisposta::Subito) {
        registra(m.defaultButton);
        return m.defaultButton;
    }
    // The box may wait long for a person: the status file does not lag behind meanwhile.
    if (programma) ScriviStatoInSospeso(*programma, true);

    QWidget* padre = nullptr;
    if (auto* qv = dynamic_cast<QtView*>(owner)) padre = qv->Radice();
    QMessageBox box(padre);
    box.setWindowTitle(DaCp1252(title));
    box.setText(DaCp1252(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    switch (m.icon) {
        case MsgIcon::Stop: box.setIcon(QMessageBox::Critical); break;
        case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
        case MsgIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
        case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
        case MsgIcon::None: break;
    }
    std::map<QAbstractButton*, int> risultati;
    QPushButton* predefinito = nullptr;
    for (int r : m.buttons) {
        const auto ruolo = r == kMsgCancel || r == kMsgNo ? QMessageBox::RejectRole : QMessageBox::AcceptRole;
        QPushButton* b = box.addButton(TestoPulsante(r), ruolo);
        b->setObjectName(QStringLiteral("Pulsante%1").arg(r));
        risultati[b] = r;
        if (r == m.defaultButton) {
            box.setDefaultButton(b);
            predefinito = b;
        }
        if (r == m.escapeResult) box.setEscapeButton(b);
    }

    // A box with a time limit watches the program's clock (a test clock runs it faster) and presses its
    // default button when the limit has passed.
    bool scaduto = false;
    QTimer sorveglianza;
    if (regola.modo == ModoRisposta::ATempo) {
        const std::int64_t inizio = AdessoMs(programma);
        sorveglianza.setInterval(20);
        QObject::connect(&sorveglianza, &QTimer::timeout, &box, [&, inizio] {
            if (scaduto || AdessoMs(programma) - inizio < regola.limiteMs) return;
            scaduto = true;
            sorveglianza.stop();
            if (predefinito) predefinito->click();
        });
        sorveglianza.start();
    }
    if (prima) prima(box);
    box.exec();
    sorveglianza.stop();
    auto it = risultati.find(box.clickedButton());
    const int risultato = it == risultati.end() ? m.escapeResult : it->second;
    if (scaduto) registra(risultato);
    return risultato;
}

void QtProgramEnd::EndProgram(int exitCode) {
    if (terminato) return;
    terminato = true;
    codice = exitCode;
    if (primaDiUscire) primaDiUscire();
    for (QWidget* w : QApplication::topLevelWidgets()) w->hide();
    QCoreApplication::exit(exitCode);
}

}  // namespace morven
