// Line I/O with the wholesaler, the same over the modem (serial port) and over TCP (socket), chosen by
// ImpostazioniGrossista::bModoInternet:
//   ScriviComm   sends one line;
//   LeggiComm    receives one line (LeggiComm01 is its serial-port reader);
//   LeggiZip     receives one framed block "AEIO...OIEA" (Leggi01Zip is its serial-port reader);
//   SvuotaComm   drains the serial input for some seconds.
// Over TCP plain lines travel shifted (every byte 63 codes up, CR LF as they are); lines beginning "AEIO"
// go unshifted, and a received line holding "AEIO" is taken as it is. Every operation writes its traffic to
// the session log ("TX:", "RX:", "SV:"). Every wait runs the event pump on each round, stops at once on
// StatoSessione::bProceduraAbortita and counts whole seconds of the monotonic clock; a time-out below 1
// means no limit.
//
// Over TCP the socket's bytes are kept in the socket's own queue (TcpSocket::sCodaRicezione): a read hands
// out exactly one complete line (or frame) and keeps what follows for the next read, so lines split over
// several segments are joined and several lines in one segment are several reads. A line or frame that
// grows beyond kMaxRigaLinea bytes without its end is thrown away with a log line.
//
// Bytes above 192 have no shifted form. Over TCP ScriviComm writes them as the message composer would
// write them in plain letters: an accented vowel becomes the vowel and an apostrophe (à → a', é → e'),
// other letters their base letter (ç → c, ñ → n, ß → ss), any other byte "?". The log shows the line as sent.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morven {

struct Programma;

inline constexpr std::size_t kMaxRigaLinea = 64 * 1024;

// Sends one line. Over the modem it ends with CR alone when it begins "ATD" (the dial command), else with
// CR LF, and goes out one character at a time. Over TCP it goes only when the socket is connected (State 7);
// otherwise nothing is sent and the result is False. False also when the device fails (logged).
bool ScriviComm(Programma& p, std::string_view sLinea);

// One line without its line end (over TCP empty lines are skipped, as on the modem); "NO CARRIER" when the socket is not connected (after any complete line
// already received has been handed out); over TCP the empty text on a time-out (a partial line stays
// queued for the next read), over the modem what arrived before it.
std::string LeggiComm(Programma& p, int nTimeOut);
// Serial port: characters until a CR after at least one character (LF ignored, empty lines skipped). The
// eighth bit is cleared only when the port runs 7 data bits.
std::string LeggiComm01(Programma& p, int nTimeOut);

// One framed block, without trailing CR/LF; "NO CARRIER" when the socket is lost. The time-out is
// StatoSessione::nTimeOutRicezione (the argument is not used). Over TCP the block is the text from the first
// "AEIO" through the first "OIEA" after it (bytes before the start mark are dropped); what follows stays
// queued, and a time-out leaves a partial block queued too. `bordi`, when given, receives what was taken
// off around the block: when the data of a block hold "OIEA", the block is cut there, and the next read
// (its continuation) joins it only with those bytes put back in their places.
struct BordiFrame {
    std::string prima;  // the bytes before the first "AEIO"
    std::string dopo;   // the CR and LF bytes after the end
};
std::string LeggiZip(Programma& p, int nTimeOut, BordiFrame* bordi = nullptr);
// Serial port: characters until the buffer holds "OIEA".
std::string Leggi01Zip(Programma& p, int nTimeOut);

// The one test of a received text for a lost line, used by every transfer. Over TCP only the readers' own
// mark counts: "NO CARRIER" once the socket is no longer connected (LeggiComm and LeggiZip give it, the
// socket's events write it); a wholesaler's line that holds the words, or even is them while the socket
// stays connected, is a line like any other. Over the modem the modem says it: a text holding "NO CARRIER",
// "NOCARRIER" or "bProceduraAbortita", except where the words lie inside a frame or a checked record
// (STX data K1 K2 ETX) whose sums hold.
bool LineaPersa(Programma& p, std::string_view sRicevuto);

// Drains the serial input for `nSecondi` seconds and returns it (one trailing CR or LF removed). Over TCP
// it only waits: socket data stay for the next read.
std::string SvuotaComm(Programma& p, int nSecondi);

// The TCP line encoding.
std::string CodificaTcp(std::string_view sLinea);   // every byte + 63 (bytes above 192 must be replaced first)
std::string DecodificaTcp(std::string_view sDati);  // bytes of 63 or more − 63, lower bytes dropped
// Bytes above 192 written in plain letters (see above); other bytes as they are.
std::string SostituisciNonTrasmissibili(std::string_view sTesto);

}  // namespace morven
