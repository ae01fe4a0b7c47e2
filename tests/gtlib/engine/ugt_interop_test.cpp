// Archives made at test time by the tools wholesalers use (GNU tar in its own and its POSIX format, bsdtar,
// Python's tarfile in its default pax format, gzip and pigz), unpacked through the decompression engine
// and compared with what went in, file by file and byte by byte.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine_test_support.h"
#include "gtlib/engine/ugt_engine.h"
#include "ugt_test_support.h"

namespace gtlib {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::UgtCommand;
using test::WriteFile;

// What a tree holds: for each entry below the root, "dir", "link:<target>" or the file's bytes.
std::map<std::string, std::string> Contents(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string rel = it->path().lexically_relative(root).string();
        if (it->is_symlink()) out[rel] = "link:" + fs::read_symlink(it->path()).string();
        else if (it->is_directory()) out[rel] = "dir";
        else out[rel] = ReadFile(it->path());
    }
    return out;
}

class UgtInteropTest : public ::testing::Test {
protected:
    test::LogEnvironment env;
    fs::path src = env.dir / "src";
    std::map<std::string, std::string> expected;

    void SetUp() override {
        const auto random = gtlib_test::Sample("random", 70000);
        const auto text = gtlib_test::Sample("text", 30000);
        const std::string over100 = "dir/" + std::string(120, 'a') + ".txt";
        const std::string over255 = "deep/" + std::string(60, 'd') + "/" + std::string(70, 'e') + "/" +
                                    std::string(60, 'f') + "/" + std::string(90, 'g') + ".dat";
        WriteFile(src / "short.txt", "breve\n");
        WriteFile(src / "empty", "");
        WriteFile(src / "dir/sub/data.bin", std::string(random.begin(), random.end()));
        WriteFile(src / over100, std::string(text.begin(), text.end()));
        WriteFile(src / over255, "in fondo\n");
        WriteFile(src / std::string(200, 'n'), "nome lungo\n");
        fs::create_directories(src / "emptydir");
        ASSERT_EQ(::link((src / "short.txt").c_str(), (src / "dir/hard").c_str()), 0);
        fs::create_symlink("../short.txt", src / "dir/sym");
        expected = Contents(src);
        // Made after the expectation: a link out of the destination is never made.
        fs::create_symlink("/etc/hostname", src / "outward");
    }

    // Unpacks a TAR file with the engine into a fresh folder and compares it with the source tree.
    void ExpectUnpacksWhole(const std::string& tar, const std::string& what) {
        SCOPED_TRACE(what);
        const fs::path out = env.dir / ("out-" + what);
        UgtCommand u(UGT_UNTAR);
        u.file = tar;
        u.dest = out;
        u.c.bRecurseFlag = -1;
        u.c.dwUGTSubOptions = UGTSO_LOGGTRESULTS;
        // Everything comes out but the outward link, which is skipped and said so.
        EXPECT_EQ(u.Run(), UGTE_SKIP);
        EXPECT_NE(env.Events().find("outward [Skipped]"), std::string::npos);
        EXPECT_FALSE(fs::is_symlink(out / "outward"));
        const auto got = Contents(out);
        EXPECT_EQ(got.size(), expected.size());
        for (const auto& [name, content] : expected) {
            const auto it = got.find(name);
            if (it == got.end()) {
                ADD_FAILURE() << "missing: " << name;
                continue;
            }
            EXPECT_TRUE(it->second == content) << name;
        }
        EXPECT_EQ(u.c.lReturnCount, 8);  // files and links made; folders are not counted
    }

    // GZIPs a file with the tool, unpacks it with the engine and gives the output's path.
    std::string Gunzip(const std::string& gz, const std::string& what) {
        const fs::path out = env.dir / ("gunzip-" + what);
        UgtCommand u(UGT_GUNZIP);
        u.file = gz;
        u.dest = out;
        EXPECT_EQ(u.Run(), 0) << what;
        std::string only;
        for (const auto& e : fs::directory_iterator(out)) only = e.path();
        return only;
    }
};

TEST_F(UgtInteropTest, TarArchivesOfEveryToolUnpackWhole) {
    const std::string tar = env.dir / "a.tar";
    struct Tool {
        const char* what;
        std::vector<std::string> argv;
    };
    const std::string py =
        "import tarfile,sys\n"
        "with tarfile.open(sys.argv[1],'w') as t:\n"
        "  t.add(sys.argv[2], arcname='.')\n";
    const Tool tools[] = {
        {"gnu", {"tar", "-cf", tar, "-C", src.string(), "."}},
        {"gnu-posix", {"tar", "--format=posix", "-cf", tar, "-C", src.string(), "."}},
        {"bsdtar", {"bsdtar", "-cf", tar, "-C", src.string(), "."}},
        {"python", {"python3", "-c", py, tar, src.string()}},
    };
    for (const auto& t : tools) {
        fs::remove(tar);
        ASSERT_TRUE(gtlib_test::Run(t.argv)) << t.what;
        ExpectUnpacksWhole(tar, t.what);
    }
}

// The client's road: a TAR packed as GZIP (by gzip, or by pigz in independent blocks), gunzipped, untarred.
TEST_F(UgtInteropTest, CompressedTarArchivesUnpackWhole) {
    const std::string tar = env.dir / "c.tar";
    ASSERT_TRUE(gtlib_test::Run({"tar", "--format=posix", "-cf", tar, "-C", src.string(), "."}));
    const std::vector<std::string> compressors[] = {{"gzip", "-c", "-9", tar}, {"pigz", "-c", "-i", "-b", "32", tar}};
    for (const auto& argv : compressors) {
        const std::string gz = env.dir / "c.tar.gz";
        ASSERT_TRUE(gtlib_test::Run(argv, gz)) << argv[0];
        const std::string out = Gunzip(gz, argv[0]);
        EXPECT_EQ(fs::path(out).filename(), "c.tar");
        EXPECT_TRUE(ReadFile(out) == ReadFile(tar)) << argv[0];
        ExpectUnpacksWhole(out, argv[0] + std::string("-tar"));
    }
}

// GZIP files as the tools make them: one member, several members (cat a.gz b.gz, gzip appending, pigz),
// an empty member, padding to a tape block; every one gives what gzip -d gives.
TEST_F(UgtInteropTest, GzipFilesOfEveryShapeGiveWhatGzipGives) {
    const auto random = gtlib_test::Sample("random", 200000);
    WriteFile(env.dir / "a", std::string(random.begin(), random.end()));
    WriteFile(env.dir / "b", ReadFile(src / "dir" / (std::string(120, 'a') + ".txt")));
    WriteFile(env.dir / "e", "");
    auto gz = [&](std::vector<std::string> argv) {
        const std::string out = env.dir / "tool.gz";
        EXPECT_TRUE(gtlib_test::Run(argv, out));
        return ReadFile(out);
    };
    const std::string a = gz({"gzip", "-c", env.dir / "a"});
    const std::string b = gz({"gzip", "-c", "-n", env.dir / "b"});
    const std::string e = gz({"gzip", "-c", env.dir / "e"});
    const std::string p = gz({"pigz", "-c", "-b", "64", env.dir / "a"});
    const std::string ab = a + b;
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"one member", a},
        {"two members", ab},
        {"an empty member after", a + e},
        {"only an empty member", e},
        {"pigz", p},
        {"pigz and gzip", p + b},
        {"padded to a tape block", ab + std::string(10240 - ab.size() % 10240, '\0')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = env.dir / "m.gz";
        WriteFile(file, c.bytes);
        ASSERT_TRUE(gtlib_test::Run({"gzip", "-t", file}));
        const std::string reference = env.dir / "reference";
        ASSERT_TRUE(gtlib_test::Run({"gzip", "-dc", file}, reference));
        const std::string out = Gunzip(file, "shape");
        EXPECT_TRUE(ReadFile(out) == ReadFile(reference)) << ReadFile(out).size() << " " << ReadFile(reference).size();
        fs::remove_all(env.dir / "gunzip-shape");
    }
}

// Where a file holds data, as the file system tells (SEEK_DATA / SEEK_HOLE): the start and end of each run.
std::vector<std::pair<off_t, off_t>> DataRuns(const std::string& path) {
    std::vector<std::pair<off_t, off_t>> runs;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return runs;
    for (off_t at = 0;;) {
        const off_t data = ::lseek(fd, at, SEEK_DATA);
        if (data < 0) break;
        const off_t hole = ::lseek(fd, data, SEEK_HOLE);
        runs.emplace_back(data, hole);
        at = hole;
    }
    ::close(fd);
    return runs;
}

// Files with holes in every form GNU tar and bsdtar write them: GNU tar's pax forms 0.0, 0.1 and 1.0 and its
// old "S" member, and bsdtar's default. Each comes back byte for byte, with its holes where the source has
// them, with the engine's plain options and with the main program's (quiet, overwrite, no folder names,
// "*.*"); a test run and the memory output see the same bytes. The files have more map entries than an
// old header and its first extension block hold, and than the first block of a 1.0 map; one ends in a
// hole, one in data.
TEST_F(UgtInteropTest, FilesWithHolesComeBackWithTheirHolesFromEveryTool) {
    const fs::path holes = env.dir / "holes";
    fs::create_directories(holes);
    auto make = [&](const std::string& name, int pieces, bool end_in_data) {
        const std::string path = holes / name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (int i = 0; i < pieces; ++i) {
            const std::string piece(3000 + 97 * i, static_cast<char>('a' + i % 26));
            ::pwrite(fd, piece.data(), piece.size(), static_cast<off_t>(i) * 200000 + 5000 * (i % 3));
        }
        const off_t size = static_cast<off_t>(pieces) * 200000 + 1000000;
        if (end_in_data) ::pwrite(fd, "fine", 4, size - 4);
        else ::ftruncate(fd, size);
        ::close(fd);
        return path;
    };
    const std::vector<std::string> files = {make("sp.bin", 40, false), make("tail.bin", 3, true)};
    for (const auto& f : files) {
        off_t data = 0;
        for (const auto& [from, to] : DataRuns(f)) data += to - from;
        if (data >= static_cast<off_t>(fs::file_size(f)) / 2) GTEST_SKIP() << "this file system keeps no holes";
    }
    const std::string tar = env.dir / "h.tar";
    struct Tool {
        const char* what;
        std::vector<std::string> argv;
    };
    const Tool tools[] = {
        {"gnu pax 0.0", {"tar", "--format=posix", "--sparse", "--sparse-version=0.0", "-cf", tar}},
        {"gnu pax 0.1", {"tar", "--format=posix", "--sparse", "--sparse-version=0.1", "-cf", tar}},
        {"gnu pax 1.0", {"tar", "--format=posix", "--sparse", "--sparse-version=1.0", "-cf", tar}},
        {"gnu old", {"tar", "--format=gnu", "--sparse", "-cf", tar}},
        {"bsdtar", {"bsdtar", "-cf", tar}},
    };
    for (const auto& t : tools) {
        SCOPED_TRACE(t.what);
        fs::remove(tar);
        std::vector<std::string> argv = t.argv;
        argv.insert(argv.end(), {"-C", holes.string(), "sp.bin", "tail.bin"});
        ASSERT_TRUE(gtlib_test::Run(argv));
        for (bool program_options : {false, true}) {
            SCOPED_TRACE(program_options ? "main program's options" : "plain options");
            const fs::path out = env.dir / "out-holes";
            fs::remove_all(out);
            fs::create_directories(out);
            UgtCommand u(UGT_UNTAR);
            u.file = tar;
            u.dest = out;
            if (program_options) {
                u.filespec = "*.*";
                u.c.bOverWriteFlag = -1;
                u.c.bNoDirectoryNames = -1;
                u.c.bAllQuiet = -1;
                u.c.dwUGTSubOptions = UGTSO_OVERWRITE_RO;
            }
            ASSERT_EQ(u.Run(), 0);
            EXPECT_EQ(u.c.lReturnCount, 2);
            std::vector<std::string> names;
            for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename());
            std::sort(names.begin(), names.end());
            EXPECT_EQ(names, (std::vector<std::string>{"sp.bin", "tail.bin"}));
            for (const auto& f : files) {
                const std::string got = out / fs::path(f).filename();
                EXPECT_TRUE(ReadFile(got) == ReadFile(f)) << f;
                EXPECT_EQ(DataRuns(got), DataRuns(f)) << f;
            }
        }
        // The same member tested and read into memory: the holes are zero bytes there.
        UgtCommand check(UGT_UNTAR);
        check.file = tar;
        check.c.TestFlag = -1;
        EXPECT_EQ(check.Run(), 0);
        const std::string want = ReadFile(files[1]);
        std::vector<unsigned char> block(want.size() + 1, 0xEE);
        UgtCommand m(UGT_UNTAR_FILETOMEM);
        m.file = tar;
        m.filespec = "tail.bin";
        m.c.lpMemBlock = block.data();
        m.c.lMemBlockSize = static_cast<int32_t>(want.size());
        ASSERT_EQ(m.Run(), 0);
        EXPECT_EQ(m.c.lMemBlockSize, static_cast<int32_t>(want.size()));
        EXPECT_TRUE(std::string(block.begin(), block.end() - 1) == want);
    }
}

}  // namespace
}  // namespace gtlib
