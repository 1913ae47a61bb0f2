// VariantChangeType: converting one scalar VARIANT into another kind, with
// the results automation dispatch gives a caller's argument on Windows. The
// rules are in variant.h; tests/platform/variant_change_type_test.cpp runs
// the same table here and against the system's own under Wine.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "platform/bstr.h"
#include "platform/variant.h"
#include "platform/variant_time.h"

namespace {

// The range of dates a DATE may hold: 1 January 100 to 31 December 9999.
constexpr double kDateMin = -657434.0;
constexpr double kDateMax = 2958465.0;

// One scalar read out of a source VARIANT.
struct Scalar {
    enum class Kind { Empty, Null, Integer, Real, Bool, Text } kind = Kind::Empty;
    LONGLONG integer = 0;        // Integer, Bool (-1 or 0)
    ULONGLONG unsignedHigh = 0;  // a VT_UI8 above LONGLONG's range, else 0
    double real = 0;             // Real
    bool isDate = false;         // a Real that came as VT_DATE
    bool isSingle = false;       // a Real that came as VT_R4
    BSTR text = nullptr;         // Text, borrowed from the source
};

// Reads *src, following VT_BYREF and one VT_VARIANT | VT_BYREF.
HRESULT ReadScalar(const VARIANT& src, Scalar* out) {
    const VARIANT* v = &src;
    if (v->vt == (VT_VARIANT | VT_BYREF)) {
        if (!v->pvarVal) return E_INVALIDARG;
        v = v->pvarVal;
        if (v->vt == (VT_VARIANT | VT_BYREF)) return DISP_E_TYPEMISMATCH;
    }
    if (v->vt & VT_ARRAY) return DISP_E_TYPEMISMATCH;
    const bool byref = (v->vt & VT_BYREF) != 0;
    if (byref && !v->byref) return E_INVALIDARG;
    auto read = [&]<class T>(T byValue) -> T { return byref ? *static_cast<const T*>(v->byref) : byValue; };
    using Kind = Scalar::Kind;
    out->kind = Kind::Integer;
    switch (v->vt & VT_TYPEMASK) {
        case VT_EMPTY:
            if (byref) return DISP_E_BADVARTYPE;
            out->kind = Kind::Empty;
            return S_OK;
        case VT_NULL:
            if (byref) return DISP_E_BADVARTYPE;
            out->kind = Kind::Null;
            return S_OK;
        case VT_I1:
            out->integer = static_cast<signed char>(read(v->cVal));
            return S_OK;
        case VT_UI1:
            out->integer = read(v->bVal);
            return S_OK;
        case VT_I2:
            out->integer = read(v->iVal);
            return S_OK;
        case VT_UI2:
            out->integer = read(v->uiVal);
            return S_OK;
        case VT_I4:
            out->integer = read(v->lVal);
            return S_OK;
        case VT_UI4:
            out->integer = read(v->ulVal);
            return S_OK;
        case VT_INT:
            out->integer = read(v->intVal);
            return S_OK;
        case VT_UINT:
            out->integer = read(v->uintVal);
            return S_OK;
        case VT_I8:
            out->integer = read(v->llVal);
            return S_OK;
        case VT_UI8: {
            const ULONGLONG value = read(v->ullVal);
            if (value > static_cast<ULONGLONG>(std::numeric_limits<LONGLONG>::max())) {
                out->unsignedHigh = value;
                out->kind = Kind::Real;
                out->real = static_cast<double>(value);
                return S_OK;
            }
            out->integer = static_cast<LONGLONG>(value);
            return S_OK;
        }
        case VT_BOOL:
            out->kind = Kind::Bool;
            out->integer = read(v->boolVal) ? -1 : 0;
            return S_OK;
        case VT_R4:
            out->kind = Kind::Real;
            out->isSingle = true;
            out->real = read(v->fltVal);
            return S_OK;
        case VT_R8:
            out->kind = Kind::Real;
            out->real = read(v->dblVal);
            return S_OK;
        case VT_DATE:
            out->kind = Kind::Real;
            out->isDate = true;
            out->real = read(v->date);
            return S_OK;
        case VT_BSTR:
            out->kind = Kind::Text;
            out->text = read(v->bstrVal);
            return S_OK;
        case VT_CY:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_UNKNOWN:
        case VT_RECORD:
        case VT_VARIANT:
            return DISP_E_TYPEMISMATCH;
        default:
            return DISP_E_BADVARTYPE;
    }
}

// ---- Texts ---------------------------------------------------------------------

bool IsSpace(OLECHAR c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0; }
bool IsDigit(OLECHAR c) { return c >= u'0' && c <= u'9'; }
OLECHAR Lower(OLECHAR c) { return c >= u'A' && c <= u'Z' ? static_cast<OLECHAR>(c - u'A' + u'a') : c; }

// A BSTR as ASCII with its surrounding white space dropped; nullopt when it
// holds anything outside ASCII (no number or date is written so).
std::optional<std::string> TrimmedAscii(BSTR text) {
    const UINT length = SysStringLen(text);
    UINT begin = 0, end = length;
    while (begin < end && IsSpace(text[begin])) ++begin;
    while (end > begin && IsSpace(text[end - 1])) --end;
    std::string out;
    out.reserve(end - begin);
    for (UINT i = begin; i < end; ++i) {
        if (text[i] >= 0x80) return std::nullopt;
        out.push_back(static_cast<char>(text[i]));
    }
    return out;
}

bool EqualsWord(BSTR text, const char* word) {
    const UINT length = SysStringLen(text);
    UINT i = 0;
    for (; i < length && word[i]; ++i)
        if (Lower(text[i]) != Lower(static_cast<OLECHAR>(word[i]))) return false;
    return i == length && word[i] == 0;
}

// A number as text: optional sign, digits with optional ',' grouping, a
// '.' fraction, an exponent; or &H / &O followed by hexadecimal or octal
// digits (a 32-bit pattern, as the runtime reads them). Surrounding white
// space is allowed.
std::optional<double> ParseNumber(BSTR text) {
    std::optional<std::string> ascii = TrimmedAscii(text);
    if (!ascii || ascii->empty()) return std::nullopt;
    const std::string& s = *ascii;
    if (s.size() > 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
        const bool hex = s[1] == 'H' || s[1] == 'h';
        ULONGLONG value = 0;
        for (size_t i = 2; i < s.size(); ++i) {
            const char c = static_cast<char>(Lower(static_cast<OLECHAR>(s[i])));
            int digit;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (hex && c >= 'a' && c <= 'f') {
                digit = c - 'a' + 10;
            } else {
                return std::nullopt;
            }
            if (!hex && digit > 7) return std::nullopt;
            value = value * (hex ? 16 : 8) + static_cast<ULONGLONG>(digit);
            if (value > 0xFFFFFFFFull) return std::nullopt;
        }
        // The runtime reads up to 32 bits as a signed 32-bit pattern.
        return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
    }
    size_t i = 0;
    std::string plain;
    if (s[i] == '+' || s[i] == '-') plain.push_back(s[i++]);
    bool digits = false;
    for (; i < s.size() && (IsDigit(static_cast<OLECHAR>(s[i])) || (s[i] == ',' && digits)); ++i) {
        if (s[i] != ',') plain.push_back(s[i]);
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        plain.push_back(s[i++]);
        for (; i < s.size() && IsDigit(static_cast<OLECHAR>(s[i])); ++i) {
            plain.push_back(s[i]);
            digits = true;
        }
    }
    if (!digits) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        plain.push_back('e');
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) plain.push_back(s[i++]);
        if (i >= s.size() || !IsDigit(static_cast<OLECHAR>(s[i]))) return std::nullopt;
        for (; i < s.size() && IsDigit(static_cast<OLECHAR>(s[i])); ++i) plain.push_back(s[i]);
    }
    if (i != s.size()) return std::nullopt;
    return std::strtod(plain.c_str(), nullptr);
}

// ---- Dates as text -------------------------------------------------------------

struct Cursor {
    const std::string& s;
    size_t i = 0;

    bool AtEnd() const { return i >= s.size(); }
    void SkipSpaces() {
        while (i < s.size() && s[i] == ' ') ++i;
    }
    // Up to `maxDigits` digits, at least one.
    std::optional<int> Number(size_t maxDigits, size_t* count = nullptr) {
        const size_t start = i;
        int value = 0;
        while (i < s.size() && i - start < maxDigits && s[i] >= '0' && s[i] <= '9') value = value * 10 + (s[i++] - '0');
        if (count) *count = i - start;
        if (i == start) return std::nullopt;
        return value;
    }
    bool Take(char c) {
        if (i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
};

// A time of day, "h:mm[:ss] [AM|PM]", into *fraction of a day.
bool ParseTime(Cursor& c, double* fraction) {
    std::optional<int> hour = c.Number(2);
    if (!hour || !c.Take(':')) return false;
    std::optional<int> minute = c.Number(2);
    if (!minute) return false;
    int second = 0;
    if (c.Take(':')) {
        std::optional<int> s = c.Number(2);
        if (!s) return false;
        second = *s;
    }
    c.SkipSpaces();
    int h = *hour;
    if (!c.AtEnd()) {
        const std::string rest = c.s.substr(c.i);
        auto is = [&](const char* word) {
            return rest.size() == 2 && Lower(static_cast<OLECHAR>(rest[0])) == static_cast<OLECHAR>(word[0]) &&
                   Lower(static_cast<OLECHAR>(rest[1])) == static_cast<OLECHAR>(word[1]);
        };
        if (h < 1 || h > 12) return false;
        if (is("am")) {
            if (h == 12) h = 0;
        } else if (is("pm")) {
            if (h != 12) h += 12;
        } else {
            return false;
        }
        c.i = c.s.size();
    }
    if (h > 23 || *minute > 59 || second > 59) return false;
    *fraction = (h * 3600 + *minute * 60 + second) / 86400.0;
    return true;
}

bool DayNumber(int year, int month, int day, double* out) {
    if (month < 1 || month > 12 || day < 1) return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return false;
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    DATE date = 0;
    if (!SystemTimeToVariantTime(&st, &date)) return false;
    *out = date;
    return true;
}

// The forms scripts send: "YYYY-MM-DD", "YYYY/MM/DD", "M/D/YYYY", each
// optionally followed by a time; or a time alone (on day 0). Two-digit
// years: 0-29 are 2000-2029, 30-99 are 1930-1999.
std::optional<double> ParseDate(BSTR text) {
    std::optional<std::string> ascii = TrimmedAscii(text);
    if (!ascii || ascii->empty()) return std::nullopt;
    Cursor c{*ascii};
    // A time alone.
    {
        Cursor t{*ascii};
        double fraction = 0;
        if (ParseTime(t, &fraction) && t.AtEnd()) return fraction;
    }
    size_t firstDigits = 0;
    std::optional<int> first = c.Number(4, &firstDigits);
    if (!first) return std::nullopt;
    const char separator = c.AtEnd() ? 0 : c.s[c.i];
    if (separator != '-' && separator != '/') return std::nullopt;
    ++c.i;
    std::optional<int> second = c.Number(2);
    if (!second || !c.Take(separator)) return std::nullopt;
    size_t thirdDigits = 0;
    std::optional<int> third = c.Number(4, &thirdDigits);
    if (!third) return std::nullopt;
    int year, month, day;
    if (firstDigits > 2) {  // year first
        year = *first;
        month = *second;
        day = *third;
    } else {  // month first
        if (separator != '/') return std::nullopt;
        month = *first;
        day = *second;
        year = *third;
        if (thirdDigits <= 2) year += year < 30 ? 2000 : 1900;
    }
    double date = 0;
    if (!DayNumber(year, month, day, &date)) return std::nullopt;
    c.SkipSpaces();
    if (c.AtEnd()) return date;
    double fraction = 0;
    if (!ParseTime(c, &fraction) || !c.AtEnd()) return std::nullopt;
    // Before day 0 the time of day counts away from zero.
    return date < 0 ? date - fraction : date + fraction;
}

// ---- Writing texts -------------------------------------------------------------

HRESULT MakeText(const std::string& ascii, VARIANT* out) {
    std::u16string units(ascii.begin(), ascii.end());
    BSTR text = SysAllocStringLen(units.data(), static_cast<UINT>(units.size()));
    if (!text) return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    out->bstrVal = text;
    return S_OK;
}

// A real as the runtime writes it: up to 15 significant digits (7 for a
// single), no trailing zeros, an exponent "E+nn" beyond that range.
std::string RealText(double value, bool single) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, single ? "%.7G" : "%.15G", value);
    return buffer;
}

// A date as the English (United States) locale writes it: the date part
// unless it is day 0, the time part unless it is midnight.
std::optional<std::string> DateText(double date) {
    SYSTEMTIME st{};
    if (!VariantTimeToSystemTime(date, &st)) return std::nullopt;
    const bool hasDate = !(st.wYear == 1899 && st.wMonth == 12 && st.wDay == 30);
    const bool hasTime = st.wHour != 0 || st.wMinute != 0 || st.wSecond != 0;
    char buffer[64];
    std::string text;
    if (hasDate) {
        std::snprintf(buffer, sizeof buffer, "%u/%u/%u", st.wMonth, st.wDay, st.wYear);
        text = buffer;
    }
    if (hasTime || !hasDate) {
        const unsigned hour12 = st.wHour % 12 == 0 ? 12 : st.wHour % 12;
        std::snprintf(buffer, sizeof buffer, "%u:%02u:%02u %s", hour12, st.wMinute, st.wSecond,
                      st.wHour < 12 ? "AM" : "PM");
        if (!text.empty()) text += ' ';
        text += buffer;
    }
    return text;
}

// ---- Conversions ---------------------------------------------------------------

// Rounds half to even, as the runtime rounds reals to integers.
double RoundHalfEven(double value) {
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff > 0.5) return floor + 1;
    if (diff < 0.5) return floor;
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

// The source as a real: numbers, booleans, dates and numeric texts.
HRESULT AsReal(const Scalar& s, double* out) {
    switch (s.kind) {
        case Scalar::Kind::Empty:
            *out = 0;
            return S_OK;
        case Scalar::Kind::Null:
            return DISP_E_TYPEMISMATCH;
        case Scalar::Kind::Integer:
        case Scalar::Kind::Bool:
            *out = static_cast<double>(s.integer);
            return S_OK;
        case Scalar::Kind::Real:
            *out = s.real;
            return S_OK;
        case Scalar::Kind::Text: {
            std::optional<double> number = ParseNumber(s.text);
            if (!number) return DISP_E_TYPEMISMATCH;
            *out = *number;
            return S_OK;
        }
    }
    return DISP_E_TYPEMISMATCH;
}

// The source as an integer in [low, high]: exact integers are checked,
// reals rounded half to even first.
HRESULT AsInteger(const Scalar& s, LONGLONG low, LONGLONG high, LONGLONG* out) {
    if (s.kind == Scalar::Kind::Integer || s.kind == Scalar::Kind::Bool) {
        if (s.integer < low || s.integer > high) return DISP_E_OVERFLOW;
        *out = s.integer;
        return S_OK;
    }
    double real = 0;
    HRESULT hr = AsReal(s, &real);
    if (FAILED(hr)) return hr;
    // Out of range before rounding (and NaN) overflow.
    if (!(real >= static_cast<double>(low) - 0.5 && real < static_cast<double>(high) + 0.5)) return DISP_E_OVERFLOW;
    const double rounded = RoundHalfEven(real);
    if (rounded < static_cast<double>(low) || rounded > static_cast<double>(high)) return DISP_E_OVERFLOW;
    *out = static_cast<LONGLONG>(rounded);
    return S_OK;
}

HRESULT ToBool(const Scalar& s, VARIANT_BOOL* out) {
    if (s.kind == Scalar::Kind::Text) {
        if (EqualsWord(s.text, "True")) {
            *out = VARIANT_TRUE;
            return S_OK;
        }
        if (EqualsWord(s.text, "False")) {
            *out = VARIANT_FALSE;
            return S_OK;
        }
    }
    if (s.kind == Scalar::Kind::Integer || s.kind == Scalar::Kind::Bool) {
        *out = s.integer != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    double real = 0;
    HRESULT hr = AsReal(s, &real);
    if (FAILED(hr)) return hr;
    *out = real != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT ToDate(const Scalar& s, DATE* out) {
    if (s.kind == Scalar::Kind::Text) {
        std::optional<double> date = ParseDate(s.text);
        if (!date) {
            // A plain number is a day count too.
            date = ParseNumber(s.text);
            if (!date) return DISP_E_TYPEMISMATCH;
        }
        if (*date <= kDateMin - 1 || *date >= kDateMax + 1) return DISP_E_OVERFLOW;
        *out = *date;
        return S_OK;
    }
    double real = 0;
    HRESULT hr = AsReal(s, &real);
    if (FAILED(hr)) return hr;
    if (!(real > kDateMin - 1 && real < kDateMax + 1)) return DISP_E_OVERFLOW;
    *out = real;
    return S_OK;
}

HRESULT ToText(const Scalar& s, USHORT flags, VARIANT* out) {
    switch (s.kind) {
        case Scalar::Kind::Empty:
            return MakeText("", out);
        case Scalar::Kind::Null:
            return DISP_E_TYPEMISMATCH;
        case Scalar::Kind::Integer:
            return MakeText(std::to_string(s.integer), out);
        case Scalar::Kind::Bool:
            if (flags & VARIANT_ALPHABOOL) return MakeText(s.integer ? "True" : "False", out);
            return MakeText(s.integer ? "-1" : "0", out);
        case Scalar::Kind::Real: {
            if (s.unsignedHigh) return MakeText(std::to_string(s.unsignedHigh), out);
            if (!s.isDate) return MakeText(RealText(s.real, s.isSingle), out);
            std::optional<std::string> text = DateText(s.real);
            if (!text) return DISP_E_OVERFLOW;
            return MakeText(*text, out);
        }
        case Scalar::Kind::Text: {
            BSTR copy = SysAllocStringLen(s.text, SysStringLen(s.text));
            if (!copy && s.text) return E_OUTOFMEMORY;
            if (!copy) copy = SysAllocStringLen(u"", 0);
            if (!copy) return E_OUTOFMEMORY;
            out->vt = VT_BSTR;
            out->bstrVal = copy;
            return S_OK;
        }
    }
    return DISP_E_TYPEMISMATCH;
}

// Converts into *out, which starts empty.
HRESULT Convert(const Scalar& s, USHORT flags, VARTYPE vt, VARIANT* out) {
    if (s.kind == Scalar::Kind::Null) {
        if (vt != VT_NULL) return DISP_E_TYPEMISMATCH;
        out->vt = VT_NULL;
        return S_OK;
    }
    LONGLONG integer = 0;
    HRESULT hr = S_OK;
    switch (vt) {
        case VT_EMPTY:
            return S_OK;
        case VT_NULL:
            return DISP_E_TYPEMISMATCH;
        case VT_BSTR:
            return ToText(s, flags, out);
        case VT_BOOL:
            hr = ToBool(s, &out->boolVal);
            break;
        case VT_DATE:
            hr = ToDate(s, &out->date);
            break;
        case VT_R8:
            hr = s.kind == Scalar::Kind::Text && !ParseNumber(s.text) ? DISP_E_TYPEMISMATCH : AsReal(s, &out->dblVal);
            break;
        case VT_R4: {
            double real = 0;
            hr = AsReal(s, &real);
            if (SUCCEEDED(hr) && std::isfinite(real) && std::fabs(real) > std::numeric_limits<float>::max())
                hr = DISP_E_OVERFLOW;
            out->fltVal = static_cast<float>(real);
            break;
        }
        case VT_I1:
            hr = AsInteger(s, -128, 127, &integer);
            out->cVal = static_cast<CHAR>(integer);
            break;
        case VT_UI1:
            hr = AsInteger(s, 0, 255, &integer);
            out->bVal = static_cast<BYTE>(integer);
            break;
        case VT_I2:
            hr = AsInteger(s, -32768, 32767, &integer);
            out->iVal = static_cast<SHORT>(integer);
            break;
        case VT_UI2:
            hr = AsInteger(s, 0, 65535, &integer);
            out->uiVal = static_cast<USHORT>(integer);
            break;
        case VT_I4:
        case VT_INT:
            hr = AsInteger(s, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max(), &integer);
            out->lVal = static_cast<LONG>(integer);
            break;
        case VT_UI4:
        case VT_UINT:
            hr = AsInteger(s, 0, std::numeric_limits<ULONG>::max(), &integer);
            out->ulVal = static_cast<ULONG>(integer);
            break;
        case VT_I8:
            if (s.unsignedHigh) return DISP_E_OVERFLOW;
            hr = AsInteger(s, std::numeric_limits<LONGLONG>::min(), std::numeric_limits<LONGLONG>::max(), &integer);
            out->llVal = integer;
            break;
        case VT_UI8:
            if (s.unsignedHigh) {
                out->ullVal = s.unsignedHigh;
                break;
            }
            hr = AsInteger(s, 0, std::numeric_limits<LONGLONG>::max(), &integer);
            out->ullVal = static_cast<ULONGLONG>(integer);
            break;
        case VT_CY:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_UNKNOWN:
        case VT_VARIANT:
        case VT_RECORD:
            return DISP_E_TYPEMISMATCH;
        default:
            return DISP_E_BADVARTYPE;
    }
    if (FAILED(hr)) return hr;
    out->vt = vt;
    return S_OK;
}

}  // namespace

extern "C" {

HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID, USHORT wFlags, VARTYPE vt) {
    if (!pvargDest || !pvarSrc) return E_INVALIDARG;
    if (vt & (VT_BYREF | VT_ARRAY)) return DISP_E_TYPEMISMATCH;
    Scalar scalar;
    HRESULT hr = ReadScalar(*pvarSrc, &scalar);
    if (FAILED(hr)) return hr;
    // Built aside, so a failure leaves the destination alone and the
    // destination may be the source (whose text is still being read).
    VARIANT result;
    VariantInit(&result);
    hr = Convert(scalar, wFlags, vt, &result);
    if (FAILED(hr)) return hr;
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *pvargDest = result;
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt) {
    return VariantChangeTypeEx(pvargDest, pvarSrc, 0x0400 /* LOCALE_USER_DEFAULT */, wFlags, vt);
}

}  // extern "C"
