#include "gtlib/engine/deflate.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "gtlib/engine/records.h"

namespace gtlib {

#ifdef GTLIB_DEFLATE_STATS
// The matcher's work, counted only where the coder is compiled for the statistics benchmark.
DeflateStats& DeflateStatsNow() {
    static DeflateStats stats;
    return stats;
}
#define DEFLATE_COUNT(field) (++DeflateStatsNow().field)
#else
#define DEFLATE_COUNT(field) ((void)0)
#endif

namespace {

constexpr unsigned kWSize = 32768;
constexpr unsigned kWMask = kWSize - 1;
constexpr unsigned kWindowSize = 2 * kWSize;
constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 258;
constexpr unsigned kMinLookahead = kMaxMatch + kMinMatch + 1;  // 262
constexpr unsigned kMaxDist = kWSize - kMinLookahead;          // 32506
constexpr unsigned kHashBits = 14;
constexpr unsigned kHashSize = 1u << kHashBits;
constexpr unsigned kHashMask = kHashSize - 1;
constexpr unsigned kHashShift = 5;
constexpr unsigned kTooFar = 4096;
constexpr unsigned kLitBufSize = 16384;
constexpr unsigned kDistBufSize = 16384;
constexpr unsigned kWindowPad = 16;  // word-wise compares may look a few bytes past the window
constexpr unsigned kPrevTail = 128;   // 2 * 128 bytes: more than a compare reads past the pad

constexpr int kMaxBits = 15;
constexpr int kMaxBlBits = 7;  // bit-length codes are sent in 3 bits
constexpr int kLengthCodes = 29;
constexpr int kLiterals = 256;
constexpr int kEndBlock = 256;
constexpr int kLCodes = kLiterals + 1 + kLengthCodes;  // 286
constexpr int kDCodes = 30;
constexpr int kBlCodes = 19;
constexpr int kHeapSize = 2 * kLCodes + 1;  // 573
constexpr int kRep3_6 = 16, kRepz3_10 = 17, kRepz11_138 = 18;

struct Config {
    std::uint16_t good, lazy, nice, chain;
};
constexpr Config kConfig[10] = {{0, 0, 0, 0},     {4, 4, 8, 4},       {4, 5, 16, 8},     {4, 6, 32, 32},
                                {4, 4, 16, 16},   {8, 16, 32, 32},    {8, 16, 128, 128}, {8, 32, 128, 256},
                                {32, 128, 258, 1024}, {32, 258, 258, 4096}};

constexpr std::uint8_t kExtraLBits[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint8_t kExtraDBits[kDCodes] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                               6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::uint8_t kExtraBlBits[kBlCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
constexpr std::uint8_t kBlOrder[kBlCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr unsigned Reverse(unsigned code, int len) {
    unsigned r = 0;
    for (int i = 0; i < len; ++i, code >>= 1) r = (r << 1) | (code & 1);
    return r;
}

// Codes from lengths (canonical Huffman), bit-reversed for LSB-first output.
constexpr void GenCodes(std::uint16_t* codes, const std::uint8_t* lens, int maxCode, const std::uint16_t* blCount) {
    std::uint16_t next[kMaxBits + 1] = {};
    unsigned code = 0;
    for (int bits = 1; bits <= kMaxBits; ++bits) {
        code = (code + blCount[bits - 1]) << 1;
        next[bits] = static_cast<std::uint16_t>(code);
    }
    for (int n = 0; n <= maxCode; ++n)
        if (lens[n]) codes[n] = static_cast<std::uint16_t>(Reverse(next[lens[n]]++, lens[n]));
}

// Constant tables of the format, built once.
struct StaticTables {
    std::uint8_t lengthCode[256] = {};
    std::uint8_t distCode[512] = {};
    std::uint16_t baseLength[kLengthCodes] = {};
    std::uint16_t baseDist[kDCodes] = {};
    std::uint16_t sLitCode[kLCodes + 2] = {};
    std::uint8_t sLitLen[kLCodes + 2] = {};
    std::uint16_t sDistCode[kDCodes] = {};
    std::uint8_t sDistLen[kDCodes] = {};

    constexpr StaticTables() {
        int length = 0;
        for (int code = 0; code < kLengthCodes - 1; ++code) {
            baseLength[code] = static_cast<std::uint16_t>(length);
            for (int n = 0; n < (1 << kExtraLBits[code]); ++n) lengthCode[length++] = static_cast<std::uint8_t>(code);
        }
        lengthCode[255] = kLengthCodes - 1;  // length 258 has its own code
        baseLength[kLengthCodes - 1] = 255;
        int dist = 0;
        for (int code = 0; code < 16; ++code) {
            baseDist[code] = static_cast<std::uint16_t>(dist);
            for (int n = 0; n < (1 << kExtraDBits[code]); ++n) distCode[dist++] = static_cast<std::uint8_t>(code);
        }
        dist >>= 7;
        for (int code = 16; code < kDCodes; ++code) {
            baseDist[code] = static_cast<std::uint16_t>(dist << 7);
            for (int n = 0; n < (1 << (kExtraDBits[code] - 7)); ++n)
                distCode[256 + dist++] = static_cast<std::uint8_t>(code);
        }
        std::uint16_t blCount[kMaxBits + 1] = {};
        for (int n = 0; n < kLCodes + 2; ++n) {
            sLitLen[n] = n <= 143 ? 8 : n <= 255 ? 9 : n <= 279 ? 7 : 8;
            ++blCount[sLitLen[n]];
        }
        GenCodes(sLitCode, sLitLen, kLCodes + 1, blCount);
        for (int n = 0; n < kDCodes; ++n) {
            sDistLen[n] = 5;
            sDistCode[n] = static_cast<std::uint16_t>(Reverse(static_cast<unsigned>(n), 5));
        }
    }
};

constexpr StaticTables kStaticTables{};
constexpr const StaticTables& Tables() { return kStaticTables; }

inline unsigned DistCode(unsigned d) {  // d = distance - 1
    const StaticTables& t = Tables();
    return d < 256 ? t.distCode[d] : t.distCode[256 + (d >> 7)];
}

inline std::uint16_t Load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Equal bytes of a and b, at most `max` (a multiple of 8 is not needed; reads stay within max + 7).
inline unsigned MatchLength(const std::uint8_t* a, const std::uint8_t* b, unsigned max) {
    unsigned n = 0;
    while (n < max) {
        const std::uint64_t x = Load64(a + n) ^ Load64(b + n);
        if (x) {
            n += static_cast<unsigned>(__builtin_ctzll(x)) >> 3;
            return n < max ? n : max;
        }
        n += 8;
    }
    return max;
}

struct Tree {
    std::uint16_t* freq;
    std::uint8_t* len;
    std::uint16_t* code;
    std::uint16_t* dad;
    int elems;
    int maxCode;
    const std::uint8_t* staticLen;  // lengths of the fixed tree, or null
    const std::uint8_t* extraBits;
    int extraBase;
    int maxLength;
};

}  // namespace

struct DeflateState {
    // Sliding window and hash chains.
    std::uint8_t window[kWindowSize + kWindowPad];
    // The previous chain entry of the first kPrevTail window slots, kept right behind the window: a
    // compare at the very end of the input may read up to 257 bytes past the current position, so these
    // bytes take part in the choice between candidates and stay as they have always been.
    std::uint16_t prevTail[kPrevTail];
    std::uint16_t head[kHashSize];
    // The next four chain entries of each position in one 8-byte word (lowest 16 bits: the previous
    // entry), built when the position is inserted from the word of the entry it follows. Every entry a
    // search can reach (nearer than MAX_DIST) is exact, so a search gets four chain entries per load
    // instead of one.
    alignas(64) std::uint16_t links[kWSize * 4];

    DeflateSource* source = nullptr;
    DeflateSink* sink = nullptr;

    unsigned goodMatch = 0, maxLazy = 0, niceMatch = 0, maxChain = 0;
    int level = 6;
    unsigned strstart = 0, lookahead = 0, matchStart = 0, prevLength = 0, insH = 0;
    long blockStart = 0;
    bool eof = false;
    int itemType = kItemTypeUnknown;
    bool warned = false;

    // Trees: frequencies, lengths, codes and parents (internal nodes follow the leaves).
    std::uint16_t lFreq[kHeapSize], dFreq[2 * kDCodes + 1], blFreq[2 * kBlCodes + 1];
    std::uint8_t lLen[kHeapSize], dLen[2 * kDCodes + 1], blLen[2 * kBlCodes + 1];
    std::uint16_t lCode[kHeapSize], dCode[2 * kDCodes + 1], blCode[2 * kBlCodes + 1];
    std::uint16_t lDad[kHeapSize], dDad[2 * kDCodes + 1], blDad[2 * kBlCodes + 1];
    int lMax = 0, dMax = 0, blMax = 0;
    std::uint16_t blCount[kMaxBits + 1];
    int heap[kHeapSize];
    int heapLen = 0, heapMax = 0;
    std::uint8_t depth[kHeapSize];
    unsigned long optLen = 0, staticLen = 0;

    // Symbols of the current block: the literal or length byte and the distance (0 for a literal).
    std::uint32_t sym[kLitBufSize];  // distance << 8 | literal, or length - 3 (distance 0: a literal)
    unsigned lastLit = 0, lastDist = 0;

    // Output: 64-bit bit buffer into the output buffer.
    std::uint8_t out[kDeflateOutputBuffer + 16];
    std::size_t outPos = 0;
    std::uint64_t bitBuf = 0;
    unsigned bitCount = 0;
    std::uint64_t compressed = 0;
    bool writeFailed = false;
    bool stopped = false;  // the source or the sink has failed, or a write failed
};
static_assert(offsetof(DeflateState, prevTail) == sizeof(DeflateState::window), "chain tail right behind the window");

namespace {

// ---- output ------------------------------------------------------------------------------------

// Hands the first n bytes of the output buffer to the sink (none after a failed write).
void Hand(DeflateState& s, std::size_t n) {
    if (s.writeFailed) return;
    if (!s.sink->Write(s.out, n)) s.writeFailed = true;
    if (s.writeFailed || s.sink->Failed()) s.stopped = true;
}

void FlushOutput(DeflateState& s) {
    if (s.outPos == 0) return;
    Hand(s, s.outPos);
    s.compressed += s.outPos;
    s.outPos = 0;
}

// The output goes to the write function in pieces of this many bytes (the last piece is shorter).
constexpr std::size_t kOutPiece = kDeflateOutputBuffer - 4;

// Hands over the first kOutPiece bytes and moves the few bytes behind them to the front.
void FlushPiece(DeflateState& s) {
    Hand(s, kOutPiece);
    s.compressed += kOutPiece;
    const std::size_t rest = s.outPos - kOutPiece;
    std::memmove(s.out, s.out + kOutPiece, rest);
    s.outPos = rest;
}

// Bit output: codes are packed least significant bit first into a 64-bit buffer; after each code the
// buffer is stored whole and the output position moves on by the complete bytes, so fewer than 8 bits
// stay behind and no branch depends on the fill.
struct BitOut {
    std::uint64_t buf;
    unsigned count;
    std::size_t pos;
    std::uint8_t* out;

    explicit BitOut(DeflateState& s) : buf(s.bitBuf), count(s.bitCount), pos(s.outPos), out(s.out) {}
    void Save(DeflateState& s) const {
        s.bitBuf = buf;
        s.bitCount = count;
        s.outPos = pos;
    }
    // At most 56 bits at once.
    __attribute__((always_inline)) void Put(DeflateState& s, std::uint64_t value, unsigned len) {
        buf |= value << count;
        count += len;
        std::memcpy(out + pos, &buf, 8);
        pos += count >> 3;
        buf >>= count & ~7u;
        count &= 7;
        if (pos >= kOutPiece) {
            Save(s);
            FlushPiece(s);
            pos = s.outPos;
        }
    }
};

inline void PutBits(DeflateState& s, std::uint64_t value, unsigned len) {
    BitOut b(s);
    b.Put(s, value, len);
    b.Save(s);
}

// Pads the bit buffer to a byte and moves it into the output buffer.
void WindUp(DeflateState& s) {
    while (s.bitCount > 0) {
        s.out[s.outPos++] = static_cast<std::uint8_t>(s.bitBuf);
        s.bitBuf >>= 8;
        s.bitCount = s.bitCount >= 8 ? s.bitCount - 8 : 0;
    }
    s.bitBuf = 0;
}

// ---- trees -------------------------------------------------------------------------------------

void InitBlock(DeflateState& s) {
    std::fill(std::begin(s.lFreq), std::begin(s.lFreq) + kLCodes, 0);
    std::fill(std::begin(s.dFreq), std::begin(s.dFreq) + kDCodes, 0);
    std::fill(std::begin(s.blFreq), std::begin(s.blFreq) + kBlCodes, 0);
    s.lFreq[kEndBlock] = 1;
    s.optLen = s.staticLen = 0;
    s.lastLit = s.lastDist = 0;
}

// A node's heap order: frequency first, then depth (a tie goes to the shallower node). n comes before
// m when its key is not greater.
inline unsigned HeapKey(const std::uint16_t* freq, const std::uint8_t* depth, int n) {
    return static_cast<unsigned>(freq[n]) << 8 | depth[n];
}

void DownHeap(DeflateState& s, const std::uint16_t* freq, int k) {
    const int v = s.heap[k];
    const unsigned vKey = HeapKey(freq, s.depth, v);
    int j = k << 1;
    while (j <= s.heapLen) {
        // The smaller child, chosen without a branch (the choice is unpredictable).
        const int right = j < s.heapLen ? j + 1 : j;
        const unsigned jKey = HeapKey(freq, s.depth, s.heap[j]), rKey = HeapKey(freq, s.depth, s.heap[right]);
        const bool takeRight = rKey <= jKey;
        j = takeRight ? right : j;
        if (vKey <= (takeRight ? rKey : jKey)) break;
        s.heap[k] = s.heap[j];
        k = j;
        j <<= 1;
    }
    s.heap[k] = v;
}

// Lengths of the leaves from the tree in the heap; lengths over the tree's limit are corrected so the
// Kraft sum stays exact (the deepest leaves move up, a shorter leaf moves down).
void GenBitLen(DeflateState& s, Tree& t) {
    std::fill(std::begin(s.blCount), std::end(s.blCount), 0);
    t.len[s.heap[s.heapMax]] = 0;  // root
    int overflow = 0;
    int h;
    for (h = s.heapMax + 1; h < kHeapSize; ++h) {
        const int n = s.heap[h];
        int bits = t.len[t.dad[n]] + 1;
        if (bits > t.maxLength) {
            bits = t.maxLength;
            ++overflow;
        }
        t.len[n] = static_cast<std::uint8_t>(bits);
        if (n > t.maxCode) continue;  // internal node
        ++s.blCount[bits];
        const int xbits = n >= t.extraBase ? t.extraBits[n - t.extraBase] : 0;
        const unsigned long f = t.freq[n];
        s.optLen += f * static_cast<unsigned long>(bits + xbits);
        if (t.staticLen) s.staticLen += f * static_cast<unsigned long>(t.staticLen[n] + xbits);
    }
    if (overflow == 0) return;
    do {
        int bits = t.maxLength - 1;
        while (s.blCount[bits] == 0) --bits;
        --s.blCount[bits];
        s.blCount[bits + 1] += 2;
        --s.blCount[t.maxLength];
        overflow -= 2;
    } while (overflow > 0);
    for (int bits = t.maxLength; bits != 0; --bits) {
        int n = s.blCount[bits];
        while (n != 0) {
            const int m = s.heap[--h];
            if (m > t.maxCode) continue;
            if (t.len[m] != bits) {
                s.optLen += static_cast<unsigned long>(bits - t.len[m]) * t.freq[m];
                t.len[m] = static_cast<std::uint8_t>(bits);
            }
            --n;
        }
    }
}

void BuildTree(DeflateState& s, Tree& t) {
    int maxCode = -1;
    s.heapLen = 0;
    s.heapMax = kHeapSize;
    for (int n = 0; n < t.elems; ++n) {
        if (t.freq[n] != 0) {
            s.heap[++s.heapLen] = maxCode = n;
            s.depth[n] = 0;
        } else {
            t.len[n] = 0;
        }
    }
    // At least two codes: a stream needs one bit per code at least.
    while (s.heapLen < 2) {
        const int node = s.heap[++s.heapLen] = maxCode < 2 ? ++maxCode : 0;
        t.freq[node] = 1;
        s.depth[node] = 0;
        --s.optLen;
        if (t.staticLen) s.staticLen -= t.staticLen[node];
    }
    t.maxCode = maxCode;
    for (int n = s.heapLen / 2; n >= 1; --n) DownHeap(s, t.freq, n);
    int node = t.elems;
    do {
        const int n = s.heap[1];
        s.heap[1] = s.heap[s.heapLen--];
        DownHeap(s, t.freq, 1);
        const int m = s.heap[1];
        s.heap[--s.heapMax] = n;
        s.heap[--s.heapMax] = m;
        t.freq[node] = static_cast<std::uint16_t>(t.freq[n] + t.freq[m]);
        s.depth[node] = static_cast<std::uint8_t>(std::max(s.depth[n], s.depth[m]) + 1);
        t.dad[n] = t.dad[m] = static_cast<std::uint16_t>(node);
        s.heap[1] = node++;
        DownHeap(s, t.freq, 1);
    } while (s.heapLen >= 2);
    s.heap[--s.heapMax] = s.heap[1];
    GenBitLen(s, t);
    GenCodes(t.code, t.len, maxCode, s.blCount);
}

// Counts the run-length symbols that will describe a tree's lengths.
void ScanTree(DeflateState& s, std::uint8_t* len, int maxCode) {
    int prevLen = -1, nextLen = len[0], count = 0, maxCount = 7, minCount = 4;
    if (nextLen == 0) maxCount = 138, minCount = 3;
    len[maxCode + 1] = 0xFF;  // guard
    for (int n = 0; n <= maxCode; ++n) {
        const int curLen = nextLen;
        nextLen = len[n + 1];
        if (++count < maxCount && curLen == nextLen) continue;
        if (count < minCount) {
            s.blFreq[curLen] = static_cast<std::uint16_t>(s.blFreq[curLen] + count);
        } else if (curLen != 0) {
            if (curLen != prevLen) ++s.blFreq[curLen];
            ++s.blFreq[kRep3_6];
        } else if (count <= 10) {
            ++s.blFreq[kRepz3_10];
        } else {
            ++s.blFreq[kRepz11_138];
        }
        count = 0;
        prevLen = curLen;
        if (nextLen == 0) maxCount = 138, minCount = 3;
        else if (curLen == nextLen) maxCount = 6, minCount = 3;
        else maxCount = 7, minCount = 4;
    }
}

inline void SendBl(DeflateState& s, int c) { PutBits(s, s.blCode[c], s.blLen[c]); }

void SendTree(DeflateState& s, const std::uint8_t* len, int maxCode) {
    int prevLen = -1, nextLen = len[0], count = 0, maxCount = 7, minCount = 4;
    if (nextLen == 0) maxCount = 138, minCount = 3;
    for (int n = 0; n <= maxCode; ++n) {
        const int curLen = nextLen;
        nextLen = len[n + 1];
        if (++count < maxCount && curLen == nextLen) continue;
        if (count < minCount) {
            do SendBl(s, curLen);
            while (--count != 0);
        } else if (curLen != 0) {
            if (curLen != prevLen) {
                SendBl(s, curLen);
                --count;
            }
            SendBl(s, kRep3_6);
            PutBits(s, static_cast<unsigned>(count - 3), 2);
        } else if (count <= 10) {
            SendBl(s, kRepz3_10);
            PutBits(s, static_cast<unsigned>(count - 3), 3);
        } else {
            SendBl(s, kRepz11_138);
            PutBits(s, static_cast<unsigned>(count - 11), 7);
        }
        count = 0;
        prevLen = curLen;
        if (nextLen == 0) maxCount = 138, minCount = 3;
        else if (curLen == nextLen) maxCount = 6, minCount = 3;
        else maxCount = 7, minCount = 4;
    }
}

Tree LitTree(DeflateState& s) {
    return {s.lFreq, s.lLen, s.lCode, s.lDad, kLCodes, 0, Tables().sLitLen, kExtraLBits, kLiterals + 1, kMaxBits};
}
Tree DistTree(DeflateState& s) {
    return {s.dFreq, s.dLen, s.dCode, s.dDad, kDCodes, 0, Tables().sDistLen, kExtraDBits, 0, kMaxBits};
}
Tree BlTree(DeflateState& s) {
    return {s.blFreq, s.blLen, s.blCode, s.blDad, kBlCodes, 0, nullptr, kExtraBlBits, 0, kMaxBlBits};
}

void CompressBlock(DeflateState& s, const std::uint16_t* lc, const std::uint8_t* ll, const std::uint16_t* dc,
                   const std::uint8_t* dl) {
    const StaticTables& t = Tables();
    BitOut b(s);
    for (unsigned i = 0; i < s.lastLit; ++i) {
        const unsigned c = s.sym[i] & 0xFF;
        const unsigned dist = s.sym[i] >> 8;
        if (dist == 0) {
            b.Put(s, lc[c], ll[c]);
        } else {
            // Length code and extra bits, distance code and extra bits: at most 48 bits, in one step.
            const unsigned code = t.lengthCode[c];
            const unsigned sym = code + kLiterals + 1;
            std::uint64_t v = lc[sym];
            unsigned n = ll[sym];
            v |= static_cast<std::uint64_t>(c - t.baseLength[code]) << n;
            n += kExtraLBits[code];
            const unsigned d = dist - 1;
            const unsigned dcode = DistCode(d);
            v |= static_cast<std::uint64_t>(dc[dcode]) << n;
            n += dl[dcode];
            v |= static_cast<std::uint64_t>(d - t.baseDist[dcode]) << n;
            n += kExtraDBits[dcode];
            b.Put(s, v, n);
        }
    }
    b.Put(s, lc[kEndBlock], ll[kEndBlock]);
    b.Save(s);
}

// Binary when the bytes 0-6 and 128-255 outnumber a quarter of the bytes 7-127.
void SetItemType(DeflateState& s) {
    unsigned long bin = 0, ascii = 0;
    for (int n = 0; n < 7; ++n) bin += s.lFreq[n];
    for (int n = 7; n < 128; ++n) ascii += s.lFreq[n];
    for (int n = 128; n < kLiterals; ++n) bin += s.lFreq[n];
    s.itemType = bin > (ascii >> 2) ? kItemTypeBinary : kItemTypeText;
    if (s.itemType == kItemTypeBinary && !s.warned) {
        s.warned = true;
        s.sink->BinaryItem();
    }
}

void FlushBlock(DeflateState& s, bool last) {
    if (s.itemType == kItemTypeUnknown) SetItemType(s);
    Tree lt = LitTree(s), dt = DistTree(s);
    BuildTree(s, lt);
    BuildTree(s, dt);
    s.lMax = lt.maxCode;
    s.dMax = dt.maxCode;
    ScanTree(s, s.lLen, s.lMax);
    ScanTree(s, s.dLen, s.dMax);
    Tree bt = BlTree(s);
    BuildTree(s, bt);
    int maxBlIndex;
    for (maxBlIndex = kBlCodes - 1; maxBlIndex >= 3; --maxBlIndex)
        if (s.blLen[kBlOrder[maxBlIndex]] != 0) break;
    s.optLen += 3 * (static_cast<unsigned long>(maxBlIndex) + 1) + 5 + 5 + 4;
    const unsigned long optLenB = (s.optLen + 3 + 7) >> 3;
    const unsigned long staticLenB = (s.staticLen + 3 + 7) >> 3;
    const StaticTables& t = Tables();
    if (staticLenB <= optLenB) {
        PutBits(s, (1u << 1) + (last ? 1u : 0u), 3);
        CompressBlock(s, t.sLitCode, t.sLitLen, t.sDistCode, t.sDistLen);
    } else {
        PutBits(s, (2u << 1) + (last ? 1u : 0u), 3);
        PutBits(s, static_cast<unsigned>(s.lMax + 1 - 257), 5);
        PutBits(s, static_cast<unsigned>(s.dMax + 1 - 1), 5);
        PutBits(s, static_cast<unsigned>(maxBlIndex + 1 - 4), 4);
        for (int rank = 0; rank <= maxBlIndex; ++rank) PutBits(s, s.blLen[kBlOrder[rank]], 3);
        SendTree(s, s.lLen, s.lMax);
        SendTree(s, s.dLen, s.dMax);
        CompressBlock(s, s.lCode, s.lLen, s.dCode, s.dLen);
    }
    InitBlock(s);
    if (last) WindUp(s);
}

// Counts one symbol; true when the block is to end here.
inline bool Tally(DeflateState& s, unsigned dist, unsigned lc, unsigned strstart) {
    s.sym[s.lastLit] = dist << 8 | lc;
    ++s.lastLit;
    if (dist == 0) {
        ++s.lFreq[lc];
    } else {
        ++s.lFreq[Tables().lengthCode[lc] + kLiterals + 1];
        ++s.dFreq[DistCode(dist - 1)];
        ++s.lastDist;
    }
    if (s.level > 2 && (s.lastLit & 0xFFF) == 0) {
        // Early end: few matches and the estimate already under half the input covered.
        unsigned long outLength = static_cast<unsigned long>(s.lastLit) * 8;
        const unsigned long inLength = static_cast<unsigned long>(static_cast<long>(strstart) - s.blockStart);
        for (int d = 0; d < kDCodes; ++d) outLength += s.dFreq[d] * (5ul + kExtraDBits[d]);
        outLength >>= 3;
        if (s.lastDist < s.lastLit / 2 && outLength < inLength / 2) return true;
    }
    return s.lastLit == kLitBufSize - 1 || s.lastDist == kDistBufSize;
}

// ---- matcher -----------------------------------------------------------------------------------

// The four chain entries of a position as one word, the nearest in the low 16 bits.
inline std::uint64_t LoadLinks(const std::uint16_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline void StoreLinks(std::uint16_t* p, std::uint64_t v) { std::memcpy(p, &v, 8); }

inline void UpdateHash(unsigned& h, std::uint8_t c) { h = ((h << kHashShift) ^ c) & kHashMask; }

// Inserts the string at `pos` and returns the previous head of its chain.
inline unsigned InsertString(DeflateState& s, unsigned& h, unsigned pos) {
    DEFLATE_COUNT(inserts);
    UpdateHash(h, s.window[pos + kMinMatch - 1]);
    const unsigned head = s.head[h];
    if ((pos & kWMask) < kPrevTail) s.prevTail[pos & kWMask] = static_cast<std::uint16_t>(head);
    StoreLinks(s.links + 4 * (pos & kWMask), (LoadLinks(s.links + 4 * (head & kWMask)) << 16) | head);
    s.head[h] = static_cast<std::uint16_t>(pos);
    return head;
}

// Follows the chain from `cur` (the hash head, known to be within reach). Entries are visited in chain
// order, at most the chain limit of them, while they lie nearer than MAX_DIST; the search stops at the
// nice length. A candidate is tested first at the two bytes that would lengthen the best match and at its
// first two bytes, then compared 8 bytes at a time. The next four chain entries are loaded before the
// candidates are tested, so the load overlaps with the tests and survives a mispredicted branch.
__attribute__((always_inline)) inline unsigned LongestMatch(DeflateState& s, unsigned cur, unsigned strstart,
                                                          unsigned prevLength, unsigned lookahead,
                                                          unsigned& matchStartOut) {
    const std::uint8_t* const window = s.window;
    const std::uint16_t* const links = s.links;
    unsigned chain = s.maxChain;
    const std::uint8_t* const scan = window + strstart;
    unsigned bestLen = prevLength;
    unsigned matchStart = matchStartOut;
    const unsigned nice = s.niceMatch;
    const unsigned limit = strstart > kMaxDist ? strstart - kMaxDist : 0;
    if (bestLen >= s.goodMatch) chain >>= 2;
    std::uint32_t scanEnd = Load16(scan + bestLen - 1);
    const std::uint32_t scanStart = Load16(scan);
    DEFLATE_COUNT(searches);
    // True when the search ends at this candidate (nice length reached).
    auto visit = [&](unsigned pos) __attribute__((always_inline)) {
        DEFLATE_COUNT(candidates);
        const std::uint8_t* match = window + pos;
        if (((Load16(match + bestLen - 1) ^ scanEnd) | (Load16(match) ^ scanStart)) != 0) return false;
        DEFLATE_COUNT(compares);
        const unsigned len = 2 + MatchLength(scan + 2, match + 2, kMaxMatch - 2);
        if (len <= bestLen) return false;
        DEFLATE_COUNT(longer);
        matchStart = pos;
        bestLen = len;
        if (len >= nice) return true;
        scanEnd = Load16(scan + bestLen - 1);
        return false;
    };
    for (;;) {
        const std::uint64_t l = LoadLinks(links + 4 * (cur & kWMask));
        DEFLATE_COUNT(words);
        const unsigned e1 = l & 0xFFFF, e2 = (l >> 16) & 0xFFFF, e3 = (l >> 32) & 0xFFFF, e4 = l >> 48;
        if (visit(cur)) break;
        if (e1 <= limit || --chain == 0 || visit(e1)) break;
        if (e2 <= limit || --chain == 0 || visit(e2)) break;
        if (e3 <= limit || --chain == 0 || visit(e3)) break;
        if (e4 <= limit || --chain == 0) break;
        cur = e4;
    }
    matchStartOut = matchStart;
    return bestLen <= lookahead ? bestLen : lookahead;
}

// Starts loading what the search at the next position will read first: the chain head of its hash, its
// chain word and window bytes. The search at this position then overlaps with those loads.
inline void PrefetchNext(const DeflateState& s, unsigned insH, unsigned strstart) {
    const unsigned h = ((insH << kHashShift) ^ s.window[strstart + kMinMatch]) & kHashMask;
    const unsigned next = s.head[h];
    __builtin_prefetch(s.window + next);
    __builtin_prefetch(s.links + 4 * (next & kWMask));
}

void FillWindow(DeflateState& s) {
    unsigned more = kWindowSize - s.lookahead - s.strstart;
    if (s.strstart >= kWSize + kMaxDist) {
        std::memcpy(s.window, s.window + kWSize, kWSize);
        s.matchStart -= kWSize;
        s.strstart -= kWSize;
        s.blockStart -= static_cast<long>(kWSize);
        for (auto& h : s.head) h = static_cast<std::uint16_t>(h >= kWSize ? h - kWSize : 0);
        for (auto& p : s.prevTail) p = static_cast<std::uint16_t>(p >= kWSize ? p - kWSize : 0);
        for (auto& p : s.links) p = static_cast<std::uint16_t>(p >= kWSize ? p - kWSize : 0);
        more += kWSize;
    }
    if (s.eof) return;
    const bool cancelled = s.source->Cancelled();
    if (cancelled || more == 0) {
        s.eof = cancelled;
        return;
    }
    const std::size_t n = s.source->Read(s.window + s.strstart + s.lookahead, more);
    if (n == 0) s.eof = true;
    else s.lookahead += static_cast<unsigned>(n);
    if (s.source->Failed()) s.stopped = true;
}

inline bool Stopped(const DeflateState& s) { return s.stopped; }

void EndBlock(DeflateState& s, bool last) {
    FlushBlock(s, last);
    s.blockStart = static_cast<long>(s.strstart);
}

void DeflateFast(DeflateState& s) {
    unsigned matchLength = 0;
    s.prevLength = kMinMatch - 1;
    while (s.lookahead != 0 && !Stopped(s)) {
        const unsigned hashHead = InsertString(s, s.insH, s.strstart);
        PrefetchNext(s, s.insH, s.strstart);
        if (hashHead != 0 && s.strstart - hashHead <= kMaxDist) {
            matchLength = LongestMatch(s, hashHead, s.strstart, s.prevLength, s.lookahead, s.matchStart);
            if (matchLength > s.lookahead) matchLength = s.lookahead;
        }
        bool flush;
        if (matchLength >= kMinMatch) {
            flush = Tally(s, s.strstart - s.matchStart, matchLength - kMinMatch, s.strstart);
            s.lookahead -= matchLength;
            if (matchLength <= s.maxLazy) {
                --matchLength;
                do {
                    ++s.strstart;
                    InsertString(s, s.insH, s.strstart);
                } while (--matchLength != 0);
                ++s.strstart;
            } else {
                s.strstart += matchLength;
                matchLength = 0;
                s.insH = s.window[s.strstart];
                UpdateHash(s.insH, s.window[s.strstart + 1]);
            }
        } else {
            flush = Tally(s, 0, s.window[s.strstart], s.strstart);
            --s.lookahead;
            ++s.strstart;
        }
        if (flush) EndBlock(s, false);
        while (s.lookahead < kMinLookahead && !s.eof) FillWindow(s);
    }
}

// The position, lookahead, match start and hash live in locals through the loop (the buffers' stores
// would otherwise make the compiler reload them from the state); they go back to the state around
// the calls that use them there.
void DeflateLazy(DeflateState& s) {
    unsigned matchLength = kMinMatch - 1, prevLength = s.prevLength;
    bool matchAvailable = false;
    unsigned strstart = s.strstart, lookahead = s.lookahead, matchStart = s.matchStart, h = s.insH;
    const unsigned maxLazy = s.maxLazy;
    const std::uint8_t* const window = s.window;
    auto save = [&] {
        s.strstart = strstart;
        s.lookahead = lookahead;
        s.matchStart = matchStart;
        s.insH = h;
        s.prevLength = prevLength;
    };
    auto endBlock = [&] {
        save();
        EndBlock(s, false);
    };
    while (lookahead != 0 && !Stopped(s)) {
        const unsigned hashHead = InsertString(s, h, strstart);
        PrefetchNext(s, h, strstart);
        prevLength = matchLength;
        const unsigned prevMatch = matchStart;
        matchLength = kMinMatch - 1;
        if (hashHead != 0 && prevLength < maxLazy && strstart - hashHead <= kMaxDist) {
            matchLength = LongestMatch(s, hashHead, strstart, prevLength, lookahead, matchStart);
            if (matchLength > lookahead) matchLength = lookahead;
            if (matchLength == kMinMatch && strstart - matchStart > kTooFar) --matchLength;
        }
        if (prevLength >= kMinMatch && matchLength <= prevLength) {
            const bool flush = Tally(s, strstart - 1 - prevMatch, prevLength - kMinMatch, strstart);
            lookahead -= prevLength - 1;
            unsigned left = prevLength - 2;
            do {
                ++strstart;
                InsertString(s, h, strstart);
            } while (--left != 0);
            matchAvailable = false;
            matchLength = kMinMatch - 1;
            ++strstart;
            if (flush) endBlock();
        } else if (matchAvailable) {
            if (Tally(s, 0, window[strstart - 1], strstart)) endBlock();
            ++strstart;
            --lookahead;
        } else {
            matchAvailable = true;
            ++strstart;
            --lookahead;
        }
        if (lookahead < kMinLookahead && !s.eof) {
            save();
            do FillWindow(s);
            while (s.lookahead < kMinLookahead && !s.eof);
            strstart = s.strstart;
            lookahead = s.lookahead;
            matchStart = s.matchStart;
        }
    }
    save();
    if (matchAvailable && !Stopped(s)) Tally(s, 0, window[strstart - 1], strstart);
}

}  // namespace

void DeflateStateDeleter::operator()(DeflateState* s) const { delete s; }

int ClampLevel(int level) { return level < 1 ? 1 : level > 9 ? 9 : level; }

int DeflateCoder::Start(int level, DeflateSource& source) {
    if (!s_) {
        s_.reset(new (std::nothrow) DeflateState);
        if (!s_) return GTE_MEM;
    }
    DeflateState& s = *s_;
    // Zeroed window and chains: the same input and level always give the same bytes.
    std::memset(s.window, 0, sizeof s.window);
    std::memset(s.prevTail, 0, sizeof s.prevTail);
    std::memset(s.links, 0, sizeof s.links);
    std::memset(s.head, 0, sizeof s.head);
    s.level = ClampLevel(level);
    const Config& c = kConfig[s.level];
    s.goodMatch = c.good;
    s.maxLazy = c.lazy;
    s.niceMatch = c.nice;
    s.maxChain = c.chain;
    s.source = &source;
    s.sink = nullptr;
    s.strstart = 0;
    s.blockStart = 0;
    s.matchStart = 0;
    s.prevLength = kMinMatch - 1;
    s.eof = false;
    s.itemType = kItemTypeUnknown;
    s.warned = false;
    s.outPos = 0;
    s.bitBuf = 0;
    s.bitCount = 0;
    s.compressed = 0;
    s.writeFailed = false;
    s.stopped = source.Failed();
    InitBlock(s);
    s.lookahead = source.Cancelled() ? 0 : static_cast<unsigned>(source.Read(s.window, kWSize));
    if (source.Failed()) s.stopped = true;
    if (s.lookahead == 0) {
        s.eof = true;
        return GTE_READ;
    }
    while (s.lookahead < kMinLookahead && !s.eof) FillWindow(s);
    s.insH = 0;
    for (unsigned j = 0; j < kMinMatch - 1; ++j) UpdateHash(s.insH, s.window[j]);
    return GTE_OK;
}

std::uint64_t DeflateCoder::Compress(DeflateSink& sink) {
    DeflateState& s = *s_;
    s.sink = &sink;
    if (sink.Failed()) s.stopped = true;
    if (s.level <= 3) DeflateFast(s);
    else DeflateLazy(s);
    if (!Stopped(s)) {
        FlushBlock(s, true);
        FlushOutput(s);
    }
    s.sink = nullptr;
    s.source = nullptr;
    return s.compressed;
}

int DeflateCoder::ItemType() const { return s_ ? s_->itemType : kItemTypeUnknown; }

std::vector<std::uint8_t> HuffmanCodeLengths(const std::vector<std::uint16_t>& freq, int maxLength) {
    std::unique_ptr<DeflateState> s(new DeflateState);
    const int elems = static_cast<int>(std::min<std::size_t>(freq.size(), kLCodes));
    std::fill(std::begin(s->lFreq), std::end(s->lFreq), 0);
    std::copy(freq.begin(), freq.begin() + elems, s->lFreq);
    Tree t{s->lFreq, s->lLen, s->lCode, s->lDad, elems, 0, nullptr, kExtraLBits, kHeapSize, maxLength};
    BuildTree(*s, t);
    return std::vector<std::uint8_t>(s->lLen, s->lLen + elems);
}

namespace {
class BufferSource final : public DeflateSource {
public:
    BufferSource(const std::uint8_t* p, std::size_t left) : p_(p), left_(left) {}
    std::size_t Read(std::uint8_t* buf, std::size_t want) override {
        const std::size_t n = std::min(want, left_);
        if (n) std::memcpy(buf, p_, n);  // an empty source may hold a null pointer
        p_ += n;
        left_ -= n;
        return n;
    }

private:
    const std::uint8_t* p_;
    std::size_t left_;
};
class VectorSink final : public DeflateSink {
public:
    explicit VectorSink(std::vector<std::uint8_t>& out) : out_(out) {}
    bool Write(std::uint8_t* buf, std::size_t n) override {
        out_.insert(out_.end(), buf, buf + n);
        return true;
    }

private:
    std::vector<std::uint8_t>& out_;
};
}  // namespace

void DeflateBuffer(DeflateCoder& coder, const void* data, std::size_t size, int level, std::vector<std::uint8_t>& out) {
    out.clear();
    BufferSource src(static_cast<const std::uint8_t*>(data), size);
    if (coder.Start(level, src) != GTE_OK) return;
    VectorSink sink(out);
    coder.Compress(sink);
}

std::vector<std::uint8_t> DeflateBuffer(const void* data, std::size_t size, int level) {
    DeflateCoder coder;
    std::vector<std::uint8_t> out;
    DeflateBuffer(coder, data, size, level, out);
    return out;
}

}  // namespace gtlib
