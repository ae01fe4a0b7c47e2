#include "platform/com/loader.h"

#include <dlfcn.h>

namespace morven::com {

namespace {
thread_local std::string lastError;

void NoteDlError() {
    const char* e = dlerror();
    lastError = e ? e : "";
}

HRESULT CallModuleEntry(const std::string& path, const char* entry) {
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        NoteDlError();
        return CO_E_DLLNOTFOUND;
    }
    auto fn = reinterpret_cast<DllRegisterServerFn>(dlsym(h, entry));
    if (!fn) {
        NoteDlError();
        dlclose(h);
        return CO_E_ERRORINDLL;
    }
    const HRESULT hr = fn();
    auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(dlsym(h, "DllCanUnloadNow"));
    if (!canUnload || canUnload() == S_OK) dlclose(h);
    return hr;
}
}  // namespace

Loader::~Loader() { FreeUnusedLibraries(); }

std::string Loader::LastError() { return lastError; }

HRESULT Loader::ClsidFromProgId(std::string_view progId, CLSID* out) const {
    if (!out) return E_POINTER;
    RegistryTree t;
    if (FAILED(registry_.Read(t))) return REGDB_E_READREGDB;
    if (progId.empty() || progId.find('\\') != std::string_view::npos) return CO_E_CLASSSTRING;
    std::string name(progId);
    // A version-independent ProgID may carry only CurVer; follow it (a short chain at most).
    for (int hop = 0; hop < 4; ++hop) {
        if (auto clsid = t.GetValue(name + "\\CLSID")) {
            const auto g = GuidFromString(*clsid);
            if (!g) return REGDB_E_CLASSNOTREG;
            *out = *g;
            return S_OK;
        }
        auto cur = t.GetValue(name + "\\CurVer");
        if (!cur || cur->empty()) break;
        name = *cur;
    }
    return REGDB_E_CLASSNOTREG;
}

HRESULT Loader::ModulePath(const CLSID& clsid, std::string* out) const {
    if (!out) return E_POINTER;
    if (auto it = ownModules_.find(GuidToString(clsid)); it != ownModules_.end()) {
        *out = it->second;
        return S_OK;
    }
    RegistryTree t;
    if (FAILED(registry_.Read(t))) return REGDB_E_READREGDB;
    auto path = t.GetValue("CLSID\\" + GuidToString(clsid) + "\\InprocServer32");
    if (!path || path->empty()) return REGDB_E_CLASSNOTREG;
    *out = *path;
    return S_OK;
}

void Loader::UseModule(const CLSID& clsid, std::string path) { ownModules_[GuidToString(clsid)] = std::move(path); }

void* Loader::Module(const std::string& path) {
    if (auto it = modules_.find(path); it != modules_.end()) return it->second;
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        NoteDlError();
        return nullptr;
    }
    modules_[path] = h;
    return h;
}

HRESULT Loader::GetClassObject(const CLSID& clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    std::string path;
    HRESULT hr = ModulePath(clsid, &path);
    if (FAILED(hr)) return hr;
    void* h = Module(path);
    if (!h) return CO_E_DLLNOTFOUND;
    auto fn = reinterpret_cast<DllGetClassObjectFn>(dlsym(h, "DllGetClassObject"));
    if (!fn) {
        NoteDlError();
        return CO_E_ERRORINDLL;
    }
    return fn(clsid, iid, out);
}

HRESULT Loader::CreateInstance(const CLSID& clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ComPtr<IClassFactory> factory;
    HRESULT hr = GetClassObject(clsid, IID_IClassFactory, factory.outVoid());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, iid, out);
}

HRESULT Loader::CreateInstance(std::string_view name, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    CLSID clsid;
    if (auto g = GuidFromString(name)) {
        clsid = *g;
    } else {
        const HRESULT hr = ClsidFromProgId(name, &clsid);
        if (FAILED(hr)) return hr;
    }
    return CreateInstance(clsid, iid, out);
}

HRESULT Loader::LoadTypeLibrary(const GUID& libid, const TypeLibrary** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    RegistryTree t;
    if (FAILED(registry_.Read(t))) return REGDB_E_READREGDB;
    const RegKey* lib = t.Find("TypeLib\\" + GuidToString(libid));
    if (!lib || lib->subkeys.empty()) return TYPE_E_ELEMENTNOTFOUND;
    // The newest version registered is the last one written.
    const RegKey* ver = lib->subkeys.back().get();
    const RegKey* zero = ver->Child("0");
    const RegKey* file = zero ? zero->Child("linux") : nullptr;
    if (!file || !file->defaultValue) return TYPE_E_ELEMENTNOTFOUND;
    void* h = Module(*file->defaultValue);
    if (!h) return CO_E_DLLNOTFOUND;
    auto fn = reinterpret_cast<DllGetTypeLibraryFn>(dlsym(h, "DllGetTypeLibrary"));
    if (!fn) {
        NoteDlError();
        return CO_E_ERRORINDLL;
    }
    return fn(out);
}

void* Loader::Symbol(const CLSID& clsid, const char* name) {
    std::string path;
    if (FAILED(ModulePath(clsid, &path))) return nullptr;
    void* h = Module(path);
    return h ? dlsym(h, name) : nullptr;
}

void Loader::FreeUnusedLibraries() {
    for (auto it = modules_.begin(); it != modules_.end();) {
        auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(dlsym(it->second, "DllCanUnloadNow"));
        if (canUnload && canUnload() == S_OK) {
            dlclose(it->second);
            it = modules_.erase(it);
        } else {
            ++it;
        }
    }
}

HRESULT Loader::RegisterModule(const std::string& path) { return CallModuleEntry(path, "DllRegisterServer"); }
HRESULT Loader::UnregisterModule(const std::string& path) { return CallModuleEntry(path, "DllUnregisterServer"); }

}  // namespace morven::com
