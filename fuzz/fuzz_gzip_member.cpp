// A whole GZIP member from memory through the decompression engine (memory to memory: the header reader,
// the decoder and the output path). The input is handed over in pieces whose sizes come from the data.
// When the engine and zlib both accept the first member, the engine's output must begin with zlib's (the
// engine goes on with any further members, zlib's single-member read stops there).
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gtlib/engine/records.h"
#include "gtlib/engine/ugt_engine.h"

namespace {

constexpr std::size_t kCap = 1 << 20;

struct Feed {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
    std::vector<std::uint8_t> out;
};

void Transfer(int32_t direction, unsigned char* buffer, int32_t* size, uint32_t, uint32_t, uint32_t, uint32_t,
              void* user, int32_t* answer) {
    auto* f = static_cast<Feed*>(user);
    if (direction == gtlib::MEM_READ_DATA) {
        // Piece sizes vary with the data so that refills fall everywhere.
        const std::size_t piece = 1 + (f->pos < f->size ? f->data[f->pos] % 97 : 0);
        const std::size_t n = std::min({static_cast<std::size_t>(*size), piece, f->size - f->pos});
        std::memcpy(buffer, f->data + f->pos, n);
        f->pos += n;
        *size = static_cast<int32_t>(n);
        *answer = f->pos == f->size ? gtlib::MEM_DONE : gtlib::MEM_CONTINUE;
        return;
    }
    if (f->out.size() + static_cast<std::size_t>(*size) > kCap) {
        *answer = gtlib::MEM_ERROR;
        return;
    }
    f->out.insert(f->out.end(), buffer, buffer + *size);
    *answer = gtlib::MEM_CONTINUE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Feed feed{data, size, 0, {}};
    gtlib::CALLBACKSTRUCT cb{};
    cb.ulStructSize = gtlib::kCallbackStructSize;
    cb.lpMemToMemProc = &Transfer;
    cb.lpMemToMemUserData = &feed;
    gtlib::UGTCMDSTRUCT cmd{};
    cmd.ulugtStructSize = gtlib::kUgtCmdStructSize;
    cmd.lFunction = gtlib::UGT_GUNZIP_MEMTOMEM;
    cmd.lpszFilespec = "";
    cmd.lpszDestination = "";
    cmd.lIndex = -1;
    cmd.bAllQuiet = 1;
    cmd.lpszReturnString = nullptr;
    cmd.lpCallbackStruct = &cb;
    const int32_t r = gtlib::UgtMain(&cmd);

    if (r == gtlib::UGTE_OK && feed.out.size() < kCap) {
        z_stream s{};
        if (inflateInit2(&s, 15 + 16) != Z_OK) return 0;
        static std::vector<std::uint8_t> buffer(kCap + 1);
        s.next_in = const_cast<std::uint8_t*>(data);
        s.avail_in = static_cast<uInt>(size);
        s.next_out = buffer.data();
        s.avail_out = static_cast<uInt>(buffer.size());
        const int zr = inflate(&s, Z_FINISH);
        const std::vector<std::uint8_t> theirs(buffer.begin(), buffer.begin() + static_cast<long>(s.total_out));
        inflateEnd(&s);
        if (zr == Z_STREAM_END &&
            (theirs.size() > feed.out.size() || !std::equal(theirs.begin(), theirs.end(), feed.out.begin())))
            std::abort();
    }
    return 0;
}
