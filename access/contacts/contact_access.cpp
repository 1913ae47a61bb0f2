// Contact access: the contacts themselves and their delete cascades.
#include "access/contacts/contact_access.h"

#include <cstddef>
#include <iterator>
#include <string_view>

#include "access/contacts/contact_detail_family.h"
#include "access/contacts/field_value_sql.h"
#include "core/trace.h"

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
// The columns taken from the caller's record: all but the ID and [Modified].
constexpr size_t kFirstDataColumn = 1;
constexpr size_t kModifiedColumn = 17;

constexpr Sql kContactSelectHead =
    u"SELECT [ContactID], [Title], [Suffix], [LastName], [FirstName], [MiddleName], [NickName], [SpouseName], "
    u"[BirthDate], [Anniversary], [CompanyName], [Department], [JobTitle], [Description], [Ringtone], [Photo], "
    u"[MessageAlert], [Modified] FROM [tContact] WHERE [ProfileID] = '";

constexpr Sql kContactInsertHead =
    u"INSERT INTO [tContact] ([ProfileID], [Title], [Suffix], [LastName], [FirstName], [MiddleName], [NickName], "
    u"[SpouseName], [BirthDate], [Anniversary], [CompanyName], [Department], [JobTitle], [Description], "
    u"[Ringtone], [Photo], [MessageAlert], [Modified]) VALUES('";

// The text before each data column's value, then the one before the
// current time in [Modified].
constexpr Sql kContactUpdateTexts[] = {
    u"UPDATE [tContact] SET [Title] = '", u"', [Suffix] = '", u"', [LastName] = '", u"', [FirstName] = '",
    u"', [MiddleName] = '", u"', [NickName] = '", u"', [SpouseName] = '", u"', [BirthDate] = '",
    u"', [Anniversary] = '", u"', [CompanyName] = '", u"', [Department] = '", u"', [JobTitle] = '",
    u"', [Description] = '", u"', [Ringtone] = '", u"', [Photo] = '", u"', [MessageAlert] = '",
    u"', [Modified] = '",
};

// The texts name the columns of the field map, in its order.
constexpr bool ContactTextsMatchTheFieldMap() {
    using detail_checks::Eat;
    using detail_checks::EatColumns;
    std::u16string_view select = kContactSelectHead.view();
    if (!Eat(select, u"SELECT ") || !EatColumns(select, kContactFields, 0) || !Eat(select, u" FROM ")) return false;
    std::u16string_view insert = kContactInsertHead.view();
    insert.remove_prefix(insert.find(u'('));
    if (!Eat(insert, u"([ProfileID], ") || !EatColumns(insert, kContactFields, kFirstDataColumn) ||
        insert != u") VALUES('")
        return false;
    for (size_t i = 0; i < std::size(kContactUpdateTexts); ++i) {
        std::u16string_view text = kContactUpdateTexts[i].view();
        if (!text.ends_with(u" = '")) return false;
        text.remove_suffix(4);
        if (!text.ends_with(kContactFields[kFirstDataColumn + i].column.view())) return false;
    }
    return std::size(kContactUpdateTexts) == kModifiedColumn;
}
static_assert(ContactTextsMatchTheFieldMap(), "contact statements and columns disagree");

// The profile's contacts, in the engine's order.
SqlText ContactListQuery(BSTR profileID) {
    SqlText sql(kContactSelectHead);
    sql.AppendId(profileID).Append(u"';");
    return sql;
}

bool IsEmpty(BSTR text) { return SysStringLen(text) == 0; }

}  // namespace

CContactAccess::CContactAccess() { SendTrace("CContactAccess::CContactAccess.[ENTER]"); }

CContactAccess::~CContactAccess() { SendTrace("CContactAccess::~CContactAccess.[ENTER]"); }

STDMETHODIMP CContactAccess::GetNumOfContacts(LONG* plErrorID, LONG* plNumOfContacts) {
    return GetNumOfRecords(plErrorID, plNumOfContacts, m_cache, std::span(kContactFields), [this] { return ContactListQuery(m_bstrProfileID); });
}

STDMETHODIMP CContactAccess::GetContactByIndex(LONG* plErrorID, LONG lIndex, tagContactInfo* pContactInfo) {
    return GetRecordByIndex(plErrorID, lIndex, pContactInfo, m_cache);
}

STDMETHODIMP CContactAccess::GetAllContacts(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppContactInfo) {
    return GetAllRecords<tagContactInfo>(plErrorID, plNum, ppContactInfo, std::span(kContactFields), [this] { return ContactListQuery(m_bstrProfileID); });
}

STDMETHODIMP CContactAccess::GetContactByID(LONG* plErrorID, BSTR bstrContactID, tagContactInfo* pContactInfo) {
    if (IsEmpty(bstrContactID) || !pContactInfo)
        return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    return GetOneRecord(plErrorID, pContactInfo, std::span(kContactFields), [&] {
        SqlText sql(kContactSelectHead);
        sql.AppendId(m_bstrProfileID).Append(u"' AND [ContactID] = '");
        sql.AppendId(bstrContactID).Append(u"';");
        return sql;
    });
}

STDMETHODIMP CContactAccess::ExistContact(LONG* plErrorID, BSTR bstrContactID, VARIANT_BOOL* pvbFound) {
    if (IsEmpty(bstrContactID) || !pvbFound) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    *pvbFound = VARIANT_FALSE;
    CriticalSectionLock lock(m_csAccess);
    if (!m_pPimDbAccess) return ReportPimError(plErrorID, PIMERR_NOT_CONNECTED, E_POINTER);
    // Any profile's contact counts. A failed look-up is only an answer of
    // "don't know", so it leaves the caller's error ID alone.
    SqlText sql(u"SELECT [ContactID] FROM [tContact] WHERE [ContactID] = '");
    sql.AppendQuoted(bstrContactID).Append(u"';");
    ResultSet rs(m_pPimDbAccess, nullptr, sql.ToBstr());
    if (!rs.ok()) return E_UNEXPECTED;
    *pvbFound = rs.rows() >= 1 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CContactAccess::AddContact(LONG* plErrorID, tagContactInfo* pContactInfo, BSTR* pbstrContactID) {
    if (!pContactInfo) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    return ExecuteStatement(plErrorID, pbstrContactID, [&] {
        SqlText sql(kContactInsertHead);
        sql.AppendId(m_bstrProfileID);
        for (size_t column = kFirstDataColumn; column < kModifiedColumn; ++column)
            AppendFieldValue(sql.Append(u"', '"), pContactInfo, kContactFields[column]);
        // The time of this write, whatever the record says.
        sql.Append(u"', '").AppendNow().Append(u"');");
        return sql;
    });
}

STDMETHODIMP CContactAccess::ModifyContactByID(LONG* plErrorID, BSTR bstrContactID, tagContactInfo* pContactInfo) {
    if (IsEmpty(bstrContactID) || !pContactInfo)
        return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    return ExecuteStatement(plErrorID, nullptr, [&] {
        SqlText sql;
        for (size_t column = kFirstDataColumn; column < kModifiedColumn; ++column)
            AppendFieldValue(sql.Append(kContactUpdateTexts[column - kFirstDataColumn]), pContactInfo,
                             kContactFields[column]);
        sql.Append(kContactUpdateTexts[kModifiedColumn - kFirstDataColumn]).AppendNow();
        sql.Append(u"' WHERE [ContactID] = '").AppendId(bstrContactID).Append(u"';");
        return sql;
    });
}

STDMETHODIMP CContactAccess::DeleteContactByID(LONG* plErrorID, BSTR bstrContactID) {
    if (IsEmpty(bstrContactID)) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    // One hold of the lock for the contact and everything that hangs off it.
    CriticalSectionLock lock(m_csAccess);
    HRESULT hr = ExecuteStatement(plErrorID, nullptr, [&] {
        SqlText sql(u"DELETE FROM [tContact] WHERE [ContactID] = '");
        sql.AppendId(bstrContactID).Append(u"';");
        return sql;
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
        SqlText sql(u"DELETE FROM [tContact] WHERE [ProfileID] = '");
        sql.AppendId(m_bstrProfileID).Append(u"';");
        return sql;
    });
}

}  // namespace calyra
