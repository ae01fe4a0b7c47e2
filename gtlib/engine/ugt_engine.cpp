// The decompression engine: entry checks, the actions, GZIP and TAR reading, the extraction policy and
// the output of one member.
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
#include "gtlib/engine/ugt_state.h"

namespace gtlib {

namespace {

constexpr std::size_t kInputBlock = 10240;
constexpr std::size_t kPathLimit = PATH_MAX - 1;  // longer paths are refused, never cut

// ---------------------------------------------------------------------------------------------------------
// Small text helpers
// ---------------------------------------------------------------------------------------------------------

char Up(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Up(a[i]) != Up(b[i])) return false;
    return true;
}

// One plain file name: no control character and none of * < > ? |.
bool IsPlainName(std::string_view s) {
    for (unsigned char c : s)
        if (c < 32 || c == '*' || c == '<' || c == '>' || c == '?' || c == '|') return false;
    return true;
}

// Archive path and destination: double quotes dropped, "\" read as the folder separator. False when the
// result is longer than a path may be.
bool NormalisePath(const char* in, std::string& out) {
    out.clear();
    if (in == nullptr) return true;
    for (const char* p = in; *p; ++p) {
        if (*p == '"') continue;
        out.push_back(*p == '\\' ? '/' : *p);
        if (out.size() > kPathLimit) return false;
    }
    return true;
}

std::string BaseName(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ParentFolder(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

// ---------------------------------------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------------------------------------

struct FileFacts {
    bool exists = false;
    bool folder = false;
    bool readOnly = false;
    int64_t mtime = 0;
    dev_t dev = 0;
    ino_t ino = 0;
};

FileFacts Facts(const std::string& path) {
    FileFacts f;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return f;
    f.exists = true;
    f.folder = S_ISDIR(st.st_mode);
    f.readOnly = (st.st_mode & S_IWUSR) == 0;
    f.mtime = static_cast<int64_t>(st.st_mtime);
    f.dev = st.st_dev;
    f.ino = st.st_ino;
    return f;
}

// Creates every missing folder of `folder`.
bool MakeFolders(const std::string& folder) {
    if (folder.empty()) return true;
    for (std::size_t i = 1; i <= folder.size(); ++i) {
        if (i != folder.size() && folder[i] != '/') continue;
        const std::string part = folder.substr(0, i);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
        struct stat st;
        if (::stat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    }
    return true;
}

// Creates the folders of an output path. Below the destination folder every part must be a real folder,
// never a link (a link there, left by an earlier member or planted beside the archive, would carry the file
// out of the destination); the destination itself, and a path the rename procedure chose elsewhere, are
// the host's and are made as they are.
bool MakeOutputFolders(const std::string& destination, const std::string& folder) {
    if (destination.empty() || folder.size() < destination.size() ||
        folder.compare(0, destination.size(), destination) != 0)
        return MakeFolders(folder);
    if (!MakeFolders(ParentFolder(destination))) return false;
    for (std::size_t i = destination.size(); i <= folder.size(); ++i) {
        if (i != folder.size() && folder[i] != '/') continue;
        const std::string part = folder.substr(0, i);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
        struct stat st;
        if (::lstat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    }
    return true;
}

void ClearReadOnly(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

// ---------------------------------------------------------------------------------------------------------
// Status
// ---------------------------------------------------------------------------------------------------------

// Major status: a non-zero answer asks to stop.
bool MajorStatus(UgtEngineState& s, const std::string& text, int32_t percent) {
    if (s.majorStatus == nullptr) return false;
    return s.majorStatus(text.c_str(), percent, s.statusType, s.majorData) != 0;
}

// Minor status of the output: percent of the expected size plus one, at most 100; 100 when nothing is
// expected. A non-zero answer stops the run only with the minor-cancel sub-option.
void MinorStatus(UgtEngineState& s, const std::string& text, int64_t done, int64_t expected) {
    if (s.minorStatus == nullptr) return;
    int64_t percent = 100;
    if (expected > 0) percent = (expected <= 100000 ? done * 100 / expected : done / (expected / 100)) + 1;
    if (percent > 100) percent = 100;
    if (percent < 0) percent = 0;
    const int32_t answer = s.minorStatus(text.c_str(), static_cast<int32_t>(percent), s.statusType, s.minorData);
    if (answer != 0 && s.minorCancel) s.cancel = true;
}

// ---------------------------------------------------------------------------------------------------------
// Decoding one member through the shared member decoder
// ---------------------------------------------------------------------------------------------------------

// The host's memory-transfer procedure in the form the member decoder calls it.
MemTransferFn HostTransfer(UgtEngineState& s) {
    if (s.memProc == nullptr) return {};
    return [&s](int direction, std::uint8_t* buf, std::uint32_t* size, std::uint64_t readTotal,
                std::uint64_t writtenTotal) {
        int32_t count = static_cast<int32_t>(std::min<std::uint32_t>(*size, 0x7FFFFFFF));
        int32_t answer = MEM_CONTINUE;
        s.memProc(direction, buf, &count, static_cast<uint32_t>(readTotal), static_cast<uint32_t>(readTotal >> 32),
                  static_cast<uint32_t>(writtenTotal), static_cast<uint32_t>(writtenTotal >> 32), s.memData, &answer);
        *size = count < 0 ? 0u : std::min<std::uint32_t>(static_cast<std::uint32_t>(count), *size);
        if (direction == MEM_READ_DATA) s.totalRead += *size;
        else s.totalWritten += *size;
        return static_cast<int>(answer);
    };
}

// Fills in what every member's job shares: output kind and block, options, progress.
void PrepareJob(UgtEngineState& s, InflateJob& job, OutputKind kind, const std::string& item) {
    job.output = kind;
    job.lfToCrlf = s.lfToCrlf;
    job.leavePartial = s.leavePartial;
    job.overwriteReadOnly = s.overwriteReadOnly;
    job.memBlock = s.memBlock;
    job.memBlockSize = static_cast<std::uint32_t>(std::max<int64_t>(s.memSize, 0));
    job.startingOffset = static_cast<std::uint32_t>(std::max<int64_t>(s.startOffset, 0));
    job.memTransfer = HostTransfer(s);
    job.readTotal = s.totalRead;
    const int64_t expected = (kind == OutputKind::kMemory) ? s.memSize : static_cast<int64_t>(job.expectedSize);
    job.progress = [&s, item, expected](std::uint64_t written) {
        MinorStatus(s, item, static_cast<int64_t>(written), expected);
        return !s.cancel;
    };
}

// Runs the member decoder and turns its results into the engine's: in the memory modes a stop because
// the block is full or the wanted bytes are complete is success, and so is a stream whose limit was
// reached.
int32_t RunJob(UgtEngineState& s, InflateJob& job) {
    int32_t r = InflateItem(job);
    const bool memory = job.output == OutputKind::kMemory || job.output == OutputKind::kMemToMem;
    if (memory && r == 1) r = 0;
    if (job.output == OutputKind::kStream && r == UGTE_DISKFULL && job.memBlockSize > 0 &&
        job.memProduced >= job.memBlockSize)
        r = 0;
    if (r == 0 && job.readError) r = s.streamIn ? UGTE_ABORT : UGTE_READ;
    if (job.cancel && r == 0) r = UGTE_ABORT;
    s.produced = job.output == OutputKind::kMemToMem ? static_cast<int64_t>(job.totalWritten)
                                                      : static_cast<int64_t>(job.memProduced);
    return r;
}

// At the end of the whole output: nothing at or after the starting offset is the end of the data.
int32_t NothingAfterOffset(const InflateJob& job, int32_t r) {
    if (r == 0 && (job.output == OutputKind::kMemory || job.output == OutputKind::kStream) && job.startingOffset > 0 &&
        job.memProduced == 0)
        return UGTE_EOF;
    return r;
}

// ---------------------------------------------------------------------------------------------------------
// Messages and the end of a run
// ---------------------------------------------------------------------------------------------------------

void ShowMessage(UgtEngineState& s, int32_t code, std::string_view detail) {
    UgtShowMessage(s.Messages(), code, detail);
}

void Item(UgtEngineState& s, uint32_t id, const std::string& path) {
    if (s.eventLogging) s.eventLog.Item(s.context, id, path);
}

void EventLine(UgtEngineState& s, uint32_t id) {
    if (s.eventLogging) s.eventLog.Line(s.context, FindMessage(id));
}

// ---------------------------------------------------------------------------------------------------------
// Overwrite policy shared by GZIP and TAR members
// ---------------------------------------------------------------------------------------------------------

enum class Decision { Write, Skip, Cancel };

// Decides what happens to an existing output file; may change the path (rename answer) and tells whether
// an existing file is replaced. The file's read-only state is cleared when the user said Yes.
Decision DecideOverwrite(UgtEngineState& s, std::string& path, bool& replaced) {
    replaced = false;
    for (int round = 0; round < 8; ++round) {
        const FileFacts f = Facts(path);
        if (!f.exists || f.folder) return Decision::Write;
        replaced = true;
        if (s.overwriteAll) return Decision::Write;
        if (s.quiet) {
            Item(s, 906, path);
            return Decision::Skip;
        }
        const int32_t answer = AskOverwrite(s.Messages(), path, f.readOnly);
        switch (answer) {
            case 6:
                if (f.readOnly) ClearReadOnly(path);
                return Decision::Write;
            case 5:
            case kOverwriteYesToAll:
                s.overwriteAll = true;
                if (f.readOnly) ClearReadOnly(path);
                return Decision::Write;
            case 2: return Decision::Cancel;
            case kOverwriteRename: {
                std::string chosen = AskRename(path, s.context.ui);
                for (char& c : chosen)
                    if (c == '\\') c = '/';
                if (chosen.empty() || chosen.size() > kPathLimit) {
                    Item(s, 906, path);
                    return Decision::Skip;
                }
                path = chosen;
                // The chosen file is overwritten when it exists.
                const FileFacts g = Facts(path);
                replaced = g.exists && !g.folder;
                if (replaced && g.readOnly) ClearReadOnly(path);
                return Decision::Write;
            }
            default:  // No, and anything else
                Item(s, 906, path);
                return Decision::Skip;
        }
    }
    return Decision::Skip;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (EqualNoCase(a, b)) return true;
    const FileFacts fa = Facts(a), fb = Facts(b);
    return fa.exists && fb.exists && fa.dev == fb.dev && fa.ino == fb.ino;
}

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
        ShowMessage(s, UGTE_OPEN, std::string(FindMessage(151)) + s.archive);
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
    if (s.gz.hasName) {
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
    std::size_t got = 0;
    while (got < n) {
        const ssize_t k = ::pread(fd, dst + got, n - got, static_cast<off_t>(pos + static_cast<int64_t>(got)));
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        got += static_cast<std::size_t>(k);
    }
    return true;
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
            ShowMessage(s, UGTE_SKIP, FindMessage(895));
            return UGTE_SKIP;
        }
    }

    bool replaced = false;
    if (toFile) {
        const Decision d = DecideOverwrite(s, path, replaced);
        if (d == Decision::Skip) return UGTE_SKIP;
        if (d == Decision::Cancel) return UGTE_ABORT;
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
    if (replaced && s.overwriteAll) job.overwriteReadOnly = true;
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
    else Item(s, replaced ? 905 : 903, path);
    // Data after the last member that are neither a member nor zero padding: what the members held is
    // complete and stays where it was put, and the run reports the file's structure as broken.
    return trailing ? UGTE_STRUCT : 0;
}

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
    ctx.output = s.test ? OutputKind::kTest
                        : s.streamOut ? OutputKind::kStream
                                      : s.memoryMode ? (s.memOut ? OutputKind::kMemory : OutputKind::kTest)
                                                     : OutputKind::kFile;
    ctx.lfToCrlf = s.lfToCrlf;
    ctx.leavePartial = s.leavePartial;
    ctx.overwriteReadOnly = s.overwriteReadOnly;
    ctx.memBlock = s.memBlock;
    ctx.memBlockSize = static_cast<std::uint32_t>(std::max<int64_t>(s.memSize, 0));
    ctx.startingOffset = static_cast<std::uint32_t>(std::max<int64_t>(s.startOffset, 0));
    ctx.memTransfer = HostTransfer(s);
    const int64_t expected = ctx.output == OutputKind::kMemory ? s.memSize : static_cast<int64_t>(m.dataSize);
    ctx.progress = [&s, name, expected](std::uint64_t written) {
        MinorStatus(s, name, static_cast<int64_t>(written), expected);
        return !s.cancel;
    };
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
    ctx.askOverwrite = [&s](const std::string& path, bool readOnly) {
        const int32_t answer = AskOverwrite(s.Messages(), path, readOnly);
        if (answer == kOverwriteRename || answer == 6 || answer == 5 || answer == kOverwriteYesToAll) {
            if (readOnly && answer != kOverwriteRename) ClearReadOnly(path);  // a Yes takes the read-only state away
        }
        return static_cast<int>(answer);
    };
    ctx.renameDialog = [&s](const std::string& path) {
        std::string chosen = AskRename(path, s.context.ui);
        for (char& c : chosen)
            if (c == '\\') c = '/';
        return chosen.size() > kPathLimit ? std::string() : chosen;
    };
    ctx.selfOverwrite = [&s](const std::string&) { ShowMessage(s, UGTE_SKIP, FindMessage(895)); };
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
        ShowMessage(s, UGTE_PARMS, FindMessage(898));
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
        std::snprintf(text, sizeof text, FindMessage(853), item, count);
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
    if (p != 0) ShowMessage(s, UGTE_PARMS, FindMessage(898));
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

// The destination rule of the file actions: more than one character and an absolute path.
int32_t CheckDestination(UgtEngineState& s) {
    if (s.destinationGiven <= 1) {
        ShowMessage(s, UGTE_PARMS, FindMessage(890));
        return UGTE_PARMS;
    }
    if (s.destination[0] != '/') {
        ShowMessage(s, UGTE_PARMS, FindMessage(883));
        return UGTE_PARMS;
    }
    return 0;
}

int32_t Inconsistent(UgtEngineState& s) {
    ShowMessage(s, UGTE_PARMS, FindMessage(900));
    return UGTE_PARMS;
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
        ShowMessage(s, UGTE_PARMS, FindMessage(912));
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
    if (r != 0 && r != UGTE_ABORT && r != UGTE_SKIP) ShowMessage(s, r, FindMessage(894));
    return r;
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
        ShowMessage(s, UGTE_PARMS, FindMessage(913));
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
        ShowMessage(s, UGTE_PARMS, FindMessage(160));
        return UGTE_PARMS;
    }
    s.destinationGiven = s.destination.size();
    if (!s.destination.empty() && s.destination.back() != '/') s.destination.push_back('/');
    if (s.archive.empty() && action != UGT_GUNZIP_MEMTOMEM) {
        ShowMessage(s, UGTE_PARMS, FindMessage(884));
        return UGTE_PARMS;
    }
    if (s.freshen && s.update) {
        ShowMessage(s, UGTE_PARMS, FindMessage(888));
        return UGTE_PARMS;
    }
    if (s.decrypt) {
        if (c.lpszDecryptCode == nullptr || c.lpszDecryptCode[0] == 0 || ::strnlen(c.lpszDecryptCode, 66) > 65) {
            ShowMessage(s, UGTE_PARMS, FindMessage(889));
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
                ShowMessage(s, UGTE_PARMS, FindMessage(160));
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
        if (r != 0 && r != UGTE_ABORT && r != UGTE_SKIP) ShowMessage(s, r, FindMessage(894));
        return r;
    }
    if (IsGzipAction(action)) return GzipAction(s);
    if (IsTarAction(action)) return TarAction(s);
    ShowMessage(s, UGTE_PARMS, FindMessage(891));
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
            ShowMessage(s, UGTE_OPEN, FindMessage(601));
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
        if (p[i] != '?' && Up(p[i]) != Up(n[i])) return false;
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
        if (EqualNoCase(path, pFolder)) return true;
        if (path.size() > pFolder.size() && EqualNoCase(path.substr(0, pFolder.size()), pFolder))
            return recurse && (pName.empty() || pName == "*.*");
        return false;
    }
    if (memberFolder.size() < pFolder.size() || !EqualNoCase(memberFolder.substr(0, pFolder.size()), pFolder))
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
        current.push_back(c == '/' ? '\\' : Up(c));
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
