// Around a session: the marker abort.dat (a session is under way; left behind when it broke off before any
// answer arrived), blank answer files for a session that got no answer, the closing report of a mail or
// news session, the extra-options file, and TerminaProgramma, the one way the program ends.
#pragma once

#include <string>
#include <string_view>

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
// Ends the program: asks about (or hangs up) a connected dial-up entry, writes MorvenClient.end, applies a
// received settings update, starts a received update batch, removes the update file, then ends. A failing
// step is logged as "TerminaProgramma :" and the end goes on.
void TerminaProgramma(Programma& p);

// The line of MorvenClient.end for a date and time.
struct DateTime;
std::string TestoFineEsecuzione(const DateTime& t);

}  // namespace morven
