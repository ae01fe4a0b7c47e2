// The library as a host sees it: loaded only through the registry and the loader.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "gtlib/controls/sbgtactx.h"
#include "platform/com/client.h"
#include "platform/com/loader.h"
#include "run_program.h"
#include "tests/platform/com/temp_registry.h"

using namespace morven::com;

namespace {

std::string ModuleFile() { return std::filesystem::canonical(SBGTACTX_MODULE).string(); }

class Host : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Loader::RegisterModule(ModuleFile()), S_OK) << Loader::LastError(); }
    RegistryTree Tree() {
        RegistryTree t;
        EXPECT_EQ(RegistryFile().Read(t), S_OK);
        return t;
    }
    // The module's own DllCanUnloadNow, from the copy the loader has loaded.
    HRESULT CanUnloadNow() {
        void* h = dlopen(ModuleFile().c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!h) return E_FAIL;
        auto fn = reinterpret_cast<DllCanUnloadNowFn>(dlsym(h, "DllCanUnloadNow"));
        const HRESULT hr = fn ? fn() : E_FAIL;
        dlclose(h);
        return hr;
    }
    TempRegistry reg;
    Loader loader;
};

struct Entry {
    std::string key, name, value;
};

std::vector<Entry> ClassEntries(const std::string& n, const std::string& description, const GUID& clsid,
                                const std::string& bitmap) {
    const std::string c = "CLSID\\" + GuidToString(clsid);
    const std::string m = ModuleFile();
    return {
        {n + "." + n + ".1", "", description},
        {n + "." + n + ".1\\CLSID", "", GuidToString(clsid)},
        {n + "." + n, "", description},
        {n + "." + n + "\\CLSID", "", GuidToString(clsid)},
        {n + "." + n + "\\CurVer", "", n + "." + n + ".1"},
        {c, "", description},
        {c + "\\ProgID", "", n + "." + n + ".1"},
        {c + "\\VersionIndependentProgID", "", n + "." + n + ".1"},
        {c + "\\InprocServer32", "", m},
        {c + "\\InprocServer32", "ThreadingModel", "Both"},
        {c + "\\ToolboxBitmap32", "", m + ", " + bitmap},
        {c + "\\MiscStatus", "", "0"},
        {c + "\\MiscStatus\\1", "", "132497"},
        {c + "\\TypeLib", "", GuidToString(sbgt::LIBID_SBGTACTXLib)},
        {c + "\\Version", "", "1.0"},
    };
}

}  // namespace

TEST_F(Host, RegistrationWritesEveryEntryOfBothClasses) {
    RegistryTree t = Tree();
    auto all = ClassEntries("gtactx", "Selbrik-GT GZIP and TAR Control", sbgt::CLSID_gtactx, "102");
    auto u = ClassEntries("ugtactx", "Selbrik-GT GUNZIP and UNTAR Control", sbgt::CLSID_ugtactx, "104");
    all.insert(all.end(), u.begin(), u.end());
    for (const auto& e : all) EXPECT_EQ(t.GetValue(e.key, e.name).value_or("<missing>"), e.value) << e.key << " " << e.name;
    for (const GUID& g : {sbgt::CLSID_gtactx, sbgt::CLSID_ugtactx})
        for (const char* empty : {"Programmable", "Control", "Insertable"}) {
            const std::string key = "CLSID\\" + GuidToString(g) + "\\" + empty;
            ASSERT_TRUE(t.Find(key)) << key;
            EXPECT_FALSE(t.GetValue(key)) << key;
        }
    const std::string lib = "TypeLib\\" + GuidToString(sbgt::LIBID_SBGTACTXLib) + "\\1.0";
    EXPECT_EQ(t.GetValue(lib), "Selbrik-GT ActiveX Control");
    EXPECT_EQ(t.GetValue(lib + "\\0\\linux"), ModuleFile());
    for (const GUID& g : {sbgt::IID_Igtactx, sbgt::IID_Iugtactx, sbgt::DIID__IgtactxEvents, sbgt::DIID__IugtactxEvents})
        EXPECT_EQ(t.GetValue("Interface\\" + GuidToString(g) + "\\TypeLib"), GuidToString(sbgt::LIBID_SBGTACTXLib));
}

TEST_F(Host, UnregistrationRemovesTheClassesAndKeepsTheRest) {
    ASSERT_EQ(RegistryFile().Update([](RegistryTree& t) {
        t.SetValue("CLSID\\{00000000-1111-2222-3333-444444444444}", "", "another class");
        t.SetValue("TypeLib\\{00000000-1111-2222-3333-444444444444}\\1.0", "", "another library");
        return S_OK;
    }), S_OK);
    ASSERT_EQ(Loader::UnregisterModule(ModuleFile()), S_OK);
    RegistryTree t = Tree();
    for (const char* gone : {"gtactx.gtactx.1", "gtactx.gtactx", "ugtactx.ugtactx.1", "ugtactx.ugtactx"})
        EXPECT_FALSE(t.Find(gone)) << gone;
    EXPECT_FALSE(t.Find("CLSID\\" + GuidToString(sbgt::CLSID_gtactx)));
    EXPECT_FALSE(t.Find("CLSID\\" + GuidToString(sbgt::CLSID_ugtactx)));
    EXPECT_FALSE(t.Find("TypeLib\\" + GuidToString(sbgt::LIBID_SBGTACTXLib)));
    EXPECT_FALSE(t.Find("Interface\\" + GuidToString(sbgt::IID_Iugtactx)));
    EXPECT_EQ(t.GetValue("CLSID\\{00000000-1111-2222-3333-444444444444}"), "another class");
    EXPECT_TRUE(t.Find("TypeLib\\{00000000-1111-2222-3333-444444444444}\\1.0"));
    CLSID c;
    EXPECT_EQ(loader.ClsidFromProgId("ugtactx.ugtactx.1", &c), REGDB_E_CLASSNOTREG);
}

TEST_F(Host, CreatesBothControlsByProgIdAndCountsLocks) {
    for (const char* progId : {"gtactx.gtactx.1", "ugtactx.ugtactx", "UGTACTX.ugtactx.1"}) {
        ComPtr<IDispatch> d;
        ASSERT_EQ(loader.CreateInstance(progId, IID_IDispatch, d.outVoid()), S_OK) << progId;
        EXPECT_EQ(CanUnloadNow(), S_FALSE);
        Variant tarIndex;
        ASSERT_EQ(GetPropertyByName(d.get(), "tarindex", &tarIndex), S_OK);
        EXPECT_EQ(tarIndex.lVal, -1);
    }
    EXPECT_EQ(CanUnloadNow(), S_OK);
    ComPtr<IClassFactory> f;
    ASSERT_EQ(loader.GetClassObject(sbgt::CLSID_ugtactx, IID_IClassFactory, f.outVoid()), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);  // a factory reference keeps the module
    f->LockServer(1);
    f.reset();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);  // a server lock alone keeps it too
    ASSERT_EQ(loader.GetClassObject(sbgt::CLSID_ugtactx, IID_IClassFactory, f.outVoid()), S_OK);
    f->LockServer(0);
    f.reset();
    EXPECT_EQ(CanUnloadNow(), S_OK);
    ComPtr<IUnknown> u;
    ASSERT_EQ(loader.GetClassObject(sbgt::CLSID_gtactx, IID_IClassFactory, f.outVoid()), S_OK);
    EXPECT_EQ(f->CreateInstance(reinterpret_cast<IUnknown*>(f.get()), IID_IUnknown, u.outVoid()), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IClassFactory, u.outVoid()), E_NOINTERFACE);
}

TEST_F(Host, UnknownClassIsNotAvailable) {
    const GUID other{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    ASSERT_EQ(RegistryFile().Update([&](RegistryTree& t) {
        t.SetValue("CLSID\\" + GuidToString(other) + "\\InprocServer32", "", ModuleFile());
        return S_OK;
    }), S_OK);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(loader.CreateInstance(other, IID_IUnknown, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
}

// ---- the type description, against the published member lists ----

namespace {

// "name dispid [type]; ..." as the member lists are written.
struct Row {
    std::string name;
    DISPID dispid;
    std::string type;
};
std::vector<Row> Rows(const std::string& text) {
    std::vector<Row> rows;
    std::stringstream all(text);
    std::string item;
    while (std::getline(all, item, ';')) {
        std::stringstream s(item);
        Row r;
        if (!(s >> r.name >> r.dispid)) continue;
        s >> r.type;
        rows.push_back(r);
    }
    return rows;
}

const char* kIgtactx =
    "ActionGT 1 gtAction; bAddComment 2; bAllQuiet 3; bBackgroundProcessing 4; bDiagnostic 6; bDosify 7; "
    "bLFtoCRLF 5; bEncryptFlag 8; bExclDate 9; bGrowExisting 10; bInclDate 11; bIncludeSysHidden 12; "
    "bMajorStatus 13; bMessageCallback 14; bMinorStatus 15; bNoDirectoryNames 16; bRecurseFlag 17; "
    "bRenameCallback 18; bUseEncodedBinary 19; CompFactor 21 gtCompFactor; Date1 22 BSTR; Date2 23 BSTR; "
    "Destination 24 BSTR; EncryptCode 25 BSTR; ErrorCode 26 gtErrorCode; ExcludeList 27 BSTR; gtSubOptions 30 "
    "gtSubOptions; GTFile 28 BSTR; GTString 29 BSTR; GZIPComment 31 BSTR; IncludeList 32 BSTR; ItemList 33 BSTR; "
    "MemoryBlock 34 VARIANT; MemoryBlockSize 35 long; TempPath 36 BSTR; WaitSeconds 37 long; TarIndex 20 long";

const char* kIugtactx =
    "ActionGT 1 ugtAction; bAllQuiet 2; bBackgroundProcessing 3; bLFtoCRLF 4; bDecryptFlag 5; bDiagnostic 6; "
    "bFreshenFlag 7; bMajorStatus 8; bMessageCallback 9; bMinorStatus 10; bNoDirectoryNames 11; bOverwriteFlag 12; "
    "bRecurseFlag 13; bRenameCallback 14; bTestFlag 15; bUpdateFlag 17; bUseEncodedBinary 18; DecryptCode 19 "
    "BSTR; Destination 20 BSTR; ErrorCode 21 ugtErrorCode; Filespec 22 BSTR; GTFile 23 BSTR; gzi_Attr 24 long; "
    "gzi_CRC32 25 long; gzi_cSizeL 26 long; gzi_cSizeH 27 long; gzi_DateTime 28 BSTR; gzi_ExtraFlags 29 short; "
    "gzi_FileName 30 BSTR; gzi_Index 31 long; gzi_Method 32 short; gzi_oSizeL 33 long; gzi_oSizeH 34 long; "
    "gzi_OSType 35 short; MemoryBlock 36 VARIANT; MemoryBlockSize 37 long; ReturnCount 38 long; ReturnString 39 "
    "BSTR; StartingOffset 40 long; TarIndex 41 long; ti_Checksum 42 long; ti_DateTime 43 BSTR; ti_DevMajor 44 "
    "BSTR; ti_DevMinor 45 BSTR; ti_FileName 46 BSTR; ti_GID 47 long; ti_GName 48 BSTR; ti_Index 49 long; "
    "ti_LinkName 50 BSTR; ti_MAGIC 51 BSTR; ti_Mode 52 long; ti_SizeL 53 long; ti_SizeH 54 long; ti_TypeFlag 55 "
    "long; ti_UID 56 long; ti_UName 57 BSTR; ti_Version 58 BSTR; UGTString 59 BSTR; UGTStringOffset 60 long; "
    "UGTStringSize 61 long; ugtSubOptions 62 ugtSubOptions; WaitSeconds 63 long; bTIECallback 16 VARIANT_BOOL";

const char* kEnums[][2] = {
    {"sbgtConstants",
     "MEM_DONE 0; MEM_ERROR 1; MEM_CANCEL 2; MEM_CONTINUE 3; MEM_READ_DATA 0; MEM_WRITE_DATA 1; MSGID_GTOPEN 0; "
     "MSGID_GTREAD 1; MSGID_GTWRITE 2; MSGID_GTOVERWRT 3; MSGID_GTPWERR 4; MSGID_GTERROR 5; MSGID_GTWARN 6; "
     "MSGID_GTCHANGE 7; STYP_FILETOFILE_GZIP 0; STYP_FILETOFILE_GUNZIP 0; STYP_FILETOFILE_TAR 1; "
     "STYP_FILETOFILE_UNTAR 1; STYP_MEMTOMEM_GZIP 2; STYP_MEMTOMEM_GUNZIP 2; STYP_MEMTOFILE_GZIP 3; "
     "STYP_FILETOMEM_GUNZIP 3; STYP_MEMTOFILE_TAR 4; STYP_FILETOMEM_UNTAR 4; TIE_CONTINUE 0; TIE_ABORT 1; "
     "ATTR_READONLY 1; ATTR_HIDDEN 2; ATTR_SYSTEM 4; ATTR_VOLUME 8; ATTR_SUBDIR 16; ATTR_ARCHIVE 32; "
     "ATTR_ENCRYPT 32768; ATTR_LFNAME 65536"},
    {"ugtAction",
     "UGT_NO_ACTION 0; UGT_GUNZIP 1; UGT_UNTAR 2; UGT_GUNZIP_FILETOMEM 3; UGT_GUNZIP_MEMTOMEM 4; "
     "UGT_GUNZIP_FILETOMEM_STREAM 5; UGT_UNTAR_FILETOMEM 6; UGT_UNTAR_FILETOMEM_STREAM 7; UGT_GETGZIPCOMMENT_SIZE 8; "
     "UGT_GETGZIPCOMMENT 9; UGT_GETGZIPINFO 10; UGT_UNTAR_COUNTALLMEMBERS 11; UGT_UNTAR_GETNEXTINFO 12; "
     "UGT_UNTAR_COUNTNAMEDMEMBERS 13; UGT_UNTAR_GETNEXTNAMEDINFO 14"},
    {"ugtErrorCode",
     "UGTE_OK 0; UGTE_EOF 1; UGTE_BUSY 2; UGTE_STRUCT 3; UGTE_MEM 4; UGTE_ABORT 5; UGTE_NONE 6; UGTE_OPEN 7; "
     "UGTE_CREATE 8; UGTE_READ 9; UGTE_WRITE 10; UGTE_PARMS 11; UGTE_INDEX 12; UGTE_BADCRC 13; UGTE_BADKEY 14; "
     "UGTE_SKIP 15; UGTE_UNKNOWN 16; UGTE_DISKFULL 17"},
    {"ugtSubOptions",
     "UGTSO_NO_SUBOPTIONS 0; UGTSO_OVERWRITE_RO 1; UGTSO_MINORCANCEL 2; UGTSO_IGNORELONGNAMES 16; "
     "UGTSO_MANGLELONGNAMES 32; UGTSO_LEAVEPARTIAL 64; UGTSO_LOGGTRESULTS 256; UGTSO_INHIBIT_PUMP 16384"},
    {"gtAction",
     "GT_NO_ACTION 0; GT_GZIP 1; GT_TAR 2; GT_TAR_DELETE 3; GT_GZIP_MEMTOFILE 4; GT_GZIP_MEMTOMEM 5; "
     "GT_GZIP_MEMTOFILE_STREAM 6; GT_TAR_MEMTOFILE 7"},
    {"gtCompFactor",
     "COMPFACTOR_1 1; COMPFACTOR_2 2; COMPFACTOR_3 3; COMPFACTOR_4 4; COMPFACTOR_5 5; COMPFACTOR_6 6; "
     "COMPFACTOR_7 7; COMPFACTOR_8 8; COMPFACTOR_9 9"},
    {"gtErrorCode",
     "GTE_OK 0; GTE_EOF 1; GTE_BUSY 2; GTE_STRUCT 3; GTE_MEM 4; GTE_ABORT 5; GTE_NONE 6; GTE_OPEN 7; GTE_CREATE 8; "
     "GTE_READ 9; GTE_WRITE 10; GTE_PARMS 11; GTE_INDEX 12; GTE_TEMP 13; GTE_NAME 14; GTE_INCOMPLETE 15"},
    {"gtSubOptions",
     "GTSO_NO_SUBOPTIONS 0; GTSO_RELATIVE_PATH 1; GTSO_MINORCANCEL 2; GTSO_IGNORELONGNAMES 16; "
     "GTSO_MANGLELONGNAMES 32; GTSO_SKIPLOCKEDFILES 64; GTSO_LOGGTRESULTS 256; GTSO_JUST_ARCHIVED 512; "
     "GTSO_RESET_ARCHIVED 1024; GTSO_INHIBIT_PUMP 16384"},
};

void ExpectInterface(const TypeDesc& t, const char* list) {
    const auto rows = Rows(list);
    ASSERT_EQ(t.members.size(), rows.size() * 2 + 1) << t.name;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& get = t.members[2 * i];
        const auto& put = t.members[2 * i + 1];
        const std::string type = rows[i].type.empty() ? "VARIANT_BOOL" : rows[i].type;
        std::string help = "property " + rows[i].name;
        if (rows[i].name == "gtSubOptions") help = "property GTSubOptions";
        if (rows[i].name == "ugtSubOptions") help = "property UGTSubOptions";
        EXPECT_EQ(get.name, rows[i].name);
        EXPECT_EQ(get.kind, MemberKind::PropertyGet) << rows[i].name;
        EXPECT_EQ(put.kind, MemberKind::PropertyPut) << rows[i].name;
        EXPECT_EQ(get.dispid, rows[i].dispid) << rows[i].name;
        EXPECT_EQ(put.dispid, rows[i].dispid) << rows[i].name;
        EXPECT_EQ(get.typeName, type) << rows[i].name;
        EXPECT_EQ(get.help, help);
        EXPECT_EQ(put.help, help);
    }
    const auto& about = t.members.back();
    EXPECT_EQ(about.name, "About");
    EXPECT_EQ(about.dispid, -552);
    EXPECT_EQ(about.kind, MemberKind::Method);
    EXPECT_EQ(about.help, "method About");
    EXPECT_TRUE(about.params.empty());
}

void ExpectEvents(const TypeDesc& t, const std::string& p, bool tarEnum) {
    struct Ev {
        std::string name;
        DISPID id;
        std::string params;
    };
    std::vector<Ev> evs = {
        {p + "MajorStatus", 1, p + "ItemName " + p + "Percent " + p + "StatType " + p + "Cancel"},
        {p + "MinorStatus", 2, p + "ItemName " + p + "Percent " + p + "StatType " + p + "Cancel"},
        {p + "MessageCallback", 3,
         p + "MsgID " + p + "Type p" + p + "1 p" + p + "2 sz" + p + "1 sz" + p + "2 " + p + "RetCode"},
        {p + "RenameCallback", 4,
         p + "ItemName " + p + "DateTime l" + p + "Attrib l" + p + "Options " + p + "OrigItemName " + p + "RetCode"},
        {p + "MemToMemCallback", 5,
         "l" + p + "Action lp" + p + "MemBuf pdw" + p + "Size dw" + p + "TotalReadL dw" + p + "TotalReadH dw" + p +
             "TotalWrittenL dw" + p + "TotalWrittenH pl" + p + "RetCode"},
    };
    if (tarEnum) evs.push_back({"UGTTIEnumCallback", 6, "plUGTRetCode"});
    ASSERT_EQ(t.members.size(), evs.size());
    for (std::size_t i = 0; i < evs.size(); ++i) {
        const auto& m = t.members[i];
        EXPECT_EQ(m.name, evs[i].name);
        EXPECT_EQ(m.dispid, evs[i].id);
        EXPECT_EQ(m.help, "method " + evs[i].name);
        std::string names;
        for (const auto& prm : m.params) {
            names += (names.empty() ? "" : " ") + prm.name;
            EXPECT_TRUE(prm.byRef) << m.name << " " << prm.name;
            EXPECT_EQ(prm.typeName, prm.name.rfind("sz", 0) == 0 || prm.name.find("ItemName") != std::string::npos ||
                                            prm.name.find("DateTime") != std::string::npos ||
                                            prm.name.find("MemBuf") != std::string::npos
                                        ? "BSTR"
                                        : "long")
                << prm.name;
        }
        EXPECT_EQ(names, evs[i].params);
    }
}

}  // namespace

TEST_F(Host, TypeDescriptionThroughTheRegistry) {
    const TypeLibrary* lib = nullptr;
    ASSERT_EQ(loader.LoadTypeLibrary(sbgt::LIBID_SBGTACTXLib, &lib), S_OK);
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(lib->name, "SBGTACTXLib");
    EXPECT_EQ(lib->help, "Selbrik-GT ActiveX Control");
    EXPECT_EQ(lib->major, 1);
    EXPECT_EQ(lib->minor, 0);
    std::vector<std::string> order;
    for (const auto& t : lib->types) order.push_back(t.name);
    EXPECT_EQ(order, (std::vector<std::string>{"sbgtConstants", "_IgtactxEvents", "Iugtactx", "ugtAction",
                                               "ugtErrorCode", "ugtSubOptions", "gtactx", "Igtactx", "gtAction",
                                               "gtCompFactor", "gtErrorCode", "gtSubOptions", "_IugtactxEvents",
                                               "ugtactx"}));
    ExpectInterface(*lib->Find("Igtactx"), kIgtactx);
    ExpectInterface(*lib->Find("Iugtactx"), kIugtactx);
    EXPECT_EQ(lib->Find("Igtactx")->help, "Selbrik-GT GZIP and TAR Interface");
    EXPECT_EQ(lib->Find("Iugtactx")->help, "Selbrik-GT GUNZIP and UNTAR Interface");
    EXPECT_EQ(lib->Find("_IgtactxEvents")->help, "Selbrik-GT GZIP and TAR Event Interface");
    EXPECT_EQ(lib->Find("_IugtactxEvents")->help, "Selbrik-GT GUNZIP and UNTAR  Event Interface");
    ExpectEvents(*lib->Find("_IgtactxEvents"), "GT", false);
    ExpectEvents(*lib->Find("_IugtactxEvents"), "UGT", true);
    for (const auto& e : kEnums) {
        const TypeDesc* t = lib->Find(e[0]);
        ASSERT_TRUE(t) << e[0];
        const auto rows = Rows(e[1]);
        ASSERT_EQ(t->values.size(), rows.size()) << e[0];
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(t->values[i].name, rows[i].name) << e[0];
            EXPECT_EQ(t->values[i].value, rows[i].dispid) << rows[i].name;
        }
    }
    for (const auto& [cls, iface, source, help] :
         {std::tuple{"gtactx", "Igtactx", "_IgtactxEvents", "gtactx Class"},
          std::tuple{"ugtactx", "Iugtactx", "_IugtactxEvents", "ugtactx Class"}}) {
        const TypeDesc* c = lib->Find(cls);
        EXPECT_EQ(c->defaultInterface, iface);
        EXPECT_EQ(c->defaultSource, source);
        EXPECT_EQ(c->help, help);
    }
    EXPECT_TRUE(lib->Find("gtactx")->guid == sbgt::CLSID_gtactx);
    EXPECT_TRUE(lib->Find("_IugtactxEvents")->source);
}

TEST_F(Host, DispatchNamesAndInterfaceTableAgree) {
    // A host may bind by name, by DISPID or by table slot; all three reach the same property.
    ComPtr<sbgt::Iugtactx> u;
    ASSERT_EQ(loader.CreateInstance("ugtactx.ugtactx.1", sbgt::IID_Iugtactx, u.outVoid()), S_OK);
    ASSERT_EQ(u->put_WaitSeconds(7), S_OK);
    Variant byName;
    ASSERT_EQ(GetPropertyByName(u.get(), "WAITSECONDS", &byName), S_OK);
    EXPECT_EQ(byName.lVal, 7);
    ASSERT_EQ(PutPropertyByName(u.get(), "bTIECallback", Variant::I4(1)), S_OK);
    VARIANT_BOOL b = 0;
    ASSERT_EQ(u->get_bTIECallback(&b), S_OK);
    EXPECT_EQ(b, VARIANT_TRUE);
    DISPID id;
    EXPECT_EQ(DispIdOf(u.get(), "NoSuchProperty", &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(CallMethodByName(u.get(), "About"), S_OK);
    ComPtr<sbgt::Igtactx> g;
    ASSERT_EQ(loader.CreateInstance("gtactx.gtactx.1", sbgt::IID_Igtactx, g.outVoid()), S_OK);
    std::int32_t factor = 0;
    ASSERT_EQ(g->get_CompFactor(&factor), S_OK);
    EXPECT_EQ(factor, 5);
}

TEST_F(Host, HostPumpSeesAQuitAndTheRunStops) {
    auto setPump = reinterpret_cast<void (*)(int (*)(void*), void*)>(loader.Symbol(sbgt::CLSID_ugtactx, "DllSetMessagePump"));
    ASSERT_NE(setPump, nullptr);
    const std::string dir = reg.dir();
    std::ofstream(dir + "/a.txt") << "a";
    std::ofstream(dir + "/b.txt") << "b";
    ASSERT_EQ(RunProgram("tar", {"-C", dir, "-cf", dir + "/n.tar", "a.txt", "b.txt"}).status, 0);
    std::filesystem::create_directories(dir + "/out");
    int pumped = 0;
    setPump([](void* n) { return ++*static_cast<int*>(n) == 1 ? 1 : 0; }, &pumped);  // a quit in the first round
    ComPtr<IDispatch> u;
    ASSERT_EQ(loader.CreateInstance("ugtactx.ugtactx.1", IID_IDispatch, u.outVoid()), S_OK);
    for (const auto& [name, value] : {std::pair{"GTFile", Variant::Str(dir + "/n.tar")},
                                      std::pair{"Destination", Variant::Str(dir + "/out")},
                                      std::pair{"bMajorStatus", Variant::Bool(true)},
                                      std::pair{"bBackgroundProcessing", Variant::Bool(true)}})
        ASSERT_EQ(PutPropertyByName(u.get(), name, value), S_OK) << name;
    ASSERT_EQ(PutPropertyByName(u.get(), "ActionGT", Variant::I4(2)), S_OK);
    setPump(nullptr, nullptr);
    Variant code;
    GetPropertyByName(u.get(), "ErrorCode", &code);
    EXPECT_EQ(code.lVal, 5);  // UGTE_ABORT
    EXPECT_EQ(pumped, 1);
    EXPECT_FALSE(std::filesystem::exists(dir + "/out/a.txt"));
}
