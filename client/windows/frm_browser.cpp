#include "client/windows/frm_browser.h"

#include "client/engine/programma.h"
#include "client/presenters/browser_window.h"
#include "ui_frmbrowser.h"

#include <QCloseEvent>
#include <QScreen>
#include <QWebEngineView>

#include <cmath>

namespace morven {

FrmBrowser::FrmBrowser(Programma& p, QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::frmbrowser>()), p_(p), vista_(this) {
    ui_->setupUi(this);
    Form_Load();
}

FrmBrowser::~FrmBrowser() = default;

double FrmBrowser::Twips() const {
    const QScreen* s = screen();
    return TwipsPerPixel(s ? s->logicalDotsPerInch() : 96.0);
}

void FrmBrowser::Form_Load() {
    const QScreen* s = screen();
    if (!s) return;
    const double t = Twips();
    const QRect schermo = s->geometry();
    const MisuraBrowser m =
        MisuraInizialeBrowser(static_cast<float>(schermo.width() * t), static_cast<float>(schermo.height() * t));
    resize(static_cast<int>(std::lround(m.larghezza / t)), static_cast<int>(std::lround(m.altezza / t)));
}

void FrmBrowser::Form_Resize() {
    // The rules give the browser's height and the three widths; the layout keeps them within those, above
    // and below one another as designed, and never fails on a window made too small.
    const double t = Twips();
    const LayoutBrowser l =
        RidimensionaBrowser(static_cast<int>(std::lround(width() * t)), static_cast<int>(std::lround(height() * t)));
    if (l.altezzaBrowser) ui_->WebBrowser1->setMaximumHeight(static_cast<int>(std::lround(*l.altezzaBrowser / t)));
    if (l.larghezza) {
        const int massimo = static_cast<int>(std::lround(*l.larghezza / t));
        for (QWidget* w : {static_cast<QWidget*>(ui_->WebBrowser1), static_cast<QWidget*>(ui_->status),
                           static_cast<QWidget*>(ui_->Avanzamento)})
            w->setMaximumWidth(massimo);
    }
}

void FrmBrowser::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Form_Resize();
}

void FrmBrowser::closeEvent(QCloseEvent* e) {
    ChiusuraBrowser(p_);
    QWidget::closeEvent(e);
}

void FrmBrowser::MostraPagina(const std::string& indirizzo) {
    EseguiProceduraVoid(p_, "MostraPagina", [&] {
        vista_.Navigate("WebBrowser1", indirizzo);
        show();
        raise();
    });
}

}  // namespace morven
