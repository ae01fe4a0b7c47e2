// The interfaces of the component layer, as abstract classes whose virtual methods stand in COM's order
// (a host and a component compiled apart call each other through these tables). They have no virtual
// destructor on purpose: objects are destroyed by Release, and a destructor would add a table entry.
#pragma once

#include <cstdint>

#include "platform/com/bstr.h"
#include "platform/com/types.h"
#include "platform/com/variant.h"

namespace morven::com {

// Well-known interface identifiers.
constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IPersist{0x0000010C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IConnectionPointContainer{0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
constexpr IID IID_IConnectionPoint{0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
constexpr IID IID_IPropertyNotifySink{0x9BFBBC02, 0xEFF1, 0x101A, {0x84, 0xED, 0x00, 0xAA, 0x00, 0xC7, 0xFE, 0x1E}};
constexpr IID IID_IPropertyBag{0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
constexpr IID IID_IPersistPropertyBag{0x37D84F60, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
constexpr IID IID_IErrorLog{0x3127CA40, 0x446E, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
    // outer must be null: the classes of this layer do not aggregate (CLASS_E_NOAGGREGATION).
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) = 0;
    // Keeps the module loaded while true (counted).
    virtual HRESULT LockServer(int lock) = 0;

protected:
    ~IClassFactory() = default;
};

// Arguments of Invoke, in reverse order (rgvarg[0] is the last argument). A property put passes one
// argument named DISPID_PROPERTYPUT.
struct DISPPARAMS {
    VARIANT* rgvarg;
    DISPID* rgdispidNamedArgs;
    std::uint32_t cArgs;
    std::uint32_t cNamedArgs;
};

struct EXCEPINFO {
    std::uint16_t wCode;
    std::uint16_t wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    std::uint32_t dwHelpContext;
    void* pvReserved;
    void* pfnDeferredFillIn;
    HRESULT scode;
};

struct ITypeInfo;  // not provided: the type description is reached through TypeLibrary (typeinfo.h)

struct IDispatch : IUnknown {
    virtual HRESULT GetTypeInfoCount(std::uint32_t* count) = 0;
    virtual HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** out) = 0;
    // Names are matched without regard to case; an unknown name gives DISP_E_UNKNOWNNAME and DISPID_UNKNOWN.
    virtual HRESULT GetIDsOfNames(REFIID iid, const OLECHAR* const* names, std::uint32_t count, LCID lcid,
                                  DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, std::uint16_t flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* excep, std::uint32_t* argErr) = 0;

protected:
    ~IDispatch() = default;
};

struct IConnectionPointContainer;
struct IEnumConnections;
struct IEnumConnectionPoints;

struct IConnectionPoint : IUnknown {
    virtual HRESULT GetConnectionInterface(IID* iid) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) = 0;
    // The sink must answer QueryInterface for the connection's interface (CONNECT_E_CANNOTCONNECT otherwise).
    virtual HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) = 0;
    virtual HRESULT Unadvise(std::uint32_t cookie) = 0;
    virtual HRESULT EnumConnections(IEnumConnections** out) = 0;  // E_NOTIMPL in this layer

protected:
    ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
    virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) = 0;  // E_NOTIMPL in this layer
    virtual HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** out) = 0;

protected:
    ~IConnectionPointContainer() = default;
};

struct IPropertyNotifySink : IUnknown {
    virtual HRESULT OnChanged(DISPID id) = 0;
    virtual HRESULT OnRequestEdit(DISPID id) = 0;

protected:
    ~IPropertyNotifySink() = default;
};

struct IPersist : IUnknown {
    virtual HRESULT GetClassID(CLSID* out) = 0;

protected:
    ~IPersist() = default;
};

struct IErrorLog : IUnknown {
    virtual HRESULT AddError(const OLECHAR* propName, EXCEPINFO* info) = 0;

protected:
    ~IErrorLog() = default;
};

struct IPropertyBag : IUnknown {
    // Reads the named value into *value; when value->vt is not VT_EMPTY on entry the bag converts to that type.
    // E_INVALIDARG when the bag has no such name.
    virtual HRESULT Read(const OLECHAR* name, VARIANT* value, IErrorLog* log) = 0;
    virtual HRESULT Write(const OLECHAR* name, VARIANT* value) = 0;

protected:
    ~IPropertyBag() = default;
};

struct IPersistPropertyBag : IPersist {
    virtual HRESULT InitNew() = 0;
    virtual HRESULT Load(IPropertyBag* bag, IErrorLog* log) = 0;
    virtual HRESULT Save(IPropertyBag* bag, int clearDirty, int saveAll) = 0;

protected:
    ~IPersistPropertyBag() = default;
};

// The class-factory entry point every component module exports (extern "C").
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID iid, void** out);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();

// Holds one interface reference and releases it when it goes.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(T* p) : p_(p) {  // NOLINT: adopts a reference the caller passes with AddRef
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    ComPtr& operator=(ComPtr o) noexcept {
        T* t = p_;
        p_ = o.p_;
        o.p_ = t;
        return *this;
    }
    ~ComPtr() { reset(); }
    // Takes over a reference without AddRef (as handed out by QueryInterface or CreateInstance).
    static ComPtr Adopt(T* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases the current reference first.
    T** out() {
        reset();
        return &p_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }
    T* Detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

private:
    T* p_ = nullptr;
};

// QueryInterface into a ComPtr of the wanted type.
template <class T>
ComPtr<T> QueryAs(IUnknown* from, REFIID iid) {
    ComPtr<T> r;
    if (from) from->QueryInterface(iid, r.outVoid());
    return r;
}

// QueryInterface of an object that answers for IUnknown and one interface I, whose id is `own`, only.
template <class I>
HRESULT QueryOwnInterface(I* self, const IID& own, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == own) {
        *out = self;
        self->AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

}  // namespace morven::com
