#include "client/windows/elided_label.h"

#include <QPainter>
#include <QStyle>

#include <algorithm>

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

QSize EtichettaRidotta::sizeHint() const {
    const QFontMetrics fm = fontMetrics();
    const int larghezza = std::min(fm.horizontalAdvance(SuUnaRiga(text().left(kCaratteriMassimi * 2))),
                                   fm.averageCharWidth() * kCaratteriMassimi);
    const QMargins m = contentsMargins();
    return {larghezza + m.left() + m.right() + 2 * margin(), fm.height() + m.top() + m.bottom() + 2 * margin()};
}

QSize EtichettaRidotta::minimumSizeHint() const {
    const QSize s = sizeHint();
    return {std::min(s.width(), fontMetrics().averageCharWidth() * 4), s.height()};
}

void EtichettaRidotta::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect r = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const QString testo = fontMetrics().elidedText(SuUnaRiga(text()), Qt::ElideRight, r.width());
    style()->drawItemText(&painter, r, static_cast<int>(alignment()) | Qt::TextSingleLine, palette(), isEnabled(),
                          testo, foregroundRole());
}

}  // namespace morven
