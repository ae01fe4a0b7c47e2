// Interim order readers for the session road, until the order-file module (order work file, standard and
// Comproject readers, outside-program converters) lands; then this file goes and the includes point there.
// The converters for the outside ordering program are not here: they fail with a function-log line, so a
// slot that asks for them ends its session cleanly instead of sending a stale order.
#pragma once

namespace morven {

struct Programma;

// ordseq.txt into the checked records of the standard protocol (aRecordOrdine, nUltimoRecord).
bool LetturaOrdineMorven(Programma& p);
// ordseq.txt into the Comproject records.
bool LetturaOrdineComproject(Programma& p);
bool ConvertiOrdineCSF(Programma& p);
bool ConvertiMancantiCSF(Programma& p);

}  // namespace morven
