#include <gtest/gtest.h>

#include <map>

#include "platform/com/connection.h"
#include "platform/com/propbag.h"
#include "platform/com/typeinfo.h"

using namespace morven::com;

namespace {

const TypeDesc& SampleInterface() {
    static const TypeDesc t = [] {
        TypeDesc d{TypeKind::DualInterface, "ISample", GUID{0x11, 2, 3, {4}}, "Sample", {}, {}};
        auto prop = [&](const char* n, DISPID id, const char* type, VARTYPE vt, bool put) {
            d.members.push_back({n, id, MemberKind::PropertyGet, type, vt, std::string("property ") + n, {}});
            if (put) d.members.push_back({n, id, MemberKind::PropertyPut, type, vt, std::string("property ") + n, {}});
        };
        prop("Name", 1, "BSTR", VT_BSTR, true);
        prop("Count", 2, "long", VT_I4, true);
        prop("Flag", 3, "VARIANT_BOOL", VT_BOOL, true);
        prop("ReadOnly", 4, "long", VT_I4, false);
        d.members.push_back({"Add", 5, MemberKind::Method, "long", VT_EMPTY, "method Add",
                             {{"a", "long", VT_I4, false}, {"b", "long", VT_I4, false}}});
        d.members.push_back({"Bump", 6, MemberKind::Method, "void", VT_EMPTY, "method Bump",
                             {{"value", "long", VT_I4, true}}});
        return d;
    }();
    return t;
}

// Keeps every property as a VARIANT; Add returns a - b so argument order shows.
class Sample : public DispatchHandler {
public:
    HRESULT GetProperty(DISPID id, VARIANT* out) override { return VariantCopy(out, &props[id]); }
    HRESULT PutProperty(DISPID id, const VARIANT& v) override { return VariantCopy(&props[id], &v); }
    HRESULT CallMethod(DISPID id, std::vector<VARIANT*>& args, VARIANT* result) override {
        if (id == 5) {
            if (result) result->vt = VT_I4, result->lVal = args[0]->lVal - args[1]->lVal;
            return S_OK;
        }
        *args[0]->plVal += 1;
        return S_OK;
    }
    std::map<DISPID, Variant> props;
};

HRESULT Put(const DispatchTable& t, Sample& s, DISPID id, Variant v, std::uint32_t* argErr = nullptr) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS p{&v, &named, 1, 1};
    return t.Invoke(s, id, IID_NULL, DISPATCH_PROPERTYPUT, &p, nullptr, argErr);
}

}  // namespace

TEST(Dispatch, NamesMatchWithoutCase) {
    DispatchTable t(SampleInterface());
    for (const char16_t* n : {u"count", u"COUNT", u"Count"}) {
        DISPID id = 0;
        const OLECHAR* names[] = {n};
        EXPECT_EQ(t.GetIDsOfNames(names, 1, &id), S_OK);
        EXPECT_EQ(id, 2);
    }
    const OLECHAR* unknown[] = {u"Nope"};
    DISPID id = 0;
    EXPECT_EQ(t.GetIDsOfNames(unknown, 1, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    const OLECHAR* withParams[] = {u"add", u"B", u"zz"};
    DISPID ids[3];
    EXPECT_EQ(t.GetIDsOfNames(withParams, 3, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 5);
    EXPECT_EQ(ids[1], 1);
    EXPECT_EQ(ids[2], DISPID_UNKNOWN);
}

TEST(Dispatch, PutConvertsToTheDeclaredType) {
    DispatchTable t(SampleInterface());
    Sample s;
    EXPECT_EQ(Put(t, s, 2, Variant::Str("12")), S_OK);
    EXPECT_EQ(s.props[2].vt, VT_I4);
    EXPECT_EQ(s.props[2].lVal, 12);
    EXPECT_EQ(Put(t, s, 3, Variant::I4(1)), S_OK);
    EXPECT_EQ(s.props[3].boolVal, VARIANT_TRUE);
    EXPECT_EQ(Put(t, s, 1, Variant::I4(-3)), S_OK);
    EXPECT_EQ(s.props[1].AsUtf8(), "-3");
    Variant got;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(t.Invoke(s, 2, IID_NULL, DISPATCH_PROPERTYGET, &none, &got, nullptr), S_OK);
    EXPECT_EQ(got.lVal, 12);
    // Visual Basic style calls pass both the method and the get flag.
    EXPECT_EQ(t.Invoke(s, 2, IID_NULL, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &got, nullptr), S_OK);
}

TEST(Dispatch, UsualErrorResults) {
    DispatchTable t(SampleInterface());
    Sample s;
    Variant one = Variant::I4(1);
    DISPID named = DISPID_PROPERTYPUT;
    std::uint32_t argErr = 99;
    struct Case {
        const char* what;
        DISPID id;
        std::uint16_t flags;
        DISPPARAMS params;
        IID iid;
        HRESULT hr;
    } cases[] = {
        {"unknown dispid", 77, DISPATCH_PROPERTYGET, {nullptr, nullptr, 0, 0}, IID_NULL, DISP_E_MEMBERNOTFOUND},
        {"put on read-only", 4, DISPATCH_PROPERTYPUT, {&one, &named, 1, 1}, IID_NULL, DISP_E_MEMBERNOTFOUND},
        {"put without its name", 2, DISPATCH_PROPERTYPUT, {&one, nullptr, 1, 0}, IID_NULL, DISP_E_PARAMNOTOPTIONAL},
        {"put without a value", 2, DISPATCH_PROPERTYPUT, {nullptr, nullptr, 0, 0}, IID_NULL, DISP_E_BADPARAMCOUNT},
        {"get with an argument", 2, DISPATCH_PROPERTYGET, {&one, nullptr, 1, 0}, IID_NULL, DISP_E_BADPARAMCOUNT},
        {"call a property", 2, DISPATCH_METHOD, {nullptr, nullptr, 0, 0}, IID_NULL, DISP_E_MEMBERNOTFOUND},
        {"method arg count", 5, DISPATCH_METHOD, {&one, nullptr, 1, 0}, IID_NULL, DISP_E_BADPARAMCOUNT},
        {"named method args", 5, DISPATCH_METHOD, {&one, &named, 1, 1}, IID_NULL, DISP_E_NONAMEDARGS},
        {"interface not null", 2, DISPATCH_PROPERTYGET, {nullptr, nullptr, 0, 0}, IID_IDispatch,
         DISP_E_UNKNOWNINTERFACE},
    };
    for (auto& c : cases) {
        Variant r;
        EXPECT_EQ(t.Invoke(s, c.id, c.iid, c.flags, &c.params, &r, &argErr), c.hr) << c.what;
    }
    EXPECT_EQ(Put(t, s, 2, Variant::Str("abc"), &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(Put(t, s, 2, Variant::Str("99999999999"), &argErr), DISP_E_OVERFLOW);
    EXPECT_TRUE(s.props.empty());  // no failed put reached the object
}

TEST(Dispatch, MethodArgumentsArriveInDeclarationOrder) {
    DispatchTable t(SampleInterface());
    Sample s;
    Variant args[2] = {Variant::I4(3), Variant::Str("10")};  // reversed: b = 3, a = "10"
    DISPPARAMS p{args, nullptr, 2, 0};
    Variant r;
    ASSERT_EQ(t.Invoke(s, 5, IID_NULL, DISPATCH_METHOD, &p, &r, nullptr), S_OK);
    EXPECT_EQ(r.lVal, 7);
    std::int32_t n = 4;
    Variant ref;
    ref.vt = VT_I4 | VT_BYREF;
    ref.plVal = &n;
    DISPPARAMS p2{&ref, nullptr, 1, 0};
    ASSERT_EQ(t.Invoke(s, 6, IID_NULL, DISPATCH_METHOD, &p2, nullptr, nullptr), S_OK);
    EXPECT_EQ(n, 5);
    std::uint32_t argErr = 9;
    DISPPARAMS p3{args, nullptr, 1, 0};  // a by-value argument where a reference is declared
    EXPECT_EQ(t.Invoke(s, 6, IID_NULL, DISPATCH_METHOD, &p3, nullptr, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
}

// ---- connection points ----

namespace {
constexpr IID IID_ITestEvents{0xE0E0E0E0, 1, 1, {1}};

class Container final : public IConnectionPointContainer {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IConnectionPointContainer) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
        return FindConnectionPointIn({&events, &notify}, iid, out);
    }
    ULONG refs = 1;
    ConnectionPoint events{*this, IID_ITestEvents};
    ConnectionPoint notify{*this, IID_IPropertyNotifySink};
};

// A sink for both outgoing interfaces that records what reaches it; it may unadvise itself.
class Sink final : public IDispatch, public IPropertyNotifySink {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || (iid == IID_ITestEvents && acceptEvents)) {
            *out = static_cast<IDispatch*>(this);
        } else if (iid == IID_IPropertyNotifySink) {
            *out = static_cast<IPropertyNotifySink*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        ++refs;
        return S_OK;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetTypeInfoCount(std::uint32_t* n) override { return *n = 0, S_OK; }
    HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, const OLECHAR* const*, std::uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, std::uint16_t, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                   std::uint32_t*) override {
        log.push_back(id);
        if (p->cArgs && (p->rgvarg[0].vt & VT_BYREF)) *p->rgvarg[0].plVal = 1;  // answer by reference
        if (unadviseFrom) unadviseFrom->Unadvise(cookie);
        return S_OK;
    }
    HRESULT OnChanged(DISPID id) override { return changed.push_back(id), S_OK; }
    HRESULT OnRequestEdit(DISPID) override { return S_OK; }
    long refs = 1;
    bool acceptEvents = true;
    std::vector<DISPID> log, changed;
    IConnectionPoint* unadviseFrom = nullptr;
    std::uint32_t cookie = 0;
};
}  // namespace

TEST(ConnectionPoints, AdviseFireUnadvise) {
    Container c;
    Sink a, b;
    ComPtr<IConnectionPoint> cp;
    ASSERT_EQ(c.FindConnectionPoint(IID_ITestEvents, cp.out()), S_OK);
    EXPECT_EQ(c.FindConnectionPoint(IID_IDispatch, cp.out()), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(c.FindConnectionPoint(IID_ITestEvents, cp.out()), S_OK);
    std::uint32_t ca = 0, cb = 0;
    ASSERT_EQ(cp->Advise(static_cast<IDispatch*>(&a), &ca), S_OK);
    ASSERT_EQ(cp->Advise(static_cast<IDispatch*>(&b), &cb), S_OK);
    EXPECT_NE(ca, cb);
    EXPECT_EQ(a.refs, 2);  // the point holds one reference
    std::int32_t answer = 0;
    Variant arg;
    arg.vt = VT_I4 | VT_BYREF;
    arg.plVal = &answer;
    DISPPARAMS p{&arg, nullptr, 1, 0};
    c.events.FireDispatch(7, p);
    EXPECT_EQ(a.log, std::vector<DISPID>{7});
    EXPECT_EQ(b.log, std::vector<DISPID>{7});
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(cp->Unadvise(ca), S_OK);
    EXPECT_EQ(cp->Unadvise(ca), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(a.refs, 1);
    c.events.FireDispatch(8, p);
    EXPECT_EQ(a.log.size(), 1u);
    EXPECT_EQ(b.log.size(), 2u);
    cp.reset();
    c.events.Clear();
    EXPECT_EQ(b.refs, 1);
    EXPECT_EQ(c.refs, 1);
}

TEST(ConnectionPoints, SinkWithoutTheInterfaceCannotConnect) {
    Container c;
    Sink s;
    s.acceptEvents = false;
    std::uint32_t cookie = 5;
    EXPECT_EQ(c.events.Advise(static_cast<IDispatch*>(&s), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(c.events.Count(), 0u);
}

TEST(ConnectionPoints, HandlerMayUnadviseItselfWhileFiring) {
    Container c;
    Sink s;
    ASSERT_EQ(c.events.Advise(static_cast<IDispatch*>(&s), &s.cookie), S_OK);
    s.unadviseFrom = &c.events;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    c.events.FireDispatch(1, none);  // would deadlock if fired under the point's lock
    EXPECT_EQ(c.events.Count(), 0u);
    EXPECT_EQ(s.refs, 1);
}

TEST(ConnectionPoints, PropertyNotifySinkHearsChanges) {
    Container c;
    Sink s;
    std::uint32_t cookie;
    ASSERT_EQ(c.notify.Advise(static_cast<IDispatch*>(&s), &cookie), S_OK);
    c.notify.NotifyChanged(3);
    c.notify.NotifyChanged(21);
    EXPECT_EQ(s.changed, (std::vector<DISPID>{3, 21}));
    c.notify.Clear();
}

// ---- property bag ----

TEST(PropertyBag, ReadConvertsToTheAskedTypeAndMissingNamesFail) {
    ComPtr<MemoryPropertyBag> bag = ComPtr<MemoryPropertyBag>::Adopt(MemoryPropertyBag::Create());
    Variant v = Variant::I4(5);
    ASSERT_EQ(bag->Write(u"_lCompFactor", &v), S_OK);
    Variant asText = Variant::Str("");
    ASSERT_EQ(bag->Read(u"_LCOMPFACTOR", &asText, nullptr), S_OK);
    EXPECT_EQ(asText.vt, VT_BSTR);
    EXPECT_EQ(asText.AsUtf8(), "5");
    Variant any;
    EXPECT_EQ(bag->Read(u"_strGTFile", &any, nullptr), E_INVALIDARG);
    Variant again = Variant::I4(6);
    bag->Write(u"_lcompfactor", &again);  // same name: replaced, not added
    EXPECT_EQ(bag->Names(), std::vector<std::string>{"_lCompFactor"});
}

TEST(PropertyBag, TextFormRoundTrips) {
    ComPtr<MemoryPropertyBag> bag = ComPtr<MemoryPropertyBag>::Adopt(MemoryPropertyBag::Create());
    Variant a = Variant::Str("C:\\dir\nline two \xC3\xA8"), b = Variant::Bool(true), c = Variant::I4(-1),
            d = Variant::I2(32);
    bag->Write(u"_strDestination", &a);
    bag->Write(u"_bAllQuiet", &b);
    bag->Write(u"_lTarIndex", &c);
    bag->Write(u"_cx", &d);
    const std::string text = bag->ToText();
    ComPtr<MemoryPropertyBag> back = ComPtr<MemoryPropertyBag>::Adopt(MemoryPropertyBag::Create());
    ASSERT_TRUE(back->FromText(text));
    EXPECT_EQ(back->ToText(), text);
    EXPECT_EQ(back->Get("_strDestination")->AsUtf8(), a.AsUtf8());
    EXPECT_EQ(back->Get("_bAllQuiet")->vt, VT_BOOL);
    EXPECT_FALSE(back->FromText("no equals sign\n"));
    EXPECT_FALSE(back->FromText("x=I4:notanumber\n"));
}
