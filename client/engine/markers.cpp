#include "client/engine/markers.h"

#include <cstdio>
#include <vector>

#include "client/engine/connection.h"
#include "client/engine/errors.h"
#include "client/engine/helpers.h"
#include "client/engine/logs.h"
#include "client/engine/programma.h"
#include "client/engine/settings.h"
#include "platform/core/files.h"
#include "platform/core/process.h"
#include "platform/core/text.h"


namespace morven {

namespace {

std::string AppFile(Programma& p, std::string_view name) { return JoinPath(p.percorsi.sPathApp, name); }

std::string NewsFile(Programma& p, std::string_view name) {
    return ResolveNoCase(AppFile(p, "news"), name);
}

void Scrivi(const std::string& path, std::string_view contents) {
    std::string error;
    if (!ReplaceFileAtomically(path, contents, &error)) SollevaErrore(kErrAccessoPercorso, error);
}

void Cancella(const std::string& path) {
    if (std::remove(path.c_str()) != 0) SollevaErrore(kErrAccessoPercorso);
}

}  // namespace

std::string TestoFineEsecuzione(const DateTime& t) { return "Termine Esecuzione Morven il " + DataOraLog(t); }

int setAbortDat(Programma& p, std::string_view testo) {
    return EseguiProcedura(p, "setAbortDat", 0, [&] {
        Scrivi(AppFile(p, "abort.dat"), std::string(testo) + "\r\n");
        return -1;
    });
}

int KillAbortDat(Programma& p) {
    return EseguiProcedura(p, "KillAbortDat", 0, [&] {
        const std::string path = AppFile(p, "abort.dat");
        if (FileExists(path)) Cancella(path);
        return -1;
    });
}

std::string LeggiOpzioni(Programma& p) {
    return EseguiProcedura(p, "LeggiOpzioni", std::string(), [&](std::string& r) {
        auto& m = p.messaggio;
        m.sMes1.clear();
        m.sMes2.clear();
        m.sMes3.clear();
        m.sMes4.clear();
        const std::string path = AppFile(p, "MorvenClient.opz");
        if (!FileExists(path)) return;
        std::string text;
        if (!ReadWholeFile(path, text)) SollevaErrore(kErrFileNonTrovato);
        const auto lines = SplitLines(text);
        if (lines.empty()) SollevaErrore(62, "Input oltre la fine del file");
        r = lines.front();
    });
}

int RicDispAggiornaMancanti(Programma& p) {
    return EseguiProcedura(p, "RicDispAggiornaMancanti", 0, [&] {
        std::string text;
        if (!ReadWholeFile(AppFile(p, "ordseq.txt"), text)) SollevaErrore(kErrFileNonTrovato);
        const auto lines = SplitLines(text);
        const std::string b29(29, ' '), b49(49, ' ');
        std::string rst, man, ma1;
        const std::string header = lines.empty() ? std::string() : lines.front();
        man += header + b29 + "\r\n";
        ma1 += header + b49 + "\r\n";
        for (std::size_t i = 1; i < lines.size(); ++i) {
            rst += lines[i] + "\r\n";
            man += lines[i] + b29 + "\r\n";
            ma1 += lines[i] + b49 + "\r\n";
        }
        Scrivi(AppFile(p, "ordseq.rst"), rst);
        Scrivi(AppFile(p, "ordseq.man"), man);
        Scrivi(AppFile(p, "ordseq.ma1"), ma1);
        return -1;
    });
}

int DisplayPosta(Programma& p, View& view, std::string_view control) {
    return EseguiProcedura(p, "DisplayPosta", 0, [&] {
        std::string shown = "Trasmissione Terminata Correttamente \r\n\r\nElenco News (" + p.impostazioni.sConnect +
                            ")\r\n";
        view.SetText(control, shown);
        std::string list;
        if (!ReadWholeFile(NewsFile(p, "eaggdati"), list)) SollevaErrore(kErrFileNonTrovato);
        std::string line;
        for (char c : list) {
            if (c == '\r') continue;
            if (c == '\n') {
                shown += line + "\r\n";
                view.SetText(control, shown);
                line.clear();
            } else {
                line += c;
            }
        }
        return -1;
    });
}

void TerminaProgramma(Programma& p) {
    auto& imp = p.impostazioni;
    auto& st = p.sessione;
    // Each step on its own: a failing step is logged and the program still ends.
    auto passo = [&](auto&& f) { Istruzione(p, "TerminaProgramma", kStadioSalta, f); };

    passo([&] {
        std::string ras = imp.sNomeRas;
        if (imp.bModoInternet && !ras.empty() && IsRasEntryConnected(p, ras)) {
            if (imp.bCloseRas) {
                HangUpRasEntry(p, ras);
            } else if (p.MsgBox().MsgBox("Si Desidera chiudere la connessione a " + ras, 68, "Fine Lavoro",
                                         p.oggetti.oFrmMorven) == vbYes) {
                HangUpRasEntry(p, ras);
            }
        }
    });
    // The status file says the last status before the caller sees the end marker.
    passo([&] { ScriviStatoInSospeso(p, true); });
    passo([&] { Scrivi(AppFile(p, "MorvenClient.end"), TestoFineEsecuzione(p.Orologio().Now()) + "\r\n"); });
    passo([&] {
        if (!st.bProfiloRicevuto) return;
        AggiornaImpostazioni(p);
    });
    passo([&] {
        if (!st.bUpgradeRicevuto) return;
        st.bUpgradeRicevuto = false;
        // Nothing received from the line is ever run: the batch stays in the news folder for a person to
        // look at, and both logs say it arrived.
        const std::string batch = NewsFile(p, "morvenupgrade.bat");
        if (!FileExists(batch)) return;
        const std::string testo = "Aggiornamento del programma ricevuto con le notizie (" + batch +
                                  "): non eseguito, il programma non esegue file ricevuti dalla linea";
        if (!p.percorsi.sFileLogSessione.empty()) ScriviLog(p, p.percorsi.sFileLogSessione, true, testo);
        ScriviLogFunzione(p, testo);
    });
    passo([&] {
        const std::string upd = NewsFile(p, "morvenprofupg.dat");
        if (FileExists(upd)) std::remove(upd.c_str());
    });
    st.bProgrammaTerminato = true;
    p.Fine().EndProgram(0);
}

}  // namespace morven
