// Contact group access.
#include "access/contacts/contact_group_access.h"

#include <cstddef>

#include "core/trace.h"

namespace calyra {
namespace {

// Result columns of the group list, in query order. Photo and ringtone have
// no column: they stay NULL in every record handed out.
constexpr FieldMap kGroupFields[] = {
    {u"[ContactGroupID]", FieldKind::Text, offsetof(tagContactGroupInfo, bstrContactGroupID), 0},
    {u"[ContactGroupName]", FieldKind::Text, offsetof(tagContactGroupInfo, bstrContactGroupName), 0},
    {u"[ToBeSynced]", FieldKind::Flag, offsetof(tagContactGroupInfo, bToBeSynced), 0},
    {u"[Modified]", FieldKind::Date, offsetof(tagContactGroupInfo, dtModified), 0},
};

// The columns a write takes from the record: the name and the sync flag.
// [Modified] is always the time of the write.
constexpr std::span<const FieldMap> kGroupDataFields = std::span(kGroupFields).subspan(1, 2);

constexpr Sql kGroupSelectHead =
    u"SELECT [ContactGroupID], [ContactGroupName], [ToBeSynced], [Modified] FROM [tContactGroup] WHERE "
    u"[ProfileID] = '";
static_assert(ListsColumns(kGroupSelectHead.view(), u"SELECT ", kGroupFields, u" FROM "));

constexpr Sql kGroupInsertHead =
    u"INSERT INTO [tContactGroup] ([ProfileID], [ContactGroupName], [ToBeSynced], [Modified]) VALUES('";
static_assert(ListsColumns(kGroupInsertHead.view(), u"([ProfileID], ", kGroupDataFields, u", [Modified]) "));

// The profile's groups, in the engine's order.
SqlText GroupListQuery(BSTR profileID) { return QuotedStatement(kGroupSelectHead, profileID, u"';"); }

}  // namespace

CContactGroupAccess::CContactGroupAccess() { SendTrace("CContactGroupAccess::CContactGroupAccess.[ENTER]"); }

CContactGroupAccess::~CContactGroupAccess() { SendTrace("CContactGroupAccess::~CContactGroupAccess.[ENTER]"); }

STDMETHODIMP CContactGroupAccess::GetNumOfContactGroups(LONG* plErrorID, LONG* plNumOfContactGroups) {
    return GetNumOfRecords(plErrorID, plNumOfContactGroups, m_cache, kGroupFields,
                           [this] { return GroupListQuery(m_bstrProfileID); });
}

STDMETHODIMP CContactGroupAccess::GetContactGroupByIndex(LONG* plErrorID, LONG lIndex,
                                                         tagContactGroupInfo* pContactGroupInfo) {
    return GetRecordByIndex(plErrorID, lIndex, pContactGroupInfo, m_cache);
}

STDMETHODIMP CContactGroupAccess::GetAllContactGroups(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppContactGroupInfo) {
    return GetAllRecords<tagContactGroupInfo>(plErrorID, plNum, ppContactGroupInfo, kGroupFields,
                                              [this] { return GroupListQuery(m_bstrProfileID); });
}

STDMETHODIMP CContactGroupAccess::AddContactGroup(LONG* plErrorID, tagContactGroupInfo* pContactGroupInfo,
                                                  BSTR* pbstrContactGroupID) {
    if (!pContactGroupInfo || IsEmpty(pContactGroupInfo->bstrContactGroupName)) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, pbstrContactGroupID, [&] {
        SqlText sql(kGroupInsertHead);
        sql.AppendQuoted(m_bstrProfileID).Append(u"', '");
        AppendValues(sql, pContactGroupInfo, kGroupDataFields);
        sql.Append(u"', '").AppendNow().Append(u"');");
        return sql;
    });
}

STDMETHODIMP CContactGroupAccess::DeleteContactGroupByID(LONG* plErrorID, BSTR bstrContactGroupID) {
    if (IsEmpty(bstrContactGroupID)) return InvalidArgument(plErrorID);
    CriticalSectionLock lock(m_csAccess);  // the group and its memberships in one hold
    HRESULT hr = ExecuteStatement(plErrorID, nullptr, [&] {
        return QuotedStatement(u"DELETE FROM [tContactGroup] WHERE [ContactGroupID] = '", bstrContactGroupID, u"';");
    });
    if (FAILED(hr)) return hr;
    DeleteContactGroupMapByContactGroupID(bstrContactGroupID);
    return S_OK;
}

STDMETHODIMP CContactGroupAccess::DeleteAllContactGroups(LONG* plErrorID) {
    CriticalSectionLock lock(m_csAccess);
    if (!m_pPimDbAccess) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_POINTER);
    // The memberships are found through the profile's groups, so they go
    // while those rows still exist.
    DeleteContactGroupMapOfAllContactGroups();
    return ExecuteStatement(plErrorID, nullptr, [&] {
        return QuotedStatement(u"DELETE FROM [tContactGroup] WHERE [ProfileID] = '", m_bstrProfileID, u"';");
    });
}

STDMETHODIMP CContactGroupAccess::ModifyContactGroupByID(LONG* plErrorID, BSTR bstrContactGroupID,
                                                         tagContactGroupInfo* pContactGroupInfo) {
    if (IsEmpty(bstrContactGroupID) || !pContactGroupInfo || IsEmpty(pContactGroupInfo->bstrContactGroupName))
        return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, nullptr, [&] {
        SqlText sql(u"UPDATE [tContactGroup] SET ");
        AppendAssignments(sql, pContactGroupInfo, {kGroupDataFields});
        sql.Append(u"', [Modified] = '").AppendNow().Append(u"' WHERE [ContactGroupID] = '");
        // This statement alone ends without a semicolon; the engine takes
        // it either way.
        sql.AppendQuoted(bstrContactGroupID).Append(u"'");
        return sql;
    });
}

HRESULT CContactGroupAccess::DeleteContactGroupMapByContactGroupID(BSTR bstrContactGroupID) {
    if (IsEmpty(bstrContactGroupID)) return E_INVALIDARG;
    CriticalSectionLock lock(m_csAccess);
    return ExecuteFollowUp(
        QuotedStatement(u"DELETE FROM [tContactGroupMap] WHERE ([ContactGroupID] = '", bstrContactGroupID, u"');"));
}

HRESULT CContactGroupAccess::DeleteContactGroupMapOfAllContactGroups() {
    CriticalSectionLock lock(m_csAccess);
    SqlText sql(
        u"DELETE FROM [tContactGroupMap] WHERE [tContactGroupMap].[ContactGroupID] IN (SELECT "
        u"[tContactGroup].[ContactGroupID] FROM [tContactGroup], [tContactGroupMap] WHERE "
        u"[tContactGroup].[ContactGroupID] = [tContactGroupMap].[ContactGroupID] AND [ProfileID] = '");
    sql.AppendQuoted(m_bstrProfileID).Append(u"');");
    return ExecuteFollowUp(sql);
}

}  // namespace calyra
