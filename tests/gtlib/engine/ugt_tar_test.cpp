// TAR actions of the decompression engine, the overwrite prompts, and the client's news unpacking.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "gtlib/engine/ugt_engine.h"
#include "ugt_test_support.h"

namespace gtlib {
namespace {

using test::Exists;
using test::GzipBuilder;
using test::ReadFile;
using test::UgtCommand;
using test::WriteFile;

bool ReadOnly(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

class UgtTarTest : public ::testing::Test {
protected:
    test::LogEnvironment env;
    std::string Path(const std::string& name) const { return env.dir / name; }
    std::string Out() const { return env.dir / "out"; }

    // A TAR made by GNU tar from files under src/ (names relative to src/).
    std::string GnuTar(const std::vector<std::pair<std::string, std::string>>& files, const std::string& name = "a.tar") {
        std::vector<std::string> argv = {"tar", "-cf", Path(name), "-C", Path("src")};
        for (const auto& [n, content] : files) {
            WriteFile(Path("src/" + n), content);
            argv.push_back(n);
        }
        EXPECT_TRUE(gtlib_test::Run(argv));
        return Path(name);
    }
};

// ---------------------------------------------------------------------------------------------------------
// The client's news archive: tar | gzip, gunzip then untar, no folder names, read-only files overwritten
// ---------------------------------------------------------------------------------------------------------

TEST_F(UgtTarTest, NewsArchiveIsUnpackedLikeTheClientDoes) {
    WriteFile(Path("src/IFCK03_OUT_MORVEN.DAT"), "documenti\r\n");
    WriteFile(Path("src/listino"), std::string(40000, 'L'));
    WriteFile(Path("src/README"), "senza punto");
    const std::string news = Path("news");
    ASSERT_TRUE(gtlib_test::Run({"tar", "-cf", Path("tar.tmp"), "-C", Path("src"), "IFCK03_OUT_MORVEN.DAT",
                                 "listino", "README"}));
    ASSERT_TRUE(gtlib_test::Run({"gzip", "-c", "-n", Path("tar.tmp")}, news + "/notizie.gz.tmp") ||
                (std::filesystem::create_directories(news),
                 gtlib_test::Run({"gzip", "-c", "-n", Path("tar.tmp")}, news + "/notizie.gz.tmp")));
    ASSERT_EQ(::rename((news + "/notizie.gz.tmp").c_str(), (news + "/notizie.gz").c_str()), 0);
    WriteFile(news + "/listino", "old price list");
    ::chmod((news + "/listino").c_str(), 0444);

    UgtCommand gunzip(UGT_GUNZIP);
    gunzip.file = news + "/notizie.gz";
    gunzip.dest = news + "/";
    gunzip.c.bOverWriteFlag = -1;
    gunzip.c.dwUGTSubOptions = UGTSO_OVERWRITE_RO;
    gunzip.c.bNoDirectoryNames = -1;
    gunzip.c.bAllQuiet = -1;
    ASSERT_EQ(gunzip.Run(), 0);
    ASSERT_TRUE(Exists(news + "/notizie"));

    UgtCommand untar(UGT_UNTAR);
    untar.file = news + "/notizie";
    untar.dest = news + "/";
    untar.filespec = "*.*";
    untar.c.bOverWriteFlag = -1;
    untar.c.dwUGTSubOptions = UGTSO_OVERWRITE_RO | UGTSO_LOGGTRESULTS;
    untar.c.bNoDirectoryNames = -1;
    untar.c.bAllQuiet = -1;
    ASSERT_EQ(untar.Run(), 0);
    EXPECT_EQ(untar.c.lReturnCount, 3);
    EXPECT_EQ(ReadFile(news + "/IFCK03_OUT_MORVEN.DAT"), "documenti\r\n");
    EXPECT_EQ(ReadFile(news + "/listino"), std::string(40000, 'L'));
    EXPECT_EQ(ReadFile(news + "/README"), "senza punto");
    EXPECT_TRUE(untar.host.calls.empty());
    EXPECT_EQ(env.Events(),
              "--- Selbrik-GT Event Log - Version: 5.00.02 - 12/10/26  10:15:31 ---\r\n" + news +
                  "/IFCK03_OUT_MORVEN.DAT [Extracted]\r\n" + news + "/listino [Overwritten]\r\n" + news +
                  "/README [Extracted]\r\n");
}

TEST_F(UgtTarTest, ReadOnlyFilesGiveWayOnlyToOverwriteOrYes) {
    const std::string tar = GnuTar({{"a.txt", "new"}});
    WriteFile(Path("a.gz"), GzipBuilder::With(0x08, "a.txt").Build("new"));
    struct Case {
        bool gzip, overwrite, quiet;
        int32_t code;
        std::string content;
    };
    const Case cases[] = {
        {false, true, false, 0, "new"}, {true, true, false, 0, "new"},
        {false, false, true, UGTE_SKIP, "old"}, {true, false, true, UGTE_SKIP, "old"},
    };
    for (const auto& c : cases) {
        test::ScratchDir out;
        WriteFile(out / "a.txt", "old");
        ::chmod((out / "a.txt").c_str(), 0444);
        UgtCommand u(c.gzip ? UGT_GUNZIP : UGT_UNTAR);
        u.file = c.gzip ? Path("a.gz") : tar;
        u.dest = out.path();
        u.filespec = "*.*";
        u.c.bOverWriteFlag = c.overwrite;
        u.c.bAllQuiet = c.quiet;
        EXPECT_EQ(u.Run(), c.code) << c.gzip << c.overwrite;
        EXPECT_EQ(ReadFile(out / "a.txt"), c.content) << c.gzip << c.overwrite;
    }
}

TEST_F(UgtTarTest, FoldersAndFilespecsSelectMembers) {
    const std::string tar = GnuTar({{"top.txt", "1"}, {"docs/a.txt", "2"}, {"docs/b.bin", "3"}, {"docs/sub/c.txt", "4"}});
    struct Case {
        const char* filespec;
        bool recurse, noDirs;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"*.txt", false, false, {"top.txt"}},
        {"*.txt", true, false, {"top.txt", "docs/a.txt", "docs/sub/c.txt"}},
        {"docs/*.txt", false, false, {"docs/a.txt"}},
        {"docs\\*.*", true, false, {"docs/a.txt", "docs/b.bin", "docs/sub/c.txt"}},
        {"*.bin top.txt", true, true, {"b.bin", "top.txt"}},
        {"", false, false, {"top.txt", "docs/a.txt", "docs/b.bin", "docs/sub/c.txt"}},
    };
    for (const auto& c : cases) {
        test::ScratchDir out;
        UgtCommand u(UGT_UNTAR);
        u.file = tar;
        u.dest = out.path();
        u.filespec = c.filespec;
        u.c.bRecurseFlag = c.recurse;
        u.c.bNoDirectoryNames = c.noDirs;
        ASSERT_EQ(u.Run(), 0) << c.filespec;
        EXPECT_EQ(u.c.lReturnCount, static_cast<int32_t>(c.files.size())) << c.filespec;
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::recursive_directory_iterator(out.path()))
            if (e.is_regular_file()) found.push_back(std::filesystem::relative(e.path(), out.path()).string());
        std::sort(found.begin(), found.end());
        std::vector<std::string> expected = c.files;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(found, expected) << c.filespec;
    }
}

TEST_F(UgtTarTest, LongNamesOfBothTarFormatsReadBack) {
    const std::string deep = std::string(60, 'd') + "/" + std::string(60, 'e') + "/" + std::string(30, 'f') + ".txt";
    WriteFile(Path("src/" + deep), "deep");
    ASSERT_TRUE(gtlib_test::Run({"tar", "--format=gnu", "-cf", Path("gnu.tar"), "-C", Path("src"), deep}));
    ASSERT_TRUE(gtlib_test::Run({"tar", "--format=ustar", "-cf", Path("ustar.tar"), "-C", Path("src"), deep}));
    for (const char* name : {"gnu.tar", "ustar.tar"}) {
        UgtCommand count(UGT_UNTAR_COUNTALLMEMBERS);
        count.file = Path(name);
        count.c.tarInfo = &count.tarInfo;
        ASSERT_EQ(count.Run(), 0) << name;
        std::vector<std::string> names;
        UgtCommand next(UGT_UNTAR_GETNEXTINFO);
        next.file = Path(name);
        next.tarInfo = count.tarInfo;
        next.c.tarInfo = &next.tarInfo;
        while (next.Run() == 0) names.emplace_back(FieldText(next.tarInfo.szFileName));
        std::string windows = deep;
        std::replace(windows.begin(), windows.end(), '/', '\\');
        ASSERT_FALSE(names.empty()) << name;
        EXPECT_EQ(names.back(), windows) << name;

        test::ScratchDir out;
        UgtCommand x(UGT_UNTAR);
        x.file = Path(name);
        x.dest = out.path();
        x.filespec = "*.*";
        x.c.bRecurseFlag = -1;
        ASSERT_EQ(x.Run(), 0) << name;
        EXPECT_EQ(ReadFile(out / deep), "deep") << name;
    }
}

TEST_F(UgtTarTest, CountEnumerateAndReadMemberInformation) {
    ASSERT_TRUE(test::Python(
        "import tarfile,io\n"
        "t=tarfile.open('" + Path("p.tar") + "','w',format=tarfile.USTAR_FORMAT)\n"
        "for n,d,m in [('uno.txt',b'1',0o644),('dir/',b'',0o755),('dir/due.dat',b'22',0o444),('tre.TXT',b'333',0o600)]:\n"
        "  i=tarfile.TarInfo(n); i.mtime=1796897731; i.mode=m; i.uname='farmacia'; i.gname='staff'; i.uid=7; i.gid=8\n"
        "  if n.endswith('/'): i.type=tarfile.DIRTYPE; t.addfile(i)\n"
        "  else: i.size=len(d); t.addfile(i,io.BytesIO(d))\n"
        "t.close()\n"));
    struct Seen {
        std::vector<std::string> names;
        static void Proc(TARINFO* info, void* user, int32_t* answer) {
            static_cast<Seen*>(user)->names.emplace_back(FieldText(info->szFileName));
            *answer = TIE_CONTINUE;
        }
    } seen;
    UgtCommand count(UGT_UNTAR_COUNTALLMEMBERS);
    count.file = Path("p.tar");
    count.c.tarInfo = &count.tarInfo;
    count.callbacks.lpTarEnumProc = &Seen::Proc;
    count.callbacks.lpTarEnumUserData = &seen;
    count.c.lpCallbackStruct = &count.callbacks;
    ASSERT_EQ(count.Run(), 0);
    EXPECT_EQ(count.c.lReturnCount, 4);
    EXPECT_EQ(seen.names, (std::vector<std::string>{"uno.txt", "dir\\", "dir\\due.dat", "tre.TXT"}));
    EXPECT_EQ(count.tarInfo.lIndex, -1);
    EXPECT_EQ(FieldText(count.tarInfo.szFileName), "uno.txt");

    UgtCommand next(UGT_UNTAR_GETNEXTINFO);
    next.file = Path("p.tar");
    next.tarInfo = count.tarInfo;
    next.c.tarInfo = &next.tarInfo;
    ASSERT_EQ(next.Run(), 0);
    ASSERT_EQ(next.Run(), 0);
    ASSERT_EQ(next.Run(), 0);
    const TARINFO& t = next.tarInfo;
    EXPECT_EQ(t.lIndex, 2);
    EXPECT_EQ(FieldText(t.szFileName), "dir\\due.dat");
    EXPECT_EQ(t.lMode, 0444);
    EXPECT_EQ(t.lUID, 7);
    EXPECT_EQ(t.lGID, 8);
    EXPECT_EQ(t.dwSizeL, 2u);
    EXPECT_EQ(t.lTypeFlag, '0');
    EXPECT_EQ(FieldText(t.szUName), "farmacia");
    EXPECT_EQ(FieldText(t.szGName), "staff");
    EXPECT_EQ(FieldText(t.szMagic), "ustar");
    EXPECT_EQ(std::string(t.szVersion, 2), "00");
    EXPECT_EQ(FieldText(t.szDateTime), "12/10/2026 10:15:31");
    ASSERT_EQ(next.Run(), 0);
    EXPECT_EQ(next.Run(), UGTE_EOF);  // past the last member

    UgtCommand named(UGT_UNTAR_COUNTNAMEDMEMBERS);
    named.file = Path("p.tar");
    named.filespec = "*.txt";
    named.c.tarInfo = &named.tarInfo;
    ASSERT_EQ(named.Run(), 0);
    EXPECT_EQ(named.c.lReturnCount, 2);
    UgtCommand nextNamed(UGT_UNTAR_GETNEXTNAMEDINFO);
    nextNamed.file = Path("p.tar");
    nextNamed.filespec = "*.txt";
    nextNamed.tarInfo = named.tarInfo;
    nextNamed.c.tarInfo = &nextNamed.tarInfo;
    ASSERT_EQ(nextNamed.Run(), 0);
    ASSERT_EQ(nextNamed.Run(), 0);
    EXPECT_EQ(FieldText(nextNamed.tarInfo.szFileName), "tre.TXT");
    EXPECT_EQ(nextNamed.Run(), UGTE_EOF);

    UgtCommand byIndex(UGT_UNTAR_GETINFOBYINDEX);  // no count before it: the index is built on demand
    byIndex.file = Path("p.tar");
    byIndex.c.lIndex = 3;
    byIndex.c.tarInfo = &byIndex.tarInfo;
    ASSERT_EQ(byIndex.Run(), 0);
    EXPECT_EQ(FieldText(byIndex.tarInfo.szFileName), "tre.TXT");
    byIndex.c.lIndex = 4;
    EXPECT_EQ(byIndex.Run(), UGTE_EOF);
}

TEST_F(UgtTarTest, EnumerationStoppedByTheHostGivesAbort) {
    const std::string tar = GnuTar({{"a", "1"}, {"b", "2"}});
    UgtCommand count(UGT_UNTAR_COUNTALLMEMBERS);
    count.file = tar;
    count.c.tarInfo = &count.tarInfo;
    count.callbacks.lpTarEnumProc = [](TARINFO*, void*, int32_t* answer) { *answer = TIE_ABORT; };
    count.c.lpCallbackStruct = &count.callbacks;
    EXPECT_EQ(count.Run(), UGTE_ABORT);
}

TEST_F(UgtTarTest, MemberByIndexToMemoryAndToFile) {
    const std::string tar = GnuTar({{"a.txt", "alpha"}, {"b.txt", "bravo charlie"}});
    std::vector<unsigned char> block(6, 0);
    UgtCommand m(UGT_UNTAR_FILETOMEM);
    m.file = tar;
    m.c.lIndex = 1;
    m.c.lpMemBlock = block.data();
    m.c.lMemBlockSize = 5;
    m.c.lStartingOffset = 6;
    ASSERT_EQ(m.Run(), 0);
    EXPECT_EQ(std::string(block.begin(), block.begin() + 5), "charl");
    EXPECT_EQ(m.c.lMemBlockSize, 5);

    std::vector<unsigned char> whole(64, 0);
    UgtCommand byName(UGT_UNTAR_FILETOMEM);
    byName.file = tar;
    byName.filespec = "a.txt";
    byName.c.lpMemBlock = whole.data();
    byName.c.lMemBlockSize = 63;
    ASSERT_EQ(byName.Run(), 0);
    EXPECT_EQ(byName.c.lMemBlockSize, 5);
    EXPECT_STREQ(reinterpret_cast<char*>(whole.data()), "alpha");

    UgtCommand f(UGT_UNTAR);
    f.file = tar;
    f.dest = Out();
    f.c.lIndex = 0;
    ASSERT_EQ(f.Run(), 0);
    EXPECT_EQ(ReadFile(Out() + "/a.txt"), "alpha");
    EXPECT_FALSE(Exists(Out() + "/b.txt"));
    f.c.lIndex = 7;
    EXPECT_EQ(f.Run(), UGTE_INDEX);
}

TEST_F(UgtTarTest, HostileMembersAreSkippedAndNothingLeavesTheDestination) {
    ASSERT_TRUE(test::Python(
        "import tarfile,io\n"
        "t=tarfile.open('" + Path("h.tar") + "','w',format=tarfile.USTAR_FORMAT)\n"
        "for n in ['../evil.txt','ok.txt','/abs.txt']:\n"
        "  i=tarfile.TarInfo(n); i.size=2; t.addfile(i,io.BytesIO(b'xx'))\n"
        "l=tarfile.TarInfo('link'); l.type=tarfile.SYMTYPE; l.linkname='/etc/passwd'; t.addfile(l)\n"
        "t.close()\n"));
    UgtCommand u(UGT_UNTAR);
    u.file = Path("h.tar");
    u.dest = Out() + "/in";
    u.filespec = "*.*";
    u.c.bRecurseFlag = -1;
    u.c.dwUGTSubOptions = UGTSO_LOGGTRESULTS;
    EXPECT_EQ(u.Run(), UGTE_SKIP);
    EXPECT_NE(env.Events().find("..\\evil.txt [Skipped]"), std::string::npos) << env.Events();
    EXPECT_TRUE(Exists(Out() + "/in/ok.txt"));
    EXPECT_TRUE(Exists(Out() + "/in/abs.txt"));
    EXPECT_FALSE(Exists(Out() + "/evil.txt"));
    EXPECT_FALSE(std::filesystem::is_symlink(Out() + "/in/link"));  // a link leading out of the destination is never made
    EXPECT_FALSE(Exists("/abs.txt"));
}

TEST_F(UgtTarTest, CorruptHeaderIsAStructureError) {
    const std::string tar = GnuTar({{"a.txt", "alpha"}, {"b.txt", "bravo"}});
    std::string bytes = ReadFile(tar);
    bytes[1024 + 150] = '7';  // the second member's checksum digits
    WriteFile(Path("bad.tar"), bytes);
    UgtCommand u(UGT_UNTAR);
    u.file = Path("bad.tar");
    u.dest = Out();
    u.filespec = "*.*";
    EXPECT_EQ(u.Run(), UGTE_STRUCT);
    UgtCommand count(UGT_UNTAR_COUNTALLMEMBERS);
    count.file = Path("bad.tar");
    count.c.tarInfo = &count.tarInfo;
    EXPECT_EQ(count.Run(), UGTE_STRUCT);
}

// An archive that ends inside a member, or inside a header, is never reported as a success, and the file
// the member would have replaced stays exactly as it was, with nothing else left in its folder.
TEST_F(UgtTarTest, TruncatedArchiveFailsAndKeepsTheExistingFile) {
    const std::string tar = GnuTar({{"a.txt", std::string(3000, 'a')}, {"b.txt", std::string(3000, 'b')}});
    const std::string bytes = ReadFile(tar);
    struct Case {
        const char* what;
        std::size_t size;
    };
    const Case cases[] = {
        {"cut inside the first member's data", 1024},
        {"cut inside the first header", 300},
        {"cut inside the second member's data", 3584 + 1024},
        {"cut inside the second header", 3584 + 100},
        {"cut at the end of the first data block", 512 + 512},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(Out());
        WriteFile(Path("cut.tar"), bytes.substr(0, c.size));
        WriteFile(Out() + "/a.txt", "old a");
        WriteFile(Out() + "/b.txt", "old b");
        UgtCommand u(UGT_UNTAR);
        u.file = Path("cut.tar");
        u.dest = Out();
        u.filespec = "*.*";
        u.c.bOverWriteFlag = -1;
        EXPECT_NE(u.Run(), 0);
        const std::string a = ReadFile(Out() + "/a.txt");  // a complete first member may have come out
        EXPECT_TRUE(a == "old a" || (c.size > 3584 && a == std::string(3000, 'a'))) << a.size();
        EXPECT_EQ(ReadFile(Out() + "/b.txt"), "old b");
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(Out())) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt"}));
    }
}

TEST_F(UgtTarTest, FreshenAndUpdateCompareMemberAndFileTimes) {
    const std::string tar = GnuTar({{"old.txt", "new content"}, {"new.txt", "new content"}, {"absent.txt", "x"}});
    ASSERT_TRUE(gtlib_test::Run({"touch", "-d", "2020-01-01 00:00:00 UTC", Path("src/old.txt"), Path("src/new.txt")}));
    ASSERT_TRUE(gtlib_test::Run({"tar", "-cf", tar, "-C", Path("src"), "old.txt", "new.txt", "absent.txt"}));
    struct Case {
        bool freshen;
        std::vector<std::string> written;
    };
    const Case cases[] = {{true, {"old.txt"}}, {false, {"old.txt", "absent.txt"}}};
    for (const auto& c : cases) {
        test::ScratchDir out;
        WriteFile(out / "old.txt", "older");
        WriteFile(out / "new.txt", "newer");
        ASSERT_TRUE(gtlib_test::Run({"touch", "-d", "2019-01-01 00:00:00 UTC", out / "old.txt"}));
        ASSERT_TRUE(gtlib_test::Run({"touch", "-d", "2021-01-01 00:00:00 UTC", out / "new.txt"}));
        UgtCommand u(UGT_UNTAR);
        u.file = tar;
        u.dest = out.path();
        u.filespec = "*.*";
        u.c.bOverWriteFlag = -1;
        (c.freshen ? u.c.bFreshenFlag : u.c.bUpdateFlag) = -1;
        ASSERT_EQ(u.Run(), 0);
        EXPECT_EQ(ReadFile(out / "old.txt"), "new content");
        EXPECT_EQ(ReadFile(out / "new.txt"), "newer");
        EXPECT_EQ(Exists(out / "absent.txt"), !c.freshen);
        EXPECT_EQ(u.c.lReturnCount, static_cast<int32_t>(c.written.size()));
    }
}

// ---------------------------------------------------------------------------------------------------------
// Overwrite prompts answered by a scripted host
// ---------------------------------------------------------------------------------------------------------

TEST_F(UgtTarTest, OverwritePromptAnswers) {
    const std::string tar = GnuTar({{"a.txt", "new a"}, {"b.txt", "new b"}});
    struct Case {
        const char* what;
        std::vector<int32_t> answers;
        std::string rename;
        int32_t code;
        std::string a, b;
        std::size_t prompts;
    };
    const Case cases[] = {
        {"yes, yes", {6, 6}, "", 0, "new a", "new b", 2},
        {"yes to all", {kAnswerYesToAll}, "", 0, "new a", "new b", 1},
        {"no, yes", {7, 6}, "", UGTE_SKIP, "old a", "new b", 2},
        {"cancel", {2}, "", UGTE_ABORT, "old a", "old b", 1},
        {"rename, no", {kAnswerRename, 7}, "renamed.txt", UGTE_SKIP, "old a", "old b", 2},
        {"rename cancelled, yes", {kAnswerRename, 6}, "", UGTE_SKIP, "old a", "new b", 2},
        {"not an answer", {42, 6}, "", UGTE_SKIP, "old a", "new b", 2},
    };
    for (const auto& c : cases) {
        test::ScratchDir out;
        WriteFile(out / "a.txt", "old a");
        WriteFile(out / "b.txt", "old b");
        ::chmod((out / "b.txt").c_str(), 0444);
        test::RecordingUi ui;
        if (!c.rename.empty()) ui.renameAnswers = {out / c.rename};
        ui.dialogAnswers = {7, 7, 7};  // an answer that does not fit falls to the dialog
        ui.Install(env.context);
        UgtCommand u(UGT_UNTAR);
        u.file = tar;
        u.dest = out.path();
        u.filespec = "*.*";
        u.host.answers = c.answers;
        EXPECT_EQ(u.Run(), c.code) << c.what;
        EXPECT_EQ(ReadFile(out / "a.txt"), c.a) << c.what;
        EXPECT_EQ(ReadFile(out / "b.txt"), c.b) << c.what;
        std::size_t prompts = 0;
        for (const auto& call : u.host.calls) {
            if (call.kind != MSGID_GTOVERWRT) continue;
            ++prompts;
            EXPECT_EQ(call.style, 15);
            const bool isB = call.text1.find("b.txt") != std::string::npos;
            EXPECT_EQ(call.number1, isB ? 1 : 0) << c.what;
            EXPECT_EQ(call.text1, (out / (isB ? "b.txt" : "a.txt")).string() +
                                      (isB ? " exists and is Read Only, do you want to overwrite it?"
                                           : " exists, do you want to overwrite it?"));
        }
        EXPECT_EQ(prompts, c.prompts) << c.what;
        if (!c.rename.empty()) {
            EXPECT_EQ(ReadFile(out / c.rename), "new a") << c.what;
            EXPECT_EQ(ui.renameAsked, std::vector<std::string>{out / "a.txt"});
        }
        if (c.b == "new b") {
            EXPECT_FALSE(ReadOnly(out / "b.txt")) << c.what;
        }
    }
    env.context.ui = {};
}

TEST_F(UgtTarTest, QuietAndOverwriteFlagDecideWithoutAsking) {
    const std::string tar = GnuTar({{"a.txt", "new a"}});
    struct Case {
        bool quiet, overwrite;
        int32_t code;
        std::string content;
        std::string event;
    };
    const Case cases[] = {{true, false, UGTE_SKIP, "old a", "[Skipped]"}, {true, true, 0, "new a", "[Overwritten]"},
                          {false, true, 0, "new a", "[Overwritten]"}};
    for (const auto& c : cases) {
        test::LogEnvironment logs;
        test::ScratchDir out;
        WriteFile(out / "a.txt", "old a");
        UgtCommand u(UGT_UNTAR);
        u.file = tar;
        u.dest = out.path();
        u.filespec = "*.*";
        u.c.bAllQuiet = c.quiet;
        u.c.bOverWriteFlag = c.overwrite;
        u.c.dwUGTSubOptions = UGTSO_LOGGTRESULTS;
        EXPECT_EQ(u.Run(), c.code);
        EXPECT_EQ(ReadFile(out / "a.txt"), c.content);
        EXPECT_TRUE(u.host.calls.empty());
        EXPECT_NE(logs.Events().find((out / "a.txt").string() + " " + c.event), std::string::npos) << logs.Events();
    }
}

TEST_F(UgtTarTest, GunzipPromptAndTheArchiveItself) {
    WriteFile(Path("same.gz"), GzipBuilder::With(0x08, "same.gz").Build("self"));
    UgtCommand self(UGT_GUNZIP);
    self.file = Path("same.gz");
    self.dest = env.dir.path();
    self.c.bOverWriteFlag = -1;
    EXPECT_EQ(self.Run(), UGTE_SKIP);
    ASSERT_EQ(self.Errors().size(), 1u);
    EXPECT_EQ(self.Errors()[0], UgtErrorText(UGTE_SKIP, FindMessage(895)));
    EXPECT_NE(ReadFile(Path("same.gz")), "self");

    WriteFile(Path("x.gz"), GzipBuilder::With(0x08, "x.txt").Build("fresh"));
    WriteFile(Out() + "/x.txt", "stale");
    UgtCommand yes(UGT_GUNZIP);
    yes.file = Path("x.gz");
    yes.dest = Out();
    yes.host.answers = {6};
    EXPECT_EQ(yes.Run(), 0);
    EXPECT_EQ(ReadFile(Out() + "/x.txt"), "fresh");
    UgtCommand no(UGT_GUNZIP);
    no.file = Path("x.gz");
    no.dest = Out();
    no.host.answers = {7};
    EXPECT_EQ(no.Run(), UGTE_SKIP);
    EXPECT_TRUE(no.Errors().empty());
}

TEST_F(UgtTarTest, RenameProcedureChoosesTheOutputPathAndTime) {
    WriteFile(Path("r.gz"), GzipBuilder::With(0x08, "r.txt").Build("renamed"));
    struct Renamer {
        std::string to;
        std::string seenName, seenOrig, seenDate;
        uint32_t seenOptions = 0;
        static int32_t Proc(RENAMESTRUCT* r, void* user) {
            auto* self = static_cast<Renamer*>(user);
            self->seenName = FieldText(r->szItemName);
            self->seenOrig = FieldText(r->szOrigItemName);
            self->seenDate = FieldText(r->szDateTime);
            self->seenOptions = r->dwOptions;
            CopyToField(r->szItemName, self->to);
            CopyToField(r->szDateTime, "12/31/2001 23:59:59");
            return 0;
        }
    } renamer;
    renamer.to = Out() + "/elsewhere/r2.txt";
    UgtCommand u(UGT_GUNZIP);
    u.file = Path("r.gz");
    u.dest = Out();
    u.c.lpRenameProc = &Renamer::Proc;
    u.c.lpRenameUserData = &renamer;
    ASSERT_EQ(u.Run(), 0);
    EXPECT_EQ(renamer.seenName, Out() + "/r.txt");
    EXPECT_EQ(renamer.seenOrig, "r.txt");
    EXPECT_EQ(renamer.seenDate, "01/01/1970 00:00:00");
    EXPECT_EQ(renamer.seenOptions, 2u);
    EXPECT_EQ(ReadFile(renamer.to), "renamed");
    struct stat st;
    ASSERT_EQ(::stat(renamer.to.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1009843199);

    // A TAR member goes to the path the procedure chose as well, its folders made first.
    const std::string tar = GnuTar({{"t.txt", "tar member"}});
    renamer.to = Out() + "/altrove/dentro/t2.txt";
    UgtCommand t(UGT_UNTAR);
    t.file = tar;
    t.dest = Out();
    t.filespec = "*.*";
    t.c.lpRenameProc = &Renamer::Proc;
    t.c.lpRenameUserData = &renamer;
    ASSERT_EQ(t.Run(), 0);
    EXPECT_EQ(renamer.seenOptions, 1u);
    EXPECT_EQ(ReadFile(renamer.to), "tar member");
    EXPECT_FALSE(Exists(Out() + "/t.txt"));
}

}  // namespace
}  // namespace gtlib
