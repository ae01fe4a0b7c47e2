#include "gtlib/engine/gt_engine.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "gtlib/engine/filelist.h"
#include "gtlib/engine/gt_state.h"
#include "gtlib/engine/gt_tar_run.h"
#include "gtlib/engine/gzip_writer.h"
#include "gtlib/engine/logs.h"
#include "gtlib/engine/messages.h"
#include "gtlib/engine/paths.h"
#include "gtlib/engine/tempfile.h"
#include "gtlib/engine/ugt_engine.h"

namespace gtlib {

// The compression state of a control and the record of the run in progress.
struct GtControlState {
    GtEngineState engine;
    const GTCMDSTRUCT* cmd = nullptr;
};

namespace {

std::string Msg(uint32_t id) {
    const char* t = FindMessage(id);
    return t ? t : "";
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

bool Given(const char* s) { return s != nullptr && s[0] != 0; }

int StatusTypeOf(int32_t action) {
    switch (action) {
        case GT_GZIP: return STYP_FILETOFILE_GZIP;
        case GT_TAR:
        case GT_TAR_DELETE: return STYP_FILETOFILE_TAR;
        case GT_GZIP_MEMTOMEM: return STYP_MEMTOMEM_GZIP;
        case GT_GZIP_MEMTOFILE:
        case GT_GZIP_MEMTOFILE_STREAM: return STYP_MEMTOFILE_GZIP;
        default: return STYP_MEMTOFILE_TAR;
    }
}

void SetReadOnly(const std::string& path, uint32_t attributes) {
    if (!(attributes & ATTR_READONLY)) return;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) ::chmod(path.c_str(), st.st_mode & 07555);
}

// Mode 1: one GZIP member per item.
int GzipItems(GtControlState& c) {
    GtEngineState& st = c.engine;
    const GTCMDSTRUCT& cmd = *c.cmd;
    st.itemCount = static_cast<int>(st.items.size());
    st.itemNumber = 1;
    for (const GtListItem& li : st.items) {
        std::string temp;
        int r = MakeTempFileName(st.tempPath, temp);
        if (r != GTE_OK) return st.ReportError(GTE_CREATE, st.tempPath);
        const int fd = ::open(temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) {
            ::unlink(temp.c_str());
            return st.ReportError(GTE_TEMP, temp);
        }
        GtItem item;
        item.sourcePath = li.sourcePath;
        item.storedName = li.storedName;
        item.time = static_cast<uint32_t>(li.time);
        item.attributes = li.attributes;
        item.memory = li.memory;
        r = GzipFile(item, fd, st);
        ::close(fd);
        if (r == GTE_OK && st.gtErrorCode != GTE_OK) r = st.gtErrorCode;
        if (r != GTE_OK) {
            if (r == GTE_OPEN)
                st.ReportError(r, Msg(kMsgCannotOpen) + NativePath(li.sourcePath));
            else
                st.ReportError(r,
                               Msg(kMsgAboutToCompress) + " " + NativePath(li.memory ? li.storedName : li.sourcePath));
            if (r != GTE_CREATE || !st.growExisting) ::unlink(temp.c_str());
            return st.gtErrorCode;
        }
        std::string output;
        if (!st.gtFile.empty()) output = AppendGzExtension(st.gtFile);
        else if (!st.destination.empty()) output = st.destination + BaseName(NativePath(li.sourcePath)) + ".gz";
        if (output.empty()) {
            ::unlink(temp.c_str());
            return st.ReportError(GTE_PARMS, Msg(kMsgProcessingArguments));
        }
        if (CreateDirectoryPath(output) != GTE_OK) {
            ::unlink(temp.c_str());
            return st.ReportError(GTE_TEMP, output);
        }
        r = ReplaceOriginalFile(st, output, temp);
        if (r != GTE_OK) {
            st.Warn(Msg(kMsgNewFileLeftAs), temp);
            return st.ReportError(r, Msg(kMsgReplacingOriginal));
        }
        SetReadOnly(output, item.attributes);
        ++st.itemNumber;
        (void)cmd;
    }
    return GTE_OK;
}

std::vector<GtTarItem> TarItems(const GtEngineState& st) {
    std::vector<GtTarItem> out;
    for (const GtListItem& li : st.items)
        out.push_back({NativePath(li.sourcePath), li.storedName, li.time, li.attributes, li.memory});
    return out;
}

std::string WithPath(uint32_t id, const std::string& path) {
    std::string line = Msg(id);
    const std::size_t at = line.find("%s");
    if (at != std::string::npos) line.replace(at, 2, path);
    return line;
}

// Mode 2: a TAR archive, new or grown; mode 3: members removed.
int TarRun(GtControlState& c, int mode) {
    GtEngineState& st = c.engine;
    const GTCMDSTRUCT& cmd = *c.cmd;
    const std::string archive = st.gtFile;
    struct stat ast;
    if (mode == 3 && !(::stat(archive.c_str(), &ast) == 0 && S_ISREG(ast.st_mode)))
        return st.ReportError(GTE_OPEN, Msg(kMsgCannotOpen) + archive);
    std::string temp;
    if (MakeTempFileName(st.tempPath, temp) != GTE_OK) return st.ReportError(GTE_CREATE, st.tempPath);

    int r = GTE_OK;
    if (mode == 2) {
        GtTarRun run;
        run.lfToCrlf = st.lfToCrlf;
        run.cancel = &st.cancel;
        run.memData = st.memBlock;
        run.memSize = st.memBlockSize;
        st.itemCount = static_cast<int>(st.items.size());
        st.itemNumber = 0;
        run.majorStatus = [&st](const GtTarItem& item) {
            ++st.itemNumber;
            const std::string text =
                item.memory ? Msg(kMsgMemoryToFile) : FormatNumbers(Msg(kMsgItemOf), st.itemNumber, st.itemCount);
            return st.MajorStatus(text) != 0;
        };
        run.minorStatus = [&st](int percent) {
            st.MinorStatus(st.lastMajorText, static_cast<uint64_t>(percent), 100);
            return st.cancel;
        };
        if (st.renameProc != nullptr) {
            run.rename = [&st](std::string& stored, int64_t& mtime, uint32_t& attributes) {
                RENAMESTRUCT rq = NewRenameStruct();
                CopyToField(rq.szItemName, stored);
                CopyToField(rq.szDateTime, UgtDateText(mtime));
                rq.dwAttrib = attributes;
                rq.dwOptions = 1;
                st.renameProc(&rq, st.renameUserData);
                stored = std::string(FieldText(rq.szItemName));
                mtime = UgtDateTextToUnix(FieldText(rq.szDateTime));
                attributes = rq.dwAttrib;
            };
        }
        const std::vector<GtTarItem> items = TarItems(st);
        std::string failed;
        r = GtTarBuild(archive, temp, items, st.growExisting, run, failed);
        if (r == GTE_OK && st.cancel) r = GTE_ABORT;
        if (r != GTE_OK) {
            ::unlink(temp.c_str());
            return st.ReportError(r, Msg(kMsgAboutToCompress) + " " + (failed.empty() ? temp : failed));
        }
        for (const GtTarItem& item : items)
            st.LogEvent(WithPath(kMsgAdded, item.memory ? item.storedName : item.sourcePath));
    } else {
        const std::string list = cmd.lpszItemList ? cmd.lpszItemList : "";
        std::vector<std::string> patterns;
        if (!list.empty() && UgtSplitFilespec(list, patterns) != 0) {
            ::unlink(temp.c_str());
            return st.ReportError(GTE_PARMS, Msg(kMsgQuotesMismatched));
        }
        if (list.empty() && cmd.lIndex < 0) {
            ::unlink(temp.c_str());
            return st.ReportError(GTE_INDEX);
        }
        const bool ignoreLong = (st.subOptions & GTSO_IGNORELONGNAMES) != 0;
        const bool mangle = (st.subOptions & GTSO_MANGLELONGNAMES) != 0;
        std::function<bool(const std::string&)> matches = [&](const std::string& name) {
            if (ignoreLong && UgtIsLongName(name)) return false;
            const std::string n = mangle && UgtIsLongName(name) ? UgtShortName(name) : name;
            return UgtSelectByPatterns(patterns, n, st.recurse);
        };
        r = GtTarDelete(archive, temp, list.empty() ? nullptr : &matches, cmd.lIndex, st.growExisting,
                        [&st](const std::string& name) { st.LogEvent(WithPath(kMsgItemDeleted, name)); });
        if (r != GTE_OK || st.growExisting) ::unlink(temp.c_str());
        if (r != GTE_OK) return st.ReportError(r, archive);
    }
    if (st.growExisting) return GTE_OK;
    r = ReplaceOriginalFile(st, archive, temp);
    if (r != GTE_OK) {
        st.Warn(Msg(kMsgNewFileLeftAs), temp);
        return st.ReportError(r, Msg(kMsgReplacingOriginal));
    }
    return GTE_OK;
}

int GtRun(GtControlState& c) {
    GtEngineState& st = c.engine;
    const GTCMDSTRUCT& cmd = *c.cmd;
    const int32_t action = cmd.lFunction;
    if (ParsePatternLists(st, cmd.lpszIncludeList ? cmd.lpszIncludeList : "",
                          cmd.lpszExludeList ? cmd.lpszExludeList : "") != GTE_OK)
        return st.ReportError(GTE_MEM, Msg(kMsgCreatingPatternList));
    st.mode = action == GT_TAR_DELETE ? 3 : ((action == GT_TAR || action == GT_TAR_MEMTOFILE) ? 2 : 1);
    st.statusType = StatusTypeOf(action);
    st.level = std::clamp<int>(cmd.lCompFactor, 1, 9);
    st.keepDirectoryNames = cmd.bNoDirectoryNames == 0;
    st.recurse = cmd.bRecurseFlag != 0;
    st.lfToCrlf = cmd.bLFtoCRLF != 0;
    st.dosify = cmd.bDosify != 0;
    st.includeSysHidden = cmd.bIncludeSysHidden != 0;
    st.messagesShown = cmd.bAllQuiet == 0;
    st.growExisting = cmd.bGrowExistingFlag != 0;
    st.addComment = cmd.bAddComment != 0 && Given(cmd.lpszComment);
    st.comment = st.addComment ? cmd.lpszComment : "";
    const std::string code = cmd.bEncryptFlag && cmd.lpszEncryptCode ? cmd.lpszEncryptCode : "";
    if (CheckEncryptionRequest(st.mode, cmd.bEncryptFlag != 0, code) != GTE_OK)
        return st.ReportError(GTE_PARMS, Msg(kMsgGettingPassword));
    st.encryptCode = cmd.bEncryptFlag ? code : "";

    std::optional<int64_t> d1, d2;
    if (!ParseWindowDate(cmd.lpszDate1 ? cmd.lpszDate1 : "", false, d1) ||
        !ParseWindowDate(cmd.lpszDate2 ? cmd.lpszDate2 : "", true, d2))
        return st.ReportError(GTE_PARMS, Msg(kMsgInvalidDate));
    st.inclDate = cmd.bInclDate != 0;
    st.exclDate = cmd.bExclDate != 0;
    st.date1 = d1.value_or(0);
    st.date2 = d2.value_or(0);
    if (!d1 || !d2) st.inclDate = st.exclDate = false;

    if (st.mode != 3) {
        st.itemNumber = 0;
        st.itemCount = 0;
        if (st.MajorStatus(Msg(kMsgProcessingItemList)) != 0) return st.ReportError(GTE_ABORT);
        const std::vector<std::string> parts = SplitListText(cmd.lpszItemList ? cmd.lpszItemList : "");
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const int r = (i == 0 && st.memSource) ? AddMemoryItem(parts[i], st) : BuildFileList(parts[i], st);
            if (r != GTE_OK) return st.ReportError(r, parts[i]);
            if (st.CancelPoll()) return st.ReportError(GTE_ABORT);
        }
        try {
            SortAndMergeItems(st.items);
        } catch (const std::bad_alloc&) {
            return st.ReportError(GTE_MEM, Msg(kMsgProcessingFileList));
        }
        if (st.inclDate || st.exclDate) ApplyDateWindow(st);
        if (st.CancelPoll()) return st.ReportError(GTE_ABORT);
        if (st.items.empty()) return st.ReportError(GTE_NONE);
        // Every item of a GZIP run with an output name would go into that one file.
        if (st.mode == 1 && !st.gtFile.empty() && st.items.size() > 1)
            return st.ReportError(GTE_PARMS, Msg(kMsgProcessingArguments));
    }
    const int r = st.mode == 1 ? GzipItems(c) : TarRun(c, st.mode);
    st.encryptCode.clear();
    st.items.clear();
    return r != GTE_OK ? r : st.gtErrorCode;
}

// Memory to memory: one member, input and output through the memory-transfer procedure.
int MemToMem(GtControlState& c) {
    GtEngineState& st = c.engine;
    const GTCMDSTRUCT& cmd = *c.cmd;
    st.mode = 1;
    st.statusType = STYP_MEMTOMEM_GZIP;
    st.level = std::clamp<int>(cmd.lCompFactor, 1, 9);
    st.messagesShown = cmd.bAllQuiet == 0;
    const std::string code = cmd.bEncryptFlag && cmd.lpszEncryptCode ? cmd.lpszEncryptCode : "";
    if (CheckEncryptionRequest(1, cmd.bEncryptFlag != 0, code) != GTE_OK)
        return st.ReportError(GTE_PARMS, Msg(kMsgGettingPassword));
    st.encryptCode = cmd.bEncryptFlag ? code : "";
    st.memStream = true;
    GtItem item;
    item.sourcePath = item.storedName = cmd.lpszItemList ? cmd.lpszItemList : "";
    const int r = GzipMemory(item, st);
    st.encryptCode.clear();
    if (r != GTE_OK) return st.ReportError(r);
    st.LogEvent(Msg(kMsgMemoryToMemory));
    return st.gtErrorCode;
}

int Main(GtControlState& c, GTCMDSTRUCT* cmd) {
    GtEngineState& st = c.engine;
    st.gtErrorCode = GTE_OK;
    st.errorReported = false;
    st.cancel = false;
    st.memSource = st.memStream = st.memOutput = st.memInputEnded = false;
    st.memBlock = nullptr;
    st.memBlockSize = st.memReadPos = 0;
    st.memTransfer = nullptr;
    st.memTransferData = nullptr;
    st.totalRead = st.totalWritten = 0;
    st.items.clear();
    st.messageHost = {};
    c.cmd = cmd;
    st.diagnostic = cmd != nullptr && cmd->bDiagnostic != 0;
    if (cmd == nullptr) return st.ReportError(GTE_PARMS);
    if (st.diagnostic) DiagnosticDump(st.context, *cmd);
    if (cmd->ulgtStructSize != kGtCmdStructSize) {
        st.messagesShown = false;  // nothing of such a record can be trusted, its message procedure least
        return st.ReportError(GTE_PARMS);
    }
    st.messageHost = MessageHost{cmd->lpMessageDisplay, cmd->lpMessageDisplayData};
    st.subOptions = cmd->dwGTSubOptions;
    st.SetDefaults();
    st.messagesShown = cmd->bAllQuiet == 0;
    if (!NormalisePath(cmd->lpszGTFile, st.gtFile) || !NormalisePath(cmd->lpszDestination, st.destination, true) ||
        !NormalisePath(cmd->lpszTempPath, st.tempPath, true))
        return st.ReportError(GTE_PARMS, Msg(kMsgProcessingArguments));
    st.majorStatus = cmd->lpMajorStatus;
    st.majorUserData = cmd->lpMajorUserData;
    st.minorStatus = cmd->lpMinorStatus;
    st.minorUserData = cmd->lpMinorUserData;
    st.renameProc = reinterpret_cast<GtRenameProc>(cmd->lpRenameProc);
    st.renameUserData = cmd->lpRenameUserData;
    st.itemNumber = 1;

    const int32_t action = cmd->lFunction;
    if (action < GT_GZIP || action > GT_TAR_MEMTOFILE) return st.ReportError(GTE_PARMS, Msg(kMsgProcessingArguments));
    const bool hasList = Given(cmd->lpszItemList);
    if (action == GT_GZIP && st.destination.empty()) {
        if (st.gtFile.empty() || !hasList || !ValidFileName(cmd->lpszItemList))
            return st.ReportError(GTE_PARMS, Msg(kMsgProcessingArguments));
        if (st.tempPath.empty()) st.tempPath = FolderOf(st.gtFile);
    } else if (action == GT_GZIP) {
        if (!st.gtFile.empty()) return st.ReportError(GTE_PARMS, Msg(kMsgProcessingArguments));
        if (st.tempPath.empty()) st.tempPath = st.destination;
    } else if (action != GT_GZIP_MEMTOMEM) {
        if (st.gtFile.empty() || !st.destination.empty())
            return st.ReportError(GTE_PARMS, Msg(kMsgProcessingArguments));
        if (st.tempPath.empty()) st.tempPath = FolderOf(st.gtFile);
    }

    if (cmd->lMemBlockSize >= 0 && cmd->lpMemBlock != nullptr && hasList) {
        st.memSource = true;
        st.memBlock = cmd->lpMemBlock;
        st.memBlockSize = static_cast<std::size_t>(cmd->lMemBlockSize);
    }
    if (cmd->lpCallbackStruct != nullptr && cmd->lpCallbackStruct->ulStructSize == kCallbackStructSize) {
        st.memTransfer = reinterpret_cast<GtMemTransferProc>(cmd->lpCallbackStruct->lpMemToMemProc);
        st.memTransferData = cmd->lpCallbackStruct->lpMemToMemUserData;
    }
    if (action == GT_GZIP_MEMTOMEM) {
        if (cmd->lpMemBlock != nullptr || !st.gtFile.empty() || st.memTransfer == nullptr)
            return st.ReportError(GTE_PARMS, Msg(kMsgProcessingArguments));
        return MemToMem(c);
    }
    if (action == GT_GZIP_MEMTOFILE_STREAM) {
        if (!hasList || st.memTransfer == nullptr) return st.ReportError(GTE_PARMS, Msg(kMsgProcessingArguments));
        st.memSource = true;
        st.memStream = true;
        st.memBlock = nullptr;
        st.memBlockSize = 0;
    }
    if ((action == GT_GZIP_MEMTOFILE || action == GT_TAR_MEMTOFILE) && !st.memSource)
        return st.ReportError(GTE_PARMS, Msg(kMsgProcessingArguments));
    return GtRun(c);
}

}  // namespace

int32_t GtMain(GTCMDSTRUCT* cmd, const EngineContext& context) {
    // A caller without a control gets a state of its own for this one action.
    std::unique_ptr<GtControlState> own(new (std::nothrow) GtControlState());
    if (!own) return GTE_MEM;
    own->engine.SetDefaults();
    return GtRunState(*own, context, cmd);
}

int32_t GtRunState(GtControlState& state, const EngineContext& context, GTCMDSTRUCT* cmd) {
    GtControlState* c = &state;
    if (c->engine.busy) {
        // Refused without touching the running action: its latch, slots and log stay as they are.
        MessageContext ctx;
        ctx.engine = &context;
        if (cmd != nullptr && cmd->ulgtStructSize == kGtCmdStructSize) {
            ctx.host = MessageHost{cmd->lpMessageDisplay, cmd->lpMessageDisplayData};
            ctx.quiet = cmd->bAllQuiet != 0;
            ctx.diagnostic = cmd->bDiagnostic != 0;
        }
        FirstError once;
        GtReportError(ctx, once, GTE_BUSY, "", !ctx.quiet);
        return GTE_BUSY;
    }
    c->engine.busy = true;
    int32_t r;
    try {
        c->engine.context = context;
        r = Main(*c, cmd);
    } catch (const std::bad_alloc&) {
        r = c->engine.ReportError(GTE_MEM);
    }
    if (r == GTE_OK) r = c->engine.gtErrorCode;
    c->engine.patterns = {};
    c->engine.items.clear();
    c->engine.eventLogFile.Close();
    if (c->engine.srcFd >= 0) ::close(c->engine.srcFd);
    c->engine.srcFd = -1;
    c->engine.outFd = -1;
    c->cmd = nullptr;
    c->engine.busy = false;
    return r;
}

std::size_t GtStateSize() { return sizeof(GtControlState); }

void GtInitState(void* block) {
    if (block == nullptr) return;
    auto* c = new (block) GtControlState();
    c->engine.SetDefaults();
}

void GtReleaseState(void* block) {
    if (block == nullptr) return;
    static_cast<GtControlState*>(block)->~GtControlState();
}

int32_t GtRunBlock(void* block, const EngineContext& context, void* gtCmdStruct) {
    auto* cmd = static_cast<GTCMDSTRUCT*>(gtCmdStruct);
    if (block == nullptr) return GtMain(cmd, context);
    return GtRunState(*static_cast<GtControlState*>(block), context, cmd);
}

}  // namespace gtlib
