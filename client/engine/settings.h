// The connection settings file of a wholesaler slot, sPathApp/MvnConn<NN>.par: one setting a line, the key
// padded to ten characters, a colon, the value; CRLF line ends; Windows-1252 text.
//
// Reading: a key decides its field only where it stands before the colon, and a key present in the file
// always decides its field (a "NO" clears a flag as a "YES" sets it); fields whose key is absent keep their
// value or get their default. A value that does not fit its field (a number outside its range below, a flag
// that is neither YES nor NO) is logged and leaves that field alone; the rest of the file is still read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace morven {

struct Programma;
struct ImpostazioniGrossista;

// Loads a slot's settings into p.impostazioni and derives the interface class, request kind and header
// flags. When the file is missing the older name (MvnConn -> wlorq in the file name) is read instead, in
// 2003-compatibility mode. False when neither exists or the file cannot be read: the failure is logged and,
// in a batch run, shown ("Errore di Trasmissione"); the caller then must not call with the fields left over
// from another slot (in a batch run it ends the program).
bool LeggiImpostazioni(Programma& p, const std::string& sFile);

// The settings file LeggiImpostazioni reads for `sFile`: the stored file of that name in any case, else the
// older name (MvnConn -> wlorq in the file name, `nomeVecchio` then true); nothing when neither exists.
std::optional<std::string> TrovaFileImpostazioni(const std::string& sFile, bool* nomeVecchio = nullptr);

// Writes the 45 lines of the settings, replacing the file atomically. False (logged) on failure.
bool ScriviImpostazioni(Programma& p, const std::string& sFile);

// The bytes ScriviImpostazioni writes.
std::string TestoImpostazioni(const ImpostazioniGrossista& s);

// Applies the settings update sPathApp/news/morvenprofupg.dat, sent by the wholesaler, to the current
// slot's file p.percorsi.sFileImpostazioni. False (logged) when the slot's file or the update file cannot
// be read.
bool AggiornaImpostazioni(Programma& p);

// The interface table: class, availability, request kind and header flags for an interface name.
void ApplicaInterfaccia(ImpostazioniGrossista& s, std::string_view interfaccia);

// The leading number of a text, as the settings file holds numbers ("1121", " 45 s", "-3", "12.5"), rounded
// half to even; 0 when the text does not begin with one.
double ValoreNumerico(std::string_view text);

// The longest value the reader takes from a line; a longer one (no window could show it) is cut, with a log
// line.
inline constexpr std::size_t kMaxValoreImpostazione = 255;

// The range of each number of the settings file, the one range that the reader and the settings window both
// check: a value outside it is kept among the refused values (the call is then refused before the line
// opens, naming key and value), and the window does not save it. The ranges hold everything the window has
// ever saved and the numbers the settings update writes back: the TCP port 1-65535, the serial port and
// every time, count and day number 0-32767 (a negative time or count means nothing to a call).
struct IntervalloNumero {
    std::string_view sChiave;  // the key as the reader matches it
    int ImpostazioniGrossista::*pCampo;
    int nMinimo, nMassimo;
};
extern const IntervalloNumero kIntervalliNumeri[11];
// The range of a numeric field of the table above (std::out_of_range for a field that is not in it).
const IntervalloNumero& IntervalloDi(int ImpostazioniGrossista::*campo);

// A value as the function log shows it: control bytes and "\\" written as "\\xNN", the rest as it is.
std::string TestoVisibile(std::string_view valore);

}  // namespace morven
