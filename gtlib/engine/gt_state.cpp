#include "gtlib/engine/gt_state.h"

#include <sys/random.h>
#include <unistd.h>

#include <chrono>

#include "gtlib/engine/deflate.h"

namespace gtlib {

GtRandom::GtRandom() {
    std::uint64_t seed = 0;
    if (::getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed)) {
        seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
               (static_cast<std::uint64_t>(::getpid()) << 32);
    }
    s_ = seed;
}

std::uint32_t GtRandom::Next() {
    // splitmix64: every seed gives a full-period, well-mixed sequence.
    std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 16);
}

namespace {

MessageContext ContextOf(GtEngineState& st) {
    MessageContext ctx;
    ctx.slots = &st.slots;
    ctx.host = st.messageHost;
    ctx.diagnostic = st.diagnostic;
    ctx.quiet = st.Quiet();
    ctx.engine = &st.context;
    return ctx;
}

std::string LibraryText(GtEngineState& st, int id) {
    return GtGetMessageText(&st.slots, st.messageHost, static_cast<std::uint32_t>(id), 0);
}

void LibraryError(GtEngineState& st, int code, const std::string& detail, bool boxAllowed) {
    // The state keeps the run's latch; the message path gets a fresh one for the single report.
    FirstError latch;
    GtReportError(ContextOf(st), latch, code, detail, boxAllowed);
}

void LibraryWarning(GtEngineState& st, const std::string& text, const std::string& detail) {
    GtShowWarning(ContextOf(st), text, detail);
}

void LibraryEventLog(GtEngineState& st, const std::string& line) { st.eventLogFile.Line(st.context, line); }

}  // namespace

GtEngineState::GtEngineState() {
    hooks.text = LibraryText;
    hooks.error = LibraryError;
    hooks.warning = LibraryWarning;
    hooks.eventLog = LibraryEventLog;
}
GtEngineState::~GtEngineState() = default;

void GtEngineState::SetDefaults() {
    level = 6;
    keepDirectoryNames = true;
    messagesShown = true;
    mode = 1;
    encryptCode.clear();
    addComment = false;
    comment.clear();
    items.clear();
    patterns = {};
}

std::string GtEngineState::Text(int id) { return hooks.text ? hooks.text(*this, id) : std::string(); }

int GtEngineState::SetError(int code) {
    if (gtErrorCode == GTE_OK) gtErrorCode = code;
    return gtErrorCode;
}

int GtEngineState::ReportError(int code, const std::string& detail) {
    if (errorReported || code == GTE_OK) return gtErrorCode;
    errorReported = true;
    SetError(code);
    if (hooks.error) hooks.error(*this, code, detail, !Quiet());
    return gtErrorCode;
}

void GtEngineState::Warn(const std::string& text, const std::string& detail) {
    if (!Quiet() && hooks.warning) hooks.warning(*this, text, detail);
}

void GtEngineState::LogEvent(const std::string& line) {
    if ((subOptions & GTSO_LOGGTRESULTS) && hooks.eventLog) hooks.eventLog(*this, line);
}

void GtEngineState::Pump() {
    if (!(subOptions & GTSO_INHIBIT_PUMP) && hooks.pump) hooks.pump(*this);
}

int MajorPercent(int itemNumber, int itemCount) {
    if (itemCount <= 0) return 0;
    long long p = itemCount > 100000 ? itemNumber / (itemCount / 100) : 100LL * itemNumber / itemCount;
    return static_cast<int>(p > 100 ? 100 : (p < 0 ? 0 : p));
}

int MinorPercent(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return 0;
    const std::uint64_t p = total <= 100000 ? done * 100 / total : done / (total / 100);
    return static_cast<int>(p > 100 ? 100 : p);
}

int GtEngineState::MajorStatus(const std::string& text) {
    lastMajorText = text;
    lastMajorPercent = MajorPercent(itemNumber, itemCount);
    if (!majorStatus) return 0;
    const int answer = majorStatus(text.c_str(), lastMajorPercent, statusType, majorUserData);
    Pump();
    return answer;
}

void GtEngineState::MinorStatus(const std::string& text, std::uint64_t done, std::uint64_t total) {
    lastMinorText = text;
    lastMinorPercent = MinorPercent(done, total);
    if (!minorStatus) return;
    const int answer = minorStatus(text.c_str(), lastMinorPercent, statusType, minorUserData);
    if (answer != 0 && (subOptions & GTSO_MINORCANCEL)) cancel = true;
    Pump();
}

bool GtEngineState::CancelPoll() {
    if (cancel) return true;
    if (majorStatus) {
        cancel = majorStatus(lastMajorText.c_str(), lastMajorPercent, statusType, majorUserData) != 0;
        Pump();
    }
    return cancel;
}

}  // namespace gtlib
