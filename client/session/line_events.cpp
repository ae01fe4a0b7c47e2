#include "client/session/line_events.h"

#include "client/engine/logs.h"
#include "client/engine/markers.h"
#include "client/engine/message_box.h"
#include "client/engine/programma.h"

#include <string>
#include <utility>

namespace morven {

EsitoErroreSocket EsitoPerErroreSocket(int numero) {
    switch (numero) {
        case 10053:
        case 10054:
            return EsitoErroreSocket::LineaPersaChiudi;
        case 10060:
        case 10061:
        case 10065:
            return EsitoErroreSocket::LineaPersa;
        default:
            return EsitoErroreSocket::Chiedi;
    }
}

void ChiudiTenendoRicevuti(TcpSocket& s) {
    if (s.State() == TcpSocket::sckClosed) return;
    std::string ricevuti = std::move(s.sCodaRicezione);
    if (s.BytesReceived() >= 1) ricevuti += s.GetData();
    s.Close();
    s.sCodaRicezione = std::move(ricevuti);
}

void Winsock1_Connect(Programma& p) { p.sessione.sStatoLinea = "CONNECT"; }

void Winsock1_ConnectionRequest(Programma& p, long requestId) {
    EseguiProceduraVoid(p, "Winsock1_ConnectionRequest", [&] {
        Write_Status(p, "Richiesta Connessione", "", 100, 0, "", "");
        TcpSocket& s = p.Winsock();
        if (s.State() != TcpSocket::sckClosed) s.Close();
        s.Accept(requestId);
        Write_Status(p, "Connesso", "", 100, 0, "", "");
        p.sessione.sStatoLinea = "CONNECT ";
    });
}

void Winsock1_Close(Programma& p) {
    EseguiProceduraVoid(p, "Winsock1_Close", [&] {
        Write_Status(p, "Connessione Chiusa", "", 100, 0, "", "");
        // The wholesaler closed the line (an orderly close): said in the session log and, when the call
        // ends without its answer, in the outcome line.
        if (!p.percorsi.sFileLogSessione.empty())
            ScriviLog(p, p.percorsi.sFileLogSessione, true, "Connessione chiusa dal grossista");
        MotivoEsito(p, "connessione chiusa dal grossista");
        p.sessione.sStatoLinea = "NO CARRIER";
        p.sessione.bConnessioneChiusa = true;
        p.sessione.bRicezioneInCorso = false;
        p.sessione.bInvioInCorso = false;
    });
}

void Winsock1_Error(Programma& p, int numero, std::string_view descrizione) {
    EseguiProceduraVoid(p, "Winsock1_Error", [&] {
        switch (EsitoPerErroreSocket(numero)) {
            case EsitoErroreSocket::LineaPersaChiudi: {
                // A reset or abort of the connection: said as the orderly close is.
                const std::string testo = "connessione interrotta (errore " + std::to_string(numero) + " " +
                                          std::string(descrizione) + ")";
                if (!p.percorsi.sFileLogSessione.empty()) ScriviLog(p, p.percorsi.sFileLogSessione, true, testo);
                MotivoEsito(p, testo);
                p.sessione.sStatoLinea = "NO CARRIER";
                ChiudiTenendoRicevuti(p.Winsock());
                return;
            }
            case EsitoErroreSocket::LineaPersa:
                p.sessione.sStatoLinea = "NO CARRIER";
                return;
            case EsitoErroreSocket::Chiedi:
                break;
        }
        const std::string testo = "Errore :" + std::to_string(numero) + " " + std::string(descrizione);
        const int r = MessagBox(p, p.oggetti.oFrmMorven, "Errore Socket", testo, kMbAbortRetryIgnore, kMbIconStop,
                                kMbDefButton2);
        if (r == kMsgRetry) {
            p.sessione.sStatoLinea = "NO CARRIER";
        } else {
            TerminaProgramma(p);
        }
    });
}

void Winsock1_SendComplete(Programma& p) { p.sessione.bInvioInCorso = false; }

void MSComm1_OnComm(Programma& p, int evento) {
    EseguiProceduraVoid(p, "MSComm1_OnComm", [&] {
        if (evento != kComEvReceive) return;
        p.MSComm().RThreshold = 0;
        p.sessione.nPassoSessione = p.sessione.nPassoRipresa;
    });
}

void Ftp1_CommandTrace(Programma& p, std::string_view primo, std::string_view secondo) {
    ScriviLog(p, p.percorsi.sFileLogSessione, true, "FTP:" + std::string(primo) + " " + std::string(secondo));
}

void CollegaEventiLinea(Programma& p) {
    if (TcpSocket* s = p.oggetti.oWinsock) {
        s->events.Connect = [&p] { Winsock1_Connect(p); };
        s->events.ConnectionRequest = [&p](long id) { Winsock1_ConnectionRequest(p, id); };
        s->events.Close = [&p] { Winsock1_Close(p); };
        s->events.Error = [&p](int n, const std::string& d) { Winsock1_Error(p, n, d); };
        s->events.SendComplete = [&p] { Winsock1_SendComplete(p); };
    }
    if (FtpClient* f = p.oggetti.oInet) {
        f->CommandTrace = [&p](const std::string& a, const std::string& b) { Ftp1_CommandTrace(p, a, b); };
    }
}

}  // namespace morven
