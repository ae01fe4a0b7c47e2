#include "client/session/loop.h"

#include <cstdio>

#include "client/engine/connection.h"
#include "client/engine/errors.h"
#include "client/engine/helpers.h"
#include "client/engine/logs.h"
#include "client/engine/mail_receive.h"
#include "client/engine/mail_send.h"
#include "client/engine/markers.h"
#include "client/engine/message_box.h"
#include "client/engine/news_unpack.h"
#include "client/engine/order_file.h"
#include "client/engine/order_send.h"
#include "client/engine/programma.h"
#include "client/engine/session.h"
#include "client/engine/shortage_receive.h"
#include "client/session/answer_conversion.h"
#include "client/session/ftp_exchange.h"
#include "client/session/ifck_blocks.h"
#include "client/session/layout.h"
#include "client/session/answer_display.h"
#include "client/engine/menu.h"
#include "platform/core/files.h"

namespace morven {

namespace {

constexpr std::string_view kNotizieErrate = "Ricezione Notizie ERRATA !";
constexpr std::string_view kCollegamentoInterrotto = "Collegamento Interrotto";
constexpr std::string_view kInterrottoSenzaRisposta =
    "Il collegamento si e' interrotto prima della risposta del grossista.\r\n"
    "Ripetere la chiamata dal menu Collegamento.";
constexpr std::string_view kInterrottoDopoRisposta =
    "Il collegamento si e' interrotto dopo la risposta del grossista:\r\n"
    "la risposta e' stata salvata.";

bool Finale(PassoSessione passo) {
    return passo == kPassoTermina || passo == kPassoAbortito || passo == kPassoRisposteVisibili ||
           passo == kPassoFinestraNascosta;
}

void Stato(Programma& p, const std::string& testo) { Write_Status(p, testo, "", 100, 0, "", ""); }

bool NessunaVisualizzazione(const ImpostazioniGrossista& imp) { return !imp.bDispOrdine[0] && !imp.bDispOrdine[2]; }

void CollegamentoImpossibile(Programma& p) {
    Stato(p, "Collegamento Impossibile");
    MotivoEsito(p, "Collegamento Impossibile");
    morven::CollegamentoImpossibile(p, TitoloConnessione(p));
}

void MancantiErrati(Programma& p) {
    Stato(p, "Ricezione Mancanti ERRATA !");
    MotivoEsito(p, "Trasmissione Ordine Corretta , Ricezione Mancanti ERRATA !");
    p.MsgBox().MsgBox("Trasmissione Ordine Corretta , Ricezione Mancanti ERRATA !", kMbOk + kMbIconStop,
                      TitoloConnessione(p), nullptr);
}

// What the session was sending: an availability or IFCK request, the mail, or the order.
std::string CosaSiTrasmette(const Programma& p) {
    const auto& imp = p.impostazioni;
    if (imp.nTipoInterfaccia >= kClassePosta && !imp.bModeIFCK) return "Posta";
    if (imp.bDisponibilita || imp.bRichDocs || p.richiesta.bRichListino || p.richiesta.bRichTrattatiPht ||
        (imp.bModeIFCK && imp.bOrdinePht))
        return "Richiesta";
    return "Ordine";
}

// The line opened in some attempt but nothing went out whole: the last message says that the transfer
// failed, not that the line never opened.
void TrasmissioneErrata(Programma& p) {
    const std::string testo = "Collegamento Riuscito , Trasmissione " + CosaSiTrasmette(p) + " ERRATA !";
    Stato(p, "Trasmissione " + CosaSiTrasmette(p) + " ERRATA !");
    MotivoEsito(p, testo);
    if (!p.percorsi.sFileLogSessione.empty()) ScriviLog(p, p.percorsi.sFileLogSessione, true, testo);
    p.MsgBox().MsgBox(testo, kMbOk + kMbIconStop, TitoloConnessione(p), nullptr);
}

// The end of the attempts without the answer: what the last attempts got to.
void FineTentativi(Programma& p) {
    const auto& st = p.sessione;
    if (st.bRichiestaInviata && CosaSiTrasmette(p) == "Posta") {
        const std::string testo = "Trasmissione Posta Corretta , Ricezione Notizie ERRATA !";
        Stato(p, "Ricezione Notizie ERRATA !");
        MotivoEsito(p, testo);
        p.MsgBox().MsgBox(testo, kMbOk + kMbIconStop, TitoloConnessione(p), nullptr);
    } else if (st.bRichiestaInviata)
        MancantiErrati(p);
    else if (st.bLineaAperta)
        TrasmissioneErrata(p);
    else
        CollegamentoImpossibile(p);
}

std::string DueCifre(int v) { return PadLeft(v, 2, "0"); }

// A session that sends an order reads the order before the first call: a broken order file ends the session
// here, not after six or sixteen calls that could never send it.
bool OrdineLeggibile(Programma& p) {
    const auto& imp = p.impostazioni;
    if (imp.bModoFTP || imp.bModeIFCK || imp.nTipoInterfaccia >= kClassePosta) return true;
    if (imp.bCsf && !ConvertiOrdineCSF(p)) return false;
    return imp.bCPJ ? LetturaOrdineComproject(p) : LetturaOrdineMorven(p);
}

// After a failure or before the first call: call again, fall back from the socket to the modem, or end.
void DecidiTentativo(Programma& p) {
    auto& st = p.sessione;
    auto& imp = p.impostazioni;
    st.bNotizieRicevute = false;
    if (!imp.bModoInternet) {
        st.nMaxTentativi = 6;
        if (!SettaggioModem(p)) return;  // the program ended, or an abort: the loop sees it
    } else {
        st.nMaxTentativi = 16;
    }
    if (st.bMancantiRicevuti) {
        Stato(p, std::string(kNotizieErrate));  // the modem's set-up above wrote its own status
        p.MsgBox().MsgBox("Trasmissione Ordine Corretta , Ricezione Notizie ERRATA !", kMbOk + kMbIconStop,
                          TitoloConnessione(p), nullptr);
        TerminaProgramma(p);
        return;
    }
    // An order that went out is never sent again unless the settings ask for it: no new call and no
    // fall-back to the modem, and the message says what happened.
    if (st.bOrdineTrasmesso && !p.opzioni.bRitentaMancanti) {
        FineTentativi(p);
        TerminaProgramma(p);
        return;
    }
    if (st.nTentativo < st.nMaxTentativi) {
        ++st.nTentativo;
        st.bOrdineTrasmesso = false;
        st.nPassoSessione = kPassoChiama;
        return;
    }
    if (imp.bModoInternet) {
        if (imp.bModoMisto) {
            st.nTentativo = 0;
            imp.bModoInternet = false;
            std::string ras = imp.sNomeRas;
            if (!ras.empty() && IsRasEntryConnected(p, ras)) HangUpRasEntry(p, ras);
            st.nPassoSessione = kPassoRitenta;
            return;
        }
        FineTentativi(p);
        TerminaProgramma(p);
        return;
    }
    FineTentativi(p);
    TerminaProgramma(p);
}

void PassoRicezione(Programma& p) {
    auto& st = p.sessione;
    st.bOrdineTrasmesso = true;
    if (p.impostazioni.bCPJ)
        RxComproject(p);
    else
        RxLORQ(p);
    if (st.nPassoSessione == kPassoRitenta && !p.opzioni.bRitentaMancanti) st.nTentativo = st.nMaxTentativi + 1;
}

// The stream transfers of mail and news run only on a socket: a slot that fell back to the modem frames them.
bool FlussoTcp(const ImpostazioniGrossista& imp) { return imp.bTcpDir && imp.bModoInternet; }

void PassoRispostaIFCK(Programma& p) {
    auto& st = p.sessione;
    st.bOrdineTrasmesso = true;
    const std::string risposta = ResolveNoCase(p.percorsi.sPathApp, p.opzioni.sFileIFCKOut);
    // Only a whole answer is converted into the older answer files, and only an order or availability answer.
    const auto& imp = p.impostazioni;
    if (RxMorvenFCK(p, risposta) && imp.bCompMvn && !imp.bRichDocs && !p.richiesta.bRichListino &&
        !p.richiesta.bRichTrattatiPht)
        ConvertiMancantiA2003(p, risposta);
    if (st.nPassoSessione == kPassoRitenta && !p.opzioni.bRitentaMancanti) st.nTentativo = st.nMaxTentativi + 1;
}

// Receives the mail and news archive over the line and unpacks it.
void RiceviNotizie(Programma& p) {
    auto& st = p.sessione;
    st.nPassoRipresa = kPassoRiceviPosta;
    st.nTimeMaxCorrente = p.impostazioni.nTimeMaxRxP;
    // An update left by an earlier news archive must not be taken for one of this archive.
    for (const char* stale : {"morvenupgrade.bat", "morvenupgrade.bat.run", "morvenprofupg.dat"}) {
        const std::string f = ResolveNoCase(JoinPath(p.percorsi.sPathApp, "news"), stale);
        if (FileExists(f)) std::remove(f.c_str());
    }
    const bool ricevute = FlussoTcp(p.impostazioni) ? RxPOSTATcp(p) : RxPosta(p);
    st.bUpgradeRicevuto = false;
    st.bProfiloRicevuto = false;
    if (!ricevute) {
        // The status file and the session log say the news failed, not the last block's progress.
        Stato(p, std::string(kNotizieErrate));
        ScriviLog(p, p.percorsi.sFileLogSessione, true, "Ricezione notizie non riuscita");
    }
    if (st.bNotizieRicevute) {
        p.FrmMorven().SetText("status", "Scompattazione Notizie");
        std::string motivo;
        if (p.opzioni.bBlkRun)
            BLKScompattaNotizie(p, &motivo);
        else
            ScompattaNotizie(p, &motivo);
        if (!motivo.empty()) {
            Write_Status(p, "Notizie Ricevute Ma Non Espandibili", "", 100, 100, "", "");
            ScriviLog(p, p.percorsi.sFileLogSessione, true, "Notizie ricevute ma non espandibili: " + motivo);
        }
        const std::string news = JoinPath(p.percorsi.sPathApp, "news");
        st.bUpgradeRicevuto = FileExists(ResolveNoCase(news, "morvenupgrade.bat"));
        st.bProfiloRicevuto = FileExists(ResolveNoCase(news, "morvenprofupg.dat"));
    }
    // A documents request ends showing its documents; a failed receive still goes to the retry decision.
    const auto& imp = p.impostazioni;
    if ((imp.bRichDocs || p.richiesta.bRichListino || p.richiesta.bRichTrattatiPht) &&
        st.nPassoSessione != kPassoRitenta && st.nPassoSessione != kPassoAbortito)
        st.nPassoSessione = kPassoFineDocumenti;
}

// Sends the mail archive over the line.
void InviaPosta(Programma& p) {
    auto& st = p.sessione;
    auto& imp = p.impostazioni;
    Stato(p, "CONNESSO " + imp.sSpeedComm);
    st.nTimeMaxCorrente = imp.nTimeMaxTxP;
    WaitMilliseconds(p, 2000);
    if (FlussoTcp(imp))
        txPostaTCP(p);
    else
        TxPosta(p, JoinPath(p.percorsi.sPathApp, "posta.gz"));
    if (!imp.bModoInternet) WaitMilliseconds(p, 5000);
}

void InizioFine(Programma& p) {
    auto& main = p.FrmMorven();
    main.SetText("status", "Fine Collegamento ");
    main.Refresh();
}

void EseguiPasso(Programma& p) {
    auto& st = p.sessione;
    auto& imp = p.impostazioni;
    const PassoSessione passo = st.nPassoSessione;
    switch (passo) {
        case kPassoRitenta: DecidiTentativo(p); break;
        case kPassoChiama:
            imp.sSpeedComm.clear();
            st.nTimeMaxCorrente = imp.nTimeMaxOrd;
            // An attempt that fails before it sets a step (the socket refuses the host or port) is a failed
            // attempt: counted, never made again and again.
            if (!EseguiChiamata(p) && st.nPassoSessione == kPassoChiama) st.nPassoSessione = kPassoRitenta;
            break;
        case kPassoConnesso:
            Stato(p, "CONNESSO " + imp.sSpeedComm);
            st.nTimeOutRicezione = 0;
            st.nPassoSessione = kPassoInviaOrdine;
            break;
        case kPassoRiceviMancanti: PassoRicezione(p); break;
        case kPassoInviaOrdine:
            if (imp.bCPJ)
                TxComproject(p);
            else
                TxLORQ(p);
            break;
        case kPassoRiceviPosta: RiceviNotizie(p); break;
        case kPassoInviaPosta: InviaPosta(p); break;
        case kPassoFineDocumenti:
            InizioFine(p);
            if (NessunaVisualizzazione(imp)) {
                st.nPassoSessione = kPassoTermina;
            } else {
                DisplayDocumentiFinestra(p);
                st.nPassoSessione = kPassoRisposteVisibili;
            }
            break;
        case kPassoFineOrdine:
            InizioFine(p);
            if (imp.bDispOrdine[0]) {
                DisplayMancantiFinestra(p);
                st.nPassoSessione = kPassoRisposteVisibili;
            } else {
                st.nPassoSessione = kPassoTermina;
            }
            break;
        case kPassoFinePosta:
            InizioFine(p);
            if (NessunaVisualizzazione(imp)) {
                st.nPassoSessione = kPassoTermina;
            } else {
                DisplayPosta(p, p.FrmMorven(), "TextMess");
                st.nPassoSessione = kPassoRisposteVisibili;
            }
            break;
        case kPassoInviaIFCK:
            TxMorvenFCK(p, ResolveNoCase(p.percorsi.sPathApp, p.opzioni.sFileIFCKIn), kBloccoIFCK, true, false);
            break;
        case kPassoRiceviIFCK: PassoRispostaIFCK(p); break;
        case kPassoFTP:
            ChiamaFTP(p, p.Inet());
            break;
        // No procedure: before the first step and at the final ones the loop goes round (or ends).
        case kPassoNessuno:
        case kPassoRisposteVisibili:
        case kPassoAbortito:
        case kPassoTermina:
        case kPassoFinestraNascosta: break;
    }
    // What the run got to, kept across its attempts for the last message and the outcome line.
    if (passo == kPassoChiama && (st.nPassoSessione == kPassoConnesso || st.nPassoSessione == kPassoInviaIFCK ||
                                  st.nPassoSessione == kPassoInviaPosta))
        st.bLineaAperta = true;
    if (st.bOrdineTrasmesso || (passo == kPassoInviaPosta && st.nPassoSessione == kPassoRiceviPosta))
        st.bRichiestaInviata = true;
    switch (passo) {
        case kPassoRitenta: case kPassoChiama: case kPassoConnesso: case kPassoRiceviMancanti:
        case kPassoInviaOrdine: case kPassoRiceviPosta: case kPassoInviaIFCK: case kPassoRiceviIFCK:
            if (st.bProceduraAbortita) st.nPassoSessione = kPassoAbortito;
            break;
        default: break;
    }
}

bool CartellaNewsConFile(Programma& p) {
    const auto news = FindNameNoCase(p.percorsi.sPathApp, "news");
    if (!news) return false;
    for (const auto& e : ListFolder(JoinPath(p.percorsi.sPathApp, *news), "*.*"))
        if (e.kind == EntryKind::File) return true;
    return false;
}

void InizioSessione(Programma& p) {
    auto& st = p.sessione;
    auto& imp = p.impostazioni;
    if (p.oggetti.oMSComm) p.oggetti.oMSComm->RThreshold = 0;
    p.FrmMorven().SetCaption(p.percorsi.sNomeProgramma +
                             (imp.bDisponibilita ? " (Richiesta Disponibilita' a " : " (Connessione con ") +
                             imp.sConnect + " )");
    st.bProceduraAbortita = false;
    st.bConnessioneChiusa = false;
    st.nTentativo = 0;
    // An order sent by an earlier session (a second session after a confirmation) is not this one's.
    st.bOrdineTrasmesso = false;
    st.nPassoSessione = imp.bModoFTP ? kPassoFTP : kPassoRitenta;
    st.nTimeMaxCorrente = imp.nTimeMaxOrd;
    st.nTimeOutRecord = 30;
    st.nTimeOutRicezione = 10;
    const DateTime now = p.Orologio().Now();
    setAbortDat(p, "Trasmissione Iniziata :" + DueCifre(now.month) + "-" + DueCifre(now.day) + "-" +
                       PadLeft(now.year, 4, "0") + " " + DueCifre(now.hour) + ":" + DueCifre(now.minute) + ":" +
                       DueCifre(now.second) + "\r\nNomeGrossista :" + imp.sConnect + "\r\nCodice    :" +
                       imp.sCodiceCliente);
    ScriviLog(p, p.percorsi.sFileLogSessione, false, "");
    st.bNotizieRicevute = false;
    st.bMancantiRicevuti = false;
    // A batch run starts with an empty news folder; one that is empty already needs nothing (and logs no
    // failed deletion, which the run's outcome would take for a reason).
    if (p.opzioni.bBlkRun && CartellaNewsConFile(p)) CancellaNews(p);
    if (p.opzioni.bDebug && p.oggetti.oFrmDebug) p.oggetti.oFrmDebug->Show();
    if (!OrdineLeggibile(p)) {
        // The reader's reason (the line, the character) follows the message.
        MessaggioFileOrdineNonCorretto(p, st.sErroreOrdine);
        st.nPassoSessione = kPassoAbortito;
    }
}

void FineSessione(Programma& p) {
    auto& st = p.sessione;
    auto& imp = p.impostazioni;
    const PassoSessione passo = st.nPassoSessione;
    if (passo == kPassoFinestraNascosta) p.FrmMorven().Hide();
    if (passo == kPassoAbortito) {
        // Each clean-up statement on its own (a window without one of the controls logs it), so that nothing
        // stands between a batch run and its end.
        auto pulizia = [&](auto&& f) { Istruzione(p, "LoopTrasmissione", kStadioSalta, f); };
        pulizia([&] {
            if (p.oggetti.oMSComm && p.oggetti.oMSComm->PortOpen()) p.oggetti.oMSComm->SetPortOpen(false);
        });
        // The window says that the call ended without its answer on screen (not the connection phase and an
        // empty status, as if it still ran): the end layout with its close button, the heading, the status (also
        // in winstat.dat, for the program that follows the call) and a line in the session log.
        const bool risposta = st.bMancantiRicevuti;
        pulizia([&] { ImpostaVisualizzazione(p, p.FrmMorven(), kFaseFine, kCollegamentoInterrotto, imp.sConnect); });
        pulizia([&] {
            Write_Status(p, kCollegamentoInterrotto, risposta ? "Risposta Ricevuta" : "Nessuna Risposta", 100, 0,
                         "", "");
        });
        pulizia([&] {
            p.FrmMorven().SetText("TextMess", risposta ? kInterrottoDopoRisposta : kInterrottoSenzaRisposta);
        });
        pulizia([&] {
            if (!p.percorsi.sFileLogSessione.empty())
                ScriviLog(p, p.percorsi.sFileLogSessione, true, kCollegamentoInterrotto);
        });
        MotivoEsito(p, kCollegamentoInterrotto);
        // The wholesaler menu, locked while the call ran, is offered again.
        pulizia([&] { ImpostaElencoConnessioni(p, p.FrmMorven(), false); });
        // A batch run has a caller waiting for the end marker: an aborted session ends the program too.
        if (p.opzioni.bBlkRun) TerminaProgramma(p);
    }
    if (passo == kPassoTermina) {
        if (!imp.bModoInternet && p.oggetti.oMSComm && p.oggetti.oMSComm->PortOpen())
            p.oggetti.oMSComm->SetPortOpen(false);
        TerminaProgramma(p);
    }
    if (passo == kPassoRisposteVisibili && !imp.bDisponibilita) {
        if (imp.bModoInternet) {
            std::string ras = imp.sNomeRas;
            if (!ras.empty() && IsRasEntryConnected(p, ras)) HangUpRasEntry(p, ras);
        } else if (p.oggetti.oMSComm && p.oggetti.oMSComm->PortOpen()) {
            p.oggetti.oMSComm->SetPortOpen(false);
        }
    }
    // The answer shown waits for the pharmacist (an availability answer for the confirm or refuse); a batch
    // run nobody can see ends instead, with the answer stored and, for availability, neither sent.
    if (passo == kPassoRisposteVisibili && p.opzioni.bBlkRun && p.opzioni.bSenzaSchermo) {
        ScriviLogFunzione(p, imp.bDisponibilita
                                 ? "LoopTrasmissione :nessuno schermo per la conferma, disponibilita' non confermata"
                                 : "LoopTrasmissione :nessuno schermo per mostrare la risposta");
        TerminaProgramma(p);
    }
}

}  // namespace

void MessaggioFileOrdineNonCorretto(Programma& p, const std::string& motivo) {
    p.MsgBox().MsgBox("Il File Ordine non e' corretto : trasmissione annullata." +
                          (motivo.empty() ? std::string() : "\r\n" + motivo),
                      kMbOk + kMbIconStop, TitoloConnessione(p), nullptr);
}

bool LoopTrasmissione(Programma& p) {
    auto& st = p.sessione;
    st.bProgrammaTerminato = false;
    auto passo = [&](auto&& f) {
        try {
            f();
        } catch (...) {
            // Logged; the session ends as aborted rather than going round on a step that keeps failing.
            RegistraErrore(p, "LoopTrasmissione", ErroreCorrente());
            st.nPassoSessione = kPassoAbortito;
        }
    };
    st.bChiamataIniziata = true;
    passo([&] { InizioSessione(p); });
    while (!Finale(st.nPassoSessione) && !st.bProgrammaTerminato) {
        passo([&] { EseguiPasso(p); });
        if (st.bProgrammaTerminato) break;
        passo([&] { p.Pump().process(); });
    }
    if (!st.bProgrammaTerminato) passo([&] { FineSessione(p); });
    // A progress still held back from the status file goes there now: a window left open after the call
    // runs no more waits that would write it.
    passo([&] { ScriviStatoInSospeso(p, true); });
    return true;
}

}  // namespace morven
