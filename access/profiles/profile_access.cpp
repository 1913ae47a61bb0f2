// Profile access.
#include "access/profiles/profile_access.h"

#include <cstddef>

#include "core/trace.h"

namespace calyra {
namespace {

// Result columns of the profile list, in query order.
constexpr FieldMap kProfileFields[] = {
    {u"[ProfileID]", FieldKind::Text, offsetof(tagProfileInfo, bstrProfileID), 0},
    {u"[IMEI]", FieldKind::Text, offsetof(tagProfileInfo, bstrIMEI), 0},
    {u"[SN]", FieldKind::Text, offsetof(tagProfileInfo, bstrSN), 0},
    {u"[HXRID]", FieldKind::Text, offsetof(tagProfileInfo, bstrHXRID), 0},
    {u"[Model]", FieldKind::Text, offsetof(tagProfileInfo, bstrModel), 0},
    {u"[ProfileName]", FieldKind::Text, offsetof(tagProfileInfo, bstrName), 0},
};

// The columns a write takes from the record: all but the ID.
constexpr std::span<const FieldMap> kProfileDataFields = std::span(kProfileFields).subspan(1);

constexpr Sql kProfileSelect = u"SELECT [ProfileID], [IMEI], [SN], [HXRID], [Model], [ProfileName] FROM [tProfile];";
static_assert(ListsColumns(kProfileSelect.view(), u"SELECT ", kProfileFields, u" FROM "));

constexpr Sql kProfileInsertHead = u"INSERT INTO [tProfile] ([IMEI], [SN], [HXRID], [Model], [ProfileName]) VALUES('";
static_assert(ListsColumns(kProfileInsertHead.view(), u"(", kProfileDataFields, u") VALUES('"));

SqlText ProfileListQuery() {
    static const SqlText query(kProfileSelect);
    return query;
}

}  // namespace

CProfileAccess::CProfileAccess() { SendTrace("CProfileAccess::CProfileAccess.[ENTER]"); }

CProfileAccess::~CProfileAccess() { SendTrace("CProfileAccess::~CProfileAccess.[ENTER]"); }

STDMETHODIMP CProfileAccess::GetNumOfProfiles(LONG* plErrorID, LONG* plNumOfProfiles) {
    return GetNumOfRecords(plErrorID, plNumOfProfiles, m_cache, kProfileFields, ProfileListQuery);
}

STDMETHODIMP CProfileAccess::GetProfileByIndex(LONG* plErrorID, LONG lIndex, tagProfileInfo* pProfileInfo) {
    return GetRecordByIndex(plErrorID, lIndex, pProfileInfo, m_cache);
}

STDMETHODIMP CProfileAccess::GetAllProfiles(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppProfileInfo) {
    return GetAllRecords<tagProfileInfo>(plErrorID, plNum, ppProfileInfo, kProfileFields, ProfileListQuery);
}

STDMETHODIMP CProfileAccess::AddProfile(LONG* plErrorID, tagProfileInfo* pProfileInfo, BSTR* pbstrProfileID) {
    if (!pProfileInfo || !pbstrProfileID || IsEmpty(pProfileInfo->bstrName)) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, pbstrProfileID, [&] {
        SqlText sql(kProfileInsertHead);
        AppendValues(sql, pProfileInfo, kProfileDataFields);
        sql.Append(u"');");
        return sql;
    });
}

STDMETHODIMP CProfileAccess::DeleteProfileByID(LONG* plErrorID, BSTR bstrProfileID) {
    if (IsEmpty(bstrProfileID)) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, nullptr, [&] {
        return QuotedStatement(u"DELETE FROM [tProfile] WHERE [ProfileID] = '", bstrProfileID, u"';");
    });
}

STDMETHODIMP CProfileAccess::ModifyProfileByID(LONG* plErrorID, BSTR bstrProfileID, tagProfileInfo* pProfileInfo) {
    if (IsEmpty(bstrProfileID) || !pProfileInfo || IsEmpty(pProfileInfo->bstrName)) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, nullptr, [&] {
        SqlText sql(u"UPDATE [tProfile] SET ");
        AppendAssignments(sql, pProfileInfo, {kProfileDataFields});
        sql.Append(u"' WHERE [ProfileID] = '");
        sql.AppendQuoted(bstrProfileID).Append(u"'");
        return sql;
    });
}

}  // namespace calyra
