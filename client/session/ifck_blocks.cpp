#include "client/session/ifck_blocks.h"

#include "client/engine/errors.h"
#include "client/engine/frames.h"
#include "client/engine/helpers.h"
#include "client/engine/line_io.h"
#include "client/engine/logs.h"
#include "client/engine/mail_receive.h"
#include "client/engine/markers.h"
#include "client/engine/order_send.h"
#include "client/engine/programma.h"
#include "client/engine/receive_cycle.h"
#include "client/engine/session.h"
#include "client/session/answer_file.h"
#include "client/session/ifck_request.h"
#include "client/engine/menu.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace morven {

namespace {

constexpr int kSecondiStima = 300;   // an answer slower than this stretches the session limit
constexpr int kAttesaRifiuto = 5000;  // pause before a "NO", so the sender's line settles
constexpr int kSecondiSvuota = 2;     // the drain before the answer

void LogSessione(Programma& p, const std::string& testo) {
    ScriviLog(p, p.percorsi.sFileLogSessione, true, testo);
}

std::string Numero4(int n) { return PadLeft(n, 4, "0"); }

// A mark of the session's trail, shown in SitStatus.
void Traccia(Programma& p, std::string_view marca) {
    p.sessione.sTracciaEventi += marca;
    p.FrmMorven().SetText("SitStatus", p.sessione.sTracciaEventi);
}

void Blocchi(Programma& p, int n, int totale) {
    p.FrmMorven().SetText("nblocchi", std::to_string(n) + " di " + std::to_string(totale));
}

}  // namespace

TipoInvioIFCK TipoInvio(const Programma& p) {
    const ImpostazioniGrossista& imp = p.impostazioni;
    const RichiestaDocumento& ric = p.richiesta;
    if (imp.bRichDocs) return {"F", "Richiesta Documenti"};
    if (ric.bRichListino) return {"L", "Richiesta Listino"};
    if (ric.bRichTrattatiPht) return {"U", "Richiesta Trattati PHT"};
    if (imp.bDisponibilita) return {"D", "Richiesta Disponibilit\xe0"};
    if (imp.bOrdinePht) return {"H", "Trasmissione Ordine PHT"};
    return {"O", "Trasmissione Ordine"};
}

std::string PayloadTestataIFCK(int totale, std::string_view codiceCliente, std::string_view lettera, bool bMarcatore) {
    return "0000" + Numero4(totale) + "MORVEN2006" + std::string(codiceCliente) + " " + std::string(lettera) +
           (bMarcatore ? "S" : "N") + std::string(13, '*');
}

std::string PayloadFineIFCK() { return "9999FINE TX" + std::string(6, ' ') + std::string(20, '*'); }

int TotaleBlocchi(std::size_t lunghezza, int blocco) {
    return static_cast<int>(lunghezza / static_cast<std::size_t>(blocco)) + 1;
}

int StimaTempoMassimo(int numeroBlocco, int totale) {
    if (numeroBlocco <= 0 || totale <= 0) return 0;
    const double stima = std::nearbyint(static_cast<double>(kSecondiStima) / numeroBlocco * totale);
    const double allungata = std::nearbyint(stima + stima / 2);
    return static_cast<int>(std::clamp(allungata, 0.0, static_cast<double>(kLimiteTempoMassimo)));
}

bool TxMorvenFCK(Programma& p, const std::string& fileRichiesta, int nBlocco, bool bCrea, bool bMarcatore) {
    StatoSessione& st = p.sessione;
    return EseguiProcedura(
        p, "TxMorvenFCK", false,
        [&](bool& risultato) {
            LogSessione(p, DataOraLog(p.Orologio().Now()) + " <<< Trasmissione IFCK >>>");
            if (!p.impostazioni.bModoInternet) st.sStatoLinea = SvuotaComm(p, 2);
            if (nBlocco < 1) SollevaErrore(kErrChiamataNonValida, "Dimensione blocco " + std::to_string(nBlocco));

            std::string dati;
            int totale = 0;
            TipoInvioIFCK tipo{"N", ""};
            if (ControllaInvio(p, fileRichiesta, bCrea)) {
                const ContenutoFile file = LeggiFileLimitato(fileRichiesta);
                if (file.esito != EsitoLettura::Letto) SollevaErrore(kErrIODispositivo, file.errore);
                dati = file.dati;
                totale = TotaleBlocchi(dati.size(), nBlocco);
                // Block 9999 is the end: a file that needs more numbers cannot travel.
                if (totale > kMaxBlocchiIFCK)
                    SollevaErrore(kErrOverflow, "File richiesta di " + std::to_string(dati.size()) +
                                                    " byte: oltre " + std::to_string(kMaxBlocchiIFCK) + " blocchi");
                tipo = TipoInvio(p);
            }
            st.nInizioTrasferimento = SecondiSessione(p);
            int corrente = 0;
            std::string frame =
                AddCeck_MORVEN(p, PayloadTestataIFCK(totale, p.impostazioni.sCodiceCliente, tipo.lettera, bMarcatore));
            ScriviComm(p, frame);

            auto fuoriTempo = [&](const char* marca) {
                Traccia(p, marca);
                st.nPassoSessione = kPassoRitenta;
                risultato = true;
            };
            for (;;) {
                StatoTrasferimento(p, tipo.didascalia, totale, corrente);
                if (FaseScaduta(p)) return fuoriTempo(" T.O. TxMorvenFCK [0]");
                if (RecordScaduto(p)) return fuoriTempo(" T.O. TxMorvenFCK [1]");

                st.sStatoLinea = LeggiComm(p, st.nTimeOutRicezione);
                const std::string& riga = st.sStatoLinea;
                if (LineaPersa(p, riga)) {
                    st.nPassoSessione = kPassoRitenta;
                    risultato = true;
                    return;
                }
                if (st.bProceduraAbortita) {
                    st.nPassoSessione = kPassoAbortito;
                    risultato = true;
                    return;
                }
                const auto si = riga.find("SI");
                if (si == std::string::npos) {
                    ScriviComm(p, frame);  // "NO", garbage or silence: the same block again
                    continue;
                }
                const std::int64_t confermato = ValoreCifre(riga.substr(si + 2));
                if (corrente == 0) {
                    // The answer to the header may carry the wholesaler's page; only a web address is shown.
                    std::string indirizzo = IndirizzoDaRisposta(riga);
                    if (!indirizzo.empty()) ImpostaMainBrowser(p, indirizzo, "NONE", false);
                }
                StatoTrasferimento(p, tipo.didascalia, totale, corrente);
                st.nInizioTrasferimento = SecondiSessione(p);
                if (confermato >= 0 && confermato < corrente) continue;  // an older acknowledgement

                if (corrente == kBloccoFineIFCK) {
                    StatoTrasferimento(p, tipo.didascalia, 100, 100);
                    st.nPassoSessione = kPassoRiceviIFCK;
                    risultato = true;
                    return;
                }
                if (corrente < totale) {
                    ++corrente;
                    const std::size_t da = static_cast<std::size_t>(corrente - 1) * static_cast<std::size_t>(nBlocco);
                    const std::string pezzo = da < dati.size() ? dati.substr(da, static_cast<std::size_t>(nBlocco)) : "";
                    frame = AddCeck_MORVEN(p, Numero4(corrente) + pezzo);
                } else {
                    frame = AddCeck_MORVEN(p, PayloadFineIFCK());
                    corrente = kBloccoFineIFCK;
                    // The last data block taken: from here the wholesaler holds the whole request.
                    InvioConfermato(p);
                }
                ScriviComm(p, frame);
            }
        },
        // Whatever failed, the state machine must not run this step again as if nothing happened.
        [&](const ErroreMorven&) { st.nPassoSessione = kPassoRitenta; });
}

bool RxMorvenFCK(Programma& p, const std::string& fileRisposta) {
    StatoSessione& st = p.sessione;
    return EseguiProcedura(
        p, "RxMorvenFCK", false,
        [&](bool& risultato) {
            LogSessione(p, DataOraLog(p.Orologio().Now()) + " <<< Ricezione IFCK  >>>");
            int ultimo = -1;
            int corrente = 0;
            int totale = 10;
            std::int32_t oraTestata = 0;
            bool stimato = false;
            st.sStatoDettaglio.clear();
            st.nInizioTrasferimento = SecondiSessione(p);
            // What is left on the line from the request goes, for the two seconds every drain takes: the
            // wholesaler's header may follow soon after.
            st.nTimeOutRicezione = 5;
            st.sStatoLinea = SvuotaComm(p, kSecondiSvuota);
            st.nTimeOutRicezione = 10;

            std::string risposta;  // the answer file, written whole once the end block is in
            GiuntaFrame giunta;  // a frame whose check failed, waiting for a continuation up to a later "OIEA"
            BordiFrame bordi;

            auto rifiuta = [&](bool attendi) {
                if (ultimo < 0) return;  // nothing accepted yet: the sender repeats by itself
                if (attendi) WaitMilliseconds(p, kAttesaRifiuto);
                ScriviComm(p, "NO" + std::to_string(ultimo));
            };

            // A frame under suspicion waits only as long as a refusal would: then it is refused.
            auto leggi = [&](Programma& q) {
                const int attesaNormale = q.sessione.nTimeOutRicezione;
                if (giunta.InAttesa()) q.sessione.nTimeOutRicezione = kAttesaRifiuto / 1000;
                std::string letto = LeggiZip(q, q.sessione.nTimeOutRicezione, &bordi);
                q.sessione.nTimeOutRicezione = attesaNormale;
                return letto;
            };
            for (;;) {
                // Every cycle reads (the frame reads only into an empty record slot); before the header only the
                // session limit counts.
                st.sRecordRicevuto.clear();
                if (!ControlliCicloRicezione(p, "Ricezione IFCK ", totale, corrente, ultimo >= 0, leggi)) return;
                const std::string& letto = st.sStatoLinea;

                if (!giunta.InAttesa() && letto.empty()) continue;
                bool scaduto = false;
                const std::string candidato = giunta.Candidato(letto, bordi.prima, kMaxFrameIFCK, scaduto);
                if (scaduto) {
                    rifiuta(false);  // the wait above was the pause before the refusal
                    continue;
                }
                if (candidato.size() > kMaxFrameIFCK) {
                    LogSessione(p, "RX: ERRORE blocco oltre " + std::to_string(kMaxFrameIFCK) + " byte, scartato");
                    rifiuta(true);
                    continue;
                }

                std::string payload = candidato;
                if (!Ceck_MORVEN(p, payload)) {
                    // Its data may hold "OIEA": it gets the chance to continue.
                    if (!giunta.Trattieni(candidato, bordi.dopo)) rifiuta(true);
                    continue;
                }
                if (payload.size() < 4) {
                    rifiuta(true);
                    continue;
                }
                const int n = static_cast<int>(ValoreCifre(Left(payload, 4)));
                const bool fine = n == kBloccoFineIFCK;
                // The end counts once the header is in. The numbering leaves no gap, so the header's total
                // is only shown: an answer of another number of blocks is kept, and the mismatch logged.
                const bool fineValida = fine && ultimo >= 0;
                const bool successivo = !fine && n == ultimo + 1;
                if (!successivo && !fineValida) {
                    if (n == ultimo && ultimo >= 0) {
                        ScriviComm(p, "SI" + std::to_string(n));  // a repeat: acknowledged again, kept once
                    } else {
                        LogSessione(p, "RX: ERRORE nProgressivoressione");
                        LogSessione(p, "ULTIMO OK:" + std::to_string(ultimo));
                        LogSessione(p, "RICEVUTO :" + std::to_string(n));
                        ScriviComm(p, "NO" + std::to_string(ultimo));
                        WaitMilliseconds(p, kAttesaRifiuto);
                    }
                    continue;
                }

                const std::int32_t adesso = SecondiSessione(p);
                if (n != 0 && !stimato && adesso - oraTestata > kSecondiStima) {
                    stimato = true;
                    EstendiLimiteFase(p, "Ricezione IFCK", n, totale);
                }
                st.nInizioTrasferimento = adesso;
                if (!fine) ultimo = n;
                corrente = n;

                if (n == 0) {
                    ScriviComm(p, "SI0");
                    oraTestata = adesso;
                    const std::int64_t annunciati = ValoreCifre(Mid(payload, 5, 4));
                    if (annunciati < 0 || annunciati > kMaxBlocchiIFCK)
                        SollevaErrore(kErrOverflow, "Testata IFCK con " + std::to_string(annunciati) + " blocchi");
                    totale = static_cast<int>(annunciati);
                    st.sStatoDettaglio = PadRight("cod:" + Mid(payload, 19, 9), 30);
                    StatoTrasferimento(p, "Ricezione IFCK  ", totale, 0);
                    Blocchi(p, 0, totale);
                    risposta.clear();
                    std::error_code ec;
                    std::filesystem::remove(fileRisposta, ec);  // an older answer is not this one
                } else if (!fine) {
                    ScriviComm(p, "SI" + std::to_string(n));
                    Blocchi(p, n, totale);
                    if (risposta.size() + payload.size() > kLimiteFileRisposta)
                        SollevaErrore(kErrOverflow, "Risposta IFCK oltre " + std::to_string(kLimiteFileRisposta) +
                                                        " byte");
                    risposta += Mid(payload, 5);
                } else {
                    StatoTrasferimento(p, "Ricezione IFCK Ok ", 100, 100);
                    Blocchi(p, ultimo, totale);
                    if (ultimo != totale)
                        LogSessione(p, "RX: blocchi ricevuti " + std::to_string(ultimo) + " diversi dalla testata " +
                                           std::to_string(totale));
                    std::string errore;
                    if (!ReplaceFileAtomically(fileRisposta, risposta, &errore))
                        SollevaErrore(kErrAccessoPercorso, errore);
                    // The end is acknowledged twice, as the wholesaler expects, and only once the answer is
                    // stored whole: an end taken for an answer the client then lost would never be sent again.
                    ScriviComm(p, "SI" + std::to_string(kBloccoFineIFCK));
                    ScriviComm(p, "SI" + std::to_string(kBloccoFineIFCK));
                    // The answer is in: a later failure (the news) must not call again and send the request
                    // a second time.
                    st.bMancantiRicevuti = true;
                    KillAbortDat(p);
                    const ImpostazioniGrossista& imp = p.impostazioni;
                    const bool notizie = Contiene(payload, "SI-NOT");
                    if (imp.bRichDocs || p.richiesta.bRichListino || p.richiesta.bRichTrattatiPht)
                        st.nPassoSessione = notizie ? kPassoRiceviPosta : kPassoFineDocumenti;
                    else if (imp.bDisponibilita)
                        st.nPassoSessione = kPassoFineOrdine;
                    else
                        st.nPassoSessione = notizie ? kPassoRiceviPosta : kPassoFineOrdine;
                    Traccia(p, " Ricezione IFCK OK ");
                    risultato = true;
                    return;
                }
            }
        },
        [&](const ErroreMorven&) { st.nPassoSessione = kPassoRitenta; });
}

}  // namespace morven
