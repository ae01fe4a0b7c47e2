#include <cstring>

#include "engine_fixture.h"
#include "gtlib/controls/typelib.h"
#include "platform/com/propbag.h"

using namespace morven::com;
using fixture::Controls;

TEST_F(Controls, GtactxDefaultsAndSavedNames) {
    auto g = NewGt();
    EXPECT_EQ(Get(g.get(), "CompFactor").lVal, 5);
    EXPECT_EQ(Get(g.get(), "TarIndex").lVal, -1);
    EXPECT_EQ(Get(g.get(), "MemoryBlock").vt, VT_EMPTY);
    int count = 0;
    for (const auto& m : sbgt::TypeLibrary().Find("Igtactx")->members) {
        if (m.kind != MemberKind::PropertyGet) continue;
        ++count;
        if (m.name == "CompFactor" || m.name == "TarIndex" || m.vt == VT_VARIANT) continue;
        EXPECT_EQ(Get(g.get(), m.name).AsI4(), 0) << m.name;
    }
    EXPECT_EQ(count, 37);
    auto bag = ComPtr<MemoryPropertyBag>::Adopt(MemoryPropertyBag::Create());
    ASSERT_EQ(g->Save(bag.get(), 1, 1), S_OK);
    const std::vector<std::string> expected{
        "_cx", "_cy", "_bAddComment", "_bAllQuiet", "_bBackgroundProcessing", "_bDiagnostic", "_bDosify",
        "_bLFtoCRLF", "_bEncryptFlag", "_bExclDate", "_bGrowExisting", "_bInclDate", "_bIncludeSysHidden",
        "_bMajorStatus", "_bMessageCallback", "_bMinorStatus", "_bNoDirectoryNames", "_bRecurseFlag",
        "_bRenameCallback", "_bUseEncodedBinary", "_lCompFactor", "_lTarIndex", "_strDate1", "_strDate2",
        "_strDestination", "_strEncryptCode", "_strExcludeList", "_dwGTSubOptions", "_strGTFile", "_strGTString",
        "_strGZIPComment", "_strIncludeList", "_strItemList", "_strTempPath", "_lWaitSeconds"};
    EXPECT_EQ(bag->Names(), expected);
    EXPECT_EQ(bag->Get("_lCompFactor")->lVal, 5);
    Set(g.get(), "CompFactor", Variant::I4(9));
    Set(g.get(), "ItemList", Variant::Str("a.txt b.txt"));
    auto bag2 = ComPtr<MemoryPropertyBag>::Adopt(MemoryPropertyBag::Create());
    ASSERT_EQ(g->Save(bag2.get(), 1, 1), S_OK);
    auto h = NewGt();
    ASSERT_EQ(h->Load(bag2.get(), nullptr), S_OK);
    EXPECT_EQ(Get(h.get(), "CompFactor").lVal, 9);
    EXPECT_EQ(Get(h.get(), "ItemList").AsUtf8(), "a.txt b.txt");
}

TEST_F(Controls, GtactxActionNotifiesOnlyActionAndErrorCode) {
    auto g = NewGt();
    std::vector<DISPID> changed;
    auto sink = ComPtr<EventSink>::Adopt(
        EventSink::Create(sbgt::DIID__IgtactxEvents, nullptr, [&](DISPID id) { changed.push_back(id); }));
    ASSERT_EQ(sink->Connect(static_cast<sbgt::Igtactx*>(g.get())), S_OK);
    Set(g.get(), "GZIPComment", Variant::Str("c"));
    fixture::gtRun = [](gtlib::GTCMDSTRUCT&) { return 0x10000 | gtlib::GTE_OPEN; };  // only 16 bits count
    ASSERT_EQ(Act(g.get(), gtlib::GT_GZIP), S_OK);
    EXPECT_EQ(changed, (std::vector<DISPID>{31, 1, 26}));
    EXPECT_EQ(Get(g.get(), "ErrorCode").lVal, gtlib::GTE_OPEN);
    sink->Disconnect();
}

TEST_F(Controls, GtactxBuildsItsCommandRecord) {
    auto g = NewGt();
    Set(g.get(), "GTFile", Variant::Str("/out/a.tar"));
    Set(g.get(), "ItemList", Variant::Str("/in/citt\u00e0/*.txt"));
    Set(g.get(), "bRecurseFlag", Variant::Bool(true));
    Set(g.get(), "bMinorStatus", Variant::Bool(true));
    Set(g.get(), "CompFactor", Variant::I4(9));
    Set(g.get(), "Date1", Variant::Str("12012026"));
    gtlib::GTCMDSTRUCT seen{};
    std::string items, date1;
    fixture::gtRun = [&](gtlib::GTCMDSTRUCT& c) {
        seen = c;
        items = c.lpszItemList;
        date1 = c.lpszDate1;
        return 0;
    };
    ASSERT_EQ(Act(g.get(), gtlib::GT_TAR), S_OK);
    EXPECT_EQ(seen.ulgtStructSize, sizeof(gtlib::GTCMDSTRUCT));
    EXPECT_EQ(seen.lFunction, 2);
    EXPECT_EQ(items, "/in/citt\xc3\xa0/*.txt");  // the file system's own UTF-8 bytes
    EXPECT_EQ(date1, "12012026");
    EXPECT_EQ(seen.bRecurseFlag, -1);
    EXPECT_EQ(seen.lCompFactor, 9);
    EXPECT_EQ(seen.lIndex, -1);
    EXPECT_EQ(seen.lpMajorStatus, nullptr);
    EXPECT_NE(seen.lpMinorStatus, nullptr);
    EXPECT_EQ(seen.lpMinorUserData, g.get());
    EXPECT_EQ(seen.lpMemBlock, nullptr);
    EXPECT_EQ(seen.lpCallbackStruct, nullptr);
}

TEST_F(Controls, GtactxMemoryInput) {
    auto bytesArray = [](std::int32_t lbound, std::vector<std::uint8_t> b) {
        Variant v;
        v.vt = VT_ARRAY | VT_UI1;
        v.parray = SafeArrayCreateVector(VT_UI1, lbound, static_cast<std::uint32_t>(b.size()));
        std::memcpy(v.parray->pvData, b.data(), b.size());
        return v;
    };
    auto variantArray = [](std::vector<Variant> items) {
        Variant v;
        v.vt = VT_ARRAY | VT_VARIANT;
        v.parray = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<std::uint32_t>(items.size()));
        for (std::int32_t i = 0; i < static_cast<std::int32_t>(items.size()); ++i)
            SafeArrayPutElement(v.parray, &i, &items[i]);
        return v;
    };
    Variant i2Array;
    i2Array.vt = VT_ARRAY | VT_I2;
    i2Array.parray = SafeArrayCreateVector(VT_I2, 0, 3);
    for (std::int32_t i = 0; i < 3; ++i) {
        std::int16_t x = static_cast<std::int16_t>(0x141 + i);  // each element taken as a byte
        SafeArrayPutElement(i2Array.parray, &i, &x);
    }
    struct Case {
        const char* what;
        std::string gtString;
        Variant block;
        std::int32_t blockSize;
        std::int32_t result;
        std::string input;  // bytes the engine sees (lMemBlockSize of them)
    } cases[] = {
        {"text abc is four bytes", "abc", Variant(), 0, 0, std::string("abc\0", 4)},
        {"accented text is sized by its bytes", "caff\u00e8 pi\u00f9", Variant(), 0, 0,
         std::string("caff\xc3\xa8 pi\xc3\xb9\0", 12)},
        {"text wins over the block", "x", bytesArray(0, {1, 2}), 2, 0, std::string("x\0", 2)},
        {"byte array, all elements", "", bytesArray(0, {1, 2, 3}), 3, 0, "\x01\x02\x03"},
        {"size clamped to the block", "", bytesArray(0, {1, 2, 3}), 99, 0, "\x01\x02\x03"},
        {"size smaller than the block", "", bytesArray(0, {1, 2, 3}), 2, 0, "\x01\x02"},
        {"one element is too few", "", bytesArray(0, {1}), 1, gtlib::GTE_MEM, ""},
        {"lower bound not 0", "", bytesArray(1, {1, 2, 3}), 3, gtlib::GTE_MEM, ""},
        {"array of variants", "", variantArray({Variant::I4(65), Variant::Str("66"), Variant::I2(67)}), 3, 0, "ABC"},
        {"array of variants with a text that is no number", "", variantArray({Variant::I4(1), Variant::Str("x")}), 2,
         gtlib::GTE_MEM, ""},
        {"array of shorts", "", i2Array, 3, 0, "ABC"},
        {"a text in the block", "", Variant::Str("ab"), 4, 0, std::string("a\0b\0", 4)},
        {"a number in the block", "", Variant::I4(5), 4, gtlib::GTE_MEM, ""},
        {"nothing at all", "", Variant(), 0, 0, ""},
    };
    for (const auto& c : cases) {
        auto g = NewGt();
        Set(g.get(), "GTString", Variant::Str(c.gtString));
        if (c.block.vt != VT_EMPTY) Set(g.get(), "MemoryBlock", c.block);
        Set(g.get(), "MemoryBlockSize", Variant::I4(c.blockSize));
        std::string seen;
        bool called = false;
        fixture::gtRun = [&](gtlib::GTCMDSTRUCT& r) {
            called = true;
            if (r.lpMemBlock) seen.assign(reinterpret_cast<const char*>(r.lpMemBlock), r.lMemBlockSize);
            else EXPECT_EQ(r.lMemBlockSize, 0);
            return 0;
        };
        ASSERT_EQ(Act(g.get(), gtlib::GT_GZIP_MEMTOFILE), S_OK) << c.what;
        EXPECT_EQ(Get(g.get(), "ErrorCode").lVal, c.result) << c.what;
        EXPECT_EQ(called, c.result == 0) << c.what;
        EXPECT_EQ(seen, c.input) << c.what;
    }
}

TEST_F(Controls, GtactxStreamsThroughTheMemoryEvent) {
    auto g = NewGt();
    Set(g.get(), "MemoryBlockSize", Variant::I4(100));
    Set(g.get(), "gtSubOptions", Variant::I4(2));
    Set(g.get(), "bMinorStatus", Variant::Bool(true));
    std::vector<DISPID> events;
    auto sink = ComPtr<EventSink>::Adopt(EventSink::Create(sbgt::DIID__IgtactxEvents, [&](DISPID id, DISPPARAMS& p) {
        events.push_back(id);
        if (id == 5 && *EventArg(p, 0).plVal == gtlib::MEM_READ_DATA) {
            SysFreeString(*EventArg(p, 1).pbstrVal);
            *EventArg(p, 1).pbstrVal = BstrFromUtf8("dati");
            *EventArg(p, 2).plVal = 4;
        }
        if (id == 2) *EventArg(p, 3).plVal = 1;  // cancel, kept: GTSO_MINORCANCEL
    }));
    ASSERT_EQ(sink->Connect(static_cast<sbgt::Igtactx*>(g.get())), S_OK);
    std::string got;
    std::int32_t cancel = 0;
    fixture::gtRun = [&](gtlib::GTCMDSTRUCT& r) {
        EXPECT_EQ(r.lMemBlockSize, 100);
        unsigned char buf[16] = {};
        std::int32_t size = 16, answer = 0;
        r.lpCallbackStruct->lpMemToMemProc(gtlib::MEM_READ_DATA, buf, &size, 0, 0, 0, 0,
                                           r.lpCallbackStruct->lpMemToMemUserData, &answer);
        got.assign(reinterpret_cast<char*>(buf), size);
        cancel = r.lpMinorStatus("item", 50, gtlib::STYP_MEMTOMEM_GZIP, r.lpMinorUserData);
        return 0;
    };
    ASSERT_EQ(Act(g.get(), gtlib::GT_GZIP_MEMTOMEM), S_OK);
    EXPECT_EQ(got, "dati");
    EXPECT_EQ(cancel, 1);
    EXPECT_EQ(events, (std::vector<DISPID>{5, 2}));
    sink->Disconnect();
}
