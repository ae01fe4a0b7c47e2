// Removing TAR members (GT_TAR_DELETE), on a copy or in the archive itself.
#include "gtlib/engine/tar.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "gtlib/engine/tar_internal.h"

namespace gtlib {

using namespace tar_detail;

int TarDeleteFromArchive(const std::string& archive_path, const std::string& temp_path,
                         const std::function<bool(const std::string& name)>* matches, long index,
                         bool grow_existing, const std::function<void(const std::string& name)>& log_deleted) {
    int fd;
    if (grow_existing) {
        fd = ::open(archive_path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return GTE_OPEN;
    } else {
        const int old = ::open(archive_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (old < 0) return GTE_OPEN;
        fd = ::open(temp_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            ::close(old);
            return GTE_CREATE;
        }
        const bool copied = AppendFile(old, fd);
        ::close(old);
        if (!copied) {
            ::close(fd);
            return GTE_WRITE;
        }
    }
    const int result = TarDeleteMembers(fd, matches, index, log_deleted);
    ::close(fd);
    return result;
}

int TarRemoveMember(int fd, std::uint64_t member_start, std::uint64_t member_end) {
    const std::uint64_t size = FileSize(fd);
    const std::uint64_t length = member_end - member_start;
    std::vector<std::uint8_t> buf(kCopyPiece);
    for (std::uint64_t from = member_end; from < size;) {
        const ssize_t n = PreadFull(fd, buf.data(), buf.size(), from);
        if (n <= 0) return GTE_READ;
        std::size_t done = 0;
        while (done < static_cast<std::size_t>(n)) {
            const ssize_t w = ::pwrite(fd, buf.data() + done, static_cast<std::size_t>(n) - done,
                                       static_cast<off_t>(from - length + done));
            if (w <= 0) {
                if (w < 0 && errno == EINTR) continue;
                return GTE_WRITE;
            }
            done += static_cast<std::size_t>(w);
        }
        from += static_cast<std::uint64_t>(n);
    }
    if (::ftruncate(fd, static_cast<off_t>(size - length)) != 0) return GTE_WRITE;
    ::lseek(fd, static_cast<off_t>(member_start), SEEK_SET);
    return GTE_OK;
}

int TarDeleteMembers(int fd, const std::function<bool(const std::string& name)>* matches, long index,
                     const std::function<void(const std::string& name)>& log_deleted) {
    TarReader r;
    r.fd = fd;
    auto code = [](int reader_result) {
        return reader_result == kTarReadError ? GTE_READ : reader_result == kTarCancelled ? GTE_ABORT : GTE_STRUCT;
    };
    if (matches && *matches) {
        ::lseek(fd, 0, SEEK_SET);
        for (;;) {
            TarHeaderRead m;
            const int res = TarReadHeader(r, kTarCountAll, 0, &m, false, false);
            if (res == kTarEnd) return GTE_OK;
            if (res != kTarFound) return code(res);
            if ((*matches)(m.name)) {
                const int rm = TarRemoveMember(fd, m.memberStart, m.nextOffset);
                if (rm != GTE_OK) return rm;
                if (log_deleted) log_deleted(m.name);
            }
        }
    }
    if (index < 0) return GTE_INDEX;
    TarHeaderRead m;
    const int res = TarReadHeader(r, kTarCountAll, index, &m, true, false);
    if (res == kTarEnd) return GTE_INDEX;
    if (res != kTarFound) return code(res);
    const int rm = TarRemoveMember(fd, m.memberStart, m.nextOffset);
    if (rm == GTE_OK && log_deleted) log_deleted(m.name);
    return rm;
}

}  // namespace gtlib
