// The documents tree (TreeView1) of a documents answer and the closing text (TextMess) of a session, built
// as plain models that the main window renders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/session/answer_file.h"
#include "client/session/log_sink.h"

namespace morven {

struct NodoAlbero {
    std::optional<std::size_t> genitore;  // index of the parent node; none for a root node
    std::string chiave;                   // empty for nodes without key (detail lines, rows, repeated keys)
    std::string testo;
};

struct ModelloDocumenti {
    std::vector<NodoAlbero> nodi;  // in the order added; a parent always comes before its children
    // Tree settings applied on every fill: label editing manual, lines drawn from the root.
    bool modificaManuale = true;
    bool lineeDallaRadice = true;
    bool riuscito = false;         // the file was read to its end

    std::vector<std::size_t> Figli(std::optional<std::size_t> genitore) const;
    const NodoAlbero* NodoPerChiave(std::string_view chiave) const;
};

// Kind text (12 characters) of a document kind code; "Documento   " for a code other than "1" to "5".
std::string TestoTipoDocumento(std::string_view tipo);

// Documents answer: one root branch per "R" (its nine detail lines under "Riferimenti Contabili", its orders
// under "Riferimenti Ordini"), an order node with its amount per "S", a row per "P". Errors go to the log
// under "DisplayDocumenti :".
ModelloDocumenti ModelloDocumentiDaTesto(std::string_view contenuto, const LogFunzione& log);
ModelloDocumenti DisplayDocumenti(const std::filesystem::path& fileRisposta, const LogFunzione& log,
                                  std::uintmax_t limite = kLimiteFileRisposta);

struct ModelloMessaggi {
    std::string testo;      // the whole text of TextMess, CR LF line ends
    bool riuscito = false;
};

// Closing line, then the wholesaler's message (msgrx.txt) and the list of received news (news/eaggdati)
// when they exist. Errors go to the log under "DisplayMessaggi :".
ModelloMessaggi DisplayMessaggi(const std::filesystem::path& cartellaApp, std::string_view sConnect,
                                const LogFunzione& log, std::uintmax_t limite = kLimiteFileRisposta);

}  // namespace morven
