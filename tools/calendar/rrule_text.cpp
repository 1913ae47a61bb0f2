#include "calendar/rrule_text.h"

#include <libical/ical.h>

#include <algorithm>
#include <bit>

#include "calendar/days.h"
#include "calendar/exact_rule.h"

namespace calyra::calendar {

namespace {

// Counts the entries of one of libical's BY arrays (ended by
// ICAL_RECURRENCE_ARRAY_MAX unless full).
template <size_t N>
size_t Count(const short (&values)[N]) {
    size_t n = 0;
    while (n < N && values[n] != ICAL_RECURRENCE_ARRAY_MAX) ++n;
    return n;
}

// libical's weekdays run Sunday 1 .. Saturday 7; ours Sunday 0 .. Saturday 6.
unsigned Bit(icalrecurrencetype_weekday day) { return WeekdayBit(static_cast<int>(day) - 1); }

// libical's BYDAY value: weekday 1..7 plus 8 times the position, signed
// like the position ("-1FR" is -(8 + 6)).
short EncodeDay(int weekday, int position) {
    const int magnitude = (position < 0 ? -position : position) * 8 + weekday;
    return static_cast<short>(position < 0 ? -magnitude : magnitude);
}

Date DayOf(const icaltimetype& t) { return SecondsToDate(DayFromCivil(t.year, t.month, t.day) * kSecondsPerDay); }

// The rule as the record holds it, or why the record cannot.
RruleReading ReadHeldRule(const std::string& text, Date start, const TimeZone* zone) {
    RruleReading out;
    icalerror_set_errors_are_fatal(0);
    icalrecurrencetype r = icalrecurrencetype_from_string(text.c_str());
    icalerror_clear_errno();
    auto refuse = [&](std::string why) {
        out.problem = std::move(why);
        return out;
    };
    RecurrenceRule& rule = out.rule;
    switch (r.freq) {
        case ICAL_DAILY_RECURRENCE:
            rule.frequency = Frequency::Daily;
            break;
        case ICAL_WEEKLY_RECURRENCE:
            rule.frequency = Frequency::Weekly;
            break;
        case ICAL_MONTHLY_RECURRENCE:
            rule.frequency = Frequency::Monthly;
            break;
        case ICAL_YEARLY_RECURRENCE:
            rule.frequency = Frequency::Yearly;
            break;
        case ICAL_NO_RECURRENCE:
            return refuse("the rule cannot be read");
        default:
            return refuse("rules that repeat within a day are not kept");
    }
    if (Count(r.by_second) || Count(r.by_minute) || Count(r.by_hour))
        return refuse("rules with several times a day are not kept");
    if (Count(r.by_year_day) || Count(r.by_week_no)) return refuse("BYYEARDAY and BYWEEKNO are not kept");
    if (Count(r.by_set_pos) > 1) return refuse("several BYSETPOS positions are not kept");
    if (Count(r.by_month) > 1) return refuse("several months are not kept");
    // BYMONTHDAY=28,29,30,31;BYSETPOS=-1 is day 31, or the last day of a
    // shorter month: the record's day 29 to 31 (see WriteRrule).
    int lastOfDays = 0;
    if (Count(r.by_month_day) > 1) {
        const size_t n = Count(r.by_month_day);
        bool run = n <= 4 && Count(r.by_set_pos) == 1 && r.by_set_pos[0] == -1 && Count(r.by_day) == 0;
        for (size_t i = 0; run && i < n; ++i) run = r.by_month_day[i] == static_cast<short>(28 + i);
        if (!run) return refuse("several days of the month are not kept");
        lastOfDays = static_cast<int>(27 + n);
    }
    rule.interval = r.interval < 1 ? 1 : r.interval;

    // BYDAY: plain weekdays, or one position with weekdays.
    unsigned days = 0;
    int position = 0;
    bool mixed = false;
    for (size_t i = 0; i < Count(r.by_day); ++i) {
        const int pos = icalrecurrencetype_day_position(r.by_day[i]);
        days |= Bit(icalrecurrencetype_day_day_of_week(r.by_day[i]));
        if (i > 0 && pos != position) mixed = true;
        position = pos;
    }
    if (mixed) return refuse("weekdays at different positions are not kept");
    if (Count(r.by_set_pos) && !lastOfDays) {
        if (position != 0) return refuse("BYSETPOS with positioned weekdays is not kept");
        position = r.by_set_pos[0];
        if (!days) return refuse("BYSETPOS without weekdays is not kept");
    }
    if (position != 0 && (position < -1 || position > 4)) return refuse("only the 1st to 4th or the last are kept");
    const int monthDay = lastOfDays ? lastOfDays : Count(r.by_month_day) ? r.by_month_day[0] : 0;
    // The record's day 29 to 31 falls on the last day of a shorter month,
    // where the rule skips that month: only -1, the last day, is the
    // record's day 31 exactly.
    if (monthDay < -1 || (monthDay == 0 && Count(r.by_month_day)))
        return refuse("days counted from the month's end are not kept");
    if (!lastOfDays && monthDay >= 29) return refuse("day " + std::to_string(monthDay) + " skips shorter months");
    const int month = Count(r.by_month) ? r.by_month[0] : 0;

    switch (rule.frequency) {
        case Frequency::Daily:
            if (position || monthDay || month) return refuse("a daily rule with BYMONTH or BYMONTHDAY is not kept");
            rule.weekdays = days == kEveryDay ? 0 : days;
            break;
        case Frequency::Weekly:
            if (position || monthDay || month) return refuse("a weekly rule with positions or months is not kept");
            rule.weekdays = days;
            if (rule.interval > 1 && std::popcount(days) > 1 && r.week_start != ICAL_MONDAY_WEEKDAY &&
                r.week_start != ICAL_NO_WEEKDAY)
                return refuse("weeks that do not start on Monday are not kept");
            break;
        case Frequency::Monthly:
        case Frequency::Yearly:
            if (rule.frequency == Frequency::Monthly && month)
                return refuse("a monthly rule limited to months is not kept");
            if (position == 0 && days) return refuse("every such weekday of a month is not kept");
            if (position != 0 && monthDay) return refuse("a position together with a day of the month is not kept");
            rule.nth = position;
            rule.weekdays = days;
            rule.monthDay = monthDay == -1 ? 31 : monthDay;
            rule.month = month;
            break;
        case Frequency::None:
            break;
    }

    if (r.count > 0) {
        rule.count = r.count;
    } else if (!icaltime_is_null_time(r.until)) {
        rule.until = DayOf(r.until);
    }
    if (zone) {
        // The days are the zone's; each is kept as the UTC moment of its
        // noon there, which falls on that day read in the zone and, for
        // every zone within 12 hours of UTC, also read in UTC.
        const auto dayInZone = [zone](Date utc) {
            return zone->toUtc(SecondsToDate(DateToSeconds(SeriesStartOf(zone->toLocal(utc))) + kSecondsPerDay / 2));
        };
        rule.start = dayInZone(start);
        if (rule.until != 0 && !r.until.is_date) {
            const long long second = r.until.hour * 3600LL + r.until.minute * 60LL + r.until.second;
            rule.until = dayInZone(SecondsToDate(DateToSeconds(rule.until) + second));
        } else if (rule.until != 0) {
            rule.until = dayInZone(zone->toUtc(rule.until));
        }
    } else {
        rule.start = SeriesStartOf(start);
    }
    if (std::string why = RuleProblem(rule); !why.empty()) return refuse(why);
    return out;
}

// The day `utc` falls on in `zone` (UTC without one) as the record keeps a
// series day (see ReadHeldRule).
Date SeriesDay(Date utc, const TimeZone* zone) {
    if (!zone) return SeriesStartOf(utc);
    return zone->toUtc(SecondsToDate(DateToSeconds(SeriesStartOf(zone->toLocal(utc))) + kSecondsPerDay / 2));
}

// The series the record can carry that comes nearest to a rule it cannot:
// the rule's frequency (one that repeats within a day: daily) and
// interval, on the start's day, ending on the day the exact series ends.
RruleReading NearestRule(const std::string& text, Date start, const TimeZone* zone, std::string why) {
    RruleReading out;
    out.inexact = std::move(why);
    icalrecurrencetype r = icalrecurrencetype_from_string(text.c_str());
    icalerror_clear_errno();
    RecurrenceRule& rule = out.rule;
    rule.interval = 1;
    switch (r.freq) {
        case ICAL_WEEKLY_RECURRENCE:
            rule.frequency = Frequency::Weekly;
            rule.interval = r.interval;
            for (size_t i = 0; i < Count(r.by_day); ++i)
                if (icalrecurrencetype_day_position(r.by_day[i]) == 0)
                    rule.weekdays |= Bit(icalrecurrencetype_day_day_of_week(r.by_day[i]));
            break;
        case ICAL_MONTHLY_RECURRENCE:
            rule.frequency = Frequency::Monthly;
            rule.interval = r.interval;
            break;
        case ICAL_YEARLY_RECURRENCE:
            rule.frequency = Frequency::Yearly;
            rule.interval = r.interval;
            break;
        case ICAL_DAILY_RECURRENCE:
            rule.interval = r.interval;
            [[fallthrough]];
        default:
            rule.frequency = Frequency::Daily;
            break;
    }
    rule.interval = std::max(1, rule.interval);
    rule.start = SeriesDay(start, zone);
    if (r.count > 0 || !icaltime_is_null_time(r.until)) {
        // The series runs in the zone's wall time; its last start ends the
        // nearest series too, so neither shows anything after the other.
        const Date wallStart = zone ? zone->toLocal(start) : start;
        const auto starts = ExactStarts(text, {}, wallStart, false, 0, wallStart,
                                        SecondsToDate(DayFromCivil(9999, 12, 31) * kSecondsPerDay), zone,
                                        r.count > 0 ? static_cast<size_t>(r.count) : 100000);
        const Date last = starts.empty() ? wallStart : starts.back();
        rule.until = SeriesDay(zone ? zone->toUtc(last) : last, zone);
    }
    if (std::string problem = RuleProblem(rule); !problem.empty()) out.problem = problem;
    return out;
}

}  // namespace

RruleReading ReadRrule(const std::string& text, Date start, const TimeZone* zone) {
    RruleReading held = ReadHeldRule(text, start, zone);
    if (held.problem.empty() || !ExactRuleProblem(text).empty()) return held;
    return NearestRule(text, start, zone, held.problem);
}

bool RruleStillStored(const std::string& text, Date start, const RecurrenceRule& stored, const TimeZone* zone) {
    const RruleReading reading = ReadRrule(text, start, zone);
    return reading.problem.empty() && reading.rule == stored;
}

std::string WriteRrule(const RecurrenceRule& stored, Date start, bool allDay, const TimeZone* zone) {
    if (stored.frequency == Frequency::None || !RuleProblem(stored).empty()) return "";
    // What the rule leaves to its start is left out of the text too, except
    // a position's weekday and a yearly position's month, which RRULE
    // cannot leave out.
    const RecurrenceRule resolved = Resolved(stored, start);
    icalrecurrencetype r;
    icalrecurrencetype_clear(&r);
    switch (stored.frequency) {
        case Frequency::Daily:
            r.freq = ICAL_DAILY_RECURRENCE;
            break;
        case Frequency::Weekly:
            r.freq = ICAL_WEEKLY_RECURRENCE;
            break;
        case Frequency::Monthly:
            r.freq = ICAL_MONTHLY_RECURRENCE;
            break;
        case Frequency::Yearly:
            r.freq = ICAL_YEARLY_RECURRENCE;
            break;
        case Frequency::None:
            return "";
    }
    r.interval = static_cast<short>(stored.interval);
    const unsigned days = stored.nth != 0 ? resolved.weekdays : stored.weekdays;
    size_t n = 0;
    for (int d = 0; d < 7; ++d)
        if (days & WeekdayBit(d)) {
            const int pos = stored.nth != 0 && std::popcount(days) == 1 ? stored.nth : 0;
            r.by_day[n++] = EncodeDay(d + 1, pos);
        }
    if (n < ICAL_BY_DAY_SIZE) r.by_day[n] = ICAL_RECURRENCE_ARRAY_MAX;
    if (stored.nth != 0 && std::popcount(days) > 1) {
        r.by_set_pos[0] = static_cast<short>(stored.nth);
        r.by_set_pos[1] = ICAL_RECURRENCE_ARRAY_MAX;
    }
    // Day 29 to 31 means that day, or the last day of a month without it.
    // BYMONTHDAY alone would skip such months, so the text names the days
    // from 28 on and takes the last one the month has (BYSETPOS=-1): for day
    // 30, BYMONTHDAY=28,29,30;BYSETPOS=-1 gives the 28th or 29th of February
    // and the 30th of every other month. A day left to the start (0) is
    // written out when it is one of these.
    const bool byDay = stored.nth == 0 && stored.frequency >= Frequency::Monthly;
    const int monthDay = byDay ? (resolved.monthDay >= 29 ? resolved.monthDay : stored.monthDay) : 0;
    if (monthDay >= 29) {
        for (int d = 28; d <= monthDay; ++d) r.by_month_day[d - 28] = static_cast<short>(d);
        r.by_month_day[monthDay - 27] = ICAL_RECURRENCE_ARRAY_MAX;
        r.by_set_pos[0] = -1;
        r.by_set_pos[1] = ICAL_RECURRENCE_ARRAY_MAX;
    } else if (monthDay != 0) {
        r.by_month_day[0] = static_cast<short>(monthDay);
        r.by_month_day[1] = ICAL_RECURRENCE_ARRAY_MAX;
    }
    if (stored.frequency == Frequency::Yearly) {
        // A yearly BYMONTHDAY without BYMONTH would mean that day of every
        // month, so a day always comes with its month.
        const int month = stored.nth != 0 || monthDay != 0 ? resolved.month : stored.month;
        if (month != 0) {
            r.by_month[0] = static_cast<short>(month);
            r.by_month[1] = ICAL_RECURRENCE_ARRAY_MAX;
        }
    }
    if (stored.frequency == Frequency::Weekly && stored.interval > 1) r.week_start = ICAL_MONDAY_WEEKDAY;
    if (stored.count > 0) {
        r.count = stored.count;
    } else if (stored.until != 0) {
        long long day = DayOfDate(stored.until);
        long long at = allDay ? day * kSecondsPerDay : day * kSecondsPerDay + SecondOfDay(DateToSeconds(start));
        if (zone && !allDay) {
            // The last day in the zone at the start's wall time there, in UTC.
            const long long wall = DayOfDate(zone->toLocal(stored.until)) * kSecondsPerDay +
                                   SecondOfDay(DateToSeconds(zone->toLocal(start)));
            at = DateToSeconds(zone->toUtc(SecondsToDate(wall)));
            day = DayOfSeconds(at);
        }
        const CivilDay civil = CivilFromDay(day);
        r.until = icaltime_null_time();
        r.until.year = civil.year;
        r.until.month = civil.month;
        r.until.day = civil.day;
        r.until.is_date = allDay ? 1 : 0;
        if (!allDay) {
            const long long second = SecondOfDay(at);
            r.until.hour = static_cast<int>(second / 3600);
            r.until.minute = static_cast<int>(second / 60 % 60);
            r.until.second = static_cast<int>(second % 60);
            r.until.zone = icaltimezone_get_utc_timezone();
        }
    }
    char* text = icalrecurrencetype_as_string_r(&r);
    std::string out = text ? text : "";
    if (text) icalmemory_free_buffer(text);
    return out;
}

}  // namespace calyra::calendar
