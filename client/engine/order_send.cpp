#include "client/engine/order_send.h"

#include <cstdio>

#include "client/engine/errors.h"
#include "client/engine/frames.h"
#include "client/engine/helpers.h"
#include "client/engine/line_io.h"
#include "client/engine/logs.h"
#include "client/engine/order_file.h"
#include "client/engine/programma.h"
#include "client/engine/session.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

namespace morven {

namespace {

void Banner(Programma& p, const char* testo) {
    ScriviLog(p, p.percorsi.sFileLogSessione, true, DataOraLog(p.Orologio().Now()) + testo);
}

// The common start: convert (with bCsf) and read the order. False leaves step 3.
bool PreparaOrdine(Programma& p, bool (*lettore)(Programma&)) {
    auto& st = p.sessione;
    if (p.impostazioni.bCsf) {
        std::remove(ResolveNoCase(p.percorsi.sPathApp, "ordseq.txt").c_str());  // whatever its case
        if (!ConvertiOrdineCSF(p)) {
            st.nPassoSessione = kPassoRitenta;
            return false;
        }
    }
    if (!lettore(p)) {
        st.nPassoSessione = kPassoRitenta;
        return false;
    }
    st.nTimeOutRicezione = 10;
    st.nInizioTrasferimento = SecondiSessione(p);
    return true;
}

// Phase and record limits; true (step 3 left) when one is passed.
bool LimiteSuperato(Programma& p) {
    if (!FaseScaduta(p) && !RecordScaduto(p)) return false;
    p.sessione.nPassoSessione = kPassoRitenta;
    return true;
}

}  // namespace

void MostraIndirizzoRisposta(Programma& p, const std::string& risposta) {
    const std::string url = IndirizzoDaRisposta(risposta);
    if (url.empty()) {
        ScriviLog(p, p.percorsi.sFileLogSessione, true, "Indirizzo non valido ignorato");
        return;
    }
    p.percorsi.sUltimoUrl = url;
    p.FrmMorven().Navigate("WebBrowser1", url);
}

std::string IndirizzoDaRisposta(const std::string& risposta) {
    const auto at = risposta.find("SI");
    if (at == std::string::npos) return {};
    std::string url = Mid(risposta, at + 1 + 4);
    while (!url.empty() && (url.back() == ' ' || url.back() == '\r' || url.back() == '\n')) url.pop_back();
    while (!url.empty() && url.front() == ' ') url.erase(0, 1);
    const std::string lower = LowerAscii(url);
    const bool web = lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
    if (!web || url.find_first_of(" \t\"'<>") != std::string::npos) return {};
    for (unsigned char c : url)
        if (c < 32 || c >= 127) return {};
    return url;
}

void StatoTrasferimento(Programma& p, const std::string& testo, int nMax, int nValore) {
    const auto& st = p.sessione;
    const auto now = SecondiSessione(p);
    Write_Status(p, testo, st.sStatoDettaglio, nMax, nValore,
                 FormattaTempo(p, st.nInizioCollegamento + st.nTimeMaxCorrente - now),
                 FormattaTempo(p, now - st.nInizioCollegamento));
}

bool TxLORQ(Programma& p) {
    auto& st = p.sessione;
    auto& imp = p.impostazioni;
    Banner(p, " <<< Trasmissione Ordine >>>");
    if (!PreparaOrdine(p, LetturaOrdineMorven)) return false;
    int indice = 0;
    WaitMilliseconds(p, 1000);
    st.sStatoLinea = SvuotaComm(p, 2);
    for (;;) {
        try {
            StatoTrasferimento(p, "Trasmissione Ordine", st.nUltimoRecord, indice);
            if (LimiteSuperato(p)) return false;
            ScriviComm(p, st.aRecordOrdine[indice]);
            if (!(imp.bModoInternet && indice > 0)) WaitMilliseconds(p, 500);
            st.sStatoLinea = LeggiComm(p, st.nTimeOutRicezione);
            if (LineaPersa(p, st.sStatoLinea)) {
                st.nPassoSessione = kPassoRitenta;
                return false;
            }
            if (st.bProceduraAbortita) {
                st.nPassoSessione = kPassoAbortito;
                return false;
            }
            if (Contiene(st.sStatoLinea, "SI")) {
                if (indice == 0 && imp.bDispBrowser) MostraIndirizzoRisposta(p, st.sStatoLinea);
                StatoTrasferimento(p, "Trasmissione Ordine", st.nUltimoRecord, indice);
                st.nInizioTrasferimento = SecondiSessione(p);
                ++indice;
            } else if (Contiene(st.sStatoLinea, "NO") && indice >= 1) {
                st.sStatoLinea = SvuotaComm(p, 2);
            }
            if (indice > st.nUltimoRecord) {
                InvioConfermato(p);
                StatoTrasferimento(p, "Trasmissione Ok", st.nUltimoRecord, indice);
                st.nPassoSessione = kPassoRiceviMancanti;
                return true;
            }
        } catch (...) {
            // Logged; the limits end a transfer that keeps failing.
            RegistraErrore(p, "TxLORQ", ErroreCorrente());
            if (LimiteSuperato(p)) return false;
        }
    }
}

bool TxComproject(Programma& p) {
    auto& st = p.sessione;
    auto& imp = p.impostazioni;
    Banner(p, " <<< Trasmissione Ordine CPJ >>>");
    if (!PreparaOrdine(p, LetturaOrdineComproject)) return false;
    int indice = 0;
    bool ultimoInviato = false;
    WaitMilliseconds(p, 3000);
    if (imp.bCPJAAAA) {
        const auto inizio = p.Orologio().MonotonicMs();
        while (p.Orologio().MonotonicMs() - inizio <= 30000 && !st.bProceduraAbortita) {
            st.sStatoLinea = LeggiComm(p, st.nTimeOutRicezione);
            if (Contiene(st.sStatoLinea, "AAAA")) break;
        }
    }
    // The record limit counts from here: the wait for the announcement is not time spent on a record.
    st.nInizioTrasferimento = SecondiSessione(p);
    const std::string stato = imp.bDisponibilita ? "Richiesta Disponibilit\xe0" : "Trasmissione Ordine";
    // The wholesaler's closing line carries the client code; an empty code would match every line.
    const std::string& codice = imp.sCodiceCliente;
    for (;;) {
        try {
            StatoTrasferimento(p, stato, st.nUltimoRecord, indice);
            if (LimiteSuperato(p)) return false;
            if (!ultimoInviato) ScriviComm(p, st.aRecordOrdine[indice]);
            if (indice == st.nUltimoRecord) ultimoInviato = true;
            WaitMilliseconds(p, 500);
            st.sStatoLinea = LeggiComm(p, st.nTimeOutRicezione);
            const std::string& r = st.sStatoLinea;
            if (LineaPersa(p, r)) {
                st.nPassoSessione = kPassoRitenta;
                return false;
            }
            if (st.bProceduraAbortita) {
                st.nPassoSessione = kPassoAbortito;
                return false;
            }
            bool avanzato = false;  // at most one record per reply
            if (Contiene(r, "ACK")) {
                StatoTrasferimento(p, stato, st.nUltimoRecord, indice);
                st.nInizioTrasferimento = SecondiSessione(p);
                if (!ultimoInviato) {
                    ++indice;
                    avanzato = true;
                } else {
                    InvioConfermato(p);  // the last record taken; the closing line may still be lost
                }
            }
            if (!codice.empty() && r.find(codice) != std::string::npos) {
                ScriviComm(p, "ACK");
                StatoTrasferimento(p, stato, st.nUltimoRecord, indice);
                st.nInizioTrasferimento = SecondiSessione(p);
                if (!avanzato) ++indice;
            }
            if (Contiene(r, "NAK") && indice >= 1) {
                st.sStatoLinea = SvuotaComm(p, 2);
                ultimoInviato = false;
            }
            if (Contiene(r, "AAAA")) st.sStatoLinea = SvuotaComm(p, 2);
            if (indice > st.nUltimoRecord) {
                InvioConfermato(p);
                StatoTrasferimento(p, imp.bDisponibilita ? "Richiesta Ok   " : "Trasmissione Ok", st.nUltimoRecord,
                                   indice);
                st.nPassoSessione = kPassoRiceviMancanti;
                return true;
            }
        } catch (...) {
            RegistraErrore(p, "TxComproject", ErroreCorrente());
            if (LimiteSuperato(p)) return false;
        }
    }
}

}  // namespace morven
