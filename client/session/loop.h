// The session state machine: one exchange with one wholesaler, from the first connection attempt to the end
// of the call, as a loop over the numbered step of StatoSessione. Every operation it calls leaves the next
// step; the loop decides only the retries (6 calls over the modem, 16 over TCP, the fall-back from TCP to
// the modem), the phase limits, what follows the news and how the session ends.
#pragma once

#include <string>

namespace morven {

struct Programma;

// Runs the session for the settings already read. Returns true.
bool LoopTrasmissione(Programma& p);

// The message of an order file that cannot be sent: "Il File Ordine non e' corretto : trasmissione annullata."
// followed by the reason, when there is one.
void MessaggioFileOrdineNonCorretto(Programma& p, const std::string& motivo);

}  // namespace morven
