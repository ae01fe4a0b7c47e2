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

void Resetta(Programma& p) {
    ImpostazioniGrossista& s = p.impostazioni;
    s.sCodiceCliente.clear();
    s.bModoInternet = s.bModoMisto = s.bModoFTP = false;
    s.nCommPort = 1;
    s.sSpeedComm = s.sSpeedCommPorta = "57600";
    s.sSettings = "N,8,1";
    s.sModemSet = "AT&FE0V1&D2X1";
    s.nPorta = 1121;
    s.bAutoIncPorta = true;
    s.aValoriRifiutati.clear();
    s.sInterfaccia = "ORDINE";
    s.sInterfacciaFile = "ORDINE";
    s.bInterfacciaForzata = false;
    s.nTipoInterfaccia = 0;
    // The Comproject framing belongs to the slot whose interface asks for it (or to the availability request
    // the call driver turns into it), never to the next slot read in the same process.
    s.bCPJ = s.bCPJAAAA = false;
    s.sModoNonValido.clear();
    s.bCloseRas = false;
    s.bDispBrowser = s.bDispBrowserEsterno = false;
    s.bTcpDir = false;
    s.bModeIFCK = true;
    s.bCompMvn = false;
    s.bDisponibilita = false;
    s.bOpzioneTestata3 = false;
    s.nTmConnNor = 45;
    s.nTmConnInt = 5;
    s.nTmConnRas = 90;
    s.nFtpDelay = 10;
    s.nFtpRetry = 6;
    s.nStorico = 30;
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

// One key of the file and what its value does. A key is matched exactly, or (prefix) by its beginning.
struct Chiave {
    std::string_view nome;
    bool prefisso;
    // Applies the value; false when the value does not fit the field.
    std::function<bool(Programma&, const std::string&)> applica;
};

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

Chiave Testo(std::string_view nome, std::string ImpostazioniGrossista::*campo) {
    return {nome, false, [campo](Programma& p, const std::string& v) {
                p.impostazioni.*campo = v;
                return true;
            }};
}

Chiave Flag(std::string_view nome, bool ImpostazioniGrossista::*campo) {
    return {nome, false, [campo](Programma& p, const std::string& v) { return SiNo(v, p.impostazioni.*campo); }};
}

// A number of the file, within its range (kIntervalliNumeri). A value that is not a number or is out of range
// leaves the field alone and is kept, with the key, among the refused values.
Chiave Numero(const IntervalloNumero& r) {
    const std::string_view nome = r.sChiave;
    const auto campo = r.pCampo;
    const double minimo = r.nMinimo, massimo = r.nMassimo;
    return {nome, false, [nome, campo, minimo, massimo](Programma& p, const std::string& v) {
                auto& s = p.impostazioni;
                const auto n = NumeroIniziale(v);
                if (n && *n >= minimo && *n <= massimo) {
                    s.*campo = static_cast<int>(*n);
                    return true;
                }
                s.aValoriRifiutati.push_back({std::string(nome), v, campo, s.*campo});
                return false;
            }};
}

Chiave Elemento(std::string_view nome, std::array<std::string, 3> ImpostazioniGrossista::*campo, int k) {
    return {nome, false, [campo, k](Programma& p, const std::string& v) {
                (p.impostazioni.*campo)[static_cast<std::size_t>(k)] = v;
                return true;
            }};
}

const std::vector<Chiave>& Chiavi() {
    using S = ImpostazioniGrossista;
    static const std::vector<Chiave> chiavi = {
        Testo("CONNECT", &S::sConnect),
        Testo("CODE", &S::sCodiceCliente),
        Testo("PASSWORD", &S::sPassword),
        Testo("USER", &S::sUser),
        {"MODE", false,
         [](Programma& p, const std::string& v) {
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
         }},
        Elemento("PHONE 1", &S::aTelefono, 0),
        Elemento("PHONE 2", &S::aTelefono, 1),
        Elemento("PHONE 3", &S::aTelefono, 2),
        Numero(IntervalloDi(&S::nCommPort)),
        {"SPEEDCOM", true,
         [](Programma& p, const std::string& v) {
             p.impostazioni.sSpeedComm = p.impostazioni.sSpeedCommPorta = Trim(v, kBlanksAndTabs);
             return true;
         }},
        {"SETTING", true,
         [](Programma& p, const std::string& v) {
             p.impostazioni.sSettings = v;
             return true;
         }},
        Testo("MODEMSET", &S::sModemSet),
        Testo("MODEMRESET", &S::sModemReset),
        Elemento("IP1", &S::aIndirizzoIp, 0),
        Elemento("IP2", &S::aIndirizzoIp, 1),
        Elemento("IP3", &S::aIndirizzoIp, 2),
        Numero(IntervalloDi(&S::nPorta)),
        Flag("AUTOINCPOR", &S::bAutoIncPorta),
        {"INTERFACE", false,
         [](Programma& p, const std::string& v) {
             LeggiInterfaccia(p, v);
             return true;
         }},
        Testo("NOMERAS", &S::sNomeRas),
        Flag("CLOSERAS", &S::bCloseRas),
        {"DISPBROWS", true,
         [](Programma& p, const std::string& v) {
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
         }},
        {"DISPORD", true,
         [](Programma& p, const std::string& v) {
             bool flag = false;
             if (!SiNo(v, flag)) return false;
             p.impostazioni.bDispOrdine.fill(flag);
             return true;
         }},
        Flag("SENDMES", &S::bSendMes),
        // The order-file deletion is also a switch of the run (/CSF): the file may set it, never clear it.
        {"CSF", false,
         [](Programma& p, const std::string& v) {
             bool flag = false;
             if (!SiNo(v, flag)) return false;
             if (flag) p.impostazioni.bCsf = true;
             return true;
         }},
        Flag("MOTCPJ", &S::bMotCpj),
        Flag("TCPDIR", &S::bTcpDir),
        Flag("MODEIFCK", &S::bModeIFCK),
        Flag("COMP-MVN", &S::bCompMvn),
        Flag("DATICONSEG", &S::bDatiConseg),
        Flag("ALLINEACOL", &S::bAllineaCol),
        Flag("SOSTPROD", &S::bSostProd),
        Flag("CONSDIFFER", &S::bConsDiffer),
        Flag("VALORDINE", &S::bValOrdine),
        Flag("SOLOMANC", &S::bSoloManc),
        Flag("RICHDOCS", &S::bRichDocs),
        Flag("ORDINEPHT", &S::bOrdinePht),
        Numero(IntervalloDi(&S::nTimeMaxOrd)),
        Numero(IntervalloDi(&S::nTimeMaxRxP)),
        Numero(IntervalloDi(&S::nTimeMaxTxP)),
        Numero(IntervalloDi(&S::nTmConnNor)),
        Numero(IntervalloDi(&S::nTmConnInt)),
        Numero(IntervalloDi(&S::nTmConnRas)),
        Numero(IntervalloDi(&S::nFtpDelay)),
        Numero(IntervalloDi(&S::nFtpRetry)),
        Numero(IntervalloDi(&S::nStorico)),
    };
    return chiavi;
}

const Chiave* CercaChiave(const std::string& key) {
    for (const auto& c : Chiavi()) {
        if (key == c.nome) return &c;
    }
    for (const auto& c : Chiavi()) {
        if (c.prefisso && key.rfind(c.nome, 0) == 0) return &c;
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
            s.nTipoInterfaccia = 2;
            s.bDisponibilita = false;
            s.nTipoRichiesta = 3;
            s.bOpzioneTestata1 = s.bOpzioneTestata2 = s.bOpzioneTestata3 = true;
        } else if (s.bSoloManc) {
            s.nTipoInterfaccia = 2;
            s.bDisponibilita = false;
            s.nTipoRichiesta = 1;
            s.bOpzioneTestata1 = s.bOpzioneTestata2 = true;
            s.bOpzioneTestata3 = false;
        }
    }
    if (p.opzioni.bModoPartner) s.nTipoInterfaccia = 4;
    if (s.nTipoInterfaccia < 4) {
        s.bTcpDir = false;
    } else if (s.nTipoInterfaccia == 4) {
        s.bDispOrdine[0] = s.bDispOrdine[1] = false;
    }
    if (!s.bModoInternet) s.bDispBrowser = false;
    if (s.bModoInternet && s.bCPJ) {
        s.bCPJ = false;
        s.nTipoInterfaccia = 3;
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

constinit const IntervalloNumero kIntervalliNumeri[11] = {
    {"COMMPORT", &ImpostazioniGrossista::nCommPort, 0, 32767},
    {"PORTA", &ImpostazioniGrossista::nPorta, 1, 65535},
    {"TIMEMAXORD", &ImpostazioniGrossista::nTimeMaxOrd, 0, 32767},
    {"TIMEMAXRXP", &ImpostazioniGrossista::nTimeMaxRxP, 0, 32767},
    {"TIMEMAXTXP", &ImpostazioniGrossista::nTimeMaxTxP, 0, 32767},
    {"TMCONN-NOR", &ImpostazioniGrossista::nTmConnNor, 0, 32767},
    {"TMCONN-INT", &ImpostazioniGrossista::nTmConnInt, 0, 32767},
    {"TMCONN-RAS", &ImpostazioniGrossista::nTmConnRas, 0, 32767},
    {"FTP-DELAY", &ImpostazioniGrossista::nFtpDelay, 0, 32767},
    {"FTP-RETRY", &ImpostazioniGrossista::nFtpRetry, 0, 32767},
    {"STORICO", &ImpostazioniGrossista::nStorico, 0, 32767},
};

const IntervalloNumero& IntervalloDi(int ImpostazioniGrossista::*campo) {
    for (const auto& r : kIntervalliNumeri)
        if (r.pCampo == campo) return r;
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
        imposta(1, false, 1, false, false, false);
    } else if (i == kDisponibilita) {
        s.nTipoInterfaccia = 2;
        s.bDisponibilita = true;
    } else if (i == "DESCRIZ-MAN") {
        imposta(2, false, 1, true, true, false);
    } else if (i == "DESCRIZ-ALL") {
        imposta(2, false, 1, true, true, true);
    } else if (i == "NOTIZIE") {
        imposta(3, false, 1, true, true, false);
    } else if (i == "NOTIZIE-ALL") {
        imposta(3, false, 0, true, true, true);
    } else if (i == "POSTA") {
        imposta(4, false, 0, false, false, false);
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
                                      48, "Errore di Trasmissione", p.oggetti.oFrmMorven);
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
            const Chiave* chiave = CercaChiave(key);
            if (!chiave) continue;
            interfaccia = interfaccia || key == "INTERFACE";
            std::string valore = riga.substr(colon + 1);
            if (valore.size() > kMaxValoreImpostazione) {
                ScriviLogFunzione(p, "LeggiImpostazioni :valore di " + key + " lungo " + std::to_string(valore.size()) +
                                         " byte, tagliato a " + std::to_string(kMaxValoreImpostazione));
                valore.resize(kMaxValoreImpostazione);
            }
            // The last line of a key decides: an earlier refused value of it no longer counts.
            std::erase_if(s.aValoriRifiutati, [&](const auto& r) { return r.sChiave == chiave->nome; });
            if (!chiave->applica(p, valore)) {
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

std::string TestoImpostazioni(const ImpostazioniGrossista& s) {
    std::string out;
    auto riga = [&](std::string_view chiave, std::string_view valore) {
        out += PadRight(chiave, 10);
        out += ':';
        out += SuUnaRiga(valore);
        out += "\r\n";
    };
    auto flag = [&](std::string_view chiave, bool v) { riga(chiave, FlagToYesNo(v)); };
    // A number the file held but reading could not use is written back as it stood, unless it was changed.
    auto numero = [&](std::string_view chiave, int v) {
        for (const auto& r : s.aValoriRifiutati) {
            if (r.sChiave == UpperAscii(chiave) && r.nCampo == v) return riga(chiave, r.sValore);
        }
        riga(chiave, std::to_string(v));
    };

    riga("Connect", s.sConnect);
    riga("Code", s.sCodiceCliente);
    riga("Password", s.sPassword);
    riga("User", s.sUser);
    riga("Mode", s.bModoFTP ? "FTP" : !s.bModoInternet ? "NORMALE" : !s.bModoMisto ? "INTERNET" : "MISTO");
    riga("Phone 1", s.aTelefono[0]);
    riga("Phone 2", s.aTelefono[1]);
    riga("Phone 3", s.aTelefono[2]);
    numero("CommPort", s.nCommPort);
    riga("SpeedComm", s.sSpeedComm);
    riga("Settings", s.sSettings);
    riga("ModemSet", s.sModemSet);
    riga("ModemReset", "AT&FS0 = 0");
    riga("Ip1", s.aIndirizzoIp[0]);
    riga("Ip2", s.aIndirizzoIp[1]);
    riga("Ip3", s.aIndirizzoIp[2]);
    numero("Porta", s.nPorta);
    flag("AutoIncPor", s.bAutoIncPorta);
    // A switch of this run (/RICHDISP) does not go into the file: the file keeps its own interface.
    const bool forzata = s.bInterfacciaForzata && s.sInterfaccia == kDisponibilita;
    riga("Interface", forzata ? s.sInterfacciaFile : s.sInterfaccia);
    riga("NomeRas", s.sNomeRas);
    flag("CloseRas", s.bCloseRas);
    riga("DispBrows", !s.bDispBrowser ? "NO" : !s.bDispBrowserEsterno ? "YES" : "EXT");
    flag("DispOrdine", s.bDispOrdine[2]);
    flag("SendMes", s.bSendMes);
    flag("MotCpj", s.bMotCpj);
    flag("TcpDir", s.bTcpDir);
    flag("ModeIFCK", s.bModeIFCK);
    flag("Comp-MVN", s.bCompMvn);
    flag("DatiConseg", s.bDatiConseg);
    flag("AllineaCol", s.bAllineaCol);
    flag("SostProd", s.bSostProd);
    flag("ConsDiffer", s.bConsDiffer);
    flag("ValOrdine", s.bValOrdine);
    flag("SoloManc", s.bSoloManc);
    flag("RichDocs", s.bRichDocs);
    flag("OrdinePht", s.bOrdinePht);
    numero("TimeMaxOrd", s.nTimeMaxOrd);
    numero("TimeMaxRxP", s.nTimeMaxRxP);
    numero("TimeMaxTxP", s.nTimeMaxTxP);
    numero("TMCONN-NOR", s.nTmConnNor);
    numero("TMCONN-INT", s.nTmConnInt);
    numero("TMCONN-RAS", s.nTmConnRas);
    numero("FTP-DELAY", s.nFtpDelay);
    numero("FTP-RETRY", s.nFtpRetry);
    numero("STORICO", s.nStorico);
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
