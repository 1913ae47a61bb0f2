#include "calendar/recurrence_rule.h"

#include "calendar/days.h"

namespace calyra::calendar {

std::string RuleProblem(const RecurrenceRule& rule) {
    if (rule.frequency == Frequency::None) return "";
    if (rule.interval < 1) return "the interval " + std::to_string(rule.interval) + " is less than 1";
    if (rule.weekdays & ~kEveryDay) return "the day mask " + std::to_string(rule.weekdays) + " names no weekdays";
    if (rule.count < 0) return "a negative number of occurrences";
    if (rule.frequency == Frequency::Monthly || rule.frequency == Frequency::Yearly) {
        if (rule.monthDay < 0 || rule.monthDay > 31)
            return "day " + std::to_string(rule.monthDay) + " is not a day of a month";
        if (rule.nth < -1 || rule.nth > 4)
            return "position " + std::to_string(rule.nth) + " is not one of 1 to 4 or the last";
    }
    if (rule.frequency == Frequency::Yearly && (rule.month < 0 || rule.month > 12))
        return "month " + std::to_string(rule.month) + " does not exist";
    return "";
}

RecurrenceRule Resolved(const RecurrenceRule& rule, Date eventStart) {
    RecurrenceRule r = rule;
    if (r.frequency == Frequency::None) return r;
    if (r.start == 0) r.start = eventStart;
    const long long day = DayOfDate(r.start);
    const CivilDay civil = CivilFromDay(day);
    const unsigned startWeekday = WeekdayBit(WeekdayOfDay(day));
    switch (r.frequency) {
        case Frequency::Weekly:
            if (r.weekdays == 0) r.weekdays = startWeekday;
            break;
        case Frequency::Yearly:
            if (r.month == 0) r.month = civil.month;
            [[fallthrough]];
        case Frequency::Monthly:
            if (r.nth != 0 && r.weekdays == 0) r.weekdays = startWeekday;
            if (r.nth == 0 && r.monthDay == 0) r.monthDay = civil.day;
            break;
        default:
            break;
    }
    return r;
}

Date SeriesStartOf(Date start) { return SecondsToDate(DayOfDate(start) * kSecondsPerDay); }

}  // namespace calyra::calendar
