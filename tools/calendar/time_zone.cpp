#include "calendar/time_zone.h"

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

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

}  // namespace

std::optional<TimeZone> TimeZone::Find(std::string_view name) {
    const std::string lower = Lower(name);
    if (lower == "utc" || lower == "z" || lower == "gmt" || lower == "etc/utc") return Utc();
    // The database is case-sensitive; people are not.
    std::string spelled(name);
    for (const auto& known : kNumberedNames)
        if (Lower(known) == lower) spelled = known;
    icaltimezone* zone = icaltimezone_get_builtin_timezone(spelled.c_str());
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

const std::vector<std::string>& NumberedZoneNames() { return kNumberedNames; }

std::string FormatOffset(int seconds) {
    const char sign = seconds < 0 ? '-' : '+';
    const int magnitude = seconds < 0 ? -seconds : seconds;
    return fmt::format("{}{:02}:{:02}", sign, magnitude / 3600, magnitude / 60 % 60);
}

}  // namespace calyra::calendar
