#include "client/presenters/keys.h"

#include "client/engine/ports.h"

namespace morven {

int CodiceTasto(int tasto, int shift) {
    int codice = tasto;
    if (shift & kBitShift) codice += 1000;
    if (shift & kBitCtrl) codice += 2000;
    if (shift & kBitAlt) codice += 3000;
    return codice;
}

std::string PulsanteDelTasto(const View& form, int codice) {
    for (const TastoPulsante& t : kTastiFrmMorven) {
        if (t.codice != codice) continue;
        if (!t.soloSeOfferto || (form.Visible(t.pulsante) && form.Enabled(t.pulsante))) return std::string(t.pulsante);
        return {};
    }
    return {};
}

}  // namespace morven
