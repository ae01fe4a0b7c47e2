// The program's traces: the session log (one file per session, in a folder per day under log/), the
// function log (where every error handler writes), the clean-up of old session-log folders, and the status
// display of a running transfer with its status file winstat.dat, which another program may follow.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morven {

struct Programma;

// Writes `testo` as one line (CRLF) to sPathApp/log/YYYYMMDD/<sFile>, creating the folders when missing;
// `bAppend` false starts the file anew. While the debug window is shown the line is also added to its list
// "List1" (emptied first when not appending) and selected. True on success; a failure is logged.
bool ScriviLog(Programma& p, std::string_view sFile, bool bAppend, std::string_view testo);

// Appends "dd/mm/yyyy hh:mm:ss - " and the message to sPathApp/<base>.log, where the base name is the
// program's own name unless one is given. With a procedure name the message is preceded by
// "[FUNZIONE : name]". Returns the line as written (without CRLF). A failure here is reported nowhere.
std::string ScriviLogFunzione(Programma& p, std::string_view sMessaggio, std::string_view sProcedura = {},
                              std::string_view sBase = {});

// Adds a reason to the run's outcome line (see ScriviEsito): one line (line ends become blanks), cut to a
// readable length; a reason already listed moves to the end; only the latest few are kept. Every
// function-log line but the start-up's notes (procedure "main") is such a reason.
void MotivoEsito(Programma& p, std::string_view motivo);
inline constexpr std::size_t kMotiviEsitoMassimi = 4;
inline constexpr std::size_t kLunghezzaMotivoMassima = 240;

// Removes the session-log folders under sPathApp/log whose name is a date (YYYYMMDD) more than `nGiorni`
// days before today: first the files in them, then the folder. Entries that are not real folders named by a
// valid date are left alone; links are never followed.
bool PulisciLog(Programma& p, int nGiorni);

// Shows a transfer's status on the main and the browser window (label "status", progress bar
// "Avanzamento", on the main window the counters "tres" and "ttra"), processes pending events and rewrites
// sPathApp/winstat.dat. A value above the maximum is cut to it; a maximum below 1 shows as 10.
//
// The file is replaced atomically: a reader sees the old or the new status, never a mix. A new state (the
// status text, the second line or the maximum differ from what the file says) is written at once and
// flushed to the disk. A change of the progress value or the counters alone is written at most once every
// kIntervalloFileStatoMs of the program's clock, without the flush: the newest such status waits in
// p.fileStato and goes to the file with the next update after the interval, with a wait's turn after it
// (ScriviStatoInSospeso) or at the latest when the session or the program ends, where the last status is
// flushed to the disk too. A status the file already holds is not written again.
bool Write_Status(Programma& p, std::string_view sStato, std::string_view sSecondo, int nMax, int nValore,
                  std::string_view sContatore1, std::string_view sContatore2);

// The least time between two writes of winstat.dat that only move the progress on, on the program's clock.
inline constexpr std::int64_t kIntervalloFileStatoMs = 200;

// Writes the status that waits for its turn (see Write_Status) once its interval has passed, or at once
// with `subito` (the end of a session or of the program, so the file is never left behind), which also
// flushes the last status to the disk. A failure is logged once and the status dropped, as a failed
// Write_Status is; the next status tries again.
void ScriviStatoInSospeso(Programma& p, bool subito = false);

// The bytes of winstat.dat for these values (six CRLF lines).
std::string TestoWinstat(std::string_view sStato, std::string_view sSecondo, int nMax, int nValore,
                         std::string_view sContatore1, std::string_view sContatore2);

}  // namespace morven
