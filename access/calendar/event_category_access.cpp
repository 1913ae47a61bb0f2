// Event category access.
#include "access/calendar/event_category_access.h"

#include <array>
#include <cstddef>

#include "core/trace.h"
#include "tables/field_map.h"

namespace calyra {
namespace {

using K = FieldKind;

// Result columns of the category list, in query order.
constexpr std::array<FieldMap, 6> kCategoryColumns = {{
    {u"[EventCategoryID]", K::Text, offsetof(tagEventCategoryInfo, bstrEventCategoryID), 0},
    {u"[EventCategoryName]", K::Text, offsetof(tagEventCategoryInfo, bstrEventCategoryName), 0},
    // Signed decimal text, so all 32 bits of the colour come back.
    {u"[Color]", K::Long, offsetof(tagEventCategoryInfo, ulColor), 0},
    {u"[ToBeSynced]", K::Flag, offsetof(tagEventCategoryInfo, bToBeSynced), 0},
    {u"[IsSelected]", K::Flag, offsetof(tagEventCategoryInfo, bIsSelected), 0},
    {u"[Modified]", K::Date, offsetof(tagEventCategoryInfo, dtModified), 0},
}};

// The columns a write takes from the record: name, colour and both flags.
// [Modified] is always the time of the write.
constexpr std::span<const FieldMap> WrittenColumns() { return std::span(kCategoryColumns).subspan(1, 4); }

}  // namespace

CEventCategoryAccess::CEventCategoryAccess() { SendTrace("CEventCategoryAccess::CEventCategoryAccess.[ENTER]"); }

CEventCategoryAccess::~CEventCategoryAccess() { SendTrace("CEventCategoryAccess::~CEventCategoryAccess.[ENTER]"); }

SqlText CEventCategoryAccess::ListQuery() const {
    SqlText sql(u"SELECT ");
    sql.Append(ColumnList(kCategoryColumns)).Append(u" FROM [tEventCategory] WHERE [ProfileID] = '");
    sql.AppendQuoted(m_bstrProfileID).Append(u"';");
    return sql;
}

STDMETHODIMP CEventCategoryAccess::GetNumOfEventCategories(LONG* plErrorID, LONG* plNumOfEventCategories) {
    return GetNumOfRecords(plErrorID, plNumOfEventCategories, m_cache, kCategoryColumns, [&] { return ListQuery(); });
}

STDMETHODIMP CEventCategoryAccess::GetEventCategoryByIndex(LONG* plErrorID, LONG lIndex,
                                                           tagEventCategoryInfo* pEventCategoryInfo) {
    return GetRecordByIndex(plErrorID, lIndex, pEventCategoryInfo, m_cache);
}

STDMETHODIMP CEventCategoryAccess::GetAllEventCategories(LONG* plErrorID, LONG* plNum,
                                                         SAFEARRAY** ppEventCategoryInfo) {
    return GetAllRecords<tagEventCategoryInfo>(plErrorID, plNum, ppEventCategoryInfo, kCategoryColumns,
                                               [&] { return ListQuery(); });
}

STDMETHODIMP CEventCategoryAccess::AddEventCategory(LONG* plErrorID, tagEventCategoryInfo* pEventCategoryInfo,
                                                    BSTR* pbstrEventCategoryID) {
    // The name may be empty.
    if (!pEventCategoryInfo) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, pbstrEventCategoryID, [&] {
        SqlText sql(u"INSERT INTO [tEventCategory] ([ProfileID], ");
        sql.Append(ColumnList(std::span(kCategoryColumns).subspan(1))).Append(u") VALUES('");
        sql.AppendQuoted(m_bstrProfileID).Append(u"', '");
        AppendValues(sql, pEventCategoryInfo, WrittenColumns());
        sql.Append(u"', '").AppendNow().Append(u"');");
        return sql;
    });
}

STDMETHODIMP CEventCategoryAccess::DeleteEventCategoryByID(LONG* plErrorID, BSTR bstrEventCategoryID) {
    if (IsEmpty(bstrEventCategoryID)) return InvalidArgument(plErrorID);
    // Only the category row goes, whatever its profile; its events stay and
    // drop out of the selected-category lists.
    return ExecuteStatement(plErrorID, nullptr, [&] {
        return QuotedStatement(u"DELETE FROM [tEventCategory] WHERE [EventCategoryID] = '", bstrEventCategoryID, u"';");
    });
}

STDMETHODIMP CEventCategoryAccess::ModifyEventCategoryByID(LONG* plErrorID, BSTR bstrEventCategoryID,
                                                           tagEventCategoryInfo* pEventCategoryInfo) {
    if (IsEmpty(bstrEventCategoryID) || !pEventCategoryInfo) return InvalidArgument(plErrorID);
    // Every data column is written each time: this is also how a category
    // is selected or deselected. No profile condition.
    return ExecuteStatement(plErrorID, nullptr, [&] {
        SqlText sql(u"UPDATE [tEventCategory] SET ");
        AppendAssignments(sql, pEventCategoryInfo, {WrittenColumns()});
        sql.Append(u"', [Modified] = '").AppendNow();
        sql.Append(u"' WHERE [EventCategoryID] = '").AppendQuoted(bstrEventCategoryID).Append(u"'");
        return sql;
    });
}

}  // namespace calyra
