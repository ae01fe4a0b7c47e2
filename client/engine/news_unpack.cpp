#include "client/engine/news_unpack.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <vector>

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

void LogSessione(Programma& p, const std::string& testo) {
    if (!p.percorsi.sFileLogSessione.empty()) ScriviLog(p, p.percorsi.sFileLogSessione, true, testo);
}

// A member's name as the TAR stores it (the library hands it over with "\" between folders).
std::string NomeMembro(std::string nome) {
    std::replace(nome.begin(), nome.end(), '\\', '/');
    return nome;
}

std::string Byte(std::uint64_t n) { return std::to_string(n) + " byte"; }

// While the control writes, no file of this process can grow beyond `limite` bytes: a write past it fails
// (the signal it would raise is ignored meanwhile), the library reports the action failed and removes what
// it wrote. The previous limit and signal action come back at the end.
class LimiteScrittura {
public:
    explicit LimiteScrittura(std::uint64_t limite) {
        if (getrlimit(RLIMIT_FSIZE, &prima_) != 0) return;
        rlimit nuovo = prima_;
        const rlim_t voluto = static_cast<rlim_t>(limite);
        if (prima_.rlim_cur != RLIM_INFINITY && prima_.rlim_cur <= voluto) return;
        nuovo.rlim_cur = prima_.rlim_max != RLIM_INFINITY && prima_.rlim_max < voluto ? prima_.rlim_max : voluto;
        struct sigaction ignora {};
        ignora.sa_handler = SIG_IGN;
        sigemptyset(&ignora.sa_mask);
        if (sigaction(SIGXFSZ, &ignora, &azione_) != 0) return;
        if (setrlimit(RLIMIT_FSIZE, &nuovo) != 0) {
            sigaction(SIGXFSZ, &azione_, nullptr);
            return;
        }
        attivo_ = true;
    }
    ~LimiteScrittura() {
        if (!attivo_) return;
        setrlimit(RLIMIT_FSIZE, &prima_);
        sigaction(SIGXFSZ, &azione_, nullptr);
    }
    LimiteScrittura(const LimiteScrittura&) = delete;
    LimiteScrittura& operator=(const LimiteScrittura&) = delete;

private:
    rlimit prima_{};
    struct sigaction azione_ {};
    bool attivo_ = false;
};

// The bytes the file system still gives this program in `cartella`; the largest number when unknown.
std::uint64_t SpazioLibero(const std::string& cartella) {
    struct statvfs s {};
    if (statvfs(cartella.c_str(), &s) != 0) return UINT64_MAX;
    return static_cast<std::uint64_t>(s.f_bavail) * static_cast<std::uint64_t>(s.f_frsize);
}

// The size a GZIP file says its data have (the last member's trailer); nothing when the file does not begin
// as a GZIP member (or cannot be read). A file too short to say is left to the library to refuse (0).
std::optional<std::uint64_t> DimensioneDichiarata(const std::string& gz) {
    std::ifstream in(gz, std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    const auto dimensione = static_cast<std::streamoff>(in.tellg());
    unsigned char inizio[2] = {0, 0}, coda[4] = {0, 0, 0, 0};
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(inizio), 2) || inizio[0] != 0x1f || inizio[1] != 0x8b) return std::nullopt;
    if (dimensione < 18) return 0;
    in.seekg(dimensione - 4);
    if (!in.read(reinterpret_cast<char*>(coda), 4)) return std::nullopt;
    return std::uint64_t{coda[0]} | std::uint64_t{coda[1]} << 8 | std::uint64_t{coda[2]} << 16 | std::uint64_t{coda[3]} << 24;
}

// A TAR member's name split at "/" and "\", without empty and "." parts; nothing when a part is "..".
std::optional<std::vector<std::string>> PartiNome(const std::string& nome) {
    std::vector<std::string> parti;
    std::string parte;
    for (std::size_t i = 0; i <= nome.size(); ++i) {
        if (i == nome.size() || nome[i] == '/' || nome[i] == '\\') {
            if (parte == "..") return std::nullopt;
            if (!parte.empty() && parte != ".") parti.push_back(parte);
            parte.clear();
        } else {
            parte += nome[i];
        }
    }
    return parti;
}

std::string Unisci(const std::vector<std::string>& parti) {
    std::string out;
    for (const auto& x : parti) out += (out.empty() ? "" : "/") + x;
    return out;
}

// What the members of the TAR will write into the news folder, looked at through the control before
// anything is extracted: the bytes in all, the members that stay out (each with its session-log line) and
// the symbolic links, which are not accepted.
struct PianoEstrazione {
    std::uint64_t totale = 0;
    std::vector<std::string> collegamenti;  // names in the news folder
};

PianoEstrazione PianificaEstrazione(Programma& p, DecompressionControl& c, const std::string& tar,
                                    const std::string& nomeTar) {
    constexpr long UGT_UNTAR_COUNTALLMEMBERS = 11, UGT_UNTAR_GETINFOBYINDEX = 15;
    PianoEstrazione piano;
    c.SetString("GTFile", tar);
    c.SetLong("TarIndex", -1);
    c.SetBool("bAllQuiet", true);
    c.SetBool("bMajorStatus", false);
    c.SetBool("bMinorStatus", false);
    c.SetLong("ActionGT", UGT_UNTAR_COUNTALLMEMBERS);
    if (c.ErrorCode() != 0) SollevaErrore(kErrLibreria, "archivio TAR illeggibile");
    const long membri = c.GetLong("ReturnCount");
    std::map<std::string, std::uint64_t> dimensioni;  // by the member's path in the TAR
    std::map<std::string, std::string> scritti;       // name in the folder -> member that writes it
    for (long i = 0; i < membri; ++i) {
        c.SetLong("TarIndex", i);
        c.SetLong("ActionGT", UGT_UNTAR_GETINFOBYINDEX);
        if (c.ErrorCode() != 0) SollevaErrore(kErrLibreria, "membro " + std::to_string(i) + " illeggibile");
        const std::string nome = NomeMembro(c.GetString("ti_FileName"));
        const long tipo = c.GetLong("ti_TypeFlag");
        const std::uint64_t dimensione = static_cast<std::uint64_t>(static_cast<std::uint32_t>(c.GetLong("ti_SizeH"))) << 32 |
                                         static_cast<std::uint32_t>(c.GetLong("ti_SizeL"));
        auto salta = [&](const std::string& perche) { LogSessione(p, "Notizie: membro " + nome + " non estratto: " + perche); };
        const bool cartella = tipo == '5' || (!nome.empty() && (nome.back() == '/' || nome.back() == '\\'));
        const auto parti = PartiNome(nome);
        if (!parti) {
            salta("il nome esce dalla cartella delle notizie");
            continue;
        }
        if (cartella) continue;  // folders are not made: their files land in the news folder
        if (parti->empty()) {
            salta("nome vuoto");
            continue;
        }
        const std::string percorso = Unisci(*parti), piatto = parti->back();
        if (EqualsNoCase(piatto, nomeTar) || EqualsNoCase(piatto, nomeTar + ".gz")) {
            salta("ha il nome dell'archivio stesso");
            continue;
        }
        std::uint64_t scrive = 0;
        if (tipo == '0' || tipo == 0 || tipo == '7' || (tipo == '1' && dimensione > 0)) {
            scrive = dimensione;
        } else if (tipo == '1') {
            const auto bersaglio = PartiNome(c.GetString("ti_LinkName"));
            const auto trovato = bersaglio ? dimensioni.find(Unisci(*bersaglio)) : dimensioni.end();
            if (trovato == dimensioni.end()) {
                salta("collegamento a un file che l'archivio non contiene prima");
                continue;
            }
            scrive = trovato->second;
        } else if (tipo == '2') {
            salta("collegamento simbolico, non accettato");
            piano.collegamenti.push_back(piatto);
            continue;
        } else {
            salta("non e' un file (tipo " + std::to_string(tipo) + ")");
            continue;
        }
        dimensioni[percorso] = scrive;
        if (const auto prima = scritti.find(piatto); prima != scritti.end())
            LogSessione(p, "Notizie: membro " + nome + " sostituisce " + prima->second + " (stesso nome senza cartella)");
        scritti[piatto] = nome;
        piano.totale += scrive;
        if (piano.totale > p.percorsi.nLimiteNotizieEspanse) break;
    }
    return piano;
}

int Espandi(Programma& p, std::string* motivo) {
    const std::string news = CartellaNews(p);
    return EspandiFileTarGz(p, p.Ugtactx(), JoinPath(news, "notizie"), news + "/", "*.*", motivo);
}

}  // namespace

int EspandiFileTarGz(Programma& p, DecompressionControl& control, const std::string& base,
                     const std::string& destination, const std::string& pattern, std::string* motivo) {
    const std::uint64_t limite = p.percorsi.nLimiteNotizieEspanse;
    // "Impossibile Espandere :" or "Impossibile Estrarre :", the base path and, when known, why.
    auto rifiuta = [&](const char* azione, const std::string& perche = {}) {
        SollevaErrore(kErrLibreria, std::string(azione) + " :" + base + (perche.empty() ? "" : " (" + perche + ")"),
                      "EspandiFileTarGz");
    };
    constexpr const char* kEspandere = "Impossibile Espandere";
    constexpr const char* kEstrarre = "Impossibile Estrarre";
    if (motivo) motivo->clear();
    return EseguiProcedura(p, "EspandiFileTarGz", 0, [&](int& r) {
        std::string temp = p.percorsi.sPathApp + AddSlash(p, p.percorsi.sPathApp) + "TEMP";
        if (!DirectoryExists(temp)) CreaDir(p, temp);
        const std::string gz = base + ".gz";
        const auto [cartellaTar, nomeTar] = [&] {
            const auto slash = base.rfind('/');
            return std::pair<std::string, std::string>(slash == std::string::npos ? "." : base.substr(0, slash),
                                                       slash == std::string::npos ? base : base.substr(slash + 1));
        }();
        // A TAR an earlier archive left must never be taken for this one's.
        if (FileExists(base)) Rimuovi(base);

        // The size the archive announces decides before anything is written; the write limit holds the
        // library to the bound whatever the archive really holds.
        const auto annunciata = DimensioneDichiarata(gz);
        if (!annunciata) rifiuta(kEspandere, "non e' un archivio GZIP");
        const std::uint64_t dichiarata = *annunciata;
        if (dichiarata > limite)
            rifiuta(kEspandere, "oltre il limite di " + Byte(limite) + ": dichiara " + Byte(dichiarata));
        if (SpazioLibero(cartellaTar) < dichiarata)
            rifiuta(kEspandere, "spazio su disco insufficiente per " + Byte(dichiarata));
        std::vector<std::string> presenti;
        for (const auto& e : ListFolder(cartellaTar, "*.*")) presenti.push_back(e.name);

        control.SetString("GTFile", gz);
        control.SetString("Destination", destination);
        OpzioniComuni(control);
        {
            LimiteScrittura limitata(limite);
            control.SetLong("ActionGT", UGT_GUNZIP);
        }
        if (const long errore = control.ErrorCode(); errore != 0) {
            if (FileExists(base)) std::remove(base.c_str());
            constexpr long UGTE_DISKFULL = 17;  // a write refused: the bound, or a full disk
            rifiuta(kEspandere, errore == UGTE_DISKFULL ? "oltre il limite di " + Byte(limite) + " o disco pieno"
                                                        : "archivio danneggiato o incompleto");
        }
        // A GZIP that stores another name for its TAR: the one file it made is the TAR.
        if (!FileExists(base)) {
            std::vector<std::string> nuovi;
            for (const auto& e : ListFolder(cartellaTar, "*.*"))
                if (e.kind == EntryKind::File && std::find(presenti.begin(), presenti.end(), e.name) == presenti.end())
                    nuovi.push_back(e.name);
            if (nuovi.size() != 1 || std::rename(JoinPath(cartellaTar, nuovi[0]).c_str(), base.c_str()) != 0)
                rifiuta(kEspandere, "l'archivio non contiene il TAR " + nomeTar);
            LogSessione(p, "Notizie: il TAR dell'archivio si chiama " + nuovi[0] + ", preso come " + nomeTar);
        }

        PianoEstrazione piano;
        try {
            piano = PianificaEstrazione(p, control, base, nomeTar);
        } catch (const ErroreMorven& e) {
            rifiuta(kEstrarre, e.sDescrizione);
        }
        if (piano.totale > limite) {
            Rimuovi(base);
            rifiuta(kEstrarre, "i file superano il limite di " + Byte(limite));
        }
        if (SpazioLibero(cartellaTar) < piano.totale) {
            Rimuovi(base);
            rifiuta(kEstrarre, "spazio su disco insufficiente per " + Byte(piano.totale));
        }

        // Members in folders are taken too, without their folder names (the library's name rules: nothing
        // leaves the destination).
        control.SetString("GTFile", base);
        control.SetString("Destination", destination);
        control.SetString("Filespec", pattern);
        control.SetLong("TarIndex", -1);
        OpzioniComuni(control);
        control.SetBool("bRecurseFlag", true);
        {
            LimiteScrittura limitata(limite);
            control.SetLong("ActionGT", UGT_UNTAR);
        }
        for (const auto& nome : piano.collegamenti) {
            const std::string f = JoinPath(destination, nome);
            struct stat st {};
            if (lstat(f.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) std::remove(f.c_str());
        }
        // A member the library's name rules kept out (each is in the session log above) is no failure.
        constexpr long UGTE_SKIP = 15;
        if (const long errore = control.ErrorCode(); errore != 0 && errore != UGTE_SKIP)
            rifiuta(kEstrarre, "archivio TAR danneggiato o incompleto");

        if (FileExists(gz)) Rimuovi(gz);
        r = -1;
    }, [&](const ErroreMorven& e) {
        if (motivo) *motivo = e.sDescrizione;
    });
}

int ScompattaNotizie(Programma& p, std::string* motivo) {
    if (motivo) motivo->clear();
    return EseguiProcedura(p, "ScompattaNotizie", 0, [&](int& r) {
        const std::string news = CartellaNews(p);
        TogliNotizieVecchie(p, "ScompattaNotizie");
        if (FileExists(JoinPath(news, "ftp.nws"))) Rimuovi(JoinPath(news, "ftp.nws"));
        Espandi(p, motivo);

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

int BLKScompattaNotizie(Programma& p, std::string* motivo) {
    if (motivo) motivo->clear();
    return EseguiProcedura(p, "BLKScompattaNotizie", 0, [&](int& r) {
        const std::string news = CartellaNews(p);
        TogliNotizieVecchie(p, "BLKScompattaNotizie");
        Espandi(p, motivo);
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
        // An empty folder is what the call wants: nothing to delete is no error.
        for (const auto& e : ListFolder(news, "*.*")) {
            if (e.kind != EntryKind::File && e.kind != EntryKind::Link) continue;
            Istruzione(p, "CancellaNews", kStadioSalta, [&] { Rimuovi(JoinPath(news, e.name)); });
        }
        r = -1;
    });
}

}  // namespace morven
