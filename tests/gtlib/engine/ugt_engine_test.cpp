#include "gtlib/engine/ugt_engine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <filesystem>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "ugt_test_support.h"

namespace gtlib {
namespace {

using test::Exists;
using test::GzipBuilder;
using test::ReadFile;
using test::UgtCommand;
using test::WriteFile;

class UgtEngineTest : public ::testing::Test {
protected:
    test::LogEnvironment env;
    std::string Path(const std::string& name) const { return env.dir / name; }
    std::string Out() const { return env.dir / "out"; }
};

// A host's memory-transfer procedure: supplies its input in small pieces and keeps what it is given.
struct StreamHost {
    std::string input;       // what the host supplies
    std::size_t pos = 0;
    std::size_t piece = 7;   // bytes per answer
    std::string output;      // what the engine delivered
    int32_t stopAfter = -1;  // answer MEM_DONE once this much was delivered
    static void Proc(int32_t dir, unsigned char* buf, int32_t* size, uint32_t, uint32_t, uint32_t, uint32_t,
                     void* user, int32_t* answer) {
        auto* self = static_cast<StreamHost*>(user);
        if (dir == MEM_READ_DATA) {
            const std::size_t k = std::min({static_cast<std::size_t>(*size), self->piece, self->input.size() - self->pos});
            std::memcpy(buf, self->input.data() + self->pos, k);
            self->pos += k;
            *size = static_cast<int32_t>(k);
            *answer = self->pos == self->input.size() ? MEM_DONE : MEM_CONTINUE;
        } else {
            self->output.append(reinterpret_cast<char*>(buf), static_cast<std::size_t>(*size));
            *answer = (self->stopAfter >= 0 && self->output.size() >= static_cast<std::size_t>(self->stopAfter))
                          ? MEM_DONE : MEM_CONTINUE;
        }
    }
};

// ---------------------------------------------------------------------------------------------------------
// Entry checks
// ---------------------------------------------------------------------------------------------------------

TEST_F(UgtEngineTest, EntryChecksGiveTheirCodeAndMessage) {
    WriteFile(Path("a.gz"), GzipBuilder{}.Build("data"));
    WriteFile(Path("plain.txt"), "not gzip at all");
    WriteFile(Path("a.tar"), std::string(1024, '\0'));
    struct Case {
        const char* what;
        std::function<void(UgtCommand&)> setup;
        int32_t code;
        const char* detail;  // null: no message at all
    };
    const std::string longPath(5000, 'p');
    const Case cases[] = {
        {"record size", [](UgtCommand& u) { u.c.ulugtStructSize = 172; }, UGTE_PARMS, nullptr},
        {"no archive", [](UgtCommand& u) { u.file.clear(); }, UGTE_PARMS, "GZIP/TAR filename not provided"},
        {"freshen and update", [](UgtCommand& u) { u.c.bFreshenFlag = u.c.bUpdateFlag = -1; }, UGTE_PARMS,
         "Can't freshen and update at the same time"},
        {"no key", [](UgtCommand& u) { u.c.bDecryptFlag = -1; u.c.lpszDecryptCode = nullptr; u.code.clear(); },
         UGTE_PARMS, "Decryption key not provided, or too long"},
        {"key of 66", [](UgtCommand& u) { u.c.bDecryptFlag = -1; u.code = std::string(66, 'k'); }, UGTE_PARMS,
         "Decryption key not provided, or too long"},
        {"wildcard to memory",
         [](UgtCommand& u) {
             static unsigned char block[8];
             u.c.lFunction = UGT_UNTAR_FILETOMEM;
             u.c.lpMemBlock = block;
             u.c.lMemBlockSize = 8;
             u.filespec = "*.txt";
         },
         UGTE_PARMS, "invalid option(s)"},
        {"path too long", [&](UgtCommand& u) { u.file = longPath; }, UGTE_PARMS, "invalid option(s)"},
        {"missing file", [&](UgtCommand& u) { u.file = Path("none.gz"); }, UGTE_OPEN, "Selbrik-GT File read error!"},
        {"folder as archive", [&](UgtCommand& u) { u.file = env.dir.path(); }, UGTE_OPEN,
         "Selbrik-GT File read error!"},
        {"no destination", [](UgtCommand& u) { u.dest.clear(); }, UGTE_PARMS, "Destination path not provided"},
        {"root alone", [](UgtCommand& u) { u.dest = "/"; }, UGTE_PARMS, "Destination path not provided"},
        {"relative destination", [](UgtCommand& u) { u.dest = "out/x"; }, UGTE_PARMS,
         "Destination path must include drive letter"},
        {"file to memory without block", [](UgtCommand& u) { u.c.lFunction = UGT_GUNZIP_FILETOMEM; }, UGTE_PARMS,
         "Inconsistent FILETOMEM parameters."},
        {"memory to memory without procedure", [](UgtCommand& u) { u.c.lFunction = UGT_GUNZIP_MEMTOMEM; },
         UGTE_PARMS, "Inconsistent FILETOMEM parameters."},
        {"no GZIPINFO", [](UgtCommand& u) { u.c.lFunction = UGT_GETGZIPINFO; }, UGTE_PARMS,
         "GZIPINFO missing or invalid."},
        {"bad GZIPINFO size",
         [](UgtCommand& u) {
             u.c.lFunction = UGT_GETGZIPINFO;
             u.gzipInfo.ulStructSize = 395;
             u.c.gzipInfo = &u.gzipInfo;
         },
         UGTE_PARMS, "GZIPINFO missing or invalid."},
        {"no TARINFO", [&](UgtCommand& u) { u.c.lFunction = UGT_UNTAR_COUNTALLMEMBERS; u.file = Path("a.tar"); },
         UGTE_PARMS, "TARINFO missing or invalid."},
        {"unknown action", [](UgtCommand& u) { u.c.lFunction = 99; }, UGTE_PARMS, "Unknown function requested"},
        {"unbalanced quote",
         [&](UgtCommand& u) {
             u.c.lFunction = UGT_UNTAR;
             u.file = Path("a.tar");
             u.filespec = "\"a b.txt";
         },
         UGTE_PARMS, "Double Quotes mismatched."},
        {"not a GZIP file", [&](UgtCommand& u) { u.file = Path("plain.txt"); }, UGTE_STRUCT, nullptr},
    };
    for (const auto& c : cases) {
        UgtCommand u;
        u.file = Path("a.gz");
        u.dest = Out();
        c.setup(u);
        EXPECT_EQ(u.Run(), c.code) << c.what;
        const auto errors = u.Errors();
        if (c.detail == nullptr) {
            EXPECT_TRUE(errors.empty()) << c.what;
        } else {
            ASSERT_EQ(errors.size(), 1u) << c.what;
            EXPECT_EQ(errors[0], UgtErrorText(c.code, c.detail)) << c.what;
        }
    }
    EXPECT_FALSE(Exists(Out()));
}

TEST_F(UgtEngineTest, RecordIsCopiedBackOnlyOnceTheInputWasOpened) {
    WriteFile(Path("a.gz"), GzipBuilder::With(0x10, "", "hello").Build("x"));
    UgtCommand size(UGT_GETGZIPCOMMENT_SIZE);
    size.file = Path("a.gz");
    size.c.lReturnCount = 77;
    EXPECT_EQ(size.Run(), 0);
    EXPECT_EQ(size.c.lReturnCount, 6);

    UgtCommand early(UGT_GETGZIPCOMMENT_SIZE);  // refused before opening: the record is left alone
    early.file = Path("a.gz");
    early.c.bFreshenFlag = early.c.bUpdateFlag = 1;
    early.c.lReturnCount = 77;
    EXPECT_EQ(early.Run(), UGTE_PARMS);
    EXPECT_EQ(early.c.lReturnCount, 77);
}

TEST_F(UgtEngineTest, QuietRunShowsNoMessage) {
    UgtCommand u;
    u.file = Path("none.gz");
    u.dest = Out();
    u.c.bAllQuiet = -1;
    EXPECT_EQ(u.Run(), UGTE_OPEN);
    EXPECT_TRUE(u.host.calls.empty());
}

// ---------------------------------------------------------------------------------------------------------
// GZIP header reader
// ---------------------------------------------------------------------------------------------------------

TEST(UgtGzipHeaderTest, FieldsAreReadInTheOrderOfTheFormat) {
    GzipBuilder b;
    b.flags = 0x02 | 0x04 | 0x08 | 0x10;
    b.extra = std::string(70000 % 65536, 'e');  // 4464 bytes of extra field
    b.name = std::string(300, 'n');             // longer than the name field
    b.comment = "a comment";
    const std::string g = b.Build("payload");
    std::size_t pos = 0;
    auto read = [&](uint8_t* dst, std::size_t n) {
        const std::size_t k = std::min(n, g.size() - pos);
        std::memcpy(dst, g.data() + pos, k);
        pos += k;
        return k;
    };
    UgtGzipHeader h;
    ASSERT_EQ(UgtReadGzipHeader(read, h), 0);
    EXPECT_EQ(h.extra.size(), 4464u);
    EXPECT_EQ(h.name, std::string(259, 'n'));
    EXPECT_EQ(h.comment, "a comment");
    EXPECT_EQ(h.commentSize, 10);
    EXPECT_FALSE(h.encrypted);
    EXPECT_EQ(static_cast<std::size_t>(h.dataStart), 10 + 2 + 4464 + 301 + 10 + 2);
}

TEST(UgtGzipHeaderTest, TruncatedOrForeignHeadersAreStructureErrors) {
    const std::string good = GzipBuilder::With(0x08, "abc").Build("x");
    const std::string cases[] = {"", std::string("\x1f\x8b\x08", 3), good.substr(0, 12),
                                 std::string("\x1f\x8c") + good.substr(2), "PK\x03\x04 zip file"};
    for (const auto& bytes : cases) {
        std::size_t pos = 0;
        auto read = [&](uint8_t* dst, std::size_t n) {
            const std::size_t k = std::min(n, bytes.size() - pos);
            std::memcpy(dst, bytes.data() + pos, k);
            pos += k;
            return k;
        };
        UgtGzipHeader h;
        EXPECT_EQ(UgtReadGzipHeader(read, h), UGTE_STRUCT) << bytes.size();
    }
}

// ---------------------------------------------------------------------------------------------------------
// GUNZIP
// ---------------------------------------------------------------------------------------------------------

TEST_F(UgtEngineTest, GunzipOfGnuGzipFilesRestoresDataNameAndTime) {
    const auto data = gtlib_test::Sample("text", 200000);
    const std::string src = Path("src/Notizie.TXT");
    WriteFile(src, std::string(data.begin(), data.end()));
    struct utimbuf_like {
    };
    ::chmod(src.c_str(), 0644);
    ASSERT_TRUE(gtlib_test::Run({"touch", "-d", "2024-03-05 06:07:08 UTC", src}));
    const std::string named = test::GzipFile(src, {"-N"});
    const std::string withName = Path("renamed.gz");
    ASSERT_EQ(::rename(named.c_str(), withName.c_str()), 0);
    const std::string nameless = test::GzipFile(src, {"-n"});

    UgtCommand u;
    u.file = withName;
    u.dest = Out();
    u.c.dwUGTSubOptions = UGTSO_LOGGTRESULTS;
    ASSERT_EQ(u.Run(), 0) << (u.Errors().empty() ? "" : u.Errors()[0]);
    EXPECT_EQ(ReadFile(Out() + "/Notizie.TXT"), std::string(data.begin(), data.end()));
    struct stat st;
    ASSERT_EQ(::stat((Out() + "/Notizie.TXT").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1709618828);

    UgtCommand v;  // no stored name: the archive's name without its last extension
    v.file = nameless;
    v.dest = Out() + "/second/";
    ASSERT_EQ(v.Run(), 0);
    EXPECT_EQ(ReadFile(Out() + "/second/Notizie.TXT"), std::string(data.begin(), data.end()));
    // gzip -n stores no time stamp: the file keeps the time of its extraction
    ASSERT_EQ(::stat((Out() + "/second/Notizie.TXT").c_str(), &st), 0);
    EXPECT_GT(st.st_mtime, 1709618828);
    EXPECT_EQ(env.Events(),
              "--- Selbrik-GT Event Log - Version: 5.00.02 - 12/10/26  10:15:31 ---\r\n" + Out() +
                  "/Notizie.TXT [Extracted]\r\n");
}

// A member whose name flag is set but whose stored name names nothing (empty, or only "." and separators)
// is extracted under the archive's name without its last extension, as when no name is stored.
TEST_F(UgtEngineTest, GunzipOfAStoredNameThatNamesNothingTakesTheArchivesName) {
    for (const char* stored : {"", ".", "./", "/"}) {
        SCOPED_TRACE(std::string("stored name: '") + stored + "'");
        std::filesystem::remove_all(Out());
        WriteFile(Path("report.csv.gz"), GzipBuilder::With(0x08, stored).Build("a;b;c\n"));
        UgtCommand u;
        u.file = Path("report.csv.gz");
        u.dest = Out();
        ASSERT_EQ(u.Run(), 0) << (u.Errors().empty() ? "" : u.Errors()[0]);
        EXPECT_EQ(ReadFile(Out() + "/report.csv"), "a;b;c\n");
    }
}

TEST_F(UgtEngineTest, GunzipReadsHeadersWithEveryOptionalField) {
    // Python's gzip writes a stored name; the fields zlib-based tools may add are made here.
    ASSERT_TRUE(test::Python(
        "import gzip,sys\n"
        "f=gzip.GzipFile(filename='report.csv', mode='wb', fileobj=open('" + Path("py.gz") + "','wb'), mtime=1)\n"
        "f.write(b'a;b;c\\n'*1000); f.close()\n"));
    GzipBuilder b;
    b.flags = 0x02 | 0x04 | 0x08 | 0x10;
    b.extra = std::string(600, 'x');
    b.name = "full.dat";
    b.comment = std::string(400, 'c');
    WriteFile(Path("full.gz"), b.Build("every field"));
    struct Case {
        std::string file, output, content;
    };
    std::string csv;
    for (int i = 0; i < 1000; ++i) csv += "a;b;c\n";
    const Case cases[] = {{Path("py.gz"), "report.csv", csv}, {Path("full.gz"), "full.dat", "every field"}};
    for (const auto& c : cases) {
        UgtCommand u;
        u.file = c.file;
        u.dest = Out();
        EXPECT_EQ(u.Run(), 0) << c.file;
        EXPECT_EQ(ReadFile(Out() + "/" + c.output), c.content);
    }
}

TEST_F(UgtEngineTest, BrokenMembersFailWithTheirCodeAndLeaveNothing) {
    const auto random = gtlib_test::Sample("random", 5000);
    const std::string good = GzipBuilder::With(0x08, "x.txt").Build(std::string(random.begin(), random.end()));
    std::string badCrc = good;
    badCrc[badCrc.size() - 6] ^= 0x55;
    std::string badData = good;
    badData[20] = '\xff';
    badData[21] = '\xff';
    std::string method = good;
    method[2] = 7;
    struct Case {
        const char* what;
        std::string bytes;
        int32_t code;
    };
    const Case cases[] = {
        {"bad CRC", badCrc, UGTE_BADCRC},
        {"bad data", badData, UGTE_EOF},
        {"unknown method", method, UGTE_UNKNOWN},
        {"shorter than header and trailer", good.substr(0, 18), UGTE_STRUCT},
        {"cut in the data", good.substr(0, good.size() / 2), UGTE_EOF},
        {"empty file", "", UGTE_STRUCT},
    };
    for (const auto& c : cases) {
        WriteFile(Path("bad.gz"), c.bytes);
        UgtCommand u;
        u.file = Path("bad.gz");
        u.dest = Out();
        EXPECT_EQ(u.Run(), c.code) << c.what;
        EXPECT_FALSE(Exists(Out() + "/x.txt")) << c.what;
    }
}

// A GZIP file is read as RFC 1952 reads it: each member's trailer is the 8 bytes after its deflate data,
// further members are appended to the same output, zero padding at the end is ignored, and the trailer's
// CRC-32 and size are both checked. Data after the last member that are not zero padding are a structure
// error, but what the complete members held stays. The same in file, test and memory output.
TEST_F(UgtEngineTest, GzipFilesAreReadMemberByMemberToTheirTrailers) {
    const auto random = gtlib_test::Sample("random", 30000);
    const std::string big(random.begin(), random.end());
    const std::string one = GzipBuilder::With(0x08, "x.txt").Build("first part, ");
    const std::string two = GzipBuilder::With(0x08, "other.txt").Build("second part");
    const std::string empty = GzipBuilder{}.Build("");
    std::string lying = GzipBuilder::With(0x08, "x.txt").Build(big);
    lying[lying.size() - 4] = 10;  // ISIZE 10 for 30000 bytes of data, the CRC-32 right
    lying[lying.size() - 3] = lying[lying.size() - 2] = lying[lying.size() - 1] = 0;
    std::string more = GzipBuilder::With(0x08, "x.txt").Build("short");
    more[more.size() - 4] = 15;  // ISIZE claims more than the data
    std::string badSecond = two;
    badSecond[badSecond.size() - 7] ^= 0x20;
    struct Case {
        const char* what;
        std::string bytes;
        int32_t code;
        const char* output;  // what the output file holds afterwards, or null for no file
        uint32_t subOptions = 0;
    };
    const std::string both = "first part, second part";
    const Case cases[] = {
        {"two members, as cat a.gz b.gz makes", one + two, 0, both.c_str()},
        {"a member and an empty member", one + empty, 0, "first part, "},
        {"zero padding to a block", one + two + std::string(512 - (one + two).size() % 512, '\0'), 0, both.c_str()},
        {"garbage after the last member", one + two + "trailing junk", UGTE_STRUCT, both.c_str()},
        {"a further header cut short", one + "\x1f\x8b\x08", UGTE_STRUCT, "first part, "},
        {"a broken further member", one + badSecond, UGTE_BADCRC, nullptr},
        {"a further member cut short", one + two.substr(0, two.size() - 3), UGTE_EOF, nullptr},
        {"ISIZE claims more than the data", more, UGTE_BADCRC, nullptr},
        {"ISIZE claims less than the data", lying, UGTE_BADCRC, nullptr},
        {"leave-partial keeps 1000 bytes past the claimed size", lying, UGTE_BADCRC, "", UGTSO_LEAVEPARTIAL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(Out());
        WriteFile(Path("m.gz"), c.bytes);
        UgtCommand u;
        u.file = Path("m.gz");
        u.dest = Out();
        u.c.dwUGTSubOptions = c.subOptions | UGTSO_LOGGTRESULTS;
        EXPECT_EQ(u.Run(), c.code);
        if (c.output == nullptr) {
            EXPECT_FALSE(Exists(Out() + "/x.txt"));
        } else if (c.subOptions & UGTSO_LEAVEPARTIAL) {
            EXPECT_EQ(ReadFile(Out() + "/x.txt"), big.substr(0, 1010));
        } else {
            EXPECT_EQ(ReadFile(Out() + "/x.txt"), c.output);
            EXPECT_NE(env.Events().find("x.txt [Extracted]"), std::string::npos);
        }
        UgtCommand t;
        t.file = Path("m.gz");
        t.c.TestFlag = -1;
        EXPECT_EQ(t.Run(), c.code);

        // The same file as the host's stream, handed over in small pieces.
        StreamHost host;
        host.input = c.bytes;
        UgtCommand st(UGT_GUNZIP_MEMTOMEM);
        st.file.clear();
        st.Stream(&StreamHost::Proc, &host);
        EXPECT_EQ(st.Run(), c.code);
        if (c.code == 0 || c.code == UGTE_STRUCT) {
            EXPECT_EQ(host.output, c.output);
            EXPECT_EQ(st.c.lMemBlockSize, static_cast<int32_t>(std::strlen(c.output)));
        }

        std::vector<unsigned char> block(100, 0);
        UgtCommand m(UGT_GUNZIP_FILETOMEM);
        m.file = Path("m.gz");
        m.c.lpMemBlock = block.data();
        m.c.lMemBlockSize = 99;
        if (c.subOptions == 0 && c.code != UGTE_BADCRC && c.code != UGTE_EOF) {
            EXPECT_EQ(m.Run(), c.code);
            EXPECT_EQ(std::string(reinterpret_cast<char*>(block.data()), static_cast<std::size_t>(m.c.lMemBlockSize)),
                      c.output);
        }
    }
}

// Leave-partial with LF to CR LF conversion keeps the first 1000 bytes past the claimed size, converted.
TEST_F(UgtEngineTest, LeavePartialCutCountsDataBytesNotConvertedOnes) {
    std::string text;
    for (int i = 0; text.size() < 40000; ++i) text += "riga " + std::to_string(i) + (i % 7 ? "\n" : "\r\n");
    std::string lying = GzipBuilder::With(0x08, "t.txt").Build(text);
    lying[lying.size() - 4] = 100;  // ISIZE 100
    lying[lying.size() - 3] = lying[lying.size() - 2] = lying[lying.size() - 1] = 0;
    WriteFile(Path("t.gz"), lying);
    UgtCommand u;
    u.file = Path("t.gz");
    u.dest = Out();
    u.c.bLFtoCRLF = -1;
    u.c.dwUGTSubOptions = UGTSO_LEAVEPARTIAL;
    EXPECT_EQ(u.Run(), UGTE_BADCRC);
    std::string converted;
    for (char c : text.substr(0, 1100)) converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(ReadFile(Out() + "/t.txt"), converted);
}

// With the overwrite flag a broken member still never replaces the file that was there.
TEST_F(UgtEngineTest, BrokenMemberKeepsTheExistingFile) {
    const auto random = gtlib_test::Sample("random", 50000);
    const std::string good = GzipBuilder::With(0x08, "x.txt").Build(std::string(random.begin(), random.end()));
    std::string badCrc = good;
    badCrc[badCrc.size() - 6] ^= 0x55;
    const std::string cases[] = {badCrc, good.substr(0, good.size() / 2), good.substr(0, good.size() - 4)};
    for (const auto& bytes : cases) {
        SCOPED_TRACE(bytes.size());
        std::filesystem::remove_all(Out());
        WriteFile(Out() + "/x.txt", "old contents");
        WriteFile(Path("bad.gz"), bytes);
        UgtCommand u;
        u.file = Path("bad.gz");
        u.dest = Out();
        u.c.bOverWriteFlag = -1;
        EXPECT_NE(u.Run(), 0);
        EXPECT_EQ(ReadFile(Out() + "/x.txt"), "old contents");
        std::size_t files = 0;
        for (const auto& e : std::filesystem::directory_iterator(Out())) files += e.is_regular_file() ? 1 : 0;
        EXPECT_EQ(files, 1u);
    }
}

TEST_F(UgtEngineTest, TestRunWritesNothingAndStillChecksTheCrc) {
    std::string g = GzipBuilder::With(0x08, "x.txt").Build("checked data");
    WriteFile(Path("ok.gz"), g);
    g[g.size() - 8] ^= 1;
    WriteFile(Path("bad.gz"), g);
    UgtCommand ok;
    ok.file = Path("ok.gz");
    ok.c.TestFlag = -1;
    EXPECT_EQ(ok.Run(), 0);
    UgtCommand bad;
    bad.file = Path("bad.gz");
    bad.c.TestFlag = -1;
    EXPECT_EQ(bad.Run(), UGTE_BADCRC);
    EXPECT_EQ(bad.Errors(), std::vector<std::string>{UgtErrorText(UGTE_BADCRC, "Problem extracting file(s)")});
    EXPECT_FALSE(Exists(Out()));
}

TEST_F(UgtEngineTest, LfToCrlfConvertsOutputAndChecksTheDecodedCrc) {
    WriteFile(Path("t.gz"), GzipBuilder::With(0x08, "t.txt").Build("a\nb\r\nc\n"));
    UgtCommand u;
    u.file = Path("t.gz");
    u.dest = Out();
    u.c.bLFtoCRLF = -1;
    ASSERT_EQ(u.Run(), 0);
    EXPECT_EQ(ReadFile(Out() + "/t.txt"), "a\r\nb\r\r\nc\r\n");
}

// Stored names follow the same rule as TAR member names: "/" and "\\" both separate folders, and a name
// that climbs out of the destination with ".." is skipped (code 15, a "[Skipped]" line), whatever its
// separator; a name that only starts at the root or a drive stays inside.
TEST_F(UgtEngineTest, StoredNamesCannotLeaveTheDestination) {
    struct Case {
        const char* stored;
        int32_t result;
        const char* inside;  // where the data land below the destination, or nothing
    };
    const Case cases[] = {
        {"../../escaped.txt", UGTE_SKIP, nullptr},
        {"..\\..\\escaped.txt", UGTE_SKIP, nullptr},
        {"sub\\..\\..\\escaped.txt", UGTE_SKIP, nullptr},
        {"/abs/escaped.txt", 0, "abs/escaped.txt"},
        {"C:\\dir\\escaped.txt", 0, "dir/escaped.txt"},
        {"a\\.\\b.txt", 0, "a/b.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        std::filesystem::remove_all(Out());
        std::filesystem::create_directories(Out());
        WriteFile(Path("evil.gz"), GzipBuilder::With(0x08, c.stored).Build("x"));
        UgtCommand u;
        u.file = Path("evil.gz");
        u.dest = Out() + "/in";
        u.c.dwUGTSubOptions = UGTSO_LOGGTRESULTS;
        EXPECT_EQ(u.Run(), c.result);
        if (c.inside) EXPECT_EQ(ReadFile(Out() + "/in/" + c.inside), "x");
        else EXPECT_NE(env.Events().find(std::string(c.stored) + " [Skipped]"), std::string::npos) << env.Events();
        EXPECT_FALSE(Exists(Out() + "/escaped.txt"));
        EXPECT_FALSE(Exists(env.dir / "escaped.txt"));
        std::size_t files = 0;
        for (const auto& e : std::filesystem::recursive_directory_iterator(Out()))
            files += e.is_regular_file() ? 1 : 0;
        EXPECT_EQ(files, c.inside ? 1u : 0u);
    }
}

// A stored name whose folder is a link already in the destination is not written through the link.
TEST_F(UgtEngineTest, StoredNameThroughALinkInTheDestinationStaysInside) {
    std::filesystem::create_directories(Out() + "/in");
    std::filesystem::create_directories(Out() + "/outside");
    std::filesystem::create_directory_symlink(Out() + "/outside", Out() + "/in/ln");
    WriteFile(Path("link.gz"), GzipBuilder::With(0x08, "ln/x.txt").Build("x"));
    UgtCommand u;
    u.file = Path("link.gz");
    u.dest = Out() + "/in";
    u.c.bOverWriteFlag = -1;
    EXPECT_EQ(u.Run(), UGTE_CREATE);
    EXPECT_TRUE(std::filesystem::is_empty(Out() + "/outside"));
    // A real folder of that name is used as usual.
    std::filesystem::remove(Out() + "/in/ln");
    EXPECT_EQ(u.Run(), 0);
    EXPECT_EQ(ReadFile(Out() + "/in/ln/x.txt"), "x");
}

TEST_F(UgtEngineTest, GzipInfoDescribesTheMember) {
    GzipBuilder b;
    b.flags = 0x08;
    b.name = "Lunghissimo nome.text";
    b.mtime = 1796897731;
    b.xfl = 2;
    b.os = 11;
    const std::string g = b.Build(std::string(1000, 'z'));
    // Padding after the member: its trailer is still found after its data, not at the end of the file.
    WriteFile(Path("i.gz"), g + std::string(100, '\0'));
    ::chmod(Path("i.gz").c_str(), 0444);
    UgtCommand u(UGT_GETGZIPINFO);
    u.file = Path("i.gz");
    u.c.gzipInfo = &u.gzipInfo;
    ASSERT_EQ(u.Run(), 0);
    const GZIPINFO& i = u.gzipInfo;
    EXPECT_EQ(FieldText(i.szFileName), "Lunghissimo nome.text");
    EXPECT_EQ(FieldText(i.szDateTime), "12/10/2026 10:15:31");
    EXPECT_EQ(i.dwAttr, ATTR_READONLY | ATTR_ARCHIVE | ATTR_LFNAME);
    EXPECT_EQ(i.dwOSizeL, 1000u);
    EXPECT_EQ(i.dwCSizeL, static_cast<uint32_t>(g.size() - 10 - 22 - 8));
    EXPECT_EQ(i.wMethod, 8);
    EXPECT_EQ(i.wExtraFlags, 2);
    EXPECT_EQ(i.wOSType, 11);
    EXPECT_EQ(i.lIndex, 0);
    EXPECT_EQ(i.dwCRC32, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(std::string(1000, 'z').data()), 1000)));
}

TEST_F(UgtEngineTest, CommentSizeAndCommentText) {
    WriteFile(Path("c.gz"), GzipBuilder::With(0x18, "n", "Listino di dicembre").Build("x"));
    WriteFile(Path("n.gz"), GzipBuilder::With(0x08, "n").Build("x"));
    struct Case {
        std::string file;
        int32_t action, count;
        int32_t returned;
        std::string text;
    };
    const Case cases[] = {
        {Path("c.gz"), UGT_GETGZIPCOMMENT_SIZE, 0, 20, ""},
        {Path("n.gz"), UGT_GETGZIPCOMMENT_SIZE, 5, 0, ""},
        {Path("c.gz"), UGT_GETGZIPCOMMENT, 100, 20, "Listino di dicembre"},
        {Path("c.gz"), UGT_GETGZIPCOMMENT, 8, 8, "Listino"},
        {Path("c.gz"), UGT_GETGZIPCOMMENT, 0, 0, ""},
        {Path("n.gz"), UGT_GETGZIPCOMMENT, 10, 0, ""},
    };
    for (const auto& c : cases) {
        UgtCommand u(c.action);
        u.file = c.file;
        u.returnString.assign(static_cast<std::size_t>(c.count) + 1, 'Z');
        u.c.lReturnCount = c.count;
        ASSERT_EQ(u.Run(), 0);
        EXPECT_EQ(u.c.lReturnCount, c.returned) << c.action << "/" << c.count;
        if (c.action == UGT_GETGZIPCOMMENT && c.count > 0) {
            EXPECT_STREQ(u.returnString.data(), c.text.c_str());
        }
    }
}

// ---------------------------------------------------------------------------------------------------------
// Memory output and streams
// ---------------------------------------------------------------------------------------------------------

TEST_F(UgtEngineTest, FileToMemoryTakesTheBytesFromTheStartingOffset) {
    std::string data;
    for (int i = 0; i < 3000; ++i) data += static_cast<char>('A' + i % 26);
    WriteFile(Path("m.gz"), GzipBuilder::With(0x08, "m").Build(data));
    struct Case {
        int32_t size, offset;
        int32_t code;
        std::string expected;
    };
    const Case cases[] = {
        {5, 10, 0, data.substr(10, 5)},
        {3000, 0, 0, data},
        {5000, 0, 0, data},
        {100, 2990, 0, data.substr(2990)},
        {10, 3000, UGTE_EOF, ""},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> block(static_cast<std::size_t>(c.size) + 1, 0xEE);
        UgtCommand u(UGT_GUNZIP_FILETOMEM);
        u.file = Path("m.gz");
        u.c.lpMemBlock = block.data();
        u.c.lMemBlockSize = c.size;
        u.c.lStartingOffset = c.offset;
        EXPECT_EQ(u.Run(), c.code) << c.size << "/" << c.offset;
        EXPECT_EQ(u.c.lMemBlockSize, static_cast<int32_t>(c.expected.size()));
        EXPECT_EQ(std::string(block.begin(), block.begin() + static_cast<long>(c.expected.size())), c.expected);
        EXPECT_EQ(block.back(), 0xEE) << "written past the block";
    }
}


TEST_F(UgtEngineTest, MemoryToMemoryPullsTheMemberAndDeliversTheData) {
    const auto data = gtlib_test::Sample("runs", 150000);
    StreamHost host;
    host.input = GzipBuilder::With(0x18, "stream", "c").Build(std::string(data.begin(), data.end()));
    UgtCommand u(UGT_GUNZIP_MEMTOMEM);
    u.file.clear();
    u.Stream(&StreamHost::Proc, &host);
    u.c.dwUGTSubOptions = UGTSO_LOGGTRESULTS;
    ASSERT_EQ(u.Run(), 0);
    EXPECT_EQ(host.output, std::string(data.begin(), data.end()));
    EXPECT_EQ(u.c.lMemBlockSize, 150000);
    EXPECT_NE(env.Events().find("[Memory to Memory]\r\n"), std::string::npos);
}

TEST_F(UgtEngineTest, FileToStreamHandsDataToTheHostUntilItHasEnough) {
    const auto data = gtlib_test::Sample("text", 100000);
    WriteFile(Path("s.gz"), GzipBuilder::With(0x08, "s").Build(std::string(data.begin(), data.end())));
    StreamHost host;
    UgtCommand u(UGT_GUNZIP_FILETOMEM_STREAM);
    u.file = Path("s.gz");
    u.Stream(&StreamHost::Proc, &host);
    u.c.lMemBlockSize = 0;
    u.c.lStartingOffset = 100;
    ASSERT_EQ(u.Run(), 0);
    EXPECT_EQ(host.output, std::string(data.begin() + 100, data.end()));

    StreamHost limited;
    limited.stopAfter = 1;
    UgtCommand v(UGT_GUNZIP_FILETOMEM_STREAM);
    v.file = Path("s.gz");
    v.Stream(&StreamHost::Proc, &limited);
    v.c.lMemBlockSize = 50;
    ASSERT_EQ(v.Run(), 0);
    EXPECT_EQ(limited.output, std::string(data.begin(), data.begin() + 50));
}

// ---------------------------------------------------------------------------------------------------------
// Date texts and selection rules
// ---------------------------------------------------------------------------------------------------------

TEST(UgtRulesTest, DateTextsBothWays) {
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    EXPECT_EQ(UgtDateText(0), "01/01/1970 00:00:00");
    EXPECT_EQ(UgtDateText(1796897731), "12/10/2026 10:15:31");
    struct Case {
        const char* text;
        int64_t unix;
    };
    const Case cases[] = {
        {"12/31/2001 23:59:59", 1009843199},   // December stays December
        {"12/10/2026 10:15:31", 1796897731},
        {"13/40/2040 25:61:61", 2082758399},   // clamped to 12/31/2035 23:59:59
        {"00/00/1960 00:00:00", 0},            // clamped to 01/01/1970
        {"12-31-2001 23:59:59", 0},            // wrong separators
        {"12/31/2001 23:59", 0},               // too short
    };
    for (const auto& c : cases) EXPECT_EQ(UgtDateTextToUnix(c.text), c.unix) << c.text;
    ::setenv("TZ", "CET-1", 1);
    ::tzset();
    EXPECT_EQ(UgtDateText(1796897731), "12/10/2026 11:15:31");
    EXPECT_EQ(UgtDateTextToUnix("12/10/2026 11:15:31"), 1796897731);
}

TEST(UgtRulesTest, NameMatching) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.*", "README", true},     {"*.*", "a.txt", true},       {"*", "a.b.c", true},
        {"*.TXT", "a.txt", true},    {"*.txt", "README", false},   {"IFCK03*.*", "IFCK03_OUT.DAT", true},
        {"IFCK03*.*", "ifck03", true}, {"IFCK03*.*", "IFCK04.DAT", false}, {"a?c.txt", "abc.TXT", true},
        {"abc??.txt", "abc.txt", true}, {"ab?.txt", "abcd.txt", false}, {"readme", "README", true},
        {"readme", "README.TXT", false}, {"*.", "README", true},     {"*.", "a.txt", false},
        {"a*", "abc", true},         {"a*", "abc.txt", false},     {"archive.tar", "archive.tar.gz", false},
    };
    for (const auto& c : cases) EXPECT_EQ(UgtMatchName(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST(UgtRulesTest, FilespecSplitting) {
    std::vector<std::string> p;
    ASSERT_EQ(UgtSplitFilespec("*.txt \"my file.doc\"  docs/a*.*", p), 0);
    EXPECT_EQ(p, (std::vector<std::string>{"*.TXT", "MY FILE.DOC", "DOCS\\A*.*"}));
    EXPECT_EQ(UgtSplitFilespec("\"a.txt", p), UGTE_PARMS);
    ASSERT_EQ(UgtSplitFilespec("", p), 0);
    EXPECT_TRUE(p.empty());
}

TEST(UgtRulesTest, MemberSelectionByPatterns) {
    struct Case {
        const char* filespec;
        const char* member;
        bool recurse;
        bool selected;
    };
    const Case cases[] = {
        {"*.txt", "a.txt", false, true},          {"*.txt", "docs\\a.txt", false, false},
        {"*.txt", "docs\\a.txt", true, true},     {"*.txt", "docs\\", false, false},
        {"*.*", "docs\\", false, true},           {"*.*", "docs\\sub\\", false, false},
        {"*.*", "docs\\sub\\", true, true},       {"docs\\*.txt", "docs\\a.txt", false, true},
        {"docs\\*.txt", "docs\\sub\\a.txt", false, false}, {"docs\\*.txt", "docs\\sub\\a.txt", true, true},
        {"docs\\*.txt", "other\\a.txt", true, false}, {"docs\\*.txt", "docs\\", false, true},
        {"docs\\*.*", "docs\\sub\\", true, true},  {"docs\\*.txt", "docs\\sub\\", true, false},
        {"docs\\", "docs\\", false, true},        {"docs\\", "docs\\a.bin", false, true},
        {"docs\\", "docs\\sub\\a.bin", false, false}, {"docs\\", "docs\\sub\\a.bin", true, true},
        {"", "anything\\at\\all", false, true},
    };
    for (const auto& c : cases) {
        std::vector<std::string> p;
        ASSERT_EQ(UgtSplitFilespec(c.filespec, p), 0);
        EXPECT_EQ(UgtSelectByPatterns(p, c.member, c.recurse), c.selected) << c.filespec << " " << c.member << " " << c.recurse;
    }
}

TEST(UgtRulesTest, LongNamesAndTheirShortForm) {
    EXPECT_FALSE(UgtIsLongName("NOTIZIE.TXT"));
    EXPECT_FALSE(UgtIsLongName("DOCS\\A.B"));
    EXPECT_TRUE(UgtIsLongName("Long File Name.text"));
    EXPECT_TRUE(UgtIsLongName("verylongname.txt"));
    EXPECT_TRUE(UgtIsLongName("a.html"));
    EXPECT_TRUE(UgtIsLongName("cartellalunga\\a.txt"));
    EXPECT_EQ(UgtShortName("Long File Name.text"), "LongFile.tex");
    EXPECT_EQ(UgtShortName("cartellalunga\\v1.2.3.txt"), "cartella\\v1.23t");
}

}  // namespace
}  // namespace gtlib
