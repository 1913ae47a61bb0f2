// Value conversions between interface types and database text.
#include "tables/value_conversions.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <new>

#include "platform/bstr.h"
#include "platform/system_time.h"
#include "platform/variant_time.h"

namespace calyra {

namespace {

// The parsers below read UTF-16 and UTF-8 alike: every character they
// accept is ASCII, and they stop at the first other unit or byte.

// The white space the C scanner skips in the "C" locale.
template <class Char>
bool IsSpace(Char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

template <class Char>
bool IsDigit(Char c) {
    return c >= '0' && c <= '9';
}

// Reads one decimal number at *pos like the scanner's %d: white space,
// optional sign, at least one digit. On success advances *pos past the
// digits and stores the value, saturated to the LONG range.
template <class Char>
bool ReadNumber(const Char*& pos, LONG* value) {
    const Char* p = pos;
    while (IsSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (!IsDigit(*p)) return false;
    // Accumulate the magnitude until it is beyond any LONG; further digits
    // only keep it there.
    constexpr std::int64_t kBeyond = std::int64_t{std::numeric_limits<LONG>::max()} + 2;
    std::int64_t magnitude = 0;
    for (; IsDigit(*p); ++p)
        if (magnitude < kBeyond) magnitude = magnitude * 10 + (*p - '0');
    std::int64_t signedValue = negative ? -magnitude : magnitude;
    *value = static_cast<LONG>(
        std::clamp<std::int64_t>(signedValue, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max()));
    pos = p;
    return true;
}

// Clears the first min(capacity, kValueTextUnits) units, then copies the
// ASCII text in as far as it fits with its terminator.
OLECHAR* WriteAscii(const char* ascii, OLECHAR* buffer, size_t capacity) {
    if (!buffer || capacity == 0) return buffer;
    std::fill_n(buffer, std::min(capacity, kValueTextUnits), u'\0');
    size_t i = 0;
    for (; ascii[i] && i + 1 < capacity; ++i) buffer[i] = static_cast<OLECHAR>(ascii[i]);
    buffer[i] = u'\0';
    return buffer;
}

// Cumulative days before each month; the 13th entry lets month 13 mean the
// January of the next year.
constexpr std::int64_t kDaysBeforeMonth[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

// Integer division rounding toward negative infinity.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

OLECHAR* DateToText(DATE date, OLECHAR* buffer, size_t capacity) {
    SYSTEMTIME st{};
    if (!VariantTimeToSystemTime(date, &st)) st = SYSTEMTIME{};
    // Digits written by hand rather than by snprintf: every date of every
    // record written passes here, and the formatter showed in an import's
    // profile. Automation dates end in the year 9999, so four digits hold
    // every year.
    char text[] = "0000-00-00 00:00:00";
    auto put = [&text](size_t end, size_t width, unsigned value) {
        for (size_t i = end; i > end - width; value /= 10) text[--i] = static_cast<char>('0' + value % 10);
    };
    put(4, 4, st.wYear % 10000);
    put(7, 2, st.wMonth);
    put(10, 2, st.wDay);
    put(13, 2, st.wHour);
    put(16, 2, st.wMinute);
    put(19, 2, st.wSecond);
    return WriteAscii(text, buffer, capacity);
}

namespace {

template <class Char>
DATE ParseDate(const Char* text) {
    // year, month, day, hour, minute, second and the separator before each.
    LONG fields[6] = {};
    constexpr char kSeparators[6] = {'\0', '-', '-', ' ', ':', ':'};
    const Char* p = text;
    for (int i = 0; i < 6; ++i) {
        const char sep = kSeparators[i];
        if (sep == ' ') {
            while (IsSpace(*p)) ++p;  // a blank in the pattern matches any run, also none
        } else if (sep != '\0') {
            if (*p != sep) break;
            ++p;
        }
        if (!ReadNumber(p, &fields[i])) break;
    }
    return DateFromParts(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
}

template <class Char>
LONG ParseLong(const Char* text) {
    LONG value = 0;
    return ReadNumber(text, &value) ? value : 0;
}

}  // namespace

DATE TextToDate(const OLECHAR* text, DATE defaultDate) { return text ? ParseDate(text) : defaultDate; }

DATE Utf8ToDate(const char* text) { return ParseDate(text); }

OLECHAR* LongToText(LONG value, OLECHAR* buffer, size_t capacity) {
    char text[16] = {};
    std::to_chars(text, text + sizeof text - 1, value);
    return WriteAscii(text, buffer, capacity);
}

LONG TextToLong(const OLECHAR* text, LONG defaultValue) { return text ? ParseLong(text) : defaultValue; }

LONG Utf8ToLong(const char* text) { return ParseLong(text); }

const OLECHAR* BoolToText(LONG flag) { return AsOle(flag ? u"1" : u"0"); }

LONG TextToBool(const OLECHAR* text, LONG defaultValue) {
    if (!text) return defaultValue;
    return TextToLong(text, 0) == 1 ? 1 : 0;
}

BSTR TextToBstr(const OLECHAR* text, BSTR defaultText) {
    if (!text) return Bstr::Copy(defaultText);
    return Bstr(text).Detach();
}

EscapedText EscapeSqlText(BSTR text, OLECHAR* buffer, size_t capacity) {
    EscapedText result;
    const size_t length = SysStringLen(text);
    if (length == 0) return result;
    if (buffer) std::fill_n(buffer, capacity, u'\0');

    const size_t quotes = static_cast<size_t>(std::count(text, text + length, u'\''));
    if (quotes == 0) {
        result.m_text = text;
        result.m_length = length;
        return result;
    }
    const size_t escapedLength = length + quotes;
    OLECHAR* out = buffer;
    if (!buffer || escapedLength >= capacity) {
        // Too long for the buffer: escape into storage of our own rather
        // than cut the text (a cut text would silently change the data).
        result.m_owned.reset(new (std::nothrow) OLECHAR[escapedLength + 1]);
        if (!result.m_owned) throw OutOfMemory{};
        out = result.m_owned.get();
    }
    OLECHAR* w = out;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == u'\'') *w++ = u'\'';
        *w++ = text[i];
    }
    *w = u'\0';
    result.m_text = out;
    result.m_length = escapedLength;
    return result;
}

DATE GetNowDate() {
    SYSTEMTIME st{};
    GetSystemTime(&st);
    return DateFromParts(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

DATE DateFromParts(LONG year, LONG month, LONG day, LONG hour, LONG minute, LONG second) {
    // 64-bit throughout: no input, however far out of range, overflows.
    std::int64_t y = year;
    std::int64_t monthIndex = std::int64_t{month} - 1;
    y += FloorDiv(monthIndex, 12);
    monthIndex -= FloorDiv(monthIndex, 12) * 12;  // now 0..11

    const bool leap = y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
    std::int64_t days = y * 365 + y / 4 - y / 100 + y / 400 + kDaysBeforeMonth[monthIndex] + day;
    if (monthIndex < 2 && leap) --days;

    const std::int64_t serial = days - 693959;  // 1899-12-30 is day 0
    const double fraction =
        static_cast<double>(std::int64_t{hour} * 3600 + std::int64_t{minute} * 60 + second) / 86400.0;
    return serial >= 0 ? static_cast<double>(serial) + fraction : static_cast<double>(serial) - fraction;
}

}  // namespace calyra
