#include "client/engine/news_unpack.h"

#include <cstdio>

#include "client/engine/errors.h"
#include "client/engine/helpers.h"
#include "client/engine/logs.h"
#include "client/engine/ports.h"
#include "client/engine/programma.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

namespace morven {

namespace {

constexpr long UGT_GUNZIP = 1;
constexpr long UGT_UNTAR = 2;
constexpr long UGTSO_OVERWRITE_RO = 1;

std::string CartellaNews(Programma& p) { return JoinPath(p.percorsi.sPathApp, "news"); }

// The writes both actions share, in the order the control expects them.
void OpzioniComuni(DecompressionControl& c) {
    c.SetBool("bOverwriteFlag", true);
    c.SetLong("ugtSubOptions", 0);
    c.SetLong("ugtSubOptions", c.GetLong("ugtSubOptions") + UGTSO_OVERWRITE_RO);
    c.SetBool("bRecurseFlag", false);
    c.SetBool("bNoDirectoryNames", true);
    c.SetBool("bMajorStatus", false);
    c.SetBool("bMinorStatus", false);
    c.SetBool("bAllQuiet", true);
}

void Rimuovi(const std::string& path) {
    if (std::remove(path.c_str()) != 0) SollevaErrore(kErrAccessoPercorso, {}, path);
}

// Copies a file over (or to) another, replacing it whole.
void Copia(const std::string& da, const std::string& a) {
    std::string dati, errore;
    if (!ReadWholeFile(da, dati)) SollevaErrore(kErrFileNonTrovato, {}, da);
    if (!ReplaceFileAtomically(a, dati, &errore)) SollevaErrore(kErrAccessoPercorso, errore, a);
}

// The first regular file of the news folder matching a pattern, in name order; empty when none.
std::string PrimoFile(Programma& p, const char* pattern) {
    for (const auto& e : ListFolder(CartellaNews(p), pattern))
        if (e.kind == EntryKind::File) return e.name;
    return {};
}

// Files an earlier archive left that must not be taken for this one's: the update batch, the settings
// update and the documents and PHT answers.
void TogliNotizieVecchie(Programma& p, const char* nome) {
    const std::string news = CartellaNews(p);
    for (const char* pattern : {"morvenupgrade.bat", "morvenprofupg.dat", "IFCK03*.*", "IFCK06*.*"})
        for (const auto& e : ListFolder(news, pattern))
            if (e.kind == EntryKind::File || e.kind == EntryKind::Link)
                Istruzione(p, nome, kStadioSalta, [&] { Rimuovi(JoinPath(news, e.name)); });
}

int Espandi(Programma& p) {
    const std::string news = CartellaNews(p);
    return EspandiFileTarGz(p, p.Ugtactx(), JoinPath(news, "notizie"), news + "/", "*.*");
}

}  // namespace

int EspandiFileTarGz(Programma& p, DecompressionControl& control, const std::string& base,
                     const std::string& destination, const std::string& pattern) {
    return EseguiProcedura(p, "EspandiFileTarGz", 0, [&](int& r) {
        std::string temp = p.percorsi.sPathApp + AddSlash(p, p.percorsi.sPathApp) + "TEMP";
        if (!DirectoryExists(temp)) CreaDir(p, temp);

        control.SetString("GTFile", base + ".gz");
        control.SetString("Destination", destination);
        OpzioniComuni(control);
        control.SetLong("ActionGT", UGT_GUNZIP);
        if (control.ErrorCode() != 0) SollevaErrore(kErrLibreria, "Impossibile Espandere :" + base, "EspandiFileTarGz");

        control.SetString("GTFile", base);
        control.SetString("Destination", destination);
        control.SetString("Filespec", pattern);
        control.SetLong("TarIndex", -1);
        OpzioniComuni(control);
        control.SetLong("ActionGT", UGT_UNTAR);
        if (control.ErrorCode() != 0) SollevaErrore(kErrLibreria, "Impossibile Estrarre :" + base, "EspandiFileTarGz");

        if (FileExists(base + ".gz")) Rimuovi(base + ".gz");
        r = -1;
    });
}

int ScompattaNotizie(Programma& p) {
    return EseguiProcedura(p, "ScompattaNotizie", 0, [&](int& r) {
        const std::string news = CartellaNews(p);
        TogliNotizieVecchie(p, "ScompattaNotizie");
        if (FileExists(JoinPath(news, "ftp.nws"))) Rimuovi(JoinPath(news, "ftp.nws"));
        Espandi(p);

        // The documents answer: "00000" in its name becomes the request's source identifier (the application
        // folder's own path is left as it is).
        if (const std::string n = PrimoFile(p, "IFCK03*.*"); !n.empty()) {
            const std::string nome = ReplaceAll(n, "00000", p.opzioni.sSorgenteIFCK);
            Copia(JoinPath(news, n), JoinPath(p.percorsi.sPathApp, nome));
            Rimuovi(JoinPath(news, n));
        }
        // The PHT agreements go to the folder of the slot whose settings are in use.
        if (const std::string n = PrimoFile(p, "IFCK06*.*"); !n.empty()) {
            const std::string slot = ReplaceAll(TogliPathFile(p, p.percorsi.sFileImpostazioni), ".par", "");
            std::string cartella = JoinPath(JoinPath(p.percorsi.sPathApp, "PHT"), slot);
            if (!CreaDir(p, cartella)) SollevaErrore(kErrPercorsoNonTrovato, {}, cartella);
            Copia(JoinPath(news, n), JoinPath(cartella, "pht.dat"));
            Rimuovi(JoinPath(news, n));
        }
        r = -1;
    });
}

int BLKScompattaNotizie(Programma& p) {
    return EseguiProcedura(p, "BLKScompattaNotizie", 0, [&](int& r) {
        const std::string news = CartellaNews(p);
        TogliNotizieVecchie(p, "BLKScompattaNotizie");
        Espandi(p);
        static const std::pair<const char*, const char*> kNomi[] = {
            {"listino", "OLTR-listino"}, {"agglist", "OLTR-listagg"}, {"agglistIVC", "OLTR-listagg"},
            {"condiz", "OLTR-condiz"},   {"aggcond", "OLTR-condagg"}, {"aggcondIVC", "OLTR-condagg"},
        };
        for (const auto& coppia : kNomi) {
            const std::string vecchio = coppia.first, nuovo = coppia.second;
            const auto trovato = FindNameNoCase(news, vecchio);
            if (!trovato || !FileExists(JoinPath(news, *trovato))) continue;
            // A name already taken (both "agglist" and "agglistIVC" arrived) is never replaced: the first
            // file keeps it, the second keeps its own name, and the log says so.
            if (const auto preso = FindNameNoCase(news, nuovo)) {
                ScriviLogFunzione(p, "rinomina di " + *trovato + " non eseguita: " + *preso + " esiste gia'",
                                  "BLKScompattaNotizie");
                continue;
            }
            Istruzione(p, "BLKScompattaNotizie", kStadioSalta, [&] {
                if (std::rename(JoinPath(news, *trovato).c_str(), JoinPath(news, nuovo).c_str()) != 0)
                    SollevaErrore(kErrAccessoPercorso, {}, JoinPath(news, *trovato));
            });
        }
        r = -1;
    });
}

int CancellaNews(Programma& p) {
    return EseguiProcedura(p, "CancellaNews", 0, [&](int& r) {
        const std::string news = CartellaNews(p);
        bool trovati = false;
        for (const auto& e : ListFolder(news, "*.*")) {
            if (e.kind != EntryKind::File && e.kind != EntryKind::Link) continue;
            trovati = true;
            Istruzione(p, "CancellaNews", kStadioSalta, [&] { Rimuovi(JoinPath(news, e.name)); });
        }
        if (!trovati) SollevaErrore(kErrFileNonTrovato, {}, JoinPath(news, "*.*"));
        r = -1;
    });
}

}  // namespace morven
