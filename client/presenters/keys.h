// Function keys of the main window: one code per key and modifier set (key + 1000 Shift + 2000 Ctrl +
// 3000 Alt) and the table of codes that press a button. The answer's keys (F1 confirm, F3 refuse) press
// their button only when that button is visible and enabled in the window's current layout, so a key can
// never answer what is not shown, nor answer twice; the browser and close keys (F5, F10) act in every
// layout.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace morven {

class View;

// Shift-state bits of a key event.
inline constexpr int kBitShift = 1, kBitCtrl = 2, kBitAlt = 4;
// Key codes of the function keys used.
inline constexpr int kTastoF1 = 112, kTastoF3 = 114, kTastoF5 = 116, kTastoF10 = 121;

// key + 1000 with Shift + 2000 with Ctrl + 3000 with Alt.
int CodiceTasto(int tasto, int shift);

struct TastoPulsante {
    int codice;
    std::string_view pulsante;  // button id on the main window
    bool soloSeOfferto;         // only while the button is visible and enabled
};

// F1 confirm, F3 refuse, F5 external browser, F10 close.
inline constexpr std::array<TastoPulsante, 4> kTastiFrmMorven = {{
    {kTastoF1, "CmdConferma", true},
    {kTastoF3, "CmdAnnulla", true},
    {kTastoF5, "CmdNaviga", false},
    {kTastoF10, "CmdChiudi(0)", false},
}};

// The button whose click the code runs on `form`: the table's button (one that must be offered only when it
// is visible and enabled), else empty (every other code, modified function keys included, does nothing).
std::string PulsanteDelTasto(const View& form, int codice);

}  // namespace morven
