#include "platform/com/typeinfo.h"

namespace morven::com {

const TypeDesc* TypeLibrary::Find(std::string_view n) const {
    for (const auto& t : types)
        if (EqualsNoCase(t.name, n)) return &t;
    return nullptr;
}

const TypeDesc* TypeLibrary::Find(const GUID& g) const {
    for (const auto& t : types)
        if (t.kind != TypeKind::Enumeration && t.guid == g) return &t;
    return nullptr;
}

const MemberDesc* DispatchTable::FindMember(DISPID id, MemberKind kind) const {
    for (const auto& m : iface_.members)
        if (m.dispid == id && m.kind == kind) return &m;
    return nullptr;
}

HRESULT DispatchTable::GetIDsOfNames(const OLECHAR* const* names, std::uint32_t count, DISPID* ids) const {
    if (!names || !ids) return E_POINTER;
    if (count == 0) return S_OK;
    for (std::uint32_t i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    const std::string first = names[0] ? Utf16ToUtf8(names[0]) : std::string();
    const MemberDesc* member = nullptr;
    for (const auto& m : iface_.members)
        if (EqualsNoCase(m.name, first)) {
            member = &m;
            break;
        }
    if (!member) return DISP_E_UNKNOWNNAME;
    ids[0] = member->dispid;
    HRESULT hr = S_OK;
    for (std::uint32_t i = 1; i < count; ++i) {
        const std::string n = names[i] ? Utf16ToUtf8(names[i]) : std::string();
        bool found = false;
        for (std::size_t k = 0; k < member->params.size(); ++k)
            if (EqualsNoCase(member->params[k].name, n)) {
                ids[i] = static_cast<DISPID>(k);
                found = true;
            }
        if (!found) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT DispatchTable::Invoke(DispatchHandler& handler, DISPID id, REFIID iid, std::uint16_t flags,
                              DISPPARAMS* params, VARIANT* result, std::uint32_t* argErr) const {
    if (!(iid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (!params) params = &none;
    if (params->cArgs && !params->rgvarg) return E_INVALIDARG;

    const MemberDesc* get = FindMember(id, MemberKind::PropertyGet);
    const MemberDesc* put = FindMember(id, MemberKind::PropertyPut);
    const MemberDesc* method = FindMember(id, MemberKind::Method);
    if (!get && !put && !method) return DISP_E_MEMBERNOTFOUND;

    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (!put) return DISP_E_MEMBERNOTFOUND;
        if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
            params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return DISP_E_PARAMNOTOPTIONAL;
        Variant value;
        const HRESULT hr = VariantChangeType(&value, &params->rgvarg[0], 0, put->vt);
        if (FAILED(hr)) {
            if (argErr) *argErr = 0;
            return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
        }
        return handler.PutProperty(id, value);
    }

    if (get && (flags & DISPATCH_PROPERTYGET) && params->cArgs == 0) {
        if (params->cNamedArgs) return DISP_E_NONAMEDARGS;
        Variant tmp;
        const HRESULT hr = handler.GetProperty(id, &tmp);
        if (SUCCEEDED(hr) && result) {
            VariantClear(result);
            *result = tmp;  // hand the value over
            VariantInit(&tmp);
        }
        return hr;
    }
    if (get && (flags & DISPATCH_PROPERTYGET)) return DISP_E_BADPARAMCOUNT;

    if (!method || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs) return DISP_E_NONAMEDARGS;
    if (params->cArgs != method->params.size()) return DISP_E_BADPARAMCOUNT;
    std::vector<Variant> converted(params->cArgs);
    std::vector<VARIANT*> args(params->cArgs);
    for (std::uint32_t k = 0; k < params->cArgs; ++k) {
        const std::uint32_t slot = params->cArgs - 1 - k;  // rgvarg holds the arguments last first
        VARIANT* given = &params->rgvarg[slot];
        const ParamDesc& p = method->params[k];
        if (p.byRef) {
            if (!(given->vt & VT_BYREF)) {
                if (argErr) *argErr = slot;
                return DISP_E_TYPEMISMATCH;
            }
            args[k] = given;
        } else {
            const HRESULT hr = VariantChangeType(&converted[k], given, 0, p.vt);
            if (FAILED(hr)) {
                if (argErr) *argErr = slot;
                return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
            }
            args[k] = &converted[k];
        }
    }
    if (result) VariantClear(result);
    return handler.CallMethod(id, args, result);
}

}  // namespace morven::com
