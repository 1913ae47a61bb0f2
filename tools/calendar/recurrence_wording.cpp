#include "calendar/recurrence_wording.h"

#include "calendar/iso_date.h"

namespace calyra::calendar {
namespace {

constexpr const char* kWeekdayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char* kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};

std::string Ordinal(int n) {
    if (n == -1) return "last";
    const int tens = n % 100, ones = n % 10;
    const char* suffix = (tens >= 11 && tens <= 13) ? "th"
                         : ones == 1                ? "st"
                         : ones == 2                ? "nd"
                         : ones == 3                ? "rd"
                                                    : "th";
    return std::to_string(n) + suffix;
}

// "every 2 weeks" / "weekly".
std::string Every(int interval, const char* once, const char* unit) {
    if (interval == 1) return once;
    return "every " + std::to_string(interval) + " " + unit + "s";
}

// What "the 2nd ..." counts: "Tuesday", "weekday", "day".
std::string CountedDays(unsigned weekdays) {
    if (weekdays == kMondayToFriday) return "weekday";
    if (weekdays == kWeekend) return "weekend day";
    if (weekdays == kEveryDay) return "day";
    for (int d = 0; d < 7; ++d)
        if (weekdays == WeekdayBit(d)) return WeekdayName(d);
    return "of " + WeekdayList(weekdays);
}

std::string Position(const RecurrenceRule& r) {
    if (r.nth == 0) return "";
    // Built by appending: g++ 12 at -O3 warns (wrongly) about overlapping
    // copies in "literal" + std::string.
    std::string text("the ");
    text.append(Ordinal(r.nth)).append(" ");
    return text.append(r.weekdays ? CountedDays(r.weekdays) : std::string("occurrence"));
}

std::string Pattern(const RecurrenceRule& r) {
    switch (r.frequency) {
        case Frequency::None:
            return "";
        case Frequency::Daily:
            if (r.weekdays == kMondayToFriday && r.interval == 1) return "every weekday";
            return Every(r.interval, "daily", "day") + (r.weekdays ? " on " + WeekdayList(r.weekdays) : "");
        case Frequency::Weekly:
            return Every(r.interval, "weekly", "week") + (r.weekdays ? " on " + WeekdayList(r.weekdays) : "");
        case Frequency::Monthly: {
            std::string out = r.interval == 1 ? "every month" : Every(r.interval, "", "month");
            if (r.nth != 0) return out + " on " + Position(r);
            if (r.monthDay != 0) return out + " on day " + std::to_string(r.monthDay);
            return out;
        }
        case Frequency::Yearly: {
            std::string out = Every(r.interval, "yearly", "year");
            const char* month = MonthName(r.month);
            if (r.nth != 0) return out + " on " + Position(r) + (*month ? std::string(" of ") + month : "");
            if (r.monthDay != 0)
                return out + " on " + (*month ? std::string(month) + " " : std::string("day ")) +
                       std::to_string(r.monthDay);
            return *month ? out + " in " + month : out;
        }
    }
    return "";
}

}  // namespace

const char* WeekdayName(int weekday) { return weekday >= 0 && weekday < 7 ? kWeekdayNames[weekday] : ""; }

const char* MonthName(int month) { return month >= 1 && month <= 12 ? kMonthNames[month - 1] : ""; }

std::string WeekdayList(unsigned weekdays) {
    std::string out;
    for (int i = 1; i <= 7; ++i) {
        const int d = i % 7;  // Monday first, Sunday last
        if (weekdays & WeekdayBit(d)) out += (out.empty() ? "" : ", ") + std::string(WeekdayName(d)).substr(0, 3);
    }
    return out;
}

std::string DescribeRule(const RecurrenceRule& rule) {
    if (rule.frequency == Frequency::None) return "";
    // What the rule leaves to its start can only be named when it has one.
    const RecurrenceRule r = rule.start != 0 ? Resolved(rule, rule.start) : rule;
    std::string out = Pattern(r);
    if (r.count == 1)
        out += ", once";
    else if (r.count > 0)
        out += ", " + std::to_string(r.count) + " times";
    else if (r.until != 0)
        out += ", until " + FormatIsoDay(r.until);
    const std::string problem = RuleProblem(r);
    if (!problem.empty()) out += " (not understood, shown once: " + problem + ")";
    return out;
}

}  // namespace calyra::calendar
