#include "client/windows/frm_splash.h"

#include "client/engine/errors.h"
#include "client/engine/helpers.h"
#include "client/engine/programma.h"
#include "client/windows/qt_text.h"
#include "client/windows/qt_view.h"
#include "ui_frmsplash.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

namespace morven {

namespace {
constexpr std::uint32_t kSfondoLogo = 0x202020;  // dark grey
constexpr std::uint32_t kCifreLogo = 0x40D040;   // LCD green
}  // namespace

FrmSplash::FrmSplash(Programma& p, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), ui_(std::make_unique<Ui::frmSplash>()), p_(p) {
    ui_->setupUi(this);
    setFocusPolicy(Qt::StrongFocus);
}

FrmSplash::~FrmSplash() = default;

void FrmSplash::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // The logo is drawn once the area has its final size.
    logo_.NewLCD(*ui_->ImgLogo);
    logo_.BackColor(kSfondoLogo);
    logo_.ForeColor(kCifreLogo);
    logo_.Caption("MORVEN");
    // It takes the keyboard, so that any key closes it.
    activateWindow();
    setFocus();
}

bool FrmSplash::ScriviMessaggio(std::string_view testo, std::int64_t colore) {
    return EseguiProcedura(p_, "ScriviMessaggio", false, [&](bool& ok) {
        if (colore < 0 || colore > 0xFFFFFF) SollevaErrore(kErrChiamataNonValida, "Colore non valido " + std::to_string(colore));
        QPalette pal = ui_->lblWarning->palette();
        pal.setColor(QPalette::WindowText, ColoreQt(static_cast<std::uint32_t>(colore)));
        ui_->lblWarning->setPalette(pal);
        ui_->lblWarning->setText(DaCp1252(testo));
        QCoreApplication::processEvents();
        WaitMilliseconds(p_, 200);
        ok = true;
    });
}

void FrmSplash::mousePressEvent(QMouseEvent* e) {
    e->accept();
    close();
}

void FrmSplash::keyPressEvent(QKeyEvent* e) {
    e->accept();
    close();
}

}  // namespace morven
