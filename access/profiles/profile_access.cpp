// Profile access.
#include "access/profiles/profile_access.h"

#include <cstddef>

#include "core/trace.h"

namespace calyra {
namespace {

// Result columns of the profile list, in query order.
const FieldMap kProfileFields[] = {
    {u"[ProfileID]", FieldKind::Text, offsetof(tagProfileInfo, bstrProfileID), 0},
    {u"[IMEI]", FieldKind::Text, offsetof(tagProfileInfo, bstrIMEI), 0},
    {u"[SN]", FieldKind::Text, offsetof(tagProfileInfo, bstrSN), 0},
    {u"[HXRID]", FieldKind::Text, offsetof(tagProfileInfo, bstrHXRID), 0},
    {u"[Model]", FieldKind::Text, offsetof(tagProfileInfo, bstrModel), 0},
    {u"[ProfileName]", FieldKind::Text, offsetof(tagProfileInfo, bstrName), 0},
};

SqlText ProfileListQuery() {
    static const SqlText query(u"SELECT [ProfileID], [IMEI], [SN], [HXRID], [Model], [ProfileName] FROM [tProfile];");
    return query;
}

bool IsEmpty(BSTR text) { return SysStringLen(text) == 0; }

}  // namespace

CProfileAccess::CProfileAccess() { SendTrace("CProfileAccess::CProfileAccess.[ENTER]"); }

CProfileAccess::~CProfileAccess() { SendTrace("CProfileAccess::~CProfileAccess.[ENTER]"); }

STDMETHODIMP CProfileAccess::GetNumOfProfiles(LONG* plErrorID, LONG* plNumOfProfiles) {
    return GetNumOfRecords(plErrorID, plNumOfProfiles, m_cache, std::span(kProfileFields), ProfileListQuery);
}

STDMETHODIMP CProfileAccess::GetProfileByIndex(LONG* plErrorID, LONG lIndex, tagProfileInfo* pProfileInfo) {
    return GetRecordByIndex(plErrorID, lIndex, pProfileInfo, m_cache);
}

STDMETHODIMP CProfileAccess::GetAllProfiles(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppProfileInfo) {
    return GetAllRecords<tagProfileInfo>(plErrorID, plNum, ppProfileInfo, std::span(kProfileFields),
                                         ProfileListQuery);
}

STDMETHODIMP CProfileAccess::AddProfile(LONG* plErrorID, tagProfileInfo* pProfileInfo, BSTR* pbstrProfileID) {
    if (!pProfileInfo || !pbstrProfileID || IsEmpty(pProfileInfo->bstrName))
        return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    return ExecuteStatement(plErrorID, pbstrProfileID, [&] {
        SqlText sql(u"INSERT INTO [tProfile] ([IMEI], [SN], [HXRID], [Model], [ProfileName]) VALUES('");
        sql.AppendQuoted(pProfileInfo->bstrIMEI).Append(u"', '");
        sql.AppendQuoted(pProfileInfo->bstrSN).Append(u"', '");
        sql.AppendQuoted(pProfileInfo->bstrHXRID).Append(u"', '");
        sql.AppendQuoted(pProfileInfo->bstrModel).Append(u"', '");
        sql.AppendQuoted(pProfileInfo->bstrName).Append(u"');");
        return sql;
    });
}

STDMETHODIMP CProfileAccess::DeleteProfileByID(LONG* plErrorID, BSTR bstrProfileID) {
    if (IsEmpty(bstrProfileID)) return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    return ExecuteStatement(plErrorID, nullptr, [&] {
        SqlText sql(u"DELETE FROM [tProfile] WHERE [ProfileID] = '");
        sql.AppendId(bstrProfileID).Append(u"';");
        return sql;
    });
}

STDMETHODIMP CProfileAccess::ModifyProfileByID(LONG* plErrorID, BSTR bstrProfileID, tagProfileInfo* pProfileInfo) {
    if (IsEmpty(bstrProfileID) || !pProfileInfo || IsEmpty(pProfileInfo->bstrName))
        return ReportPimError(plErrorID, PIMERR_INVALID_ARGUMENT, E_INVALIDARG);
    return ExecuteStatement(plErrorID, nullptr, [&] {
        SqlText sql(u"UPDATE [tProfile] SET [IMEI] = '");
        sql.AppendQuoted(pProfileInfo->bstrIMEI).Append(u"', [SN] = '");
        sql.AppendQuoted(pProfileInfo->bstrSN).Append(u"', [HXRID] = '");
        sql.AppendQuoted(pProfileInfo->bstrHXRID).Append(u"', [Model] = '");
        sql.AppendQuoted(pProfileInfo->bstrModel).Append(u"', [ProfileName] = '");
        sql.AppendQuoted(pProfileInfo->bstrName).Append(u"' WHERE [ProfileID] = '");
        sql.AppendId(bstrProfileID).Append(u"'");
        return sql;
    });
}

}  // namespace calyra
