// The geometry of the sixteen-segment LCD text painter mcLCD, without any drawing: which lines light the
// segments of a character cell, which segments each character lights, and the lines of a whole caption. The
// Qt painter (client/windows) draws the lines it gets here; the tests compare them line by line.
#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace morven {

// One line of the painter: from (x1, y1) to (x2, y2), one pixel wide; a dot is the box with those corners.
struct LineaLCD {
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool riquadro = false;
    friend bool operator==(const LineaLCD&, const LineaLCD&) = default;
};

// The character cell of a picture area `altezzaInterna` pixels high: H = height - 6 (never below 0, so a tiny
// area draws nothing but stays valid), W = H \ 2 + 3; cells start at (2, 2).
struct CellaLCD {
    int x = 2, y = 2;
    int larghezza = 0;  // W
    int altezza = 0;    // H
};
CellaLCD CellaPerAltezza(int altezzaInterna);

// Segment numbers: 11/12 top, 71/72 middle, 41/42 bottom bar halves; 6/2 upper and 5/3 lower outer
// verticals (left/right); 81/82 centre verticals; 91..94 diagonals.
inline constexpr int kSegmentiLCD[] = {11, 12, 71, 72, 41, 42, 6, 2, 5, 3, 81, 82, 91, 92, 93, 94};

// The lines of segment `segmento` of the cell whose top-left corner is (x, y): three tapered lines for a bar,
// five parallel lines for a diagonal; nothing for a number that is not a segment.
std::vector<LineaLCD> LineeSegmento(int segmento, int x, int y, int larghezza, int altezza);

// The segments a character lights, in drawing order; empty for a character the display has no glyph for
// (case matters: "a" is not "A").
std::span<const int> SegmentiCarattere(char c);

// True for ".", ":" and ",", drawn as one dot with an advance of W - 2 instead of W + 5.
bool PuntoLCD(char c);

// Every line of a caption drawn from cell `cella` to the right, one character after the other. Characters
// whose cell would start at or past `limiteX` are not drawn: the area cuts them off anyway, so a caption of
// any length costs no more than the area can show.
std::vector<LineaLCD> LineeDidascalia(std::string_view testo, const CellaLCD& cella, int limiteX);

}  // namespace morven
