#include "client/engine/mail_send.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "client/engine/errors.h"
#include "client/engine/frames.h"
#include "client/engine/helpers.h"
#include "client/engine/line_io.h"
#include "client/engine/logs.h"
#include "client/engine/order_send.h"
#include "client/engine/programma.h"
#include "client/engine/session.h"
#include "platform/core/files.h"

namespace morven {

int AttesaLetturaPosta(Programma& p) {
    const auto& st = p.sessione;
    const auto now = SecondiSessione(p);
    const std::int64_t fase = std::int64_t{st.nInizioCollegamento} + st.nTimeMaxCorrente - now;
    const std::int64_t record = std::int64_t{st.nInizioTrasferimento} + st.nTimeOutRecord - now;
    std::int64_t attesa = std::min(fase, record) + 1;
    if (st.nTimeOutRicezione >= 1) attesa = std::min<std::int64_t>(attesa, st.nTimeOutRicezione);
    return static_cast<int>(std::clamp<std::int64_t>(attesa, 1, 3600));
}

std::string TestoNumero(long long n) { return (n >= 0 ? " " : "") + std::to_string(n); }

void MarcaTracciaEventi(Programma& p, const std::string& marca) {
    auto& st = p.sessione;
    st.sTracciaEventi += marca;
    Istruzione(p, "MarcaTracciaEventi", kStadioSalta, [&] { p.FrmMorven().SetText("SitStatus", st.sTracciaEventi); });
}

std::string IntestazionePosta(long nBlocchi, bool bArchivio, const std::string& sCodiceCliente,
                              const std::string& sEtichetta) {
    return "0000" + PadLeft(nBlocchi, 4, "0") + (bArchivio ? "OFFERTA   " : "NO-OFFERTA") + sCodiceCliente +
           sEtichetta;
}

std::string EtichettaPosta(bool bTcp, bool bArchivio, bool bModoPartner, bool bBDati) {
    if (bTcp) return bArchivio && bModoPartner ? " OLTREMATCPIPxxx" : " TCPIPxxxxxxxxxx";
    if (bArchivio && bModoPartner) return " OLTREMA********";
    if (bArchivio && bBDati) return " BDATI  ********";
    return " ***************";
}

long BlocchiPosta(std::int64_t nByte, bool bTcp) {
    if (bTcp) return static_cast<long>(std::max<std::int64_t>(nByte / 8192, 1));
    return static_cast<long>(nByte / 1024 + 1);
}

namespace {

constexpr std::size_t kBloccoPosta = 1024;
constexpr std::size_t kBloccoPostaTcp = 8192;
const char* const kFinePosta = "9999FINE TX      ********************";

void LogSessione(Programma& p, const std::string& testo) {
    ScriviLog(p, p.percorsi.sFileLogSessione, true, testo);
}

// Phase and record limits, checked before every send. False (the mark shown, step 3 left) when one passed.
bool EntroLimiti(Programma& p) {
    auto& st = p.sessione;
    const char* marca = nullptr;
    if (FaseScaduta(p))
        marca = " T.O. Notizie [0]";
    else if (RecordScaduto(p))
        marca = " T.O. Notizie [1]";
    if (!marca) return true;
    MarcaTracciaEventi(p, marca);
    st.nPassoSessione = kPassoRitenta;
    return false;
}

// A read line that ends the transfer: lost line (step 3) or abort (200).
bool FineLinea(Programma& p, const std::string& riga) {
    auto& st = p.sessione;
    if (LineaPersa(p, riga)) {
        st.nPassoSessione = kPassoRitenta;
        return true;
    }
    if (st.bProceduraAbortita) {
        st.nPassoSessione = kPassoAbortito;
        return true;
    }
    return false;
}

// The archive, when there is one: its bytes and the blocks the header announces. A file that cannot be read,
// or that is too large for the 4-digit block fields, raises an error (the transfer then ends at step 3, and
// the archive stays where it is for the next call).
struct ArchivioPosta {
    bool presente = false;
    std::string dati;
    long nBlocchi = 0;
};

ArchivioPosta LeggiArchivioPosta(Programma& p, const std::string& sFile, bool bTcp) {
    ArchivioPosta a;
    if (!FileExists(sFile)) return a;
    a.presente = true;
    std::error_code ec;
    const auto size = std::filesystem::file_size(sFile, ec);
    if (ec) SollevaErrore(kErrAccessoPercorso, "Impossibile leggere " + sFile + ": " + ec.message());
    a.nBlocchi = BlocchiPosta(static_cast<std::int64_t>(size), bTcp);
    const long massimo = bTcp ? kMaxBlocchiPostaTcp : kMaxBlocchiPosta;
    if (a.nBlocchi > massimo) {
        LogSessione(p, "TX: ERRORE archivio posta di " + std::to_string(size) + " byte oltre " +
                           std::to_string(massimo) + " blocchi, non inviato");
        SollevaErrore(kErrChiamataNonValida, "Archivio posta troppo grande: " + sFile + " (" +
                                                 std::to_string(size) + " byte)");
    }
    if (!ReadWholeFile(sFile, a.dati)) SollevaErrore(kErrAccessoPercorso, "Impossibile leggere " + sFile);
    if (a.dati.size() != size) a.nBlocchi = BlocchiPosta(static_cast<std::int64_t>(a.dati.size()), bTcp);
    if (a.nBlocchi > massimo) SollevaErrore(kErrChiamataNonValida, "Archivio posta troppo grande: " + sFile);
    return a;
}

void Inizio(Programma& p) {
    LogSessione(p, DataOraLog(p.Orologio().Now()) + " <<< Trasmissione Notizie >>>");
    p.sessione.sStatoLinea = SvuotaComm(p, 2);
}

void Fine(Programma& p) {
    StatoTrasferimento(p, "Trasmis. Posta Ok !!", 100, 100);
    p.sessione.nPassoSessione = kPassoRiceviPosta;
}

// A failure of the transfer's own work (the archive unreadable, a device error): logged, step 3, never a
// step that would run the transfer again for ever.
bool Fallito(Programma& p, const char* nome) {
    RegistraErrore(p, nome, ErroreCorrente());
    p.sessione.nPassoSessione = kPassoRitenta;
    return false;
}

// Takes the answer "FINEOK" (raw, or as a line in the line encoding) and its line end out of the received
// bytes; what follows it (the news that come next) stays queued. False while it has not arrived.
bool TogliFineOk(std::string& coda) {
    for (const std::string& segno : {std::string("FINEOK"), CodificaTcp("FINEOK")}) {
        const auto at = coda.find(segno);
        if (at == std::string::npos) continue;
        std::size_t resto = at + segno.size();
        while (resto < coda.size() && (coda[resto] == '\r' || coda[resto] == '\n')) ++resto;
        coda.erase(0, resto);
        return true;
    }
    return false;
}

}  // namespace

bool TxPosta(Programma& p, const std::string& sFile) {
    auto& st = p.sessione;
    auto& imp = p.impostazioni;
    try {
        Inizio(p);
        const ArchivioPosta a = LeggiArchivioPosta(p, sFile, false);
        const std::string testata = IntestazionePosta(a.nBlocchi, a.presente, imp.sCodiceCliente,
                                                      EtichettaPosta(false, a.presente, p.opzioni.bModoPartner,
                                                                     p.opzioni.bBDati));
        st.nInizioTrasferimento = SecondiSessione(p);
        std::string frame = AddCeck_MORVEN(p, testata);
        long blocco = 0;
        while (blocco <= a.nBlocchi) {
            StatoTrasferimento(p, "Trasmissione Posta", a.nBlocchi, blocco);
            if (!EntroLimiti(p)) return false;
            ScriviComm(p, frame);
            bool avanti = false;
            for (;;) {
                st.sStatoLinea = LeggiComm(p, AttesaLetturaPosta(p));
                if (FineLinea(p, st.sStatoLinea)) return false;
                if (st.sStatoLinea.find("SI") == std::string::npos) break;  // the same frame goes again
                if (blocco == 0 && imp.bDispBrowser) MostraIndirizzoRisposta(p, st.sStatoLinea);
                StatoTrasferimento(p, "Trasmissione Posta", a.nBlocchi, blocco);
                st.nInizioTrasferimento = SecondiSessione(p);
                const auto conferma = ValoreCifre(Mid(st.sStatoLinea, 3));
                if (conferma < 0 || conferma >= blocco) {
                    avanti = true;
                    break;
                }
                // The acknowledgement of an older block: read over, without sending again.
                if (!EntroLimiti(p)) return false;
            }
            if (!avanti) continue;
            ++blocco;
            if (a.presente && blocco <= a.nBlocchi) {
                const std::size_t da = static_cast<std::size_t>(blocco - 1) * kBloccoPosta;
                frame = AddCeck_MORVEN(p, PadLeft(blocco, 4, "0") +
                                              (da < a.dati.size() ? a.dati.substr(da, kBloccoPosta) : std::string()));
            }
        }
        if (a.presente) {
            // The last block of the mail taken. Without an archive the header only asked for the news, which a
            // new call may ask for again.
            InvioConfermato(p);
            ScriviComm(p, AddCeck_MORVEN(p, kFinePosta));
            st.sStatoLinea = LeggiComm(p, AttesaLetturaPosta(p));
        }
        Fine(p);
        return true;
    } catch (...) {
        return Fallito(p, "TxPosta");
    }
}

bool txPostaTCP(Programma& p) {
    auto& st = p.sessione;
    auto& imp = p.impostazioni;
    try {
        Inizio(p);
        const ArchivioPosta a = LeggiArchivioPosta(p, JoinPath(p.percorsi.sPathApp, "posta.gz"), true);
        const std::string testata = IntestazionePosta(a.nBlocchi, a.presente, imp.sCodiceCliente,
                                                      EtichettaPosta(true, a.presente, p.opzioni.bModoPartner,
                                                                     p.opzioni.bBDati));
        st.nInizioTrasferimento = SecondiSessione(p);
        const std::string frame = AddCeck_MORVEN(p, testata);
        for (;;) {
            StatoTrasferimento(p, "Trasmissione Posta", a.nBlocchi, 0);
            if (!EntroLimiti(p)) return false;
            ScriviComm(p, frame);
            st.sStatoLinea = LeggiComm(p, AttesaLetturaPosta(p));
            if (FineLinea(p, st.sStatoLinea)) return false;
            if (st.sStatoLinea.find("SI") == std::string::npos) continue;
            if (imp.bDispBrowser) MostraIndirizzoRisposta(p, st.sStatoLinea);
            StatoTrasferimento(p, "Trasmissione Posta", a.nBlocchi, 0);
            st.nInizioTrasferimento = SecondiSessione(p);
            break;
        }
        // Without an archive the header was all there was to send.
        if (!a.presente) {
            Fine(p);
            return true;
        }

        TcpSocket& sock = p.Winsock();
        auto socketPerso = [&] {
            if (sock.State() == TcpSocket::sckConnected) return false;
            MarcaTracciaEventi(p, " T.O. Notizie [1]");
            st.nPassoSessione = kPassoRitenta;
            return true;
        };
        st.bInvioInCorso = false;
        long blocco = 0;
        for (std::size_t da = 0; da < a.dati.size(); da += kBloccoPostaTcp) {
            while (st.bInvioInCorso) {
                AttendiEventi(p);
                if (!EntroLimiti(p)) return false;
                if (st.bProceduraAbortita) {
                    st.nPassoSessione = kPassoAbortito;
                    return false;
                }
            }
            if (socketPerso()) return false;
            st.bInvioInCorso = true;
            // Only the archive's own bytes: the last block is as long as what is left.
            sock.SendData(std::string_view(a.dati).substr(da, kBloccoPostaTcp));
            ++blocco;
            st.nInizioTrasferimento = SecondiSessione(p);
            LogSessione(p, "TX: Blocco N. " + std::to_string(blocco) + " di " + std::to_string(a.nBlocchi));
            StatoTrasferimento(p, "Trasmissione Posta", a.nBlocchi, static_cast<int>(std::min<long>(blocco, a.nBlocchi)));
        }

        // The end mark goes once; then the answer is looked for in everything that arrives, raw or in the
        // line encoding, however the segments cut it.
        if (socketPerso()) return false;
        sock.SendData("FINETX");
        LogSessione(p, "TX:FINETX");
        std::string& coda = sock.sCodaRicezione;
        for (;;) {
            StatoTrasferimento(p, "Chiusura TX Posta", 100, 100);
            if (sock.BytesReceived() >= 1) coda += sock.GetData();
            if (TogliFineOk(coda)) {
                InvioConfermato(p);  // the wholesaler took the whole archive
                LogSessione(p, "RX:FINEOK");
                break;
            }
            if (coda.size() > kMaxRigaLinea) coda.erase(0, coda.size() - 16);
            if (st.bProceduraAbortita) {
                st.nPassoSessione = kPassoAbortito;
                return false;
            }
            if (socketPerso()) return false;
            if (!EntroLimiti(p)) return false;
            AttendiEventi(p);
        }
        Fine(p);
        return true;
    } catch (...) {
        return Fallito(p, "txPostaTCP");
    }
}

}  // namespace morven
