// What both controls share: the property store driven by the type description (gets, puts with change
// notification, the dirty flag), IDispatch through the description, the connection points of the event
// interface and of IPropertyNotifySink, property-bag persistence by the controls' saved names, the engine
// state block and the run of an action under the module's lock, and the events the engines' callbacks
// become. A control class derives from Control<itself, its dual interface> and supplies its defaults and
// the command record of its actions.
#pragma once

#include <atomic>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "gtlib/controls/engines.h"
#include "gtlib/controls/module.h"
#include "gtlib/engine/records.h"
#include "platform/com/connection.h"
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

// What tells the two controls apart to the shared code.
struct ControlKind {
    const morven::com::TypeDesc& iface;  // the dual interface's description
    morven::com::IID ifaceId;            // the dual interface
    morven::com::IID events;             // the event interface
    morven::com::CLSID clsid;
    std::vector<PersistName> persisted;
    // The engine: its binding (for the control's whole life), the module's named lock of that kind, and the
    // result of an action while the engine is missing.
    const EngineBinding* engine;
    NamedLock* ModuleState::*lock;
    std::int32_t engineMissingResult;
    // The properties the shared code reads.
    DISPID errorCode, waitSeconds, allQuiet, background, subOptions, encodedBinary;
    std::uint32_t minorCancelOption;  // the sub-option that lets a minor status event cancel
};

class ControlCore : public morven::com::IConnectionPointContainer,
                    public morven::com::IPersistPropertyBag,
                    protected morven::com::DispatchHandler {
public:
    // Counts on the module's lock count while it lives. The engine state block is allocated zero-filled
    // and made ready by the engine; without it the control still works, and every action answers "out of
    // memory".
    explicit ControlCore(ControlKind kind);
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

    // The engine state block (null when it could not be allocated).
    void* StateBlock() const { return state_; }
    // This control's engine context (log folder and clock, window hooks), handed to each of its runs. A host
    // that embeds the control sets it up before an action; left as it is, the defaults hold.
    gtlib::EngineContext& Context() { return context_; }
    // The clock of this control's waits for the named lock (tests give a stepped one).
    NamedLock::WaitClock& WaitClock() { return waitClock_; }
    // A message pump of this control's own, in place of the module's (null: the module's again).
    void SetMessagePump(MessagePumpFn pump, void* context) {
        pump_ = pump;
        pumpContext_ = context;
    }
    // Runs this control's pump (or the module's); true when it saw a quit request.
    bool RunMessagePump();
    // Test hook: drop the state block, as if its allocation had failed.
    void DropStateBlockForTest();

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
    // Every property to zero, false or the empty text (the start of each control's defaults).
    void StoreBlankDefaults();
    // Runs an action with its command record and copies its results back; the result code of the action.
    // engineMissing is set when the engine is missing (then the ActionGT put answers E_NOTIMPL).
    virtual std::int32_t RunAction(std::int32_t action, bool& engineMissing) = 0;
    // Change notifications of the results an action copies back, after those of ActionGT and ErrorCode.
    virtual void NotifyResults() {}
    // ActionGT was put: RunAction, ErrorCode from its result (16 bits), the notifications.
    HRESULT ActionPut(std::int32_t action);
    // Hands `record` with this control's state block to the engine: serialised with every control of this
    // kind in every process for at most WaitSeconds rounds of a second (the action runs in any case), the
    // block installed in the engine's slot for the run; lock and slot are given back on every path.
    std::int32_t RunEngine(void* record, bool& engineMissing);
    HRESULT ShowAbout() { return morven::com::S_OK; }

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

    const ControlKind kind_;
    const morven::com::TypeDesc& iface_;
    morven::com::DispatchTable table_;

private:
    morven::com::VARTYPE TypeOf(DISPID id) const;

    void* state_ = nullptr;
    gtlib::EngineContext context_;
    NamedLock::WaitClock waitClock_;
    MessagePumpFn pump_ = nullptr;
    void* pumpContext_ = nullptr;
    std::map<DISPID, morven::com::Variant> values_;
    bool dirty_ = false;
    morven::com::ConnectionPoint events_;
    morven::com::ConnectionPoint notify_;
};

// The IUnknown and IDispatch of control class Derived with dual interface Iface, its creation and the
// engine callbacks it shares with the other control (their user data is the Derived object).
template <class Derived, class Iface>
class Control : public Iface, public ControlCore {
public:
    // A new control with one reference, bound to the built-in engine or to `engine` when one is given.
    static Derived* Create(const EngineBinding* engine = nullptr) {
        auto* c = new (std::nothrow) Derived(engine);
        if (c) c->AddRef();
        return c;
    }

    // IUnknown
    HRESULT QueryInterface(morven::com::REFIID iid, void** out) override {
        using namespace morven::com;
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kind_.ifaceId)
            *out = static_cast<Iface*>(this);
        else if (iid == IID_IConnectionPointContainer)
            *out = static_cast<IConnectionPointContainer*>(this);
        else if (iid == IID_IPersist || iid == IID_IPersistPropertyBag)
            *out = static_cast<IPersistPropertyBag*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    morven::com::ULONG AddRef() override { return ++refs_; }
    morven::com::ULONG Release() override {
        const morven::com::ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }

    // IDispatch
    HRESULT GetTypeInfoCount(std::uint32_t* count) override {
        if (!count) return morven::com::E_POINTER;
        *count = 0;  // the description is reached through DllGetTypeLibrary
        return morven::com::S_OK;
    }
    HRESULT GetTypeInfo(std::uint32_t, morven::com::LCID, morven::com::ITypeInfo**) override {
        return morven::com::E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(morven::com::REFIID, const morven::com::OLECHAR* const* names, std::uint32_t count,
                          morven::com::LCID, DISPID* ids) override {
        return DispGetIDsOfNames(names, count, ids);
    }
    HRESULT Invoke(DISPID id, morven::com::REFIID iid, morven::com::LCID, std::uint16_t flags,
                   morven::com::DISPPARAMS* params, morven::com::VARIANT* result, morven::com::EXCEPINFO*,
                   std::uint32_t* argErr) override {
        return DispInvoke(id, iid, flags, params, result, argErr);
    }
    HRESULT About() override { return ShowAbout(); }

    // Engine callbacks.
    static std::int32_t MajorStatusProc(const char* item, std::int32_t percent, std::int32_t type, void* self) {
        return Of(self)->Status(true, item, percent, type);
    }
    static std::int32_t MinorStatusProc(const char* item, std::int32_t percent, std::int32_t type, void* self) {
        return Of(self)->Status(false, item, percent, type);
    }
    static std::int32_t MessageProc(std::int32_t id, std::int32_t type, std::int32_t n1, std::int32_t n2,
                                    char* text1, char* text2, void* self) {
        Control* c = Of(self);
        return c->MessageEvent(c->Flag(c->kind_.allQuiet), id, type, n1, n2, text1, text2);
    }
    static std::int32_t RenameProc(gtlib::RENAMESTRUCT* request, void* self) { return Of(self)->RenameEvent(request); }
    static void MemoryProc(std::int32_t direction, unsigned char* buffer, std::int32_t* size, std::uint32_t readL,
                           std::uint32_t readH, std::uint32_t writtenL, std::uint32_t writtenH, void* self,
                           std::int32_t* answer) {
        Control* c = Of(self);
        c->MemoryEvent(c->Flag(c->kind_.encodedBinary), direction, buffer, size, readL, readH, writtenL, writtenH,
                       answer);
    }

protected:
    explicit Control(ControlKind kind) : ControlCore(std::move(kind)) {}

private:
    static Control* Of(void* self) { return static_cast<Derived*>(self); }
    std::int32_t Status(bool major, const char* item, std::int32_t percent, std::int32_t type) {
        return StatusEvent(major, item, percent, type, Flag(kind_.background),
                           (static_cast<std::uint32_t>(I4(kind_.subOptions)) & kind_.minorCancelOption) != 0);
    }

    std::atomic<morven::com::ULONG> refs_{0};
};

// The getter and setter of each property of a dual interface's table (used with the property lists of
// sbgtactx.h inside a control class).
#define SBGT_IMPLEMENT_PROPERTY(name, dispid, kind, typeName)                         \
    HRESULT get_##name(Prop##kind* out) override { return Get##kind(dispid, out); } \
    HRESULT put_##name(Prop##kind value) override { return Put##kind(dispid, value); }

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
