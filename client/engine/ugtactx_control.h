// The program's decompression control: the library's ugtactx, created by ProgID through the component layer
// (registry, loader, IDispatch) as any host creates it. The client never links the library: it finds the
// class in the registry ($MORVEN_COM_REGISTRY, else the user's own), loads the module the registry names and
// drives the control by member name. Failures are raised as ErroreMorven, so the procedure that drives the
// control logs them at its boundary like any other error.
#pragma once

#include "client/engine/ports.h"
#include "platform/com/bstr.h"
#include "platform/com/client.h"
#include "platform/com/loader.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace morven {

struct Programma;

inline constexpr char kProgIdUgtactx[] = "ugtactx.ugtactx.1";
inline constexpr char kModuloUgtactx[] = "libsbgtactx.so";

// Error numbers of the component layer as the program raises them.
enum : int {
    kErrCreazioneOggetto = 429,       // the class is not registered, its module does not load or refuses
    kErrMembroNonSupportato = 438,    // the control has no member of that name
    kErrAutomazione = 440,            // a property put or get failed inside the control
};

class UgtactxControl final : public DecompressionControl {
public:
    // Creates the control from the registry file (default: $MORVEN_COM_REGISTRY or the user's one). With
    // `modulo`, the class's module is that file whatever the registry names (the registry still gives the
    // class id). Raises error 429 with the reason and the registry's path when the class is not registered,
    // its module does not load, or the module does not create it.
    explicit UgtactxControl(com::RegistryFile registry = com::RegistryFile(), const std::string& modulo = {});
    UgtactxControl(const UgtactxControl&) = delete;
    UgtactxControl& operator=(const UgtactxControl&) = delete;
    ~UgtactxControl() override;

    // Texts are paths and file patterns: the file system's bytes (UTF-8), passed on as they are.
    // Writing "ActionGT" runs the action; ErrorCode then holds its result. An unknown member raises 438,
    // a failing put or get 440 (with the member's name and the control's result code).
    void SetString(std::string_view property, std::string_view value) override;
    void SetLong(std::string_view property, long value) override;
    void SetBool(std::string_view property, bool value) override;
    long GetLong(std::string_view property) override;
    std::string GetString(std::string_view property) override;

private:
    com::DISPID Id(std::string_view property);
    void Put(std::string_view property, const com::VARIANT& value);

    com::Loader loader_;  // declared first: the module stays loaded until the control is released
    com::ComPtr<com::IDispatch> control_;
    std::map<std::string, com::DISPID> ids_;  // by lower-case name, filled on first use
};

// The places the program looks for the library: beside its executable, then in the "lib" folder beside the
// executable's folder (the build's and the installation's layout).
std::vector<std::string> ModuliUgtactxPredefiniti();

// Registers the library (its DllRegisterServer through the loader, into the default registry) when the
// registry lacks ugtactx.ugtactx.1, or names a module file that is no longer there. The first candidate
// that exists is registered. S_OK when the class was already usable or is now registered;
// REGDB_E_CLASSNOTREG when it was missing and no candidate exists; otherwise the registration's failure
// (the registry unreadable, the module not loading, its own refusal).
com::HRESULT RegistraUgtactxSeManca(const std::vector<std::string>& candidati = ModuliUgtactxPredefiniti());

// The module the registry names for ugtactx.ugtactx.1 ("" when none, or the registry cannot be read).
std::string ModuloUgtactxRegistrato();

// Program start: RegistraUgtactxSeManca with the candidates, then creates the control from the program's own
// copy of the library (the first candidate that exists), whatever copy the registry names, and hands it to
// the program (owned by it, referenced by oggetti.oUgtactx). When the registry names another copy, the
// function log says which and that the program's own is used; the registry is left to the other copy (a
// host that creates the class from the registry keeps what its installer registered). Without any
// candidate the registered module is used. On failure the function log gets "CollegaUgtactx :" and the
// reason, oUgtactx stays as it was (so a later news unpacking logs error 91), and the result is false.
bool CollegaUgtactx(Programma& p, const std::vector<std::string>& candidati = ModuliUgtactxPredefiniti());

}  // namespace morven
