#include "calendar/iso_date.h"

#include <chrono>
#include <cmath>

#include <fmt/format.h>

namespace calyra::calendar {
namespace {

// 0100-01-01 00:00:00 and 9999-12-31 23:59:59.
constexpr double kMinDate = -657434.0;
constexpr double kMaxDate = 2958465.999988426;

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

bool IsValid(const CivilDate& c) {
    return c.year >= 100 && c.year <= 9999 && c.month >= 1 && c.month <= 12 && c.day >= 1 &&
           c.day <= DaysInMonth(c.year, c.month) && c.hour >= 0 && c.hour <= 23 && c.minute >= 0 && c.minute <= 59 &&
           c.second >= 0 && c.second <= 59;
}

}  // namespace

CivilDate ToCivil(Date date) {
    if (std::isnan(date) || date < kMinDate || date > kMaxDate) return {};
    const long long seconds = DateToSeconds(date);
    const CivilDay day = CivilFromDay(DayOfSeconds(seconds));
    if (day.year < 100 || day.year > 9999) return {};
    const long long second = SecondOfDay(seconds);
    return {day.year,
            day.month,
            day.day,
            static_cast<int>(second / 3600),
            static_cast<int>(second / 60 % 60),
            static_cast<int>(second % 60)};
}

Date FromCivil(const CivilDate& c) {
    if (!IsValid(c)) return 0;
    return SecondsToDate(DayFromCivil(c.year, c.month, c.day) * kSecondsPerDay + c.hour * 3600LL + c.minute * 60LL +
                         c.second);
}

std::string FormatIsoDate(Date date) {
    CivilDate c = ToCivil(date);
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", c.year, c.month, c.day, c.hour, c.minute, c.second);
}

std::string FormatIsoDay(Date date) {
    CivilDate c = ToCivil(date);
    return fmt::format("{:04}-{:02}-{:02}", c.year, c.month, c.day);
}

std::optional<Date> TryParseIsoDate(std::string_view text) {
    if (text == "now" || text == "today") {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        // Whole seconds since 1970-01-01, moved to 1899-12-30.
        long long seconds =
            std::chrono::duration_cast<std::chrono::seconds>(now).count() + DayFromCivil(1970, 1, 1) * kSecondsPerDay;
        if (text == "today") seconds = DayOfSeconds(seconds) * kSecondsPerDay;
        return SecondsToDate(seconds);
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
    if (pos != text.size() || !IsValid(c)) return std::nullopt;
    return FromCivil(c);
}

int DayOfWeek(Date date) {
    // 1899-12-30 was a Saturday; before it the integer part counts days back.
    long long day = static_cast<long long>(std::trunc(date));
    return static_cast<int>(((day + 6) % 7 + 7) % 7);
}

}  // namespace calyra::calendar
