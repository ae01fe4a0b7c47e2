// Around a session: the marker abort.dat (a session is under way; left behind when it broke off before any
// answer arrived), blank answer files for a session that got no answer, the closing report of a mail or
// news session, the extra-options file, and TerminaProgramma, the one way the program ends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morven {

struct Programma;
class View;

// Creates sPathApp/abort.dat anew with the text and CRLF. -1; 0 (logged) on failure.
int setAbortDat(Programma& p, std::string_view testo);
// Deletes sPathApp/abort.dat when it exists. -1; 0 (logged) on failure.
int KillAbortDat(Programma& p);
// Empties the four message lines, then returns the first line of sPathApp/MorvenClient.opz ("" without it).
std::string LeggiOpzioni(Programma& p);
// Rebuilds ordseq.rst, ordseq.man and ordseq.ma1 from ordseq.txt with blank answers. -1; 0 on failure.
int RicDispAggiornaMancanti(Programma& p);
// The closing report of a session in the text box `control` of `view`: heading and the list of news of
// sPathApp/news/eaggdati (a last line without LF is not shown). -1; 0 (logged) when the list is missing.
int DisplayPosta(Programma& p, View& view, std::string_view control);
// Ends the program: asks about (or hangs up) a connected dial-up entry, writes the outcome line and
// MorvenClient.end (not while another program's call holds the folder), applies a received settings update,
// starts a received update batch, removes the update file, lets the call lock go, then ends. A failing
// step is logged as "TerminaProgramma :" and the end goes on.
void TerminaProgramma(Programma& p);

// The line of MorvenClient.end for a date and time.
struct DateTime;
std::string TestoFineEsecuzione(const DateTime& t);

// One call at a time in a program folder. The lock is an advisory lock on sPathApp/MorvenClient.lck that the
// system drops when its holder ends in any way (a program that was killed leaves no lock behind); the file
// says who holds it. A program holds it from the start of its call until it ends, and the marker
// MorvenClient.end is written only by the holder or when nobody holds it.
enum class BloccoChiamata {
    Preso,           // this program holds the lock (taken now or before)
    Occupato,        // another program holds it: a call is under way in the folder
    NonDisponibile,  // the lock file cannot be opened (a folder that takes no file)
};
// Takes the lock without waiting long: a holder that is ending gets a moment to let it go. With Occupato,
// `chi` gets the holder's line of the lock file.
BloccoChiamata PrendiBloccoChiamata(Programma& p, std::string* chi = nullptr);
// True when another program holds the lock (this one does not).
bool ChiamataDiAltri(Programma& p, std::string* chi = nullptr);
// Lets the lock go (nothing when not held).
void RilasciaBloccoChiamata(Programma& p);
// Exit status of a program that ended because another call was under way in its folder.
inline constexpr int kUscitaChiamataInCorso = 3;

// The outcome line of a run: whether the order or request went out whole, whether a whole answer was kept,
// and the reasons when it was not. `sent` and `kept` as the run found them.
std::string TestoEsito(bool inviato, bool risposta, const std::vector<std::string>& motivi);
// Writes the run's outcome line to the function log, once per run (later calls do nothing).
void ScriviEsito(Programma& p);
// Every end's last words to its caller: the outcome line, then MorvenClient.end, unless another program's
// call holds the folder (then logged, no marker, false). A marker that cannot be written raises error 75.
bool ScriviFineEsecuzione(Programma& p);

}  // namespace morven
