// State of the compression engine: one block per control instance (or per action without a control), holding the run's
// options, the first-error latch, the status procedures and the coders' working memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "gtlib/engine/crypt.h"
#include "gtlib/engine/deflate.h"
#include "gtlib/engine/filelist.h"
#include "gtlib/engine/logs.h"
#include "gtlib/engine/messages.h"
#include "gtlib/engine/records.h"

namespace gtlib {

// Result codes (GTE_*), sub-option bits (GTSO_*) and the memory-transfer answers (MEM_*) are the
// library's constants of records.h.

// Host procedures (called on the running thread; user data is the control).
using GtStatusProc = StatusProc;
using GtMemTransferProc = MemoryTransferProc;
using GtRenameProc = RenameProc;

struct GtEngineState;

// The seam to the message path and logs: the engine names what to say, the message module says it.
// A new state has them wired to the library's message table, message path and event log (messages.h,
// logs.h); a test may replace any of them. An empty hook gives an empty text or shows nothing.
struct GtMessageHooks {
    // Text of message `id` of the library's table (empty when unknown).
    std::string (*text)(GtEngineState&, int id) = nullptr;
    // The first error of a run: its code, the detail, and whether a box may be shown.
    void (*error)(GtEngineState&, int code, const std::string& detail, bool boxAllowed) = nullptr;
    // A warning: text and detail (called only when the run is not quiet).
    void (*warning)(GtEngineState&, const std::string& text, const std::string& detail) = nullptr;
    // One line of the event log (only with GTSO_LOGGTRESULTS).
    void (*eventLog)(GtEngineState&, const std::string& line) = nullptr;
    // Processes the host's pending window messages.
    void (*pump)(GtEngineState&) = nullptr;
};

// Random bytes of the encryption header: a small generator seeded from the system's entropy.
class GtRandom {
public:
    GtRandom();
    void Seed(std::uint64_t seed) { s_ = seed; }
    std::uint32_t Next();

private:
    std::uint64_t s_;
};

struct GtEngineState {
    GtEngineState();
    ~GtEngineState();
    GtEngineState(const GtEngineState&) = delete;
    GtEngineState& operator=(const GtEngineState&) = delete;

    // Defaults set at the start of every run.
    void SetDefaults();

    // --- result of the run -------------------------------------------------------------------------
    int gtErrorCode = GTE_OK;
    bool errorReported = false;  // first-error latch
    bool busy = false;
    bool cancel = false;

    // --- handles ----------------------------------------------------------------------------------
    int srcFd = -1;
    int outFd = -1;
    int eventLogFd = -1;

    // --- names ------------------------------------------------------------------------------------
    std::string gtFile;
    std::string destination;
    std::string tempPath;

    // --- options ----------------------------------------------------------------------------------
    int level = 6;
    bool keepDirectoryNames = true;
    bool recurse = false;
    bool lfToCrlf = false;
    bool dosify = false;
    bool includeSysHidden = false;
    bool messagesShown = true;
    bool growExisting = false;
    bool addComment = false;
    std::string comment;
    std::string encryptCode;  // empty: no encryption
    bool inclDate = false;
    bool exclDate = false;
    std::int64_t date1 = 0;  // Unix seconds, start of the window
    std::int64_t date2 = 0;  // Unix seconds, end of the window (both ends belong to it)
    bool diagnostic = false;
    std::uint32_t subOptions = 0;

    // --- memory source and output -----------------------------------------------------------------
    bool memSource = false;
    bool memStream = false;  // data pulled through the memory-transfer procedure
    const std::uint8_t* memBlock = nullptr;
    std::size_t memBlockSize = 0;
    std::size_t memReadPos = 0;
    bool memOutput = false;
    bool memInputEnded = false;
    GtMemTransferProc memTransfer = nullptr;
    void* memTransferData = nullptr;
    std::uint64_t totalRead = 0;
    std::uint64_t totalWritten = 0;

    // --- status -----------------------------------------------------------------------------------
    GtStatusProc majorStatus = nullptr;
    void* majorUserData = nullptr;
    GtStatusProc minorStatus = nullptr;
    void* minorUserData = nullptr;
    GtRenameProc renameProc = nullptr;
    void* renameUserData = nullptr;
    int lastMajorPercent = 0;
    int lastMinorPercent = 0;
    std::string lastMajorText;
    std::string lastMinorText;
    int itemNumber = 1;
    int itemCount = 0;
    int statusType = 0;

    int mode = 1;  // 1 GZIP members, 2 TAR archive, 3 TAR member removal

    // --- lists ------------------------------------------------------------------------------------
    std::vector<GtListItem> items;
    PatternList patterns;
    std::string tempFileName;

    // --- coders -----------------------------------------------------------------------------------
    DeflateCoder deflate;  // window, chains and trees; kept between items
    CryptKeys keys;
    GtRandom random;

    GtMessageHooks hooks;
    void* hostData = nullptr;  // free for the control

    // --- message path -----------------------------------------------------------------------------
    MessageSlots slots{};      // three 260-byte text slots of the lookup
    MessageHost messageHost;   // the host's message procedure (lpMessageDisplay) and its user data
    gtlib::EventLog eventLogFile;     // the run's event log (GTSO_LOGGTRESULTS)
    EngineContext context;            // the run's logs and window hooks, handed down by the control

    bool Quiet() const { return !messagesShown; }

    // Message text of the library's table (empty without the message hook).
    std::string Text(int id);

    // Sets the run's code when none is set yet (first error wins); returns the run's code.
    int SetError(int code);
    // Reports an error: only the first report of a run sets the code and reaches the message path.
    int ReportError(int code, const std::string& detail = {});
    // A warning through the message path, unless quiet.
    void Warn(const std::string& text, const std::string& detail = {});
    void LogEvent(const std::string& line);

    // Status procedures. MajorStatus returns the host's answer (non-zero = stop the item).
    int MajorStatus(const std::string& text);
    void MinorStatus(const std::string& text, std::uint64_t done, std::uint64_t total);
    // Cancel poll between blocks and items: true when the run is to stop.
    bool CancelPoll();
    void Pump();
};

// Percentages of the status procedures.
int MajorPercent(int itemNumber, int itemCount);
int MinorPercent(std::uint64_t done, std::uint64_t total);

}  // namespace gtlib
