#include "gtlib/engine/deflate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>

#include "gtlib/engine/records.h"
#include "tests/gtlib/engine/test_util.h"

namespace gtlib {
namespace {

using test::Bytes;

Bytes Compress(const Bytes& in, int level) { return DeflateBuffer(in.data(), in.size(), level); }

// Bytes whose frequencies follow the Fibonacci numbers: an unlimited Huffman tree would be far deeper
// than 15 bits, so the length limit and its correction are exercised in real blocks.
Bytes FibonacciBytes() {
    Bytes out;
    std::uint32_t a = 1, b = 1;
    for (int sym = 0; sym < 24; ++sym) {
        out.insert(out.end(), a, static_cast<std::uint8_t>(sym * 7 + 3));
        const std::uint32_t c = a + b;
        a = b;
        b = c;
    }
    std::shuffle(out.begin(), out.end(), std::mt19937(5));
    return out;
}

Bytes Repeated(const Bytes& unit, int times) {
    Bytes out;
    for (int i = 0; i < times; ++i) out.insert(out.end(), unit.begin(), unit.end());
    return out;
}

struct Corpus {
    const char* name;
    Bytes data;
};

std::vector<Corpus> Corpora() {
    Bytes mixed = test::TextSample(50000, 3);
    const Bytes rnd = test::RandomBytes(30000, 4);
    mixed.insert(mixed.end(), rnd.begin(), rnd.end());
    const Bytes more = test::TextSample(90000, 3);
    mixed.insert(mixed.end(), more.begin(), more.end());
    return {
        {"text", test::TextSample(300000)},
        {"random", test::RandomBytes(100000)},
        {"zeros", Bytes(200000, 0)},
        {"mixed", mixed},
        {"fibonacci", FibonacciBytes()},
        {"short", test::ToBytes("abcabcabcabcabcabcX")},
        {"two", test::ToBytes("ab")},
    };
}

// Every corpus at every level decodes with zlib to the input, in fixed or dynamic blocks only.
TEST(Deflate, RoundTripsThroughZlibAtEveryLevel) {
    for (const Corpus& c : Corpora()) {
        for (int level = 1; level <= 9; ++level) {
            SCOPED_TRACE(std::string(c.name) + " level " + std::to_string(level));
            const Bytes z = Compress(c.data, level);
            Bytes back;
            ASSERT_TRUE(test::ZlibInflate(z, back, -15));
            EXPECT_EQ(back, c.data);
            const std::vector<int> types = test::BlockTypes(z);
            ASSERT_FALSE(types.empty());
            for (int t : types) EXPECT_TRUE(t == 1 || t == 2) << "block type " << t;
        }
    }
}

// A single byte is one final fixed block: header bits 1 (final) and 01 (fixed), the literal, end of block.
TEST(Deflate, SingleByteIsOneFixedBlock) {
    for (int level = 1; level <= 9; ++level) {
        const Bytes z = Compress(test::ToBytes("a"), level);
        EXPECT_EQ(z, (Bytes{0x4B, 0x04, 0x00})) << "level " << level;
    }
}

// Incompressible data stays in Huffman blocks (never stored ones) and grows by well under 1%.
TEST(Deflate, IncompressibleDataIsNeverStored) {
    const Bytes rnd = test::RandomBytes(1 << 20, 9);
    for (int level : {1, 6, 9}) {
        const Bytes z = Compress(rnd, level);
        const std::vector<int> types = test::BlockTypes(z);
        ASSERT_FALSE(types.empty());
        EXPECT_EQ(std::count(types.begin(), types.end(), 0), 0);
        EXPECT_LT(z.size(), rnd.size() + rnd.size() / 100);
    }
}

// Levels outside 1..9 run as the nearest level.
TEST(Deflate, LevelsAreClamped) {
    const Bytes in = test::TextSample(100000, 7);
    EXPECT_EQ(Compress(in, 0), Compress(in, 1));
    EXPECT_EQ(Compress(in, -5), Compress(in, 1));
    EXPECT_EQ(Compress(in, 10), Compress(in, 9));
    EXPECT_EQ(Compress(in, 12), Compress(in, 9));
    EXPECT_NE(Compress(in, 1), Compress(in, 9));
}

// The same input and level give the same bytes, also in a state that compressed other data before
// (window and chains start zeroed for every item).
TEST(Deflate, OutputIsDeterministic) {
    const Bytes a = test::TextSample(70000, 11);
    const Bytes b = test::RandomBytes(70000, 12);
    for (int level : {1, 4, 9}) {
        DeflateCoder st;
        Bytes first, other, again;
        DeflateBuffer(st, a.data(), a.size(), level, first);
        DeflateBuffer(st, b.data(), b.size(), level, other);
        DeflateBuffer(st, a.data(), a.size(), level, again);
        EXPECT_EQ(first, again) << "level " << level;
        EXPECT_EQ(first, Compress(a, level));
    }
}

// Beyond 65274 bytes the window slides; matches that reach over the slide point are still found.
TEST(Deflate, MatchesAcrossTheWindowSlide) {
    const Bytes unit = test::RandomBytes(30000, 13);
    const Bytes in = Repeated(unit, 5);  // 150000 bytes, each copy 30000 bytes back
    for (int level : {1, 6, 9}) {
        const Bytes z = Compress(in, level);
        Bytes back;
        ASSERT_TRUE(test::ZlibInflate(z, back, -15));
        EXPECT_EQ(back, in);
        EXPECT_LT(z.size(), unit.size() + unit.size() / 10) << "level " << level;
    }
}

// Empty input: the coder does not start, and nothing is written.
TEST(Deflate, EmptyInputDoesNotStart) {
    struct Empty final : DeflateSource {
        std::size_t Read(std::uint8_t*, std::size_t) override { return 0; }
    } empty;
    DeflateCoder coder;
    EXPECT_EQ(coder.Start(6, empty), GTE_READ);
    EXPECT_TRUE(DeflateBuffer(nullptr, 0, 6).empty());
}

// Trees respect their limits: 15 bits for literal/length and distance trees, 7 for the bit-length tree
// (its lengths travel in 3 bits), and the corrected lengths still form a complete prefix code.
TEST(Deflate, TreeLengthLimits) {
    struct Case {
        int symbols;
        int limit;
    };
    for (const Case c : {Case{19, 7}, Case{30, 15}, Case{286, 15}}) {
        std::vector<std::uint16_t> freq(static_cast<std::size_t>(c.symbols));
        std::uint32_t a = 1, b = 1;
        for (auto& f : freq) {
            f = static_cast<std::uint16_t>(std::min<std::uint32_t>(a, 40000));
            const std::uint32_t n = std::min<std::uint32_t>(a + b, 40000);
            a = b;
            b = n;
        }
        const std::vector<std::uint8_t> len = HuffmanCodeLengths(freq, c.limit);
        double kraft = 0;
        for (std::uint8_t l : len) {
            EXPECT_GE(l, 1);
            EXPECT_LE(l, c.limit);
            kraft += std::ldexp(1.0, -l);
        }
        EXPECT_DOUBLE_EQ(kraft, 1.0) << c.symbols << " symbols";
    }
    // One used symbol still gets a two-code tree.
    const std::vector<std::uint8_t> one = HuffmanCodeLengths({0, 0, 5, 0}, 15);
    EXPECT_EQ(std::count(one.begin(), one.end(), 1), 2);
}

// The first block decides text or binary; the sink hears once per item that it is binary (the engine
// warns from there when it converts line ends), and compression goes on.
TEST(Deflate, BinaryItemIsToldOnce) {
    struct Case {
        const char* name;
        Bytes data;
        int type;
        int told;
    };
    const Case cases[] = {
        {"binary", test::RandomBytes(200000, 3), kItemTypeBinary, 1},
        {"text", test::TextSample(200000, 3), kItemTypeText, 0},
    };
    struct Sink final : DeflateSink {
        Bytes out;
        int told = 0;
        bool Write(std::uint8_t* b, std::size_t n) override { return out.insert(out.end(), b, b + n), true; }
        void BinaryItem() override { ++told; }
    };
    struct Source final : DeflateSource {
        const Bytes* in;
        std::size_t pos = 0;
        std::size_t Read(std::uint8_t* buf, std::size_t want) override {
            const std::size_t n = std::min(want, in->size() - pos);
            std::memcpy(buf, in->data() + pos, n);
            pos += n;
            return n;
        }
    };
    DeflateCoder coder;  // one coder for every item, as the engine keeps it
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Source src;
        src.in = &c.data;
        Sink sink;
        ASSERT_EQ(coder.Start(6, src), GTE_OK);
        coder.Compress(sink);
        EXPECT_EQ(coder.ItemType(), c.type);
        EXPECT_EQ(sink.told, c.told);
        Bytes back;
        ASSERT_TRUE(test::ZlibInflate(sink.out, back, -15));
        EXPECT_EQ(back, c.data);
    }
}

// A cancel seen by the reader ends the input; a failed write stops the coder.
TEST(Deflate, CancelAndWriteFailureStopTheCoder) {
    const Bytes in = test::TextSample(500000, 21);
    struct Src final : DeflateSource {
        const Bytes* in;
        std::size_t pos = 0;
        bool cancelAfter100k = false;
        bool cancel = false;
        std::size_t Read(std::uint8_t* buf, std::size_t want) override {
            const std::size_t n = std::min(want, in->size() - pos);
            std::memcpy(buf, in->data() + pos, n);
            pos += n;
            if (cancelAfter100k && pos > 100000) cancel = true;
            return n;
        }
        bool Cancelled() override { return cancel; }
    };
    struct Collect final : DeflateSink {
        std::vector<std::uint8_t> out;
        bool Write(std::uint8_t* b, std::size_t n) override { return out.insert(out.end(), b, b + n), true; }
    };
    DeflateCoder coder;
    Src src;
    src.in = &in;
    src.cancelAfter100k = true;
    ASSERT_EQ(coder.Start(6, src), GTE_OK);
    Collect out;
    coder.Compress(out);
    EXPECT_LT(src.pos, in.size());

    DeflateCoder coder2;
    Src src2;
    src2.in = &in;
    ASSERT_EQ(coder2.Start(6, src2), GTE_OK);
    struct Refuse final : DeflateSink {
        int writes = 0;
        bool Write(std::uint8_t*, std::size_t) override { return ++writes, false; }
    } refuse;
    coder2.Compress(refuse);
    EXPECT_EQ(refuse.writes, 1);
    EXPECT_LT(src2.pos, in.size());
}

}  // namespace
}  // namespace gtlib
