// Step 33: the wholesaler's news archive into news/notizie.gz. RxPosta takes numbered frames, each
// acknowledged ("SI" and the number, "NO" and the last good number for a bad or out-of-sequence frame), ended
// by block 9999; RxPOSTATcp (bTcpDir) takes one framed header ("SI0000"/"NO0000"), then the archive as a raw
// socket stream ended by "FINETX", answered "FINEOK". The archive reaches the folder whole or not at all: it
// is kept in memory and replaces the file only once its end mark arrived.
//
// Success: bNotizieRicevute set (not for a "NO-OFFERTA" header, which announces no news), step 47 for a mail
// session (interface class 4), else 46. Failure: step 3 (time-outs, lost line, a stream that breaks off
// before its end mark, a file that cannot be written), 200 (abort, or the socket closed in the header phase).
#pragma once

#include <string>
#include <string_view>

namespace morven {

struct Programma;

bool RxPosta(Programma& p);
bool RxPOSTATcp(Programma& p);

// How far a long transfer may stretch its phase limit: never beyond this many times the limit the phase
// started with (the slot's own setting), whatever the wholesaler announces.
inline constexpr int kFattoreLimiteEsteso = 4;

// The limit stretch of a long transfer (news or IFCK answer): after 300 seconds with `nFatti` of `nTotale`
// blocks in, the projected time E = 300 / nFatti × nTotale and L = E + E / 2 (each rounded); the phase
// limit becomes L when it was smaller, but at most kFattoreLimiteEsteso × nLimiteFase. Returns the new limit.
int LimiteFaseEsteso(int nLimiteFase, double nFatti, long nTotale);

// Applies LimiteFaseEsteso to nTimeMaxCorrente once a transfer of `fase` passed 300 seconds, and writes the
// change (old and new limit, and the projection when the bound cut it) to the session log.
void EstendiLimiteFase(Programma& p, std::string_view fase, double nFatti, long nTotale);

// A byte count as the status shows it: groups of three digits with ".", at least three digits ("020").
std::string FormattaByte(long long n);

}  // namespace morven
