#include "gtlib/controls/registration.h"

#include <dlfcn.h>

#include "gtlib/controls/sbgtactx.h"
#include "gtlib/controls/typelib.h"

namespace sbgt {

using namespace morven::com;

namespace {
// One class's script; the two classes differ in names, description, identifier and toolbox bitmap.
std::string Script(const std::string& name, const std::string& description, const GUID& clsid, int bitmap) {
    const std::string id = GuidToString(clsid);
    const std::string ver = name + "." + name + ".1";
    return "HKCR\n{\n"
           "\t" + ver + " = s '" + description + "'\n\t{\n\t\tCLSID = s '" + id + "'\n\t}\n"
           "\t" + name + "." + name + " = s '" + description + "'\n\t{\n"
           "\t\tCLSID = s '" + id + "'\n\t\tCurVer = s '" + ver + "'\n\t}\n"
           "\tNoRemove CLSID\n\t{\n"
           "\t\tForceRemove " + id + " = s '" + description + "'\n\t\t{\n"
           "\t\t\tProgID = s '" + ver + "'\n"
           "\t\t\tVersionIndependentProgID = s '" + ver + "'\n"
           "\t\t\tForceRemove 'Programmable'\n"
           "\t\t\tInprocServer32 = s '%MODULE%'\n\t\t\t{\n\t\t\t\tval ThreadingModel = s 'Both'\n\t\t\t}\n"
           "\t\t\tForceRemove 'Control'\n"
           "\t\t\tForceRemove 'Insertable'\n"
           "\t\t\tForceRemove 'ToolboxBitmap32' = s '%MODULE%, " + std::to_string(bitmap) + "'\n"
           "\t\t\t'MiscStatus' = s '0'\n\t\t\t{\n\t\t\t\t'1' = s '132497'\n\t\t\t}\n"
           "\t\t\t'TypeLib' = s '" + GuidToString(LIBID_SBGTACTXLib) + "'\n"
           "\t\t\t'Version' = s '1.0'\n"
           "\t\t}\n\t}\n}\n";
}
}  // namespace

std::string RegistrationScriptGtactx() {
    return Script("gtactx", "Selbrik-GT GZIP and TAR Control", CLSID_gtactx, 102);
}

std::string RegistrationScriptUgtactx() {
    return Script("ugtactx", "Selbrik-GT GUNZIP and UNTAR Control", CLSID_ugtactx, 104);
}

HRESULT UpdateRegistration(const RegistryFile& registry, const std::string& modulePath, RegistrarMode mode) {
    const std::map<std::string, std::string> vars{{"MODULE", modulePath}};
    const HRESULT hr = registry.Update([&](RegistryTree& t) {
        for (const std::string& s : {RegistrationScriptGtactx(), RegistrationScriptUgtactx()}) {
            const HRESULT r = ApplyRegistrationScript(t, s, vars, mode);
            if (FAILED(r)) return r;
        }
        if (mode == RegistrarMode::Register)
            RegisterTypeLibrary(t, TypeLibrary(), modulePath);
        else
            UnregisterTypeLibrary(t, TypeLibrary());
        return S_OK;
    });
    return FAILED(hr) ? SELFREG_E_CLASS : S_OK;
}

std::string ModulePath() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ModulePath), &info) || !info.dli_fname) return {};
    char resolved[4096];
    if (realpath(info.dli_fname, resolved)) return resolved;
    return info.dli_fname;
}

}  // namespace sbgt
