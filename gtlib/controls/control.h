// What both controls share: the property store driven by the type description (gets, puts with change
// notification, the dirty flag), IDispatch through the description, the connection points of the event
// interface and of IPropertyNotifySink, and property-bag persistence by the controls' saved names.
// A control class derives from its dual interface and from ControlCore and supplies IUnknown.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/com/connection.h"
#include "gtlib/engine/records.h"
#include "platform/com/typeinfo.h"

namespace sbgt {

using morven::com::DISPID;
using morven::com::HRESULT;

// A persisted property: its DISPID and the name it is saved under.
struct PersistName {
    DISPID dispid;
    const char* name;
};

// The extent every control reports and saves first ("_cx", "_cy"): 32 x 32 pixels, as HIMETRIC at 96 dpi.
inline constexpr std::int32_t kExtentHimetric = 847;

class ControlCore : public morven::com::IConnectionPointContainer,
                    public morven::com::IPersistPropertyBag,
                    protected morven::com::DispatchHandler {
public:
    // iface: the control's dual interface description; events: its event interface's id; clsid: its class.
    ControlCore(const morven::com::TypeDesc& iface, const morven::com::IID& events, const morven::com::CLSID& clsid,
                std::vector<PersistName> persisted);
    ControlCore(const ControlCore&) = delete;
    ControlCore& operator=(const ControlCore&) = delete;
    virtual ~ControlCore();

    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(morven::com::IEnumConnectionPoints** out) override { return morven::com::E_NOTIMPL; }
    HRESULT FindConnectionPoint(morven::com::REFIID iid, morven::com::IConnectionPoint** out) override;

    // IPersistPropertyBag
    HRESULT GetClassID(morven::com::CLSID* out) override;
    HRESULT InitNew() override;
    HRESULT Load(morven::com::IPropertyBag* bag, morven::com::IErrorLog* log) override;
    HRESULT Save(morven::com::IPropertyBag* bag, int clearDirty, int saveAll) override;

    bool IsDirty() const { return dirty_; }

    // The stored value of a property (a copy); VT_EMPTY for an unknown DISPID.
    morven::com::Variant Value(DISPID id) const;
    std::int32_t I4(DISPID id) const;
    bool Flag(DISPID id) const;
    std::string Text(DISPID id) const;  // UTF-8

protected:
    // Store without notification (defaults, results copied back by an action).
    void Store(DISPID id, const morven::com::VARIANT& v);
    void StoreI4(DISPID id, std::int32_t v);
    void StoreI2(DISPID id, std::int16_t v);
    void StoreText(DISPID id, const std::string& utf8);
    // Sets every property to its default (the control's own SetDefaults).
    virtual void SetDefaults() = 0;
    // ActionGT was put: run it and send the control's notifications; E_NOTIMPL when its engine is missing.
    virtual HRESULT ActionPut(std::int32_t action) = 0;
    virtual HRESULT ShowAbout() = 0;

    // A put from a host: stores (texts up to their first zero character), marks dirty, notifies the DISPID.
    HRESULT Put(DISPID id, const morven::com::VARIANT& v);
    void NotifyChanged(DISPID id) { notify_.NotifyChanged(id); }
    // Fires event `id` with the arguments in declaration order (by-reference VARIANTs).
    void Fire(DISPID id, std::vector<morven::com::VARIANT>& args);
    std::size_t EventSinks() const { return events_.Count(); }

    // The events the engines' callbacks become (shared by both controls; DISPIDs 1 to 5 of either event
    // interface). Status: the handler's cancel, after the pump (background) and the minor-cancel rule.
    std::int32_t StatusEvent(bool major, const char* item, std::int32_t percent, std::int32_t type, bool background,
                             bool minorCancel);
    // Message: quiet answers 1 for kinds 0 to 7 without an event; the texts come back cut to the engine's buffers.
    std::int32_t MessageEvent(bool quiet, std::int32_t id, std::int32_t type, std::int32_t n1, std::int32_t n2,
                              char* text1, char* text2);
    // Rename: item name, date and time text and attributes come back into the request.
    std::int32_t RenameEvent(gtlib::RENAMESTRUCT* request);
    // Memory transfer: the buffer crosses as text (see EncodeMemoryBuffer); the handler's size is clamped to
    // the bytes offered.
    void MemoryEvent(bool encoded, std::int32_t direction, unsigned char* buffer, std::int32_t* size,
                     std::uint32_t readL, std::uint32_t readH, std::uint32_t writtenL, std::uint32_t writtenH,
                     std::int32_t* answer);

    // Typed accessors for the dual interface tables.
    HRESULT GetBOOL(DISPID id, morven::com::VARIANT_BOOL* out);
    HRESULT GetI4(DISPID id, std::int32_t* out);
    HRESULT GetI2(DISPID id, std::int16_t* out);
    HRESULT GetBSTR(DISPID id, morven::com::BSTR* out);
    HRESULT GetVARIANT(DISPID id, morven::com::VARIANT* out);
    HRESULT PutBOOL(DISPID id, morven::com::VARIANT_BOOL v);
    HRESULT PutI4(DISPID id, std::int32_t v);
    HRESULT PutI2(DISPID id, std::int16_t v);
    HRESULT PutBSTR(DISPID id, morven::com::BSTR v);
    HRESULT PutVARIANT(DISPID id, const morven::com::VARIANT& v);

    // IDispatch through the description.
    HRESULT DispGetIDsOfNames(const morven::com::OLECHAR* const* names, std::uint32_t count, DISPID* ids) const;
    HRESULT DispInvoke(DISPID id, morven::com::REFIID iid, std::uint16_t flags, morven::com::DISPPARAMS* params,
                       morven::com::VARIANT* result, std::uint32_t* argErr);

    // DispatchHandler
    HRESULT GetProperty(DISPID id, morven::com::VARIANT* out) override;
    HRESULT PutProperty(DISPID id, const morven::com::VARIANT& value) override;
    HRESULT CallMethod(DISPID id, std::vector<morven::com::VARIANT*>& args, morven::com::VARIANT* result) override;

    const morven::com::TypeDesc& iface_;
    morven::com::DispatchTable table_;

private:
    morven::com::VARTYPE TypeOf(DISPID id) const;

    morven::com::CLSID clsid_;
    std::vector<PersistName> persisted_;
    std::map<DISPID, morven::com::Variant> values_;
    bool dirty_ = false;
    morven::com::ConnectionPoint events_;
    morven::com::ConnectionPoint notify_;
};

// Binary-as-text rule of the memory event: bytes to the BSTR the handler sees, and back.
// Encoded: two upper-case hexadecimal digits per byte, high nibble first; plain: one character per byte.
morven::com::BSTR EncodeMemoryBuffer(const unsigned char* data, std::size_t n, bool encoded);
// Reads up to n bytes out of the handler's BSTR (missing characters read as 0; in the encoded form a
// character that is no hexadecimal digit counts as 0, lower-case digits are accepted).
void DecodeMemoryBuffer(morven::com::BSTR text, unsigned char* out, std::size_t n, bool encoded);

// The text of a record's fixed field as the controls copy it out: its last byte counts as zero, so a full
// field gives its size less one.
inline std::string_view FieldCut(const char* field, std::size_t size) { return gtlib::FieldText(field, size - 1); }
template <std::size_t N>
inline std::string_view FieldCut(const char (&field)[N]) {
    return FieldCut(field, N);
}

// Makes a by-reference VARIANT argument for an event.
morven::com::VARIANT RefI4(std::int32_t* p);
morven::com::VARIANT RefBstr(morven::com::BSTR* p);

}  // namespace sbgt
