// The decompression engine: entry checks, the options of a run, the dispatch to the GZIP reader
// (ugt_gzip.cpp) and the TAR extraction (ugt_untar.cpp), and the name patterns of the library.
#include "gtlib/engine/ugt_engine.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

#include "gtlib/engine/crypt.h"
#include "gtlib/engine/inflate_output.h"
#include "gtlib/engine/ugt_parts.h"
#include "platform/core/text.h"
#include "gtlib/engine/ugt_state.h"

namespace gtlib {

using namespace ugt;

namespace {

// ---------------------------------------------------------------------------------------------------------
// The run
// ---------------------------------------------------------------------------------------------------------

void ResetRun(UgtEngineState& s) {
    s.caller = nullptr;
    s.quiet = s.test = s.noDirNames = s.overwriteAll = s.overwriteReadOnly = false;
    s.minorCancel = s.ignoreLongNames = s.mangleLongNames = s.leavePartial = s.eventLogging = false;
    s.noPump = s.diagnostic = s.lfToCrlf = s.recurse = s.freshen = s.update = s.decrypt = false;
    s.majorStatus = s.minorStatus = nullptr;
    s.majorData = s.minorData = nullptr;
    s.host = {};
    s.renameProc = nullptr;
    s.renameData = nullptr;
    s.memProc = nullptr;
    s.memData = nullptr;
    s.tarEnumProc = nullptr;
    s.tarEnumData = nullptr;
    s.archive.clear();
    s.fd = -1;
    s.destination.clear();
    s.destinationGiven = 0;
    s.memBlock = nullptr;
    s.memSize = s.startOffset = s.produced = 0;
    s.memOut = s.memoryMode = s.streamOut = s.streamIn = false;
    s.statusType = 0;
    s.totalRead = s.totalWritten = 0;
    s.cancel = false;
    s.decryptCode.clear();
    s.gz = UgtGzipHeader{};
    s.itemName.clear();
    s.patterns.clear();
    s.tarExtracted.clear();
    s.membersSeen = s.membersExtracted = s.membersTotal = 0;
}

void TakeOptions(UgtEngineState& s) {
    const UGTCMDSTRUCT& c = s.cmd;
    s.quiet = c.bAllQuiet != 0;
    s.test = c.TestFlag != 0;
    s.noDirNames = c.bNoDirectoryNames != 0;
    s.overwriteAll = c.bOverWriteFlag != 0;
    s.overwriteReadOnly = (c.dwUGTSubOptions & UGTSO_OVERWRITE_RO) != 0;
    s.minorCancel = (c.dwUGTSubOptions & UGTSO_MINORCANCEL) != 0;
    s.ignoreLongNames = (c.dwUGTSubOptions & UGTSO_IGNORELONGNAMES) != 0;
    s.mangleLongNames = (c.dwUGTSubOptions & UGTSO_MANGLELONGNAMES) != 0;
    s.leavePartial = (c.dwUGTSubOptions & UGTSO_LEAVEPARTIAL) != 0;
    s.eventLogging = (c.dwUGTSubOptions & UGTSO_LOGGTRESULTS) != 0;
    s.noPump = (c.dwUGTSubOptions & UGTSO_INHIBIT_PUMP) != 0;
    s.lfToCrlf = c.bLFtoCRLF != 0;
    s.recurse = c.bRecurseFlag != 0;
    s.freshen = c.bFreshenFlag != 0;
    s.update = c.bUpdateFlag != 0;
    s.decrypt = c.bDecryptFlag != 0;
    s.majorStatus = c.lpMajorStatus;
    s.majorData = c.lpMajorUserData;
    s.minorStatus = c.lpMinorStatus;
    s.minorData = c.lpMinorUserData;
    s.host = MessageHost{c.lpMessageDisplay, c.lpMessageDisplayData};
    s.renameProc = c.lpRenameProc;
    s.renameData = c.lpRenameUserData;
    if (c.lpCallbackStruct != nullptr && c.lpCallbackStruct->ulStructSize == kCallbackStructSize) {
        s.memProc = c.lpCallbackStruct->lpMemToMemProc;
        s.memData = c.lpCallbackStruct->lpMemToMemUserData;
        s.tarEnumProc = c.lpCallbackStruct->lpTarEnumProc;
        s.tarEnumData = c.lpCallbackStruct->lpTarEnumUserData;
    }
}

int32_t StatusTypeOf(int32_t action) {
    switch (action) {
        case UGT_GUNZIP:
        case UGT_GETGZIPINFO: return STYP_FILETOFILE_GUNZIP;
        case UGT_GUNZIP_MEMTOMEM: return STYP_MEMTOMEM_GUNZIP;
        case UGT_GUNZIP_FILETOMEM:
        case UGT_GUNZIP_FILETOMEM_STREAM:
        case UGT_GETGZIPCOMMENT_SIZE:
        case UGT_GETGZIPCOMMENT: return STYP_FILETOMEM_GUNZIP;
        case UGT_UNTAR_FILETOMEM:
        case UGT_UNTAR_FILETOMEM_STREAM: return STYP_FILETOMEM_UNTAR;
        default: return STYP_FILETOFILE_UNTAR;
    }
}

bool IsGzipAction(int32_t a) {
    return a == UGT_GUNZIP || a == UGT_GUNZIP_FILETOMEM || a == UGT_GUNZIP_FILETOMEM_STREAM ||
           a == UGT_GETGZIPCOMMENT_SIZE || a == UGT_GETGZIPCOMMENT || a == UGT_GETGZIPINFO;
}

bool IsTarAction(int32_t a) {
    return a == UGT_UNTAR || a == UGT_UNTAR_FILETOMEM || a == UGT_UNTAR_FILETOMEM_STREAM ||
           (a >= UGT_UNTAR_COUNTALLMEMBERS && a <= UGT_UNTAR_GETINFOBYINDEX);
}

// Parameter checks before any file is opened (steps that return 11 without copying the record back).
int32_t CheckParameters(UgtEngineState& s) {
    const UGTCMDSTRUCT& c = s.cmd;
    const int32_t action = c.lFunction;
    if (!NormalisePath(c.lpszGTFile, s.archive) || !NormalisePath(c.lpszDestination, s.destination)) {
        ShowMessage(s, UGTE_PARMS, FindMessage(kMsgInvalidOptions));
        return UGTE_PARMS;
    }
    s.destinationGiven = s.destination.size();
    if (!s.destination.empty() && s.destination.back() != '/') s.destination.push_back('/');
    if (s.archive.empty() && action != UGT_GUNZIP_MEMTOMEM) {
        ShowMessage(s, UGTE_PARMS, FindMessage(kMsgNoArchiveName));
        return UGTE_PARMS;
    }
    if (s.freshen && s.update) {
        ShowMessage(s, UGTE_PARMS, FindMessage(kMsgFreshenAndUpdate));
        return UGTE_PARMS;
    }
    if (s.decrypt) {
        if (c.lpszDecryptCode == nullptr || c.lpszDecryptCode[0] == 0 || ::strnlen(c.lpszDecryptCode, 66) > 65) {
            ShowMessage(s, UGTE_PARMS, FindMessage(kMsgNoDecryptionKey));
            return UGTE_PARMS;
        }
        s.decryptCode = c.lpszDecryptCode;
    }
    s.statusType = StatusTypeOf(action);
    if (c.lMemBlockSize >= 0) {
        const bool named = c.lpszFilespec != nullptr && c.lpszFilespec[0] != 0;
        const bool block = c.lpMemBlock != nullptr && c.lStartingOffset >= 0;
        const bool stream = c.lpMemBlock == nullptr && (action == UGT_GUNZIP_FILETOMEM_STREAM ||
                                                        action == UGT_UNTAR_FILETOMEM_STREAM) &&
                            c.lStartingOffset >= 0;
        if (block || stream) {
            if (named && !IsPlainName(c.lpszFilespec)) {
                ShowMessage(s, UGTE_PARMS, FindMessage(kMsgInvalidOptions));
                return UGTE_PARMS;
            }
            s.memSize = c.lMemBlockSize;
            s.startOffset = c.lStartingOffset;
            if (block) {
                s.memOut = true;
                s.memBlock = c.lpMemBlock;
                s.memoryMode = named || c.lIndex >= 0 || action == UGT_GUNZIP_FILETOMEM;
            } else {
                s.memoryMode = named || c.lIndex >= 0 || action == UGT_GUNZIP_FILETOMEM_STREAM;
                s.streamOut = true;
                if (s.memProc == nullptr) return Inconsistent(s);
            }
        }
    }
    if (action == UGT_GUNZIP_MEMTOMEM) {
        if (s.memoryMode || s.memProc == nullptr) return Inconsistent(s);
        s.streamIn = true;
    }
    return 0;
}

int32_t Dispatch(UgtEngineState& s) {
    const int32_t action = s.cmd.lFunction;
    if (action == UGT_GUNZIP_MEMTOMEM) {
        int32_t r = ReadGzipHeader(s);
        if (r != 0) return r;
        r = ExtractGzipMember(s);
        s.cmd.lMemBlockSize = static_cast<int32_t>(s.produced);
        if (r != 0 && r != UGTE_ABORT && r != UGTE_SKIP) ShowMessage(s, r, FindMessage(kMsgExtractProblem));
        return r;
    }
    if (IsGzipAction(action)) return GzipAction(s);
    if (IsTarAction(action)) return TarAction(s);
    ShowMessage(s, UGTE_PARMS, FindMessage(kMsgUnknownFunction));
    return UGTE_PARMS;
}

// Runs one action on a state that is already marked busy.
int32_t Run(UgtEngineState& s, UGTCMDSTRUCT* cmd) {
    ResetRun(s);
    if (cmd == nullptr) return UGTE_PARMS;
    s.diagnostic = cmd->bDiagnostic != 0;
    if (s.diagnostic) DiagnosticDump(s.context, *cmd);
    if (cmd->ulugtStructSize != kUgtCmdStructSize) {
        if (s.diagnostic) WriteResultLine(s.context, UGTE_PARMS, 0, nullptr);
        return UGTE_PARMS;
    }
    s.cmd = *cmd;
    s.caller = cmd;
    TakeOptions(s);

    int32_t r = CheckParameters(s);
    if (r != 0) return r;

    const int32_t action = s.cmd.lFunction;
    if (IsGzipAction(action) || IsTarAction(action)) {
        s.fd = ::open(s.archive.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st;
        if (s.fd >= 0 && (::fstat(s.fd, &st) != 0 || S_ISDIR(st.st_mode))) {
            ::close(s.fd);
            s.fd = -1;
        }
        if (s.fd < 0) {
            *cmd = s.cmd;
            ShowMessage(s, UGTE_OPEN, FindMessage(kMsgFileReadError));
            if (s.diagnostic) WriteResultLine(s.context, UGTE_OPEN, s.cmd.lReturnCount, s.cmd.lpszReturnString);
            return UGTE_OPEN;
        }
    }

    r = Dispatch(s);
    if (action != UGT_GETGZIPINFO) *cmd = s.cmd;
    if (s.diagnostic) WriteResultLine(s.context, r, s.cmd.lReturnCount, s.cmd.lpszReturnString);
    return r;
}

// Ends a run: closes the handles, drops the lists, clears busy.
void EndRun(UgtEngineState& s) {
    if (s.fd >= 0) ::close(s.fd);
    s.fd = -1;
    s.eventLog.Close();
    s.patterns.clear();
    s.caller = nullptr;
    s.busy = false;
}

}  // namespace

UgtEngineState* UgtNewState() { return new (std::nothrow) UgtEngineState(); }

void UgtDeleteState(UgtEngineState* state) {
    delete state;
}

std::size_t UgtStateSize() { return sizeof(UgtEngineState); }

void UgtInitState(void* block) {
    if (block != nullptr) new (block) UgtEngineState();
}

void UgtReleaseState(void* block) {
    if (block == nullptr) return;
    static_cast<UgtEngineState*>(block)->~UgtEngineState();
}

int32_t UgtRunBlock(void* block, const EngineContext& context, void* ugtCmdStruct) {
    auto* cmd = static_cast<UGTCMDSTRUCT*>(ugtCmdStruct);
    return block ? UgtRun(static_cast<UgtEngineState*>(block), cmd, context) : UgtMain(cmd, context);
}

int32_t UgtRun(UgtEngineState* state, UGTCMDSTRUCT* cmd, const EngineContext& context) {
    if (state == nullptr) return UGTE_MEM;
    UgtEngineState* s = state;
    if (s->busy) {
        // Refused without touching the running action: its state, its slots and its record stay as they are.
        MessageContext ctx;
        ctx.engine = &context;
        if (cmd != nullptr && cmd->ulugtStructSize == kUgtCmdStructSize) {
            ctx.host = MessageHost{cmd->lpMessageDisplay, cmd->lpMessageDisplayData};
            ctx.quiet = cmd->bAllQuiet != 0;
            ctx.diagnostic = cmd->bDiagnostic != 0;
        }
        UgtShowMessage(ctx, UGTE_BUSY, "");
        return UGTE_BUSY;
    }
    s->busy = true;
    int32_t r;
    try {
        s->context = context;
        r = Run(*s, cmd);
    } catch (const std::bad_alloc&) {
        r = UGTE_MEM;
    }
    EndRun(*s);
    return r;
}

int32_t UgtMain(UGTCMDSTRUCT* cmd, const EngineContext& context) {
    // A caller without a control gets a state of its own for this one action.
    std::unique_ptr<UgtEngineState> own(new (std::nothrow) UgtEngineState());
    return UgtRun(own.get(), cmd, context);
}

// ---------------------------------------------------------------------------------------------------------
// Rules of their own
// ---------------------------------------------------------------------------------------------------------

namespace {

// One part (base or extension) of a name against the same part of a pattern.
bool MatchPart(std::string_view p, std::string_view n) {
    if (p.empty()) return n.empty();
    if (p[0] == '*') return true;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] == '*') return true;
        if (i >= n.size()) {
            // "?" at the pattern's end also match a shorter name.
            for (std::size_t j = i; j < p.size(); ++j)
                if (p[j] != '?' && p[j] != '*') return false;
            return true;
        }
        if (p[i] != '?' && morven::UpperAscii(p[i]) != morven::UpperAscii(n[i])) return false;
    }
    return n.size() == p.size();
}

void SplitAtLastPoint(std::string_view s, std::string_view& base, std::string_view& ext) {
    const std::size_t dot = s.find_last_of('.');
    if (dot == std::string_view::npos) {
        base = s;
        ext = {};
    } else {
        base = s.substr(0, dot);
        ext = s.substr(dot + 1);
    }
}

// Does one pattern select a member (names with "\" separators, folders ending in "\")?
bool PatternSelects(std::string_view pattern, std::string_view member, bool recurse) {
    const bool folderMember = !member.empty() && member.back() == '\\';
    const std::string_view trimmed = folderMember ? member.substr(0, member.size() - 1) : member;
    const std::size_t lastSep = trimmed.find_last_of('\\');
    const std::string_view memberFolder = lastSep == std::string_view::npos ? std::string_view() : trimmed.substr(0, lastSep + 1);
    const std::string_view bare = lastSep == std::string_view::npos ? trimmed : trimmed.substr(lastSep + 1);
    const bool everything = pattern == "*.*";

    const std::size_t pSep = pattern.find_last_of('\\');
    if (pSep == std::string_view::npos) {
        if (!memberFolder.empty() && !recurse) return false;
        if (folderMember) return everything;
        return UgtMatchName(pattern, bare);
    }
    const std::string_view pFolder = pattern.substr(0, pSep + 1);
    const std::string_view pName = pattern.substr(pSep + 1);
    if (folderMember) {
        const std::string_view path = member;  // "A\B\"
        if (morven::EqualsNoCase(path, pFolder)) return true;
        if (path.size() > pFolder.size() && morven::EqualsNoCase(path.substr(0, pFolder.size()), pFolder))
            return recurse && (pName.empty() || pName == "*.*");
        return false;
    }
    if (memberFolder.size() < pFolder.size() || !morven::EqualsNoCase(memberFolder.substr(0, pFolder.size()), pFolder))
        return false;
    const bool direct = memberFolder.size() == pFolder.size();
    if (!direct && !recurse) return false;
    if (pName.empty()) return true;  // only a folder: its members
    return UgtMatchName(pName, bare);
}

}  // namespace

bool UgtMatchName(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*" || pattern == "*") return true;
    std::string_view pb, pe, nb, ne;
    SplitAtLastPoint(pattern, pb, pe);
    SplitAtLastPoint(name, nb, ne);
    return MatchPart(pb, nb) && MatchPart(pe, ne);
}

int32_t UgtSplitFilespec(std::string_view filespec, std::vector<std::string>& patterns) {
    patterns.clear();
    std::size_t quotes = 0;
    for (char c : filespec)
        if (c == '"') ++quotes;
    if (quotes % 2 != 0) return UGTE_PARMS;
    std::string current;
    bool inside = false;
    bool any = false;
    auto flush = [&] {
        if (any && !current.empty()) patterns.push_back(current);
        current.clear();
        any = false;
    };
    for (char c : filespec) {
        if (c == '"') {
            inside = !inside;
            any = true;
            continue;
        }
        if (c == ' ' && !inside) {
            flush();
            continue;
        }
        current.push_back(c == '/' ? '\\' : morven::UpperAscii(c));
        any = true;
    }
    flush();
    return 0;
}

bool UgtSelectByPatterns(const std::vector<std::string>& patterns, std::string_view memberName, bool recurse) {
    if (patterns.empty()) return true;
    for (const std::string& p : patterns)
        if (PatternSelects(p, memberName, recurse)) return true;
    return false;
}

}  // namespace gtlib
