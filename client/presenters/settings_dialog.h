// The connection settings window FrmImpostazioni, without widgets: it loads one slot's settings file into a
// working copy, shows it in the window's controls, keeps the controls consistent while the pharmacist edits
// (the interlocks below are tables), and on confirmation checks the entries, normalises the client code,
// chooses the interface and writes the file. The Qt form (client/windows) only forwards its events here
// and implements the engine's View over its controls.
//
// The window edits a copy: the settings of the running program (ImpostazioniGrossista, the current settings
// file, the selected slot) are never changed by opening, editing or saving it; the next session reads the
// saved file like any other.
//
// Every control of the window is element 0 of a control array: its id is "Name(0)" (objectName "Name_0"),
// see Ctl().
#pragma once

#include "client/engine/state.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morven {

struct Programma;
class View;

// The id of a control of the window: element 0 of its control array.
std::string Ctl(std::string_view nome);

// The lists the window fills, items in order.
extern const std::vector<std::string> kVelocitaSeriali;   // CmbSPEED
extern const std::vector<std::string> kFormatiSeriali;    // CmbSetting
extern const std::vector<std::string> kInterfacceElenco;  // CmbTipoCollegamento

// The client code saved for an entry, by the interface shown in CmbTipoCollegamento.
// Not CPJ: an entry of fewer than 7 characters is the pharmacy number, padded on the left with zeros to 7,
// then "00"; a longer one is padded on the right with zeros and cut to 9 characters.
// CPJ ("CPJ..."): the entry's first 7 characters padded on the left to 7, a check part of 3 digits
// (100 - the sum of those 7 digits, a non-digit counting 0), then the wholesaler code.
std::string NormalizzaCodiceCliente(std::string_view interfaccia, std::string_view codice,
                                    std::string_view codiceGrossista);

// The interface saved: "OLTREMA" (partner mode) or "POSTA" for mail, else "IFCK" or the interface chosen in
// the list; then "DISPONIBILITA'" for an availability request, "DOCUMENTI" for a documents or PHT order
// request (each later rule wins).
struct SceltaInterfaccia {
    bool posta = false;
    bool partner = false;
    bool ifck = false;
    std::string elenco;  // the text of CmbTipoCollegamento
    bool disponibilita = false;
    bool documenti = false;
    bool ordinePht = false;
};
std::string InterfacciaDaSalvare(const SceltaInterfaccia& s);

// Host 2 or 3 as saved: the first host when it is empty after trimming.
std::string IndirizzoOPrimo(std::string_view indirizzo, std::string_view primo);

// A number field of the window and the values it accepts.
struct CampoNumerico {
    std::string_view controllo;  // the text box
    std::string_view nome;       // the field as the message names it
    int ImpostazioniGrossista::*campo;
    int minimo, massimo;
};
// The TCP port (1-65535) and the time limits, FTP delay and retries and history days (0-32767).
extern const std::vector<CampoNumerico> kCampiNumerici;

// The text of a whole number within [minimo, massimo] (blanks around it allowed), or nothing.
std::optional<int> NumeroIntero(std::string_view testo, int minimo, int massimo);

// What the window asks of the rest of the program. Each may be unset.
struct CollegamentiFrmImpostazioni {
    // The main window's menu rebuilt unlocked, so a changed description shows at once.
    std::function<void()> RicostruisciMenu;
    // Unloads the window (which runs Form_QueryUnload).
    std::function<void()> Chiudi;
};

class EventiFrmImpostazioni {
public:
    EventiFrmImpostazioni(Programma& p, View& form, CollegamentiFrmImpostazioni c = {});

    // Opens the settings of the selected slot (sGrossistaSelezionato): sPathApp/MvnConn<slot>.par.
    void Form_Load();
    // Fills the lists, reads the file into the working copy and shows it. Filling is not an edit.
    void impostaBase(int indice, const std::string& file);

    // F1 save, F3 abandon, F10 exit; the code (key + 1000 Shift + 2000 Ctrl + 3000 Alt) is written back.
    // Every other code does nothing. True.
    bool Gestisci_Tasto_Funzione(int& tasto, int shift);

    void CmdSalva_Click();
    void CmdAnnulla_Click();
    void CmdEsci_Click();
    // The close request; true cancels the close.
    bool Form_QueryUnload();

    // An edit of a control that only marks the window changed (text boxes, lists, the plain check boxes).
    void Modifica(std::string_view controllo);
    // The interlocks.
    void CmbTipoCollegamento_Click();
    void ChkRichiesta_Click(std::string_view controllo);  // ChkDisponibilita, ChkRicDocumenti, ChkOrdinePht
    void ChkCompatibilita2003_Click();
    void ChkInternet_Click();
    void ChkMisto_Click();
    void OptIFCK_Click();
    void OptOrdine_Click();
    void OptPosta_Click();

    bool Modificato() const { return modificato_; }
    const ImpostazioniGrossista& Copia() const { return copia_; }
    const std::string& FileImpostazioni() const { return file_; }

private:
    void MostraModo(std::string_view opzione);
    void MostraInternet(bool internet, bool clic);
    void LimiteCodice(bool cpj);
    bool Salva();
    void FineConfigurazione();
    bool Abbandona();

    Programma& p_;
    View& form_;
    CollegamentiFrmImpostazioni c_;
    ImpostazioniGrossista copia_;
    std::string file_;
    bool modificato_ = false;
    bool rasNonDisponibile_ = false;
};

}  // namespace morven
