#include "session/user_time.h"

#include <string>

#include <fmt/format.h>

#include "calendar/days.h"
#include "calendar/recurrence_wording.h"
#include "session/client_error.h"
#include "session/settings.h"

namespace calyra::cli {

using namespace calendar;
namespace {

TimeZone ZoneOf(const Settings& settings) {
    if (auto zone = TimeZone::Find(settings.get("time_zone").value)) return *zone;
    // A $TZ that names no zone must not turn every time into UTC unseen.
    if (const std::string problem = SystemZoneProblem(); !problem.empty())
        throw ClientError(problem + "; give --tz ZONE, or set time_zone in the config file ('calyra config')");
    return SystemZone();
}

}  // namespace

DATE ParseIsoDate(std::string_view text) {
    auto d = TryParseIsoDate(text);
    if (!d)
        throw ClientError("not a date: \"" + std::string(text) + "\" (use YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS], UTC)",
                          2);
    return *d;
}

UserTime::UserTime(const Settings& settings)
    : UserTime(ZoneOf(settings), DateStyleNamed(settings.get("date_format").value).value_or(DateStyle::Iso),
               settings.get("week_start").value == "sun" ? 0 : 1) {}

UserTime::UserTime(TimeZone zone, DateStyle style, int weekStart)
    : m_zone(std::move(zone)), m_style(style), m_weekStart(weekStart), m_now(ParseIsoDate("now")) {}

long long UserTime::today() const { return DayOfDate(m_zone.toLocal(m_now)); }

long long UserTime::weekOf(long long day) const { return day - (WeekdayOfDay(day) - m_weekStart + 7) % 7; }

ParsedWhen UserTime::read(std::string_view text, const std::string& option, bool wall) const {
    std::string problem;
    // Days are typed back the way they are shown (05.03.2027 with dmy).
    auto when = wall ? ParseWhen(text, m_zone.toLocal(m_now), &problem, m_style)
                     : ReadMoment(text, m_zone, m_now, &problem, m_style);
    if (!when) throw ClientError(option + ": " + problem, 2);
    if (wall && when->utc) {
        when->date = m_zone.toLocal(when->date);
        when->utc = false;
    }
    return *when;
}

UserTime::WallRange UserTime::readRange(const std::string& from, const std::string& to) const {
    WallRange range;
    if (!from.empty()) range.from = read(from, "--from", true).date;
    if (!to.empty()) {
        const auto end = read(to, "--to", true);
        range.to = end.hasTime ? end.date : SecondsToDate(DateToSeconds(end.date) + kSecondsPerDay - 1);
    }
    if (range.from && range.to && DateToSeconds(*range.from) > DateToSeconds(*range.to))
        throw ClientError("--from is after --to", 2);
    return range;
}

long long UserTime::duration(std::string_view text, const std::string& option) const {
    std::string problem;
    const auto seconds = ParseDuration(text, &problem);
    if (!seconds) throw ClientError(option + ": " + problem, 2);
    return *seconds;
}

std::string UserTime::show(DATE utc) const { return FormatLocal(utc, m_zone, m_style); }

std::string UserTime::showDay(long long day, bool weekday) const {
    const std::string date = FormatLocalDay(SecondsToDate(day * kSecondsPerDay), TimeZone::Utc(), m_style);
    return weekday ? std::string(WeekdayName(WeekdayOfDay(day))).substr(0, 3) + " " + date : date;
}

std::string UserTime::showSpan(DATE start, DATE end, bool allDay) const {
    if (allDay) {
        const long long first = DayOfDate(start), last = DayOfDate(end);
        return showDay(first) + (last > first ? " – " + showDay(last) : std::string()) + " (all day)";
    }
    const Date from = m_zone.toLocal(start), to = m_zone.toLocal(end);
    const CivilDate a = ToCivil(from), b = ToCivil(to);
    std::string out = showDay(DayOfDate(from)) + fmt::format(" {:02}:{:02}", a.hour, a.minute);
    if (DayOfDate(to) == DayOfDate(from))
        out += fmt::format("–{:02}:{:02}", b.hour, b.minute);
    else
        out += " – " + showDay(DayOfDate(to)) + fmt::format(" {:02}:{:02}", b.hour, b.minute);
    return out + " " + m_zone.name();
}

void UserTime::putMoment(Json* out, const std::string& key, DATE utc, bool allDay) const {
    (*out)[key] = allDay ? FormatIsoDay(utc) : FormatIsoOffset(utc, m_zone);
    (*out)[key + "_utc"] = FormatIsoDate(utc);
}

}  // namespace calyra::cli
