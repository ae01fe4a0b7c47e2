// Building a TAR archive (GT_TAR, GT_TAR_MEMTOFILE): a copy grown in a temporary file, or the archive grown
// in place and put back as it was when the append fails; cutting an archive at its end block.
#include "gtlib/engine/tar.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "gtlib/engine/tar_internal.h"
#include "platform/core/files.h"

namespace gtlib {

using namespace tar_detail;

bool tar_detail::AppendFile(int from_fd, int to_fd) {
    std::vector<std::uint8_t> buf(kCopyPiece);
    ::lseek(from_fd, 0, SEEK_SET);
    for (;;) {
        const ssize_t n = ReadFull(from_fd, buf.data(), buf.size());
        if (n < 0) return false;
        if (n == 0) return true;
        if (!morven::WriteAll(to_fd, buf.data(), static_cast<std::size_t>(n))) return false;
    }
}

namespace {

int CutResult(int r) {
    return r == kTarBadHeader ? GTE_STRUCT : r == kTarReadError ? GTE_READ : r == kTarCancelled ? GTE_ABORT : r;
}

// What an archive holds after its end block (its end blocks and any padding to a tape block), kept so a
// failed append can put it back; a longer tail than this is put back as two zero blocks.
constexpr std::uint64_t kMaxKeptTail = 1 << 20;

// Appends the finished members in `from_fd` to the archive at its end block. When the append fails (a full
// disk, a write error), the archive is cut back to where its end block was and what followed it there is
// written back, so it holds exactly what it held before.
int AppendAtEnd(int archive, int from_fd) {
    TarReader r;
    r.fd = archive;
    ::lseek(archive, 0, SEEK_SET);
    if (const int walk = Walk(r, kTarCountAll, [](TarHeaderRead&) { return false; }); walk != kTarEnd)
        return CutResult(walk);
    const off_t end_at = ::lseek(archive, 0, SEEK_CUR);
    if (end_at < 0) return GTE_READ;
    const std::uint64_t end = static_cast<std::uint64_t>(end_at);
    const std::uint64_t old_size = FileSize(archive);
    std::vector<std::uint8_t> tail;
    if (old_size > end) {
        tail.assign(static_cast<std::size_t>(std::min(old_size - end, kMaxKeptTail)), 0);
        if (old_size - end > kMaxKeptTail) tail.assign(2 * kTarBlockSize, 0);
        else if (PreadFull(archive, tail.data(), tail.size(), end) != static_cast<ssize_t>(tail.size()))
            return GTE_READ;
    }
    const std::uint64_t added = FileSize(from_fd);
    const bool appended = ::lseek(archive, end_at, SEEK_SET) >= 0 && AppendFile(from_fd, archive) &&
                          ::ftruncate(archive, static_cast<off_t>(end + added)) == 0;
    if (appended) return GTE_OK;
    // Put the archive back as it was: its length first (which frees what the append took), then its tail.
    if (::ftruncate(archive, end_at) == 0 && !tail.empty()) {
        std::size_t done = 0;
        while (done < tail.size()) {
            const ssize_t w = ::pwrite(archive, tail.data() + done, tail.size() - done, end_at + static_cast<off_t>(done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) break;
            done += static_cast<std::size_t>(w);
        }
    }
    return GTE_WRITE;
}

}  // namespace


int TarBuildArchive(const std::string& archive_path, const std::string& temp_path,
                    const std::vector<TarWriteItem>& items, bool grow_existing, TarWriter& w,
                    const std::function<void(int code, const std::string& temp_path)>& on_error) {
    const int temp = ::open(temp_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (temp < 0) return GTE_CREATE;
    int result = GTE_OK;
    w.sourceError = GTE_OK;
    if (!grow_existing) {
        const int old = ::open(archive_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (old >= 0) {
            const bool copied = AppendFile(old, temp);
            ::close(old);
            if (!copied) result = GTE_WRITE;
            else if (const int r = TarTruncateForAppend(temp); r != GTE_OK) result = CutResult(r);
            ::lseek(temp, 0, SEEK_END);
        }
    }
    w.fd = temp;
    for (std::size_t i = 0; i < items.size() && result == GTE_OK; ++i) {
        result = TarWriteEntry(w, items[i]);
        if (result == GTE_OK) result = TarWriteFileData(w);
        if (result == GTE_OK && w.sourceError != GTE_OK) result = w.sourceError;
        if (result != GTE_OK && on_error) on_error(result, temp_path);
    }
    if (result == GTE_OK) result = TarWriteEnd(w);
    if (result == GTE_OK && grow_existing) {
        const int archive = ::open(archive_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (archive < 0) {
            result = GTE_OPEN;
        } else {
            result = AppendAtEnd(archive, temp);
            ::close(archive);
        }
    }
    ::close(temp);
    w.fd = -1;
    if (grow_existing) ::unlink(temp_path.c_str());
    return result;
}

int TarTruncateForAppend(int fd) {
    TarReader r;
    r.fd = fd;
    ::lseek(fd, 0, SEEK_SET);
    const int result = Walk(r, kTarCountAll, [](TarHeaderRead&) { return false; });
    if (result != kTarEnd) return result;
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    if (end < 0) return GTE_READ;
    if (static_cast<std::uint64_t>(end) < FileSize(fd) && ::ftruncate(fd, end) != 0) return GTE_WRITE;
    return GTE_OK;
}

}  // namespace gtlib
