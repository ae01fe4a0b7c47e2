// A wholesaler on 127.0.0.1 that plays every exchange of the TCP line, told apart by what the client sends
// first:
// Over TCP, or over a modem on a pseudo-terminal (Simulatore(SuModem)). The exchanges:
// - a checked record (STX ... ETX): the standard order or availability request, each record answered "SI";
//   the answer is a shortage list made up from the ordered products, shaped by the record family the
//   header names (13, 42 or 62 characters an entry), a message and the end record; for a news interface the
//   news archive follows as numbered frames; then an availability answer's "6UUU" (confirmed) or "6NNN"
//   (refused) is awaited until the client hangs up;
// - "2" or "7" and the client code: the Comproject order or availability request, each record answered
//   "ACK"; after the last one a line with the client code, then the shortages in "9" records and the end
//   "5" record with the message;
// - a frame whose header holds "MORVEN2006": an IFCK request in numbered blocks, each taken with "SI" and its
//   number; the answer file for the request's kind (availability with its offer conditions, order,
//   documents, price list or PHT lists) goes back the same way; with news, the end block says "SI-NOT" and
//   the news archive follows;
// - a mail request header ("OFFERTA" or "NO-OFFERTA"): the pharmacy's mail archive in numbered frames (or,
//   with the TCPIP tag, as a raw stream ended by "FINETX"), then the news archive the same way.
// Every layout is built here from the line's own description, not from the client's code.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace morven::simulator {

// One answer entry for an order line (code 9 + quantity 4): code, quantity, description (28), outcome
// code (1), long answer (20): 62 characters.
std::string VoceRisposta(const std::string& rigaOrdine, std::size_t indice);

// The answer records' data (without STX, sums and ETX): header "0000" with the record count, one record per
// entry, the message records, the end record "9999". `lunghezzaVoce` is the entry length the client's
// record family asks for: 13 (order lines alone), 42 (with the short answer) or 62 (with the long one too).
std::vector<std::string> RecordRisposta(const std::vector<std::string>& righeOrdine, const std::string& messaggio,
                                        std::size_t lunghezzaVoce = 62);

// The entry length a standard order header asks for, from its record family ("020003****" and the like,
// the six characters before the first "****"); 62 when the header names none.
std::size_t LunghezzaVoce(const std::string& testata);

// The IFCK answer file for a request file and its kind letter ("D" availability, "O" order, "H" PHT order,
// "F" documents, "L" price list, "U" PHT agreements, "N" no request): the header and the records of that
// kind, CR LF lines.
std::string RispostaIfck(const std::string& richiesta, char tipo);

// The Comproject entry (41 characters) for an order entry (code 9 + quantity 3).
std::string VoceComproject(const std::string& voce, std::size_t indice);

struct EsitoSessione {
    std::string scambio;                   // "ordine", "comproject", "ifck", "posta" (empty: nothing came)
    std::vector<std::string> righeOrdine;  // the 13-character order lines received (standard and Comproject)
    std::vector<std::string> recordInviati;
    std::string conferma;                  // "6UUU", "6NNN" or empty
    std::string richiestaIfck;             // the IFCK request file as received
    char tipoIfck = 0;                     // its kind letter
    std::string rispostaIfck;              // the answer file sent back
    std::string posta;                     // the mail archive as received
    bool notizieInviate = false;           // the news archive was taken whole
    bool completa = false;                 // the whole answer was acknowledged
    std::string errore;
};

class Simulatore {
public:
    // Listens on 127.0.0.1:porta (0: a free port below 32768, as the settings file can hold it).
    explicit Simulatore(int porta = 0);
    // A wholesaler behind a modem instead: a pseudo-terminal the client opens as its serial port (Dispositivo),
    // where "AT" commands get "OK" and a dial gets "CONNECT 9600", then the call is served in data mode with
    // the lines as they are. The Comproject order form goes only over the modem.
    struct SuModem {};
    explicit Simulatore(SuModem);
    ~Simulatore();
    Simulatore(const Simulatore&) = delete;
    Simulatore& operator=(const Simulatore&) = delete;

    int Porta() const { return porta_; }
    const std::string& Dispositivo() const { return dispositivo_; }
    // Waits for one connection (up to attesaMs) and serves it to its end.
    EsitoSessione ServiUna(int attesaMs);
    // Makes a running ServiUna return soon.
    void Ferma() { fermo_ = true; }

    std::string messaggio = "Chiusura magazzino il 24 dicembre.";
    // Hangs up once the order is taken, before any answer: a line that drops in the middle of the call.
    bool chiudiDopoOrdine = false;
    // The news archive (a GZIP member wrapping a TAR archive) sent after mail, after a news interface's
    // order and after an IFCK answer; empty: "NO-OFFERTA", no news.
    std::string notizie;
    // Says "AAAA" as soon as the client is connected, as a Comproject wholesaler of the announcing kind does.
    bool annuncia = false;
    // How long the simulator waits for each line of the client (real time).
    int attesaRigaMs = 30000;

private:
    int ascolto_ = -1;
    int porta_ = 0;
    int master_ = -1;
    std::string dispositivo_;
    std::atomic<bool> fermo_{false};
};

}  // namespace morven::simulator
