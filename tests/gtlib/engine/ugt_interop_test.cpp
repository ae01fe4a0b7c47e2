// Archives made at test time by the tools wholesalers use (GNU tar in its own and its POSIX format, bsdtar,
// Python's tarfile in its default pax format, gzip and pigz), unpacked through the decompression engine
// and compared with what went in, file by file and byte by byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
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

}  // namespace
}  // namespace gtlib
