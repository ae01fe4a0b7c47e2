// FrmImpostazioni, the connection settings window: the Designer form frmimpostazioni.ui, the view of its
// controls for the window's behaviour (client/presenters/settings_dialog.h) and the forwarding of the
// pharmacist's edits, clicks and function keys to it. Filling the controls is never forwarded: only what the
// user does (typing, clicking, choosing from a list) counts as an edit.
#pragma once

#include "client/presenters/settings_dialog.h"
#include "client/windows/qt_view.h"

#include <QDialog>

#include <memory>

namespace Ui {
class FrmImpostazioni;
}

namespace morven {

struct Programma;
class FrmMorven;

// The view of the settings window: besides QtView's controls, the lists of its combo boxes (a list that
// cannot be typed into shows only a text it holds; another is refused), and the longest text of a text box
// as its Max.
class VistaFrmImpostazioni : public QtView {
public:
    using QtView::QtView;
    void SetText(std::string_view control, std::string_view text) override;
    void ListChanged(std::string_view control) override;
    void SetMax(std::string_view control, int max) override;
    int Max(std::string_view control) const override;
};

class FrmImpostazioni : public QDialog {
    Q_OBJECT
public:
    // `c.Chiudi` left unset closes this window.
    FrmImpostazioni(Programma& p, CollegamentiFrmImpostazioni c, QWidget* parent = nullptr);
    ~FrmImpostazioni() override;

    VistaFrmImpostazioni& Vista() { return vista_; }
    EventiFrmImpostazioni& Eventi() { return *eventi_; }

    // The load step: the selected slot's settings into the controls.
    void Carica();

public slots:
    // Escape asks the closing question like the close box.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    std::unique_ptr<Ui::FrmImpostazioni> ui_;
    VistaFrmImpostazioni vista_;
    std::unique_ptr<EventiFrmImpostazioni> eventi_;
};

// Opens the settings window of the selected slot (sGrossistaSelezionato), created anew: modal over the main
// window from the menu, whose slot entries are rebuilt after a save; not modal and alone in a
// configuration-only run, which ends with it.
void MostraFrmImpostazioni(Programma& p, FrmMorven& principale, std::unique_ptr<FrmImpostazioni>& finestra,
                           bool modale);

}  // namespace morven
