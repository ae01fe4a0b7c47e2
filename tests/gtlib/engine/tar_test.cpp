#include "gtlib/engine/tar.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <sstream>

#include "tests/gtlib/engine/inflate_test_util.h"

namespace {

using gtlib_test::Bytes;
using namespace gtlib;
namespace fs = std::filesystem;

constexpr std::int64_t kTime = 1234567890;

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

void SetTime(const fs::path& p, std::int64_t t) {
    const struct timespec ts[2] = {{static_cast<time_t>(t), 0}, {static_cast<time_t>(t), 0}};
    ::utimensat(AT_FDCWD, p.c_str(), ts, AT_SYMLINK_NOFOLLOW);
}

std::int64_t MTime(const fs::path& p) {
    struct stat st {};
    ::lstat(p.c_str(), &st);
    return st.st_mtime;
}

// ---- Header fields -------------------------------------------------------------------------------------

TEST(TarHeaderTest, OctalFieldsAreBlankPaddedAndBounded) {
    struct Case {
        std::size_t width;
        bool zero;
        std::uint64_t value;
        const char* want;  // nullptr: refused
    };
    const Case cases[] = {
        {8, true, 0644, "   644 "},   // + zero byte
        {8, true, 0, "     0 "},
        {12, false, 1, "          1 "},
        {12, false, 077777777777ull, "77777777777 "},
        {12, false, 0100000000000ull, nullptr},  // 8^11 does not fit
        {8, true, 01000000, nullptr},
    };
    for (const auto& c : cases) {
        std::uint8_t f[12];
        std::memset(f, 0xAA, sizeof f);
        const bool ok = TarFormatOctal(f, c.width, c.value, c.zero);
        ASSERT_EQ(ok, c.want != nullptr) << c.value;
        if (!ok) continue;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(f), c.width - (c.zero ? 1 : 0)), c.want);
        if (c.zero) {
            EXPECT_EQ(f[c.width - 1], 0);
        }
        std::uint64_t back = 1;
        EXPECT_TRUE(TarParseNumber(f, c.width, &back));
        EXPECT_EQ(back, c.value);
    }
}

TEST(TarHeaderTest, NumberReaderAcceptsOtherToolsFormsAndRefusesGarbage) {
    struct Case {
        std::string field;
        bool ok;
        std::uint64_t value;
    };
    const std::vector<Case> cases = {
        {std::string("0000644\0", 8), true, 0644},
        {std::string("  644  \0", 8), true, 0644},
        {std::string("00000001750\0", 12), true, 01750},
        {std::string("\0\0\0\0\0\0\0\0", 8), true, 0},
        {std::string("12x45   ", 8), false, 0},
        {std::string("0000008\0", 8), false, 0},
        {std::string("-1      ", 8), false, 0},
        {std::string("\x80\0\0\0\0\0\0\0\0\0\x01\x02", 12), true, 0x102},  // base-256
        {std::string("\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff", 12), false, 0},
    };
    for (const auto& c : cases) {
        std::uint64_t v = 99;
        EXPECT_EQ(TarParseNumber(reinterpret_cast<const std::uint8_t*>(c.field.data()), c.field.size(), &v), c.ok)
            << c.field;
        if (c.ok) {
            EXPECT_EQ(v, c.value);
        }
    }
}

// The file's own permission bits are stored, less the write bits of a read-only item; a memory item has
// no file and is stored as a plain file.
TEST(TarHeaderTest, ModeIsTheFilesOwnLessWriteWhenReadOnly) {
    struct Case {
        unsigned file_mode;
        std::uint32_t attributes;
        bool memory;
        unsigned stored;
    } const cases[] = {
        {0100600, 0, false, 0600},  // private stays private
        {0100755, 0, false, 0755},  // a program keeps its execute bits
        {0100644, ATTR_READONLY, false, 0444},
        {0100775, ATTR_READONLY, false, 0555},
        {0104755, 0, false, 0755},  // set-id bits are not stored
        {0, 0, true, 0666},
        {0, ATTR_READONLY, true, 0444},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TarModeFor(c.file_mode, c.attributes, c.memory), c.stored) << std::oct << c.file_mode;
}

struct Item {
    std::string stored;
    Bytes data;
    unsigned mode = 0644;  // the source file's permission bits
};

// Writes items from files in `src` into `archive` with the writer; returns the first error.
int WriteArchive(const fs::path& archive, const fs::path& src, const std::vector<Item>& items,
                 bool lf_to_crlf = false, bool append = false) {
    const int fd = ::open(archive.c_str(), O_RDWR | O_CREAT | (append ? 0 : O_TRUNC), 0666);
    if (append) {
        const int r = TarTruncateForAppend(fd);
        if (r != GTE_OK) return r;
    }
    TarWriter w;
    w.fd = fd;
    w.lfToCrlf = lf_to_crlf;
    int result = GTE_OK;
    std::vector<TarWriteItem> wi(items.size());
    for (std::size_t i = 0; i < items.size() && result == GTE_OK; ++i) {
        const fs::path file = src / ("item" + std::to_string(i));
        gtlib_test::WriteFile(file, items[i].data);
        ::chmod(file.c_str(), items[i].mode);
        wi[i].sourcePath = file.string();
        wi[i].storedName = items[i].stored;
        wi[i].mtime = kTime;
        result = TarWriteEntry(w, wi[i]);
        if (result == GTE_OK) result = TarWriteFileData(w);
    }
    if (result == GTE_OK) result = TarWriteEnd(w);
    ::close(fd);
    return result;
}

struct Extracted {
    std::vector<std::string> names;
    std::vector<int> results;
    std::vector<std::string> log;
    int walk = kTarEnd;
};

// Walks the archive and extracts every member into dest, as the decompression engine does.
Extracted ExtractAll(const fs::path& archive, const fs::path& dest, const std::function<void(UntarContext&)>& tune = {}) {
    Extracted out;
    const int fd = ::open(archive.c_str(), O_RDONLY);
    TarReader r;
    r.fd = fd;
    r.archiveName = archive.string();
    std::map<std::string, TarDataSpan> extracted;
    UntarContext ctx;
    ctx.archiveFd = fd;
    ctx.archivePath = archive.string();
    ctx.destination = dest.string();
    ctx.extracted = &extracted;
    ctx.overwrite = true;
    ctx.log = [&](TarEvent e, const std::string& p) {
        static const char* tags[] = {"Tested", "Memory", "Memory to Memory", "Overwritten", "Extracted", "Skipped"};
        out.log.push_back(p + " [" + tags[static_cast<int>(e)] + "]");
    };
    if (tune) tune(ctx);
    bool first = true;
    for (;;) {
        TarHeaderRead m;
        out.walk = TarReadHeader(r, kTarCountAll, 0, &m, first, false);
        first = false;
        if (out.walk != kTarFound) break;
        out.names.push_back(m.name);
        out.results.push_back(UntarItem(ctx, m, m.name));
        if (out.results.back() != UGTE_OK && out.results.back() != UGTE_SKIP) break;
    }
    ::close(fd);
    return out;
}

TEST(TarWriterTest, SizesAndPadding) {
    gtlib_test::ScratchDir dir;
    struct Case {
        std::size_t size;
        std::uintmax_t file_size;
    };
    // After the last member come two zero blocks.
    for (const auto& c : {Case{1, 2048}, Case{512, 2048}, Case{513, 2560}, Case{0, 1536}}) {
        ASSERT_EQ(WriteArchive(dir / "a.tar", dir.path(), {{"f", Bytes(c.size, 'x')}}), GTE_OK);
        EXPECT_EQ(fs::file_size(dir / "a.tar"), c.file_size) << c.size;
        const Bytes t = gtlib_test::ReadFile(dir / "a.tar");
        EXPECT_TRUE(std::all_of(t.begin() + 512 + static_cast<long>(c.size), t.end(), [](auto b) { return b == 0; }));
    }
    // The header as written, byte for byte in its fixed fields.
    ASSERT_EQ(WriteArchive(dir / "a.tar", dir.path(), {{"f", Bytes{}, 0640}}), GTE_OK);
    const Bytes t = gtlib_test::ReadFile(dir / "a.tar");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.data()) + 100, 8), std::string("   640 \0", 8));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.data()) + 124, 12), "          0 ");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.data()) + 257, 8), std::string("ustar  \0", 8));
    EXPECT_EQ(t[156], '0');
}

// With LF to CR LF the header carries the converted size, so the archive stays readable.
TEST(TarWriterTest, LfToCrlfMeasuresTheConvertedSize) {
    gtlib_test::ScratchDir dir;
    ASSERT_EQ(WriteArchive(dir / "a.tar", dir.path(), {{"t.txt", Bytes{'a', '\n', 'b', '\n'}}, {"u", Bytes{'z'}}}, true),
              GTE_OK);
    const Extracted e = ExtractAll(dir / "a.tar", dir / "out");
    EXPECT_EQ(e.walk, kTarEnd);
    EXPECT_EQ(Str(gtlib_test::ReadFile(dir / "out/t.txt")), "a\r\nb\r\n");
    EXPECT_EQ(Str(gtlib_test::ReadFile(dir / "out/u")), "z");
}

// A source that shrinks between the header and its data: the member keeps the size in its header, filled
// with zero bytes, the problem is reported, and the archive stays readable.
TEST(TarWriterTest, ShrinkingSourceIsFilledAndReported) {
    gtlib_test::ScratchDir dir;
    gtlib_test::WriteFile(dir / "src", Bytes(3000, 's'));
    const int fd = ::open((dir / "a.tar").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
    TarWriter w;
    w.fd = fd;
    int warned = 0;
    w.warning = [&](const TarWriteItem&, int code) { warned = code; };
    TarWriteItem item;
    item.sourcePath = (dir / "src");
    item.storedName = "src";
    ASSERT_EQ(TarWriteEntry(w, item), GTE_OK);
    fs::resize_file(dir / "src", 1000);
    EXPECT_EQ(TarWriteFileData(w), GTE_OK);
    gtlib_test::WriteFile(dir / "b", Bytes(10, 'b'));
    TarWriteItem next;
    next.sourcePath = (dir / "b");
    next.storedName = "b";
    ASSERT_EQ(TarWriteEntry(w, next), GTE_OK);
    ASSERT_EQ(TarWriteFileData(w), GTE_OK);
    ASSERT_EQ(TarWriteEnd(w), GTE_OK);
    ::close(fd);
    EXPECT_EQ(warned, GTE_READ);
    const Extracted e = ExtractAll(dir / "a.tar", dir / "out");
    EXPECT_EQ(e.names, (std::vector<std::string>{"src", "b"}));
    Bytes want(1000, 's');
    want.resize(3000, 0);
    EXPECT_EQ(gtlib_test::ReadFile(dir / "out/src"), want);
}

// Appending keeps the old members; the copy-and-append and the grow-in-place paths give the same bytes.
TEST(TarWriterTest, AppendKeepsMembers) {
    gtlib_test::ScratchDir dir;
    ASSERT_EQ(WriteArchive(dir / "a.tar", dir.path(), {{"one", Bytes(700, '1')}}), GTE_OK);
    fs::copy_file(dir / "a.tar", dir / "b.tar");
    ASSERT_EQ(WriteArchive(dir / "a.tar", dir.path(), {{"two", Bytes(10, '2')}}, false, true), GTE_OK);
    // The other path: a new temporary archive with the new members, appended to the cut old one.
    ASSERT_EQ(WriteArchive(dir / "tmp.tar", dir.path(), {{"two", Bytes(10, '2')}}), GTE_OK);
    {
        const int fd = ::open((dir / "b.tar").c_str(), O_RDWR);
        ASSERT_EQ(TarTruncateForAppend(fd), GTE_OK);
        const Bytes add = gtlib_test::ReadFile(dir / "tmp.tar");
        ASSERT_EQ(::write(fd, add.data(), add.size()), static_cast<ssize_t>(add.size()));
        ::close(fd);
    }
    EXPECT_EQ(gtlib_test::ReadFile(dir / "a.tar"), gtlib_test::ReadFile(dir / "b.tar"));
    const Extracted e = ExtractAll(dir / "a.tar", dir / "out");
    EXPECT_EQ(e.names, (std::vector<std::string>{"one", "two"}));
}

// The archive-level steps: build, add with and without growing in place, delete on a copy or in place.
TEST(TarWriterTest, BuildAddAndDeleteOnTheArchive) {
    gtlib_test::ScratchDir dir;
    auto items = [&](const std::string& name, std::size_t n) {
        gtlib_test::WriteFile(dir / ("src_" + name), Bytes(n, static_cast<std::uint8_t>(name[0])));
        TarWriteItem it;
        it.sourcePath = (dir / ("src_" + name)).string();
        it.storedName = name;
        it.mtime = kTime;
        return std::vector<TarWriteItem>{it};
    };
    const std::string a = (dir / "a.tar"), b = (dir / "b.tar"), tmp = (dir / "tmp");
    TarWriter w;
    ASSERT_EQ(TarBuildArchive(a, tmp, items("one", 700), false, w), GTE_OK);
    fs::rename(tmp, a);  // the engine puts the temporary file in place
    fs::copy_file(a, b);
    ASSERT_EQ(TarBuildArchive(a, tmp, items("two", 10), false, w), GTE_OK);
    fs::rename(tmp, a);
    ASSERT_EQ(TarBuildArchive(b, tmp, items("two", 10), true, w), GTE_OK);
    EXPECT_FALSE(fs::exists(tmp));
    EXPECT_EQ(gtlib_test::ReadFile(a), gtlib_test::ReadFile(b));
    EXPECT_EQ(ExtractAll(a, dir / "o1").names, (std::vector<std::string>{"one", "two"}));
    // Growing a missing archive creates it.
    ASSERT_EQ(TarBuildArchive((dir / "new.tar"), tmp, items("n", 1), true, w), GTE_OK);
    EXPECT_EQ(fs::file_size(dir / "new.tar"), 2048u);
    // A failing item is reported with the temporary file's name.
    auto missing = items("m", 1);
    missing[0].sourcePath = (dir / "nothing");
    std::string reported;
    EXPECT_EQ(TarBuildArchive(a, tmp, missing, false, w, [&](int code, const std::string& t) {
                  reported = std::to_string(code) + " " + t;
              }),
              GTE_OPEN);
    EXPECT_EQ(reported, std::to_string(GTE_OPEN) + " " + tmp);
    // Deleting on a copy leaves the archive alone until it is replaced; in place changes it.
    const Bytes before = gtlib_test::ReadFile(a);
    ASSERT_EQ(TarDeleteFromArchive(a, tmp, nullptr, 0, false, {}), GTE_OK);
    EXPECT_EQ(gtlib_test::ReadFile(a), before);
    EXPECT_EQ(ExtractAll(tmp, dir / "o2").names, std::vector<std::string>{"two"});
    ASSERT_EQ(TarDeleteFromArchive(a, tmp, nullptr, 1, true, {}), GTE_OK);
    EXPECT_EQ(ExtractAll(a, dir / "o3").names, std::vector<std::string>{"one"});
    EXPECT_EQ(TarDeleteFromArchive(a, tmp, nullptr, 5, true, {}), GTE_INDEX);
}

// Cutting a damaged archive for appending refuses and never grows the file.
TEST(TarWriterTest, TruncateForAppendRefusesCutArchives) {
    gtlib_test::ScratchDir dir;
    ASSERT_EQ(WriteArchive(dir / "a.tar", dir.path(), {{"one", Bytes(2000, '1')}}), GTE_OK);
    fs::resize_file(dir / "a.tar", 1024);
    const int fd = ::open((dir / "a.tar").c_str(), O_RDWR);
    EXPECT_EQ(TarTruncateForAppend(fd), kTarBadHeader);
    ::close(fd);
    EXPECT_EQ(fs::file_size(dir / "a.tar"), 1024u);
}

TEST(TarDeleteTest, RemovesByListAndByIndex) {
    gtlib_test::ScratchDir dir;
    const std::vector<Item> items = {{"a.txt", Bytes(100, 'a')}, {"b.dat", Bytes(1000, 'b')}, {"c.txt", Bytes(5, 'c')}};
    ASSERT_EQ(WriteArchive(dir / "a.tar", dir.path(), items), GTE_OK);
    // By list.
    std::vector<std::string> deleted;
    {
        const int fd = ::open((dir / "a.tar").c_str(), O_RDWR);
        const std::function<bool(const std::string&)> txt = [](const std::string& n) {
            return n.size() > 4 && n.substr(n.size() - 4) == ".txt";
        };
        EXPECT_EQ(TarDeleteMembers(fd, &txt, -1, [&](const std::string& n) { deleted.push_back(n + " [Deleted]"); }),
                  GTE_OK);
        ::close(fd);
    }
    EXPECT_EQ(deleted, (std::vector<std::string>{"a.txt [Deleted]", "c.txt [Deleted]"}));
    EXPECT_EQ(ExtractAll(dir / "a.tar", dir / "o1").names, std::vector<std::string>{"b.dat"});
    // By index: beyond the last member, then the only one, which leaves the end blocks alone.
    const int fd = ::open((dir / "a.tar").c_str(), O_RDWR);
    EXPECT_EQ(TarDeleteMembers(fd, nullptr, 1, {}), GTE_INDEX);
    EXPECT_EQ(TarDeleteMembers(fd, nullptr, -1, {}), GTE_INDEX);
    EXPECT_EQ(TarDeleteMembers(fd, nullptr, 0, {}), GTE_OK);
    ::close(fd);
    EXPECT_EQ(gtlib_test::ReadFile(dir / "a.tar"), Bytes(1024, 0));
}

// A GNU long-name member goes with the member it names.
TEST(TarDeleteTest, LongNameHeaderIsRemovedWithItsMember) {
    gtlib_test::ScratchDir dir;
    fs::create_directories(dir / "src");
    const std::string longname = std::string(150, 'L') + ".txt";
    gtlib_test::WriteFile(dir / "src" / longname, std::string("long"));
    gtlib_test::WriteFile(dir / "src/short", std::string("short"));
    ASSERT_TRUE(gtlib_test::Run({"tar", "--format=gnu", "-cf", (dir / "g.tar"), "-C", (dir / "src"),
                                 longname, "short"}));
    const int fd = ::open((dir / "g.tar").c_str(), O_RDWR);
    EXPECT_EQ(TarDeleteMembers(fd, nullptr, 0, {}), GTE_OK);
    ::close(fd);
    ASSERT_TRUE(gtlib_test::Run({"tar", "-tf", (dir / "g.tar")}, (dir / "list")));
    EXPECT_EQ(Str(gtlib_test::ReadFile(dir / "list")), "short\n");
}

// ---- Reader --------------------------------------------------------------------------------------------

TEST(TarReaderTest, AlteredChecksumIsAStructureError) {
    gtlib_test::ScratchDir dir;
    ASSERT_EQ(WriteArchive(dir / "a.tar", dir.path(), {{"a", Bytes(10, 'a')}, {"b", Bytes(10, 'b')}}), GTE_OK);
    Bytes t = gtlib_test::ReadFile(dir / "a.tar");
    t[1024 + 150] ^= 1;  // checksum digits of the second header
    gtlib_test::WriteFile(dir / "a.tar", t);
    const int fd = ::open((dir / "a.tar").c_str(), O_RDONLY);
    TarReader r;
    r.fd = fd;
    TarHeaderRead m;
    EXPECT_EQ(TarReadHeader(r, kTarCountAll, 0, &m, true, false), kTarFound);
    EXPECT_EQ(m.name, "a");
    EXPECT_EQ(TarReadHeader(r, kTarCountAll, 1, &m, true, false), kTarBadHeader);
    EXPECT_EQ(m.name, "");
    ::close(fd);
}

TEST(TarReaderTest, SelectionModesAndRestorePosition) {
    gtlib_test::ScratchDir dir;
    ASSERT_EQ(WriteArchive(dir / "a.tar", dir.path(),
                           {{"x.txt", Bytes(1, 'x')}, {"y.dat", Bytes(1, 'y')}, {"z.txt", Bytes(1, 'z')}}),
              GTE_OK);
    const int fd = ::open((dir / "a.tar").c_str(), O_RDONLY);
    TarReader r;
    r.fd = fd;
    r.matches = [](const std::string& n) { return n.find(".txt") != std::string::npos; };
    r.ignoreLongNames = true;
    r.isLongName = [](const std::string& n) { return n[0] == 'y'; };
    TarHeaderRead m;
    EXPECT_EQ(TarReadHeader(r, kTarCountMatching, 1, &m, true, false), kTarFound);
    EXPECT_EQ(m.name, "z.txt");
    EXPECT_EQ(TarReadHeader(r, kTarCountNamed, 1, &m, true, true), kTarFound);
    EXPECT_EQ(m.name, "z.txt");
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 3 * 1024);  // restored to where the previous walk left it
    EXPECT_EQ(TarReadHeader(r, kTarCountMatching, 2, &m, true, false), kTarEnd);
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 3 * 1024);  // at the end block
    r.cancelPoll = [] { return true; };
    EXPECT_EQ(TarReadHeader(r, kTarCountAll, 0, &m, true, false), kTarCancelled);
    ::close(fd);
}

// The index is used while the archive is unchanged and dropped when it was changed in place, even with the
// old time put back.
TEST(TarReaderTest, IndexIsCheckedAgainstTheArchive) {
    gtlib_test::ScratchDir dir;
    ASSERT_EQ(WriteArchive(dir / "a.tar", dir.path(), {{"a", Bytes(10, 'a')}, {"b", Bytes(10, 'b')}}), GTE_OK);
    SetTime(dir / "a.tar", kTime);
    TarMemberIndex index;
    int fd = ::open((dir / "a.tar").c_str(), O_RDONLY);
    TarReader r;
    r.fd = fd;
    r.archiveName = (dir / "a.tar");
    r.index = &index;
    long count = 0;
    std::vector<std::string> seen;
    ASSERT_EQ(TarBuildIndex(r, kTarCountAll, &count,
                            [&](long i, const TarHeaderRead& m) {
                                seen.push_back(std::to_string(i) + m.name);
                                return false;
                            }),
              kTarFound);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(seen, (std::vector<std::string>{"0a", "1b"}));
    TarHeaderRead m;
    EXPECT_EQ(TarReadHeader(r, kTarCountAll, 1, &m, false, false), kTarFound);
    EXPECT_EQ(m.name, "b");
    EXPECT_EQ(TarReadHeader(r, kTarCountAll, 2, &m, false, false), kTarEnd);
    ::close(fd);
    // Append a member in place, then put the old time back.
    ASSERT_EQ(WriteArchive(dir / "a.tar", dir.path(), {{"c", Bytes(10, 'c')}}, false, true), GTE_OK);
    SetTime(dir / "a.tar", kTime);
    fd = ::open((dir / "a.tar").c_str(), O_RDONLY);
    r.fd = fd;
    EXPECT_FALSE(TarIndexCurrent(index, r.archiveName, fd));
    EXPECT_EQ(TarReadHeader(r, kTarCountAll, 2, &m, true, false), kTarFound);
    EXPECT_EQ(m.name, "c");
    // An abort from the member callback discards the index.
    EXPECT_EQ(TarBuildIndex(r, kTarCountAll, &count, [](long, const TarHeaderRead&) { return true; }), kTarCancelled);
    EXPECT_FALSE(index.valid);
    ::close(fd);
}

// ---- Extraction ----------------------------------------------------------------------------------------

class UntarTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(WriteArchive(dir_ / "a.tar", dir_.path(), {{"sub\\f.txt", Bytes{'n', 'e', 'w'}}}), GTE_OK);
        fs::create_directories(dir_ / "out/sub");
    }
    gtlib_test::ScratchDir dir_;
};

TEST_F(UntarTest, OverwritePromptAnswers) {
    struct Case {
        int answer;
        int want;
        std::string content;
        std::string log;
    };
    const Case cases[] = {
        {kAnswerYes, UGTE_OK, "new", "[Overwritten]"},
        {kAnswerYesToAll, UGTE_OK, "new", "[Overwritten]"},
        {kAnswerNo, UGTE_SKIP, "old", "[Skipped]"},
        {kAnswerCancel, UGTE_ABORT, "old", ""},
        {kAnswerRename, UGTE_OK, "old", "[Extracted]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        gtlib_test::WriteFile(dir_ / "out/sub/f.txt", std::string("old"));
        fs::remove(dir_ / "out/sub/g.txt");
        bool asked_ro = true;
        bool overwrite_after = false;
        const Extracted e = ExtractAll(dir_ / "a.tar", dir_ / "out", [&](UntarContext& ctx) {
            ctx.overwrite = false;
            ctx.askOverwrite = [&](const std::string&, bool ro) {
                asked_ro = ro;
                return c.answer;
            };
            ctx.renameDialog = [&](const std::string&) { return (dir_ / "out/sub/g.txt"); };
            ctx.log = [&](TarEvent ev, const std::string& p) {
                if (ev == TarEvent::kOverwritten) overwrite_after = ctx.overwrite;
                static const char* tags[] = {"[Tested]", "[Memory]", "[Memory to Memory]", "[Overwritten]",
                                             "[Extracted]", "[Skipped]"};
                EXPECT_EQ(std::string(tags[static_cast<int>(ev)]), c.log) << p;
            };
        });
        ASSERT_EQ(e.results.size(), 1u);
        EXPECT_EQ(e.results[0], c.want);
        EXPECT_FALSE(asked_ro);
        EXPECT_EQ(Str(gtlib_test::ReadFile(dir_ / "out/sub/f.txt")), c.content);
        if (c.answer == kAnswerRename) {
            EXPECT_EQ(Str(gtlib_test::ReadFile(dir_ / "out/sub/g.txt")), "new");
        }
        if (c.answer == kAnswerYesToAll) {
            EXPECT_TRUE(overwrite_after);
        }
    }
}

TEST_F(UntarTest, QuietSkipsAndReadOnlyIsReported) {
    gtlib_test::WriteFile(dir_ / "out/sub/f.txt", std::string("old"));
    fs::permissions(dir_ / "out/sub/f.txt", fs::perms::owner_read);
    Extracted e = ExtractAll(dir_ / "a.tar", dir_ / "out", [](UntarContext& ctx) {
        ctx.overwrite = false;
        ctx.allQuiet = true;
    });
    EXPECT_EQ(e.results, std::vector<int>{UGTE_SKIP});
    EXPECT_EQ(e.log, std::vector<std::string>{(dir_ / "out/sub/f.txt").string() + " [Skipped]"});
    bool ro = false;
    e = ExtractAll(dir_ / "a.tar", dir_ / "out", [&](UntarContext& ctx) {
        ctx.overwrite = false;
        ctx.askOverwrite = [&](const std::string&, bool r) {
            ro = r;
            return kAnswerYes;
        };
    });
    EXPECT_TRUE(ro);
    EXPECT_EQ(e.results, std::vector<int>{UGTE_OK});
    EXPECT_EQ(Str(gtlib_test::ReadFile(dir_ / "out/sub/f.txt")), "new");
}

TEST_F(UntarTest, RefusesToOverwriteTheArchiveItself) {
    // An archive inside the destination holding a member of its own name.
    ASSERT_EQ(WriteArchive(dir_ / "out/self.tar", dir_.path(), {{"self.tar", Bytes(3000, 's')}}), GTE_OK);
    std::string message;
    const Bytes before = gtlib_test::ReadFile(dir_ / "out/self.tar");
    const Extracted e = ExtractAll(dir_ / "out/self.tar", dir_ / "out",
                                   [&](UntarContext& ctx) { ctx.selfOverwrite = [&](const std::string& p) { message = p; }; });
    EXPECT_EQ(e.results, std::vector<int>{UGTE_SKIP});
    EXPECT_EQ(message, (dir_ / "out/self.tar"));
    EXPECT_EQ(gtlib_test::ReadFile(dir_ / "out/self.tar"), before);
}

TEST_F(UntarTest, TestAndMemoryModesWriteNoFiles) {
    Extracted e = ExtractAll(dir_ / "a.tar", dir_ / "t", [](UntarContext& ctx) { ctx.output = OutputKind::kTest; });
    EXPECT_EQ(e.results, std::vector<int>{UGTE_OK});
    EXPECT_EQ(e.log, std::vector<std::string>{(dir_ / "t/sub/f.txt").string() + " [Tested]"});
    EXPECT_FALSE(fs::exists(dir_ / "t"));
    std::uint8_t block[8] = {};
    e = ExtractAll(dir_ / "a.tar", dir_ / "m", [&](UntarContext& ctx) {
        ctx.output = OutputKind::kMemory;
        ctx.memBlock = block;
        ctx.memBlockSize = 2;
        ctx.startingOffset = 1;
    });
    EXPECT_EQ(e.results, std::vector<int>{1});  // the wanted amount is complete
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 3), std::string("ew\0", 3));
    EXPECT_FALSE(fs::exists(dir_ / "m"));
}

TEST_F(UntarTest, RenameProcedureAndTimes) {
    const Extracted e = ExtractAll(dir_ / "a.tar", dir_ / "out", [&](UntarContext& ctx) {
        ctx.rename = [&](std::string& path, const std::string& stored, std::int64_t& mtime, unsigned& mode) {
            EXPECT_EQ(stored, "sub\\f.txt");
            EXPECT_EQ(mtime, kTime);
            EXPECT_EQ(mode, 0644u);
            path = (dir_ / "out/renamed.txt");
            mtime = kTime + 60;
            mode = 0444;
        };
    });
    EXPECT_EQ(e.results, std::vector<int>{UGTE_OK});
    EXPECT_EQ(Str(gtlib_test::ReadFile(dir_ / "out/renamed.txt")), "new");
    EXPECT_EQ(MTime(dir_ / "out/renamed.txt"), kTime + 60);
    EXPECT_EQ(fs::status(dir_ / "out/renamed.txt").permissions() & fs::perms::owner_write, fs::perms::none);
}

// ---- Hostile archives ----------------------------------------------------------------------------------

// A raw member header with any name, type, size field and link name.
Bytes RawHeader(const std::string& name, char type, const std::string& size_field = "", std::uint64_t size = 0,
                const std::string& link = "") {
    Bytes h(512, 0);
    TarBuildHeader(h.data(), "x", size, kTime, 0644);
    std::fill(h.begin(), h.begin() + 100, 0);
    std::memcpy(h.data(), name.data(), std::min<std::size_t>(name.size(), 100));
    h[156] = static_cast<std::uint8_t>(type);
    std::memcpy(h.data() + 157, link.data(), std::min<std::size_t>(link.size(), 100));
    if (!size_field.empty()) std::memcpy(h.data() + 124, size_field.data(), 12);
    TarFormatOctal(h.data() + 148, 8, TarChecksum(h.data()), true);
    return h;
}

Bytes Member(const std::string& name, const std::string& data, char type = '0', const std::string& link = "") {
    Bytes m = RawHeader(name, type, "", data.size(), link);
    m.insert(m.end(), data.begin(), data.end());
    m.resize((m.size() + 511) / 512 * 512, 0);
    return m;
}

// A pax extended header ("x" for the next member, "g" for all that follow) with the records given.
Bytes Pax(std::initializer_list<std::pair<std::string, std::string>> records, char type = 'x') {
    std::string text;
    for (const auto& [key, value] : records) {
        const std::size_t body = 1 + key.size() + 1 + value.size() + 1;
        std::size_t length = body + 1;
        while (std::to_string(length).size() + body != length) ++length;
        text += std::to_string(length) + " " + key + "=" + value + "\n";
    }
    return Member("PaxHeader/x", text, type);
}

Bytes Archive(std::initializer_list<Bytes> members, bool end = true) {
    Bytes a;
    for (const auto& m : members) a.insert(a.end(), m.begin(), m.end());
    if (end) a.resize(a.size() + 1024, 0);
    return a;
}

// Every regular file under root, relative, sorted.
std::vector<std::string> Tree(const fs::path& root) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator(); ++it) {
        std::string s = it->path().lexically_relative(root).string();
        if (it->is_symlink()) s += "@";
        else if (it->is_directory()) s += "/";
        out.push_back(s);
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(UntarHostileTest, NothingLandsOutsideTheDestination) {
    struct Case {
        const char* name;
        Bytes archive;
        int walk;                       // how the walk ended
        std::vector<int> results;       // per member
        std::vector<std::string> tree;  // what the sandbox holds afterwards (dest/ only)
    };
    const std::string name100(100, 'n');
    Bytes huge = RawHeader("huge", '0', std::string("\x80\0\0\0\0\0\0\x01\0\0\0\0", 12));
    Bytes garbage = RawHeader("garbage", '0', "12x4\0\0\0\0\0\0\0\0");
    Bytes badsum = Member("badsum", "data");
    badsum[150] ^= 1;
    const std::vector<Case> cases = {
        {"parent folder", Archive({Member("../x", "evil"), Member("ok", "fine")}), kTarEnd, {UGTE_SKIP, UGTE_OK}, {"ok"}},
        {"parent inside", Archive({Member("a/../../x", "evil")}), kTarEnd, {UGTE_SKIP}, {}},
        {"backslash parent", Archive({Member("..\\x", "evil")}), kTarEnd, {UGTE_SKIP}, {}},
        {"absolute path", Archive({Member("/abs/y", "abs")}), kTarEnd, {UGTE_OK}, {"abs/", "abs/y"}},
        {"drive letter", Archive({Member("C:\\x", "drive")}), kTarEnd, {UGTE_OK}, {"x"}},
        {"dot parts", Archive({Member("./a/./b", "dots")}), kTarEnd, {UGTE_OK}, {"a/", "a/b"}},
        {"the destination itself", Archive({Member("./", "", '5'), Member("/", "", '5'), Member(".", "x")}), kTarEnd,
         {UGTE_OK, UGTE_OK, UGTE_SKIP}, {}},
        {"file through a link already in the destination", Archive({Member("ln/x", "evil"), Member("y", "ok")}),
         kTarFound, {UGTE_CREATE}, {}},
        {"member replacing a link already in the destination", Archive({Member("ln", "data")}), kTarEnd, {UGTE_OK},
         {"ln"}},
        {"link outward, then a file through its name",
         Archive({Member("lnk", "", '2', "/tmp"), Member("lnk/escaped", "evil")}), kTarEnd, {UGTE_SKIP, UGTE_OK},
         {"lnk/", "lnk/escaped"}},
        {"link climbing above the destination", Archive({Member("a/l", "", '2', "../../x")}), kTarEnd, {UGTE_SKIP}, {}},
        {"link climbing after a name", Archive({Member("l", "", '2', "."), Member("m", "", '2', "l/..")}), kTarEnd,
         {UGTE_OK, UGTE_SKIP}, {"l@"}},
        {"link with a backslash parent", Archive({Member("n", "", '2', "..\\x")}), kTarEnd, {UGTE_SKIP}, {}},
        {"links inside the destination", Archive({Member("a/l", "", '2', "../b"), Member("b", "bee")}), kTarEnd,
         {UGTE_OK, UGTE_OK}, {"a/", "a/l@", "b"}},
        {"hard link to an earlier member", Archive({Member("f", "data"), Member("h", "", '1', "./f")}), kTarEnd,
         {UGTE_OK, UGTE_OK}, {"f", "h"}},
        {"hard link to nothing extracted", Archive({Member("h", "", '1', "later"), Member("later", "x")}), kTarEnd,
         {UGTE_SKIP, UGTE_OK}, {"later"}},
        {"hard link outward", Archive({Member("h", "", '1', "../../etc/passwd")}), kTarEnd, {UGTE_SKIP}, {}},
        {"name of 100 characters without zero byte", Archive({Member(name100, "full")}), kTarEnd, {UGTE_OK},
         {name100}},
        {"folder member", Archive({Member("d", "", '5'), Member("d2/", "", '5')}), kTarEnd, {UGTE_OK, UGTE_OK},
         {"d/", "d2/"}},
        {"fifo and device are skipped", Archive({Member("p", "", '6'), Member("c", "", '3')}), kTarEnd,
         {UGTE_SKIP, UGTE_SKIP}, {}},
        {"pax path names the next member", Archive({Pax({{"path", "whatever/else"}}), Member("plain", "p"),
                                                    Member("second", "s")}),
         kTarEnd, {UGTE_OK, UGTE_OK}, {"second", "whatever/", "whatever/else"}},
        {"pax path climbing out", Archive({Pax({{"path", "../escaped"}}), Member("plain", "p")}), kTarEnd,
         {UGTE_SKIP}, {}},
        {"pax linkpath climbing out", Archive({Pax({{"linkpath", "../../x"}}), Member("l", "", '2', "ok")}), kTarEnd,
         {UGTE_SKIP}, {}},
        {"global pax path", Archive({Pax({{"path", "../g"}}, 'g'), Member("a", "1"), Member("b", "2")}), kTarEnd,
         {UGTE_SKIP, UGTE_SKIP}, {}},
        {"pax size past the end", Archive({Pax({{"size", "99999999"}}), Member("p", "p")}), kTarBadHeader, {}, {}},
        {"pax size that is not a number", Archive({Pax({{"size", "12x"}}), Member("p", "p")}), kTarBadHeader, {}, {}},
        {"pax record of a wrong length", Archive({Member("PaxHeader/x", "30 path=short\n", 'x'), Member("p", "p")}),
         kTarBadHeader, {}, {}},
        {"GNU long name names the next member",
         Archive({Member("././@LongLink", std::string(120, 'q') + '\0', 'L'), Member("short", "long")}), kTarEnd,
         {UGTE_OK}, {std::string(120, 'q')}},
        {"base-256 size past the end", Archive({huge}), kTarBadHeader, {}, {}},
        {"garbage size", Archive({garbage}), kTarBadHeader, {}, {}},
        {"wrong checksum", Archive({Member("first", "1"), badsum}), kTarBadHeader, {UGTE_OK}, {"first"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gtlib_test::ScratchDir sandbox;
        fs::create_directories(sandbox / "dest");
        gtlib_test::WriteFile(sandbox / "h.tar", c.archive);
        fs::create_directories(sandbox / "outside");
        fs::create_directory_symlink(sandbox / "outside", sandbox / "dest" / "ln");  // a link already there
        const Extracted e = ExtractAll(sandbox / "h.tar", sandbox / "dest");
        EXPECT_TRUE(fs::is_empty(sandbox / "outside"));
        if (fs::is_symlink(sandbox / "dest" / "ln")) fs::remove(sandbox / "dest" / "ln");
        fs::remove(sandbox / "outside");
        EXPECT_EQ(e.walk, c.walk);  // kTarFound: the run stopped at a failing member
        EXPECT_EQ(e.results, c.results);
        EXPECT_EQ(Tree(sandbox / "dest"), c.tree);
        std::vector<std::string> top;
        for (const auto& entry : fs::directory_iterator(sandbox.path())) top.push_back(entry.path().filename());
        std::sort(top.begin(), top.end());
        EXPECT_EQ(top, (std::vector<std::string>{"dest", "h.tar"}));
        EXPECT_FALSE(fs::exists("/tmp/escaped"));
    }
}

// Maps of files with holes that do not hold together are structure errors and nothing is written; a sound
// map whose holes claim far more than the archive holds costs nothing to test and, into a file, makes a
// file of that size that holds only the stored data.
TEST(UntarHostileTest, MapsOfFilesWithHolesAreChecked) {
    const std::string data(1000, 'd');
    auto pax_sparse = [&](std::initializer_list<std::pair<std::string, std::string>> records) {
        return Archive({Pax(records), Member("sp", data)});
    };
    auto map_in_data = [&](const std::string& map, const std::string& real_size) {
        std::string body = map;
        body.resize((body.size() + 511) / 512 * 512, '\0');
        return Archive({Pax({{"GNU.sparse.major", "1"}, {"GNU.sparse.minor", "0"}, {"GNU.sparse.name", "sp"},
                             {"GNU.sparse.realsize", real_size}}),
                        Member("GNUSparseFile.0/sp", body + data)});
    };
    struct Case {
        const char* what;
        Bytes archive;
        int walk;
    };
    const Case cases[] = {
        {"segments overlap", pax_sparse({{"GNU.sparse.size", "5000"}, {"GNU.sparse.map", "0,600,500,400"}}),
         kTarBadHeader},
        {"out of order", pax_sparse({{"GNU.sparse.size", "5000"}, {"GNU.sparse.map", "3000,500,0,500"}}), kTarBadHeader},
        {"past the file's size", pax_sparse({{"GNU.sparse.size", "1500"}, {"GNU.sparse.map", "0,500,1200,500"}}),
         kTarBadHeader},
        {"less than the stored data", pax_sparse({{"GNU.sparse.size", "5000"}, {"GNU.sparse.map", "0,500"}}),
         kTarBadHeader},
        {"an offset without its size", pax_sparse({{"GNU.sparse.size", "5000"}, {"GNU.sparse.map", "0,500,900"}}),
         kTarBadHeader},
        {"a map without a size", pax_sparse({{"GNU.sparse.map", "0,1000"}}), kTarBadHeader},
        {"longer than any file", pax_sparse({{"GNU.sparse.size", "18446744073709551615"},
                                             {"GNU.sparse.map", "0,1000"}}),
         kTarBadHeader},
        {"sizes before offsets", pax_sparse({{"GNU.sparse.size", "5000"}, {"GNU.sparse.numbytes", "1000"},
                                             {"GNU.sparse.offset", "0"}}),
         kTarBadHeader},
        {"map in the data without its end", map_in_data("1\n0\n1000", "5000"), kTarBadHeader},
        {"map in the data with more segments than bytes", map_in_data("99999999\n0\n1000\n", "5000"), kTarBadHeader},
        {"map in the data that is not a number", map_in_data("1\n0x\n1000\n", "5000"), kTarBadHeader},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        gtlib_test::ScratchDir sandbox;
        gtlib_test::WriteFile(sandbox / "h.tar", c.archive);
        const Extracted e = ExtractAll(sandbox / "h.tar", sandbox / "dest");
        EXPECT_EQ(e.walk, c.walk);
        EXPECT_TRUE(e.results.empty());
        EXPECT_FALSE(fs::exists(sandbox / "dest/sp"));
    }
    // One terabyte, of which 1000 bytes at its middle are stored.
    const std::string tera = "1099511627776", middle = "549755813888";
    gtlib_test::ScratchDir sandbox;
    gtlib_test::WriteFile(sandbox / "h.tar", pax_sparse({{"GNU.sparse.size", tera}, {"GNU.sparse.map", middle + ",1000"}}));
    const Extracted tested = ExtractAll(sandbox / "h.tar", sandbox / "dest",
                                        [](UntarContext& ctx) { ctx.output = OutputKind::kTest; });
    EXPECT_EQ(tested.results, std::vector<int>{UGTE_OK});
    const Extracted made = ExtractAll(sandbox / "h.tar", sandbox / "dest");
    ASSERT_EQ(made.results, std::vector<int>{UGTE_OK});
    EXPECT_EQ(fs::file_size(sandbox / "dest/sp"), 1099511627776u);
    struct stat st {};
    ASSERT_EQ(::stat((sandbox / "dest/sp").c_str(), &st), 0);
    EXPECT_LT(st.st_blocks * 512, 1 << 20);
    const int fd = ::open((sandbox / "dest/sp").c_str(), O_RDONLY);
    char got[1002] = {};
    EXPECT_EQ(::pread(fd, got, sizeof got, 549755813887), 1002);
    ::close(fd);
    EXPECT_EQ(std::string(got, sizeof got), std::string(1, '\0') + data + std::string(1, '\0'));
}

// An archive cut at any 512-byte boundary: complete members come out whole, a member whose data are cut is
// a structure error, and no short file is left behind.
TEST(UntarHostileTest, TruncationAtEveryBlockBoundary) {
    const Bytes full = Archive({Member("a", std::string(700, 'a')), Member("b", std::string(100, 'b')),
                                Member("c", std::string(1500, 'c'))});
    for (std::size_t cut = 0; cut <= full.size(); cut += 512) {
        SCOPED_TRACE(cut);
        gtlib_test::ScratchDir sandbox;
        gtlib_test::WriteFile(sandbox / "t.tar", Bytes(full.begin(), full.begin() + static_cast<long>(cut)));
        const Extracted e = ExtractAll(sandbox / "t.tar", sandbox / "dest");
        for (const auto& [name, len] : std::map<std::string, std::size_t>{{"a", 700}, {"b", 100}, {"c", 1500}}) {
            const fs::path p = sandbox / "dest" / name;
            if (fs::exists(p)) {
                EXPECT_EQ(fs::file_size(p), len) << name;
            }
        }
        const bool at_member_boundary = cut == 0 || cut == 1536 || cut == 2560 || cut >= 4608;
        EXPECT_EQ(e.walk, at_member_boundary ? kTarEnd : kTarBadHeader);
        EXPECT_TRUE(std::all_of(e.results.begin(), e.results.end(), [](int r) { return r == UGTE_OK; }));
    }
}

// ---- Interoperation ------------------------------------------------------------------------------------

struct SourceTree {
    std::map<std::string, Bytes> files;  // relative path -> contents
};

SourceTree MakeTree(const fs::path& root, bool long_name) {
    SourceTree t;
    t.files["a.txt"] = gtlib_test::Sample("text", 3000, 1);
    t.files["sub/b.bin"] = gtlib_test::Sample("random", 5000, 2);
    t.files["sub/deep/c"] = {};
    if (long_name) {
        std::string p;
        for (int i = 0; i < 6; ++i) p += "cartella_numero_" + std::to_string(i) + "/";
        t.files[p + "documento_con_nome_lungo.txt"] = gtlib_test::Sample("text", 700, 3);
    }
    for (const auto& [rel, data] : t.files) {
        fs::create_directories((root / rel).parent_path());
        gtlib_test::WriteFile(root / rel, data);
        SetTime(root / rel, kTime);
    }
    return t;
}

std::string ToBackslash(std::string s) {
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

// Archives written by other tools are listed and extracted with the right names, sizes, times and contents.
TEST(TarInteropTest, ReadsOtherToolsArchives) {
    struct Tool {
        const char* name;
        std::vector<std::string> argv;  // archive path and source folder are appended
        bool long_name;
    };
    const char* py = "import sys,tarfile,os\n"
                     "fmt={'ustar':tarfile.USTAR_FORMAT,'gnu':tarfile.GNU_FORMAT,'pax':tarfile.PAX_FORMAT}[sys.argv[1]]\n"
                     "os.chdir(sys.argv[3])\n"
                     "with tarfile.open(sys.argv[2],'w',format=fmt) as t:\n"
                     "  for d,_,fs in sorted(os.walk('.')):\n"
                     "    for f in sorted(fs): t.add(os.path.join(d,f)[2:])\n";
    const std::vector<Tool> tools = {
        {"gnu tar gnu", {"tar", "--format=gnu", "-cf"}, true},
        {"gnu tar oldgnu", {"tar", "--format=oldgnu", "-cf"}, true},
        {"gnu tar ustar", {"tar", "--format=ustar", "-cf"}, true},
        {"gnu tar posix", {"tar", "--format=posix", "-cf"}, false},
        {"gnu tar v7", {"tar", "--format=v7", "-cf"}, false},
        {"bsdtar", {"bsdtar", "--format=ustar", "-cf"}, true},
        {"bsdtar default", {"bsdtar", "-cf"}, false},
        {"python ustar", {"python3", "-c", py, "ustar"}, true},
        {"python gnu", {"python3", "-c", py, "gnu"}, true},
        {"python pax", {"python3", "-c", py, "pax"}, false},
    };
    for (const auto& tool : tools) {
        SCOPED_TRACE(tool.name);
        gtlib_test::ScratchDir dir;
        const SourceTree tree = MakeTree(dir / "src", tool.long_name);
        std::vector<std::string> argv = tool.argv;
        argv.push_back((dir / "x.tar"));
        if (argv[0] == "python3") {
            argv.push_back((dir / "src"));
        } else {
            argv.insert(argv.end(), {"-C", (dir / "src")});
            for (const auto& [rel, data] : tree.files) argv.push_back(rel);
        }
        ASSERT_TRUE(gtlib_test::Run(argv));
        const Extracted e = ExtractAll(dir / "x.tar", dir / "out");
        EXPECT_EQ(e.walk, kTarEnd);
        std::vector<std::string> want;
        for (const auto& [rel, data] : tree.files) want.push_back(ToBackslash(rel));
        std::vector<std::string> got = e.names;
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, want);
        for (int r : e.results) EXPECT_EQ(r, UGTE_OK);
        for (const auto& [rel, data] : tree.files) {
            EXPECT_EQ(gtlib_test::ReadFile(dir / "out" / rel), data) << rel;
            EXPECT_EQ(MTime(dir / "out" / rel), kTime) << rel;
        }
    }
}

// Archives we write are listed and extracted by the other tools with the same names, contents and times.
TEST(TarInteropTest, OtherToolsReadOurArchives) {
    gtlib_test::ScratchDir dir;
    const SourceTree tree = MakeTree(dir / "src", true);
    {
        const int fd = ::open((dir / "ours.tar").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
        TarWriter w;
        w.fd = fd;
        std::vector<TarWriteItem> items;
        for (const auto& [rel, data] : tree.files) {
            TarWriteItem it;
            it.sourcePath = (dir / "src" / rel);
            it.storedName = ToBackslash(rel);
            it.mtime = kTime;
            items.push_back(it);
        }
        for (const auto& it : items) {
            ASSERT_EQ(TarWriteEntry(w, it), GTE_OK);
            ASSERT_EQ(TarWriteFileData(w), GTE_OK);
        }
        ASSERT_EQ(TarWriteEnd(w), GTE_OK);
        ::close(fd);
    }
    std::string want_list;
    for (const auto& [rel, data] : tree.files) want_list += rel + "\n";
    const char* py_list = "import sys,tarfile\nprint('\\n'.join(tarfile.open(sys.argv[1]).getnames()))";
    const char* py_extract = "import sys,tarfile\ntarfile.open(sys.argv[1]).extractall(sys.argv[2])";
    struct Reader {
        const char* name;
        std::vector<std::string> list, extract;
    };
    const std::string a = (dir / "ours.tar");
    const std::vector<Reader> readers = {
        {"gnu tar", {"tar", "-tf", a}, {"tar", "-xf", a, "-C"}},
        {"bsdtar", {"bsdtar", "-tf", a}, {"bsdtar", "-xf", a, "-C"}},
        {"python", {"python3", "-c", py_list, a}, {"python3", "-c", py_extract, a}},
    };
    for (const auto& r : readers) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(gtlib_test::Run(r.list, (dir / "list")));
        EXPECT_EQ(Str(gtlib_test::ReadFile(dir / "list")), want_list);
        const fs::path out = dir / (std::string("x_") + r.name);
        fs::create_directories(out);
        auto argv = r.extract;
        argv.push_back(out.string());
        ASSERT_TRUE(gtlib_test::Run(argv));
        for (const auto& [rel, data] : tree.files) {
            EXPECT_EQ(gtlib_test::ReadFile(out / rel), data) << rel;
            EXPECT_EQ(MTime(out / rel), kTime) << rel;
        }
    }
}

}  // namespace
