#include "platform/com/connection.h"

namespace morven::com {

ConnectionPoint::~ConnectionPoint() { Clear(); }

HRESULT ConnectionPoint::QueryInterface(REFIID iid, void** out) {
    return QueryOwnInterface(static_cast<IConnectionPoint*>(this), IID_IConnectionPoint, iid, out);
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
    if (!out) return E_POINTER;
    owner_.AddRef();
    *out = &owner_;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, std::uint32_t* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    void* p = nullptr;
    if (FAILED(sink->QueryInterface(iid_, &p)) || !p) return CONNECT_E_CANNOTCONNECT;
    std::lock_guard lock(mutex_);
    const std::uint32_t c = nextCookie_++;
    connections_.push_back({c, static_cast<IUnknown*>(p)});
    *cookie = c;
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(std::uint32_t cookie) {
    IUnknown* sink = nullptr;
    {
        std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end(); ++it)
            if (it->cookie == cookie) {
                sink = it->sink;
                connections_.erase(it);
                break;
            }
    }
    if (!sink) return CONNECT_E_NOCONNECTION;
    sink->Release();  // outside the lock: the sink's last release may call back
    return S_OK;
}

std::size_t ConnectionPoint::Count() const {
    std::lock_guard lock(mutex_);
    return connections_.size();
}

std::vector<ConnectionPoint::Connection> ConnectionPoint::Snapshot() const {
    std::lock_guard lock(mutex_);
    for (const auto& c : connections_) c.sink->AddRef();
    return connections_;
}

void ConnectionPoint::FireDispatch(DISPID id, DISPPARAMS& params) {
    for (const auto& c : Snapshot()) {
        // The sink answered QueryInterface for a dispinterface, so its pointer is an IDispatch.
        auto* d = reinterpret_cast<IDispatch*>(c.sink);
        d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        c.sink->Release();
    }
}

void ConnectionPoint::NotifyChanged(DISPID id) {
    for (const auto& c : Snapshot()) {
        reinterpret_cast<IPropertyNotifySink*>(c.sink)->OnChanged(id);
        c.sink->Release();
    }
}

void ConnectionPoint::Clear() {
    std::vector<Connection> gone;
    {
        std::lock_guard lock(mutex_);
        gone.swap(connections_);
    }
    for (const auto& c : gone) c.sink->Release();
}

HRESULT FindConnectionPointIn(std::initializer_list<ConnectionPoint*> points, REFIID iid, IConnectionPoint** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (ConnectionPoint* p : points)
        if (p->Iid() == iid) {
            p->AddRef();
            *out = p;
            return S_OK;
        }
    return CONNECT_E_NOCONNECTION;
}

}  // namespace morven::com
