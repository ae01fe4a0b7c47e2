// A wholesaler on 127.0.0.1 that takes an order over the TCP line (standard protocol: checked records, each
// answered "SI") and answers with a shortage list made up from the ordered products, a message and the end
// record, as a wholesaler with the descriptions-and-reasons interface does. After the answer it keeps the
// connection until the client closes it, and records an "6UUU"/"6NNN" confirmation if one comes.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace morven::simulator {

// One answer entry for an order line (code 9 + quantity 4): code, quantity, description (28), outcome
// code (1), long answer (20): 62 characters.
std::string VoceRisposta(const std::string& rigaOrdine, std::size_t indice);

// The answer records' data (without STX, sums and ETX): header "0000" with the record count, one record per
// entry, the message records, the end record "9999".
std::vector<std::string> RecordRisposta(const std::vector<std::string>& righeOrdine, const std::string& messaggio);

struct EsitoSessione {
    std::vector<std::string> righeOrdine;  // the 13-character order lines received
    std::vector<std::string> recordInviati;
    std::string conferma;                  // "6UUU", "6NNN" or empty
    bool completa = false;                 // the whole answer was acknowledged
    std::string errore;
};

class Simulatore {
public:
    // Listens on 127.0.0.1:porta (0: a free port below 32768, as the settings file can hold it).
    explicit Simulatore(int porta = 0);
    ~Simulatore();
    Simulatore(const Simulatore&) = delete;
    Simulatore& operator=(const Simulatore&) = delete;

    int Porta() const { return porta_; }
    // Waits for one connection (up to attesaMs) and serves it to its end.
    EsitoSessione ServiUna(int attesaMs);
    // Makes a running ServiUna return soon.
    void Ferma() { fermo_ = true; }

    std::string messaggio = "Chiusura magazzino il 24 dicembre.";
    // Hangs up once the order is taken, before any answer: a line that drops in the middle of the call.
    bool chiudiDopoOrdine = false;

private:
    int ascolto_ = -1;
    int porta_ = 0;
    std::atomic<bool> fermo_{false};
};

}  // namespace morven::simulator
