// Reads iCalendar files (RFC 5545) into CalendarItems: VEVENT and VTODO
// with their times converted to UTC through the file's VTIMEZONE
// definitions or the system's zone database (daylight saving included),
// the first VALARM as minutes before the start, the recurrence rule as
// text, RECURRENCE-ID and EXDATE values.
//
// A TZID names its zone by the IANA name, by that name after a prefix, or
// by a common Windows name ("W. Europe Standard Time"); the item keeps the
// IANA name. The file's VTIMEZONE of that TZID, when there is one, gives
// the offsets. A TZID the file defines but no name matches is reported
// once and its times converted through the definition; one that nothing
// defines is reported with each entry and its times read as UTC.
//
// The file is cut into entries first, so each entry is parsed on its own:
// an entry with a broken line or no END is skipped with its line number
// and does not take its neighbours with it. Properties that CalendarItem
// has no place for are counted by name.
//
// Thread-safety: not safe to call from several threads at once (libical
// keeps its zone cache and error state in globals).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "interchange/calendar_item.h"
#include "interchange/parse_report.h"

namespace calyra::interchange {

struct ICalParseResult {
    std::vector<CalendarItem> items;
    ParseReport report;
};

struct ICalReadOptions {
    // Olson name of the zone for local times without a zone ("floating")
    // when the calendar names none (X-WR-TIMEZONE); empty: UTC.
    std::string floatingZone;
};

ICalParseResult ParseICalendar(std::string_view bytes, const ICalReadOptions& options = {});

// Whether the system's zone database knows `name` ("Europe/Berlin", "UTC").
bool KnownTimeZone(const std::string& name);

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(int year, int month, int day);

}  // namespace calyra::interchange
