// The registrar: applies a class's registration script to the registry tree, in register or remove mode.
//
// Script language (the usual one of COM servers, the subset classes need):
//     HKCR
//     {
//         NoRemove CLSID
//         {
//             ForceRemove {GUID} = s 'Description'
//             {
//                 InprocServer32 = s '%MODULE%'
//                 {
//                     val ThreadingModel = s 'Both'
//                 }
//             }
//         }
//     }
// A key is a bare word or a quoted 'name', optionally "= s 'default'", optionally a braced body of keys
// and "val name = s 'value'" lines. Inside quotes '' stands for one quote. %NAME% is replaced from the
// variables ("%%" is one percent sign). Flags: NoRemove (never removed; its body still is), ForceRemove
// (removed whole before it is written, and whole on remove), Delete (removed on register, untouched on
// remove). On remove an ordinary key loses the values the script names and is removed when it has no
// subkeys left, so what others put under it survives.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/com/registry.h"
#include "platform/com/typeinfo.h"

namespace morven::com {

enum class RegistrarMode { Register, Remove };

// E_INVALIDARG when the script does not parse (the tree is left untouched); an unknown %NAME% too.
HRESULT ApplyRegistrationScript(RegistryTree& tree, std::string_view script,
                                const std::map<std::string, std::string>& variables, RegistrarMode mode);

// Type library entries: TypeLib\{lib}\<major.minor> (default = help string; 0\linux = module path;
// FLAGS = "0"; HELPDIR = the module's folder) and Interface\{iid} for each interface (default = name;
// ProxyStubClsid32 = the automation marshaler; TypeLib = the library, with Version). Remove takes away the
// version key (and the library's key when nothing else is left in it) and the interface keys.
void RegisterTypeLibrary(RegistryTree& tree, const TypeLibrary& lib, const std::string& modulePath);
void UnregisterTypeLibrary(RegistryTree& tree, const TypeLibrary& lib);

// "major.minor" in hexadecimal digits as a type library version key is written.
std::string TypeLibVersionKey(const TypeLibrary& lib);

}  // namespace morven::com
