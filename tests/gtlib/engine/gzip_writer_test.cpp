#include "gtlib/engine/gzip_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#include "gtlib/engine/crc32.h"
#include "gtlib/engine/crypt.h"
#include "gtlib/engine/deflate.h"
#include "gtlib/engine/gt_state.h"
#include "tests/gtlib/engine/test_util.h"

namespace gtlib {
namespace {

using test::Bytes;
namespace fs = std::filesystem;

struct Member {
    std::uint8_t flags = 0, xfl = 0, os = 0;
    std::uint32_t mtime = 0, crc = 0, isize = 0;
    std::string name, comment;
    Bytes body;  // everything between the header fields and the trailer
    bool ok = false;
};

Member Parse(const Bytes& m) {
    Member r;
    if (m.size() < 18 || m[0] != 0x1F || m[1] != 0x8B || m[2] != 8) return r;
    auto u32 = [&m](std::size_t p) {
        return std::uint32_t(m[p]) | std::uint32_t(m[p + 1]) << 8 | std::uint32_t(m[p + 2]) << 16 |
               std::uint32_t(m[p + 3]) << 24;
    };
    r.flags = m[3];
    r.mtime = u32(4);
    r.xfl = m[8];
    r.os = m[9];
    std::size_t p = 10;
    auto zstr = [&](std::string& out) {
        while (p < m.size() && m[p]) out.push_back(static_cast<char>(m[p++]));
        ++p;
    };
    if (r.flags & 0x08) zstr(r.name);
    if (r.flags & 0x10) zstr(r.comment);
    if (p + 8 > m.size()) return r;
    r.body.assign(m.begin() + static_cast<long>(p), m.end() - 8);
    r.crc = u32(m.size() - 8);
    r.isize = u32(m.size() - 4);
    r.ok = true;
    return r;
}

Bytes ExpandLf(const Bytes& in) {
    Bytes out;
    for (std::uint8_t b : in) {
        if (b == '\n') out.push_back('\r');
        out.push_back(b);
    }
    return out;
}

std::string TableText(GtEngineState&, int id) {
    switch (id) {
        case 391: return "Item %d of %d";
        case 395: return "Memory to File";
        case 703: return "%s [Added]";
        case 705: return "%s [Memory]";
        case 707: return "[Memory to Memory]";
        default: return "#" + std::to_string(id);
    }
}

// Writes one member for `source` into `out` with the state's options.
int WriteMember(GtEngineState& st, GtItem& item, const fs::path& out) {
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int rc = GzipFile(item, fd, st);
    ::close(fd);
    return rc;
}

GtItem FileItem(const fs::path& source, const std::string& storedName) {
    GtItem item;
    item.sourcePath = source.string();
    item.storedName = storedName;
    return item;
}

// The first block decides text or binary; binary data with LF to CR LF gives one warning per item,
// and compression goes on.
TEST(GzipWriter, BinaryWithEolConversionWarnsOnce) {
    struct Case {
        const char* name;
        Bytes data;
        bool lfToCrlf;
        int type;
        int warnings;
    };
    const Case cases[] = {
        {"binary, converting", test::RandomBytes(200000, 3), true, kItemTypeBinary, 1},
        {"binary, not converting", test::RandomBytes(200000, 3), false, kItemTypeBinary, 0},
        {"text, converting", test::TextSample(200000, 3), true, kItemTypeText, 0},
    };
    test::ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path src = dir.path() / "source.dat", out = dir.path() / "out.gz";
        test::WriteFile(src, c.data);
        GtEngineState st;
        static int warnings;
        static std::string lastText;
        warnings = 0;
        st.lfToCrlf = c.lfToCrlf;
        st.hooks.text = [](GtEngineState&, int id) { return "#" + std::to_string(id); };
        st.hooks.warning = [](GtEngineState&, const std::string& text, const std::string&) {
            ++warnings;
            lastText = text;
        };
        GtItem item = FileItem(src, "item");
        ASSERT_EQ(WriteMember(st, item, out), GTE_OK);
        EXPECT_EQ(item.type, c.type);
        EXPECT_EQ(warnings, c.warnings);
        if (c.warnings) {
            EXPECT_EQ(lastText, "#334");
        }
        std::string back;
        EXPECT_EQ(test::Run({"gzip", "-dc", out.string()}, &back), 0);
        EXPECT_TRUE(test::ToBytes(back) == (c.lfToCrlf ? ExpandLf(c.data) : c.data));
    }
}

// Every member we write passes gzip -t, decodes with gzip -dc, Python's gzip module and zlib to the data
// read (after end-of-line conversion), and carries the header fields asked for.
TEST(GzipWriter, MembersPassEveryIndependentReader) {
    struct Case {
        std::string name;
        Bytes data;
        int level;
        bool lfToCrlf;
        std::string comment;
        std::string storedName;
    };
    std::vector<Case> cases;
    const Bytes text = test::TextSample(150000, 31);
    for (int level = 1; level <= 9; ++level) cases.push_back({"level " + std::to_string(level), text, level, false, "", "ordseq.txt"});
    cases.push_back({"one byte", test::ToBytes("a"), 6, false, "", "a.txt"});
    cases.push_back({"text with LF to CR LF", text, 6, true, "", "msgrx.txt"});
    cases.push_back({"incompressible", test::RandomBytes(300000, 32), 6, false, "", "random.bin"});
    cases.push_back({"comment", text, 9, false, "Notizie del grossista", "notizie.txt"});
    cases.push_back({"stored name with folders", text, 1, false, "", "news/2026/elenco prodotti.txt"});
    cases.push_back({"no stored name", test::ToBytes("abc\n"), 6, false, "", ""});

    test::ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path src = dir.path() / "source.dat", out = dir.path() / "out.gz";
        test::WriteFile(src, c.data);
        GtEngineState st;
        st.level = c.level;
        st.lfToCrlf = c.lfToCrlf;
        st.addComment = !c.comment.empty();
        st.comment = c.comment;
        GtItem item = FileItem(src, c.storedName);
        ASSERT_EQ(WriteMember(st, item, out), GTE_OK);
        const Bytes expected = c.lfToCrlf ? ExpandLf(c.data) : c.data;

        EXPECT_EQ(test::Run({"gzip", "-t", out.string()}), 0);
        std::string gz;
        EXPECT_EQ(test::Run({"gzip", "-dc", out.string()}, &gz), 0);
        EXPECT_TRUE(test::ToBytes(gz) == expected) << "gzip -dc differs";
        std::string py;
        EXPECT_EQ(test::Run({"python3", "-c",
                             "import gzip,sys; sys.stdout.buffer.write(gzip.open(sys.argv[1]).read())", out.string()},
                            &py),
                  0);
        EXPECT_TRUE(test::ToBytes(py) == expected) << "Python's gzip differs";
        const Bytes member = test::ReadFile(out);
        Bytes z;
        EXPECT_TRUE(test::ZlibInflate(member, z, 31));
        EXPECT_TRUE(z == expected) << "zlib differs";

        const Member m = Parse(member);
        ASSERT_TRUE(m.ok);
        EXPECT_EQ(m.flags, (c.storedName.empty() ? 0 : 0x08) | (c.comment.empty() ? 0 : 0x10));
        EXPECT_EQ(m.name, c.storedName);
        EXPECT_EQ(m.comment, c.comment);
        EXPECT_EQ(m.xfl, 0);
        EXPECT_EQ(m.os, 0);
        EXPECT_EQ(m.isize, expected.size());
        EXPECT_EQ(m.crc, Crc32Bytewise(0, expected.data(), expected.size()));
        EXPECT_EQ(item.uncompressedSize, expected.size());
        EXPECT_EQ(item.compressedSize, m.body.size());
    }
}

// MTIME is the source's last-write time in Unix seconds.
TEST(GzipWriter, HeaderCarriesTheFileTime) {
    test::ScratchDir dir;
    const fs::path src = dir.path() / "t.txt", out = dir.path() / "t.gz";
    test::WriteFile(src, test::ToBytes("tempo\n"));
    struct timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, src.c_str(), times, 0), 0);
    GtEngineState st;
    GtItem item = FileItem(src, "t.txt");
    ASSERT_EQ(WriteMember(st, item, out), GTE_OK);
    EXPECT_EQ(Parse(test::ReadFile(out)).mtime, 1700000000u);
}

// LF to CR LF counts the converted bytes in ISIZE and the CRC; a CR already there is kept.
TEST(GzipWriter, LfToCrlfConversion) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {{"a\nb", "a\r\nb"}, {"a\r\nb", "a\r\r\nb"}, {"\n\n", "\r\n\r\n"}, {"abc", "abc"}};
    test::ScratchDir dir;
    for (const Case& c : cases) {
        for (bool memory : {false, true}) {
            SCOPED_TRACE(std::string(memory ? "memory " : "file ") + c.in);
            const fs::path src = dir.path() / "s.txt", out = dir.path() / "s.gz";
            const Bytes data = test::ToBytes(c.in);
            test::WriteFile(src, data);
            GtEngineState st;
            st.lfToCrlf = true;
            GtItem item = FileItem(src, "s.txt");
            if (memory) {
                st.memSource = true;
                st.memBlock = data.data();
                st.memBlockSize = data.size();
                item.memory = true;
            }
            ASSERT_EQ(WriteMember(st, item, out), GTE_OK);
            const Member m = Parse(test::ReadFile(out));
            EXPECT_EQ(m.isize, std::strlen(c.out));
            Bytes z;
            ASSERT_TRUE(test::ZlibInflate(test::ReadFile(out), z, 31));
            EXPECT_EQ(z, test::ToBytes(c.out));
        }
    }
}

// However small the wanted count (the coder may ask for a single byte when its window is nearly full),
// a CR LF pair is never cut off and nothing is lost.
TEST(GzipWriter, LfToCrlfNeverLosesBytes) {
    const Bytes in = test::ToBytes("a\nb\r\n\n\nend\n");
    for (std::size_t want : {1, 2, 3, 7, 64}) {
        LfToCrlf conv;
        std::size_t pos = 0;
        auto fetch = [&](std::uint8_t* raw, std::size_t max) {
            const std::size_t n = std::min(max, in.size() - pos);
            std::memcpy(raw, in.data() + pos, n);
            pos += n;
            return n;
        };
        Bytes out;
        std::uint8_t buf[64];
        while (const std::size_t n = conv.Read(fetch, buf, want)) {
            EXPECT_LE(n, want);
            out.insert(out.end(), buf, buf + n);
        }
        EXPECT_EQ(out, ExpandLf(in)) << "want " << want;
    }
}

// A memory block as the source: "Memory to File" status, the current time, the event-log line.
TEST(GzipWriter, MemoryBlockSource) {
    test::ScratchDir dir;
    const Bytes data = test::TextSample(100000, 41);
    GtEngineState st;
    st.hooks.text = TableText;
    static std::vector<std::string> status, log;
    status.clear();
    log.clear();
    st.majorStatus = [](const char* text, std::int32_t, std::int32_t, void*) -> std::int32_t {
        status.push_back(text);
        return 0;
    };
    st.hooks.eventLog = [](GtEngineState&, const std::string& line) { log.push_back(line); };
    st.subOptions = GTSO_LOGGTRESULTS;
    st.memSource = true;
    st.memBlock = data.data();
    st.memBlockSize = data.size();
    GtItem item;
    item.sourcePath = item.storedName = "dati.txt";
    item.memory = true;
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(WriteMember(st, item, dir.path() / "m.gz"), GTE_OK);
    const Member m = Parse(test::ReadFile(dir.path() / "m.gz"));
    EXPECT_GE(m.mtime, static_cast<std::uint32_t>(before));
    EXPECT_EQ(m.name, "dati.txt");
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status.front(), "Memory to File");
    EXPECT_EQ(log, std::vector<std::string>{"dati.txt [Memory]"});
    Bytes z;
    ASSERT_TRUE(test::ZlibInflate(test::ReadFile(dir.path() / "m.gz"), z, 31));
    EXPECT_EQ(z, data);
}

// Failures end the item with their code and never leave a trailer describing partial data.
TEST(GzipWriter, SourceAndOutputFailures) {
    test::ScratchDir dir;
    const fs::path text = dir.path() / "t.txt", empty = dir.path() / "empty.txt", folder = dir.path() / "folder";
    test::WriteFile(text, test::TextSample(400000, 51));
    test::WriteFile(empty, {});
    fs::create_directory(folder);
    struct Case {
        const char* name;
        fs::path source;
        std::string storedName;
        int expected;
    };
    const Case cases[] = {
        {"missing source", dir.path() / "missing.txt", "missing.txt", GTE_OPEN},
        {"stored name is a folder", text, "dir/", GTE_OPEN},
        {"empty source gives no member", empty, "empty.txt", GTE_READ},
        {"read error of the source", folder, "folder", GTE_READ},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GtEngineState st;
        GtItem item = FileItem(c.source, c.storedName);
        EXPECT_EQ(WriteMember(st, item, dir.path() / "o.gz"), c.expected);
        EXPECT_NE(test::Run({"gzip", "-t", (dir.path() / "o.gz").string()}), 0);
    }
    {
        SCOPED_TRACE("output refuses the header");
        GtEngineState st;
        GtItem item = FileItem(text, "t.txt");
        const int fd = ::open("/dev/full", O_WRONLY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(GzipFile(item, fd, st), GTE_TEMP);
        ::close(fd);
    }
}

// The major status answer stops the item before it starts; a cancel seen by the poll between blocks
// stops it with GTE_ABORT and no trailer.
TEST(GzipWriter, CancelByStatusProcedure) {
    test::ScratchDir dir;
    const fs::path src = dir.path() / "big.txt", out = dir.path() / "big.gz";
    test::WriteFile(src, test::TextSample(2000000, 61));
    static int calls;
    for (int stopAt : {1, 3}) {
        SCOPED_TRACE(stopAt);
        calls = 0;
        GtEngineState st;
        st.majorUserData = &stopAt;
        st.majorStatus = [](const char*, std::int32_t, std::int32_t, void* user) -> std::int32_t {
            return ++calls >= *static_cast<int*>(user) ? 1 : 0;
        };
        GtItem item = FileItem(src, "big.txt");
        EXPECT_EQ(WriteMember(st, item, out), GTE_ABORT);
        EXPECT_NE(test::Run({"gzip", "-t", out.string()}), 0);
    }
}

// The rename procedure may change the stored name (also to a longer one), the time and four attribute bits.
TEST(GzipWriter, RenameProcedure) {
    test::ScratchDir dir;
    const fs::path src = dir.path() / "r.txt", out = dir.path() / "r.gz";
    test::WriteFile(src, test::ToBytes("rinomina\n"));
    GtEngineState st;
    static std::string seenName, seenSource;
    static std::uint32_t seenOptions;
    st.renameProc = [](RENAMESTRUCT* r, void*) -> std::int32_t {
        seenName = r->szItemName;
        seenSource = r->szOrigItemName;
        seenOptions = r->dwOptions;
        const std::string longer = std::string(r->szItemName) + "_con_un_nome_molto_piu_lungo_di_prima.txt";
        std::strcpy(r->szItemName, longer.c_str());
        std::strcpy(r->szDateTime, "02/03/2021 04:05:06");
        r->dwAttrib = 0x01 | 0x10;
        return 0;
    };
    GtItem item = FileItem(src, "r.txt");
    ASSERT_EQ(WriteMember(st, item, out), GTE_OK);
    EXPECT_EQ(seenName, "r.txt");
    EXPECT_EQ(seenSource, src.string());
    EXPECT_EQ(seenOptions, 2u);
    const Member m = Parse(test::ReadFile(out));
    EXPECT_EQ(m.name, "r.txt_con_un_nome_molto_piu_lungo_di_prima.txt");
    struct tm tm {};
    tm.tm_year = 121;
    tm.tm_mon = 1;
    tm.tm_mday = 3;
    tm.tm_hour = 4;
    tm.tm_min = 5;
    tm.tm_sec = 6;
    tm.tm_isdst = -1;
    EXPECT_EQ(m.mtime, static_cast<std::uint32_t>(std::mktime(&tm)));
    EXPECT_EQ(item.attributes & 0x27u, 0x01u);  // read-only taken, the folder bit is not one of the four
    EXPECT_EQ(test::Run({"gzip", "-t", out.string()}), 0);
}

// The date-time text of the rename request and its checks.
TEST(GzipWriter, DateTimeText) {
    const std::int64_t t = ParseDateTimeText("12/31/2030 23:59:58");
    EXPECT_EQ(FormatDateTimeText(t), "12/31/2030 23:59:58");
    EXPECT_EQ(ParseDateTimeText("12-31-2030 23:59:58"), 0);
    EXPECT_EQ(ParseDateTimeText("12/31/2030 23:59"), 0);
    EXPECT_EQ(FormatDateTimeText(ParseDateTimeText("13/40/2090 25:61:61")), "12/31/2035 23:59:59");
}

struct MemIo {
    Bytes input;
    std::size_t pos = 0;
    std::size_t piece = 1000;
    Bytes output;
    int writes = 0;
    int refuseWrite = 0;     // the n-th write is refused (0: never)
    std::int32_t refuseAnswer = MEM_ERROR;
    bool cancelRead = false;
    bool errorRead = false;
};

void Transfer(std::int32_t dir, unsigned char* buf, std::int32_t* size, std::uint32_t, std::uint32_t, std::uint32_t,
              std::uint32_t, void* user, std::int32_t* answer) {
    auto& io = *static_cast<MemIo*>(user);
    if (dir == MEM_READ_DATA) {
        if (io.cancelRead && io.pos > 0) {
            *answer = MEM_CANCEL;
            *size = 0;
            return;
        }
        if (io.errorRead && io.pos > 0) {
            *answer = MEM_ERROR;
            *size = 0;
            return;
        }
        const std::size_t n = std::min({static_cast<std::size_t>(*size), io.piece, io.input.size() - io.pos});
        if (n > 0) std::memcpy(buf, io.input.data() + io.pos, n);
        io.pos += n;
        *size = static_cast<std::int32_t>(n);
        *answer = io.pos == io.input.size() ? MEM_DONE : MEM_CONTINUE;
        return;
    }
    if (++io.writes == io.refuseWrite) {
        *answer = io.refuseAnswer;
        return;
    }
    io.output.insert(io.output.end(), buf, buf + *size);
}

// Memory to memory: data pulled and delivered through the memory-transfer procedure, XFL 2, the name as
// given (none when empty), and the failures of either side.
TEST(GzipWriter, MemoryToMemory) {
    const Bytes data = test::TextSample(300000, 71);
    struct Case {
        const char* name;
        std::string itemList;
        Bytes input;
        int refuseWrite;
        std::int32_t refuseAnswer;
        bool cancelRead, errorRead;
        int expected;
        bool complete;
    };
    const Case cases[] = {
        {"whole member", "dati.txt", data, 0, MEM_ERROR, false, false, GTE_OK, true},
        {"no name", "", data, 0, MEM_ERROR, false, false, GTE_OK, true},
        {"empty source", "x", {}, 0, MEM_ERROR, false, false, GTE_READ, false},
        {"host cancels the read", "x", data, 0, MEM_ERROR, true, false, GTE_ABORT, false},
        {"host fails the read", "x", data, 0, MEM_ERROR, false, true, GTE_READ, false},
        {"header refused", "x", data, 1, MEM_ERROR, false, false, GTE_MEM, false},
        {"header cancelled", "x", data, 1, MEM_CANCEL, false, false, GTE_ABORT, false},
        {"data refused", "x", data, 2, MEM_ERROR, false, false, GTE_WRITE, false},
        {"data cancelled", "x", data, 2, MEM_CANCEL, false, false, GTE_ABORT, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemIo io;
        io.input = c.input;
        io.refuseWrite = c.refuseWrite;
        io.refuseAnswer = c.refuseAnswer;
        io.cancelRead = c.cancelRead;
        io.errorRead = c.errorRead;
        GtEngineState st;
        st.memTransfer = Transfer;
        st.memTransferData = &io;
        GtItem item;
        item.sourcePath = item.storedName = c.itemList;
        EXPECT_EQ(GzipMemory(item, st), c.expected);
        if (c.input.empty()) {
            EXPECT_TRUE(io.output.empty());
        }
        Bytes z;
        EXPECT_EQ(test::ZlibInflate(io.output, z, 31), c.complete);
        if (!c.complete) continue;
        EXPECT_EQ(z, data);
        const Member m = Parse(io.output);
        EXPECT_EQ(m.xfl, 2);
        EXPECT_EQ(m.name, c.itemList);
        EXPECT_EQ((m.flags & 0x08) != 0, !c.itemList.empty());
        EXPECT_EQ(st.totalWritten, io.output.size());
        EXPECT_EQ(st.totalRead, data.size());
    }
}

// A ZIP archive holding one traditionally encrypted deflate entry, with a data descriptor and DOS time 0,
// so that the check byte an independent reader expects is 0.
Bytes ZipWithEntry(const std::string& name, const Bytes& encrypted, std::uint32_t crc, std::uint32_t size) {
    Bytes z;
    auto u16 = [&z](std::uint32_t v) {
        z.push_back(static_cast<std::uint8_t>(v));
        z.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto u32 = [&](std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    const auto csize = static_cast<std::uint32_t>(encrypted.size());
    u32(0x04034b50); u16(20); u16(0x09); u16(8); u16(0); u16(0x21);
    u32(0); u32(0); u32(0); u16(static_cast<std::uint32_t>(name.size())); u16(0);
    z.insert(z.end(), name.begin(), name.end());
    z.insert(z.end(), encrypted.begin(), encrypted.end());
    u32(0x08074b50); u32(crc); u32(csize); u32(size);
    const auto cdOffset = static_cast<std::uint32_t>(z.size());
    u32(0x02014b50); u16(20); u16(20); u16(0x09); u16(8); u16(0); u16(0x21);
    u32(crc); u32(csize); u32(size); u16(static_cast<std::uint32_t>(name.size())); u16(0); u16(0); u16(0); u16(0);
    u32(0); u32(0);
    z.insert(z.end(), name.begin(), name.end());
    const auto cdSize = static_cast<std::uint32_t>(z.size()) - cdOffset;
    u32(0x06054b50); u16(0); u16(0); u16(1); u16(1); u32(cdSize); u32(cdOffset); u16(0);
    return z;
}

// An encrypted member: flag 0x20, refused by gzip as encrypted, its data readable by an independent
// reader of the same cipher (Python's zipfile), and equal after decryption to the plain deflate stream.
TEST(GzipWriter, EncryptedMember) {
    test::ScratchDir dir;
    const Bytes data = test::TextSample(120000, 81);
    const fs::path src = dir.path() / "segreto.txt", out = dir.path() / "segreto.gz";
    test::WriteFile(src, data);
    GtEngineState st;
    st.encryptCode = "Parola d'ordine 2026";
    GtItem item = FileItem(src, "segreto.txt");
    ASSERT_EQ(WriteMember(st, item, out), GTE_OK);
    const Member m = Parse(test::ReadFile(out));
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(m.flags, 0x08 | 0x20);
    EXPECT_EQ(m.isize, data.size());
    EXPECT_EQ(m.crc, Crc32(0, data.data(), data.size()));
    EXPECT_EQ(item.compressedSize, m.body.size());

    std::string msg;
    EXPECT_NE(test::Run({"gzip", "-t", out.string()}, &msg, nullptr, true), 0);
    EXPECT_NE(msg.find("encrypted"), std::string::npos) << msg;

    const fs::path zip = dir.path() / "entry.zip";
    test::WriteFile(zip, ZipWithEntry("segreto.txt", m.body, m.crc, m.isize));
    std::string py;
    EXPECT_EQ(test::Run({"python3", "-c",
                         "import zipfile,sys; sys.stdout.buffer.write("
                         "zipfile.ZipFile(sys.argv[1]).read('segreto.txt', pwd=sys.argv[2].encode()))",
                         zip.string(), st.encryptCode},
                        &py),
              0);
    EXPECT_TRUE(test::ToBytes(py) == data);

    Bytes body = m.body;
    CryptKeys keys;
    ASSERT_TRUE(CheckEncryptionHeader(st.encryptCode, keys, body.data()));
    keys.Decrypt(body.data() + kCryptHeaderSize, body.size() - kCryptHeaderSize);
    EXPECT_TRUE(Bytes(body.begin() + kCryptHeaderSize, body.end()) == DeflateBuffer(data.data(), data.size(), 6));
}

TEST(GzipWriter, AppendGzExtension) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"C:\\dati\\notizie", "C:\\dati\\notizie.gz"}, {"notizie.txt", "notizie.txt"},
        {"C:\\dati.old\\notizie", "C:\\dati.old\\notizie.gz"}, {"/tmp/a.b/posta", "/tmp/a.b/posta.gz"},
        {"archivio.tar", "archivio.tar"}, {"", ".gz"},
    };
    for (const Case& c : cases) EXPECT_EQ(AppendGzExtension(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace gtlib
