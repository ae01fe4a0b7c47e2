// Extracting one TAR member: the safe path below the destination, links, the overwrite questions and the
// member's data into its output.
#include "gtlib/engine/tar.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "gtlib/engine/overwrite.h"
#include "gtlib/engine/tar_internal.h"
#include "platform/core/files.h"

namespace gtlib {

using namespace tar_detail;

namespace {

bool IsDirectoryMember(const TarHeaderRead& m) {
    return m.header[kTypeOffset] == '5' || (!m.name.empty() && m.name.back() == '\\');
}

// Creates the folders of dest/rel (all parts of rel but the last, or all when whole); refuses to pass
// through a link or a file.
bool MakeEntryFolders(const std::string& dest, const std::string& rel, bool whole) {
    std::string path = dest;
    if (!morven::MakeFolders(dest)) return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = rel.find('/', start);
        if (slash == std::string::npos && !whole) return true;
        const std::string part = rel.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        path += "/" + part;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return false;
        } else if (::mkdir(path.c_str(), 0777) != 0) {
            return false;
        }
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

// The folders of a path the rename procedure chose: the host's own choice, made as it stands.
bool MakeChosenFolders(const std::string& path, bool whole) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = whole ? path : (slash == std::string::npos ? std::string() : path.substr(0, slash));
    return folder.empty() || morven::MakeFolders(folder);
}

}  // namespace

// ---- Extraction ----------------------------------------------------------------------------------------

bool TarSafeRelativePath(const std::string& member_name, bool no_directory_names, std::string* relative) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= member_name.size()) {
        std::size_t sep = member_name.find_first_of("/\\", start);
        if (sep == std::string::npos) sep = member_name.size();
        std::string part = member_name.substr(start, sep - start);
        if (parts.empty() && part.size() >= 2 && part[1] == ':' &&
            ((part[0] >= 'A' && part[0] <= 'Z') || (part[0] >= 'a' && part[0] <= 'z')))
            part.erase(0, 2);  // drive letter
        if (part == "..") return false;
        if (!part.empty() && part != ".") parts.push_back(part);
        start = sep + 1;
    }
    relative->clear();
    if (parts.empty()) return true;  // the destination itself ("./", "/")
    if (no_directory_names) parts.erase(parts.begin(), parts.end() - 1);
    for (const auto& p : parts) {
        if (!relative->empty()) *relative += '/';
        *relative += p;
    }
    return true;
}

namespace {

// Is a symbolic link's target inside the destination when the link lies at `rel` (its path below the
// destination)? Only a relative target whose ".." parts all come first and climb no higher than the link's
// own folder: the folders it climbs through are real folders the extraction made (never links), so the
// target means the same to the file system as it does here, and it cannot be turned outward by a link
// made later.
bool LinkTargetInside(const std::string& rel, std::string target) {
    std::replace(target.begin(), target.end(), '\\', '/');
    if (target.empty() || target[0] == '/' || (target.size() >= 2 && target[1] == ':')) return false;
    std::size_t depth = static_cast<std::size_t>(std::count(rel.begin(), rel.end(), '/'));
    bool descended = false;
    std::size_t start = 0;
    while (start <= target.size()) {
        std::size_t slash = target.find('/', start);
        if (slash == std::string::npos) slash = target.size();
        const std::string part = target.substr(start, slash - start);
        if (part == "..") {
            if (descended || depth == 0) return false;
            --depth;
        } else if (!part.empty() && part != ".") {
            descended = true;
        }
        start = slash + 1;
    }
    return true;
}

// Makes a symbolic link at `path` (replacing a file or link there): made beside it under a passing name,
// then moved into place.
int MakeSymlink(const std::string& target, const std::string& path) {
    std::string link_target = target;
    std::replace(link_target.begin(), link_target.end(), '\\', '/');
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string temp = folder + ".link." + std::to_string(::getpid()) + "." + std::to_string(attempt);
        if (::symlink(link_target.c_str(), temp.c_str()) != 0) {
            if (errno == EEXIST) continue;
            return UGTE_CREATE;
        }
        if (::rename(temp.c_str(), path.c_str()) != 0) {
            ::unlink(temp.c_str());
            return UGTE_CREATE;
        }
        return UGTE_OK;
    }
    return UGTE_CREATE;
}

}  // namespace

int UntarItem(UntarContext& ctx, const TarHeaderRead& member, const std::string& name) {
    const std::uint64_t after = member.nextOffset;
    auto done = [&](int code) {
        ::lseek(ctx.archiveFd, static_cast<off_t>(after), SEEK_SET);
        return code;
    };
    const std::uint8_t type = member.header[kTypeOffset];
    const bool directory = IsDirectoryMember(member) || (!name.empty() && (name.back() == '\\' || name.back() == '/'));
    // A hard link that carries data of its own (some writers store them so) is extracted as those data.
    const bool hard_link = type == '1' && member.storedSize == 0 && !member.sparse;
    const bool symlink = type == '2';
    const bool regular = type == '0' || type == 0 || type == '7' || type == 'S' || (type == '1' && !hard_link);
    std::string rel;
    const bool to_file = ctx.output == OutputKind::kFile;
    auto skip = [&] {
        if (ctx.log) ctx.log(TarEvent::kSkipped, name);
        return done(UGTE_SKIP);
    };
    if (directory && ctx.noDirectoryNames) return done(UGTE_OK);  // nothing to create
    if ((!regular && !hard_link && !symlink && !directory) || !TarSafeRelativePath(name, ctx.noDirectoryNames, &rel) ||
        (rel.empty() && !directory))
        return skip();
    if (rel.empty()) return done(UGTE_OK);  // "./": the destination itself
    std::string path = ctx.destination + "/" + rel;

    // Where the data come from: the member's own, or for a hard link those of the member it names, when
    // that was extracted earlier in this run.
    TarDataSpan source{member.dataOffset, member.storedSize, member.dataSize, member.sparse, member.segments};
    if (hard_link) {
        std::string target;
        if (!ctx.extracted || !TarSafeRelativePath(member.linkName, false, &target)) return skip();
        const auto found = ctx.extracted->find(target);
        if (found == ctx.extracted->end()) return skip();
        source = found->second;
    }
    if (symlink && (!LinkTargetInside(rel, member.linkName) || !(to_file || ctx.output == OutputKind::kTest)))
        return skip();

    // The stored permission bits; a header without them (an empty field) gives a plain file's.
    std::uint64_t mode_value = 0644;
    if (member.header[100] == 0 || !TarParseNumber(member.header + 100, 8, &mode_value)) mode_value = 0644;
    unsigned mode = static_cast<unsigned>(mode_value & 07777);
    std::int64_t mtime = member.mtime;
    const std::string inside = path;
    if (to_file && ctx.rename) ctx.rename(path, name, mtime, mode);
    const std::uint32_t attributes = (mode & 0200) ? 0u : std::uint32_t{ATTR_READONLY};

    bool overwrite_ro = ctx.overwriteReadOnly;
    bool existed = false;
    if (to_file) {
        const bool made =
            path == inside ? MakeEntryFolders(ctx.destination, rel, directory) : MakeChosenFolders(path, directory);
        if (!made) return done(UGTE_CREATE);
        if (directory) {
            if (ctx.log) ctx.log(TarEvent::kExtracted, path);
            return done(UGTE_OK);
        }
        if (SameFile(path, ctx.archivePath)) {
            if (ctx.selfOverwrite) ctx.selfOverwrite(path);
            return done(UGTE_SKIP);
        }
        OverwriteRules rules;
        rules.overwriteAll = &ctx.overwrite;
        rules.quiet = ctx.allQuiet;
        rules.ask = ctx.askOverwrite;
        rules.rename = ctx.renameDialog;
        rules.skipped = [&ctx](const std::string& skipped) {
            if (ctx.log) ctx.log(TarEvent::kSkipped, skipped);
        };
        const OverwriteOutcome decided = DecideOverwrite(rules, path);
        if (decided.decision == OverwriteDecision::kCancel) return done(UGTE_ABORT);
        if (decided.decision == OverwriteDecision::kSkip) return done(UGTE_SKIP);
        existed = decided.replaced;
        overwrite_ro = overwrite_ro || decided.readOnlyAgreed;
    } else if (directory) {
        return done(UGTE_OK);
    }

    if (symlink) {
        if (to_file) {
            const int made = MakeSymlink(member.linkName, path);
            if (made != UGTE_OK) return done(made);
        }
        const TarEvent event = !to_file ? TarEvent::kTested : existed ? TarEvent::kOverwritten : TarEvent::kExtracted;
        if (ctx.log) ctx.log(event, path);
        return done(UGTE_OK);
    }

    InflateJob job;
    job.method = 0;
    job.tarMember = true;
    job.compressedLeft = source.size;
    job.expectedSize = source.fileSize;
    job.sparse = source.sparse;
    job.segments = source.segments;
    job.fileMode = static_cast<int>(mode & 0777);
    job.mtime = mtime;
    job.attributes = attributes;
    job.inputFd = ctx.archiveFd;
    job.output = ctx.output;
    job.lfToCrlf = ctx.lfToCrlf;
    job.leavePartial = ctx.leavePartial;
    job.overwriteReadOnly = overwrite_ro;
    job.memBlock = ctx.memBlock;
    job.memBlockSize = ctx.memBlockSize;
    job.startingOffset = ctx.startingOffset;
    job.memTransfer = ctx.memTransfer;
    job.progress = ctx.progress;
    // The input is read in blocks aligned to 10240 bytes in the archive.
    const std::uint64_t data = source.offset;
    const std::uint64_t aligned = data / kInputBlockSize * kInputBlockSize;
    if (job.compressedLeft > 0) {
        const ssize_t n = PreadFull(ctx.archiveFd, job.inBlock.data(), kInputBlockSize, aligned);
        if (n < 0 || static_cast<std::uint64_t>(n) < data - aligned) return done(UGTE_STRUCT);
        job.inFill = static_cast<std::size_t>(n);
        job.inPos = static_cast<std::size_t>(data - aligned);
        ::lseek(ctx.archiveFd, static_cast<off_t>(aligned + static_cast<std::uint64_t>(n)), SEEK_SET);
    }
    if (to_file) {
        const int r = PrepareOutputFile(job, path);
        if (r != UGTE_OK) return done(r);
    }
    int result = InflateItem(job);
    ctx.memProduced = job.memProduced;
    if (job.cancel && result != UGTE_ABORT && result > 1) result = UGTE_ABORT;
    const bool memory = ctx.output == OutputKind::kMemory;
    if (result == UGTE_OK || (memory && result == 1)) {
        std::string key;
        if (ctx.extracted && TarSafeRelativePath(name, false, &key)) (*ctx.extracted)[key] = source;
        if (ctx.log) {
            switch (ctx.output) {
            case OutputKind::kTest:
                ctx.log(TarEvent::kTested, path);
                break;
            case OutputKind::kMemory:
                ctx.log(TarEvent::kMemory, path);
                break;
            case OutputKind::kStream:
            case OutputKind::kMemToMem:
                ctx.log(TarEvent::kMemoryToMemory, path);
                break;
            case OutputKind::kFile:
                ctx.log(existed ? TarEvent::kOverwritten : TarEvent::kExtracted, path);
                break;
            }
        }
    }
    return done(result);
}

}  // namespace gtlib
