// Registration of the library's two classes and its type library in the component registry.
#pragma once

#include <string>

#include "platform/com/registrar.h"
#include "platform/com/registry.h"

namespace sbgt {

// The registration scripts of gtactx and ugtactx (%MODULE% is the library's path).
std::string RegistrationScriptGtactx();
std::string RegistrationScriptUgtactx();

// Register: both scripts, then the type library. Remove: both scripts in remove mode, then the type library.
// SELFREG_E_CLASS when the registry cannot be written.
morven::com::HRESULT UpdateRegistration(const morven::com::RegistryFile& registry, const std::string& modulePath,
                                        morven::com::RegistrarMode mode);

// The path of the loaded library file itself.
std::string ModulePath();

}  // namespace sbgt
