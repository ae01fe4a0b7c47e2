#include "client/windows/elided_label.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace morven {

namespace {

// The widest a heading asks for, in average characters: wider texts are elided, never given more room.
constexpr int kCaratteriMassimi = 60;

// One line: line ends and other control characters show as blanks.
QString SuUnaRiga(QString t) {
    for (QChar& c : t)
        if (c.unicode() < 0x20) c = QLatin1Char(' ');
    return t;
}

}  // namespace

// The width a line of text needs, rounded up: the whole-pixel advance can be a fraction short of the drawn
// text, and eliding for that fraction cut short headings to a few letters and "…".
static int LarghezzaTesto(const QFont& font, const QString& testo) {
    return static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(testo)));
}

QSize EtichettaRidotta::sizeHint() const {
    const QFontMetrics fm = fontMetrics();
    const int larghezza = std::min(LarghezzaTesto(font(), SuUnaRiga(text().left(kCaratteriMassimi * 2))),
                                   fm.averageCharWidth() * kCaratteriMassimi);
    const QMargins m = contentsMargins();
    return {larghezza + m.left() + m.right() + 2 * margin(), fm.height() + m.top() + m.bottom() + 2 * margin()};
}

QSize EtichettaRidotta::minimumSizeHint() const {
    const QSize s = sizeHint();
    return {std::min(s.width(), fontMetrics().averageCharWidth() * 4), s.height()};
}

void EtichettaRidotta::changeEvent(QEvent* e) {
    QLabel::changeEvent(e);
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange) updateGeometry();
}

QRect EtichettaRidotta::AreaTesto() const { return contentsRect().adjusted(margin(), margin(), -margin(), -margin()); }

QString EtichettaRidotta::TestoMostrato() const {
    const QString testo = SuUnaRiga(text());
    const int larghezza = AreaTesto().width();
    // Cut only a text that really does not fit.
    if (LarghezzaTesto(font(), testo) <= larghezza) return testo;
    return fontMetrics().elidedText(testo, Qt::ElideRight, larghezza);
}

bool EtichettaRidotta::Ridotta() const { return TestoMostrato() != SuUnaRiga(text()); }

void EtichettaRidotta::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    style()->drawItemText(&painter, AreaTesto(), static_cast<int>(alignment()) | Qt::TextSingleLine, palette(),
                          isEnabled(), TestoMostrato(), foregroundRole());
}

}  // namespace morven
