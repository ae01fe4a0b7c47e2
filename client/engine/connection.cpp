#include "client/engine/connection.h"

#include <stdexcept>
#include <string_view>

#include "client/engine/errors.h"
#include "client/engine/helpers.h"
#include "client/engine/line_io.h"
#include "client/engine/logs.h"
#include "client/engine/markers.h"
#include "client/engine/message_box.h"
#include "client/engine/session.h"
#include "client/engine/programma.h"
#include "platform/dialup/dialup.h"
#include "platform/core/text.h"

namespace morven {

namespace {

int SlotIndex(int tentativo, int perSlot) {
    if (tentativo < 1) tentativo = 1;
    return ((tentativo - 1) / perSlot) % 3;
}

}  // namespace

std::string VelocitaConnessione(const std::string& reply) {
    static constexpr std::pair<std::string_view, std::string_view> kTable[] = {
        {"300", "  300"},     {"1200", " 1200"},   {"2400", " 2400"},   {"4800", " 4800"},
        {"9600", " 9600"},    {"12000", "12000"}, {"14400", "14400"}, {"19200", "19200"},
        {"28800", "28800"}, {"31200", "31200"}, {"33600", "33600"}, {"57600", "57600"},
    };
    std::string speed = "-----";
    for (const auto& [found, stored] : kTable)
        if (reply.find(found) != std::string::npos) speed = std::string(stored);
    return speed;
}

std::string TelefonoPerTentativo(const std::array<std::string, 3>& telefoni, int tentativo) {
    return Trim(telefoni[SlotIndex(tentativo, 1)]);
}

HostPorta HostPerTentativo(const std::array<std::string, 3>& indirizzi, int porta, bool autoIncPorta, int tentativo) {
    if (!autoIncPorta) return {Trim(indirizzi[0]), porta};
    return {Trim(indirizzi[SlotIndex(tentativo, 2)]), porta + (tentativo < 1 ? 0 : tentativo - 1)};
}

}  // namespace morven

// ---------------------------------------------------------------------------------------------------------
// Dial-up entries

namespace morven {

bool FillRasEntryList(Programma& p, std::vector<std::string>& combo) {
    try {
        for (const auto& e : p.Ras().Entries()) combo.push_back(e);
        return true;
    } catch (...) {
        return false;  // no dial-up service: the choice stays empty, nothing is logged
    }
}

bool IsRasEntryConnected(Programma& p, const std::string& name) {
    return EseguiProcedura(p, "IsRasEntryConnected", false, [&] {
        for (const auto& c : p.Ras().Connections())
            if (c == name) return true;
        return false;
    });
}

bool DialRasEntry(Programma& p, const std::string& name, int timeout) {
    return EseguiProcedura(p, "DialRasEntry", false, [&] {
        if (name.empty() || IsRasEntryConnected(p, name)) return true;
        auto& ras = p.Ras();
        if (!ras.StartDial(name)) {
            ScriviLogFunzione(p, "DialRasEntry :connessione " + name + " non avviata");
            return false;
        }
        const auto start = p.Orologio().MonotonicMs();
        bool dialling = true;
        while ((dialling = ras.Dialling()) && p.Orologio().MonotonicMs() - start < std::int64_t{timeout} * 1000)
            AttendiEventi(p, start + std::int64_t{timeout} * 1000);
        // A dialler still trying at the limit is stopped, so no link comes up behind the session's back.
        if (dialling) ras.HangUp(name);
        const bool result = IsRasEntryConnected(p, name);
        WaitMilliseconds(p, 5000);
        return result;
    });
}

bool HangUpRasEntry(Programma& p, const std::string& name) {
    return EseguiProcedura(p, "HangUpRasEntry", false, [&] {
        if (name.empty()) return true;
        auto& ras = p.Ras();
        bool any = false;
        for (const auto& c : ras.Connections())
            if (c == name && ras.HangUp(c)) any = true;
        return any;
    });
}

PppDialUp::PppDialUp() : impl_(std::make_unique<PppDialup>()) {}
PppDialUp::PppDialUp(const DialupPaths& paths) : impl_(std::make_unique<PppDialup>(paths)) {}
PppDialUp::~PppDialUp() = default;

std::vector<std::string> PppDialUp::Entries() {
    auto e = impl_->Entries();
    if (!e) throw std::runtime_error("Servizio di connessione remota non disponibile");
    return *e;
}
std::vector<std::string> PppDialUp::Connections() { return impl_->Connections(); }
bool PppDialUp::StartDial(const std::string& entry) { return impl_->StartDial(entry); }
bool PppDialUp::Dialling() { return impl_->Dialling(); }
bool PppDialUp::HangUp(const std::string& entry) { return impl_->HangUp(entry); }

}  // namespace morven

// ---------------------------------------------------------------------------------------------------------
// Modem and TCP

namespace morven {

namespace {

void Stato(Programma& p, const std::string& testo) { Write_Status(p, testo, "", 100, 0, "", ""); }

// The line is open: show it, start the session time and choose the first transfer.
void Connesso(Programma& p) {
    auto& st = p.sessione;
    auto& imp = p.impostazioni;
    Stato(p, "Connesso ");
    auto& main = p.FrmMorven();
    main.SetText("SitStatus", st.sTracciaEventi);
    main.SetVisible("Avanzamento", true);
    st.nInizioCollegamento = SecondiSessione(p);
    st.nPassoSessione = imp.nTipoInterfaccia >= kClassePosta ? kPassoInviaPosta : kPassoConnesso;
    if (imp.bModeIFCK) st.nPassoSessione = kPassoInviaIFCK;
}

void ConfiguraPorta(Programma& p) {
    auto& port = p.MSComm();
    const auto& imp = p.impostazioni;
    port.DTREnable = true;
    port.EOFEnable = false;
    port.RTSEnable = true;
    port.Handshaking = 2;
    port.InBufferSize = 10240;
    port.InputLen = 0;
    port.InputMode = 0;
    port.ParityReplace.clear();
    port.NullDiscard = false;
    port.OutBufferSize = 2048;
    port.CommPort = imp.nCommPort;
    // sSpeedComm holds the configured speed until a call stores its connect speed there (emptied by the
    // connect step, "NET  " after a TCP call): a modem fall-back after TCP calls gets the slot's own speed.
    const bool velocita = !imp.sSpeedComm.empty() &&
                          imp.sSpeedComm.find_first_not_of("0123456789") == std::string::npos;
    std::string speed = velocita ? imp.sSpeedComm : imp.sSpeedCommPorta;
    if (speed.empty()) speed = "57600";
    port.Settings = speed + "," + imp.sSettings;
}

constexpr int kTentativiModem = 6;

}  // namespace

bool SettaggioModem(Programma& p) {
    bool ok = false;
    try {
        auto& st = p.sessione;
        auto& port = p.MSComm();
        Stato(p, "Settaggio Modem");
        p.FrmMorven().SetVisible("Avanzamento", false);
        for (int falliti = 0;;) {
            if (!port.PortOpen()) {
                ConfiguraPorta(p);
                port.SetPortOpen(true);
            } else {
                port.SetPortOpen(false);
                WaitMilliseconds(p, 1000);
                port.SetPortOpen(true);
            }
            ScriviComm(p, "ATH0");
            st.nTimeOutRicezione = 3;
            st.sStatoLinea = SvuotaComm(p, 2);
            if (Contiene(st.sStatoLinea, "OK")) break;
            if (st.bProceduraAbortita) return false;
            if (++falliti >= kTentativiModem) {
                p.FrmMorven().Show();
                p.MsgBox().MsgBox("Il Modem Non Risponde !!!", kMbOk + kMbIconStop, "ERRORE MODEM", nullptr);
                TerminaProgramma(p);
                return false;
            }
        }
        // The set-up string is repeated as the reset is: at most six tries, then the modem counts as silent.
        for (int prove = 0;;) {
            ScriviComm(p, p.impostazioni.sModemSet);
            st.nTimeOutRicezione = 10;
            st.sStatoLinea = LeggiComm(p, 10);
            if (Contiene(st.sStatoLinea, "OK")) break;
            if (st.bProceduraAbortita) return false;
            if (++prove >= kTentativiModem) {
                p.FrmMorven().Show();
                p.MsgBox().MsgBox("Il Modem Non Risponde !!!", kMbOk + kMbIconStop, "ERRORE MODEM", nullptr);
                TerminaProgramma(p);
                return false;
            }
        }
        st.sStatoLinea = SvuotaComm(p, 2);
        ok = true;
    } catch (...) {
        const ErroreMorven e = ErroreCorrente();
        RegistraErrore(p, "SettaggioModem", e);
        if (p.oggetti.oFrmMorven) p.oggetti.oFrmMorven->Show();
        p.MsgBox().MsgBox("Si e' Verificato il seguente errore :\r\n" + std::to_string(e.nNumero) + " - " +
                              e.sDescrizione + "\r\nil programma verra terminato. ",
                          kMbOk + kMbIconStop, "Errore Procedura", nullptr);
        TerminaProgramma(p);
    }
    return ok;
}

bool EseguiChiamata(Programma& p) {
    return EseguiProcedura(p, "EseguiChiamata", false, [&] {
        auto& st = p.sessione;
        auto& imp = p.impostazioni;
        auto& clock = p.Orologio();
        st.nTimeOutRicezione = 10;
        st.bMancantiRicevuti = false;
        // Every attempt starts with a line that is not closed: only the peer's close of this attempt counts.
        st.bConnessioneChiusa = false;
        WaitMilliseconds(p, 3000);
        const std::string tentativo = " " + std::to_string(st.nTentativo);

        if (!imp.bModoInternet) {
            const std::string numero = TelefonoPerTentativo(imp.aTelefono, st.nTentativo);
            std::string comando = "ATDT" + numero;
            std::int64_t limite = imp.nTmConnNor;
            if (Contiene(UpperAscii(comando), "ANSWER")) {
                comando = "ATS0=1";
                limite = 30000;
                Stato(p, "Attesa Chiamata ");
            } else if (!p.opzioni.bComponiNumero) {
                Stato(p, "Tentativo di Connessione n." + tentativo + " a " + imp.sConnect);
            } else {
                Stato(p, "Tentativo di Connessione n." + tentativo + " al n. " + comando.substr(4));
            }
            ScriviComm(p, comando);
            auto inizio = clock.MonotonicMs();
            for (;;) {
                st.sStatoLinea = LeggiComm(p, 10);
                const std::string& r = st.sStatoLinea;
                if (Contiene(r, "RING")) {
                    Stato(p, "Chiamata in Arrivo ");
                    inizio = clock.MonotonicMs();
                    limite = imp.nTmConnNor;
                }
                if (Contiene(r, "CONNECT")) {
                    imp.sSpeedComm = VelocitaConnessione(r);
                    Connesso(p);
                    break;
                }
                if (st.bProceduraAbortita) {
                    st.nPassoSessione = kPassoAbortito;
                    break;
                }
                if (LineaPersa(p, r) || Contiene(r, "BUSY")) {
                    st.nPassoSessione = kPassoRitenta;
                    break;
                }
                if (clock.MonotonicMs() - inizio >= limite * 1000) {
                    st.nPassoSessione = kPassoRitenta;
                    break;
                }
            }
            return true;
        }

        auto& sock = p.Winsock();
        if (sock.State() != TcpSocket::sckClosed) sock.Close();
        std::string ras = imp.sNomeRas;
        if (!DialRasEntry(p, ras, imp.nTmConnRas)) {
            HangUpRasEntry(p, ras);
            imp.bModoInternet = false;
            CollegamentoImpossibile(p, "Connessione con " + imp.sNomeRas);
            TerminaProgramma(p);
            return true;
        }
        const HostPorta hp = HostPerTentativo(imp.aIndirizzoIp, imp.nPorta, imp.bAutoIncPorta, st.nTentativo);
        sock.RemoteHost = hp.host;
        sock.RemotePort = hp.porta;
        sock.Connect();
        Stato(p, "Richiesta di Connessione IP n." + tentativo + " a " + sock.RemoteHost);
        const auto inizio = clock.MonotonicMs();
        st.sStatoLinea.clear();
        for (;;) {
            AttendiEventi(p, inizio + std::int64_t{imp.nTmConnInt} * 1000);
            if (sock.State() == TcpSocket::sckConnected) {
                imp.sSpeedComm = "NET  ";
                Connesso(p);
                break;
            }
            if (Contiene(st.sStatoLinea, "BUSY") || LineaPersa(p, st.sStatoLinea)) {
                st.nPassoSessione = kPassoRitenta;
                break;
            }
            if (st.bProceduraAbortita) {
                st.nPassoSessione = kPassoAbortito;
                break;
            }
            if (clock.MonotonicMs() - inizio >= std::int64_t{imp.nTmConnInt} * 1000) {
                st.nPassoSessione = kPassoRitenta;
                break;
            }
        }
        return true;
    });
}

}  // namespace morven
