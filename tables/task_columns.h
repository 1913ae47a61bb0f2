// The mapping between tagTaskInfo and the columns of [tTask]: every result
// column of a task query in order, how each becomes a record field and how
// each field is written back. Only the task access object uses it.
//
// A result row is [TaskID] and the 41 columns of the task column list:
// the task's own columns, the 27 recurrence columns shared with events
// (the only difference being the fallback of [YearlyXUnitOfNewTask], 1
// here), then [Created] and [Modified], which only the system writes.
//
// Ownership: constant tables; TaskColumnList and TaskSelectPrefix return
// texts built once, on first use. Thread-safety: everything here is
// read-only once built (the build itself is a thread-safe static
// initialisation) and shared by all task objects.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "tables/field_map.h"
#include "tables/recurrence_columns.h"

namespace calyra {

namespace task_columns_detail {
using K = FieldKind;
// Result columns 0 to 12.
inline constexpr std::array<FieldMap, 13> kHead = {{
    {u"[TaskID]", K::Text, offsetof(tagTaskInfo, bstrTaskID), 0},
    {u"[Subject]", K::Text, offsetof(tagTaskInfo, bstrSubject), 0},
    {u"[Status]", K::Long, offsetof(tagTaskInfo, eTaskStatus), 0},
    {u"[CompletePercent]", K::Long, offsetof(tagTaskInfo, ulCompletePercent), 0},
    {u"[StartDate]", K::Date, offsetof(tagTaskInfo, dtStartDate), 0},
    {u"[EndDate]", K::Date, offsetof(tagTaskInfo, dtEndDate), 0},
    {u"[Priority]", K::Long, offsetof(tagTaskInfo, eTaskPriority), 0},
    {u"[PrivateFlag]", K::Flag, offsetof(tagTaskInfo, bPrivate), 0},
    {u"[TaskType]", K::Long, offsetof(tagTaskInfo, eTaskCategory), 0},
    {u"[Description]", K::Text, offsetof(tagTaskInfo, bstrDescription), 0},
    {u"[ReminderTime]", K::Long, offsetof(tagTaskInfo, lReminderTime), 0},
    {u"[ReminderAudio]", K::Text, offsetof(tagTaskInfo, bstrReminderAudio), 0},
    {u"[DateCompleted]", K::Date, offsetof(tagTaskInfo, dtDateCompleted), 0},
}};
// Result columns 40 and 41.
inline constexpr std::array<FieldMap, 2> kStamps = {{
    {u"[Created]", K::Date, offsetof(tagTaskInfo, dtCreated), 0},
    {u"[Modified]", K::Date, offsetof(tagTaskInfo, dtModified), 0},
}};
}  // namespace task_columns_detail

// Every result column of a task query, in query order: ReadRow over these
// fills a whole tagTaskInfo.
inline constexpr std::array<FieldMap, 42> kTaskColumns =
    JoinFieldMaps(JoinFieldMaps(task_columns_detail::kHead, RecurrenceColumns(offsetof(tagTaskInfo, stRecurrence), 1)),
                  task_columns_detail::kStamps);

// The columns a write takes from the record, [Subject] to [EndBy], in list
// order; [Created] and [Modified] are the time of the write.
constexpr std::span<const FieldMap> TaskWrittenColumns() { return std::span(kTaskColumns).subspan(1, 39); }
static_assert(kTaskColumns[1].column.view() == u"[Subject]" && kTaskColumns[39].column.view() == u"[EndBy]");

// "[Subject], [Status], ... [EndBy], [Created], [Modified]".
inline const SqlText& TaskColumnList() {
    static const SqlText list = ColumnList(std::span(kTaskColumns).subspan(1));
    return list;
}

// "SELECT [TaskID], <list> FROM [tTask] WHERE [ProfileID] = '", the start of
// every task query.
inline const SqlText& TaskSelectPrefix() {
    static const SqlText prefix = [] {
        SqlText sql(u"SELECT [TaskID], ");
        sql.Append(TaskColumnList()).Append(u" FROM [tTask] WHERE [ProfileID] = '");
        return sql;
    }();
    return prefix;
}

}  // namespace calyra
