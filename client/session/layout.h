// The main window's layout for each phase of its life, as a table: for each named control and property the
// value of each phase 0..5 (or "left as it was"). ImpostaVisualizzazione applies one column through the view.
#pragma once

#include <array>
#include <string_view>

namespace morven {

struct Programma;
class View;

// Phases of the main window.
enum FaseFinestra : int {
    kFaseAvvio = 0,
    kFaseCollegamento = 1,
    kFaseDisponibilita = 2,  // availability answer, with confirm and refuse
    kFaseMancanti = 3,       // shortage answer of an order
    kFaseFine = 4,
    kFaseDocumenti = 5,
};
inline constexpr int kNumeroFasi = 6;

// Elements of the menu picture strip PictureMenu (a control array).
inline constexpr int kElementiPictureMenu = 3;

enum class ProprietaLayout { Visible, Enabled };

// A cell of the table: leave as it was, true, false, or true only in IFCK mode.
enum class ValoreLayout : char { Lascia, Vero, Falso, VeroSeIFCK };

struct RigaLayout {
    std::string_view controllo;  // control id (ControlId form for array elements)
    ProprietaLayout proprieta;
    std::array<ValoreLayout, kNumeroFasi> fasi;
};

// Every row of the table, in the order applied. The PictureMenu strip is not in it: it is handled by
// ElementoPictureMenu.
extern const std::array<RigaLayout, 9> kTabellaLayout;

// The PictureMenu element shown in a phase (0 idle, 1 connection, 2 the answers and the end); -1 none.
int ElementoPictureMenu(int fase);

// Lays the window out for `fase`: hides every PictureMenu element, applies the phase's column, sets the
// captions of LblSpazioRosso (heading) and LblSpazioGrigio (connection description). A phase outside 0..5
// only hides the strip and sets the captions. False (logged "ImpostaVisualizzazione :") when a control
// fails; the controls set before keep their new values.
bool ImpostaVisualizzazione(Programma& p, View& form, int fase, std::string_view titolo,
                            std::string_view descrizione);

}  // namespace morven
