// The library's module entry points: load and unload hooks, the class factories of the object map, and
// the exported functions a host finds by name (DllCanUnloadNow, DllGetClassObject, DllRegisterServer,
// DllUnregisterServer, and DllGetTypeLibrary for the type description; DllSetMessagePump lets a host
// process its events during a run with bBackgroundProcessing).
#include "gtlib/controls/engines.h"
#include "gtlib/controls/gtactx.h"
#include "gtlib/controls/module.h"
#include "gtlib/controls/registration.h"
#include "gtlib/controls/sbgtactx.h"
#include "gtlib/controls/typelib.h"
#include "gtlib/controls/ugtactx.h"

#define SBGT_EXPORT extern "C" __attribute__((visibility("default")))

namespace sbgt {

using namespace morven::com;

namespace {

// One factory per class; references to a factory keep the module loaded, as LockServer does.
template <class Control>
class Factory final : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override {
        return QueryOwnInterface(static_cast<IClassFactory*>(this), IID_IClassFactory, iid, out);
    }
    ULONG AddRef() override {
        ModuleLock();
        return 2;
    }
    ULONG Release() override {
        ModuleUnlockCount();
        return 1;
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        Control* c = Control::Create();
        if (!c) return E_OUTOFMEMORY;
        const HRESULT hr = c->QueryInterface(iid, out);
        c->Release();
        return hr;
    }
    HRESULT LockServer(int lock) override {
        if (lock)
            ModuleLock();
        else
            ModuleUnlockCount();
        return S_OK;
    }
};

Factory<Gtactx> gtactxFactory;
Factory<Ugtactx> ugtactxFactory;

__attribute__((constructor)) void OnLoad() { ModuleLoad(); }
__attribute__((destructor)) void OnUnload() { ModuleUnload(); }

}  // namespace
}  // namespace sbgt

using namespace morven::com;

SBGT_EXPORT HRESULT DllCanUnloadNow() { return sbgt::Module().lockCount.load() == 0 ? S_OK : S_FALSE; }

SBGT_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!sbgt::Module().ready) return E_UNEXPECTED;  // the module is not loaded (or already unloaded)
    if (clsid == sbgt::CLSID_gtactx) return sbgt::gtactxFactory.QueryInterface(iid, out);
    if (clsid == sbgt::CLSID_ugtactx) return sbgt::ugtactxFactory.QueryInterface(iid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

SBGT_EXPORT HRESULT DllRegisterServer() {
    return sbgt::UpdateRegistration(RegistryFile(), sbgt::ModulePath(), RegistrarMode::Register);
}

SBGT_EXPORT HRESULT DllUnregisterServer() {
    return sbgt::UpdateRegistration(RegistryFile(), sbgt::ModulePath(), RegistrarMode::Remove);
}

SBGT_EXPORT HRESULT DllGetTypeLibrary(const TypeLibrary** out) {
    if (!out) return E_POINTER;
    *out = &sbgt::TypeLibrary();
    return S_OK;
}

SBGT_EXPORT void DllSetMessagePump(sbgt::MessagePumpFn pump, void* context) { sbgt::SetMessagePump(pump, context); }
