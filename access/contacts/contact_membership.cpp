// Contact access: memberships of contacts in contact groups
// ([tContactGroupMap], one row per stored pair; nothing keeps pairs unique).
#include <cstddef>

#include "access/contacts/contact_access.h"

namespace calyra {
namespace {

// The members of a group are listed by ID only: every other field of the
// records handed out stays zero.
constexpr FieldMap kMemberFields[] = {
    {u"[ContactID]", FieldKind::Text, offsetof(tagContactInfo, bstrContactID), 0},
};

// The groups of a contact carry ID, name and time of change; the sync flag
// is not selected and stays 0, photo and ringtone stay NULL.
constexpr FieldMap kGroupOfContactFields[] = {
    {u"[ContactGroupID]", FieldKind::Text, offsetof(tagContactGroupInfo, bstrContactGroupID), 0},
    {u"[ContactGroupName]", FieldKind::Text, offsetof(tagContactGroupInfo, bstrContactGroupName), 0},
    {u"[Modified]", FieldKind::Date, offsetof(tagContactGroupInfo, dtModified), 0},
};

SqlText MembershipInsert(BSTR bstrContactID, BSTR bstrContactGroupID) {
    SqlText sql(u"INSERT INTO [tContactGroupMap] ([ContactGroupID], [ContactID]) VALUES ('");
    sql.AppendQuoted(bstrContactGroupID).Append(u"', '");
    sql.AppendQuoted(bstrContactID).Append(u"');");
    return sql;
}

}  // namespace

STDMETHODIMP CContactAccess::GetContactsByContactGroupID(LONG* plErrorID, BSTR bstrContactGroupID, LONG* plNum,
                                                         SAFEARRAY** ppContactInfo) {
    if (IsEmpty(bstrContactGroupID) || !plNum || !ppContactInfo) return InvalidArgument(plErrorID);
    return GetAllRecords<tagContactInfo>(plErrorID, plNum, ppContactInfo, std::span(kMemberFields), [&] {
        // [tCONTACT] and [tContact] are one table: names are not case-sensitive.
        SqlText sql(
            u"SELECT [tCONTACT].[ContactID] FROM [tCONTACT], [tContactGroupMap] WHERE ([tContactGroupMap].ContactID "
            u"= [tContact].ContactID AND [tContact].ProfileID = '");
        sql.AppendQuoted(m_bstrProfileID).Append(u"' AND [tContactGroupMap].ContactGroupID = '");
        sql.AppendQuoted(bstrContactGroupID).Append(u"');");
        return sql;
    });
}

STDMETHODIMP CContactAccess::GetContactGroupsByContactID(LONG* plErrorID, BSTR bstrContactID, LONG* plNum,
                                                         SAFEARRAY** ppContactGroupInfo) {
    if (IsEmpty(bstrContactID) || !plNum || !ppContactGroupInfo) return InvalidArgument(plErrorID);
    return GetAllRecords<tagContactGroupInfo>(
        plErrorID, plNum, ppContactGroupInfo, std::span(kGroupOfContactFields), [&] {
            SqlText sql(
                u"SELECT [tContactGroup].[ContactGroupID], [tContactGroup].[ContactGroupName], [Modified] FROM "
                u"[tContactGroup], [tContactGroupMap] WHERE [tContactGroupMap].ContactGroupID = "
                u"[tContactGroup].ContactGroupID AND [tContactGroup].ProfileID = '");
            sql.AppendQuoted(m_bstrProfileID).Append(u"' AND [tContactGroupMap].ContactID = '");
            sql.AppendQuoted(bstrContactID).Append(u"';");
            return sql;
        });
}

STDMETHODIMP CContactAccess::AddContactToContactGroup(LONG* plErrorID, BSTR bstrContactID, BSTR bstrContactGroupID,
                                                      VARIANT_BOOL bMultiple) {
    // Only the automation true (all bits set) adds; any other value,
    // 1 included, replaces the contact's memberships.
    const bool addMode = bMultiple == VARIANT_TRUE;
    if (IsEmpty(bstrContactID) || (addMode && IsEmpty(bstrContactGroupID))) return InvalidArgument(plErrorID);
    const auto insert = [&] { return MembershipInsert(bstrContactID, bstrContactGroupID); };
    if (addMode) return ExecuteStatement(plErrorID, nullptr, insert);
    // Delete and insert under one hold of the lock, so no other call on this
    // object sees the contact between the two.
    CriticalSectionLock lock(m_csAccess);
    if (!m_pPimDbAccess) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_POINTER);
    DeleteContactGroupMapByContactID(bstrContactID);
    if (IsEmpty(bstrContactGroupID)) return S_OK;  // now in no group at all
    return ExecuteStatement(plErrorID, nullptr, insert);
}

STDMETHODIMP CContactAccess::RemoveContactFromContactGroup(LONG* plErrorID, BSTR bstrContactID,
                                                           BSTR bstrContactGroupID) {
    if (IsEmpty(bstrContactID) || IsEmpty(bstrContactGroupID)) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, nullptr, [&] {
        // Every stored row of the pair goes.
        SqlText sql(u"DELETE FROM [tContactGroupMap] WHERE ([ContactGroupID] = '");
        sql.AppendQuoted(bstrContactGroupID).Append(u"' AND [ContactID] = '");
        sql.AppendQuoted(bstrContactID).Append(u"');");
        return sql;
    });
}

HRESULT CContactAccess::DeleteContactGroupMapByContactID(BSTR bstrContactID) {
    if (IsEmpty(bstrContactID)) return E_INVALIDARG;
    CriticalSectionLock lock(m_csAccess);
    return ExecuteFollowUp(
        QuotedStatement(u"DELETE FROM [tContactGroupMap] WHERE ([ContactID] = '", bstrContactID, u"');"));
}

HRESULT CContactAccess::DeleteContactGroupMapOfAllContacts() {
    CriticalSectionLock lock(m_csAccess);
    SqlText sql(
        u"DELETE FROM [tContactGroupMap] WHERE [tContactGroupMap].[ContactID] IN (SELECT [tContact].[ContactID] FROM "
        u"[tContact], [tContactGroupMap] WHERE [tContact].[ContactID] = [tContactGroupMap].[ContactID] AND "
        u"[ProfileID] = '");
    sql.AppendQuoted(m_bstrProfileID).Append(u"');");
    return ExecuteFollowUp(sql);
}

}  // namespace calyra
