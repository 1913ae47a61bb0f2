// VariantChangeType as automation dispatch applies it to a caller's
// argument: one conversion per line, from a kind and value to a declared
// type, with the value or status that comes back. The same table runs on
// Linux against the platform's own conversion and under Wine against the
// system's oleaut32, so the two cannot drift. Every row runs by value and
// as a script variable passes it (VT_VARIANT | VT_BYREF), and, where its
// source has a by-reference form, as VT_BYREF too.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/bstr.h"
#include "platform/variant.h"
#include "support/automation.h"

using calyra::test::MakeVariant;
using calyra::test::Ref;

namespace {

constexpr LCID kEnglishUS = 0x0409;  // the table's texts are written as this locale writes them

struct From {
    VARTYPE vt;
    double number;                   // I2, I4, R8, DATE, BOOL (nonzero is true)
    const char16_t* text = nullptr;  // BSTR
};
From I2(double v) { return {VT_I2, v}; }
From I4(double v) { return {VT_I4, v}; }
From R8(double v) { return {VT_R8, v}; }
From Bool(bool v) { return {VT_BOOL, v ? 1.0 : 0.0}; }
From Date(double v) { return {VT_DATE, v}; }
From Text(const char16_t* v) { return {VT_BSTR, 0, v}; }
BSTR Alloc(const char16_t* text) { return SysAllocString(reinterpret_cast<const OLECHAR*>(text)); }
const From kEmpty{VT_EMPTY, 0};
const From kNull{VT_NULL, 0};

struct Expect {
    HRESULT hr;
    double number = 0;               // I4, DATE, BOOL (-1 or 0)
    const char16_t* text = nullptr;  // BSTR
};
Expect Is(double v) { return {S_OK, v}; }
Expect Says(const char16_t* v) { return {S_OK, 0, v}; }
Expect Fails(HRESULT hr) { return {hr}; }

struct Row {
    int line;
    From from;
    VARTYPE to;
    Expect expect;
};

// 2010-11-11 10:00:00 as an automation date.
constexpr double kNov11Ten = 40493.0 + 10.0 / 24.0;

#define ROW(from, to, expect) \
    { __LINE__, from, to, expect }
const Row kRows[] = {
    // ---- to BSTR: what a text parameter receives
    ROW(I2(5), VT_BSTR, Says(u"5")),
    ROW(I4(-7), VT_BSTR, Says(u"-7")),
    ROW(I4(123456789), VT_BSTR, Says(u"123456789")),
    ROW(R8(6), VT_BSTR, Says(u"6")),
    ROW(R8(2.5), VT_BSTR, Says(u"2.5")),
    ROW(R8(-0.125), VT_BSTR, Says(u"-0.125")),
    ROW(R8(1.0 / 3.0), VT_BSTR, Says(u"0.333333333333333")),
    ROW(Bool(true), VT_BSTR, Says(u"-1")),
    ROW(Bool(false), VT_BSTR, Says(u"0")),
    ROW(Date(kNov11Ten), VT_BSTR, Says(u"11/11/2010 10:00:00 AM")),
    ROW(Date(40493.0), VT_BSTR, Says(u"11/11/2010")),
    ROW(Date(40493.75), VT_BSTR, Says(u"11/11/2010 6:00:00 PM")),
    ROW(Date(0.5), VT_BSTR, Says(u"12:00:00 PM")),
    ROW(Text(u"12"), VT_BSTR, Says(u"12")),
    ROW(Text(u"abc"), VT_BSTR, Says(u"abc")),
    ROW(Text(u""), VT_BSTR, Says(u"")),
    ROW(kEmpty, VT_BSTR, Says(u"")),
    ROW(kNull, VT_BSTR, Fails(DISP_E_TYPEMISMATCH)),

    // ---- to I4: what a number parameter receives
    ROW(I2(-3), VT_I4, Is(-3)),
    ROW(I4(7), VT_I4, Is(7)),
    ROW(R8(12.0 / 2.0), VT_I4, Is(6)),
    ROW(R8(2.5), VT_I4, Is(2)),
    ROW(R8(3.5), VT_I4, Is(4)),
    ROW(R8(-2.5), VT_I4, Is(-2)),
    ROW(R8(2.49), VT_I4, Is(2)),
    ROW(R8(2.51), VT_I4, Is(3)),
    ROW(R8(2147483647.4), VT_I4, Is(2147483647)),
    ROW(R8(2147483647.5), VT_I4, Fails(DISP_E_OVERFLOW)),
    ROW(R8(1e10), VT_I4, Fails(DISP_E_OVERFLOW)),
    ROW(R8(-1e10), VT_I4, Fails(DISP_E_OVERFLOW)),
    ROW(Bool(true), VT_I4, Is(-1)),
    ROW(Bool(false), VT_I4, Is(0)),
    ROW(Date(40493.75), VT_I4, Is(40494)),
    ROW(Date(40493.5), VT_I4, Is(40494)),
    ROW(Text(u"5"), VT_I4, Is(5)),
    ROW(Text(u" 12 "), VT_I4, Is(12)),
    ROW(Text(u"-12"), VT_I4, Is(-12)),
    ROW(Text(u"+12"), VT_I4, Is(12)),
    ROW(Text(u"2.5"), VT_I4, Is(2)),
    ROW(Text(u"3.5"), VT_I4, Is(4)),
    ROW(Text(u"1e3"), VT_I4, Is(1000)),
    ROW(Text(u"1,000"), VT_I4, Is(1000)),
    ROW(Text(u"&H10"), VT_I4, Is(16)),
    ROW(Text(u"99999999999"), VT_I4, Fails(DISP_E_OVERFLOW)),
    ROW(Text(u"abc"), VT_I4, Fails(DISP_E_TYPEMISMATCH)),
    ROW(Text(u"5abc"), VT_I4, Fails(DISP_E_TYPEMISMATCH)),
    ROW(Text(u""), VT_I4, Fails(DISP_E_TYPEMISMATCH)),
    ROW(Text(u"True"), VT_I4, Fails(DISP_E_TYPEMISMATCH)),
    ROW(Text(u"2010-11-11 10:00:00"), VT_I4, Fails(DISP_E_TYPEMISMATCH)),
    ROW(kEmpty, VT_I4, Is(0)),
    ROW(kNull, VT_I4, Fails(DISP_E_TYPEMISMATCH)),

    // ---- to DATE: what a date parameter receives
    ROW(I2(1), VT_DATE, Is(1)),
    ROW(I4(40493), VT_DATE, Is(40493)),
    ROW(R8(2.25), VT_DATE, Is(2.25)),
    ROW(R8(-1.5), VT_DATE, Is(-1.5)),
    ROW(R8(1e10), VT_DATE, Fails(DISP_E_OVERFLOW)),
    ROW(Bool(true), VT_DATE, Is(-1)),
    ROW(Date(kNov11Ten), VT_DATE, Is(kNov11Ten)),
    ROW(Text(u"2010-11-11 10:00:00"), VT_DATE, Is(kNov11Ten)),
    ROW(Text(u"2010-11-11 10:00"), VT_DATE, Is(kNov11Ten)),
    ROW(Text(u"2010-11-11"), VT_DATE, Is(40493)),
    ROW(Text(u"2010/11/11"), VT_DATE, Is(40493)),
    ROW(Text(u"11/11/2010"), VT_DATE, Is(40493)),
    ROW(Text(u"11/11/2010 10:00:00 AM"), VT_DATE, Is(kNov11Ten)),
    ROW(Text(u"11/11/2010 6:00:00 PM"), VT_DATE, Is(40493.75)),
    ROW(Text(u"1899-12-30"), VT_DATE, Is(0)),
    ROW(Text(u"10:30:00"), VT_DATE, Is(10.5 / 24.0)),
    ROW(Text(u"abc"), VT_DATE, Fails(DISP_E_TYPEMISMATCH)),
    ROW(Text(u""), VT_DATE, Fails(DISP_E_TYPEMISMATCH)),
    ROW(Text(u"2010-11-11 25:00:00"), VT_DATE, Fails(DISP_E_TYPEMISMATCH)),
    ROW(kEmpty, VT_DATE, Is(0)),
    ROW(kNull, VT_DATE, Fails(DISP_E_TYPEMISMATCH)),

    // ---- to BOOL: what a flag parameter receives
    ROW(I2(0), VT_BOOL, Is(0)),
    ROW(I4(5), VT_BOOL, Is(-1)),
    ROW(I4(-1), VT_BOOL, Is(-1)),
    ROW(R8(0.25), VT_BOOL, Is(-1)),
    ROW(R8(0), VT_BOOL, Is(0)),
    ROW(Bool(true), VT_BOOL, Is(-1)),
    ROW(Date(0), VT_BOOL, Is(0)),
    ROW(Date(kNov11Ten), VT_BOOL, Is(-1)),
    ROW(Text(u"True"), VT_BOOL, Is(-1)),
    ROW(Text(u"false"), VT_BOOL, Is(0)),
    ROW(Text(u"0"), VT_BOOL, Is(0)),
    ROW(Text(u"-1"), VT_BOOL, Is(-1)),
    ROW(Text(u"2"), VT_BOOL, Is(-1)),
    ROW(Text(u"abc"), VT_BOOL, Fails(DISP_E_TYPEMISMATCH)),
    ROW(Text(u""), VT_BOOL, Fails(DISP_E_TYPEMISMATCH)),
    ROW(kEmpty, VT_BOOL, Is(0)),
    ROW(kNull, VT_BOOL, Fails(DISP_E_TYPEMISMATCH)),
};
#undef ROW

// The row's source by value; the caller clears it.
VARIANT Value(const From& from) {
    VARIANT v = MakeVariant(from.vt);
    if (from.vt == VT_I2) v.iVal = static_cast<SHORT>(from.number);
    if (from.vt == VT_I4) v.lVal = static_cast<LONG>(from.number);
    if (from.vt == VT_R8) v.dblVal = from.number;
    if (from.vt == VT_DATE) v.date = from.number;
    if (from.vt == VT_BOOL) v.boolVal = from.number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    if (from.vt == VT_BSTR) v.bstrVal = Alloc(from.text);
    return v;
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(static_cast<ULONG>(hr)));
    return text;
}

// What a converted I4, BOOL or DATE holds.
double Number(const VARIANT& v) { return v.vt == VT_I4 ? v.lVal : v.vt == VT_BOOL ? v.boolVal : v.date; }

// One conversion of `src` (a copy: the conversion only reads it).
void Check(const Row& row, VARIANT src, const char* form) {
    SCOPED_TRACE(testing::Message() << "line " << row.line << " (" << form << ")");
    VARIANT out = MakeVariant(VT_EMPTY);
    const HRESULT hr = VariantChangeTypeEx(&out, &src, kEnglishUS, 0, row.to);
    EXPECT_EQ(Hex(hr), Hex(row.expect.hr));
    const bool converted = SUCCEEDED(hr) && hr == row.expect.hr;
    EXPECT_TRUE(!converted || out.vt == row.to) << "result type " << out.vt;
    if (converted && row.to == VT_BSTR && out.vt == VT_BSTR) {
        EXPECT_EQ(std::u16string(calyra::BstrView(out.bstrVal)), row.expect.text);
    } else if (converted && row.to != VT_BSTR) {
        // Dates built from text may differ from double arithmetic in the last bits.
        EXPECT_NEAR(Number(out), row.expect.number, 1e-9);
    }
    VariantClear(&out);
}

TEST(VariantChangeType, ConvertsArgumentsAsDispatchDoes) {
    for (const Row& row : kRows) {
        VARIANT value = Value(row.from);
        Check(row, value, "by value");
        Check(row, Ref(VT_VARIANT, &value), "in a variable by reference");
        // Empty and Null have no by-reference form.
        if (value.vt != VT_EMPTY && value.vt != VT_NULL) Check(row, Ref(value.vt, &value.llVal), "by reference");
        VariantClear(&value);
    }
}

// Converting in place replaces the source's text and frees the old one.
TEST(VariantChangeType, ConvertsInPlace) {
    VARIANT v = Value(Text(u"42"));
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 42);
    // A failure leaves the destination as it was.
    v = Value(Text(u"x"));
    EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(v.vt, VT_BSTR);
    VariantClear(&v);
}

}  // namespace
