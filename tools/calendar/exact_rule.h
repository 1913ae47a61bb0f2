// Series whose rule the recurrence record cannot hold (several days of the
// month, "the 31st" that skips short months, hourly rules, extra dates):
// their starts are laid out from the rule's own RFC 5545 text by libical's
// rule iterator instead of by the record's patterns, so every view shows
// the days the source named and no others.
//
// Times are Date values in one frame, chosen by the caller: UTC, or a
// zone's wall-clock time (then an UNTIL written in UTC is read in that zone
// first, see ExactStarts). All-day series are laid out as days.
//
// Plain values in and out. Thread-safety: one thread (libical's rule parser
// reports through a global error state).
#pragma once

#include <string>
#include <vector>

#include "calendar/days.h"

namespace calyra::calendar {

class TimeZone;

// "" when libical reads `rrule` (the value of an RRULE, "FREQ=...") as a
// rule it can lay out, else why not.
std::string ExactRuleProblem(const std::string& rrule);

// The starts of the series that begins at `start` with the rule `rrule`
// ("" for none: only `start` and `extraStarts`) and the additional starts
// `extraStarts` (RDATE), in order and without repeats, from `from` to `to`
// (closed). A start before `from` whose occurrence of `length` seconds
// still reaches `from` is included. `inZone`: the frame is that zone's wall
// time, so an UNTIL in UTC is converted to it. Gives up (returns what it
// found) after `limit` starts: a rule cannot make a view run for ever.
// The series an entry's text names: the value of its first RRULE and the
// starts of its RDATEs, in UTC (a DATE value as its midnight, a time with a
// TZID the zone database does not know as UTC). `entries` holds one or more
// VEVENT or VTODO texts; the first one without RECURRENCE-ID counts.
struct EntrySeries {
    std::string rrule;
    std::vector<Date> rdates;
};
EntrySeries SeriesOfEntry(const std::string& entries);

std::vector<Date> ExactStarts(const std::string& rrule, const std::vector<Date>& extraStarts, Date start, bool allDay,
                              long long length, Date from, Date to, const TimeZone* inZone = nullptr,
                              size_t limit = 100000);

}  // namespace calyra::calendar
