// Dates as the commands read and show them. ParseIsoDate reads the
// calendar library's ISO forms (calendar/iso_date.h) in UTC, for the
// commands that deal in stored moments. UserTime is the user's side of the
// calendar commands: the zone, date style and first day of the week the
// settings name, what people type read as wall time in that zone, and UTC
// moments shown as wall time there. A text that cannot be read is reported
// the way every command reports a bad argument (ClientError, status 2),
// with an example of a form that works.
//
// The user's zone is the time_zone setting (--tz, else the config file,
// else $TZ), else the zone the system is set to (/etc/localtime), else UTC.
//
// UserTime is a small value; texts are returned by value.
// Thread-safety: one thread (the zone database is not thread-safe).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "calendar/iso_date.h"
#include "calendar/zoned_text.h"
#include "output/output.h"
#include "platform/types.h"

namespace calyra::cli {

using calendar::CivilDate;
using calendar::FormatIsoDate;
using calendar::FormatIsoDay;
using calendar::FromCivil;
using calendar::ToCivil;
using calendar::TryParseIsoDate;

class Settings;

// Throws ClientError (status 2) naming the text when it is not a date.
DATE ParseIsoDate(std::string_view text);

class UserTime {
public:
    explicit UserTime(const Settings& settings);
    UserTime(calendar::TimeZone zone, calendar::DateStyle style, int weekStart);

    const calendar::TimeZone& zone() const { return m_zone; }
    calendar::DateStyle style() const { return m_style; }
    int weekStart() const { return m_weekStart; }  // 1 Monday, 0 Sunday
    DATE now() const { return m_now; }             // UTC
    // Today's day number (calendar/days.h) on the user's wall clock.
    long long today() const;
    // The day number of the week start on or before `day`.
    long long weekOf(long long day) const;

    // What `option` was given, read in the user's zone and date style: the
    // UTC moment (or, with `wall`, the wall time), whether a time was typed
    // (a bare day is the whole day to the calendar commands). Throws
    // ClientError (status 2) "--start: cannot read ... (e.g. ...)".
    calendar::ParsedWhen read(std::string_view text, const std::string& option, bool wall = false) const;
    // The wall-clock stretch `--from` and `--to` give (an empty text: that
    // end open); a bare --to day reaches to its last second. Throws as read,
    // and "--from is after --to" (status 2).
    struct WallRange {
        std::optional<DATE> from, to;
    };
    WallRange readRange(const std::string& from, const std::string& to) const;
    // Seconds of a duration ("1h30m"); throws as read.
    long long duration(std::string_view text, const std::string& option) const;

    // Wall time of a UTC moment ("2027-03-05 14:00") in the date style.
    std::string show(DATE utc) const;
    // The day of a wall-clock day number in the date style, with its
    // weekday: "Fri 2027-03-05" (without: "2027-03-05").
    std::string showDay(long long day, bool weekday = true) const;
    // "Fri 2027-03-05 14:00–15:00 Europe/Berlin"; all-day: "Fri 2027-03-05
    // (all day)" or "Fri 2027-03-05 – Sun 2027-03-07 (all day)", read as
    // stored (all-day days are the same everywhere).
    std::string showSpan(DATE start, DATE end, bool allDay) const;
    // Sets out[key] to ISO 8601 with the user's offset and out[key + "_utc"]
    // to the UTC moment; all-day events' days are plain days.
    void putMoment(Json* out, const std::string& key, DATE utc, bool allDay = false) const;

private:
    calendar::TimeZone m_zone;
    calendar::DateStyle m_style;
    int m_weekStart;
    DATE m_now;
};

}  // namespace calyra::cli
