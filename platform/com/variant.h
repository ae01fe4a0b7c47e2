// VARIANT and one-dimensional SAFEARRAY: the tagged values that cross IDispatch.
// Supported tags: VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_BOOL, VT_BSTR, VT_UNKNOWN, VT_DISPATCH, VT_UI1 and
// VT_VARIANT (as array elements), VT_ARRAY (one-dimensional SAFEARRAY of any of those) and VT_BYREF.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/bstr.h"
#include "platform/com/types.h"

namespace morven::com {

struct IUnknown;
struct IDispatch;

using VARTYPE = std::uint16_t;
constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_NULL = 1;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_DISPATCH = 9;
constexpr VARTYPE VT_ERROR = 10;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_VARIANT = 12;
constexpr VARTYPE VT_UNKNOWN = 13;
constexpr VARTYPE VT_UI1 = 17;
constexpr VARTYPE VT_ARRAY = 0x2000;
constexpr VARTYPE VT_BYREF = 0x4000;
constexpr VARTYPE VT_TYPEMASK = 0x0FFF;

constexpr HRESULT DISP_E_ARRAYISLOCKED = MakeHr(0x8002000D);

struct SAFEARRAYBOUND {
    std::uint32_t cElements;
    std::int32_t lLbound;
};

// One-dimensional array. `vt` is the element type (kept in the descriptor itself).
struct SAFEARRAY {
    std::uint16_t cDims;
    std::uint16_t fFeatures;
    std::uint32_t cbElements;
    std::uint32_t cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
    VARTYPE vt;
};

struct VARIANT {
    VARTYPE vt;
    std::uint16_t wReserved1, wReserved2, wReserved3;
    union {
        std::int16_t iVal;
        std::int32_t lVal;
        std::uint8_t bVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        std::int16_t* piVal;
        std::int32_t* plVal;
        std::uint8_t* pbVal;
        VARIANT_BOOL* pboolVal;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        void* byref;
    };
};

void VariantInit(VARIANT* v);
// Frees what the value owns (string, array, interface reference) and leaves VT_EMPTY. By-reference values
// own nothing.
HRESULT VariantClear(VARIANT* v);
// Deep copy: strings and arrays are copied, interfaces get a reference; by-reference values copy the pointer.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Like VariantCopy, but a by-reference value is copied as the value it points to.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src);
// Converts to `vt` (VT_I2, VT_I4, VT_BOOL, VT_UI1, VT_BSTR, or the same type). By-reference sources are
// read through. DISP_E_TYPEMISMATCH when there is no conversion, DISP_E_OVERFLOW when the number does not fit.
// Numbers to text are decimal; booleans to text "True"/"False"; texts to numbers or booleans accept decimal
// numbers and "True"/"False" in any case.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, std::uint16_t flags, VARTYPE vt);

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, std::int32_t lbound, std::uint32_t count);
HRESULT SafeArrayDestroy(SAFEARRAY* sa);
HRESULT SafeArrayGetVartype(SAFEARRAY* sa, VARTYPE* vt);
std::uint32_t SafeArrayGetDim(SAFEARRAY* sa);
HRESULT SafeArrayGetLBound(SAFEARRAY* sa, std::uint32_t dim, std::int32_t* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* sa, std::uint32_t dim, std::int32_t* bound);
// Element access by index; strings and variants are copied in and out, interfaces get a reference.
HRESULT SafeArrayGetElement(SAFEARRAY* sa, const std::int32_t* index, void* out);
HRESULT SafeArrayPutElement(SAFEARRAY* sa, const std::int32_t* index, const void* in);
HRESULT SafeArrayAccessData(SAFEARRAY* sa, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* sa);
HRESULT SafeArrayCopy(SAFEARRAY* sa, SAFEARRAY** out);

// A VARIANT that clears itself; small constructors for the common values.
struct Variant : VARIANT {
    Variant() { VariantInit(this); }
    Variant(const Variant& o) : Variant() { VariantCopy(this, &o); }
    Variant& operator=(const Variant& o) {
        if (this != &o) VariantCopy(this, &o);
        return *this;
    }
    ~Variant() { VariantClear(this); }
    static Variant I4(std::int32_t x);
    static Variant I2(std::int16_t x);
    static Variant Bool(bool b);
    static Variant Str(const std::string& utf8);
    static Variant Null();
    // VT_ARRAY|VT_UI1 with lower bound 0 holding the bytes.
    static Variant Bytes(const std::string& bytes);
    // The value as a number / text, converted; 0 / "" when it does not convert.
    std::int32_t AsI4() const;
    std::string AsUtf8() const;
};

}  // namespace morven::com
