#include "client/presenters/pht_order_window.h"

#include "client/engine/errors.h"
#include "client/engine/ports.h"
#include "client/engine/programma.h"
#include "client/presenters/keys.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

namespace morven {

namespace {

constexpr std::string_view kTitolo = "Emissione Ordine PHT";
constexpr int kTastoF2 = 113, kTastoF4 = 115;
constexpr int kStileUscita = 276;     // Yes and No, critical icon, No by default
constexpr int kStileAvviso = 48;      // OK, exclamation icon
constexpr int kStileErrore = 16;      // OK, critical icon

struct ControlliCornice {
    std::string_view cornice;
    std::initializer_list<std::string_view> controlli;
};
const ControlliCornice kCornici[] = {
    {"FrameCodice", {"TxtCodice", "TxtDescrizione"}},
    {"FrameRicetta", {"TxtQta", "TxtRicettaParte1", "TxtRicettaParte2"}},
    {"FrameRicerca", {"LvWProdotti", "CmdRicConferma", "CmdRicAnnulla"}},
};

std::string Testo(const ListItem& it, std::size_t i) { return i < it.texts.size() ? it.texts[i] : std::string(); }

}  // namespace

EventiFrmOrdinePht::EventiFrmOrdinePht(Programma& p, View& form, CollegamentiFrmOrdinePht c)
    : p_(p), form_(form), c_(std::move(c)) {}

void EventiFrmOrdinePht::Cornice(std::string_view cornice, bool abilitata) {
    form_.SetEnabled(cornice, abilitata);
    for (const ControlliCornice& c : kCornici)
        if (c.cornice == cornice)
            for (std::string_view n : c.controlli) form_.SetEnabled(n, abilitata);
}

void EventiFrmOrdinePht::Fuoco(std::string_view controllo) {
    if (c_.Fuoco) c_.Fuoco(controllo);
}

int EventiFrmOrdinePht::Righe(std::string_view lista) const {
    return static_cast<int>(form_.List(lista).items.size());
}

void EventiFrmOrdinePht::ChiudiRicerca() {
    Cornice("FrameRicerca", false);
    form_.SetVisible("FrameRicerca", false);
}

void EventiFrmOrdinePht::StatoQuantita(bool rigaInModifica) {
    Cornice("FrameCodice", false);
    Cornice("FrameRicetta", true);
    form_.SetEnabled("CmdCerca", false);
    form_.SetEnabled("CmdConferma", true);
    form_.SetEnabled("CmdCancella", rigaInModifica);
    Fuoco("TxtQta");
}

bool EventiFrmOrdinePht::Ricerca() const { return form_.Visible("FrameRicerca"); }

void EventiFrmOrdinePht::Form_Load() {
    EseguiProceduraVoid(p_, "Form_Load", [&] {
        p_.percorsi.sFilePht = FilePhtDelloSlot(p_.percorsi.sPathApp, p_.percorsi.sFileImpostazioni);
        emesso_ = false;
        rigaProdotto_ = -1;
        ChiudiRicerca();
        ImpostaLvWOrdine(p_, form_, "LvwOrdinePht");
        CmdAnnulla_Click();
    });
}

void EventiFrmOrdinePht::CmdAnnulla_Click() {
    EseguiProceduraVoid(p_, "CmdAnnulla_Click", [&] {
        rigaOrdine_ = -1;
        riga_ = {};
        for (std::string_view t : {"TxtCodice", "TxtDescrizione", "TxtRicettaParte1", "TxtRicettaParte2"})
            form_.SetText(t, "");
        form_.SetText("TxtQta", "1");
        Cornice("FrameCodice", true);
        Cornice("FrameRicetta", false);
        form_.SetEnabled("CmdCerca", true);
        form_.SetEnabled("CmdConferma", false);
        form_.SetEnabled("CmdCancella", false);
        form_.SetEnabled("CmdEmettiOrdine", Righe("LvwOrdinePht") > 0);
        Fuoco("TxtCodice");
    });
}

void EventiFrmOrdinePht::CmdCerca_Click() {
    EseguiProceduraVoid(p_, "CmdCerca_Click", [&] {
        const std::string filtro = FiltroRicercaPht(form_.Text("TxtCodice"), form_.Text("TxtDescrizione"));
        rigaProdotto_ = -1;
        if (!PopolaLvWProdottiPht(p_, form_, "LvWProdotti", p_.percorsi.sFilePht, filtro))
            p_.MsgBox().MsgBox("Archivio prodotti PHT non disponibile: " + p_.percorsi.sFilePht, kStileAvviso,
                               kTitolo, &form_);
        Cornice("FrameRicerca", true);
        form_.SetVisible("FrameRicerca", true);
        form_.SetEnabled("CmdRicConferma", false);
        Fuoco("LvWProdotti");
    });
}

void EventiFrmOrdinePht::LeggiProdotto(int riga) {
    const ListItem& it = form_.List("LvWProdotti").items.at(static_cast<std::size_t>(riga));
    riga_.sCodicePht = Testo(it, 0);
    riga_.sDescrizionePht = Testo(it, 1);
}

void EventiFrmOrdinePht::LvWProdotti_DblClick(int riga) {
    EseguiProceduraVoid(p_, "LvWProdotti_DblClick", [&] {
        if (riga < 0 || riga >= Righe("LvWProdotti")) return;
        rigaProdotto_ = riga;
        LeggiProdotto(riga);
        form_.SetEnabled("CmdRicConferma", true);
    });
}

void EventiFrmOrdinePht::LvWProdotti_Selezione(int riga) {
    if (Ricerca()) LvWProdotti_DblClick(riga);
}

void EventiFrmOrdinePht::CmdRicConferma_Click() {
    EseguiProceduraVoid(p_, "CmdRicConferma_Click", [&] {
        if (rigaProdotto_ < 0) {
            const int scelta = form_.List("LvWProdotti").selected;
            if (scelta < 0 || scelta >= Righe("LvWProdotti")) return;  // nothing picked: nothing to take
            LeggiProdotto(scelta);
        }
        rigaProdotto_ = -1;
        form_.SetText("TxtCodice", riga_.sCodicePht);
        form_.SetText("TxtDescrizione", riga_.sDescrizionePht);
        ChiudiRicerca();
        StatoQuantita(false);
    });
}

void EventiFrmOrdinePht::CmdRicAnnulla_Click() {
    EseguiProceduraVoid(p_, "CmdRicAnnulla_Click", [&] {
        rigaProdotto_ = -1;
        ChiudiRicerca();
        Fuoco("TxtCodice");
    });
}

void EventiFrmOrdinePht::CmdConferma_Click() {
    EseguiProceduraVoid(p_, "CmdConferma_Click", [&] {
        RigaOrdinePht r = riga_;
        r.sQuantitaPht = Trim(form_.Text("TxtQta"));
        r.sCodiceRicettario = Trim(form_.Text("TxtRicettaParte1"));
        r.sCodiceRegione = Trim(form_.Text("TxtRicettaParte2"));
        if (const auto errore = ErroreRigaPht(r)) {
            p_.MsgBox().MsgBox(*errore, kStileAvviso, kTitolo, &form_);
            Fuoco("TxtQta");
            return;
        }
        riga_ = r;
        const bool fatto = rigaOrdine_ >= 0 ? ModificaRigaLvWOrdine(p_, form_, "LvwOrdinePht", rigaOrdine_, r)
                                            : AggiungiRigaLvWOrdine(p_, form_, "LvwOrdinePht", r);
        if (fatto) CmdAnnulla_Click();
    });
}

void EventiFrmOrdinePht::LvwOrdinePht_DblClick(int riga) {
    EseguiProceduraVoid(p_, "LvwOrdinePht_DblClick", [&] {
        if (riga < 0 || riga >= Righe("LvwOrdinePht")) return;
        rigaOrdine_ = riga;
        const ListItem& it = form_.List("LvwOrdinePht").items[static_cast<std::size_t>(riga)];
        riga_ = {Testo(it, 0), Testo(it, 1), Testo(it, 2), Testo(it, 3), Testo(it, 4)};
        form_.SetText("TxtCodice", riga_.sCodicePht);
        form_.SetText("TxtDescrizione", riga_.sDescrizionePht);
        form_.SetText("TxtQta", riga_.sQuantitaPht);
        form_.SetText("TxtRicettaParte1", riga_.sCodiceRicettario);
        form_.SetText("TxtRicettaParte2", riga_.sCodiceRegione);
        StatoQuantita(true);
    });
}

void EventiFrmOrdinePht::CmdCancella_Click() {
    EseguiProceduraVoid(p_, "CmdCancella_Click", [&] {
        if (rigaOrdine_ < 0) return;
        if (CancellaRigaLvWOrdine(p_, form_, "LvwOrdinePht", rigaOrdine_)) CmdAnnulla_Click();
    });
}

void EventiFrmOrdinePht::CmdEmettiOrdine_Click() {
    EseguiProceduraVoid(p_, "CmdEmettiOrdine_Click", [&] {
        const auto righe = RigheOrdinePht(form_.List("LvwOrdinePht"));
        if (righe.empty()) return;  // an empty order is never emitted
        const std::string file = JoinPath(p_.percorsi.sPathApp, p_.opzioni.sFileIFCKIn);
        if (!EmettiOrdinePHTLvW(p_, righe, file, TestataDaImpostazioni(p_.impostazioni))) {
            p_.MsgBox().MsgBox("Impossibile scrivere l'ordine PHT " + file, kStileErrore, kTitolo, &form_);
            return;
        }
        emesso_ = true;
        if (c_.Chiudi) c_.Chiudi();
    });
}

void EventiFrmOrdinePht::CmdUscita_Click() {
    EseguiProceduraVoid(p_, "CmdUscita_Click", [&] {
        if (p_.MsgBox().MsgBox("Confermi Uscita", kStileUscita, kTitolo, &form_) != vbYes) return;
        if (c_.Chiudi) c_.Chiudi();
    });
}

void EventiFrmOrdinePht::TxtRicerca_KeyPress(int carattere) {
    if (carattere == 13 && !Ricerca() && form_.Enabled("CmdCerca")) CmdCerca_Click();
}

bool EventiFrmOrdinePht::Gestisci_Tasto_Funzione(int& tasto, int shift) {
    EseguiProceduraVoid(p_, "Gestisci_Tasto_Funzione", [&] {
        tasto = CodiceTasto(tasto, shift);
        const bool ricerca = Ricerca();
        struct Azione {
            int codice;
            bool inRicerca;
            std::string_view pulsante;
            void (EventiFrmOrdinePht::*clic)();
        };
        static constexpr Azione kAzioni[] = {
            {kTastoF1, false, "CmdConferma", &EventiFrmOrdinePht::CmdConferma_Click},
            {kTastoF1, true, "CmdRicConferma", &EventiFrmOrdinePht::CmdRicConferma_Click},
            {kTastoF1 + 2000, false, "CmdEmettiOrdine", &EventiFrmOrdinePht::CmdEmettiOrdine_Click},
            {kTastoF2, false, "CmdCerca", &EventiFrmOrdinePht::CmdCerca_Click},
            {kTastoF3, false, "CmdAnnulla", &EventiFrmOrdinePht::CmdAnnulla_Click},
            {kTastoF3, true, "CmdRicAnnulla", &EventiFrmOrdinePht::CmdRicAnnulla_Click},
            {kTastoF4, false, "CmdCancella", &EventiFrmOrdinePht::CmdCancella_Click},
            {kTastoF10, false, "CmdUscita", &EventiFrmOrdinePht::CmdUscita_Click},
            {kTastoF10, true, "CmdUscita", &EventiFrmOrdinePht::CmdUscita_Click},
        };
        for (const Azione& a : kAzioni) {
            if (a.codice != tasto || a.inRicerca != ricerca) continue;
            if (form_.Visible(a.pulsante) && form_.Enabled(a.pulsante)) (this->*a.clic)();
            return;
        }
    });
    return true;
}

}  // namespace morven
