#include "tools/simulator/simulator.h"

#include "tools/linecodec/line_codec.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace morven::simulator {

namespace {

struct Prodotto {
    const char* codice;
    const char* descrizione;
};

// A few products the simulator knows by name; any other code is described by its number.
constexpr Prodotto kCatalogo[] = {
    {"012745168", "TACHIPIRINA 500MG 20CPR"},
    {"004763114", "ASPIRINA C 10CPR EFF"},
    {"023451094", "MOMENT 200MG 12CPR"},
    {"026608045", "ENTEROGERMINA 10FL 5ML"},
    {"031981016", "BENAGOL 24PAST MIELE"},
    {"008745037", "VIVIN C 20CPR EFF"},
};

// A plausible mix of outcomes: most lines delivered, some short for a while, one with few pieces left.
struct Esito {
    char codice;
    const char* lunga;
};
constexpr Esito kEsiti[] = {
    {'@', "Consegna regolare"}, {'2', "Disp. dal 15/12"}, {'@', "Consegna regolare"}, {'8', "Consegna parziale"},
    {'@', "Consegna regolare"}, {'9', "Fuori produzione"},
};
const Esito& EsitoPer(std::size_t indice) { return kEsiti[indice % (sizeof kEsiti / sizeof kEsiti[0])]; }

constexpr char kFineTx[] = "9999FINE TX      ********************";
// The mail and news blocks of the framed exchange, and the IFCK blocks.
constexpr std::size_t kBloccoNotizie = 1000, kBloccoIfck = 1024;
// A frame the client sends holds at most a block and its counter; anything longer without a valid end is
// dropped rather than kept growing.
constexpr std::size_t kMassimoQuadro = 64 * 1024;
// Times a frame or record is sent again after a refusal before the simulator gives up.
constexpr int kTentativi = 5;

std::string Colonna(std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
}

std::string Numero(long v, int cifre) {
    std::string s = std::to_string(v < 0 ? 0 : v);
    while (static_cast<int>(s.size()) < cifre) s.insert(s.begin(), '0');
    return s.substr(s.size() - static_cast<std::size_t>(cifre));
}

std::string Descrizione(const std::string& codice) {
    for (const Prodotto& pr : kCatalogo)
        if (codice == pr.codice) return pr.descrizione;
    std::string c = codice;
    while (!c.empty() && c.back() == ' ') c.pop_back();
    return "PRODOTTO " + c;
}

// The whole number a text begins with after blanks; -1 when it begins with no digit.
long NumeroIniziale(const std::string& s, std::size_t da) {
    while (da < s.size() && s[da] == ' ') ++da;
    if (da >= s.size() || s[da] < '0' || s[da] > '9') return -1;
    return std::strtol(s.c_str() + da, nullptr, 10);
}

// A TCP connection, or the data phase of a modem call on the pseudo-terminal's master side (lines as they
// are, not shifted; the descriptor stays with the simulator).
class Connessione {
public:
    Connessione(int fd, const std::atomic<bool>& fermo, int attesaMs, bool tcp = true)
        : fd_(fd), fermo_(fermo), attesaMs_(attesaMs), tcp_(tcp) {}
    ~Connessione() {
        if (tcp_) ::close(fd_);
    }
    bool Tcp() const { return tcp_; }
    int Attesa() const { return attesaMs_; }
    // Bytes that came before the data phase began (after the modem's CONNECT).
    void Aggiungi(const std::string& dati) { buffer_ += dati; }

    bool ScriviGrezzo(std::string_view v) {
        while (!v.empty()) {
            const ssize_t n = tcp_ ? ::send(fd_, v.data(), v.size(), MSG_NOSIGNAL) : ::write(fd_, v.data(), v.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN) {
                    ::poll(nullptr, 0, 1);
                    continue;
                }
                return false;
            }
            v.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    // A line and its CR LF: over TCP in the line's encoding (shifted, frames as they are).
    bool ScriviRiga(const std::string& riga) {
        return ScriviGrezzo((tcp_ ? linecodec::EncodeLine(riga) : riga) + "\r\n");
    }
    bool ScriviQuadro(const std::string& payload) { return ScriviRiga(linecodec::Frame(payload)); }

    // One line without its end, decoded; false when the client went away or nothing came within attesaMs
    // (below 0: the connection's own wait).
    bool LeggiRiga(std::string& riga, int attesaMs = -1) {
        const auto fine = Scadenza(attesaMs);
        for (;;) {
            const std::size_t lf = buffer_.find('\n');
            if (lf != std::string::npos) {
                std::string w = buffer_.substr(0, lf);
                buffer_.erase(0, lf + 1);
                if (!w.empty() && w.back() == '\r') w.pop_back();
                if (w.empty()) continue;
                riga = tcp_ ? linecodec::DecodeLine(w) : w;
                return true;
            }
            if (!Ricevi(fine)) return false;
        }
    }

    // The payload of the next frame that passes its check, whatever bytes it holds (line ends and marks
    // included): from the first "AEIO" to the first "OIEA" after it at which the sums agree.
    bool LeggiQuadro(std::string& payload) {
        const auto fine = Scadenza();
        for (;;) {
            const std::size_t inizio = buffer_.find("AEIO");
            if (inizio != std::string::npos) {
                buffer_.erase(0, inizio);
                for (std::size_t f = buffer_.find("OIEA", 4); f != std::string::npos; f = buffer_.find("OIEA", f + 1)) {
                    if (f + 4 < 21) continue;
                    if (linecodec::Unframe(std::string_view(buffer_).substr(0, f + 4), &payload)) {
                        buffer_.erase(0, f + 4);
                        return true;
                    }
                }
                if (buffer_.size() > kMassimoQuadro) buffer_.erase(0, 4);
            }
            if (!Ricevi(fine)) return false;
        }
    }

    // What came before `segno` in the raw stream (the mark itself is taken off); false when the client went
    // away or the mark did not come in time.
    bool LeggiFinoA(const std::string& segno, std::string& dati) {
        const auto fine = Scadenza();
        for (;;) {
            const std::size_t at = buffer_.find(segno);
            if (at != std::string::npos) {
                dati = buffer_.substr(0, at);
                buffer_.erase(0, at + segno.size());
                return true;
            }
            if (!Ricevi(fine)) return false;
        }
    }

    // Waits for the first bytes and tells whether they open a frame ("AEIO" before any line end).
    bool PrimoQuadro(bool& quadro) {
        const auto fine = Scadenza();
        for (;;) {
            std::size_t da = 0;
            while (da < buffer_.size() && (buffer_[da] == '\r' || buffer_[da] == '\n')) ++da;
            buffer_.erase(0, da);
            const std::size_t aeio = buffer_.find("AEIO"), lf = buffer_.find('\n');
            if (aeio != std::string::npos && (lf == std::string::npos || aeio < lf)) {
                quadro = true;
                return true;
            }
            if (lf != std::string::npos) {
                quadro = false;
                return true;
            }
            if (!Ricevi(fine)) return false;
        }
    }

private:
    std::chrono::steady_clock::time_point Scadenza(int attesaMs = -1) const {
        return std::chrono::steady_clock::now() + std::chrono::milliseconds(attesaMs < 0 ? attesaMs_ : attesaMs);
    }
    // Appends what arrives; false when the client went away, the simulator stops or the time is up.
    bool Ricevi(std::chrono::steady_clock::time_point fine) {
        for (;;) {
            if (fermo_ || std::chrono::steady_clock::now() >= fine) return false;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[8192];
            const ssize_t n = tcp_ ? ::recv(fd_, buf, sizeof buf, 0) : ::read(fd_, buf, sizeof buf);
            if (n == 0) return false;
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN) continue;
                return false;
            }
            buffer_.append(buf, static_cast<std::size_t>(n));
            return true;
        }
    }

    int fd_;
    const std::atomic<bool>& fermo_;
    int attesaMs_;
    bool tcp_;
    std::string buffer_;
};

// Over the modem the client empties its input for a few seconds of its own clock when it begins to receive,
// and what the simulator sent meanwhile is lost: an answer that is not acknowledged within this pause goes
// again, until the connection's own wait has passed. Over TCP the client keeps what arrives.
constexpr int kRipetiSenzaRispostaMs = 500;

int AttesaRisposta(const Connessione& c) { return c.Tcp() ? -1 : kRipetiSenzaRispostaMs; }

// Sends a frame until the client takes it: a line "SI" with a number (after blanks or not) at least
// `numero`. An older acknowledgement is read over; "NO" or anything else makes the frame go again.
bool Consegna(Connessione& c, const std::string& payload, long numero) {
    const auto fine = std::chrono::steady_clock::now() + std::chrono::milliseconds(c.Attesa());
    for (int rifiuti = 0; rifiuti < kTentativi;) {
        if (!c.ScriviQuadro(payload)) return false;
        std::string riga;
        for (;;) {
            if (!c.LeggiRiga(riga, AttesaRisposta(c))) {
                if (c.Tcp() || std::chrono::steady_clock::now() >= fine) return false;
                break;  // lost in the client's drain: again
            }
            const std::size_t si = riga.find("SI");
            if (si == std::string::npos) {
                ++rifiuti;
                break;
            }
            if (NumeroIniziale(riga, si + 2) >= numero) return true;
        }
    }
    return false;
}

// Sends a line until the client answers with a line holding `conferma` ("SI" for a record, "ACK" for a
// Comproject record).
bool ConsegnaRiga(Connessione& c, const std::string& riga, const char* conferma) {
    const auto fine = std::chrono::steady_clock::now() + std::chrono::milliseconds(c.Attesa());
    for (int rifiuti = 0; rifiuti < kTentativi;) {
        std::string r;
        if (!c.ScriviRiga(riga)) return false;
        if (!c.LeggiRiga(r, AttesaRisposta(c))) {
            if (c.Tcp() || std::chrono::steady_clock::now() >= fine) return false;
            continue;  // lost in the client's drain: again
        }
        if (r.find(conferma) != std::string::npos) return true;
        ++rifiuti;
    }
    return false;
}

// The news header of the framed and of the raw exchange: block counter, blocks to come, offer marker,
// client code (columns 19-27) and tag.
std::string TestataNotizie(long blocchi, bool offerta, const std::string& codice, const char* tag) {
    return "0000" + Numero(blocchi, 4) + (offerta ? "OFFERTA   " : "NO-OFFERTA") + Colonna(codice, 9) + tag;
}

// The news archive as numbered frames, each taken with "SI" and its number; "9999" ends it.
bool NotizieInQuadri(Connessione& c, const std::string& archivio, const std::string& codice) {
    const long n = static_cast<long>((archivio.size() + kBloccoNotizie - 1) / kBloccoNotizie);
    if (!Consegna(c, TestataNotizie(n, !archivio.empty(), codice, " ***************"), 0)) return false;
    if (archivio.empty()) return true;
    for (long i = 1; i <= n; ++i)
        if (!Consegna(c, Numero(i, 4) + archivio.substr(std::size_t(i - 1) * kBloccoNotizie, kBloccoNotizie), i))
            return false;
    return Consegna(c, "9999", 9999);
}

// The news archive as a raw stream after its framed header, ended by "FINETX" and answered "FINEOK".
bool NotizieInFlusso(Connessione& c, const std::string& archivio, const std::string& codice) {
    const long n = std::max<long>(1, static_cast<long>(archivio.size() / 8192));
    if (!Consegna(c, TestataNotizie(n, !archivio.empty(), codice, " TCPIPxxxxxxxxxx"), 0)) return false;
    std::string prima;
    return c.ScriviGrezzo(archivio) && c.ScriviGrezzo("FINETX") && c.LeggiFinoA("FINEOK", prima);
}

// Numbered frames from the client until "9999" (acknowledged "SI9999"): each next frame's data is added to
// `dati`, a repeated or out-of-order one is not; `risposta` says what each frame gets back, given its number
// and the last one taken.
bool QuadriNumerati(Connessione& c, std::string& dati,
                    const std::function<std::string(long numero, long ultimo)>& risposta) {
    long ultimo = 0;
    for (;;) {
        std::string payload;
        if (!c.LeggiQuadro(payload)) return false;
        const long n = NumeroIniziale(payload.substr(0, 4), 0);
        if (n == 9999) {
            c.ScriviRiga("SI9999");
            return true;
        }
        if (n == ultimo + 1) {
            dati += payload.substr(4);
            ultimo = n;
        }
        c.ScriviRiga(risposta(n, ultimo));
    }
}

// Until the client hangs up: an availability answer's confirmation may still come.
void AttesaConferma(Connessione& c, EsitoSessione& esito) {
    std::string riga;
    while (c.LeggiRiga(riga)) {
        // Over the modem the client hangs up with the escape and a command (or by closing the port).
        if (!c.Tcp() && (riga.rfind("+++", 0) == 0 || riga.rfind("AT", 0) == 0)) {
            c.ScriviRiga("\r\nOK");
            return;
        }
        if (riga.find("6UUU") != std::string::npos) esito.conferma = "6UUU";
        if (riga.find("6NNN") != std::string::npos) esito.conferma = "6NNN";
    }
}

// The client code of a standard order header: the data from column 5 up to the reference and the counters
// that follow it (4 + 4 + 4 characters) and the record family.
std::string CodiceDaTestata(const std::string& dati) {
    const std::size_t stelle = dati.find("****");
    if (stelle == std::string::npos || stelle < 4 + 6 + 12) return dati.size() > 4 ? dati.substr(4, 9) : "";
    return dati.substr(4, stelle - 6 - 12 - 4);
}

// A news interface's record family ("020005", "020007", "020015", "020017"): the news follow the answer.
bool FamigliaNotizie(const std::string& testata) {
    const std::size_t stelle = testata.find("****");
    return stelle != std::string::npos && stelle >= 6 && (testata[stelle - 1] == '5' || testata[stelle - 1] == '7');
}

void ServiOrdine(Connessione& c, std::string riga, const Simulatore& s, EsitoSessione& esito) {
    esito.scambio = "ordine";
    // The order: checked records, each answered "SI" ("NO" for one that fails its check).
    std::string testata;
    for (bool prima = true;; prima = false) {
        if (!prima && !c.LeggiRiga(riga)) {
            esito.errore = "ordine interrotto";
            return;
        }
        std::string dati;
        if (!linecodec::Unrecord(riga, &dati) || dati.size() < 4) {
            c.ScriviRiga("NO");
            continue;
        }
        c.ScriviRiga("SI");
        const std::string numero = dati.substr(0, 4);
        if (numero == "9999") break;
        if (numero == "0000") {
            testata = dati;
            continue;
        }
        if (dati.compare(0, 3, "MES") == 0) continue;
        for (std::size_t k = 4; k + 13 <= dati.size(); k += 13) esito.righeOrdine.push_back(dati.substr(k, 13));
    }

    if (s.chiudiDopoOrdine) {
        esito.errore = "linea chiusa dopo l'ordine";
        return;  // the connection closes here
    }

    // The answer, record by record; a "NO" gets the record again.
    for (const std::string& dati : RecordRisposta(esito.righeOrdine, s.messaggio, LunghezzaVoce(testata))) {
        if (!ConsegnaRiga(c, linecodec::Record(dati), "SI")) {
            esito.errore = "risposta interrotta al record " + dati.substr(0, 4);
            return;
        }
        esito.recordInviati.push_back(dati);
    }
    esito.completa = true;
    if (FamigliaNotizie(testata)) {
        esito.notizieInviate = NotizieInQuadri(c, s.notizie, CodiceDaTestata(testata)) && !s.notizie.empty();
        if (!esito.notizieInviate && !s.notizie.empty()) esito.errore = "notizie interrotte";
    }
    AttesaConferma(c, esito);
}

void ServiComproject(Connessione& c, std::string riga, const Simulatore& s, EsitoSessione& esito) {
    esito.scambio = "comproject";
    const bool disponibilita = riga[0] == '7';
    const std::string codice = riga.substr(1);
    std::vector<std::string> voci;  // code 9 + quantity 3
    c.ScriviRiga("ACK");
    // The order records: "3" with a 2-digit count, "4" (availability) with a 1-digit count; the last record
    // ("5" with the message, or the one "4") ends the request.
    for (;;) {
        if (!c.LeggiRiga(riga) || riga.empty()) {
            esito.errore = "ordine interrotto";
            return;
        }
        c.ScriviRiga("ACK");
        if (riga[0] == '3' || riga[0] == '4') {
            const std::size_t da = riga[0] == '3' ? 3 : 2;
            for (std::size_t k = da; k + 12 <= riga.size(); k += 12) voci.push_back(riga.substr(k, 12));
        }
        if (riga[0] == '5' || riga[0] == '4') break;
    }
    for (const auto& v : voci) esito.righeOrdine.push_back(v.substr(0, 9) + "0" + v.substr(9, 3));
    if (s.chiudiDopoOrdine) {
        esito.errore = "linea chiusa dopo l'ordine";
        return;
    }
    // The line with the client code ends the client's sending; it answers it "ACK".
    if (!ConsegnaRiga(c, "1" + codice, "ACK")) {
        esito.errore = "risposta interrotta";
        return;
    }
    // The shortages, up to ten entries a "9" record, then the end with the message.
    for (std::size_t i = 0; i < voci.size(); i += 10) {
        std::string r;
        const std::size_t n = std::min<std::size_t>(10, voci.size() - i);
        for (std::size_t k = 0; k < n; ++k) r += VoceComproject(voci[i + k], i + k);
        r = "9" + Numero(long(n), 2) + r;
        if (!ConsegnaRiga(c, r, "ACK")) {
            esito.errore = "risposta interrotta";
            return;
        }
        esito.recordInviati.push_back(r);
    }
    const std::string fine = "5" + Numero(long(s.messaggio.size()), 3) + s.messaggio;
    esito.recordInviati.push_back(fine);
    // The end record of an availability answer gets no acknowledgement.
    if (disponibilita ? !c.ScriviRiga(fine) : !ConsegnaRiga(c, fine, "ACK")) {
        esito.errore = "risposta interrotta";
        return;
    }
    esito.completa = true;
    AttesaConferma(c, esito);
}

// The IFCK exchange from its request header on: the request blocks taken, the answer sent back.
void ServiIfck(Connessione& c, const std::string& testata, const Simulatore& s, EsitoSessione& esito) {
    esito.scambio = "ifck";
    // Header: "0000", the blocks to come, "MORVEN2006", the client code, a blank, the kind letter, "N", 13 "*".
    std::string codice = testata.substr(18);
    const std::size_t blank = codice.rfind(' ');
    if (blank != std::string::npos && blank + 1 < codice.size()) {
        esito.tipoIfck = codice[blank + 1];
        codice.resize(blank);
    }
    c.ScriviRiga("SI0");
    if (!QuadriNumerati(c, esito.richiestaIfck, [](long n, long ultimo) {
            return n == ultimo ? "SI" + std::to_string(n) : "NO" + std::to_string(ultimo);
        })) {
        esito.errore = "richiesta interrotta";
        return;
    }
    if (s.chiudiDopoOrdine) {
        esito.errore = "linea chiusa dopo l'ordine";
        return;
    }

    // The answer in blocks: the same header, the file in pieces of 1024 (the last one what is left), the end;
    // the end says "SI-NOT" when news follow (never after an availability answer, which ends the session).
    esito.rispostaIfck = RispostaIfck(esito.richiestaIfck, esito.tipoIfck);
    const std::string& f = esito.rispostaIfck;
    const long totale = static_cast<long>(f.size() / kBloccoIfck + 1);
    const bool conNotizie = !s.notizie.empty() && esito.tipoIfck != 'D';
    std::vector<std::string> blocchi{"0000" + Numero(totale, 4) + "MORVEN2006" + codice + " " +
                                     std::string(1, esito.tipoIfck ? esito.tipoIfck : 'O') + "N" + std::string(13, '*')};
    for (long i = 1; i <= totale; ++i)
        blocchi.push_back(Numero(i, 4) + f.substr(std::min(f.size(), std::size_t(i - 1) * kBloccoIfck), kBloccoIfck));
    blocchi.push_back(std::string(kFineTx) + (conNotizie ? "SI-NOT" : ""));
    for (std::size_t i = 0; i < blocchi.size(); ++i) {
        if (!Consegna(c, blocchi[i], i + 1 == blocchi.size() ? 9999 : long(i))) {
            esito.errore = "risposta interrotta al blocco " + blocchi[i].substr(0, 4);
            return;
        }
    }
    esito.completa = true;
    if (conNotizie) {
        esito.notizieInviate = NotizieInQuadri(c, s.notizie, codice);
        if (!esito.notizieInviate) esito.errore = "notizie interrotte";
    }
    AttesaConferma(c, esito);
}

// The mail exchange from its header on: the pharmacy's archive taken, then the news sent.
void ServiPosta(Connessione& c, const std::string& testata, const Simulatore& s, EsitoSessione& esito) {
    esito.scambio = "posta";
    const bool offerta = testata.compare(8, 10, "NO-OFFERTA") != 0;
    const bool flusso = testata.find("TCPIP") != std::string::npos;
    std::string codice = testata.size() > 18 + 16 ? testata.substr(18, testata.size() - 18 - 16) : "";
    if (flusso) {
        // The archive as a raw stream in blocks of 8192 (the last one filled out), ended by "FINETX".
        c.ScriviRiga("SI");
        std::string dati;
        if (!c.LeggiFinoA("FINETX", dati)) {
            esito.errore = "posta interrotta";
            return;
        }
        // The stream begins after the line end of the framed header.
        if (dati.rfind("\r\n", 0) == 0) dati.erase(0, 2);
        if (offerta) esito.posta = dati;
        c.ScriviRiga("FINEOK");
        esito.notizieInviate = NotizieInFlusso(c, s.notizie, codice) && !s.notizie.empty();
    } else {
        c.ScriviRiga("SI 0");
        if (offerta) {
            if (!QuadriNumerati(c, esito.posta, [](long, long ultimo) { return "SI " + std::to_string(ultimo); })) {
                esito.errore = "posta interrotta";
                return;
            }
        }
        esito.notizieInviate = NotizieInQuadri(c, s.notizie, codice) && !s.notizie.empty();
    }
    if (!esito.notizieInviate && !s.notizie.empty()) {
        esito.errore = "notizie interrotte";
        return;
    }
    esito.completa = true;
    AttesaConferma(c, esito);
}

constexpr int kAttesaConnessione = 50;

}  // namespace

std::string VoceRisposta(const std::string& riga, std::size_t indice) {
    const std::string codice = Colonna(riga.substr(0, 9), 9);
    const std::string quantita = Colonna(riga.size() > 9 ? riga.substr(9, 4) : "0001", 4);
    const Esito& e = EsitoPer(indice);
    return codice + quantita + Colonna(Descrizione(codice), 28) + e.codice + Colonna(e.lunga, 20);
}

std::size_t LunghezzaVoce(const std::string& testata) {
    const std::size_t stelle = testata.find("****");
    if (stelle == std::string::npos || stelle < 6) return 62;
    switch (testata[stelle - 1]) {
        case '1': return 13;
        case '3':
        case '5': return 42;
        default: return 62;
    }
}

std::vector<std::string> RecordRisposta(const std::vector<std::string>& righe, const std::string& messaggio,
                                        std::size_t lunghezzaVoce) {
    std::vector<std::string> corpo;
    for (std::size_t i = 0; i < righe.size(); ++i) corpo.push_back(VoceRisposta(righe[i], i).substr(0, lunghezzaVoce));
    std::vector<std::string> messaggi;
    if (!messaggio.empty()) {
        messaggi.push_back("INIZIO MESSAGGIO DA GROSSISTA");
        messaggi.push_back(messaggio);
    }
    std::vector<std::string> r;
    // Header: data columns 22-25 hold the count of the numbered records that follow it (entries and message
    // lines), not the header and end records: the client compares it with the last record number it gets.
    const std::size_t totale = corpo.size() + messaggi.size();
    r.push_back("0000" + Colonna("SIMULATORE", 17) + Numero(long(totale), 4));
    long n = 1;
    for (const std::string& v : corpo) r.push_back(Numero(n++, 4) + v);
    for (const std::string& m : messaggi) r.push_back(Numero(n++, 4) + m);
    r.push_back("9999");
    return r;
}

std::string VoceComproject(const std::string& voce, std::size_t indice) {
    const std::string codice = Colonna(voce.substr(0, 9), 9);
    const std::string quantita = Colonna(voce.size() > 9 ? voce.substr(9, 3) : "001", 3);
    return codice + quantita + EsitoPer(indice).codice + Colonna(Descrizione(codice), 28);
}

std::string RispostaIfck(const std::string& richiesta, char tipo) {
    // The request's product lines: "P", code (columns 2-14), quantity (columns 15-19).
    struct Riga {
        std::string codice;
        long quantita;
    };
    std::vector<Riga> righe;
    for (std::size_t da = 0; da < richiesta.size();) {
        std::size_t a = richiesta.find('\n', da);
        if (a == std::string::npos) a = richiesta.size();
        std::string l = richiesta.substr(da, a - da);
        da = a + 1;
        if (!l.empty() && l.back() == '\r') l.pop_back();
        if (l.size() >= 19 && l[0] == 'P') righe.push_back({Colonna(l.substr(1, 13), 13), NumeroIniziale(l.substr(14, 5), 0)});
    }
    auto soldi = [](long centesimi) { return Numero(centesimi * 100, 11); };  // 7 integer and 4 decimal digits
    auto riga = [](std::string& s) { s += "\r\n"; };

    std::string f = "T000" + std::string(18, ' ') + Colonna("SIM-" + std::string(1, tipo ? tipo : 'N') + "-0001", 20) +
                    "Risposta del grossista simulato";
    riga(f);
    switch (tipo) {
        case 'D':  // availability: the availability layout of "P", offer conditions "O" on every other product
            for (std::size_t i = 0; i < righe.size(); ++i) {
                const Riga& r = righe[i];
                const bool disponibile = EsitoPer(i).codice == '@';
                const long consegnata = disponibile ? r.quantita : 0;
                const std::string codice9 = r.codice.substr(0, 9);
                std::string p = "P" + r.codice + Numero(r.quantita, 5) + Numero(r.quantita - consegnata, 5) +
                                Numero(consegnata, 5) + std::string(10, ' ') + soldi(long(350 + 40 * i) * consegnata) +
                                (disponibile ? " " : "*") + "20261215";
                p = Colonna(p, 99) + soldi(long(590 + 60 * i)) + "10" + std::string(12, ' ') +
                    Colonna(Descrizione(codice9), 40) + Colonna(disponibile ? "" : EsitoPer(i).lunga, 20);
                f += p;
                riga(f);
                if (i % 2 == 0) {
                    std::string o = "O" + r.codice + "20261231" + std::string(4, ' ') + Numero(10, 5) + Numero(10, 5) +
                                    Numero(49, 5) + Numero(10, 5) + Numero(2, 5) + soldi(long(300 + 40 * i) * 10);
                    o = Colonna(o, 75) + Numero(0, 5) + Colonna("Pagamento a 60 giorni", 30);
                    f += o;
                    riga(f);
                }
            }
            break;
        case 'O':
        case 'H':  // order and PHT order: the order layout of "P"
            for (std::size_t i = 0; i < righe.size(); ++i) {
                const Riga& r = righe[i];
                const bool disponibile = EsitoPer(i).codice == '@';
                const long consegnata = disponibile ? r.quantita : r.quantita / 2;
                std::string p = "P" + r.codice + Numero(r.quantita, 5) + Numero(r.quantita - consegnata, 5) +
                                Numero(consegnata, 5) + std::string(10, ' ') + soldi(long(350 + 40 * i) * consegnata) +
                                (disponibile ? " " : "*") + "20261215";
                p = Colonna(Colonna(p, 99) + Colonna(Descrizione(r.codice.substr(0, 9)), 28), 219) +
                    Colonna(EsitoPer(i).lunga, 20);
                f += p;
                riga(f);
            }
            break;
        case 'F': {  // documents: a delivery note and an invoice, each covering one order with its rows
            const char* tipi[] = {"1", "3"};
            for (int d = 0; d < 2; ++d) {
                std::string r = "R" + std::string(tipi[d]) + "AA" + Numero(1200 + d, 10) + "20261210" +
                                std::string(14, ' ') + Colonna("Rimessa diretta", 30) + std::string(5, ' ') +
                                soldi(12345) + soldi(11223) + soldi(12345) + soldi(0);
                f += r;
                riga(f);
                f += Colonna("S" + Colonna("ORD-" + Numero(77 + d, 6), 20), 50) + soldi(11223);
                riga(f);
                for (int k = 0; k < 2; ++k) {
                    const Prodotto& pr = kCatalogo[(d * 2 + k) % (sizeof kCatalogo / sizeof kCatalogo[0])];
                    std::string p = Colonna("P" + std::string(pr.codice), 24) + Numero(3 + k, 5) +
                                    std::string(6, ' ') + soldi(450 + 100 * k);
                    f += Colonna(p, 51) + Colonna(pr.descrizione, 28);
                    riga(f);
                }
            }
            break;
        }
        case 'L':
        case 'U':  // price list and PHT agreements: kept under their names, read by nobody here
            for (const Prodotto& pr : kCatalogo) {
                f += "L" + Colonna(pr.codice, 13) + Colonna(pr.descrizione, 40) + soldi(590);
                riga(f);
            }
            break;
        default: break;  // no request: the header alone
    }
    return f;
}

namespace {
// Binds a loopback listening socket to `porta`; -1 on failure.
int Ascolta(int porta) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    const int uno = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &uno, sizeof uno);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only
    a.sin_port = htons(static_cast<uint16_t>(porta));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 || ::listen(fd, 4) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}
}  // namespace

Simulatore::Simulatore(int porta) {
    if (porta != 0) {
        ascolto_ = Ascolta(porta);
        porta_ = porta;
    } else {
        // The settings file holds the port as a 16-bit signed number, so a free port is looked for below
        // 32768 rather than taken from the system's ephemeral range.
        const int base = static_cast<int>(::getpid() % 9000);
        for (int k = 0; k < 500 && ascolto_ < 0; ++k) {
            porta_ = 20000 + (base + k * 37) % 12000;
            ascolto_ = Ascolta(porta_);
        }
    }
    if (ascolto_ < 0) throw std::runtime_error("bind 127.0.0.1:" + std::to_string(porta) + ": " + std::strerror(errno));
}

Simulatore::~Simulatore() {
    if (ascolto_ >= 0) ::close(ascolto_);
    if (master_ >= 0) ::close(master_);
}

namespace {

// The exchange the client opens, told apart by what it sends first.
void Servi(Connessione& c, const Simulatore& s, EsitoSessione& esito) {
    if (s.annuncia) c.ScriviRiga("AAAA");
    bool quadro = false;
    if (!c.PrimoQuadro(quadro)) {
        esito.errore = "nessuna richiesta";
        return;
    }
    if (quadro) {
        std::string payload;
        if (!c.LeggiQuadro(payload) || payload.size() < 18) {
            esito.errore = "richiesta non riconosciuta";
            return;
        }
        if (payload.compare(8, 10, "MORVEN2006") == 0)
            ServiIfck(c, payload, s, esito);
        else
            ServiPosta(c, payload, s, esito);
        return;
    }
    std::string riga;
    if (!c.LeggiRiga(riga) || riga.empty()) {
        esito.errore = "nessuna richiesta";
        return;
    }
    if (riga[0] == '2' || riga[0] == '7')
        ServiComproject(c, riga, s, esito);
    else
        ServiOrdine(c, riga, s, esito);
}

}  // namespace

Simulatore::Simulatore(SuModem) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char nome[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, nome, sizeof nome) != 0)
        throw std::runtime_error(std::string("no pseudo-terminal: ") + std::strerror(errno));
    dispositivo_ = nome;
    // Raw from the start, so nothing is echoed or translated before the client sets the port up.
    termios t{};
    if (tcgetattr(master_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
}

EsitoSessione Simulatore::ServiUna(int attesaMs) {
    EsitoSessione esito;
    const auto fine = std::chrono::steady_clock::now() + std::chrono::milliseconds(attesaMs);
    if (master_ >= 0) {
        // Command mode: every "AT" command is answered "OK", a dial "ATD..." with "CONNECT 9600", and the call
        // is served from there in data mode. Before the client opens the port, and after it closed it, the
        // master side reads nothing.
        std::string comandi;
        for (;;) {
            if (fermo_) return esito;
            if (std::chrono::steady_clock::now() >= fine) {
                esito.errore = "nessuna connessione";
                return esito;
            }
            pollfd p{master_, POLLIN, 0};
            char buf[4096];
            const ssize_t n = ::poll(&p, 1, kAttesaConnessione) > 0 && (p.revents & POLLIN)
                                  ? ::read(master_, buf, sizeof buf) : -1;
            if (n <= 0) {
                ::poll(nullptr, 0, 10);
                continue;
            }
            comandi.append(buf, static_cast<std::size_t>(n));
            std::size_t fineRiga;
            while ((fineRiga = comandi.find_first_of("\r\n")) != std::string::npos) {
                std::string comando = comandi.substr(0, fineRiga);
                comandi.erase(0, fineRiga + 1);
                for (char& ch : comando)
                    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
                const std::size_t at = comando.find("AT");
                if (at == std::string::npos) continue;
                Connessione c(master_, fermo_, attesaRigaMs, false);
                if (comando.compare(at, 3, "ATD") != 0) {
                    c.ScriviRiga("\r\nOK");
                    continue;
                }
                c.ScriviRiga("\r\nCONNECT 9600");
                c.Aggiungi(comandi);
                Servi(c, *this, esito);
                return esito;
            }
        }
    }
    pollfd p{ascolto_, POLLIN, 0};
    while (!fermo_ && ::poll(&p, 1, kAttesaConnessione) <= 0) {
        if (std::chrono::steady_clock::now() >= fine) {
            esito.errore = "nessuna connessione";
            return esito;
        }
    }
    if (fermo_) return esito;
    const int fd = ::accept(ascolto_, nullptr, nullptr);
    if (fd < 0) {
        esito.errore = std::strerror(errno);
        return esito;
    }
    Connessione c(fd, fermo_, attesaRigaMs);
    Servi(c, *this, esito);
    return esito;
}

}  // namespace morven::simulator
