// Event access.
#include "access/calendar/event_access.h"

#include <span>

#include "core/trace.h"
#include "tables/event_columns.h"

namespace calyra {
namespace {

// The time-range condition of the two range lists: the event overlaps the
// closed range when it starts at or before its end and ends at or after its
// start. Date texts order like the times they stand for.
void AppendOverlap(SqlText& sql, DATE dtStartDateTime, DATE dtEndDateTime) {
    sql.Append(u"' AND [StartDateTime] <= '").AppendDate(dtEndDateTime);
    sql.Append(u"' AND [EndDateTime] >= '").AppendDate(dtStartDateTime).Append(u"';");
}

}  // namespace

CEventAccess::CEventAccess() { SendTrace("CEventAccess::CEventAccess.[ENTER]"); }

CEventAccess::~CEventAccess() { SendTrace("CEventAccess::~CEventAccess.[ENTER]"); }

SqlText CEventAccess::InsertStatement(const tagEventInfo& info, const SqlText& originalEventID) const {
    SqlText sql(u"INSERT INTO [tEvent] ([ProfileID], [OriginalEventID], [EventCategoryID], ");
    sql.Reserve(2048);
    sql.Append(EventColumnList()).Append(u", [Modified]) VALUES('");
    sql.AppendQuoted(m_bstrProfileID).Append(u"', '");
    sql.Append(originalEventID).Append(u"', '");
    sql.AppendQuoted(info.bstrEventCategoryID).Append(u"', '");
    AppendValues(sql, &info, EventListColumns());
    sql.Append(u"', '").AppendNow().Append(u"');");
    return sql;
}

HRESULT CEventAccess::ModifyRow(LONG* plErrorID, BSTR bstrID, const tagEventInfo* pEventInfo) {
    // Unlike the inserts, an update may empty the subject.
    if (IsEmpty(bstrID) || !pEventInfo) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, nullptr, [&] {
        // The category is written right after the built-in kind; the link to
        // a master ([OriginalEventID]) and the profile are never changed.
        const std::span<const FieldMap> list = EventListColumns();
        SqlText sql(u"UPDATE [tEvent] SET ");
        sql.Reserve(2048);
        AppendAssignments(
            sql, pEventInfo,
            {list.first(kEventColumnsBeforeCategory), std::span(kEventColumns).subspan(kEventCategoryIdColumn, 1),
             list.subspan(kEventColumnsBeforeCategory)});
        sql.Append(u"', [Modified] = '").AppendNow();
        sql.Append(u"' WHERE [ProfileID] = '").AppendQuoted(m_bstrProfileID);
        sql.Append(u"' AND [EventID] = '").AppendQuoted(bstrID).Append(u"';");
        return sql;
    });
}

STDMETHODIMP CEventAccess::GetAllEvents(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppEventInfo) {
    return GetAllRecords<tagEventInfo>(plErrorID, plNum, ppEventInfo, kEventColumns, [&] {
        SqlText sql = EventSelectPrefix();
        sql.Append(u"[OriginalEventID] = '0' AND [ProfileID] = '").AppendQuoted(m_bstrProfileID).Append(u"';");
        return sql;
    });
}

STDMETHODIMP CEventAccess::AddEvent(LONG* plErrorID, tagEventInfo* pEventInfo, BSTR* pbstrEventID) {
    if (!pEventInfo || IsEmpty(pEventInfo->bstrSubject)) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, pbstrEventID, [&] {
        SqlText master;
        master.AppendFlag(0);
        return InsertStatement(*pEventInfo, master);
    });
}

STDMETHODIMP CEventAccess::DeleteEventByID(LONG* plErrorID, BSTR bstrEventID) {
    if (IsEmpty(bstrEventID)) return InvalidArgument(plErrorID);
    CriticalSectionLock lock(m_csAccess);
    if (!m_pPimDbAccess) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_POINTER);
    // The exceptions go first; both statements report to the caller, but
    // only the master's delete decides the result. No transaction: when the
    // second fails, the exceptions stay deleted.
    SqlText exceptions(u"DELETE FROM [tEvent] WHERE [ProfileID] = '");
    exceptions.AppendQuoted(m_bstrProfileID).Append(u"' AND [OriginalEventID] = '");
    exceptions.AppendQuoted(bstrEventID).Append(u"';");
    // The connection may be a proxy, which refuses NULL pointers.
    LONG ignored = 0;
    LONG* errorID = plErrorID ? plErrorID : &ignored;
    Bstr exceptionsID;
    m_pPimDbAccess->Execute(errorID, exceptions.ToBstr(), &exceptionsID);
    SqlText master(u"DELETE FROM [tEvent] WHERE [ProfileID] = '");
    master.AppendQuoted(m_bstrProfileID).Append(u"' AND [EventID] = '").AppendQuoted(bstrEventID).Append(u"';");
    Bstr masterID;
    return m_pPimDbAccess->Execute(errorID, master.ToBstr(), &masterID);
}

STDMETHODIMP CEventAccess::DeleteAllEvents(LONG* plErrorID) {
    return ExecuteStatement(plErrorID, nullptr, [&] {
        return QuotedStatement(u"DELETE FROM [tEvent] WHERE [ProfileID] = '", m_bstrProfileID, u"';");
    });
}

STDMETHODIMP CEventAccess::ModifyEventByID(LONG* plErrorID, BSTR bstrEventID, tagEventInfo* pEventInfo) {
    return ModifyRow(plErrorID, bstrEventID, pEventInfo);
}

STDMETHODIMP CEventAccess::GetEventsByEventCategoryID(LONG* plErrorID, BSTR bstrEventCategoryID, DATE dtStartDateTime,
                                                      DATE dtEndDateTime, LONG* plNum, SAFEARRAY** ppEventInfo) {
    if (IsEmpty(bstrEventCategoryID)) return InvalidArgument(plErrorID);
    return GetAllRecords<tagEventInfo>(plErrorID, plNum, ppEventInfo, kEventColumns, [&] {
        SqlText sql = EventSelectPrefix();
        sql.Append(u"[OriginalEventID] = '0' AND [ProfileID] = '").AppendQuoted(m_bstrProfileID);
        sql.Append(u"' AND [EventCategoryID] = '").AppendQuoted(bstrEventCategoryID);
        AppendOverlap(sql, dtStartDateTime, dtEndDateTime);
        return sql;
    });
}

STDMETHODIMP CEventAccess::DeleteEventsByEventCategoryID(LONG* plErrorID, BSTR bstrEventCategoryID) {
    if (IsEmpty(bstrEventCategoryID)) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, nullptr, [&] {
        SqlText sql(u"DELETE FROM [tEvent] WHERE [ProfileID] = '");
        sql.AppendQuoted(m_bstrProfileID).Append(u"' AND [EventCategoryID] = '").AppendQuoted(bstrEventCategoryID);
        sql.Append(u"';");
        return sql;
    });
}

STDMETHODIMP CEventAccess::GetAllSelectedEvents(LONG* plErrorID, DATE dtStartDateTime, DATE dtEndDateTime, LONG* plNum,
                                                SAFEARRAY** ppEventInfo) {
    return GetAllRecords<tagEventInfo>(plErrorID, plNum, ppEventInfo, kEventColumns, [&] {
        // An inner join: events whose category row is gone drop out. The
        // columns both tables have are qualified with [tEvent].
        SqlText sql(u"SELECT [EventID], [tEvent].[EventCategoryID], ");
        sql.Reserve(2048);
        sql.Append(EventColumnList());
        sql.Append(
            u", [tEvent].[Modified] FROM [tEvent], [tEventCategory]"
            u" WHERE [tEvent].[EventCategoryID] = [tEventCategory].[EventCategoryID]"
            u" AND [tEvent].[OriginalEventID] = '0' AND [tEvent].[ProfileID] = '");
        sql.AppendQuoted(m_bstrProfileID).Append(u"' AND [tEventCategory].[IsSelected] = '").AppendFlag(1);
        AppendOverlap(sql, dtStartDateTime, dtEndDateTime);
        return sql;
    });
}

STDMETHODIMP CEventAccess::GetEventByID(LONG* plErrorID, BSTR bstrEventID, tagEventInfo* pEventInfo) {
    if (IsEmpty(bstrEventID) || !pEventInfo) return InvalidArgument(plErrorID);
    return GetOneRecord(plErrorID, pEventInfo, kEventColumns, [&] {
        SqlText sql = EventSelectPrefix();
        sql.Append(u"[OriginalEventID] = '0' AND [ProfileID] = '").AppendQuoted(m_bstrProfileID);
        sql.Append(u"' AND [EventID] = '").AppendQuoted(bstrEventID).Append(u"';");
        return sql;
    });
}

STDMETHODIMP CEventAccess::ExistEvent(LONG* plErrorID, BSTR bstrEventID, VARIANT_BOOL* pvbFound) {
    // Any row of any profile, master or exception, counts.
    return ExistRecord(plErrorID, bstrEventID, pvbFound, u"SELECT [EventID] FROM [tEvent] WHERE [EventID] = '");
}

STDMETHODIMP CEventAccess::GetAllExceptions(LONG* plErrorID, BSTR bstrEventID, LONG* plNum, SAFEARRAY** ppEventInfo) {
    if (IsEmpty(bstrEventID)) return InvalidArgument(plErrorID);
    return GetAllRecords<tagEventInfo>(plErrorID, plNum, ppEventInfo, kEventColumns, [&] {
        SqlText sql = EventSelectPrefix();
        sql.Append(u"[OriginalEventID] = '").AppendQuoted(bstrEventID);
        sql.Append(u"' AND [ProfileID] = '").AppendQuoted(m_bstrProfileID).Append(u"';");
        return sql;
    });
}

STDMETHODIMP CEventAccess::AddException(LONG* plErrorID, BSTR bstrEventID, tagEventInfo* pEventInfo,
                                        BSTR* pbstrExceptionID) {
    // The master ID is taken as given: nothing checks that the master exists
    // or recurs.
    if (!pEventInfo || IsEmpty(pEventInfo->bstrSubject)) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, pbstrExceptionID, [&] {
        SqlText master;
        master.AppendQuoted(bstrEventID);
        return InsertStatement(*pEventInfo, master);
    });
}

STDMETHODIMP CEventAccess::DeleteExceptionByID(LONG* plErrorID, BSTR bstrExceptionID) {
    if (IsEmpty(bstrExceptionID)) return InvalidArgument(plErrorID);
    // Any row of the profile: given a master's ID it deletes the master
    // alone and leaves its exceptions.
    return ExecuteStatement(plErrorID, nullptr, [&] {
        SqlText sql(u"DELETE FROM [tEvent] WHERE [ProfileID] = '");
        sql.AppendQuoted(m_bstrProfileID).Append(u"' AND [EventID] = '").AppendQuoted(bstrExceptionID).Append(u"';");
        return sql;
    });
}

STDMETHODIMP CEventAccess::ModifyExceptionByID(LONG* plErrorID, BSTR bstrExceptionID, tagEventInfo* pEventInfo) {
    return ModifyRow(plErrorID, bstrExceptionID, pEventInfo);
}

STDMETHODIMP CEventAccess::GetExceptionByID(LONG* plErrorID, BSTR bstrExceptionID, tagEventInfo* pEventInfo) {
    if (IsEmpty(bstrExceptionID) || !pEventInfo) return InvalidArgument(plErrorID);
    // Any row of the profile, master or exception.
    return GetOneRecord(plErrorID, pEventInfo, kEventColumns, [&] {
        SqlText sql = EventSelectPrefix();
        sql.Append(u"[ProfileID] = '").AppendQuoted(m_bstrProfileID);
        sql.Append(u"' AND [EventID] = '").AppendQuoted(bstrExceptionID).Append(u"';");
        return sql;
    });
}

}  // namespace calyra
