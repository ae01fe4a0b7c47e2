#include "gtlib/engine/inflate_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/gtlib/engine/inflate_test_util.h"

namespace {

using gtlib_test::Bytes;
using namespace gtlib;
namespace fs = std::filesystem;

std::uint32_t Crc(const Bytes& b) { return static_cast<std::uint32_t>(crc32(0, b.data(), static_cast<uInt>(b.size()))); }
std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// A member on disk: its compressed data in a file, and a job reading them.
class OutputTest : public ::testing::Test {
protected:
    void SetUpMember(const Bytes& data, int method = 8, std::size_t lead = 0) {
        data_ = data;
        packed_ = method == 8 ? gtlib_test::ZlibDeflateRaw(data, 6, Z_DEFAULT_STRATEGY) : data;
        Bytes file(lead, 'H');  // header bytes in front of the data
        file.insert(file.end(), packed_.begin(), packed_.end());
        gtlib_test::WriteFile(dir_ / "archive", file);
        fd_ = ::open((dir_ / "archive").c_str(), O_RDONLY);
        ::lseek(fd_, static_cast<off_t>(lead), SEEK_SET);
        job_ = InflateJob{};
        job_.method = method;
        job_.inputFd = fd_;
        job_.compressedLeft = packed_.size();
        job_.expectedSize = data.size();
        job_.storedCrc = Crc(data);
        job_.mtime = 1000000000;
        job_.tarMember = method == 0;
    }
    void TearDown() override {
        if (fd_ >= 0) ::close(fd_);
    }
    std::vector<std::string> Listing() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_.path())) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    gtlib_test::ScratchDir dir_;
    Bytes data_, packed_;
    int fd_ = -1;
    InflateJob job_;
};

TEST_F(OutputTest, FileOutputGetsDataTimeAndAttributes) {
    SetUpMember(gtlib_test::Sample("text", 300000));
    job_.output = OutputKind::kFile;
    job_.attributes = ATTR_READONLY;
    const std::string out = (dir_ / "out.txt");
    ASSERT_EQ(PrepareOutputFile(job_, out), UGTE_OK);
    EXPECT_EQ(InflateItem(job_), UGTE_OK);
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(gtlib_test::ReadFile(out), data_);
    EXPECT_EQ(st.st_mtime, 1000000000);
    EXPECT_EQ(st.st_atime, 1000000000);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"archive", "out.txt"}));  // no temporary file left
    EXPECT_EQ(job_.crc, Crc(data_));
}

// LF becomes CR LF in the file while the CRC is checked on the data as decoded.
TEST_F(OutputTest, LfToCrlfConvertsAfterTheCrc) {
    SetUpMember(Bytes{'a', '\n', 'b', '\n', '\n', 'c'});
    job_.output = OutputKind::kFile;
    job_.lfToCrlf = true;
    ASSERT_EQ(PrepareOutputFile(job_, (dir_ / "t")), UGTE_OK);
    EXPECT_EQ(InflateItem(job_), UGTE_OK);
    EXPECT_EQ(Str(gtlib_test::ReadFile(dir_ / "t")), "a\r\nb\r\n\r\nc");
}

TEST_F(OutputTest, StoredMemberIsCopiedUnchanged) {
    SetUpMember(gtlib_test::Sample("random", 100000), 0, 700);
    job_.output = OutputKind::kFile;
    ASSERT_EQ(PrepareOutputFile(job_, (dir_ / "s")), UGTE_OK);
    EXPECT_EQ(InflateItem(job_), UGTE_OK);
    EXPECT_EQ(gtlib_test::ReadFile(dir_ / "s"), data_);
}

// The test mode writes nothing and still finds a CRC mismatch.
TEST_F(OutputTest, TestModeChecksTheCrc) {
    SetUpMember(gtlib_test::Sample("text", 5000));
    job_.output = OutputKind::kTest;
    EXPECT_EQ(InflateItem(job_), UGTE_OK);
    SetUpMember(gtlib_test::Sample("text", 5000));
    job_.output = OutputKind::kTest;
    job_.storedCrc ^= 1;
    EXPECT_EQ(InflateItem(job_), UGTE_BADCRC);
    EXPECT_EQ(Listing(), std::vector<std::string>{"archive"});
}

// A failed extraction leaves the existing file as it was and no temporary file behind; with leave-partial
// the partial data take its place.
TEST_F(OutputTest, FailedExtractionKeepsTheOldFile) {
    struct Case {
        const char* name;
        int method;
        std::size_t cut;  // compressed bytes removed from the end
        std::uint32_t crc_flip;
        int want;
    };
    const Case cases[] = {
        {"truncated deflate", 8, 100, 0, UGTE_EOF},
        {"bad crc", 8, 0, 1, UGTE_BADCRC},
        {"truncated stored member", 0, 100, 0, UGTE_STRUCT},
    };
    for (const auto& c : cases) {
        for (bool leave : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (leave ? " leave-partial" : ""));
            gtlib_test::WriteFile(dir_ / "old", std::string("old contents"));
            SetUpMember(gtlib_test::Sample("text", 50000), c.method);
            if (c.cut) {
                packed_.resize(packed_.size() - c.cut);
                gtlib_test::WriteFile(dir_ / "archive", packed_);
                ::lseek(fd_, 0, SEEK_SET);
                // the member still claims its full size: the input ends first
                job_.compressedLeft = packed_.size() + c.cut;
            }
            job_.storedCrc ^= c.crc_flip;
            job_.output = OutputKind::kFile;
            job_.leavePartial = leave;
            ASSERT_EQ(PrepareOutputFile(job_, (dir_ / "old")), UGTE_OK);
            EXPECT_EQ(InflateItem(job_), c.want);
            const Bytes now = gtlib_test::ReadFile(dir_ / "old");
            if (leave) {
                EXPECT_NE(Str(now), "old contents");
                EXPECT_TRUE(std::equal(now.begin(), now.end(), data_.begin()));
            } else {
                EXPECT_EQ(Str(now), "old contents");
            }
            EXPECT_EQ(Listing(), (std::vector<std::string>{"archive", "old"}));
        }
    }
}

// A link at the destination is replaced by the file; its target is not touched.
TEST_F(OutputTest, LinkAtTheDestinationIsReplaced) {
    SetUpMember(gtlib_test::Sample("text", 1000));
    gtlib_test::WriteFile(dir_ / "target", std::string("target"));
    fs::create_symlink(dir_ / "target", dir_ / "link");
    job_.output = OutputKind::kFile;
    ASSERT_EQ(PrepareOutputFile(job_, (dir_ / "link")), UGTE_OK);
    EXPECT_EQ(InflateItem(job_), UGTE_OK);
    EXPECT_FALSE(fs::is_symlink(dir_ / "link"));
    EXPECT_EQ(gtlib_test::ReadFile(dir_ / "link"), data_);
    EXPECT_EQ(Str(gtlib_test::ReadFile(dir_ / "target")), "target");
}

TEST_F(OutputTest, ReadOnlyFileNeedsOverwriteReadOnly) {
    SetUpMember(gtlib_test::Sample("text", 1000));
    gtlib_test::WriteFile(dir_ / "ro", std::string("keep"));
    fs::permissions(dir_ / "ro", fs::perms::owner_read);
    job_.output = OutputKind::kFile;
    EXPECT_EQ(PrepareOutputFile(job_, (dir_ / "ro")), UGTE_CREATE);
    job_.overwriteReadOnly = true;
    ASSERT_EQ(PrepareOutputFile(job_, (dir_ / "ro")), UGTE_OK);
    EXPECT_EQ(InflateItem(job_), UGTE_OK);
    EXPECT_EQ(gtlib_test::ReadFile(dir_ / "ro"), data_);
    fs::create_directory(dir_ / "d");
    EXPECT_EQ(PrepareOutputFile(job_, (dir_ / "d")), UGTE_CREATE);
}

TEST_F(OutputTest, DiskFullGivesDiskFull) {
    for (bool crlf : {false, true}) {
        SetUpMember(gtlib_test::Sample("text", 100000));
        job_.output = OutputKind::kFile;
        job_.lfToCrlf = crlf;
        job_.outputFd = ::open("/dev/full", O_WRONLY);
        ASSERT_GE(job_.outputFd, 0);
        EXPECT_EQ(InflateItem(job_), UGTE_DISKFULL) << crlf;
        EXPECT_EQ(job_.outputFd, -1);
    }
}

TEST_F(OutputTest, UnknownMethodWritesNothing) {
    SetUpMember(gtlib_test::Sample("text", 1000));
    job_.method = 9;
    job_.output = OutputKind::kFile;
    ASSERT_EQ(PrepareOutputFile(job_, (dir_ / "x")), UGTE_OK);
    EXPECT_EQ(InflateItem(job_), UGTE_UNKNOWN);
    EXPECT_EQ(Listing(), std::vector<std::string>{"archive"});
}

// Memory output: offset and block size pick a window of the data; no byte goes outside the block.
TEST_F(OutputTest, MemoryOutputTakesTheWindowAsked) {
    struct Case {
        std::uint32_t offset, size;
        std::size_t data_len;
        int want;
        std::size_t want_len;
    };
    const Case cases[] = {
        {10, 5, 100000, 1, 5},      // bytes 10 to 14, no CRC check
        {0, 200000, 100000, 1, 100000},
        {0, 1000, 100000, 1, 1000}, // block smaller than the member
        {99990, 100, 100000, 0, 10},  // the data end before the block is full
        {100000, 100, 100000, 1, 0},  // offset at the end: nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.offset) + "/" + std::to_string(c.size));
        SetUpMember(gtlib_test::Sample("text", c.data_len));
        Bytes block(c.size + 16, 0xEE);
        job_.output = OutputKind::kMemory;
        job_.memBlock = block.data();
        job_.memBlockSize = c.size;
        job_.startingOffset = c.offset;
        EXPECT_EQ(InflateItem(job_), c.want);
        EXPECT_EQ(job_.memProduced, c.want_len);
        EXPECT_TRUE(std::equal(block.begin(), block.begin() + static_cast<long>(c.want_len), data_.begin() + c.offset));
        EXPECT_TRUE(std::all_of(block.begin() + c.size, block.end(), [](std::uint8_t b) { return b == 0xEE; }));
    }
}

// Memory to memory: input and output through the host's procedure, with its answers.
TEST_F(OutputTest, MemoryToMemoryUsesTheHostProcedure) {
    const Bytes data = gtlib_test::Sample("text", 200000);
    const Bytes packed = gtlib_test::ZlibDeflateRaw(data, 9, Z_DEFAULT_STRATEGY);
    for (int final_answer : {MEM_CONTINUE, MEM_CANCEL}) {
        std::size_t pos = 0;
        Bytes got;
        InflateJob job;
        job.output = OutputKind::kMemToMem;
        job.compressedLeft = UINT32_MAX;
        job.expectedSize = UINT32_MAX;
        job.memTransfer = [&](int dir, std::uint8_t* buf, std::uint32_t* size, std::uint64_t, std::uint64_t) -> int {
            if (dir == MEM_READ_DATA) {
                const std::uint32_t n = std::min<std::uint32_t>({*size, 3000, static_cast<std::uint32_t>(packed.size() - pos)});
                std::copy_n(packed.data() + pos, n, buf);
                pos += n;
                *size = n;
                return pos == packed.size() ? MEM_DONE : MEM_CONTINUE;
            }
            got.insert(got.end(), buf, buf + *size);
            return got.size() > 100000 ? final_answer : MEM_CONTINUE;
        };
        const int r = InflateItem(job);
        if (final_answer == MEM_CONTINUE) {
            EXPECT_EQ(r, UGTE_OK);
            EXPECT_EQ(got, data);
        } else {
            EXPECT_EQ(r, UGTE_ABORT);
        }
    }
}

// A host that keeps answering "continue" without data ends the input; so do errors and cancels.
TEST_F(OutputTest, MemoryToMemoryInputEndsOnEveryAnswer) {
    const Bytes packed = gtlib_test::ZlibDeflateRaw(gtlib_test::Sample("text", 50000), 6, Z_DEFAULT_STRATEGY);
    struct Case {
        int answer;
        int want;
    };
    for (const auto& c : {Case{MEM_CONTINUE, UGTE_STRUCT}, Case{MEM_ERROR, UGTE_STRUCT}, Case{MEM_CANCEL, UGTE_ABORT},
                          Case{77, UGTE_STRUCT}}) {
        std::size_t calls = 0;
        InflateJob job;
        job.output = OutputKind::kMemToMem;
        job.compressedLeft = UINT32_MAX;
        job.memTransfer = [&](int dir, std::uint8_t* buf, std::uint32_t* size, std::uint64_t, std::uint64_t) -> int {
            if (dir == MEM_WRITE_DATA) return MEM_CONTINUE;
            // Half of the stream, then the answer under test with nothing.
            if (calls++ == 0) {
                *size = static_cast<std::uint32_t>(std::min<std::size_t>(*size, packed.size() / 2));
                std::copy_n(packed.data(), *size, buf);
                return MEM_CONTINUE;
            }
            *size = 0;
            return c.answer;
        };
        EXPECT_EQ(InflateItem(job), c.want) << c.answer;
        EXPECT_LE(calls, 3u);
    }
}

TEST_F(OutputTest, StreamOutputOffersPiecesAndHonoursDone) {
    SetUpMember(gtlib_test::Sample("text", 300000));
    Bytes got;
    job_.output = OutputKind::kStream;
    job_.startingOffset = 7;
    job_.memTransfer = [&](int dir, std::uint8_t* buf, std::uint32_t* size, std::uint64_t, std::uint64_t) -> int {
        EXPECT_EQ(dir, MEM_WRITE_DATA);
        got.insert(got.end(), buf, buf + *size);
        return MEM_CONTINUE;
    };
    EXPECT_EQ(InflateItem(job_), UGTE_OK);
    EXPECT_EQ(got, Bytes(data_.begin() + 7, data_.end()));
    SetUpMember(gtlib_test::Sample("text", 300000));
    job_.output = OutputKind::kStream;
    job_.memTransfer = [&](int, std::uint8_t*, std::uint32_t*, std::uint64_t, std::uint64_t) -> int { return MEM_DONE; };
    EXPECT_EQ(InflateItem(job_), UGTE_DISKFULL);
}

TEST_F(OutputTest, CancelFromProgressAbortsAndRemovesTheFile) {
    SetUpMember(gtlib_test::Sample("text", 500000));
    job_.output = OutputKind::kFile;
    job_.progress = [](std::uint64_t total) { return total < 100000; };
    ASSERT_EQ(PrepareOutputFile(job_, (dir_ / "c")), UGTE_OK);
    EXPECT_EQ(InflateItem(job_), UGTE_ABORT);
    EXPECT_EQ(Listing(), std::vector<std::string>{"archive"});
}

// The decryption hook sees exactly the member's bytes, in order.
TEST_F(OutputTest, DecryptionHookGetsTheMemberBytes) {
    Bytes data = gtlib_test::Sample("text", 40000);
    SetUpMember(data, 0);
    for (auto& b : packed_) b ^= 0x5A;
    gtlib_test::WriteFile(dir_ / "archive", packed_);
    ::lseek(fd_, 0, SEEK_SET);
    job_.decrypt = [](std::uint8_t* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) p[i] ^= 0x5A;
    };
    job_.output = OutputKind::kFile;
    ASSERT_EQ(PrepareOutputFile(job_, (dir_ / "plain")), UGTE_OK);
    EXPECT_EQ(InflateItem(job_), UGTE_OK);
    EXPECT_EQ(gtlib_test::ReadFile(dir_ / "plain"), data);
}

}  // namespace
