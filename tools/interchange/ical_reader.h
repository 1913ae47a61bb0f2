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
// has no place for are counted by name. The encoding is decided for each
// unfolded line (UTF-8, else Windows-1252). A line over 256 KiB never
// reaches libical (which reads long lines in quadratic time): a longer
// SUMMARY, DESCRIPTION, LOCATION or COMMENT is cut to 256 KiB, any other
// such property left out, both reported with the line; an entry over
// 16 MiB is left out.
//
// Thread-safety: not safe to call from several threads at once (libical
// keeps its zone cache and error state in globals).
#pragma once

#include <cstddef>
#include <functional>
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

// The same file read a few items at a time, so an import holds one batch
// of items instead of the whole file's: `visit` is called in file order
// with each batch of at most `itemsPerBatch` items, the diagnostics (with
// their lines in the file) and counts met since the batch before, and the
// number of bytes of `bytes` read so far; the last batch, which may hold no
// items, carries what the end of the file brought. The batches together are exactly
// what ParseICalendar gives. A first pass over the file reads its
// VTIMEZONEs (every entry may name any of them), so `bytes` must stay valid
// until the call returns; a UTF-16 file is converted whole first.
//
// Ownership: each batch is the callback's to keep or drop. Thread-safety:
// as ParseICalendar; the callback runs on the calling thread.
void ReadICalendarBatches(std::string_view bytes, size_t itemsPerBatch,
                          const std::function<void(ICalParseResult& batch, size_t bytesRead)>& visit,
                          const ICalReadOptions& options = {});

// Whether the system's zone database knows `name` ("Europe/Berlin", "UTC").
bool KnownTimeZone(const std::string& name);

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(int year, int month, int day);

}  // namespace calyra::interchange
