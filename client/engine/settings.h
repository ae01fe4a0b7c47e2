// The connection settings file of a wholesaler slot, sPathApp/MvnConn<NN>.par: one setting a line, the key
// padded to ten characters, a colon, the value; CRLF line ends; Windows-1252 text.
//
// Reading: a key decides its field only where it stands before the colon, and a key present in the file
// always decides its field (a "NO" clears a flag as a "YES" sets it); fields whose key is absent keep their
// value or get their default. A value that does not fit its field (a number outside its range below, a flag
// that is neither YES nor NO) is logged and leaves that field alone; the rest of the file is still read.
#pragma once

#include <array>
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

// The keys of the settings file, one row each, in the order the writer writes them: the one table the
// defaults, the reset before a slot is read, the reader, the writer and the settings window's number checks
// come from.
//
// A number's range is the one range that the reader and the settings window both check: a value outside it
// is kept among the refused values (the call is then refused before the line opens, naming key and value),
// and the window does not save it. The ranges hold everything the window has ever saved and the numbers the
// settings update writes back: the TCP port 1-65535, the serial port and every time, count and day number
// 0-32767 (a negative time or count means nothing to a call).
enum class TipoChiave {
    Testo,     // the value as it stands
    Elemento,  // the value as it stands, one element of a field of three
    Flag,      // YES or NO
    Numero,    // a whole number within its range
    Speciale,  // read, written and reset by functions of its own
};
struct ChiaveImpostazione {
    std::string_view sChiave;  // as the writer spells it; the reader matches it in any case
    TipoChiave tipo;
    // 0: the reader matches the whole key; else any key that begins with this many of its characters.
    std::size_t nPrefisso = 0;
    // Kept when the next slot's file is read in the same program (only the file's own line changes it);
    // else set to its default first.
    bool bTenutaTraSlot = false;
    std::string ImpostazioniGrossista::*pTesto = nullptr;
    std::array<std::string, 3> ImpostazioniGrossista::*pElementi = nullptr;
    std::size_t nElemento = 0;
    bool ImpostazioniGrossista::*pFlag = nullptr;
    int ImpostazioniGrossista::*pCampo = nullptr;  // a number
    std::string_view sPredefinito;  // a text's default
    int nPredefinito = 0;           // a number's or a flag's (1 YES) default
    int nMinimo = 0, nMassimo = 0;  // a number's range
    // A special key's own reader (false: the value does not fit), writer (nullptr: not written, the reader
    // only takes it) and default. A text may have its own writer too.
    bool (*leggi)(Programma&, const std::string&) = nullptr;
    std::string (*scrivi)(const ImpostazioniGrossista&) = nullptr;
    void (*predefinito)(ImpostazioniGrossista&) = nullptr;
};
extern const std::array<ChiaveImpostazione, 46> kChiaviImpostazioni;

// The row of a number of the table above (std::out_of_range for a field that is not in it).
const ChiaveImpostazione& IntervalloDi(int ImpostazioniGrossista::*campo);

// A value as the function log shows it: control bytes and "\\" written as "\\xNN", the rest as it is.
std::string TestoVisibile(std::string_view valore);

}  // namespace morven
