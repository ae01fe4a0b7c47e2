// FrmDettaglioOfferta, the offer detail dialog: the Designer form frmdettaglioofferta.ui over the dialog's
// behaviour (client/presenters/offer_detail.h), shown modally by the main window's double-click on a row of an
// availability answer.
#pragma once

#include "client/presenters/offer_detail.h"
#include "client/windows/qt_view.h"

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class FrmDettaglioOfferta;
}

namespace morven {

struct Programma;

class FrmDettaglioOfferta : public QDialog {
    Q_OBJECT
public:
    explicit FrmDettaglioOfferta(Programma& p, QWidget* parent = nullptr);
    ~FrmDettaglioOfferta() override;

    // Fills the dialog with the product `szCodiceProdotto` of the answer file `szFilein`, puts
    // `nQtaModificata` in the quantity box and shows the dialog modally; afterwards `nQtaModificata` holds the
    // chosen quantity. False, with the dialog not shown and the quantity as it was, when the answer can't be
    // read (logged under "ImpostaForm :").
    bool ImpostaForm(const std::string& szCodiceProdotto, const std::string& szFilein, int& nQtaModificata);

    QtView& Vista() { return vista_; }
    DettaglioOfferta& Comportamento() { return dettaglio_; }

protected:
    bool eventFilter(QObject* o, QEvent* e) override;
    // Opens as wide as its texts ask within the screen, and never lower than its wrapped texts need.
    void showEvent(QShowEvent* e) override;

private:
    void Chiudi(bool chiudere);

    std::unique_ptr<Ui::FrmDettaglioOfferta> ui_;
    QtView vista_;
    DettaglioOfferta dettaglio_;
};

// The main window's double-click on an availability row: the dialog over `finestra` for the product `codice`
// of the answer `fileRisposta`; the chosen quantity, or `quantita` when the dialog could not be shown.
int MostraDettaglioOfferta(Programma& p, QWidget* finestra, const std::string& codice,
                           const std::string& fileRisposta, int quantita);

}  // namespace morven
