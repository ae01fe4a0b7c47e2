// The offer detail dialog FrmDettaglioOfferta without widgets: the texts it shows for one product of an
// availability answer (prices, VAT, state and up to five offer conditions), the quantity the pharmacist
// chooses, and its buttons and function keys. The Qt dialog (client/windows) gives it its named controls as a
// View and closes when a button says so.
#pragma once

#include "client/session/log_sink.h"

#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace morven {

struct Programma;
class View;

// The product fields, in the order the dialog lists them.
inline constexpr std::array<std::string_view, 9> kCampiProdottoOfferta = {
    "LblCodiceProdotto", "LblDescrizioneProdotto", "LblSituazioneProdotto", "LblAliquota", "LblPrezzoPubblico",
    "LblPrezzoDeivato",  "LblPrezzoNetto",         "LblScontoNetto",        "LblScontoLOrdo",
};
// The background fields, always empty.
inline constexpr std::array<std::string_view, 4> kCampiFondoOfferta = {
    "LblFondoQtaOmaggio", "LblFondoQtaFatturata", "LblFondoPrezzoNetto", "LblFondoScontoNetto"};
// The rows of the offer grid: one control array each, element i is the column of the i-th condition.
inline constexpr std::array<std::string_view, 10> kRigheGrigliaOfferta = {
    "LblValidita",       "LblQtaMinima",   "LblQtaDaA",          "LblQtaAssegnata", "LblQtaOmaggio",
    "LblPrezzoUnitario", "LblAltroOmaggio", "LblQtaAltroOmaggio", "LblPagamento",    "LblQtaMaxAssegnabile"};
inline constexpr int kColonneGrigliaOfferta = 5;

// The quantity the dialog accepts: the order line has room for no more.
inline constexpr int kQtaMassimaOfferta = 9999;

// The text of every field and grid cell ("LblValidita(0)" .. "LblQtaMaxAssegnabile(4)") for the product
// `codice` (compared trimmed) of the answer lines; a field with nothing to show is empty. Offer conditions
// beyond the grid's five columns are logged under "ImpostaForm :" and not shown.
using TestiDettaglioOfferta = std::map<std::string, std::string, std::less<>>;
TestiDettaglioOfferta TestiDettaglio(const std::vector<std::string>& righe, std::string_view codice,
                                     const LogFunzione& log);

// A quantity typed in the box, when it is a whole number from 0 to kQtaMassimaOfferta (blanks around it
// allowed); -1 otherwise.
int LeggiQtaRichiesta(std::string_view testo);

class DettaglioOfferta {
public:
    // `form`: the dialog's controls by name.
    DettaglioOfferta(Programma& p, View& form);

    // Steps 1 to 3 of ImpostaForm: clears every field, fills them from the answer file `fileRisposta` (found
    // in its folder without regard to case) for the product `codice`, and puts `quantita` in the box. False,
    // with "ImpostaForm :" and the reason in the function log, when the file can't be read: the dialog is
    // then not shown and the row keeps its quantity.
    bool Prepara(std::string_view codice, const std::filesystem::path& fileRisposta, int quantita);

    // The buttons. True when the dialog closes.
    // Conferma: the box's quantity becomes the chosen one. A text that is not a quantity from 0 to 9999 is
    // refused with a message and the dialog stays open with it, so nothing out of range reaches the order.
    bool CmdConferma_Click();
    // Annulla: the passed quantity back in the box and as the choice; the dialog stays open.
    bool CmdAnnulla_Click();
    // Uscita: the passed quantity is the choice.
    bool CmdUscita_Click();

    // Function keys (code = key + 1000 Shift + 2000 Ctrl + 3000 Alt, written back into `tasto`): F1 Conferma,
    // F3 Annulla, F10 Uscita; every other code does nothing. `chiudi` tells whether the dialog closes. True.
    bool Gestisci_Tasto_Funzione(int& tasto, int shift, bool& chiudi);

    int nTmpQtaOri = 0;  // the quantity passed in
    int nTmpQta = 0;     // the quantity chosen, handed back by ImpostaForm

private:
    Programma& p_;
    View& form_;
};

}  // namespace morven
