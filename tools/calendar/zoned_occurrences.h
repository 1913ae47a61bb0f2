// The occurrences of an event that keeps its time zone: the series is laid
// out in the zone's wall-clock time and each occurrence turned back into a
// UTC moment, so a 09:00 Berlin meeting stays at 09:00 Berlin on both sides
// of a clock change (08:00Z in winter, 07:00Z in summer). The length of an
// occurrence is the master's length in real time.
//
// All-day events are floating: their days are the same everywhere, so they
// are expanded as they are stored.
//
// Plain values in and out. Thread-safety: as time_zone.h (one thread).
#pragma once

#include <vector>

#include "calendar/occurrences.h"
#include "calendar/time_zone.h"

namespace calyra::calendar {

// As ExpandEvent (occurrences.h), with the event's times, its exceptions'
// and its rule's days read in `zone`; `from`, `to` and the occurrences
// returned are UTC.
std::vector<Occurrence> ExpandEventInZone(const CalendarEvent& event, const std::vector<CalendarEvent>& exceptions,
                                          Date from, Date to, const TimeZone& zone);

}  // namespace calyra::calendar
