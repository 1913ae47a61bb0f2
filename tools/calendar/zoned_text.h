// Moments as people read and type them in their own zone: stored moments
// are UTC, the client shows them as wall time in the user's zone in the
// chosen date style, and reads what people type (date_phrase.h) as wall
// time in that zone. Scripts get ISO 8601 with the explicit offset.
//
// Texts are returned by value. Thread-safety: as time_zone.h (one thread).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "calendar/date_phrase.h"
#include "calendar/time_zone.h"

namespace calyra::calendar {

// std::nullopt for a name other than "iso", "dmy" and "mdy".
std::optional<DateStyle> DateStyleNamed(std::string_view name);

// The day of a UTC moment in `zone`, in `style`: "2027-03-05".
std::string FormatLocalDay(Date utc, const TimeZone& zone, DateStyle style);
// The wall time of a UTC moment in `zone`: "2027-03-05 09:30" (":15"
// seconds only when not zero).
std::string FormatLocal(Date utc, const TimeZone& zone, DateStyle style);
// ISO 8601 with the zone's offset at that moment: "2027-03-05T09:30:00+01:00".
std::string FormatIsoOffset(Date utc, const TimeZone& zone);

// What a person typed, read in `zone` around the UTC moment `now`: the UTC
// moment it names (texts that name UTC or an offset themselves are taken
// as they are), days with slashes in `style`. std::nullopt with *problem
// set when it cannot be read.
std::optional<ParsedWhen> ReadMoment(std::string_view text, const TimeZone& zone, Date now, std::string* problem,
                                     DateStyle style = DateStyle::Iso);

}  // namespace calyra::calendar
