#include "client/engine/session.h"

#include "client/engine/logs.h"
#include "client/engine/programma.h"

namespace morven {

std::int32_t SecondiSessione(Programma& p) {
    return static_cast<std::int32_t>(p.Orologio().MonotonicMs() / 1000);
}

void TrasferimentoMancante(Programma& p, std::string_view nome) {
    ScriviLogFunzione(p, "trasferimento non disponibile in questa versione", nome);
    p.sessione.nPassoSessione = 200;
}

std::string TitoloConnessione(Programma& p) { return "Connessione con " + p.impostazioni.sConnect; }

}  // namespace morven
