// Connection points: the outgoing side of a component (its events and IPropertyNotifySink calls).
// A ConnectionPoint lives inside its container object and shares the container's reference count.
// Calls to sinks are made on a snapshot of the connections taken under the lock and made outside it,
// so a sink may unadvise (or advise) from inside its own handler.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/com/interfaces.h"

namespace morven::com {

class ConnectionPoint final : public IConnectionPoint {
public:
    // owner: the container's IUnknown (references to the point count on it); iid: the outgoing interface.
    ConnectionPoint(IConnectionPointContainer& owner, const IID& iid) : owner_(owner), iid_(iid) {}
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;
    ~ConnectionPoint();

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return owner_.AddRef(); }
    ULONG Release() override { return owner_.Release(); }
    HRESULT GetConnectionInterface(IID* iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) override;
    HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) override;
    HRESULT Unadvise(std::uint32_t cookie) override;
    HRESULT EnumConnections(IEnumConnections** out) override { return E_NOTIMPL; }

    const IID& Iid() const { return iid_; }
    std::size_t Count() const;

    // Calls Invoke(id, DISPATCH_METHOD) on every connected sink in turn (for event dispinterfaces).
    void FireDispatch(DISPID id, DISPPARAMS& params);
    // Calls OnChanged(id) on every connected sink (for IPropertyNotifySink).
    void NotifyChanged(DISPID id);
    // Drops every connection (the container calls this when it goes).
    void Clear();

private:
    struct Connection {
        std::uint32_t cookie;
        IUnknown* sink;  // the sink's pointer for iid_, with one reference held
    };
    std::vector<Connection> Snapshot() const;  // each with a reference the caller releases

    IConnectionPointContainer& owner_;
    IID iid_;
    mutable std::mutex mutex_;
    std::vector<Connection> connections_;
    std::uint32_t nextCookie_ = 1;
};

// FindConnectionPoint over a container's points.
HRESULT FindConnectionPointIn(std::initializer_list<ConnectionPoint*> points, REFIID iid, IConnectionPoint** out);

}  // namespace morven::com
