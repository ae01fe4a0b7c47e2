// A heading label that never widens its window: a text wider than the label is shown cut with "…" at the
// end, and the label asks the layout for the room its text needs, up to that of a long heading. text() stays the whole
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
    // The text does not fit the label and shows cut.
    bool Ridotta() const;

protected:
    QRect AreaTesto() const;
    QString TestoMostrato() const;  // the text whole, or cut with "…" when it does not fit
    void paintEvent(QPaintEvent* event) override;
    // A new font (a style sheet's, given when the label is first polished) changes the room the text needs.
    void changeEvent(QEvent* event) override;
};

}  // namespace morven
