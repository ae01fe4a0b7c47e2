// The browser window frmbrowser without widgets: its size at load and the layout of its three controls on
// every resize (in twips, the unit its rules are given in), what closing it does to the session's page
// display, and the page it shows when the pharmacist asks for the last page and no external browser can.
#pragma once

#include <optional>
#include <string>

namespace morven {

struct Programma;

// Twips per pixel on a screen of `dpi` dots per inch (15 at 96).
double TwipsPerPixel(double dpi);

struct MisuraBrowser {
    float larghezza = 0;
    float altezza = 0;
};
// Form_Load: three quarters of the screen in each direction (screen / 100 * 75, single precision).
MisuraBrowser MisuraInizialeBrowser(float larghezzaSchermo, float altezzaSchermo);

// Form_Resize: WebBrowser1's height = window height - 400; the widths of WebBrowser1, status and Avanzamento
// = window width - 100. A size that would be negative (a window made too small) is not set and the others
// still are: nothing here fails.
struct LayoutBrowser {
    std::optional<int> altezzaBrowser;
    std::optional<int> larghezza;  // of WebBrowser1, status and Avanzamento
};
LayoutBrowser RidimensionaBrowser(int larghezzaFinestra, int altezzaFinestra);

// Form_Unload: a user who closes the browser window turns the page display off for the rest of the session,
// except at session step 2000, when the window closes with the program.
void ChiusuraBrowser(Programma& p);

// The page the browser window shows for the navigate button when the external browser can't: the last
// remote page, or, when none was shown yet, the local page of the selected slot.
std::string PaginaBrowserInterno(const Programma& p);

}  // namespace morven
