// Contact access: the contacts themselves and their delete cascades.
#include "access/contacts/contact_access.h"

#include <cstddef>

#include "core/trace.h"
#include "tables/contact_detail_family.h"

namespace calyra {
namespace {

// Result columns of every contact query, in query order. Column 17,
// [Modified], is read back but never written from the record.
constexpr FieldMap kContactFields[] = {
    {u"[ContactID]", FieldKind::Text, offsetof(tagContactInfo, bstrContactID), 0},
    {u"[Title]", FieldKind::Long, offsetof(tagContactInfo, eTitle), 0},
    {u"[Suffix]", FieldKind::Long, offsetof(tagContactInfo, eSuffix), 0},
    {u"[LastName]", FieldKind::Text, offsetof(tagContactInfo, bstrLastName), 0},
    {u"[FirstName]", FieldKind::Text, offsetof(tagContactInfo, bstrFirstName), 0},
    {u"[MiddleName]", FieldKind::Text, offsetof(tagContactInfo, bstrMiddleName), 0},
    {u"[NickName]", FieldKind::Text, offsetof(tagContactInfo, bstrNickName), 0},
    {u"[SpouseName]", FieldKind::Text, offsetof(tagContactInfo, bstrSpouseName), 0},
    {u"[BirthDate]", FieldKind::Date, offsetof(tagContactInfo, dtBirthday), 0},
    {u"[Anniversary]", FieldKind::Date, offsetof(tagContactInfo, dtAnniversary), 0},
    {u"[CompanyName]", FieldKind::Text, offsetof(tagContactInfo, bstrCompanyName), 0},
    {u"[Department]", FieldKind::Text, offsetof(tagContactInfo, bstrDepartment), 0},
    {u"[JobTitle]", FieldKind::Text, offsetof(tagContactInfo, bstrJobTitle), 0},
    {u"[Description]", FieldKind::Text, offsetof(tagContactInfo, bstrDescription), 0},
    {u"[Ringtone]", FieldKind::Text, offsetof(tagContactInfo, bstrRingtone), 0},
    {u"[Photo]", FieldKind::Text, offsetof(tagContactInfo, bstrPhoto), 0},
    {u"[MessageAlert]", FieldKind::Text, offsetof(tagContactInfo, bstrMessageAlert), 0},
    {u"[Modified]", FieldKind::Date, offsetof(tagContactInfo, dtModified), 0},
};
// The columns taken from the caller's record: all but the ID and
// [Modified], which is always the time of the write.
constexpr std::span<const FieldMap> kContactDataFields = std::span(kContactFields).subspan(1, 16);

constexpr Sql kContactSelectHead =
    u"SELECT [ContactID], [Title], [Suffix], [LastName], [FirstName], [MiddleName], [NickName], [SpouseName], "
    u"[BirthDate], [Anniversary], [CompanyName], [Department], [JobTitle], [Description], [Ringtone], [Photo], "
    u"[MessageAlert], [Modified] FROM [tContact] WHERE [ProfileID] = '";
static_assert(ListsColumns(kContactSelectHead.view(), u"SELECT ", kContactFields, u" FROM "));

constexpr Sql kContactInsertHead =
    u"INSERT INTO [tContact] ([ProfileID], [Title], [Suffix], [LastName], [FirstName], [MiddleName], [NickName], "
    u"[SpouseName], [BirthDate], [Anniversary], [CompanyName], [Department], [JobTitle], [Description], "
    u"[Ringtone], [Photo], [MessageAlert], [Modified]) VALUES('";
static_assert(ListsColumns(kContactInsertHead.view(), u"([ProfileID], ", kContactDataFields,
                           u", [Modified]) VALUES('"));

// The profile's contacts, in the engine's order.
SqlText ContactListQuery(BSTR profileID) { return QuotedStatement(kContactSelectHead, profileID, u"';"); }

}  // namespace

CContactAccess::CContactAccess() { SendTrace("CContactAccess::CContactAccess.[ENTER]"); }

CContactAccess::~CContactAccess() { SendTrace("CContactAccess::~CContactAccess.[ENTER]"); }

STDMETHODIMP CContactAccess::GetNumOfContacts(LONG* plErrorID, LONG* plNumOfContacts) {
    return GetNumOfRecords(plErrorID, plNumOfContacts, m_cache, kContactFields,
                           [this] { return ContactListQuery(m_bstrProfileID); });
}

STDMETHODIMP CContactAccess::GetContactByIndex(LONG* plErrorID, LONG lIndex, tagContactInfo* pContactInfo) {
    return GetRecordByIndex(plErrorID, lIndex, pContactInfo, m_cache);
}

STDMETHODIMP CContactAccess::GetAllContacts(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppContactInfo) {
    return GetAllRecords<tagContactInfo>(plErrorID, plNum, ppContactInfo, kContactFields,
                                         [this] { return ContactListQuery(m_bstrProfileID); });
}

STDMETHODIMP CContactAccess::GetContactByID(LONG* plErrorID, BSTR bstrContactID, tagContactInfo* pContactInfo) {
    if (IsEmpty(bstrContactID) || !pContactInfo) return InvalidArgument(plErrorID);
    return GetOneRecord(plErrorID, pContactInfo, std::span(kContactFields), [&] {
        SqlText sql(kContactSelectHead);
        sql.AppendQuoted(m_bstrProfileID).Append(u"' AND [ContactID] = '");
        sql.AppendQuoted(bstrContactID).Append(u"';");
        return sql;
    });
}

STDMETHODIMP CContactAccess::ExistContact(LONG* plErrorID, BSTR bstrContactID, VARIANT_BOOL* pvbFound) {
    // Any profile's contact counts.
    return ExistRecord(plErrorID, bstrContactID, pvbFound, u"SELECT [ContactID] FROM [tContact] WHERE [ContactID] = '");
}

STDMETHODIMP CContactAccess::AddContact(LONG* plErrorID, tagContactInfo* pContactInfo, BSTR* pbstrContactID) {
    if (!pContactInfo) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, pbstrContactID, [&] {
        SqlText sql(kContactInsertHead);
        sql.AppendQuoted(m_bstrProfileID).Append(u"', '");
        AppendValues(sql, pContactInfo, kContactDataFields);
        // The time of this write, whatever the record says.
        sql.Append(u"', '").AppendNow().Append(u"');");
        return sql;
    });
}

STDMETHODIMP CContactAccess::ModifyContactByID(LONG* plErrorID, BSTR bstrContactID, tagContactInfo* pContactInfo) {
    if (IsEmpty(bstrContactID) || !pContactInfo) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, nullptr, [&] {
        SqlText sql(u"UPDATE [tContact] SET ");
        AppendAssignments(sql, pContactInfo, {kContactDataFields});
        sql.Append(u"', [Modified] = '").AppendNow();
        sql.Append(u"' WHERE [ContactID] = '").AppendQuoted(bstrContactID).Append(u"';");
        return sql;
    });
}

STDMETHODIMP CContactAccess::DeleteContactByID(LONG* plErrorID, BSTR bstrContactID) {
    if (IsEmpty(bstrContactID)) return InvalidArgument(plErrorID);
    // One hold of the lock for the contact and everything that hangs off it.
    CriticalSectionLock lock(m_csAccess);
    HRESULT hr = ExecuteStatement(plErrorID, nullptr, [&] {
        return QuotedStatement(u"DELETE FROM [tContact] WHERE [ContactID] = '", bstrContactID, u"';");
    });
    if (FAILED(hr)) return hr;
    // The contact is gone whatever happens to its dependants, so their
    // failures are not the caller's.
    for (const DetailFamily* family : kDetailFamiliesDeletedWithContact)
        DeleteDetailsByContactID(nullptr, *family, bstrContactID);
    DeleteContactGroupMapByContactID(bstrContactID);
    return S_OK;
}

STDMETHODIMP CContactAccess::DeleteAllContacts(LONG* plErrorID) {
    CriticalSectionLock lock(m_csAccess);
    if (!m_pPimDbAccess) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_POINTER);
    // The dependants are found through the profile's contacts, so they go
    // while those rows still exist.
    DeleteDetailsOfAllContacts();
    DeleteContactGroupMapOfAllContacts();
    return ExecuteStatement(plErrorID, nullptr, [&] {
        return QuotedStatement(u"DELETE FROM [tContact] WHERE [ProfileID] = '", m_bstrProfileID, u"';");
    });
}

}  // namespace calyra
