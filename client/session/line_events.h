// The socket, serial-port and FTP events of the main window, turned into the session state the engine
// polls: the line status texts ("CONNECT", "CONNECT " for an accepted call, "NO CARRIER"), the closed,
// sending and receiving flags, the step to resume.
#pragma once

#include <string_view>

namespace morven {

struct Programma;

// What a socket error number leads to.
enum class EsitoErroreSocket {
    LineaPersa,        // "NO CARRIER"
    LineaPersaChiudi,  // "NO CARRIER", and the socket is closed when it is not
    Chiedi,            // the Abort/Retry/Ignore box "Errore Socket"
};
EsitoErroreSocket EsitoPerErroreSocket(int numero);

class TcpSocket;

// Closes a socket the wholesaler reset. What it received before the reset (the acknowledgement of the last
// record, say) stays queued for the line reads, as it does after an orderly close; the next connection
// starts empty as always.
void ChiudiTenendoRicevuti(TcpSocket& s);

// Style of the "Errore Socket" box: Abort, Retry, Ignore, critical icon, second button default.
inline constexpr int kStileErroreSocket = 2 + 16 + 256;

void Winsock1_Connect(Programma& p);
void Winsock1_ConnectionRequest(Programma& p, long requestId);
void Winsock1_Close(Programma& p);
// Retry in the box goes on as a lost line; Abort or Ignore end the program.
void Winsock1_Error(Programma& p, int numero, std::string_view descrizione);
void Winsock1_SendComplete(Programma& p);

// Serial-port event: the receive event (2) switches further receive events off and resumes nPassoRipresa;
// every other event is ignored.
inline constexpr int kComEvReceive = 2;
void MSComm1_OnComm(Programma& p, int evento);

// FTP trace: "FTP:" & first & " " & second to the session log.
void Ftp1_CommandTrace(Programma& p, std::string_view primo, std::string_view secondo);

// Points the socket's and the FTP client's events at the handlers above.
void CollegaEventiLinea(Programma& p);

}  // namespace morven
