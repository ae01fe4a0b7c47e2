#include "gtlib/engine/tempfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "gtlib/engine/gt_state.h"
#include "tests/gtlib/engine/test_util.h"

namespace gtlib {
namespace {

namespace fs = std::filesystem;

TEST(TempFile, PrefixFromThreadId) {
    EXPECT_EQ(TempFilePrefix(0), "G00");
    EXPECT_EQ(TempFilePrefix(36), "G_0");
    EXPECT_EQ(TempFilePrefix(37), "G01");
    EXPECT_EQ(TempFilePrefix(37 * 11 + 10), "GAB");
}

// A temporary file is created (with its folders) and every name is new.
TEST(TempFile, MakeTempFileName) {
    test::ScratchDir dir;
    const std::string folder = (dir.path() / "a" / "b").string();
    std::string first, second;
    ASSERT_EQ(MakeTempFileName(folder, first), GTE_OK);
    ASSERT_EQ(MakeTempFileName(folder + "/", second), GTE_OK);
    EXPECT_NE(first, second);
    EXPECT_TRUE(fs::exists(first));
    EXPECT_EQ(fs::path(first).parent_path(), fs::path(folder));
    EXPECT_EQ(fs::path(first).filename().string().substr(0, 1), "G");
    EXPECT_EQ(fs::path(first).extension(), ".TMP");
    // A folder that cannot be made: a file stands in its way.
    test::WriteFile(dir.path() / "file", {1});
    std::string none;
    EXPECT_EQ(MakeTempFileName((dir.path() / "file" / "sub").string(), none), GTE_CREATE);
    EXPECT_TRUE(none.empty());
}

TEST(TempFile, CreateDirectoryPath) {
    test::ScratchDir dir;
    EXPECT_EQ(CreateDirectoryPath((dir.path() / "x" / "y" / "z.gz").string()), GTE_OK);
    EXPECT_TRUE(fs::is_directory(dir.path() / "x" / "y"));
    EXPECT_EQ(CreateDirectoryPath((dir.path().string() + "\\w\\v.gz")), GTE_OK);  // "\" read as a separator
    EXPECT_TRUE(fs::is_directory(dir.path() / "w"));
    test::WriteFile(dir.path() / "f", {1});
    EXPECT_EQ(CreateDirectoryPath((dir.path() / "f" / "g" / "h.gz").string()), GTE_CREATE);
}

// The temporary file takes the target's place, whether the target exists or not.
TEST(TempFile, ReplaceOriginalFile) {
    test::ScratchDir dir;
    GtEngineState st;
    for (bool targetExists : {false, true}) {
        const fs::path tmp = dir.path() / "G00AAAA.TMP", target = dir.path() / "out.gz";
        test::WriteFile(tmp, test::ToBytes("nuovo"));
        if (targetExists) test::WriteFile(target, test::ToBytes("vecchio contenuto"));
        ASSERT_EQ(ReplaceOriginalFile(st, target.string(), tmp.string()), GTE_OK);
        EXPECT_EQ(test::ReadFile(target), test::ToBytes("nuovo"));
        EXPECT_FALSE(fs::exists(tmp));
    }
    EXPECT_NE(ReplaceOriginalFile(st, (dir.path() / "t").string(), (dir.path() / "missing.TMP").string()), GTE_OK);
}

// Copies in blocks; a cancel between blocks stops it with GTE_ABORT; a bad source gives GTE_READ.
TEST(TempFile, CopyFileData) {
    test::ScratchDir dir;
    const test::Bytes data = test::RandomBytes(50000, 5);
    test::WriteFile(dir.path() / "in", data);
    struct Case {
        bool cancel;
        std::int64_t length;
        int expected;
        std::size_t copied;
    };
    const Case cases[] = {{false, -1, GTE_OK, data.size()}, {false, 10000, GTE_OK, 10000}, {true, -1, GTE_ABORT, 8192}};
    for (const Case& c : cases) {
        GtEngineState st;
        if (c.cancel)
            st.majorStatus = [](const char*, std::int32_t, std::int32_t, void*) -> std::int32_t { return 1; };
        const int in = ::open((dir.path() / "in").c_str(), O_RDONLY);
        const int out = ::open((dir.path() / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_EQ(CopyFileData(st, in, out, c.length), c.expected);
        ::close(in);
        ::close(out);
        const test::Bytes got = test::ReadFile(dir.path() / "out");
        EXPECT_EQ(got.size(), c.copied);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));
    }
    GtEngineState st;
    const int folder = ::open(dir.path().c_str(), O_RDONLY);
    const int out = ::open((dir.path() / "out").c_str(), O_WRONLY | O_TRUNC);
    EXPECT_EQ(CopyFileData(st, folder, out), GTE_READ);
    ::close(folder);
    ::close(out);
}

}  // namespace
}  // namespace gtlib
