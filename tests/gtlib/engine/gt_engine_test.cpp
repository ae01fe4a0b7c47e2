// The compression engine's entry and runs, and round trips through both engines checked with GNU tools.
#include "gtlib/engine/gt_engine.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "engine_test_support.h"
#include "gtlib/engine/ugt_engine.h"
#include "ugt_test_support.h"

namespace gtlib {
namespace {

// A host of the memory-transfer procedure: hands out `in`, collects what is written into `out`.
struct PipeHost {
    std::string in, out;
    std::size_t pos = 0;
    static void Proc(int32_t dir, unsigned char* buf, int32_t* size, uint32_t, uint32_t, uint32_t, uint32_t, void* user,
                     int32_t* answer) {
        auto* h = static_cast<PipeHost*>(user);
        if (dir == MEM_READ_DATA) {
            const std::size_t k = std::min<std::size_t>(static_cast<std::size_t>(*size), h->in.size() - h->pos);
            std::memcpy(buf, h->in.data() + h->pos, k);
            h->pos += k;
            *size = static_cast<int32_t>(k);
            *answer = h->pos == h->in.size() ? MEM_DONE : MEM_CONTINUE;
        } else {
            h->out.append(reinterpret_cast<char*>(buf), static_cast<std::size_t>(*size));
            *answer = MEM_CONTINUE;
        }
    }
};

using test::Exists;
using test::ReadFile;
using test::UgtCommand;
using test::WriteFile;

struct GtCommand {
    GTCMDSTRUCT c = NewGtCmdStruct();
    std::string file, items, dest, temp, code, include, exclude, date1, date2;
    CALLBACKSTRUCT callbacks = NewCallbackStruct();
    test::ScriptedHost host;

    explicit GtCommand(int32_t action) {
        c.lFunction = action;
        c.lCompFactor = 6;
    }
    // Has the data pass through the host's memory-transfer procedure (the stream actions).
    void Stream(MemoryTransferProc proc, void* data) {
        callbacks.lpMemToMemProc = proc;
        callbacks.lpMemToMemUserData = data;
        c.lpCallbackStruct = &callbacks;
    }
    // Runs on a control's state block when one is given, else on a state of the action's own.
    int32_t Run(void* block = nullptr) {
        c.lpszGTFile = file.c_str();
        c.lpszItemList = items.c_str();
        c.lpszDestination = dest.c_str();
        c.lpszTempPath = temp.c_str();
        c.lpszEncryptCode = code.c_str();
        c.lpszIncludeList = include.c_str();
        c.lpszExludeList = exclude.c_str();
        c.lpszDate1 = date1.c_str();
        c.lpszDate2 = date2.c_str();
        c.lpMessageDisplay = &test::ScriptedHost::Proc;
        c.lpMessageDisplayData = &host;
        return block ? GtRunBlock(block, test::LogEnvironment::Current(), &c) : GtMain(&c, test::LogEnvironment::Current());
    }
    std::vector<std::string> Errors() const {
        std::vector<std::string> out;
        for (const auto& call : host.calls)
            if (call.kind == MSGID_GTERROR) out.push_back(call.text1);
        return out;
    }
};

class GtEngineTest : public ::testing::Test {
protected:
    test::LogEnvironment env;
    std::string Path(const std::string& name) const { return env.dir / name; }

    std::vector<std::string> TarList(const std::string& tar) {
        const std::string out = Path("list.txt");
        EXPECT_TRUE(gtlib_test::Run({"tar", "-tf", tar}, out));
        std::vector<std::string> names;
        std::string all = ReadFile(out), line;
        for (char ch : all) {
            if (ch == '\n') {
                names.push_back(line);
                line.clear();
            } else {
                line.push_back(ch);
            }
        }
        return names;
    }
};

TEST_F(GtEngineTest, EntryChecksGiveTheParameterError) {
    WriteFile(Path("a.txt"), "a");
    const char* const kArgs = "Parameters missing or bad (was processing arguments)";
    const char* const kCode = "Parameters missing or bad (was getting encryption password)";
    struct Case {
        const char* what;
        std::function<void(GtCommand&)> setup;
        int32_t code;
        const char* text = nullptr;  // the one error shown; none for a record that cannot be trusted
    };
    const Case cases[] = {
        {"record size", [](GtCommand& g) { g.c.ulgtStructSize = 196; }, GTE_PARMS},
        {"action 0", [](GtCommand& g) { g.c.lFunction = 0; }, GTE_PARMS, kArgs},
        {"action 8", [](GtCommand& g) { g.c.lFunction = 8; }, GTE_PARMS, kArgs},
        {"wildcard into one file", [](GtCommand& g) { g.items = "*.txt"; }, GTE_PARMS, kArgs},
        {"output file and folder", [&](GtCommand& g) { g.dest = Path("out"); }, GTE_PARMS, kArgs},
        {"TAR without archive", [](GtCommand& g) { g.c.lFunction = GT_TAR; g.file.clear(); }, GTE_PARMS, kArgs},
        {"memory to memory without procedure", [](GtCommand& g) { g.c.lFunction = GT_GZIP_MEMTOMEM; g.file.clear(); },
         GTE_PARMS, kArgs},
        {"bad encryption code", [](GtCommand& g) { g.c.bEncryptFlag = -1; g.code = std::string(66, 'k'); }, GTE_PARMS,
         kCode},
        {"encrypted TAR", [](GtCommand& g) { g.c.lFunction = GT_TAR; g.c.bEncryptFlag = -1; g.code = "chiave"; },
         GTE_PARMS, kCode},
        {"encrypted TAR from memory",
         [](GtCommand& g) {
             g.c.lFunction = GT_TAR_MEMTOFILE;
             g.c.lpMemBlock = reinterpret_cast<const unsigned char*>("dati");
             g.c.lMemBlockSize = 4;
             g.items = "dati.txt";
             g.c.bEncryptFlag = -1;
             g.code = "chiave";
         },
         GTE_PARMS, kCode},
        {"month 13", [](GtCommand& g) { g.date1 = "13012020"; }, GTE_PARMS,
         "Parameters missing or bad (invalid date)"},
        {"nothing matches", [&](GtCommand& g) { g.items = Path("none.txt"); }, GTE_NONE,
         "ItemList does not match any file names"},
        {"path too long", [](GtCommand& g) { g.file = std::string(5000, 'x'); }, GTE_PARMS, kArgs},
    };
    for (const auto& c : cases) {
        GtCommand g(GT_GZIP);
        g.file = Path("a.gz");
        g.items = Path("a.txt");
        c.setup(g);
        EXPECT_EQ(g.Run(), c.code) << c.what;
        EXPECT_FALSE(Exists(Path("a.gz"))) << c.what;
        const std::vector<std::string> shown = g.Errors();
        if (c.text == nullptr) {
            EXPECT_TRUE(shown.empty()) << c.what;
        } else {
            EXPECT_EQ(shown, std::vector<std::string>{std::string(c.text) + "\n"}) << c.what;
        }
    }
}

TEST_F(GtEngineTest, OnlyTheFirstErrorIsShown) {
    GtCommand g(GT_GZIP);
    g.file = Path("a.gz");
    g.items = Path("missing.txt");
    EXPECT_EQ(g.Run(), GTE_NONE);
    EXPECT_EQ(g.Errors(), std::vector<std::string>{"ItemList does not match any file names\n"});
}

TEST_F(GtEngineTest, FilesRoundTripThroughGzipAndBothEngines) {
    const auto data = gtlib_test::Sample("text", 120000);
    WriteFile(Path("src/one.txt"), std::string(data.begin(), data.end()));
    WriteFile(Path("src/two.dat"), "second file");
    for (bool encrypted : {false, true}) {
        test::ScratchDir out;
        GtCommand g(GT_GZIP);
        g.items = Path("src") + "/*.*";
        g.dest = out.path();
        g.c.bNoDirectoryNames = -1;
        g.c.bEncryptFlag = encrypted;
        g.code = encrypted ? "chiave" : "";
        ASSERT_EQ(g.Run(), 0) << (g.Errors().empty() ? "" : g.Errors()[0]);
        ASSERT_TRUE(Exists(out / "one.txt.gz"));
        ASSERT_TRUE(Exists(out / "two.dat.gz"));
        if (!encrypted) {
            ASSERT_TRUE(gtlib_test::Run({"gzip", "-t", out / "one.txt.gz"}));
        }
        UgtCommand u;
        u.file = out / "one.txt.gz";
        u.dest = out / "back";
        u.c.bDecryptFlag = encrypted;
        u.code = g.code;
        ASSERT_EQ(u.Run(), 0);
        EXPECT_TRUE(ReadFile(out / "back/one.txt") == std::string(data.begin(), data.end())) << encrypted;
    }
}

TEST_F(GtEngineTest, MemoryToFileAndMemoryToMemory) {
    const std::string text = "Listino prezzi\nriga due\n";
    GtCommand g(GT_GZIP_MEMTOFILE);
    g.file = Path("mem.gz");
    g.items = "listino.txt";
    g.c.lpMemBlock = reinterpret_cast<const unsigned char*>(text.data());
    g.c.lMemBlockSize = static_cast<int32_t>(text.size());
    ASSERT_EQ(g.Run(), 0) << (g.Errors().empty() ? "" : g.Errors()[0]);
    const std::string plain = Path("plain.out");
    ASSERT_TRUE(gtlib_test::Run({"gzip", "-dc", Path("mem.gz")}, plain));
    EXPECT_EQ(ReadFile(plain), text);

    PipeHost pack, unpack;
    pack.in = std::string(50000, 'm') + text;
    GtCommand m(GT_GZIP_MEMTOMEM);
    m.items = "stream";
    m.Stream(&PipeHost::Proc, &pack);
    ASSERT_EQ(m.Run(), 0) << (m.Errors().empty() ? "" : m.Errors()[0]);
    unpack.in = pack.out;
    UgtCommand u(UGT_GUNZIP_MEMTOMEM);
    u.file.clear();
    u.Stream(&PipeHost::Proc, &unpack);
    ASSERT_EQ(u.Run(), 0);
    EXPECT_EQ(unpack.out, pack.in);
}

TEST_F(GtEngineTest, TarAddThenDeleteByNameAndByIndexCheckedWithGnuTar) {
    WriteFile(Path("src/a.txt"), "alpha");
    WriteFile(Path("src/b.txt"), "bravo");
    WriteFile(Path("src/c.bin"), std::string(3000, 'c'));
    const std::string tar = Path("x.tar");
    GtCommand add(GT_TAR);
    add.file = tar;
    add.items = Path("src") + "/*.txt";
    add.c.bNoDirectoryNames = -1;
    add.c.dwGTSubOptions = GTSO_LOGGTRESULTS;
    ASSERT_EQ(add.Run(), 0) << (add.Errors().empty() ? "" : add.Errors()[0]);
    EXPECT_EQ(TarList(tar), (std::vector<std::string>{"a.txt", "b.txt"}));

    GtCommand more(GT_TAR);  // an existing archive keeps its members
    more.file = tar;
    more.items = Path("src") + "/c.bin";
    more.c.bNoDirectoryNames = -1;
    ASSERT_EQ(more.Run(), 0);
    EXPECT_EQ(TarList(tar), (std::vector<std::string>{"a.txt", "b.txt", "c.bin"}));

    GtCommand byName(GT_TAR_DELETE);
    byName.file = tar;
    byName.items = "b.txt";
    ASSERT_EQ(byName.Run(), 0) << (byName.Errors().empty() ? "" : byName.Errors()[0]);
    EXPECT_EQ(TarList(tar), (std::vector<std::string>{"a.txt", "c.bin"}));

    GtCommand byIndex(GT_TAR_DELETE);
    byIndex.file = tar;
    byIndex.c.lIndex = 0;
    ASSERT_EQ(byIndex.Run(), 0);
    EXPECT_EQ(TarList(tar), (std::vector<std::string>{"c.bin"}));
    byIndex.c.lIndex = 5;
    EXPECT_EQ(byIndex.Run(), GTE_INDEX);

    UgtCommand u(UGT_UNTAR);
    u.file = tar;
    u.dest = Path("back");
    u.filespec = "*.*";
    ASSERT_EQ(u.Run(), 0);
    EXPECT_EQ(ReadFile(Path("back/c.bin")), std::string(3000, 'c'));
    EXPECT_NE(env.Events().find(Path("src/a.txt") + " [Added]\r\n"), std::string::npos) << env.Events();
}

TEST_F(GtEngineTest, BusyStateRefusesFromInsideAStatusProcedure) {
    WriteFile(Path("big.txt"), std::string(300000, 'b'));
    std::vector<unsigned char> block(GtStateSize());  // the one control both actions run on
    GtInitState(block.data());
    struct Inner {
        GtCommand* inner;
        void* block;
        int32_t result = -1;
        static int32_t Proc(const char*, int32_t, int32_t, void* user) {
            auto* self = static_cast<Inner*>(user);
            if (self->result == -1) self->result = self->inner->Run(self->block);
            return 0;
        }
    };
    GtCommand inner(GT_GZIP);
    inner.file = Path("inner.gz");
    inner.items = Path("big.txt");
    Inner hook{&inner, block.data()};
    GtCommand outer(GT_GZIP);
    outer.file = Path("outer.gz");
    outer.items = Path("big.txt");
    outer.c.lpMajorStatus = &Inner::Proc;
    outer.c.lpMajorUserData = &hook;
    EXPECT_EQ(outer.Run(block.data()), 0);
    EXPECT_EQ(hook.result, GTE_BUSY);
    EXPECT_EQ(inner.Errors(), std::vector<std::string>{"Busy, can't re-enter now\n"});
    EXPECT_TRUE(outer.Errors().empty());
    EXPECT_TRUE(Exists(Path("outer.gz")));
    GtReleaseState(block.data());
    EXPECT_FALSE(Exists(Path("inner.gz")));
}

}  // namespace
}  // namespace gtlib

namespace gtlib {
namespace {

class GtRunTest : public GtEngineTest {};

TEST_F(GtRunTest, OneOutputFileTakesExactlyOneItem) {
    WriteFile(Path("dir/a.txt"), "a");
    WriteFile(Path("dir/sub/a.txt"), "b");
    GtCommand folder(GT_GZIP);  // with recursion one name finds two files for one output name
    folder.file = Path("one.gz");
    folder.items = Path("dir/a.txt");
    folder.c.bRecurseFlag = -1;
    EXPECT_EQ(folder.Run(), GTE_PARMS);
    EXPECT_FALSE(Exists(Path("one.gz")));

    GtCommand twice(GT_GZIP);  // two entries naming the same file are one item
    twice.file = Path("one.gz");
    twice.items = Path("dir/a.txt") + " " + Path("dir/a.txt");
    EXPECT_EQ(twice.Run(), 0);
    const std::string plain = Path("a.out");
    ASSERT_TRUE(gtlib_test::Run({"gzip", "-dc", Path("one.gz")}, plain));
    EXPECT_EQ(ReadFile(plain), "a");
}

TEST_F(GtRunTest, DateWindowKeepsOrDropsItems) {
    WriteFile(Path("d/old.txt"), "old");
    WriteFile(Path("d/new.txt"), "new");
    ASSERT_TRUE(gtlib_test::Run({"touch", "-d", "2020-06-15 12:00:00", Path("d/old.txt")}));
    ASSERT_TRUE(gtlib_test::Run({"touch", "-d", "2024-06-15 12:00:00", Path("d/new.txt")}));
    struct Case {
        bool incl;
        std::vector<std::string> members;
    };
    const Case cases[] = {{true, {"new.txt"}}, {false, {"old.txt"}}};
    for (const auto& c : cases) {
        const std::string tar = Path(c.incl ? "incl.tar" : "excl.tar");
        GtCommand g(GT_TAR);
        g.file = tar;
        g.items = Path("d") + "/*.txt";
        g.c.bNoDirectoryNames = -1;
        g.date1 = "01012024";
        g.date2 = "12312024";
        (c.incl ? g.c.bInclDate : g.c.bExclDate) = -1;
        ASSERT_EQ(g.Run(), 0);
        EXPECT_EQ(TarList(tar), c.members);
    }
}

TEST_F(GtRunTest, GrowingAnArchiveGivesTheSameBytes) {
    WriteFile(Path("s/a.txt"), "alpha");
    WriteFile(Path("s/b.txt"), "bravo");
    ASSERT_TRUE(gtlib_test::Run({"touch", "-d", "2024-01-01 00:00:00", Path("s/a.txt"), Path("s/b.txt")}));
    for (bool grow : {false, true}) {
        const std::string tar = Path(grow ? "grown.tar" : "copied.tar");
        for (const char* name : {"a.txt", "b.txt"}) {
            GtCommand g(GT_TAR);
            g.file = tar;
            g.items = Path("s/") + name;
            g.c.bNoDirectoryNames = -1;
            g.c.bGrowExistingFlag = grow;
            ASSERT_EQ(g.Run(), 0) << name << grow;
        }
    }
    EXPECT_EQ(ReadFile(Path("grown.tar")), ReadFile(Path("copied.tar")));
    EXPECT_EQ(TarList(Path("grown.tar")), (std::vector<std::string>{"a.txt", "b.txt"}));
}

// Adding to an archive whose last member is cut short fails and leaves the archive exactly as it was,
// whether it is copied or grown in place.
TEST_F(GtRunTest, AddingToADamagedArchiveChangesNothing) {
    WriteFile(Path("s/big.txt"), std::string(5000, 'b'));
    WriteFile(Path("s/new.txt"), "new");
    for (bool grow : {false, true}) {
        SCOPED_TRACE(grow);
        const std::string tar = Path("cut.tar");
        std::filesystem::remove(tar);
        GtCommand make(GT_TAR);
        make.file = tar;
        make.items = Path("s/big.txt");
        make.c.bNoDirectoryNames = -1;
        ASSERT_EQ(make.Run(), 0);
        std::filesystem::resize_file(tar, 2048);
        const std::string before = ReadFile(tar);
        std::filesystem::remove_all(Path("tmp"));
        std::filesystem::create_directories(Path("tmp"));
        GtCommand add(GT_TAR);
        add.file = tar;
        add.items = Path("s/new.txt");
        add.temp = Path("tmp");
        add.c.bNoDirectoryNames = -1;
        add.c.bGrowExistingFlag = grow ? -1 : 0;
        EXPECT_NE(add.Run(), 0);
        EXPECT_EQ(ReadFile(tar), before);
        EXPECT_TRUE(std::filesystem::is_empty(Path("tmp")));
    }
}

// What the engine packs keeps each file's own permission bits (less the write bits of a read-only item), as
// GNU tar lists and restores them, and ends with the two zero blocks GNU tar expects (it warns of nothing).
// What GNU tar packs comes back through the engine with the stored bits less the umask, as GNU tar itself
// restores them for a user other than root.
TEST_F(GtRunTest, PermissionBitsGoBothWaysBesideGnuTar) {
    struct File {
        const char* name;
        mode_t mode;
        const char* listed;  // as tar -tv shows it
    } const files[] = {
        {"secret.txt", 0600, "-rw-------"},
        {"prog", 0755, "-rwxr-xr-x"},
        {"shared.txt", 0664, "-rw-rw-r--"},
        {"ro.txt", 0444, "-r--r--r--"},
    };
    std::string list;
    for (const auto& f : files) {
        WriteFile(Path(std::string("s/") + f.name), f.name);
        ::chmod(Path(std::string("s/") + f.name).c_str(), f.mode);
        list += (list.empty() ? "" : " ") + Path(std::string("s/") + f.name);
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    GtCommand g(GT_TAR);
    g.file = Path("ours.tar");
    g.items = list;
    g.c.bNoDirectoryNames = -1;
    ASSERT_EQ(g.Run(), 0);
    const std::string ours = ReadFile(Path("ours.tar"));
    ASSERT_GE(ours.size(), 1024u);
    EXPECT_EQ(ours.substr(ours.size() - 1024), std::string(1024, '\0'));
    ASSERT_TRUE(gtlib_test::Run({"tar", "-tvf", Path("ours.tar")}, Path("listing.txt"), "", Path("warnings.txt")));
    EXPECT_EQ(ReadFile(Path("warnings.txt")), "");
    const std::string listing = ReadFile(Path("listing.txt"));
    for (const auto& f : files) {
        const std::size_t at = listing.find(f.name);
        ASSERT_NE(at, std::string::npos) << f.name;
        const std::size_t line = listing.rfind('\n', at);
        EXPECT_EQ(listing.substr(line == std::string::npos ? 0 : line + 1, 10), f.listed) << f.name;
    }
    // GNU tar restores them as stored (root keeps them whole, anyone else loses the umask's bits).
    std::filesystem::create_directories(Path("by-gnu"));
    ASSERT_TRUE(gtlib_test::Run({"tar", "-xf", Path("ours.tar"), "-C", Path("by-gnu")}));
    const mode_t gnu_mask = ::geteuid() == 0 ? 0 : mask;
    for (const auto& f : files) {
        struct stat st {};
        ASSERT_EQ(::stat(Path(std::string("by-gnu/") + f.name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, f.mode & ~gnu_mask) << f.name;
    }
    // The engine restores what GNU tar stored, less the umask.
    ASSERT_TRUE(gtlib_test::Run({"tar", "-cf", Path("theirs.tar"), "-C", Path("s"), "secret.txt", "prog", "shared.txt",
                                 "ro.txt"}));
    UgtCommand u(UGT_UNTAR);
    u.file = Path("theirs.tar");
    u.dest = Path("by-engine");
    ASSERT_EQ(u.Run(), 0);
    for (const auto& f : files) {
        struct stat st {};
        ASSERT_EQ(::stat(Path(std::string("by-engine/") + f.name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, f.mode & ~mask) << f.name;
    }
}

// An archive grown in place (bGrowExistingFlag) by more than the disk holds: the new members fit in the
// temporary file but not after the old ones. The append fails, and the archive (made by GNU tar, so padded
// to its tape block after the end blocks) is cut back to what it was, byte for byte. The full disk is a
// small tmpfs where the test may mount one, and in any case a file size limit, which fails the same writes.
TEST_F(GtRunTest, AppendThatRunsOutOfSpaceLeavesTheArchiveAsItWas) {
    const auto old_data = gtlib_test::Sample("random", 300000);
    const auto new_data = gtlib_test::Sample("random", 500000);
    WriteFile(Path("src/old.bin"), std::string(old_data.begin(), old_data.end()));
    WriteFile(Path("src/new.bin"), std::string(new_data.begin(), new_data.end()));
    struct Limit {
        const char* what;
        std::function<bool(std::string& folder)> apply;  // false: not possible here
        std::function<void()> lift;
    };
    const std::string mount_point = Path("small");
    std::filesystem::create_directories(mount_point);
    const Limit limits[] = {
        {"a full tmpfs of 1 MiB",
         [&](std::string& folder) {
             folder = mount_point;
             return ::mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=1m") == 0;
         },
         [&] { ::umount2(mount_point.c_str(), MNT_DETACH); }},
        {"a file size limit of 600000 bytes",
         [&](std::string& folder) {
             folder = Path("limited");
             std::filesystem::create_directories(folder);
             return true;
         },
         [] {}},
    };
    for (const auto& limit : limits) {
        SCOPED_TRACE(limit.what);
        std::string folder;
        if (!limit.apply(folder)) {
            std::cout << "skipped (cannot mount here): " << limit.what << "\n";
            continue;
        }
        const std::string tar = folder + "/news.tar";
        ASSERT_TRUE(gtlib_test::Run({"tar", "-cf", tar, "-C", Path("src"), "old.bin"}));
        const std::string before = ReadFile(tar);
        GtCommand add(GT_TAR);
        add.file = tar;
        add.items = Path("src/new.bin");
        add.c.bNoDirectoryNames = -1;
        add.c.bGrowExistingFlag = -1;
        add.c.bAllQuiet = -1;
        int32_t result;
        if (folder == mount_point) {
            result = add.Run();
        } else {
            // Writes past the limit fail with EFBIG (the signal that would end the process is ignored).
            struct rlimit old_limit {};
            ::getrlimit(RLIMIT_FSIZE, &old_limit);
            const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit small = old_limit;
            small.rlim_cur = 600000;
            ::setrlimit(RLIMIT_FSIZE, &small);
            result = add.Run();
            ::setrlimit(RLIMIT_FSIZE, &old_limit);
            std::signal(SIGXFSZ, old_handler);
        }
        EXPECT_EQ(result, GTE_WRITE);
        EXPECT_TRUE(ReadFile(tar) == before);
        std::vector<std::string> left;
        for (const auto& e : std::filesystem::directory_iterator(folder)) left.push_back(e.path().filename());
        EXPECT_EQ(left, std::vector<std::string>{"news.tar"});  // no temporary file stays
        EXPECT_EQ(TarList(tar), std::vector<std::string>{"old.bin"});
        limit.lift();
    }
}

// Threads compress at the same time, with a control's own state block or the thread's own state, and each
// gets its own complete member.
TEST_F(GtRunTest, ThreadsRunWithTheirOwnStates) {
    std::vector<std::string> inputs;
    for (int i = 0; i < 4; ++i) {
        const auto data = gtlib_test::Sample(i % 2 ? "text" : "random", 300000 + static_cast<std::size_t>(i) * 1000, i);
        inputs.emplace_back(data.begin(), data.end());
        WriteFile(Path("t" + std::to_string(i) + ".bin"), inputs.back());
    }
    std::vector<int32_t> results(4, -1);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            GtCommand g(GT_GZIP);
            g.c.lpMessageDisplay = nullptr;
            g.file = Path("t" + std::to_string(i) + ".gz");
            g.items = Path("t" + std::to_string(i) + ".bin");
            g.c.lCompFactor = 1 + i * 2;
            g.c.bAllQuiet = -1;
            if (i % 2) {
                results[static_cast<std::size_t>(i)] = g.Run();
                return;
            }
            std::vector<unsigned char> block(GtStateSize());
            GtInitState(block.data());
            g.c.lpszGTFile = g.file.c_str();
            g.c.lpszItemList = g.items.c_str();
            g.c.lpszDestination = g.dest.c_str();
            g.c.lpszTempPath = g.temp.c_str();
            results[static_cast<std::size_t>(i)] = GtRunBlock(block.data(), env.context, &g.c);
            GtReleaseState(block.data());
        });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(results[static_cast<std::size_t>(i)], 0);
        const std::string plain = Path("t" + std::to_string(i) + ".out");
        ASSERT_TRUE(gtlib_test::Run({"gzip", "-dc", Path("t" + std::to_string(i) + ".gz")}, plain));
        EXPECT_EQ(ReadFile(plain), inputs[static_cast<std::size_t>(i)]);
    }
}

// A file that shrinks while it is being archived ends the run with the read error: no archive is made
// or changed with a member whose data are not the file's.
TEST_F(GtRunTest, SourceShrinkingWhileArchivedIsAReadError) {
    static std::string shrink;
    auto cutSource = [](const char*, int32_t, int32_t, void*) -> int32_t {
        if (!shrink.empty()) std::filesystem::resize_file(shrink, 1000);
        shrink.clear();
        return 0;
    };
    for (bool grow : {false, true}) {
        SCOPED_TRACE(grow);
        WriteFile(Path("s/keep.txt"), "kept");
        WriteFile(Path("s/big.bin"), std::string(100000, 'b'));
        const std::string tar = Path("shrink.tar");
        std::filesystem::remove(tar);
        GtCommand first(GT_TAR);
        first.file = tar;
        first.items = Path("s/keep.txt");
        first.c.bNoDirectoryNames = -1;
        ASSERT_EQ(first.Run(), 0);
        const std::string before = ReadFile(tar);
        std::filesystem::remove_all(Path("tmp"));
        std::filesystem::create_directories(Path("tmp"));
        shrink = Path("s/big.bin");
        GtCommand add(GT_TAR);
        add.file = tar;
        add.items = Path("s/big.bin");
        add.temp = Path("tmp");
        add.c.bNoDirectoryNames = -1;
        add.c.bGrowExistingFlag = grow ? -1 : 0;
        add.c.lpMinorStatus = cutSource;
        EXPECT_EQ(add.Run(), GTE_READ);
        EXPECT_TRUE(shrink.empty());  // the source was cut while its data were copied
        EXPECT_EQ(ReadFile(tar), before);
        EXPECT_TRUE(std::filesystem::is_empty(Path("tmp")));
        ASSERT_EQ(add.Errors().size(), 1u);
        EXPECT_NE(add.Errors()[0].find("big.bin"), std::string::npos) << add.Errors()[0];
    }
}

// A temporary folder on another file system: the finished output is copied over the old one and the
// temporary file goes.
TEST_F(GtRunTest, TemporaryFolderOnAnotherFileSystem) {
    std::string shm = "/dev/shm/gtengine-XXXXXX";
    if (!std::filesystem::is_directory("/dev/shm") || ::mkdtemp(shm.data()) == nullptr)
        GTEST_SKIP() << "no second file system";
    struct stat a {}, b {};
    ::stat(shm.c_str(), &a);
    ::stat(env.dir.path().c_str(), &b);
    if (a.st_dev == b.st_dev) {
        std::filesystem::remove_all(shm);
        GTEST_SKIP() << "the temporary folder is on the same file system";
    }
    WriteFile(Path("s/one.txt"), std::string(50000, '1'));
    WriteFile(Path("s/two.txt"), "two");
    for (int32_t action : {GT_GZIP, GT_TAR}) {
        SCOPED_TRACE(action);
        const std::string out = Path(action == GT_GZIP ? "x.gz" : "x.tar");
        WriteFile(out, "an older file");
        GtCommand g(action);
        g.file = out;
        g.items = action == GT_GZIP ? Path("s/one.txt") : Path("s/*.txt");
        g.temp = shm;
        g.c.bNoDirectoryNames = -1;
        if (action == GT_TAR) std::filesystem::remove(out);
        EXPECT_EQ(g.Run(), 0);
        EXPECT_TRUE(std::filesystem::is_empty(shm));
        if (action == GT_GZIP) {
            const std::string plain = Path("x.out");
            ASSERT_TRUE(gtlib_test::Run({"gzip", "-dc", out}, plain));
            EXPECT_EQ(ReadFile(plain), std::string(50000, '1'));
        } else {
            EXPECT_EQ(TarList(out), (std::vector<std::string>{"one.txt", "two.txt"}));
        }
    }

    // A copy that stops half-way (here the host cancels as soon as the copy has begun: the output is no
    // longer the old file, or a new temporary file stands beside it) leaves the old output in place.
    static std::string watched;
    watched = Path("y.gz");
    WriteFile(watched, "an older file");
    auto cancelOnChange = [](const char*, int32_t, int32_t, void*) -> int32_t {
        if (ReadFile(watched) != "an older file") return 1;
        for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(watched).parent_path()))
            if (e.path().extension() == ".TMP") return 1;
        return 0;
    };
    GtCommand g(GT_GZIP);
    g.file = watched;
    g.items = Path("s/one.txt");
    g.temp = shm;
    g.c.lpMajorStatus = cancelOnChange;
    EXPECT_NE(g.Run(), 0);
    EXPECT_EQ(ReadFile(watched), "an older file");
    std::filesystem::remove_all(shm);
}

TEST_F(GtRunTest, MemoryIntoATarArchive) {
    const std::string text = "ordine in memoria";
    GtCommand g(GT_TAR_MEMTOFILE);
    g.file = Path("m.tar");
    g.items = "ordine.txt";
    g.c.lpMemBlock = reinterpret_cast<const unsigned char*>(text.data());
    g.c.lMemBlockSize = static_cast<int32_t>(text.size());
    ASSERT_EQ(g.Run(), 0) << (g.Errors().empty() ? "" : g.Errors()[0]);
    EXPECT_EQ(TarList(Path("m.tar")), std::vector<std::string>{"ordine.txt"});
    ASSERT_TRUE(gtlib_test::Run({"tar", "-xf", Path("m.tar"), "-C", env.dir.path()}));
    EXPECT_EQ(ReadFile(Path("ordine.txt")), text);
}

TEST_F(GtRunTest, DiagnosticLogOfACompressionRun) {
    GtCommand g(GT_GZIP);
    g.file = Path("x.gz");
    g.items = Path("missing.txt");
    g.c.bDiagnostic = -1;
    g.c.bAllQuiet = -1;
    g.c.lpszGTFile = g.file.c_str();
    g.c.lpszItemList = g.items.c_str();
    g.c.lpszDestination = g.dest.c_str();
    g.c.lpszTempPath = g.temp.c_str();
    g.c.lpszEncryptCode = g.code.c_str();
    g.c.lpszIncludeList = g.include.c_str();
    g.c.lpszExludeList = g.exclude.c_str();
    g.c.lpszDate1 = g.date1.c_str();
    g.c.lpszDate2 = g.date2.c_str();
    g.c.lpMessageDisplay = &test::ScriptedHost::Proc;
    g.c.lpMessageDisplayData = &g.host;
    const std::string dump = DumpText(env.context, g.c);
    EXPECT_EQ(GtMain(&g.c, env.context), GTE_NONE);
    EXPECT_EQ(env.Diagnostic(), dump + "\r\nItemList does not match any file names\n\r\n");
    EXPECT_TRUE(g.Errors().empty());
}

TEST_F(GtRunTest, MinorCancelStopsOnlyWithTheSubOption) {
    const auto data = gtlib_test::Sample("random", 400000);
    WriteFile(Path("r.bin"), std::string(data.begin(), data.end()));
    auto cancel = [](const char*, int32_t, int32_t, void*) -> int32_t { return 1; };
    GtCommand plain(GT_GZIP);
    plain.file = Path("r1.gz");
    plain.items = Path("r.bin");
    plain.c.lpMinorStatus = cancel;
    EXPECT_EQ(plain.Run(), 0);
    GtCommand stop(GT_GZIP);
    stop.file = Path("r2.gz");
    stop.items = Path("r.bin");
    stop.c.lpMinorStatus = cancel;
    stop.c.dwGTSubOptions = GTSO_MINORCANCEL;
    EXPECT_EQ(stop.Run(), GTE_ABORT);
    EXPECT_FALSE(Exists(Path("r2.gz")));
}

// A run that fails half-way (source read error, cancel, a member that is not there) leaves no temporary
// file behind and the output that was already there exactly as it was.
TEST_F(GtRunTest, FailedRunLeavesNoTemporaryFileAndTheOldOutput) {
    const auto data = gtlib_test::Sample("random", 400000);
    WriteFile(Path("src/big.bin"), std::string(data.begin(), data.end()));
    WriteFile(Path("src/empty.txt"), "");
    static int majorCalls;
    auto cancelSecond = [](const char*, int32_t, int32_t, void*) -> int32_t { return ++majorCalls >= 2 ? 1 : 0; };
    auto cancelMinor = [](const char*, int32_t, int32_t, void*) -> int32_t { return 1; };
    // Stream hosts: 100000 bytes of data, then an error or a cancel instead of the end.
    static int streamCalls;
    auto stream = [](int32_t dir, unsigned char* buf, int32_t* size, int32_t endAnswer, int32_t* answer) {
        if (dir != MEM_READ_DATA) return;
        if (streamCalls++ < 10) {
            const int32_t n = std::min<int32_t>(*size, 10000);
            std::memset(buf, 'x' + streamCalls % 3, static_cast<std::size_t>(n));
            *size = n;
            *answer = MEM_CONTINUE;
        } else {
            *size = 0;
            *answer = endAnswer;
        }
    };
    static decltype(stream)* streamFn = nullptr;
    streamFn = &stream;
    auto failingStream = [](int32_t dir, unsigned char* buf, int32_t* size, uint32_t, uint32_t, uint32_t, uint32_t,
                            void*, int32_t* answer) { (*streamFn)(dir, buf, size, MEM_ERROR, answer); };
    auto cancelledStream = [](int32_t dir, unsigned char* buf, int32_t* size, uint32_t, uint32_t, uint32_t, uint32_t,
                              void*, int32_t* answer) { (*streamFn)(dir, buf, size, MEM_CANCEL, answer); };
    struct Case {
        const char* what;
        int32_t action;
        std::string output, items;
        std::function<void(GtCommand&)> setup;
        int32_t code;
    };
    const Case cases[] = {
        {"unreadable source", GT_GZIP, "out.gz", "src/empty.txt", [](GtCommand&) {}, GTE_READ},
        {"cancel before the member", GT_GZIP, "out.gz", "src/big.bin",
         [&](GtCommand& g) { g.c.lpMajorStatus = cancelSecond; }, GTE_ABORT},
        {"cancel inside the member", GT_GZIP, "out.gz", "src/big.bin",
         [&](GtCommand& g) {
             g.c.lpMinorStatus = cancelMinor;
             g.c.dwGTSubOptions = GTSO_MINORCANCEL;
         },
         GTE_ABORT},
        {"cancel of a TAR run", GT_TAR, "out.tar", "src/big.bin",
         [&](GtCommand& g) {
             g.c.lpMinorStatus = cancelMinor;
             g.c.dwGTSubOptions = GTSO_MINORCANCEL;
         },
         GTE_ABORT},
        {"TAR delete of a member that is not there", GT_TAR_DELETE, "out.tar", "",
         [](GtCommand& g) { g.c.lIndex = 7; }, GTE_INDEX},
        {"stream whose host fails after some data", GT_GZIP_MEMTOFILE_STREAM, "out.gz", "",
         [&](GtCommand& g) {
             g.items = "flusso.txt";
             g.callbacks.lpMemToMemProc = failingStream;
             g.c.lpCallbackStruct = &g.callbacks;
         },
         GTE_READ},
        {"stream cancelled by its host", GT_GZIP_MEMTOFILE_STREAM, "out.gz", "",
         [&](GtCommand& g) {
             g.items = "flusso.txt";
             g.callbacks.lpMemToMemProc = cancelledStream;
             g.c.lpCallbackStruct = &g.callbacks;
         },
         GTE_ABORT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        majorCalls = 0;
        streamCalls = 0;
        std::filesystem::remove_all(Path("tmp"));
        std::filesystem::create_directories(Path("tmp"));
        std::string old;
        if (c.action != GT_TAR && c.action != GT_TAR_DELETE) {
            old = "an older member";
            WriteFile(Path(c.output), old);
        } else {
            WriteFile(Path("src/keep.txt"), "kept");
            GtCommand first(GT_TAR);
            first.file = Path(c.output);
            first.items = Path("src/keep.txt");
            first.c.bNoDirectoryNames = -1;
            ASSERT_EQ(first.Run(), 0);
            old = ReadFile(Path(c.output));
        }
        GtCommand g(c.action);
        g.file = Path(c.output);
        g.items = c.items.empty() ? "" : Path(c.items);
        g.temp = Path("tmp");
        g.c.bNoDirectoryNames = -1;
        c.setup(g);
        EXPECT_EQ(g.Run(), c.code);
        EXPECT_EQ(ReadFile(Path(c.output)), old);
        EXPECT_TRUE(std::filesystem::is_empty(Path("tmp")));
    }
}

TEST_F(GtRunTest, EncryptedMemoryRoundTripAndAStreamIntoAFile) {
    const auto data = gtlib_test::Sample("skewed", 70000);
    PipeHost pack, unpack;
    pack.in.assign(data.begin(), data.end());
    GtCommand m(GT_GZIP_MEMTOMEM);
    m.items = "dati.bin";
    m.c.bEncryptFlag = -1;
    m.code = "chiave di prova";
    m.Stream(&PipeHost::Proc, &pack);
    ASSERT_EQ(m.Run(), 0);
    unpack.in = pack.out;
    UgtCommand u(UGT_GUNZIP_MEMTOMEM);
    u.file.clear();
    u.c.bDecryptFlag = -1;
    u.code = "chiave di prova";
    u.Stream(&PipeHost::Proc, &unpack);
    ASSERT_EQ(u.Run(), 0);
    EXPECT_TRUE(unpack.out == pack.in);

    PipeHost source;
    source.in = "dal flusso al file\n";
    GtCommand s(GT_GZIP_MEMTOFILE_STREAM);
    s.file = Path("stream.gz");
    s.items = "flusso.txt";
    s.Stream(&PipeHost::Proc, &source);
    ASSERT_EQ(s.Run(), 0) << (s.Errors().empty() ? "" : s.Errors()[0]);
    const std::string plain = Path("stream.out");
    ASSERT_TRUE(gtlib_test::Run({"gzip", "-dc", Path("stream.gz")}, plain));
    EXPECT_EQ(ReadFile(plain), source.in);
}

TEST_F(GtRunTest, EmptyMemberReportsFullProgress) {
    const std::string empty = Path("empty");
    WriteFile(empty, "");
    ASSERT_TRUE(gtlib_test::Run({"gzip", "-c", "-n", empty}, Path("empty.gz")));
    std::vector<int32_t> percents;
    UgtCommand u;
    u.file = Path("empty.gz");
    u.dest = Path("out");
    u.c.lpMinorStatus = [](const char*, int32_t percent, int32_t, void* user) -> int32_t {
        static_cast<std::vector<int32_t>*>(user)->push_back(percent);
        return 0;
    };
    u.c.lpMinorUserData = &percents;
    ASSERT_EQ(u.Run(), 0);
    EXPECT_TRUE(Exists(Path("out/empty")));
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);
}

}  // namespace
}  // namespace gtlib
