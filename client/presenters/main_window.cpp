#include "client/presenters/main_window.h"

#include "client/engine/helpers.h"
#include "client/engine/logs.h"
#include "client/engine/markers.h"
#include "client/engine/message_box.h"
#include "client/engine/programma.h"
#include "client/presenters/browser_window.h"
#include "client/session/ifck_request.h"
#include "client/presenters/keys.h"
#include "client/session/layout.h"
#include "client/engine/menu.h"
#include "client/session/startup.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

#include <cstdlib>
#include <filesystem>

namespace morven {

namespace {

constexpr std::string_view kTitoloConferma = "Errore in Conferma";
// The heading once the answer was dealt with.
constexpr std::string_view kConfermaInviata = "Conferma Inviata";
constexpr std::string_view kOrdineConfermato = "Ordine Confermato";
constexpr std::string_view kRispostaRifiutata = "Risposta Rifiutata";
constexpr std::string_view kRifiutoNonInviato = "Risposta Rifiutata, Linea Non Disponibile";
constexpr std::string_view kTitoloRiposo = "Morven";
constexpr std::string_view kDescrizioneRiposo = "Scegliere il grossista dal menu Collegamento";

void NonDisponibile(Programma& p, std::string_view procedura, std::string_view cosa) {
    ScriviLogFunzione(p, std::string(procedura) + " :" + std::string(cosa) + " non disponibile");
}

}  // namespace

std::string TestoVersione() {
    return " Versione  " + std::to_string(kVersioneMaggiore) + "." + std::to_string(kVersioneMinore) + "." +
           std::to_string(kVersioneRevisione);
}

EventiFrmMorven::EventiFrmMorven(Programma& p, View& form, VistaRisposte& risposte, CollegamentiFrmMorven c)
    : p_(p), form_(form), risposte_(risposte), c_(std::move(c)) {}

LogFunzione EventiFrmMorven::Log() const {
    Programma* p = &p_;
    return [p](std::string_view m) { ScriviLogFunzione(*p, m); };
}

void EventiFrmMorven::Form_Load(std::string_view argomenti) {
    EseguiProceduraVoid(p_, "Form_Load", [&] {
        ImpostazioniGrossista& s = p_.impostazioni;
        OpzioniAvvio& o = p_.opzioni;
        StatoSessione& st = p_.sessione;

        form_.SetEnabled("Timer1", false);
        s.bDispOrdine = {false, false, false};
        s.bModoInternet = s.bModoMisto = s.bDispBrowser = s.bDispBrowserEsterno = s.bCloseRas = false;
        st.bUpgradeRicevuto = false;
        s.bDisponibilita = false;
        o.bRichDisp = o.bRitentaMancanti = o.bDebug = o.bDebugAvvio = false;
        s.bTcpDir = false;
        st.bInvioInCorso = st.bRicezioneInCorso = false;
        o.bBlkCfg = o.bModoPartner = o.bBDati = false;
        o.sSorgenteIFCK = "MORVEN";
        o.sFileIFCKIn.clear();
        o.sFileIFCKOut.clear();

        form_.SetCaption("Morven []");

        std::string vuoto;
        ImpostaMainBrowser(p_, vuoto, "NONE", true);
        MostraRiposo();

        const std::string news = p_.percorsi.sPathApp + "/news";
        if (!FindNameNoCase(p_.percorsi.sPathApp, "news")) {
            std::string cartella = news;
            CreaDir(p_, cartella);
        }
        const std::string fine = p_.percorsi.sPathApp + "/MorvenClient.end";
        if (FileExists(fine)) std::filesystem::remove(fine);

        s.nTimeMaxRxP = 1800;
        s.nTimeMaxTxP = 1800;
        s.nTimeMaxOrd = 600;
        o.bBlkRun = false;
        s.bCPJ = s.bCPJAAAA = s.bCsf = s.bOpzioneTestata3 = false;
        st.bConnessioneChiusa = false;
        o.bComponiNumero = true;

        const std::string riga = RigaComandoAvvio(LeggiOpzioni(p_), argomenti);
        const ComandoAvvio comando = AnalizzaRigaComando(riga);
        for (const std::string& r : comando.rifiutati) ScriviLogFunzione(p_, "Form_Load :switch non valido " + r);

        // The switches matched without case come first, then the menu and the log clean-up, then the rest:
        // they touch different fields, so applying them together keeps that order's outcome.
        ApplicaComandoAvvio(p_, comando);
        ImpostaElencoConnessioni(p_, form_, false);
        PulisciLog(p_, 30);

        if (comando.bTimer1) {
            form_.SetValue("Timer1", comando.nIntervalloTimer1);
            form_.SetEnabled("Timer1", true);
            timer1Armato_ = true;
        }
        if (comando.bBlkCfg) {
            form_.Hide();
            if (c_.MostraImpostazioni)
                c_.MostraImpostazioni(false);
            else
                NonDisponibile(p_, "Form_Load", "FrmImpostazioni");
        }
    });
}

bool EventiFrmMorven::Gestisci_Tasto_Funzione(int& tasto, int shift) {
    EseguiProceduraVoid(p_, "Gestisci_Tasto_Funzione", [&] {
        tasto = CodiceTasto(tasto, shift);
        const std::string pulsante = PulsanteDelTasto(form_, tasto);
        if (pulsante == "CmdConferma") CmdConferma_Click();
        else if (pulsante == "CmdAnnulla") CmdAnnulla_Click();
        else if (pulsante == "CmdNaviga") CmdNaviga_Click();
        // Not in the middle of a call: the wholesaler would be left with half an exchange.
        else if (pulsante == "CmdChiudi(0)" && !ChiamataInCorso()) CmdChiudi_Click(0);
    });
    return true;
}

void EventiFrmMorven::MostraRiposo() {
    // The idle window names itself and says where a call starts.
    ImpostaVisualizzazione(p_, form_, kFaseAvvio, kTitoloRiposo, kDescrizioneRiposo);
}

bool EventiFrmMorven::Offerto(std::string_view pulsante) const {
    return form_.Visible(pulsante) && form_.Enabled(pulsante);
}

bool EventiFrmMorven::ChiamataInCorso() const {
    return chiamataInCorso_ || timer1Armato_ || timer4Armato_;
}

bool EventiFrmMorven::RispostaInAttesa() const { return rispostaInAttesa_; }

void EventiFrmMorven::AggiornaMenu() {
    const bool chiamata = ChiamataInCorso();
    ImpostaElencoConnessioni(p_, form_, chiamata || RispostaInAttesa(), chiamata);
}

void EventiFrmMorven::FinePulsanti() {
    rispostaInAttesa_ = false;
    form_.SetEnabled("Timer4", false);
    timer4Armato_ = false;
    form_.SetEnabled("CmdChiudi(0)", true);
    form_.SetVisible("CmdAnnulla", false);
    form_.SetVisible("CmdConferma", false);
}

bool EventiFrmMorven::LineaPersa() {
    if (!p_.impostazioni.bModoInternet) return !p_.MSComm().CDHolding();
    // Over TCP a socket that is not connected, or that the peer closed, is a lost line as well.
    return p_.Winsock().State() != TcpSocket::sckConnected || p_.sessione.bConnessioneChiusa;
}

bool EventiFrmMorven::Invia(std::string_view riga) {
    if (!c_.ScriviComm) {
        NonDisponibile(p_, "ScriviComm", "linea");
        return false;
    }
    return c_.ScriviComm(p_, riga);
}

void EventiFrmMorven::Termina() {
    if (!p_.sessione.bProgrammaTerminato) TerminaProgramma(p_);
}

void EventiFrmMorven::FineBatch() {
    if (!p_.opzioni.bBlkRun || p_.sessione.bProgrammaTerminato) return;
    WaitMilliseconds(p_, kAttesaFineBatch);
    Termina();
}

void EventiFrmMorven::CmdConferma_Click() {
    EseguiProceduraVoid(p_, "CmdConferma_Click", [&] {
        if (!Offerto("CmdConferma")) return;
        FinePulsanti();
        if (!p_.impostazioni.bModeIFCK) {
            const bool persa = LineaPersa();
            // A line that refuses the answer is lost as well: "6UUU" is never reported as sent when it was not.
            if (persa || !Invia("6UUU")) {
                RicDispAggiornaMancanti(p_);
                p_.MsgBox().MsgBox("Errore di Connessione\r\nNon e' stato possibile confermare l'ordine.",
                                   kMbOk + kMbIconStop, kTitoloConferma, &form_);
                Termina();
                return;
            }
            form_.SetText("LblSpazioRosso", kConfermaInviata);
            AggiornaMenu();
            FineBatch();
            return;
        }
        p_.impostazioni.bDisponibilita = false;
        OpzioniAvvio& o = p_.opzioni;
        o.sFileIFCKIn = Left(o.sFileIFCKIn, 4) + "02" + Mid(o.sFileIFCKIn, 7);
        o.sFileIFCKOut = Left(o.sFileIFCKOut, 4) + "02" + Mid(o.sFileIFCKOut, 7);
        const bool scritto = c_.CreaOrdine ? c_.CreaOrdine(p_, lista_) : CreaOrdine(p_, lista_);
        if (scritto) {
            form_.SetText("LblSpazioRosso", kOrdineConfermato);
            form_.SetValue("Timer4", kIntervalloInvioOrdine);
            form_.SetEnabled("Timer4", true);
            timer4Armato_ = true;
            // The order's session is on its way: the menu stays locked until it ends.
            AggiornaMenu();
        } else {
            p_.MsgBox().MsgBox("Errore Generazione Ordine\r\nNon e' stato possibile Generare l'ordine.",
                               kMbOk + kMbIconStop, kTitoloConferma, &form_);
        }
    });
}

void EventiFrmMorven::CmdAnnulla_Click() {
    EseguiProceduraVoid(p_, "CmdAnnulla_Click", [&] {
        if (!Offerto("CmdAnnulla")) return;
        FinePulsanti();
        RicDispAggiornaMancanti(p_);
        const bool inviato = Invia("6NNN");
        // An IFCK answer came in a session that is over: refusing it sends nothing, nothing is ordered.
        form_.SetText("LblSpazioRosso", inviato || p_.impostazioni.bModeIFCK ? kRispostaRifiutata : kRifiutoNonInviato);
        AggiornaMenu();
        FineBatch();
    });
}

void EventiFrmMorven::CmdChiudi_Click(int) { TerminaProgramma(p_); }

void EventiFrmMorven::CmdNaviga_Click() {
    if (MostraBrowser(p_, p_.percorsi.sUltimoUrl) == -1) return;
    // Without an external browser (none found, or it would not start) the program's own browser window
    // shows the page.
    if (c_.MostraPagina) c_.MostraPagina(PaginaBrowserInterno(p_));
}

bool EventiFrmMorven::Form_QueryUnload() {
    fine_lavoro();
    return true;
}

void EventiFrmMorven::fine_lavoro() {
    EseguiProceduraVoid(p_, "fine_lavoro", [&] {
        const int r = p_.MsgBox().MsgBox("Confermi Uscita dal Programma", kMbOkCancel + kMbIconExclamation,
                                         "Fine Lavoro", &form_);
        if (r != kMsgOk) return;
        if (SerialPort* com = p_.oggetti.oMSComm; com && com->PortOpen()) com->SetPortOpen(false);
        TerminaProgramma(p_);
    });
}

void EventiFrmMorven::Timer1_Timer() {
    EseguiProceduraVoid(p_, "Timer1_Timer", [&] {
        form_.SetEnabled("Timer1", false);
        timer1Armato_ = false;
        chiamataInCorso_ = true;
        AggiornaMenu();
        bool chiamata = false;
        if (c_.SceltaChiamata)
            chiamata = c_.SceltaChiamata(p_, p_.opzioni.sGrossistaSelezionato);
        else
            NonDisponibile(p_, "Timer1_Timer", "SceltaChiamata");
        chiamataInCorso_ = false;
        if (p_.sessione.bProgrammaTerminato) return;
        // No call made (refused, or a request window left without a request): the window is idle again.
        if (!chiamata) MostraRiposo();
        // The menu comes back, its connect entries once an answer on screen was confirmed or refused.
        AggiornaMenu();
    });
    chiamataInCorso_ = false;  // also when the call failed on its way
}

void EventiFrmMorven::Timer4_Timer() {
    EseguiProceduraVoid(p_, "Timer4_Timer", [&] {
        if (p_.impostazioni.bModeIFCK && !p_.impostazioni.bDisponibilita) {
            ImpostaVisualizzazione(p_, form_, kFaseCollegamento, "Collegamento", p_.impostazioni.sConnect);
            p_.sessione.bConnessioneChiusa = false;
            form_.SetEnabled("Timer4", false);
            timer4Armato_ = false;
            chiamataInCorso_ = true;
            AggiornaMenu();
            if (c_.LoopTrasmissione)
                c_.LoopTrasmissione(p_);
            else
                NonDisponibile(p_, "Timer4_Timer", "LoopTrasmissione");
            chiamataInCorso_ = false;
            if (!p_.sessione.bProgrammaTerminato) AggiornaMenu();
            return;
        }
        form_.SetEnabled("Timer4", false);
        timer4Armato_ = false;
        RicDispAggiornaMancanti(p_);
        p_.MsgBox().MsgBox("Tempo Scaduto\r\nNon e' piu' possibile confermare l'ordine.", kMbOk + kMbIconStop,
                           kTitoloConferma, &form_);
        TerminaProgramma(p_);
    });
    chiamataInCorso_ = false;  // also when the session failed on its way
}

void EventiFrmMorven::SmartMenu_ItemClick(std::string_view chiave) {
    EseguiProceduraVoid(p_, "SmartMenu_ItemClick", [&] {
        if (chiave == "MNU_FINE") {
            Form_QueryUnload();
            return;
        }
        if (chiave == "MNU_INFO") {
            if (c_.MostraInformazioni)
                c_.MostraInformazioni(TestoVersione());
            else
                NonDisponibile(p_, "SmartMenu_ItemClick", "frmSplash");
            return;
        }
        if (chiave == "MNU_DEBUG") {
            View* debug = p_.oggetti.oFrmDebug;
            if (!debug) return;
            if (debug->IsShown()) {
                p_.opzioni.bDebug = false;
                debug->Hide();
            } else {
                p_.opzioni.bDebug = true;
                debug->Show();
            }
            return;
        }
        for (int n = 1; n <= kNumeroSlot; ++n) {
            const bool impostazioni = chiave == VoceImpostazioni(n);
            if (!impostazioni && chiave != VoceConnessione(n)) continue;
            // An entry the menu does not offer now (locked under a session) does nothing.
            if (!form_.Enabled(chiave)) return;
            p_.opzioni.sGrossistaSelezionato = PadLeft(n, 2, "0");
            if (impostazioni) {
                if (c_.MostraImpostazioni)
                    c_.MostraImpostazioni(true);
                else
                    NonDisponibile(p_, "SmartMenu_ItemClick", "FrmImpostazioni");
            } else {
                form_.SetValue("Timer1", kIntervalloMenu);
                form_.SetEnabled("Timer1", true);
                timer1Armato_ = true;
                // Locked from the moment the call is armed: a second click can not choose another slot.
                AggiornaMenu();
            }
            return;
        }
    });
}

void EventiFrmMorven::WebBrowser1_NavigateError(std::string_view indirizzo) {
    EseguiProceduraVoid(p_, "WebBrowser1_NavigateError", [&] { DopoErroreNavigazione(p_, indirizzo); });
}

void EventiFrmMorven::LVWMancanti_ColumnClick(int colonna) {
    EseguiProceduraVoid(p_, "LVWMancanti_ColumnClick", [&] {
        if (colonna < 0 || static_cast<std::size_t>(colonna) >= lista_.colonne.size()) return;
        OrdinaLista(lista_, static_cast<std::size_t>(colonna));
        risposte_.MostraLista(lista_);
    });
}

void EventiFrmMorven::LVWMancanti_DblClick() {
    EseguiProceduraVoid(p_, "LVWMancanti_DblClick", [&] {
        if (lista_.colonne.empty() || !lista_.colonne[0].intestazione.empty()) return;
        const int indice = risposte_.RigaSelezionata();
        if (indice < 0 || static_cast<std::size_t>(indice) >= lista_.righe.size()) return;
        RigaLista& riga = lista_.righe[static_cast<std::size_t>(indice)];
        if (riga.testi.size() < 4) return;
        const std::string codice = riga.testi[1];
        const int iniziale = std::atoi(riga.testi[3].c_str());
        if (!c_.DettaglioOfferta) {
            NonDisponibile(p_, "LVWMancanti_DblClick", "FrmDettaglioOfferta");
            return;
        }
        const int scelta = c_.DettaglioOfferta(codice, p_.percorsi.sPathApp + "/" + p_.opzioni.sFileIFCKOut, iniziale);
        if (scelta == iniziale) return;
        riga.testi[3] = PadLeft(scelta, 5, "0");
        if (riga.colori.size() < riga.testi.size()) riga.colori.resize(riga.testi.size());
        riga.colori[3] = 255;
        risposte_.MostraLista(lista_);
    });
}

bool EventiFrmMorven::MostraRispostaMancanti() {
    return EseguiProcedura(p_, "DisplayMancanti", false, [&](bool& ok) {
        const ImpostazioniGrossista& s = p_.impostazioni;
        SorgenteRisposta sorgente{p_.percorsi.sPathApp, p_.opzioni.sFileIFCKOut, s.bDisponibilita, s.bModeIFCK,
                                  s.sConnect};
        VistaRisposta v = DisplayMancanti(sorgente, Log());
        ImpostaVisualizzazione(p_, form_, v.fase, v.titolo, v.descrizioneConnessione);
        // The availability dialogue waits for the pharmacist's confirm or refuse.
        rispostaInAttesa_ = v.fase == kFaseDisponibilita;
        lista_ = std::move(v.lista);
        risposte_.MostraLista(lista_);
        if (lista_.rifOrdineGrossista) form_.SetText("LblRifOrdineGrossista", *lista_.rifOrdineGrossista);
        if (lista_.noteOrdine) form_.SetText("TxtNoteOrdine", *lista_.noteOrdine);
        if (v.messaggi) form_.SetText("TextMess", v.messaggi->testo);
        // A list that was not read whole must never become an order.
        if (!v.riuscito) form_.SetVisible("CmdConferma", false);
        ok = v.riuscito;
    }, [&](const ErroreMorven&) {
        // Nor one that failed on its way to the screen.
        Istruzione(p_, "DisplayMancanti", kStadioSalta, [&] { form_.SetVisible("CmdConferma", false); });
    });
}

void EventiFrmMorven::MostraRispostaDocumenti() {
    EseguiProceduraVoid(p_, "DisplayDocumenti", [&] {
        const std::string& connessione = p_.impostazioni.sConnect;
        if (p_.impostazioni.bRichDocs) {
            ImpostaVisualizzazione(p_, form_, kFaseDocumenti, "Fine", connessione);
            const std::filesystem::path file =
                std::filesystem::path(p_.percorsi.sPathApp) / ("IFCK03_OUT_" + p_.opzioni.sSorgenteIFCK + ".DAT");
            risposte_.MostraDocumenti(DisplayDocumenti(file, Log()));
        } else {
            ImpostaVisualizzazione(p_, form_, kFaseFine, "Fine", connessione);
        }
        form_.SetText("TextMess", DisplayMessaggi(p_.percorsi.sPathApp, connessione, Log()).testo);
    });
}

}  // namespace morven
