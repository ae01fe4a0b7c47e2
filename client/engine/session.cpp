#include "client/engine/session.h"

#include "client/engine/logs.h"
#include "client/engine/message_box.h"
#include "client/engine/programma.h"

namespace morven {

std::int32_t SecondiSessione(Programma& p) {
    return static_cast<std::int32_t>(p.Orologio().MonotonicMs() / 1000);
}

bool FaseScaduta(Programma& p) { return SecondiSessione(p) - p.sessione.nInizioCollegamento > p.sessione.nTimeMaxCorrente; }

bool RecordScaduto(Programma& p) {
    return SecondiSessione(p) - p.sessione.nInizioTrasferimento > p.sessione.nTimeOutRecord;
}

void InvioConfermato(Programma& p) {
    p.sessione.bOrdineTrasmesso = true;
    p.sessione.bRichiestaInviata = true;
}

std::string TitoloConnessione(Programma& p) { return "Connessione con " + p.impostazioni.sConnect; }

void CollegamentoImpossibile(Programma& p, const std::string& titoloPlain) {
    const auto& imp = p.impostazioni;
    if (!p.percorsi.sFileLogSessione.empty())
        ScriviLog(p, p.percorsi.sFileLogSessione, true, "Collegamento Impossibile");
    if (!imp.bDispOrdine[0] && !imp.bDispOrdine[2])
        MessagBox(p, p.oggetti.oFrmMorven, TitoloConnessione(p), "Collegamento Impossibile", kMbOk + kMbIconStop);
    else
        p.MsgBox().MsgBox("Collegamento Impossibile", kMbOk + kMbIconStop, titoloPlain, nullptr);
}

}  // namespace morven
