// A TAR walk with extraction of every member into a sandbox folder. Whatever the archive holds, everything
// must land inside the destination folder, every link made must lead to a place inside it, and every
// output file must be complete or absent.
#include <sys/stat.h>
#include <unistd.h>
#include <fcntl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "gtlib/engine/tar.h"

namespace fs = std::filesystem;

namespace {

const fs::path& Sandbox() {
    static const fs::path root = [] {
        std::string tmpl = (fs::temp_directory_path() / "fuzz_tar_XXXXXX").string();
        return fs::path(mkdtemp(tmpl.data()));
    }();
    return root;
}

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path root = Sandbox();          // root/box/{archive.tar, dest}
    const fs::path box = root / "box";
    const fs::path dest = box / "dest";
    std::error_code ec;
    fs::remove_all(box, ec);
    fs::create_directories(dest);
    const fs::path archive = box / "archive.tar";
    {
        const int fd = ::open(archive.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        Check(fd >= 0 && ::write(fd, data, size) == static_cast<ssize_t>(size));
        ::close(fd);
    }
    const int fd = ::open(archive.c_str(), O_RDONLY);
    gtlib::TarReader r;
    r.fd = fd;
    r.archiveName = archive.string();
    gtlib::UntarContext ctx;
    ctx.archiveFd = fd;
    ctx.archivePath = archive.string();
    ctx.destination = dest.string();
    ctx.overwrite = true;
    std::map<std::string, gtlib::TarDataSpan> extracted;
    ctx.extracted = &extracted;
    bool first = true;
    for (int i = 0; i < 64; ++i) {
        gtlib::TarHeaderRead m;
        if (gtlib::TarReadHeader(r, gtlib::kTarCountAll, 0, &m, first, false) != gtlib::kTarFound) break;
        first = false;
        const int res = gtlib::UntarItem(ctx, m, m.name);
        if (res != gtlib::UGTE_OK && res != gtlib::UGTE_SKIP && res != gtlib::UGTE_CREATE) break;
    }
    ::close(fd);

    // Nothing beside the box, nothing in the box but the archive and the destination.
    for (const auto& e : fs::directory_iterator(root)) Check(e.path().filename() == "box");
    for (const auto& e : fs::directory_iterator(box))
        Check(e.path().filename() == "archive.tar" || e.path().filename() == "dest");
    Check(fs::file_size(archive) == size);
    // Links only to places inside the destination, no temporary files left there.
    const std::string inside = fs::canonical(dest).string() + "/";
    for (auto it = fs::recursive_directory_iterator(dest); it != fs::recursive_directory_iterator(); ++it) {
        if (it->is_symlink()) {
            const std::string target = fs::weakly_canonical(it->path(), ec).string() + "/";
            Check(ec || target.compare(0, inside.size(), inside) == 0);
        }
        Check(it->path().extension() != ".part");
        Check(it->path().filename().string().rfind(".link.", 0) != 0);
    }
    return 0;
}
