// The IFCK answer file: the wholesaler's text answer to one IFCK request (shortage, availability or
// documents). One fixed-column record per line, CR LF line ends, first character = record kind. This header
// is the one place that knows the columns; every reader takes them from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/engine/shortage_receive.h"
#include "client/session/log_sink.h"

namespace morven {

// ---------------------------------------------------------------------------------------------------------
// Reading whole files, bounded

// No answer, message or work file that the displays read is allowed to grow past this: an order has at most
// 500 lines and a month of documents stays far below it, so anything larger is broken or hostile. The same
// bound the receivers and the conversion write the files with.
inline constexpr std::uintmax_t kLimiteFileRisposta = kMaxFileRisposta;

enum class EsitoLettura { Letto, Mancante, TroppoGrande, Errore };

struct ContenutoFile {
    EsitoLettura esito = EsitoLettura::Mancante;
    std::string dati;     // the file's bytes (only when esito is Letto)
    std::string errore;   // description for the function log when esito is not Letto
};

// Reads the whole file, but never more than `limite` bytes: a longer file is refused (TroppoGrande) and
// nothing of it is returned, so a display never shows a cut answer as if it were whole.
ContenutoFile LeggiFileLimitato(const std::filesystem::path& file, std::uintmax_t limite = kLimiteFileRisposta);

// Splits file contents into lines. CR LF ends a line; a lone CR or a lone LF is taken as a line end too. A
// final line without its end still counts; the end of the last line does not open an empty one.
std::vector<std::string> DividiRighe(std::string_view dati);

// The file `nome` inside `cartella`, found with its name compared without regard to case (the wholesaler's
// and the management software's files arrive with either case). Nothing when no such regular file exists.
std::optional<std::filesystem::path> CercaFile(const std::filesystem::path& cartella, std::string_view nome);

// ---------------------------------------------------------------------------------------------------------
// Columns and number fields

// Columns `da` to `a` of a record, 1-based and inclusive; shorter when the line ends before `a`.
std::string Colonne(std::string_view riga, std::size_t da, std::size_t a);
// Everything from column `da` to the end of the line.
std::string DallaColonna(std::string_view riga, std::size_t da);
// Blanks (only the blank character) removed at both ends, as codes are compared.
std::string TogliSpazi(std::string_view testo);

// Quantity (5 columns) or VAT rate (2 columns): a whole non-negative number; leading zeros and surrounding
// blanks allowed, an all-blank field reads as 0. Nothing for any other character.
std::optional<long> LeggiQuantita(std::string_view campo);
std::optional<long> LeggiAliquota(std::string_view campo);

// Money (11 columns): 7 integer digits and 4 decimals without separator, held exactly as ten-thousandths
// (00012345000 -> 12345000, that is 1234.5). The integer part may carry leading blanks and a sign. Nothing
// for a field of another width (a short line), a blank field or any other character.
std::optional<std::int64_t> LeggiImporto(std::string_view campo);

struct Data {
    int anno = 0;
    int mese = 0;
    int giorno = 0;
    friend bool operator==(const Data&, const Data&) = default;
};
// Date (8 columns "YYYYMMDD"): nothing unless all eight are digits forming a calendar date (years 100-9999).
std::optional<Data> LeggiData(std::string_view campo);

// ---------------------------------------------------------------------------------------------------------
// Records

// The record kind: the line's first character, or '\0' for an empty line.
char TipoRecord(std::string_view riga);

// Header codes the answer conversion accepts; the displays only look for a leading "T".
bool CodiceTestataAccettato(std::string_view codice);

struct TestataRisposta {
    std::string codice;      // 1-4: "T000", "T115", "T116" (or anything else beginning with "T")
    std::string rifOrdine;   // 23-42: the wholesaler's reference of the order
    std::string note;        // 43 to the end of the line: note or message text
};
// The header fields, when the line begins with "T".
std::optional<TestataRisposta> LeggiTestata(std::string_view riga);

// Columns from 100 of a product record depend on the request the answer belongs to.
enum class LayoutProdotto { Disponibilita, Ordine };

struct RecordProdotto {
    std::string codice;             // 2-14, as it stands (blank-padded)
    std::string qtaRichiesta;       // 15-19
    std::string qtaMancante;        // 20-24
    std::string qtaConsegnata;      // 25-29
    std::string importoNetto;       // 40-50: money for the delivered quantity
    std::string stato;              // 51: " " available, anything else not (empty on a short line)
    std::string dataDisponibilita;  // 52-59
    std::string prezzoPubblico;     // availability 100-110 (empty in the order layout)
    std::string aliquota;           // availability 111-112 (empty in the order layout)
    std::string descrizione;        // availability 125-164, order 100-127
    std::string nota;               // availability 165-184 (reason), order 220-239 (note or reason)
};
RecordProdotto LeggiRecordProdotto(std::string_view riga, LayoutProdotto layout);

struct RecordOfferta {
    std::string codice;                   // 2-14
    std::string validita;                 // 15-22: date up to which the condition holds
    std::string qtaMinima;                // 27-31
    std::string qtaDa;                    // 32-36
    std::string qtaA;                     // 37-41
    std::string qtaAssegnata;             // 42-46
    std::string qtaOmaggio;               // 47-51
    std::string importo;                  // 52-62: money for the assigned quantity
    std::string qtaAltroOmaggio;          // 76-80
    std::string pagamento;                // 81-110
    std::string descrizioneAltroOmaggio;  // 117-144
};
RecordOfferta LeggiRecordOfferta(std::string_view riga);

struct RecordDocumento {
    std::string chiave;              // 2-14: kind, series and number together
    std::string tipo;                // 2: "1" DDT, "2" Fattura Acc., "3" invoice, "4" credit note, "5" debit note
    std::string serie;               // 3-4
    std::string numero;              // 5-14
    std::string data;                // 15-22
    std::string pagamento;           // 37-66
    std::string importoDocumento;    // 72-82
    std::string importoNettoMerce;   // 83-93
    std::string importoNettoPagare;  // 94-104
    std::string importoSpese;        // 105-115
};
RecordDocumento LeggiRecordDocumento(std::string_view riga);

// "S" of a documents answer: one wholesaler order that the current document covers.
struct RecordOrdineDocumento {
    std::string numeroOrdine;        // 2-21
    std::string importoNettoMerce;   // 51-61
};
RecordOrdineDocumento LeggiRecordOrdineDocumento(std::string_view riga);

// "P" of a documents answer: one row of the current order.
struct RecordRigaDocumento {
    std::string quantita;     // 25-29
    std::string prezzo;       // 36-46
    std::string descrizione;  // 52-79
};
RecordRigaDocumento LeggiRecordRigaDocumento(std::string_view riga);

// ---------------------------------------------------------------------------------------------------------
// One product of an availability answer with its offer conditions

// The offer window has one column per condition and no more than this many columns.
inline constexpr std::size_t kMaxOfferteProdotto = 5;

struct ProdottoDisponibilita {
    std::optional<RecordProdotto> prodotto;  // the first "P" with the code (availability layout)
    std::vector<RecordOfferta> offerte;      // its "O" records in file order, at most kMaxOfferteProdotto
    std::size_t offerteScartate = 0;         // further "O" records of the product, logged and not kept
};

// Collects the product `codice` (compared trimmed) from the lines of an availability answer; the first line
// is the header and is never taken as a record. Each "O" beyond the grid's columns is written to the log
// under `nomeProcedura` and dropped, so no reader ever fills a column the window does not have.
ProdottoDisponibilita LeggiProdottoDisponibilita(const std::vector<std::string>& righe, std::string_view codice,
                                                 const LogFunzione& log, std::string_view nomeProcedura);

}  // namespace morven
