#include "client/presenters/settings_dialog.h"

#include "client/engine/connection.h"
#include "client/engine/errors.h"
#include "client/engine/helpers.h"
#include "client/engine/logs.h"
#include "client/engine/markers.h"
#include "client/engine/message_box.h"
#include "client/engine/programma.h"
#include "client/engine/settings.h"
#include "client/presenters/keys.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

#include <algorithm>

namespace morven {
namespace {

bool IniziaCpj(std::string_view interfaccia) { return interfaccia.substr(0, 3) == "CPJ"; }

constexpr std::string_view kTitoloSalva = "Salva Impostazioni";

// ---- The window as tables ----

// The three link modes: the option button and the frame it shows (the others are hidden and disabled).
struct ModoCollegamento {
    std::string_view opzione;
    std::string_view frame;
};
constexpr std::array<ModoCollegamento, 3> kModi = {{
    {"OptOrdine", "FrameOrdine"},
    {"OptIFCK", "FrameIFCK"},
    {"OptPosta", "FramePosta"},
}};

// Shown only for a line over TCP (ChkMisto too, handled with its frame).
constexpr std::array<std::string_view, 6> kControlliInternet = {
    "ChkChiusuraAutomatica", "ChkTcpDirect", "LblPassword", "IPasswd", "LbUser", "IUser"};

// The TCP port: disabled in IFCK mode when the settings are shown.
constexpr std::array<std::string_view, 3> kControlliPorta = {"LblPorta", "IPorta", "ChkIncrementoPorta"};

// A check box and the flag it shows and sets.
struct Casella {
    std::string_view controllo;
    bool ImpostazioniGrossista::*campo;
};

using S = ImpostazioniGrossista;

// Shown and saved in every mode.
constexpr std::array<Casella, 7> kCaselle = {{
    {"ChkChiusuraAutomatica", &S::bCloseRas},
    {"ChkBrowser", &S::bDispBrowser},
    {"ChkExtBrowser", &S::bDispBrowserEsterno},
    {"ChkInvioMessaggio", &S::bSendMes},
    {"ChkMotivazioniCPJ", &S::bMotCpj},
    {"ChkTcpDirect", &S::bTcpDir},
    {"ChkIncrementoPorta", &S::bAutoIncPorta},
}};

// The nine order options: shown from the file in IFCK mode only, enabled with 2003 compatibility.
constexpr std::array<Casella, 9> kOpzioniOrdine = {{
    {"ChkRichiestaDatiConsegna", &S::bDatiConseg},
    {"ChkAccettazioneAllineamentoACollo", &S::bAllineaCol},
    {"ChkAccettazioneProdottoSostitutivo", &S::bSostProd},
    {"ChkAccettazioneConsegnaDifferita", &S::bConsDiffer},
    {"ChkOrdineValorizzato", &S::bValOrdine},
    {"ChkSoloMancanti", &S::bSoloManc},
    {"ChkDisponibilita", &S::bDisponibilita},
    {"ChkRicDocumenti", &S::bRichDocs},
    {"ChkOrdinePht", &S::bOrdinePht},
}};

// At most one of these requests.
constexpr std::array<std::string_view, 3> kRichiesteEsclusive = {"ChkDisponibilita", "ChkRicDocumenti",
                                                                 "ChkOrdinePht"};

// A text box or editable list and the text it shows and sets.
struct Testo {
    std::string_view controllo;
    std::string ImpostazioniGrossista::*campo;
};
constexpr std::array<Testo, 5> kTesti = {{
    {"IPasswd", &S::sPassword},
    {"IUser", &S::sUser},
    {"CmbSPEED", &S::sSpeedComm},
    {"CmbSetting", &S::sSettings},
    {"ISettaggioModem", &S::sModemSet},
}};

constexpr std::array<std::string_view, 3> kTelefoni = {"ITelefono1", "ITelefono2", "ITelefono3"};
constexpr std::array<std::string_view, 3> kIndirizzi = {"IIp1", "IIp2", "IIp3"};

constexpr int kPorteSeriali = 16;

// Reads a settings file into a copy, through a program of its own: the running program's settings, options
// and paths stay as they are. The copy starts from the defaults, so nothing of the slot loaded last leaks
// into another slot's window; the run's own switches (/RICHDISP, a batch run) do not change what the file
// says or add messages of a session.
void PreparaCopia(Programma& q, const Programma& p) {
    q.oggetti = p.oggetti;
    q.percorsi = p.percorsi;
    q.opzioni = p.opzioni;
    q.opzioni.bRichDisp = false;
    q.opzioni.bBlkRun = false;
}

}  // namespace

const std::vector<std::string> kVelocitaSeriali = {"110",   "300",   "600",   "1200",  "2400",   "4800",
                                                   "9600",  "14400", "19200", "28800", "38400",  "56000",
                                                   "57600", "115200", "128000", "256000"};
const std::vector<std::string> kFormatiSeriali = {"N,8,1", "E,7,1", "E,7,2"};
const std::vector<std::string> kInterfacceElenco = {"ORDINE",  "DISPONIBILITA'", "DESCRIZ-MAN", "DESCRIZ-ALL",
                                                    "NOTIZIE", "NOTIZIE-ALL",    "CPJ",         "CPJ-AAAA"};

namespace {
// A text box of a number, with the range the settings reader checks too.
CampoNumerico CampoNumero(std::string_view controllo, std::string_view nome, int S::*campo) {
    const ChiaveImpostazione& r = IntervalloDi(campo);
    return {controllo, nome, campo, r.nMinimo, r.nMassimo};
}
}  // namespace

const std::vector<CampoNumerico> kCampiNumerici = {
    CampoNumero("IPorta", "Porta", &S::nPorta),
    CampoNumero("ITimeMaxOrd", "Tempo massimo ordine", &S::nTimeMaxOrd),
    CampoNumero("ITimeMaxRxP", "Tempo massimo ricezione posta", &S::nTimeMaxRxP),
    CampoNumero("ITimeMaxTxP", "Tempo massimo trasmissione posta", &S::nTimeMaxTxP),
    CampoNumero("ITmConnNor", "Attesa connessione modem", &S::nTmConnNor),
    CampoNumero("ITmConnInt", "Attesa connessione internet", &S::nTmConnInt),
    CampoNumero("ITmConnRas", "Attesa connessione remota", &S::nTmConnRas),
    CampoNumero("IFtpDelay", "Ritardo FTP", &S::nFtpDelay),
    CampoNumero("IFtpRetry", "Tentativi FTP", &S::nFtpRetry),
    CampoNumero("IStorico", "Giorni di storico", &S::nStorico),
};

std::string Ctl(std::string_view nome) { return ControlId(nome, 0); }

std::string NormalizzaCodiceCliente(std::string_view interfaccia, std::string_view codice,
                                    std::string_view codiceGrossista) {
    const std::string sette = Right("0000000" + Trim(Left(codice, 7)), 7);
    if (!IniziaCpj(interfaccia)) {
        if (codice.size() < 7) return sette + "00";
        return Left(std::string(codice) + "000000000", 9);
    }
    int somma = 0;
    for (char c : sette)
        if (c >= '0' && c <= '9') somma += c - '0';
    return sette + Right("000" + std::to_string(100 - somma), 3) + std::string(codiceGrossista);
}

std::string InterfacciaDaSalvare(const SceltaInterfaccia& s) {
    std::string i;
    if (s.posta) i = s.partner ? "OLTREMA" : "POSTA";
    else if (s.ifck) i = "IFCK";
    else i = s.elenco;
    if (s.disponibilita) i = "DISPONIBILITA'";
    if (s.documenti || s.ordinePht) i = "DOCUMENTI";
    return i;
}

std::string IndirizzoOPrimo(std::string_view indirizzo, std::string_view primo) {
    return Trim(indirizzo).empty() ? std::string(primo) : std::string(indirizzo);
}

std::optional<int> NumeroIntero(std::string_view testo, int minimo, int massimo) {
    const std::string t = Trim(testo);
    if (t.empty() || t.size() > 9) return std::nullopt;
    long v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v < minimo || v > massimo) return std::nullopt;
    return static_cast<int>(v);
}

EventiFrmImpostazioni::EventiFrmImpostazioni(Programma& p, View& form, CollegamentiFrmImpostazioni c)
    : p_(p), form_(form), c_(std::move(c)) {}

void EventiFrmImpostazioni::Form_Load() {
    EseguiProceduraVoid(p_, "Form_Load", [&] {
        file_ = JoinPath(p_.percorsi.sPathApp, "MvnConn" + p_.opzioni.sGrossistaSelezionato + ".par");
        modificato_ = false;
        impostaBase(0, file_);
        form_.SetText(Ctl("LblSpazioRosso"), "Impostazioni");
        form_.SetText(Ctl("LblSpazioGrigio"), copia_.sConnect);
    });
}

void EventiFrmImpostazioni::impostaBase(int, const std::string& file) {
    EseguiProceduraVoid(p_, "impostaBase", [&] {
        auto riempi = [&](std::string_view controllo, const std::vector<std::string>& voci) {
            ListModel& m = form_.List(Ctl(controllo));
            m.items.clear();
            for (const std::string& v : voci) m.items.push_back(ListItem{{}, {v}, {}});
            m.selected = -1;
            form_.ListChanged(Ctl(controllo));
        };
        std::vector<std::string> porte;
        for (int n = 1; n <= kPorteSeriali; ++n) porte.push_back("Com" + std::to_string(n));
        std::vector<std::string> interfacce = kInterfacceElenco;
        std::vector<std::string> ras;
        rasNonDisponibile_ = !FillRasEntryList(p_, ras);

        Programma q;
        PreparaCopia(q, p_);
        LeggiImpostazioni(q, file);
        copia_ = q.impostazioni;
        const ImpostazioniGrossista& s = copia_;

        // 2. The link mode. A mail slot stays in mail mode also when its file does not say ModeIFCK NO.
        const bool posta = s.nTipoInterfaccia == kClassePosta;
        if (posta) interfacce.push_back(Trim(s.sInterfaccia));
        riempi("CmbSPEED", kVelocitaSeriali);
        riempi("CmbSetting", kFormatiSeriali);
        riempi("CmbCOM", porte);
        riempi("CmbTipoCollegamento", interfacce);
        riempi("CmbRAS", ras);
        if (posta) {
            MostraModo("OptPosta");
            form_.SetValue(Ctl("ChkModeFTP"), 0);
            form_.SetValue(Ctl("ChkCompatibilita2003"), s.bCompMvn ? 1 : 0);
        } else if (s.bModeIFCK) {
            MostraModo("OptIFCK");
            for (std::string_view c : kControlliPorta) form_.SetEnabled(Ctl(c), false);
            form_.SetValue(Ctl("ChkModeFTP"), s.bModoFTP ? 1 : 0);
            form_.SetValue(Ctl("ChkCompatibilita2003"), s.bCompMvn ? 1 : 0);
            for (const Casella& k : kOpzioniOrdine) {
                form_.SetValue(Ctl(k.controllo), s.*k.campo ? 1 : 0);
                form_.SetEnabled(Ctl(k.controllo), s.bCompMvn);
            }
        } else {
            MostraModo("OptOrdine");
            for (std::string_view c : kControlliPorta) form_.SetEnabled(Ctl(c), true);
            form_.SetValue(Ctl("ChkModeFTP"), 0);
            form_.SetValue(Ctl("ChkCompatibilita2003"), 0);
        }
        // 3. The interface shown when the list holds it; another value leaves the list as it was.
        const std::string interfaccia = Trim(s.sInterfaccia);
        if (std::find(interfacce.begin(), interfacce.end(), interfaccia) != interfacce.end())
            form_.SetText(Ctl("CmbTipoCollegamento"), interfaccia);

        // 4. Modem or TCP.
        MostraInternet(s.bModoInternet, false);

        // 5. The texts. A configuration-only run shows the description its caller gave, when it gave one.
        const std::string parametri = Trim(p_.opzioni.sParametriBlkCfg);
        form_.SetText(Ctl("IDescrizioneCollegamento"),
                      p_.opzioni.bBlkCfg && !parametri.empty() ? parametri : s.sConnect);
        // The code is split as the save puts it together, by the interface: a CPJ code keeps its wholesaler
        // code also when the line over TCP turned the CPJ variant off.
        const bool cpj = IniziaCpj(interfaccia);
        LimiteCodice(cpj);
        if (cpj) {
            form_.SetText(Ctl("ICodiceCliente"), Left(s.sCodiceCliente, 7));
            form_.SetText(Ctl("ICodGrossista"), Right(s.sCodiceCliente, 4));
        } else {
            form_.SetText(Ctl("ICodiceCliente"), s.sCodiceCliente);
        }
        form_.SetText(Ctl("CmbRAS"), rasNonDisponibile_ ? std::string() : s.sNomeRas);
        for (std::size_t k = 0; k < 3; ++k) {
            form_.SetText(Ctl(kTelefoni[k]), s.aTelefono[k]);
            form_.SetText(Ctl(kIndirizzi[k]), s.aIndirizzoIp[k]);
        }
        for (const CampoNumerico& n : kCampiNumerici) form_.SetText(Ctl(n.controllo), std::to_string(s.*n.campo));

        // 7. The other boxes and the serial line.
        for (const Casella& k : kCaselle) form_.SetValue(Ctl(k.controllo), s.*k.campo ? 1 : 0);
        form_.SetValue(Ctl("ChkDisplay"), s.bDispOrdine[2] ? 1 : 0);
        form_.SetText(Ctl("CmbCOM"), "Com" + std::to_string(s.nCommPort));
        for (const Testo& t : kTesti) form_.SetText(Ctl(t.controllo), s.*t.campo);
    });
}

void EventiFrmImpostazioni::MostraModo(std::string_view opzione) {
    for (const ModoCollegamento& m : kModi) {
        const bool questo = m.opzione == opzione;
        form_.SetValue(Ctl(m.opzione), questo ? -1 : 0);
        form_.SetVisible(Ctl(m.frame), questo);
        form_.SetEnabled(Ctl(m.frame), questo);
    }
}

void EventiFrmImpostazioni::MostraInternet(bool internet, bool clic) {
    for (std::string_view c : kControlliInternet) form_.SetVisible(Ctl(c), internet);
    form_.SetVisible(Ctl("ChkMisto"), internet);
    form_.SetValue(Ctl("ChkInternet"), internet ? 1 : 0);
    EnableContainerControls(p_, form_, "FrameInternet", 0, internet);
    if (!internet) {
        EnableContainerControls(p_, form_, "FrameTelefono", 0, true);
        // Exchange files need the line over TCP.
        if (clic) form_.SetVisible(Ctl("OptIFCK"), false);
        return;
    }
    EnableContainerControls(p_, form_, "FrameTelefono", 0, copia_.bModoMisto);
    form_.SetValue(Ctl("ChkMisto"), copia_.bModoMisto ? 1 : 0);
    form_.SetVisible(Ctl("OptIFCK"), true);
}

void EventiFrmImpostazioni::LimiteCodice(bool cpj) {
    form_.SetVisible(Ctl("lblCodGrossista"), cpj);
    form_.SetVisible(Ctl("ICodGrossista"), cpj);
    form_.SetMax(Ctl("ICodiceCliente"), cpj ? 7 : 9);
}

bool EventiFrmImpostazioni::Gestisci_Tasto_Funzione(int& tasto, int shift) {
    EseguiProceduraVoid(p_, "Gestisci_Tasto_Funzione", [&] {
        tasto = CodiceTasto(tasto, shift);
        if (tasto == kTastoF1) CmdSalva_Click();
        else if (tasto == kTastoF3) CmdAnnulla_Click();
        else if (tasto == kTastoF10) CmdEsci_Click();
    });
    return true;
}

void EventiFrmImpostazioni::Modifica(std::string_view) { modificato_ = true; }

void EventiFrmImpostazioni::CmbTipoCollegamento_Click() {
    EseguiProceduraVoid(p_, "CmbTipoCollegamento_Click", [&] {
        modificato_ = true;
        const bool cpj = IniziaCpj(form_.Text(Ctl("CmbTipoCollegamento")));
        LimiteCodice(cpj);
        form_.SetText(Ctl("CmbSetting"), cpj ? "E,7,1" : "N,8,1");
    });
}

void EventiFrmImpostazioni::ChkRichiesta_Click(std::string_view controllo) {
    EseguiProceduraVoid(p_, "ChkRichiesta_Click", [&] {
        modificato_ = true;
        if (form_.Value(Ctl(controllo)) != 1) return;
        for (std::string_view altro : kRichiesteEsclusive)
            if (altro != controllo) form_.SetValue(Ctl(altro), 0);
    });
}

void EventiFrmImpostazioni::ChkCompatibilita2003_Click() {
    EseguiProceduraVoid(p_, "ChkCompatibilita2003_Click", [&] {
        modificato_ = true;
        copia_.bCompMvn = form_.Value(Ctl("ChkCompatibilita2003")) == 1;
        for (const Casella& k : kOpzioniOrdine) form_.SetEnabled(Ctl(k.controllo), copia_.bCompMvn);
    });
}

void EventiFrmImpostazioni::ChkInternet_Click() {
    EseguiProceduraVoid(p_, "ChkInternet_Click", [&] {
        modificato_ = true;
        copia_.bModoInternet = form_.Value(Ctl("ChkInternet")) == 1;
        MostraInternet(copia_.bModoInternet, true);
    });
}

void EventiFrmImpostazioni::ChkMisto_Click() {
    EseguiProceduraVoid(p_, "ChkMisto_Click", [&] {
        modificato_ = true;
        if (form_.Value(Ctl("ChkInternet")) != 1) return;
        EnableContainerControls(p_, form_, "FrameTelefono", 0, form_.Value(Ctl("ChkMisto")) == 1);
    });
}

void EventiFrmImpostazioni::OptIFCK_Click() {
    EseguiProceduraVoid(p_, "OptIFCK_Click", [&] {
        modificato_ = true;
        MostraModo("OptIFCK");
    });
}

void EventiFrmImpostazioni::OptOrdine_Click() {
    EseguiProceduraVoid(p_, "OptOrdine_Click", [&] {
        modificato_ = true;
        MostraModo("OptOrdine");
        for (std::string_view c : kControlliPorta) form_.SetEnabled(Ctl(c), true);
        ListModel& m = form_.List(Ctl("CmbTipoCollegamento"));
        if (!m.items.empty() && !m.items.back().texts.empty() && m.items.back().texts[0] == "POSTA") {
            const std::string testo = form_.Text(Ctl("CmbTipoCollegamento"));
            m.items.pop_back();
            form_.ListChanged(Ctl("CmbTipoCollegamento"));
            if (testo != "POSTA") form_.SetText(Ctl("CmbTipoCollegamento"), testo);
        }
    });
}

void EventiFrmImpostazioni::OptPosta_Click() {
    EseguiProceduraVoid(p_, "OptPosta_Click", [&] {
        modificato_ = true;
        MostraModo("OptPosta");
        for (std::string_view c : kControlliPorta) form_.SetEnabled(Ctl(c), true);
    });
}

void EventiFrmImpostazioni::CmdSalva_Click() {
    EseguiProceduraVoid(p_, "CmdSalva_Click", [&] {
        // Every entry is checked before anything is asked or written: a value that does not fit is named,
        // and nothing of the window is saved.
        auto rifiuta = [&](std::string_view nome, std::string_view testo, int minimo, int massimo) {
            p_.MsgBox().MsgBox("Valore non valido nel campo " + std::string(nome) + ": \"" + std::string(testo) +
                                   "\"\r\nindicare un numero intero da " + std::to_string(minimo) + " a " +
                                   std::to_string(massimo) + ".",
                               kMbOk + kMbIconExclamation, kTitoloSalva, &form_);
        };
        for (const CampoNumerico& n : kCampiNumerici) {
            const std::string testo = form_.Text(Ctl(n.controllo));
            if (!NumeroIntero(testo, n.minimo, n.massimo)) return rifiuta(n.nome, testo, n.minimo, n.massimo);
        }
        // A port list text without a number is port 0, as the modem line has always read it.
        const std::string com = form_.Text(Ctl("CmbCOM"));
        const double porta = ValoreNumerico(Mid(com, 4));
        const ChiaveImpostazione& seriale = IntervalloDi(&S::nCommPort);
        if (porta < seriale.nMinimo || porta > seriale.nMassimo)
            return rifiuta("Porta seriale", com, seriale.nMinimo, seriale.nMassimo);

        const int r = p_.MsgBox().MsgBox("Confermi le Impostazioni ", kMbOkCancel + kMbIconExclamation,
                                         kTitoloSalva, &form_);
        if (r == kMsgOk) Salva();
        if (!p_.opzioni.bBlkCfg && c_.RicostruisciMenu) c_.RicostruisciMenu();
    });
}

bool EventiFrmImpostazioni::Salva() {
    ImpostazioniGrossista s = copia_;
    auto testo = [&](std::string_view c) { return form_.Text(Ctl(c)); };
    auto spunta = [&](std::string_view c) { return form_.Value(Ctl(c)) == 1; };

    s.sConnect = testo("IDescrizioneCollegamento");
    const std::string tipo = testo("CmbTipoCollegamento");
    s.sCodiceCliente = NormalizzaCodiceCliente(tipo, testo("ICodiceCliente"), testo("ICodGrossista"));
    s.sNomeRas = rasNonDisponibile_ ? std::string() : testo("CmbRAS");
    for (std::size_t k = 0; k < 3; ++k) s.aTelefono[k] = testo(kTelefoni[k]);
    s.aIndirizzoIp[0] = testo(kIndirizzi[0]);
    for (std::size_t k = 1; k < 3; ++k) s.aIndirizzoIp[k] = IndirizzoOPrimo(testo(kIndirizzi[k]), s.aIndirizzoIp[0]);
    for (const CampoNumerico& n : kCampiNumerici)
        s.*n.campo = *NumeroIntero(testo(n.controllo), n.minimo, n.massimo);
    s.nCommPort = static_cast<int>(ValoreNumerico(Mid(testo("CmbCOM"), 4)));
    for (const Testo& t : kTesti) s.*t.campo = testo(t.controllo);
    for (const Casella& k : kCaselle) s.*k.campo = spunta(k.controllo);
    for (const Casella& k : kOpzioniOrdine) s.*k.campo = spunta(k.controllo);
    s.bDispOrdine[2] = spunta("ChkDisplay");
    s.bModoInternet = spunta("ChkInternet");
    s.bModoMisto = spunta("ChkMisto");
    s.bModoFTP = spunta("ChkModeFTP");
    s.bCompMvn = spunta("ChkCompatibilita2003");
    s.bModeIFCK = form_.Value(Ctl("OptIFCK")) != 0;

    SceltaInterfaccia scelta;
    scelta.posta = form_.Value(Ctl("OptPosta")) != 0;
    scelta.partner = p_.opzioni.bModoPartner;
    scelta.ifck = s.bModeIFCK;
    // A stored interface the list does not hold leaves the list without a choice: it is kept, never saved
    // empty (the reader would then know no interface at all).
    scelta.elenco = Trim(tipo).empty() ? Trim(copia_.sInterfaccia) : tipo;
    scelta.disponibilita = s.bDisponibilita;
    scelta.documenti = s.bRichDocs;
    scelta.ordinePht = s.bOrdinePht;
    s.sInterfaccia = InterfacciaDaSalvare(scelta);
    s.sInterfacciaFile = s.sInterfaccia;
    s.bInterfacciaForzata = false;

    Programma q;
        PreparaCopia(q, p_);
    q.impostazioni = s;
    if (!ScriviImpostazioni(q, file_)) {
        // The changes stay in the window, still marked unsaved.
        p_.MsgBox().MsgBox("Impossibile salvare le impostazioni in " + file_, kMbOk + kMbIconStop, kTitoloSalva,
                           &form_);
        return false;
    }
    copia_ = std::move(s);
    modificato_ = false;
    form_.SetText(Ctl("ICodiceCliente"), copia_.sCodiceCliente);
    return true;
}

bool EventiFrmImpostazioni::Abbandona() {
    if (!modificato_) return true;
    if (p_.MsgBox().MsgBox("Abbandono le Modifiche ", kMbYesNo + kMbIconQuestion, "Impostazioni", &form_) != kMsgYes)
        return false;
    // The changes are given up: the window no longer holds any.
    modificato_ = false;
    return true;
}

void EventiFrmImpostazioni::CmdAnnulla_Click() {
    EseguiProceduraVoid(p_, "CmdAnnulla_Click", [&] {
        if (Abbandona()) impostaBase(0, file_);
    });
}

void EventiFrmImpostazioni::CmdEsci_Click() {
    EseguiProceduraVoid(p_, "CmdEsci_Click", [&] {
        if (!Abbandona()) return;
        if (p_.opzioni.bBlkCfg) FineConfigurazione();
        else if (c_.Chiudi) c_.Chiudi();
    });
}

bool EventiFrmImpostazioni::Form_QueryUnload() {
    return EseguiProcedura(p_, "Form_QueryUnload", false, [&](bool& annulla) {
        if (!Abbandona()) {
            annulla = true;
            return;
        }
        if (p_.opzioni.bBlkCfg) FineConfigurazione();
    });
}

void EventiFrmImpostazioni::FineConfigurazione() {
    // A configuration-only run ends with its window, without the steps of a session's end; its caller,
    // like every caller that starts the program, sees MorvenClient.end.
    Istruzione(p_, "FineConfigurazione", kStadioSalta, [&] { ScriviFineEsecuzione(p_); });
    p_.sessione.bProgrammaTerminato = true;
    p_.Fine().EndProgram(0);
}

}  // namespace morven
