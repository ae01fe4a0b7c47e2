// What the session's transfers share: the time base of their limits and the title of their messages. The
// state machine itself is LoopTrasmissione (client/session/loop.h).
#pragma once

#include <cstdint>
#include <string>

namespace morven {

struct Programma;

// Whole seconds on the monotonic clock: the time base of nInizioCollegamento, nInizioTrasferimento and
// every phase or record limit, so a session across midnight (or a clock change) times out like any other.
std::int32_t SecondiSessione(Programma& p);

// The session's two limits, on SecondiSessione: the phase's (nTimeMaxCorrente since nInizioCollegamento) and
// the record's (nTimeOutRecord since nInizioTrasferimento). True when the limit has passed.
bool FaseScaduta(Programma& p);
bool RecordScaduto(Programma& p);

// The wholesaler acknowledged the last record or block of the order, request or mail: from here it holds all
// of it. Every send loop says so at that moment, not the step after it, so that a line lost or a limit
// passed later never leads to a new call that sends it again (unless the settings ask for one).
void InvioConfermato(Programma& p);

// "Connessione con " & sConnect: the title of the session's messages.
std::string TitoloConnessione(Programma& p);

// The "Collegamento Impossibile" box: owned by the main window when no answer display is set, else a plain
// box titled `titoloPlain`. The session log gets the same line first, so the outcome stays on record after a
// box that closed itself.
void CollegamentoImpossibile(Programma& p, const std::string& titoloPlain);

}  // namespace morven
