#include "gtlib/engine/inflate.h"

#include "gtlib/engine/deflate.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/gtlib/engine/inflate_test_util.h"

namespace {

using gtlib_test::Bytes;
using namespace gtlib;

// Source handing out the input in pieces of a fixed size.
class PieceSource : public InflateSource {
public:
    PieceSource(const Bytes& data, std::size_t piece) : data_(data), piece_(piece) {}
    std::size_t Read(std::uint8_t* dst, std::size_t max) override {
        const std::size_t n = std::min({piece_, max, data_.size() - pos_});
        std::copy_n(data_.data() + pos_, n, dst);
        pos_ += n;
        return n;
    }

private:
    const Bytes& data_;
    std::size_t piece_;
    std::size_t pos_ = 0;
};

class CollectSink : public InflateSink {
public:
    explicit CollectSink(std::size_t stop_after = SIZE_MAX) : stop_after_(stop_after) {}
    bool Write(const std::uint8_t* p, std::size_t n) override {
        ++writes;
        data.insert(data.end(), p, p + n);
        return data.size() < stop_after_;
    }
    Bytes data;
    int writes = 0;

private:
    std::size_t stop_after_;
};

InflateResult InflateStreaming(const Bytes& in, std::size_t piece, Bytes& out, InflateOptions opt = {}) {
    PieceSource src(in, piece);
    CollectSink sink;
    const InflateResult r = Inflate(src, sink, opt);
    out = sink.data;
    return r;
}

// Every zlib level and strategy, on data of every kind, decodes exactly through each interface.
TEST(InflateTest, DecodesZlibOutputForEveryLevelAndStrategy) {
    const std::map<int, const char*> strategies = {{Z_DEFAULT_STRATEGY, "default"}, {Z_FILTERED, "filtered"},
                                                   {Z_HUFFMAN_ONLY, "huffman"},     {Z_RLE, "rle"},
                                                   {Z_FIXED, "fixed"}};
    for (const char* kind : {"text", "random", "runs", "skewed"}) {
        const Bytes data = gtlib_test::Sample(kind, 200000);
        for (const auto& [strategy, sname] : strategies) {
            for (int level = 0; level <= 9; ++level) {
                SCOPED_TRACE(std::string(kind) + " " + sname + " level " + std::to_string(level));
                const Bytes z = gtlib_test::ZlibDeflateRaw(data, level, strategy);
                Bytes out;
                std::size_t consumed = 0;
                ASSERT_EQ(InflateBuffer(z.data(), z.size(), out, {}, SIZE_MAX, &consumed), kInflateOk);
                ASSERT_EQ(out, data);
                EXPECT_EQ(consumed, z.size());
                Bytes fixed(data.size());
                std::size_t n = 0;
                ASSERT_EQ(InflateInto(z.data(), z.size(), fixed.data(), fixed.size(), &n), kInflateOk);
                ASSERT_EQ(n, data.size());
                ASSERT_EQ(fixed, data);
                if (level == 1 || level == 9) {
                    ASSERT_EQ(InflateStreaming(z, 10240, out), kInflateOk);
                    ASSERT_EQ(out, data);
                }
            }
        }
    }
}

// Our own coder's streams at every level come back exactly.
TEST(InflateTest, DecodesOurDeflateAtEveryLevel) {
    for (const char* kind : {"text", "random", "runs", "skewed"}) {
        const Bytes data = gtlib_test::Sample(kind, 150000, 4);
        for (int level = 1; level <= 9; ++level) {
            const Bytes z = DeflateBuffer(data.data(), data.size(), level);
            Bytes out;
            ASSERT_EQ(InflateBuffer(z.data(), z.size(), out), kInflateOk) << kind << " " << level;
            ASSERT_EQ(out, data) << kind << " " << level;
        }
    }
}

// Input in odd piece sizes (down to one byte) and flushes of every kind between the pieces.
TEST(InflateTest, DecodesFlushedStreamsFromPiecesOfAnySize) {
    const Bytes data = gtlib_test::Sample("text", 70000, 7);
    for (int flush : {Z_NO_FLUSH, Z_SYNC_FLUSH, Z_FULL_FLUSH, Z_PARTIAL_FLUSH, Z_BLOCK}) {
        for (std::size_t every : {std::size_t{1000}, std::size_t{33333}}) {
            const Bytes z = gtlib_test::ZlibDeflateRaw(data, 6, Z_DEFAULT_STRATEGY, every, flush);
            for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, std::size_t{1} << 20}) {
                SCOPED_TRACE("flush " + std::to_string(flush) + " every " + std::to_string(every) + " piece " +
                             std::to_string(piece));
                Bytes out;
                ASSERT_EQ(InflateStreaming(z, piece, out), kInflateOk);
                ASSERT_EQ(out, data);
            }
        }
    }
}

TEST(InflateTest, EmptyAndTinyInputs) {
    for (std::size_t n : {0, 1, 2, 3, 258, 259}) {
        const Bytes data = gtlib_test::Sample("runs", n, 3);
        for (int level : {0, 1, 9}) {
            const Bytes z = gtlib_test::ZlibDeflateRaw(data, level, Z_DEFAULT_STRATEGY);
            Bytes out;
            ASSERT_EQ(InflateBuffer(z.data(), z.size(), out), kInflateOk) << n << " " << level;
            EXPECT_EQ(out, data);
            ASSERT_EQ(InflateStreaming(z, 1, out), kInflateOk);
            EXPECT_EQ(out, data);
        }
    }
}

// Files written by the usual GZIP tools decode exactly.
TEST(InflateTest, DecodesGzipToolOutput) {
    gtlib_test::ScratchDir dir;
    Bytes data = gtlib_test::Sample("text", 300000, 11);
    const Bytes more = gtlib_test::Sample("skewed", 100000, 12);
    data.insert(data.end(), more.begin(), more.end());
    gtlib_test::WriteFile(dir / "in", data);
    std::vector<std::vector<std::string>> tools;
    for (int l = 1; l <= 9; ++l) tools.push_back({"gzip", "-c", "-" + std::to_string(l), "in"});
    if (gtlib_test::HaveTool("pigz")) {
        tools.push_back({"pigz", "-c", "-p", "2", "-b", "128", "in"});
        tools.push_back({"pigz", "-c", "-11", "in"});
    }
    if (gtlib_test::HaveTool("libdeflate-gzip")) {
        for (const char* l : {"-1", "-6", "-12"}) tools.push_back({"libdeflate-gzip", "-c", l, "in"});
    }
    for (const auto& argv : tools) {
        std::string name;
        for (const auto& a : argv) name += a + " ";
        SCOPED_TRACE(name);
        ASSERT_TRUE(gtlib_test::Run(argv, (dir / "out.gz"), dir.path().string()));
        const Bytes g = gtlib_test::ReadFile(dir / "out.gz");
        const std::size_t off = gtlib_test::GzipDataOffset(g);
        Bytes out;
        std::size_t consumed = 0;
        ASSERT_EQ(InflateBuffer(g.data() + off, g.size() - off - 8, out, {}, SIZE_MAX, &consumed), kInflateOk);
        EXPECT_EQ(out, data);
        EXPECT_EQ(consumed, g.size() - off - 8);
    }
}

// ---- Hand-built streams ------------------------------------------------------------------------------------

// Writes bits least significant first, as deflate packs them; Huffman codes go most significant bit first.
class BitWriter {
public:
    void Bits(unsigned value, unsigned n) {
        for (unsigned i = 0; i < n; ++i) Bit((value >> i) & 1);
    }
    void Code(unsigned code, unsigned len) {
        for (unsigned i = len; i-- > 0;) Bit((code >> i) & 1);
    }
    void AlignByte() {
        while (nbits_) Bit(0);
    }
    void Byte(std::uint8_t b) { Bits(b, 8); }
    Bytes Done() {
        Bytes b = out_;
        if (nbits_) b.push_back(cur_);
        return b;
    }

private:
    void Bit(unsigned b) {
        cur_ |= static_cast<std::uint8_t>(b << nbits_);
        if (++nbits_ == 8) {
            out_.push_back(cur_);
            cur_ = 0;
            nbits_ = 0;
        }
    }
    Bytes out_;
    std::uint8_t cur_ = 0;
    unsigned nbits_ = 0;
};

// Canonical codes for a list of lengths.
std::vector<unsigned> CanonicalCodes(const std::vector<unsigned>& lens) {
    unsigned count[16] = {}, next[16] = {};
    for (unsigned l : lens) count[l]++;
    count[0] = 0;
    unsigned code = 0;
    for (int b = 1; b < 16; ++b) {
        code = (code + count[b - 1]) << 1;
        next[b] = code;
    }
    std::vector<unsigned> codes(lens.size());
    for (std::size_t i = 0; i < lens.size(); ++i)
        if (lens[i]) codes[i] = next[lens[i]]++;
    return codes;
}

void FixedLiteral(BitWriter& w, unsigned sym) {
    if (sym < 144) w.Code(0x30 + sym, 8);
    else if (sym < 256) w.Code(0x190 + sym - 144, 9);
    else if (sym < 280) w.Code(sym - 256, 7);
    else w.Code(0xC0 + sym - 280, 8);
}

void FixedBlock(BitWriter& w, bool final_block, const std::string& text) {
    w.Bits(final_block, 1);
    w.Bits(1, 2);
    for (unsigned char c : text) FixedLiteral(w, c);
    FixedLiteral(w, 256);
}

// Code-length code used by the dynamic-block builder: 0-15 with 5 bits, 16 with 2, 17 and 18 with 3.
const std::vector<unsigned> kPreLens = {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 2, 3, 3};

struct Dynamic {
    unsigned hlit = 257, hdist = 1;
    std::vector<unsigned> pre = kPreLens;
    // Code-length symbols as (symbol, extra bits value).
    std::vector<std::pair<unsigned, unsigned>> lens;
};

// Writes a dynamic block header; `codes` receives the literal/length and distance codes when they are used.
void DynamicHeader(BitWriter& w, bool final_block, const Dynamic& d) {
    static const unsigned order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    w.Bits(final_block, 1);
    w.Bits(2, 2);
    w.Bits(d.hlit - 257, 5);
    w.Bits(d.hdist - 1, 5);
    w.Bits(19 - 4, 4);
    for (unsigned i = 0; i < 19; ++i) w.Bits(d.pre[order[i]], 3);
    const auto pc = CanonicalCodes(d.pre);
    for (auto [sym, extra] : d.lens) {
        w.Code(pc[sym], d.pre[sym]);
        if (sym == 16) w.Bits(extra, 2);
        if (sym == 17) w.Bits(extra, 3);
        if (sym == 18) w.Bits(extra, 7);
    }
}

// Plain length list as code-length symbols.
std::vector<std::pair<unsigned, unsigned>> Plain(const std::vector<unsigned>& lens) {
    std::vector<std::pair<unsigned, unsigned>> out;
    for (unsigned l : lens) out.push_back({l, 0});
    return out;
}

// Literal/length lengths: 'a', 'b', end of block and length 3 (symbol 257) get 2 bits each.
std::vector<unsigned> SmallLitlen(unsigned hlit = 258) {
    std::vector<unsigned> l(hlit, 0);
    l['a'] = l['b'] = l[256] = l[257] = 2;
    return l;
}

Dynamic SmallDynamic(const std::vector<unsigned>& dist_lens) {
    Dynamic d;
    d.hlit = 258;
    d.hdist = static_cast<unsigned>(dist_lens.size());
    auto all = SmallLitlen();
    all.insert(all.end(), dist_lens.begin(), dist_lens.end());
    d.lens = Plain(all);
    return d;
}

struct HostileCase {
    const char* name;
    Bytes stream;
    InflateResult want;
    std::string want_out;  // output expected before the failure
};

std::vector<HostileCase> HostileCases() {
    std::vector<HostileCase> cases;
    auto add = [&](const char* name, BitWriter w, InflateResult want, std::string out = "") {
        cases.push_back({name, w.Done(), want, out});
    };
    {
        BitWriter w;
        add("empty input", w, kInflateTruncated);
    }
    {
        BitWriter w;
        w.Bits(1, 1), w.Bits(3, 2);
        add("block type 3", w, kInflateBadBlock);
    }
    {
        BitWriter w;
        w.Bits(1, 1), w.Bits(0, 2), w.AlignByte();
        w.Bits(5, 16), w.Bits(5, 16);
        add("stored length and complement disagree", w, kInflateBadData);
    }
    {
        BitWriter w;
        w.Bits(1, 1), w.Bits(0, 2), w.AlignByte();
        w.Bits(5, 16), w.Bits(~5u & 0xFFFF, 16), w.Byte('x'), w.Byte('y');
        add("stored data cut short", w, kInflateTruncated, "xy");
    }
    {
        BitWriter w;
        w.Bits(1, 1), w.Bits(0, 2), w.AlignByte(), w.Bits(0, 8);
        add("stored header cut short", w, kInflateTruncated);
    }
    {
        BitWriter w;
        w.Bits(1, 1), w.Bits(1, 2);
        for (char c : std::string("abc")) FixedLiteral(w, static_cast<unsigned char>(c));
        add("fixed block without end of block", w, kInflateTruncated, "abc");
    }
    {
        BitWriter w;
        w.Bits(1, 1), w.Bits(1, 2), FixedLiteral(w, 'a'), FixedLiteral(w, 286);
        add("literal/length code 286", w, kInflateBadData, "a");
    }
    {
        BitWriter w;
        w.Bits(1, 1), w.Bits(1, 2), FixedLiteral(w, 'a'), FixedLiteral(w, 287);
        add("literal/length code 287", w, kInflateBadData, "a");
    }
    for (unsigned dcode : {30u, 31u}) {
        BitWriter w;
        w.Bits(1, 1), w.Bits(1, 2), FixedLiteral(w, 'a'), FixedLiteral(w, 257), w.Code(dcode, 5);
        add(dcode == 30 ? "distance code 30" : "distance code 31", w, kInflateBadData, "a");
    }
    {
        BitWriter w;
        w.Bits(1, 1), w.Bits(1, 2), FixedLiteral(w, 'a'), FixedLiteral(w, 257), w.Code(1, 5), FixedLiteral(w, 256);
        add("distance beyond the bytes produced", w, kInflateBadData, "a");
    }
    {
        BitWriter w;
        w.Bits(1, 1), w.Bits(1, 2), FixedLiteral(w, 257), w.Code(0, 5), FixedLiteral(w, 256);
        add("match before any byte", w, kInflateBadData);
    }
    {
        BitWriter w;
        Dynamic d = SmallDynamic({1});
        d.hlit = 287;
        auto l = SmallLitlen(287);
        l.push_back(1);
        d.lens = Plain(l);
        DynamicHeader(w, true, d);
        add("287 literal/length codes", w, kInflateBadData);
    }
    {
        BitWriter w;
        Dynamic d = SmallDynamic(std::vector<unsigned>(31, 5));
        d.lens.back() = {5, 0};
        DynamicHeader(w, true, d);
        add("31 distance codes", w, kInflateBadData);
    }
    {
        BitWriter w;
        Dynamic d = SmallDynamic({1});
        d.pre[0] = 1;  // 0 with one bit on top of a complete code
        DynamicHeader(w, true, d);
        add("over-subscribed code-length code", w, kInflateBadData);
    }
    {
        BitWriter w;
        Dynamic d = SmallDynamic({1});
        d.pre[18] = 0;
        DynamicHeader(w, true, d);
        add("incomplete code-length code", w, kInflateBadData);
    }
    {
        BitWriter w;
        Dynamic d = SmallDynamic({1});
        d.lens.insert(d.lens.begin(), {16, 0});
        DynamicHeader(w, true, d);
        add("repeat with no previous length", w, kInflateBadData);
    }
    {
        BitWriter w;
        Dynamic d = SmallDynamic({1});
        d.lens.pop_back();
        d.lens.pop_back();
        d.lens.push_back({2, 0});
        d.lens.push_back({16, 3});  // six more 2s where only one length is left
        DynamicHeader(w, true, d);
        add("repeat past the lengths", w, kInflateBadData);
    }
    {
        BitWriter w;
        Dynamic d = SmallDynamic({1});
        d.lens.pop_back();
        d.lens.push_back({18, 127});  // 138 zeros where one length is left
        DynamicHeader(w, true, d);
        add("zero run past the lengths", w, kInflateBadData);
    }
    {
        BitWriter w;
        Dynamic d = SmallDynamic({1});
        auto l = SmallLitlen();
        l[256] = 0;
        l['c'] = 2;
        l.push_back(1);
        d.lens = Plain(l);
        DynamicHeader(w, true, d);
        add("no end-of-block code", w, kInflateBadData);
    }
    {
        BitWriter w;
        Dynamic d = SmallDynamic({1});
        auto l = SmallLitlen();
        l['c'] = 2;
        l.push_back(1);
        d.lens = Plain(l);
        DynamicHeader(w, true, d);
        add("over-subscribed literal/length code", w, kInflateBadData);
    }
    {
        BitWriter w;
        Dynamic d = SmallDynamic({1});
        auto l = SmallLitlen();
        l['b'] = 3;
        l.push_back(1);
        d.lens = Plain(l);
        DynamicHeader(w, true, d);
        add("incomplete literal/length code", w, kInflateBadData);
    }
    {
        BitWriter w;
        Dynamic d = SmallDynamic({2, 2});
        DynamicHeader(w, true, d);
        add("incomplete distance code of two codes", w, kInflateBadData);
    }
    {
        BitWriter w;
        Dynamic d = SmallDynamic({1, 1, 1});
        DynamicHeader(w, true, d);
        add("over-subscribed distance code", w, kInflateBadData);
    }
    {
        // Single distance code: the other one-bit code is unused and must be refused when met.
        BitWriter w;
        DynamicHeader(w, true, SmallDynamic({1}));
        w.Code(0, 2), w.Code(3, 2), w.Code(1, 1);  // 'a', length 3, the missing distance code
        add("unused half of a single distance code", w, kInflateBadData, "a");
    }
    {
        BitWriter w;
        DynamicHeader(w, true, SmallDynamic({0}));
        w.Code(0, 2), w.Code(3, 2);  // 'a', then a length although there are no distance codes
        add("length with an empty distance code", w, kInflateBadData, "a");
    }
    {
        BitWriter w;
        DynamicHeader(w, true, SmallDynamic({1}));
        // The zero bits that fill the last byte are real input: they decode as 'a' (code 00).
        add("header only, no end of block", w, kInflateTruncated, "aaa");
    }
    // Valid streams built the same way, so the refusals above are not artefacts of the builder.
    {
        BitWriter w;
        DynamicHeader(w, true, SmallDynamic({1}));
        w.Code(0, 2), w.Code(3, 2), w.Code(0, 1), w.Code(1, 2), w.Code(2, 2);  // a, copy 3 at 1, b, end
        add("single distance code", w, kInflateOk, "aaaab");
    }
    {
        BitWriter w;
        DynamicHeader(w, true, SmallDynamic({0}));
        w.Code(1, 2), w.Code(0, 2), w.Code(2, 2);
        add("empty distance code, literals only", w, kInflateOk, "ba");
    }
    {
        // 'a' to 'd' and symbols 256 to 259 with 3 bits each, written with zero runs and repeats.
        BitWriter w;
        Dynamic d;
        d.hlit = 260;
        d.hdist = 1;
        d.lens = {{18, 97 - 11}, {3, 0}, {16, 0}, {18, 127}, {17, 7}, {17, 4}, {3, 0}, {16, 0}, {1, 0}};
        DynamicHeader(w, true, d);
        w.Code(3, 3), w.Code(0, 3), w.Code(4, 3);  // 'd', 'a', end
        add("runs and repeats in the code lengths", w, kInflateOk, "da");
    }
    return cases;
}

TEST(InflateTest, RefusesHostileStreams) {
    for (const auto& c : HostileCases()) {
        SCOPED_TRACE(c.name);
        Bytes out;
        EXPECT_EQ(InflateBuffer(c.stream.data(), c.stream.size(), out), c.want);
        EXPECT_EQ(std::string(out.begin(), out.end()), c.want_out);
        // The streaming path reads byte by byte and must agree, and never read beyond the stream.
        EXPECT_EQ(InflateStreaming(c.stream, 1, out), c.want);
        EXPECT_EQ(std::string(out.begin(), out.end()), c.want_out);
        // zlib agrees on validity (the builder makes nothing zlib reads differently).
        Bytes zout;
        EXPECT_EQ(gtlib_test::ZlibInflateRaw(c.stream.data(), c.stream.size(), zout, 1 << 20), c.want == kInflateOk);
    }
}

// Cutting a valid stream anywhere gives a truncation or data error, never success, and never more output
// than the data.
TEST(InflateTest, EveryTruncationFails) {
    const Bytes data = gtlib_test::Sample("text", 3000, 5);
    for (int level : {0, 1, 9}) {
        const Bytes z = gtlib_test::ZlibDeflateRaw(data, level, Z_DEFAULT_STRATEGY);
        for (std::size_t cut = 0; cut < z.size(); ++cut) {
            Bytes out;
            const InflateResult r = InflateBuffer(z.data(), cut, out);
            ASSERT_NE(r, kInflateOk) << "level " << level << " cut " << cut;
            ASSERT_LE(out.size(), data.size());
            ASSERT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
        }
    }
}

// Leave-partial: a bad block in the middle is skipped and decoding goes on with the next block; without it
// decoding ends there. Both report the data error.
TEST(InflateTest, LeavePartialGoesOnAfterABadBlock) {
    BitWriter w;
    FixedBlock(w, false, "abc");
    w.Bits(0, 1), w.Bits(0, 2), w.AlignByte(), w.Bits(1, 16), w.Bits(1, 16);  // bad stored block
    FixedBlock(w, true, "xyz");
    const Bytes s = w.Done();
    Bytes out;
    EXPECT_EQ(InflateBuffer(s.data(), s.size(), out), kInflateBadData);
    EXPECT_EQ(std::string(out.begin(), out.end()), "abc");
    InflateOptions lp;
    lp.leavePartial = true;
    EXPECT_EQ(InflateBuffer(s.data(), s.size(), out, lp), kInflateBadData);
    EXPECT_EQ(std::string(out.begin(), out.end()), "abcxyz");
    EXPECT_EQ(InflateStreaming(s, 3, out, lp), kInflateBadData);
    EXPECT_EQ(std::string(out.begin(), out.end()), "abcxyz");
}

// Leave-partial after a refused distance goes on with the next block header at the bit after the distance code
// and its extra bits: the same in the whole-buffer path, which refuses it in its fast loop, and byte by byte.
TEST(InflateTest, LeavePartialGoesOnAfterARefusedDistance) {
    const std::string tail = "the next block starts right after the refused distance and its extra bits";
    const struct {
        const char* name;
        unsigned code, extra_bits;
    } cases[] = {{"distance code 30", 30, 0}, {"distance code 31", 31, 0}, {"distance 33 after 3 bytes", 10, 4}};
    InflateOptions lp;
    lp.leavePartial = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter w;
        w.Bits(0, 1), w.Bits(1, 2);
        for (char ch : std::string("abc")) FixedLiteral(w, static_cast<unsigned char>(ch));
        FixedLiteral(w, 257), w.Code(c.code, 5), w.Bits(0, c.extra_bits);
        FixedBlock(w, true, tail);
        const Bytes s = w.Done();
        Bytes out;
        EXPECT_EQ(InflateBuffer(s.data(), s.size(), out, lp), kInflateBadData);
        EXPECT_EQ(std::string(out.begin(), out.end()), "abc" + tail);
        EXPECT_EQ(InflateStreaming(s, 1, out, lp), kInflateBadData);
        EXPECT_EQ(std::string(out.begin(), out.end()), "abc" + tail);
    }
}

// Leave-partial on garbage ends at the end of the input (it must not loop), and it changes nothing for input
// that decodes without error.
TEST(InflateTest, LeavePartialEndsOnGarbage) {
    InflateOptions lp;
    lp.leavePartial = true;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        const Bytes junk = gtlib_test::Sample("random", 64 + seed, seed);
        Bytes plain, partial;
        const InflateResult r = InflateBuffer(junk.data(), junk.size(), plain, {}, 1 << 20);
        const InflateResult rp = InflateBuffer(junk.data(), junk.size(), partial, lp, 1 << 20);
        EXPECT_EQ(r == kInflateOk, rp == kInflateOk) << seed;
        EXPECT_GE(partial.size(), plain.size());
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), partial.begin()));
    }
}

TEST(InflateTest, OutputLimitsStopDecoding) {
    const Bytes data = gtlib_test::Sample("runs", 500000, 9);
    const Bytes z = gtlib_test::ZlibDeflateRaw(data, 6, Z_DEFAULT_STRATEGY);
    // A fixed buffer that is too small keeps the exact prefix.
    Bytes small(123457);
    std::size_t n = 0;
    EXPECT_EQ(InflateInto(z.data(), z.size(), small.data(), small.size(), &n), kInflateStopped);
    EXPECT_EQ(n, small.size());
    EXPECT_TRUE(std::equal(small.begin(), small.end(), data.begin()));
    // A limit on the growing buffer.
    Bytes out;
    EXPECT_EQ(InflateBuffer(z.data(), z.size(), out, {}, 100000), kInflateStopped);
    EXPECT_EQ(out.size(), 100000u);
    // A sink that stops after its first piece.
    PieceSource src(z, 10240);
    CollectSink sink(1);
    EXPECT_EQ(Inflate(src, sink), kInflateStopped);
    EXPECT_EQ(sink.writes, 1);
    EXPECT_TRUE(std::equal(sink.data.begin(), sink.data.end(), data.begin()));
}

// A stream of stored blocks (read by the streamed decoder straight into its output) followed by compressed
// blocks whose matches reach up to 32 KiB back into the stored bytes, long enough for the output buffer to be
// turned over several times: every piece size decodes exactly, reports what it used and hands back the bytes
// after the stream; cut short inside a stored block it reports truncation with an exact prefix; a sink that
// stops is obeyed there too.
TEST(InflateTest, StreamsStoredBlocksAndMatchesIntoThem) {
    Bytes data = gtlib_test::Sample("random", 700000, 4);
    // Runs of 40 bytes repeated from 31000-32499 bytes back (zlib's farthest reach is 32506), between random
    // bytes.
    for (std::size_t k = 0; k < 6000; ++k) {
        const std::size_t back = 31000 + (k * 37) % 1500;
        for (int i = 0; i < 40; ++i) data.push_back(data[data.size() - back]);
        for (int i = 0; i < 10; ++i) data.push_back(static_cast<std::uint8_t>(k * 13 + i * 101));
    }
    z_stream zs{};
    ASSERT_EQ(deflateInit2(&zs, 0, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes z(deflateBound(&zs, data.size()) + 1024);
    zs.next_out = z.data();
    zs.avail_out = static_cast<uInt>(z.size());
    zs.next_in = data.data();
    zs.avail_in = 700000;
    ASSERT_EQ(deflate(&zs, Z_NO_FLUSH), Z_OK);
    ASSERT_EQ(deflateParams(&zs, 9, Z_DEFAULT_STRATEGY), Z_OK);
    zs.avail_in = static_cast<uInt>(data.size() - 700000);
    ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    z.resize(zs.total_out);
    deflateEnd(&zs);
    const std::size_t len = z.size();
    const Bytes tail = {0x1F, 0x8B, 7, 6, 5, 4, 3, 2, 1};
    z.insert(z.end(), tail.begin(), tail.end());

    for (std::size_t piece : {std::size_t{1}, std::size_t{5000}, std::size_t{10240}, std::size_t{1} << 20}) {
        SCOPED_TRACE("piece " + std::to_string(piece));
        PieceSource src(z, piece);
        CollectSink sink;
        std::uint64_t consumed = 0;
        Bytes unused;
        ASSERT_EQ(Inflate(src, sink, {}, &consumed, &unused), kInflateOk);
        ASSERT_EQ(sink.data, data);
        EXPECT_EQ(consumed, len);
        EXPECT_EQ(unused, tail);
    }
    for (std::size_t cut : {std::size_t{5}, std::size_t{100000}, std::size_t{450001}}) {
        SCOPED_TRACE("cut " + std::to_string(cut));
        const Bytes part(z.begin(), z.begin() + static_cast<std::ptrdiff_t>(cut));
        Bytes out;
        EXPECT_EQ(InflateStreaming(part, 10240, out), kInflateTruncated);
        EXPECT_LE(out.size(), cut);
        EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
    }
    PieceSource src(z, 10240);
    CollectSink sink(50000);
    EXPECT_EQ(Inflate(src, sink), kInflateStopped);
    EXPECT_GE(sink.data.size(), 50000u);
    EXPECT_LT(sink.data.size(), 200000u);
    EXPECT_TRUE(std::equal(sink.data.begin(), sink.data.end(), data.begin()));
}

// Data after the final block are left alone and `consumed` points at them.
TEST(InflateTest, StopsAtTheFinalBlock) {
    const Bytes data = gtlib_test::Sample("text", 5000, 2);
    Bytes z = gtlib_test::ZlibDeflateRaw(data, 6, Z_DEFAULT_STRATEGY);
    const std::size_t len = z.size();
    z.insert(z.end(), {0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17});
    Bytes out;
    std::size_t consumed = 0;
    EXPECT_EQ(InflateBuffer(z.data(), z.size(), out, {}, SIZE_MAX, &consumed), kInflateOk);
    EXPECT_EQ(out, data);
    EXPECT_EQ(consumed, len);
}

}  // namespace
