#include "client/engine/helpers.h"

#include "client/engine/logs.h"
#include "client/engine/programma.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

namespace morven {
std::string FlagToSN(int flag) { return flag == -1 ? "S" : "N"; }
std::string FlagToYesNo(int flag) { return flag == -1 ? "YES" : "NO"; }
int FlagToBit(int flag) { return flag == -1 ? 1 : 0; }

std::string FormattaTempo(Programma& p, std::int32_t secondi) {
    return EseguiProcedura(p, "FormattaTempo", std::string(), [&](std::string& r) {
        const std::int32_t minuti = secondi / 60;
        const std::int32_t resto = secondi % 60;
        r = PadLeft(minuti, 2, " ");
        r += ":";
        r += PadLeft(resto, 2, "0");
    });
}

std::string StripAtNull(std::string_view text) { return std::string(text.substr(0, text.find('\0'))); }

std::string AddSlash(Programma& p, std::string_view path, std::string_view separatore) {
    return EseguiProcedura(p, "AddSlash", std::string(), [&](std::string& r) {
        if (!path.empty() && (path.back() == '\\' || path.back() == '/')) return;
        r = std::string(separatore);
    });
}

std::string TogliPathFile(Programma& p, std::string_view path) {
    return EseguiProcedura(p, "TogliPathFile", std::string(), [&](std::string& r) {
        const auto pos = path.find_last_of("/\\");
        r = std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
    });
}

bool CreaDir(Programma& p, std::string& path) {
    if (path.empty() || (path.back() != '/' && path.back() != '\\')) path += '/';
    return EseguiProcedura(p, "CreaDir", false, [&](bool& ok) {
        // A backslash separates folders as a slash does: paths from the settings may be written either way.
        std::string fallito;
        if (!MakeFolders(ReplaceAll(path, "\\", "/"), 0755, &fallito)) {
            SollevaErrore(errno == ENOENT ? kErrPercorsoNonTrovato : kErrAccessoPercorso, {}, fallito + "/");
        }
        ok = true;
    });
}

void WaitMilliseconds(Programma& p, std::int32_t n) {
    if (n < 1) return;
    Clock& clock = p.Orologio();
    EventPump& pump = p.Pump();
    // The monotonic clock does not jump at midnight, so a wait across it lasts as long as any other.
    // The pump reads the deadline on the program's clock, so a test clock shortens the sleep as it does the wait.
    pump.SetClock(clock);
    const std::int64_t start = clock.MonotonicMs();
    pump.process();  // the events already waiting, even when the wait ends at once
    for (std::int64_t now = clock.MonotonicMs(); now - start <= n; now = clock.MonotonicMs()) {
        ScriviStatoInSospeso(p);  // a progress held back from the status file is not kept through a pause
        pump.process(std::min(start + n + 1, now + kTurnoAttesaMassimoMs));
    }
}

void AttendiEventi(Programma& p, std::int64_t scadenzaMs) {
    const Clock& clock = p.Orologio();
    EventPump& pump = p.Pump();
    pump.SetClock(clock);
    ScriviStatoInSospeso(p);  // a progress held back from the status file is not kept through a wait
    pump.process(std::min(scadenzaMs, clock.MonotonicMs() + kTurnoAttesaMassimoMs));
}

void AttendiEventi(Programma& p) { AttendiEventi(p, p.Orologio().MonotonicMs() + kTurnoAttesaMassimoMs); }

std::string GetTempDirectory(Programma& p) { return StripAtNull(p.Scrivania().TempDirectory()); }

int GetPlatformId(Programma& p) { return p.oggetti.oDesktop ? p.oggetti.oDesktop->PlatformId() : 0; }

std::string GetDefaultBrowser(Programma& p, int& codice) {
    codice = 0;
    return StripAtNull(p.Scrivania().DefaultBrowser(codice));
}

bool EnableContainerControls(Programma& p, View& form, std::string_view contenitore, int indice, bool abilita) {
    return EseguiProcedura(p, "EnableContainerControls", false, [&](bool& ok) {
        const std::string nome = LowerAscii(Trim(contenitore));
        const int nStadio = kStadioSalta;
        for (const ControlInfo& c : form.Controls()) {
            Istruzione(p, "EnableContainerControls", nStadio, [&] {
                if (!nome.empty()) {
                    if (LowerAscii(Trim(c.container)) != nome) return;
                    if (c.containerIndex < 0) {
                        SollevaErrore(kErrChiamataNonValida, "Il contenitore di " + c.name + " non ha indice");
                    }
                    if (c.containerIndex != indice) return;
                }
                if (!c.hasEnabled) return;
                form.SetEnabled(c.name, abilita);
            });
        }
        ok = true;
    });
}

void ColorListItemRow(ListItem& item, std::uint32_t colore) {
    item.colors.assign(std::max<std::size_t>(item.texts.size(), 1), colore);
}

void AutoSizeListViewColumns(View& view, std::string_view lista) {
    ListModel& model = view.List(lista);
    if (model.columns.empty()) SollevaErrore(kErrChiamataNonValida, "Elenco senza colonne");
    // A temporary row of the headers in capitals makes them count; the first gets "XXX" more.
    ListItem intestazione;
    intestazione.sKey = "INTESTAZIONE";
    intestazione.texts.push_back(UpperAscii(model.columns[0] + "XXX"));
    for (std::size_t c = 1; c < model.columns.size(); ++c) intestazione.texts.push_back(UpperAscii(model.columns[c]));
    intestazione.colors.assign(intestazione.texts.size(), 0);
    model.items.push_back(std::move(intestazione));
    view.ListChanged(lista);
    view.AutoSizeColumns(lista);
    ListModel& after = view.List(lista);
    for (auto it = after.items.begin(); it != after.items.end(); ++it) {
        if (it->sKey == "INTESTAZIONE") {
            after.items.erase(it);
            break;
        }
    }
    view.ListChanged(lista);
}

std::string DataAAAAMMGG(const DateTime& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", t.year % 10000, t.month % 100, t.day % 100);
    return buf;
}

std::string DataOraLog(const DateTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", t.day % 100, t.month % 100, t.year % 10000,
                  t.hour % 100, t.minute % 100, t.second % 100);
    return buf;
}

long GiornoAssoluto(int anno, int mese, int giorno) {
    // Days from civil (proleptic Gregorian), origin 1970-01-01.
    const int y = anno - (mese <= 2 ? 1 : 0);
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153L * (mese + (mese > 2 ? -3 : 9)) + 2) / 5 + giorno - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool DataDaNome(std::string_view nome, int& anno, int& mese, int& giorno) {
    if (nome.size() != 8) return false;
    for (char c : nome) {
        if (c < '0' || c > '9') return false;
    }
    anno = std::stoi(std::string(nome.substr(0, 4)));
    mese = std::stoi(std::string(nome.substr(4, 2)));
    giorno = std::stoi(std::string(nome.substr(6, 2)));
    if (anno < 1 || mese < 1 || mese > 12 || giorno < 1) return false;
    static constexpr int kGiorni[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool bisestile = (anno % 4 == 0 && anno % 100 != 0) || anno % 400 == 0;
    const int max = kGiorni[mese - 1] + (mese == 2 && bisestile ? 1 : 0);
    return giorno <= max;
}

std::string SuUnaRiga(std::string_view value) {
    std::string out(value);
    for (auto& c : out) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return out;
}

}  // namespace morven
