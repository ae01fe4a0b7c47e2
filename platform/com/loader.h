// The loader: creates objects of registered classes. It finds a ProgID's CLSID (ProgID\CLSID, or through
// ProgID\CurVer), the class's module (CLSID\{...}\InprocServer32), loads the module and asks its
// DllGetClassObject for the class factory. Modules stay loaded while the loader lives; FreeUnusedLibraries
// and the destructor unload those whose DllCanUnloadNow answers S_OK.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/com/interfaces.h"
#include "platform/com/registry.h"
#include "platform/com/typeinfo.h"

namespace morven::com {

class Loader {
public:
    explicit Loader(RegistryFile registry = RegistryFile()) : registry_(std::move(registry)) {}
    Loader(const Loader&) = delete;
    Loader& operator=(const Loader&) = delete;
    ~Loader();

    // REGDB_E_CLASSNOTREG / CO_E_CLASSSTRING when the ProgID is not registered.
    HRESULT ClsidFromProgId(std::string_view progId, CLSID* out) const;
    // The module path of a class: the one given to UseModule, else the registered one; REGDB_E_CLASSNOTREG
    // when there is none.
    HRESULT ModulePath(const CLSID& clsid, std::string* out) const;
    // Takes the class's module from `path` instead of the registry's InprocServer32 from now on: a host that
    // ships its own copy of a component uses that copy, whatever another installation registered last.
    void UseModule(const CLSID& clsid, std::string path);

    // CO_E_DLLNOTFOUND when the module does not load, CO_E_ERRORINDLL when it lacks DllGetClassObject;
    // otherwise the module's own answer (CLASS_E_CLASSNOTAVAILABLE for a class it does not serve).
    HRESULT GetClassObject(const CLSID& clsid, REFIID iid, void** out);
    HRESULT CreateInstance(const CLSID& clsid, REFIID iid, void** out);
    // By ProgID or by the braced CLSID text.
    HRESULT CreateInstance(std::string_view progIdOrClsid, REFIID iid, void** out);

    // The type description registered under TypeLib\{libid}\<version>\0\linux, through the module's
    // DllGetTypeLibrary. TYPE_E_ELEMENTNOTFOUND when it is not registered.
    HRESULT LoadTypeLibrary(const GUID& libid, const TypeLibrary** out);

    // Another export of a class's module (for example a module's DllSetMessagePump); null when the class is
    // not registered, the module does not load or has no such export.
    void* Symbol(const CLSID& clsid, const char* name);

    void FreeUnusedLibraries();

    // Loads a module and calls its DllRegisterServer / DllUnregisterServer (it writes the registry at
    // RegistryFile::DefaultPath()). CO_E_DLLNOTFOUND / CO_E_ERRORINDLL as above.
    static HRESULT RegisterModule(const std::string& path);
    static HRESULT UnregisterModule(const std::string& path);
    // Last dlopen/dlsym failure text of this thread (for messages).
    static std::string LastError();

    const RegistryFile& Registry() const { return registry_; }

private:
    void* Module(const std::string& path);
    RegistryFile registry_;
    std::map<std::string, std::string> ownModules_;  // by braced CLSID text
    std::map<std::string, void*> modules_;
};

}  // namespace morven::com
