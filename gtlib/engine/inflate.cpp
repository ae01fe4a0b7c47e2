// Raw deflate decoder. See inflate.h for the contract.
//
// Decoding tables: one 32-bit entry per table slot.
//   bits 0-7   bits consumed by the entry: the code bits at this level plus the extra bits that follow the code
//              (lengths and distances); for a sub-table pointer, the bits of the main table. Never more than
//              28, so bits 6-7 are zero and a shift by the whole entry (which uses its low 6 bits) consumes it.
//   bits 8-11  code bits at this level (the extra bits start after them); for a sub-table pointer, its size
//   bits 12-15 kind: end of block, sub-table pointer, invalid symbol
//   bits 16-30 value: the literal, the length or distance base, the symbol (code lengths), the sub-table start
//   bit 31     literal, so that the commonest test is one of the sign
// The main tables are indexed by the next 11 (literal/length) or 8 (distance) bits; longer codes continue in a
// sub-table indexed by the bits that follow. An invalid distance entry has base 0 and no extra bits, so it
// decodes as distance 0, which the check of the distance against the output produced refuses.
//
// Bit buffer: 64 bits, least significant bit first. The fast loop refills it eight bytes at a time while at
// least 16 input bytes and 320 bytes of output room remain; near either end a careful loop takes over, which
// reads byte by byte, pads with zero bytes past the end of the input and refuses any symbol that used them.
#include "gtlib/engine/inflate.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define INFLATE_X86_64_V3 1
#else
#define INFLATE_X86_64_V3 0
#endif

namespace gtlib {
namespace {

constexpr unsigned kLitlenBits = 11;
constexpr unsigned kDistBits = 8;
constexpr unsigned kPrecodeBits = 7;
constexpr unsigned kMaxCodeLen = 15;
// Room for the main table plus every sub-table a complete code can need (a complete code of 288 symbols and
// at most 15 bits needs fewer than 2400 slots with 11 root bits, 30 symbols fewer than 420 with 8).
constexpr std::size_t kLitlenCap = 4096;
constexpr std::size_t kDistCap = 1024;

constexpr std::uint32_t kKindEnd = 1u << 13;
constexpr std::uint32_t kKindSub = 1u << 14;
constexpr std::uint32_t kKindInvalid = 1u << 15;
constexpr std::uint32_t kKindLiteral = 1u << 31;

constexpr std::size_t kWindow = 32768;
constexpr std::size_t kFastIn = 16;
constexpr std::size_t kFastOut = 320;  // a match (258) or three literals, plus the copy overshoot
// The fast loop's bit budget: a refill leaves at least 56 bits, which must hold three literals with the
// look-up of the next entry after them, or a length and a distance with their extra bits.
static_assert(3 * kMaxCodeLen + kLitlenBits <= 56, "three literals and a look-up after one refill");
static_assert(kMaxCodeLen + 5 + kMaxCodeLen + 13 <= 56, "a length and a distance after one refill");
constexpr std::size_t kInBufSize = 32768;
// Sink mode hands the output over in pieces of about kDeliverPiece bytes, small enough that the sink reads
// them while they are still in the first-level cache; the buffer behind the window is larger, so that the
// window is moved back to its start seldom.
constexpr std::size_t kDeliverPiece = 16384;
constexpr std::size_t kSinkBufSize = kWindow + 262144 + kFastOut;

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                         33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                         1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// Code-length symbols 16, 17 and 18: the bits of their repeat count and its base.
constexpr std::uint8_t kRepBits[3] = {2, 3, 7};
constexpr std::uint8_t kRepBase[3] = {3, 3, 11};
constexpr std::uint8_t kPrecodeOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

inline unsigned EntryBits(std::uint32_t e) { return e & 0xFF; }
inline unsigned EntrySubBits(std::uint32_t e) { return (e >> 8) & 0xF; }
inline unsigned EntryValue(std::uint32_t e) { return (e >> 16) & 0x7FFF; }
inline std::uint64_t Mask(unsigned n) { return (std::uint64_t{1} << n) - 1; }

inline std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;  // little-endian host
}

// Tops a bit buffer holding `count` bits (below 64) up to 56-63 with one unaligned 8-byte load; at least eight
// bytes must be left at `in`. The whole bytes that fit are taken; the bits of the next byte that land above
// them are that byte's own, so taking it later adds the same bits.
inline void TopUp(std::uint64_t& bits, unsigned& count, const std::uint8_t*& in) {
    bits |= Load64(in) << count;
    in += (63 - count) >> 3;
    count |= 56;
}

constexpr unsigned Reverse(unsigned code, unsigned len) {
    unsigned r = 0;
    for (unsigned i = 0; i < len; ++i) {
        r = (r << 1) | (code & 1);
        code >>= 1;
    }
    return r;
}

// What each symbol decodes to, without its code length (bits 0-7 hold the extra bits only).
struct SymbolContents {
    std::uint32_t litlen[288]{};
    std::uint32_t dist[32]{};
    std::uint32_t precode[19]{};
    constexpr SymbolContents() {
        for (unsigned s = 0; s < 256; ++s) litlen[s] = kKindLiteral | (s << 16);
        litlen[256] = kKindEnd;
        for (unsigned s = 257; s < 286; ++s)
            litlen[s] = (std::uint32_t{kLengthBase[s - 257]} << 16) | kLengthExtra[s - 257];
        litlen[286] = litlen[287] = kKindInvalid;
        for (unsigned s = 0; s < 30; ++s) dist[s] = (std::uint32_t{kDistBase[s]} << 16) | kDistExtra[s];
        dist[30] = dist[31] = kKindInvalid;
        for (unsigned s = 0; s < 19; ++s) precode[s] = s << 16;
    }
};

// Built by the compiler: a constant table, nothing computed or kept at run time.
constexpr SymbolContents kContents{};
constexpr const SymbolContents& Contents() { return kContents; }

// Builds a decoding table for the canonical code given by lens[0..n). A code must be complete; with
// allow_sparse, an empty code and a single code of one bit are accepted too (the distance code of a block
// that uses at most one distance). Slots no code reaches decode as invalid.
constexpr bool BuildTable(std::uint32_t* table, std::size_t cap, unsigned root, const std::uint8_t* lens, unsigned n,
                const std::uint32_t* contents, bool allow_sparse) {
    // The lengths are counted, and the symbols sorted by length below, in two halves side by side: runs of
    // equal lengths make each count wait on the one before, two halves make two such chains that overlap.
    const unsigned half = n / 2;
    unsigned count_lo[kMaxCodeLen + 1] = {};
    unsigned count_hi[kMaxCodeLen + 1] = {};
    for (unsigned i = 0; i < half; ++i) {
        count_lo[lens[i]]++;
        count_hi[lens[half + i]]++;
    }
    if (n & 1) count_hi[lens[n - 1]]++;
    unsigned count[kMaxCodeLen + 1] = {};
    for (unsigned len = 1; len <= kMaxCodeLen; ++len) count[len] = count_lo[len] + count_hi[len];
    int left = 1;
    unsigned used = 0;
    unsigned maxlen = 0;
    for (unsigned len = 1; len <= kMaxCodeLen; ++len) {
        left <<= 1;
        left -= static_cast<int>(count[len]);
        if (left < 0) return false;  // over-subscribed
        used += count[len];
        if (count[len]) maxlen = len;
    }
    if (left > 0) {
        if (!allow_sparse) return false;  // incomplete
        if (!(used == 0 || (used == 1 && count[1] == 1))) return false;
        // Unreached slots use one bit; one code bit and no extra bits, so a distance reads as 0.
        std::fill(table, table + (std::size_t{1} << root), kKindInvalid | (1u << 8) | 1u);
        if (used == 0) return true;
    }

    // Symbols by code length, each length in symbol order: those of the lower half first.
    unsigned offs_lo[kMaxCodeLen + 1] = {};
    unsigned offs_hi[kMaxCodeLen + 1] = {};
    for (unsigned len = 1, at = 0; len <= kMaxCodeLen; ++len) {
        offs_lo[len] = at;
        offs_hi[len] = at + count_lo[len];
        at += count[len];
    }
    std::uint16_t sorted[288 + 1];  // slot 288 takes the length-0 symbols, which are never read
    offs_lo[0] = offs_hi[0] = 288;
    for (unsigned i = 0; i < half; ++i) {
        const unsigned a = lens[i];
        const unsigned b = lens[half + i];
        sorted[offs_lo[a]] = static_cast<std::uint16_t>(i);
        offs_lo[a] += a != 0;
        sorted[offs_hi[b]] = static_cast<std::uint16_t>(half + i);
        offs_hi[b] += b != 0;
    }
    if (n & 1) {
        const unsigned b = lens[n - 1];
        sorted[offs_hi[b]] = static_cast<std::uint16_t>(n - 1);
    }

    // Codes of up to `root` bits. Before the codes of each length are placed, the part of the table filled
    // so far (2^(len-1) slots) is copied onto the next as many slots, so each entry placed at the bit-reversed
    // code of its len bits ends up in every slot whose low len bits are that code: the table is filled by
    // block copies instead of one slot at a time. A slot that no code has reached yet holds an entry that a
    // later code or sub-table pointer replaces (a complete code reaches every slot), or the invalid entry of
    // a sparse code.
    const std::size_t main_size = std::size_t{1} << root;
    std::size_t filled = 1;
    unsigned rev = 0;  // the next code of the current length, bit-reversed
    unsigned code = 0;
    unsigned idx = 0;
    for (unsigned len = 1; len <= root; ++len) {
        std::copy(table, table + filled, table + filled);
        filled <<= 1;
        for (unsigned k = 0; k < count[len]; ++k) {
            table[rev] = (contents[sorted[idx++]] + len) | (len << 8);
            // The next canonical code, bit-reversed: add one at the top and carry downwards.
            unsigned bit = 1u << (len - 1);
            while (rev & bit) {
                rev ^= bit;
                bit >>= 1;
            }
            rev |= bit;
            ++code;
        }
        code <<= 1;
    }

    // Longer codes continue in sub-tables.
    unsigned remaining[kMaxCodeLen + 1] = {};
    std::copy(count, count + kMaxCodeLen + 1, remaining);
    std::size_t next_free = main_size;
    unsigned cur_prefix = ~0u;
    std::size_t sub_start = 0;
    unsigned sub_bits = 0;
    for (unsigned len = root + 1; len <= maxlen; ++len) {
        for (unsigned k = 0; k < count[len]; ++k) {
            const std::uint32_t e = contents[sorted[idx++]];
            const unsigned prefix = code >> (len - root);
            if (prefix != cur_prefix) {
                cur_prefix = prefix;
                // Size the sub-table: deepen until the codes still to come fill it.
                unsigned b = len;
                int space = 1 << (len - root);
                while (b < maxlen) {
                    space -= static_cast<int>(remaining[b]);
                    if (space <= 0) break;
                    ++b;
                    space <<= 1;
                }
                sub_bits = b - root;
                sub_start = next_free;
                next_free += std::size_t{1} << sub_bits;
                if (next_free > cap) return false;
                table[Reverse(prefix, root)] =
                    kKindSub | (sub_bits << 8) | (static_cast<std::uint32_t>(sub_start) << 16) | root;
            }
            const unsigned drop = len - root;
            const std::uint32_t entry = (e + drop) | (drop << 8);
            for (std::size_t i = Reverse(code & ((1u << drop) - 1), drop); i < (std::size_t{1} << sub_bits);
                 i += std::size_t{1} << drop)
                table[sub_start + i] = entry;
            remaining[len]--;
            ++code;
        }
        code <<= 1;
    }
    return true;
}

struct FixedTables {
    std::uint32_t litlen[kLitlenCap]{};
    std::uint32_t dist[kDistCap]{};
    constexpr FixedTables() {
        std::uint8_t lens[288]{};
        std::fill(lens, lens + 144, 8);
        std::fill(lens + 144, lens + 256, 9);
        std::fill(lens + 256, lens + 280, 7);
        std::fill(lens + 280, lens + 288, 8);
        BuildTable(litlen, kLitlenCap, kLitlenBits, lens, 288, Contents().litlen, false);
        std::uint8_t dlens[32]{};
        std::fill(dlens, dlens + 32, 5);
        BuildTable(dist, kDistCap, kDistBits, dlens, 32, Contents().dist, false);
    }
};

constexpr FixedTables kFixed{};
constexpr const FixedTables& Fixed() { return kFixed; }

enum class OutMode { kGrow, kFixed, kSink };

class Decoder {
public:
    // Input.
    const std::uint8_t* in_next = nullptr;
    const std::uint8_t* in_end = nullptr;
    InflateSource* source = nullptr;
    bool source_done = true;
    std::uint64_t source_total = 0;  // bytes the source delivered
    std::unique_ptr<std::uint8_t[]> inbuf;

    // Output.
    OutMode mode = OutMode::kFixed;
    std::uint8_t* out_base = nullptr;
    std::uint8_t* out_next = nullptr;
    std::uint8_t* out_end = nullptr;
    std::vector<std::uint8_t>* vec = nullptr;
    std::size_t max_out = SIZE_MAX;
    InflateSink* sink = nullptr;
    std::uint8_t* flush_from = nullptr;
    std::unique_ptr<std::uint8_t[]> sinkbuf;

    InflateOptions options;

    InflateResult Run();
    // Makes a decoder that ran before ready for a new stream: everything but its buffers and tables (which
    // every block builds afresh) back to how a new one starts.
    void Reset() {
        in_next = in_end = nullptr;
        source = nullptr;
        source_done = true;
        source_total = 0;
        mode = OutMode::kFixed;
        out_base = out_next = out_end = nullptr;
        vec = nullptr;
        max_out = SIZE_MAX;
        sink = nullptr;
        flush_from = nullptr;
        options = InflateOptions{};
        bitbuf_ = 0;
        bitsleft_ = 0;
        overrun_ = 0;
        stopped_ = false;
    }
    // Hands the output not yet delivered to the sink (sink mode only). False when the sink stopped.
    bool Deliver();

    std::size_t UnusedInputBytes() const { return bitsleft_ < 8 * overrun_ ? 0 : (bitsleft_ - 8 * overrun_) / 8; }

    // The input bytes not used by the stream: the whole bytes still in the bit buffer (above the rest of a
    // byte that was partly used), then those not yet taken into it.
    void UnusedInput(std::vector<std::uint8_t>& out) const {
        out.clear();
        std::uint64_t bits = bitbuf_ >> (bitsleft_ & 7);
        for (std::size_t n = UnusedInputBytes(); n > 0; --n) {
            out.push_back(static_cast<std::uint8_t>(bits & 0xFF));
            bits >>= 8;
        }
        out.insert(out.end(), in_next, in_end);
    }

private:
    std::uint64_t bitbuf_ = 0;
    unsigned bitsleft_ = 0;
    unsigned overrun_ = 0;  // zero bytes added past the end of the input
    bool stopped_ = false;

    std::uint32_t litlen_[kLitlenCap];
    std::uint32_t dist_[kDistCap];
    std::uint32_t precode_[1u << kPrecodeBits];

    bool Refill();
    void Need(unsigned n) {
        if (bitsleft_ >= n) return;
        if (in_end - in_next >= 8) {
            TopUp(bitbuf_, bitsleft_, in_next);
            return;
        }
        while (bitsleft_ < n) {
            if (in_next == in_end && !Refill()) {
                ++overrun_;
                bitsleft_ += 8;
                continue;
            }
            bitbuf_ |= std::uint64_t{*in_next++} << bitsleft_;
            bitsleft_ += 8;
        }
    }
    void Drop(unsigned n) {
        bitbuf_ >>= n;
        bitsleft_ -= n;
    }
    unsigned Take(unsigned n) {
        const unsigned v = static_cast<unsigned>(bitbuf_ & Mask(n));
        Drop(n);
        return v;
    }
    // True once a symbol has used bits past the end of the input.
    bool Overran() const { return overrun_ != 0 && bitsleft_ < 8 * overrun_; }
    bool MakeRoom(std::size_t n);
    // Sink mode: true once a piece of kDeliverPiece bytes waits to be handed over.
    bool DeliverDue() const { return static_cast<std::size_t>(out_next - flush_from) >= kDeliverPiece; }
    // Output bytes the fast loop may start a round in: it needs kFastOut bytes of room, and in sink mode it
    // stops when a piece is due. 0 when it cannot run.
    std::size_t FastOutRoom() const {
        const std::size_t room = static_cast<std::size_t>(out_end - out_next);
        if (room < kFastOut) return 0;
        std::size_t n = room - kFastOut + 1;
        if (mode == OutMode::kSink) {
            const std::size_t pending = static_cast<std::size_t>(out_next - flush_from);
            n = pending >= kDeliverPiece ? 0 : std::min(n, kDeliverPiece - pending);
        }
        return n;
    }

    InflateResult Stored();
    InflateResult ReadDynamicTables();
    // Built twice on x86-64, for processors with and without BMI2 (shifts and masks without the count
    // register); the first call picks one.
    InflateResult Huffman(const std::uint32_t* ll, const std::uint32_t* dd);
};

bool Decoder::Refill() {
    if (!source || source_done) return false;
    const std::size_t keep = static_cast<std::size_t>(in_end - in_next);
    std::memmove(inbuf.get(), in_next, keep);
    std::uint8_t* p = inbuf.get();
    in_next = p;
    in_end = p + keep;
    const std::uint8_t* const start = in_end;
    while (static_cast<std::size_t>(in_end - in_next) < kInBufSize / 2) {
        std::uint8_t* const dst = p + (in_end - p);
        const std::size_t n = source->Read(dst, kInBufSize - static_cast<std::size_t>(in_end - p));
        if (n == 0) {
            source_done = true;
            break;
        }
        in_end += n;
        source_total += n;
    }
    return in_end != start;
}

bool Decoder::Deliver() {
    if (stopped_) return false;
    if (out_next != flush_from) {
        if (!sink->Write(flush_from, static_cast<std::size_t>(out_next - flush_from))) stopped_ = true;
        flush_from = out_next;
    }
    if (sink->Cancelled()) stopped_ = true;
    return !stopped_;
}

// Makes room for at least n more output bytes (n <= kFastOut). False when the output cannot go on.
bool Decoder::MakeRoom(std::size_t n) {
    if (static_cast<std::size_t>(out_end - out_next) >= n) return true;
    switch (mode) {
    case OutMode::kFixed:
        return false;
    case OutMode::kGrow: {
        const std::size_t used = static_cast<std::size_t>(out_next - out_base);
        if (used >= max_out) return false;
        std::size_t cap = std::max<std::size_t>(vec->size() * 2, used + kFastOut + 4096);
        if (max_out < SIZE_MAX - 2 * kFastOut) cap = std::min(cap, max_out + 2 * kFastOut);
        vec->resize(cap);
        out_base = vec->data();
        out_next = out_base + used;
        out_end = out_base + cap;
        return true;
    }
    case OutMode::kSink: {
        if (!Deliver()) return false;
        const std::size_t have = static_cast<std::size_t>(out_next - out_base);
        const std::size_t keep = std::min(have, kWindow);
        std::memmove(out_base, out_next - keep, keep);
        out_next = out_base + keep;
        flush_from = out_next;
        return true;
    }
    }
    return false;
}

InflateResult Decoder::Run() {
    InflateResult first_error = kInflateOk;
    for (;;) {
        if (sink && sink->Cancelled()) return kInflateStopped;
        Need(3);
        const unsigned final_block = Take(1);
        const unsigned type = Take(2);
        if (Overran()) return first_error ? first_error : kInflateTruncated;
        InflateResult r;
        switch (type) {
        case 0:
            r = Stored();
            break;
        case 1:
            r = Huffman(Fixed().litlen, Fixed().dist);
            break;
        case 2:
            r = ReadDynamicTables();
            if (r == kInflateOk) r = Huffman(litlen_, dist_);
            break;
        default:
            r = kInflateBadBlock;
            break;
        }
        if (r == kInflateBadData && options.leavePartial) {
            if (first_error == kInflateOk) first_error = r;
            if (final_block) return first_error;
            continue;
        }
        if (r != kInflateOk) return first_error ? first_error : r;
        if (final_block) return first_error;
    }
}

InflateResult Decoder::Stored() {
    Drop(bitsleft_ & 7);
    Need(32);
    const unsigned len = Take(16);
    const unsigned nlen = Take(16);
    if (Overran()) return kInflateTruncated;
    if (len != (~nlen & 0xFFFF)) return kInflateBadData;
    std::size_t left = len;
    // Whole bytes still in the bit buffer come first.
    while (left && bitsleft_ >= 8) {
        if (!MakeRoom(1)) return kInflateStopped;
        *out_next++ = static_cast<std::uint8_t>(Take(8));
        --left;
    }
    if (bitsleft_ == 0) bitbuf_ = 0;  // the buffer may hold look-ahead copies of bytes about to be copied
    while (left) {
        if (mode == OutMode::kSink && DeliverDue() && !Deliver()) return kInflateStopped;
        if (out_next == out_end && !MakeRoom(std::min<std::size_t>(left, kFastOut))) return kInflateStopped;
        if (in_next == in_end && mode == OutMode::kSink && !source_done) {
            // The input buffer is used up: the source writes the stored bytes straight into the output,
            // which saves copying them through the input buffer.
            const std::size_t want =
                std::min({left, static_cast<std::size_t>(out_end - out_next), kDeliverPiece});
            const std::size_t n = source->Read(out_next, want);
            if (n == 0) {
                source_done = true;
                return kInflateTruncated;
            }
            source_total += n;
            out_next += n;
            left -= n;
            continue;
        }
        if (in_next == in_end && !Refill()) return kInflateTruncated;
        const std::size_t n = std::min({left, static_cast<std::size_t>(in_end - in_next),
                                        static_cast<std::size_t>(out_end - out_next)});
        std::memcpy(out_next, in_next, n);
        out_next += n;
        in_next += n;
        left -= n;
    }
    return kInflateOk;
}

InflateResult Decoder::ReadDynamicTables() {
    Need(14);
    const unsigned nlit = Take(5) + 257;
    const unsigned ndist = Take(5) + 1;
    const unsigned nclen = Take(4) + 4;
    if (Overran()) return kInflateTruncated;
    if (nlit > 286 || ndist > 30) return kInflateBadData;

    std::uint8_t clens[19] = {};
    for (unsigned i = 0; i < nclen; ++i) {
        Need(3);
        clens[kPrecodeOrder[i]] = static_cast<std::uint8_t>(Take(3));
    }
    if (Overran()) return kInflateTruncated;
    if (!BuildTable(precode_, 1u << kPrecodeBits, kPrecodeBits, clens, 19, Contents().precode, false))
        return kInflateBadData;

    // A local array: stores to it cannot touch the bit buffer, which can then stay in a register.
    std::uint8_t lens[288 + 32];
    const unsigned total = nlit + ndist;
    unsigned i = 0;
    while (i < total) {
        if (in_end - in_next >= 8) {
            // With eight input bytes at hand, the bits stay in registers: each refill leaves at least 56 bits,
            // enough for four code-length symbols with their repeat bits (14 bits at most each).
            std::uint64_t bb = bitbuf_;
            unsigned bl = bitsleft_;
            const std::uint8_t* in = in_next;
            do {
                TopUp(bb, bl, in);
                for (int k = 0; k < 4 && i < total; ++k) {
                    const std::uint32_t e = precode_[bb & Mask(kPrecodeBits)];
                    const unsigned used = EntryBits(e);
                    bb >>= used;
                    bl -= used;
                    const unsigned sym = EntryValue(e);
                    if (sym < 16) {
                        lens[i++] = static_cast<std::uint8_t>(sym);
                        continue;
                    }
                    if (sym == 16 && i == 0) return kInflateBadData;  // nothing to repeat
                    const std::uint8_t value = sym == 16 ? lens[i - 1] : 0;
                    const unsigned nb = kRepBits[sym - 16];
                    const unsigned rep = kRepBase[sym - 16] + static_cast<unsigned>(bb & Mask(nb));
                    bb >>= nb;
                    bl -= nb;
                    if (i + rep > total) return kInflateBadData;  // runs past the lengths
                    std::memset(lens + i, value, rep);
                    i += rep;
                }
            } while (i < total && in_end - in >= 8);
            bitbuf_ = bb;
            bitsleft_ = bl;
            in_next = in;
            continue;
        }
        Need(kPrecodeBits + 7);
        const std::uint32_t e = precode_[bitbuf_ & Mask(kPrecodeBits)];
        Drop(EntryBits(e));
        const unsigned sym = EntryValue(e);
        if (sym < 16) {
            lens[i++] = static_cast<std::uint8_t>(sym);
        } else {
            if (sym == 16 && i == 0) return kInflateBadData;  // nothing to repeat
            const std::uint8_t value = sym == 16 ? lens[i - 1] : 0;
            const unsigned rep = kRepBase[sym - 16] + Take(kRepBits[sym - 16]);
            if (Overran()) return kInflateTruncated;
            if (i + rep > total) return kInflateBadData;  // runs past the lengths
            std::memset(lens + i, value, rep);
            i += rep;
        }
        if (Overran()) return kInflateTruncated;
    }
    if (lens[256] == 0) return kInflateBadData;  // no end-of-block code
    if (!BuildTable(litlen_, kLitlenCap, kLitlenBits, lens, nlit, Contents().litlen, false)) return kInflateBadData;
    if (!BuildTable(dist_, kDistCap, kDistBits, lens + nlit, ndist, Contents().dist, true)) return kInflateBadData;
    return kInflateOk;
}

// The low (n & 0xFF) bits of v, n & 0xFF < 64. With BMI2 one BZHI instruction, which takes its count from the
// low 8 bits of n as they are; written out, because the compiler keeps the all-ones mask of the shift-and-mask
// form in a register of the loop instead (two instructions and one register more).
template <bool kBmi2>
[[gnu::always_inline]] inline std::uint64_t LowBits(std::uint64_t v, std::uint32_t n) {
#if INFLATE_X86_64_V3
    if constexpr (kBmi2) {
        std::uint64_t r;
        __asm__("bzhi %q2, %1, %0" : "=r"(r) : "r"(v), "r"(n));  // the upper half of n's register is not read
        return r;
    }
#endif
    return v & Mask(n & 0xFF);
}

// v << (n & 63). With BMI2 one SHLX, which takes its count from the low 6 bits of n as they are (the compiler
// keeps a separate mask of the count).
template <bool kBmi2>
[[gnu::always_inline]] inline std::uint64_t ShiftLeft(std::uint64_t v, std::uint32_t n) {
#if INFLATE_X86_64_V3
    if constexpr (kBmi2) {
        std::uint64_t r;
        __asm__("shlx %q2, %1, %0" : "=r"(r) : "r"(v), "r"(n));  // the upper half of n's register is not read
        return r;
    }
#endif
    return v << (n & 63);
}

// Base plus extra bits of a length or distance entry whose code is at the bottom of `bits` (such an entry has
// bit 31 clear, so its value needs no mask). The counts are taken as the low 6 bits of the entry and of the
// entry shifted by 8: bits 6-7 are zero, and so are bits 12-13 (no kind) of a length or distance entry, which
// lets a 64-bit shift use them without a separate mask of its count.
template <bool kBmi2>
inline unsigned EntryNumber(std::uint32_t e, std::uint64_t bits) {
    return (e >> 16) + static_cast<unsigned>(LowBits<kBmi2>(bits, e) >> ((e >> 8) & 63));
}

// Copies 8 bytes; the source may overlap the destination from before.
inline void Copy8(std::uint8_t* dst, const std::uint8_t* src) {
    std::uint64_t v;
    std::memcpy(&v, src, 8);
    std::memcpy(dst, &v, 8);
}

// Copies a match of `length` bytes from `distance` back; may write up to 39 bytes past the match (the fast
// loop keeps that much room).
inline std::uint8_t* CopyMatch(std::uint8_t* dst, std::size_t distance, unsigned length) {
    const std::uint8_t* src = dst - distance;
    std::uint8_t* const end = dst + length;
    if (distance >= 8) [[likely]] {
        // Each 8-byte piece reads only bytes already written, so overlapping matches come out right. Most
        // matches are short: the first 40 bytes are copied without a test.
        Copy8(dst, src);
        Copy8(dst + 8, src + 8);
        Copy8(dst + 16, src + 16);
        Copy8(dst + 24, src + 24);
        Copy8(dst + 32, src + 32);
        if (length > 40) {
            dst += 40;
            src += 40;
            do {
                Copy8(dst, src);
                dst += 8;
                src += 8;
                // Keeps the compiler from turning the loop into a vector loop, whose set-up and overlap
                // checks cost more than the few rounds a match needs.
                __asm__("" : "+r"(dst));
            } while (dst < end);
        }
    } else if (distance == 1) {
        const std::uint64_t v = 0x0101010101010101ull * *src;
        do {
            std::memcpy(dst, &v, 8);
            std::memcpy(dst + 8, &v, 8);
            dst += 16;
            __asm__("" : "+r"(dst));
        } while (dst < end);
    } else {
        // Short period: each step writes 8 bytes of which the first `distance` are final.
        do {
            Copy8(dst, src);
            dst += distance;
            src += distance;
        } while (dst < end);
    }
    return end;
}

InflateResult Decoder::Huffman(const std::uint32_t* litlen, const std::uint32_t* dist) {
    // The whole decoder as a template on the instruction set, inlined into each of the two entry points below.
    // The tables come in as parameters: as captured copies they would be loaded again after every output
    // byte stored, which may alias them.
    const auto decode = [this]<bool kBmi2>(const std::uint32_t* ll, const std::uint32_t* dd)
                            __attribute__((always_inline)) -> InflateResult {
        for (;;) {
            // Fast loop: enough input for a whole symbol pair without checks, enough output room for a match.
            const std::size_t fast_out = FastOutRoom();
            if (static_cast<std::size_t>(in_end - in_next) >= kFastIn && fast_out > 0) {
                const std::uint8_t* in = in_next;
                std::uint8_t* out = out_next;
                std::uint64_t bb = bitbuf_;
                // The count of bits in `bb` is the low 6 bits of `bl` (never more than 63); the bits above are
                // left as they come. This lets a table entry be consumed with `bb >>= e; bl -= e` on the whole
                // entry: the shift uses the low 6 bits of its count, and a subtraction's low 6 bits depend only on
                // the low 6 bits of its operands.
                std::uint32_t bl = bitsleft_;
                const std::uint8_t* const in_limit = in_end - kFastIn;
                std::uint8_t* const out_limit = out_next + (fast_out - 1);
                // A local copy: stores through `out` could alias the member, which would force reloads.
                const std::uintptr_t base_addr = reinterpret_cast<std::uintptr_t>(out_base);
                InflateResult r = kInflateOk;
                bool block_end = false;
                // Tops the buffer up to 56-63 bits with one unaligned 8-byte load: the bytes that fit whole are
                // taken, the part of the next byte that also lands in the buffer is loaded again (the same bits)
                // next time.
                const auto refill = [&] {
                    bb |= ShiftLeft<kBmi2>(Load64(in), bl);
                    in += 7 - ((bl >> 3) & 7);
                    bl |= 56;
                };
                const auto consume = [&](std::uint32_t entry) {
                    bb >>= (entry & 63);
                    bl -= entry;
                };
                refill();
                // The entry for the next symbol is always looked up as early as its bits are known.
                std::uint32_t e = ll[bb & Mask(kLitlenBits)];
                do {
                    // Each round starts with at least 56 bits: up to three literals (3 x 15 bits), or a length and
                    // a distance with their extra bits (20 + 28). Every kind of entry is consumed whole (a sub-table
                    // pointer consumes the main table's bits), so the round starts with that, keeping the bits
                    // before it for the extra bits of a length.
                    std::uint64_t saved = bb;
                    consume(e);
                    if (static_cast<std::int32_t>(e) < 0) {
                        *out++ = static_cast<std::uint8_t>(e >> 16);
                        e = ll[bb & Mask(kLitlenBits)];
                        if (static_cast<std::int32_t>(e) < 0) {
                            consume(e);
                            *out++ = static_cast<std::uint8_t>(e >> 16);
                            e = ll[bb & Mask(kLitlenBits)];
                            if (static_cast<std::int32_t>(e) < 0) {
                                consume(e);
                                *out++ = static_cast<std::uint8_t>(e >> 16);
                                e = ll[bb & Mask(kLitlenBits)];
                            }
                        }
                        // At least 56 - 45 = 11 bits were left for the look-up above, so the entry stays right
                        // after the refill adds bits above them.
                        refill();
                        continue;
                    }
                    if (e & (kKindSub | kKindEnd | kKindInvalid)) [[unlikely]] {
                        if (e & kKindSub) {
                            e = ll[EntryValue(e) + (bb & Mask(EntrySubBits(e)))];
                            saved = bb;
                            consume(e);
                            if (static_cast<std::int32_t>(e) < 0) {
                                *out++ = static_cast<std::uint8_t>(e >> 16);
                                refill();
                                e = ll[bb & Mask(kLitlenBits)];
                                continue;
                            }
                        }
                        if (e & (kKindEnd | kKindInvalid)) {
                            if (e & kKindInvalid) r = kInflateBadData;
                            block_end = true;
                            break;
                        }
                    }
                    const unsigned length = EntryNumber<kBmi2>(e, saved);
                    e = dd[bb & Mask(kDistBits)];
                    // An invalid distance symbol has its kind bit, like in the careful path, so every distance
                    // that passes this test is at least 1.
                    if (e & (kKindSub | kKindInvalid)) [[unlikely]] {
                        if (e & kKindSub) {
                            consume(e);
                            e = dd[EntryValue(e) + (bb & Mask(EntrySubBits(e)))];
                        }
                        if (e & kKindInvalid) {
                            consume(e);  // its bits are used up, as for any other refused symbol
                            r = kInflateBadData;
                            block_end = true;
                            break;
                        }
                    }
                    saved = bb;
                    consume(e);
                    const std::size_t distance = EntryNumber<kBmi2>(e, saved);
                    // Refuses a distance reaching before the first byte: base + distance > out, the same as
                    // distance > out - base, in one addition.
                    if (base_addr + distance > reinterpret_cast<std::uintptr_t>(out)) [[unlikely]] {
                        r = kInflateBadData;
                        block_end = true;
                        break;
                    }
                    // The next entry is usually looked up from the bits still in the buffer, before the refill,
                    // which then only adds bits above them: the refill leaves the chain of dependent loads. A
                    // length and a distance take at most 48 of the 56 bits, so too few may be left; then the
                    // look-up is made again after the refill (seldom, and well predicted). The test is for 16 bits
                    // or more, one test of two bits of the count.
                    static_assert(kLitlenBits <= 16, "the look-up before the refill needs at most 16 bits");
                    const bool enough = (bl & 48) != 0;
                    e = ll[bb & Mask(kLitlenBits)];
                    refill();
                    if (!enough) [[unlikely]]
                        e = ll[bb & Mask(kLitlenBits)];
                    out = CopyMatch(out, distance, length);
                } while (in <= in_limit && out <= out_limit);
                in_next = in;
                out_next = out;
                bitbuf_ = bb;
                bitsleft_ = bl & 63;
                if (block_end) return r;
                continue;
            }

            // Careful path: one symbol at a time.
            if (mode == OutMode::kSink && DeliverDue()) {
                if (!Deliver()) return kInflateStopped;
                continue;
            }
            if (static_cast<std::size_t>(out_end - out_next) < kFastOut && mode != OutMode::kFixed) {
                if (!MakeRoom(kFastOut)) return kInflateStopped;
                continue;
            }
            if (static_cast<std::size_t>(in_end - in_next) < kFastIn && Refill()) continue;

            constexpr unsigned kMaxStep = kMaxCodeLen + 13;  // a code and its extra bits
            Need(kMaxStep);
            std::uint32_t e = ll[bitbuf_ & Mask(kLitlenBits)];
            if (e & kKindSub) {
                Drop(kLitlenBits);
                e = ll[EntryValue(e) + (bitbuf_ & Mask(EntrySubBits(e)))];
            }
            const unsigned length = EntryNumber<kBmi2>(e, bitbuf_);
            Drop(EntryBits(e));
            if (Overran()) return kInflateTruncated;
            if (e & kKindLiteral) {
                if (!MakeRoom(1)) return kInflateStopped;
                *out_next++ = static_cast<std::uint8_t>(EntryValue(e));
                continue;
            }
            if (e & kKindEnd) return kInflateOk;
            if (e & kKindInvalid) return kInflateBadData;
            Need(kMaxStep);
            e = dd[bitbuf_ & Mask(kDistBits)];
            if (e & kKindSub) {
                Drop(kDistBits);
                e = dd[EntryValue(e) + (bitbuf_ & Mask(EntrySubBits(e)))];
            }
            const std::size_t distance = EntryNumber<kBmi2>(e, bitbuf_);
            Drop(EntryBits(e));
            if (Overran()) return kInflateTruncated;
            if (e & kKindInvalid) return kInflateBadData;
            if (distance > static_cast<std::size_t>(out_next - out_base)) return kInflateBadData;
            if (!MakeRoom(length)) {
                // A fixed buffer: copy what fits, then stop.
                const std::size_t room = static_cast<std::size_t>(out_end - out_next);
                for (std::size_t k = 0; k < room; ++k, ++out_next) *out_next = *(out_next - distance);
                return kInflateStopped;
            }
            for (unsigned k = 0; k < length; ++k, ++out_next) *out_next = *(out_next - distance);
        }
    };
#if INFLATE_X86_64_V3
    struct V3 {
        [[gnu::target("arch=x86-64-v3")]] static InflateResult Run(const decltype(decode)& f, const std::uint32_t* ll,
                                                                 const std::uint32_t* dd) {
            return f.template operator()<true>(ll, dd);
        }
    };
    static const bool v3 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("x86-64-v3") != 0;
    }();
    if (v3) return V3::Run(decode, litlen, dist);
#endif
    return decode.template operator()<false>(litlen, dist);
}

std::unique_ptr<Decoder> NewDecoder() { return std::unique_ptr<Decoder>(new (std::nothrow) Decoder); }

}  // namespace

struct InflateDecoder::Impl {
    std::unique_ptr<Decoder> decoder;
};

InflateDecoder::InflateDecoder() = default;
InflateDecoder::~InflateDecoder() = default;

InflateResult Inflate(InflateSource& source, InflateSink& sink, const InflateOptions& options,
                      std::uint64_t* consumed, std::vector<std::uint8_t>* unused) {
    InflateDecoder decoder;
    return Inflate(decoder, source, sink, options, consumed, unused);
}

InflateResult Inflate(InflateDecoder& decoder, InflateSource& source, InflateSink& sink,
                      const InflateOptions& options, std::uint64_t* consumed, std::vector<std::uint8_t>* unused) {
    if (!decoder.impl_) {
        decoder.impl_.reset(new (std::nothrow) InflateDecoder::Impl);
        if (!decoder.impl_) return kInflateNoMemory;
    }
    std::unique_ptr<Decoder>& kept = decoder.impl_->decoder;
    if (!kept) {
        auto fresh = NewDecoder();
        if (!fresh) return kInflateNoMemory;
        fresh->inbuf.reset(new (std::nothrow) std::uint8_t[kInBufSize]);
        fresh->sinkbuf.reset(new (std::nothrow) std::uint8_t[kSinkBufSize]);
        if (!fresh->inbuf || !fresh->sinkbuf) return kInflateNoMemory;
        kept = std::move(fresh);
    }
    Decoder* d = kept.get();
    d->Reset();
    d->options = options;
    d->source = &source;
    d->source_done = false;
    d->in_next = d->in_end = d->inbuf.get();
    d->mode = OutMode::kSink;
    d->sink = &sink;
    d->out_base = d->out_next = d->flush_from = d->sinkbuf.get();
    d->out_end = d->out_base + kSinkBufSize;
    InflateResult r = d->Run();
    if (!d->Deliver() && r == kInflateOk) r = kInflateStopped;
    if (consumed)
        *consumed = d->source_total - static_cast<std::uint64_t>(d->in_end - d->in_next) - d->UnusedInputBytes();
    if (unused) {
        unused->clear();
        if (r == kInflateOk) d->UnusedInput(*unused);
    }
    return r;
}

InflateResult InflateBuffer(const std::uint8_t* in, std::size_t in_len, std::vector<std::uint8_t>& out,
                            const InflateOptions& options, std::size_t max_out, std::size_t* consumed) {
    auto d = NewDecoder();
    if (!d) return kInflateNoMemory;
    d->options = options;
    d->in_next = in;
    d->in_end = in + in_len;
    d->mode = OutMode::kGrow;
    d->vec = &out;
    d->max_out = max_out;
    std::size_t guess = in_len < (SIZE_MAX / 8) ? in_len * 4 + kFastOut + 4096 : in_len;
    if (max_out < SIZE_MAX - 2 * kFastOut) guess = std::min(guess, max_out + 2 * kFastOut);
    out.resize(guess);
    d->out_base = d->out_next = out.data();
    d->out_end = d->out_base + out.size();
    InflateResult r = d->Run();
    const std::size_t produced = static_cast<std::size_t>(d->out_next - d->out_base);
    out.resize(std::min(produced, max_out));
    if (produced > max_out && r == kInflateOk) r = kInflateStopped;
    if (consumed) *consumed = static_cast<std::size_t>(d->in_next - in) - d->UnusedInputBytes();
    return r;
}

InflateResult InflateInto(const std::uint8_t* in, std::size_t in_len, std::uint8_t* out, std::size_t out_cap,
                          std::size_t* out_len, const InflateOptions& options) {
    auto d = NewDecoder();
    if (!d) return kInflateNoMemory;
    d->options = options;
    d->in_next = in;
    d->in_end = in + in_len;
    d->mode = OutMode::kFixed;
    d->out_base = d->out_next = out;
    d->out_end = out + out_cap;
    const InflateResult r = d->Run();
    if (out_len) *out_len = static_cast<std::size_t>(d->out_next - d->out_base);
    return r;
}

}  // namespace gtlib
