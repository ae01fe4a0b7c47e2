#include "client/session/answer_lists.h"

#include <algorithm>
#include <unordered_map>

#include "client/session/answer_helpers.h"
#include "platform/core/text.h"

namespace morven {

namespace {

enum class TipoLista { Mancanti2006, Disponibilita2006, Mancanti2003 };

std::string_view NomeDisplay(TipoLista tipo) {
    switch (tipo) {
        case TipoLista::Mancanti2006: return "DisplayMancanti2006";
        case TipoLista::Disponibilita2006: return "DisplayDisponibilita2006";
        case TipoLista::Mancanti2003: return "DisplayMancanti2003";
    }
    return "DisplayMancanti";
}

// Steps 1-3 of every answer list: the column set and the list's settings, no rows.
ModelloLista ListaVuota(TipoLista tipo) {
    static constexpr std::string_view ordine[] = {"Codice", "Descrizione", "Rich.",      "Manc.",
                                                  "Cons.",  "Prezzo",      "Data Disp.", "Nota"};
    static constexpr std::string_view vecchia[] = {"Codice", "Descrizione", "Qta Mancante", "Qta Consegnata",
                                                   "Nota"};
    ModelloLista m;
    auto aggiungi = [&m](std::string_view testo) { m.colonne.push_back(ColonnaLista{std::string(testo), {}, 0}); };
    switch (tipo) {
        case TipoLista::Mancanti2006:
            for (auto c : ordine) aggiungi(c);
            break;
        case TipoLista::Disponibilita2006:
            aggiungi("");
            for (auto c : ordine) aggiungi(c);
            m.listaImmagini = std::string(kListaImmaginiLista);
            break;
        case TipoLista::Mancanti2003:
            for (auto c : vecchia) aggiungi(c);
            break;
    }
    return m;
}

}  // namespace

void OrdinaLista(ModelloLista& m, std::size_t colonna) {
    auto testo = [colonna](const RigaLista& r) -> std::string_view {
        return colonna < r.testi.size() ? std::string_view(r.testi[colonna]) : std::string_view();
    };
    std::stable_sort(m.righe.begin(), m.righe.end(), [&](const RigaLista& a, const RigaLista& b) {
        const std::string_view x = testo(a);
        const std::string_view y = testo(b);
        return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [](char p, char q) {
            return static_cast<unsigned char>(UpperAscii(p)) < static_cast<unsigned char>(UpperAscii(q));
        });
    });
    m.ordinata = true;
    m.colonnaOrdinamento = colonna;
}

// Every column as wide as its widest cell and its header in capitals; the first one three capitals more.
void DimensionaColonne(ModelloLista& m) {
    for (std::size_t c = 0; c < m.colonne.size(); ++c) {
        auto& col = m.colonne[c];
        col.testoMisura = UpperAscii(col.intestazione) + (c == 0 ? "XXX" : "");
        std::size_t larghezza = col.testoMisura.size();
        for (const auto& r : m.righe) {
            if (c < r.testi.size()) larghezza = std::max(larghezza, r.testi[c].size());
        }
        col.larghezzaCaratteri = larghezza;
    }
    m.dimensionata = true;
}

void ColoraRiga(RigaLista& riga, std::uint32_t colore) {
    riga.colori.assign(riga.testi.size(), colore);
}

namespace {

std::string NumeroRiga(std::size_t indice) { return " alla riga " + std::to_string(indice + 1); }

// The IFCK lists: header fields, one row per "P", the offer image per "O" (availability only).
void RiempiIFCK(ModelloLista& m, const std::vector<std::string>& righe, TipoLista tipo, const LogFunzione& log) {
    const std::string_view nome = NomeDisplay(tipo);
    const bool disponibilita = tipo == TipoLista::Disponibilita2006;
    // The first line is the header; it is never a product row, whatever it begins with.
    if (const auto testata = LeggiTestata(righe.front())) {
        m.rifOrdineGrossista = testata->rifOrdine;
        m.noteOrdine = testata->note;
    }
    std::unordered_map<std::string, std::size_t> perChiave;
    for (std::size_t i = 1; i < righe.size(); ++i) {
        const std::string& riga = righe[i];
        const char tipoRecord = TipoRecord(riga);
        if (tipoRecord == 'P') {
            const RecordProdotto p = LeggiRecordProdotto(
                riga, disponibilita ? LayoutProdotto::Disponibilita : LayoutProdotto::Ordine);
            const std::string codice = TogliSpazi(p.codice);
            RigaLista r;
            r.chiave = std::string(kPrefissoChiave) + codice;
            if (perChiave.count(r.chiave) != 0) {
                // A product listed twice is still shown twice; only the first row owns the key, so the
                // list stays whole and the offers find one row.
                ScriviErrore(log, nome, "Prodotto " + codice + " ripetuto" + NumeroRiga(i) + ": mostrato senza chiave");
                r.chiave.clear();
            } else {
                perChiave.emplace(r.chiave, m.righe.size());
            }
            const auto divisore = LeggiQuantita(p.qtaConsegnata);
            if (!divisore) {
                ScriviErrore(log, nome, "Quantit\xE0 consegnata \"" + p.qtaConsegnata + "\" non valida" + NumeroRiga(i));
            }
            const std::string prezzo = CalcolaPrezzoSingolo(p.importoNetto, divisore.value_or(0), log);
            const std::string data = VerificaData(p.dataDisponibilita, log);
            if (disponibilita) {
                r.testi = {"", p.codice, Left(p.descrizione, 28), p.qtaRichiesta, p.qtaMancante, p.qtaConsegnata,
                           prezzo, data, p.nota};
            } else {
                r.testi = {p.codice, p.descrizione, p.qtaRichiesta, p.qtaMancante, p.qtaConsegnata, prezzo, data,
                           p.nota};
            }
            r.colori.resize(r.testi.size());
            if (p.stato == " " || p.stato == "*") ColoraRiga(r, kColoreBlu);
            m.righe.push_back(std::move(r));
        } else if (tipoRecord == 'O' && disponibilita) {
            const std::string codice = TogliSpazi(Colonne(riga, 2, 14));
            const auto trovata = perChiave.find(std::string(kPrefissoChiave) + codice);
            if (trovata == perChiave.end()) {
                ScriviErrore(log, nome, "Condizione d'offerta senza prodotto " + codice + NumeroRiga(i) + ": ignorata");
                continue;
            }
            m.righe[trovata->second].immagine = std::string(kImmagineOfferta);
        }
    }
}

// The 2003 list: the header line skipped, one row per further line.
void Riempi2003(ModelloLista& m, const std::vector<std::string>& righe) {
    for (std::size_t i = 1; i < righe.size(); ++i) {
        const std::string& riga = righe[i];
        const std::string stato = Colonne(riga, 42, 42);
        const bool consegnato = stato == "@" || stato == "*";
        const std::string qta = Colonne(riga, 10, 13);
        RigaLista r;
        r.testi = {Colonne(riga, 1, 9), Colonne(riga, 14, 41), consegnato ? std::string() : qta,
                   consegnato ? qta : std::string(), EspandiMotivazione(stato, riga)};
        r.colori.resize(r.testi.size());
        if (consegnato) ColoraRiga(r, kColoreBlu);
        m.righe.push_back(std::move(r));
    }
}

ModelloLista Costruisci(TipoLista tipo, std::string_view contenuto, const LogFunzione& log) {
    ModelloLista m = ListaVuota(tipo);
    const std::vector<std::string> righe = DividiRighe(contenuto);
    if (righe.empty()) {
        ScriviErrore(log, NomeDisplay(tipo), "File di risposta vuoto");
        return m;
    }
    if (tipo == TipoLista::Mancanti2003) {
        Riempi2003(m, righe);
    } else {
        RiempiIFCK(m, righe, tipo, log);
    }
    OrdinaLista(m, 1);
    DimensionaColonne(m);
    m.riuscito = true;
    return m;
}

ModelloLista CostruisciDaFile(TipoLista tipo, const std::optional<std::filesystem::path>& file,
                              const LogFunzione& log, std::uintmax_t limite) {
    if (!file) return ListaVuota(tipo);
    ContenutoFile f = LeggiFileLimitato(*file, limite);
    if (f.esito == EsitoLettura::Mancante) return ListaVuota(tipo);  // no answer: headers only, not an error
    if (f.esito != EsitoLettura::Letto) {
        ScriviErrore(log, NomeDisplay(tipo), f.errore);
        return ListaVuota(tipo);
    }
    return Costruisci(tipo, f.dati, log);
}

}  // namespace

const RigaLista* ModelloLista::RigaPerChiave(std::string_view chiave) const {
    if (chiave.empty()) return nullptr;
    for (const auto& r : righe) {
        if (r.chiave == chiave) return &r;
    }
    return nullptr;
}

ModelloLista ModelloMancanti2006(std::string_view contenuto, const LogFunzione& log) {
    return Costruisci(TipoLista::Mancanti2006, contenuto, log);
}

ModelloLista DisplayMancanti2006(const std::filesystem::path& fileRisposta, const LogFunzione& log,
                                 std::uintmax_t limite) {
    return CostruisciDaFile(TipoLista::Mancanti2006, fileRisposta, log, limite);
}

ModelloLista ModelloDisponibilita2006(std::string_view contenuto, const LogFunzione& log) {
    return Costruisci(TipoLista::Disponibilita2006, contenuto, log);
}

ModelloLista DisplayDisponibilita2006(const std::filesystem::path& fileRisposta, const LogFunzione& log,
                                      std::uintmax_t limite) {
    return CostruisciDaFile(TipoLista::Disponibilita2006, fileRisposta, log, limite);
}

ModelloLista ModelloMancanti2003(std::string_view contenuto, const LogFunzione& log) {
    return Costruisci(TipoLista::Mancanti2003, contenuto, log);
}

ModelloLista DisplayMancanti2003(const std::filesystem::path& cartellaApp, const LogFunzione& log,
                                 std::uintmax_t limite) {
    auto file = CercaFile(cartellaApp, "ordseq.ma1");
    if (!file) file = CercaFile(cartellaApp, "ordseq.man");
    return CostruisciDaFile(TipoLista::Mancanti2003, file, log, limite);
}

VistaRisposta DisplayMancanti(const SorgenteRisposta& sorgente, const LogFunzione& log, std::uintmax_t limite) {
    VistaRisposta v;
    v.descrizioneConnessione = sorgente.sConnect;
    auto fileIFCK = [&]() {
        // The answer may arrive with its name in another case; look for it the way the system names it.
        auto trovato = CercaFile(sorgente.cartellaApp, sorgente.fileIFCKOut);
        return trovato ? *trovato : sorgente.cartellaApp / sorgente.fileIFCKOut;
    };
    if (sorgente.bDisponibilita) {
        v.fase = kFaseRispostaDisponibilita;
        v.titolo = "Elenco Risposte";
        v.lista = sorgente.bModeIFCK ? DisplayDisponibilita2006(fileIFCK(), log, limite)
                                     : DisplayMancanti2003(sorgente.cartellaApp, log, limite);
    } else {
        v.fase = kFaseRispostaMancanti;
        v.titolo = "Fine";
        v.lista = sorgente.bModeIFCK ? DisplayMancanti2006(fileIFCK(), log, limite)
                                     : DisplayMancanti2003(sorgente.cartellaApp, log, limite);
        v.messaggi = DisplayMessaggi(sorgente.cartellaApp, sorgente.sConnect, log, limite);
    }
    v.riuscito = v.lista.riuscito;
    return v;
}

}  // namespace morven
