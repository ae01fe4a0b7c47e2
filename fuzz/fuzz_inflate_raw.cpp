// Raw inflate against zlib's inflate on the same bytes, with the output capped at 1 MiB; and the streamed
// decoder (input in pieces of a size taken from the data, output through a sink) against the whole-buffer one.
//
// Both must agree on every stream: the same data when both accept it, a refusal when either refuses.
// Intended divergences (checked, not merely tolerated):
//   - A dynamic block whose literal/length code has a single code: zlib accepts it (the code can only be the
//     end of block), we refuse incomplete literal/length codes.
//   - Output beyond the cap: not compared.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gtlib/engine/inflate.h"

namespace {

constexpr std::size_t kCap = 1 << 20;

struct Bits {
    const std::uint8_t* p;
    std::size_t n;
    std::size_t pos;  // in bits
    bool Get(unsigned k, unsigned* v) {
        *v = 0;
        for (unsigned i = 0; i < k; ++i, ++pos) {
            if (pos / 8 >= n) return false;
            *v |= ((p[pos / 8] >> (pos % 8)) & 1u) << i;
        }
        return true;
    }
};

// Reads the code lengths of a dynamic block header at bit `pos` and tells whether its literal/length code has
// exactly one code. Written independently of the decoder (bit by bit, linear code search).
bool SingleLitlenCode(const std::uint8_t* data, std::size_t size, std::size_t pos) {
    Bits b{data, size, pos};
    unsigned final_bit, type, hlit, hdist, hclen;
    if (!b.Get(1, &final_bit) || !b.Get(2, &type) || type != 2) return false;
    if (!b.Get(5, &hlit) || !b.Get(5, &hdist) || !b.Get(4, &hclen)) return false;
    hlit += 257, hdist += 1, hclen += 4;
    static const unsigned order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    unsigned clen[19] = {};
    for (unsigned i = 0; i < hclen; ++i)
        if (!b.Get(3, &clen[order[i]])) return false;
    // Canonical codes of the code-length code.
    unsigned count[8] = {}, next[8] = {}, code[19] = {};
    for (unsigned l : clen) count[l]++;
    count[0] = 0;
    for (unsigned l = 1, c = 0; l < 8; ++l) next[l] = c = (c + count[l - 1]) << 1;
    for (unsigned s = 0; s < 19; ++s)
        if (clen[s]) code[s] = next[clen[s]]++;
    std::vector<unsigned> lens;
    while (lens.size() < hlit + hdist) {
        unsigned c = 0, len = 0, sym = 19;
        while (sym == 19) {
            unsigned bit;
            if (!b.Get(1, &bit) || ++len > 7) return false;
            c = (c << 1) | bit;
            for (unsigned s = 0; s < 19; ++s)
                if (clen[s] == len && code[s] == c) sym = s;
        }
        unsigned rep = 1, val = sym, extra;
        if (sym == 16) {
            if (lens.empty() || !b.Get(2, &extra)) return false;
            val = lens.back(), rep = 3 + extra;
        } else if (sym == 17) {
            if (!b.Get(3, &extra)) return false;
            val = 0, rep = 3 + extra;
        } else if (sym == 18) {
            if (!b.Get(7, &extra)) return false;
            val = 0, rep = 11 + extra;
        }
        for (unsigned i = 0; i < rep; ++i) lens.push_back(val);
    }
    unsigned used = 0;
    for (unsigned i = 0; i < hlit; ++i) used += lens[i] != 0;
    return used == 1;
}

// Runs zlib block by block; true when some block that zlib accepted starts with a single-code literal/length
// code (the intended divergence).
bool ZlibSawSingleLitlenCode(const std::uint8_t* data, std::size_t size) {
    z_stream s{};
    if (inflateInit2(&s, -15) != Z_OK) return false;
    static std::vector<std::uint8_t> out(kCap + 1);
    s.next_in = const_cast<std::uint8_t*>(data);
    s.avail_in = static_cast<uInt>(size);
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    bool seen = false;
    for (;;) {
        // At a block boundary: the next block starts at this bit.
        const std::size_t bit = (size - s.avail_in) * 8 - (s.data_type & 7);
        if (SingleLitlenCode(data, size, bit)) seen = true;
        const int r = inflate(&s, Z_BLOCK);
        if (r != Z_OK || s.avail_out == 0) break;
        if (!(s.data_type & 128)) break;  // stopped inside a block (input ended)
    }
    inflateEnd(&s);
    return seen;
}

// Hands the input out in pieces of one size.
class PieceSource : public gtlib::InflateSource {
public:
    PieceSource(const std::uint8_t* data, std::size_t size, std::size_t piece) : p_(data), n_(size), piece_(piece) {}
    std::size_t Read(std::uint8_t* dst, std::size_t max) override {
        const std::size_t k = std::min({max, piece_, n_});
        std::memcpy(dst, p_, k);
        p_ += k;
        n_ -= k;
        return k;
    }

private:
    const std::uint8_t* p_;
    std::size_t n_;
    std::size_t piece_;
};

// Gathers the output in `out` (kept by the caller, so its memory is reused), stopping once more than the cap
// arrived.
class CapSink : public gtlib::InflateSink {
public:
    explicit CapSink(std::vector<std::uint8_t>& o) : out(o) { out.clear(); }
    bool Write(const std::uint8_t* p, std::size_t n) override {
        out.insert(out.end(), p, p + n);
        return out.size() <= kCap;
    }
    std::vector<std::uint8_t>& out;
};

// The streamed decoder gives the same result and data as the whole-buffer decoder.
void CheckStreamed(const std::uint8_t* data, std::size_t size, gtlib::InflateResult r,
                   const std::vector<std::uint8_t>& ours) {
    if (size == 0) return;
    const std::size_t piece = std::size_t{1} + data[0] % 64 * (data[0] & 0x80 ? 331 : 1);
    PieceSource src(data, size, piece);
    static std::vector<std::uint8_t> streamed;
    CapSink sink(streamed);
    const gtlib::InflateResult sr = gtlib::Inflate(src, sink);
    if (r == gtlib::kInflateStopped || sr == gtlib::kInflateStopped) {
        // Over the cap: only the common part can be compared.
        const std::size_t common = std::min(ours.size(), sink.out.size());
        if (!std::equal(ours.begin(), ours.begin() + static_cast<long>(common), sink.out.begin())) std::abort();
        return;
    }
    if (sr != r || sink.out != ours) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> ours;
    const gtlib::InflateResult r = gtlib::InflateBuffer(data, size, ours, {}, kCap);
    CheckStreamed(data, size, r, ours);

    z_stream s{};
    if (inflateInit2(&s, -15) != Z_OK) return 0;
    static std::vector<std::uint8_t> buffer(kCap + 1);  // reused: no clearing per input
    s.next_in = const_cast<std::uint8_t*>(data);
    s.avail_in = static_cast<uInt>(size);
    s.next_out = buffer.data();
    s.avail_out = static_cast<uInt>(buffer.size());
    const int zr = inflate(&s, Z_FINISH);
    const std::vector<std::uint8_t> theirs(buffer.begin(), buffer.begin() + static_cast<long>(s.total_out));
    inflateEnd(&s);
    const bool zlib_ok = zr == Z_STREAM_END;
    const bool capped = r == gtlib::kInflateStopped || theirs.size() > kCap;
    if (capped) return 0;

    if (r == gtlib::kInflateOk && !zlib_ok) std::abort();           // we accepted what zlib refuses
    if (r == gtlib::kInflateOk && ours != theirs) std::abort();     // different data
    if (r != gtlib::kInflateOk && zlib_ok && !ZlibSawSingleLitlenCode(data, size)) std::abort();
    // Whatever either produced before refusing is what the stream holds up to there.
    const std::size_t common = std::min(ours.size(), theirs.size());
    if (!std::equal(ours.begin(), ours.begin() + static_cast<long>(common), theirs.begin())) std::abort();
    return 0;
}
