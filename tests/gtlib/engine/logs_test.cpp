#include "gtlib/engine/logs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "engine_test_support.h"

namespace gtlib {
namespace {

using test::Exists;
using test::LogEnvironment;

std::string Hex(const void* p) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%#08lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)));
    return buf;
}

TEST(LogsTest, TimeStampUsesTheLogClockInLocalTime) {
    LogEnvironment env;
    EXPECT_EQ(LogTimeStamp(env.context), "Version: 5.00.02 - 12/10/26  10:15:31");
    ::setenv("TZ", "CET-1", 1);
    ::tzset();
    EXPECT_EQ(LogTimeStamp(env.context), "Version: 5.00.02 - 12/10/26  11:15:31");
}

TEST(LogsTest, DecompressionRecordDumpByteForByte) {
    LogEnvironment env;
    const char* file = "/data/news.tar.gz";
    const char* filespec = "*.*";
    char ret[1] = {0};
    UGTCMDSTRUCT c = NewUgtCmdStruct();
    c.lFunction = UGT_UNTAR;
    c.lpszGTFile = file;
    c.lpszFilespec = filespec;
    c.lpszDestination = nullptr;
    c.bOverWriteFlag = -1;
    c.bAllQuiet = -1;
    c.bRecurseFlag = 1;
    c.lpszReturnString = ret;
    c.dwUGTSubOptions = 0x101;
    c.lMemBlockSize = -1;
    c.lResv8 = 0x20;
    DiagnosticDump(env.context, c);
    const std::string expected =
        "\r\n--- Selbrik-GT Diagnostic Log - Version: 5.00.02 - 12/10/26  10:15:31 ---\r\n"
        "ulugtStructSize:  248 \r\n"
        "lFunction:  2 \r\n"
        "lpszGTFile: " + Hex(file) + " \r\n/data/news.tar.gz\r\n"
        "lpszFilespec: " + Hex(filespec) + " \r\n*.*\r\n"
        "lpszDestination: 00000000 \r\n???\r\n"
        "gzipInfo: 00000000 \r\n"
        "tarInfo: 00000000 \r\n"
        "lIndex: -1 \r\n"
        "bFreshenFlag: 0 \r\n"
        "bUpdateFlag: 0 \r\n"
        "bOverWriteFlag: -1 \r\n"
        "TestFlag: 0 \r\n"
        "bNoDirectoryNames: 0 \r\n"
        "bResv1: 0 \r\n"
        "bRecurseFlag: 1 \r\n"
        "bLFtoCRLF: 0 \r\n"
        "bDecryptFlag: 0 \r\n"
        "lpszDecryptCode: 00000000 \r\n???\r\n"
        "lReturnCount: 0 \r\n"
        "lpszReturnString: " + Hex(ret) + " \r\n\r\n"
        "dwUGTSubOptions: 0x101 \r\n"
        "lpMemBlock: 00000000 \r\n"
        "lMemBlockSize: -1 \r\n"
        "lStartingOffset: 0 \r\n"
        "lpMinorStatus: 00000000 \r\n"
        "lpMinorUserData: 00000000 \r\n"
        "lpMajorStatus: 00000000 \r\n"
        "lpMajorUserData: 00000000 \r\n"
        "lpMessageDisplay: 00000000 \r\n"
        "lpMessageDisplayData: 00000000 \r\n"
        "lpRenameProc: 00000000 \r\n"
        "lpRenameUserData: 00000000 \r\n"
        "lpCallbackStruct: 00000000 \r\n"
        "lResv1: 00000000 \r\n"
        "lResv2: 00000000 \r\n"
        "lResv3: 00000000 \r\n"
        "lResv4: 00000000 \r\n"
        "lResv5: 00000000 \r\n"
        "lResv6: 00000000 \r\n"
        "lResv7: 00000000 \r\n"
        "lResv8: 0x000020 \r\n"
        "\r\n";
    EXPECT_EQ(env.Diagnostic(), expected);
}

TEST(LogsTest, CompressionRecordDumpByteForByte) {
    LogEnvironment env;
    const std::string longList(20001, 'a');  // longer than a dumped text may be
    const char* code = "segreto";
    GTCMDSTRUCT c = NewGtCmdStruct();
    c.lFunction = GT_TAR;
    c.lpszGTFile = "/out/a.tar";
    c.lpszItemList = longList.c_str();
    c.lCompFactor = 9;
    c.bNoDirectoryNames = 1;  // no label: not written
    c.bDiagnostic = -1;       // no label: not written
    c.bEncryptFlag = -1;
    c.lpszEncryptCode = code;
    c.dwGTSubOptions = 0x100;
    c.bResv3 = 3;
    const std::string text = DumpText(env.context, c);
    const std::string expected =
        "\r\n--- Selbrik-GT Diagnostic Log - Version: 5.00.02 - 12/10/26  10:15:31 ---\r\n"
        "ulgtStructSize:  288 \r\n"
        "lFunction:  2 \r\n"
        "lpszGTFile: " + Hex(c.lpszGTFile) + " \r\n/out/a.tar\r\n"
        "lpszItemList: " + Hex(c.lpszItemList) + " \r\n???\r\n"
        "lpszDestination: 00000000 \r\n???\r\n"
        "lpszTempPath: 00000000 \r\n???\r\n"
        "bAllQuiet: 0 \r\n"
        "bRecurseFlag: 0 \r\n"
        "lCompFactor: 9 \r\n"
        "bLFtoCRLF: 0 \r\n"
        "bGrowExistingFlag: 0 \r\n"
        "bAddComment: 0 \r\n"
        "lpszComment: 00000000 \r\n???\r\n"
        "bInclDate: 0 \r\n"
        "bExclDate: 0 \r\n"
        "lpszDate1: 00000000 \r\n???\r\n"
        "lpszDate2: 00000000 \r\n???\r\n"
        "lpszIncludeList: 00000000 \r\n???\r\n"
        "lpszExludeList: 00000000 \r\n???\r\n"
        "bDosify: 0 \r\n"
        "bIncludeSysHidden: 0 \r\n"
        "bEncryptFlag: -1 \r\n"
        "lpszEncryptCode: " + Hex(code) + " \r\nsegreto\r\n"
        "dwGTSubOptions: 0x000100 \r\n"
        "lpMemBlock: 00000000 \r\n"
        "lMemBlockSize: 0 \r\n"
        "lpMajorStatus: 00000000 \r\n"
        "lpMajorUserData: 00000000 \r\n"
        "lpMinorStatus: 00000000 \r\n"
        "lpMinorUserData: 00000000 \r\n"
        "lpMessageDisplay: 00000000 \r\n"
        "lpMessageDisplayData: 00000000 \r\n"
        "lpRenameProc: 00000000 \r\n"
        "lpRenameUserData: 00000000 \r\n"
        "lpCallbackStruct: 00000000 \r\n"
        "bResv1: 0 \r\n"
        "bResv2: 0 \r\n"
        "bResv3: 3 \r\n"
        "lResv1: 00000000 \r\n"
        "lResv2: 00000000 \r\n"
        "lResv3: 00000000 \r\n"
        "lResv4: 00000000 \r\n"
        "lResv5: 00000000 \r\n"
        "lResv6: 00000000 \r\n"
        "lResv7: 00000000 \r\n"
        "lResv8: 00000000 \r\n"
        "\r\n";
    EXPECT_EQ(text, expected);
}

TEST(LogsTest, EventLogHeadsEachRunAndKeepsItsLines) {
    LogEnvironment env;
    {
        EventLog log;
        EXPECT_FALSE(log.IsOpen());
        log.Item(env.context, 903, "/out/a.txt");
        log.Item(env.context, 906, "/out/b.txt");
        log.Line(env.context, "[Memory to Memory]");
    }
    env.context.logClock = [] { return test::kFixedNow + 3661; };
    EventLog second;
    second.Item(env.context, 705, "/out/c.txt");
    second.Close();
    EXPECT_EQ(env.Events(),
              "--- Selbrik-GT Event Log - Version: 5.00.02 - 12/10/26  10:15:31 ---\r\n"
              "/out/a.txt [Extracted]\r\n"
              "/out/b.txt [Skipped]\r\n"
              "[Memory to Memory]\r\n"
              "--- Selbrik-GT Event Log - Version: 5.00.02 - 12/10/26  11:16:32 ---\r\n"
              "/out/c.txt [Memory]\r\n");
}

TEST(LogsTest, ResultLineGoesToTheEventLogFile) {
    LogEnvironment env;
    WriteResultLine(env.context, UGTE_SKIP, 3, nullptr);
    EXPECT_EQ(env.Events(),
              "Selbrik-GT Response: 15 File was skipped \r\n"
              "lReturnCount: 3\r\n"
              "lpszReturnString: 0 \r\n");
    char buf[4];
    char hex[40];
    std::snprintf(hex, sizeof hex, "%lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(buf)));
    EXPECT_EQ(ResultLineText(99, 0, buf),
              std::string("Selbrik-GT Response: 99  \r\nlReturnCount: 0\r\nlpszReturnString: ") + hex + " \r\n");
}

TEST(LogsTest, LogFolderFromSettingEnvironmentOrStateFolder) {
    LogEnvironment env;
    env.context.logFolder.clear();
    ::setenv("SBGTACTX_LOGDIR", "/var/tmp/x", 1);
    ::setenv("XDG_STATE_HOME", "/st", 1);
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(LogFolder(env.context), "/var/tmp/x");
    EXPECT_EQ(DiagnosticLogPath(env.context), "/var/tmp/x/SBGT32.LOG");
    ::unsetenv("SBGTACTX_LOGDIR");
    EXPECT_EQ(LogFolder(env.context), "/st/sbgtactx");
    EXPECT_EQ(EventLogPath(env.context), "/st/sbgtactx/SBGTLOG.TXT");
    ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(LogFolder(env.context), "/home/u/.local/state/sbgtactx");
    env.context.logFolder = "/my/logs/";
    EXPECT_EQ(DiagnosticLogPath(env.context), "/my/logs/SBGT32.LOG");
}

// Without a setting, a state folder or a home folder the logs go to a folder of the user's own in the
// temporary folder: created 0700, files 0600, used only while it is a real folder closed to others, and a
// link planted at a log's name is never written through.
TEST(LogsTest, FallBackFolderIsPrivateToTheUser) {
    LogEnvironment env;
    struct SavedVariable {
        std::string name;
        std::optional<std::string> value;
        explicit SavedVariable(std::string n) : name(std::move(n)) {
            if (const char* v = std::getenv(name.c_str())) value = v;
        }
        ~SavedVariable() { value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str()); }
    };
    SavedVariable saved[] = {SavedVariable("SBGTACTX_LOGDIR"), SavedVariable("XDG_STATE_HOME"), SavedVariable("HOME"),
                             SavedVariable("TMPDIR")};
    env.context.logFolder.clear();
    ::unsetenv("SBGTACTX_LOGDIR");
    ::unsetenv("XDG_STATE_HOME");
    ::unsetenv("HOME");
    ::setenv("TMPDIR", env.dir.path().c_str(), 1);
    const std::string folder = env.dir / ("sbgtactx-" + std::to_string(::geteuid()));
    ASSERT_EQ(LogFolder(env.context), folder);

    DiagnosticLine(env.context, "one");
    struct stat st;
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::lstat((folder + "/SBGT32.LOG").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(test::ReadFile(folder + "/SBGT32.LOG"), "\r\none\r\n");

    // A home folder that cannot take the log sends it to the same place.
    test::WriteFile(env.dir / "not-a-folder", "");
    ::setenv("HOME", (env.dir / "not-a-folder").c_str(), 1);
    DiagnosticLine(env.context, "again");
    EXPECT_EQ(test::ReadFile(folder + "/SBGT32.LOG"), "\r\none\r\n\r\nagain\r\n");
    ::unsetenv("HOME");

    // A link at the event log's name: the line is dropped, the link's target is untouched.
    test::WriteFile(env.dir / "victim", "keep");
    ASSERT_EQ(::symlink((env.dir / "victim").c_str(), (folder + "/SBGTLOG.TXT").c_str()), 0);
    {
        EventLog log;
        log.Line(env.context, "two");
        EXPECT_FALSE(log.IsOpen());
    }
    EXPECT_EQ(test::ReadFile(env.dir / "victim"), "keep");

    // A folder of that name that others may write to, or a link in its place, is not used.
    std::filesystem::remove_all(folder);
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    DiagnosticLine(env.context, "three");
    EXPECT_FALSE(Exists(folder + "/SBGT32.LOG"));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(env.dir / "elsewhere");
    ASSERT_EQ(::chmod((env.dir / "elsewhere").c_str(), 0700), 0);
    ASSERT_EQ(::symlink((env.dir / "elsewhere").c_str(), folder.c_str()), 0);
    DiagnosticLine(env.context, "four");
    EXPECT_TRUE(std::filesystem::is_empty(env.dir / "elsewhere"));
}

TEST(LogsTest, MissingFolderIsCreatedAndAnUnusableOneIsSkipped) {
    LogEnvironment env;
    env.context.logFolder = env.dir / "deep/er/logs";
    DiagnosticLine(env.context, "x");
    EXPECT_EQ(test::ReadFile(env.dir / "deep/er/logs/SBGT32.LOG"), "\r\nx\r\n");

    test::WriteFile(env.dir / "plain", "not a folder");
    env.context.logFolder = env.dir / "plain";
    DiagnosticLine(env.context, "y");  // nothing happens, nothing breaks
    EventLog log;
    log.Line(env.context, "z");
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(test::ReadFile(env.dir / "plain"), "not a folder");
}

}  // namespace
}  // namespace gtlib
