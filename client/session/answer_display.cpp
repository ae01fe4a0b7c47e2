#include "client/session/answer_display.h"

#include "client/engine/logs.h"
#include "client/engine/programma.h"

#include <string_view>

namespace morven {

namespace {
MostraRisposte* RisposteDellaFinestra(Programma& p, std::string_view nome) {
    auto* con = dynamic_cast<ConMostraRisposte*>(p.oggetti.oFrmMorven);
    MostraRisposte* r = con ? con->RisposteFinestra() : nullptr;
    // The same form as the session's other parts that are not there: the procedure's name in brackets.
    if (!r) ScriviLogFunzione(p, "la finestra principale non mostra le risposte", nome);
    return r;
}
}  // namespace

bool DisplayMancantiFinestra(Programma& p) {
    MostraRisposte* r = RisposteDellaFinestra(p, "DisplayMancanti");
    return r && r->MostraRispostaMancanti();
}

void DisplayDocumentiFinestra(Programma& p) {
    if (MostraRisposte* r = RisposteDellaFinestra(p, "DisplayDocumenti")) r->MostraRispostaDocumenti();
}

}  // namespace morven
