// The decompression engine on outside input: the bytes are taken as a GZIP file and as a TAR file and run
// through the information, comment, test, memory and extraction actions. Nothing may crash, every result
// must be one of the engine's codes, no byte may be written outside the memory block, and everything
// extracted (and every link made) must lead to a place inside the destination folder.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "gtlib/engine/messages.h"
#include "gtlib/engine/records.h"
#include "gtlib/engine/ugt_engine.h"

namespace fs = std::filesystem;

namespace {

const fs::path& Sandbox() {
    static const fs::path root = [] {
        std::string tmpl = (fs::temp_directory_path() / "fuzz_ugt_XXXXXX").string();
        return fs::path(mkdtemp(tmpl.data()));
    }();
    return root;
}

void Check(bool ok) {
    if (!ok) std::abort();
}

int32_t Run(int32_t action, const std::string& file, const std::string& dest, gtlib::UGTCMDSTRUCT c) {
    c.ulugtStructSize = gtlib::kUgtCmdStructSize;
    c.lFunction = action;
    c.lpszGTFile = file.c_str();
    c.lpszDestination = dest.c_str();
    if (c.lpszFilespec == nullptr) c.lpszFilespec = "*.*";
    c.bAllQuiet = -1;
    c.bOverWriteFlag = -1;
    c.bRecurseFlag = -1;
    const int32_t r = gtlib::UgtMain(&c);
    Check(r >= 0 && r <= 17);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path input = Sandbox() / "input.bin";
    {
        const int fd = ::open(input.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return 0;
        if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) {
            ::close(fd);
            return 0;
        }
        ::close(fd);
    }
    const fs::path out = Sandbox() / "out";
    std::error_code ec;
    fs::remove_all(out, ec);

    gtlib::UGTCMDSTRUCT c = gtlib::NewUgtCmdStruct();
    gtlib::GZIPINFO gi = gtlib::NewGzipInfo();
    c.gzipInfo = &gi;
    Run(gtlib::UGT_GETGZIPINFO, input.string(), "", c);
    Check(gi.szFileName[sizeof gi.szFileName - 1] == 0 && gi.szDateTime[sizeof gi.szDateTime - 1] == 0);

    char comment[33];
    std::memset(comment, 0x55, sizeof comment);
    c = gtlib::NewUgtCmdStruct();
    c.lpszReturnString = comment;
    c.lReturnCount = 31;
    Run(gtlib::UGT_GETGZIPCOMMENT, input.string(), "", c);
    Check(comment[32] == 0x55 && c.lReturnCount <= 31);

    std::vector<unsigned char> block(65);
    block[64] = 0xA5;
    c = gtlib::NewUgtCmdStruct();
    c.lpMemBlock = block.data();
    c.lMemBlockSize = 64;
    c.lStartingOffset = static_cast<int32_t>(size % 7);
    Run(gtlib::UGT_GUNZIP_FILETOMEM, input.string(), "", c);
    Check(block[64] == 0xA5 && c.lMemBlockSize <= 64);

    c = gtlib::NewUgtCmdStruct();
    c.TestFlag = -1;
    Run(gtlib::UGT_GUNZIP, input.string(), "", c);
    Run(gtlib::UGT_GUNZIP, input.string(), out.string(), gtlib::NewUgtCmdStruct());

    gtlib::TARINFO ti = gtlib::NewTarInfo();
    c = gtlib::NewUgtCmdStruct();
    c.tarInfo = &ti;
    Run(gtlib::UGT_UNTAR_COUNTALLMEMBERS, input.string(), "", c);
    for (int i = 0; i < 64 && Run(gtlib::UGT_UNTAR_GETNEXTINFO, input.string(), "", c) == 0; ++i)
        Check(ti.szFileName[sizeof ti.szFileName - 1] == 0);
    Run(gtlib::UGT_UNTAR, input.string(), out.string(), gtlib::NewUgtCmdStruct());

    // Everything extracted lies inside the destination, and every link made leads to a place inside it.
    if (fs::exists(out)) {
        const std::string root = fs::weakly_canonical(out).string();
        for (auto it = fs::recursive_directory_iterator(out, ec); it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            std::error_code lec;
            const std::string where = fs::weakly_canonical(it->path(), lec).string();
            Check(lec || where.rfind(root, 0) == 0);
        }
    }
    for (const auto& e : fs::directory_iterator(Sandbox(), ec))
        if (e.path().filename() != "input.bin" && e.path().filename() != "out") Check(false);
    return 0;
}
