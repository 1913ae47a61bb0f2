// Small conversions the import and export glue shares: UTC seconds and
// automation dates, the dates a calendar record may hold, all-day ends, and
// texts cut to what a record field gives back whole.
//
// Thread-safety: pure functions.
#pragma once

#include <string>

#include "interchange/calendar_item.h"
#include "platform/types.h"

namespace calyra::cli {

DATE DateOfUtc(interchange::UtcSeconds seconds);
interchange::UtcSeconds UtcOfDate(DATE date);

// "" when `date` lies where both the component (years 100 to 9999) and
// iCalendar (four-digit years) can hold it, else why not. An all-day item
// also needs the day after its last day (its iCalendar DTEND) to fit.
std::string DateRangeProblem(DATE date, bool allDayEnd = false);

// All-day items: the record keeps the last second of the last day (so the
// closed ranges of the range lists do not reach into the next day), the
// file the exclusive next day. An end at a midnight counts as the end of
// the day before, as the month grid reads it.
interchange::UtcSeconds ExclusiveAllDayEnd(DATE start, DATE end);
DATE InclusiveAllDayEnd(interchange::UtcSeconds start, interchange::UtcSeconds exclusiveEnd);

// `text` cut to the longest prefix that a record field gives back whole
// (kMaxTextUnits UTF-16 units), never inside a character. `cut` says
// whether anything was dropped.
std::string FitText(const std::string& text, bool* cut);

}  // namespace calyra::cli
