#include "gtlib/engine/inflate_output.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>

#include "gtlib/engine/crc32.h"
#include "gtlib/engine/inflate.h"
#include "platform/core/files.h"

namespace gtlib {
namespace {

constexpr std::size_t kFileBlockSize = 256 * 1024;
// Stored data are read in whole file blocks (the first read takes the input block's rest too), so they
// reach JobSink in whole blocks.
constexpr std::size_t kStoredPiece = kFileBlockSize;

bool IsMemoryKind(OutputKind k) { return k == OutputKind::kMemory || k == OutputKind::kMemToMem; }

// Input for the decoder: the member's bytes, from the job's input block, the archive file or the host.
class JobSource : public InflateSource {
public:
    explicit JobSource(InflateJob& job) : job_(job) {}

    std::size_t Read(std::uint8_t* dst, std::size_t max) override {
        std::size_t done = 0;
        while (done < max && job_.compressedLeft > 0 && !job_.cancel) {
            // Room for a whole input block or more, nothing left in the block: plain bytes from the archive
            // go straight to the caller, in one read of up to what the member has left. The same bytes in the
            // same order as through the block, without the copy and with fewer system calls.
            if (job_.inPos >= job_.inFill && max - done >= kInputBlockSize && ReadsFileDirectly()) {
                const std::size_t n = ReadArchive(
                    dst + done, static_cast<std::size_t>(std::min<std::uint64_t>(max - done, job_.compressedLeft)));
                if (n == 0) break;
                job_.compressedLeft -= n;
                done += n;
                continue;
            }
            if (job_.inPos >= job_.inFill && !FillBlock()) break;
            const std::size_t n = static_cast<std::size_t>(
                std::min<std::uint64_t>({max - done, job_.inFill - job_.inPos, job_.compressedLeft}));
            std::memcpy(dst + done, job_.inBlock.data() + job_.inPos, n);
            job_.inPos += n;
            job_.compressedLeft -= n;
            done += n;
        }
        return done;
    }

    bool ended() const { return ended_; }

private:
    // One read of up to `max` bytes of the archive file into dst, counted in the read total; 0 when the file
    // ends or cannot be read (a read error is noted), which ends the input.
    std::size_t ReadArchive(std::uint8_t* dst, std::size_t max) {
        ssize_t n;
        do {
            n = ::read(job_.inputFd, dst, max);
        } while (n < 0 && errno == EINTR);
        if (n < 0) job_.readError = true;
        if (n <= 0) {
            ended_ = true;
            return 0;
        }
        job_.readTotal += static_cast<std::uint64_t>(n);
        return static_cast<std::size_t>(n);
    }

    // The input is the archive file and its bytes need no decryption.
    bool ReadsFileDirectly() const {
        return job_.output != OutputKind::kMemToMem && !job_.decrypt && !ended_ && !job_.inputEnded;
    }

    bool FillBlock() {
        if (ended_ || job_.inputEnded) return false;
        job_.inPos = job_.inFill = 0;
        if (job_.inBlock.size() < kInputBlockSize) job_.inBlock.resize(kInputBlockSize);
        std::uint8_t* const block = job_.inBlock.data();
        if (job_.output == OutputKind::kMemToMem) {
            int answer = MEM_CONTINUE;
            while (answer == MEM_CONTINUE && job_.inFill < kInputBlockSize) {
                std::uint32_t size = static_cast<std::uint32_t>(kInputBlockSize - job_.inFill);
                answer = job_.memTransfer ? job_.memTransfer(MEM_READ_DATA, block + job_.inFill, &size,
                                                             job_.readTotal, job_.totalWritten)
                                          : MEM_ERROR;
                if (answer == MEM_ERROR) {
                    job_.readError = true;
                    ended_ = job_.inputEnded = true;
                    break;
                }
                if (answer == MEM_CANCEL) {
                    job_.cancel = true;
                    ended_ = job_.inputEnded = true;
                    break;
                }
                size = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(kInputBlockSize - job_.inFill));
                job_.inFill += size;
                job_.readTotal += size;
                if (answer != MEM_CONTINUE || size == 0) {  // MEM_DONE, an unknown answer, or nothing delivered
                    ended_ = job_.inputEnded = true;
                    break;
                }
            }
        } else {
            job_.inFill = ReadArchive(block, kInputBlockSize);
            if (job_.inFill == 0) return false;
        }
        if (job_.decrypt && job_.inFill)
            job_.decrypt(block, static_cast<std::size_t>(std::min<std::uint64_t>(job_.inFill, job_.compressedLeft)));
        return job_.inFill > 0;
    }

    InflateJob& job_;
    bool ended_ = false;
};

// Output for the decoder: gathers output blocks and flushes them. The host's memory paths get blocks of
// kOutputBlockSize as always. A file gets blocks of kFileBlockSize, written at offsets that are multiples
// of it: whole cached pages go to the file system in few calls, which is markedly cheaper than pieces that
// start and end inside pages. Whole blocks of a piece go out straight from it when nothing is gathered, so
// stored data read in such blocks are never copied here.
class JobSink : public InflateSink {
public:
    explicit JobSink(InflateJob& job)
        : job_(job),
          direct_(job.output == OutputKind::kFile || job.output == OutputKind::kTest),
          cap_(direct_ ? kFileBlockSize : kOutputBlockSize) {
        block_.reserve(cap_);
    }

    bool Write(const std::uint8_t* data, std::size_t len) override {
        while (len) {
            if (direct_ && block_.empty() && len >= cap_) {
                const std::size_t whole = len - len % cap_;
                lastFlush_ = FlushOutput(job_, data, whole);
                data += whole;
                len -= whole;
                if (!Running()) return false;
                continue;
            }
            const std::size_t n = std::min(len, cap_ - block_.size());
            block_.insert(block_.end(), data, data + n);
            data += n;
            len -= n;
            if (block_.size() == cap_ && !Flush()) return false;
        }
        return job_.outputState < kOutputFailed && !job_.cancel;
    }
    bool Cancelled() override { return job_.cancel; }

    // Flushes what is gathered; false when the output stopped.
    bool Flush() {
        if (!block_.empty()) {
            lastFlush_ = FlushOutput(job_, block_.data(), block_.size());
            block_.clear();
        }
        return Running();
    }
    int lastFlush() const { return lastFlush_; }
    bool empty() const { return block_.empty(); }

private:
    bool Running() const { return lastFlush_ == UGTE_OK && job_.outputState < kOutputFailed && !job_.cancel; }

    InflateJob& job_;
    const bool direct_;
    const std::size_t cap_;
    std::vector<std::uint8_t> block_;
    int lastFlush_ = UGTE_OK;
};

// Skips what is left of the starting offset in [data, data + n); returns the bytes that remain. Once the
// skipping has passed the member's whole size the output is complete.
std::size_t SkipOffset(InflateJob& job, const std::uint8_t*& data, std::size_t n) {
    if (job.skipped < job.startingOffset) {
        const std::size_t skip =
            static_cast<std::size_t>(std::min<std::uint64_t>(n, job.startingOffset - job.skipped));
        job.skipped += skip;
        data += skip;
        n -= skip;
    }
    if (n == 0 && job.startingOffset >= job.expectedSize && job.skipped >= job.expectedSize)
        job.outputState = kOutputComplete;
    return n;
}

std::uint64_t WantedAmount(const InflateJob& job) {
    std::uint64_t wanted = job.memBlockSize;
    if (job.expectedSize < job.memBlockSize)
        wanted = job.expectedSize > job.startingOffset ? job.expectedSize - job.startingOffset : 0;
    return wanted;
}

std::string TempNameFor(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    // Fresh bytes from the system for every name: no generator is kept between calls.
    unsigned char bytes[8];
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        std::uint64_t mix = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                            reinterpret_cast<std::uintptr_t>(&path);
        for (unsigned char& b : bytes) b = static_cast<unsigned char>(mix >>= 7);
    }
    std::string suffix;
    for (unsigned char b : bytes) suffix += kDigits[b % 36];
    return dir + "." + base.substr(0, 200) + "." + suffix + ".part";
}

// The bytes of a hole: skipped over in a file (what is gathered goes out first, so the skip lands after
// it), handed on as zero bytes to every other output. False when the output stopped.
bool EmitHole(InflateJob& job, JobSink& sink, std::uint64_t n) {
    if (n == 0) return true;
    if (job.output == OutputKind::kFile && job.outputState >= kOutputFailed) return false;
    // A file skips the hole; a test has nothing to check in it (TAR members carry no CRC): both only count
    // it, so a hole as large as the header claims costs nothing.
    const bool file = job.output == OutputKind::kFile && job.outputState < kOutputFailed;
    if (file || job.output == OutputKind::kTest) {
        if (!sink.Flush()) return false;
        if (job.totalWritten + n > job.expectedSize) n = job.expectedSize - std::min(job.expectedSize, job.totalWritten);
        if (file && ::lseek(job.outputFd, static_cast<off_t>(n), SEEK_CUR) < 0) {
            job.outputState = kOutputFailed;
            return false;
        }
        job.totalWritten += n;
        if (job.progress && !job.progress(job.totalWritten) && !job.cancel && !job.structError) job.cancel = true;
        return !job.cancel && !job.structError;
    }
    static const std::uint8_t kZeros[kInputBlockSize] = {};
    while (n > 0) {
        const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, sizeof kZeros));
        if (!sink.Write(kZeros, k)) return false;
        n -= k;
    }
    return true;
}

// A stored member of a file with holes: each segment's bytes at its place, holes between them and up to the
// file's size. A file output ends at that size (a hole at its end included). False when the output stopped.
bool CopySparse(InflateJob& job, JobSource& source, JobSink& sink) {
    const bool large = job.output == OutputKind::kFile || job.output == OutputKind::kTest;
    std::vector<std::uint8_t> buf(large ? kStoredPiece : kInputBlockSize);
    std::uint64_t at = 0;
    for (const DataSegment& seg : job.segments) {
        if (!EmitHole(job, sink, seg.offset - at)) return false;
        at = seg.offset;
        std::uint64_t left = seg.size;
        while (left > 0 && !job.cancel && !job.structError) {
            const std::size_t n =
                source.Read(buf.data(), static_cast<std::size_t>(std::min<std::uint64_t>(left, buf.size())));
            if (n == 0) return true;  // the data end early: the caller finds the rest missing
            if (!sink.Write(buf.data(), n)) return false;
            left -= n;
            at += n;
        }
        if (job.cancel || job.structError) return true;
    }
    if (!EmitHole(job, sink, job.expectedSize - std::min(job.expectedSize, at))) return false;
    if (job.output == OutputKind::kFile) {
        if (!sink.Flush()) return false;
        const off_t end = ::lseek(job.outputFd, 0, SEEK_CUR);
        if (end < 0 || ::ftruncate(job.outputFd, end) != 0) {
            job.outputState = kOutputFailed;
            return false;
        }
    }
    return true;
}

}  // namespace

int PrepareOutputFile(InflateJob& job, const std::string& path) {
    job.outputPath = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return UGTE_CREATE;
        if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR) && !job.overwriteReadOnly) return UGTE_CREATE;
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string temp = TempNameFor(path);
        // The member's own permission bits when it has some; the kernel takes the umask off them.
        const mode_t mode = job.fileMode >= 0 ? static_cast<mode_t>(job.fileMode & 0777) : 0666;
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            job.outputFd = fd;
            job.tempPath = temp;
            return UGTE_OK;
        }
        if (errno != EEXIST) break;
    }
    return UGTE_CREATE;
}

int CloseOutputSetTime(InflateJob& job) {
    if (job.outputFd < 0) return UGTE_OK;
    const struct timespec times[2] = {{static_cast<time_t>(job.mtime), 0}, {static_cast<time_t>(job.mtime), 0}};
    ::futimens(job.outputFd, times);
    if (job.attributes & ATTR_READONLY) {
        struct stat st {};
        if (::fstat(job.outputFd, &st) == 0) ::fchmod(job.outputFd, st.st_mode & 07555);
    }
    ::close(job.outputFd);
    job.outputFd = -1;
    if (::rename(job.tempPath.c_str(), job.outputPath.c_str()) != 0) {
        ::unlink(job.tempPath.c_str());
        job.tempPath.clear();
        return UGTE_CREATE;
    }
    job.tempPath.clear();
    return UGTE_OK;
}

void DiscardOutputFile(InflateJob& job, bool keep) {
    if (job.outputFd < 0) return;
    if (keep) {
        CloseOutputSetTime(job);
        return;
    }
    ::close(job.outputFd);
    job.outputFd = -1;
    ::unlink(job.tempPath.c_str());
    job.tempPath.clear();
}

int FlushOutput(InflateJob& job, const std::uint8_t* data, std::size_t n) {
    if (job.outputState >= kOutputFailed) {
        job.totalWritten += n;  // dropped, counted as written
        return UGTE_OK;
    }
    if (job.output == OutputKind::kFile && !job.leavePartial && job.totalWritten + n > job.expectedSize)
        n = static_cast<std::size_t>(job.expectedSize > job.totalWritten ? job.expectedSize - job.totalWritten : 0);
    // TAR members carry no CRC: none is computed for them.
    if (!job.tarMember) job.crc = Crc32(job.crc, data, n);
    int result = UGTE_OK;
    switch (job.output) {
    case OutputKind::kTest:
        break;
    case OutputKind::kFile:
        if (job.lfToCrlf) {
            job.convertBuf.clear();
            job.convertBuf.reserve(n + n / 8 + 16);
            for (std::size_t i = 0; i < n; ++i) {
                if (data[i] == '\n') job.convertBuf.push_back('\r');
                job.convertBuf.push_back(data[i]);
            }
            if (!morven::WriteAll(job.outputFd, job.convertBuf.data(), job.convertBuf.size())) result = UGTE_DISKFULL;
        } else if (!morven::WriteAll(job.outputFd, data, n)) {
            result = UGTE_DISKFULL;
        }
        if (result != UGTE_OK) job.outputState = kOutputFailed;
        break;
    case OutputKind::kMemory: {
        const std::uint64_t wanted = WantedAmount(job);
        const std::uint8_t* p = data;
        const std::size_t m = SkipOffset(job, p, n);
        if (m == 0) break;
        if (job.memProduced >= job.memBlockSize) {
            job.outputState = kOutputFailed;
            result = UGTE_DISKFULL;
            break;
        }
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(
            {m, job.memBlockSize - job.memProduced, wanted - std::min<std::uint64_t>(wanted, job.memProduced)}));
        std::memcpy(job.memBlock + job.memProduced, p, take);
        job.memProduced += static_cast<std::uint32_t>(take);
        if (job.memProduced >= wanted) job.outputState = kOutputComplete;
        break;
    }
    case OutputKind::kStream: {
        const std::uint64_t wanted = job.memBlockSize ? WantedAmount(job) : UINT64_MAX;
        const std::uint8_t* p = data;
        const std::size_t m = SkipOffset(job, p, n);
        const std::size_t take = static_cast<std::size_t>(
            std::min<std::uint64_t>(m, wanted - std::min<std::uint64_t>(wanted, job.memProduced)));
        if (take == 0) {
            if (m && job.memProduced >= wanted) job.outputState = kOutputComplete;
            break;
        }
        std::uint32_t size = static_cast<std::uint32_t>(take);
        const int answer = job.memTransfer ? job.memTransfer(MEM_WRITE_DATA, const_cast<std::uint8_t*>(p), &size,
                                                             job.readTotal, job.totalWritten + n)
                                           : MEM_ERROR;
        job.memProduced += static_cast<std::uint32_t>(take);
        if (answer == MEM_CONTINUE) {
            if (job.memProduced >= wanted) job.outputState = kOutputComplete;
        } else if (answer == MEM_DONE) {
            job.outputState = kOutputFailed;
            result = UGTE_DISKFULL;
        } else if (answer == MEM_ERROR) {
            job.outputState = kOutputComplete;
        } else {
            job.cancel = true;
            job.outputState = kOutputComplete;
        }
        break;
    }
    case OutputKind::kMemToMem: {
        std::uint32_t size = static_cast<std::uint32_t>(n);
        const int answer = job.memTransfer ? job.memTransfer(MEM_WRITE_DATA, const_cast<std::uint8_t*>(data), &size,
                                                             job.readTotal, job.totalWritten + n)
                                           : MEM_ERROR;
        if (answer == MEM_ERROR) {
            job.outputState = kOutputComplete;
        } else if (answer != MEM_DONE && answer != MEM_CONTINUE) {
            job.cancel = true;
            job.outputState = kOutputComplete;
        }
        break;
    }
    }
    job.totalWritten += n;
    if (job.progress && !job.progress(job.totalWritten) && !job.cancel && !job.structError) job.cancel = true;
    return result;
}

int InflateItem(InflateJob& job) {
    job.crc = 0;
    job.totalWritten = 0;
    job.consumed = 0;
    job.unused.clear();
    if (!job.continueOutput) {
        job.skipped = 0;
        job.memProduced = 0;
    }
    job.outputState = kOutputRunning;
    if (job.progress && !job.progress(0) && !job.cancel && !job.structError) job.cancel = true;

    JobSource source(job);
    JobSink sink(job);
    int result = UGTE_OK;
    bool stopped_by_output = false;  // the output path stopped decoding (its state tells why)
    if (job.method == 0 && job.sparse) {
        stopped_by_output = !CopySparse(job, source, sink);
        if (!stopped_by_output && !job.cancel && job.compressedLeft > 0) result = UGTE_STRUCT;
    } else if (job.method == 0) {
        // Stored data for a file or a test are copied in large pieces (read straight into the piece, see
        // JobSource); the host's memory paths keep pieces of one input block.
        const bool large = job.output == OutputKind::kFile || job.output == OutputKind::kTest;
        std::vector<std::uint8_t> buf(large ? kStoredPiece : kInputBlockSize);
        while (!job.cancel && !job.structError) {
            const std::size_t n = source.Read(buf.data(), buf.size());
            if (n == 0) break;
            if (!sink.Write(buf.data(), n)) {
                stopped_by_output = true;
                break;
            }
        }
        // A member whose data end before its size is truncated, not complete.
        if (!stopped_by_output && !job.cancel && job.compressedLeft > 0) result = UGTE_STRUCT;
    } else if (job.method == 8) {
        InflateDecoder own;
        const InflateResult r = Inflate(job.decoder ? *job.decoder : own, source, sink,
                                        InflateOptions{job.leavePartial}, &job.consumed,
                                        job.followStream ? &job.unused : nullptr);
        if (r == kInflateNoMemory) result = UGTE_MEM;
        else if (r == kInflateStopped) stopped_by_output = true;
        // In the memory modes 1 means "complete"; bad data must not look like that.
        else if (r != kInflateOk) result = IsMemoryKind(job.output) ? UGTE_STRUCT : UGTE_EOF;
    } else {
        if (!job.keepOpen) DiscardOutputFile(job, false);
        return UGTE_UNKNOWN;
    }

    auto finish = [&](int code) {
        if (job.output == OutputKind::kFile && !job.keepOpen) {
            if (code == UGTE_OK) {
                const int c = CloseOutputSetTime(job);
                if (c != UGTE_OK) code = c;
            } else {
                DiscardOutputFile(job, job.leavePartial);
            }
        }
        return code;
    };

    if (job.structError) return finish(UGTE_STRUCT);
    if (job.cancel) {
        if (IsMemoryKind(job.output) && job.outputState == kOutputFailed) {
            job.cancel = false;
            result = UGTE_OK;
        } else {
            return finish(UGTE_ABORT);
        }
    }
    if (job.outputState >= kOutputFailed) {
        if (IsMemoryKind(job.output)) return job.outputState == kOutputComplete ? 1 : 0;
        return finish(UGTE_DISKFULL);
    }
    // The last output block.
    sink.Flush();
    if (sink.lastFlush() != UGTE_OK || job.outputState >= kOutputFailed || job.cancel) {
        if (job.cancel && !(IsMemoryKind(job.output) && job.outputState == kOutputFailed)) return finish(UGTE_ABORT);
        if (job.outputState < kOutputFailed) return finish(UGTE_EOF);
        if (job.output == OutputKind::kFile || job.output == OutputKind::kStream) return finish(UGTE_DISKFULL);
        job.cancel = false;
        if (job.outputState == kOutputComplete) return 1;
    }
    if (result != UGTE_OK) return finish(result);
    const bool partial_memory =
        job.output == OutputKind::kMemory && (job.startingOffset > 0 || job.memBlockSize < job.expectedSize);
    if (!partial_memory && job.output != OutputKind::kMemToMem && !job.tarMember && !job.followStream &&
        job.crc != job.storedCrc)
        return finish(UGTE_BADCRC);
    return finish(UGTE_OK);
}

}  // namespace gtlib
