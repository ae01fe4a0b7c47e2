// The control host program, run as a separate process against a registry of the test's own.
#ifdef CTLHOST
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run_program.h"
#include "tests/platform/com/temp_registry.h"

namespace {

HostRun RunHost(const std::vector<std::string>& args) { return RunProgram(CTLHOST, args); }

bool Has(const std::string& out, const std::string& line) { return out.find(line + "\n") != std::string::npos; }

}  // namespace

TEST(CtlHost, RegistersCreatesSetsAndReadsBack) {
    TempRegistry reg;
    const HostRun r = RunHost({"--registry", reg.path(), "--register", SBGTACTX_MODULE, "--progid", "ugtactx.ugtactx.1",
                           "--set", "GTFile=/tmp/notizie.tar", "--set", "bOverwriteFlag=true", "--set",
                           "ugtSubOptions=258", "--action", "0", "--get", "GTFile", "--get", "bOverwriteFlag",
                           "--get", "ugtSubOptions", "--get", "TarIndex"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, "created ugtactx.ugtactx.1")) << r.out;
    EXPECT_TRUE(Has(r.out, "action 0: 0x00000000")) << r.out;
    EXPECT_TRUE(Has(r.out, "ErrorCode=0")) << r.out;
    EXPECT_TRUE(Has(r.out, "GTFile=\"/tmp/notizie.tar\"")) << r.out;
    EXPECT_TRUE(Has(r.out, "bOverwriteFlag=true")) << r.out;
    EXPECT_TRUE(Has(r.out, "ugtSubOptions=258")) << r.out;
    EXPECT_TRUE(Has(r.out, "TarIndex=-1")) << r.out;
}

TEST(CtlHost, ReportsFailedSteps) {
    TempRegistry reg;
    ASSERT_EQ(RunHost({"--registry", reg.path(), "--register", SBGTACTX_MODULE}).status, 0);
    const HostRun unknown = RunHost({"--registry", reg.path(), "--progid", "nothing.here"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(Has(unknown.out, "create nothing.here: 0x80040154")) << unknown.out;
    const HostRun badName = RunHost({"--registry", reg.path(), "--progid", "gtactx.gtactx.1", "--get", "NoSuch"});
    EXPECT_EQ(badName.status, 1);
    EXPECT_TRUE(Has(badName.out, "NoSuch: 0x80020006")) << badName.out;
    EXPECT_EQ(RunHost({"--bogus"}).status, 2);
}

// ---- interop: archives made by GNU tar, gzip and Python, unpacked by ugtactx through the host ----

namespace {
namespace fs = std::filesystem;

void Write(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}
std::string Read(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class Interop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RunHost({"--registry", reg.path(), "--register", SBGTACTX_MODULE}).status, 0);
        root = fs::path(reg.dir());
        Write(root / "src" / "oggi.htm", "<html>notizie del giorno</html>\r\n");
        Write(root / "src" / "perch\xC3\xA9" / "dati.bin", std::string("\x00\x01\xFF\x1F\x8B", 5) + std::string(70000, 'z'));
        fs::create_directories(root / "out");
    }
    HostRun Unpack(const std::vector<std::string>& extra) {
        std::vector<std::string> args{"--registry", reg.path(), "--progid", "ugtactx.ugtactx.1"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunHost(args);
    }
    TempRegistry reg;
    fs::path root;
};
}  // namespace

TEST_F(Interop, UntarsWhatGnuTarMakes) {
    ASSERT_EQ(RunProgram("tar", {"-C", (root / "src").string(), "-cf", (root / "n.tar").string(), "oggi.htm",
                                 "perch\xC3\xA9"}).status, 0);
    const HostRun r = Unpack({"--set", "GTFile=" + (root / "n.tar").string(), "--set",
                              "Destination=" + (root / "out").string(), "--set", "bRecurseFlag=true", "--set",
                              "bMajorStatus=true", "--action", "2", "--get", "ReturnCount"});
    ASSERT_TRUE(Has(r.out, "ErrorCode=0")) << r.out;
    EXPECT_TRUE(Has(r.out, "event UGTMajorStatus UGTItemName=\"Item 3 of 3\" UGTPercent=100 UGTStatType=1 UGTCancel=0")) << r.out;
    EXPECT_EQ(Read(root / "out" / "oggi.htm"), Read(root / "src" / "oggi.htm"));
    EXPECT_EQ(Read(root / "out" / "perch\xC3\xA9" / "dati.bin"), Read(root / "src" / "perch\xC3\xA9" / "dati.bin"));
}

TEST_F(Interop, CancelFromTheFirstStatusEventStopsTheRun) {
    ASSERT_EQ(RunProgram("tar", {"-C", (root / "src").string(), "-cf", (root / "n.tar").string(), "oggi.htm"}).status, 0);
    const HostRun r = Unpack({"--set", "GTFile=" + (root / "n.tar").string(), "--set",
                              "Destination=" + (root / "out").string(), "--set", "bMajorStatus=true", "--answer",
                              "UGTMajorStatus.UGTCancel=1", "--action", "2"});
    EXPECT_TRUE(Has(r.out, "ErrorCode=5")) << r.out;
    EXPECT_FALSE(fs::exists(root / "out" / "oggi.htm"));
}

TEST_F(Interop, GunzipsWhatGzipAndPythonMake) {
    ASSERT_EQ(RunProgram("gzip", {"-k", "-9", (root / "src" / "oggi.htm").string()}).status, 0);
    HostRun r = Unpack({"--set", "GTFile=" + (root / "src" / "oggi.htm.gz").string(), "--set",
                        "Destination=" + (root / "out").string(), "--action", "1"});
    ASSERT_TRUE(Has(r.out, "ErrorCode=0")) << r.out;
    EXPECT_EQ(Read(root / "out" / "oggi.htm"), Read(root / "src" / "oggi.htm"));

    const std::string py = (root / "py.gz").string();
    ASSERT_EQ(RunProgram("python3", {"-c", "import gzip,sys; open(sys.argv[1],'wb').write(gzip.compress(b'x'*10000))",
                                     py}).status, 0);
    r = Unpack({"--set", "GTFile=" + py, "--set", "MemoryBlockSize=20000", "--action", "3", "--get",
                "MemoryBlockSize"});
    EXPECT_TRUE(Has(r.out, "ErrorCode=0")) << r.out;
    EXPECT_TRUE(Has(r.out, "MemoryBlockSize=10000")) << r.out;
    r = Unpack({"--set", "GTFile=" + py, "--action", "10", "--get", "gzi_oSizeL", "--get", "gzi_Method"});
    EXPECT_TRUE(Has(r.out, "gzi_oSizeL=10000")) << r.out;
    EXPECT_TRUE(Has(r.out, "gzi_Method=8")) << r.out;
}

// ---- interop: what gtactx packs, GNU tar, gzip and Python open ----

namespace {
HostRun Pack(const TempRegistry& reg, const std::vector<std::string>& extra) {
    std::vector<std::string> args{"--registry", reg.path(), "--progid", "gtactx.gtactx.1"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunHost(args);
}
}  // namespace

// A host with no handler for the memory event: the memory-to-memory actions of both controls end, with a
// result code (nothing to pack; no header to unpack), instead of taking the count asked for as data.
TEST_F(Interop, MemoryToMemoryEndsInAHostWithoutAMemoryHandler) {
    const HostRun packed = Pack(reg, {"--set", "ItemList=dati.bin", "--set", "bAllQuiet=true", "--action", "5"});
    EXPECT_EQ(packed.status, 0) << packed.out;
    EXPECT_TRUE(Has(packed.out, "ErrorCode=9")) << packed.out;
    const HostRun unpacked = RunHost({"--registry", reg.path(), "--progid", "ugtactx.ugtactx.1", "--set",
                                      "bAllQuiet=true", "--action", "4"});
    EXPECT_EQ(unpacked.status, 0) << unpacked.out;
    EXPECT_TRUE(Has(unpacked.out, "ErrorCode=3")) << unpacked.out;
}

TEST_F(Interop, GnuTarAndPythonOpenTheTarArchivesItMakes) {
    const std::string tarFile = (root / "made.tar").string();
    const HostRun r = Pack(reg, {"--set", "GTFile=" + tarFile, "--set", "ItemList=" + (root / "src").string() + "/*.*",
                                 "--set", "bRecurseFlag=true", "--set", "gtSubOptions=1", "--action", "2"});
    ASSERT_TRUE(Has(r.out, "ErrorCode=0")) << r.out;
    ASSERT_EQ(RunProgram("tar", {"-C", (root / "out").string(), "-xf", tarFile}).status, 0);
    EXPECT_EQ(Read(root / "out" / "oggi.htm"), Read(root / "src" / "oggi.htm"));
    EXPECT_EQ(Read(root / "out" / "perch\xC3\xA9" / "dati.bin"), Read(root / "src" / "perch\xC3\xA9" / "dati.bin"));
    const HostRun py = RunProgram("python3", {"-c", "import tarfile,sys; print(sorted(tarfile.open(sys.argv[1]).getnames()))",
                                              tarFile});
    EXPECT_EQ(py.out, "['oggi.htm', 'perch\xC3\xA9/dati.bin']\n");
}

TEST_F(Interop, GzipAndPythonOpenTheMembersItMakes) {
    HostRun r = Pack(reg, {"--set", "ItemList=" + (root / "src" / "perch\xC3\xA9" / "dati.bin").string(), "--set",
                           "Destination=" + (root / "out").string(), "--set", "CompFactor=9", "--action", "1"});
    ASSERT_TRUE(Has(r.out, "ErrorCode=0")) << r.out;
    const HostRun unzipped = RunProgram("gzip", {"-dc", (root / "out" / "dati.bin.gz").string()});
    EXPECT_EQ(unzipped.status, 0);
    EXPECT_EQ(unzipped.out, Read(root / "src" / "perch\xC3\xA9" / "dati.bin"));

    // A memory input from GTString: "abc" and its terminating zero.
    const std::string gz = (root / "mem.gz").string();
    r = Pack(reg, {"--set", "GTFile=" + gz, "--set", "GTString=abc", "--set", "ItemList=abc.txt", "--action", "4"});
    ASSERT_TRUE(Has(r.out, "ErrorCode=0")) << r.out;
    const HostRun py = RunProgram("python3", {"-c", "import gzip,sys; print(gzip.open(sys.argv[1]).read())", gz});
    EXPECT_EQ(py.out, "b'abc\\x00'\n");
}

TEST_F(Interop, NewsArchiveUnpackedWithTheClientsPropertyWrites) {
    // notizie.gz: a GZIP member wrapping a TAR.
    const fs::path src = root / "news-src", news = root / "news";
    Write(src / "IFCK0300000.DAT", "3documento\r\n");
    Write(src / "doc" / "extra.txt", "in a folder");
    Write(src / "oggi.htm", "<p>nuovo</p>");
    fs::create_directories(news);
    ASSERT_EQ(RunProgram("tar", {"-C", src.string(), "-cf", (news / "notizie").string(), "IFCK0300000.DAT", "doc", "oggi.htm"}).status, 0);
    ASSERT_EQ(RunProgram("gzip", {(news / "notizie").string()}).status, 0);
    ASSERT_TRUE(fs::exists(news / "notizie.gz"));
    Write(news / "oggi.htm", "vecchio");
    fs::permissions(news / "oggi.htm", fs::perms::owner_read | fs::perms::group_read);  // read-only

    const std::string base = (news / "notizie").string(), dest = news.string() + "/";
    const std::vector<std::string> common{"--set", "Destination=" + dest, "--set", "bOverwriteFlag=true", "--set",
                                          "ugtSubOptions=0", "--set", "ugtSubOptions=1", "--set", "bRecurseFlag=false",
                                          "--set", "bNoDirectoryNames=true", "--set", "bMajorStatus=false", "--set",
                                          "bMinorStatus=false", "--set", "bAllQuiet=true"};
    std::vector<std::string> expand{"--set", "GTFile=" + base + ".gz"};
    expand.insert(expand.end(), common.begin(), common.end());
    expand.insert(expand.end(), {"--action", "1"});
    HostRun r = Unpack(expand);
    ASSERT_TRUE(Has(r.out, "ErrorCode=0")) << r.out;

    std::vector<std::string> extract{"--set", "GTFile=" + base, "--set", "Filespec=*.*", "--set", "TarIndex=-1"};
    extract.insert(extract.end(), common.begin(), common.end());
    extract.insert(extract.end(), {"--action", "2"});
    r = Unpack(extract);
    ASSERT_TRUE(Has(r.out, "ErrorCode=0")) << r.out;
    EXPECT_EQ(Read(news / "IFCK0300000.DAT"), "3documento\r\n");
    EXPECT_EQ(Read(news / "oggi.htm"), "<p>nuovo</p>");  // the read-only file was overwritten
    EXPECT_TRUE(fs::exists(news / "notizie"));
    // "*.*" without recursion selects only the members outside folders.
    EXPECT_FALSE(fs::exists(news / "extra.txt"));
    EXPECT_FALSE(fs::exists(news / "doc"));
}
#endif
