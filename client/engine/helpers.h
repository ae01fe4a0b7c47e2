// Small helpers every module uses: flags, time texts, paths and folders, the wait that keeps the window
// alive, the desktop's services and three helpers for window controls. The column helpers PadLeft and
// PadRight are platform/core/text.h's (an empty fill means a blank, a negative width throws).
#pragma once

#include "client/engine/ports.h"
#include "platform/core/clock.h"
#include "platform/core/text.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace morven {

struct Programma;

// Flags: only -1 (true) counts as true; a bool true counts as -1.
std::string FlagToSN(int flag);      // "S" / "N"
std::string FlagToYesNo(int flag);   // "YES" / "NO"
int FlagToBit(int flag);             // 1 / 0
inline std::string FlagToSN(bool flag) { return flag ? "S" : "N"; }
inline std::string FlagToYesNo(bool flag) { return flag ? "YES" : "NO"; }
inline int FlagToBit(bool flag) { return flag ? 1 : 0; }
// True for every value but 0 (a check box's value as a flag).
inline bool PositiveToFlag(int value) { return value != 0; }

// Seconds as "mm:ss": the minutes blank-padded and cut to two characters, the seconds zero-padded.
// 65 gives " 1:05", 6000 gives "00:00".
std::string FormattaTempo(Programma& p, std::int32_t secondi);

// The text up to its first NUL.
std::string StripAtNull(std::string_view text);

// "" when the path ends in "\" or "/", else the separator (to append to the path).
std::string AddSlash(Programma& p, std::string_view path, std::string_view separatore = "/");

// The file-name part of a path: the text after its last "/" or "\".
std::string TogliPathFile(Programma& p, std::string_view path);

// Creates every missing folder of `path`; the path is given a trailing "/" when it lacks one. False (logged
// as "CreaDir :") when a folder cannot be made; the folders made before stay.
bool CreaDir(Programma& p, std::string& path);

// Waits `n` milliseconds on the monotonic clock, processing the events that come meanwhile (so the windows
// and the devices stay live) and sleeping while none comes. Returns at once for n < 1.
void WaitMilliseconds(Programma& p, std::int32_t n);

// The longest a turn of AttendiEventi sleeps, on the program's clock: conditions no descriptor signals (a
// dialler's state, a flag set elsewhere) are looked at again at least this often.
inline constexpr std::int64_t kTurnoAttesaMassimoMs = 100;

// One turn of a wait: the pump sleeps until line data, a window event or `scadenzaMs` (the program's monotonic
// clock; at most kTurnoAttesaMassimoMs from now) and then runs one round. A wait loop calls it where it would
// otherwise spin on the pump.
void AttendiEventi(Programma& p, std::int64_t scadenzaMs);
// One turn of a wait whose limits the loop checks itself: a sleep of at most kTurnoAttesaMassimoMs.
void AttendiEventi(Programma& p);

std::string GetTempDirectory(Programma& p);
int GetPlatformId(Programma& p);
// The program that opens web pages, empty when none; `codice` gets the lookup's code.
std::string GetDefaultBrowser(Programma& p, int& codice);

// Window controls.
// Sets Enabled on every control of `form` held by the container `contenitore` with index `indice` (every
// control when the name is empty). A control that fails (its container is not an array) is logged and
// skipped. True.
bool EnableContainerControls(Programma& p, View& form, std::string_view contenitore, int indice, bool abilita);
// Colours an item and all its sub-items.
void ColorListItemRow(ListItem& item, std::uint32_t colore);
// Sizes every column of the list to its widest text, the header (in capitals) included; the first column
// three capitals wider. Throws for a list without columns.
void AutoSizeListViewColumns(View& view, std::string_view lista);

// Dates and times for texts.
std::string DataAAAAMMGG(const DateTime& t);  // "20261210"
std::string DataOraLog(const DateTime& t);    // "10/12/2026 09:05:03"
// Days since a fixed origin of a calendar date (for date differences).
long GiornoAssoluto(int anno, int mese, int giorno);
// A name of exactly eight digits that is a valid date YYYYMMDD.
bool DataDaNome(std::string_view nome, int& anno, int& mese, int& giorno);

// A value written as one line of a file: every CR and LF becomes a blank.
std::string SuUnaRiga(std::string_view value);

}  // namespace morven
