#include "gtlib/engine/gzip_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "gtlib/engine/crc32.h"
#include "gtlib/engine/crypt.h"
#include "gtlib/engine/deflate.h"
#include "gtlib/engine/filelist.h"
#include "gtlib/engine/gt_state.h"
#include "platform/core/files.h"

namespace gtlib {
namespace {

enum class Source { File, Block, Callback };

struct Reader {
    Reader(GtEngineState* s, GtItem* i, Source src) : st(s), item(i), source(src) {}
    GtEngineState* st;
    GtItem* item;
    Source source;
    int fd = -1;
    std::uint64_t sizeForPercent = 0;
    std::uint64_t count = 0;
    std::uint32_t crc = 0;
    bool readError = false;
    LfToCrlf crlf;
};

std::size_t ReadAll(int fd, std::uint8_t* buf, std::size_t want, bool& error) {
    const ssize_t got = morven::ReadFull(fd, buf, want);
    if (got < 0) {
        error = true;
        return 0;
    }
    return static_cast<std::size_t>(got);
}

std::size_t ReadFileSource(Reader& r, std::uint8_t* buf, std::size_t want) {
    if (!r.st->lfToCrlf) return ReadAll(r.fd, buf, want, r.readError);
    return r.crlf.Read([&r](std::uint8_t* raw, std::size_t max) { return ReadAll(r.fd, raw, max, r.readError); },
                       buf, want);
}

std::size_t ReadBlockSource(Reader& r, std::uint8_t* buf, std::size_t want) {
    GtEngineState& st = *r.st;
    auto fetch = [&st](std::uint8_t* raw, std::size_t max) {
        const std::size_t n = std::min(max, st.memBlockSize - st.memReadPos);
        std::memcpy(raw, st.memBlock + st.memReadPos, n);
        st.memReadPos += n;
        return n;
    };
    return st.lfToCrlf ? r.crlf.Read(fetch, buf, want) : fetch(buf, want);
}

std::size_t ReadCallbackSource(Reader& r, std::uint8_t* buf, std::size_t want) {
    GtEngineState& st = *r.st;
    if (st.memInputEnded || !st.memTransfer) return 0;
    std::size_t got = 0;
    while (got < want) {
        std::int32_t count = static_cast<std::int32_t>(want - got);
        std::int32_t answer = MEM_CONTINUE;
        st.memTransfer(MEM_READ_DATA, buf + got, &count, static_cast<std::uint32_t>(st.totalRead),
                       static_cast<std::uint32_t>(st.totalRead >> 32), static_cast<std::uint32_t>(st.totalWritten),
                       static_cast<std::uint32_t>(st.totalWritten >> 32), st.memTransferData, &answer);
        const std::size_t delivered =
            count > 0 ? std::min(static_cast<std::size_t>(count), want - got) : std::size_t{0};
        if (answer == MEM_DONE) {
            got += delivered;
            st.totalRead += delivered;
            st.memInputEnded = true;
            break;
        }
        if (answer == MEM_CONTINUE) {
            if (delivered == 0) {
                st.memInputEnded = true;
                break;
            }
            got += delivered;
            st.totalRead += delivered;
            continue;
        }
        if (answer == MEM_CANCEL) {
            st.cancel = true;
        } else {
            // The host could not deliver: the member must not describe part of the data as all of it.
            r.readError = true;
        }
        st.memInputEnded = true;
        return 0;
    }
    return got;
}

std::size_t ReadSource(void* ctx, std::uint8_t* buf, std::size_t want) {
    auto& r = *static_cast<Reader*>(ctx);
    std::size_t n = 0;
    switch (r.source) {
        case Source::File: n = ReadFileSource(r, buf, want); break;
        case Source::Block: n = ReadBlockSource(r, buf, want); break;
        case Source::Callback: n = ReadCallbackSource(r, buf, want); break;
    }
    if (r.readError) return 0;
    r.count += n;
    r.crc = Crc32(r.crc, buf, n);
    r.st->MinorStatus(r.item->storedName, r.count, r.sizeForPercent);
    if (n > 0) r.st->CancelPoll();
    return n;
}

// The coder's source: the item's reader; the run's cancel and first error stop it.
class ItemSource final : public DeflateSource {
public:
    explicit ItemSource(Reader& r) : r_(r) {}
    std::size_t Read(std::uint8_t* buf, std::size_t want) override { return ReadSource(&r_, buf, want); }
    bool Cancelled() override { return r_.st->cancel; }
    bool Failed() override { return r_.st->gtErrorCode != GTE_OK; }

private:
    Reader& r_;
};

// The coder's sink: the output (encrypted when the run has a code), the run's first error, and the
// warning that line ends are converted in a binary item. Into a file the coder's pieces are gathered and
// written in blocks that end at multiples of kFileBlock in the file: few system calls and whole cached
// pages for the file system (pieces that start and end inside pages cost it markedly more). The host's
// memory-transfer procedure gets the coder's pieces as they come.
class OutputSink final : public DeflateSink {
public:
    static constexpr std::size_t kFileBlock = 256 * 1024;

    explicit OutputSink(GtEngineState& st) : st_(st) {
        if (st_.memOutput) return;
        const off_t at = ::lseek(st_.outFd, 0, SEEK_CUR);
        room_ = at > 0 ? kFileBlock - static_cast<std::size_t>(at % static_cast<off_t>(kFileBlock)) : kFileBlock;
        block_.reserve(kFileBlock);
    }
    bool Write(std::uint8_t* buf, std::size_t n) override {
        // The key stream runs over the bytes in the order they are written, so they may be encrypted before
        // they are gathered.
        if (st_.memOutput) return Result(WriteEncrypted(st_, buf, n));
        EncryptOutput(st_, buf, n);
        while (n > 0) {
            const std::size_t k = std::min(n, room_ - block_.size());
            block_.insert(block_.end(), buf, buf + k);
            buf += k;
            n -= k;
            if (block_.size() == room_ && !Flush()) return false;
        }
        return true;
    }
    // Writes what is gathered; false (with the run's error set) when it cannot be written.
    bool Flush() {
        if (block_.empty()) return true;
        const WriteResult w = WriteRaw(st_, block_.data(), block_.size());
        block_.clear();
        room_ = kFileBlock;
        return Result(w);
    }
    bool Failed() override { return st_.gtErrorCode != GTE_OK; }
    void BinaryItem() override {
        if (st_.lfToCrlf) st_.Warn(st_.Text(kMsgEolBinary));
    }

private:
    bool Result(WriteResult w) {
        if (w == WriteResult::Ok) return true;
        if (w == WriteResult::Cancelled) st_.cancel = true;
        st_.SetError(st_.cancel ? GTE_ABORT : GTE_WRITE);
        return false;
    }

    GtEngineState& st_;
    std::vector<std::uint8_t> block_;
    std::size_t room_ = kFileBlock;  // the size of the block being gathered
};

// Starts the coder on the item's reader; a coder without memory is reported here.
int StartCoder(GtEngineState& st, ItemSource& source) {
    const int started = st.deflate.Start(st.level, source);
    if (started == GTE_MEM) st.ReportError(GTE_MEM, st.Text(kMsgWindowAllocation));
    return started;
}

void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}

void CopyText(char* dst, std::size_t cap, std::string_view s) {
    const std::size_t n = std::min(cap - 1, s.size());
    std::memcpy(dst, s.data(), n);
    dst[n] = '\0';
}

void AskRename(GtItem& item, GtEngineState& st) {
    // A GZIP member passes the stored name in the first name field (and takes the new one back from
    // it) and the source path in the second.
    RENAMESTRUCT req{};
    req.ulStructSize = sizeof req;
    CopyText(req.szItemName, sizeof req.szItemName, item.storedName);
    CopyText(req.szOrigItemName, sizeof req.szOrigItemName, item.sourcePath);
    CopyText(req.szDateTime, sizeof req.szDateTime, FormatDateTimeText(item.time));
    req.dwAttrib = item.attributes;
    req.dwOptions = 2;
    st.renameProc(&req, st.renameUserData);
    // Whatever the host wrote, the texts end inside their fields.
    req.szItemName[sizeof req.szItemName - 1] = '\0';
    req.szDateTime[sizeof req.szDateTime - 1] = '\0';
    item.storedName = req.szItemName;
    item.time = static_cast<std::uint32_t>(ParseDateTimeText(req.szDateTime));
    item.attributes = (item.attributes & ~0x27u) | (req.dwAttrib & 0x27u);
}

std::vector<std::uint8_t> Trailer(std::uint32_t crc, std::uint32_t size) {
    std::vector<std::uint8_t> t;
    Put32(t, crc);
    Put32(t, size);
    return t;
}

// The end of an item's coding: the code that ends it, or GTE_OK when the trailer may be written.
int CodingResult(const Reader& r, GtEngineState& st) {
    if (st.gtErrorCode != GTE_OK) return st.gtErrorCode;
    if (r.readError) return GTE_READ;
    if (st.cancel) return GTE_ABORT;
    return GTE_OK;
}

}  // namespace

std::string FormatNumbers(std::string_view text, int a, int b) {
    std::string out;
    int used = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 'd' && used < 2) {
            out += std::to_string(used++ == 0 ? a : b);
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string FormatString(std::string_view text, std::string_view arg) {
    std::string out(text);
    const std::size_t p = out.find("%s");
    if (p != std::string::npos) out.replace(p, 2, arg);
    return out;
}

std::string FormatDateTimeText(std::int64_t unixTime) {
    const std::time_t t = static_cast<std::time_t>(unixTime);
    struct tm tm {};
    ::localtime_r(&t, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02u/%02u/%04u %02u:%02u:%02u", static_cast<unsigned>(tm.tm_mon + 1),
                  static_cast<unsigned>(tm.tm_mday), static_cast<unsigned>(tm.tm_year + 1900),
                  static_cast<unsigned>(tm.tm_hour), static_cast<unsigned>(tm.tm_min),
                  static_cast<unsigned>(tm.tm_sec));
    return buf;
}

std::int64_t ParseDateTimeText(std::string_view s) {
    if (s.size() <= 18 || s[2] != '/' || s[5] != '/' || s[13] != ':' || s[16] != ':') return 0;
    auto num = [&s](std::size_t pos, std::size_t len) {
        int v = 0;
        for (std::size_t i = pos; i < pos + len; ++i) v = v * 10 + ((s[i] >= '0' && s[i] <= '9') ? s[i] - '0' : 0);
        return v;
    };
    struct tm tm {};
    tm.tm_mon = std::min(num(0, 2), 12) - 1;
    tm.tm_mday = std::clamp(num(3, 2), 1, 31);
    tm.tm_year = std::clamp(num(6, 4), 1970, 2035) - 1900;
    tm.tm_hour = std::min(num(11, 2), 23);
    tm.tm_min = std::min(num(14, 2), 59);
    tm.tm_sec = std::min(num(17, 2), 59);
    if (tm.tm_mon < 0) tm.tm_mon = 0;
    tm.tm_isdst = -1;
    const std::time_t t = ::mktime(&tm);
    return t < 0 ? 0 : static_cast<std::int64_t>(t);
}

std::vector<std::uint8_t> BuildGzipHeader(const GtItem& item, bool encrypted, std::uint8_t xfl) {
    std::vector<std::uint8_t> h = {0x1F, 0x8B, 8, 0};
    std::uint8_t flags = 0;
    if (!item.storedName.empty()) flags |= kGzFlagName;
    if (item.hasComment) flags |= kGzFlagComment;
    if (encrypted) flags |= kGzFlagEncrypted;
    h[3] = flags;
    Put32(h, item.time);
    h.push_back(xfl);
    h.push_back(0);  // OS
    if (flags & kGzFlagName) {
        h.insert(h.end(), item.storedName.begin(), item.storedName.end());
        h.push_back(0);
    }
    if (flags & kGzFlagComment) {
        h.insert(h.end(), item.comment.begin(), item.comment.end());
        h.push_back(0);
    }
    return h;
}

std::string AppendGzExtension(std::string_view name) {
    const std::size_t sep = name.find_last_of("\\/");
    const std::string_view last = sep == std::string_view::npos ? name : name.substr(sep + 1);
    std::string r(name);
    if (last.find('.') == std::string_view::npos) r += ".gz";
    return r;
}

int GzipFile(GtItem& item, int outFd, GtEngineState& st) {
    if (!item.storedName.empty() && item.storedName.back() == '/') return GTE_OPEN;
    const std::string status = item.memory ? st.Text(kMsgMemoryToFile)
                                           : FormatNumbers(st.Text(kMsgItemOf), st.itemNumber, st.itemCount);
    if (st.MajorStatus(status) != 0) return GTE_ABORT;

    Reader r(&st, &item, Source::File);
    if (item.memory) {
        // Every item of a memory run reads the block (or the stream) from its start.
        st.memReadPos = 0;
        st.memInputEnded = false;
        item.time = static_cast<std::uint32_t>(std::time(nullptr));
        item.attributes = 0;
        r.source = st.memStream ? Source::Callback : Source::Block;
        r.sizeForPercent = st.memStream ? 0 : st.memBlockSize;
    } else {
        const std::string path = NativePath(item.sourcePath);
        const auto facts = GetFileFacts(path);
        if (!facts) return GTE_OPEN;
        r.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (r.fd < 0) return GTE_OPEN;
        ::posix_fadvise(r.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        item.time = static_cast<std::uint32_t>(facts->time);
        item.attributes = facts->attributes;
        r.sizeForPercent = facts->size;
        if ((st.subOptions & GTSO_JUST_ARCHIVED) && (st.subOptions & GTSO_RESET_ARCHIVED))
            item.attributes &= ~ATTR_ARCHIVE;
    }
    st.srcFd = r.fd;
    auto closeSource = [&] {
        if (r.fd >= 0) ::close(r.fd);
        r.fd = st.srcFd = -1;
    };

    if (st.renameProc) AskRename(item, st);
    item.hasComment = st.addComment && !st.comment.empty();
    if (item.hasComment) item.comment = st.comment;

    const bool encrypted = !st.encryptCode.empty();
    st.outFd = outFd;
    st.memOutput = false;
    {
        std::vector<std::uint8_t> header;
        try {
            header = BuildGzipHeader(item, encrypted, 0);
        } catch (const std::bad_alloc&) {
            closeSource();
            return GTE_MEM;
        }
        if (WriteRaw(st, header.data(), header.size()) != WriteResult::Ok) {
            closeSource();
            return GTE_TEMP;
        }
        st.totalWritten += header.size();
    }
    item.compressedSize = 0;
    if (encrypted) {
        const int rc = WriteEncryptionHeader(st);
        if (rc != GTE_OK) {
            st.ReportError(rc, st.Text(kMsgUnexpectedError));
            closeSource();
            return st.gtErrorCode;
        }
        st.totalWritten += kCryptHeaderSize;
        item.compressedSize += kCryptHeaderSize;
    }

    r.count = 0;
    r.crc = 0;
    ItemSource source(r);
    const int started = StartCoder(st, source);
    if (started != GTE_OK) {
        closeSource();
        return r.readError ? GTE_READ : (st.cancel ? GTE_ABORT : started);
    }
    OutputSink sink(st);
    const std::uint64_t compressed = st.deflate.Compress(sink);
    if (st.gtErrorCode == GTE_OK) sink.Flush();
    item.type = static_cast<std::int16_t>(st.deflate.ItemType());
    const int rc = CodingResult(r, st);
    closeSource();
    if (rc != GTE_OK) return rc;

    item.crc = r.crc;
    item.uncompressedSize = static_cast<std::uint32_t>(r.count);
    item.compressedSize += static_cast<std::uint32_t>(compressed);
    st.totalWritten += compressed;
    std::vector<std::uint8_t> trailer = Trailer(item.crc, item.uncompressedSize);
    if (WriteRaw(st, trailer.data(), trailer.size()) != WriteResult::Ok) return GTE_TEMP;
    st.totalWritten += trailer.size();

    if (item.memory) st.LogEvent(FormatString(st.Text(kMsgMemory), item.storedName));
    else st.LogEvent(FormatString(st.Text(kMsgAdded), item.sourcePath));
    return GTE_OK;
}

int GzipMemory(GtItem& item, GtEngineState& st) {
    item.time = static_cast<std::uint32_t>(std::time(nullptr));
    item.attributes = 0;
    item.hasComment = false;
    item.memory = true;
    st.memOutput = true;
    Reader r(&st, &item, Source::Callback);
    r.sizeForPercent = 0x7FFFFFFF;
    // The matcher starts first: a source without a byte gives no member at all, not a lone header.
    ItemSource source(r);
    const int started = StartCoder(st, source);
    if (started != GTE_OK) return r.readError ? GTE_READ : (st.cancel ? GTE_ABORT : started);

    const bool encrypted = !st.encryptCode.empty();
    std::vector<std::uint8_t> header = BuildGzipHeader(item, encrypted, 2);
    switch (WriteRaw(st, header.data(), header.size())) {
        case WriteResult::Ok: break;
        case WriteResult::Cancelled: st.cancel = true; return GTE_ABORT;
        default: return GTE_MEM;
    }
    item.compressedSize = 0;
    if (encrypted) {
        const int rc = WriteEncryptionHeader(st);
        if (rc != GTE_OK) return rc;
        item.compressedSize += kCryptHeaderSize;
    }
    OutputSink sink(st);
    const std::uint64_t compressed = st.deflate.Compress(sink);
    item.type = static_cast<std::int16_t>(st.deflate.ItemType());
    const int rc = CodingResult(r, st);
    if (rc != GTE_OK) return rc;
    item.crc = r.crc;
    item.uncompressedSize = static_cast<std::uint32_t>(r.count);
    item.compressedSize += static_cast<std::uint32_t>(compressed);
    std::vector<std::uint8_t> trailer = Trailer(item.crc, item.uncompressedSize);
    if (WriteRaw(st, trailer.data(), trailer.size()) == WriteResult::Cancelled) st.cancel = true;
    st.LogEvent(st.Text(kMsgMemoryToMemory));
    return GTE_OK;
}

}  // namespace gtlib
