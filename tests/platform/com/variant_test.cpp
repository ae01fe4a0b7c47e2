#include <gtest/gtest.h>

#include "platform/com/interfaces.h"
#include "platform/com/variant.h"

using namespace morven::com;

TEST(Variant, ChangeTypeTable) {
    struct Case {
        Variant in;
        VARTYPE to;
        HRESULT hr;
        std::string text;  // expected result read back as text
    };
    const Case cases[] = {
        {Variant::I4(7), VT_BSTR, S_OK, "7"},
        {Variant::Bool(true), VT_BSTR, S_OK, "True"},
        {Variant::Bool(true), VT_I4, S_OK, "-1"},
        {Variant::I4(2), VT_BOOL, S_OK, "True"},
        {Variant::I4(0), VT_BOOL, S_OK, "False"},
        {Variant::Str(" 42 "), VT_I4, S_OK, "42"},
        {Variant::Str("true"), VT_BOOL, S_OK, "True"},
        {Variant::Str("FALSE"), VT_I2, S_OK, "0"},
        {Variant::Str("12x"), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {Variant::Str(""), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {Variant::I4(40000), VT_I2, DISP_E_OVERFLOW, ""},
        {Variant::I4(-1), VT_UI1, DISP_E_OVERFLOW, ""},
        {Variant::Str("99999999999"), VT_I4, DISP_E_OVERFLOW, ""},
        {Variant(), VT_I4, S_OK, "0"},
        {Variant(), VT_BSTR, S_OK, ""},
        {Variant::Null(), VT_I4, DISP_E_TYPEMISMATCH, ""},
        {Variant::Bytes("ab"), VT_I4, DISP_E_TYPEMISMATCH, ""},
    };
    for (const auto& c : cases) {
        Variant out;
        EXPECT_EQ(VariantChangeType(&out, &c.in, 0, c.to), c.hr) << c.in.AsUtf8() << " to " << c.to;
        if (c.hr == S_OK) {
            EXPECT_EQ(out.vt, c.to);
            EXPECT_EQ(out.AsUtf8(), c.text);
        } else {
            EXPECT_EQ(out.vt, VT_EMPTY);
        }
    }
}

TEST(Variant, ByReferenceValuesAreReadThroughAndOwnNothing) {
    std::int32_t n = 5;
    BSTR s = BstrFromUtf8("x");
    Variant r;
    r.vt = VT_I4 | VT_BYREF;
    r.plVal = &n;
    Variant out;
    ASSERT_EQ(VariantChangeType(&out, &r, 0, VT_BSTR), S_OK);
    EXPECT_EQ(out.AsUtf8(), "5");
    Variant rs;
    rs.vt = VT_BSTR | VT_BYREF;
    rs.pbstrVal = &s;
    Variant copy;
    ASSERT_EQ(VariantCopyInd(&copy, &rs), S_OK);
    EXPECT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, s);  // its own string
    VariantClear(&rs);           // frees nothing of the caller's
    EXPECT_EQ(Utf8FromBstr(s), "x");
    SysFreeString(s);
}

TEST(Variant, CopyIsDeepForStringsAndArrays) {
    Variant a = Variant::Str("abc");
    Variant b = a;
    EXPECT_NE(a.bstrVal, b.bstrVal);
    Variant arr = Variant::Bytes("xyz");
    Variant arr2 = arr;
    ASSERT_EQ(arr2.vt, VT_ARRAY | VT_UI1);
    EXPECT_NE(arr.parray, arr2.parray);
    static_cast<char*>(arr.parray->pvData)[0] = 'Q';
    EXPECT_EQ(static_cast<char*>(arr2.parray->pvData)[0], 'x');
}

TEST(SafeArray, BoundsElementsAndLocks) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_BSTR, 1, 3);
    ASSERT_NE(sa, nullptr);
    std::int32_t lo, hi;
    ASSERT_EQ(SafeArrayGetLBound(sa, 1, &lo), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(sa, 1, &hi), S_OK);
    EXPECT_EQ(lo, 1);
    EXPECT_EQ(hi, 3);
    EXPECT_EQ(SafeArrayGetDim(sa), 1u);
    EXPECT_EQ(SafeArrayGetLBound(sa, 2, &lo), DISP_E_BADINDEX);
    Bstr word("ciao");
    BSTR w = word.get();
    std::int32_t idx = 3;
    ASSERT_EQ(SafeArrayPutElement(sa, &idx, &w), S_OK);
    BSTR got = nullptr;
    ASSERT_EQ(SafeArrayGetElement(sa, &idx, &got), S_OK);
    EXPECT_EQ(Utf8FromBstr(got), "ciao");
    EXPECT_NE(got, w);
    SysFreeString(got);
    for (std::int32_t bad : {0, 4}) EXPECT_EQ(SafeArrayGetElement(sa, &bad, &got), DISP_E_BADINDEX) << bad;
    void* data;
    ASSERT_EQ(SafeArrayAccessData(sa, &data), S_OK);
    EXPECT_EQ(SafeArrayDestroy(sa), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnaccessData(sa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
}

TEST(SafeArray, EmptyVectorHasUpperBoundBelowLower) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, 0);
    ASSERT_NE(sa, nullptr);
    std::int32_t hi;
    SafeArrayGetUBound(sa, 1, &hi);
    EXPECT_EQ(hi, -1);
    SafeArrayDestroy(sa);
    EXPECT_EQ(SafeArrayCreateVector(VT_NULL, 0, 1), nullptr);
}
