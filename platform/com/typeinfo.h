// Type descriptions: what a type library holds (enumerations, interfaces with their members and DISPIDs,
// event interfaces, classes), as plain data a component exports and a host reads. The same description
// drives a component's IDispatch: DispatchTable maps names to DISPIDs and checks and converts Invoke's
// arguments before handing them to the object.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/interfaces.h"

namespace morven::com {

struct EnumValue {
    std::string name;
    std::int32_t value;
};

enum class MemberKind { PropertyGet, PropertyPut, Method };

struct ParamDesc {
    std::string name;
    std::string typeName;  // "BSTR", "long", "short", "VARIANT_BOOL", "VARIANT" or an enumeration's name
    VARTYPE vt;            // VT_BSTR, VT_I4, VT_I2, VT_BOOL or VT_VARIANT
    bool byRef;
};

struct MemberDesc {
    std::string name;
    DISPID dispid;
    MemberKind kind;
    std::string typeName;  // property type; "void" for a method
    VARTYPE vt;            // property type as a VARIANT tag; VT_EMPTY for a method
    std::string help;
    std::vector<ParamDesc> params{};  // methods and events
};

enum class TypeKind { Enumeration, DispInterface, DualInterface, CoClass };

struct TypeDesc {
    TypeKind kind;
    std::string name;
    GUID guid;  // zero for enumerations
    std::string help;
    std::vector<EnumValue> values{};   // enumerations
    std::vector<MemberDesc> members{};   // interfaces, in interface order (a property: get, then put)
    bool source = false;               // event interface
    std::string defaultInterface{};    // classes
    std::string defaultSource{};       // classes
};

struct TypeLibrary {
    std::string name;
    GUID guid;
    std::uint16_t major;
    std::uint16_t minor;
    std::string help;
    std::vector<TypeDesc> types;  // in library order

    const TypeDesc* Find(std::string_view name) const;
    const TypeDesc* Find(const GUID& guid) const;
};

// The export a component module offers for its type library: extern "C" DllGetTypeLibrary.
using DllGetTypeLibraryFn = HRESULT (*)(const TypeLibrary** out);

// What a dispatch object supplies to DispatchTable::Invoke, after the checks.
class DispatchHandler {
public:
    // *out is VT_EMPTY on entry.
    virtual HRESULT GetProperty(DISPID id, VARIANT* out) = 0;
    // value is already converted to the property's declared type.
    virtual HRESULT PutProperty(DISPID id, const VARIANT& value) = 0;
    // args in declaration order (first argument first); by-value arguments converted to their declared type.
    virtual HRESULT CallMethod(DISPID id, std::vector<VARIANT*>& args, VARIANT* result) = 0;

protected:
    ~DispatchHandler() = default;
};

// IDispatch's name lookup and Invoke checks for one interface description.
class DispatchTable {
public:
    explicit DispatchTable(const TypeDesc& iface) : iface_(iface) {}

    // names[0] is a member; further names are parameter names of that member (their DISPID is their
    // position). Unknown names give DISP_E_UNKNOWNNAME with DISPID_UNKNOWN in their place.
    HRESULT GetIDsOfNames(const OLECHAR* const* names, std::uint32_t count, DISPID* ids) const;

    // Usual results: DISP_E_UNKNOWNINTERFACE (iid not IID_NULL), DISP_E_MEMBERNOTFOUND (no such DISPID, or
    // a get/put/call the member does not offer), DISP_E_BADPARAMCOUNT, DISP_E_PARAMNOTOPTIONAL (a put
    // without its DISPID_PROPERTYPUT name), DISP_E_NONAMEDARGS, DISP_E_TYPEMISMATCH / DISP_E_OVERFLOW with
    // *argErr set to the failing argument's index in rgvarg.
    HRESULT Invoke(DispatchHandler& handler, DISPID id, REFIID iid, std::uint16_t flags, DISPPARAMS* params,
                   VARIANT* result, std::uint32_t* argErr) const;

    const MemberDesc* FindMember(DISPID id, MemberKind kind) const;
    const TypeDesc& Interface() const { return iface_; }

private:
    const TypeDesc& iface_;
};

}  // namespace morven::com
