#include "platform/com/client.h"

namespace morven::com {

HRESULT DispIdOf(IDispatch* d, const std::string& name, DISPID* id) {
    if (!d || !id) return E_POINTER;
    const std::u16string w = Utf8ToUtf16(name);
    const OLECHAR* names[] = {w.c_str()};
    return d->GetIDsOfNames(IID_NULL, names, 1, 0, id);
}

HRESULT PutProperty(IDispatch* d, DISPID id, const VARIANT& value) {
    if (!d) return E_POINTER;
    VARIANT arg = value;  // Invoke reads it only
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS p{&arg, &named, 1, 1};
    std::uint32_t argErr = 0;
    return d->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &p, nullptr, nullptr, &argErr);
}

HRESULT GetProperty(IDispatch* d, DISPID id, VARIANT* out) {
    if (!d || !out) return E_POINTER;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return d->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, out, nullptr, nullptr);
}

HRESULT PutPropertyByName(IDispatch* d, const std::string& name, const VARIANT& value) {
    DISPID id;
    const HRESULT hr = DispIdOf(d, name, &id);
    return FAILED(hr) ? hr : PutProperty(d, id, value);
}

HRESULT GetPropertyByName(IDispatch* d, const std::string& name, VARIANT* out) {
    DISPID id;
    const HRESULT hr = DispIdOf(d, name, &id);
    return FAILED(hr) ? hr : GetProperty(d, id, out);
}

HRESULT CallMethodByName(IDispatch* d, const std::string& name) {
    DISPID id;
    const HRESULT hr = DispIdOf(d, name, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
}

EventSink* EventSink::Create(const IID& events, EventFn onEvent, ChangedFn onChanged) {
    return new EventSink(events, std::move(onEvent), std::move(onChanged));
}

HRESULT EventSink::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == events_)
        *out = static_cast<IDispatch*>(this);
    else if (iid == IID_IPropertyNotifySink)
        *out = static_cast<IPropertyNotifySink*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG EventSink::Release() {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
}

HRESULT EventSink::GetTypeInfoCount(std::uint32_t* n) {
    if (!n) return E_POINTER;
    *n = 0;
    return S_OK;
}

HRESULT EventSink::Invoke(DISPID id, REFIID, LCID, std::uint16_t, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                          std::uint32_t*) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (onEvent_) onEvent_(id, params ? *params : none);
    return S_OK;
}

HRESULT EventSink::OnChanged(DISPID id) {
    if (onChanged_) onChanged_(id);
    return S_OK;
}

HRESULT EventSink::Connect(IUnknown* source) {
    auto container = QueryAs<IConnectionPointContainer>(source, IID_IConnectionPointContainer);
    if (!container) return E_NOINTERFACE;
    HRESULT hr = container->FindConnectionPoint(events_, eventPoint_.out());
    if (SUCCEEDED(hr)) hr = eventPoint_->Advise(static_cast<IDispatch*>(this), &eventCookie_);
    if (FAILED(hr)) return hr;
    hr = container->FindConnectionPoint(IID_IPropertyNotifySink, notifyPoint_.out());
    if (SUCCEEDED(hr)) hr = notifyPoint_->Advise(static_cast<IPropertyNotifySink*>(this), &notifyCookie_);
    return hr;
}

void EventSink::Disconnect() {
    if (eventPoint_ && eventCookie_) eventPoint_->Unadvise(eventCookie_);
    if (notifyPoint_ && notifyCookie_) notifyPoint_->Unadvise(notifyCookie_);
    eventCookie_ = notifyCookie_ = 0;
    eventPoint_.reset();
    notifyPoint_.reset();
}

VARIANT& EventArg(DISPPARAMS& p, std::uint32_t k) { return p.rgvarg[p.cArgs - 1 - k]; }

}  // namespace morven::com
