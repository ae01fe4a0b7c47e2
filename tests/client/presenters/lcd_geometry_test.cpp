// The LCD painter's geometry as recorded lines: the cell of a 36-pixel area, the digit 8, a caption with a
// dot, unknown and lower-case characters, an empty caption and the cut at the area's right edge.
#include "client/presenters/lcd_geometry.h"

#include <gtest/gtest.h>

#include <set>

namespace morven {

// Lines in failure messages as the painter's command would be written.
[[maybe_unused]] static void PrintTo(const LineaLCD& l, std::ostream* os) {
    *os << (l.riquadro ? "B" : "L") << "(" << l.x1 << "," << l.y1 << ")-(" << l.x2 << "," << l.y2 << ")";
}

namespace {

LineaLCD L(float x1, float y1, float x2, float y2, bool riquadro = false) { return {x1, y1, x2, y2, riquadro}; }

std::vector<LineaLCD> Carattere(char c, int x, const CellaLCD& k) {
    std::vector<LineaLCD> r;
    for (int s : SegmentiCarattere(c)) {
        const auto l = LineeSegmento(s, x, k.y, k.larghezza, k.altezza);
        r.insert(r.end(), l.begin(), l.end());
    }
    return r;
}

TEST(LcdGeometry, CellOfA36PixelAreaAndTheDigitEight) {
    const CellaLCD k = CellaPerAltezza(36);
    EXPECT_EQ(k.altezza, 30);
    EXPECT_EQ(k.larghezza, 18);
    EXPECT_EQ(k.x, 2);
    EXPECT_EQ(k.y, 2);

    // The top, middle and bottom bars and the four outer verticals: ten segments of three lines each, and
    // the next character starts W + 5 = 23 pixels to the right.
    const std::vector<int> otto(SegmentiCarattere('8').begin(), SegmentiCarattere('8').end());
    EXPECT_EQ(otto, (std::vector<int>{11, 12, 2, 3, 41, 42, 5, 6, 71, 72}));
    const auto linee = LineeDidascalia("88", k, 1000);
    ASSERT_EQ(linee.size(), 60u);
    EXPECT_EQ(std::vector<LineaLCD>(linee.begin() + 30, linee.end()), Carattere('8', 2 + 23, k));

    // Every segment's lines at X = 2, Y = 2, W = 18, H = 30 (W\2 = 9, H\2 = 15).
    const std::pair<int, std::vector<LineaLCD>> segmenti[] = {
        {11, {L(3, 2, 10, 2), L(4, 3, 11, 3), L(5, 4, 10, 4)}},
        {12, {L(12, 2, 19, 2), L(11, 3, 18, 3), L(12, 4, 17, 4)}},
        {71, {L(5, 16, 10, 16), L(4, 17, 11, 17), L(5, 18, 10, 18)}},
        {72, {L(12, 16, 17, 16), L(11, 17, 18, 17), L(12, 18, 17, 18)}},
        {41, {L(5, 30, 10, 30), L(4, 31, 11, 31), L(3, 32, 10, 32)}},
        {42, {L(12, 30, 17, 30), L(11, 31, 18, 31), L(12, 32, 19, 32)}},
        {6, {L(2, 3, 2, 16), L(3, 4, 3, 17), L(4, 5, 4, 16)}},
        {2, {L(19, 3, 19, 16), L(18, 4, 18, 17), L(17, 5, 17, 16)}},
        {5, {L(2, 19, 2, 32), L(3, 18, 3, 31), L(4, 19, 4, 30)}},
        {3, {L(19, 19, 19, 32), L(18, 18, 18, 31), L(17, 19, 17, 30)}},
        {81, {L(10, 5, 10, 16), L(11, 4, 11, 17), L(12, 5, 12, 16)}},
        {82, {L(10, 20, 10, 31), L(11, 19, 11, 32), L(12, 20, 12, 31)}},
        {91, {L(5, 4, 8, 11), L(5, 5, 8, 12), L(5, 6, 8, 13), L(5, 7, 8, 14), L(5, 8, 8, 15)}},
        {92, {L(14, 11, 17, 4), L(14, 12, 17, 5), L(14, 13, 17, 6), L(14, 14, 17, 7), L(14, 15, 17, 8)}},
        {93, {L(5, 30, 8, 23), L(5, 29, 8, 22), L(5, 28, 8, 21), L(5, 27, 8, 20), L(5, 26, 8, 19)}},
        {94, {L(14, 23, 17, 30), L(14, 22, 17, 29), L(14, 21, 17, 28), L(14, 20, 17, 27), L(14, 19, 17, 26)}},
    };
    for (const auto& [s, attese] : segmenti) EXPECT_EQ(LineeSegmento(s, 2, 2, 18, 30), attese) << s;
    for (int s : {0, 1, 4, 7, 10, 13, 43, 73, 80, 83, 90, 95}) EXPECT_TRUE(LineeSegmento(s, 2, 2, 18, 30).empty()) << s;
}

TEST(LcdGeometry, CaptionWithADotAdvancesLess) {
    const CellaLCD k = CellaPerAltezza(36);
    // "12.5": 1 at 2, 2 at 25, the dot in the cell at 48, 5 at 48 + W - 2 = 64.
    std::vector<LineaLCD> attese = Carattere('1', 2, k);
    const auto due = Carattere('2', 25, k);
    attese.insert(attese.end(), due.begin(), due.end());
    const float h14 = 30.0f / 14.0f;
    attese.push_back(L(48 + 9 - h14, 32, 48 + 9, 32 - h14, true));
    const auto cinque = Carattere('5', 64, k);
    attese.insert(attese.end(), cinque.begin(), cinque.end());
    EXPECT_EQ(LineeDidascalia("12.5", k, 1000), attese);
    EXPECT_EQ(attese.size(), (2u + 8u + 8u) * 3u + 1u);
    // ":" and "," are the same dot.
    EXPECT_EQ(LineeDidascalia("1:5", k, 1000), LineeDidascalia("1,5", k, 1000));
    EXPECT_EQ(LineeDidascalia("1:5", k, 1000).size(), (2u + 8u) * 3u + 1u);
}

TEST(LcdGeometry, UnknownCharactersLeaveAGapAndCaseMatters) {
    const CellaLCD k = CellaPerAltezza(36);
    EXPECT_TRUE(SegmentiCarattere('a').empty());
    EXPECT_TRUE(LineeDidascalia("a", k, 1000).empty());
    EXPECT_EQ(LineeDidascalia("A", k, 1000).size(), 8u * 3u);
    // "a", a blank or any character without a glyph still takes W + 5.
    for (const char* testo : {"a8", " 8", "?8", "\xE9" "8"}) EXPECT_EQ(LineeDidascalia(testo, k, 1000), Carattere('8', 25, k)) << testo;
    // Every glyph lights only known segments, and each letter of the table is there.
    const std::set<int> noti(std::begin(kSegmentiLCD), std::end(kSegmentiLCD));
    for (char c : std::string("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZbcdhilnortu/\\-+*")) {
        EXPECT_FALSE(SegmentiCarattere(c).empty()) << c;
        for (int s : SegmentiCarattere(c)) EXPECT_TRUE(noti.count(s)) << c << s;
    }
    EXPECT_EQ(SegmentiCarattere('*').size(), 8u);
}

TEST(LcdGeometry, EmptyCaptionTinyAreaAndRightEdge) {
    const CellaLCD k = CellaPerAltezza(36);
    EXPECT_TRUE(LineeDidascalia("", k, 1000).empty());
    // An area lower than the margins gives an empty cell, never negative sizes.
    const CellaLCD piccola = CellaPerAltezza(4);
    EXPECT_EQ(piccola.altezza, 0);
    EXPECT_EQ(piccola.larghezza, 3);
    // Characters starting at or past the right edge are not drawn: a long caption costs what fits.
    EXPECT_EQ(LineeDidascalia("888", k, 48), LineeDidascalia("88", k, 1000));
    EXPECT_EQ(LineeDidascalia(std::string(1'000'000, '8'), k, 100).size(), 5u * 30u);
}

}  // namespace
}  // namespace morven
