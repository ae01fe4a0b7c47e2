#include "platform/com/variant.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/com/interfaces.h"

namespace morven::com {

void VariantInit(VARIANT* v) {
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    if (!(v->vt & VT_BYREF)) {
        if (v->vt & VT_ARRAY) {
            if (v->parray) {
                const HRESULT hr = SafeArrayDestroy(v->parray);
                if (FAILED(hr)) return hr;
            }
        } else {
            switch (v->vt) {
                case VT_BSTR: SysFreeString(v->bstrVal); break;
                case VT_UNKNOWN:
                    if (v->punkVal) v->punkVal->Release();
                    break;
                case VT_DISPATCH:
                    if (v->pdispVal) v->pdispVal->Release();
                    break;
                default: break;
            }
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src) return E_INVALIDARG;
    if (dest == src) return S_OK;
    VARIANT tmp;
    std::memcpy(&tmp, src, sizeof tmp);
    if (!(src->vt & VT_BYREF)) {
        if (src->vt & VT_ARRAY) {
            tmp.parray = nullptr;
            if (src->parray) {
                const HRESULT hr = SafeArrayCopy(src->parray, &tmp.parray);
                if (FAILED(hr)) return hr;
            }
        } else if (src->vt == VT_BSTR) {
            tmp.bstrVal = nullptr;
            if (src->bstrVal) {
                tmp.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
                if (!tmp.bstrVal) return E_OUTOFMEMORY;
            }
        } else if (src->vt == VT_UNKNOWN || src->vt == VT_DISPATCH) {
            if (src->punkVal) src->punkVal->AddRef();
        }
    }
    VariantClear(dest);
    std::memcpy(dest, &tmp, sizeof tmp);
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src) return E_INVALIDARG;
    if (!(src->vt & VT_BYREF)) return VariantCopy(dest, src);
    const VARTYPE base = src->vt & ~VT_BYREF;
    VARIANT v;
    VariantInit(&v);
    if (base & VT_ARRAY) {
        v.vt = base;
        v.parray = *src->pparray;
    } else {
        switch (base) {
            case VT_I2: v.vt = base; v.iVal = *src->piVal; break;
            case VT_I4: v.vt = base; v.lVal = *src->plVal; break;
            case VT_UI1: v.vt = base; v.bVal = *src->pbVal; break;
            case VT_BOOL: v.vt = base; v.boolVal = *src->pboolVal; break;
            case VT_BSTR: v.vt = base; v.bstrVal = *src->pbstrVal; break;
            case VT_UNKNOWN: v.vt = base; v.punkVal = *src->ppunkVal; break;
            case VT_DISPATCH: v.vt = base; v.pdispVal = *src->ppdispVal; break;
            case VT_VARIANT: return VariantCopyInd(dest, src->pvarVal);
            default: return DISP_E_BADVARTYPE;
        }
    }
    // v borrows the pointed-to value; VariantCopy makes dest its own copy.
    return VariantCopy(dest, &v);
}

namespace {
// A scalar source read as a 64-bit number; false when it has none.
HRESULT ToNumber(const VARIANT& v, long long& out) {
    switch (v.vt) {
        case VT_EMPTY: out = 0; return S_OK;
        case VT_I2: out = v.iVal; return S_OK;
        case VT_I4: out = v.lVal; return S_OK;
        case VT_UI1: out = v.bVal; return S_OK;
        case VT_BOOL: out = v.boolVal ? -1 : 0; return S_OK;
        case VT_BSTR: {
            const std::string t = Trim(Utf8FromBstr(v.bstrVal));
            if (EqualsNoCase(t, "true")) { out = -1; return S_OK; }
            if (EqualsNoCase(t, "false")) { out = 0; return S_OK; }
            if (t.empty()) return DISP_E_TYPEMISMATCH;
            char* end = nullptr;
            errno = 0;
            const long long n = std::strtoll(t.c_str(), &end, 10);
            if (*end) return DISP_E_TYPEMISMATCH;
            if (errno == ERANGE) return DISP_E_OVERFLOW;
            out = n;
            return S_OK;
        }
        default: return DISP_E_TYPEMISMATCH;
    }
}
}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, std::uint16_t, VARTYPE vt) {
    if (!dest || !src) return E_INVALIDARG;
    Variant in;
    HRESULT hr = VariantCopyInd(&in, src);
    if (FAILED(hr)) return hr;
    if (in.vt == vt || vt == VT_VARIANT) return VariantCopy(dest, &in);
    VARIANT out;
    VariantInit(&out);
    if (vt == VT_BSTR) {
        std::string text;
        switch (in.vt) {
            case VT_EMPTY: break;
            case VT_I2: text = std::to_string(in.iVal); break;
            case VT_I4: text = std::to_string(in.lVal); break;
            case VT_UI1: text = std::to_string(in.bVal); break;
            case VT_BOOL: text = in.boolVal ? "True" : "False"; break;
            default: return DISP_E_TYPEMISMATCH;
        }
        out.vt = VT_BSTR;
        out.bstrVal = BstrFromUtf8(text);
        if (!out.bstrVal) return E_OUTOFMEMORY;
    } else {
        long long n = 0;
        hr = ToNumber(in, n);
        if (FAILED(hr)) return hr;
        out.vt = vt;
        switch (vt) {
            case VT_I2:
                if (n < std::numeric_limits<std::int16_t>::min() || n > std::numeric_limits<std::int16_t>::max())
                    return DISP_E_OVERFLOW;
                out.iVal = static_cast<std::int16_t>(n);
                break;
            case VT_I4:
                if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max())
                    return DISP_E_OVERFLOW;
                out.lVal = static_cast<std::int32_t>(n);
                break;
            case VT_UI1:
                if (n < 0 || n > 255) return DISP_E_OVERFLOW;
                out.bVal = static_cast<std::uint8_t>(n);
                break;
            case VT_BOOL: out.boolVal = n ? VARIANT_TRUE : VARIANT_FALSE; break;
            default: return DISP_E_TYPEMISMATCH;
        }
    }
    VariantClear(dest);
    std::memcpy(dest, &out, sizeof out);
    return S_OK;
}

// ---- SAFEARRAY ----

namespace {
std::uint32_t ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_UI1: return 1;
        case VT_I2: case VT_BOOL: return 2;
        case VT_I4: return 4;
        case VT_BSTR: return sizeof(BSTR);
        case VT_UNKNOWN: case VT_DISPATCH: return sizeof(void*);
        case VT_VARIANT: return sizeof(VARIANT);
        default: return 0;
    }
}

void ClearElements(SAFEARRAY* sa) {
    const std::uint32_t n = sa->rgsabound[0].cElements;
    for (std::uint32_t i = 0; i < n; ++i) {
        char* p = static_cast<char*>(sa->pvData) + std::size_t{i} * sa->cbElements;
        switch (sa->vt) {
            case VT_BSTR: {
                BSTR* b = reinterpret_cast<BSTR*>(p);
                SysFreeString(*b);
                *b = nullptr;
                break;
            }
            case VT_UNKNOWN: case VT_DISPATCH: {
                IUnknown** u = reinterpret_cast<IUnknown**>(p);
                if (*u) (*u)->Release();
                *u = nullptr;
                break;
            }
            case VT_VARIANT: VariantClear(reinterpret_cast<VARIANT*>(p)); break;
            default: break;
        }
    }
}

// Address of element *index, or null when the index is outside the bounds.
char* ElementAt(SAFEARRAY* sa, const std::int32_t* index) {
    const long long off = static_cast<long long>(*index) - sa->rgsabound[0].lLbound;
    if (off < 0 || off >= static_cast<long long>(sa->rgsabound[0].cElements)) return nullptr;
    return static_cast<char*>(sa->pvData) + off * sa->cbElements;
}
}  // namespace

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, std::int32_t lbound, std::uint32_t count) {
    const std::uint32_t size = ElementSize(vt);
    if (!size || count > 0x7FFFFFFFu / size) return nullptr;
    auto* sa = static_cast<SAFEARRAY*>(std::calloc(1, sizeof(SAFEARRAY)));
    if (!sa) return nullptr;
    sa->pvData = std::calloc(count ? count : 1, size);
    if (!sa->pvData) {
        std::free(sa);
        return nullptr;
    }
    sa->cDims = 1;
    sa->cbElements = size;
    sa->rgsabound[0].cElements = count;
    sa->rgsabound[0].lLbound = lbound;
    sa->vt = vt;
    return sa;
}

HRESULT SafeArrayDestroy(SAFEARRAY* sa) {
    if (!sa) return S_OK;
    if (sa->cLocks) return DISP_E_ARRAYISLOCKED;
    ClearElements(sa);
    std::free(sa->pvData);
    std::free(sa);
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* sa, VARTYPE* vt) {
    if (!sa || !vt) return E_INVALIDARG;
    *vt = sa->vt;
    return S_OK;
}

std::uint32_t SafeArrayGetDim(SAFEARRAY* sa) { return sa ? sa->cDims : 0; }

HRESULT SafeArrayGetLBound(SAFEARRAY* sa, std::uint32_t dim, std::int32_t* bound) {
    if (!sa || !bound) return E_INVALIDARG;
    if (dim != 1) return DISP_E_BADINDEX;
    *bound = sa->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* sa, std::uint32_t dim, std::int32_t* bound) {
    if (!sa || !bound) return E_INVALIDARG;
    if (dim != 1) return DISP_E_BADINDEX;
    *bound = static_cast<std::int32_t>(static_cast<long long>(sa->rgsabound[0].lLbound) +
                                       sa->rgsabound[0].cElements - 1);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* sa, const std::int32_t* index, void* out) {
    if (!sa || !index || !out) return E_INVALIDARG;
    char* p = ElementAt(sa, index);
    if (!p) return DISP_E_BADINDEX;
    switch (sa->vt) {
        case VT_BSTR: {
            BSTR src = *reinterpret_cast<BSTR*>(p);
            BSTR copy = src ? SysAllocStringLen(src, SysStringLen(src)) : nullptr;
            if (src && !copy) return E_OUTOFMEMORY;
            *static_cast<BSTR*>(out) = copy;
            return S_OK;
        }
        case VT_UNKNOWN: case VT_DISPATCH: {
            IUnknown* u = *reinterpret_cast<IUnknown**>(p);
            if (u) u->AddRef();
            *static_cast<IUnknown**>(out) = u;
            return S_OK;
        }
        case VT_VARIANT: {
            auto* v = static_cast<VARIANT*>(out);
            VariantInit(v);
            return VariantCopy(v, reinterpret_cast<VARIANT*>(p));
        }
        default: std::memcpy(out, p, sa->cbElements); return S_OK;
    }
}

HRESULT SafeArrayPutElement(SAFEARRAY* sa, const std::int32_t* index, const void* in) {
    if (!sa || !index || !in) return E_INVALIDARG;
    char* p = ElementAt(sa, index);
    if (!p) return DISP_E_BADINDEX;
    switch (sa->vt) {
        case VT_BSTR: {
            BSTR src = *static_cast<const BSTR*>(in);
            BSTR copy = src ? SysAllocStringLen(src, SysStringLen(src)) : nullptr;
            if (src && !copy) return E_OUTOFMEMORY;
            BSTR* slot = reinterpret_cast<BSTR*>(p);
            SysFreeString(*slot);
            *slot = copy;
            return S_OK;
        }
        case VT_UNKNOWN: case VT_DISPATCH: {
            IUnknown* u = *static_cast<IUnknown* const*>(in);
            if (u) u->AddRef();
            IUnknown** slot = reinterpret_cast<IUnknown**>(p);
            if (*slot) (*slot)->Release();
            *slot = u;
            return S_OK;
        }
        case VT_VARIANT: return VariantCopy(reinterpret_cast<VARIANT*>(p), static_cast<const VARIANT*>(in));
        default: std::memcpy(p, in, sa->cbElements); return S_OK;
    }
}

HRESULT SafeArrayAccessData(SAFEARRAY* sa, void** data) {
    if (!sa || !data) return E_INVALIDARG;
    ++sa->cLocks;
    *data = sa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* sa) {
    if (!sa) return E_INVALIDARG;
    if (!sa->cLocks) return E_UNEXPECTED;
    --sa->cLocks;
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* sa, SAFEARRAY** out) {
    if (!sa || !out) return E_INVALIDARG;
    SAFEARRAY* c = SafeArrayCreateVector(sa->vt, sa->rgsabound[0].lLbound, sa->rgsabound[0].cElements);
    if (!c) return E_OUTOFMEMORY;
    for (std::uint32_t i = 0; i < sa->rgsabound[0].cElements; ++i) {
        const std::int32_t idx = sa->rgsabound[0].lLbound + static_cast<std::int32_t>(i);
        const HRESULT hr = SafeArrayPutElement(c, &idx, ElementAt(sa, &idx));
        if (FAILED(hr)) {
            SafeArrayDestroy(c);
            return hr;
        }
    }
    *out = c;
    return S_OK;
}

// ---- Variant helpers ----

Variant Variant::I4(std::int32_t x) {
    Variant v;
    v.vt = VT_I4;
    v.lVal = x;
    return v;
}
Variant Variant::I2(std::int16_t x) {
    Variant v;
    v.vt = VT_I2;
    v.iVal = x;
    return v;
}
Variant Variant::Bool(bool b) {
    Variant v;
    v.vt = VT_BOOL;
    v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}
Variant Variant::Str(const std::string& utf8) {
    Variant v;
    v.vt = VT_BSTR;
    v.bstrVal = BstrFromUtf8(utf8);
    return v;
}
Variant Variant::Null() {
    Variant v;
    v.vt = VT_NULL;
    return v;
}
Variant Variant::Bytes(const std::string& bytes) {
    Variant v;
    SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<std::uint32_t>(bytes.size()));
    if (!sa) return v;
    if (!bytes.empty()) std::memcpy(sa->pvData, bytes.data(), bytes.size());
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = sa;
    return v;
}
std::int32_t Variant::AsI4() const {
    Variant o;
    return SUCCEEDED(VariantChangeType(&o, this, 0, VT_I4)) ? o.lVal : 0;
}
std::string Variant::AsUtf8() const {
    Variant o;
    return SUCCEEDED(VariantChangeType(&o, this, 0, VT_BSTR)) ? Utf8FromBstr(o.bstrVal) : std::string();
}

}  // namespace morven::com
