#include "calendar/zoned_text.h"

#include <fmt/format.h>

#include "calendar/iso_date.h"

namespace calyra::calendar {

std::optional<DateStyle> DateStyleNamed(std::string_view name) {
    if (name == "iso") return DateStyle::Iso;
    if (name == "dmy") return DateStyle::Dmy;
    if (name == "mdy") return DateStyle::Mdy;
    return std::nullopt;
}

std::string FormatLocalDay(Date utc, const TimeZone& zone, DateStyle style) {
    const CivilDate c = ToCivil(zone.toLocal(utc));
    switch (style) {
        case DateStyle::Dmy:
            return fmt::format("{:02}.{:02}.{:04}", c.day, c.month, c.year);
        case DateStyle::Mdy:
            return fmt::format("{:02}/{:02}/{:04}", c.month, c.day, c.year);
        case DateStyle::Iso:
            break;
    }
    return fmt::format("{:04}-{:02}-{:02}", c.year, c.month, c.day);
}

std::string FormatLocal(Date utc, const TimeZone& zone, DateStyle style) {
    const CivilDate c = ToCivil(zone.toLocal(utc));
    std::string out = FormatLocalDay(utc, zone, style) + fmt::format(" {:02}:{:02}", c.hour, c.minute);
    if (c.second != 0) out += fmt::format(":{:02}", c.second);
    return out;
}

std::string FormatIsoOffset(Date utc, const TimeZone& zone) {
    const CivilDate c = ToCivil(zone.toLocal(utc));
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}{}", c.year, c.month, c.day, c.hour, c.minute, c.second,
                       FormatOffset(zone.offsetAt(utc)));
}

std::optional<ParsedWhen> ReadMoment(std::string_view text, const TimeZone& zone, Date now, std::string* problem,
                                     DateStyle style) {
    auto when = ParseWhen(text, zone.toLocal(now), problem, style);
    if (!when) return std::nullopt;
    if (!when->utc) {
        when->date = zone.toUtc(when->date);
        when->utc = true;
    }
    return when;
}

}  // namespace calyra::calendar
