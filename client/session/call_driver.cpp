#include "client/session/call_driver.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "client/engine/errors.h"
#include "client/engine/logs.h"
#include "client/engine/markers.h"
#include "client/engine/message_box.h"
#include "client/engine/programma.h"
#include "client/engine/settings.h"
#include "client/session/answer_file.h"
#include "client/session/startup.h"
#include "client/session/layout.h"
#include "client/session/loop.h"
#include "client/engine/menu.h"
#include "platform/core/clock.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

namespace morven {

std::string TipoScambioIFCK(const FlagsRichiesta& f) {
    if (f.bDisponibilita) return "01";
    if (f.bRichDocs) return "03";
    if (f.bRichListino) return "04";
    if (f.bOrdinePht) return "05";
    if (f.bRichTrattatiPht) return "06";
    return "02";
}

std::string CodiceClienteDisponibilita(const std::string& sCodiceCliente) {
    const std::string c = PadLeft(Trim(Left(sCodiceCliente, 7)), 7, "0");
    int sum = 0;
    for (char ch : c)
        if (ch >= '0' && ch <= '9') sum += ch - '0';
    return c + PadLeft(std::abs(100 - sum), 3, "0") + "0000";
}

std::string NomeLogSessione(const std::string& slot, const DateTime& t) {
    return "MvnConn" + slot + "-" + PadLeft(t.year, 4, "0") + PadLeft(t.month, 2, "0") + PadLeft(t.day, 2, "0") +
           "-" + PadLeft(t.hour, 2, "0") + PadLeft(t.minute, 2, "0") + PadLeft(t.second, 2, "0") + ".log";
}

namespace {

void CancellaSeEsiste(Programma& p, const std::string& folder, const std::string& pattern) {
    for (const auto& e : ListFolder(folder, pattern)) {
        if (e.kind != EntryKind::File) continue;
        Istruzione(p, "SceltaChiamata", kStadioSalta, [&] {
            if (std::remove(JoinPath(folder, e.name).c_str()) != 0) SollevaErrore(kErrAccessoPercorso);
        });
    }
}

// The previous call's answers; a file that cannot be removed is logged and the others still go.
void CancellaRispostePrecedenti(Programma& p) {
    const std::string& app = p.percorsi.sPathApp;
    for (const char* name : {"ordseq.rst", "ordseq.man", "ordseq.ma1"}) CancellaSeEsiste(p, app, name);
    for (int k = 1; k <= 6; ++k) CancellaSeEsiste(p, app, "IFCK0" + std::to_string(k) + "_OUT_*.*");
    for (const char* name : {"ordseq2006.man", "msgrx.txt"}) CancellaSeEsiste(p, app, name);
}

}  // namespace

bool HaScambio(const ImpostazioniGrossista& imp) {
    // Exchange files (over the line or by FTP) carry any request whatever the interface says: the settings
    // window saves such slots as "IFCK" or "DOCUMENTI", which have no class of their own. The older framed
    // protocols need the answer layout of their class.
    if (imp.bModeIFCK || imp.bCPJ) return true;
    return imp.nTipoInterfaccia >= kClasseOrdine && imp.nTipoInterfaccia <= kClassePosta;
}

std::optional<std::string> OrdineIFCKNonValido(const Programma& p) {
    const auto& imp = p.impostazioni;
    if (!(imp.bModeIFCK || imp.bModoFTP) || !imp.bCompMvn) return std::nullopt;
    const std::string tipo = TipoScambioIFCK({imp.bDisponibilita, imp.bRichDocs, p.richiesta.bRichListino,
                                              imp.bOrdinePht, p.richiesta.bRichTrattatiPht});
    if (tipo != "01" && tipo != "02") return std::nullopt;  // these requests are not built from the order file
    const auto file = CercaFile(p.percorsi.sPathApp, "ordseq.txt");
    if (!file) return "File ordine mancante";
    const ContenutoFile letto = LeggiFileLimitato(*file);
    if (letto.esito == EsitoLettura::Mancante) return "File ordine mancante";
    if (letto.esito != EsitoLettura::Letto) return "File ordine non leggibile: " + letto.errore;
    if (DividiRighe(letto.dati).empty()) return "File ordine vuoto";
    return std::nullopt;
}

bool CartellaScrivibile(const std::string& cartella, std::string& errore) {
    const std::string prova = JoinPath(cartella, "MorvenClient.prova");
    std::remove(prova.c_str());  // one a broken run left behind
    std::FILE* f = std::fopen(prova.c_str(), "wbx");
    bool ok = f && std::fputs("prova\r\n", f) >= 0;
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) errore = std::strerror(errno);
    if (f && std::remove(prova.c_str()) != 0 && ok) {
        errore = std::strerror(errno);
        ok = false;
    }
    return ok;
}

namespace {

bool PreparaEChiama(Programma& p, const std::string& slot, DialoghiRichiesta* dialoghi) {
    bool risultato = false;
    auto& imp = p.impostazioni;
    auto& opz = p.opzioni;
    auto& perc = p.percorsi;
    bool preparato = false;
    // Steps 1 to 10: a failure ends the driver without a call.
    p.sessione.bProgrammaTerminato = false;
    EseguiProcedura(p, "SceltaChiamata", 0, [&] {
        p.Pump().process();
        p.Pump().process();
        // A new call first removes the previous call's answers, also when it is refused below: old answers
        // never stand beside a new call's abort.dat.
        CancellaRispostePrecedenti(p);
        setAbortDat(p, "Scelta NomeGrossista :" + slot);
        perc.sFileImpostazioni = JoinPath(perc.sPathApp, "MvnConn" + slot + ".par");
        perc.sFileLogSessione = NomeLogSessione(slot, p.Orologio().Now());
        // No settings for the slot (or a slot that cannot name a file): no call with the values another slot
        // left behind.
        if (!SlotValido(slot) || !TrovaFileImpostazioni(perc.sFileImpostazioni)) {
            p.MsgBox().MsgBox("Il File di Configurazione non esiste \r\nprima di effettuare la trasmissione "
                              "occorre configurarla.",
                              kMbOk + kMbIconExclamation, "Errore di Trasmissione", nullptr);
            const std::string quale =
                SlotValido(slot) ? perc.sFileImpostazioni : "per il grossista " + TestoVisibile(slot);
            ScriviLogFunzione(p, "SceltaChiamata :file di configurazione mancante " + quale);
            return 0;
        }
        LeggiImpostazioni(p, perc.sFileImpostazioni);
        if (p.sessione.bProgrammaTerminato) return 0;
        // Nor a line guessed for a connection mode the program does not know.
        if (!imp.sModoNonValido.empty()) {
            p.MsgBox().MsgBox("Modo di collegamento non gestito : " + imp.sModoNonValido, kMbOk + kMbIconStop,
                              "Connessione con " + imp.sConnect, nullptr);
            ScriviLogFunzione(p, "SceltaChiamata :modo di collegamento non gestito " + imp.sModoNonValido);
            return 0;
        }
        // A number the call would use but cannot (a port outside 1-65535, a value that is not a number).
        if (!imp.aValoriRifiutati.empty()) {
            const auto& r = imp.aValoriRifiutati.front();
            const std::string testo = r.sChiave + " :" + TestoVisibile(r.sValore);
            p.MsgBox().MsgBox("Impostazione non valida nel File di Configurazione :\r\n" + testo +
                                  "\r\nla trasmissione non viene effettuata.",
                              kMbOk + kMbIconExclamation, "Errore di Trasmissione", nullptr);
            ScriviLogFunzione(p, "SceltaChiamata :impostazione non valida " + testo);
            return 0;
        }
        // A slot without any exchange is refused here, not looped on.
        if (!HaScambio(imp)) {
            p.MsgBox().MsgBox("Interfaccia non gestita : " + imp.sInterfaccia, kMbOk + kMbIconStop,
                              "Connessione con " + imp.sConnect, nullptr);
            ScriviLogFunzione(p, "SceltaChiamata :interfaccia non gestita " + imp.sInterfaccia);
            return 0;
        }
        if (imp.bModeIFCK && (imp.bCompMvn || opz.sFileIFCKIn.empty())) {
            const std::string tipo = TipoScambioIFCK({imp.bDisponibilita, imp.bRichDocs, p.richiesta.bRichListino,
                                                      imp.bOrdinePht, p.richiesta.bRichTrattatiPht});
            opz.sFileIFCKIn = FileIFCKIn(tipo);
            opz.sFileIFCKOut = FileIFCKOut(tipo);
            opz.sSorgenteIFCK = "MORVEN";
        }
        // The main window as the connection shows it, with the slot's own start page.
        ImpostaVisualizzazione(p, p.FrmMorven(), kFaseCollegamento, "Collegamento", imp.sConnect);
        std::string indirizzo;
        ImpostaMainBrowser(p, indirizzo, slot, true);
        imp.bTcpDir = false;
        p.sessione.bConnessioneChiusa = false;
        if (imp.bDisponibilita && !imp.bModeIFCK) {
            if (!imp.bCPJ) {
                imp.bCPJ = true;
                imp.sSettings = "E,7,1";
                imp.sCodiceCliente = CodiceClienteDisponibilita(imp.sCodiceCliente);
            }
            imp.bDispOrdine = {true, true, true};
        }
        preparato = true;
        return 0;
    });
    if (!preparato) return false;

    // From here a failure is logged and the call goes on.
    const std::string& app = perc.sPathApp;

    // The answers must be storable before an order goes out: a folder that takes no file refuses the call.
    if (std::string errore; !CartellaScrivibile(app, errore)) {
        p.MsgBox().MsgBox("Impossibile scrivere nella cartella del programma :\r\n" + app +
                              "\r\nla trasmissione non viene effettuata.",
                          kMbOk + kMbIconStop, "Errore di Trasmissione", nullptr);
        ScriviLogFunzione(p, "SceltaChiamata :cartella non scrivibile " + app + " :" + errore);
        return false;
    }

    bool fine = false;
    Istruzione(p, "SceltaChiamata", kStadioSalta, [&] {
        if (imp.bRichDocs && imp.bCompMvn) {
            if (dialoghi) dialoghi->RicDocumenti(p);
            if (!imp.bRichDocs && !p.richiesta.bRichListino && !p.richiesta.bRichTrattatiPht) {
                p.MsgBox().MsgBox("Richiesta Documenti Annullata ", kMbOk + kMbIconInformation,
                                  perc.sNomeProgramma, nullptr);
                // The program ends at once, without the program-end procedure; a batch run's caller waits
                // for the end marker, so there the program-end procedure writes it.
                if (p.opzioni.bBlkRun) {
                    TerminaProgramma(p);
                } else {
                    p.sessione.bProgrammaTerminato = true;
                    p.Fine().EndProgram(0);
                }
                fine = true;
            }
        } else if (imp.bOrdinePht) {
            // The PHT order file lies in the application folder, as every work file does. The window replaces
            // it only when it writes the new order, so a file handed in is not lost to a window left without
            // one (and then no call is made). Where nobody can see the window, a batch run sends the file
            // handed in as it is.
            const std::string file = JoinPath(app, opz.sFileIFCKIn);
            if (dialoghi && !(opz.bBlkRun && opz.bSenzaSchermo)) {
                if (!dialoghi->OrdinePht(p)) fine = true;
            } else {
                ScriviLogFunzione(p, "SceltaChiamata :finestra FrmOrdinePht non disponibile, si usa " +
                                         opz.sFileIFCKIn);
            }
            if (!fine && !FileExists(file)) {
                ScriviLogFunzione(p, "SceltaChiamata :ordine PHT mancante " + opz.sFileIFCKIn);
                fine = true;
            }
        }
    });
    if (fine) return false;
    // An order built from the order file needs one to build it from: without one (or with one that cannot be
    // read whole) the request would go out without products, or empty, and the call would look answered.
    // Refused as the line refuses such a file, before the line is opened.
    if (const auto motivo = OrdineIFCKNonValido(p)) {
        MessaggioFileOrdineNonCorretto(p, *motivo);
        ScriviLogFunzione(p, "SceltaChiamata :" + *motivo + ", trasmissione annullata");
        return false;
    }
    Istruzione(p, "SceltaChiamata", kStadioSalta, [&] {
        if (imp.bSendMes && dialoghi) dialoghi->Messaggio(p);
    });
    Istruzione(p, "SceltaChiamata", kStadioSalta, [&] { LoopTrasmissione(p); });
    risultato = true;
    return risultato;
}

}  // namespace

bool SceltaChiamata(Programma& p, const std::string& slot, DialoghiRichiesta* dialoghi) {
    const bool fatta = PreparaEChiama(p, slot, dialoghi);
    // A batch run whose call was refused (no settings, an unknown interface, an error before the call, a PHT
    // order left without its file) still ends the program, so that its caller gets MorvenClient.end.
    if (!fatta && p.opzioni.bBlkRun && !p.sessione.bProgrammaTerminato) TerminaProgramma(p);
    return fatta;
}

}  // namespace morven
