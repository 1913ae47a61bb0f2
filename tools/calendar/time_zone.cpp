#include "calendar/time_zone.h"

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include <fmt/format.h>

namespace calyra::calendar {
namespace {

// Seconds from 1899-12-30 (the Date epoch) to 1970-01-01.
constexpr long long kUnixEpoch = 25569 * kSecondsPerDay;

const std::vector<std::string> kNumberedNames = {
#include "zone_numbers.inc"
};

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::uint32_t NumberOf(std::string_view name) {
    const auto it = std::find(kNumberedNames.begin(), kNumberedNames.end(), name);
    return it == kNumberedNames.end() ? 0 : static_cast<std::uint32_t>(it - kNumberedNames.begin() + 1);
}

icaltimetype UtcTime(Date utc) {
    return icaltime_from_timet_with_zone(static_cast<time_t>(DateToSeconds(utc) - kUnixEpoch), 0,
                                         icaltimezone_get_utc_timezone());
}

// The wall time a UTC moment shows in `zone`, as plain seconds.
long long WallSeconds(icaltimezone* zone, long long utcSeconds) {
    icaltimetype t = icaltime_from_timet_with_zone(static_cast<time_t>(utcSeconds - kUnixEpoch), 0, zone);
    return DayFromCivil(t.year, t.month, t.day) * kSecondsPerDay + t.hour * 3600LL + t.minute * 60LL + t.second;
}

int OffsetAtSeconds(icaltimezone* zone, long long utcSeconds) {
    return static_cast<int>(WallSeconds(zone, utcSeconds) - utcSeconds);
}

// The zone name the system is set to, or empty.
std::string SystemZoneName() {
    if (const char* tz = std::getenv("TZ"); tz && *tz) return tz[0] == ':' ? tz + 1 : tz;
    std::error_code ec;
    const auto target = std::filesystem::read_symlink("/etc/localtime", ec);
    if (!ec) {
        const std::string text = target.string();
        if (const auto at = text.find("zoneinfo/"); at != std::string::npos) return text.substr(at + 9);
    }
    std::ifstream file("/etc/timezone");
    std::string name;
    std::getline(file, name);
    return name;
}

// POSIX TZ rules. Each reader moves `pos` past what it read.

// "CET", or "<+0530>" quoted: at least three characters.
std::optional<std::string> PosixName(std::string_view text, size_t& pos) {
    if (pos < text.size() && text[pos] == '<') {
        const size_t end = text.find('>', pos);
        if (end == std::string_view::npos || end - pos - 1 < 3) return std::nullopt;
        std::string name(text.substr(pos + 1, end - pos - 1));
        pos = end + 1;
        return name;
    }
    const size_t start = pos;
    while (pos < text.size() && std::isalpha(static_cast<unsigned char>(text[pos]))) ++pos;
    if (pos - start < 3) return std::nullopt;
    return std::string(text.substr(start, pos - start));
}

// "[+-]hh[:mm[:ss]]" as signed seconds, hours up to `maxHours`.
std::optional<int> PosixTime(std::string_view text, size_t& pos, int maxHours) {
    int sign = 1;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) sign = text[pos++] == '-' ? -1 : 1;
    int parts[3] = {0, 0, 0};
    for (int part = 0; part < 3; ++part) {
        if (part > 0 && (pos >= text.size() || text[pos] != ':')) break;
        if (part > 0) ++pos;
        const size_t start = pos;
        int value = 0;
        while (pos < text.size() && pos - start < 3 && std::isdigit(static_cast<unsigned char>(text[pos])))
            value = value * 10 + (text[pos++] - '0');
        if (pos == start || (part > 0 && pos - start != 2)) return std::nullopt;
        parts[part] = value;
    }
    if (parts[0] > maxHours || parts[1] > 59 || parts[2] > 59) return std::nullopt;
    return sign * (parts[0] * 3600 + parts[1] * 60 + parts[2]);
}

// A change: "Mm.w.d[/time]", the time of day local before the change.
struct PosixChange {
    int month = 0, week = 0, weekday = 0;
    int seconds = 2 * 3600;
};

std::optional<PosixChange> ReadPosixChange(std::string_view text, size_t& pos, std::string* why) {
    PosixChange change;
    if (pos >= text.size() || text[pos] != 'M') {
        *why = "calyra reads the day of a change only as Mm.w.d (e.g. M3.5.0), not as Jn or n";
        return std::nullopt;
    }
    ++pos;
    int* fields[] = {&change.month, &change.week, &change.weekday};
    for (int i = 0; i < 3; ++i) {
        if (i > 0 && (pos >= text.size() || text[pos++] != '.')) return std::nullopt;
        const size_t start = pos;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && pos - start < 2)
            *fields[i] = *fields[i] * 10 + (text[pos++] - '0');
        if (pos == start) return std::nullopt;
    }
    if (change.month < 1 || change.month > 12 || change.week < 1 || change.week > 5 || change.weekday > 6)
        return std::nullopt;
    if (pos < text.size() && text[pos] == '/') {
        ++pos;
        const auto time = PosixTime(text, pos, 167);
        if (!time) return std::nullopt;
        if (*time < 0 || *time >= 24 * 3600) {
            *why = "a change at a time outside 00:00 to 23:59:59 cannot be kept";
            return std::nullopt;
        }
        change.seconds = *time;
    }
    return change;
}

// "+0100", "-0530", "+013045" for seconds east of UTC.
std::string IcalOffset(int seconds) {
    const char sign = seconds < 0 ? '-' : '+';
    const int m = seconds < 0 ? -seconds : seconds;
    std::string out = fmt::format("{}{:02}{:02}", sign, m / 3600, m / 60 % 60);
    if (m % 60) out += fmt::format("{:02}", m % 60);
    return out;
}

// One observance of a VTIMEZONE: from `from` to `to` seconds east, by the
// yearly rule of `change` (none: in force since 1970).
std::string Observance(const char* kind, const std::string& name, int from, int to, const PosixChange* change) {
    static constexpr const char* kDays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
    std::string text = fmt::format("BEGIN:{}\r\n", kind);
    if (change) {
        // The change's day in 1970, where the rule's first instance is.
        const long long first = DayFromCivil(1970, change->month, 1);
        int day = 1 + (change->weekday - WeekdayOfDay(first) + 7) % 7 + (change->week - 1) * 7;
        while (day > DaysInMonth(1970, change->month)) day -= 7;
        text += fmt::format("DTSTART:1970{:02}{:02}T{:02}{:02}{:02}\r\n", change->month, day, change->seconds / 3600,
                            change->seconds / 60 % 60, change->seconds % 60);
        text += fmt::format("RRULE:FREQ=YEARLY;BYMONTH={};BYDAY={}{}\r\n", change->month,
                            change->week == 5 ? -1 : change->week, kDays[change->weekday]);
    } else {
        text += "DTSTART:19700101T000000\r\n";
    }
    text += fmt::format("TZOFFSETFROM:{}\r\nTZOFFSETTO:{}\r\nTZNAME:{}\r\nEND:{}\r\n", IcalOffset(from), IcalOffset(to),
                        name, kind);
    return text;
}

}  // namespace

std::optional<TimeZone> TimeZone::FromPosixRule(std::string_view rule, std::string* problem) {
    const auto fail = [&](std::string why) -> std::optional<TimeZone> {
        if (!problem) return std::nullopt;
        // Built piece by piece: g++ 12 at -O3 warns (wrongly) about
        // overlapping copies in "literal" + std::string and in assign().
        std::string text(1, '"');
        text.append(rule).append("\" is not a POSIX TZ rule calyra reads (").append(why);
        text.append("; e.g. \"CET-1CEST,M3.5.0,M10.5.0/3\")");
        *problem = std::move(text);
        return std::nullopt;
    };
    // The zones made from rules live as long as the builtin ones: the map is
    // never destroyed, so a zone handed out stays valid until the process
    // ends (and stays reachable for the leak checker).
    static auto& made = *new std::map<std::string, icaltimezone*, std::less<>>;
    if (auto it = made.find(rule); it != made.end()) return TimeZone(it->second, it->first, 0);

    size_t pos = 0;
    const auto standardName = PosixName(rule, pos);
    if (!standardName) return fail("it starts with no zone abbreviation of three letters or more");
    const auto standardWest = PosixTime(rule, pos, 24);
    if (!standardWest) return fail("the abbreviation is followed by no offset in hours");
    const int standard = -*standardWest;
    std::string vtimezone = "BEGIN:VCALENDAR\r\nBEGIN:VTIMEZONE\r\nTZID:" + std::string(rule) + "\r\n";
    if (pos == rule.size()) {
        vtimezone += Observance("STANDARD", *standardName, standard, standard, nullptr);
    } else {
        const auto daylightName = PosixName(rule, pos);
        if (!daylightName) return fail("the daylight saving abbreviation cannot be read");
        int daylight = standard + 3600;
        if (pos < rule.size() && rule[pos] != ',') {
            const auto west = PosixTime(rule, pos, 24);
            if (!west) return fail("the daylight saving offset cannot be read");
            daylight = -*west;
        }
        // Without its changes a rule's DST has no dates; the POSIX default
        // differs between systems, so it is not guessed.
        if (pos >= rule.size() || rule[pos] != ',') return fail("the changes to and from daylight saving are missing");
        ++pos;
        std::string why = "the change to daylight saving cannot be read";
        const auto start = ReadPosixChange(rule, pos, &why);
        if (!start) return fail(why);
        if (pos >= rule.size() || rule[pos++] != ',') return fail("the change back to standard time is missing");
        why = "the change back to standard time cannot be read";
        const auto end = ReadPosixChange(rule, pos, &why);
        if (!end) return fail(why);
        if (pos != rule.size()) return fail("text follows the rule");
        vtimezone += Observance("DAYLIGHT", *daylightName, standard, daylight, &*start);
        vtimezone += Observance("STANDARD", *standardName, daylight, standard, &*end);
    }
    vtimezone += "END:VTIMEZONE\r\nEND:VCALENDAR\r\n";
    icalcomponent* calendar = icalparser_parse_string(vtimezone.c_str());
    icalcomponent* component =
        calendar ? icalcomponent_get_first_component(calendar, ICAL_VTIMEZONE_COMPONENT) : nullptr;
    icaltimezone* zone = component ? icaltimezone_new() : nullptr;
    if (!zone) {
        if (calendar) icalcomponent_free(calendar);
        return fail("its zone cannot be built");
    }
    icalcomponent_remove_component(calendar, component);
    icalcomponent_free(calendar);
    if (!icaltimezone_set_component(zone, component)) {
        icalcomponent_free(component);
        icaltimezone_free(zone, 1);
        return fail("its zone cannot be built");
    }
    const auto kept = made.emplace(std::string(rule), zone).first;
    return TimeZone(zone, kept->first, 0);
}

std::optional<TimeZone> TimeZone::Find(std::string_view name) {
    const std::string lower = Lower(name);
    if (lower == "utc" || lower == "z" || lower == "gmt" || lower == "etc/utc") return Utc();
    // The database is case-sensitive; people are not.
    std::string spelled(name);
    for (const auto& known : kNumberedNames)
        if (Lower(known) == lower) spelled = known;
    icaltimezone* zone = icaltimezone_get_builtin_timezone(spelled.c_str());
    // A text with an offset in it is no zone name; it may be a rule.
    if (!zone &&
        std::any_of(name.begin(), name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return FromPosixRule(name);
    if (!zone) return std::nullopt;
    return TimeZone(zone, spelled, NumberOf(spelled));
}

std::optional<TimeZone> TimeZone::FromNumber(std::uint32_t number) {
    if (number == 0 || number > kNumberedNames.size()) return std::nullopt;
    return Find(kNumberedNames[number - 1]);
}

TimeZone TimeZone::Utc() { return TimeZone(icaltimezone_get_utc_timezone(), "UTC", NumberOf("UTC")); }

bool TimeZone::isUtc() const { return m_zone == icaltimezone_get_utc_timezone(); }

int TimeZone::offsetAt(Date utc) const { return OffsetAtSeconds(m_zone, DateToSeconds(utc)); }

Date TimeZone::toLocal(Date utc) const { return SecondsToDate(WallSeconds(m_zone, DateToSeconds(utc))); }

Date TimeZone::toUtc(Date local) const {
    const long long wall = DateToSeconds(local);
    // Offsets a day either side cover every change (none comes twice a day).
    const int before = OffsetAtSeconds(m_zone, wall - kSecondsPerDay);
    const int after = OffsetAtSeconds(m_zone, wall + kSecondsPerDay);
    const long long first = wall - std::max(before, after);
    const long long second = wall - std::min(before, after);
    // The earlier reading when both show this wall time (the repeated hour).
    if (WallSeconds(m_zone, first) == wall) return SecondsToDate(first);
    if (WallSeconds(m_zone, second) == wall) return SecondsToDate(second);
    // In the gap: the offset before the change.
    return SecondsToDate(wall - before);
}

std::string TimeZone::abbreviation(Date utc) const {
    icaltimetype t = UtcTime(utc);
    int isDaylight = 0;
    icaltimezone_get_utc_offset_of_utc_time(m_zone, &t, &isDaylight);
    if (isUtc()) return "UTC";
    // libical names the observance only through the zone's component.
    const char* name = icaltimezone_get_tznames(m_zone);
    std::string names = name ? name : "";
    if (const auto slash = names.find('/'); slash != std::string::npos)
        names = isDaylight ? names.substr(slash + 1) : names.substr(0, slash);
    const bool alphabetic =
        !names.empty() && std::all_of(names.begin(), names.end(), [](char c) { return std::isalpha(c) != 0; });
    return alphabetic ? names : FormatOffset(offsetAt(utc));
}

TimeZone SystemZone() {
    const std::string name = SystemZoneName();
    if (auto zone = TimeZone::Find(name)) return *zone;
    return TimeZone::Utc();
}

std::string SystemZoneProblem() {
    const char* tz = std::getenv("TZ");
    if (!tz || !*tz) return {};
    const std::string name = tz[0] == ':' ? tz + 1 : tz;
    if (TimeZone::Find(name)) return {};
    std::string problem;
    const bool ruleLike =
        std::any_of(name.begin(), name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    if (ruleLike) TimeZone::FromPosixRule(name, &problem);
    return "$TZ is \"" + name + "\", " +
           (ruleLike ? "which calyra cannot use: " + problem : "which is no zone calyra knows (e.g. Europe/Berlin)");
}

const std::vector<std::string>& NumberedZoneNames() { return kNumberedNames; }

std::string FormatOffset(int seconds) {
    const char sign = seconds < 0 ? '-' : '+';
    const int magnitude = seconds < 0 ? -seconds : seconds;
    return fmt::format("{}{:02}:{:02}", sign, magnitude / 3600, magnitude / 60 % 60);
}

}  // namespace calyra::calendar
