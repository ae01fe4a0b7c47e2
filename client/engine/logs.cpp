#include "client/engine/logs.h"

#include "client/engine/helpers.h"
#include "client/engine/programma.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace morven {
namespace {

// A folder `name` under `parent`, found without regard to case; created when missing. Returns its path.
std::string CartellaSotto(const std::string& parent, const std::string& name) {
    if (const auto stored = FindNameNoCase(parent, name)) {
        const std::string path = JoinPath(parent, *stored);
        if (DirectoryExists(path)) return path;
    }
    const std::string path = JoinPath(parent, name);
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) SollevaErrore(kErrAccessoPercorso, {}, path);
    return path;
}

void AggiungiRiga(const std::string& path, bool append, std::string_view line) {
    std::FILE* f = std::fopen(path.c_str(), append ? "ab" : "wb");
    if (!f) SollevaErrore(errno == ENOENT ? kErrPercorsoNonTrovato : kErrAccessoPercorso, {}, path);
    const std::string bytes = std::string(line) + "\r\n";
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) SollevaErrore(kErrIODispositivo, {}, path);
}

// The progress values as the bar shows them: the value cut to the maximum, a maximum below 1 shown as 10.
std::pair<int, int> Avanzamento(int nMax, int nValore) {
    if (nValore > nMax) nValore = nMax;
    return {nMax >= 1 ? nMax : 10, nValore};
}

// A number as the status file writes it: a blank before it when not negative.
std::string NumeroConSegno(int n) { return n < 0 ? std::to_string(n) : " " + std::to_string(n); }

std::string PercorsoWinstat(Programma& p) { return JoinPath(p.percorsi.sPathApp, "winstat.dat"); }

// The status file's state: its first three lines (the status text, the second line, the maximum), without
// the progress value and the counters.
std::string_view Intestazione(std::string_view testo) {
    std::size_t fine = 0;
    for (int riga = 0; riga < 3 && fine != std::string_view::npos; ++riga) {
        fine = testo.find("\r\n", fine);
        if (fine != std::string_view::npos) fine += 2;
    }
    return testo.substr(0, fine);
}

// True when a status that only moves the progress on may be written now: the interval since the last write
// has passed on the program's clock (always without a clock).
bool ProgressoDovuto(Programma& p) {
    const Clock* clock = p.oggetti.oClock;
    return !clock || clock->MonotonicMs() - p.fileStato.nScrittoMs >= kIntervalloFileStatoMs;
}

// Replaces winstat.dat with `testo`, atomically, and notes it as written. A new state and the last status
// (`sulDisco`) are flushed to the disk, so a crash of the machine never loses them; a bare progress, which
// the next one replaces within a fraction of a second, is not.
void ScriviWinstat(Programma& p, const std::string& testo, bool sulDisco) {
    std::string error;
    if (!ReplaceFileAtomically(PercorsoWinstat(p), testo, &error, sulDisco))
        SollevaErrore(kErrAccessoPercorso, error);
    FileStato& fs = p.fileStato;
    fs.sScritto = testo;
    fs.sInSospeso.clear();
    fs.bSulDisco = sulDisco;
    if (p.oggetti.oClock) fs.nScrittoMs = p.oggetti.oClock->MonotonicMs();
}

}  // namespace

bool ScriviLog(Programma& p, std::string_view sFile, bool bAppend, std::string_view testo) {
    return EseguiProcedura(p, "ScriviLog", false, [&](bool& ok) {
        const std::string oggi = DataAAAAMMGG(p.Orologio().Now());
        // Finding the folders without regard to case reads two folders for every line; the day's folder
        // found for this application folder and day is used again while it is still a folder.
        auto& pl = p.percorsi;
        const std::string chiave = pl.sPathApp + '\n' + oggi;
        if (pl.sChiaveCartellaLog != chiave || !DirectoryExists(pl.sCartellaLogGiorno)) {
            pl.sChiaveCartellaLog.clear();
            pl.sCartellaLogGiorno = CartellaSotto(CartellaSotto(pl.sPathApp, "log"), oggi);
            pl.sChiaveCartellaLog = chiave;
        }
        AggiungiRiga(JoinPath(pl.sCartellaLogGiorno, sFile), bAppend, testo);

        if (View* debug = p.oggetti.oFrmDebug; debug && debug->IsShown()) {
            ListModel& list = debug->List("List1");
            if (!bAppend) list.items.clear();
            list.items.push_back(ListItem{{}, {std::string(testo)}, {0}});
            list.selected = static_cast<int>(list.items.size()) - 1;
            debug->ListChanged("List1");
        }
        ok = true;
    });
}

std::string ScriviLogFunzione(Programma& p, std::string_view sMessaggio, std::string_view sProcedura,
                              std::string_view sBase) {
    std::string messaggio(sMessaggio);
    if (!sProcedura.empty()) messaggio = "[FUNZIONE : " + std::string(sProcedura) + "]" + messaggio;
    std::string riga;
    try {
        const std::string base = sBase.empty() ? p.percorsi.sNomeProgramma : std::string(sBase);
        riga = DataOraLog(p.Orologio().Now()) + " - " + messaggio;
        AggiungiRiga(JoinPath(p.percorsi.sPathApp, base + ".log"), true, riga);
    } catch (...) {
        // A folder that takes no file (read-only, full): the line goes to the standard error instead, so a
        // batch run's caller can still read why it ended.
        std::fprintf(stderr, "%s\n", (riga.empty() ? messaggio : riga).c_str());
    }
    // The function log gets what went wrong, the outcome line repeats it; the start-up's notes about the
    // environment ("main") are not reasons.
    if (!p.sessione.bEsitoScritto && sProcedura != "main") MotivoEsito(p, messaggio);
    return riga;
}

void MotivoEsito(Programma& p, std::string_view motivo) {
    std::string m;
    for (char c : motivo) m += (c == '\r' || c == '\n') ? ' ' : c;
    m = Trim(m);
    if (m.empty()) return;
    if (m.size() > kLunghezzaMotivoMassima) m = m.substr(0, kLunghezzaMotivoMassima) + "...";
    auto& motivi = p.sessione.aMotiviEsito;
    std::erase(motivi, m);
    motivi.push_back(std::move(m));
    if (motivi.size() > kMotiviEsitoMassimi) motivi.erase(motivi.begin());
}

bool PulisciLog(Programma& p, int nGiorni) {
    return EseguiProcedura(p, "PulisciLog", false, [&](bool& ok) {
        const DateTime now = p.Orologio().Now();
        const long limite = GiornoAssoluto(now.year, now.month, now.day) - nGiorni;
        const auto radice = FindNameNoCase(p.percorsi.sPathApp, "log");
        if (!radice) {
            ok = true;
            return;
        }
        const std::string log = JoinPath(p.percorsi.sPathApp, *radice);
        int nStadio = kStadioSalta;
        for (const auto& entry : ListFolder(log, "*.*")) {
            if (entry.kind != EntryKind::Directory) continue;  // files, links and the rest stay
            int y = 0, m = 0, d = 0;
            if (!DataDaNome(entry.name, y, m, d)) continue;
            if (GiornoAssoluto(y, m, d) >= limite) continue;
            const std::string cartella = JoinPath(log, entry.name);
            Istruzione(p, "PulisciLog", nStadio, [&] {
                for (const auto& f : ListFolder(cartella, "*.*")) {
                    if (f.kind == EntryKind::Directory) continue;
                    // unlink removes a link itself, never what it points to
                    const std::string path = JoinPath(cartella, f.name);
                    if (unlink(path.c_str()) != 0) SollevaErrore(kErrAccessoPercorso, {}, path);
                }
                if (rmdir(cartella.c_str()) != 0) SollevaErrore(kErrAccessoPercorso, {}, cartella);
            });
        }
        ok = true;
    });
}

std::string TestoWinstat(std::string_view sStato, std::string_view sSecondo, int nMax, int nValore,
                         std::string_view sContatore1, std::string_view sContatore2) {
    const auto [max, valore] = Avanzamento(nMax, nValore);
    std::string out;
    auto riga = [&](std::string_view s) {
        out.append(SuUnaRiga(s));
        out += "\r\n";
    };
    riga(PadRight(sStato, 50));
    riga(PadRight(sSecondo, 50));
    riga(nMax >= 1 ? NumeroConSegno(max) : "10");
    riga(NumeroConSegno(valore));
    riga(sContatore1);
    riga(sContatore2);
    return out;
}

bool Write_Status(Programma& p, std::string_view sStato, std::string_view sSecondo, int nMax, int nValore,
                  std::string_view sContatore1, std::string_view sContatore2) {
    return EseguiProcedura(p, "Write_Status", false, [&](bool& ok) {
        const auto [max, valore] = Avanzamento(nMax, nValore);
        View& main = p.FrmMorven();
        for (View* v : {&main, p.oggetti.oFrmBrowser}) {
            if (!v) continue;
            v->SetText("status", sStato);
            v->SetMax("Avanzamento", max);
            v->SetValue("Avanzamento", valore);
        }
        main.SetText("tres", sContatore1);
        main.SetText("ttra", sContatore2);
        p.Pump().process();

        FileStato& fs = p.fileStato;
        std::string testo = TestoWinstat(sStato, sSecondo, nMax, nValore, sContatore1, sContatore2);
        if (testo == fs.sScritto) {
            fs.sInSospeso.clear();  // what waited is superseded by what the file already says
            if (!FileExists(PercorsoWinstat(p))) ScriviWinstat(p, testo, true);  // unless a watcher removed it
        } else if (Intestazione(testo) != Intestazione(fs.sScritto)) {
            ScriviWinstat(p, testo, true);
        } else if (ProgressoDovuto(p)) {
            ScriviWinstat(p, testo, false);
        } else {
            fs.sInSospeso = std::move(testo);
        }
        ok = true;
    });
}

void ScriviStatoInSospeso(Programma& p, bool subito) {
    FileStato& fs = p.fileStato;
    // At the end the last status goes to the disk also when it is already in the file.
    if (subito && fs.sInSospeso.empty() && !fs.bSulDisco) fs.sInSospeso = fs.sScritto;
    if (fs.sInSospeso.empty() || !(subito || ProgressoDovuto(p))) return;
    // Taken out first: a write that fails is logged once, as a failed Write_Status is, and not tried again
    // by every turn of a long wait; the next status tries afresh.
    const std::string testo = std::move(fs.sInSospeso);
    fs.sInSospeso.clear();
    EseguiProceduraVoid(p, "Write_Status", [&] { ScriviWinstat(p, testo, subito); });
}

}  // namespace morven
