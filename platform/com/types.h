// Basic types of the component layer: result codes, GUIDs, dispatch identifiers, booleans.
// The layer follows the binary conventions of COM (result codes, interface method order, VARIANT tags) so
// that a host and a component built separately agree on every call, but it is our own small code for Linux.
#pragma once

#include "platform/core/text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morven::com {

using HRESULT = std::int32_t;
using DISPID = std::int32_t;
using LCID = std::uint32_t;
using ULONG = std::uint32_t;
using VARIANT_BOOL = std::int16_t;
using OLECHAR = char16_t;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr HRESULT MakeHr(std::uint32_t v) { return static_cast<HRESULT>(v); }

// Result codes with the values COM gives them, so a host can compare them across the module boundary.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHr(0x80004001);
constexpr HRESULT E_NOINTERFACE = MakeHr(0x80004002);
constexpr HRESULT E_POINTER = MakeHr(0x80004003);
constexpr HRESULT E_ABORT = MakeHr(0x80004004);
constexpr HRESULT E_FAIL = MakeHr(0x80004005);
constexpr HRESULT E_UNEXPECTED = MakeHr(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = MakeHr(0x80070005);
constexpr HRESULT E_OUTOFMEMORY = MakeHr(0x8007000E);
constexpr HRESULT E_INVALIDARG = MakeHr(0x80070057);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeHr(0x80020001);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHr(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeHr(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHr(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHr(0x80020006);
constexpr HRESULT DISP_E_NONAMEDARGS = MakeHr(0x80020007);
constexpr HRESULT DISP_E_BADVARTYPE = MakeHr(0x80020008);
constexpr HRESULT DISP_E_EXCEPTION = MakeHr(0x80020009);
constexpr HRESULT DISP_E_OVERFLOW = MakeHr(0x8002000A);
constexpr HRESULT DISP_E_BADINDEX = MakeHr(0x8002000B);
constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHr(0x8002000E);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = MakeHr(0x8002000F);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHr(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHr(0x80040111);
constexpr HRESULT REGDB_E_READREGDB = MakeHr(0x80040150);
constexpr HRESULT REGDB_E_WRITEREGDB = MakeHr(0x80040151);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHr(0x80040154);
constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHr(0x80040200);
constexpr HRESULT CONNECT_E_ADVISELIMIT = MakeHr(0x80040201);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeHr(0x80040202);
constexpr HRESULT SELFREG_E_TYPELIB = MakeHr(0x80040200);
constexpr HRESULT SELFREG_E_CLASS = MakeHr(0x80040201);
constexpr HRESULT CO_E_CLASSSTRING = MakeHr(0x800401F3);
constexpr HRESULT CO_E_DLLNOTFOUND = MakeHr(0x800401F8);
constexpr HRESULT CO_E_ERRORINDLL = MakeHr(0x800401F9);
constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = MakeHr(0x8002802B);
constexpr HRESULT STG_E_WRITEFAULT = MakeHr(0x8003001D);

// Dispatch identifiers with a fixed meaning.
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr DISPID DISPID_ABOUTBOX = -552;

// Invoke flags.
constexpr std::uint16_t DISPATCH_METHOD = 1;
constexpr std::uint16_t DISPATCH_PROPERTYGET = 2;
constexpr std::uint16_t DISPATCH_PROPERTYPUT = 4;
constexpr std::uint16_t DISPATCH_PROPERTYPUTREF = 8;

// A 128-bit identifier of a class, an interface or a type library. Its text form is
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case hexadecimal digits.
struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};

    friend bool operator==(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i]) return false;
        return true;
    }
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

// The braced text form.
std::string GuidToString(const GUID& g);
// Reads the braced text form (hexadecimal digits of either case); nothing when the text is not one.
std::optional<GUID> GuidFromString(std::string_view text);

constexpr GUID IID_NULL{};

// Names, ProgIDs and registry keys are matched without regard to the case of ASCII letters.
using morven::EqualsNoCase;

}  // namespace morven::com
