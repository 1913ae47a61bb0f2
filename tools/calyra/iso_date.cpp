#include "iso_date.h"

#include <cmath>
#include <cstdio>

#include <fmt/format.h>

#include "client_error.h"
#include "platform/system_time.h"
#include "platform/variant_time.h"

namespace calyra::cli {
namespace {

bool ReadNumber(std::string_view text, size_t* pos, size_t digits, int* value) {
    if (*pos + digits > text.size()) return false;
    int v = 0;
    for (size_t i = 0; i < digits; ++i) {
        char c = text[*pos + i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    *pos += digits;
    *value = v;
    return true;
}

bool Expect(std::string_view text, size_t* pos, char c) {
    if (*pos < text.size() && text[*pos] == c) {
        ++*pos;
        return true;
    }
    return false;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

CivilDate ToCivil(DATE date) {
    SYSTEMTIME st{};
    if (!VariantTimeToSystemTime(date, &st)) return {};
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

DATE FromCivil(const CivilDate& c) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(c.year);
    st.wMonth = static_cast<WORD>(c.month);
    st.wDay = static_cast<WORD>(c.day);
    st.wHour = static_cast<WORD>(c.hour);
    st.wMinute = static_cast<WORD>(c.minute);
    st.wSecond = static_cast<WORD>(c.second);
    DATE d = 0;
    SystemTimeToVariantTime(&st, &d);
    return d;
}

std::string FormatIsoDate(DATE date) {
    CivilDate c = ToCivil(date);
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", c.year, c.month, c.day, c.hour, c.minute, c.second);
}

std::string FormatIsoDay(DATE date) {
    CivilDate c = ToCivil(date);
    return fmt::format("{:04}-{:02}-{:02}", c.year, c.month, c.day);
}

std::optional<DATE> TryParseIsoDate(std::string_view text) {
    if (text == "now" || text == "today") {
        SYSTEMTIME st{};
        GetSystemTime(&st);
        if (text == "today") st.wHour = st.wMinute = st.wSecond = 0;
        st.wMilliseconds = 0;
        DATE d = 0;
        SystemTimeToVariantTime(&st, &d);
        return d;
    }
    CivilDate c;
    size_t pos = 0;
    if (!ReadNumber(text, &pos, 4, &c.year) || !Expect(text, &pos, '-') || !ReadNumber(text, &pos, 2, &c.month) ||
        !Expect(text, &pos, '-') || !ReadNumber(text, &pos, 2, &c.day))
        return std::nullopt;
    if (pos < text.size() && (text[pos] == 'T' || text[pos] == ' ')) {
        ++pos;
        if (!ReadNumber(text, &pos, 2, &c.hour) || !Expect(text, &pos, ':') || !ReadNumber(text, &pos, 2, &c.minute))
            return std::nullopt;
        if (Expect(text, &pos, ':') && !ReadNumber(text, &pos, 2, &c.second)) return std::nullopt;
    }
    Expect(text, &pos, 'Z');
    if (pos != text.size()) return std::nullopt;
    if (c.year < 100 || c.month < 1 || c.month > 12 || c.day < 1 || c.day > DaysInMonth(c.year, c.month) ||
        c.hour > 23 || c.minute > 59 || c.second > 59)
        return std::nullopt;
    return FromCivil(c);
}

DATE ParseIsoDate(std::string_view text) {
    auto d = TryParseIsoDate(text);
    if (!d)
        throw ClientError("not a date: \"" + std::string(text) + "\" (use YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS], UTC)",
                          2);
    return *d;
}

int DayOfWeek(DATE date) {
    // 1899-12-30 was a Saturday; before it the integer part counts days back.
    long long day = static_cast<long long>(std::trunc(date));
    return static_cast<int>(((day + 6) % 7 + 7) % 7);
}

}  // namespace calyra::cli
