#include "client/presenters/browser_window.h"

#include "client/engine/programma.h"
#include "client/engine/menu.h"

namespace morven {

double TwipsPerPixel(double dpi) { return dpi > 0 ? 1440.0 / dpi : 15.0; }

MisuraBrowser MisuraInizialeBrowser(float larghezzaSchermo, float altezzaSchermo) {
    return {larghezzaSchermo / 100.0f * 75.0f, altezzaSchermo / 100.0f * 75.0f};
}

LayoutBrowser RidimensionaBrowser(int larghezzaFinestra, int altezzaFinestra) {
    LayoutBrowser l;
    if (altezzaFinestra - 400 >= 0) l.altezzaBrowser = altezzaFinestra - 400;
    if (larghezzaFinestra - 100 >= 0) l.larghezza = larghezzaFinestra - 100;
    return l;
}

void ChiusuraBrowser(Programma& p) {
    if (p.sessione.nPassoSessione != kPassoFinestraNascosta) p.impostazioni.bDispBrowser = false;
}

std::string PaginaBrowserInterno(const Programma& p) {
    const std::string& url = p.percorsi.sUltimoUrl;
    // The navigate button gives an empty address its scheme: that alone is no page.
    if (!url.empty() && ConSchema(url) != ConSchema("")) return url;
    const std::string& slot = p.opzioni.sGrossistaSelezionato;
    return PaginaLocale(p, slot.empty() ? std::string_view("NONE") : std::string_view(slot));
}

}  // namespace morven
