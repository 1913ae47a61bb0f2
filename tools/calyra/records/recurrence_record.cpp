#include "records/recurrence_record.h"

#include "calendar/recurrence_wording.h"

namespace calyra::cli {

using namespace calendar;

namespace {

// The record's "fifth" position is the last one.
constexpr LONG kStoredLast = 5;

int ReadInterval(LONG stored) { return stored < 1 ? 1 : static_cast<int>(stored); }
int ReadNth(LONG stored) { return stored == kStoredLast ? -1 : static_cast<int>(stored); }
LONG StoreNth(int nth) { return nth == -1 ? kStoredLast : nth; }
unsigned ReadMask(LONG stored) { return static_cast<unsigned>(stored); }

}  // namespace

RecurrenceRule ToRule(const tagRecurrence& record) {
    RecurrenceRule rule;
    switch (record.ePattern) {
        case enumRecurrencePattern_Daily:
            rule.frequency = Frequency::Daily;
            if (record.Daily.lOption == 1)
                rule.weekdays = kMondayToFriday;
            else
                rule.interval = ReadInterval(record.Daily.lEveryXDays);
            break;
        case enumRecurrencePattern_Weekly:
            rule.frequency = Frequency::Weekly;
            rule.interval = ReadInterval(record.Weekly.lEveryXWeeks);
            rule.weekdays = ReadMask(record.Weekly.lDays);
            break;
        case enumRecurrencePattern_Monthly: {
            const tagMonthlyRecurrence& m = record.Monthly;
            rule.frequency = Frequency::Monthly;
            if (m.lOption == 1) {
                rule.nth = ReadNth(m.lTheNth);
                rule.weekdays = ReadMask(m.lDayN);
                rule.interval = ReadInterval(m.lEveryYMonths);
            } else {
                rule.monthDay = static_cast<int>(m.lDayM);
                rule.interval = ReadInterval(m.lEveryXMonths);
            }
            break;
        }
        case enumRecurrencePattern_Yearly: {
            const tagYearlyRecurrence& y = record.Yearly;
            rule.frequency = Frequency::Yearly;
            rule.interval = ReadInterval(y.lEveryXYears);
            if (y.lOption == 1) {
                rule.nth = ReadNth(y.lTheNth);
                rule.weekdays = ReadMask(y.lDayN);
                rule.month = static_cast<int>(y.lOfMonthN);
            } else {
                rule.month = static_cast<int>(y.lEveryMonthM);
                rule.monthDay = static_cast<int>(y.lDayM);
            }
            break;
        }
        default:
            return rule;  // no repetition, or a pattern number the client does not know
    }
    rule.start = record.dtStart;
    if (record.eEnd == enumRecurrenceEnd_EndAfter && record.lEndAfter > 0)
        rule.count = static_cast<int>(record.lEndAfter);
    else if (record.eEnd == enumRecurrenceEnd_EndBy && record.lEndBy != 0)
        rule.until = record.lEndBy;
    return rule;
}

bool ToRecord(const RecurrenceRule& rule, tagRecurrence* record, std::string* problem) {
    std::string why = RuleProblem(rule);
    if (why.empty() && rule.until != 0 && rule.count != 0)
        why = "a series ends on a date or after a number of times, not both";
    if (why.empty() && rule.frequency == Frequency::Daily && rule.weekdays != 0 && rule.interval != 1)
        why = "a daily rule limited to some weekdays cannot skip days";
    if (!why.empty()) {
        if (problem) *problem = why;
        return false;
    }

    tagRecurrence out = *record;
    switch (rule.frequency) {
        case Frequency::None:
            out.ePattern = enumRecurrencePattern_None;
            out.eEnd = enumRecurrenceEnd_None;
            *record = out;
            return true;
        case Frequency::Daily:
            if (rule.weekdays == 0 || rule.weekdays == kMondayToFriday) {
                out.ePattern = enumRecurrencePattern_Daily;
                out.Daily.lOption = rule.weekdays == 0 ? 0 : 1;
                out.Daily.lEveryXDays = rule.interval;
            } else {
                // Every day of some weekdays is the weekly rule on those days.
                out.ePattern = enumRecurrencePattern_Weekly;
                out.Weekly.lOption = 0;
                out.Weekly.lEveryXWeeks = 1;
                out.Weekly.lDays = static_cast<LONG>(rule.weekdays);
            }
            break;
        case Frequency::Weekly:
            out.ePattern = enumRecurrencePattern_Weekly;
            out.Weekly.lOption = 0;
            out.Weekly.lEveryXWeeks = rule.interval;
            out.Weekly.lDays = static_cast<LONG>(rule.weekdays);
            break;
        case Frequency::Monthly:
            out.ePattern = enumRecurrencePattern_Monthly;
            if (rule.nth != 0) {
                out.Monthly.lOption = 1;
                out.Monthly.lTheNth = StoreNth(rule.nth);
                out.Monthly.lDayN = static_cast<LONG>(rule.weekdays);
                out.Monthly.lEveryYMonths = rule.interval;
            } else {
                out.Monthly.lOption = 0;
                out.Monthly.lDayM = rule.monthDay;
                out.Monthly.lEveryXMonths = rule.interval;
            }
            break;
        case Frequency::Yearly:
            out.ePattern = enumRecurrencePattern_Yearly;
            out.Yearly.lEveryXYears = rule.interval;
            if (rule.nth != 0) {
                out.Yearly.lOption = 1;
                out.Yearly.lTheNth = StoreNth(rule.nth);
                out.Yearly.lDayN = static_cast<LONG>(rule.weekdays);
                out.Yearly.lOfMonthN = rule.month;
            } else {
                out.Yearly.lOption = 0;
                out.Yearly.lEveryMonthM = rule.month;
                out.Yearly.lDayM = rule.monthDay;
            }
            break;
    }
    out.dtStart = rule.start;
    if (rule.count > 0) {
        out.eEnd = enumRecurrenceEnd_EndAfter;
        out.lEndAfter = rule.count;
    } else if (rule.until != 0) {
        out.eEnd = enumRecurrenceEnd_EndBy;
        out.lEndBy = rule.until;
    } else {
        out.eEnd = enumRecurrenceEnd_None;
    }
    *record = out;
    return true;
}

std::string DescribeRecurrence(const tagRecurrence& record) { return DescribeRecurrence(record, TimeZone::Utc()); }

std::string DescribeRecurrence(const tagRecurrence& record, const TimeZone& zone) {
    if (record.ePattern < enumRecurrencePattern_None || record.ePattern > enumRecurrencePattern_Yearly)
        return "unknown repetition (pattern " + std::to_string(record.ePattern) + ")";
    RecurrenceRule rule = ToRule(record);
    if (rule.start != 0) rule.start = zone.toLocal(rule.start);
    if (rule.until != 0) rule.until = zone.toLocal(rule.until);
    return DescribeRule(rule);
}

}  // namespace calyra::cli
