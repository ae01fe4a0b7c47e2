// FrmMorven, the main window: the Designer form frmmorven.ui, its timers Timer1 and Timer4, the view of its
// controls for the engine, the answer list and tree, and the forwarding of every window event to the
// window's behaviour (client/presenters/main_window.h).
#pragma once

#include "client/presenters/main_window.h"
#include "client/windows/qt_view.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QTableWidget;
class QTreeWidget;

namespace Ui {
class FrmMorven;
}

namespace morven {

struct Programma;

// Windows key code (VK_F1 = 112 ...) of a Qt key; 0 for keys the window does not use.
int CodiceTastoWindows(int tastoQt);
// Shift-state bits (1 Shift, 2 Ctrl, 4 Alt) of Qt modifiers.
int StatoShift(Qt::KeyboardModifiers modificatori);
// A function key pressed anywhere in `finestra` (an application event filter sees it first): `gestisci`
// gets its Windows key code and shift state, and true is returned (the key belongs to the window). A key
// held down acts once: its repeats are taken and do nothing, so a key held from an earlier window (or one
// whose release the X server lost) never answers what appears later. False for every other event.
bool TastoFunzioneFinestra(QWidget& finestra, QObject* o, QEvent* e, const std::function<void(int&, int)>& gestisci);

// A function key pressed on any control of `finestra`: its Windows key code and shift state.
struct TastoFunzione {
    int codice = 0;
    int shift = 0;
    bool ripetuto = false;  // a repeat of a key held down
};
std::optional<TastoFunzione> TastoFunzioneDi(const QWidget& finestra, QObject* o, QEvent* e);

// The main window's view: its controls by name, and the window's behaviour for the session's end steps.
class VistaFrmMorven : public QtView, public ConEventiFrmMorven {
public:
    using QtView::QtView;
    EventiFrmMorven* EventiFinestra() override { return eventi; }
    EventiFrmMorven* eventi = nullptr;
};

class FrmMorven : public QMainWindow, public VistaRisposte {
    Q_OBJECT
public:
    FrmMorven(Programma& p, CollegamentiFrmMorven collegamenti, QWidget* parent = nullptr);
    ~FrmMorven() override;

    VistaFrmMorven& Vista() { return vista_; }
    EventiFrmMorven& Eventi() { return *eventi_; }

    // The load step with the program's argument text.
    void Carica(const std::string& argomenti);

    QTableWidget* Lista() const;
    QTreeWidget* Albero() const;

    // VistaRisposte
    void MostraLista(const ModelloLista& lista) override;
    int RigaSelezionata() const override;
    void MostraDocumenti(const ModelloDocumenti& documenti) override;

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void AggiornaColonnaLaterale();

    std::unique_ptr<Ui::FrmMorven> ui_;
    QTimer timer1_, timer4_;
    VistaFrmMorven vista_;
    std::unique_ptr<EventiFrmMorven> eventi_;
};

// The debug window frmdebug with its list List1.
class FrmDebug : public QWidget {
    Q_OBJECT
public:
    explicit FrmDebug(QWidget* parent = nullptr);
    ~FrmDebug() override;
    QtView& Vista() { return vista_; }

private:
    QtView vista_;
};

}  // namespace morven
