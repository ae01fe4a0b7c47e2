// A minimal component module: one class ("comtest.counter") whose objects only count references, so the
// loader tests can check class lookup, DllCanUnloadNow and registration through the exports.
#include <dlfcn.h>

#include <atomic>

#include "platform/com/interfaces.h"
#include "platform/com/registrar.h"
#include "platform/com/registry.h"

using namespace morven::com;

namespace {
constexpr CLSID kClsid{0x1B2C3D4E, 0x0001, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};
std::atomic<long> locks{0};

class Counter final : public IUnknown {
public:
    Counter() { ++locks; }
    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG n = --refs_;
        if (!n) {
            delete this;
            --locks;
        }
        return n;
    }

private:
    std::atomic<ULONG> refs_{0};
};

class Factory final : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* c = new Counter();
        c->AddRef();
        const HRESULT hr = c->QueryInterface(iid, out);
        c->Release();
        return hr;
    }
    HRESULT LockServer(int lock) override {
        lock ? ++locks : --locks;
        return S_OK;
    }
};
Factory factory;

constexpr const char* kScript = R"(HKCR
{
    comtest.counter = s 'Counter'
    {
        CLSID = s '{1B2C3D4E-0001-4000-8000-000000000001}'
    }
    NoRemove CLSID
    {
        ForceRemove {1B2C3D4E-0001-4000-8000-000000000001} = s 'Counter'
        {
            InprocServer32 = s '%MODULE%'
        }
    }
})";

std::string OwnPath() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&OwnPath), &info);
    return info.dli_fname ? info.dli_fname : "";
}

HRESULT Apply(RegistrarMode mode) {
    return RegistryFile().Update([&](RegistryTree& t) {
        return ApplyRegistrationScript(t, kScript, {{"MODULE", OwnPath()}}, mode);
    });
}
}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!(clsid == kClsid)) {
        *out = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return factory.QueryInterface(iid, out);
}
extern "C" HRESULT DllCanUnloadNow() { return locks == 0 ? S_OK : S_FALSE; }
extern "C" HRESULT DllRegisterServer() { return Apply(RegistrarMode::Register); }
extern "C" HRESULT DllUnregisterServer() { return Apply(RegistrarMode::Remove); }
