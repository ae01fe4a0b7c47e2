#include "client/engine/ugtactx_control.h"

#include "client/engine/errors.h"
#include "client/engine/logs.h"
#include "client/engine/programma.h"
#include "platform/core/files.h"
#include "platform/core/text.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace morven {

namespace {

using com::FAILED;
using com::SUCCEEDED;

std::string Hex(com::HRESULT hr) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%08X", static_cast<unsigned>(hr));
    return b;
}

// Why the loader could not create the class, in words for the function log.
std::string MotivoCreazione(com::HRESULT hr, const com::Loader& loader) {
    const std::string registro = loader.Registry().Path();
    std::string modulo;
    com::CLSID clsid;
    if (SUCCEEDED(loader.ClsidFromProgId(kProgIdUgtactx, &clsid))) loader.ModulePath(clsid, &modulo);
    switch (hr) {
        case com::REGDB_E_CLASSNOTREG:
        case com::CO_E_CLASSSTRING: return "classe non registrata nel registro " + registro;
        case com::REGDB_E_READREGDB: return "registro illeggibile: " + registro;
        case com::CO_E_DLLNOTFOUND: return "impossibile caricare il modulo " + modulo + ": " + com::Loader::LastError();
        case com::CO_E_ERRORINDLL: return "il modulo " + modulo + " non offre DllGetClassObject";
        default: return "il modulo " + modulo + " non crea l'oggetto";
    }
}

[[noreturn]] void ErroreMembro(com::HRESULT hr, std::string_view property, const char* cosa) {
    if (hr == com::DISP_E_UNKNOWNNAME || hr == com::DISP_E_MEMBERNOTFOUND)
        SollevaErrore(kErrMembroNonSupportato,
                      "L'oggetto " + std::string(kProgIdUgtactx) + " non supporta la proprieta' " + std::string(property));
    SollevaErrore(kErrAutomazione, std::string(cosa) + " della proprieta' " + std::string(property) +
                                       " non riuscita [" + Hex(hr) + "]");
}

// The folder of the running executable (not MORVEN_APPDIR: the library lies beside the program itself).
std::string CartellaEseguibile() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string dir(buf, static_cast<std::size_t>(n));
    const auto slash = dir.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : dir.substr(0, slash);
}

}  // namespace

UgtactxControl::UgtactxControl(com::RegistryFile registry, const std::string& modulo) : loader_(std::move(registry)) {
    com::CLSID clsid;
    com::HRESULT hr = loader_.ClsidFromProgId(kProgIdUgtactx, &clsid);
    if (SUCCEEDED(hr)) {
        if (!modulo.empty()) loader_.UseModule(clsid, modulo);
        hr = loader_.CreateInstance(clsid, com::IID_IDispatch, control_.outVoid());
    }
    if (FAILED(hr) || !control_) {
        control_.reset();
        SollevaErrore(kErrCreazioneOggetto, "Impossibile creare l'oggetto " + std::string(kProgIdUgtactx) + ": " +
                                                MotivoCreazione(hr, loader_) + " [" + Hex(hr) + "]");
    }
}

UgtactxControl::~UgtactxControl() {
    control_.reset();  // before the loader unloads the module
}

com::DISPID UgtactxControl::Id(std::string_view property) {
    std::string key = LowerAscii(property);
    if (auto it = ids_.find(key); it != ids_.end()) return it->second;
    com::DISPID id = 0;
    const com::HRESULT hr = com::DispIdOf(control_.get(), std::string(property), &id);
    if (FAILED(hr)) ErroreMembro(hr, property, "Ricerca");
    ids_.emplace(std::move(key), id);
    return id;
}

void UgtactxControl::Put(std::string_view property, const com::VARIANT& value) {
    const com::HRESULT hr = com::PutProperty(control_.get(), Id(property), value);
    if (FAILED(hr)) ErroreMembro(hr, property, "Scrittura");
}

void UgtactxControl::SetString(std::string_view property, std::string_view value) {
    Put(property, com::Variant::Str(std::string(value)));
}

void UgtactxControl::SetLong(std::string_view property, long value) {
    Put(property, com::Variant::I4(static_cast<std::int32_t>(value)));
}

void UgtactxControl::SetBool(std::string_view property, bool value) { Put(property, com::Variant::Bool(value)); }

long UgtactxControl::GetLong(std::string_view property) {
    com::Variant v;
    com::HRESULT hr = com::GetProperty(control_.get(), Id(property), &v);
    com::Variant n;
    if (SUCCEEDED(hr)) hr = com::VariantChangeType(&n, &v, 0, com::VT_I4);
    if (FAILED(hr)) ErroreMembro(hr, property, "Lettura");
    return n.lVal;
}

std::string UgtactxControl::GetString(std::string_view property) {
    com::Variant v;
    com::HRESULT hr = com::GetProperty(control_.get(), Id(property), &v);
    com::Variant s;
    if (SUCCEEDED(hr)) hr = com::VariantChangeType(&s, &v, 0, com::VT_BSTR);
    if (FAILED(hr)) ErroreMembro(hr, property, "Lettura");
    return s.bstrVal ? com::Utf8FromBstr(s.bstrVal) : std::string();
}

std::vector<std::string> ModuliUgtactxPredefiniti() {
    const std::string dir = CartellaEseguibile();
    const std::string base = dir == "/" ? "" : dir;
    const auto slash = base.rfind('/');
    std::vector<std::string> v{base + "/" + kModuloUgtactx};
    if (slash != std::string::npos) v.push_back(base.substr(0, slash) + "/lib/" + kModuloUgtactx);
    return v;
}

com::HRESULT RegistraUgtactxSeManca(const std::vector<std::string>& candidati) {
    {
        const com::Loader loader;  // the default registry, the one DllRegisterServer writes
        com::CLSID clsid;
        std::string modulo;
        com::HRESULT hr = loader.ClsidFromProgId(kProgIdUgtactx, &clsid);
        if (SUCCEEDED(hr)) hr = loader.ModulePath(clsid, &modulo);
        if (hr == com::REGDB_E_READREGDB) return hr;  // never overwrite a registry that cannot be read
        if (SUCCEEDED(hr) && FileExists(modulo)) return com::S_OK;
    }
    for (const auto& c : candidati)
        if (FileExists(c)) return com::Loader::RegisterModule(c);
    return com::REGDB_E_CLASSNOTREG;
}

std::string ModuloUgtactxRegistrato() {
    const com::Loader loader;
    com::CLSID clsid;
    std::string modulo;
    if (SUCCEEDED(loader.ClsidFromProgId(kProgIdUgtactx, &clsid))) loader.ModulePath(clsid, &modulo);
    return modulo;
}

bool CollegaUgtactx(Programma& p, const std::vector<std::string>& candidati) {
    return EseguiProcedura(p, "CollegaUgtactx", false, [&]() {
        // No library found: the creation below reports the class as not registered, with the registry's path.
        const com::HRESULT hr = RegistraUgtactxSeManca(candidati);
        if (FAILED(hr) && hr != com::REGDB_E_CLASSNOTREG)
            SollevaErrore(kErrCreazioneOggetto, "Impossibile registrare " + std::string(kModuloUgtactx) + " nel registro " +
                                                    com::RegistryFile::DefaultPath() + " [" + Hex(hr) + "]");
        // The program's own copy, the one installed with it: after an upgrade, or beside another installation,
        // the registry may name another copy, and the old and new parts would mix without a sign.
        std::string proprio;
        for (const auto& c : candidati)
            if (FileExists(c)) {
                proprio = c;
                break;
            }
        if (!proprio.empty()) {
            const std::string registrato = ModuloUgtactxRegistrato();
            std::error_code ec;
            if (!registrato.empty() && registrato != proprio && !std::filesystem::equivalent(registrato, proprio, ec))
                ScriviLogFunzione(p, "il registro " + com::RegistryFile::DefaultPath() + " indica " + registrato +
                                         " per " + kProgIdUgtactx + ": si usa la libreria del programma " + proprio,
                                  "CollegaUgtactx");
        }
        DecompressionControl& c = p.Possiedi(std::make_unique<UgtactxControl>(com::RegistryFile(), proprio));
        p.oggetti.oUgtactx = &c;
        return true;
    });
}

}  // namespace morven
