// Which times an event takes place in a stretch of time: a single event
// once, a recurring event on every day its rule names (read as
// recurrence_wording.h describes), with its exceptions in place of the
// occurrences they replace.
//
// An exception replaces the occurrence whose day is the day of its
// original start time; a cancelled exception (status "canceled") removes
// that occurrence and is not shown itself. Other exceptions appear at their
// own times, also when the occurrence they replace lay outside the
// stretch. Replaced occurrences still count towards the rule's number of
// occurrences.
//
// Plain values in and out; nothing here touches the component.
// Thread-safety: pure functions.
#pragma once

#include <string>
#include <vector>

#include "calendar/recurrence_rule.h"

namespace calyra::calendar {

class TimeZone;

// An event row as the expansion needs it.
struct CalendarEvent {
    std::string id;
    std::string subject;
    Date start = 0;
    Date end = 0;
    bool allDay = false;
    bool canceled = false;   // the row's status is "canceled"
    RecurrenceRule rule;     // Frequency::None: a single event
    Date originalStart = 0;  // exceptions: the occurrence they replace
    // A rule the record cannot hold, as RFC 5545 RRULE text, and extra
    // starts (RDATE): when either is set they decide the series instead of
    // `rule` (exact_rule.h), and an exception replaces the occurrence that
    // starts exactly at its original start.
    std::string exactRule;
    std::vector<Date> extraStarts;
};

// One time an event takes place.
struct Occurrence {
    std::string eventId;  // the master's ID, or the exception's own
    std::string subject;
    Date start = 0;
    Date end = 0;
    bool allDay = false;
    bool exception = false;
    // A contact's birthday or anniversary shown among the events: the
    // contact's ID (eventId is then empty).
    std::string contactId;

    bool operator==(const Occurrence&) const = default;
};

// The occurrences of `event` (and of its `exceptions`) that overlap the
// closed stretch [from, to], in order of start. An occurrence overlaps when
// it starts at or before `to` and ends at or after `from`. `wallZone`: the
// times are that zone's wall-clock times (an exact rule's UTC UNTIL is read
// there).
std::vector<Occurrence> ExpandEvent(const CalendarEvent& event, const std::vector<CalendarEvent>& exceptions, Date from,
                                    Date to, const TimeZone* wallZone = nullptr);

}  // namespace calyra::calendar
