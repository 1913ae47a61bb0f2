// The stored recurrence record (tagRecurrence) read as the calendar
// library's RecurrenceRule and written back from one: the one mapping
// between them. The wording, the occurrence expansion, the command-line
// options and the calendar interchange all go through it, so an event
// shown as "every 2 weeks on Mon, Wed" is also expanded and exported that
// way.
//
// How the client reads the recurrence record. The component stores these
// numbers without giving them a meaning; this table is the meaning the
// client gives them, and ToRule/ToRecord below are its only
// implementation. Days of the week in masks are bits: Sunday 1, Monday 2,
// Tuesday 4, Wednesday 8, Thursday 16, Friday 32, Saturday 64.
//
//   Field                    Reading
//   ePattern                 0 none, 1 daily, 2 weekly, 3 monthly, 4 yearly;
//                            other numbers: not understood, never expanded
//   Daily.lOption            0: every lEveryXDays days; 1: every weekday
//                            (Monday to Friday)
//   Daily.lEveryXDays        the day interval (below 1 reads as 1)
//   Weekly.lOption           not read (0 when the client writes)
//   Weekly.lEveryXWeeks      the week interval; weeks run Monday to Sunday
//                            and are counted from the series start's week
//   Weekly.lDays             day mask of the days of the week; 0: the
//                            series start's weekday
//   Monthly.lOption          0: by day of the month; 1: by position
//   Monthly.lDayM            option 0: day of the month 1..31, the last day
//                            in months that are shorter; 0: the start's day
//   Monthly.lEveryXMonths    option 0: the month interval
//   Monthly.lTheNth          option 1: 1..4 first to fourth, 5 last
//   Monthly.lDayN            option 1: day mask of the days counted (one bit
//                            for "the 2nd Tuesday", Monday to Friday for
//                            "the last weekday"); 0: the start's weekday
//   Monthly.lEveryYMonths    option 1: the month interval
//   Yearly.lOption           0: on a day of a month; 1: by position
//   Yearly.lEveryXYears      the year interval (below 1 reads as 1)
//   Yearly.lEveryMonthM      option 0: the month 1..12; 0: the start's month
//   Yearly.lDayM             option 0: the day of that month, as lDayM above
//   Yearly.lTheNth, lDayN    option 1: as in Monthly
//   Yearly.lOfMonthN         option 1: the month 1..12; 0: the start's month
//   *.lXUnitOfNewTask        not read; kept unchanged when the client writes
//   dtStart                  the day the series begins (time of day not
//                            used); 0: the event's (task's) own start. The
//                            occurrences are the days on or after it that
//                            the pattern names, at the event's time of day
//                            and with its duration.
//   eEnd                     0 no end; 1 after lEndAfter occurrences; 2 by
//                            lEndBy; other numbers: no end
//   lEndAfter                eEnd 1: occurrences in all (below 1: no end)
//   lEndBy                   eEnd 2: the last day an occurrence may fall on
//                            (its time of day is not used; 0: no end)
//
// Occurrences replaced by an exception still count towards lEndAfter. A
// rule with values outside these readings (day 40, month 13) is not
// expanded: the event shows once, at its own time.
//
// RecurrenceRule is a plain value; texts are returned by value.
// Thread-safety: pure functions.
#pragma once

#include <string>

#include "calendar/recurrence_rule.h"
#include "calendar/time_zone.h"
#include "idl/calyra_idl.h"

namespace calyra::cli {

// Reads a stored record. Never fails: odd values come through as they
// are and RuleProblem() names them.
calendar::RecurrenceRule ToRule(const tagRecurrence& record);

// Writes the rule into a record: the pattern, the fields of that pattern's
// part, the series start and the end. Fields the rule has no say in (the
// other patterns' parts, the XUnitOfNewTask numbers) keep their values.
// Returns false, with the reason in `problem`, when the record cannot hold
// the rule; the record is then unchanged.
bool ToRecord(const calendar::RecurrenceRule& rule, tagRecurrence* record, std::string* problem = nullptr);

// The record in words ("every 2 weeks on Mon, Wed"); "" when it does not
// repeat, and "unknown repetition (pattern 9)" for a pattern it cannot read.
std::string DescribeRecurrence(const tagRecurrence& record);
// The same for a series laid out in `zone`, whose start and end days are
// stored as the UTC moments of their midnights there.
std::string DescribeRecurrence(const tagRecurrence& record, const calendar::TimeZone& zone);

}  // namespace calyra::cli
