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
// ICalendarWriter writes an export of any size entry by entry: each entry's
// text is made as it is added and kept aside (in memory up to about a
// MiB, then in a temporary file that goes with the writer), since the
// VTIMEZONE blocks, which must come first, are known only once every entry
// has been seen. Memory is bounded by that buffer, not by the export.
//
// Ownership: the writer owns its buffer and temporary file, and removes the
// file when it goes (on POSIX systems it has no name to begin with).
// Thread-safety: not safe to call from several threads at once (libical).
#pragma once

#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "interchange/calendar_item.h"

namespace calyra::interchange {

inline constexpr std::string_view kCalyraProductId = "-//Calyra//calyra client//EN";

class ICalendarWriter {
public:
    // `stamp` is the DTSTAMP written on every entry (the time of the export).
    explicit ICalendarWriter(UtcSeconds stamp, std::string_view productId = kCalyraProductId);
    ~ICalendarWriter();
    ICalendarWriter(const ICalendarWriter&) = delete;
    ICalendarWriter& operator=(const ICalendarWriter&) = delete;

    // Makes the entry of `item`. Throws std::runtime_error when the
    // temporary file cannot be made or written.
    void add(const CalendarItem& item);
    // Writes the whole file to `out`: the calendar's header, one VTIMEZONE
    // per zone the entries name (from its earliest time written), the
    // entries in the order they were added, the end. Call it once. Throws
    // std::runtime_error when the temporary file cannot be read back.
    void finish(std::ostream& out);

private:
    void spill();

    UtcSeconds m_stamp;
    std::string m_productId;
    std::map<std::string, UtcSeconds> m_zones;  // TZID -> earliest time written in it
    std::string m_spool;
    std::FILE* m_file = nullptr;
};

// `stamp` is the DTSTAMP written on every entry (the time of the export).
std::string WriteICalendar(const std::vector<CalendarItem>& items, UtcSeconds stamp,
                           std::string_view productId = kCalyraProductId);

}  // namespace calyra::interchange
