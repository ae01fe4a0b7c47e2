#include "client/windows/mc_lcd.h"

#include "client/windows/qt_view.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>

namespace morven {

QImage McLCD::Disegna(int larghezza, int altezza, const CellaLCD& cella, QColor sfondo, QColor primoPiano,
                      std::string_view testo) {
    QImage immagine(std::max(1, larghezza), std::max(1, altezza), QImage::Format_RGB32);
    immagine.fill(sfondo);
    QPainter pittore(&immagine);
    pittore.setRenderHint(QPainter::Antialiasing, false);
    pittore.setPen(QPen(primoPiano, 1));
    for (const LineaLCD& l : LineeDidascalia(testo, cella, larghezza)) {
        if (l.riquadro) {
            // The dot: a small filled square (at about H/14 pixels, filled and outlined look alike).
            pittore.fillRect(QRectF(QPointF(l.x1, l.y1), QPointF(l.x2, l.y2)).normalized(), primoPiano);
        } else {
            pittore.drawLine(QPointF(l.x1, l.y1), QPointF(l.x2, l.y2));
        }
    }
    return immagine;
}

void McLCD::NewLCD(QLabel& picLCD) {
    picLCD_ = &picLCD;
    cella_ = CellaPerAltezza(picLCD.contentsRect().height());
}

void McLCD::Mostra(const QImage& immagine) {
    if (picLCD_) picLCD_->setPixmap(QPixmap::fromImage(immagine));
}

void McLCD::BackColor(std::uint32_t colore) {
    sfondo_ = ColoreQt(colore);
    if (!picLCD_) return;
    QImage vuota(std::max(1, picLCD_->contentsRect().width()), std::max(1, picLCD_->contentsRect().height()),
                 QImage::Format_RGB32);
    vuota.fill(sfondo_);
    Mostra(vuota);
}

void McLCD::ForeColor(std::uint32_t colore) { primoPiano_ = ColoreQt(colore); }

void McLCD::Caption(std::string_view testo) {
    if (!picLCD_) return;
    const QRect area = picLCD_->contentsRect();
    Mostra(Disegna(area.width(), area.height(), cella_, sfondo_, primoPiano_, testo));
}

}  // namespace morven
