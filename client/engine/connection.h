// Opening the line to the wholesaler: the modem (set-up, dialling or answer mode), the TCP socket (after the
// dial-up entry when one is configured), and the tables that choose number, host and port by attempt.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "client/engine/ports.h"

namespace morven {

struct Programma;
class PppDialup;
struct DialupPaths;

// The speed text stored after a modem CONNECT reply: the table's texts are looked for in order and a later
// match replaces an earlier one ("CONNECT 31200" gives "31200", not " 1200"); no match gives "-----".
std::string VelocitaConnessione(const std::string& reply);

// The number dialled at a modem attempt (1..6 dial numbers 1, 2, 3, 1, 2, 3), blanks trimmed.
std::string TelefonoPerTentativo(const std::array<std::string, 3>& telefoni, int tentativo);

struct HostPorta {
    std::string host;
    int porta = 0;
    friend bool operator==(const HostPorta&, const HostPorta&) = default;
};

// Host and port at a TCP attempt. With automatic increment the hosts rotate every two attempts
// (1-2 host 1, 3-4 host 2, 5-6 host 3, 7-8 host 1, ...) and the port is the base port + attempt - 1;
// without it, always host 1 on the base port. Hosts are trimmed.
HostPorta HostPerTentativo(const std::array<std::string, 3>& indirizzi, int porta, bool autoIncPorta, int tentativo);

// Opens the serial port (configured on the first open, reopened afterwards) and brings the modem to a known
// state: "ATH0" until "OK" (six failures end the program with "Il Modem Non Risponde !!!"), then the set-up
// string until "OK" (also at most six tries). True when the modem is ready.
bool SettaggioModem(Programma& p);

// Opens the line for the current attempt: dials (or waits for a call) over the modem, or connects the socket
// over TCP after dialling the dial-up entry. Leaves the next step in nPassoSessione: kPassoConnesso (order),
// kPassoInviaPosta (mail), kPassoInviaIFCK (IFCK) on success, kPassoRitenta on failure, kPassoAbortito on abort.
bool EseguiChiamata(Programma& p);

// Dial-up entries. FillRasEntryList adds every entry's name to `combo`; false (nothing added) when the
// system has no dial-up service, so the settings window leaves the choice empty.
bool FillRasEntryList(Programma& p, std::vector<std::string>& combo);
bool IsRasEntryConnected(Programma& p, const std::string& name);
// Dials the entry and waits at most `timeout` seconds for the dialler, then 5 seconds; true when it is
// connected afterwards (or the name is empty). A dialler still trying at the limit is stopped.
bool DialRasEntry(Programma& p, const std::string& name, int timeout);
bool HangUpRasEntry(Programma& p, const std::string& name);

// The dial-up port on pppd peers (platform/dialup).
class PppDialUp final : public DialUp {
public:
    PppDialUp();
    explicit PppDialUp(const DialupPaths& paths);
    ~PppDialUp() override;
    std::vector<std::string> Entries() override;
    std::vector<std::string> Connections() override;
    bool StartDial(const std::string& entry) override;
    bool Dialling() override;
    bool HangUp(const std::string& entry) override;

private:
    std::unique_ptr<PppDialup> impl_;
};

}  // namespace morven
