// The coder's exact output on four kinds of data at every level: a change of the matcher or of the
// block coder that alters a single emitted byte fails here. The corpora are built in the test (no
// system files), so the constants hold on every machine.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "gtlib/engine/crc32.h"
#include "gtlib/engine/deflate.h"
#include "gtlib/engine/records.h"
#include "tests/gtlib/engine/test_util.h"

namespace gtlib {
namespace {

using test::Bytes;

constexpr std::size_t kSize = 256 * 1024;

// Draws from a fixed generator with plain modulo, so the bytes do not depend on the library's
// distribution classes.
struct Draw {
    std::mt19937 g;
    explicit Draw(std::uint32_t seed) : g(seed) {}
    unsigned operator()(unsigned n) { return static_cast<unsigned>(g() % n); }
};

// Prose and source-like lines: words of a few hundred from syllables, capitals, numbers, punctuation,
// indented code lines.
Bytes TextLike() {
    Draw d(101);
    static const char* syl[] = {"ar", "ma", "ci", "or", "di", "ne", "gro", "ssi", "sta", "pro", "dot", "to",
                                "qua", "n", "ti", "ta", "the", "in", "g", "er", "con", "se", "gna", "re",
                                "st", "ing", "al", "de", "lo", "x", "pre", "zzo"};
    std::vector<std::string> words;
    for (int i = 0; i < 300; ++i) {
        std::string w;
        const unsigned n = 1 + d(4);
        for (unsigned k = 0; k < n; ++k) w += syl[d(sizeof syl / sizeof *syl)];
        words.push_back(w);
    }
    std::string out;
    while (out.size() < kSize) {
        if (d(5) == 0) {
            out += std::string(4 * (1 + d(3)), ' ');
            out += "if (" + words[d(40)] + "_" + words[d(300)] + " != " + std::to_string(d(1000)) + ") {\n";
            continue;
        }
        const unsigned n = 4 + d(14);
        for (unsigned k = 0; k < n; ++k) {
            std::string w = words[d(8) ? d(60) : d(300)];
            if (k == 0) w[0] = static_cast<char>(w[0] - 'a' + 'A');
            out += w;
            if (d(12) == 0) out += " " + std::to_string(d(100000));
            out += k + 1 == n ? ".\n" : d(7) == 0 ? ", " : " ";
        }
    }
    out.resize(kSize);
    return Bytes(out.begin(), out.end());
}

// Like an executable: code with a skewed set of opcodes and small little-endian offsets, tables of
// increasing addresses, zero padding and a NUL-separated name table.
Bytes BinaryLike() {
    Draw d(202);
    static const std::uint8_t ops[] = {0x48, 0x89, 0x8B, 0xE8, 0x0F, 0x85, 0x84, 0x83, 0xC3, 0x31, 0xFF, 0x74,
                                       0x75, 0x41, 0x4C, 0x8D, 0x44, 0x24, 0x5D, 0x55, 0xC7, 0x05, 0x90, 0x39};
    Bytes out;
    std::uint32_t addr = 0x401000;
    while (out.size() < kSize) {
        switch (d(10)) {
            case 0: {  // address table
                const unsigned n = 8 + d(64);
                for (unsigned i = 0; i < n; ++i) {
                    addr += 4 + 4 * d(16);
                    for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(addr >> (8 * k)));
                }
                break;
            }
            case 1:  // padding
                out.insert(out.end(), 16 * (1 + d(12)), 0);
                break;
            case 2: {  // names
                const unsigned n = 2 + d(10);
                for (unsigned i = 0; i < n; ++i) {
                    const unsigned len = 3 + d(12);
                    for (unsigned k = 0; k < len; ++k) out.push_back(static_cast<std::uint8_t>("_abcdefgilmnoprstu"[d(18)]));
                    out.push_back(0);
                }
                break;
            }
            default: {  // code
                const unsigned n = 20 + d(200);
                for (unsigned i = 0; i < n; ++i) {
                    out.push_back(ops[d(8) ? d(8) : d(sizeof ops)]);
                    const unsigned imm = d(4);
                    const std::uint32_t v = d(3) ? d(256) : d(1u << 20);
                    for (unsigned k = 0; k < imm; ++k) out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
                }
            }
        }
    }
    out.resize(kSize);
    return out;
}

// Fixed-column order records with CR LF, like the work files the program exchanges.
Bytes RecordsLike() {
    Draw d(303);
    std::string out;
    char line[160];
    unsigned order = 1;
    while (out.size() < kSize) {
        std::snprintf(line, sizeof line, "0100MORVEN  %06u%08u%-10s\r\n", d(999999), 20260000u + d(1231), "ORDINE");
        out += line;
        const unsigned rows = 5 + d(40);
        for (unsigned i = 0; i < rows; ++i) {
            const unsigned minsan = 900000000u + d(99999999u), qty = 1 + d(20);
            const unsigned shortQty = d(4) == 0 ? d(qty) : 0, price = d(5000000u) * 100u, vat = d(3) ? 10u : 22u;
            const char* name = d(2) ? "PARACETAMOLO 500MG 20 CPR" : "IBUPROFENE 400MG 12 BUSTE";
            const char reason = "SNMD"[d(4)];
            std::snprintf(line, sizeof line, "02%09u%05u%05u%011u%02u%-30.30s%c%08u\r\n", minsan, qty, shortQty,
                          price, vat, name, reason, 20260000u + d(1231));
            out += line;
        }
        std::snprintf(line, sizeof line, "9999FINE TX%06u\r\n", order++);
        out += line;
    }
    out.resize(kSize);
    return Bytes(out.begin(), out.end());
}

Bytes RandomLike() {
    Draw d(404);
    Bytes out(kSize);
    for (auto& b : out) b = static_cast<std::uint8_t>(d(256));
    return out;
}

struct Source final : DeflateSource {
    Source(const Bytes* i, std::size_t p, bool pc) : in(i), pos(p), pieces(pc) {}
    const Bytes* in;
    std::size_t pos;
    bool pieces;  // deliver at most 1000 bytes a read, like a memory callback handing small pieces

    std::size_t Read(std::uint8_t* buf, std::size_t want) override {
        if (pieces) want = std::min<std::size_t>(want, 1000);
        const std::size_t n = std::min(want, in->size() - pos);
        std::memcpy(buf, in->data() + pos, n);
        pos += n;
        return n;
    }
};

struct Sink final : DeflateSink {
    Bytes bytes;
    std::vector<std::size_t> writes;  // sizes handed to the write function

    bool Write(std::uint8_t* buf, std::size_t n) override {
        bytes.insert(bytes.end(), buf, buf + n);
        writes.push_back(n);
        return true;
    }
};

// The output also reaches the write function in the same pieces: all of 20476 bytes but the last.
Bytes Compress(const Bytes& in, int level, bool pieces) {
    DeflateCoder coder;
    Source src(&in, 0, pieces);
    Sink sink;
    if (coder.Start(level, src) == GTE_OK) coder.Compress(sink);
    for (std::size_t i = 0; i + 1 < sink.writes.size(); ++i) EXPECT_EQ(sink.writes[i], 20476u) << "write " << i;
    if (!sink.writes.empty()) {
        EXPECT_GT(sink.writes.back(), 0u);
        EXPECT_LE(sink.writes.back(), 20476u);
    }
    return sink.bytes;
}

struct Golden {
    const char* corpus;
    int level;
    bool pieces;
    std::uint32_t crc;
    std::size_t size;
};

// CRC-32 and size of the compressed stream, recorded from the coder.
constexpr Golden kGolden[] = {
    {"text", 1, false, 0x1658C26D, 93305},
    {"text", 2, false, 0xE7435A30, 88312},
    {"text", 3, false, 0x2D6E703A, 83648},
    {"text", 4, false, 0xDDFF9E8F, 80788},
    {"text", 5, false, 0xE86C91D3, 78124},
    {"text", 6, false, 0xAFFBE89B, 74327},
    {"text", 7, false, 0xEFA03139, 73013},
    {"text", 8, false, 0x8A02CFB1, 72375},
    {"text", 9, false, 0x8A02CFB1, 72375},
    {"text", 1, true, 0x1658C26D, 93305},
    {"text", 6, true, 0xAFFBE89B, 74327},
    {"text", 9, true, 0x8A02CFB1, 72375},
    {"binary", 1, false, 0xBC0A2534, 197065},
    {"binary", 2, false, 0x3753DFD9, 196424},
    {"binary", 3, false, 0x4BA26B00, 195509},
    {"binary", 4, false, 0x1BAB70F7, 194727},
    {"binary", 5, false, 0x94688AB8, 194456},
    {"binary", 6, false, 0x2484B74B, 193809},
    {"binary", 7, false, 0xF51BFD50, 193561},
    {"binary", 8, false, 0x767BEF7A, 193470},
    {"binary", 9, false, 0x595DCBDA, 193423},
    {"binary", 1, true, 0xBC0A2534, 197065},
    {"binary", 6, true, 0x2484B74B, 193809},
    {"binary", 9, true, 0x595DCBDA, 193423},
    {"records", 1, false, 0xBBE6B8E9, 71694},
    {"records", 2, false, 0xC1ADE961, 69329},
    {"records", 3, false, 0xE6AA5949, 65680},
    {"records", 4, false, 0x76B19064, 64771},
    {"records", 5, false, 0xDDE476A5, 60947},
    {"records", 6, false, 0x5CE39CC6, 57281},
    {"records", 7, false, 0xDDC9B936, 56639},
    {"records", 8, false, 0x1A6555BE, 55105},
    {"records", 9, false, 0xFBFB33DC, 54724},
    {"records", 1, true, 0xBBE6B8E9, 71694},
    {"records", 6, true, 0x5CE39CC6, 57281},
    {"records", 9, true, 0xFBFB33DC, 54724},
    {"random", 1, false, 0xB7DB52C0, 262830},
    {"random", 2, false, 0x4AE75262, 262831},
    {"random", 3, false, 0x4AE75262, 262831},
    {"random", 4, false, 0x404807D5, 262721},
    {"random", 5, false, 0x404807D5, 262721},
    {"random", 6, false, 0x404807D5, 262721},
    {"random", 7, false, 0x404807D5, 262721},
    {"random", 8, false, 0x404807D5, 262721},
    {"random", 9, false, 0x404807D5, 262721},
    {"random", 1, true, 0xB7DB52C0, 262830},
    {"random", 6, true, 0x404807D5, 262721},
    {"random", 9, true, 0x404807D5, 262721},
};

TEST(DeflateGolden, OutputBytesAreUnchanged) {
    const struct {
        const char* name;
        Bytes data;
    } corpora[] = {{"text", TextLike()}, {"binary", BinaryLike()}, {"records", RecordsLike()}, {"random", RandomLike()}};
    std::string got;  // the table as this build computes it, printed on a mismatch
    bool same = true;
    std::size_t row = 0;
    for (const auto& c : corpora) {
        for (bool pieces : {false, true}) {
            for (int level = 1; level <= 9; ++level) {
                if (pieces && level != 1 && level != 6 && level != 9) continue;
                const Bytes z = Compress(c.data, level, pieces);
                Bytes back;
                ASSERT_TRUE(test::ZlibInflate(z, back, -15)) << c.name << " level " << level;
                ASSERT_EQ(back, c.data) << c.name << " level " << level;
                const std::uint32_t crc = Crc32(0, z.data(), z.size());
                char line[120];
                std::snprintf(line, sizeof line, "    {\"%s\", %d, %s, 0x%08X, %zu},\n", c.name, level,
                              pieces ? "true" : "false", crc, z.size());
                got += line;
                const bool known = row < std::size(kGolden) && kGolden[row].corpus == std::string(c.name) &&
                                   kGolden[row].level == level && kGolden[row].pieces == pieces;
                if (!known || kGolden[row].crc != crc || kGolden[row].size != z.size()) {
                    same = false;
                    ADD_FAILURE() << c.name << " level " << level << (pieces ? " (small reads)" : "")
                                  << ": output changed";
                }
                ++row;
            }
        }
    }
    EXPECT_EQ(row, std::size(kGolden));
    if (!same || row != std::size(kGolden)) std::printf("computed table:\n%s", got.c_str());
}

}  // namespace
}  // namespace gtlib
