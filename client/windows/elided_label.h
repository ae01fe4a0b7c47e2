// A heading label that never widens its window: a text wider than the label is shown cut with "…" at the
// end, and the label asks the layout for no more room than a short heading needs. text() stays the whole
// text, so the named-control view reads what was set.
#pragma once

#include <QLabel>

namespace morven {

class EtichettaRidotta : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace morven
