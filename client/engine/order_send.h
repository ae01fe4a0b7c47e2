// Sending the order (or availability request) record by record: TxLORQ answers "SI"/"NO" per record,
// TxComproject "ACK"/"NAK" and ends on the wholesaler's line that carries the client code. Both leave the
// next step: 20 (receive the answer), 3 (failure, the state machine decides on a retry), 200 (abort).
#pragma once

#include <string>

namespace morven {

struct Programma;

bool TxLORQ(Programma& p);
bool TxComproject(Programma& p);

// The address that follows "SI" and two more characters in the answer to the header, when it is a web
// address (http or https); empty otherwise, so nothing else is ever shown or run.
std::string IndirizzoDaRisposta(const std::string& risposta);
// Shows that address in the main window's browser; anything else is logged and ignored.
void MostraIndirizzoRisposta(Programma& p, const std::string& risposta);

// Shows a transfer's status with the session phase's remaining and elapsed time as counters.
void StatoTrasferimento(Programma& p, const std::string& testo, int nMax, int nValore);

}  // namespace morven
