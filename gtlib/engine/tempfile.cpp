#include "gtlib/engine/tempfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <thread>

#include "gtlib/engine/filelist.h"
#include "gtlib/engine/gt_state.h"
#include "platform/core/files.h"

namespace gtlib {

std::string TempFilePrefix(std::uint64_t id) {
    static constexpr char kChars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_";
    return std::string{'G', kChars[id % 37], kChars[(id / 37) % 37]};
}

int CreateDirectoryPath(std::string_view filePath) {
    const std::string path = NativePath(filePath);
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return GTE_OK;
    return morven::MakeFolders(path.substr(0, slash)) ? GTE_OK : GTE_CREATE;
}

int MakeTempFileName(std::string_view tempPath, std::string& name) {
    name.clear();
    std::string folder = NativePath(tempPath);
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    const std::uint64_t tid = std::hash<std::thread::id>{}(std::this_thread::get_id());
    const std::string prefix = TempFilePrefix(tid);
    if (CreateDirectoryPath(folder + "x") != GTE_OK) return GTE_CREATE;
    // Like the system's own unique numbers: start from the clock and step until a free name is found.
    unsigned start = static_cast<unsigned>(::time(nullptr) ^ ::getpid()) & 0xFFFF;
    for (unsigned i = 0; i < 0x10000; ++i) {
        char num[8];
        std::snprintf(num, sizeof num, "%04X", (start + i) & 0xFFFF);
        std::string candidate = folder + prefix + num + ".TMP";
        const int fd = ::open(candidate.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            name = std::move(candidate);
            return GTE_OK;
        }
        if (errno != EEXIST) return GTE_CREATE;
    }
    return GTE_CREATE;
}

int CopyFileData(GtEngineState& st, int fromFd, int toFd, std::int64_t length) {
    char buf[8192];
    std::int64_t left = length;
    while (length < 0 || left > 0) {
        const std::size_t want = length < 0 || left > static_cast<std::int64_t>(sizeof buf)
                                     ? sizeof buf
                                     : static_cast<std::size_t>(left);
        const ssize_t r = ::read(fromFd, buf, want);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return GTE_READ;
        if (r == 0) break;
        if (!morven::WriteAll(toFd, buf, static_cast<std::size_t>(r))) return GTE_TEMP;
        left -= r;
        if (st.CancelPoll()) return GTE_ABORT;
    }
    return GTE_OK;
}

int ReplaceOriginalFile(GtEngineState& st, std::string_view target, std::string_view temporary) {
    const std::string to = NativePath(target), from = NativePath(temporary);
    // The move replaces an existing target (a link among them, not what it points to) in one step.
    if (::rename(from.c_str(), to.c_str()) == 0) return GTE_OK;
    struct stat sb {};
    if (::lstat(to.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode)) return GTE_CREATE;
    // Another file system: the data are copied into a new file beside the target, which then takes the
    // target's place; until then the target stays as it was, so a copy that fails loses nothing.
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return GTE_TEMP;
    const std::size_t slash = to.rfind('/');
    std::string beside;
    if (MakeTempFileName(slash == std::string::npos ? std::string(".") : to.substr(0, slash), beside) != GTE_OK) {
        ::close(in);
        return GTE_CREATE;
    }
    const int out = ::open(beside.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (out < 0) {
        ::close(in);
        ::unlink(beside.c_str());
        return GTE_CREATE;
    }
    int rc = CopyFileData(st, in, out);
    if (rc == GTE_TEMP) rc = GTE_WRITE;
    ::close(in);
    if (::close(out) != 0 && rc == GTE_OK) rc = GTE_WRITE;
    if (rc == GTE_OK && ::rename(beside.c_str(), to.c_str()) != 0) rc = GTE_CREATE;
    if (rc != GTE_OK) {
        ::unlink(beside.c_str());
        return rc;
    }
    ::unlink(from.c_str());
    return GTE_OK;
}

}  // namespace gtlib
