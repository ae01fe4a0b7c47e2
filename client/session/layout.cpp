#include "client/session/layout.h"

#include "client/engine/errors.h"
#include "client/engine/ports.h"
#include "client/engine/programma.h"

namespace morven {

namespace {
constexpr auto L = ValoreLayout::Lascia;
constexpr auto T = ValoreLayout::Vero;
constexpr auto F = ValoreLayout::Falso;
constexpr auto I = ValoreLayout::VeroSeIFCK;
constexpr auto V = ProprietaLayout::Visible;
constexpr auto E = ProprietaLayout::Enabled;
}  // namespace

//                                                   0  1  2  3  4  5
const std::array<RigaLayout, 9> kTabellaLayout = {{
    // The idle window shows the local start page that the start-up opens in it, not an empty area.
    {"WebBrowser1", V, {T, T, F, F, T, F}},
    {"LVWMancanti", V, {F, F, T, T, F, F}},
    {"TreeView1", V, {F, F, F, F, F, T}},
    {"CmdChiudi(0)", E, {L, L, T, T, T, T}},
    {"CmdConferma", V, {L, L, T, F, F, F}},
    {"CmdAnnulla", V, {L, L, T, F, F, F}},
    {"CmdNaviga", V, {L, L, F, T, T, T}},
    {"PictureinfoOrdine", V, {L, L, F, I, F, F}},
    {"PictureMessaggio", V, {L, L, F, T, T, T}},
}};

int ElementoPictureMenu(int fase) {
    if (fase == kFaseAvvio) return 0;  // the idle window's strip
    if (fase == kFaseCollegamento) return 1;
    if (fase >= kFaseDisponibilita && fase <= kFaseDocumenti) return 2;
    return -1;
}

bool ImpostaVisualizzazione(Programma& p, View& form, int fase, std::string_view titolo,
                            std::string_view descrizione) {
    return EseguiProcedura(p, "ImpostaVisualizzazione", false, [&](bool& ok) {
        for (int k = 0; k < kElementiPictureMenu; ++k) form.SetVisible(ControlId("PictureMenu", k), false);
        if (fase == kFaseAvvio) {
            form.SetText("LblSpazioRosso", titolo);
            form.SetText("LblSpazioGrigio", descrizione);
        }
        if (fase >= 0 && fase < kNumeroFasi) {
            if (const int elemento = ElementoPictureMenu(fase); elemento >= 0)
                form.SetVisible(ControlId("PictureMenu", elemento), true);
            for (const RigaLayout& r : kTabellaLayout) {
                const ValoreLayout v = r.fasi[static_cast<std::size_t>(fase)];
                if (v == ValoreLayout::Lascia) continue;
                const bool valore = v == ValoreLayout::Vero || (v == ValoreLayout::VeroSeIFCK && p.impostazioni.bModeIFCK);
                if (r.proprieta == ProprietaLayout::Visible)
                    form.SetVisible(r.controllo, valore);
                else
                    form.SetEnabled(r.controllo, valore);
            }
        }
        form.SetText("LblSpazioRosso", titolo);
        form.SetText("LblSpazioGrigio", descrizione);
        ok = true;
    });
}

}  // namespace morven
