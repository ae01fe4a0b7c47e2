// The frame of every receiving transfer's cycle: the order and Comproject answers, the mail and news
// receives and the IFCK answer check the same things in the same order before they take the next record.
#pragma once

#include <functional>
#include <string>

namespace morven {

struct Programma;

// The checks at the top of every cycle of a receiving transfer, in their order: the status shown; the socket
// closed by the wholesaler (step 200); the phase limit (step 3); the record limit (step 3 once something was
// accepted, before that it restarts); then, when sRecordRicevuto is empty, the next line or frame read by
// `leggi` into it, where a lost line gives step 3 (200 when the socket closed) and an abort 200. False when
// the transfer stops.
bool ControlliCicloRicezione(Programma& p, const std::string& stato, int nMax, int nValore, bool accettato,
                             const std::function<std::string(Programma&)>& leggi);

}  // namespace morven
