// The two small request windows of a call, without widgets: the document request FrmRicDocumenti (which
// document, its references and date) and the message composer FrmMessaggio (the four message lines sent
// with an order). The Qt forms (client/windows) forward their events here and implement the View over
// their controls; the results go into the program's RichiestaDocumento, bRichDocs and RigheMessaggio as the
// call driver reads them.
#pragma once

#include "client/engine/state.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace morven {

struct Programma;
class View;

// A request window in a batch run waits for the pharmacist only where there is a screen: without one (no
// display, or the offscreen or minimal platform) it is answered as cancelled at once. `piattaforma` is the
// window system's name, `schermo` whether it has a screen at all.
bool RichiestaSenzaPersona(bool bBlkRun, std::string_view piattaforma, bool schermo);

// The option buttons of the document kind, in the window's order.
inline constexpr std::string_view kOpzioniDocumento[] = {"OptDDt", "OptFatture", "OptDDtFatture", "OptListino",
                                                          "OptTrattatiPHT"};

class EventiFrmRicDocumenti {
public:
    // `chiudi` closes the window (unset: nothing closes, as in tests).
    EventiFrmRicDocumenti(Programma& p, View& form, std::function<void()> chiudi = {});

    // Price list chosen, reference fields empty, disabled and grey, the date picker disabled on today.
    void Form_Load();
    // An option button chosen: the three text boxes emptied, the fields the option uses enabled.
    void Opzione_Click(std::string_view opzione);
    // Stores the references and the kind chosen, then closes.
    void CmdConferma_Click();
    // Clears the four request flags (the call is cancelled), then closes.
    void CmdAnnulla_Click();
    // F1 confirm, F3 cancel; the code (key + 1000 Shift + 2000 Ctrl + 3000 Alt) is written back. True.
    bool Gestisci_Tasto_Funzione(int& tasto, int shift);

private:
    std::string OpzioneScelta() const;
    Programma& p_;
    View& form_;
    std::function<void()> chiudi_;
};

// The cancellation of a document request: the four request flags cleared.
void AnnullaRichiestaDocumento(Programma& p);

// The four message lines of a composed text, or nothing when the text is blank (the lines stay as they
// were). A text with line breaks (CR LF, LF or CR) gives one line per line, each but the last of the text
// followed by a blank, at most four; a text without gives 80-character pieces, at most three.
std::optional<RigheMessaggio> DividiMessaggio(std::string_view testo);

class EventiFrmMessaggio {
public:
    EventiFrmMessaggio(Programma& p, View& form, std::function<void()> chiudi = {});

    void Form_Load();
    // The text of Imessaggio into the message lines (a blank text changes nothing), then closes.
    void CmdConferma_Click();
    // Closes; the lines keep their values.
    void CmdAnnulla_Click();
    bool Gestisci_Tasto_Funzione(int& tasto, int shift);

private:
    Programma& p_;
    View& form_;
    std::function<void()> chiudi_;
};

}  // namespace morven
