#include "gtlib/engine/logs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#include "gtlib/engine/messages.h"
#include "platform/core/files.h"

namespace gtlib {

namespace {

std::string Message(uint32_t id) {
    const char* text = FindMessage(id);
    return text ? text : "";
}

// The file name texts begin with "\": on this system that is the folder separator "/".
std::string LogPath(const EngineContext& ctx, uint32_t nameId) {
    std::string folder = LogFolder(ctx);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    std::string name = Message(nameId);
    for (char& c : name)
        if (c == '\\') c = '/';
    return folder + name;
}

// The last resort when neither a setting nor a state or home folder names one: a folder of the user's own
// in the shared temporary folder.
std::string FallbackFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp == '/' ? tmp : "/tmp";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/sbgtactx-" + std::to_string(::geteuid());
}

// The fall-back folder lies where every local user may create names: it is used only when it is a real
// folder (not a link) of this user that nobody else may write to or read. Another user who made that name
// first gets no log lines from us.
bool PrivateFolderReady(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st;
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

// Is the log folder the one chosen by default (no setting, no SBGTACTX_LOGDIR)?
bool DefaultFolderInUse(const EngineContext& ctx) {
    if (!ctx.logFolder.empty()) return false;
    const char* env = std::getenv("SBGTACTX_LOGDIR");
    return !(env && *env);
}

int OpenIn(const std::string& path) {
    const std::string folder = path.substr(0, path.rfind('/'));
    if (folder == FallbackFolder() && !PrivateFolderReady(folder)) return -1;
    constexpr int kFlags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW;
    int fd = ::open(path.c_str(), kFlags, 0600);
    if (fd < 0 && errno == ENOENT) {
        morven::MakeFolders(folder, 0700);  // private to the user; a failure shows when the file is opened
        fd = ::open(path.c_str(), kFlags, 0600);
    }
    return fd;
}

// Opens a log for appending; never through a link at the log's own name. When the default state or home
// folder cannot take it, the log goes to the user's fall-back folder.
int OpenAppend(const EngineContext& ctx, const std::string& path) {
    int fd = OpenIn(path);
    if (fd < 0 && DefaultFolderInUse(ctx)) {
        const std::string fallback = FallbackFolder() + path.substr(path.rfind('/'));
        if (fallback != path) fd = OpenIn(fallback);
    }
    return fd;
}

void AppendToFile(const EngineContext& ctx, const std::string& path, std::string_view bytes) {
    const int fd = OpenAppend(ctx, path);
    if (fd < 0) return;
    morven::WriteAll(fd, bytes);  // a failed write is ignored
    ::close(fd);
}

// Formats a log label (a format with one integer conversion, or no conversion at all) with its value,
// giving the conversion the argument type it names.
std::string FormatLabel(const char* format, uint64_t value) {
    const char* pct = std::strchr(format, '%');
    char buf[512];
    if (pct == nullptr) return format;
    const char* conv = pct + 1;
    while (*conv && std::strchr("#0123456789-+ ", *conv)) ++conv;
    const bool isLong = *conv == 'l';
    const char letter = isLong ? conv[1] : conv[0];
    const bool isSigned = letter == 'd' || letter == 'i';
    if (isLong && isSigned)
        std::snprintf(buf, sizeof buf, format, static_cast<long>(static_cast<int64_t>(value)));
    else if (isLong)
        std::snprintf(buf, sizeof buf, format, static_cast<unsigned long>(value));
    else if (isSigned)
        std::snprintf(buf, sizeof buf, format, static_cast<int>(static_cast<int64_t>(value)));
    else
        std::snprintf(buf, sizeof buf, format, static_cast<unsigned>(value));
    return buf;
}

std::string FormatText(const char* format, std::string_view text) {
    std::string out;
    const char* pct = std::strstr(format, "%s");
    if (pct == nullptr) return format;
    out.append(format, pct);
    out.append(text);
    out.append(pct + 2);
    return out;
}

template <typename T>
uint64_t Address(T* p) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
}

uint64_t Signed(int32_t v) { return static_cast<uint64_t>(static_cast<int64_t>(v)); }

// A text pointer's contents for the dump: the text and CR LF, or "???" CR LF when it is missing or longer
// than its limit.
std::string TextLine(const char* text, std::size_t limit) {
    if (text == nullptr) return "???\r\n";
    const std::size_t n = ::strnlen(text, limit + 1);
    if (n > limit) return "???\r\n";
    return std::string(text, n) + "\r\n";
}

class Dump {
public:
    explicit Dump(const EngineContext& ctx)
        : out_("\r\n" + FormatText(FindMessage(kMsgDiagnosticLogHeading), LogTimeStamp(ctx))) {}
    Dump& Value(uint32_t id, uint64_t value) {
        out_ += FormatLabel(FindMessageOrEmpty(id), value);
        return *this;
    }
    Dump& Text(uint32_t id, const char* text, std::size_t limit) {
        Value(id, Address(text));
        out_ += TextLine(text, limit);
        return *this;
    }
    std::string Finish() { return out_ + "\r\n"; }

private:
    static const char* FindMessageOrEmpty(uint32_t id) {
        const char* t = FindMessage(id);
        return t ? t : "";
    }
    std::string out_;
};

}  // namespace

std::string LogFolder(const EngineContext& ctx) {
    if (!ctx.logFolder.empty()) return ctx.logFolder;
    if (const char* env = std::getenv("SBGTACTX_LOGDIR"); env && *env) return env;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) return std::string(state) + "/sbgtactx";
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.local/state/sbgtactx";
    return FallbackFolder();
}

std::string DiagnosticLogPath(const EngineContext& ctx) { return LogPath(ctx, kMsgDiagnosticLogName); }
std::string EventLogPath(const EngineContext& ctx) { return LogPath(ctx, kMsgEventLogName); }

int64_t LogNow(const EngineContext& ctx) {
    return ctx.logClock ? ctx.logClock() : static_cast<int64_t>(std::time(nullptr));
}

std::string LogTimeStamp(const EngineContext& ctx) {
    const std::time_t t = static_cast<std::time_t>(LogNow(ctx));
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char date[48], time[48];
    std::snprintf(date, sizeof date, "%02d/%02d/%02d", tm.tm_mon + 1, tm.tm_mday, tm.tm_year % 100);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    // "Version: 5.00.02 - %s  %s"
    const std::string format = Message(kMsgVersion);
    std::string out = FormatText(format.c_str(), date);
    return FormatText(out.c_str(), time);
}

void DiagnosticWrite(const EngineContext& ctx, std::string_view bytes) {
    AppendToFile(ctx, DiagnosticLogPath(ctx), bytes);
}

void DiagnosticLine(const EngineContext& ctx, std::string_view text) {
    std::string line = "\r\n";
    line += text;
    line += "\r\n";
    DiagnosticWrite(ctx, line);
}

std::string DumpText(const EngineContext& ctx, const UGTCMDSTRUCT& c) {
    Dump d(ctx);
    d.Value(910, c.ulugtStructSize)
        .Value(192, Signed(c.lFunction))
        .Text(193, c.lpszGTFile, 260)
        .Text(862, c.lpszFilespec, 20000)
        .Text(195, c.lpszDestination, 260)
        .Value(861, Address(c.gzipInfo))
        .Value(911, Address(c.tarInfo))
        .Value(863, Signed(c.lIndex))
        .Value(865, Signed(c.bFreshenFlag))
        .Value(866, Signed(c.bUpdateFlag))
        .Value(867, Signed(c.bOverWriteFlag))
        .Value(868, Signed(c.bAllQuiet))  // no label in the table: writes nothing
        .Value(869, Signed(c.TestFlag))
        .Value(870, Signed(c.bNoDirectoryNames))
        .Value(228, Signed(c.bResv1))
        .Value(198, Signed(c.bRecurseFlag))
        .Value(201, Signed(c.bLFtoCRLF))
        .Value(874, Signed(c.bDecryptFlag))
        .Text(875, c.lpszDecryptCode, 65)
        .Value(872, Signed(c.lReturnCount))
        .Text(873, c.lpszReturnString, 4096)
        .Value(896, c.dwUGTSubOptions)
        .Value(217, Address(c.lpMemBlock))
        .Value(218, Signed(c.lMemBlockSize))
        .Value(901, Signed(c.lStartingOffset))
        .Value(221, Address(reinterpret_cast<void*>(c.lpMinorStatus)))
        .Value(222, Address(c.lpMinorUserData))
        .Value(219, Address(reinterpret_cast<void*>(c.lpMajorStatus)))
        .Value(220, Address(c.lpMajorUserData))
        .Value(223, Address(reinterpret_cast<void*>(c.lpMessageDisplay)))
        .Value(224, Address(c.lpMessageDisplayData))
        .Value(225, Address(reinterpret_cast<void*>(c.lpRenameProc)))
        .Value(226, Address(c.lpRenameUserData))
        .Value(227, Address(c.lpCallbackStruct));
    const int32_t resv[8] = {c.lResv1, c.lResv2, c.lResv3, c.lResv4, c.lResv5, c.lResv6, c.lResv7, c.lResv8};
    for (int i = 0; i < 8; ++i) d.Value(231 + static_cast<uint32_t>(i), static_cast<uint32_t>(resv[i]));
    return d.Finish();
}

std::string DumpText(const EngineContext& ctx, const GTCMDSTRUCT& c) {
    Dump d(ctx);
    d.Value(191, c.ulgtStructSize)
        .Value(192, Signed(c.lFunction))
        .Text(193, c.lpszGTFile, 260)
        .Text(194, c.lpszItemList, 20000)
        .Text(195, c.lpszDestination, 260)
        .Text(196, c.lpszTempPath, 260)
        .Value(197, Signed(c.bAllQuiet))
        .Value(198, Signed(c.bRecurseFlag))
        .Value(199, Signed(c.lCompFactor))
        .Value(200, Signed(c.bNoDirectoryNames))  // no label in the table: writes nothing
        .Value(201, Signed(c.bLFtoCRLF))
        .Value(202, Signed(c.bGrowExistingFlag))
        .Value(203, Signed(c.bAddComment))
        .Text(204, c.lpszComment, 4096)
        .Value(205, Signed(c.bInclDate))
        .Value(206, Signed(c.bExclDate))
        .Text(207, c.lpszDate1, 260)
        .Text(208, c.lpszDate2, 260)
        .Text(209, c.lpszIncludeList, 20000)
        .Text(210, c.lpszExludeList, 20000)
        .Value(211, Signed(c.bDosify))
        .Value(212, Signed(c.bIncludeSysHidden))
        .Value(213, Signed(c.bDiagnostic))  // no label in the table: writes nothing
        .Value(214, Signed(c.bEncryptFlag))
        .Text(215, c.lpszEncryptCode, 65)
        .Value(216, c.dwGTSubOptions)
        .Value(217, Address(c.lpMemBlock))
        .Value(218, Signed(c.lMemBlockSize))
        .Value(219, Address(reinterpret_cast<void*>(c.lpMajorStatus)))
        .Value(220, Address(c.lpMajorUserData))
        .Value(221, Address(reinterpret_cast<void*>(c.lpMinorStatus)))
        .Value(222, Address(c.lpMinorUserData))
        .Value(223, Address(reinterpret_cast<void*>(c.lpMessageDisplay)))
        .Value(224, Address(c.lpMessageDisplayData))
        .Value(225, Address(reinterpret_cast<void*>(c.lpRenameProc)))
        .Value(226, Address(c.lpRenameUserData))
        .Value(227, Address(c.lpCallbackStruct))
        .Value(228, Signed(c.bResv1))
        .Value(229, Signed(c.bResv2))
        .Value(230, Signed(c.bResv3));
    const int32_t resv[8] = {c.lResv1, c.lResv2, c.lResv3, c.lResv4, c.lResv5, c.lResv6, c.lResv7, c.lResv8};
    for (int i = 0; i < 8; ++i) d.Value(231 + static_cast<uint32_t>(i), static_cast<uint32_t>(resv[i]));
    return d.Finish();
}

void DiagnosticDump(const EngineContext& ctx, const UGTCMDSTRUCT& cmd) { DiagnosticWrite(ctx, DumpText(ctx, cmd)); }
void DiagnosticDump(const EngineContext& ctx, const GTCMDSTRUCT& cmd) { DiagnosticWrite(ctx, DumpText(ctx, cmd)); }

void EventLog::Line(const EngineContext& ctx, std::string_view text) {
    if (fd_ < 0) {
        if (failed_) return;
        fd_ = OpenAppend(ctx, EventLogPath(ctx));
        if (fd_ < 0) {
            failed_ = true;
            return;
        }
        morven::WriteAll(fd_, FormatText(FindMessage(kMsgEventLogHeading), LogTimeStamp(ctx)) + "\r\n");
    }
    std::string line(text);
    line += "\r\n";
    morven::WriteAll(fd_, line);
}

void EventLog::Item(const EngineContext& ctx, uint32_t messageId, std::string_view path) {
    const char* format = FindMessage(messageId);
    Line(ctx, FormatText(format ? format : "", path));
}

void EventLog::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    failed_ = false;
}

std::string ResultLineText(int32_t code, int32_t returnCount, const void* returnString) {
    char buf[600];
    std::string out;
    std::snprintf(buf, sizeof buf, "%s %d %s \r\n", FindMessage(kMsgResponse), code,
                  ResultText(EngineKind::Decompress, code).c_str());
    out += buf;
    out += FormatLabel(FindMessage(kMsgReturnCount), Signed(returnCount));
    out += "\r\n";
    std::snprintf(buf, sizeof buf, "%s %lx \r\n", FindMessage(kMsgReturnString),
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(returnString)));
    out += buf;
    return out;
}

void WriteResultLine(const EngineContext& ctx, int32_t code, int32_t returnCount, const void* returnString) {
    AppendToFile(ctx, EventLogPath(ctx), ResultLineText(code, returnCount, returnString));
}

}  // namespace gtlib
