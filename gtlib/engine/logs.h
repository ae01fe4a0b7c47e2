// The library's two log files, in a log folder that a host can set:
// - the diagnostic log "SBGT32.LOG" (when a command record asks for diagnostics): record dumps and every
//   reported message, each write opening the file, appending and closing it again;
// - the event log "SBGTLOG.TXT" (sub-option 256): one line per item, opened at the first line of a run
//   and kept open to its end, headed by a dated line.
// The folder is, in this order: the one of the run's engine context (context.h), the environment variable SBGTACTX_LOGDIR,
// $XDG_STATE_HOME/sbgtactx, ~/.local/state/sbgtactx, and without a home folder (or when the state or home
// folder cannot take the log) sbgtactx-<uid> in $TMPDIR (or /tmp). Missing folders are created private to the user (0700); the fall-back folder is used only when
// it is a real folder of the user closed to everyone else. Log files are created 0600 and never opened
// through a link. A log that cannot be opened is skipped silently; a failed write is ignored.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "gtlib/engine/context.h"
#include "gtlib/engine/records.h"

namespace gtlib {

// Log folder of a context (its own, else the environment and the default).
std::string LogFolder(const EngineContext& ctx);
std::string DiagnosticLogPath(const EngineContext& ctx);
std::string EventLogPath(const EngineContext& ctx);

// Now on the context's log clock. Time stamps are written in local time.
int64_t LogNow(const EngineContext& ctx);

// "Version: 5.00.02 - MM/DD/YY  hh:mm:ss" with the local date and time of the log clock.
std::string LogTimeStamp(const EngineContext& ctx);

// Appends bytes to the diagnostic log as they stand.
void DiagnosticWrite(const EngineContext& ctx, std::string_view bytes);

// A diagnostic line: CR LF, the text, CR LF.
void DiagnosticLine(const EngineContext& ctx, std::string_view text);

// The dump of a command record: CR LF, the dated header line, one label per field with its value (and
// after the labels of the texts the text itself, or "???" when it is missing or too long), CR LF.
std::string DumpText(const EngineContext& ctx, const UGTCMDSTRUCT& cmd);
std::string DumpText(const EngineContext& ctx, const GTCMDSTRUCT& cmd);
void DiagnosticDump(const EngineContext& ctx, const UGTCMDSTRUCT& cmd);
void DiagnosticDump(const EngineContext& ctx, const GTCMDSTRUCT& cmd);

// The event log of one run. Line() opens the file at the first line (writing the dated header line) and
// appends "text CR LF"; Close() ends the run's use of it.
class EventLog {
public:
    EventLog() = default;
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;
    ~EventLog() { Close(); }

    void Line(const EngineContext& ctx, std::string_view text);
    // A line from a format with one "%s" and the item path.
    void Item(const EngineContext& ctx, uint32_t messageId, std::string_view path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
    bool failed_ = false;
};

// Result line of a decompression run (when diagnostic): appended to the event-log file, opened and closed
// for it: "Selbrik-GT Response: <code> <result text> " CR LF, "lReturnCount: <count>" CR LF,
// "lpszReturnString: <address in hex> " CR LF.
std::string ResultLineText(int32_t code, int32_t returnCount, const void* returnString);
void WriteResultLine(const EngineContext& ctx, int32_t code, int32_t returnCount, const void* returnString);

}  // namespace gtlib
