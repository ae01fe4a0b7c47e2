#include "client/windows/qt_ports.h"

#include "client/engine/message_box.h"
#include "client/windows/qt_text.h"
#include "client/windows/qt_view.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <map>

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

int QtMessageBoxes::MsgBox(std::string_view prompt, int style, std::string_view title, View* owner) {
    const MsgBoxLayout m = DecodeMessageBoxStyle(std::uint32_t(style));
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
    for (int r : m.buttons) {
        const auto ruolo = r == kMsgCancel || r == kMsgNo ? QMessageBox::RejectRole : QMessageBox::AcceptRole;
        QPushButton* b = box.addButton(TestoPulsante(r), ruolo);
        b->setObjectName(QStringLiteral("Pulsante%1").arg(r));
        risultati[b] = r;
        if (r == m.defaultButton) box.setDefaultButton(b);
        if (r == m.escapeResult) box.setEscapeButton(b);
    }
    if (prima) prima(box);
    box.exec();
    auto it = risultati.find(box.clickedButton());
    return it == risultati.end() ? m.escapeResult : it->second;
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
