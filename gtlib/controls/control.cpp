#include "gtlib/controls/control.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "gtlib/controls/engines.h"

namespace sbgt {

using namespace morven::com;

namespace {
int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return 0;
}
}  // namespace

BSTR EncodeMemoryBuffer(const unsigned char* data, std::size_t n, bool encoded) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    BSTR s = SysAllocStringLen(nullptr, static_cast<std::uint32_t>(encoded ? n * 2 : n));
    if (!s || !data) return s;
    for (std::size_t i = 0; i < n; ++i) {
        if (encoded) {
            s[2 * i] = kHex[data[i] >> 4];
            s[2 * i + 1] = kHex[data[i] & 15];
        } else {
            s[i] = data[i];
        }
    }
    return s;
}

void DecodeMemoryBuffer(BSTR text, unsigned char* out, std::size_t n, bool encoded) {
    const std::u16string_view v = View(text);
    for (std::size_t i = 0; i < n; ++i) {
        if (encoded) {
            const char16_t hi = 2 * i < v.size() ? v[2 * i] : u'0';
            const char16_t lo = 2 * i + 1 < v.size() ? v[2 * i + 1] : u'0';
            out[i] = static_cast<unsigned char>(HexValue(hi) << 4 | HexValue(lo));
        } else {
            out[i] = i < v.size() ? static_cast<unsigned char>(v[i] & 0xFF) : 0;
        }
    }
}


ControlCore::ControlCore(ControlKind kind)
    : kind_(std::move(kind)),
      iface_(kind_.iface),
      table_(kind_.iface),
      events_(*this, kind_.events),
      notify_(*this, IID_IPropertyNotifySink) {
    ModuleLock();
    const EngineBinding* e = kind_.engine;
    state_ = std::calloc(1, e ? e->stateSize : kEngineStateSize);
    if (state_ && e && e->setDefaults) e->setDefaults(state_);
}

ControlCore::~ControlCore() {
    events_.Clear();
    notify_.Clear();
    if (state_) {
        const EngineBinding* e = kind_.engine;
        if (e && e->releaseState) e->releaseState(state_);
        std::free(state_);
    }
    ModuleUnlockCount();
}

void ControlCore::DropStateBlockForTest() {
    std::free(state_);
    state_ = nullptr;
}

HRESULT ControlCore::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
    return FindConnectionPointIn({&events_, &notify_}, iid, out);
}

HRESULT ControlCore::GetClassID(CLSID* out) {
    if (!out) return E_POINTER;
    *out = kind_.clsid;
    return S_OK;
}

VARTYPE ControlCore::TypeOf(DISPID id) const {
    const MemberDesc* m = table_.FindMember(id, MemberKind::PropertyGet);
    return m ? m->vt : VT_EMPTY;
}

Variant ControlCore::Value(DISPID id) const {
    auto it = values_.find(id);
    return it == values_.end() ? Variant() : it->second;
}

std::int32_t ControlCore::I4(DISPID id) const { return Value(id).AsI4(); }
bool ControlCore::Flag(DISPID id) const { return Value(id).AsI4() != 0; }
std::string ControlCore::Text(DISPID id) const {
    const Variant v = Value(id);
    return v.vt == VT_BSTR ? Utf8FromBstr(v.bstrVal) : std::string();
}

void ControlCore::Store(DISPID id, const VARIANT& v) {
    const VARTYPE vt = TypeOf(id);
    Variant& slot = values_[id];
    if (vt == VT_VARIANT || vt == VT_EMPTY) {
        VariantCopyInd(&slot, &v);
        return;
    }
    Variant converted;
    if (FAILED(VariantChangeType(&converted, &v, 0, vt))) return;
    if (vt == VT_BSTR) {
        // A text is kept up to its first zero character.
        const std::u16string_view w = View(converted.bstrVal);
        const auto z = w.find(u'\0');
        if (z != std::u16string_view::npos) {
            BSTR cut = SysAllocStringLen(w.data(), static_cast<std::uint32_t>(z));
            SysFreeString(converted.bstrVal);
            converted.bstrVal = cut;
        }
    }
    slot = converted;
}

void ControlCore::StoreI4(DISPID id, std::int32_t v) { Store(id, Variant::I4(v)); }
void ControlCore::StoreI2(DISPID id, std::int16_t v) { Store(id, Variant::I2(v)); }
void ControlCore::StoreText(DISPID id, const std::string& utf8) { Store(id, Variant::Str(utf8)); }

void ControlCore::StoreBlankDefaults() {
    for (const auto& m : iface_.members) {
        if (m.kind != MemberKind::PropertyGet) continue;
        switch (m.vt) {
            case VT_BSTR: StoreText(m.dispid, ""); break;
            case VT_BOOL: Store(m.dispid, Variant::Bool(false)); break;
            case VT_I2: StoreI2(m.dispid, 0); break;
            case VT_VARIANT: Store(m.dispid, Variant()); break;
            default: StoreI4(m.dispid, 0); break;
        }
    }
}

HRESULT ControlCore::ActionPut(std::int32_t action) {
    bool engineMissing = false;
    const std::int32_t result = RunAction(action, engineMissing);
    StoreI4(kind_.errorCode, static_cast<std::int16_t>(result));
    NotifyChanged(1);  // ActionGT
    NotifyChanged(kind_.errorCode);
    NotifyResults();
    return engineMissing ? E_NOTIMPL : S_OK;
}

std::int32_t ControlCore::RunEngine(void* record, bool& engineMissing) {
    const LockRounds lock(Module().*kind_.lock, I4(kind_.waitSeconds), waitClock_);
    const EngineBinding* engine = kind_.engine;
    static_assert(static_cast<int>(gtlib::UGTE_MEM) == static_cast<int>(gtlib::GTE_MEM));
    if (!state_) return gtlib::UGTE_MEM;
    if (!engine || !engine->run) {
        engineMissing = true;
        return kind_.engineMissingResult;
    }
    // The run works on this control's block only: an action of another control started from one of this
    // run's events works on that control's block.
    return engine->run(state_, context_, record);
}  // the lock, when obtained, is released here, on every path

HRESULT ControlCore::Put(DISPID id, const VARIANT& v) try {
    if (TypeOf(id) == VT_EMPTY) return DISP_E_MEMBERNOTFOUND;
    if (id == 1) {  // ActionGT: stored, then run; the action sends its own notifications
        Store(id, v);
        dirty_ = true;
        return ActionPut(I4(1));
    }
    Store(id, v);
    dirty_ = true;
    NotifyChanged(id);
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

void ControlCore::Fire(DISPID id, std::vector<VARIANT>& args) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS p{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<std::uint32_t>(reversed.size()), 0};
    events_.FireDispatch(id, p);
}

HRESULT ControlCore::InitNew() {
    SetDefaults();
    dirty_ = false;
    return S_OK;
}

HRESULT ControlCore::Load(IPropertyBag* bag, IErrorLog* log) try {
    if (!bag) return E_POINTER;
    SetDefaults();
    for (const auto& p : kind_.persisted) {
        Variant v;
        v.vt = TypeOf(p.dispid);  // the bag converts to the property's type
        const std::u16string name = Utf8ToUtf16(p.name);
        if (FAILED(bag->Read(name.c_str(), &v, log))) continue;  // absent or unconvertible: keep the default
        Store(p.dispid, v);
    }
    dirty_ = false;
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

HRESULT ControlCore::Save(IPropertyBag* bag, int clearDirty, int) try {
    if (!bag) return E_POINTER;
    Variant cx = Variant::I4(kExtentHimetric), cy = Variant::I4(kExtentHimetric);
    HRESULT hr = bag->Write(u"_cx", &cx);
    if (SUCCEEDED(hr)) hr = bag->Write(u"_cy", &cy);
    for (const auto& p : kind_.persisted) {
        if (FAILED(hr)) break;
        Variant v = Value(p.dispid);
        if (v.vt == VT_EMPTY && TypeOf(p.dispid) == VT_BSTR) v = Variant::Str("");
        const std::u16string name = Utf8ToUtf16(p.name);
        hr = bag->Write(name.c_str(), &v);
    }
    if (FAILED(hr)) return hr;
    if (clearDirty) dirty_ = false;
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

HRESULT ControlCore::GetBOOL(DISPID id, VARIANT_BOOL* out) {
    if (!out) return E_POINTER;
    *out = Flag(id) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}
HRESULT ControlCore::GetI4(DISPID id, std::int32_t* out) {
    if (!out) return E_POINTER;
    *out = I4(id);
    return S_OK;
}
HRESULT ControlCore::GetI2(DISPID id, std::int16_t* out) {
    if (!out) return E_POINTER;
    *out = static_cast<std::int16_t>(I4(id));
    return S_OK;
}
HRESULT ControlCore::GetBSTR(DISPID id, BSTR* out) {
    if (!out) return E_POINTER;
    const Variant v = Value(id);
    *out = v.vt == VT_BSTR && v.bstrVal ? SysAllocStringLen(v.bstrVal, SysStringLen(v.bstrVal))
                                        : SysAllocStringLen(nullptr, 0);
    return *out ? S_OK : E_OUTOFMEMORY;
}
HRESULT ControlCore::GetVARIANT(DISPID id, VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out);
    const Variant v = Value(id);
    return VariantCopy(out, &v);
}
HRESULT ControlCore::PutBOOL(DISPID id, VARIANT_BOOL v) {
    Variant x;
    x.vt = VT_BOOL;
    x.boolVal = v;  // kept as given; widened to 32 bits when it goes into a command record
    return Put(id, x);
}
HRESULT ControlCore::PutI4(DISPID id, std::int32_t v) { return Put(id, Variant::I4(v)); }
HRESULT ControlCore::PutI2(DISPID id, std::int16_t v) { return Put(id, Variant::I2(v)); }
HRESULT ControlCore::PutBSTR(DISPID id, BSTR v) {
    Variant x;
    x.vt = VT_BSTR;
    x.bstrVal = v ? SysAllocStringLen(v, SysStringLen(v)) : nullptr;
    return Put(id, x);
}
HRESULT ControlCore::PutVARIANT(DISPID id, const VARIANT& v) { return Put(id, v); }

HRESULT ControlCore::DispGetIDsOfNames(const OLECHAR* const* names, std::uint32_t count, DISPID* ids) const {
    return table_.GetIDsOfNames(names, count, ids);
}

HRESULT ControlCore::DispInvoke(DISPID id, REFIID iid, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                                std::uint32_t* argErr) try {
    return table_.Invoke(*this, id, iid, flags, params, result, argErr);
} catch (...) {
    return E_OUTOFMEMORY;
}

HRESULT ControlCore::GetProperty(DISPID id, VARIANT* out) {
    const VARTYPE vt = TypeOf(id);
    Variant v = Value(id);
    if (vt == VT_BSTR && v.vt != VT_BSTR) v = Variant::Str("");
    if (vt == VT_BOOL && v.vt != VT_BOOL) v = Variant::Bool(false);
    return VariantCopy(out, &v);
}

HRESULT ControlCore::PutProperty(DISPID id, const VARIANT& value) { return Put(id, value); }

HRESULT ControlCore::CallMethod(DISPID id, std::vector<VARIANT*>&, VARIANT*) {
    if (id == DISPID_ABOUTBOX) return ShowAbout();
    return DISP_E_MEMBERNOTFOUND;
}

bool ControlCore::RunMessagePump() {
    if (pump_) return pump_(pumpContext_) != 0;
    const MessagePumpFn module = Module().pump.load();
    return module && module(Module().pumpContext.load()) != 0;
}

std::int32_t ControlCore::StatusEvent(bool major, const char* item, std::int32_t percent, std::int32_t type,
                                      bool background, bool minorCancel) try {
    BSTR name = BstrFromUtf8(item ? item : "");
    std::int32_t p = percent, t = type, cancel = 0;
    std::vector<VARIANT> args{RefBstr(&name), RefI4(&p), RefI4(&t), RefI4(&cancel)};
    Fire(major ? 1 : 2, args);
    SysFreeString(name);  // whatever string the handler left there
    if (cancel == 0 && background && RunMessagePump()) cancel = 1;
    if (!major && !minorCancel) cancel = 0;
    return cancel;
} catch (...) {
    return 1;  // out of memory: stop the run
}

std::int32_t ControlCore::MessageEvent(bool quiet, std::int32_t id, std::int32_t type, std::int32_t n1,
                                       std::int32_t n2, char* text1, char* text2) try {
    if (quiet) return id >= 0 && id <= 7 ? 1 : 0;
    BSTR s1 = BstrFromUtf8(text1 ? FieldCut(text1, gtlib::kMessageTextSize) : "");
    BSTR s2 = BstrFromUtf8(text2 ? FieldCut(text2, gtlib::kMessageTextSize) : "");
    std::int32_t msgId = id, msgType = type, a = n1, b = n2, answer = 0;
    std::vector<VARIANT> args{RefI4(&msgId), RefI4(&msgType), RefI4(&a),     RefI4(&b),
                              RefBstr(&s1),  RefBstr(&s2),    RefI4(&answer)};
    Fire(3, args);
    // The texts as the handler left them, cut to the engine's buffers.
    if (text1) gtlib::CopyToField(text1, gtlib::kMessageTextSize, Utf8FromBstrToZero(s1));
    if (text2) gtlib::CopyToField(text2, gtlib::kMessageTextSize, Utf8FromBstrToZero(s2));
    SysFreeString(s1);
    SysFreeString(s2);
    return answer;
} catch (...) {
    return 0;
}

std::int32_t ControlCore::RenameEvent(gtlib::RENAMESTRUCT* r) try {
    if (!r) return 0;
    BSTR item = BstrFromUtf8(FieldCut(r->szItemName));
    BSTR date = BstrFromUtf8(FieldCut(r->szDateTime));
    BSTR orig = BstrFromUtf8(FieldCut(r->szOrigItemName));
    std::int32_t attr = static_cast<std::int32_t>(r->dwAttrib), options = static_cast<std::int32_t>(r->dwOptions),
                 answer = 0;
    std::vector<VARIANT> args{RefBstr(&item), RefBstr(&date), RefI4(&attr), RefI4(&options), RefBstr(&orig),
                              RefI4(&answer)};
    Fire(4, args);
    gtlib::CopyToField(r->szItemName, Utf8FromBstrToZero(item));
    gtlib::CopyToField(r->szDateTime, Utf8FromBstrToZero(date));
    r->dwAttrib = static_cast<std::uint32_t>(attr);
    SysFreeString(item);
    SysFreeString(date);
    SysFreeString(orig);
    return answer;
} catch (...) {
    return 0;
}

void ControlCore::MemoryEvent(bool encoded, std::int32_t direction, unsigned char* buffer, std::int32_t* size,
                              std::uint32_t readL, std::uint32_t readH, std::uint32_t writtenL,
                              std::uint32_t writtenH, std::int32_t* answer) try {
    const std::size_t offered = size && *size > 0 ? static_cast<std::size_t>(*size) : 0;
    // A write offers the bytes as text; a read asks with an empty text for the handler to replace.
    const bool read = direction == gtlib::MEM_READ_DATA;
    BSTR text = EncodeMemoryBuffer(read ? nullptr : buffer, read ? 0 : offered, encoded);
    std::int32_t dir = direction, sz = static_cast<std::int32_t>(offered), ans = answer ? *answer : 0;
    std::int32_t rl = static_cast<std::int32_t>(readL), rh = static_cast<std::int32_t>(readH),
                 wl = static_cast<std::int32_t>(writtenL), wh = static_cast<std::int32_t>(writtenH);
    std::vector<VARIANT> args{RefI4(&dir), RefBstr(&text), RefI4(&sz), RefI4(&rl),
                              RefI4(&rh),  RefI4(&wl),     RefI4(&wh), RefI4(&ans)};
    const std::int32_t asked_answer = ans;
    Fire(5, args);
    // A request for data that nobody answered (no handler, or one that left the text empty and count and
    // answer as they were) delivers nothing and ends the input: the count asked for is not data.
    if (read && View(text).empty() && sz == static_cast<std::int32_t>(offered) && ans == asked_answer) {
        sz = 0;
        ans = gtlib::MEM_DONE;
    }
    // The handler's count never goes past what was offered.
    std::size_t done = sz < 0 ? 0 : static_cast<std::size_t>(sz);
    if (done > offered) done = offered;
    if (read && buffer) DecodeMemoryBuffer(text, buffer, done, encoded);
    SysFreeString(text);
    if (size) *size = static_cast<std::int32_t>(done);
    if (answer) *answer = ans;
} catch (...) {
    if (size) *size = 0;
    if (answer) *answer = gtlib::MEM_ERROR;
}

VARIANT RefI4(std::int32_t* p) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4 | VT_BYREF;
    v.plVal = p;
    return v;
}

VARIANT RefBstr(BSTR* p) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR | VT_BYREF;
    v.pbstrVal = p;
    return v;
}

}  // namespace sbgt
