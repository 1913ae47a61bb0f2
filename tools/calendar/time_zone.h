// Time zones as the client meets them: a zone named by its IANA name
// ("Europe/Berlin"), the stable number an event records for it in its
// ulTimeZone field, and the conversions between UTC moments (what the
// component stores) and wall-clock times in the zone, daylight saving
// included.
//
// The numbers come from zone_numbers.txt: one name a line, numbered from 1,
// append-only, so a number written into someone's file names the same zone
// in every later version. 0 means no zone recorded: such an event's times
// are plain UTC.
//
// Wall-clock times are Date values too (days.h), read as the zone's local
// time instead of UTC. A wall time that falls into a clock change's gap is
// read with the offset before the change (02:30 on a spring-forward night
// becomes 03:30), one that falls into the repeated hour is its first
// occurrence: the readings RFC 5545 gives for DTSTART with TZID.
//
// Ownership: a TimeZone is a small value that refers to the zone database
// (libical's, read from the system's zoneinfo), which lives for the process;
// zones made from POSIX rules are kept, one per rule, for the process too.
// Thread-safety: one thread; the zone database's cache is not thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calendar/days.h"

struct _icaltimezone;

namespace calyra::calendar {

class TimeZone {
public:
    // The zone of an IANA name (case-insensitive; "UTC", "Z" and "GMT" are
    // UTC), or of a POSIX TZ rule such as "CET-1CEST,M3.5.0,M10.5.0/3"
    // (ReadPosixRule); std::nullopt when it is neither.
    static std::optional<TimeZone> Find(std::string_view name);
    // The zone a POSIX TZ rule describes: a standard name and offset
    // (hours west of UTC, "EST5", "<+0530>-5:30"), optionally a daylight
    // name, offset (default one hour ahead) and the changes as
    // ",Mm.w.d[/time],Mm.w.d[/time]" (default time 02:00). Such a zone has
    // no recorded number. std::nullopt with *problem set for text that is
    // not such a rule or uses a form the zone cannot carry (the Jn and n
    // day forms, a change time outside 00:00 to 24:00).
    static std::optional<TimeZone> FromPosixRule(std::string_view rule, std::string* problem = nullptr);
    // The zone a recorded number names; std::nullopt for 0 and for numbers
    // this version does not know.
    static std::optional<TimeZone> FromNumber(std::uint32_t number);
    static TimeZone Utc();

    // "Europe/Berlin": the name as the zone database spells it.
    const std::string& name() const { return m_name; }
    // The recorded number; 0 for a zone the numbering has no line for.
    std::uint32_t number() const { return m_number; }
    bool isUtc() const;

    // Seconds east of UTC at a UTC moment (3600 in a Berlin winter).
    int offsetAt(Date utc) const;
    Date toLocal(Date utc) const;
    Date toUtc(Date local) const;
    // "CET", "CEST", "+0530": the zone's abbreviation at a UTC moment, else
    // the offset.
    std::string abbreviation(Date utc) const;

    bool operator==(const TimeZone& other) const { return m_name == other.m_name; }

private:
    TimeZone(_icaltimezone* zone, std::string name, std::uint32_t number)
        : m_zone(zone), m_name(std::move(name)), m_number(number) {}

    _icaltimezone* m_zone;
    std::string m_name;
    std::uint32_t m_number;
};

// The user's zone when nothing overrides it: $TZ (a zone name, optionally
// after ':', or a POSIX rule), else the zone /etc/localtime points at, else
// /etc/timezone, else UTC.
TimeZone SystemZone();
// Why $TZ cannot be the user's zone ("$TZ is "Foo/Bar": ..."), or empty
// when it is unset or usable: SystemZone falls back to the system's zone
// for it, which the caller should not do silently.
std::string SystemZoneProblem();

// Every numbered zone name, in number order (index 0 is number 1).
const std::vector<std::string>& NumberedZoneNames();

// "+01:00", "-04:00", "+05:30" for an offset in seconds.
std::string FormatOffset(int seconds);

}  // namespace calyra::calendar
