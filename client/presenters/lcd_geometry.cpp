#include "client/presenters/lcd_geometry.h"

#include <algorithm>
#include <array>

namespace morven {

namespace {

struct Glifo {
    char carattere;
    std::array<int, 10> segmenti;  // 0 ends the list
};

// Each character's lit segments in drawing order.
constexpr Glifo kGlifi[] = {
    {'0', {11, 12, 2, 3, 41, 42, 5, 6}},
    {'1', {2, 3}},
    {'2', {11, 12, 2, 71, 72, 5, 41, 42}},
    {'3', {11, 12, 2, 71, 72, 3, 41, 42}},
    {'4', {2, 3, 71, 72, 6}},
    {'5', {11, 12, 6, 71, 72, 3, 41, 42}},
    {'6', {11, 12, 6, 71, 72, 3, 41, 42, 5}},
    {'7', {11, 12, 2, 3}},
    {'8', {11, 12, 2, 3, 41, 42, 5, 6, 71, 72}},
    {'9', {11, 12, 2, 3, 41, 42, 6, 71, 72}},
    {'A', {11, 12, 2, 3, 5, 6, 71, 72}},
    {'B', {11, 12, 2, 3, 41, 42, 72, 81, 82}},
    {'C', {11, 12, 5, 6, 41, 42}},
    {'D', {11, 12, 2, 3, 41, 42, 81, 82}},
    {'E', {11, 12, 41, 42, 5, 6, 71}},
    {'F', {11, 12, 5, 6, 71}},
    {'G', {11, 12, 3, 41, 42, 5, 6, 72}},
    {'H', {2, 3, 5, 6, 71, 72}},
    {'I', {81, 82}},
    {'J', {2, 3, 41, 42, 5}},
    {'K', {5, 6, 71, 92, 94}},
    {'L', {41, 42, 5, 6}},
    {'M', {2, 3, 5, 6, 91, 92}},
    {'N', {2, 3, 5, 6, 91, 94}},
    {'O', {11, 12, 2, 3, 41, 42, 5, 6}},
    {'P', {11, 12, 2, 5, 6, 71, 72}},
    {'Q', {11, 12, 2, 3, 41, 42, 5, 6, 94}},
    {'R', {11, 12, 2, 5, 6, 71, 72, 94}},
    {'S', {11, 12, 3, 41, 42, 6, 71, 72}},
    {'T', {11, 12, 81, 82}},
    {'U', {2, 3, 41, 42, 5, 6}},
    {'V', {5, 6, 92, 93}},
    {'W', {2, 3, 5, 6, 93, 94}},
    {'X', {91, 92, 93, 94}},
    {'Y', {82, 91, 92}},
    {'Z', {11, 12, 41, 42, 92, 93}},
    {'b', {3, 5, 6, 41, 42, 71, 72}},
    {'c', {5, 41, 42, 71, 72}},
    {'d', {2, 3, 5, 41, 42, 71, 72}},
    {'h', {5, 3, 6, 71, 72}},
    {'i', {82}},
    {'l', {81, 82}},
    {'n', {71, 72, 3, 5}},
    {'o', {41, 42, 71, 72, 3, 5}},
    {'r', {71, 72, 5}},
    {'t', {71, 6, 41, 42, 5}},
    {'u', {5, 41, 42, 3}},
    {'/', {92, 93}},
    {'\\', {91, 94}},
    {'-', {71, 72}},
    {'+', {71, 72, 81, 82}},
    {'*', {71, 72, 81, 82, 91, 92, 93, 94}},
};

LineaLCD L(int x1, int y1, int x2, int y2) {
    return {static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2), static_cast<float>(y2), false};
}

}  // namespace

CellaLCD CellaPerAltezza(int altezzaInterna) {
    CellaLCD c;
    c.altezza = std::max(0, altezzaInterna - 6);
    c.larghezza = c.altezza / 2 + 3;
    return c;
}

std::vector<LineaLCD> LineeSegmento(int s, int X, int Y, int W, int H) {
    const int w2 = W / 2, h2 = H / 2;
    switch (s) {
    case 11: return {L(X + 1, Y, X + w2 - 1, Y), L(X + 2, Y + 1, X + w2, Y + 1), L(X + 3, Y + 2, X + w2 - 1, Y + 2)};
    case 12:
        return {L(X + w2 + 1, Y, X + W - 1, Y), L(X + w2, Y + 1, X + W - 2, Y + 1), L(X + w2 + 1, Y + 2, X + W - 3, Y + 2)};
    case 71:
        return {L(X + 3, Y + h2 - 1, X + w2 - 1, Y + h2 - 1), L(X + 2, Y + h2, X + w2, Y + h2),
                L(X + 3, Y + h2 + 1, X + w2 - 1, Y + h2 + 1)};
    case 72:
        return {L(X + w2 + 1, Y + h2 - 1, X + W - 3, Y + h2 - 1), L(X + w2, Y + h2, X + W - 2, Y + h2),
                L(X + w2 + 1, Y + h2 + 1, X + W - 3, Y + h2 + 1)};
    case 41:
        return {L(X + 3, Y + H - 2, X + w2 - 1, Y + H - 2), L(X + 2, Y + H - 1, X + w2, Y + H - 1),
                L(X + 1, Y + H, X + w2 - 1, Y + H)};
    case 42:
        return {L(X + w2 + 1, Y + H - 2, X + W - 3, Y + H - 2), L(X + w2, Y + H - 1, X + W - 2, Y + H - 1),
                L(X + w2 + 1, Y + H, X + W - 1, Y + H)};
    case 6: return {L(X, Y + 1, X, Y + h2 - 1), L(X + 1, Y + 2, X + 1, Y + h2), L(X + 2, Y + 3, X + 2, Y + h2 - 1)};
    case 2:
        return {L(X + W - 1, Y + 1, X + W - 1, Y + h2 - 1), L(X + W - 2, Y + 2, X + W - 2, Y + h2),
                L(X + W - 3, Y + 3, X + W - 3, Y + h2 - 1)};
    case 5:
        return {L(X, Y + h2 + 2, X, Y + H), L(X + 1, Y + h2 + 1, X + 1, Y + H - 1), L(X + 2, Y + h2 + 2, X + 2, Y + H - 2)};
    case 3:
        return {L(X + W - 1, Y + h2 + 2, X + W - 1, Y + H), L(X + W - 2, Y + h2 + 1, X + W - 2, Y + H - 1),
                L(X + W - 3, Y + h2 + 2, X + W - 3, Y + H - 2)};
    case 81:
        return {L(X + w2 - 1, Y + 3, X + w2 - 1, Y + h2 - 1), L(X + w2, Y + 2, X + w2, Y + h2),
                L(X + w2 + 1, Y + 3, X + w2 + 1, Y + h2 - 1)};
    case 82:
        return {L(X + w2 - 1, Y + h2 + 3, X + w2 - 1, Y + H - 1), L(X + w2, Y + h2 + 2, X + w2, Y + H),
                L(X + w2 + 1, Y + h2 + 3, X + w2 + 1, Y + H - 1)};
    case 91:
    case 92:
    case 93:
    case 94: {
        std::vector<LineaLCD> r;
        for (int k = 0; k <= 4; ++k) {
            if (s == 91) r.push_back(L(X + 3, Y + 2 + k, X + w2 - 3, Y + h2 - 6 + k));
            if (s == 92) r.push_back(L(X + w2 + 3, Y + h2 - 6 + k, X + W - 3, Y + 2 + k));
            if (s == 93) r.push_back(L(X + 3, Y + H - 2 - k, X + w2 - 3, Y + h2 + 6 - k));
            if (s == 94) r.push_back(L(X + w2 + 3, Y + h2 + 6 - k, X + W - 3, Y + H - 2 - k));
        }
        return r;
    }
    default: return {};
    }
}

std::span<const int> SegmentiCarattere(char c) {
    for (const Glifo& g : kGlifi) {
        if (g.carattere != c) continue;
        const auto fine = std::find(g.segmenti.begin(), g.segmenti.end(), 0);
        return {g.segmenti.data(), static_cast<std::size_t>(fine - g.segmenti.begin())};
    }
    return {};
}

bool PuntoLCD(char c) { return c == '.' || c == ':' || c == ','; }

std::vector<LineaLCD> LineeDidascalia(std::string_view testo, const CellaLCD& cella, int limiteX) {
    std::vector<LineaLCD> linee;
    const int W = cella.larghezza, H = cella.altezza;
    // The dot's size is a fraction of the cell, in single precision as the line command takes it.
    const float quattordicesimo = static_cast<float>(H) / 14.0f;
    long x = cella.x;
    for (char c : testo) {
        if (x >= limiteX) break;
        const int X = static_cast<int>(x), Y = cella.y;
        if (PuntoLCD(c)) {
            const float centro = static_cast<float>(X + W / 2);
            linee.push_back({centro - quattordicesimo, static_cast<float>(Y + H), centro,
                             static_cast<float>(Y + H) - quattordicesimo, true});
            x += W - 2;
            continue;
        }
        for (int s : SegmentiCarattere(c)) {
            const auto l = LineeSegmento(s, X, Y, W, H);
            linee.insert(linee.end(), l.begin(), l.end());
        }
        x += W + 5;
    }
    return linee;
}

}  // namespace morven
