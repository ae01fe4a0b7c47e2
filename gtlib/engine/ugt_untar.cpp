// The decompression engine's TAR extraction: member selection, the member index, one member's output, and
// the TAR actions.
#include "gtlib/engine/ugt_parts.h"

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
#include "gtlib/engine/ugt_state.h"

namespace gtlib::ugt {

// ---------------------------------------------------------------------------------------------------------
// TAR
// ---------------------------------------------------------------------------------------------------------

uint64_t Number(const uint8_t* field, std::size_t width) {
    uint64_t v = 0;
    TarParseNumber(field, width, &v);
    return v;
}

std::string Field(const uint8_t* p, std::size_t n) {
    std::size_t len = 0;
    while (len < n && p[len] != 0) ++len;
    return std::string(reinterpret_cast<const char*>(p), len);
}

bool IsFolderMember(const TarHeaderRead& m) {
    return m.header[156] == '5' || (!m.name.empty() && m.name.back() == '\\');
}

std::string SelectedName(const UgtEngineState& s, const std::string& name) {
    return s.mangleLongNames && UgtIsLongName(name) ? UgtShortName(name) : name;
}

void FillTarInfo(UgtEngineState& s, const TarHeaderRead& m, int32_t index, TARINFO& t) {
    const uint32_t size = t.ulStructSize;
    t = TARINFO{};
    t.ulStructSize = size;
    CopyToField(t.szFileName, SelectedName(s, m.name));
    CopyToField(t.szLinkName, m.linkName);
    CopyToField(t.szUName, Field(m.header + 265, 32));
    CopyToField(t.szGName, Field(m.header + 297, 32));
    CopyToField(t.szMagic, Field(m.header + 257, 6));
    CopyToField(t.szVersion, Field(m.header + 263, 2));
    CopyToField(t.szDateTime, UgtDateText(m.mtime));
    std::memcpy(t.szDevMajor, m.header + 329, 8);
    std::memcpy(t.szDevMinor, m.header + 337, 8);
    t.lIndex = index;
    t.lMode = static_cast<int32_t>(Number(m.header + 100, 8));
    t.lUID = static_cast<int32_t>(Number(m.header + 108, 8));
    t.lGID = static_cast<int32_t>(Number(m.header + 116, 8));
    t.dwSizeL = static_cast<uint32_t>(m.dataSize);
    t.dwSizeH = static_cast<uint32_t>(m.dataSize >> 32);
    t.lChecksum = static_cast<int32_t>(Number(m.header + 148, 8));
    t.lTypeFlag = m.header[156];
}

// The path a member would be written to (for freshen and update), or empty when its name cannot be used.
std::string MemberOutputPath(UgtEngineState& s, const std::string& storedName) {
    std::string relative;
    if (!TarSafeRelativePath(storedName, s.noDirNames, &relative) || relative.empty()) return {};
    return s.destination + relative;
}

// Selection of a member for extraction: long names, freshen/update, patterns. Returns the name to use
// (the short form with mangle-long-names), empty when not selected.
std::string SelectMember(UgtEngineState& s, const TarHeaderRead& m) {
    if (s.ignoreLongNames && UgtIsLongName(m.name)) return {};
    const std::string name = SelectedName(s, m.name);
    if (s.freshen || s.update) {
        const std::string path = MemberOutputPath(s, name);
        const FileFacts f = path.empty() ? FileFacts{} : Facts(path);
        if (!f.exists) {
            if (s.freshen) return {};
        } else if (m.mtime <= f.mtime) {
            return {};
        }
    }
    if (!UgtSelectByPatterns(s.patterns, name, s.recurse)) return {};
    return name;
}

// The TAR reader of the run's archive: selection modes 0 every member, 1 every member but ignored long
// names, 2 the members the filespec selects.
TarReader Reader(UgtEngineState& s) {
    TarReader r;
    r.fd = s.fd;
    r.archiveName = s.archive;
    r.index = &s.tarIndex;
    r.ignoreLongNames = s.ignoreLongNames;
    r.isLongName = [](const std::string& name) { return UgtIsLongName(name); };
    r.matches = [&s](const std::string& name) {
        if (s.ignoreLongNames && UgtIsLongName(name)) return false;
        return UgtSelectByPatterns(s.patterns, SelectedName(s, name), s.recurse);
    };
    return r;
}

int32_t ReaderResult(int r) {
    switch (r) {
        case kTarFound: return 0;
        case kTarEnd: return UGTE_EOF;
        case kTarBadHeader: return UGTE_STRUCT;
        case kTarNoMemory: return UGTE_MEM;
        case kTarCancelled: return UGTE_ABORT;
        default: return UGTE_READ;
    }
}

// Builds the member index in a selection mode; with `enumerate`, the TAR-enumeration procedure sees each
// counted member and may stop the count.
int32_t BuildTarIndex(UgtEngineState& s, int mode, bool enumerate, long& count) {
    TarReader r = Reader(s);
    s.tarIndexPatterns = s.patterns;
    const int result = TarBuildIndex(r, mode, &count, [&](long index, const TarHeaderRead& m) {
        if (!enumerate || s.tarEnumProc == nullptr) return false;
        TARINFO info = NewTarInfo();
        FillTarInfo(s, m, static_cast<int32_t>(index), info);
        int32_t answer = TIE_CONTINUE;
        s.tarEnumProc(&info, s.tarEnumData, &answer);
        return answer != TIE_CONTINUE;
    });
    return result == kTarFound ? 0 : ReaderResult(result);
}

// The member with number `index` in a selection mode (the index is built first when it is missing or
// stale): 0, UGTE_EOF when there is no such member, or a reader error.
int32_t TarMemberAt(UgtEngineState& s, int mode, int32_t index, TarHeaderRead& m) {
    const bool current = s.tarIndex.valid && s.tarIndex.mode == mode &&
                         s.tarIndex.ignoreLongNames == s.ignoreLongNames &&
                         TarIndexCurrent(s.tarIndex, s.archive, s.fd) &&
                         (mode != kTarCountMatching || s.tarIndexPatterns == s.patterns);
    if (!current) {
        long count = 0;
        const int32_t r = BuildTarIndex(s, mode, false, count);
        if (r != 0) return r;
    }
    if (index < 0) return UGTE_EOF;
    TarReader r = Reader(s);
    return ReaderResult(TarReadHeader(r, mode, index, &m, true, false));
}

// Extracts (or tests, or reads into memory) one member under the name selected for it.
int32_t ExtractTarMember(UgtEngineState& s, const TarHeaderRead& m, const std::string& name) {
    UntarContext ctx;
    ctx.archiveFd = s.fd;
    ctx.archivePath = s.archive;
    ctx.destination = s.destination;
    while (ctx.destination.size() > 1 && ctx.destination.back() == '/') ctx.destination.pop_back();
    ctx.noDirectoryNames = s.noDirNames;
    ctx.extracted = &s.tarExtracted;
    ctx.overwrite = s.overwriteAll;
    ctx.allQuiet = s.quiet;
    const OutputKind output = s.test ? OutputKind::kTest
                              : s.streamOut ? OutputKind::kStream
                                            : s.memoryMode ? (s.memOut ? OutputKind::kMemory : OutputKind::kTest)
                                                           : OutputKind::kFile;
    SetMemberOutput(s, ctx, output, name, static_cast<int64_t>(m.dataSize));
    if (s.renameProc != nullptr) {
        ctx.rename = [&s](std::string& path, const std::string& stored, std::int64_t& mtime, unsigned& mode) {
            RENAMESTRUCT rq = NewRenameStruct();
            CopyToField(rq.szItemName, path);
            CopyToField(rq.szOrigItemName, stored);
            CopyToField(rq.szDateTime, UgtDateText(mtime));
            rq.dwAttrib = mode;
            rq.dwOptions = 1;
            s.renameProc(&rq, s.renameData);
            std::string back(FieldText(rq.szItemName));
            for (char& c : back)
                if (c == '\\') c = '/';
            if (!back.empty()) path = back;
            mtime = UgtDateTextToUnix(FieldText(rq.szDateTime));
            mode = rq.dwAttrib & 07777;
        };
    }
    // The TAR reader walks the same questions as a GZIP member (DecideOverwrite) with the engine's answers.
    ctx.askOverwrite = [&s](const std::string& path, bool readOnly) {
        return static_cast<int>(AnswerOverwrite(s, path, readOnly));
    };
    ctx.renameDialog = [&s](const std::string& path) { return RenamedPath(s, path); };
    ctx.selfOverwrite = [&s](const std::string&) { ShowMessage(s, UGTE_SKIP, FindMessage(kMsgOntoItself)); };
    ctx.log = [&s](TarEvent event, const std::string& path) {
        switch (event) {
            case TarEvent::kTested: Item(s, 904, path); break;
            case TarEvent::kMemory: Item(s, 705, path); break;
            case TarEvent::kMemoryToMemory: EventLine(s, 707); break;
            case TarEvent::kOverwritten: Item(s, 905, path); break;
            case TarEvent::kExtracted: Item(s, 903, path); break;
            case TarEvent::kSkipped: Item(s, 906, path); break;
        }
    };
    int32_t r = UntarItem(ctx, m, name);
    s.overwriteAll = ctx.overwrite;  // Yes to All holds for the rest of the run
    s.produced = ctx.memProduced;
    const bool memory = ctx.output == OutputKind::kMemory || ctx.output == OutputKind::kStream;
    if (memory && r == 1) r = 0;
    if (ctx.output == OutputKind::kStream && r == UGTE_DISKFULL && ctx.memBlockSize > 0 &&
        ctx.memProduced >= ctx.memBlockSize)
        r = 0;
    if (r == 0 && memory && ctx.startingOffset > 0 && ctx.memProduced == 0 && m.dataSize > 0) r = UGTE_EOF;
    if (r == 0 && s.cancel) r = UGTE_ABORT;
    return r;
}

// Actions 2, 6 and 7.
int32_t Untar(UgtEngineState& s) {
    if (s.cmd.lIndex >= 0) {
        TarHeaderRead m;
        const int32_t r = TarMemberAt(s, kTarCountNamed, s.cmd.lIndex, m);
        if (r != 0) return r == UGTE_EOF ? UGTE_INDEX : r;
        s.membersTotal = 1;
        if (MajorStatus(s, m.name, 100)) return UGTE_ABORT;
        const int32_t x = ExtractTarMember(s, m, SelectedName(s, m.name));
        s.cmd.lReturnCount = x == 0 ? 1 : 0;
        return x;
    }
    const int32_t p = UgtSplitFilespec(s.cmd.lpszFilespec ? s.cmd.lpszFilespec : "", s.patterns);
    if (p != 0) {
        ShowMessage(s, UGTE_PARMS, FindMessage(kMsgQuotesMismatched));
        return p;
    }
    TarReader reader = Reader(s);
    reader.index = nullptr;  // a plain walk from the start
    // First pass: how many members will be extracted, for "Item %d of %d".
    int32_t count = 0;
    ::lseek(s.fd, 0, SEEK_SET);
    for (;;) {
        TarHeaderRead m;
        const int r = TarReadHeader(reader, kTarCountAll, 0, &m, false, false);
        if (r == kTarEnd) break;
        if (r != kTarFound) return ReaderResult(r);
        if (!SelectMember(s, m).empty()) ++count;
    }
    s.membersTotal = count;
    // Second pass: extract each selected member.
    bool skipped = false;
    int32_t extracted = 0;
    int32_t item = 0;
    ::lseek(s.fd, 0, SEEK_SET);
    while (item < count) {
        TarHeaderRead m;
        const int r = TarReadHeader(reader, kTarCountAll, 0, &m, false, false);
        if (r == kTarEnd) break;
        if (r != kTarFound) return ReaderResult(r);
        const std::string name = SelectMember(s, m);
        if (name.empty()) continue;
        ++item;
        char text[64];
        std::snprintf(text, sizeof text, FindMessage(kMsgExtractItemOfCount), item, count);
        if (MajorStatus(s, text, count > 0 ? static_cast<int32_t>(static_cast<int64_t>(item) * 100 / count) : 100))
            return UGTE_ABORT;
        const int32_t x = ExtractTarMember(s, m, name);
        if (x == UGTE_SKIP) {
            skipped = true;
            continue;
        }
        if (x != 0) {
            s.cmd.lReturnCount = extracted;
            return x;
        }
        if (!IsFolderMember(m)) ++extracted;
        if (s.cancel) return UGTE_ABORT;
    }
    s.cmd.lReturnCount = extracted;
    s.membersExtracted = extracted;
    return skipped ? UGTE_SKIP : 0;
}

bool TarInfoGiven(const UgtEngineState& s) {
    return s.cmd.tarInfo != nullptr && s.cmd.tarInfo->ulStructSize == kTarInfoSize;
}

int32_t TakeFilespec(UgtEngineState& s) {
    const int32_t p = UgtSplitFilespec(s.cmd.lpszFilespec ? s.cmd.lpszFilespec : "", s.patterns);
    if (p != 0) ShowMessage(s, UGTE_PARMS, FindMessage(kMsgQuotesMismatched));
    return p;
}

// Actions 11 and 13: count, let the host see each member, leave member 0 in TARINFO with index -1.
int32_t CountMembers(UgtEngineState& s, bool named) {
    if (named) {
        const int32_t p = TakeFilespec(s);
        if (p != 0) return p;
    }
    const int mode = named ? kTarCountMatching : kTarCountNamed;
    long count = 0;
    const int32_t r = BuildTarIndex(s, mode, true, count);
    if (r != 0) return r;
    TARINFO& t = *s.cmd.tarInfo;
    TarHeaderRead m;
    if (count > 0 && TarMemberAt(s, mode, 0, m) == 0) {
        FillTarInfo(s, m, -1, t);
    } else {
        const uint32_t size = t.ulStructSize;
        t = TARINFO{};
        t.ulStructSize = size;
        t.lIndex = -1;
    }
    s.cmd.lReturnCount = static_cast<int32_t>(count);
    return 0;
}

// Actions 12, 14 and 15.
int32_t MemberInfo(UgtEngineState& s, int mode, int32_t index) {
    if (mode == kTarCountMatching) {
        const int32_t p = TakeFilespec(s);
        if (p != 0) return p;
    }
    TarHeaderRead m;
    const int32_t r = TarMemberAt(s, mode, index, m);
    if (r != 0) return r;
    FillTarInfo(s, m, index, *s.cmd.tarInfo);
    return 0;
}

int32_t TarAction(UgtEngineState& s) {
    const int32_t action = s.cmd.lFunction;
    switch (action) {
        case UGT_UNTAR:
        case UGT_UNTAR_FILETOMEM:
        case UGT_UNTAR_FILETOMEM_STREAM: {
            if (!s.test && !s.memoryMode && !s.streamOut) {
                const int32_t d = CheckDestination(s);
                if (d != 0) return d;
            }
            if (action != UGT_UNTAR && !s.memoryMode) return Inconsistent(s);
            const int32_t r = Untar(s);
            if (s.memoryMode || s.streamOut) s.cmd.lMemBlockSize = static_cast<int32_t>(s.produced);
            return r;
        }
        default: break;
    }
    if (!TarInfoGiven(s)) {
        ShowMessage(s, UGTE_PARMS, FindMessage(kMsgTarInfoMissing));
        return UGTE_PARMS;
    }
    switch (action) {
        case UGT_UNTAR_COUNTALLMEMBERS: return CountMembers(s, false);
        case UGT_UNTAR_COUNTNAMEDMEMBERS: return CountMembers(s, true);
        case UGT_UNTAR_GETNEXTINFO: return MemberInfo(s, kTarCountNamed, s.cmd.tarInfo->lIndex + 1);
        case UGT_UNTAR_GETNEXTNAMEDINFO: return MemberInfo(s, kTarCountMatching, s.cmd.tarInfo->lIndex + 1);
        default: return MemberInfo(s, kTarCountNamed, s.cmd.lIndex);  // 15
    }
}

}  // namespace gtlib::ugt
