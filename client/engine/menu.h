// The wholesaler menu (a connect and a settings entry per slot, built from the slots' settings files) and
// the two ways of showing a web page: the main window's embedded browser WebBrowser1 and the external
// browser program.
#pragma once

#include <string>
#include <string_view>

namespace morven {

struct Programma;
class View;

inline constexpr int kNumeroSlot = 10;

// Menu entry ids of slot n (1..10).
std::string VoceConnessione(int n);  // "MNU_CON_GROSS<n>"
std::string VoceImpostazioni(int n); // "MNU_SET_GROSS<n>"

// The settings file of slot n: sPathApp/MvnConn<NN>.par.
std::string FileImpostazioniSlot(const Programma& p, int n);

// Rebuilds the slot entries of `menu`. A slot whose settings file's first line holds "CONNECT" (any case)
// gets its description (the line from column 12) as caption of both entries, and its connect entry is
// selectable unless `blocca`; any other slot has no caption and no selectable connect entry. The settings
// entries are selectable unless `bloccaImpostazioni` (a running session: a modal settings window opened
// inside the session's waits would hold the session still until it closed). -1; 0 (logged) on failure.
int ImpostaElencoConnessioni(Programma& p, View& menu, bool blocca, bool bloccaImpostazioni);
// Both kinds of entry locked (a session starts) or both free.
inline int ImpostaElencoConnessioni(Programma& p, View& menu, bool blocca) {
    return ImpostaElencoConnessioni(p, menu, blocca, blocca);
}

// The local page of a sub-folder: sPathApp/HTML/<sub>/index.htm when it exists, else sPathApp/HTML/index.htm.
std::string PaginaLocale(const Programma& p, std::string_view sottocartella);

// Gives an address without a scheme "http://" in front (the test is made on a lower-case copy).
std::string ConSchema(std::string_view indirizzo);

// Shows a page in WebBrowser1 of the main window. Local: the sub-folder's local page. Remote: the address
// gets its scheme (written back), becomes sUltimoUrl, and is shown with "&mini=1" appended. -1; 0 on failure.
int ImpostaMainBrowser(Programma& p, std::string& indirizzo, std::string_view sottocartella, bool locale);

// Opens the address (given its scheme, written back) in the external browser sBrowserEsterno, started with
// an argument vector and not waited for. -1; 0 (logged "MostraBrowser :") when it can't be started.
int MostraBrowser(Programma& p, std::string& indirizzo);

// What the main window does when WebBrowser1 fails to show `indirizzo`: a remote page falls back to the
// local page of the selected slot; a local page that fails too gives the blank page; the blank page itself
// is left alone. Returns the address shown next, empty when nothing is shown.
std::string DopoErroreNavigazione(Programma& p, std::string_view indirizzo);

inline constexpr std::string_view kPaginaVuota = "about:blank";

}  // namespace morven
