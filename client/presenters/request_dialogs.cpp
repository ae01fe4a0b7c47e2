#include "client/presenters/request_dialogs.h"

#include "client/engine/errors.h"
#include "client/engine/ports.h"
#include "client/engine/programma.h"
#include "client/presenters/keys.h"
#include "client/presenters/pht_order.h"
#include "platform/core/clock.h"
#include "platform/core/text.h"

namespace morven {

namespace {

constexpr std::uint32_t kBianco = 0xFFFFFF;
constexpr std::uint32_t kGrigio = 0x80000000;  // the system colour of a disabled field
constexpr int kOpzioneScelta = -1;             // an option button's value when it is chosen

// A key runs its button's click only when the button is shown and enabled.
bool Attivo(const View& form, std::string_view pulsante) { return form.Visible(pulsante) && form.Enabled(pulsante); }

// Which fields an option fills: the order number, the document series and number, the date.
struct CampiOpzione {
    std::string_view opzione;
    bool ordine, documento, data;
};
constexpr CampiOpzione kCampiOpzione[] = {
    {"OptDDt", true, true, true},           {"OptFatture", true, true, true},
    {"OptDDtFatture", false, true, true},   {"OptListino", false, false, false},
    {"OptTrattatiPHT", false, false, false},
};

void Campo(View& form, std::string_view nome, bool abilitato) {
    form.SetText(nome, "");
    form.SetEnabled(nome, abilitato);
    form.SetBackColor(nome, abilitato ? kBianco : kGrigio);
}

// F1 confirms, F3 cancels, through their buttons; every other code does nothing. True.
template <class Conferma, class Annulla>
bool TastiConfermaAnnulla(Programma& p, const View& form, int& tasto, int shift, Conferma conferma, Annulla annulla) {
    EseguiProceduraVoid(p, "Gestisci_Tasto_Funzione", [&] {
        tasto = CodiceTasto(tasto, shift);
        if (tasto == kTastoF1 && Attivo(form, "CmdConferma")) conferma();
        else if (tasto == kTastoF3 && Attivo(form, "CmdAnnulla")) annulla();
    });
    return true;
}

std::string Data(const DateTime& t) {
    return PadLeft(t.day, 2, "0") + "/" + PadLeft(t.month, 2, "0") + "/" + PadLeft(t.year, 4, "0");
}

}  // namespace

bool RichiestaSenzaPersona(bool bBlkRun, std::string_view piattaforma, bool schermo) {
    if (!bBlkRun) return false;
    return !schermo || piattaforma == "offscreen" || piattaforma == "minimal";
}

EventiFrmRicDocumenti::EventiFrmRicDocumenti(Programma& p, View& form, std::function<void()> chiudi)
    : p_(p), form_(form), chiudi_(std::move(chiudi)) {}

void EventiFrmRicDocumenti::Form_Load() {
    EseguiProceduraVoid(p_, "Form_Load", [&] {
        for (std::string_view o : kOpzioniDocumento) form_.SetValue(o, o == "OptListino" ? kOpzioneScelta : 0);
        for (std::string_view c : {"TxtNumeroOrdine", "TxtSiglaDocumento", "TxtNumeroDocumento"}) Campo(form_, c, false);
        form_.SetEnabled("DTDataDocumento", false);
        form_.SetText("DTDataDocumento", Data(p_.Orologio().Now()));
    });
}

void EventiFrmRicDocumenti::Opzione_Click(std::string_view opzione) {
    EseguiProceduraVoid(p_, "Opzione_Click", [&] {
        for (const CampiOpzione& c : kCampiOpzione) {
            if (c.opzione != opzione) continue;
            for (std::string_view o : kOpzioniDocumento) form_.SetValue(o, o == opzione ? kOpzioneScelta : 0);
            Campo(form_, "TxtNumeroOrdine", c.ordine);
            Campo(form_, "TxtSiglaDocumento", c.documento);
            Campo(form_, "TxtNumeroDocumento", c.documento);
            form_.SetEnabled("DTDataDocumento", c.data);
        }
    });
}

std::string EventiFrmRicDocumenti::OpzioneScelta() const {
    for (std::string_view o : kOpzioniDocumento)
        if (form_.Value(o) != 0) return std::string(o);
    return "OptListino";  // the window always has one chosen; opening chooses the price list
}

void EventiFrmRicDocumenti::CmdConferma_Click() {
    EseguiProceduraVoid(p_, "CmdConferma_Click", [&] {
        auto& r = p_.richiesta;
        bool& docs = p_.impostazioni.bRichDocs;
        r.sNumeroOrdine = Trim(form_.Text("TxtNumeroOrdine"));
        r.sNumeroDocumento = Trim(form_.Text("TxtNumeroDocumento"));
        r.sSiglaDocumento = Trim(form_.Text("TxtSiglaDocumento"));
        r.sDataDocumento = form_.Text("DTDataDocumento");
        const std::string o = OpzioneScelta();
        if (o == "OptDDtFatture") {
            docs = true;
            r.sTipoDocumento = "0";
        } else if (o == "OptDDt" || o == "OptFatture") {
            docs = true;
            r.bRichAltro = r.bRichTrattatiPht = r.bRichListino = false;
            r.sTipoDocumento = o == "OptDDt" ? "1" : "2";
        } else {
            docs = r.bRichAltro = false;
            r.bRichListino = o == "OptListino";
            r.bRichTrattatiPht = o == "OptTrattatiPHT";
            r.sTipoListino = "C";
        }
        if (chiudi_) chiudi_();
    });
}

void AnnullaRichiestaDocumento(Programma& p) {
    p.richiesta.bRichListino = p.richiesta.bRichAltro = p.richiesta.bRichTrattatiPht = false;
    p.impostazioni.bRichDocs = false;
}

void EventiFrmRicDocumenti::CmdAnnulla_Click() {
    EseguiProceduraVoid(p_, "CmdAnnulla_Click", [&] {
        AnnullaRichiestaDocumento(p_);
        if (chiudi_) chiudi_();
    });
}

bool EventiFrmRicDocumenti::Gestisci_Tasto_Funzione(int& tasto, int shift) {
    return TastiConfermaAnnulla(p_, form_, tasto, shift, [this] { CmdConferma_Click(); }, [this] { CmdAnnulla_Click(); });
}

std::optional<RigheMessaggio> DividiMessaggio(std::string_view testo) {
    if (Trim(testo).empty()) return std::nullopt;
    RigheMessaggio m;
    std::string* righe[] = {&m.sMes1, &m.sMes2, &m.sMes3, &m.sMes4};
    if (testo.find_first_of("\r\n") != std::string_view::npos) {
        for (std::string* riga : righe) {
            const std::size_t a = testo.find_first_of("\r\n");
            if (a == std::string_view::npos) {
                *riga = std::string(testo);
                testo = {};
                continue;
            }
            *riga = std::string(testo.substr(0, a)) + " ";
            const std::size_t dopo = a + (testo[a] == '\r' && a + 1 < testo.size() && testo[a + 1] == '\n' ? 2 : 1);
            testo.remove_prefix(dopo);
        }
    } else {
        m.sMes1 = Mid(testo, 1, 80);
        m.sMes2 = Mid(testo, 81, 80);
        m.sMes3 = Mid(testo, 161, 80);
    }
    return m;
}

EventiFrmMessaggio::EventiFrmMessaggio(Programma& p, View& form, std::function<void()> chiudi)
    : p_(p), form_(form), chiudi_(std::move(chiudi)) {}

void EventiFrmMessaggio::Form_Load() {
    EseguiProceduraVoid(p_, "Form_Load", [&] { form_.SetText("Imessaggio", ""); });
}

void EventiFrmMessaggio::CmdConferma_Click() {
    EseguiProceduraVoid(p_, "CmdConferma_Click", [&] {
        if (auto m = DividiMessaggio(form_.Text("Imessaggio"))) p_.messaggio = std::move(*m);
        if (chiudi_) chiudi_();
    });
}

void EventiFrmMessaggio::CmdAnnulla_Click() {
    EseguiProceduraVoid(p_, "CmdAnnulla_Click", [&] {
        if (chiudi_) chiudi_();
    });
}

bool EventiFrmMessaggio::Gestisci_Tasto_Funzione(int& tasto, int shift) {
    return TastiConfermaAnnulla(p_, form_, tasto, shift, [this] { CmdConferma_Click(); }, [this] { CmdAnnulla_Click(); });
}

}  // namespace morven
