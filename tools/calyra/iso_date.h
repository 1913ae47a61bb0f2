// Dates as people and scripts write them: ISO 8601 in UTC.
//
// The component keeps automation dates (DATE, days since 1899-12-30, whole
// seconds). The client shows them as "2026-12-06T09:30:00Z" and reads
// "2026-12-06", "2026-12-06T09:30", "2026-12-06 09:30:15" with an optional
// trailing "Z" (always UTC), and "now"/"today".
//
// Thread-safety: pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace calyra::cli {

struct CivilDate {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

CivilDate ToCivil(DATE date);
DATE FromCivil(const CivilDate& civil);

// "2026-12-06T09:30:00Z".
std::string FormatIsoDate(DATE date);
// "2026-12-06".
std::string FormatIsoDay(DATE date);
// Throws ClientError (status 2) naming the text when it is not a date.
DATE ParseIsoDate(std::string_view text);
// As ParseIsoDate, but std::nullopt instead of throwing.
std::optional<DATE> TryParseIsoDate(std::string_view text);

// Day of the week of a date, 0 = Sunday.
int DayOfWeek(DATE date);

}  // namespace calyra::cli
