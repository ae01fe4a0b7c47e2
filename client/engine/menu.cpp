#include "client/engine/menu.h"

#include "client/engine/errors.h"
#include "client/engine/ports.h"
#include "client/engine/programma.h"
#include "platform/core/files.h"
#include "platform/core/process.h"
#include "platform/core/text.h"


namespace morven {

namespace {

// The first line of a file without its line end; empty when the file is missing or empty.
std::string PrimaRiga(const std::string& path) {
    std::string contenuto;
    if (!ReadWholeFile(path, contenuto)) return {};
    const std::size_t fine = contenuto.find_first_of("\r\n");
    return fine == std::string::npos ? contenuto : contenuto.substr(0, fine);
}

bool Locale(std::string_view indirizzo) {
    const std::string l = LowerAscii(Left(indirizzo, 5));
    return !(l.rfind("http", 0) == 0 || l.rfind("about", 0) == 0);
}

}  // namespace

std::string VoceConnessione(int n) { return "MNU_CON_GROSS" + std::to_string(n); }
std::string VoceImpostazioni(int n) { return "MNU_SET_GROSS" + std::to_string(n); }

std::string FileImpostazioniSlot(const Programma& p, int n) {
    return p.percorsi.sPathApp + "/MvnConn" + PadLeft(n, 2, "0") + ".par";
}

int ImpostaElencoConnessioni(Programma& p, View& menu, bool blocca, bool bloccaImpostazioni) {
    return EseguiProcedura(p, "ImpostaElencoConnessioni", 0, [&](int& r) {
        for (int n = 1; n <= kNumeroSlot; ++n) {
            const std::string riga = PrimaRiga(FileImpostazioniSlot(p, n));
            const std::string con = VoceConnessione(n), set = VoceImpostazioni(n);
            menu.SetText(con, "");
            menu.SetEnabled(con, false);
            menu.SetText(set, "");
            menu.SetEnabled(set, !bloccaImpostazioni);
            if (UpperAscii(riga).find("CONNECT") != std::string::npos) {
                const std::string descrizione = Mid(riga, 12);
                menu.SetText(con, descrizione);
                menu.SetText(set, descrizione);
                if (!blocca) menu.SetEnabled(con, true);
            }
        }
        r = -1;
    });
}

std::string PaginaLocale(const Programma& p, std::string_view sottocartella) {
    const std::string html = p.percorsi.sPathApp + "/HTML";
    std::string pagina = html + "/" + std::string(sottocartella) + "/index.htm";
    if (!sottocartella.empty() && FileExists(pagina)) return pagina;
    return html + "/index.htm";
}

std::string ConSchema(std::string_view indirizzo) {
    if (LowerAscii(Left(indirizzo, 4)) != "http") return "http://" + std::string(indirizzo);
    return std::string(indirizzo);
}

int ImpostaMainBrowser(Programma& p, std::string& indirizzo, std::string_view sottocartella, bool locale) {
    return EseguiProcedura(p, "ImpostaMainBrowser", 0, [&](int& r) {
        View& form = p.FrmMorven();
        if (locale) {
            form.Navigate("WebBrowser1", PaginaLocale(p, sottocartella));
        } else {
            indirizzo = ConSchema(indirizzo);
            p.percorsi.sUltimoUrl = indirizzo;
            form.Navigate("WebBrowser1", indirizzo + "&mini=1");
        }
        r = -1;
    });
}

int MostraBrowser(Programma& p, std::string& indirizzo) {
    return EseguiProcedura(p, "MostraBrowser", 0, [&](int& r) {
        indirizzo = ConSchema(indirizzo);
        const std::string& programma = p.impostazioni.sBrowserEsterno;
        if (programma.empty()) SollevaErrore(kErrFileNonTrovato, "Nessun browser esterno");
        const ProcessResult res = StartProcess({programma, indirizzo});
        if (!res.started) SollevaErrore(kErrFileNonTrovato, res.error.empty() ? programma : res.error);
        r = -1;
    });
}

std::string DopoErroreNavigazione(Programma& p, std::string_view indirizzo) {
    if (indirizzo == kPaginaVuota) return {};
    if (Locale(indirizzo)) {
        p.FrmMorven().Navigate("WebBrowser1", kPaginaVuota);
        return std::string(kPaginaVuota);
    }
    std::string vuoto;
    ImpostaMainBrowser(p, vuoto, p.opzioni.sGrossistaSelezionato, true);
    return PaginaLocale(p, p.opzioni.sGrossistaSelezionato);
}

}  // namespace morven
