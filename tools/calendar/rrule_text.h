// RFC 5545 recurrence rules (RRULE text) and RecurrenceRule, in both
// directions: for calendar import and export, and for the views, which ask
// whether a stored series still follows the exact rule kept beside it.
//
// Reading gives what the record can carry: daily (also on some weekdays),
// weekly on days, monthly on a day or on the nth (or last) weekday, yearly
// on a day of a month or the nth weekday of a month, with an interval and
// an end by count or date. For any other rule libical can lay out (hourly
// rules, several days of the month, the 31st that skips short months,
// BYYEARDAY, BYWEEKNO ...) it gives the nearest series the record can
// carry, which other programs reading the file show, and says why it is
// only the nearest: the caller keeps the exact text beside the record and
// lays the series out from that (calendar/exact_rule.h). Only a rule
// libical cannot read is refused.
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

namespace calyra::calendar {

struct RruleReading {
    RecurrenceRule rule;  // valid when problem is empty
    std::string problem;  // why no rule can be stored
    // Why `rule` is only the nearest series to the text ("several days of
    // the month are not kept"); empty when it is the rule itself.
    std::string inexact;
};

// `start` is the event's (task's) start; the series begins on its day (in
// `zone` when one is given).
RruleReading ReadRrule(const std::string& text, Date start, const TimeZone* zone = nullptr);

// Whether `text` is still what a stored rule means: the stored rule is the
// one ReadRrule gives for it (a series changed since, in Calyra or by
// another program, no longer follows the kept text).
bool RruleStillStored(const std::string& text, Date start, const RecurrenceRule& stored,
                      const TimeZone* zone = nullptr);

// The RRULE text of a stored rule ("" for Frequency::None). `start` is the
// event's start: UNTIL is written as that time of day on the last day (in
// `zone` when one is given), or as a Date for all-day items.
std::string WriteRrule(const RecurrenceRule& rule, Date start, bool allDay, const TimeZone* zone = nullptr);

}  // namespace calyra::calendar
