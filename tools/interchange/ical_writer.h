// Writes CalendarItems as an iCalendar file (RFC 5545) through libical, so
// that libical and the programs people use read it back: times in UTC, or
// as wall times with a TZID for items that keep a zone (with one VTIMEZONE
// per zone, its changes from the earliest time written on), all-day items
// as DATE values, the alarm as a VALARM, the recurrence rule
// as an RRULE, replaced occurrences as entries with RECURRENCE-ID. An item
// that keeps the text it was read from (CalendarItem::original) is that
// text with the item's fields laid over it: every property the fields
// write comes from them, every other property and component (ATTENDEE,
// X- properties, alarms after the first) as it came.
//
// Thread-safety: not safe to call from several threads at once (libical).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "interchange/calendar_item.h"

namespace calyra::interchange {

// `stamp` is the DTSTAMP written on every entry (the time of the export).
std::string WriteICalendar(const std::vector<CalendarItem>& items, UtcSeconds stamp,
                           std::string_view productId = "-//Calyra//calyra client//EN");

}  // namespace calyra::interchange
