#include "client/engine/receive_cycle.h"

#include "client/engine/line_io.h"
#include "client/engine/order_send.h"
#include "client/engine/programma.h"
#include "client/engine/session.h"

namespace morven {

bool ControlliCicloRicezione(Programma& p, const std::string& stato, int nMax, int nValore, bool accettato,
                             const std::function<std::string(Programma&)>& leggi) {
    auto& st = p.sessione;
    StatoTrasferimento(p, stato, nMax, nValore);
    if (st.bConnessioneChiusa) {
        st.nPassoSessione = kPassoAbortito;
        return false;
    }
    if (FaseScaduta(p)) {
        st.nPassoSessione = kPassoRitenta;
        return false;
    }
    if (RecordScaduto(p)) {
        if (accettato) {
            st.nPassoSessione = kPassoRitenta;
            return false;
        }
        st.nInizioTrasferimento = SecondiSessione(p);  // before the first record only the phase limit counts
    }
    if (st.sRecordRicevuto.empty()) {
        st.sStatoLinea = leggi(p);
        if (LineaPersa(p, st.sStatoLinea)) {
            // A line lost because the wholesaler closed the socket ends as the closed socket does at the top
            // of the cycle, whichever of the two noticed it first.
            p.Pump().process();
            st.nPassoSessione = st.bConnessioneChiusa ? kPassoAbortito : kPassoRitenta;
            return false;
        }
        if (st.bProceduraAbortita) {
            st.nPassoSessione = kPassoAbortito;
            return false;
        }
        st.sRecordRicevuto = st.sStatoLinea;
    }
    return true;
}

}  // namespace morven
