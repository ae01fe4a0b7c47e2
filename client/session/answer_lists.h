// The shortage and availability lists that close a session, built as plain models: columns, rows (key,
// texts, colour, image), sort order and column sizing data. The main window's list LVWMancanti renders a
// model as it stands; nothing here knows about widgets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/session/answer_documents.h"
#include "client/session/answer_file.h"
#include "client/session/log_sink.h"

namespace morven {

// Colours are the program's colour values, &HBBGGRR: 0xFF0000 is pure blue (red 0, green 0, blue 255).
inline constexpr std::uint32_t kColoreBlu = 0xFF0000;
// Image shown in the first column of an availability row whose product has offer conditions.
inline constexpr std::string_view kImmagineOfferta = "INFO";
// The window's image list that holds kImmagineOfferta.
inline constexpr std::string_view kListaImmaginiLista = "ImageListLvW";
// Prefix of the row key of a product of an IFCK answer; the rest is the trimmed product code.
inline constexpr std::string_view kPrefissoChiave = "KEY_";

struct ColonnaLista {
    std::string intestazione;  // header text
    // Sizing: the column is as wide as the widest of its cell texts and of this text (the header in capitals,
    // the first column three capitals wider), so the header always fits. The renderer measures these texts
    // in its own font; `larghezzaCaratteri` is the same rule counted in characters.
    std::string testoMisura;
    std::size_t larghezzaCaratteri = 0;
};

struct RigaLista {
    std::string chiave;               // "KEY_" + trimmed code, or empty (2003 rows, a repeated product)
    std::vector<std::string> testi;   // one text per column: [0] the item, [1..] the sub-items
    // Text colour per column, parallel to `testi`; none = the list's own colour. A coloured row has the same
    // colour in every cell; a later edit (the offer window's new quantity) may colour one cell alone.
    std::vector<std::optional<std::uint32_t>> colori;
    std::string immagine;             // kImmagineOfferta or empty
};

// Gives the item and every sub-item of the row the colour.
void ColoraRiga(RigaLista& riga, std::uint32_t colore);

struct ModelloLista {
    std::vector<ColonnaLista> colonne;
    std::vector<RigaLista> righe;     // in the order shown (already sorted when `ordinata`)
    std::string listaImmagini;        // kListaImmaginiLista for the availability list, else empty
    // The two appearance switches set on every answer list: whole-row selection and grid lines.
    bool selezioneRigaIntera = true;
    bool lineeGriglia = true;
    bool ordinata = false;            // sorted ascending on column `colonnaOrdinamento`
    std::size_t colonnaOrdinamento = 1;
    bool dimensionata = false;        // column sizing data filled
    // LblRifOrdineGrossista caption and TxtNoteOrdine text; unset when the answer has no "T" header (the
    // window then leaves both as they are).
    std::optional<std::string> rifOrdineGrossista;
    std::optional<std::string> noteOrdine;
    // True when the source file existed and was read whole. False leaves the list unfit for a confirmation.
    bool riuscito = false;

    const RigaLista* RigaPerChiave(std::string_view chiave) const;
};

// Sorts the rows ascending on one column (0 = the item text), comparing without regard to case; rows that
// compare equal keep their order. Used after a fill and when a column header is clicked.
void OrdinaLista(ModelloLista& lista, std::size_t colonna);

// Fills the sizing data of every column from the header and the cell texts as they are now.
void DimensionaColonne(ModelloLista& lista);

// Order answer of an IFCK slot: "Codice", "Descrizione", "Rich.", "Manc.", "Cons.", "Prezzo", "Data Disp.",
// "Nota"; sorted on "Descrizione". Errors go to the log under "DisplayMancanti2006 :".
ModelloLista ModelloMancanti2006(std::string_view contenuto, const LogFunzione& log);
ModelloLista DisplayMancanti2006(const std::filesystem::path& fileRisposta, const LogFunzione& log,
                                 std::uintmax_t limite = kLimiteFileRisposta);

// Availability answer of an IFCK slot: an image column, then the order columns from "Codice"; rows whose
// product has "O" records show the "INFO" image; sorted on "Codice". Log name "DisplayDisponibilita2006 :".
ModelloLista ModelloDisponibilita2006(std::string_view contenuto, const LogFunzione& log);
ModelloLista DisplayDisponibilita2006(const std::filesystem::path& fileRisposta, const LogFunzione& log,
                                      std::uintmax_t limite = kLimiteFileRisposta);

// 2003 answer work file (ordseq.ma1, or ordseq.man when there is no ordseq.ma1): "Codice", "Descrizione",
// "Qta Mancante", "Qta Consegnata", "Nota"; sorted on "Descrizione". Log name "DisplayMancanti2003 :".
ModelloLista ModelloMancanti2003(std::string_view contenuto, const LogFunzione& log);
ModelloLista DisplayMancanti2003(const std::filesystem::path& cartellaApp, const LogFunzione& log,
                                 std::uintmax_t limite = kLimiteFileRisposta);

// What the end of a shortage or availability session shows.
struct SorgenteRisposta {
    std::filesystem::path cartellaApp;  // sPathApp
    std::string fileIFCKOut;            // sFileIFCKOut, the answer file's name in the application folder
    bool bDisponibilita = false;
    bool bModeIFCK = false;
    std::string sConnect;               // the wholesaler's description
};

inline constexpr int kFaseRispostaDisponibilita = 2;
inline constexpr int kFaseRispostaMancanti = 3;

struct VistaRisposta {
    int fase = kFaseRispostaMancanti;   // layout phase of the main window: 3 order answer, 2 availability
    std::string titolo;                 // heading: "Fine" or "Elenco Risposte"
    std::string descrizioneConnessione; // sConnect, for the grey heading
    ModelloLista lista;
    std::optional<ModelloMessaggi> messaggi;  // TextMess, after an order answer only
    bool riuscito = false;              // the list's own result
};

// Chooses and builds the display of the answer: the order answer (phase 3, "Fine", then the messages) or the
// availability answer (phase 2, "Elenco Risposte", no messages), from the IFCK file or the 2003 work files.
VistaRisposta DisplayMancanti(const SorgenteRisposta& sorgente, const LogFunzione& log,
                              std::uintmax_t limite = kLimiteFileRisposta);

}  // namespace morven
