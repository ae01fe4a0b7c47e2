// Host-side helpers: calls through IDispatch by member name, and a sink object that receives the events of
// one event interface and the property changes of IPropertyNotifySink and hands them to functions.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "platform/com/interfaces.h"

namespace morven::com {

// The DISPID of a member name (case-insensitive); DISP_E_UNKNOWNNAME when the object has none.
HRESULT DispIdOf(IDispatch* d, const std::string& name, DISPID* id);
HRESULT PutProperty(IDispatch* d, DISPID id, const VARIANT& value);
HRESULT GetProperty(IDispatch* d, DISPID id, VARIANT* out);
HRESULT PutPropertyByName(IDispatch* d, const std::string& name, const VARIANT& value);
HRESULT GetPropertyByName(IDispatch* d, const std::string& name, VARIANT* out);
HRESULT CallMethodByName(IDispatch* d, const std::string& name);

class EventSink final : public IDispatch, public IPropertyNotifySink {
public:
    using EventFn = std::function<void(DISPID id, DISPPARAMS& params)>;
    using ChangedFn = std::function<void(DISPID id)>;

    // events: the event interface's id this sink answers for. A new sink has one reference.
    static EventSink* Create(const IID& events, EventFn onEvent, ChangedFn onChanged = nullptr);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override;
    HRESULT GetTypeInfoCount(std::uint32_t* n) override;
    HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, const OLECHAR* const*, std::uint32_t, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, std::uint16_t, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   std::uint32_t*) override;
    HRESULT OnChanged(DISPID id) override;
    HRESULT OnRequestEdit(DISPID) override { return S_OK; }

    // Connects to both connection points of a container (the event interface and IPropertyNotifySink).
    HRESULT Connect(IUnknown* source);
    void Disconnect();

private:
    EventSink(const IID& events, EventFn e, ChangedFn c) : events_(events), onEvent_(std::move(e)), onChanged_(std::move(c)) {}
    ~EventSink() = default;
    IID events_;
    EventFn onEvent_;
    ChangedFn onChanged_;
    std::atomic<ULONG> refs_{1};
    ComPtr<IConnectionPoint> eventPoint_, notifyPoint_;
    std::uint32_t eventCookie_ = 0, notifyCookie_ = 0;
};

// Argument k (in declaration order) of an event's DISPPARAMS.
VARIANT& EventArg(DISPPARAMS& p, std::uint32_t k);

}  // namespace morven::com
