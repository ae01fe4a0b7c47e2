#include "platform/core/files.h"

#include "tests/platform/core/temp_dir.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace morven {
namespace {

using morven::testing::TempDir;

void Touch(const std::string& path, const std::string& text = "") {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(DosMatch, FollowsDosRules) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.*", "ordseq.txt", true},
        {"*.*", "notizie", true},  // no point in the name
        {"*.*", ".hidden", true},
        {"*", "a.b.c", true},
        {"IFCK0*", "ifck01_in_morven.dat", true},
        {"IFCK03*.*", "IFCK03_OUT_MORVEN.DAT", true},
        {"IFCK03*.*", "IFCK06_OUT_MORVEN.DAT", false},
        {"ordseq.*", "ORDSEQ", true},
        {"ordseq.*", "ordseq.rst", true},
        {"ordseq.*", "ordseq2006.man", false},
        {"*.txt", "ordseq.txt", true},
        {"*.txt", "ordseq.txt.bak", false},
        {"*.TXT", "a.txt", true},
        {"?.dat", "a.dat", true},
        {"?.dat", "ab.dat", false},
        {"?.dat", ".dat", false},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false},
        {"*.", "noext", true},
        {"*.", "has.ext", false},
        {"", "", true},
        {"", "x", false},
        {"\xe8*", "\xe8x", true},  // bytes above ASCII compare as they are
        {"\xc8*", "\xe8x", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DosMatch(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
    }
}

TEST(Folders, ListsByPatternWithKindsAndWithoutFollowingLinks) {
    TempDir dir;
    Touch(dir / "B.TXT");
    Touch(dir / "a.txt");
    Touch(dir / "notizie");
    mkdir((dir / "20261101").c_str(), 0755);
    ASSERT_EQ(symlink("/", (dir / "link").c_str()), 0);

    const auto all = ListFolder(dir.path());
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].name, "20261101");
    EXPECT_EQ(all[0].kind, EntryKind::Directory);
    EXPECT_EQ(all[1].name, "B.TXT");
    EXPECT_EQ(all[3].name, "link");
    EXPECT_EQ(all[3].kind, EntryKind::Link);
    EXPECT_EQ(all[4].kind, EntryKind::File);

    const auto txt = ListFolder(dir.path(), "*.txt");
    ASSERT_EQ(txt.size(), 2u);
    EXPECT_EQ(txt[0].name, "B.TXT");
    EXPECT_EQ(txt[1].name, "a.txt");
    EXPECT_TRUE(ListFolder(dir / "missing").empty());
}

TEST(Folders, FindsNamesWithoutRegardToCaseExactFirst) {
    TempDir dir;
    Touch(dir / "MvnConn03.PAR");
    EXPECT_EQ(FindNameNoCase(dir.path(), "mvnconn03.par"), "MvnConn03.PAR");
    EXPECT_EQ(ResolveNoCase(dir.path(), "MVNCONN03.par"), dir / "MvnConn03.PAR");
    EXPECT_EQ(ResolveNoCase(dir.path(), "new.txt"), dir / "new.txt");
    EXPECT_FALSE(FindNameNoCase(dir.path(), "mvnconn04.par"));
    Touch(dir / "mvnconn03.par");
    EXPECT_EQ(FindNameNoCase(dir.path(), "mvnconn03.par"), "mvnconn03.par");
    EXPECT_EQ(FindNameNoCase(dir.path(), "MvnConn03.PAR"), "MvnConn03.PAR");
}

TEST(AtomicReplace, ReplacesWholeFileKeepsModeAndLeavesNoTemporary) {
    TempDir dir;
    const std::string target = dir / "winstat.dat";
    ASSERT_TRUE(ReplaceFileAtomically(target, std::string("first\r\n\0x", 9)));
    std::string got;
    ASSERT_TRUE(ReadWholeFile(target, got));
    EXPECT_EQ(got, std::string("first\r\n\0x", 9));

    chmod(target.c_str(), 0600);
    ASSERT_TRUE(ReplaceFileAtomically(target, "second"));
    ASSERT_TRUE(ReadWholeFile(target, got));
    EXPECT_EQ(got, "second");
    struct stat st{};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ListFolder(dir.path()).size(), 1u);
}

// Without the flush to the disk the replacement is still whole and in place, keeps the mode, leaves no
// temporary file, and a failure still leaves the target as it was.
TEST(AtomicReplace, WithoutFlushStillReplacesWholeOrNotAtAll) {
    TempDir dir;
    const std::string target = dir / "winstat.dat";
    std::string got;
    for (const char* contents : {"first", "second"}) {
        ASSERT_TRUE(ReplaceFileAtomically(target, contents, nullptr, false));
        ASSERT_TRUE(ReadWholeFile(target, got));
        EXPECT_EQ(got, contents);
        if (got == "first") chmod(target.c_str(), 0640);  // the second replacement must keep it
    }
    struct stat st{};
    EXPECT_TRUE(stat(target.c_str(), &st) == 0 && (st.st_mode & 0777) == 0640u);
    EXPECT_EQ(ListFolder(dir.path()).size(), 1u);

    std::string error;
    mkdir((dir / "busy").c_str(), 0755);
    Touch(dir / "busy/inside");
    EXPECT_FALSE(ReplaceFileAtomically(dir / "busy", "x", &error, false));
    EXPECT_NE(error.find("busy"), std::string::npos);
    EXPECT_TRUE(DirectoryExists(dir / "busy"));
    EXPECT_EQ(ListFolder(dir.path()).size(), 2u);  // winstat.dat and busy: no temporary left
}

TEST(AtomicReplace, FailureLeavesTargetAndReportsWhy) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(ReplaceFileAtomically(dir / "missing/x.dat", "x", &error));
    EXPECT_NE(error.find("missing/x.dat"), std::string::npos);

    // A target that is a folder: the rename fails, the temporary file goes away.
    mkdir((dir / "busy").c_str(), 0755);
    Touch(dir / "busy/inside");
    EXPECT_FALSE(ReplaceFileAtomically(dir / "busy", "x", &error));
    EXPECT_TRUE(DirectoryExists(dir / "busy"));
    EXPECT_EQ(ListFolder(dir.path()).size(), 1u);
}

TEST(Folders, MakeFoldersMakesEveryMissingPartAndSaysWhichFailed) {
    TempDir dir;
    EXPECT_TRUE(MakeFolders(dir / "a/b//c/"));
    EXPECT_TRUE(DirectoryExists(dir / "a/b/c"));
    EXPECT_TRUE(MakeFolders(dir / "a/b"));  // already there
    EXPECT_TRUE(MakeParentFolders(dir / "p/q/file.dat"));
    EXPECT_TRUE(DirectoryExists(dir / "p/q"));
    EXPECT_FALSE(FileExists(dir / "p/q/file.dat"));
    EXPECT_TRUE(MakeParentFolders("file-in-the-current-folder.dat"));

    ASSERT_TRUE(MakeFolders(dir / "private", 0700));
    struct stat st {};
    ASSERT_EQ(stat((dir / "private").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);

    // A file where a folder should be: the part that failed is named and errno says why.
    Touch(dir / "a/file");
    std::string failed;
    EXPECT_FALSE(MakeFolders(dir / "a/file/x/y", 0777, &failed));
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(failed, dir / "a/file");
    EXPECT_FALSE(MakeParentFolders(dir / "a/file/x/y.dat"));
}

TEST(WriteAll, WritesEveryByteAndFailsOnAClosedReader) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string bytes("head\0tail", 9);
    EXPECT_TRUE(WriteAll(fds[1], bytes));
    const std::uint8_t raw[] = {1, 2, 3};
    EXPECT_TRUE(WriteAll(fds[1], raw, sizeof raw));
    char got[16] = {};
    ASSERT_EQ(read(fds[0], got, sizeof got), 12);
    EXPECT_EQ(std::string(got, 9), bytes);
    EXPECT_EQ(got[11], 3);

    close(fds[0]);
    const auto previous = signal(SIGPIPE, SIG_IGN);
    EXPECT_FALSE(WriteAll(fds[1], "x"));
    signal(SIGPIPE, previous);
    close(fds[1]);
    EXPECT_FALSE(WriteAll(-1, "x"));
}

TEST(ReadFull, ReadsAcrossPiecesUntilTheEndAndReportsAFailedRead) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_TRUE(WriteAll(fds[1], "abc"));
    // The rest comes while the reader waits: one read cannot take the whole request.
    std::thread writer([w = fds[1]] {
        WriteAll(w, "defgh");
        close(w);
    });
    char got[6] = {};
    EXPECT_EQ(ReadFull(fds[0], got, sizeof got), 6);
    EXPECT_EQ(std::string(got, 6), "abcdef");
    writer.join();
    char rest[8] = {};
    EXPECT_EQ(ReadFull(fds[0], rest, sizeof rest), 2);  // short only because the writer is gone
    EXPECT_EQ(std::string(rest, 2), "gh");
    EXPECT_EQ(ReadFull(fds[0], rest, sizeof rest), 0);
    close(fds[0]);
    errno = 0;
    EXPECT_EQ(ReadFull(-1, rest, sizeof rest), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST(ReadFull, PositionedReadLeavesTheFilePositionAlone) {
    TempDir dir;
    Touch(dir / "f.dat", "0123456789");
    const int fd = open((dir / "f.dat").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    struct Case {
        std::uint64_t offset;
        std::size_t size;
        std::string expected;
    };
    const Case cases[] = {{3, 4, "3456"}, {8, 4, "89"}, {10, 4, ""}, {40, 4, ""}};
    for (const Case& c : cases) {
        char got[8] = {};
        EXPECT_EQ(PreadFull(fd, got, c.size, c.offset), static_cast<ssize_t>(c.expected.size())) << c.offset;
        EXPECT_EQ(std::string(got, c.expected.size()), c.expected) << c.offset;
    }
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0);
    close(fd);
    char got[4];
    EXPECT_EQ(PreadFull(fd, got, sizeof got, 0), -1);
}

TEST(Paths, JoinPutsOneSlash) {
    EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
    EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(JoinPath("/a/", "/b"), "/a/b");
    EXPECT_EQ(JoinPath("", "b"), "b");
}

}  // namespace
}  // namespace morven
