#include "client/windows/frm_richieste.h"

#include "client/engine/logs.h"
#include "client/engine/programma.h"
#include "client/windows/frm_morven.h"
#include "client/windows/qt_text.h"
#include "ui_frmmessaggio.h"
#include "ui_frmordinepht.h"
#include "ui_frmricdocumenti.h"

#include <QApplication>
#include <QDateEdit>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTableWidget>

namespace morven {

namespace {

constexpr char kFormatoData[] = "dd/MM/yyyy";

// Function keys anywhere in the dialog go to its handler.
template <class Eventi>
bool TastoDialogo(QDialog& d, Eventi& eventi, QObject* o, QEvent* e) {
    return TastoFunzioneFinestra(d, o, e, [&eventi](int& k, int s) { eventi.Gestisci_Tasto_Funzione(k, s); });
}

void PulsantiSenzaInvio(QDialog& d) {
    for (QPushButton* b : d.findChildren<QPushButton*>()) b->setAutoDefault(false);  // Enter confirms nothing
}

// True (and logged) when no pharmacist can answer the window: a batch run without a screen.
bool NessunoRisponde(Programma& p, std::string_view finestra) {
    const bool schermo = QGuiApplication::primaryScreen() != nullptr;
    if (!RichiestaSenzaPersona(p.opzioni.bBlkRun, QGuiApplication::platformName().toStdString(), schermo))
        return false;
    ScriviLogFunzione(p, std::string(finestra) + " :nessuno schermo in esecuzione automatica, finestra annullata");
    return true;
}

}  // namespace

void VistaFrmRicDocumenti::SetText(std::string_view control, std::string_view text) {
    if (auto* d = qobject_cast<QDateEdit*>(Oggetto(control)))
        return d->setDate(QDate::fromString(DaCp1252(text), QString::fromLatin1(kFormatoData)));
    QtView::SetText(control, text);
}

std::string VistaFrmRicDocumenti::Text(std::string_view control) const {
    if (auto* d = qobject_cast<QDateEdit*>(Oggetto(control)))
        return d->date().toString(QString::fromLatin1(kFormatoData)).toStdString();
    return QtView::Text(control);
}

FrmRicDocumenti::FrmRicDocumenti(Programma& p, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::FrmRicDocumenti>()), vista_(this) {
    ui_->setupUi(this);
    eventi_ = std::make_unique<EventiFrmRicDocumenti>(p, vista_, [this] { accept(); });
    for (std::string_view o : kOpzioniDocumento) {
        auto* b = findChild<QRadioButton*>(QString::fromLatin1(o.data(), static_cast<int>(o.size())));
        connect(b, &QRadioButton::clicked, this, [this, o] { eventi_->Opzione_Click(o); });
    }
    connect(ui_->CmdConferma, &QPushButton::clicked, this, [this] { eventi_->CmdConferma_Click(); });
    connect(ui_->CmdAnnulla, &QPushButton::clicked, this, [this] { eventi_->CmdAnnulla_Click(); });
    PulsantiSenzaInvio(*this);
    eventi_->Form_Load();
    qApp->installEventFilter(this);
}

FrmRicDocumenti::~FrmRicDocumenti() { qApp->removeEventFilter(this); }

void FrmRicDocumenti::reject() { QDialog::reject(); }

bool FrmRicDocumenti::eventFilter(QObject* o, QEvent* e) {
    return TastoDialogo(*this, *eventi_, o, e) || QDialog::eventFilter(o, e);
}

FrmMessaggio::FrmMessaggio(Programma& p, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::FrmMessaggio>()), vista_(this) {
    ui_->setupUi(this);
    eventi_ = std::make_unique<EventiFrmMessaggio>(p, vista_, [this] { accept(); });
    connect(ui_->CmdConferma, &QPushButton::clicked, this, [this] { eventi_->CmdConferma_Click(); });
    connect(ui_->CmdAnnulla, &QPushButton::clicked, this, [this] { eventi_->CmdAnnulla_Click(); });
    PulsantiSenzaInvio(*this);
    eventi_->Form_Load();
    qApp->installEventFilter(this);
}

FrmMessaggio::~FrmMessaggio() { qApp->removeEventFilter(this); }

bool FrmMessaggio::eventFilter(QObject* o, QEvent* e) {
    return TastoDialogo(*this, *eventi_, o, e) || QDialog::eventFilter(o, e);
}

FrmOrdinePht::FrmOrdinePht(Programma& p, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::FrmOrdinePht>()), vista_(this) {
    ui_->setupUi(this);
    CollegamentiFrmOrdinePht c;
    c.Chiudi = [this] { accept(); };
    c.Fuoco = [this](std::string_view nome) {
        if (auto* w = findChild<QWidget*>(QString::fromLatin1(nome.data(), static_cast<int>(nome.size()))))
            w->setFocus();
    };
    eventi_ = std::make_unique<EventiFrmOrdinePht>(p, vista_, std::move(c));
    EventiFrmOrdinePht* e = eventi_.get();
    connect(ui_->CmdCerca, &QPushButton::clicked, this, [e] { e->CmdCerca_Click(); });
    connect(ui_->CmdConferma, &QPushButton::clicked, this, [e] { e->CmdConferma_Click(); });
    connect(ui_->CmdAnnulla, &QPushButton::clicked, this, [e] { e->CmdAnnulla_Click(); });
    connect(ui_->CmdCancella, &QPushButton::clicked, this, [e] { e->CmdCancella_Click(); });
    connect(ui_->CmdEmettiOrdine, &QPushButton::clicked, this, [e] { e->CmdEmettiOrdine_Click(); });
    connect(ui_->CmdUscita, &QPushButton::clicked, this, [e] { e->CmdUscita_Click(); });
    connect(ui_->CmdRicConferma, &QPushButton::clicked, this, [e] { e->CmdRicConferma_Click(); });
    connect(ui_->CmdRicAnnulla, &QPushButton::clicked, this, [e] { e->CmdRicAnnulla_Click(); });
    connect(ui_->TxtCodice, &QLineEdit::returnPressed, this, [e] { e->TxtRicerca_KeyPress(13); });
    connect(ui_->TxtDescrizione, &QLineEdit::returnPressed, this, [e] { e->TxtRicerca_KeyPress(13); });
    // Each list keeps its own selected row.
    for (QTableWidget* t : {ui_->LvWProdotti, ui_->LvwOrdinePht}) {
        const std::string nome = t->objectName().toStdString();
        connect(t, &QTableWidget::currentCellChanged, this,
                [this, nome](int riga) { vista_.List(nome).selected = riga; });
        t->verticalHeader()->setVisible(false);
    }
    connect(ui_->LvWProdotti, &QTableWidget::currentCellChanged, this, [e](int riga) { e->LvWProdotti_Selezione(riga); });
    connect(ui_->LvWProdotti, &QTableWidget::cellDoubleClicked, this, [e](int riga) { e->LvWProdotti_DblClick(riga); });
    connect(ui_->LvwOrdinePht, &QTableWidget::cellDoubleClicked, this,
            [e](int riga) { e->LvwOrdinePht_DblClick(riga); });
    PulsantiSenzaInvio(*this);
    eventi_->Form_Load();
    qApp->installEventFilter(this);
}

FrmOrdinePht::~FrmOrdinePht() { qApp->removeEventFilter(this); }

void FrmOrdinePht::reject() { eventi_->CmdUscita_Click(); }

bool FrmOrdinePht::eventFilter(QObject* o, QEvent* e) {
    return TastoDialogo(*this, *eventi_, o, e) || QDialog::eventFilter(o, e);
}

void DialoghiQt::RicDocumenti(Programma& p) {
    if (NessunoRisponde(p, "FrmRicDocumenti")) return AnnullaRichiestaDocumento(p);
    FrmRicDocumenti f(p, padre_);
    f.exec();
}

bool DialoghiQt::OrdinePht(Programma& p) {
    if (NessunoRisponde(p, "FrmOrdinePht")) return false;
    FrmOrdinePht f(p, padre_);
    f.exec();
    return f.Eventi().Emesso();
}

void DialoghiQt::Messaggio(Programma& p) {
    if (NessunoRisponde(p, "FrmMessaggio")) return;
    FrmMessaggio f(p, padre_);
    f.exec();
}

}  // namespace morven
