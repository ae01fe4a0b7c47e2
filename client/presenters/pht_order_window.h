// The PHT order window FrmOrdinePht, without widgets. The pharmacist searches the wholesaler's PHT product
// file by code (a Code 32 pharmacode is decoded) or description, picks a product, gives the quantity and the
// two parts of the prescription number, collects the rows in the order list and emits the order, written as
// the kind-05 request the call then sends (client/presenters/pht_order.h).
//
// Three states: code entry (FrameCodice enabled, FrameRicetta disabled), searching (FrameRicerca shown) and
// quantity entry (FrameCodice disabled, FrameRicetta enabled); a confirmed row returns to code entry.
// The product list and the order list each keep their own selected row; a key acts only when its button is
// shown and enabled; the quantity (1 to 99999) and the prescription parts (10 and 5 characters) are checked
// when the row is confirmed, so the order file never cuts them.
#pragma once

#include "client/presenters/pht_order.h"

#include <functional>
#include <string>
#include <string_view>

namespace morven {

struct Programma;
class View;

struct CollegamentiFrmOrdinePht {
    std::function<void()> Chiudi;                    // closes the window
    std::function<void(std::string_view)> Fuoco;     // moves the focus to a control
};

class EventiFrmOrdinePht {
public:
    EventiFrmOrdinePht(Programma& p, View& form, CollegamentiFrmOrdinePht c = {});

    // sFilePht of the slot, the empty order list, code entry.
    void Form_Load();
    // Reset the entry: fields emptied (quantity "1"), no row under edit, code entry.
    void CmdAnnulla_Click();
    // Search the product file with the code or description typed; shows the product list.
    void CmdCerca_Click();
    // A product picked in the product list, by a double-click or by moving the selection onto it (the
    // arrow keys): F1 then takes it.
    void LvWProdotti_DblClick(int riga);
    void LvWProdotti_Selezione(int riga);
    // Take the product picked in the product list: quantity entry.
    void CmdRicConferma_Click();
    void CmdRicAnnulla_Click();
    // Add the row (or change the row under edit) after checking quantity and prescription parts.
    void CmdConferma_Click();
    // Edit a row of the order list: quantity entry with that row under edit.
    void LvwOrdinePht_DblClick(int riga);
    void CmdCancella_Click();
    // Write the order file sPathApp/sFileIFCKIn; the window closes when it is written.
    void CmdEmettiOrdine_Click();
    // Asks "Confermi Uscita" (No by default); Yes closes without writing anything.
    void CmdUscita_Click();
    // A carriage return typed in TxtCodice or TxtDescrizione searches.
    void TxtRicerca_KeyPress(int carattere);
    // F1, Ctrl+F1, F2, F3, F4, F10 by state; the code is written back. True.
    bool Gestisci_Tasto_Funzione(int& tasto, int shift);

    bool Ricerca() const;               // FrameRicerca shown
    bool Emesso() const { return emesso_; }  // the order file was written
    const RigaOrdinePht& Riga() const { return riga_; }
    int RigaProdotto() const { return rigaProdotto_; }
    int RigaOrdine() const { return rigaOrdine_; }

private:
    void Cornice(std::string_view cornice, bool abilitata);
    void ChiudiRicerca();
    // Quantity entry: the product fixed, the quantity and prescription open; F4 deletes only a row under edit.
    void StatoQuantita(bool rigaInModifica);
    void Fuoco(std::string_view controllo);
    int Righe(std::string_view lista) const;
    void LeggiProdotto(int riga);

    Programma& p_;
    View& form_;
    CollegamentiFrmOrdinePht c_;
    RigaOrdinePht riga_;
    int rigaProdotto_ = -1;  // the product picked in LvWProdotti
    int rigaOrdine_ = -1;    // the row of LvwOrdinePht under edit
    bool emesso_ = false;
};

}  // namespace morven
