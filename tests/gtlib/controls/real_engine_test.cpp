// ugtactx with the real decompression engine behind it, for what only the two together show: the busy
// refusal of a second action started from an event handler, and another control's action run from there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "engine_fixture.h"
#include "run_program.h"

using namespace morven::com;
namespace fs = std::filesystem;

namespace {
class RealEngine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fixture::moduleLoaded);
        char tmpl[] = "/tmp/ugtreal-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr) << "mkdtemp: " << std::strerror(errno);
        dir = tmpl;
        fs::create_directories(dir / "src");
        fs::create_directories(dir / "out");
        std::ofstream(dir / "src" / "a.txt") << "alfa\n";
        std::ofstream(dir / "src" / "b.txt") << "beta\n";
        ASSERT_EQ(RunProgram("tar", {"-C", (dir / "src").string(), "-cf", (dir / "n.tar").string(), "a.txt", "b.txt"})
                      .status,
                  0);
        ASSERT_EQ(RunProgram("gzip", {"-k", (dir / "src" / "a.txt").string()}).status, 0);
    }
    void TearDown() override {
        if (!dir.empty()) fs::remove_all(dir);
    }
    static ComPtr<sbgt::Ugtactx> New() { return ComPtr<sbgt::Ugtactx>::Adopt(sbgt::Ugtactx::Create()); }
    static void Set(IDispatch* d, const std::string& n, const Variant& v) { ASSERT_EQ(PutPropertyByName(d, n, v), S_OK) << n; }
    static std::int32_t Code(IDispatch* d) {
        Variant v;
        GetPropertyByName(d, "ErrorCode", &v);
        return v.lVal;
    }
    fs::path dir;
};
}  // namespace

TEST_F(RealEngine, SecondActionFromAnEventOfTheSameControlIsRefusedBusy) {
    auto u = New();
    Set(u.get(), "GTFile", Variant::Str((dir / "n.tar").string()));
    Set(u.get(), "Destination", Variant::Str((dir / "out").string()));
    Set(u.get(), "bMajorStatus", Variant::Bool(true));
    std::vector<std::int32_t> inner;
    auto sink = ComPtr<EventSink>::Adopt(EventSink::Create(sbgt::DIID__IugtactxEvents, [&](DISPID id, DISPPARAMS&) {
        if (id != 1) return;
        PutPropertyByName(u.get(), "ActionGT", Variant::I4(gtlib::UGT_UNTAR_COUNTALLMEMBERS));
        inner.push_back(Code(u.get()));
    }));
    ASSERT_EQ(sink->Connect(static_cast<sbgt::Iugtactx*>(u.get())), S_OK);
    ASSERT_EQ(PutPropertyByName(u.get(), "ActionGT", Variant::I4(gtlib::UGT_UNTAR)), S_OK);
    sink->Disconnect();
    ASSERT_FALSE(inner.empty());
    for (std::int32_t c : inner) EXPECT_EQ(c, gtlib::UGTE_BUSY);
    EXPECT_EQ(Code(u.get()), gtlib::UGTE_OK);  // the outer action went on undisturbed
    EXPECT_TRUE(fs::exists(dir / "out" / "a.txt"));
    EXPECT_TRUE(fs::exists(dir / "out" / "b.txt"));
}

TEST_F(RealEngine, AnotherControlMayActFromAnEvent) {
    auto outer = New(), inner = New();
    Set(outer.get(), "GTFile", Variant::Str((dir / "n.tar").string()));
    Set(outer.get(), "Destination", Variant::Str((dir / "out").string()));
    Set(outer.get(), "bMajorStatus", Variant::Bool(true));
    Set(inner.get(), "GTFile", Variant::Str((dir / "src" / "a.txt.gz").string()));
    std::vector<std::string> names;
    auto sink = ComPtr<EventSink>::Adopt(EventSink::Create(sbgt::DIID__IugtactxEvents, [&](DISPID id, DISPPARAMS&) {
        if (id != 1) return;
        PutPropertyByName(inner.get(), "ActionGT", Variant::I4(gtlib::UGT_GETGZIPINFO));
        Variant n;
        GetPropertyByName(inner.get(), "gzi_FileName", &n);
        names.push_back(std::to_string(Code(inner.get())) + ":" + n.AsUtf8());
    }));
    ASSERT_EQ(sink->Connect(static_cast<sbgt::Iugtactx*>(outer.get())), S_OK);
    ASSERT_EQ(PutPropertyByName(outer.get(), "ActionGT", Variant::I4(gtlib::UGT_UNTAR)), S_OK);
    sink->Disconnect();
    EXPECT_EQ(Code(outer.get()), gtlib::UGTE_OK);
    ASSERT_EQ(names.size(), 2u);
    for (const auto& n : names) EXPECT_EQ(n, "0:a.txt");
    EXPECT_EQ(fs::file_size(dir / "out" / "b.txt"), 5u);
}

namespace {
// The host side of the memory event's text form.
std::string FromText(BSTR s, std::size_t n, bool encoded) {
    const std::u16string_view v = View(s);
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        if (encoded) {
            auto hex = [](char16_t c) { return c <= u'9' ? c - u'0' : c - u'A' + 10; };
            out += static_cast<char>(hex(v[2 * i]) << 4 | hex(v[2 * i + 1]));
        } else {
            out += static_cast<char>(v[i] & 0xFF);
        }
    }
    return out;
}
BSTR ToText(std::string_view bytes, bool encoded) {
    std::u16string t;
    for (unsigned char b : bytes) {
        if (encoded) {
            t += u"0123456789ABCDEF"[b >> 4];
            t += u"0123456789ABCDEF"[b & 15];
        } else {
            t += static_cast<char16_t>(b);
        }
    }
    return SysAllocStringLen(t.data(), static_cast<std::uint32_t>(t.size()));
}

// Runs a memory-to-memory action, feeding `input` through the READ events and collecting the WRITE events.
std::string MemoryToMemory(IDispatch* control, const IID& events, std::int32_t action, const std::string& input,
                           bool encoded, std::int32_t* errorCode) {
    std::size_t fed = 0;
    std::string output;
    auto sink = ComPtr<EventSink>::Adopt(EventSink::Create(events, [&](DISPID id, DISPPARAMS& p) {
        if (id != 5) return;
        std::int32_t& size = *EventArg(p, 2).plVal;
        BSTR& buf = *EventArg(p, 1).pbstrVal;
        if (*EventArg(p, 0).plVal == gtlib::MEM_READ_DATA) {
            const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size), input.size() - fed);
            SysFreeString(buf);
            buf = ToText(std::string_view(input).substr(fed, n), encoded);
            fed += n;
            size = static_cast<std::int32_t>(n);
            *EventArg(p, 7).plVal = n ? gtlib::MEM_CONTINUE : gtlib::MEM_DONE;
        } else {
            output += FromText(buf, static_cast<std::size_t>(size), encoded);
            *EventArg(p, 7).plVal = gtlib::MEM_CONTINUE;
        }
    }));
    EXPECT_EQ(sink->Connect(control), S_OK);
    EXPECT_EQ(PutPropertyByName(control, "bUseEncodedBinary", Variant::Bool(encoded)), S_OK);
    EXPECT_EQ(PutPropertyByName(control, "ActionGT", Variant::I4(action)), S_OK);
    sink->Disconnect();
    Variant code;
    GetPropertyByName(control, "ErrorCode", &code);
    *errorCode = code.lVal;
    return output;
}
}  // namespace

TEST_F(RealEngine, MemoryToMemoryRoundTripThroughBothControlsEvents) {
    std::string data;
    std::uint32_t x = 7;
    for (int i = 0; i < 60000; ++i) {
        x = x * 1664525u + 1013904223u;
        data += static_cast<char>(i % 5 == 0 ? 0 : (i % 7 == 0 ? 0xFF : (x >> 24) % 8 + 'a'));
    }
    for (bool encoded : {false, true}) {
        auto g = ComPtr<sbgt::Gtactx>::Adopt(sbgt::Gtactx::Create());
        std::int32_t code = -1;
        const std::string packed =
            MemoryToMemory(static_cast<sbgt::Igtactx*>(g.get()), sbgt::DIID__IgtactxEvents, gtlib::GT_GZIP_MEMTOMEM,
                           data, encoded, &code);
        ASSERT_EQ(code, 0) << encoded;
        ASSERT_GT(packed.size(), 18u);
        EXPECT_EQ(packed.substr(0, 2), "\x1F\x8B");
        EXPECT_LT(packed.size(), data.size());
        auto u = New();
        const std::string back = MemoryToMemory(static_cast<sbgt::Iugtactx*>(u.get()), sbgt::DIID__IugtactxEvents,
                                                gtlib::UGT_GUNZIP_MEMTOMEM, packed, encoded, &code);
        ASSERT_EQ(code, 0) << encoded;
        EXPECT_TRUE(back == data) << encoded << " " << back.size();
    }
}

// A memory action whose host answers no memory event, because no handler is connected or because its
// handler leaves every request as it came: the input ends at once and the action returns with a result
// code. Packing has no byte to pack (a read error, as for any source without data); unpacking finds no
// header.
TEST_F(RealEngine, MemoryActionsEndWhenNobodyAnswersTheMemoryEvent) {
    struct Case {
        const char* what;
        bool handler;
        bool pack;
        std::int32_t code;
    } const cases[] = {
        {"gtactx, no handler", false, true, gtlib::GTE_READ},
        {"gtactx, a handler that never answers", true, true, gtlib::GTE_READ},
        {"ugtactx, no handler", false, false, gtlib::UGTE_STRUCT},
        {"ugtactx, a handler that never answers", true, false, gtlib::UGTE_STRUCT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto g = ComPtr<sbgt::Gtactx>::Adopt(sbgt::Gtactx::Create());
        auto u = New();
        IDispatch* control = c.pack ? static_cast<IDispatch*>(static_cast<sbgt::Igtactx*>(g.get()))
                                    : static_cast<IDispatch*>(static_cast<sbgt::Iugtactx*>(u.get()));
        int reads = 0;
        auto sink = ComPtr<EventSink>::Adopt(
            EventSink::Create(c.pack ? sbgt::DIID__IgtactxEvents : sbgt::DIID__IugtactxEvents,
                              [&](DISPID id, DISPPARAMS& p) {
                                  if (id == 5 && *EventArg(p, 0).plVal == gtlib::MEM_READ_DATA) ++reads;
                              }));
        if (c.handler) {
            ASSERT_EQ(sink->Connect(control), S_OK);
        }
        Set(control, "bAllQuiet", Variant::Bool(true));
        ASSERT_EQ(PutPropertyByName(control, "ActionGT",
                                    Variant::I4(c.pack ? std::int32_t{gtlib::GT_GZIP_MEMTOMEM}
                                                       : std::int32_t{gtlib::UGT_GUNZIP_MEMTOMEM})),
                  S_OK);
        EXPECT_EQ(Code(control), c.code);
        if (c.handler) {
            EXPECT_EQ(reads, 1);
            sink->Disconnect();
        }
    }
}

// Each control carries its own engine context: two controls in one process, each with its own log folder,
// log clock and window hooks, and two threads each with a control of its own, never see each other's.
TEST_F(RealEngine, ControlsKeepTheirOwnLogsClocksAndWindows) {
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    struct Side {
        ComPtr<sbgt::Ugtactx> control;
        fs::path logs, out;
        int asked = 0;
    };
    Side sides[2] = {{New(), dir / "logs-a", dir / "out-a"}, {New(), dir / "logs-b", dir / "out-b"}};
    const std::int64_t clocks[2] = {1796897731, 1718000000};  // 12/10/26 10:15:31, 06/10/24 06:13:20
    for (int i = 0; i < 2; ++i) {
        Side& s = sides[i];
        fs::create_directories(s.out);
        std::ofstream(s.out / "a.txt") << "old\n";
        gtlib::EngineContext& ctx = s.control->Context();
        ctx.logFolder = s.logs.string();
        ctx.logClock = [t = clocks[i]] { return t; };
        if (i == 0)  // only the first one has someone to say Yes to the overwrite question
            ctx.ui.overwriteDialog = [&s](const char*, const char*) { return ++s.asked, 6; };
        Set(s.control.get(), "GTFile", Variant::Str((dir / "n.tar").string()));
        Set(s.control.get(), "Destination", Variant::Str(s.out.string()));
        Set(s.control.get(), "bDiagnostic", Variant::Bool(true));
    }
    for (Side& s : sides) ASSERT_EQ(PutPropertyByName(s.control.get(), "ActionGT", Variant::I4(gtlib::UGT_UNTAR)), S_OK);

    auto read = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    EXPECT_EQ(sides[0].asked, 1);
    EXPECT_EQ(read(sides[0].out / "a.txt"), "alfa\n");
    EXPECT_EQ(read(sides[1].out / "a.txt"), "old\n");  // no one to ask: the file is kept
    const std::string logA = read(sides[0].logs / "SBGT32.LOG"), logB = read(sides[1].logs / "SBGT32.LOG");
    EXPECT_NE(logA.find("12/10/26  10:15:31"), std::string::npos) << logA;
    EXPECT_EQ(logA.find("06/10/24"), std::string::npos);
    EXPECT_NE(logB.find("06/10/24  06:13:20"), std::string::npos) << logB;
    EXPECT_EQ(logB.find("12/10/26"), std::string::npos);

    // Two threads, each with its own control and log folder.
    std::thread threads[2];
    std::int32_t codes[2] = {-1, -1};
    for (int i = 0; i < 2; ++i) {
        threads[i] = std::thread([&, i] {
            auto u = New();
            const fs::path out = dir / ("thread-" + std::to_string(i));
            u->Context().logFolder = (out / "logs").string();
            PutPropertyByName(u.get(), "GTFile", Variant::Str((dir / "n.tar").string()));
            PutPropertyByName(u.get(), "Destination", Variant::Str(out.string()));
            PutPropertyByName(u.get(), "bDiagnostic", Variant::Bool(true));
            PutPropertyByName(u.get(), "ActionGT", Variant::I4(gtlib::UGT_UNTAR));
            codes[i] = Code(u.get());
        });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < 2; ++i) {
        const fs::path out = dir / ("thread-" + std::to_string(i));
        EXPECT_EQ(codes[i], gtlib::UGTE_OK);
        EXPECT_EQ(read(out / "b.txt"), "beta\n");
        const std::string log = read(out / "logs" / "SBGT32.LOG");
        EXPECT_NE(log.find(out.string()), std::string::npos) << "each log dumps its own control's record";
        EXPECT_EQ(log.find((dir / ("thread-" + std::to_string(1 - i))).string()), std::string::npos);
    }
}
