#include "client/windows/frm_morven.h"

#include "client/engine/programma.h"
#include "client/windows/answer_render.h"
#include "ui_frmdebug.h"
#include "ui_frmmorven.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidget>
#include <QWebEngineView>

namespace morven {

int CodiceTastoWindows(int k) {
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return 112 + (k - Qt::Key_F1);
    return 0;
}

int StatoShift(Qt::KeyboardModifiers m) {
    int s = 0;
    if (m & Qt::ShiftModifier) s |= 1;
    if (m & Qt::ControlModifier) s |= 2;
    if (m & Qt::AltModifier) s |= 4;
    return s;
}

FrmMorven::FrmMorven(Programma& p, CollegamentiFrmMorven collegamenti, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::FrmMorven>()), vista_(this) {
    ui_->setupUi(this);
    timer1_.setObjectName(QStringLiteral("Timer1"));
    timer4_.setObjectName(QStringLiteral("Timer4"));
    for (QTimer* t : {&timer1_, &timer4_}) {
        t->setParent(this);
        t->setSingleShot(true);  // one shot: each handler disables its timer first anyway
    }
    vista_.testoVoceVuota = [](const QString& nome) {
        const QString n = nome.mid(nome.lastIndexOf(QStringLiteral("GROSS")) + 5);
        return QStringLiteral("Grossista %1").arg(n.toInt(), 2, 10, QLatin1Char('0'));
    };
    eventi_ = std::make_unique<EventiFrmMorven>(p, vista_, *this, std::move(collegamenti));
    vista_.eventi = eventi_.get();

    connect(&timer1_, &QTimer::timeout, this, [this] { eventi_->Timer1_Timer(); });
    connect(&timer4_, &QTimer::timeout, this, [this] { eventi_->Timer4_Timer(); });
    connect(ui_->CmdConferma, &QPushButton::clicked, this, [this] { eventi_->CmdConferma_Click(); });
    connect(ui_->CmdAnnulla, &QPushButton::clicked, this, [this] { eventi_->CmdAnnulla_Click(); });
    connect(ui_->CmdNaviga, &QPushButton::clicked, this, [this] { eventi_->CmdNaviga_Click(); });
    connect(ui_->CmdChiudi_0, &QPushButton::clicked, this, [this] { eventi_->CmdChiudi_Click(0); });
    for (QAction* a : findChildren<QAction*>()) {
        if (!a->objectName().startsWith(QStringLiteral("MNU_"))) continue;
        connect(a, &QAction::triggered, this, [this, a] { eventi_->SmartMenu_ItemClick(a->objectName().toStdString()); });
    }
    connect(ui_->LVWMancanti->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int colonna) { eventi_->LVWMancanti_ColumnClick(colonna); });
    connect(ui_->LVWMancanti, &QTableWidget::cellDoubleClicked, this, [this](int, int) { eventi_->LVWMancanti_DblClick(); });
    connect(ui_->WebBrowser1, &QWebEngineView::loadFinished, this, [this](bool ok) {
        if (!ok) eventi_->WebBrowser1_NavigateError(ui_->WebBrowser1->url().toString().toStdString());
    });
    ui_->LVWMancanti->horizontalHeader()->setSectionsClickable(true);
    ui_->TreeView1->setHeaderHidden(true);
    // The document lines are laid out in columns of characters.
    ui_->TreeView1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    AggiornaColonnaLaterale();
    qApp->installEventFilter(this);
}

void FrmMorven::AggiornaColonnaLaterale() {
    // The right-hand column holds only the two information panes: with both hidden it takes no room, and
    // the list or the browser beside it has the whole width.
    QWidget* colonna = ui_->Laterale;
    colonna->setVisible(ui_->PictureinfoOrdine->isVisibleTo(colonna) || ui_->PictureMessaggio->isVisibleTo(colonna));
}

FrmMorven::~FrmMorven() { qApp->removeEventFilter(this); }

void FrmMorven::Carica(const std::string& argomenti) { eventi_->Form_Load(argomenti); }

QTableWidget* FrmMorven::Lista() const { return ui_->LVWMancanti; }
QTreeWidget* FrmMorven::Albero() const { return ui_->TreeView1; }

void FrmMorven::MostraLista(const ModelloLista& lista) { DisegnaLista(*ui_->LVWMancanti, lista); }

int FrmMorven::RigaSelezionata() const {
    const auto righe = ui_->LVWMancanti->selectionModel() ? ui_->LVWMancanti->selectionModel()->selectedRows() : QModelIndexList{};
    if (!righe.isEmpty()) return righe.front().row();
    return ui_->LVWMancanti->currentRow();
}

void FrmMorven::MostraDocumenti(const ModelloDocumenti& documenti) { DisegnaDocumenti(*ui_->TreeView1, documenti); }

void FrmMorven::closeEvent(QCloseEvent* e) {
    // The close box never closes the window by itself: the closing question decides.
    e->ignore();
    eventi_->Form_QueryUnload();
}

std::optional<TastoFunzione> TastoFunzioneDi(const QWidget& finestra, QObject* o, QEvent* e) {
    if (e->type() != QEvent::KeyPress) return std::nullopt;
    auto* w = qobject_cast<QWidget*>(o);
    if (!w || w->window() != &finestra) return std::nullopt;
    auto* k = static_cast<QKeyEvent*>(e);
    const int codice = CodiceTastoWindows(k->key());
    if (codice == 0) return std::nullopt;
    return TastoFunzione{codice, StatoShift(k->modifiers()), k->isAutoRepeat()};
}

bool TastoFunzioneFinestra(QWidget& finestra, QObject* o, QEvent* e, const std::function<void(int&, int)>& gestisci) {
    const auto tasto = TastoFunzioneDi(finestra, o, e);
    if (!tasto) return false;
    if (tasto->ripetuto) return true;
    int codice = tasto->codice;
    gestisci(codice, tasto->shift);
    return true;  // function keys belong to the window
}

bool FrmMorven::eventFilter(QObject* o, QEvent* e) {
    if ((e->type() == QEvent::ShowToParent || e->type() == QEvent::HideToParent) &&
        (o == ui_->PictureinfoOrdine || o == ui_->PictureMessaggio))
        AggiornaColonnaLaterale();
    if (TastoFunzioneFinestra(*this, o, e, [this](int& k, int s) { eventi_->Gestisci_Tasto_Funzione(k, s); }))
        return true;
    return QMainWindow::eventFilter(o, e);
}

FrmDebug::FrmDebug(QWidget* parent) : QWidget(parent, Qt::Window), vista_(this) {
    Ui::frmdebug ui;
    ui.setupUi(this);
}

FrmDebug::~FrmDebug() = default;

}  // namespace morven
