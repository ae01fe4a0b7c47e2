#include "client/engine/line_io.h"

#include "client/engine/errors.h"
#include "client/engine/frames.h"
#include "client/engine/helpers.h"
#include "client/engine/logs.h"
#include "client/engine/programma.h"
#include "platform/core/text.h"

#include <array>
#include <limits>

namespace morven {

namespace {

// A wait in whole seconds of the monotonic clock: over once more than `nTimeOut` seconds have passed since
// it began; never over when `nTimeOut` is below 1.
class Attesa {
public:
    Attesa(Programma& p, int nTimeOut) : clock_(p.Orologio()), timeout_(nTimeOut), inizio_(Secondi()) {}
    bool Scaduta() const { return timeout_ >= 1 && Secondi() - inizio_ > timeout_; }
    // The first monotonic millisecond at which the wait is over; a wait without a limit has none, and the
    // pump wakes at its own pace.
    std::int64_t Scadenza() const {
        return timeout_ >= 1 ? (inizio_ + timeout_ + 1) * 1000 : std::numeric_limits<std::int64_t>::max();
    }

private:
    std::int64_t Secondi() const { return clock_.MonotonicMs() / 1000; }
    Clock& clock_;
    int timeout_;
    std::int64_t inizio_;
};

// One turn of a read loop: a round at once when something is waiting to be read already (`pronto`), else a
// sleep until the line has data, an event comes or the wait is over.
void Turno(Programma& p, const Attesa& attesa, bool pronto) {
    if (pronto) {
        p.Pump().process();
    } else {
        AttendiEventi(p, attesa.Scadenza());
    }
}

void Log(Programma& p, std::string_view testo) { ScriviLog(p, p.percorsi.sFileLogSessione, true, testo); }

// "first 8 characters~last 4 characters len:length", the short form of long blocks.
std::string FormaBreve(std::string_view t) {
    return Left(t, 8) + "~" + Right(t, 4) + " len:" + std::to_string(t.size());
}

bool Abortita(Programma& p) { return p.sessione.bProceduraAbortita; }

bool SetteBit(SerialPort& port) {
    // Settings is "speed,parity,data bits,stop bits".
    const std::string& s = port.Settings;
    const auto a = s.find(',');
    const auto b = a == std::string::npos ? a : s.find(',', a + 1);
    if (b == std::string::npos) return false;
    const auto c = s.find(',', b + 1);
    std::string bits = s.substr(b + 1, c == std::string::npos ? std::string::npos : c - b - 1);
    while (!bits.empty() && bits.front() == ' ') bits.erase(0, 1);
    while (!bits.empty() && bits.back() == ' ') bits.pop_back();
    return bits == "7";
}

// Line ends at the head of the queue belong to what was handed out before (a frame's CR LF may arrive after
// the frame) or are empty lines; neither is a line to hand out, as the modem reader skips empty lines too.
void TogliFineRigaInTesta(std::string& coda) {
    std::size_t n = 0;
    while (n < coda.size() && (coda[n] == '\r' || coda[n] == '\n')) ++n;
    coda.erase(0, n);
}

// Takes one complete line (through CR LF) out of the queue, decoded unless it holds "AEIO".
bool EstraiRiga(std::string& coda, std::string& riga) {
    TogliFineRigaInTesta(coda);
    const auto fine = coda.find("\r\n");
    if (fine == std::string::npos) return false;
    const std::string grezza = coda.substr(0, fine);
    coda.erase(0, fine + 2);
    riga = grezza.find("AEIO") != std::string::npos ? grezza : DecodificaTcp(grezza);
    // A line never holds a line end: bytes the shift turns into CR or LF, and bare CR or LF inside a framed
    // line, are dropped, as the modem reader drops LF and ends at CR.
    std::erase_if(riga, [](char c) { return c == '\r' || c == '\n'; });
    return true;
}

// Takes one frame out of the queue: through the first "OIEA" after the first "AEIO", or through the first
// "OIEA" when there is no start mark (the check then refuses it, unless it continues a frame cut at an
// "OIEA" in its data), with the line end after it. What stood before the start mark comes with it too:
// LeggiZip takes it off.
bool EstraiFrame(std::string& coda, std::string& frame) {
    const auto inizio = coda.find("AEIO");
    const auto fine = coda.find("OIEA", inizio == std::string::npos ? 0 : inizio + 4);
    if (fine == std::string::npos) return false;
    std::size_t resto = fine + 4;
    while (resto < coda.size() && (coda[resto] == '\r' || coda[resto] == '\n')) ++resto;
    frame = coda.substr(0, resto);
    coda.erase(0, resto);
    return true;
}

void TogliUnFineRiga(std::string& s) {
    if (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.pop_back();
}

void TroppoLunga(Programma& p, std::string& coda) {
    Log(p, "RX: ERRORE dati oltre " + std::to_string(kMaxRigaLinea) + " byte senza fine riga, scartati " +
               std::to_string(coda.size()) + " byte");
    coda.clear();
}

// A complete line or frame longer than the limit (its end arrived in the same segment that took it past
// the limit) is refused the same way: thrown away with the log line, the read gives nothing.
void TroppoLungaCompleta(Programma& p, std::string& unita) {
    Log(p, "RX: ERRORE riga oltre " + std::to_string(kMaxRigaLinea) + " byte, scartati " +
               std::to_string(unita.size()) + " byte");
    unita.clear();
}

// Writes in plain letters what the shift cannot carry (codes 193 to 255 of Windows-1252).
const std::array<const char*, 63> kLettere = {
    "A'", "A", "A", "A", "A", "AE", "C", "E'", "E'", "E", "E", "I'", "I'", "I", "I",      // 193-207
    "D", "N", "O'", "O'", "O", "O", "O", "?", "O", "U'", "U'", "U", "U", "Y", "TH", "ss",  // 208-223
    "a'", "a'", "a", "a", "a", "a", "ae", "c", "e'", "e'", "e", "e", "i'", "i'", "i", "i", // 224-239
    "d", "n", "o'", "o'", "o", "o", "o", "?", "o", "u'", "u'", "u", "u", "y", "th", "y",  // 240-255
};

constexpr std::string_view kParolePersa[] = {"NO CARRIER", "NOCARRIER", "bProceduraAbortita"};

bool HaParolePersa(std::string_view t) {
    for (std::string_view w : kParolePersa)
        if (t.find(w) != std::string_view::npos) return true;
    return false;
}

// STX data K1(5) K2(5) ETX with the sums of its data; nothing logged.
bool RecordGiusto(std::string_view r) {
    const std::size_t l = r.size();
    if (l < 12 || r.front() != '\x02' || r.back() != '\x03') return false;
    try {
        const SommeRecord s = CalcolaSommeRecord(r.substr(1, l - 12));
        return ValoreCifre(r.substr(l - 11, 5)) == s.k1 % 100000 && ValoreCifre(r.substr(l - 6, 5)) == s.k2 % 100000;
    } catch (...) {
        return false;  // a product beyond 16 bits: no record of ours
    }
}

// The words, looked for outside the part from `da` to `a` (exclusive) when that part checks out.
bool ParoleFuori(std::string_view t, std::size_t da, std::size_t a, bool giusto) {
    if (!giusto) return HaParolePersa(t);
    return HaParolePersa(t.substr(0, da)) || HaParolePersa(t.substr(a));
}

}  // namespace

bool LineaPersa(Programma& p, std::string_view t) {
    if (p.impostazioni.bModoInternet)
        return t == "NO CARRIER" && p.Winsock().State() != TcpSocket::sckConnected;
    if (!HaParolePersa(t)) return false;
    const auto inizio = t.find("AEIO");
    const auto fine = inizio == std::string_view::npos ? inizio : t.find("OIEA", inizio + 4);
    if (fine != std::string_view::npos)
        return ParoleFuori(t, inizio, fine + 4, SommeFrameGiuste(t.substr(inizio, fine + 4 - inizio)));
    const auto stx = t.find('\x02');
    const auto etx = t.rfind('\x03');
    if (stx != std::string_view::npos && etx != std::string_view::npos && etx > stx)
        return ParoleFuori(t, stx, etx + 1, RecordGiusto(t.substr(stx, etx + 1 - stx)));
    return true;
}

std::string CodificaTcp(std::string_view sLinea) {
    std::string out;
    out.reserve(sLinea.size());
    for (unsigned char c : sLinea) out.push_back(static_cast<char>(c <= 192 ? c + 63 : '?' + 63));
    return out;
}

std::string DecodificaTcp(std::string_view sDati) {
    std::string out;
    out.reserve(sDati.size());
    for (unsigned char c : sDati)
        if (c >= 63) out.push_back(static_cast<char>(c - 63));
    return out;
}

std::string SostituisciNonTrasmissibili(std::string_view sTesto) {
    std::string out;
    out.reserve(sTesto.size());
    for (unsigned char c : sTesto) {
        if (c <= 192) {
            out.push_back(static_cast<char>(c));
        } else {
            out += kLettere[c - 193];
        }
    }
    return out;
}

bool ScriviComm(Programma& p, std::string_view sLinea) {
    return EseguiProcedura(p, "ScriviComm", false, [&](bool& ok) {
        const bool breve = p.impostazioni.nTipoInterfaccia >= kClassePosta;
        if (!p.impostazioni.bModoInternet) {
            SerialPort& port = p.MSComm();
            const std::string testo = std::string(sLinea) + (Left(sLinea, 3) == "ATD" ? "\r" : "\r\n");
            for (char c : testo) port.Output(std::string_view(&c, 1));
            Log(p, "TX:" + (breve ? FormaBreve(testo) : testo));
            ok = true;
            return;
        }
        TcpSocket& sock = p.Winsock();
        const bool frame = Left(sLinea, 4) == "AEIO";
        const std::string linea = frame ? std::string(sLinea) : SostituisciNonTrasmissibili(sLinea);
        if (sock.State() != TcpSocket::sckConnected) {
            Log(p, "TX: ERRORE linea non connessa, non inviato :" + (breve ? FormaBreve(linea) : linea));
            return;
        }
        sock.SendData((frame ? linea : CodificaTcp(linea)) + "\r\n");
        Log(p, "TX:" + (breve ? FormaBreve(linea) : linea));
        ok = true;
    });
}

std::string LeggiComm01(Programma& p, int nTimeOut) {
    std::string riga;
    EseguiProceduraVoid(p, "LeggiComm01", [&] {
        SerialPort& port = p.MSComm();
        port.InputLen = 1;
        port.InputMode = 0;
        const bool setteBit = SetteBit(port);
        const Attesa attesa(p, nTimeOut);
        bool fatto = false;
        auto pronto = [&] {
            try {
                return port.InBufferCount() >= 1;
            } catch (...) {
                return false;  // a port that fails is waited on like a quiet one
            }
        };
        while (!fatto && !Abortita(p)) {
            try {
                Turno(p, attesa, pronto());
                while (!fatto && port.InBufferCount() >= 1) {
                    const std::string in = port.Input();
                    if (in.empty()) break;
                    unsigned char c = static_cast<unsigned char>(in[0]);
                    if (setteBit && c > 127) c = static_cast<unsigned char>(c - 128);
                    if (c == '\n') continue;
                    if (c == '\r') {
                        fatto = !riga.empty();
                        continue;
                    }
                    riga.push_back(static_cast<char>(c));
                    if (riga.size() > kMaxRigaLinea) {
                        TroppoLunga(p, riga);
                        fatto = true;
                    }
                }
            } catch (...) {
                // A failing read of the port is skipped; the time-out ends the wait.
            }
            if (!fatto && attesa.Scaduta()) break;
        }
    });
    return riga;
}

// Waits on the socket's receive queue until `estrai` takes one complete unit (a line or a frame) out of it
// into `out`. The bytes the peer sent before it closed (State 8) are still read; once the socket is no
// longer connected and nothing complete is queued, `out` is "NO CARRIER". A queue growing past the limit
// without an end is dropped.
template <class Estrai>
void LeggiDaCodaTcp(Programma& p, const Attesa& attesa, std::string& out, Estrai estrai) {
    TcpSocket& sock = p.Winsock();
    std::string& coda = sock.sCodaRicezione;
    while (!estrai(coda, out) && !Abortita(p)) {
        Turno(p, attesa, sock.BytesReceived() >= 1 || sock.State() != TcpSocket::sckConnected);
        const int stato = sock.State();
        if ((stato == TcpSocket::sckConnected || stato == TcpSocket::sckClosing) && sock.BytesReceived() >= 1)
            coda += sock.GetData();
        if (estrai(coda, out)) break;
        if (stato != TcpSocket::sckConnected) {
            coda.clear();
            out = "NO CARRIER";
            break;
        }
        if (coda.size() > kMaxRigaLinea) {
            TroppoLunga(p, coda);
            break;
        }
        if (attesa.Scaduta()) break;
    }
    if (out.size() > kMaxRigaLinea) TroppoLungaCompleta(p, out);
}

// Waits for the first byte on the serial port, then hands the reading to `leggi` (the byte-wise reader).
template <class Leggi>
void LeggiDaSeriale(Programma& p, const Attesa& attesa, std::string& out, Leggi leggi) {
    SerialPort& port = p.MSComm();
    port.InputLen = 1;
    port.InputMode = 0;
    while (!Abortita(p)) {
        Turno(p, attesa, port.InBufferCount() >= 1);
        if (port.InBufferCount() >= 1) {
            out = leggi();
            break;
        }
        if (attesa.Scaduta()) break;
    }
    port.InputLen = 0;
}

std::string LeggiComm(Programma& p, int nTimeOut) {
    std::string riga;
    EseguiProceduraVoid(p, "LeggiComm", [&] {
        const Attesa attesa(p, nTimeOut);
        if (p.impostazioni.bModoInternet) {
            LeggiDaCodaTcp(p, attesa, riga, EstraiRiga);
        } else {
            LeggiDaSeriale(p, attesa, riga, [&] { return LeggiComm01(p, nTimeOut); });
        }
        TogliUnFineRiga(riga);
        Log(p, "RX:" + riga);
    });
    return riga;
}

std::string Leggi01Zip(Programma& p, int) {
    std::string buffer;
    EseguiProceduraVoid(p, "Leggi01Zip", [&] {
        SerialPort& port = p.MSComm();
        port.InputLen = 1;
        port.InputMode = 0;
        const Attesa attesa(p, p.sessione.nTimeOutRicezione);
        bool fatto = false;
        while (!fatto && !Abortita(p)) {
            Turno(p, attesa, port.InBufferCount() >= 1);
            while (!fatto && port.InBufferCount() >= 1) {
                const std::string in = port.Input();
                if (in.empty()) break;
                buffer += in;
                if (buffer.size() >= 4 && buffer.compare(buffer.size() - 4, 4, "OIEA") == 0) {
                    fatto = true;
                } else if (buffer.size() > kMaxRigaLinea) {
                    TroppoLunga(p, buffer);
                    fatto = true;
                }
            }
            if (!fatto && attesa.Scaduta()) break;
        }
    });
    return buffer;
}

std::string LeggiZip(Programma& p, int, BordiFrame* bordi) {
    std::string buffer;
    if (bordi) *bordi = {};
    EseguiProceduraVoid(p, "LeggiZip", [&] {
        const int nTimeOut = p.sessione.nTimeOutRicezione;
        const Attesa attesa(p, nTimeOut);
        if (p.impostazioni.bModoInternet) {
            LeggiDaCodaTcp(p, attesa, buffer, EstraiFrame);
        } else {
            LeggiDaSeriale(p, attesa, buffer, [&] { return Leggi01Zip(p, nTimeOut); });
        }
        // Bytes before the start mark are no part of this frame (though they may be of one cut before it).
        const auto inizio = buffer.find("AEIO");
        if (inizio != std::string::npos && inizio > 0) {
            if (bordi) bordi->prima.assign(buffer, 0, inizio);
            buffer.erase(0, inizio);
        }
        std::size_t testo = buffer.size();
        while (testo > 0 && (buffer[testo - 1] == '\r' || buffer[testo - 1] == '\n')) --testo;
        if (bordi) bordi->dopo.assign(buffer, testo);
        buffer.resize(testo);
        Log(p, "RX:" + FormaBreve(buffer));
    });
    return buffer;
}

std::string SvuotaComm(Programma& p, int nSecondi) {
    std::string buffer;
    EseguiProceduraVoid(p, "SvuotaComm", [&] {
        // One round at least, also when no time is given.
        const Attesa attesa(p, nSecondi < 1 ? 0 : nSecondi);
        const bool unGiro = nSecondi < 1;
        if (p.impostazioni.bModoInternet) {
            do {
                Turno(p, attesa, unGiro);
            } while (!unGiro && !Abortita(p) && !attesa.Scaduta());
        } else {
            SerialPort& port = p.MSComm();
            port.InputLen = 1;
            port.InputMode = 0;
            do {
                Turno(p, attesa, unGiro || port.InBufferCount() > 0);
                if (port.InBufferCount() > 0) {
                    port.InputLen = 0;
                    buffer += port.Input();
                }
            } while (!unGiro && !Abortita(p) && !attesa.Scaduta());
            port.InputLen = 0;
        }
        TogliUnFineRiga(buffer);
        Log(p, "SV:" + buffer);
    });
    return buffer;
}

}  // namespace morven
