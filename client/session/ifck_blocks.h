// The IFCK request and answer files over a modem or TCP line, in numbered framed blocks.
//
// Every block is one frame "AEIO" payload P D "OIEA" (frames.h). Block 0 is a header that announces the
// number of data blocks, the client code and the request's kind letter; blocks 1..total carry the file in
// pieces of 1024 bytes (the last piece what is left, possibly nothing); block 9999 ends the transfer. The
// receiver answers every block with "SI" and its number, or "NO" and the last block it accepted; the sender
// sends its current frame again on any line without "SI".
//   TxMorvenFCK  sends the request file (step 400) and leaves step 401, or 3 on a time limit or a lost line,
//                200 on an abort;
//   RxMorvenFCK  receives the answer file (step 401) and leaves 33, 45 or 46, or 3 / 200 as the sender.
// The receiver takes nothing on trust: the end block counts only after the header and once every announced
// block is in; a frame whose check fails is given the chance to continue up to a later "OIEA" (its data may
// hold one, and "AEIO" after it) before it is refused, joined with every byte the reader took off between;
// a frame never grows past kMaxFrameIFCK; the answer file is written whole and atomically once the end block
// is in, and only then is the session marker removed. An unexpected error inside either transfer ends it at
// step 3, so the state machine decides on a retry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace morven {

struct Programma;

inline constexpr int kBloccoIFCK = 1024;             // bytes of the request file per data block
inline constexpr int kBloccoFineIFCK = 9999;         // number of the end block
inline constexpr int kMaxBlocchiIFCK = 9998;         // data blocks a transfer can number
inline constexpr std::size_t kMaxFrameIFCK = 64 * 1024;  // longest frame the receiver collects
inline constexpr int kLimiteTempoMassimo = 32767;    // the session limit is a 16-bit number of seconds

// The kind letter of the header and the sender's status caption, from the request flags.
struct TipoInvioIFCK {
    std::string lettera;
    std::string didascalia;
};
TipoInvioIFCK TipoInvio(const Programma& p);

// Header payload: "0000", the total (4 digits), "MORVEN2006", the client code, a blank, the kind letter,
// the marker ("N" unless `bMarcatore`, then "S") and 13 asterisks.
std::string PayloadTestataIFCK(int totale, std::string_view codiceCliente, std::string_view lettera, bool bMarcatore);
// End payload: "9999FINE TX", 6 blanks, 20 asterisks.
std::string PayloadFineIFCK();
// Data blocks for a file of `lunghezza` bytes: lunghezza / blocco + 1 (an exact multiple ends with an
// empty block).
int TotaleBlocchi(std::size_t lunghezza, int blocco);
// The receiver's session-limit estimate once the answer proves slow: 300 / n × total, rounded, then that
// plus its half, rounded (to the nearest whole number, a half to the even neighbour); worked in 64 bits
// and held to 0..kLimiteTempoMassimo.
int StimaTempoMassimo(int numeroBlocco, int totale);

bool TxMorvenFCK(Programma& p, const std::string& fileRichiesta, int nBlocco, bool bCrea, bool bMarcatore);
bool RxMorvenFCK(Programma& p, const std::string& fileRisposta);

}  // namespace morven
