#include <gtest/gtest.h>

#include "platform/com/loader.h"
#include "temp_registry.h"

using namespace morven::com;

namespace {
constexpr CLSID kCounter{0x1B2C3D4E, 0x0001, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};
}

TEST(Loader, RegistersCreatesByProgIdAndUnregisters) {
    TempRegistry reg;
    Loader loader;
    CLSID c;
    EXPECT_EQ(loader.ClsidFromProgId("comtest.counter", &c), REGDB_E_CLASSNOTREG);
    ASSERT_EQ(Loader::RegisterModule(COM_TEST_MODULE), S_OK);
    ASSERT_EQ(loader.ClsidFromProgId("COMTEST.Counter", &c), S_OK);
    EXPECT_TRUE(c == kCounter);
    std::string path;
    ASSERT_EQ(loader.ModulePath(c, &path), S_OK);
    EXPECT_EQ(std::filesystem::canonical(path), std::filesystem::canonical(COM_TEST_MODULE));

    ComPtr<IUnknown> obj;
    ASSERT_EQ(loader.CreateInstance("comtest.counter", IID_IUnknown, obj.outVoid()), S_OK);
    ASSERT_TRUE(obj);
    ComPtr<IUnknown> byClsid;
    EXPECT_EQ(loader.CreateInstance(GuidToString(kCounter), IID_IUnknown, byClsid.outVoid()), S_OK);
    EXPECT_EQ(loader.CreateInstance("comtest.counter", IID_IDispatch, byClsid.outVoid()), E_NOINTERFACE);
    EXPECT_NE(loader.Symbol(c, "DllCanUnloadNow"), nullptr);
    EXPECT_EQ(loader.Symbol(c, "NoSuchExport"), nullptr);
    EXPECT_EQ(loader.Symbol(GUID{0x77, 7, 7, {7}}, "DllCanUnloadNow"), nullptr);
    obj.reset();
    byClsid.reset();
    loader.FreeUnusedLibraries();

    ASSERT_EQ(Loader::UnregisterModule(COM_TEST_MODULE), S_OK);
    EXPECT_EQ(loader.ClsidFromProgId("comtest.counter", &c), REGDB_E_CLASSNOTREG);
    RegistryTree t;
    ASSERT_EQ(loader.Registry().Read(t), S_OK);
    EXPECT_TRUE(t.Find("CLSID"));  // NoRemove
    EXPECT_FALSE(t.Find("CLSID\\" + GuidToString(kCounter)));
}

TEST(Loader, FollowsCurVerOfAVersionIndependentProgId) {
    TempRegistry reg;
    ASSERT_EQ(RegistryFile().Update([](RegistryTree& t) {
        t.SetValue("thing", "", "Thing");
        t.SetValue("thing\\CurVer", "", "thing.2");
        t.SetValue("thing.2\\CLSID", "", GuidToString(kCounter));
        return S_OK;
    }), S_OK);
    Loader loader;
    CLSID c;
    ASSERT_EQ(loader.ClsidFromProgId("thing", &c), S_OK);
    EXPECT_TRUE(c == kCounter);
}

TEST(Loader, FailuresHaveTheirOwnResults) {
    TempRegistry reg;
    const std::string other = GuidToString(GUID{0x99, 9, 9, {9}});
    ASSERT_EQ(RegistryFile().Update([&](RegistryTree& t) {
        t.SetValue("missing.module\\CLSID", "", other);
        t.SetValue("CLSID\\" + other + "\\InprocServer32", "", "/nonexistent/libnothing.so");
        t.SetValue("no.exports\\CLSID", "", GuidToString(GUID{0x98, 9, 9, {9}}));
        t.SetValue("CLSID\\" + GuidToString(GUID{0x98, 9, 9, {9}}) + "\\InprocServer32", "", COM_TEST_NOEXPORTS);
        t.SetValue("wrong.class\\CLSID", "", GuidToString(GUID{0x97, 9, 9, {9}}));
        t.SetValue("CLSID\\" + GuidToString(GUID{0x97, 9, 9, {9}}) + "\\InprocServer32", "", COM_TEST_MODULE);
        t.SetValue("bad.clsid\\CLSID", "", "not a guid");
        return S_OK;
    }), S_OK);
    Loader loader;
    struct Case {
        const char* name;
        HRESULT hr;
    } cases[] = {
        {"unknown.progid", REGDB_E_CLASSNOTREG},   {"missing.module", CO_E_DLLNOTFOUND},
        {"no.exports", CO_E_ERRORINDLL},           {"wrong.class", CLASS_E_CLASSNOTAVAILABLE},
        {"bad.clsid", REGDB_E_CLASSNOTREG},        {"", CO_E_CLASSSTRING},
    };
    for (const auto& c : cases) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(loader.CreateInstance(c.name, IID_IUnknown, &out), c.hr) << c.name;
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(Loader::RegisterModule("/nonexistent/libnothing.so"), CO_E_DLLNOTFOUND);
    EXPECT_EQ(Loader::RegisterModule(COM_TEST_NOEXPORTS), CO_E_ERRORINDLL);
}

// A host that names its own copy of a class's module uses that copy, whatever the registry names: here the
// registry points at a module that cannot serve the class, and at one that is not there.
TEST(Loader, AModuleGivenByTheHostWinsOverTheRegisteredOne) {
    for (const std::string& registered : {std::string(COM_TEST_NOEXPORTS), std::string("/nowhere/libcomtest.so")}) {
        SCOPED_TRACE(registered);
        TempRegistry reg;
        ASSERT_EQ(Loader::RegisterModule(COM_TEST_MODULE), S_OK);
        ASSERT_EQ(RegistryFile().Update([&](RegistryTree& t) {
            t.SetValue("CLSID\\" + GuidToString(kCounter) + "\\InprocServer32", "", registered);
            return S_OK;
        }),
                  S_OK);
        Loader loader;
        ComPtr<IUnknown> obj;
        EXPECT_NE(loader.CreateInstance("comtest.counter", IID_IUnknown, obj.outVoid()), S_OK);

        loader.UseModule(kCounter, COM_TEST_MODULE);
        std::string path;
        ASSERT_EQ(loader.ModulePath(kCounter, &path), S_OK);
        EXPECT_EQ(path, COM_TEST_MODULE);
        ASSERT_EQ(loader.CreateInstance("comtest.counter", IID_IUnknown, obj.outVoid()), S_OK);
        EXPECT_TRUE(obj);
        EXPECT_NE(loader.Symbol(kCounter, "DllCanUnloadNow"), nullptr);
        obj.reset();
        // The registry itself is left as it was: another host still finds what was registered there.
        std::string inRegistry;
        ASSERT_EQ(Loader().ModulePath(kCounter, &inRegistry), S_OK);
        EXPECT_EQ(inRegistry, registered);
    }
}
