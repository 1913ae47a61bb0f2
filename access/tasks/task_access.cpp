// Task access.
#include "access/tasks/task_access.h"

#include <span>

#include "core/trace.h"
#include "tables/task_columns.h"

namespace calyra {

CTaskAccess::CTaskAccess() { SendTrace("CTaskAccess::CTaskAccess.[ENTER]"); }

CTaskAccess::~CTaskAccess() { SendTrace("CTaskAccess::~CTaskAccess.[ENTER]"); }

SqlText CTaskAccess::ListQuery() const {
    // [Created] is date text, so its text order is the order of creation.
    SqlText sql = TaskSelectPrefix();
    sql.AppendQuoted(m_bstrProfileID).Append(u"' ORDER BY [Created];");
    return sql;
}

STDMETHODIMP CTaskAccess::GetNumOfTasks(LONG* plErrorID, LONG* plNumOfTasks) {
    return GetNumOfRecords(plErrorID, plNumOfTasks, m_cache, kTaskColumns, [&] { return ListQuery(); });
}

STDMETHODIMP CTaskAccess::GetTaskByIndex(LONG* plErrorID, LONG lIndex, tagTaskInfo* pTaskInfo) {
    return GetRecordByIndex(plErrorID, lIndex, pTaskInfo, m_cache);
}

STDMETHODIMP CTaskAccess::GetAllTasks(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppTaskInfo) {
    return GetAllRecords<tagTaskInfo>(plErrorID, plNum, ppTaskInfo, kTaskColumns, [&] { return ListQuery(); });
}

STDMETHODIMP CTaskAccess::AddTask(LONG* plErrorID, tagTaskInfo* pTaskInfo, BSTR* pbstrTaskID) {
    if (!pTaskInfo || IsEmpty(pTaskInfo->bstrSubject)) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, pbstrTaskID, [&] {
        SqlText sql(u"INSERT INTO [tTask] ([ProfileID], ");
        sql.Reserve(2048);
        sql.Append(TaskColumnList()).Append(u") VALUES('");
        sql.AppendQuoted(m_bstrProfileID).Append(u"', '");
        AppendValues(sql, pTaskInfo, TaskWrittenColumns());
        // [Created], then [Modified]: the clock is read for each, so the two
        // may lie a second apart.
        sql.Append(u"', '").AppendNow();
        sql.Append(u"', '").AppendNow().Append(u"');");
        return sql;
    });
}

STDMETHODIMP CTaskAccess::DeleteTaskByID(LONG* plErrorID, BSTR bstrTaskID) {
    if (IsEmpty(bstrTaskID)) return InvalidArgument(plErrorID);
    // By ID alone, whatever the task's profile.
    return ExecuteStatement(plErrorID, nullptr, [&] {
        return QuotedStatement(u"DELETE FROM [tTask] WHERE [TaskID] = '", bstrTaskID, u"';");
    });
}

STDMETHODIMP CTaskAccess::DeleteAllTasks(LONG* plErrorID) {
    return ExecuteStatement(plErrorID, nullptr, [&] {
        return QuotedStatement(u"DELETE FROM [tTask] WHERE [ProfileID] = '", m_bstrProfileID, u"';");
    });
}

STDMETHODIMP CTaskAccess::ModifyTaskByID(LONG* plErrorID, BSTR bstrTaskID, tagTaskInfo* pTaskInfo) {
    // Unlike the insert, an update may empty the subject.
    if (IsEmpty(bstrTaskID) || !pTaskInfo) return InvalidArgument(plErrorID);
    // By ID alone, whatever the task's profile; [Created] and [ProfileID]
    // stay as they are.
    return ExecuteStatement(plErrorID, nullptr, [&] {
        SqlText sql(u"UPDATE [tTask] SET ");
        sql.Reserve(2048);
        AppendAssignments(sql, pTaskInfo, {TaskWrittenColumns()});
        sql.Append(u"', [Modified] = '").AppendNow();
        sql.Append(u"' WHERE [TaskID] = '").AppendQuoted(bstrTaskID).Append(u"';");
        return sql;
    });
}

STDMETHODIMP CTaskAccess::GetTaskByID(LONG* plErrorID, BSTR bstrTaskID, tagTaskInfo* pTaskInfo) {
    // A client asking for a task by its ID expects the task: served like
    // the event object's GetEventByID, from the current profile only.
    if (IsEmpty(bstrTaskID) || !pTaskInfo) return InvalidArgument(plErrorID);
    return GetOneRecord(plErrorID, pTaskInfo, kTaskColumns, [&] {
        SqlText sql = TaskSelectPrefix();
        sql.AppendQuoted(m_bstrProfileID).Append(u"' AND [TaskID] = '").AppendQuoted(bstrTaskID).Append(u"';");
        return sql;
    });
}

STDMETHODIMP CTaskAccess::ExistTask(LONG* plErrorID, BSTR bstrTaskID, VARIANT_BOOL* pvbFound) {
    // Any task of any profile counts.
    return ExistRecord(plErrorID, bstrTaskID, pvbFound, u"SELECT [TaskID] FROM [tTask] WHERE [TaskID] = '");
}

}  // namespace calyra
