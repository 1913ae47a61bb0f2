// Dates as people and scripts write them: ISO 8601 in UTC.
//
// Dates are Date values (days.h: days since 1899-12-30, whole seconds).
// They are shown as "2026-12-06T09:30:00Z" and read from "2026-12-06",
// "2026-12-06T09:30", "2026-12-06 09:30:15" with an optional trailing "Z"
// (always UTC), and "now"/"today". Years 100 to 9999 only, as the stored
// dates.
//
// Texts are returned by value. Thread-safety: pure functions (apart from
// reading the clock for "now" and "today").
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "calendar/days.h"

namespace calyra::calendar {

struct CivilDate {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// All zero for a date outside the years 100 to 9999.
CivilDate ToCivil(Date date);
// 0 when `civil` is not a moment of the years 100 to 9999.
Date FromCivil(const CivilDate& civil);

// "2026-12-06T09:30:00Z".
std::string FormatIsoDate(Date date);
// "2026-12-06".
std::string FormatIsoDay(Date date);
// std::nullopt when the text is not a date.
std::optional<Date> TryParseIsoDate(std::string_view text);

// Day of the week of a date, 0 = Sunday.
int DayOfWeek(Date date);

}  // namespace calyra::calendar
