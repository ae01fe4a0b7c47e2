#include "client/engine/message_box.h"
#include "client/engine/settings.h"

#include "client/engine/helpers.h"
#include "client/engine/logs.h"
#include "client/engine/programma.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

#include <cmath>
#include <functional>
#include <stdexcept>
#include <vector>

namespace morven {
namespace {

constexpr std::string_view kDisponibilita = "DISPONIBILITA'";

std::pair<std::string, std::string> DividiPercorso(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// The stored path of a file named without regard to case, or nothing.
std::optional<std::string> TrovaFile(const std::string& path) {
    const auto [folder, name] = DividiPercorso(path);
    const auto stored = FindNameNoCase(folder, name);
    if (!stored) return std::nullopt;
    const std::string full = JoinPath(folder, *stored);
    if (!FileExists(full)) return std::nullopt;
    return full;
}

// A key's default into its field.
void Predefinito(const ChiaveImpostazione& c, ImpostazioniGrossista& s) {
    switch (c.tipo) {
        case TipoChiave::Testo: s.*c.pTesto = c.sPredefinito; break;
        case TipoChiave::Elemento: (s.*c.pElementi)[c.nElemento] = c.sPredefinito; break;
        case TipoChiave::Flag: s.*c.pFlag = c.nPredefinito != 0; break;
        case TipoChiave::Numero: s.*c.pCampo = c.nPredefinito; break;
        case TipoChiave::Speciale: c.predefinito(s); break;
    }
}

void Resetta(Programma& p) {
    ImpostazioniGrossista& s = p.impostazioni;
    for (const ChiaveImpostazione& c : kChiaviImpostazioni)
        if (!c.bTenutaTraSlot) Predefinito(c, s);
    s.aValoriRifiutati.clear();
    s.bInterfacciaForzata = false;
    s.nTipoInterfaccia = 0;
    // The Comproject framing belongs to the slot whose interface asks for it (or to the availability request
    // the call driver turns into it), never to the next slot read in the same process.
    s.bCPJ = s.bCPJAAAA = false;
    s.sModoNonValido.clear();
    s.bDisponibilita = false;
    s.bOpzioneTestata3 = false;
    // The debug window asked for by /DEBUG is this run's wish and outlives every slot read.
    p.opzioni.bDebug = p.opzioni.bDebugAvvio;
}

// The interface of the slot (the file's value, or availability for a /RICHDISP run) and its table row.
void LeggiInterfaccia(Programma& p, const std::string& valore) {
    auto& s = p.impostazioni;
    s.sInterfacciaFile = UpperAscii(Trim(valore, kBlanksAndTabs));
    s.bInterfacciaForzata = p.opzioni.bRichDisp;
    s.sInterfaccia = p.opzioni.bRichDisp ? std::string(kDisponibilita) : s.sInterfacciaFile;
    ApplicaInterfaccia(s, s.sInterfaccia);
}

bool SiNo(const std::string& value, bool& flag) {
    const std::string v = UpperAscii(Trim(value, kBlanksAndTabs));
    if (v == "YES") {
        flag = true;
        return true;
    }
    if (v == "NO") {
        flag = false;
        return true;
    }
    return false;
}

// The leading number of a value, when it begins with one (blanks first are allowed, "45 s" is 45).
std::optional<double> NumeroIniziale(std::string_view value) {
    std::size_t i = value.find_first_not_of(" \t");
    if (i == std::string_view::npos) return std::nullopt;
    if (value[i] == '+' || value[i] == '-') ++i;
    if (i < value.size() && value[i] == '.') ++i;
    if (i >= value.size() || value[i] < '0' || value[i] > '9') return std::nullopt;
    return ValoreNumerico(value);
}

// The key as the reader matches it and as the refused values name it.
std::string NomeLetto(const ChiaveImpostazione& c) { return UpperAscii(c.sChiave); }

// Applies a line's value to its key's field; false when the value does not fit the field. A number that is
// not a number or is out of its range leaves the field alone and is kept, with the key, among the refused
// values.
bool Applica(const ChiaveImpostazione& c, Programma& p, const std::string& v) {
    auto& s = p.impostazioni;
    switch (c.tipo) {
        case TipoChiave::Testo: s.*c.pTesto = v; return true;
        case TipoChiave::Elemento: (s.*c.pElementi)[c.nElemento] = v; return true;
        case TipoChiave::Flag: return SiNo(v, s.*c.pFlag);
        case TipoChiave::Numero: {
            const auto n = NumeroIniziale(v);
            if (n && *n >= c.nMinimo && *n <= c.nMassimo) {
                s.*c.pCampo = static_cast<int>(*n);
                return true;
            }
            s.aValoriRifiutati.push_back({NomeLetto(c), v, c.pCampo, s.*c.pCampo});
            return false;
        }
        case TipoChiave::Speciale: return c.leggi(p, v);
    }
    return false;
}

const ChiaveImpostazione* CercaChiave(const std::string& key) {
    for (const auto& c : kChiaviImpostazioni) {
        if (c.nPrefisso == 0 && key == NomeLetto(c)) return &c;
    }
    for (const auto& c : kChiaviImpostazioni) {
        if (c.nPrefisso != 0 && key.rfind(NomeLetto(c).substr(0, c.nPrefisso), 0) == 0) return &c;
    }
    return nullptr;
}

void Deriva(Programma& p) {
    ImpostazioniGrossista& s = p.impostazioni;
    if (s.bModeIFCK) {
        if (s.bDisponibilita) {
            s.nTipoRichiesta = 3;
            s.bOpzioneTestata1 = s.bOpzioneTestata2 = s.bOpzioneTestata3 = true;
        } else if (s.bValOrdine) {
            s.nTipoInterfaccia = kClasseDisponibilita;
            s.bDisponibilita = false;
            s.nTipoRichiesta = 3;
            s.bOpzioneTestata1 = s.bOpzioneTestata2 = s.bOpzioneTestata3 = true;
        } else if (s.bSoloManc) {
            s.nTipoInterfaccia = kClasseDisponibilita;
            s.bDisponibilita = false;
            s.nTipoRichiesta = 1;
            s.bOpzioneTestata1 = s.bOpzioneTestata2 = true;
            s.bOpzioneTestata3 = false;
        }
    }
    if (p.opzioni.bModoPartner) s.nTipoInterfaccia = kClassePosta;
    if (s.nTipoInterfaccia < kClassePosta) {
        s.bTcpDir = false;
    } else if (s.nTipoInterfaccia == kClassePosta) {
        s.bDispOrdine[0] = s.bDispOrdine[1] = false;
    }
    if (!s.bModoInternet) s.bDispBrowser = false;
    if (s.bModoInternet && s.bCPJ) {
        s.bCPJ = false;
        s.nTipoInterfaccia = kClasseNotizie;
    }
    int code = 0;
    s.sBrowserEsterno = p.oggetti.oDesktop ? GetDefaultBrowser(p, code) : std::string();
    if (s.sBrowserEsterno.empty()) s.bDispBrowserEsterno = false;
}

// Writes every key whose line differs between two texts of the settings file, with its old and new value,
// to the session log and the function log: the settings update the news brings changes the slot, and the
// integrator must see what it changed.
void RegistraModifiche(Programma& p, const std::string& prima, const std::string& dopo) {
    const auto vecchie = SplitLines(prima), nuove = SplitLines(dopo);
    for (std::size_t i = 0; i < nuove.size(); ++i) {
        const std::string vecchia = i < vecchie.size() ? vecchie[i] : std::string();
        if (vecchia == nuove[i]) continue;
        const std::string chiave = Trim(Left(nuove[i], 10), kBlanksAndTabs);
        const std::string testo = "Aggiornamento impostazioni " + TogliPathFile(p, p.percorsi.sFileImpostazioni) + ": " +
                                  chiave + " da '" + Mid(vecchia, 12) + "' a '" + Mid(nuove[i], 12) + "'";
        if (!p.percorsi.sFileLogSessione.empty()) ScriviLog(p, p.percorsi.sFileLogSessione, true, testo);
        ScriviLogFunzione(p, testo);
    }
}

}  // namespace

namespace {

using S = ImpostazioniGrossista;

// Every time, count and day number of the file, and the serial port.
constexpr int kMassimoNumero = 32767;

constexpr ChiaveImpostazione Riga(std::string_view chiave, TipoChiave tipo, bool tenuta) {
    ChiaveImpostazione c{};
    c.sChiave = chiave;
    c.tipo = tipo;
    c.bTenutaTraSlot = tenuta;
    return c;
}
constexpr ChiaveImpostazione Testo(std::string_view chiave, std::string S::*campo, bool tenuta,
                                   std::string_view predefinito = {}) {
    ChiaveImpostazione c = Riga(chiave, TipoChiave::Testo, tenuta);
    c.pTesto = campo;
    c.sPredefinito = predefinito;
    return c;
}
// The phones and hosts: an empty default, kept from the slot read before.
constexpr ChiaveImpostazione Elemento(std::string_view chiave, std::array<std::string, 3> S::*campo, std::size_t k) {
    ChiaveImpostazione c = Riga(chiave, TipoChiave::Elemento, true);
    c.pElementi = campo;
    c.nElemento = k;
    return c;
}
constexpr ChiaveImpostazione Flag(std::string_view chiave, bool S::*campo, bool tenuta, bool predefinito = false) {
    ChiaveImpostazione c = Riga(chiave, TipoChiave::Flag, tenuta);
    c.pFlag = campo;
    c.nPredefinito = predefinito ? 1 : 0;
    return c;
}
constexpr ChiaveImpostazione Numero(std::string_view chiave, int S::*campo, bool tenuta, int predefinito,
                                    int minimo = 0, int massimo = kMassimoNumero) {
    ChiaveImpostazione c = Riga(chiave, TipoChiave::Numero, tenuta);
    c.pCampo = campo;
    c.nPredefinito = predefinito;
    c.nMinimo = minimo;
    c.nMassimo = massimo;
    return c;
}
constexpr ChiaveImpostazione Speciale(std::string_view chiave, std::size_t prefisso, bool tenuta,
                                      bool (*leggi)(Programma&, const std::string&),
                                      std::string (*scrivi)(const S&), void (*predefinito)(S&)) {
    ChiaveImpostazione c = Riga(chiave, TipoChiave::Speciale, tenuta);
    c.nPrefisso = prefisso;
    c.leggi = leggi;
    c.scrivi = scrivi;
    c.predefinito = predefinito;
    return c;
}

constexpr bool kTenuta = true;    // kept from the slot read before
constexpr bool kPerSlot = false;  // set to its default before each slot is read

// The line modes.
bool LeggiModo(Programma& p, const std::string& v) {
    auto& s = p.impostazioni;
    const std::string m = UpperAscii(Trim(v, kBlanksAndTabs));
    s.bModoInternet = s.bModoMisto = s.bModoFTP = false;
    if (m.find("INTERN") != std::string::npos) {
        s.bModoInternet = true;
    } else if (m.find("MISTO") != std::string::npos) {
        s.bModoInternet = s.bModoMisto = true;
    } else if (m.find("FTP") != std::string::npos) {
        s.bModoInternet = s.bModoFTP = true;
    } else if (!m.empty() && m != "NORMALE") {
        // No line is guessed for a mode nobody knows (a misspelt INTERNET must not dial the modem).
        s.sModoNonValido = m;
        return false;
    }
    return true;
}
std::string ScriviModo(const S& s) {
    return s.bModoFTP ? "FTP" : !s.bModoInternet ? "NORMALE" : !s.bModoMisto ? "INTERNET" : "MISTO";
}
void ModoPredefinito(S& s) { s.bModoInternet = s.bModoMisto = s.bModoFTP = false; }

// The serial speed: also the one a modem fall-back configures the port with.
constexpr std::string_view kVelocitaPredefinita = "57600";
bool LeggiVelocita(Programma& p, const std::string& v) {
    p.impostazioni.sSpeedComm = p.impostazioni.sSpeedCommPorta = Trim(v, kBlanksAndTabs);
    return true;
}
std::string ScriviVelocita(const S& s) { return s.sSpeedComm; }
void VelocitaPredefinita(S& s) { s.sSpeedComm = s.sSpeedCommPorta = kVelocitaPredefinita; }

// The modem reset string is read, but the file always gets the one reset every modem takes.
std::string ScriviResetModem(const S&) { return "AT&FS0 = 0"; }

constexpr std::string_view kInterfacciaPredefinita = "ORDINE";
bool LeggiInterfacciaRiga(Programma& p, const std::string& v) {
    LeggiInterfaccia(p, v);
    return true;
}
// A switch of this run (/RICHDISP) does not go into the file: the file keeps its own interface.
std::string ScriviInterfaccia(const S& s) {
    const bool forzata = s.bInterfacciaForzata && s.sInterfaccia == kDisponibilita;
    return forzata ? s.sInterfacciaFile : s.sInterfaccia;
}
void InterfacciaPredefinita(S& s) { s.sInterfaccia = s.sInterfacciaFile = kInterfacciaPredefinita; }

bool LeggiBrowser(Programma& p, const std::string& v) {
    auto& s = p.impostazioni;
    const std::string m = UpperAscii(Trim(v, kBlanksAndTabs));
    if (m == "EXT") {
        s.bDispBrowser = s.bDispBrowserEsterno = true;
    } else if (m == "YES") {
        s.bDispBrowser = true;
        s.bDispBrowserEsterno = false;
    } else if (m == "NO") {
        s.bDispBrowser = s.bDispBrowserEsterno = false;
    } else {
        return false;
    }
    return true;
}
std::string ScriviBrowser(const S& s) { return !s.bDispBrowser ? "NO" : !s.bDispBrowserEsterno ? "YES" : "EXT"; }
void BrowserPredefinito(S& s) { s.bDispBrowser = s.bDispBrowserEsterno = false; }

// The answers shown at the end: one flag of the file for the three copies.
bool LeggiMostraRisposte(Programma& p, const std::string& v) {
    bool flag = false;
    if (!SiNo(v, flag)) return false;
    p.impostazioni.bDispOrdine.fill(flag);
    return true;
}
std::string ScriviMostraRisposte(const S& s) { return FlagToYesNo(s.bDispOrdine[2]); }
void MostraRispostePredefinito(S& s) { s.bDispOrdine.fill(false); }

// The order-file deletion is also a switch of the run (/CSF): the file may set it, never clear it; the
// writer does not write it.
bool LeggiCsf(Programma& p, const std::string& v) {
    bool flag = false;
    if (!SiNo(v, flag)) return false;
    if (flag) p.impostazioni.bCsf = true;
    return true;
}
void CsfPredefinito(S& s) { s.bCsf = false; }

constexpr ChiaveImpostazione Con(ChiaveImpostazione c, std::string (*scrivi)(const S&)) {
    c.scrivi = scrivi;
    return c;
}
constexpr ChiaveImpostazione ConPrefisso(ChiaveImpostazione c, std::size_t prefisso) {
    c.nPrefisso = prefisso;
    return c;
}
constexpr ChiaveImpostazione DelCampo(ChiaveImpostazione c, std::string S::*campo) {
    c.pTesto = campo;
    return c;
}

}  // namespace

constinit const std::array<ChiaveImpostazione, 46> kChiaviImpostazioni = {{
    Testo("Connect", &S::sConnect, kTenuta),
    Testo("Code", &S::sCodiceCliente, kPerSlot),
    Testo("Password", &S::sPassword, kTenuta),
    Testo("User", &S::sUser, kTenuta),
    Speciale("Mode", 0, kPerSlot, LeggiModo, ScriviModo, ModoPredefinito),
    Elemento("Phone 1", &S::aTelefono, 0),
    Elemento("Phone 2", &S::aTelefono, 1),
    Elemento("Phone 3", &S::aTelefono, 2),
    Numero("CommPort", &S::nCommPort, kPerSlot, 1),
    Speciale("SpeedComm", 8, kPerSlot, LeggiVelocita, ScriviVelocita, VelocitaPredefinita),
    ConPrefisso(Testo("Settings", &S::sSettings, kPerSlot, "N,8,1"), 7),
    Testo("ModemSet", &S::sModemSet, kPerSlot, "AT&FE0V1&D2X1"),
    Con(Testo("ModemReset", &S::sModemReset, kTenuta), ScriviResetModem),
    Elemento("Ip1", &S::aIndirizzoIp, 0),
    Elemento("Ip2", &S::aIndirizzoIp, 1),
    Elemento("Ip3", &S::aIndirizzoIp, 2),
    Numero("Porta", &S::nPorta, kPerSlot, 1121, 1, 65535),
    Flag("AutoIncPor", &S::bAutoIncPorta, kPerSlot, true),
    DelCampo(Speciale("Interface", 0, kPerSlot, LeggiInterfacciaRiga, ScriviInterfaccia, InterfacciaPredefinita),
             &S::sInterfaccia),
    Testo("NomeRas", &S::sNomeRas, kTenuta),
    Flag("CloseRas", &S::bCloseRas, kPerSlot),
    Speciale("DispBrows", 9, kPerSlot, LeggiBrowser, ScriviBrowser, BrowserPredefinito),
    Speciale("DispOrdine", 7, kTenuta, LeggiMostraRisposte, ScriviMostraRisposte, MostraRispostePredefinito),
    Flag("SendMes", &S::bSendMes, kTenuta),
    Speciale("CSF", 0, kTenuta, LeggiCsf, nullptr, CsfPredefinito),
    Flag("MotCpj", &S::bMotCpj, kTenuta),
    Flag("TcpDir", &S::bTcpDir, kPerSlot),
    Flag("ModeIFCK", &S::bModeIFCK, kPerSlot, true),
    Flag("Comp-MVN", &S::bCompMvn, kPerSlot),
    Flag("DatiConseg", &S::bDatiConseg, kTenuta),
    Flag("AllineaCol", &S::bAllineaCol, kTenuta),
    Flag("SostProd", &S::bSostProd, kTenuta),
    Flag("ConsDiffer", &S::bConsDiffer, kTenuta),
    Flag("ValOrdine", &S::bValOrdine, kTenuta),
    Flag("SoloManc", &S::bSoloManc, kTenuta),
    Flag("RichDocs", &S::bRichDocs, kTenuta),
    Flag("OrdinePht", &S::bOrdinePht, kTenuta),
    Numero("TimeMaxOrd", &S::nTimeMaxOrd, kTenuta, 600),
    Numero("TimeMaxRxP", &S::nTimeMaxRxP, kTenuta, 1800),
    Numero("TimeMaxTxP", &S::nTimeMaxTxP, kTenuta, 1800),
    Numero("TMCONN-NOR", &S::nTmConnNor, kPerSlot, 45),
    Numero("TMCONN-INT", &S::nTmConnInt, kPerSlot, 5),
    Numero("TMCONN-RAS", &S::nTmConnRas, kPerSlot, 90),
    Numero("FTP-DELAY", &S::nFtpDelay, kPerSlot, 10),
    Numero("FTP-RETRY", &S::nFtpRetry, kPerSlot, 6),
    Numero("STORICO", &S::nStorico, kPerSlot, 30),
}};

ImpostazioniGrossista::ImpostazioniGrossista() {
    for (const ChiaveImpostazione& c : kChiaviImpostazioni) Predefinito(c, *this);
}

const ChiaveImpostazione& IntervalloDi(int ImpostazioniGrossista::*campo) {
    for (const auto& c : kChiaviImpostazioni)
        if (c.tipo == TipoChiave::Numero && c.pCampo == campo) return c;
    throw std::out_of_range("campo numerico senza intervallo");
}

std::string TestoVisibile(std::string_view valore) {
    static constexpr char kCifre[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : valore) {
        if (c < 0x20 || c == 0x7F || c == '\\') {
            out += "\\x";
            out += kCifre[c >> 4];
            out += kCifre[c & 15];
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

double ValoreNumerico(std::string_view text) {
    // Read digit by digit, not through the C library: its decimal point follows the locale, and a number too
    // long for a double must come out as out of range for the field, not as an error that ends the reading.
    auto cifra = [&](std::size_t k) { return k < text.size() && text[k] >= '0' && text[k] <= '9'; };
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negativo = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativo = text[i++] == '-';
    const std::size_t digits = i;
    double v = 0;  // grows to infinity for an absurdly long number, which no field accepts
    for (; cifra(i); ++i) v = v * 10 + (text[i] - '0');
    bool any = i > digits;
    int primaDecimale = 0;      // first digit after the point
    bool restoDecimali = false;  // any non-zero digit after it
    if (i < text.size() && text[i] == '.') {
        const std::size_t frac = ++i;
        if (cifra(i)) primaDecimale = text[i++] - '0';
        for (; cifra(i); ++i) restoDecimali = restoDecimali || text[i] != '0';
        any = any || i > frac;
    }
    if (!any) return 0;
    // Rounded to a whole number, half to even.
    if (primaDecimale > 5 || (primaDecimale == 5 && (restoDecimali || std::fmod(v, 2) != 0))) v += 1;
    return negativo ? -v : v;
}

void ApplicaInterfaccia(ImpostazioniGrossista& s, std::string_view i) {
    auto imposta = [&](int classe, bool disp, int richiesta, bool f1, bool f2, bool f3) {
        if (classe >= 0) s.nTipoInterfaccia = classe;
        s.bDisponibilita = disp;
        s.nTipoRichiesta = richiesta;
        s.bOpzioneTestata1 = f1;
        s.bOpzioneTestata2 = f2;
        s.bOpzioneTestata3 = f3;
    };
    if (i == "ORDINE") {
        imposta(kClasseOrdine, false, 1, false, false, false);
    } else if (i == kDisponibilita) {
        s.nTipoInterfaccia = kClasseDisponibilita;
        s.bDisponibilita = true;
    } else if (i == "DESCRIZ-MAN") {
        imposta(kClasseDisponibilita, false, 1, true, true, false);
    } else if (i == "DESCRIZ-ALL") {
        imposta(kClasseDisponibilita, false, 1, true, true, true);
    } else if (i == "NOTIZIE") {
        imposta(kClasseNotizie, false, 1, true, true, false);
    } else if (i == "NOTIZIE-ALL") {
        imposta(kClasseNotizie, false, 0, true, true, true);
    } else if (i == "POSTA") {
        imposta(kClassePosta, false, 0, false, false, false);
    } else if (i == "CPJ" || i == "CPJ-AAAA") {
        imposta(-1, false, 1, true, true, false);
        s.bCPJ = true;
        s.bCPJAAAA = i == "CPJ-AAAA";
    }
}

std::optional<std::string> TrovaFileImpostazioni(const std::string& sFile, bool* nomeVecchio) {
    if (nomeVecchio) *nomeVecchio = false;
    if (auto trovato = TrovaFile(sFile)) return trovato;
    // The older name of the same slot: only the file name changes.
    const auto [folder, file] = DividiPercorso(sFile);
    auto vecchio = TrovaFile(JoinPath(folder, ReplaceAll(file, "MvnConn", "wlorq")));
    if (vecchio && nomeVecchio) *nomeVecchio = true;
    return vecchio;
}

bool LeggiImpostazioni(Programma& p, const std::string& sFile) {
    Resetta(p);
    bool vecchio = false;
    const auto trovato = TrovaFileImpostazioni(sFile, &vecchio);
    if (vecchio) {
        p.impostazioni.bCompMvn = true;
        p.impostazioni.bModeIFCK = false;
    }
    if (!trovato) {
        ScriviLogFunzione(p, "LeggiImpostazioni :" + DescrizioneErrore(kErrFileNonTrovato) + " " + sFile);
        if (p.opzioni.bBlkRun && p.oggetti.oMsgBox) {
            p.oggetti.oMsgBox->MsgBox("Il File di Configurazione non esiste \r\n"
                                      "prima di effettuare la trasmissione occorre configurarla.",
                                      kMbOk + kMbIconExclamation, "Errore di Trasmissione", p.oggetti.oFrmMorven);
        }
        return false;
    }
    return EseguiProcedura(p, "LeggiImpostazioni", false, [&](bool& ok) {
        std::string testo;
        if (!ReadWholeFile(*trovato, testo)) SollevaErrore(kErrAccessoPercorso, {}, *trovato);
        bool interfaccia = false;
        ImpostazioniGrossista& s = p.impostazioni;
        const ImpostazioniGrossista prima = s;
        for (const std::string& riga : SplitLines(testo)) {
            const auto colon = riga.find(':');
            if (colon == std::string::npos) continue;
            const std::string key = UpperAscii(Trim(std::string_view(riga).substr(0, colon), kBlanksAndTabs));
            const ChiaveImpostazione* chiave = CercaChiave(key);
            if (!chiave) continue;
            interfaccia = interfaccia || chiave->pTesto == &ImpostazioniGrossista::sInterfaccia;
            std::string valore = riga.substr(colon + 1);
            if (valore.size() > kMaxValoreImpostazione) {
                ScriviLogFunzione(p, "LeggiImpostazioni :valore di " + key + " lungo " + std::to_string(valore.size()) +
                                         " byte, tagliato a " + std::to_string(kMaxValoreImpostazione));
                valore.resize(kMaxValoreImpostazione);
            }
            // The last line of a key decides: an earlier refused value of it no longer counts.
            std::erase_if(s.aValoriRifiutati, [&](const auto& r) { return r.sChiave == NomeLetto(*chiave); });
            if (!Applica(*chiave, p, valore)) {
                ScriviLogFunzione(p, "LeggiImpostazioni :valore non valido per " + key + " :" + TestoVisibile(valore));
            }
        }
        // A file without an Interface line is an order slot, the default interface, with its table row.
        if (!interfaccia) LeggiInterfaccia(p, p.impostazioni.sInterfaccia);
        // A number whose last line is refused holds what it held before the file was read, whatever an
        // earlier line of the same key said.
        for (auto& r : s.aValoriRifiutati) s.*r.pCampo = r.nCampo = prima.*r.pCampo;
        Deriva(p);
        ok = true;
    });
}

namespace {

// The value a key's line holds.
std::string ValoreScritto(const ChiaveImpostazione& c, const ImpostazioniGrossista& s) {
    if (c.scrivi) return c.scrivi(s);
    switch (c.tipo) {
        case TipoChiave::Testo: return s.*c.pTesto;
        case TipoChiave::Elemento: return (s.*c.pElementi)[c.nElemento];
        case TipoChiave::Flag: return FlagToYesNo(s.*c.pFlag);
        case TipoChiave::Numero: {
            // A number the file held but reading could not use is written back as it stood, unless it was
            // changed.
            const int v = s.*c.pCampo;
            for (const auto& r : s.aValoriRifiutati) {
                if (r.sChiave == NomeLetto(c) && r.nCampo == v) return r.sValore;
            }
            return std::to_string(v);
        }
        case TipoChiave::Speciale: break;
    }
    return {};
}

}  // namespace

std::string TestoImpostazioni(const ImpostazioniGrossista& s) {
    std::string out;
    for (const ChiaveImpostazione& c : kChiaviImpostazioni) {
        if (c.tipo == TipoChiave::Speciale && !c.scrivi) continue;  // read only
        out += PadRight(c.sChiave, 10);
        out += ':';
        out += SuUnaRiga(ValoreScritto(c, s));
        out += "\r\n";
    }
    return out;
}

bool ScriviImpostazioni(Programma& p, const std::string& sFile) {
    return EseguiProcedura(p, "ScriviImpostazioni", false, [&](bool& ok) {
        // An existing file of another case is the one replaced, never a second file beside it.
        const auto [folder, name] = DividiPercorso(sFile);
        const std::string target = ResolveNoCase(folder, name);
        std::string error;
        if (!ReplaceFileAtomically(target, TestoImpostazioni(p.impostazioni), &error)) {
            SollevaErrore(kErrAccessoPercorso, error);
        }
        ok = true;
    });
}

bool AggiornaImpostazioni(Programma& p) {
    return EseguiProcedura(p, "AggiornaImpostazioni", false, [&](bool& ok) {
        // Without the slot's own settings an update would write another slot's leftovers into its file.
        if (!LeggiImpostazioni(p, p.percorsi.sFileImpostazioni)) return;
        const auto news = FindNameNoCase(p.percorsi.sPathApp, "news");
        const auto file = news ? TrovaFile(JoinPath(JoinPath(p.percorsi.sPathApp, *news), "morvenprofupg.dat"))
                               : std::nullopt;
        std::string testo;
        if (!file || !ReadWholeFile(*file, testo)) {
            SollevaErrore(kErrFileNonTrovato, DescrizioneErrore(kErrFileNonTrovato) + " morvenprofupg.dat");
        }
        ImpostazioniGrossista& s = p.impostazioni;
        std::string prima = TestoImpostazioni(s);  // the file as it stood, for the log of each change
        bool applica = false;
        for (const std::string& riga : SplitLines(testo)) {
            const std::string tipo = Mid(riga, 1, 1);
            if (tipo == "T") {
                // A blank code never names this client.
                const std::string mio = Trim(s.sCodiceCliente, kBlanksAndTabs);
                const std::string c1 = Trim(Mid(riga, 2, 9), kBlanksAndTabs), c2 = Trim(Mid(riga, 11, 9), kBlanksAndTabs);
                if (!mio.empty() && (c1 == mio || c2 == mio)) applica = true;
                continue;
            }
            if (!applica) continue;
            if (tipo == "C") {
                s.sCodiceCliente = Trim(Mid(riga, 11, 9), kBlanksAndTabs);
                const std::string descrizione = Trim(Mid(riga, 20, 80), kBlanksAndTabs);
                if (!descrizione.empty()) s.sConnect = descrizione;
            } else if (tipo == "N") {
                for (int k = 0; k < 3; ++k) s.aTelefono[static_cast<std::size_t>(k)] = Mid(riga, 2 + 30 * k, 30);
            } else if (tipo == "I") {
                for (int k = 0; k < 3; ++k) s.aIndirizzoIp[static_cast<std::size_t>(k)] = Mid(riga, 2 + 80 * k, 80);
            } else if (tipo == "Z") {
                if (!ScriviImpostazioni(p, p.percorsi.sFileImpostazioni)) {
                    SollevaErrore(kErrAccessoPercorso, {}, p.percorsi.sFileImpostazioni);
                }
                RegistraModifiche(p, prima, TestoImpostazioni(s));
                prima = TestoImpostazioni(s);
            }
        }
        ok = true;
    });
}

}  // namespace morven
