#include "client/windows/frm_impostazioni.h"

#include "client/engine/errors.h"
#include "client/engine/programma.h"
#include "client/engine/menu.h"
#include "client/windows/frm_morven.h"
#include "client/windows/qt_text.h"
#include "ui_frmimpostazioni.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>

namespace morven {

namespace {
constexpr int kErrValoreNonValido = 380;  // a list that cannot be typed into refuses a text it does not hold
}

void VistaFrmImpostazioni::SetText(std::string_view control, std::string_view text) {
    auto* c = qobject_cast<QComboBox*>(Oggetto(control));
    if (!c) return QtView::SetText(control, text);
    const QString t = DaCp1252(text);
    const int i = c->findText(t, Qt::MatchExactly);
    if (c->isEditable()) {
        if (i >= 0) c->setCurrentIndex(i);
        c->setEditText(t);
        return;
    }
    if (i < 0) SollevaErrore(kErrValoreNonValido, "Valore non valido: " + std::string(text));
    c->setCurrentIndex(i);
}

void VistaFrmImpostazioni::ListChanged(std::string_view control) {
    auto* c = qobject_cast<QComboBox*>(Oggetto(control));
    if (!c) return QtView::ListChanged(control);
    const ListModel& m = List(control);
    // The text typed into an editable list stays as it was.
    const QString testo = c->currentText();
    c->clear();
    for (const ListItem& it : m.items) c->addItem(DaCp1252(it.texts.empty() ? std::string() : it.texts[0]));
    if (m.selected >= 0 && m.selected < c->count()) c->setCurrentIndex(m.selected);
    else if (c->isEditable()) c->setEditText(testo);
    else c->setCurrentIndex(c->findText(testo, Qt::MatchExactly));
}

void VistaFrmImpostazioni::SetMax(std::string_view control, int max) {
    if (auto* e = qobject_cast<QLineEdit*>(Oggetto(control))) return e->setMaxLength(max);
    QtView::SetMax(control, max);
}

int VistaFrmImpostazioni::Max(std::string_view control) const {
    if (auto* e = qobject_cast<QLineEdit*>(Oggetto(control))) return e->maxLength();
    return QtView::Max(control);
}

FrmImpostazioni::FrmImpostazioni(Programma& p, CollegamentiFrmImpostazioni c, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::FrmImpostazioni>()), vista_(this) {
    ui_->setupUi(this);
    if (!c.Chiudi) c.Chiudi = [this] { close(); };
    eventi_ = std::make_unique<EventiFrmImpostazioni>(p, vista_, std::move(c));
    EventiFrmImpostazioni* e = eventi_.get();

    auto nome = [](QObject* o) {
        QString n = o->objectName();
        if (n.endsWith(QStringLiteral("_0"))) n.chop(2);
        return n.toStdString();
    };
    // Only what the user does: textEdited, clicked and activated are not sent when the program fills them.
    for (QLineEdit* l : findChildren<QLineEdit*>()) {
        if (qobject_cast<QComboBox*>(l->parent())) continue;
        connect(l, &QLineEdit::textEdited, this, [e, n = nome(l)] { e->Modifica(n); });
    }
    for (QComboBox* cb : findChildren<QComboBox*>()) {
        const std::string n = nome(cb);
        if (n == "CmbTipoCollegamento") {
            connect(cb, &QComboBox::activated, this, [e] { e->CmbTipoCollegamento_Click(); });
            continue;
        }
        connect(cb, &QComboBox::activated, this, [e, n] { e->Modifica(n); });
        if (cb->lineEdit()) connect(cb->lineEdit(), &QLineEdit::textEdited, this, [e, n] { e->Modifica(n); });
    }
    const std::map<std::string, std::function<void()>> interblocchi = {
        {"ChkCompatibilita2003", [e] { e->ChkCompatibilita2003_Click(); }},
        {"ChkInternet", [e] { e->ChkInternet_Click(); }},
        {"ChkMisto", [e] { e->ChkMisto_Click(); }},
        {"ChkDisponibilita", [e] { e->ChkRichiesta_Click("ChkDisponibilita"); }},
        {"ChkRicDocumenti", [e] { e->ChkRichiesta_Click("ChkRicDocumenti"); }},
        {"ChkOrdinePht", [e] { e->ChkRichiesta_Click("ChkOrdinePht"); }},
        {"OptIFCK", [e] { e->OptIFCK_Click(); }},
        {"OptOrdine", [e] { e->OptOrdine_Click(); }},
        {"OptPosta", [e] { e->OptPosta_Click(); }},
    };
    for (QAbstractButton* b : findChildren<QAbstractButton*>()) {
        if (!qobject_cast<QCheckBox*>(b) && !qobject_cast<QRadioButton*>(b)) continue;
        const std::string n = nome(b);
        const auto it = interblocchi.find(n);
        if (it != interblocchi.end()) connect(b, &QAbstractButton::clicked, this, it->second);
        else connect(b, &QAbstractButton::clicked, this, [e, n] { e->Modifica(n); });
    }
    connect(ui_->CmdSalva_0, &QPushButton::clicked, this, [e] { e->CmdSalva_Click(); });
    connect(ui_->CmdAnnulla_0, &QPushButton::clicked, this, [e] { e->CmdAnnulla_Click(); });
    connect(ui_->CmdEsci_0, &QPushButton::clicked, this, [e] { e->CmdEsci_Click(); });
    for (QPushButton* b : findChildren<QPushButton*>()) b->setAutoDefault(false);  // Enter saves nothing
    qApp->installEventFilter(this);
}

FrmImpostazioni::~FrmImpostazioni() { qApp->removeEventFilter(this); }

void FrmImpostazioni::Carica() { eventi_->Form_Load(); }

void FrmImpostazioni::reject() { close(); }

void FrmImpostazioni::closeEvent(QCloseEvent* e) {
    if (eventi_->Form_QueryUnload()) {
        e->ignore();
        return;
    }
    e->accept();
    done(QDialog::Rejected);
}

bool FrmImpostazioni::eventFilter(QObject* o, QEvent* e) {
    if (TastoFunzioneFinestra(*this, o, e, [this](int& k, int s) { eventi_->Gestisci_Tasto_Funzione(k, s); }))
        return true;
    return QDialog::eventFilter(o, e);
}

void MostraFrmImpostazioni(Programma& p, FrmMorven& principale, std::unique_ptr<FrmImpostazioni>& finestra,
                           bool modale) {
    CollegamentiFrmImpostazioni c;
    // The saved slot is listed at once; the connect entries stay locked while a call runs or waits for its
    // answer to be confirmed.
    c.RicostruisciMenu = [&principale] { principale.Eventi().AggiornaMenu(); };
    finestra = std::make_unique<FrmImpostazioni>(p, std::move(c), modale ? &principale : nullptr);
    finestra->Carica();
    if (modale) finestra->exec();
    else finestra->show();
}

}  // namespace morven
