#include "client/session/ftp_exchange.h"

#include "client/engine/errors.h"
#include "client/engine/helpers.h"
#include "client/engine/logs.h"
#include "client/engine/markers.h"
#include "client/engine/message_box.h"
#include "client/engine/ports.h"
#include "client/engine/programma.h"
#include "client/engine/session.h"
#include "client/session/answer_conversion.h"
#include "client/session/answer_file.h"
#include "client/session/call_driver.h"
#include "client/session/ifck_request.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

#include <cstdint>
#include <cstdio>
#include <limits>

namespace morven {

namespace {

void Stato(Programma& p, const std::string& testo) { Write_Status(p, testo, "", 100, 0, "", ""); }

// The session's error box: owned by the main window when no answer display is set, else a plain box.
void Messaggio(Programma& p, const std::string& testo) {
    if (!p.impostazioni.bDispOrdine[0] && !p.impostazioni.bDispOrdine[2])
        MessagBox(p, p.oggetti.oFrmMorven, TitoloConnessione(p), testo, kMbOk + kMbIconStop, 0, 0, 1, 10);
    else
        p.MsgBox().MsgBox(testo, kMbOk + kMbIconStop, TitoloConnessione(p), nullptr);
}

// An exchange that went wrong: said on the status line and in a box, and the session ends as aborted, so
// the step is never run again and abort.dat stays for the caller.
void Fallita(Programma& p, const std::string& testo) {
    ScriviLogFunzione(p, "ChiamaFTP :" + testo);
    Stato(p, testo);
    Messaggio(p, testo);
    p.sessione.nPassoSessione = kPassoAbortito;
}

// A wait of whole seconds on 64-bit milliseconds (no delay of the settings overflows it), in pieces the
// engine's wait takes, ending early on an abort or at the program's end.
void AttendiSecondi(Programma& p, std::int64_t secondi) {
    std::int64_t resto = secondi > 0 ? secondi * 1000 : 0;
    constexpr std::int64_t kPezzo = std::numeric_limits<std::int32_t>::max();
    while (resto > 0 && !p.sessione.bProceduraAbortita && !p.sessione.bProgrammaTerminato) {
        const std::int64_t ora = resto < kPezzo ? resto : kPezzo;
        WaitMilliseconds(p, static_cast<std::int32_t>(ora));
        resto -= ora;
    }
}

std::string Descrizione(FtpClient& ftp, int codice) {
    const std::string e = ftp.LastError();
    return "errore FTP " + std::to_string(codice) + (e.empty() ? "" : " (" + e + ")");
}

}  // namespace

bool RichiestaIFCK_FTP(Programma& p, FtpClient& ftp, const std::string& host, const std::string& user,
                       const std::string& password, const std::string& fileRichiesta, const std::string& fileRisposta,
                       int nFtpDelay, int nFtpRetry, int timeOut) {
    auto chiudi = [&](const ErroreMorven&) { ftp.Reset(); };
    return EseguiProcedura(
        p, "RichiestaIFCK_FTP", false,
        [&](bool& ok) {
            const std::string& sConnect = p.impostazioni.sConnect;
            const std::string remotoRichiesta = TogliPathFile(p, fileRichiesta);
            const std::string remotoRisposta = TogliPathFile(p, fileRisposta);
            Stato(p, "Tentativo di Connessione  a " + sConnect);
            ftp.Reset();
            ftp.Host = host;
            ftp.Binary = true;
            ftp.Port = 21;
            ftp.User = user;
            ftp.Password = password;
            ftp.TimeoutSeconds = timeOut;
            ftp.Active = false;
            // No answer the displays could read is longer than this: a longer file is refused on the way in.
            ftp.MaxDownloadBytes = static_cast<std::int64_t>(kLimiteFileRisposta);
            if (const int r = ftp.Connect(); r != 0) {
                ScriviLogFunzione(p, "RichiestaIFCK_FTP :connessione a " + host + " non riuscita: " +
                                         Descrizione(ftp, r));
                ftp.Reset();
                Messaggio(p, "Collegamento Impossibile");
                TerminaProgramma(p);
                return;
            }
            Stato(p, "Connesso  a " + sConnect);
            Stato(p, "Invio Richiesta");
            ftp.RestartOffset = 0;
            if (const int r = ftp.Upload(remotoRichiesta, fileRichiesta); r != 0)
                SollevaErrore(kErrIODispositivo, "invio di " + remotoRichiesta + " non riuscito: " + Descrizione(ftp, r));
            InvioConfermato(p);  // the wholesaler holds the whole request, answered or not
            // Only an answer fetched now counts: an older file of the same name is not this request's answer.
            if (FileExists(fileRisposta) && std::remove(fileRisposta.c_str()) != 0)
                SollevaErrore(kErrAccessoPercorso, "impossibile eliminare " + fileRisposta);
            int nTentativo = 0;
            do {
                Stato(p, "Attesa Risposta");
                AttendiSecondi(p, nFtpDelay);
                if (p.sessione.bProceduraAbortita || p.sessione.bProgrammaTerminato) break;
                if (ftp.Download(remotoRisposta, fileRisposta) == 0 && FileExists(fileRisposta)) {
                    Stato(p, "Ricevuta Risposta");
                    break;
                }
                ++nTentativo;
            } while (nTentativo < nFtpRetry);
            ftp.Reset();
            ok = true;
        },
        chiudi);
}

bool ChiamaFTP(Programma& p, FtpClient& ftp) {
    return EseguiProcedura(p, "ChiamaFTP", false, [&](bool& ok) {
        auto& imp = p.impostazioni;
        auto& st = p.sessione;
        const std::string& app = p.percorsi.sPathApp;
        // Only orders and availability requests travel by FTP: any other request would send an order file
        // that is not the one asked for.
        const std::string tipo = TipoScambioIFCK({imp.bDisponibilita, imp.bRichDocs, p.richiesta.bRichListino,
                                                  imp.bOrdinePht, p.richiesta.bRichTrattatiPht});
        if (tipo != "01" && tipo != "02") {
            Fallita(p, "Richiesta IFCK" + tipo + " non disponibile via FTP");
            return;
        }
        const std::string& sorgente = p.opzioni.sSorgenteIFCK;
        const std::string fileRichiesta = JoinPath(app, "IFCK" + tipo + "_IN_" + sorgente + ".DAT");
        const std::string fileRisposta = JoinPath(app, "IFCK" + tipo + "_OUT_" + sorgente + ".DAT");
        if (imp.bCompMvn &&
            !ConvertiOrdineDa2003(p, ResolveNoCase(app, "ordseq.txt"), fileRichiesta, Left(imp.sCodiceCliente, 7) + "00",
                                  tipo, "", imp.nTipoRichiesta, imp.bOpzioneTestata1, imp.bOpzioneTestata2,
                                  imp.bOpzioneTestata3, imp.bDatiConseg, "", false, imp.bAllineaCol, imp.bSostProd,
                                  imp.bConsDiffer)) {
            Fallita(p, "Impossibile preparare la Richiesta");
            return;
        }
        ok = true;
        const bool inviata = RichiestaIFCK_FTP(p, ftp, imp.aIndirizzoIp[0], imp.sUser, imp.sPassword, fileRichiesta,
                                               fileRisposta, imp.nFtpDelay, imp.nFtpRetry, kTimeOutFtp);
        if (st.bProgrammaTerminato) {
            st.nPassoSessione = kPassoTermina;
            return;
        }
        if (st.bProceduraAbortita) {
            st.nPassoSessione = kPassoAbortito;
            return;
        }
        if (!inviata) {
            Fallita(p, "Invio Richiesta non riuscito");
            return;
        }
        if (!FileExists(fileRisposta)) {
            Fallita(p, "Nessuna Risposta ricevuta");
            return;
        }
        // The download lands whole or not at all: the answer is in, as after the end block on the line. The
        // session marker goes, so the caller does not take the call for unanswered and order again.
        st.bMancantiRicevuti = true;
        KillAbortDat(p);
        if (imp.bCompMvn) ConvertiMancantiA2003(p, fileRisposta, "");
        if (st.bProgrammaTerminato) {
            st.nPassoSessione = kPassoTermina;
            return;
        }
        // Without the answers on screen a batch run ends here, so its caller gets MorvenClient.end.
        st.nPassoSessione = imp.bDispOrdine[0]   ? kPassoFineOrdine
                            : p.opzioni.bBlkRun ? kPassoTermina
                                                : kPassoRisposteVisibili;
    });
}

}  // namespace morven
