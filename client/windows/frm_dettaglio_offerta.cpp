#include "client/windows/frm_dettaglio_offerta.h"

#include "client/windows/frm_morven.h"
#include "ui_frmdettaglioofferta.h"

#include <QApplication>
#include <QLayout>
#include <QLabel>
#include <QRegularExpression>
#include <QScreen>

#include <algorithm>

namespace morven {

FrmDettaglioOfferta::FrmDettaglioOfferta(Programma& p, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::FrmDettaglioOfferta>()), vista_(this), dettaglio_(p, vista_) {
    ui_->setupUi(this);
    connect(ui_->CmdConferma, &QPushButton::clicked, this, [this] { Chiudi(dettaglio_.CmdConferma_Click()); });
    connect(ui_->CmdAnnulla, &QPushButton::clicked, this, [this] { Chiudi(dettaglio_.CmdAnnulla_Click()); });
    connect(ui_->CmdUscita, &QPushButton::clicked, this, [this] { Chiudi(dettaglio_.CmdUscita_Click()); });
    // The offer grid's cells wrap a long text (payment terms, the free product) onto more lines instead of
    // cutting it, and the columns share the width.
    static const QRegularExpression cella(QStringLiteral("^Lbl[A-Za-z]+_[0-4]$"));
    for (QLabel* l : findChildren<QLabel*>())
        if (cella.match(l->objectName()).hasMatch()) l->setWordWrap(true);
    // The function keys belong to the dialog whichever of its controls has the focus.
    qApp->installEventFilter(this);
}

FrmDettaglioOfferta::~FrmDettaglioOfferta() { qApp->removeEventFilter(this); }

void FrmDettaglioOfferta::Chiudi(bool chiudere) {
    // Closing leaves the choice where the button put it; closing by the frame leaves it as it was.
    if (chiudere) accept();
}

bool FrmDettaglioOfferta::ImpostaForm(const std::string& szCodiceProdotto, const std::string& szFilein,
                                      int& nQtaModificata) {
    if (!dettaglio_.Prepara(szCodiceProdotto, szFilein, nQtaModificata)) return false;
    ui_->TxtQtaRichiesta->selectAll();
    ui_->TxtQtaRichiesta->setFocus();
    exec();
    nQtaModificata = dettaglio_.nTmpQta;
    return true;
}

void FrmDettaglioOfferta::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // A window gets two thirds of the screen by default, and a top-level layout does not raise its height
    // for wrapped texts: both are given here.
    const QSize schermo = screen() ? screen()->availableSize() : sizeHint();
    const int minima = minimumSizeHint().width();
    const int larghezza = std::max(minima, std::min(sizeHint().width(), schermo.width()));
    setMinimumSize(minima, layout()->totalHeightForWidth(minima));
    resize(larghezza, layout()->totalHeightForWidth(larghezza));
}

bool FrmDettaglioOfferta::eventFilter(QObject* o, QEvent* e) {
    const auto tasto = TastoFunzioneDi(*this, o, e);
    if (!tasto) return QDialog::eventFilter(o, e);
    if (tasto->ripetuto) return true;  // a key held down acts once
    int codice = tasto->codice;
    bool chiudere = false;
    dettaglio_.Gestisci_Tasto_Funzione(codice, tasto->shift, chiudere);
    Chiudi(chiudere);
    return true;
}

int MostraDettaglioOfferta(Programma& p, QWidget* finestra, const std::string& codice,
                           const std::string& fileRisposta, int quantita) {
    FrmDettaglioOfferta dettaglio(p, finestra);
    dettaglio.ImpostaForm(codice, fileRisposta, quantita);
    return quantita;
}

}  // namespace morven
