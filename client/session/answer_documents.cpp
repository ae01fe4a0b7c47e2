#include "client/session/answer_documents.h"

#include <unordered_set>

#include "client/session/answer_helpers.h"
#include "platform/core/text.h"

namespace morven {

namespace {

constexpr std::string_view kNomeDocumenti = "DisplayDocumenti";
constexpr std::string_view kNomeMessaggi = "DisplayMessaggi";
constexpr std::string_view kFineRiga = "\r\n";

std::string NumeroRiga(std::size_t indice) { return " alla riga " + std::to_string(indice + 1); }

class CostruttoreAlbero {
public:
    CostruttoreAlbero(ModelloDocumenti& m, const LogFunzione& log) : m_(m), log_(log) {}

    // Adds a node; a key that is already in the tree is logged and left off, so the node is still shown.
    // Returns the node's index and whether it kept its key.
    std::pair<std::size_t, bool> Aggiungi(std::optional<std::size_t> genitore, std::string chiave, std::string testo,
                                          std::size_t riga) {
        bool conChiave = !chiave.empty();
        if (conChiave && !chiavi_.insert(chiave).second) {
            ScriviErrore(log_, kNomeDocumenti, "Chiave " + chiave + " ripetuta" + NumeroRiga(riga) + ": mostrata senza chiave");
            chiave.clear();
            conChiave = false;
        }
        m_.nodi.push_back(NodoAlbero{genitore, std::move(chiave), std::move(testo)});
        return {m_.nodi.size() - 1, conChiave};
    }

private:
    ModelloDocumenti& m_;
    const LogFunzione& log_;
    std::unordered_set<std::string> chiavi_;
};

struct DocumentoCorrente {
    std::string chiave;              // the key its nodes carry; empty when the document key was repeated
    std::size_t nodoOrdini = 0;      // its "Riferimenti Ordini" node
};

void RiempiDocumenti(ModelloDocumenti& m, const std::vector<std::string>& righe, const LogFunzione& log) {
    CostruttoreAlbero albero(m, log);
    std::optional<DocumentoCorrente> documento;
    // Index of the current order node; kNessunNodo while there is none.
    constexpr std::size_t kNessunNodo = static_cast<std::size_t>(-1);
    std::size_t ordine = kNessunNodo;
    // The first line is the answer's header and carries no document.
    for (std::size_t i = 1; i < righe.size(); ++i) {
        const std::string& riga = righe[i];
        switch (TipoRecord(riga)) {
            case 'R': {
                const RecordDocumento r = LeggiRecordDocumento(riga);
                const std::string tipo = TestoTipoDocumento(r.tipo);
                const std::string data = VerificaData(r.data, log);
                const auto [nodo, conChiave] =
                    albero.Aggiungi(std::nullopt, r.chiave, tipo + " " + r.serie + r.numero + " " + data, i);
                const std::string chiave = conChiave ? r.chiave : std::string();
                auto figlia = [&](std::string_view suffisso) {
                    return chiave.empty() ? std::string() : chiave + std::string(suffisso);
                };
                const std::size_t contabili = albero.Aggiungi(nodo, figlia("_CONTABILI"), "Riferimenti Contabili", i).first;
                const std::size_t ordini = albero.Aggiungi(nodo, figlia("_ORDINI"), "Riferimenti Ordini", i).first;
                const std::pair<std::string_view, std::string> dettagli[] = {
                    {"Tipo Documento         :", tipo},
                    {"Sigla Documento        :", r.serie},
                    {"Numero Documento       :", r.numero},
                    {"Data Documento         :", data},
                    {"Importo Documento      :", CalcolaPrezzoSingolo(r.importoDocumento, 1, log)},
                    {"Importo Netto Merce    :", CalcolaPrezzoSingolo(r.importoNettoMerce, 1, log)},
                    {"Importo Netto a Pagare :", CalcolaPrezzoSingolo(r.importoNettoPagare, 1, log)},
                    {"Importo Spese Varie    :", CalcolaPrezzoSingolo(r.importoSpese, 1, log)},
                    {"Modalit\xE0 Pagamento     :", r.pagamento},
                };
                for (const auto& [etichetta, valore] : dettagli) {
                    albero.Aggiungi(contabili, {}, std::string(etichetta) + valore, i);
                }
                documento = DocumentoCorrente{chiave, ordini};
                // Rows belong to an order of this document: until its first "S" there is no current order.
                ordine = kNessunNodo;
                break;
            }
            case 'S': {
                const RecordOrdineDocumento s = LeggiRecordOrdineDocumento(riga);
                if (!documento) {
                    ScriviErrore(log, kNomeDocumenti, "Ordine " + TogliSpazi(s.numeroOrdine) +
                                                          " senza documento" + NumeroRiga(i) + ": ignorato");
                    ordine = kNessunNodo;
                    break;
                }
                const std::string chiave =
                    documento->chiave.empty() ? std::string() : documento->chiave + "_ORDINI" + s.numeroOrdine;
                ordine = albero.Aggiungi(documento->nodoOrdini, chiave, "Ordine Grossista Numero:" + s.numeroOrdine, i)
                             .first;
                albero.Aggiungi(ordine, {},
                                "Importo Netto Merce    :" + CalcolaPrezzoSingolo(s.importoNettoMerce, 1, log), i);
                break;
            }
            case 'P': {
                if (ordine == kNessunNodo) {
                    ScriviErrore(log, kNomeDocumenti, "Riga senza ordine" + NumeroRiga(i) + ": ignorata");
                    break;
                }
                const RecordRigaDocumento p = LeggiRecordRigaDocumento(riga);
                std::string quantita;
                if (const auto q = LeggiQuantita(p.quantita)) {
                    quantita = std::to_string(*q);
                } else {
                    ScriviErrore(log, kNomeDocumenti,
                                 "Quantit\xE0 \"" + p.quantita + "\" non valida" + NumeroRiga(i));
                    quantita = TogliSpazi(p.quantita);
                }
                albero.Aggiungi(ordine, {},
                                PadRight(quantita, 5) + " " + p.descrizione + " " +
                                    CalcolaPrezzoSingolo(p.prezzo, 1, log),
                                i);
                break;
            }
            default:
                break;  // header, "A", "C" and anything else carry nothing for the tree
        }
    }
}

}  // namespace

std::vector<std::size_t> ModelloDocumenti::Figli(std::optional<std::size_t> genitore) const {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < nodi.size(); ++i) {
        if (nodi[i].genitore == genitore) out.push_back(i);
    }
    return out;
}

const NodoAlbero* ModelloDocumenti::NodoPerChiave(std::string_view chiave) const {
    if (chiave.empty()) return nullptr;
    for (const auto& n : nodi) {
        if (n.chiave == chiave) return &n;
    }
    return nullptr;
}

std::string TestoTipoDocumento(std::string_view tipo) {
    if (tipo == "1") return "Ddt         ";
    if (tipo == "2") return "Fattura Acc.";
    if (tipo == "3") return "Fattura     ";
    if (tipo == "4") return "Nota Credito";
    if (tipo == "5") return "Nota Debito ";
    return "Documento   ";
}

ModelloDocumenti ModelloDocumentiDaTesto(std::string_view contenuto, const LogFunzione& log) {
    ModelloDocumenti m;
    const std::vector<std::string> righe = DividiRighe(contenuto);
    if (righe.empty()) {
        ScriviErrore(log, kNomeDocumenti, "File di risposta vuoto");
        return m;
    }
    RiempiDocumenti(m, righe, log);
    m.riuscito = true;
    return m;
}

ModelloDocumenti DisplayDocumenti(const std::filesystem::path& fileRisposta, const LogFunzione& log,
                                  std::uintmax_t limite) {
    ContenutoFile f = LeggiFileLimitato(fileRisposta, limite);
    if (f.esito != EsitoLettura::Letto) {
        ScriviErrore(log, kNomeDocumenti, f.errore);
        return ModelloDocumenti{};
    }
    return ModelloDocumentiDaTesto(f.dati, log);
}

ModelloMessaggi DisplayMessaggi(const std::filesystem::path& cartellaApp, std::string_view sConnect,
                                const LogFunzione& log, std::uintmax_t limite) {
    ModelloMessaggi m;
    m.testo = "Trasmissione Terminata Correttamente ";
    m.testo.append(kFineRiga).append(kFineRiga);
    struct Sezione {
        std::filesystem::path cartella;
        std::string_view file;
        std::string_view titolo;
    };
    const Sezione sezioni[] = {
        {cartellaApp, "msgrx.txt", "Messaggio da "},
        {cartellaApp / "news", "eaggdati", "Elenco News da "},
    };
    for (const auto& s : sezioni) {
        const auto file = CercaFile(s.cartella, s.file);
        if (!file) continue;  // no message or no news: the section is left out
        ContenutoFile f = LeggiFileLimitato(*file, limite);
        if (f.esito == EsitoLettura::Mancante) continue;
        if (f.esito != EsitoLettura::Letto) {
            ScriviErrore(log, kNomeMessaggi, f.errore);
            return m;
        }
        m.testo.append(s.titolo).append(sConnect).append(kFineRiga);
        for (const auto& riga : DividiRighe(f.dati)) m.testo.append(riga).append(kFineRiga);
    }
    m.riuscito = true;
    return m;
}

}  // namespace morven
