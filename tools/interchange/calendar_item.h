// An event or a to-do as iCalendar files carry it, in the shape the calyra
// client needs. Every time is UTC (seconds since 1970-01-01T00:00:00Z): the
// reader converts local times through the file's time zones; all-day items
// keep their dates as UTC midnights and say so with allDay.
//
// The recurrence rule stays RFC 5545 text ("FREQ=WEEKLY;BYDAY=MO,WE;COUNT=10")
// with any UNTIL in UTC; interpreting it is the caller's business. An item
// with recurrenceId replaces one occurrence of the item with the same uid.
// Each item keeps the text it was read from (`original`).
//
// Ownership: plain values. Thread-safety: as a plain value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace calyra::interchange {

using UtcSeconds = std::int64_t;

enum class ItemKind { Event, Todo };

struct CalendarItem {
    ItemKind kind = ItemKind::Event;
    size_t line = 0;  // where BEGIN:VEVENT / BEGIN:VTODO stood; 0 if made in memory

    std::string uid;
    std::string summary, description, location;

    std::optional<UtcSeconds> start;  // DTSTART
    std::optional<UtcSeconds> end;    // events: DTEND, or DTSTART + DURATION
    std::optional<UtcSeconds> due;    // to-dos: DUE, or DTSTART + DURATION
    bool allDay = false;              // DTSTART is a DATE; end/due are exclusive midnights
    // "Europe/Berlin": the zone DTSTART's TZID names; empty for UTC, floating
    // and all-day starts, and for zones known by no IANA name.
    std::string timeZone;

    std::string status;          // upper case as written: "CONFIRMED", "NEEDS-ACTION" ...
    int priority = 0;            // 0 undefined, 1 highest .. 9 lowest
    std::string classification;  // "PUBLIC", "PRIVATE", "CONFIDENTIAL" or empty
    // "FREE", "TENTATIVE", "BUSY", "OOF", or empty; from TRANSP and the
    // busy status that Outlook-made files add.
    std::string busyStatus;
    std::vector<std::string> categories;

    // First alarm, minutes before the start (negative: after), or before
    // the end (DTEND, DUE) when alarmFromEnd (TRIGGER;RELATED=END).
    std::optional<int> alarmMinutes;
    bool alarmFromEnd = false;

    std::string rrule;                       // RFC 5545 RRULE value, UNTIL in UTC
    std::optional<UtcSeconds> recurrenceId;  // RECURRENCE-ID: the occurrence this item replaces
    std::vector<UtcSeconds> exdates;         // EXDATE values
    std::vector<UtcSeconds> rdates;          // RDATE values (a period by its start)

    std::optional<UtcSeconds> completed;  // to-dos: COMPLETED
    std::optional<int> percentComplete;   // to-dos: PERCENT-COMPLETE

    // The entry as it was read (its VEVENT or VTODO as libical writes it),
    // so what the fields above have no place for (X- properties, ATTENDEE,
    // further alarms, ...) can travel on; empty for items made in memory.
    // The writer lays the fields over it: what they say wins.
    std::string original;

    bool operator==(const CalendarItem&) const = default;
};

}  // namespace calyra::interchange
