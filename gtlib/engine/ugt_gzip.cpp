// The decompression engine's GZIP reader: member headers, the members of a file or of the host's stream,
// and the GZIP actions.
#include "gtlib/engine/ugt_parts.h"
#include "platform/core/files.h"

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
// GZIP
// ---------------------------------------------------------------------------------------------------------

// Reads the member header of the run (file or stream input) and the facts around it.
int32_t ReadGzipHeader(UgtEngineState& s) {
    s.itemName.clear();
    if (s.streamIn) {
        auto read = [&s](uint8_t* dst, std::size_t n) -> std::size_t {
            int32_t size = static_cast<int32_t>(n);
            int32_t answer = MEM_CONTINUE;
            s.memProc(MEM_READ_DATA, dst, &size, static_cast<uint32_t>(s.totalRead),
                      static_cast<uint32_t>(s.totalRead >> 32), static_cast<uint32_t>(s.totalWritten),
                      static_cast<uint32_t>(s.totalWritten >> 32), s.memData, &answer);
            if (size < 0) size = 0;
            if (static_cast<std::size_t>(size) > n) size = static_cast<int32_t>(n);
            s.totalRead += static_cast<uint64_t>(size);
            // Bytes still missing and an answer other than MEM_CONTINUE: the header is incomplete.
            if (answer != MEM_CONTINUE && static_cast<std::size_t>(size) < n) return 0;
            return static_cast<std::size_t>(size);
        };
        const int32_t r = UgtReadGzipHeader(read, s.gz);
        if (r != 0) return r;
        s.gzAttributes = ATTR_ARCHIVE;
        s.gzCompressed = -1;
        s.gzCrc = 0xFFFFFFFFu;
        s.gzSize = 0xFFFFFFFFu;
        s.itemName = s.gz.name;
        return 0;
    }

    struct stat st;
    if (::fstat(s.fd, &st) != 0 || st.st_size <= 0) {
        ShowMessage(s, UGTE_OPEN, std::string(FindMessage(kMsgCannotOpen)) + s.archive);
        return UGTE_STRUCT;
    }
    const int64_t fileSize = static_cast<int64_t>(st.st_size);
    int64_t pos = 0;
    auto read = [&s, &pos](uint8_t* dst, std::size_t n) -> std::size_t {
        for (;;) {
            const ssize_t k = ::pread(s.fd, dst, n, static_cast<off_t>(pos));
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) return 0;
            pos += k;
            return static_cast<std::size_t>(k);
        }
    };
    const int32_t r = UgtReadGzipHeader(read, s.gz);
    if (r != 0) return r;
    // A file too short for its header and trailer is not a GZIP member.
    if (fileSize < s.gz.dataStart + 8) return UGTE_STRUCT;
    s.gzAttributes = ((st.st_mode & S_IWUSR) == 0 ? ATTR_READONLY : 0u) | ATTR_ARCHIVE;
    s.gzCompressed = fileSize - s.gz.dataStart - 8;
    uint8_t trailer[8];
    if (::pread(s.fd, trailer, 8, static_cast<off_t>(fileSize - 8)) != 8) return UGTE_STRUCT;
    s.gzCrc = static_cast<uint32_t>(trailer[0]) | (static_cast<uint32_t>(trailer[1]) << 8) |
              (static_cast<uint32_t>(trailer[2]) << 16) | (static_cast<uint32_t>(trailer[3]) << 24);
    s.gzSize = static_cast<uint32_t>(trailer[4]) | (static_cast<uint32_t>(trailer[5]) << 8) |
               (static_cast<uint32_t>(trailer[6]) << 16) | (static_cast<uint32_t>(trailer[7]) << 24);
    // A stored name that names nothing (empty, or only "." parts and separators) counts as none, as gzip
    // takes it.
    std::string relative;
    const bool names_nothing = TarSafeRelativePath(s.gz.name, false, &relative) && relative.empty();
    if (s.gz.hasName && !names_nothing) {
        s.itemName = s.gz.name;
    } else {
        // No stored name: the archive's own name without its last extension.
        std::string base = BaseName(s.archive);
        const std::size_t dot = base.find_last_of('.');
        if (dot != std::string::npos && dot > 0) base.erase(dot);
        s.itemName = base;
    }
    return 0;
}

uint32_t HeaderTime(const UgtGzipHeader& h) {
    return static_cast<uint32_t>(h.fixed[4]) | (static_cast<uint32_t>(h.fixed[5]) << 8) |
           (static_cast<uint32_t>(h.fixed[6]) << 16) | (static_cast<uint32_t>(h.fixed[7]) << 24);
}

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

bool PreadExact(int fd, uint8_t* dst, std::size_t n, int64_t pos) {
    return morven::PreadFull(fd, dst, n, static_cast<std::uint64_t>(pos)) == static_cast<ssize_t>(n);
}

// What the bytes from `pos` to the end of the file are once a member and its trailer have been read:
// nothing, zero padding (as tape and block writers leave), a further member, or something else.
enum class AfterMember { kEnd, kMember, kGarbage };

AfterMember WhatFollows(int fd, int64_t pos, int64_t fileSize) {
    if (pos >= fileSize) return AfterMember::kEnd;
    uint8_t magic[2] = {0, 0};
    if (fileSize - pos >= 2 && PreadExact(fd, magic, 2, pos) && magic[0] == 0x1F && magic[1] == 0x8B)
        return AfterMember::kMember;
    std::vector<uint8_t> buf(65536);
    while (pos < fileSize) {
        const std::size_t n = static_cast<std::size_t>(std::min<int64_t>(fileSize - pos, 65536));
        if (!PreadExact(fd, buf.data(), n, pos)) return AfterMember::kGarbage;
        for (std::size_t i = 0; i < n; ++i)
            if (buf[i] != 0) return AfterMember::kGarbage;
        pos += static_cast<int64_t>(n);
    }
    return AfterMember::kEnd;
}

// The largest size not above `produced` that a trailer's ISIZE (the size modulo 2^32) can stand for.
uint64_t SizeFromIsize(uint32_t isize, uint64_t produced) {
    if (produced < isize) return isize;
    return produced - ((produced - isize) & 0xFFFFFFFFull);
}

// The offset in a converted output file (read from `start`) at which the data byte number `dataBytes`
// begins.
off_t ReadToDataByte(int fd, off_t start, uint64_t dataBytes) {
    std::vector<uint8_t> buf(65536);
    off_t at = start;
    uint64_t data = 0;
    for (;;) {
        ssize_t n = ::pread(fd, buf.data(), buf.size(), at);
        if (n <= 0) return at;
        if (n > 1 && buf[static_cast<std::size_t>(n) - 1] == '\r') --n;  // its LF may open the next piece
        for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
            if (data == dataBytes) return at + static_cast<off_t>(i);
            // A CR just before an LF was put there by the conversion; the LF is the data byte.
            const bool inserted = buf[i] == '\r' && i + 1 < static_cast<std::size_t>(n) && buf[i + 1] == '\n';
            if (!inserted) ++data;
        }
        at += n;
    }
}

// Where in an output file written from `start` on the data byte number `dataBytes` ends: the same offset,
// or with LF to CR LF conversion one more for every LF before it (each written as CR LF).
off_t OutputOffsetOf(const std::string& file, off_t start, uint64_t dataBytes, bool lfToCrlf) {
    if (!lfToCrlf) return start + static_cast<off_t>(dataBytes);
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return start;
    const off_t end = ReadToDataByte(fd, start, dataBytes);
    ::close(fd);
    return end;
}


// Starts the key stream of an encrypted member and has the job decrypt with it (a plain member: no
// decryption). False for a missing or wrong code.
bool StartDecryption(const UgtEngineState& s, const UgtGzipHeader& h, CryptKeys& keys, InflateJob& job) {
    job.decrypt = nullptr;
    if (!h.encrypted) return true;
    uint8_t header[kCryptHeaderSize];
    std::memcpy(header, h.cryptHeader, kCryptHeaderSize);
    if (s.decryptCode.empty() || !CheckEncryptionHeader(s.decryptCode, keys, header)) return false;
    job.decrypt = [&keys](std::uint8_t* data, std::size_t len) { keys.Decrypt(data, len); };
    return true;
}

// Extracts the members of a GZIP file into the job's output, as RFC 1952 reads a file: each member's deflate
// data end where its final block ends, its trailer is the 8 bytes after them (CRC-32 and the size modulo
// 2^32, both checked), and a further member that follows is expanded and appended to the same output. Zero
// padding after the last member is ignored; anything else there sets `trailing` (the members before it
// are complete and stay). The output is stopped when the caller's block or stream is complete.
int32_t ExtractGzipMembers(UgtEngineState& s, InflateJob& job, CryptKeys& keys, bool& trailing) {
    struct stat st;
    if (::fstat(s.fd, &st) != 0) return UGTE_READ;
    const int64_t fileSize = static_cast<int64_t>(st.st_size);
    UgtGzipHeader h = s.gz;
    int64_t headerAt = 0;
    for (bool first = true;; first = false) {
        if (!first && !StartDecryption(s, h, keys, job)) return UGTE_BADKEY;
        const int64_t dataStart = headerAt + h.dataStart;
        job.method = h.fixed[2];
        job.followStream = job.method == 8;
        // Only deflate data carry their own end; stored data run to the trailer at the end of the file.
        const int64_t left = job.followStream ? fileSize - dataStart : fileSize - dataStart - 8;
        if (left < 0) return UGTE_EOF;
        job.compressedLeft = static_cast<std::uint64_t>(left);
        job.continueOutput = !first;
        job.inPos = job.inFill = 0;
        if (::lseek(s.fd, static_cast<off_t>(dataStart), SEEK_SET) < 0) return UGTE_READ;
        const off_t outStart = job.outputFd >= 0 ? ::lseek(job.outputFd, 0, SEEK_CUR) : 0;
        const int32_t r = RunJob(s, job);
        if (r != 0) return r;
        if (job.outputState >= kOutputFailed) return 0;  // the block or the stream has what it wanted

        const int64_t trailerAt = job.followStream ? dataStart + static_cast<int64_t>(job.consumed) : fileSize - 8;
        uint8_t trailer[8];
        if (!PreadExact(s.fd, trailer, 8, trailerAt)) return UGTE_EOF;
        const uint32_t crc = Le32(trailer);
        const uint32_t isize = Le32(trailer + 4);
        if (crc != job.crc || isize != static_cast<uint32_t>(job.totalWritten)) {
            // With leave-partial the output is kept, but never more than 1000 bytes past the size the
            // trailer claims.
            const uint64_t limit = SizeFromIsize(isize, job.totalWritten) + 1000;
            if (job.outputFd >= 0 && job.totalWritten > limit && outStart >= 0 &&
                ::ftruncate(job.outputFd, OutputOffsetOf(job.tempPath, outStart, limit, job.lfToCrlf)) != 0)
                return UGTE_WRITE;
            return UGTE_BADCRC;
        }
        headerAt = trailerAt + 8;
        switch (WhatFollows(s.fd, headerAt, fileSize)) {
            case AfterMember::kEnd: return 0;
            case AfterMember::kGarbage: trailing = true; return 0;
            case AfterMember::kMember: break;
        }
        int64_t pos = headerAt;
        auto read = [&s, &pos](uint8_t* dst, std::size_t n) -> std::size_t {
            const ssize_t k = ::pread(s.fd, dst, n, static_cast<off_t>(pos));
            if (k <= 0) return 0;
            pos += k;
            return static_cast<std::size_t>(k);
        };
        if (UgtReadGzipHeader(read, h) != 0) {
            trailing = true;  // a header cut short after a complete member
            return 0;
        }
        if (h.fixed[2] != 8) return UGTE_UNKNOWN;
    }
}

// The host's stream after a member's deflate data: the bytes the decoder read ahead, those still in the
// input block, then more asked of the host until its stream ends.
class StreamRest {
public:
    explicit StreamRest(InflateJob& job) : job_(job) {
        pending_ = std::move(job.unused);
        if (job.inPos < job.inFill)
            pending_.insert(pending_.end(), job.inBlock.begin() + static_cast<std::ptrdiff_t>(job.inPos),
                            job.inBlock.begin() + static_cast<std::ptrdiff_t>(job.inFill));
        job.inPos = job.inFill = 0;
    }

    std::size_t Read(uint8_t* dst, std::size_t n) {
        std::size_t got = 0;
        while (got < n) {
            if (pos_ < pending_.size()) {
                const std::size_t k = std::min(n - got, pending_.size() - pos_);
                std::memcpy(dst + got, pending_.data() + pos_, k);
                pos_ += k;
                got += k;
                continue;
            }
            if (job_.inputEnded || !job_.memTransfer) break;
            std::uint32_t size = static_cast<std::uint32_t>(std::min<std::size_t>(n - got, kInputBlock));
            const int answer = job_.memTransfer(MEM_READ_DATA, dst + got, &size, job_.readTotal, job_.totalWritten);
            size = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(n - got));
            got += size;
            job_.readTotal += size;
            if (answer == MEM_CANCEL) job_.cancel = true;
            if (answer == MEM_ERROR) job_.readError = true;
            if (answer != MEM_CONTINUE || size == 0) job_.inputEnded = true;
        }
        return got;
    }

    // What is left unread goes back into the job's input block, where the next member's data begin.
    void GiveBack() {
        const std::size_t left = pending_.size() - pos_;
        job_.inBlock.assign(pending_.begin() + static_cast<std::ptrdiff_t>(pos_), pending_.end());
        if (job_.inBlock.size() < kInputBlock) job_.inBlock.resize(kInputBlock);
        job_.inPos = 0;
        job_.inFill = left;
    }

private:
    InflateJob& job_;
    std::vector<uint8_t> pending_;
    std::size_t pos_ = 0;
};

// The members of the host's stream (memory to memory), read as a file is: each member's trailer after its
// deflate data is checked, further members are appended, zero padding at the end is ignored and anything
// else there sets `trailing`. An encrypted member ends the reading: its trailer cannot be told from the
// data once the key stream has run over it.
int32_t ExtractGzipStream(UgtEngineState& s, InflateJob& job, CryptKeys& keys, bool& trailing) {
    UgtGzipHeader h = s.gz;
    int64_t delivered = 0;
    for (bool first = true;; first = false) {
        job.followStream = !h.encrypted;
        job.continueOutput = !first;
        job.compressedLeft = UINT64_MAX;
        const int32_t r = RunJob(s, job);
        delivered += s.produced;
        s.produced = delivered;
        if (r != 0) return r;
        if (job.outputState >= kOutputFailed || !job.followStream) return 0;

        StreamRest rest(job);
        uint8_t trailer[8];
        if (rest.Read(trailer, 8) != 8) return job.cancel ? UGTE_ABORT : job.readError ? UGTE_ABORT : UGTE_EOF;
        if (Le32(trailer) != job.crc || Le32(trailer + 4) != static_cast<uint32_t>(job.totalWritten))
            return UGTE_BADCRC;
        uint8_t magic[2] = {0, 0};
        const std::size_t got = rest.Read(magic, 2);
        if (got == 0) return job.cancel || job.readError ? UGTE_ABORT : 0;
        if (got < 2 || magic[0] != 0x1F || magic[1] != 0x8B) {
            // Zero padding to the end, or something that is not a member.
            bool zeros = std::all_of(magic, magic + got, [](uint8_t b) { return b == 0; });
            uint8_t buf[4096];
            for (std::size_t n; zeros && (n = rest.Read(buf, sizeof buf)) > 0;)
                zeros = std::all_of(buf, buf + n, [](uint8_t b) { return b == 0; });
            if (job.cancel || job.readError) return UGTE_ABORT;
            trailing = !zeros;
            return 0;
        }
        std::size_t served = 0;
        auto read = [&](uint8_t* dst, std::size_t n) -> std::size_t {
            if (served < 2) {
                dst[0] = magic[served++];
                return 1;
            }
            return rest.Read(dst, n);
        };
        if (UgtReadGzipHeader(read, h) != 0) {
            trailing = true;  // a header cut short after a complete member
            return job.cancel || job.readError ? UGTE_ABORT : 0;
        }
        if (h.fixed[2] != 8) return UGTE_UNKNOWN;
        rest.GiveBack();
        if (!StartDecryption(s, h, keys, job)) return UGTE_BADKEY;
        if (job.decrypt && job.inFill > 0) job.decrypt(job.inBlock.data(), job.inFill);
    }
}

// The first member's trailer, found by following its deflate data (for the member's description). False
// when the member cannot be read through; the values from the end of the file then stand.
bool FollowFirstMember(UgtEngineState& s) {
    if (s.streamIn || s.gz.fixed[2] != 8) return false;
    InflateJob job;
    CryptKeys keys;
    if (!StartDecryption(s, s.gz, keys, job)) return false;
    struct stat st;
    if (::fstat(s.fd, &st) != 0 || ::lseek(s.fd, static_cast<off_t>(s.gz.dataStart), SEEK_SET) < 0) return false;
    job.output = OutputKind::kTest;
    job.method = 8;
    job.followStream = true;
    job.expectedSize = UINT64_MAX;
    job.compressedLeft = static_cast<std::uint64_t>(std::max<int64_t>(st.st_size - s.gz.dataStart, 0));
    job.inputFd = s.fd;
    if (InflateItem(job) != 0 || job.readError) return false;
    uint8_t trailer[8];
    if (!PreadExact(s.fd, trailer, 8, s.gz.dataStart + static_cast<int64_t>(job.consumed))) return false;
    s.gzCrc = Le32(trailer);
    s.gzSize = Le32(trailer + 4);
    s.gzCompressed = static_cast<int64_t>(job.consumed);
    return true;
}

// Extracts, tests or reads into memory the GZIP file of the run (or the member of the host's stream).
int32_t ExtractGzipMember(UgtEngineState& s) {
    std::string relative;
    const bool toFile = !s.test && !s.memoryMode && !s.streamIn && !s.streamOut;
    // The same name rule as for TAR members: "/" and "\" both separate folders, and a name that climbs
    // out of the destination with ".." is skipped.
    if (!TarSafeRelativePath(s.itemName, s.noDirNames, &relative)) {
        Item(s, 906, s.itemName);
        return UGTE_SKIP;
    }
    std::string path = s.destination + relative;
    const uint32_t mtime = HeaderTime(s.gz);
    // A member without a time stamp (MTIME 0, as gzip writes for a pipe) leaves the file the time of its
    // extraction instead of 1 January 1970.
    int64_t outTime = mtime != 0 ? static_cast<int64_t>(mtime) : static_cast<int64_t>(std::time(nullptr));
    bool readOnly = (s.gzAttributes & ATTR_READONLY) != 0;

    if (toFile) {
        if (relative.empty() || s.itemName.back() == '/' || s.itemName.back() == '\\') return UGTE_CREATE;
        if (s.renameProc != nullptr) {
            RENAMESTRUCT rq = NewRenameStruct();
            CopyToField(rq.szItemName, path);
            CopyToField(rq.szOrigItemName, s.itemName);
            CopyToField(rq.szDateTime, UgtDateText(mtime));
            rq.dwAttrib = s.gzAttributes;
            rq.dwOptions = 2;
            s.renameProc(&rq, s.renameData);
            std::string back(FieldText(rq.szItemName));
            for (char& c : back)
                if (c == '\\') c = '/';
            if (!back.empty()) path = back;
            outTime = UgtDateTextToUnix(FieldText(rq.szDateTime));
            readOnly = (rq.dwAttrib & ATTR_READONLY) != 0;
        }
        if (!MakeOutputFolders(s.destination, ParentFolder(path))) return UGTE_CREATE;
        if (SameFile(path, s.archive)) {
            ShowMessage(s, UGTE_SKIP, FindMessage(kMsgOntoItself));
            return UGTE_SKIP;
        }
    }

    OverwriteOutcome decided;
    if (toFile) {
        decided = DecideOverwrite(Overwrite(s, s.overwriteAll), path);
        if (decided.decision == OverwriteDecision::kSkip) return UGTE_SKIP;
        if (decided.decision == OverwriteDecision::kCancel) return UGTE_ABORT;
        if (!MakeOutputFolders(s.destination, ParentFolder(path))) return UGTE_CREATE;
    }

    InflateJob job;
    CryptKeys keys;
    if (!StartDecryption(s, s.gz, keys, job)) return UGTE_BADKEY;

    OutputKind kind = OutputKind::kFile;
    if (s.test) kind = OutputKind::kTest;
    else if (s.streamIn) kind = OutputKind::kMemToMem;
    else if (s.streamOut) kind = OutputKind::kStream;
    else if (s.memoryMode) kind = s.memOut ? OutputKind::kMemory : OutputKind::kTest;
    job.method = s.gz.fixed[2];
    job.compressedLeft = s.streamIn ? UINT64_MAX : static_cast<std::uint64_t>(s.gzCompressed);
    job.expectedSize = s.gzSize;  // for the progress reports only
    job.storedCrc = s.gzCrc;
    job.mtime = outTime;
    job.attributes = readOnly ? ATTR_READONLY : 0u;
    job.inputFd = s.fd;
    PrepareJob(s, job, kind, s.itemName);
    // Overwrite-all (the overwrite flag, or Yes to All) replaces a read-only file as well, as for TAR
    // members; otherwise only the read-only sub-option does.
    if (decided.readOnlyAgreed) job.overwriteReadOnly = true;
    if (toFile) {
        const int r = PrepareOutputFile(job, path);
        if (r != 0) return r;
    }
    int32_t r;
    bool trailing = false;
    if (s.streamIn) {
        r = ExtractGzipStream(s, job, keys, trailing);
    } else {
        // The real size is known only from each member's trailer; nothing is cut or stopped on the way.
        job.expectedSize = UINT64_MAX;
        job.keepOpen = toFile;
        r = ExtractGzipMembers(s, job, keys, trailing);
        if (toFile) {
            if (r == 0) r = CloseOutputSetTime(job);
            else DiscardOutputFile(job, s.leavePartial);
        }
    }
    r = NothingAfterOffset(job, r);
    if (r != 0) return r;
    if (s.test) Item(s, 904, path);
    else if (s.streamIn) EventLine(s, 707);
    else if (s.memoryMode) Item(s, 705, path);
    else Item(s, decided.replaced ? 905 : 903, path);
    // Data after the last member that are neither a member nor zero padding: what the members held is
    // complete and stays where it was put, and the run reports the file's structure as broken.
    return trailing ? UGTE_STRUCT : 0;
}

int32_t GzipAction(UgtEngineState& s) {
    const int32_t action = s.cmd.lFunction;
    if (action == UGT_GUNZIP && !s.test) {
        const int32_t d = CheckDestination(s);
        if (d != 0) return d;
    }
    if ((action == UGT_GUNZIP_FILETOMEM || action == UGT_GUNZIP_FILETOMEM_STREAM) && !s.memoryMode)
        return Inconsistent(s);
    if (action == UGT_GETGZIPINFO &&
        (s.cmd.gzipInfo == nullptr || s.cmd.gzipInfo->ulStructSize != kGzipInfoSize)) {
        ShowMessage(s, UGTE_PARMS, FindMessage(kMsgGzipInfoMissing));
        return UGTE_PARMS;
    }
    int32_t r = ReadGzipHeader(s);
    if (r != 0) return r;
    switch (action) {
        case UGT_GETGZIPCOMMENT_SIZE:
            s.cmd.lReturnCount = s.gz.hasComment ? s.gz.commentSize : 0;
            return 0;
        case UGT_GETGZIPCOMMENT: {
            char* buf = s.cmd.lpszReturnString;
            const int32_t room = s.cmd.lReturnCount;
            if (s.gz.hasComment && buf != nullptr && room > 0) {
                const int32_t n = std::min<int32_t>(room, s.gz.commentSize);
                std::memset(buf, 0, static_cast<std::size_t>(n));
                std::memcpy(buf, s.gz.comment.data(), std::min<std::size_t>(s.gz.comment.size(), static_cast<std::size_t>(n - 1)));
                s.cmd.lReturnCount = n;
            } else {
                if (buf != nullptr && room > 0) std::memset(buf, 0, static_cast<std::size_t>(room));
                s.cmd.lReturnCount = 0;
            }
            return 0;
        }
        case UGT_GETGZIPINFO: {
            FollowFirstMember(s);
            GZIPINFO& g = *s.cmd.gzipInfo;
            g = GZIPINFO{};
            g.ulStructSize = kGzipInfoSize;
            CopyToField(g.szFileName, s.itemName);
            CopyToField(g.szDateTime, UgtDateText(HeaderTime(s.gz)));
            g.dwAttr = s.gzAttributes | (s.gz.encrypted ? ATTR_ENCRYPT : 0u) |
                       (UgtIsLongName(s.itemName) ? ATTR_LFNAME : 0u);
            g.dwCRC32 = s.gzCrc;
            g.dwCSizeL = static_cast<uint32_t>(s.gzCompressed);
            g.dwCSizeH = static_cast<uint32_t>(static_cast<uint64_t>(s.gzCompressed) >> 32);
            g.dwOSizeL = s.gzSize;
            g.dwOSizeH = 0;
            g.lIndex = 0;
            g.wMethod = s.gz.fixed[2];
            g.wExtraFlags = s.gz.fixed[8];
            g.wOSType = s.gz.fixed[9];
            return 0;
        }
        default: break;
    }
    r = ExtractGzipMember(s);
    if (s.memoryMode || s.streamOut || s.streamIn) s.cmd.lMemBlockSize = static_cast<int32_t>(s.produced);
    if (r != 0 && r != UGTE_ABORT && r != UGTE_SKIP) ShowMessage(s, r, FindMessage(kMsgExtractProblem));
    return r;
}

}  // namespace gtlib::ugt
