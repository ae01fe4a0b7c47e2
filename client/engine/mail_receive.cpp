#include "client/engine/mail_receive.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "client/engine/errors.h"
#include "client/engine/frames.h"
#include "client/engine/helpers.h"
#include "client/engine/line_io.h"
#include "client/engine/logs.h"
#include "client/engine/mail_send.h"
#include "client/engine/markers.h"
#include "client/engine/order_send.h"
#include "client/engine/programma.h"
#include "client/engine/receive_cycle.h"
#include "client/engine/session.h"
#include "client/engine/shortage_receive.h"
#include "platform/core/files.h"

namespace morven {

namespace {

// The projected limit of a transfer: E = 300 / done × total, L = E + E / 2, each rounded (0 when nothing is
// done yet).
double Proiezione(double nFatti, long nTotale) {
    if (nFatti <= 0) return 0;
    const double e = std::nearbyint(300.0 / nFatti * static_cast<double>(nTotale));
    return std::nearbyint(e + e / 2);
}

double Tetto(int nLimiteFase) {
    return static_cast<double>(std::max(nLimiteFase, 0)) * kFattoreLimiteEsteso;
}

}  // namespace

int LimiteFaseEsteso(int nLimiteFase, double nFatti, long nTotale) {
    const double l = std::min(Proiezione(nFatti, nTotale), Tetto(nLimiteFase));
    return l > nLimiteFase ? static_cast<int>(l) : nLimiteFase;
}

void EstendiLimiteFase(Programma& p, std::string_view fase, double nFatti, long nTotale) {
    auto& st = p.sessione;
    const int prima = st.nTimeMaxCorrente;
    st.nTimeMaxCorrente = LimiteFaseEsteso(prima, nFatti, nTotale);
    const double stima = Proiezione(nFatti, nTotale);
    std::string riga = std::string(fase) + ": limite di tempo " + std::to_string(prima) + " s";
    if (st.nTimeMaxCorrente > prima)
        riga += ", esteso a " + std::to_string(st.nTimeMaxCorrente) + " s";
    else
        riga += ", non esteso";
    riga += " (stima " + std::to_string(static_cast<long long>(stima)) + " s";
    if (stima > Tetto(prima)) riga += ", oltre " + std::to_string(kFattoreLimiteEsteso) + " volte il limite";
    riga += ")";
    ScriviLog(p, p.percorsi.sFileLogSessione, true, riga);
}

std::string FormattaByte(long long n) {
    std::string cifre = std::to_string(n < 0 ? -n : n);
    if (cifre.size() < 3) cifre = PadLeft(cifre, 3, "0");
    std::string out;
    const std::size_t len = cifre.size();
    for (std::size_t i = 0; i < len; ++i) {
        if (i > 0 && (len - i) % 3 == 0) out += '.';
        out += cifre[i];
    }
    return n < 0 ? "-" + out : out;
}

namespace {

constexpr int kPausaErrore = 10000;  // ms before a "NO" answer
constexpr std::size_t kMaxFrameNotizie = 64 * 1024;  // longest frame (a cut one joined) the receiver collects
constexpr std::int64_t kAttesaChiusuraMs = 2000;    // how long the end of the line is read before the close

void LogSessione(Programma& p, const std::string& testo) {
    ScriviLog(p, p.percorsi.sFileLogSessione, true, testo);
}

std::string FileNotizie(Programma& p) { return JoinPath(JoinPath(p.percorsi.sPathApp, "news"), "notizie.gz"); }

// Replaces news/notizie.gz with the whole archive (the folder made when missing).
void ScriviNotizie(Programma& p, const std::string& archivio) {
    std::string cartella = JoinPath(p.percorsi.sPathApp, "news");
    if (!DirectoryExists(cartella) && !CreaDir(p, cartella))
        SollevaErrore(kErrPercorsoNonTrovato, "Impossibile creare la cartella " + cartella);
    std::string errore;
    if (!ReplaceFileAtomically(FileNotizie(p), archivio, &errore)) SollevaErrore(kErrAccessoPercorso, errore);
}

void Avvio(Programma& p) {
    auto& st = p.sessione;
    LogSessione(p, DataOraLog(p.Orologio().Now()) + " <<< Ricezione Posta      >>>");
    st.sRecordRicevuto.clear();
    st.nInizioTrasferimento = SecondiSessione(p);
    st.sStatoDettaglio.clear();
    st.nTimeOutRicezione = 5;
    st.sStatoLinea = SvuotaComm(p, 2);
    st.nTimeOutRicezione = 10;
}

void Stato(Programma& p, const std::string& testo, int nMax, int nValore) {
    StatoTrasferimento(p, testo, nMax, nValore);
}

void Blocchi(Programma& p, const std::string& testo) {
    Istruzione(p, "Blocchi", kStadioSalta, [&] { p.FrmMorven().SetText("nblocchi", testo); });
}

// The checks at the top of every cycle of the header phase and of RxPosta; the next frame is read with a
// wait the limits bound, and while a cut frame waits for its continuation at most the pause before its
// refusal. `bordi` gets what the read took off around the frame.
bool ControlliCiclo(Programma& p, bool accettato, bool inAttesa = false, BordiFrame* bordi = nullptr) {
    return ControlliCicloRicezione(p, "Ricezione Posta  ", 100, 0, accettato, [&](Programma& q) {
        auto& st = q.sessione;
        const int salvato = st.nTimeOutRicezione;
        st.nTimeOutRicezione = AttesaLetturaPosta(q);
        if (inAttesa) st.nTimeOutRicezione = std::min(st.nTimeOutRicezione, kPausaErrore / 1000);
        std::string frame = LeggiZip(q, st.nTimeOutRicezione, bordi);
        st.nTimeOutRicezione = salvato;
        return frame;
    });
}

// Closes the socket so that the wholesaler reads the last answer whole: the sending side is shut, and what
// still arrives (a line end after the wholesaler's end mark) is read and dropped until the wholesaler
// closes or kAttesaChiusuraMs pass. Closing with unread bytes would reset the connection, and the wholesaler
// could take the news as undelivered.
void ChiudiDopoRisposta(Programma& p) {
    TcpSocket& sock = p.Winsock();
    if (sock.State() <= 0) return;
    if (sock.State() == TcpSocket::sckConnected) {
        // The wholesaler's close that answers ours is no lost line: the window's close handling stays out.
        const auto chiusura = std::exchange(sock.events.Close, nullptr);
        sock.ShutdownSend();
        const std::int64_t fine = p.Orologio().MonotonicMs() + kAttesaChiusuraMs;
        while (sock.State() == TcpSocket::sckConnected && p.Orologio().MonotonicMs() < fine) {
            sock.sCodaRicezione.clear();
            if (sock.BytesReceived() > 0) sock.GetData();
            AttendiEventi(p, fine);
        }
        if (sock.BytesReceived() > 0) sock.GetData();
        sock.events.Close = chiusura;
    }
    sock.Close();
}

// What the header says.
struct Testata {
    long nBlocchi = 0;
    bool offerta = false;
};

Testata LeggiTestata(Programma& p, const std::string& payload) {
    auto& st = p.sessione;
    Testata t;
    t.nBlocchi = static_cast<long>(std::clamp<std::int64_t>(ValoreCifre(Mid(payload, 5, 4)), 0, 9999));
    t.offerta = payload.find("NO-OFFERTA") == std::string::npos;
    st.sStatoDettaglio = Left("cod:" + Mid(payload, 19, 9) + std::string(30, ' '), 30);
    return t;
}

// The end of a good transfer.
void Ricevuto(Programma& p, bool notizie) {
    auto& st = p.sessione;
    auto& imp = p.impostazioni;
    st.bNotizieRicevute = notizie;
    MarcaTracciaEventi(p, " Ricezione POSTA OK ");
    KillAbortDat(p);
    st.nPassoSessione = imp.nTipoInterfaccia == kClassePosta ? kPassoFinePosta : kPassoFineOrdine;
}

}  // namespace

bool RxPosta(Programma& p) {
    auto& st = p.sessione;
    auto& imp = p.impostazioni;
    Avvio(p);
    long ultimo = -1;
    Testata testata;
    std::int32_t inizioTestata = 0;
    bool esteso = false;
    std::string archivio;
    GiuntaFrame giunta;  // a block whose data hold "OIEA", cut there, waiting for its continuation
    BordiFrame bordi;
    for (;;) {
        try {
            if (!ControlliCiclo(p, ultimo >= 0, giunta.InAttesa(), &bordi)) return false;
            const std::string letto = st.sRecordRicevuto;
            st.sRecordRicevuto.clear();
            bool scaduto = false;
            const std::string frame = giunta.Candidato(letto, bordi.prima, kMaxFrameNotizie, scaduto);
            if (scaduto) {
                ScriviComm(p, "NO" + TestoNumero(ultimo));  // the wait for the continuation was the pause
                continue;
            }
            if (giunta.Scartato()) {
                // The held block did not go on: it was a bad block, refused as every bad block is.
                WaitMilliseconds(p, kPausaErrore);
                ScriviComm(p, "NO" + TestoNumero(ultimo));
            }
            std::string payload = frame;
            const bool troppoLungo = frame.size() > kMaxFrameNotizie;
            if (troppoLungo)
                LogSessione(p, "RX: ERRORE blocco oltre " + std::to_string(kMaxFrameNotizie) + " byte, scartato");
            if (troppoLungo || !Ceck_MORVEN(p, payload)) {
                if (ultimo >= 0) {  // frames before the first good one are dropped without a word
                    // Its data may hold "OIEA": it gets the chance to continue.
                    if (!troppoLungo && giunta.Trattieni(frame, bordi.dopo)) continue;
                    WaitMilliseconds(p, kPausaErrore);
                    ScriviComm(p, "NO" + TestoNumero(ultimo));
                }
                continue;
            }
            const long numero = static_cast<long>(ValoreCifre(Left(payload, 4)));
            // The end block counts only after the header.
            const bool fine = numero == 9999 && ultimo >= 0;
            if (numero != ultimo + 1 && !fine) {
                if (numero == ultimo) {
                    ScriviComm(p, "SI" + TestoNumero(numero));  // a repeat: acknowledged again, stored once
                } else {
                    LogSessione(p, "RX: ERRORE Progressione");
                    LogSessione(p, "ULTIMO OK:" + std::to_string(ultimo));
                    LogSessione(p, "RICEVUTO :" + std::to_string(numero));
                    ScriviComm(p, "NO" + TestoNumero(ultimo));
                    WaitMilliseconds(p, kPausaErrore);
                }
                continue;
            }
            const auto now = SecondiSessione(p);
            if (!esteso && numero > 0 && !fine && now - inizioTestata > 300) {
                esteso = true;
                EstendiLimiteFase(p, "Ricezione Posta", numero, testata.nBlocchi);
            }
            if (fine) {
                // The archive goes to the folder before the end is acknowledged: a file that cannot be
                // written is a failed transfer, never an acknowledged one.
                Stato(p, "Ricezione Posta Ok ", 100, 100);
                Blocchi(p, TestoNumero(numero) + " di " + TestoNumero(testata.nBlocchi));
                ScriviNotizie(p, archivio);
                st.nInizioTrasferimento = now;
                ScriviComm(p, "SI" + TestoNumero(numero));
                ScriviComm(p, "SI9999");
                Ricevuto(p, true);
                break;
            }
            st.nInizioTrasferimento = now;
            ultimo = numero;
            ScriviComm(p, "SI" + TestoNumero(numero));
            if (numero == 0) {
                inizioTestata = now;
                testata = LeggiTestata(p, payload);
                Stato(p, "Ricezione Posta  ", 100, 0);
                Blocchi(p, TestoNumero(0) + " di " + TestoNumero(testata.nBlocchi));
                if (!testata.offerta) {
                    Stato(p, "Ricezione Posta Ok ", 100, 100);
                    ScriviComm(p, "SI0000");
                    Ricevuto(p, false);
                    break;
                }
                archivio.clear();
            } else {
                Blocchi(p, TestoNumero(numero) + " di " + TestoNumero(testata.nBlocchi));
                if (archivio.size() + payload.size() > p.percorsi.nLimiteNotizieEspanse)
                    SollevaErrore(kErrOverflow, "Archivio notizie oltre " + std::to_string(p.percorsi.nLimiteNotizieEspanse) + " byte");
                archivio += Mid(payload, 5);
            }
        } catch (...) {
            RegistraErrore(p, "RxPosta", ErroreCorrente());
            st.nPassoSessione = kPassoRitenta;
            return false;
        }
    }
    if (imp.bModoInternet) Istruzione(p, "RxPosta", kStadioSalta, [&] { ChiudiDopoRisposta(p); });
    return true;
}

namespace {

// The data phase's stream: everything after the header up to "FINETX". Leading frames (a header sent
// again) are dropped; the end mark is looked for at the end of all that arrived, so it is found however the
// segments cut it, and bytes that may be the start of the mark are held back until the next ones show.
class FlussoNotizie {
public:
    // Adds bytes; true once the stream ended with its mark (what followed the data is gone).
    bool Aggiungi(std::string_view dati) {
        pendente_.append(dati);
        if (!iniziato_ && !TogliTestate()) return false;
        iniziato_ = iniziato_ || !pendente_.empty();
        for (std::string_view fine : {std::string_view("FINETX"), std::string_view("FINETX\r\n")}) {
            if (pendente_.size() >= fine.size() && pendente_.compare(pendente_.size() - fine.size(), fine.size(), fine) == 0) {
                archivio_.append(pendente_, 0, pendente_.size() - fine.size());
                pendente_.clear();
                return true;
            }
        }
        if (pendente_.size() > kTrattenuti) {
            archivio_.append(pendente_, 0, pendente_.size() - kTrattenuti);
            pendente_.erase(0, pendente_.size() - kTrattenuti);
        }
        return false;
    }
    const std::string& Archivio() const { return archivio_; }

private:
    static constexpr std::size_t kTrattenuti = 7;  // "FINETX" and a line end, less one

    // Before the first data byte: drops whole frames at the head. False while a frame (or the start of one)
    // is not complete yet.
    bool TogliTestate() {
        for (;;) {
            const std::size_t n = std::min<std::size_t>(pendente_.size(), 4);
            if (pendente_.compare(0, n, "AEIO", 0, n) != 0) return true;
            if (n < 4) return false;
            const auto fine = pendente_.find("OIEA", 4);
            if (fine == std::string::npos) return false;
            std::size_t resto = fine + 4;
            while (resto < pendente_.size() && (pendente_[resto] == '\r' || pendente_[resto] == '\n')) ++resto;
            pendente_.erase(0, resto);
            if (pendente_.empty()) return false;
        }
    }

    std::string pendente_, archivio_;
    bool iniziato_ = false;
};

}  // namespace

bool RxPOSTATcp(Programma& p) {
    auto& st = p.sessione;
    Istruzione(p, "RxPOSTATcp", kStadioSalta, [&] { p.FrmMorven().SetText("lblTipoNews", "Bytes Trasferiti"); });
    Avvio(p);
    Testata testata;
    std::int32_t inizioTestata = 0;
    try {
        // Header phase.
        for (;;) {
            if (!ControlliCiclo(p, false)) return false;
            std::string payload = TagliaAlFrame(st.sRecordRicevuto);
            st.sRecordRicevuto.clear();
            if (!Ceck_MORVEN(p, payload)) {
                ScriviComm(p, "NO0000");
                continue;
            }
            st.nInizioTrasferimento = SecondiSessione(p);
            ScriviComm(p, "SI0000");
            inizioTestata = st.nInizioTrasferimento;
            testata = LeggiTestata(p, payload);
            Stato(p, "Ricezione Posta  ", 100, 0);
            Blocchi(p, FormattaByte(0) + " bytes");
            if (!testata.offerta) Stato(p, "Ricezione Posta Ok ", 100, 100);
            break;
        }

        // Data phase.
        TcpSocket& sock = p.Winsock();
        st.bInvioInCorso = false;
        st.bRicezioneInCorso = true;
        const double attesi = std::max(1.0, static_cast<double>(testata.nBlocchi) * 8192.0);
        FlussoNotizie flusso;
        long long totale = 0;
        long pezzi = 0;
        bool esteso = false;
        bool finito = false;
        auto errore = [&] {
            MarcaTracciaEventi(p, " ERR RX POSTA  ");
            st.bRicezioneInCorso = false;
            st.nPassoSessione = kPassoRitenta;
            return false;
        };
        while (!finito) {
            const auto now = SecondiSessione(p);
            if (!esteso && now - inizioTestata > 300 && totale > 0) {
                esteso = true;
                EstendiLimiteFase(p, "Ricezione Posta", static_cast<double>(totale) / 8192.0, testata.nBlocchi);
            }
            // What the line reads left queued comes first, then the socket's bytes, also after the peer
            // closed: nothing that arrived is lost to a close.
            std::string pezzo;
            pezzo.swap(sock.sCodaRicezione);
            if (sock.BytesReceived() >= 1) pezzo += sock.GetData();
            if (!pezzo.empty()) {
                st.nInizioTrasferimento = now;
                totale += static_cast<long long>(pezzo.size());
                finito = flusso.Aggiungi(pezzo);
                if (flusso.Archivio().size() > p.percorsi.nLimiteNotizieEspanse) {
                    LogSessione(p, "RX: ERRORE archivio notizie oltre " + std::to_string(p.percorsi.nLimiteNotizieEspanse) + " byte");
                    return errore();
                }
                ++pezzi;
                LogSessione(p, "RX:" + std::to_string(pezzi));
                Stato(p, "Ricezione Posta  ", 100,
                      static_cast<int>(std::min(100.0, std::nearbyint(static_cast<double>(totale) / attesi * 100))));
                Blocchi(p, FormattaByte(totale) + " bytes");
                if (finito) {
                    st.bRicezioneInCorso = false;
                    if (testata.offerta) ScriviNotizie(p, flusso.Archivio());
                    // A wholesaler that closed right after its mark gets no answer; the archive is whole.
                    if (sock.State() == TcpSocket::sckConnected) {
                        st.bInvioInCorso = true;
                        sock.SendData("FINEOK");
                        LogSessione(p, "TX:FINEOK");
                    }
                    break;
                }
                continue;  // more may be waiting
            }
            if (st.bProceduraAbortita) {
                st.bRicezioneInCorso = false;
                st.nPassoSessione = kPassoAbortito;
                return false;
            }
            if (sock.State() != TcpSocket::sckConnected) {
                LogSessione(p, "RX: ERRORE connessione chiusa prima di FINETX dopo " + std::to_string(totale) + " byte");
                return errore();
            }
            if (FaseScaduta(p) || RecordScaduto(p)) return errore();
            AttendiEventi(p);
        }

        // End.
        Stato(p, "Ricezione Posta Ok ", 100, 100);
        Blocchi(p, FormattaByte(totale) + " bytes");
        Ricevuto(p, testata.offerta);
        // The answer goes out before the socket closes; the record limit bounds the wait.
        const auto inizioAttesa = SecondiSessione(p);
        while (st.bInvioInCorso && sock.State() == TcpSocket::sckConnected &&
               SecondiSessione(p) - inizioAttesa <= st.nTimeOutRecord)
            AttendiEventi(p);
        ChiudiDopoRisposta(p);
        return true;
    } catch (...) {
        RegistraErrore(p, "RxPOSTATcp", ErroreCorrente());
        st.bRicezioneInCorso = false;
        if (st.nPassoSessione == kPassoRiceviPosta) st.nPassoSessione = kPassoRitenta;
        return false;
    }
}

}  // namespace morven
