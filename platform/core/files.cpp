#include "platform/core/files.h"
#include "platform/core/text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morven {
namespace {

bool WildMatch(std::string_view p, std::string_view n) {
    // Iterative match with one backtrack point for the last "*".
    std::size_t pi = 0, ni = 0, starP = std::string_view::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || LowerAscii(p[pi]) == LowerAscii(n[ni]))) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

std::string DirOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

bool WriteAll(int fd, std::string_view data) {
    int emptyTries = 0;
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            emptyTries = 0;
            continue;
        }
        if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
        if (++emptyTries >= 20) return false;
    }
    return true;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    return WriteAll(fd, std::string_view(static_cast<const char*>(data), size));
}

namespace {

// Both full reads: `once(done)` reads what is left after `done` bytes.
template <typename Read>
ssize_t FillFrom(std::size_t size, Read once) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = once(done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

}  // namespace

ssize_t ReadFull(int fd, void* data, std::size_t size) {
    auto* p = static_cast<char*>(data);
    return FillFrom(size, [&](std::size_t done) { return read(fd, p + done, size - done); });
}

ssize_t PreadFull(int fd, void* data, std::size_t size, std::uint64_t offset) {
    auto* p = static_cast<char*>(data);
    return FillFrom(size, [&](std::size_t done) {
        return pread(fd, p + done, size - done, static_cast<off_t>(offset + done));
    });
}

bool MakeFolders(std::string_view folder, unsigned mode, std::string* failed) {
    std::string path(folder);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty()) return true;
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i != path.size() && (path[i] != '/' || path[i - 1] == '/')) continue;
        const std::string part = path.substr(0, i);
        struct stat st {};
        if (stat(part.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) continue;
            errno = ENOTDIR;
        } else if (mkdir(part.c_str(), static_cast<mode_t>(mode)) == 0) {
            continue;
        } else if (errno == EEXIST) {
            if (DirectoryExists(part)) continue;  // made by another process meanwhile
            errno = ENOTDIR;
        }
        if (failed) *failed = part;
        return false;
    }
    return true;
}

bool MakeParentFolders(std::string_view path, unsigned mode) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0) return true;
    return MakeFolders(path.substr(0, slash), mode);
}

bool DosMatch(std::string_view pattern, std::string_view name) {
    if (WildMatch(pattern, name)) return true;
    const bool noPoint = name.find('.') == std::string_view::npos;
    if (noPoint && pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*") {
        return WildMatch(pattern.substr(0, pattern.size() - 2), name);
    }
    if (noPoint && !pattern.empty() && pattern.back() == '.') {
        return WildMatch(pattern.substr(0, pattern.size() - 1), name);
    }
    return false;
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
    contents.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (n == 0) break;
        contents.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return ok;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view contents, std::string* error, bool flush) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + std::strerror(errno);
        return false;
    };
    const std::string dir = DirOf(path);
    std::string tmp = path + ".tmpXXXXXX";
    const int fd = mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return fail("cannot create a temporary file beside " + path);

    mode_t mode = 0644;
    struct stat st{};
    if (stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
    bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, contents) && (!flush || fsync(fd) == 0);
    const int savedErrno = errno;
    if (close(fd) != 0) ok = false;
    if (!ok) {
        unlink(tmp.c_str());
        errno = savedErrno;
        return fail("cannot write " + tmp);
    }
    if (rename(tmp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        unlink(tmp.c_str());
        errno = e;
        return fail("cannot rename the temporary file to " + path);
    }
    if (!flush) return true;
    // Make the rename itself durable.
    const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    return true;
}

std::vector<DirEntry> ListFolder(const std::string& folder, std::string_view pattern) {
    std::vector<DirEntry> out;
    DIR* d = opendir(folder.c_str());
    if (!d) return out;
    while (const dirent* e = readdir(d)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        if (!DosMatch(pattern, name)) continue;
        DirEntry entry{std::string(name), EntryKind::Other};
        struct stat st{};
        if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(st.st_mode)) {
                entry.kind = EntryKind::Link;
            } else if (S_ISDIR(st.st_mode)) {
                entry.kind = EntryKind::Directory;
            } else if (S_ISREG(st.st_mode)) {
                entry.kind = EntryKind::File;
            }
        }
        out.push_back(std::move(entry));
    }
    closedir(d);
    std::sort(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return out;
}

std::optional<std::string> FindNameNoCase(const std::string& folder, std::string_view name) {
    if (name.empty()) return std::nullopt;
    std::optional<std::string> found;
    DIR* d = opendir(folder.c_str());
    if (!d) return found;
    while (const dirent* e = readdir(d)) {
        const std::string_view n = e->d_name;
        if (n == name) {
            found = std::string(n);
            break;
        }
        if (!found && EqualsNoCase(n, name)) found = std::string(n);
    }
    closedir(d);
    return found;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    while (!name.empty() && name.front() == '/') name.remove_prefix(1);
    if (out.empty()) return std::string(name);
    if (out.back() != '/') out += '/';
    out += name;
    return out;
}

std::string ResolveNoCase(const std::string& folder, std::string_view name) {
    const auto stored = FindNameNoCase(folder, name);
    return JoinPath(folder, stored ? std::string_view(*stored) : name);
}

bool FileExists(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace morven
