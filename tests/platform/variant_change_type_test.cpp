// VariantChangeType as automation dispatch applies it to a caller's
// argument: one conversion per line, from a kind and value to a declared
// type, with the value or status that comes back. The same table runs on
// Linux against the platform's own conversion and under Wine against the
// system's oleaut32, so the two cannot drift. Every row runs by value and
// as a script variable passes it (VT_VARIANT | VT_BYREF), and, where its
// source has a by-reference form, as VT_BYREF too.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/bstr.h"
#include "platform/variant.h"

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

// The source VARIANT, by value or pointing at storage of its own.
struct Source {
    VARIANT value;
    VARIANT holder;  // by-value form behind a VT_BYREF source
    explicit Source(const From& from) {
        VariantInit(&value);
        value.vt = from.vt;
        switch (from.vt) {
            case VT_I2:
                value.iVal = static_cast<SHORT>(from.number);
                break;
            case VT_I4:
                value.lVal = static_cast<LONG>(from.number);
                break;
            case VT_R8:
                value.dblVal = from.number;
                break;
            case VT_DATE:
                value.date = from.number;
                break;
            case VT_BOOL:
                value.boolVal = from.number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
                break;
            case VT_BSTR:
                value.bstrVal = Alloc(from.text);
                break;
            default:
                break;
        }
        holder = value;
    }
    ~Source() { VariantClear(&value); }
    bool HasReference() const { return value.vt != VT_EMPTY && value.vt != VT_NULL; }
    // VT_BYREF of the source's own kind, or of a VARIANT holding it.
    VARIANT Reference(bool toVariant) {
        VARIANT ref;
        VariantInit(&ref);
        ref.vt = static_cast<VARTYPE>((toVariant ? VARTYPE{VT_VARIANT} : value.vt) | VT_BYREF);
        ref.byref = toVariant ? static_cast<void*>(&value) : static_cast<void*>(&value.llVal);
        return ref;
    }
};

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(static_cast<ULONG>(hr)));
    return text;
}

std::string Narrow(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// The failures of one conversion, empty when it gave what the row expects.
std::string Check(const Row& row, const VARIANT& src, const char* form) {
    VARIANT out;
    VariantInit(&out);
    // Only read; MinGW's declaration lacks the const the SDK's has.
    const HRESULT hr = VariantChangeTypeEx(&out, const_cast<VARIANT*>(&src), kEnglishUS, 0, row.to);
    std::string problem;
    const std::string where = "line " + std::to_string(row.line) + " (" + form + "): ";
    if (hr != row.expect.hr) {
        problem = where + "expected " + Hex(row.expect.hr) + ", got " + Hex(hr);
    } else if (SUCCEEDED(hr) && out.vt != row.to) {
        problem = where + "result type " + std::to_string(out.vt);
    } else if (SUCCEEDED(hr) && row.to == VT_BSTR) {
        const std::string got = Narrow({reinterpret_cast<const char16_t*>(out.bstrVal), SysStringLen(out.bstrVal)});
        if (got != Narrow(row.expect.text))
            problem = where + "expected \"" + Narrow(row.expect.text) + "\", got \"" + got + "\"";
    } else if (SUCCEEDED(hr)) {
        double got = row.to == VT_I4 ? out.lVal : row.to == VT_BOOL ? out.boolVal : out.date;
        // Dates built from text may differ from double arithmetic in the last bits.
        if (std::fabs(got - row.expect.number) > 1e-9) {
            char text[96];
            std::snprintf(text, sizeof text, "expected %.17g, got %.17g", row.expect.number, got);
            problem = where + text;
        }
    }
    VariantClear(&out);
    return problem;
}

TEST(VariantChangeType, ConvertsArgumentsAsDispatchDoes) {
    for (const Row& row : kRows) {
        Source source(row.from);
        EXPECT_EQ(Check(row, source.value, "by value"), "");
        EXPECT_EQ(Check(row, source.Reference(true), "in a variable by reference"), "");
        if (source.HasReference()) {
            EXPECT_EQ(Check(row, source.Reference(false), "by reference"), "");
        }
    }
}

// Converting in place replaces the source's text and frees the old one.
TEST(VariantChangeType, ConvertsInPlace) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = Alloc(u"42");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 42);
    // A failure leaves the destination as it was.
    v.vt = VT_BSTR;
    v.bstrVal = Alloc(u"x");
    EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(v.vt, VT_BSTR);
    VariantClear(&v);
}

}  // namespace
