#include "client/engine/markers.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <vector>

#include "client/engine/connection.h"
#include "client/engine/errors.h"
#include "client/engine/helpers.h"
#include "client/engine/logs.h"
#include "client/engine/message_box.h"
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
    // Every receiver removes the marker once it kept its answer: that is the run's "whole answer kept".
    if (p.sessione.bChiamataIniziata) p.sessione.bRispostaSalvata = true;
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
        if (lines.empty()) SollevaErrore(kErrInputOltreFine, "Input oltre la fine del file");
        r = lines.front();
    });
}

int RicDispAggiornaMancanti(Programma& p) {
    return EseguiProcedura(p, "RicDispAggiornaMancanti", 0, [&] {
        std::string text;
        if (!ReadWholeFile(ResolveNoCase(p.percorsi.sPathApp, "ordseq.txt"), text)) SollevaErrore(kErrFileNonTrovato);
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

namespace {

constexpr std::string_view kFileBlocco = "MorvenClient.lck";
// How long a program waits for a holder that is ending (it writes its end marker, then lets the lock go):
// a caller that starts the next run as soon as it sees the marker is not turned away.
constexpr int kAttesaBloccoPassi = 20;
constexpr long kAttesaBloccoPassoNs = 50'000'000;

// Closes the lock's descriptor when the program goes away without ending through TerminaProgramma.
struct ChiudiBlocco {
    int& fd;
    explicit ChiudiBlocco(int& f) : fd(f) {}
    ~ChiudiBlocco() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

int ApriBlocco(Programma& p) {
    // Never through a link: the lock file is the folder's own.
    return ::open(AppFile(p, kFileBlocco).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
}

// The holder's line of the lock file (what it wrote when it took the lock).
std::string ChiTieneIlBlocco(int fd) {
    char buf[256];
    const ssize_t n = ::pread(fd, buf, sizeof buf, 0);
    if (n <= 0) return "un altro programma";
    std::string riga(buf, static_cast<std::size_t>(n));
    riga = riga.substr(0, riga.find_first_of("\r\n"));
    // Shown in messages and logs: whatever the file holds, control bytes are written as \xNN.
    return riga.empty() ? "un altro programma" : TestoVisibile(riga);
}

}  // namespace

BloccoChiamata PrendiBloccoChiamata(Programma& p, std::string* chi) {
    auto& st = p.sessione;
    if (st.nBloccoChiamata >= 0) return BloccoChiamata::Preso;
    const int fd = ApriBlocco(p);
    if (fd < 0) return BloccoChiamata::NonDisponibile;
    for (int passo = 0;; ++passo) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            ::close(fd);
            return BloccoChiamata::NonDisponibile;
        }
        if (passo >= kAttesaBloccoPassi) {
            if (chi) *chi = ChiTieneIlBlocco(fd);
            ::close(fd);
            return BloccoChiamata::Occupato;
        }
        timespec t{0, kAttesaBloccoPassoNs};
        ::nanosleep(&t, nullptr);
    }
    st.nBloccoChiamata = fd;
    p.Possiedi(std::make_unique<ChiudiBlocco>(st.nBloccoChiamata));
    const std::string riga =
        "programma " + std::to_string(::getpid()) + " dal " + DataOraLog(p.Orologio().Now()) + "\r\n";
    // Only what this holder says: the line of an earlier holder goes first.
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, riga.data(), riga.size(), 0) != static_cast<ssize_t>(riga.size()))
        ScriviLogFunzione(p, "PrendiBloccoChiamata :" + std::string(kFileBlocco) + " non scritto");
    return BloccoChiamata::Preso;
}

bool ChiamataDiAltri(Programma& p, std::string* chi) {
    if (p.sessione.nBloccoChiamata >= 0) return false;
    const int fd = ApriBlocco(p);
    if (fd < 0) return false;  // a folder without the lock file has no call under way
    bool altri = false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        ::flock(fd, LOCK_UN);
    } else if (errno == EWOULDBLOCK) {
        altri = true;
        if (chi) *chi = ChiTieneIlBlocco(fd);
    }
    ::close(fd);
    return altri;
}

void RilasciaBloccoChiamata(Programma& p) {
    int& fd = p.sessione.nBloccoChiamata;
    if (fd < 0) return;
    // Emptied while still held, so that a new holder's line is never wiped.
    if (::ftruncate(fd, 0) != 0) {
        // the next holder replaces the line anyway
    }
    ::flock(fd, LOCK_UN);
    ::close(fd);
    fd = -1;
}

std::string TestoEsito(bool inviato, bool risposta, const std::vector<std::string>& motivi) {
    std::string r = std::string("Esito :inviato ") + (inviato ? "SI" : "NO") + ", risposta completa " +
                    (risposta ? "SI" : "NO");
    if (risposta) return r;
    r += " :";
    if (motivi.empty()) return r + "nessuna chiamata effettuata";
    for (std::size_t i = 0; i < motivi.size(); ++i) {
        if (i > 0) r += " / ";
        r += motivi[i];
    }
    return r;
}

void ScriviEsito(Programma& p) {
    auto& st = p.sessione;
    if (st.bEsitoScritto) return;
    std::vector<std::string> motivi = st.aMotiviEsito;
    // The last status the call showed (and left in winstat.dat) says where it stopped.
    if (st.bChiamataIniziata && !st.bRispostaSalvata) {
        const std::string& stato = p.fileStato.sScritto;
        const std::string primo = Trim(stato.substr(0, stato.find_first_of("\r\n")));
        if (!primo.empty()) motivi.push_back("ultimo stato " + primo);
    }
    st.bEsitoScritto = true;
    // An answer kept means that its order or request went out, also where the transfer does not say so.
    ScriviLogFunzione(p, TestoEsito(st.bRichiestaInviata || st.bRispostaSalvata, st.bRispostaSalvata, motivi));
}

bool ScriviFineEsecuzione(Programma& p) {
    ScriviEsito(p);
    if (std::string chi; ChiamataDiAltri(p, &chi)) {
        ScriviLogFunzione(p, "MorvenClient.end non scritto, chiamata in corso di " + chi);
        return false;
    }
    Scrivi(AppFile(p, "MorvenClient.end"), TestoFineEsecuzione(p.Orologio().Now()) + "\r\n");
    return true;
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
            } else if (p.MsgBox().MsgBox("Si Desidera chiudere la connessione a " + ras, kMbYesNo + kMbIconInformation,
                                         "Fine Lavoro", p.oggetti.oFrmMorven) == vbYes) {
                HangUpRasEntry(p, ras);
            }
        }
    });
    // The status file, the end marker and the news folder belong to the call under way in the folder: a
    // program that does not hold the lock while another does leaves them alone, or that call's caller would
    // read its answers before they are whole (and its settings update would be lost).
    bool altri = false;
    passo([&] { altri = ChiamataDiAltri(p); });
    // The status file says the last status before the caller sees the end marker.
    passo([&] {
        if (!altri) ScriviStatoInSospeso(p, true);
    });
    passo([&] { ScriviFineEsecuzione(p); });
    if (altri) {
        st.bProgrammaTerminato = true;
        p.Fine().EndProgram(kUscitaChiamataInCorso);
        return;
    }
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
    passo([&] { RilasciaBloccoChiamata(p); });
    st.bProgrammaTerminato = true;
    p.Fine().EndProgram(0);
}

}  // namespace morven
