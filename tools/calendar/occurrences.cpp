#include "calendar/occurrences.h"

#include <algorithm>
#include <limits>
#include <set>

#include "calendar/days.h"
#include "calendar/exact_rule.h"

namespace calyra::calendar {
namespace {

constexpr long long kNoDay = std::numeric_limits<long long>::min();

// The day in month (year, month) the rule names, or kNoDay when it names
// none (a 4th weekday that the mask never reaches).
long long DayInMonth(const RecurrenceRule& r, int year, int month) {
    const long long first = DayFromCivil(year, month, 1);
    const int length = DaysInMonth(year, month);
    if (r.nth == 0) return first + std::min(r.monthDay, length) - 1;
    long long found = kNoDay;
    int seen = 0;
    for (int i = 0; i < length; ++i) {
        if (!(r.weekdays & WeekdayBit(WeekdayOfDay(first + i)))) continue;
        found = first + i;
        if (++seen == r.nth) return found;
    }
    return r.nth == -1 ? found : kNoDay;
}

// Calls visit(day) for the series' days from `startDay` on, in order,
// while they are not after `lastDay` and visit returns true.
template <class Visit>
void ForEachSeriesDay(const RecurrenceRule& r, long long startDay, long long lastDay, Visit visit) {
    const long long interval = r.interval;
    switch (r.frequency) {
        case Frequency::None:
            if (startDay <= lastDay) visit(startDay);
            return;
        case Frequency::Daily:
            for (long long d = startDay; d <= lastDay; d += interval)
                if ((r.weekdays == 0 || (r.weekdays & WeekdayBit(WeekdayOfDay(d)))) && !visit(d)) return;
            return;
        case Frequency::Weekly: {
            const long long monday = startDay - (WeekdayOfDay(startDay) + 6) % 7;
            for (long long week = monday; week <= lastDay; week += 7 * interval)
                for (long long d = week; d < week + 7; ++d) {
                    if (d < startDay || !(r.weekdays & WeekdayBit(WeekdayOfDay(d)))) continue;
                    if (d > lastDay || !visit(d)) return;
                }
            return;
        }
        case Frequency::Monthly:
        case Frequency::Yearly: {
            const CivilDay c = CivilFromDay(startDay);
            if (c.year < 1) return;  // before any date the component can hold
            const long long step = r.frequency == Frequency::Monthly ? interval : 12 * interval;
            long long index =
                r.frequency == Frequency::Monthly ? c.year * 12LL + c.month - 1 : c.year * 12LL + r.month - 1;
            const long long lastYear = CivilFromDay(lastDay).year;
            for (;; index += step) {
                if (index / 12 > lastYear) return;
                const int year = static_cast<int>(index / 12), month = static_cast<int>(index % 12) + 1;
                if (DayFromCivil(year, month, 1) > lastDay) return;
                const long long d = DayInMonth(r, year, month);
                if (d < startDay) continue;
                if (d > lastDay || !visit(d)) return;
            }
        }
    }
}

bool Overlaps(long long start, long long end, long long from, long long to) { return start <= to && end >= from; }

// The series' occurrences with the exceptions that are not cancelled, in
// order of start.
std::vector<Occurrence> WithExceptions(std::vector<Occurrence> out, const std::vector<CalendarEvent>& exceptions,
                                       long long fromSeconds, long long toSeconds) {
    for (const auto& e : exceptions) {
        if (e.canceled) continue;
        const long long start = DateToSeconds(e.start);
        const long long end = std::max(start, DateToSeconds(e.end));
        if (Overlaps(start, end, fromSeconds, toSeconds))
            out.push_back({e.id, e.subject, SecondsToDate(start), SecondsToDate(end), e.allDay, true, {}});
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Occurrence& a, const Occurrence& b) { return a.start < b.start; });
    return out;
}

// The series of an exact rule: libical's starts, an exception in place of
// the occurrence at exactly its original start.
void ExpandExact(const CalendarEvent& event, const std::vector<CalendarEvent>& exceptions, long long fromSeconds,
                 long long toSeconds, const TimeZone* wallZone, std::vector<Occurrence>* out) {
    const long long duration = std::max(0LL, DateToSeconds(event.end) - DateToSeconds(event.start));
    std::set<long long> replaced;
    for (const auto& e : exceptions)
        if (e.originalStart != 0) replaced.insert(DateToSeconds(e.originalStart));
    for (Date d : ExactStarts(event.exactRule, event.extraStarts, event.start, event.allDay, duration,
                              SecondsToDate(fromSeconds), SecondsToDate(toSeconds), wallZone)) {
        const long long start = DateToSeconds(d);
        if (!replaced.count(start) && Overlaps(start, start + duration, fromSeconds, toSeconds))
            out->push_back({event.id,
                            event.subject,
                            SecondsToDate(start),
                            SecondsToDate(start + duration),
                            event.allDay,
                            false,
                            {}});
    }
}

}  // namespace

std::vector<Occurrence> ExpandEvent(const CalendarEvent& event, const std::vector<CalendarEvent>& exceptions, Date from,
                                    Date to, const TimeZone* wallZone) {
    const long long fromSeconds = DateToSeconds(from), toSeconds = DateToSeconds(to);
    const long long startSeconds = DateToSeconds(event.start);
    const long long duration = std::max(0LL, DateToSeconds(event.end) - startSeconds);
    const long long timeOfDay = SecondOfDay(startSeconds);
    std::vector<Occurrence> out;
    if (!event.exactRule.empty() || !event.extraStarts.empty()) {
        ExpandExact(event, exceptions, fromSeconds, toSeconds, wallZone, &out);
        return WithExceptions(std::move(out), exceptions, fromSeconds, toSeconds);
    }

    // A rule the client cannot follow leaves the event at its own time.
    RecurrenceRule rule = Resolved(event.rule, event.start);
    if (!RuleProblem(rule).empty()) rule = RecurrenceRule{};
    const long long startDay = rule.frequency == Frequency::None ? DayOfSeconds(startSeconds) : DayOfDate(rule.start);
    long long lastDay = DayOfSeconds(toSeconds);
    if (rule.until != 0) lastDay = std::min(lastDay, DayOfDate(rule.until));

    std::set<long long> replaced;
    for (const auto& e : exceptions)
        if (e.originalStart != 0) replaced.insert(DayOfDate(e.originalStart));

    int counted = 0;
    ForEachSeriesDay(rule, startDay, lastDay, [&](long long day) {
        if (rule.count > 0 && ++counted > rule.count) return false;
        const long long start = day * kSecondsPerDay + timeOfDay;
        if (!replaced.count(day) && Overlaps(start, start + duration, fromSeconds, toSeconds))
            out.push_back({event.id,
                           event.subject,
                           SecondsToDate(start),
                           SecondsToDate(start + duration),
                           event.allDay,
                           false,
                           {}});
        return true;
    });
    return WithExceptions(std::move(out), exceptions, fromSeconds, toSeconds);
}

}  // namespace calyra::calendar
