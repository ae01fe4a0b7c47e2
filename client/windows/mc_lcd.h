// mcLCD: one line of text as sixteen-segment liquid-crystal glyphs on a picture area. The area is a label
// that keeps the drawing as its own picture, so it is repainted without the painter; every Caption clears it
// to the background colour and draws the whole line again from the glyph geometry of client/presenters.
#pragma once

#include "client/presenters/lcd_geometry.h"

#include <QColor>
#include <QImage>
#include <QPointer>

#include <cstdint>
#include <string_view>

class QLabel;

namespace morven {

class McLCD {
public:
    // Binds the painter to `picLCD`: cells start at (2, 2), H = the area's inner height - 6, W = H \ 2 + 3.
    // Binding again to another area starts over.
    void NewLCD(QLabel& picLCD);
    // Colours as &HBBGGRR values. The background clears the area; the foreground is the colour of every line
    // drawn afterwards.
    void BackColor(std::uint32_t colore);
    void ForeColor(std::uint32_t colore);
    // Clears the area and draws `testo` (Windows-1252 bytes) from the left; what runs past the right edge is
    // cut off.
    void Caption(std::string_view testo);

    const CellaLCD& Cella() const { return cella_; }

    // The picture of `testo` in cells `cella` on an area of `larghezza` x `altezza` pixels, as Caption draws it.
    static QImage Disegna(int larghezza, int altezza, const CellaLCD& cella, QColor sfondo, QColor primoPiano,
                          std::string_view testo);

private:
    void Mostra(const QImage& immagine);

    QPointer<QLabel> picLCD_;
    CellaLCD cella_;
    QColor sfondo_{Qt::black};
    QColor primoPiano_{Qt::green};
};

}  // namespace morven
