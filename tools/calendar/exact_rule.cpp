#include "calendar/exact_rule.h"

#include <libical/ical.h>

#include <algorithm>
#include <memory>

#include "calendar/time_zone.h"

namespace calyra::calendar {
namespace {

icaltimetype IcalOf(long long seconds, bool allDay) {
    const CivilDay c = CivilFromDay(DayOfSeconds(seconds));
    icaltimetype t = icaltime_null_time();
    t.year = c.year;
    t.month = c.month;
    t.day = c.day;
    if (allDay) {
        t.is_date = 1;
        return t;
    }
    const long long second = SecondOfDay(seconds);
    t.hour = static_cast<int>(second / 3600);
    t.minute = static_cast<int>(second / 60 % 60);
    t.second = static_cast<int>(second % 60);
    return t;
}

long long SecondsOf(const icaltimetype& t) {
    const long long day = DayFromCivil(t.year, t.month, t.day);
    if (t.is_date) return day * kSecondsPerDay;
    return day * kSecondsPerDay + t.hour * 3600LL + t.minute * 60LL + t.second;
}

struct IteratorFree {
    void operator()(icalrecur_iterator* it) const { icalrecur_iterator_free(it); }
};

// libical reads a rule it does not understand as one without frequency and
// leaves the reason in its global error state.
bool Parse(const std::string& text, icalrecurrencetype* rule) {
    icalerror_clear_errno();
    const int wasQuiet = icalerror_get_errors_are_fatal();
    icalerror_set_errors_are_fatal(0);
    *rule = icalrecurrencetype_from_string(text.c_str());
    icalerror_set_errors_are_fatal(wasQuiet);
    const bool ok = rule->freq != ICAL_NO_RECURRENCE && icalerrno == ICAL_NO_ERROR;
    icalerror_clear_errno();
    return ok;
}

}  // namespace

std::string ExactRuleProblem(const std::string& rrule) {
    icalrecurrencetype rule;
    if (!Parse(rrule, &rule)) return "libical cannot read the rule";
    if (rule.interval < 1) return "the interval is less than 1";
    return "";
}

EntrySeries SeriesOfEntry(const std::string& entries) {
    EntrySeries out;
    const std::string calendar = "BEGIN:VCALENDAR\r\n" + entries + "END:VCALENDAR\r\n";
    icalcomponent* root = icalparser_parse_string(calendar.c_str());
    if (!root) return out;
    icalcomponent* master = nullptr;
    for (icalcomponent* c = icalcomponent_get_first_component(root, ICAL_ANY_COMPONENT); c && !master;
         c = icalcomponent_get_next_component(root, ICAL_ANY_COMPONENT)) {
        const icalcomponent_kind kind = icalcomponent_isa(c);
        if ((kind == ICAL_VEVENT_COMPONENT || kind == ICAL_VTODO_COMPONENT) &&
            !icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY))
            master = c;
    }
    if (master) {
        if (icalproperty* rule = icalcomponent_get_first_property(master, ICAL_RRULE_PROPERTY))
            if (const char* text = icalproperty_get_value_as_string(rule)) out.rrule = text;
        for (icalproperty* p = icalcomponent_get_first_property(master, ICAL_RDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(master, ICAL_RDATE_PROPERTY)) {
            const icaldatetimeperiodtype value = icalproperty_get_rdate(p);
            const icaltimetype t = icaltime_is_null_time(value.time) ? value.period.start : value.time;
            if (icaltime_is_null_time(t)) continue;
            Date d = SecondsToDate(SecondsOf(t));
            if (!t.is_date && !icaltime_is_utc(t))
                if (icalparameter* tz = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER))
                    if (const char* name = icalparameter_get_tzid(tz))
                        if (auto zone = TimeZone::Find(name)) d = zone->toUtc(d);
            out.rdates.push_back(d);
        }
    }
    icalcomponent_free(root);
    icalerror_clear_errno();
    return out;
}

std::vector<Date> ExactStarts(const std::string& rrule, const std::vector<Date>& extraStarts, Date start, bool allDay,
                              long long length, Date from, Date to, const TimeZone* inZone, size_t limit) {
    const long long first = DateToSeconds(start);
    const long long low = DateToSeconds(from) - std::max(0LL, length), high = DateToSeconds(to);
    std::vector<long long> found;
    auto keep = [&](long long s) {
        if (s >= low && s <= high) found.push_back(s);
    };
    keep(first);
    for (Date d : extraStarts) keep(DateToSeconds(d));

    icalrecurrencetype rule;
    if (!rrule.empty() && Parse(rrule, &rule) && rule.interval >= 1) {
        if (!icaltime_is_null_time(rule.until)) {
            // UNTIL in UTC names a moment; the series runs in the caller's
            // frame, so the moment is read there.
            long long until = SecondsOf(rule.until);
            if (!rule.until.is_date && icaltime_is_utc(rule.until) && inZone)
                until = DateToSeconds(inZone->toLocal(SecondsToDate(until)));
            // A whole-day UNTIL against timed starts takes in all of its day.
            if (rule.until.is_date && !allDay) until += kSecondsPerDay - 1;
            rule.until = IcalOf(until, allDay);
        }
        std::unique_ptr<icalrecur_iterator, IteratorFree> it(icalrecur_iterator_new(rule, IcalOf(first, allDay)));
        // Without a count the series can be entered close to the stretch,
        // so a rule that began decades ago costs no more than a new one.
        if (it && rule.count == 0 && low - first > 2 * 366 * kSecondsPerDay)
            icalrecur_iterator_set_start(it.get(), IcalOf(low - 366 * kSecondsPerDay, allDay));
        for (size_t n = 0; it && n < limit; ++n) {
            const icaltimetype next = icalrecur_iterator_next(it.get());
            if (icaltime_is_null_time(next)) break;
            const long long s = SecondsOf(next);
            if (s > high) break;
            keep(s);
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    std::vector<Date> out;
    out.reserve(found.size());
    for (long long s : found) out.push_back(SecondsToDate(s));
    return out;
}

}  // namespace calyra::calendar
