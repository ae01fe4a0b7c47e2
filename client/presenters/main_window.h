// The main window's behaviour, without widgets: its start-up (Form_Load), the shortage dialogue with its
// buttons and function keys, the timers, the closing question, the wholesaler menu, the embedded browser's
// navigation error, the answer shown at the end of a session and the list's sort and double-click. The Qt
// window (client/windows) forwards its events here and implements the two ports it uses: the engine's View
// (named controls, Timer1 and Timer4 as controls with Enabled and Value = interval) and VistaRisposte (the
// answer list and the documents tree).
#pragma once

#include "client/session/answer_display.h"
#include "client/session/answer_documents.h"
#include "client/session/answer_lists.h"
#include "client/session/log_sink.h"

#include <functional>
#include <string>
#include <string_view>

namespace morven {

struct Programma;
class View;

// The program's own version, shown by the information window (" Versione  1.0.0").
inline constexpr int kVersioneMaggiore = 1, kVersioneMinore = 0, kVersioneRevisione = 0;
std::string TestoVersione();

// Timer intervals, milliseconds.
inline constexpr int kIntervalloMenu = 100;        // Timer1 after a connect entry of the menu
inline constexpr int kIntervalloInvioOrdine = 100; // Timer4 after an IFCK confirm
inline constexpr int kAttesaFineBatch = 3000;      // batch run: end after confirm or refuse

// Where the main window shows a received answer.
class VistaRisposte {
public:
    virtual ~VistaRisposte() = default;
    // LVWMancanti: columns, rows (texts, colours, image), appearance and column widths of the model.
    virtual void MostraLista(const ModelloLista& lista) = 0;
    // Index in the shown model's rows of the selected row; -1 when none.
    virtual int RigaSelezionata() const = 0;
    // TreeView1.
    virtual void MostraDocumenti(const ModelloDocumenti& documenti) = 0;
};

// The other windows and procedures the main window starts. Each may be unset: the main window then logs that
// the window is not available and goes on.
struct CollegamentiFrmMorven {
    // FrmImpostazioni for sGrossistaSelezionato (modal from the menu; not modal in a configuration-only run).
    std::function<void(bool modale)> MostraImpostazioni;
    // frmSplash with the version text.
    std::function<void(const std::string& testo)> MostraInformazioni;
    // FrmDettaglioOfferta: product code, offer file, requested quantity; returns the chosen quantity.
    std::function<int(const std::string& codice, const std::string& fileOfferte, int quantita)> DettaglioOfferta;
    // frmbrowser showing a page: the navigate button's page when the external browser can't show it.
    std::function<void(const std::string& indirizzo)> MostraPagina;
    // The call driver; false when no call was made.
    std::function<bool(Programma&, std::string& slot)> SceltaChiamata;
    // The session state machine (the second session of an IFCK confirm).
    std::function<bool(Programma&)> LoopTrasmissione;
    // Writes the order file of an IFCK confirm from the list; false when not written. Unset: CreaOrdine.
    std::function<bool(Programma&, const ModelloLista&)> CreaOrdine;
    // Sends one line to the wholesaler; false when it did not go.
    std::function<bool(Programma&, std::string_view)> ScriviComm;
};

class EventiFrmMorven : public MostraRisposte {
public:
    EventiFrmMorven(Programma& p, View& form, VistaRisposte& risposte, CollegamentiFrmMorven collegamenti = {});

    // Start-up: the whole load step, with the program's argument text (arguments joined by blanks).
    // sPathApp is set by the caller before.
    void Form_Load(std::string_view argomenti);

    // Function keys: the code (written back into `tasto`) presses its button: F1 and F3 only while their
    // button is visible and enabled, F5 always, F10 except while a call runs. True.
    bool Gestisci_Tasto_Funzione(int& tasto, int shift);

    // Confirm and refuse act only while their button is offered: an answer is confirmed or refused once,
    // and only from the dialogue on screen. The heading then says what was done.
    void CmdConferma_Click();
    void CmdAnnulla_Click();
    void CmdChiudi_Click(int indice);
    void CmdNaviga_Click();

    // The close box: the window never closes by itself (true = cancel the close); the closing question runs.
    bool Form_QueryUnload();
    void fine_lavoro();

    void Timer1_Timer();
    void Timer4_Timer();

    void SmartMenu_ItemClick(std::string_view chiave);

    // WebBrowser1 failed to show `indirizzo`.
    void WebBrowser1_NavigateError(std::string_view indirizzo);

    // Column header click (0 = first column): sorted ascending on that column, every time.
    void LVWMancanti_ColumnClick(int colonna);
    void LVWMancanti_DblClick();

    // End of a shortage or availability session (step 46): the answer list, its labels and, after an order
    // answer, the messages. The confirm button stays only when the whole list was read. Result: the list's.
    bool MostraRispostaMancanti() override;
    // End of a documents or messages session (step 45): the documents tree (when documents were asked for)
    // and the messages.
    void MostraRispostaDocumenti() override;

    // Rebuilds the wholesaler menu: the connect entries are locked while a call runs or an answer waits for
    // the pharmacist's confirm or refuse, the settings entries only while a call runs.
    void AggiornaMenu();
    // A call (or the order session of a confirm) is armed (Timer1, Timer4) or running.
    bool ChiamataInCorso() const;
    // The availability answer is on screen and not yet confirmed or refused.
    bool RispostaInAttesa() const;

    const ModelloLista& Lista() const { return lista_; }
    // The function log as a sink for the answer readers.
    LogFunzione Log() const;

private:
    bool LineaPersa();
    void FinePulsanti();
    bool Invia(std::string_view riga);
    void FineBatch();
    void Termina();
    bool Offerto(std::string_view pulsante) const;
    // The idle window: a call that was not made leaves nothing of its connection phase on screen.
    void MostraRiposo();

    Programma& p_;
    View& form_;
    VistaRisposte& risposte_;
    CollegamentiFrmMorven c_;
    ModelloLista lista_;
    bool chiamataInCorso_ = false;  // Timer1's call or Timer4's order session is running
    bool timer1Armato_ = false, timer4Armato_ = false;
    bool rispostaInAttesa_ = false;  // the availability answer shown, not yet confirmed or refused
};

// A main-window view that carries the window's behaviour, so that the session loop's end steps reach the
// answer displays through RiferimentiOggetti::oFrmMorven.
class ConEventiFrmMorven : public ConMostraRisposte {
public:
    virtual EventiFrmMorven* EventiFinestra() = 0;
    MostraRisposte* RisposteFinestra() final { return EventiFinestra(); }
};

}  // namespace morven
