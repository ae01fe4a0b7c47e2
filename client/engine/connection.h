// Opening the line to the wholesaler: the modem (set-up, dialling or answer mode), the TCP socket (after the
// dial-up entry when one is configured), and the tables that choose number, host and port by attempt.
#pragma once

#include <array>
#include <string>

namespace morven {

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

}  // namespace morven
