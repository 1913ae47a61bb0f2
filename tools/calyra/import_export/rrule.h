// RFC 5545 recurrence rules (RRULE text) and the calendar library's RecurrenceRule,
// in both directions, for calendar import and export.
//
// Reading accepts what the record can carry: daily (also on some
// weekdays), weekly on days, monthly on a day or on the nth (or last)
// weekday, yearly on a day of a month or the nth weekday of a month, with
// an interval and an end by count or date. Everything else (hourly rules,
// several positions, BYYEARDAY, BYWEEKNO ...) is refused with the reason,
// so the import can report it instead of storing a different rule.
//
// Dates follow recurrence_rule.h: the series start and the end are days.
// An UNTIL in UTC names the day of the last occurrence's start. For an
// event kept in a zone the days are the zone's: the rule's start and end
// are stored as the UTC moments of those days' noon there (zoned_occurrences.h
// reads them in the zone), and UNTIL is the last occurrence's start in UTC,
// as RFC 5545 asks when DTSTART has a TZID.
//
// Thread-safety: pure functions (libical's rule parser keeps no state
// between calls).
#pragma once

#include <string>

#include "calendar/recurrence_rule.h"
#include "calendar/time_zone.h"
#include "platform/types.h"

namespace calyra::cli {

struct RruleReading {
    calendar::RecurrenceRule rule;  // valid when problem is empty
    std::string problem;            // why the record cannot carry the rule
};

// `start` is the event's (task's) start; the series begins on its day (in
// `zone` when one is given).
RruleReading ReadRrule(const std::string& text, DATE start, const calendar::TimeZone* zone = nullptr);

// The RRULE text of a stored rule ("" for Frequency::None). `start` is the
// event's start: UNTIL is written as that time of day on the last day (in
// `zone` when one is given), or as a DATE for all-day items.
std::string WriteRrule(const calendar::RecurrenceRule& rule, DATE start, bool allDay,
                       const calendar::TimeZone* zone = nullptr);

}  // namespace calyra::cli
