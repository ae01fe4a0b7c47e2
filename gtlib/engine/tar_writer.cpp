// Writing TAR members: one entry's header and data, and the end of the archive.
#include "gtlib/engine/tar.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "gtlib/engine/tar_internal.h"
#include "platform/core/files.h"

namespace gtlib {

using namespace tar_detail;

int TarWriteEntry(TarWriter& w, const TarWriteItem& item) {
    if (w.majorStatus && w.majorStatus(item)) return GTE_ABORT;
    std::string stored = item.storedName;
    std::int64_t mtime = item.mtime;
    std::uint32_t attributes = item.attributes;
    if (w.rename) {
        std::uint32_t back = attributes;
        w.rename(stored, mtime, back);
        attributes = (attributes & ~0x27u) | (back & 0x27u);
    }
    if (stored.size() > kTarMaxStoredName) return GTE_NAME;
    std::string prefix, name;
    if (const int r = TarSplitName(stored, &prefix, &name); r != GTE_OK) return r;

    std::uint64_t size = 0;
    unsigned file_mode = 0;
    w.sourceFd = -1;
    if (item.memoryItem) {
        size = item.memSize;
        if (w.lfToCrlf) size += static_cast<std::uint64_t>(std::count(item.memData, item.memData + item.memSize, '\n'));
    } else {
        w.sourceFd = ::open(item.sourcePath.c_str(), O_RDONLY | O_CLOEXEC);
        if (w.sourceFd < 0) return GTE_OPEN;
        struct stat st {};
        if (::fstat(w.sourceFd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(w.sourceFd);
            w.sourceFd = -1;
            return GTE_OPEN;
        }
        size = static_cast<std::uint64_t>(st.st_size);
        file_mode = static_cast<unsigned>(st.st_mode);
        if (w.lfToCrlf) {
            // The header must carry the converted size: count the line ends first.
            std::uint8_t buf[kReadPiece];
            std::uint64_t total = 0, lfs = 0;
            for (;;) {
                const ssize_t n = ReadFull(w.sourceFd, buf, sizeof buf);
                if (n <= 0) break;
                total += static_cast<std::uint64_t>(n);
                lfs += static_cast<std::uint64_t>(std::count(buf, buf + n, '\n'));
            }
            size = total + lfs;
            ::lseek(w.sourceFd, 0, SEEK_SET);
        }
    }
    std::uint8_t header[kTarBlockSize];
    const int r = TarBuildHeader(header, stored, size, mtime, TarModeFor(file_mode, attributes, item.memoryItem));
    if (r == GTE_OK && !morven::WriteAll(w.fd, header, kTarBlockSize)) {
        if (w.sourceFd >= 0) ::close(w.sourceFd);
        w.sourceFd = -1;
        return GTE_WRITE;
    }
    if (r != GTE_OK) {
        if (w.sourceFd >= 0) ::close(w.sourceFd);
        w.sourceFd = -1;
        return r;
    }
    w.headerSize = size;
    w.item = &item;
    return GTE_OK;
}

int TarWriteFileData(TarWriter& w) {
    if (w.minorStatus && w.minorStatus(0) && w.cancel) *w.cancel = true;
    std::uint64_t left = w.headerSize;
    std::size_t mem_pos = 0;
    // Plain data are read straight into the piece that is written, in pieces of kWritePiece that end at
    // multiples of kWritePiece in the archive: few system calls, no copy, and whole cached pages for the
    // file system (pieces that start and end inside pages cost it markedly more). Converted data are read
    // in kReadPiece and grow by at most one byte per byte.
    std::vector<std::uint8_t> in(w.lfToCrlf ? kReadPiece : kWritePiece);
    const off_t at = w.lfToCrlf ? 0 : ::lseek(w.fd, 0, SEEK_CUR);
    std::size_t first = kWritePiece;  // the first piece ends at the next multiple
    if (at > 0) first -= static_cast<std::size_t>(at % static_cast<off_t>(kWritePiece));
    std::vector<std::uint8_t> converted;
    if (w.lfToCrlf) converted.resize(2 * kReadPiece);
    int result = GTE_OK;
    bool source_short = false;
    while (left > 0 && !(w.cancel && *w.cancel)) {
        // Without conversion never more than the header says is read, even when the source grew meanwhile.
        const std::size_t want =
            w.lfToCrlf ? in.size() : static_cast<std::size_t>(std::min<std::uint64_t>(first, left));
        first = kWritePiece;
        std::size_t n;
        if (w.item->memoryItem) {
            n = std::min(want, w.item->memSize - mem_pos);
            std::memcpy(in.data(), w.item->memData + mem_pos, n);
            mem_pos += n;
        } else {
            const ssize_t got = ReadFull(w.sourceFd, in.data(), want);
            n = got > 0 ? static_cast<std::size_t>(got) : 0;
        }
        if (n == 0) {
            source_short = true;
            break;
        }
        std::uint8_t* out = in.data();
        std::size_t out_size = n;
        if (w.lfToCrlf) {
            out = converted.data();
            out_size = 0;
            for (std::size_t i = 0; i < n; ++i) {
                if (in[i] == '\n') out[out_size++] = '\r';
                out[out_size++] = in[i];
            }
        }
        // Never more than the header says, even when the source grew meanwhile.
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(out_size, left));
        if (w.encrypt) w.encrypt(out, take);
        if (!morven::WriteAll(w.fd, out, take)) {
            result = GTE_WRITE;
            break;
        }
        left -= take;
        if (w.minorStatus && w.headerSize &&
            w.minorStatus(static_cast<int>((w.headerSize - left) * 100 / w.headerSize)) && w.cancel)
            *w.cancel = true;
    }
    if (result == GTE_OK) {
        // The source shrank: fill the member up to the size in its header and report it.
        if (source_short && left > 0) {
            w.sourceError = GTE_READ;
            if (w.warning) w.warning(*w.item, GTE_READ);
        }
        std::vector<std::uint8_t> zeros(kCopyPiece, 0);
        std::uint64_t fill = left + (RoundUp512(w.headerSize) - w.headerSize);
        while (fill > 0 && result == GTE_OK) {
            const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(fill, zeros.size()));
            if (!morven::WriteAll(w.fd, zeros.data(), k)) result = GTE_WRITE;
            fill -= k;
        }
    }
    if (w.sourceFd >= 0) ::close(w.sourceFd);
    w.sourceFd = -1;
    if (result != GTE_OK) return result;
    return (w.cancel && *w.cancel) ? GTE_ABORT : GTE_OK;
}

int TarWriteEnd(TarWriter& w) {
    // Two zero blocks, as POSIX ends an archive (other tools warn of a lone one); the reader stops at the
    // first.
    const std::uint8_t zeros[2 * kTarBlockSize] = {};
    return morven::WriteAll(w.fd, zeros, sizeof zeros) ? GTE_OK : GTE_WRITE;
}

}  // namespace gtlib
