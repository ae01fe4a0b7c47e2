// Deflate then inflate: the first byte picks the level, the rest is the data. Our inflate and zlib's must
// both give the data back exactly.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gtlib/engine/deflate.h"
#include "gtlib/engine/inflate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const int level = data[0] % 9 + 1;
    const std::vector<std::uint8_t> in(data + 1, data + size);
    const std::vector<std::uint8_t> z = gtlib::DeflateBuffer(in.data(), in.size(), level);
    std::vector<std::uint8_t> out;
    std::size_t consumed = 0;
    if (gtlib::InflateBuffer(z.data(), z.size(), out, {}, SIZE_MAX, &consumed) != gtlib::kInflateOk) std::abort();
    if (out != in || consumed != z.size()) std::abort();
    std::vector<std::uint8_t> zout(in.size() + 1);
    uLongf n = zout.size();
    z_stream s{};
    inflateInit2(&s, -15);
    s.next_in = const_cast<std::uint8_t*>(z.data());
    s.avail_in = static_cast<uInt>(z.size());
    s.next_out = zout.data();
    s.avail_out = static_cast<uInt>(n);
    if (inflate(&s, Z_FINISH) != Z_STREAM_END || s.total_out != in.size()) std::abort();
    inflateEnd(&s);
    zout.resize(in.size());
    if (zout != in) std::abort();
    return 0;
}
