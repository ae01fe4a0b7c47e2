// ugtactx with the real decompression engine behind it, for what only the two together show: the busy
// refusal of a second action started from an event handler, and another control's action run from there.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
        dir = mkdtemp(tmpl);
        fs::create_directories(dir / "src");
        fs::create_directories(dir / "out");
        std::ofstream(dir / "src" / "a.txt") << "alfa\n";
        std::ofstream(dir / "src" / "b.txt") << "beta\n";
        ASSERT_EQ(RunProgram("tar", {"-C", (dir / "src").string(), "-cf", (dir / "n.tar").string(), "a.txt", "b.txt"})
                      .status,
                  0);
        ASSERT_EQ(RunProgram("gzip", {"-k", (dir / "src" / "a.txt").string()}).status, 0);
    }
    void TearDown() override { fs::remove_all(dir); }
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
