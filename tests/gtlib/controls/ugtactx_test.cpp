#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "engine_fixture.h"
#include "gtlib/controls/typelib.h"
#include "platform/com/propbag.h"

using namespace morven::com;
using fixture::Controls;

namespace {
// Collects events and property changes of one control.
struct Recorder {
    std::vector<DISPID> events, changed;
    std::function<void(DISPID, DISPPARAMS&)> onEvent;
    ComPtr<EventSink> sink;
    explicit Recorder(IUnknown* control, const IID& iid) {
        sink = ComPtr<EventSink>::Adopt(EventSink::Create(
            iid,
            [this](DISPID id, DISPPARAMS& p) {
                events.push_back(id);
                if (onEvent) onEvent(id, p);
            },
            [this](DISPID id) { changed.push_back(id); }));
        EXPECT_EQ(sink->Connect(control), S_OK);
    }
    ~Recorder() { sink->Disconnect(); }
};

std::int32_t& I4Arg(DISPPARAMS& p, std::uint32_t k) { return *EventArg(p, k).plVal; }
BSTR& StrArg(DISPPARAMS& p, std::uint32_t k) { return *EventArg(p, k).pbstrVal; }
void SetStrArg(DISPPARAMS& p, std::uint32_t k, const std::string& s) {
    SysFreeString(StrArg(p, k));
    StrArg(p, k) = BstrFromUtf8(s);
}
}  // namespace

TEST_F(Controls, UgtactxDefaults) {
    auto u = NewUgt();
    int count = 0;
    const TypeDesc& iface = *sbgt::TypeLibrary().Find("Iugtactx");
    for (const auto& m : iface.members) {
        if (m.kind != MemberKind::PropertyGet) continue;
        ++count;
        const Variant v = Get(u.get(), m.name);
        if (m.name == "TarIndex") {
            EXPECT_EQ(v.lVal, -1);
        } else if (m.vt == VT_BSTR) {
            EXPECT_EQ(v.vt, VT_BSTR) << m.name;
            EXPECT_EQ(v.AsUtf8(), "") << m.name;
        } else if (m.vt == VT_VARIANT) {
            EXPECT_EQ(v.vt, VT_EMPTY) << m.name;
        } else {
            EXPECT_EQ(v.vt, m.vt) << m.name;
            EXPECT_EQ(v.AsI4(), 0) << m.name;
        }
    }
    EXPECT_EQ(count, 63);
    EXPECT_FALSE(u->IsDirty());
}

TEST_F(Controls, UgtactxSavesUnderItsNamesAndLoadsBack) {
    auto u = NewUgt();
    Set(u.get(), "bOverwriteFlag", Variant::Bool(true));
    Set(u.get(), "Destination", Variant::Str("/srv/notizie/perch\xC3\xA9"));
    Set(u.get(), "ugtSubOptions", Variant::I4(2 | 256));
    Set(u.get(), "WaitSeconds", Variant::I4(3));
    Set(u.get(), "StartingOffset", Variant::I4(9));  // not persisted
    EXPECT_TRUE(u->IsDirty());
    auto bag = ComPtr<MemoryPropertyBag>::Adopt(MemoryPropertyBag::Create());
    ASSERT_EQ(u->Save(bag.get(), 1, 1), S_OK);
    EXPECT_FALSE(u->IsDirty());
    const std::vector<std::string> expected{
        "_cx", "_cy", "_bAllQuiet", "_bBackgroundProcessing", "_bLFtoCRLF", "_bDecryptFlag", "_bDiagnostic",
        "_bFreshenFlag", "_bMajorStatus", "_bMessageCallback", "_bMinorStatus", "_bNoDirectoryNames",
        "_bOverwriteFlag", "_bRecurseFlag", "_bRenameCallback", "_bTestFlag", "_bTIECallback", "_bUpdateFlag",
        "_bUseEncodedBinary", "_strDecryptCode", "_strDestination", "_strFilespec", "_strGTFile", "_lReturnCount",
        "_strReturnString", "_lTarIndex", "_UGTStringOffset", "_UGTStringSize", "_dwUGTSubOptions",
        "_lWaitSeconds"};
    EXPECT_EQ(bag->Names(), expected);
    EXPECT_EQ(bag->Get("_lTarIndex")->lVal, -1);
    EXPECT_EQ(bag->Get("_bOverwriteFlag")->boolVal, VARIANT_TRUE);

    // Through the bag's text form, into a fresh control.
    auto back = ComPtr<MemoryPropertyBag>::Adopt(MemoryPropertyBag::Create());
    ASSERT_TRUE(back->FromText(bag->ToText()));
    auto v = NewUgt();
    ASSERT_EQ(v->Load(back.get(), nullptr), S_OK);
    EXPECT_EQ(Get(v.get(), "Destination").AsUtf8(), "/srv/notizie/perch\xC3\xA9");
    EXPECT_EQ(Get(v.get(), "bOverwriteFlag").boolVal, VARIANT_TRUE);
    EXPECT_EQ(Get(v.get(), "ugtSubOptions").lVal, 258);
    EXPECT_EQ(Get(v.get(), "WaitSeconds").lVal, 3);
    EXPECT_EQ(Get(v.get(), "StartingOffset").lVal, 0);
    EXPECT_EQ(Get(v.get(), "TarIndex").lVal, -1);
}

TEST_F(Controls, LoadKeepsDefaultsForMissingOrUnreadableEntries) {
    auto bag = ComPtr<MemoryPropertyBag>::Adopt(MemoryPropertyBag::Create());
    ASSERT_TRUE(bag->FromText("_lWaitSeconds=BSTR:not a number\n_strGTFile=I4:12\n"));
    auto u = NewUgt();
    ASSERT_EQ(u->Load(bag.get(), nullptr), S_OK);
    EXPECT_EQ(Get(u.get(), "WaitSeconds").lVal, 0);
    EXPECT_EQ(Get(u.get(), "GTFile").AsUtf8(), "12");
    EXPECT_EQ(Get(u.get(), "TarIndex").lVal, -1);
}

TEST_F(Controls, UgtactxChangeNotifications) {
    auto u = NewUgt();
    Recorder r(static_cast<sbgt::Iugtactx*>(u.get()), sbgt::DIID__IugtactxEvents);
    Set(u.get(), "GTFile", Variant::Str("a.gz"));
    Set(u.get(), "bTIECallback", Variant::Bool(true));
    EXPECT_EQ(r.changed, (std::vector<DISPID>{23, 16}));
    r.changed.clear();
    ASSERT_EQ(Act(u.get(), 0), S_OK);
    std::vector<DISPID> expected{1, 21};
    for (DISPID id = 24; id <= 61; ++id) expected.push_back(id);
    EXPECT_EQ(r.changed, expected);
    EXPECT_EQ(r.changed.size(), 40u);
    EXPECT_EQ(Get(u.get(), "ErrorCode").lVal, 0);
    // A failing action notifies the same way.
    r.changed.clear();
    fixture::ugtRun = [](gtlib::UGTCMDSTRUCT&) { return 7; };
    ASSERT_EQ(Act(u.get(), 1), S_OK);
    EXPECT_EQ(r.changed, expected);
    EXPECT_EQ(Get(u.get(), "ErrorCode").lVal, 7);
}

TEST_F(Controls, UgtactxBuildsItsCommandRecord) {
    auto u = NewUgt();
    Set(u.get(), "GTFile", Variant::Str("/in/notizie.tar"));
    Set(u.get(), "Destination", Variant::Str("/out/n\xC3\xB9"));
    Set(u.get(), "Filespec", Variant::Str("*.htm"));
    Set(u.get(), "bOverwriteFlag", Variant::Bool(true));
    Set(u.get(), "bRecurseFlag", Variant::I4(1));
    Set(u.get(), "bMajorStatus", Variant::Bool(true));
    Set(u.get(), "ugtSubOptions", Variant::I4(64));
    Set(u.get(), "StartingOffset", Variant::I4(12));
    gtlib::UGTCMDSTRUCT seen{};
    std::string file, filespec, dest;
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT& c) {
        seen = c;
        file = c.lpszGTFile;
        filespec = c.lpszFilespec;
        dest = c.lpszDestination;
        return 0;
    };
    ASSERT_EQ(Act(u.get(), gtlib::UGT_UNTAR), S_OK);
    EXPECT_EQ(seen.ulugtStructSize, sizeof(gtlib::UGTCMDSTRUCT));
    EXPECT_EQ(seen.lFunction, 2);
    EXPECT_EQ(file, "/in/notizie.tar");
    EXPECT_EQ(filespec, "*.htm");
    EXPECT_EQ(dest, "/out/n\xC3\xB9");  // the library's ANSI is UTF-8
    EXPECT_EQ(seen.lIndex, -1);
    EXPECT_EQ(seen.bOverWriteFlag, -1);
    EXPECT_EQ(seen.bRecurseFlag, -1);
    EXPECT_EQ(seen.bFreshenFlag, 0);
    EXPECT_EQ(seen.dwUGTSubOptions, 64u);
    EXPECT_EQ(seen.lStartingOffset, 12);
    EXPECT_NE(seen.lpMajorStatus, nullptr);
    EXPECT_EQ(seen.lpMinorStatus, nullptr);
    EXPECT_EQ(seen.lpMessageDisplay, nullptr);
    EXPECT_EQ(seen.lpRenameProc, nullptr);
    EXPECT_EQ(seen.lpMajorUserData, u.get());
    EXPECT_NE(seen.gzipInfo, nullptr);  // other actions get both records
    EXPECT_NE(seen.tarInfo, nullptr);
    EXPECT_EQ(seen.lpCallbackStruct, nullptr);

    // A TAR index other than -1 sends an empty filespec.
    Set(u.get(), "TarIndex", Variant::I4(3));
    ASSERT_EQ(Act(u.get(), gtlib::UGT_UNTAR), S_OK);
    EXPECT_EQ(filespec, "");
    EXPECT_EQ(seen.lIndex, 3);
}

TEST_F(Controls, InformationRecordsByAction) {
    auto u = NewUgt();
    struct Case {
        std::int32_t action;
        bool gzip, tar, callbacks;
    } cases[] = {
        {gtlib::UGT_GETGZIPINFO, true, false, false},  {gtlib::UGT_UNTAR_COUNTALLMEMBERS, false, true, true},
        {gtlib::UGT_UNTAR_GETNEXTINFO, false, true, false}, {gtlib::UGT_UNTAR_COUNTNAMEDMEMBERS, false, true, true},
        {15, false, true, false},                      {gtlib::UGT_GUNZIP_MEMTOMEM, true, true, true},
        {gtlib::UGT_GUNZIP, true, true, false},
    };
    Set(u.get(), "bTIECallback", Variant::Bool(true));
    for (const auto& c : cases) {
        gtlib::UGTCMDSTRUCT seen{};
        fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT& r) {
            seen = r;
            if (r.gzipInfo) {
                EXPECT_EQ(r.gzipInfo->ulStructSize, 396u);
                EXPECT_EQ(r.gzipInfo->lIndex, -1);
            }
            if (r.tarInfo && c.action != gtlib::UGT_UNTAR_GETNEXTINFO) {
                EXPECT_EQ(r.tarInfo->ulStructSize, 824u);
                EXPECT_EQ(r.tarInfo->lIndex, -1);
            }
            return 0;
        };
        ASSERT_EQ(Act(u.get(), c.action), S_OK);
        EXPECT_EQ(seen.gzipInfo != nullptr, c.gzip) << c.action;
        EXPECT_EQ(seen.tarInfo != nullptr, c.tar) << c.action;
        EXPECT_EQ(seen.lpCallbackStruct != nullptr, c.callbacks) << c.action;
    }
}

TEST_F(Controls, GzipAndTarInformationIsCopiedBackOnlyOnSuccess) {
    auto u = NewUgt();
    std::int32_t result = 0;
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT& c) {
        gtlib::CopyToField(c.gzipInfo->szFileName, "notizie.htm");
        gtlib::CopyToField(c.gzipInfo->szDateTime, "12/10/2026 10:00:00");
        c.gzipInfo->dwCRC32 = 0xCAFEBABE;
        c.gzipInfo->dwOSizeL = 1234;
        c.gzipInfo->wOSType = 3;
        c.gzipInfo->lIndex = 0;
        return result;
    };
    result = gtlib::UGTE_BADCRC;
    ASSERT_EQ(Act(u.get(), gtlib::UGT_GETGZIPINFO), S_OK);
    EXPECT_EQ(Get(u.get(), "gzi_FileName").AsUtf8(), "");
    result = 0;
    ASSERT_EQ(Act(u.get(), gtlib::UGT_GETGZIPINFO), S_OK);
    EXPECT_EQ(Get(u.get(), "gzi_FileName").AsUtf8(), "notizie.htm");
    EXPECT_EQ(Get(u.get(), "gzi_DateTime").AsUtf8(), "12/10/2026 10:00:00");
    EXPECT_EQ(static_cast<std::uint32_t>(Get(u.get(), "gzi_CRC32").lVal), 0xCAFEBABEu);
    EXPECT_EQ(Get(u.get(), "gzi_oSizeL").lVal, 1234);
    EXPECT_EQ(Get(u.get(), "gzi_OSType").vt, VT_I2);
    EXPECT_EQ(Get(u.get(), "gzi_OSType").iVal, 3);

    // Next-member actions start from the ti_ properties; a full text field comes back cut to its size less one.
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT& c) {
        EXPECT_EQ(c.tarInfo->lIndex, 4);
        EXPECT_EQ(std::string(gtlib::FieldText(c.tarInfo->szFileName)), "prev.txt");
        c.tarInfo->lIndex = 5;
        std::memset(c.tarInfo->szUName, 'u', sizeof c.tarInfo->szUName);  // no terminating zero
        gtlib::CopyToField(c.tarInfo->szFileName, "next.txt");
        c.tarInfo->dwSizeL = 77;
        return 0;
    };
    Set(u.get(), "ti_Index", Variant::I4(4));
    Set(u.get(), "ti_FileName", Variant::Str("prev.txt"));
    ASSERT_EQ(Act(u.get(), gtlib::UGT_UNTAR_GETNEXTINFO), S_OK);
    EXPECT_EQ(Get(u.get(), "ti_Index").lVal, 5);
    EXPECT_EQ(Get(u.get(), "ti_FileName").AsUtf8(), "next.txt");
    EXPECT_EQ(Get(u.get(), "ti_SizeL").lVal, 77);
    EXPECT_EQ(Get(u.get(), "ti_UName").AsUtf8(), std::string(63, 'u'));
}

TEST_F(Controls, MemoryOutputForms) {
    struct Case {
        const char* what;
        std::string ugtString;
        std::int32_t ugtStringSize, ugtStringOffset, blockSize, startingOffset;
        std::string produced;
        std::int32_t reported;  // what the engine claims it wrote
        std::int32_t wantSize, wantOffset;
        std::string wantString, wantBlock;
    } cases[] = {
        {"string form", "x", 16, 3, 0, 0, "hello", 5, 16, 3, "hello", ""},
        {"block form", "", 0, 0, 8, 2, std::string("a\0b", 3), 3, 8, 2, "x", std::string("a\0b", 3)},
        {"block form, engine overstates", "", 0, 0, 4, 0, "abcd", 1000, 4, 0, "x", "abcd"},
        {"string form wins over block", "keep", 4, 0, 8, 5, "wxyz", 4, 4, 0, "wxyz", ""},
        {"string without size falls to the block", "x", 0, 7, 6, 1, "123", 3, 6, 1, "x", "123"},
    };
    for (const auto& c : cases) {
        auto u = NewUgt();
        if (!c.ugtString.empty()) Set(u.get(), "UGTString", Variant::Str(c.ugtString));
        Set(u.get(), "UGTStringSize", Variant::I4(c.ugtStringSize));
        Set(u.get(), "UGTStringOffset", Variant::I4(c.ugtStringOffset));
        Set(u.get(), "MemoryBlockSize", Variant::I4(c.blockSize));
        Set(u.get(), "StartingOffset", Variant::I4(c.startingOffset));
        fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT& r) {
            EXPECT_EQ(r.lMemBlockSize, c.wantSize) << c.what;
            EXPECT_EQ(r.lStartingOffset, c.wantOffset) << c.what;
            EXPECT_NE(r.lpMemBlock, nullptr) << c.what;
            if (r.lpMemBlock) std::memcpy(r.lpMemBlock, c.produced.data(), c.produced.size());
            r.lMemBlockSize = c.reported;
            return 0;
        };
        ASSERT_EQ(Act(u.get(), gtlib::UGT_GUNZIP_FILETOMEM), S_OK) << c.what;
        if (c.wantString != "x") {
            EXPECT_EQ(Get(u.get(), "UGTString").AsUtf8(), c.wantString) << c.what;
            EXPECT_EQ(Get(u.get(), "UGTStringSize").lVal, static_cast<std::int32_t>(c.wantString.size())) << c.what;
        }
        if (!c.wantBlock.empty()) {
            const Variant b = Get(u.get(), "MemoryBlock");
            ASSERT_EQ(b.vt, VT_ARRAY | VT_UI1) << c.what;
            std::int32_t lo, hi;
            SafeArrayGetLBound(b.parray, 1, &lo);
            SafeArrayGetUBound(b.parray, 1, &hi);
            EXPECT_EQ(lo, 0);
            EXPECT_EQ(std::string(static_cast<char*>(b.parray->pvData), hi + 1), c.wantBlock) << c.what;
            EXPECT_EQ(Get(u.get(), "MemoryBlockSize").lVal, static_cast<std::int32_t>(c.wantBlock.size())) << c.what;
        }
    }
}

TEST_F(Controls, CommentBufferAndReturnCount) {
    auto u = NewUgt();
    std::int32_t seenCount = -99;
    bool hadBuffer = false;
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT& c) {
        seenCount = c.lReturnCount;
        hadBuffer = c.lpszReturnString && c.lpszReturnString[0] == 0 && c.lReturnCount > 0;
        if (c.lReturnCount > 0) {
            std::strcpy(c.lpszReturnString, "commento");
            c.lReturnCount = 8;
        }
        return 0;
    };
    Set(u.get(), "ReturnCount", Variant::I4(20));
    ASSERT_EQ(Act(u.get(), gtlib::UGT_GETGZIPCOMMENT), S_OK);
    EXPECT_EQ(seenCount, 20);
    EXPECT_TRUE(hadBuffer);
    EXPECT_EQ(Get(u.get(), "ReturnString").AsUtf8(), "commento");
    EXPECT_EQ(Get(u.get(), "ReturnCount").lVal, 8);
    // A negative count counts as 0: no buffer, no text.
    Set(u.get(), "ReturnString", Variant::Str(""));
    Set(u.get(), "ReturnCount", Variant::I4(-5));
    ASSERT_EQ(Act(u.get(), gtlib::UGT_GETGZIPCOMMENT), S_OK);
    EXPECT_EQ(seenCount, 0);
    EXPECT_EQ(Get(u.get(), "ReturnString").AsUtf8(), "");
    EXPECT_EQ(Get(u.get(), "ReturnCount").lVal, 0);
    // Other actions send 0 and still take the engine's count.
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT& c) {
        seenCount = c.lReturnCount;
        c.lReturnCount = 42;
        return 0;
    };
    Set(u.get(), "ReturnCount", Variant::I4(9));
    ASSERT_EQ(Act(u.get(), gtlib::UGT_UNTAR_COUNTALLMEMBERS), S_OK);
    EXPECT_EQ(seenCount, 0);
    EXPECT_EQ(Get(u.get(), "ReturnCount").lVal, 42);
}

TEST_F(Controls, StatusEventsAndCancel) {
    struct Case {
        bool major;
        std::int32_t subOptions, handlerCancel, want;
    } cases[] = {
        {true, 0, 0, 0}, {true, 0, 1, 1}, {false, 0, 1, 0}, {false, 2, 1, 1}, {false, 2, 0, 0},
    };
    for (const auto& c : cases) {
        auto u = NewUgt();
        Set(u.get(), c.major ? "bMajorStatus" : "bMinorStatus", Variant::Bool(true));
        Set(u.get(), "ugtSubOptions", Variant::I4(c.subOptions));
        Recorder r(static_cast<sbgt::Iugtactx*>(u.get()), sbgt::DIID__IugtactxEvents);
        std::string item;
        r.onEvent = [&](DISPID, DISPPARAMS& p) {
            item = Utf8FromBstr(StrArg(p, 0));
            EXPECT_EQ(I4Arg(p, 1), 40);
            EXPECT_EQ(I4Arg(p, 2), gtlib::STYP_FILETOFILE_UNTAR);
            EXPECT_EQ(I4Arg(p, 3), 0);
            I4Arg(p, 3) = c.handlerCancel;
        };
        std::int32_t answer = -1;
        fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT& rec) {
            auto proc = c.major ? rec.lpMajorStatus : rec.lpMinorStatus;
            answer = proc("news/oggi.htm", 40, gtlib::STYP_FILETOFILE_UNTAR, c.major ? rec.lpMajorUserData : rec.lpMinorUserData);
            return 0;
        };
        ASSERT_EQ(Act(u.get(), gtlib::UGT_UNTAR), S_OK);
        EXPECT_EQ(r.events, std::vector<DISPID>{c.major ? 1 : 2});
        EXPECT_EQ(item, "news/oggi.htm");
        EXPECT_EQ(answer, c.want) << c.major << " " << c.subOptions << " " << c.handlerCancel;
    }
}

TEST_F(Controls, BackgroundPumpTurnsAQuitIntoACancel) {
    auto u = NewUgt();
    Set(u.get(), "bMajorStatus", Variant::Bool(true));
    Set(u.get(), "bBackgroundProcessing", Variant::Bool(true));
    int pumped = 0;
    u->SetMessagePump([](void* ctx) { return ++*static_cast<int*>(ctx) >= 2 ? 1 : 0; }, &pumped);
    std::vector<std::int32_t> answers;
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT& rec) {
        for (int i = 0; i < 2; ++i) answers.push_back(rec.lpMajorStatus("x", i, 0, rec.lpMajorUserData));
        return 0;
    };
    ASSERT_EQ(Act(u.get(), gtlib::UGT_GUNZIP), S_OK);
    EXPECT_EQ(answers, (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(pumped, 2);
}

TEST_F(Controls, MessageEventAnswersAndTexts) {
    auto u = NewUgt();
    Set(u.get(), "bMessageCallback", Variant::Bool(true));
    Recorder r(static_cast<sbgt::Iugtactx*>(u.get()), sbgt::DIID__IugtactxEvents);
    r.onEvent = [&](DISPID id, DISPPARAMS& p) {
        EXPECT_EQ(id, 3);
        EXPECT_EQ(I4Arg(p, 0), gtlib::MSGID_GTOVERWRT);
        EXPECT_EQ(I4Arg(p, 2), 11);
        EXPECT_EQ(Utf8FromBstr(StrArg(p, 4)), "old.txt");
        SetStrArg(p, 4, std::string(600, 'n'));  // longer than the engine's buffer
        SetStrArg(p, 5, "nuovo.txt");
        I4Arg(p, 6) = 6;
    };
    char t1[gtlib::kMessageTextSize] = "old.txt", t2[gtlib::kMessageTextSize] = "";
    std::int32_t answer = -1;
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT& rec) {
        answer = rec.lpMessageDisplay(gtlib::MSGID_GTOVERWRT, 36, 11, 0, t1, t2, rec.lpMessageDisplayData);
        return 0;
    };
    ASSERT_EQ(Act(u.get(), gtlib::UGT_GUNZIP), S_OK);
    EXPECT_EQ(answer, 6);
    EXPECT_EQ(std::string(t1), std::string(gtlib::kMessageTextSize - 1, 'n'));
    EXPECT_EQ(std::string(t2), "nuovo.txt");

    // Quiet: no event; kinds 0 to 7 are answered 1, others 0.
    Set(u.get(), "bAllQuiet", Variant::Bool(true));
    r.events.clear();
    std::vector<std::int32_t> answers;
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT& rec) {
        for (std::int32_t id : {0, 7, 8, -1}) answers.push_back(rec.lpMessageDisplay(id, 0, 0, 0, t1, t2, rec.lpMessageDisplayData));
        return 0;
    };
    ASSERT_EQ(Act(u.get(), gtlib::UGT_GUNZIP), S_OK);
    EXPECT_TRUE(r.events.empty());
    EXPECT_EQ(answers, (std::vector<std::int32_t>{1, 1, 0, 0}));
}

TEST_F(Controls, RenameEventWritesBackNameDateAndAttributes) {
    auto u = NewUgt();
    Set(u.get(), "bRenameCallback", Variant::Bool(true));
    Recorder r(static_cast<sbgt::Iugtactx*>(u.get()), sbgt::DIID__IugtactxEvents);
    r.onEvent = [&](DISPID id, DISPPARAMS& p) {
        EXPECT_EQ(id, 4);
        EXPECT_EQ(Utf8FromBstr(StrArg(p, 4)), "dir/orig.txt");
        EXPECT_EQ(I4Arg(p, 3), 2);
        SetStrArg(p, 0, "/out/renamed.txt");
        SetStrArg(p, 1, "01/02/2027 03:04:05");
        SetStrArg(p, 4, "ignored");
        I4Arg(p, 2) = 1;
        I4Arg(p, 3) = 99;
    };
    gtlib::RENAMESTRUCT req = gtlib::NewRenameStruct();
    gtlib::CopyToField(req.szItemName, "/out/dir/orig.txt");
    gtlib::CopyToField(req.szOrigItemName, "dir/orig.txt");
    req.dwAttrib = 32;
    req.dwOptions = 2;
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT& rec) { return rec.lpRenameProc(&req, rec.lpRenameUserData), 0; };
    ASSERT_EQ(Act(u.get(), gtlib::UGT_GUNZIP), S_OK);
    EXPECT_EQ(std::string(gtlib::FieldText(req.szItemName)), "/out/renamed.txt");
    EXPECT_EQ(std::string(gtlib::FieldText(req.szDateTime)), "01/02/2027 03:04:05");
    EXPECT_EQ(req.dwAttrib, 1u);
    EXPECT_EQ(req.dwOptions, 2u);  // options and the stored name stay as they were
    EXPECT_EQ(std::string(gtlib::FieldText(req.szOrigItemName)), "dir/orig.txt");
}

TEST_F(Controls, MemoryEventCarriesBytesAsText) {
    for (bool encoded : {false, true}) {
        auto u = NewUgt();
        Set(u.get(), "bUseEncodedBinary", Variant::Bool(encoded));
        Set(u.get(), "MemoryBlockSize", Variant::I4(4096));
        Recorder r(static_cast<sbgt::Iugtactx*>(u.get()), sbgt::DIID__IugtactxEvents);
        std::vector<std::u16string> delivered;
        r.onEvent = [&](DISPID id, DISPPARAMS& p) {
            ASSERT_EQ(id, 5);
            if (I4Arg(p, 0) == gtlib::MEM_WRITE_DATA) {
                delivered.emplace_back(View(StrArg(p, 1)));
                I4Arg(p, 7) = gtlib::MEM_CONTINUE;
            } else {
                SetStrArg(p, 1, encoded ? "5Aff00" : "Zy");
                I4Arg(p, 2) = 50;  // more than offered: clamped
            }
        };
        unsigned char out[] = {0x5A, 0x00, 0xC3};
        unsigned char in[3] = {9, 9, 9};
        std::int32_t inSize = 3, outSize = 3, ans1 = gtlib::MEM_DONE, ans2 = 0;
        fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT& rec) {
            EXPECT_EQ(rec.lMemBlockSize, 4096);
            auto* cb = rec.lpCallbackStruct;
            cb->lpMemToMemProc(gtlib::MEM_WRITE_DATA, out, &outSize, 0, 0, 3, 0, cb->lpMemToMemUserData, &ans1);
            cb->lpMemToMemProc(gtlib::MEM_READ_DATA, in, &inSize, 0, 0, 0, 0, cb->lpMemToMemUserData, &ans2);
            return 0;
        };
        ASSERT_EQ(Act(u.get(), gtlib::UGT_GUNZIP_MEMTOMEM), S_OK);
        ASSERT_EQ(delivered.size(), 1u);
        const std::u16string plain{u'\x5A', u'\0', u'\xC3'};
        EXPECT_EQ(delivered[0], encoded ? std::u16string(u"5A00C3") : plain);
        EXPECT_EQ(ans1, gtlib::MEM_CONTINUE);
        EXPECT_EQ(inSize, 3);
        if (encoded)
            EXPECT_EQ(std::string(reinterpret_cast<char*>(in), 3), std::string("\x5A\xFF\x00", 3));
        else
            EXPECT_EQ(std::string(reinterpret_cast<char*>(in), 3), std::string("Zy\0", 3));
    }
}

TEST_F(Controls, TarEnumerationEventSetsTheMemberProperties) {
    auto u = NewUgt();
    Set(u.get(), "bTIECallback", Variant::Bool(true));
    Recorder r(static_cast<sbgt::Iugtactx*>(u.get()), sbgt::DIID__IugtactxEvents);
    std::vector<std::string> names;
    r.onEvent = [&](DISPID id, DISPPARAMS& p) {
        EXPECT_EQ(id, 6);
        names.push_back(Get(u.get(), "ti_FileName").AsUtf8());
        if (names.size() == 2) I4Arg(p, 0) = gtlib::TIE_ABORT;
    };
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT& rec) {
        gtlib::TARINFO t = gtlib::NewTarInfo();
        for (const char* n : {"a.txt", "b.txt", "c.txt"}) {
            gtlib::CopyToField(t.szFileName, n);
            std::int32_t answer = gtlib::TIE_CONTINUE;
            rec.lpCallbackStruct->lpTarEnumProc(&t, rec.lpCallbackStruct->lpTarEnumUserData, &answer);
            if (answer == gtlib::TIE_ABORT) break;
        }
        rec.lReturnCount = 2;
        return 0;
    };
    ASSERT_EQ(Act(u.get(), gtlib::UGT_UNTAR_COUNTALLMEMBERS), S_OK);
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(Controls, HandlerMayStartAnotherControlsActionAndTheOuterKeepsItsState) {
    auto outer = NewUgt(), inner = NewUgt();
    Set(outer.get(), "bMajorStatus", Variant::Bool(true));
    Recorder r(static_cast<sbgt::Iugtactx*>(outer.get()), sbgt::DIID__IugtactxEvents);
    r.onEvent = [&](DISPID, DISPPARAMS&) { Act(inner.get(), gtlib::UGT_GETGZIPINFO); };
    std::vector<void*> slots;
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT& rec) {
        slots.push_back(fixture::ugtRunState);
        if (rec.lFunction == gtlib::UGT_GUNZIP) {
            rec.lpMajorStatus("x", 0, 0, rec.lpMajorUserData);
            slots.push_back(fixture::ugtRunState);
        }
        return 0;
    };
    ASSERT_EQ(Act(outer.get(), gtlib::UGT_GUNZIP), S_OK);
    const std::vector<void*> expected{outer->StateBlock(), inner->StateBlock(), outer->StateBlock()};
    EXPECT_EQ(slots, expected);
}

TEST_F(Controls, MissingStateBlockOrEngine) {
    auto u = NewUgt();
    Set(u.get(), "GTFile", Variant::Str("x.gz"));
    u->DropStateBlockForTest();
    bool called = false;
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT&) { return called = true, 0; };
    ASSERT_EQ(Act(u.get(), gtlib::UGT_GUNZIP), S_OK);
    EXPECT_FALSE(called);
    EXPECT_EQ(Get(u.get(), "ErrorCode").lVal, gtlib::UGTE_MEM);

    // An engine left out of the build: the control says so.
    auto g = Gt::Adopt(sbgt::Gtactx::Create(&sbgt::kMissingEngine));
    EXPECT_EQ(Act(g.get(), gtlib::GT_GZIP), E_NOTIMPL);
    EXPECT_EQ(Get(g.get(), "ErrorCode").lVal, sbgt::kEngineMissingGt);
    EXPECT_EQ(Act(g.get(), 0), S_OK);  // no action needs no engine
    EXPECT_EQ(Get(g.get(), "ErrorCode").lVal, 0);
}

// ---- the lock shared with other processes ----

namespace {
// A child process that holds the named lock until it is killed.
pid_t HoldLockInChild(const std::string& path) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT, 0600);
        flock(fd, LOCK_EX);
        (void)!write(ready[1], "x", 1);
        for (;;) pause();
    }
    char c;
    (void)!read(ready[0], &c, 1);
    close(ready[0]);
    close(ready[1]);
    return pid;
}

bool HeldBySomeoneElse(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR);
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
}
}  // namespace

TEST_F(Controls, WaitSecondsRoundsAgainstAnotherProcessAndRunsAnyway) {
    std::int64_t now = 0, waited = 0;
    const std::string path = sbgt::Module().decompressionLock->Path();
    const pid_t child = HoldLockInChild(path);
    ASSERT_GT(child, 0);

    auto u = NewUgt();
    u->WaitClock() = {[&] { return now; }, [&](std::int32_t ms) { now += ms, waited += ms; }};
    Set(u.get(), "WaitSeconds", Variant::I4(3));
    int runs = 0;
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT&) { return ++runs, 0; };
    ASSERT_EQ(Act(u.get(), gtlib::UGT_GUNZIP), S_OK);
    EXPECT_EQ(runs, 1);  // ran without the lock
    EXPECT_EQ(waited, 3000);

    // The holder dies: its lock goes with it, and the next action takes it at once and holds it while it runs.
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    waited = 0;
    bool heldDuringRun = false;
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT&) { return heldDuringRun = HeldBySomeoneElse(path), 0; };
    ASSERT_EQ(Act(u.get(), gtlib::UGT_GUNZIP), S_OK);
    EXPECT_TRUE(heldDuringRun);
    EXPECT_EQ(waited, 0);
    EXPECT_FALSE(HeldBySomeoneElse(path));  // released after the action

    // No wait at all with WaitSeconds <= 0, even against a holder.
    const pid_t again = HoldLockInChild(path);
    Set(u.get(), "WaitSeconds", Variant::I4(-2));
    waited = 0;
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT&) { return ++runs, 0; };
    ASSERT_EQ(Act(u.get(), gtlib::UGT_GUNZIP), S_OK);
    EXPECT_EQ(waited, 0);
    kill(again, SIGKILL);
    waitpid(again, nullptr, 0);
}

TEST_F(Controls, AnEngineThatThrowsLeavesTheLockAsItWas) {
    auto u = NewUgt();
    Set(u.get(), "WaitSeconds", Variant::I4(1));
    const std::string path = sbgt::Module().decompressionLock->Path();
    bool heldDuringRun = false;
    fixture::ugtRun = [&](gtlib::UGTCMDSTRUCT&) -> std::int32_t {
        heldDuringRun = HeldBySomeoneElse(path);
        throw std::bad_alloc();
    };
    EXPECT_EQ(Act(u.get(), gtlib::UGT_GUNZIP), E_OUTOFMEMORY);
    EXPECT_TRUE(heldDuringRun);
    EXPECT_FALSE(HeldBySomeoneElse(path));
    EXPECT_EQ(fixture::ugtRunState, nullptr);
}
