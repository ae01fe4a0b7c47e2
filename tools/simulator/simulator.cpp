#include "tools/simulator/simulator.h"

#include "tools/linecodec/line_codec.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
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

std::string Colonna(std::string s, std::size_t n) {
    s.resize(n, ' ');
    return s;
}

std::string Numero(long v, int cifre) {
    std::string s = std::to_string(v);
    while (static_cast<int>(s.size()) < cifre) s.insert(s.begin(), '0');
    return s.substr(s.size() - static_cast<std::size_t>(cifre));
}

class Connessione {
public:
    Connessione(int fd, const std::atomic<bool>& fermo) : fd_(fd), fermo_(fermo) {}
    ~Connessione() { ::close(fd_); }

    bool ScriviRiga(const std::string& riga) {
        std::string w = linecodec::EncodeLine(riga) + "\r\n";
        std::string_view v = w;
        while (!v.empty()) {
            const ssize_t n = ::send(fd_, v.data(), v.size(), MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            v.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    // One line without its end; false when the client went away or nothing came within attesaMs.
    bool LeggiRiga(std::string& riga, int attesaMs) {
        const auto fine = std::chrono::steady_clock::now() + std::chrono::milliseconds(attesaMs);
        for (;;) {
            const std::size_t lf = buffer_.find('\n');
            if (lf != std::string::npos) {
                std::string w = buffer_.substr(0, lf);
                buffer_.erase(0, lf + 1);
                if (!w.empty() && w.back() == '\r') w.pop_back();
                if (w.empty()) continue;
                riga = linecodec::DecodeLine(w);
                return true;
            }
            if (fermo_ || std::chrono::steady_clock::now() >= fine) return false;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[4096];
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n == 0) return false;
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN) continue;
                return false;
            }
            buffer_.append(buf, static_cast<std::size_t>(n));
        }
    }

private:
    int fd_;
    const std::atomic<bool>& fermo_;
    std::string buffer_;
};

constexpr int kAttesaRiga = 30000;

}  // namespace

std::string VoceRisposta(const std::string& riga, std::size_t indice) {
    const std::string codice = Colonna(riga.substr(0, 9), 9);
    const std::string quantita = Colonna(riga.size() > 9 ? riga.substr(9, 4) : "0001", 4);
    std::string descrizione = "PRODOTTO " + codice;
    for (const Prodotto& pr : kCatalogo)
        if (codice == pr.codice) descrizione = pr.descrizione;
    // A plausible mix: most lines delivered, some short for a while, one with few pieces left.
    struct Esito {
        char codice;
        const char* lunga;
    };
    static constexpr Esito kEsiti[] = {
        {'@', "Consegna regolare"}, {'2', "Disp. dal 15/12"}, {'@', "Consegna regolare"}, {'8', "Consegna parziale"},
        {'@', "Consegna regolare"}, {'9', "Fuori produzione"},
    };
    const Esito& e = kEsiti[indice % (sizeof kEsiti / sizeof kEsiti[0])];
    return codice + quantita + Colonna(descrizione, 28) + e.codice + Colonna(e.lunga, 20);
}

std::vector<std::string> RecordRisposta(const std::vector<std::string>& righe, const std::string& messaggio) {
    std::vector<std::string> corpo;
    for (std::size_t i = 0; i < righe.size(); ++i) corpo.push_back(VoceRisposta(righe[i], i));
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
}

EsitoSessione Simulatore::ServiUna(int attesaMs) {
    EsitoSessione esito;
    pollfd p{ascolto_, POLLIN, 0};
    const auto fine = std::chrono::steady_clock::now() + std::chrono::milliseconds(attesaMs);
    while (!fermo_ && ::poll(&p, 1, 50) <= 0) {
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
    Connessione c(fd, fermo_);

    // The order: checked records, each answered "SI" ("NO" for one that fails its check).
    std::string riga;
    for (;;) {
        if (!c.LeggiRiga(riga, kAttesaRiga)) {
            esito.errore = "ordine interrotto";
            return esito;
        }
        std::string dati;
        if (!linecodec::Unrecord(riga, &dati) || dati.size() < 4) {
            c.ScriviRiga("NO");
            continue;
        }
        c.ScriviRiga("SI");
        const std::string numero = dati.substr(0, 4);
        if (numero == "9999") break;
        if (numero == "0000" || dati.compare(0, 3, "MES") == 0) continue;
        for (std::size_t k = 4; k + 13 <= dati.size(); k += 13) esito.righeOrdine.push_back(dati.substr(k, 13));
    }

    if (chiudiDopoOrdine) {
        esito.errore = "linea chiusa dopo l'ordine";
        return esito;  // the connection closes here
    }

    // The answer, record by record; a "NO" gets the record again.
    for (const std::string& dati : RecordRisposta(esito.righeOrdine, messaggio)) {
        bool preso = false;
        for (int tentativo = 0; tentativo < 5 && !preso; ++tentativo) {
            if (!c.ScriviRiga(linecodec::Record(dati)) || !c.LeggiRiga(riga, kAttesaRiga)) {
                esito.errore = "risposta interrotta";
                return esito;
            }
            preso = riga.find("SI") != std::string::npos;
        }
        if (!preso) {
            esito.errore = "record rifiutato: " + dati.substr(0, 4);
            return esito;
        }
        esito.recordInviati.push_back(dati);
    }
    esito.completa = true;

    // Until the client hangs up: a confirmation of an availability answer may still come.
    while (c.LeggiRiga(riga, kAttesaRiga)) {
        if (riga.find("6UUU") != std::string::npos || riga.find("6NNN") != std::string::npos) esito.conferma = riga;
    }
    return esito;
}

}  // namespace morven::simulator
