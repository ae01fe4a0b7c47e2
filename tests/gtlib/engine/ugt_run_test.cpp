// Runs of the decompression engine as a whole: the per-thread state slot, busy refusal, cancels from the
// status procedures, encrypted members, and the log files of a run.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine_test_support.h"
#include "gtlib/engine/crypt.h"
#include "gtlib/engine/ugt_engine.h"
#include "ugt_test_support.h"

namespace gtlib {
namespace {

using test::Exists;
using test::GzipBuilder;
using test::ReadFile;
using test::UgtCommand;
using test::WriteFile;

class UgtRunTest : public ::testing::Test {
protected:
    test::LogEnvironment env;
    std::string Path(const std::string& name) const { return env.dir / name; }
    std::string Out() const { return env.dir / "out"; }
    std::string BigGzip(const std::string& name) {
        const auto data = gtlib_test::Sample("text", 400000);
        WriteFile(Path(name), GzipBuilder::With(0x08, "big.txt").Build(std::string(data.begin(), data.end())));
        return Path(name);
    }
};

// A status procedure that runs something of its own the first time it is called.
struct Reentry {
    std::function<void()> inner;
    int calls = 0;
    static int32_t Proc(const char*, int32_t, int32_t, void* user) {
        auto* self = static_cast<Reentry*>(user);
        if (self->calls++ == 0 && self->inner) self->inner();
        return 0;
    }
};

TEST_F(UgtRunTest, SecondActionOnTheSameStateIsRefusedAndTheFirstCarriesOn) {
    const std::string big = BigGzip("big.gz");
    UgtEngineState* state = UgtNewState();
    UgtCommand inner;
    inner.file = big;
    inner.dest = Out() + "/inner";
    int32_t innerResult = -1;
    Reentry re;
    re.inner = [&] { innerResult = inner.Run(state); };
    UgtCommand outer;
    outer.file = big;
    outer.dest = Out();
    outer.c.lpMinorStatus = &Reentry::Proc;
    outer.c.lpMinorUserData = &re;
    EXPECT_EQ(outer.Run(state), 0);
    EXPECT_EQ(innerResult, UGTE_BUSY);
    EXPECT_EQ(inner.Errors(), std::vector<std::string>{"Selbrik-GT Error Busy, can't re-enter now \n"});
    EXPECT_TRUE(outer.Errors().empty());
    EXPECT_EQ(ReadFile(Out() + "/big.txt").size(), 400000u);
    EXPECT_FALSE(Exists(Out() + "/inner"));
    UgtDeleteState(state);
}

TEST_F(UgtRunTest, AnotherControlsActionInsideAnEventRunsAndTheOuterKeepsItsState) {
    const std::string big = BigGzip("big.gz");
    UgtEngineState* a = UgtNewState();
    UgtEngineState* b = UgtNewState();
    UgtCommand other;
    other.file = big;
    other.dest = Out() + "/other";
    UgtCommand again;  // the outer control's state again, still busy with the outer action
    again.file = big;
    again.dest = Out() + "/again";
    int32_t otherResult = -1, againResult = -1;
    Reentry re;
    re.inner = [&] {
        otherResult = other.Run(b);
        againResult = again.Run(a);
    };
    UgtCommand outer;
    outer.file = big;
    outer.dest = Out();
    outer.c.lpMinorStatus = &Reentry::Proc;
    outer.c.lpMinorUserData = &re;
    EXPECT_EQ(outer.Run(a), 0);
    EXPECT_EQ(otherResult, 0);
    EXPECT_EQ(againResult, UGTE_BUSY);
    EXPECT_TRUE(Exists(Out() + "/other/big.txt"));
    EXPECT_TRUE(Exists(Out() + "/big.txt"));
    // A plain call without a control gets a state of its own.
    UgtCommand plain;
    plain.file = big;
    plain.dest = Out() + "/plain";
    EXPECT_EQ(plain.Run(), 0);
    UgtDeleteState(a);
    UgtDeleteState(b);
    EXPECT_EQ(UgtRun(nullptr, &plain.c, env.context), UGTE_MEM);
}

TEST_F(UgtRunTest, ThreadsRunWithTheirOwnStates) {
    const std::string big = BigGzip("big.gz");
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            UgtEngineState* state = i % 2 ? UgtNewState() : nullptr;  // half with a control's state, half without
            UgtCommand u;
            u.useHost = false;
            u.file = big;
            u.dest = Out() + "/t" + std::to_string(i);
            if (u.Run(state) == 0) ++ok;
            UgtDeleteState(state);
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(ok.load(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ReadFile(Out() + "/t" + std::to_string(i) + "/big.txt").size(), 400000u);
}

TEST_F(UgtRunTest, MinorCancelStopsOnlyWithTheSubOption) {
    const std::string big = BigGzip("big.gz");
    auto cancelAlways = [](const char*, int32_t, int32_t, void*) -> int32_t { return 1; };
    UgtCommand ignored;
    ignored.file = big;
    ignored.dest = Out();
    ignored.c.lpMinorStatus = cancelAlways;
    EXPECT_EQ(ignored.Run(), 0);
    UgtCommand cancelled;
    cancelled.file = big;
    cancelled.dest = Out() + "/c";
    cancelled.c.lpMinorStatus = cancelAlways;
    cancelled.c.dwUGTSubOptions = UGTSO_MINORCANCEL;
    EXPECT_EQ(cancelled.Run(), UGTE_ABORT);
    EXPECT_FALSE(Exists(Out() + "/c/big.txt"));
}

TEST_F(UgtRunTest, MajorStatusCountsItemsAndItsAnswerStopsTheRun) {
    std::vector<std::string> names = {"a", "b", "c"};
    std::vector<std::string> argv = {"tar", "-cf", Path("x.tar"), "-C", Path("src")};
    for (const auto& n : names) {
        WriteFile(Path("src/" + n), n);
        argv.push_back(n);
    }
    ASSERT_TRUE(gtlib_test::Run(argv));
    struct Seen {
        std::vector<std::string> texts;
        std::vector<int32_t> percents;
        int stopAt = -1;
        static int32_t Proc(const char* text, int32_t percent, int32_t type, void* user) {
            auto* self = static_cast<Seen*>(user);
            self->texts.emplace_back(text);
            self->percents.push_back(percent);
            EXPECT_EQ(type, STYP_FILETOFILE_UNTAR);
            return static_cast<int>(self->texts.size()) == self->stopAt;
        }
    } seen, stop;
    UgtCommand u(UGT_UNTAR);
    u.file = Path("x.tar");
    u.dest = Out();
    u.filespec = "*.*";
    u.c.lpMajorStatus = &Seen::Proc;
    u.c.lpMajorUserData = &seen;
    ASSERT_EQ(u.Run(), 0);
    EXPECT_EQ(seen.texts, (std::vector<std::string>{"Item 1 of 3", "Item 2 of 3", "Item 3 of 3"}));
    EXPECT_EQ(seen.percents, (std::vector<int32_t>{33, 66, 100}));
    stop.stopAt = 2;
    UgtCommand v(UGT_UNTAR);
    v.file = Path("x.tar");
    v.dest = Out() + "/v";
    v.filespec = "*.*";
    v.c.lpMajorStatus = &Seen::Proc;
    v.c.lpMajorUserData = &stop;
    EXPECT_EQ(v.Run(), UGTE_ABORT);
    EXPECT_TRUE(Exists(Out() + "/v/a"));
    EXPECT_FALSE(Exists(Out() + "/v/b"));
}

// An encrypted member as the compression engine writes it: flag 0x20, the 12-byte header after the name,
// the deflate data encrypted byte by byte.
std::string EncryptedMember(const std::string& data, const std::string& code) {
    GzipBuilder b = GzipBuilder::With(0x08, "secret.txt");
    std::string plain = b.Build(data);
    const std::size_t dataStart = 10 + b.name.size() + 1;
    std::string header = plain.substr(0, dataStart);
    header[3] = static_cast<char>(header[3] | 0x20);
    std::string body = plain.substr(dataStart, plain.size() - dataStart - 8);
    CryptKeys keys;
    uint8_t crypt[kCryptHeaderSize];
    unsigned seed = 12345;
    BuildEncryptionHeader(code, [&] { return seed = seed * 1103515245u + 12345u; }, keys, crypt);
    keys.Encrypt(reinterpret_cast<uint8_t*>(body.data()), body.size());
    return header + std::string(reinterpret_cast<char*>(crypt), kCryptHeaderSize) + body + plain.substr(plain.size() - 8);
}

TEST_F(UgtRunTest, EncryptedMembersNeedTheRightCode) {
    const auto data = gtlib_test::Sample("text", 30000);
    WriteFile(Path("e.gz"), EncryptedMember(std::string(data.begin(), data.end()), "parola segreta"));
    struct Case {
        bool flag;
        std::string code;
        int32_t result;
    };
    const Case cases[] = {{true, "parola segreta", 0}, {true, "parola sbagliata", UGTE_BADKEY}, {false, "", UGTE_BADKEY}};
    for (const auto& c : cases) {
        test::ScratchDir out;
        UgtCommand u;
        u.file = Path("e.gz");
        u.dest = out.path();
        u.c.bDecryptFlag = c.flag;
        u.code = c.code;
        EXPECT_EQ(u.Run(), c.result) << c.code;
        EXPECT_EQ(Exists(out / "secret.txt"), c.result == 0);
        if (c.result == 0) {
            EXPECT_EQ(ReadFile(out / "secret.txt"), std::string(data.begin(), data.end()));
        }
    }
    UgtCommand info(UGT_GETGZIPINFO);
    info.file = Path("e.gz");
    info.c.gzipInfo = &info.gzipInfo;
    ASSERT_EQ(info.Run(), 0);
    EXPECT_TRUE(info.gzipInfo.dwAttr & ATTR_ENCRYPT);
}

TEST_F(UgtRunTest, DiagnosticRunWritesDumpMessagesAndResultLine) {
    WriteFile(Path("bad.gz"), std::string("\x1f\x8b\x08\x08\0\0\0\0\0\x03x.txt\0garbage!!garbage", 30));
    UgtCommand u;
    u.file = Path("bad.gz");
    u.dest = Out();
    u.c.bDiagnostic = -1;
    u.c.bAllQuiet = -1;
    const UGTCMDSTRUCT asPassed = u.Prepare();
    EXPECT_EQ(u.Run(), UGTE_EOF);
    EXPECT_EQ(env.Diagnostic(), DumpText(env.context, asPassed) + "\r\nSelbrik-GT Error Unexpected end of file (Problem extracting file(s))\n\r\n");
    char address[32];
    std::snprintf(address, sizeof address, "%lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(u.c.lpszReturnString)));
    EXPECT_EQ(env.Events(), std::string("Selbrik-GT Response: 1 Unexpected end of file \r\nlReturnCount: 0\r\n"
                                        "lpszReturnString: ") + address + " \r\n");
}

TEST_F(UgtRunTest, WrongRecordSizeWritesOnlyTheDumpAndTheResultLine) {
    UgtCommand u;
    u.file = Path("x.gz");
    u.c.bDiagnostic = -1;
    u.c.ulugtStructSize = 172;
    const UGTCMDSTRUCT asPassed = u.Prepare();
    EXPECT_EQ(u.Run(), UGTE_PARMS);
    EXPECT_TRUE(u.host.calls.empty());
    EXPECT_EQ(env.Diagnostic(), DumpText(env.context, asPassed));
    EXPECT_EQ(env.Events(), "Selbrik-GT Response: 11 Parameters missing or bad \r\nlReturnCount: 0\r\nlpszReturnString: 0 \r\n");
}

}  // namespace
}  // namespace gtlib

namespace gtlib {
namespace {

TEST(UgtBlockTest, StateInAControlsOwnZeroFilledBlock) {
    test::LogEnvironment env;
    WriteFile(env.dir / "b.gz", GzipBuilder::With(0x08, "b.txt").Build("block"));
    void* block = std::calloc(1, UgtStateSize());
    UgtInitState(block);
    UgtCommand u;
    u.file = env.dir / "b.gz";
    u.dest = env.dir / "out";
    u.Prepare();
    EXPECT_EQ(UgtRunBlock(block, env.context, &u.c), 0);
    EXPECT_EQ(ReadFile(env.dir / "out/b.txt"), "block");
    EXPECT_EQ(UgtRunBlock(nullptr, env.context, &u.c), UGTE_SKIP);  // a state of its own; the file exists and no one is there to say Yes
    UgtReleaseState(block);
    std::free(block);
}

}  // namespace
}  // namespace gtlib
