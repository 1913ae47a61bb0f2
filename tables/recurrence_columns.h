// The 27 recurrence columns, [PatternOption] to [EndBy]: where each part of
// a tagRecurrence is stored. Events and tasks keep their recurrence rule in
// columns of the same names, order and conversions, so both tables take
// their recurrence rows from here.
//
// The rule is stored and handed back, never interpreted: the option
// numbers, day masks and end settings mean something to the client only.
//
// Ownership: returns constant table rows (string-literal names).
// Thread-safety: a constexpr function without state.
#pragma once

#include <array>
#include <cstddef>

#include "idl/calyra_idl.h"
#include "tables/field_map.h"

namespace calyra {

inline constexpr size_t kRecurrenceColumnCount = 27;

// The recurrence rows for a tagRecurrence that lies `at` bytes into its
// record. The fallbacks (the values a field takes when there is no field
// text at all) are those of a fresh rule: every 1 day, week and month,
// ending after 10 occurrences. Only [YearlyXUnitOfNewTask] differs between
// the tables that use them, so it is the caller's.
constexpr std::array<FieldMap, kRecurrenceColumnCount> RecurrenceColumns(size_t at,
                                                                         double yearlyXUnitOfNewTaskFallback) {
    const size_t daily = at + offsetof(tagRecurrence, Daily);
    const size_t weekly = at + offsetof(tagRecurrence, Weekly);
    const size_t monthly = at + offsetof(tagRecurrence, Monthly);
    const size_t yearly = at + offsetof(tagRecurrence, Yearly);
    using K = FieldKind;
    return {{
        {u"[PatternOption]", K::Long, at + offsetof(tagRecurrence, ePattern), 0},
        {u"[DailyOption]", K::Long, daily + offsetof(tagDailyRecurrence, lOption), 0},
        {u"[DailyEveryXDays]", K::Long, daily + offsetof(tagDailyRecurrence, lEveryXDays), 1},
        {u"[DailyXUnitOfNewTask]", K::Long, daily + offsetof(tagDailyRecurrence, lXUnitOfNewTask), 0},
        {u"[WeeklyOption]", K::Long, weekly + offsetof(tagWeeklyRecurrence, lOption), 0},
        {u"[WeeklyEveryXWeeks]", K::Long, weekly + offsetof(tagWeeklyRecurrence, lEveryXWeeks), 1},
        {u"[WeeklyDays]", K::Long, weekly + offsetof(tagWeeklyRecurrence, lDays), 0},
        {u"[WeeklyXUnitOfNewTask]", K::Long, weekly + offsetof(tagWeeklyRecurrence, lXUnitOfNewTask), 0},
        {u"[MonthlyOption]", K::Long, monthly + offsetof(tagMonthlyRecurrence, lOption), 0},
        {u"[MonthlyDayM]", K::Long, monthly + offsetof(tagMonthlyRecurrence, lDayM), 0},
        {u"[MonthlyEveryXMonths]", K::Long, monthly + offsetof(tagMonthlyRecurrence, lEveryXMonths), 1},
        {u"[MonthlyTheNth]", K::Long, monthly + offsetof(tagMonthlyRecurrence, lTheNth), 0},
        {u"[MonthlyDayN]", K::Long, monthly + offsetof(tagMonthlyRecurrence, lDayN), 0},
        {u"[MonthlyEveryYMonths]", K::Long, monthly + offsetof(tagMonthlyRecurrence, lEveryYMonths), 1},
        {u"[MonthlyXUnitOfNewTask]", K::Long, monthly + offsetof(tagMonthlyRecurrence, lXUnitOfNewTask), 0},
        {u"[YearlyOption]", K::Long, yearly + offsetof(tagYearlyRecurrence, lOption), 0},
        {u"[YearlyEveryXYears]", K::Long, yearly + offsetof(tagYearlyRecurrence, lEveryXYears), 0},
        {u"[YearlyEveryMonthM]", K::Long, yearly + offsetof(tagYearlyRecurrence, lEveryMonthM), 0},
        {u"[YearlyDayM]", K::Long, yearly + offsetof(tagYearlyRecurrence, lDayM), 0},
        {u"[YearlyTheNth]", K::Long, yearly + offsetof(tagYearlyRecurrence, lTheNth), 0},
        {u"[YearlyDayN]", K::Long, yearly + offsetof(tagYearlyRecurrence, lDayN), 0},
        {u"[YearlyOfMonthN]", K::Long, yearly + offsetof(tagYearlyRecurrence, lOfMonthN), 0},
        {u"[YearlyXUnitOfNewTask]", K::Long, yearly + offsetof(tagYearlyRecurrence, lXUnitOfNewTask),
         yearlyXUnitOfNewTaskFallback},
        {u"[Start]", K::Date, at + offsetof(tagRecurrence, dtStart), 0},
        {u"[EndOption]", K::Long, at + offsetof(tagRecurrence, eEnd), 0},
        {u"[EndAfter]", K::Long, at + offsetof(tagRecurrence, lEndAfter), 10},
        {u"[EndBy]", K::Date, at + offsetof(tagRecurrence, lEndBy), 0},
    }};
}

}  // namespace calyra
