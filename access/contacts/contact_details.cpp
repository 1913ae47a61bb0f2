// Contact access: the five detail families, each driven by its
// DetailFamily description through the same five operations.
#include "access/contacts/contact_access.h"
#include "tables/contact_detail_family.h"

namespace calyra {

// ---- The shared operations ---------------------------------------------------

// Items of any profile's contact, and of a contact that no longer exists:
// the list goes by contact ID alone.
template <class Record>
HRESULT CContactAccess::ListDetails(LONG* plErrorID, BSTR bstrContactID, LONG* plNum, SAFEARRAY** ppItems) {
    const DetailFamily& family = DetailFamilyOf<Record>::value;
    if (IsEmpty(bstrContactID) || !plNum || !ppItems) return InvalidArgument(plErrorID);
    return GetAllRecords<Record>(plErrorID, plNum, ppItems, family.fields,
                                 [&] { return QuotedStatement(family.listHead, bstrContactID, u"';"); });
}

template <class Record>
HRESULT CContactAccess::AddDetail(LONG* plErrorID, BSTR bstrContactID, const Record* item, BSTR* pbstrItemID) {
    const DetailFamily& family = DetailFamilyOf<Record>::value;
    if (IsEmpty(bstrContactID) || !item || (family.idOutRequired && !pbstrItemID)) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, pbstrItemID, [&] {
        SqlText sql(family.insertHead);
        sql.AppendQuoted(bstrContactID).Append(u"', '");
        // The record's own ID (column 0) is the database's to give.
        AppendValues(sql, item, family.fields.subspan(1));
        sql.Append(u"');");
        return sql;
    });
}

HRESULT CContactAccess::DeleteDetailByID(LONG* plErrorID, const DetailFamily& family, BSTR bstrItemID) {
    if (IsEmpty(bstrItemID)) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, nullptr, [&] {
        return QuotedStatement(family.deleteByIdHead, bstrItemID, family.deleteByIdClosing);
    });
}

HRESULT CContactAccess::DeleteDetailsByContactID(LONG* plErrorID, const DetailFamily& family, BSTR bstrContactID) {
    if (IsEmpty(bstrContactID)) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, nullptr,
                            [&] { return QuotedStatement(family.deleteByContactHead, bstrContactID, u"';"); });
}

template <class Record>
HRESULT CContactAccess::ModifyDetailByID(LONG* plErrorID, BSTR bstrItemID, const Record* item) {
    const DetailFamily& family = DetailFamilyOf<Record>::value;
    if (IsEmpty(bstrItemID) || !item) return InvalidArgument(plErrorID);
    return ExecuteStatement(plErrorID, nullptr, [&] {
        // Every value column is rewritten; the item keeps its contact.
        SqlText sql(family.updateHead);
        AppendAssignments(sql, item, {family.fields.subspan(1)});
        sql.Append(u"' WHERE ").Append(family.fields[0].column).Append(u" = '");
        sql.AppendQuoted(bstrItemID).Append(u"';");
        return sql;
    });
}

void CContactAccess::DeleteDetailsOfAllContacts() {
    for (const DetailFamily* family : kDetailFamiliesDeletedWithContact) {
        ExecuteFollowUp(QuotedStatement(*family->profileDeleteHead, m_bstrProfileID, u"');"));
    }
}

// ---- The interface, family by family ------------------------------------------

STDMETHODIMP CContactAccess::GetAddressesByContactID(LONG* plErrorID, BSTR bstrContactID, LONG* plNum,
                                                     SAFEARRAY** ppAddresses) {
    return ListDetails<tagAddress>(plErrorID, bstrContactID, plNum, ppAddresses);
}
STDMETHODIMP CContactAccess::AddAddressToContact(LONG* plErrorID, BSTR bstrContactID, tagAddress* pAddress,
                                                 BSTR* pbstrAddressID) {
    return AddDetail(plErrorID, bstrContactID, pAddress, pbstrAddressID);
}
STDMETHODIMP CContactAccess::DeleteAddressByID(LONG* plErrorID, BSTR bstrAddressID) {
    return DeleteDetailByID(plErrorID, DetailFamilyOf<tagAddress>::value, bstrAddressID);
}
STDMETHODIMP CContactAccess::DeleteAddressesByContactID(LONG* plErrorID, BSTR bstrContactID) {
    return DeleteDetailsByContactID(plErrorID, DetailFamilyOf<tagAddress>::value, bstrContactID);
}
STDMETHODIMP CContactAccess::ModifyAddressByID(LONG* plErrorID, BSTR bstrAddressID, tagAddress* pAddress) {
    return ModifyDetailByID(plErrorID, bstrAddressID, pAddress);
}

STDMETHODIMP CContactAccess::GetPhoneNumbersByContactID(LONG* plErrorID, BSTR bstrContactID, LONG* plNum,
                                                        SAFEARRAY** ppPhoneNumber) {
    return ListDetails<tagPhoneNumber>(plErrorID, bstrContactID, plNum, ppPhoneNumber);
}
STDMETHODIMP CContactAccess::AddPhoneNumberToContact(LONG* plErrorID, BSTR bstrContactID, tagPhoneNumber* pPhoneNumber,
                                                     BSTR* pbstrPhoneNumberID) {
    return AddDetail(plErrorID, bstrContactID, pPhoneNumber, pbstrPhoneNumberID);
}
STDMETHODIMP CContactAccess::DeletePhoneNumberByID(LONG* plErrorID, BSTR bstrPhoneNumberID) {
    return DeleteDetailByID(plErrorID, DetailFamilyOf<tagPhoneNumber>::value, bstrPhoneNumberID);
}
STDMETHODIMP CContactAccess::DeletePhoneNumbersByContactID(LONG* plErrorID, BSTR bstrContactID) {
    return DeleteDetailsByContactID(plErrorID, DetailFamilyOf<tagPhoneNumber>::value, bstrContactID);
}
STDMETHODIMP CContactAccess::ModifyPhoneNumberByID(LONG* plErrorID, BSTR bstrPhoneNumberID,
                                                   tagPhoneNumber* pPhoneNumber) {
    return ModifyDetailByID(plErrorID, bstrPhoneNumberID, pPhoneNumber);
}

STDMETHODIMP CContactAccess::GetEmailsByContactID(LONG* plErrorID, BSTR bstrContactID, LONG* plNum,
                                                  SAFEARRAY** ppEmail) {
    return ListDetails<tagEmail>(plErrorID, bstrContactID, plNum, ppEmail);
}
STDMETHODIMP CContactAccess::AddEmailToContact(LONG* plErrorID, BSTR bstrContactID, tagEmail* pEmail,
                                               BSTR* pbstrEmailID) {
    return AddDetail(plErrorID, bstrContactID, pEmail, pbstrEmailID);
}
STDMETHODIMP CContactAccess::DeleteEmailByID(LONG* plErrorID, BSTR bstrEmailID) {
    return DeleteDetailByID(plErrorID, DetailFamilyOf<tagEmail>::value, bstrEmailID);
}
STDMETHODIMP CContactAccess::DeleteEmailsByContactID(LONG* plErrorID, BSTR bstrContactID) {
    return DeleteDetailsByContactID(plErrorID, DetailFamilyOf<tagEmail>::value, bstrContactID);
}
STDMETHODIMP CContactAccess::ModifyEmailByID(LONG* plErrorID, BSTR bstrEmailID, tagEmail* pEmail) {
    return ModifyDetailByID(plErrorID, bstrEmailID, pEmail);
}

STDMETHODIMP CContactAccess::GetWebUrlsByContactID(LONG* plErrorID, BSTR bstrContactID, LONG* plNum,
                                                   SAFEARRAY** ppWebUrl) {
    return ListDetails<tagWebUrl>(plErrorID, bstrContactID, plNum, ppWebUrl);
}
STDMETHODIMP CContactAccess::AddWebUrlToContact(LONG* plErrorID, BSTR bstrContactID, tagWebUrl* pWebUrl,
                                                BSTR* pbstrWebUrlID) {
    return AddDetail(plErrorID, bstrContactID, pWebUrl, pbstrWebUrlID);
}
STDMETHODIMP CContactAccess::DeleteWebUrlByID(LONG* plErrorID, BSTR bstrWebUrlID) {
    return DeleteDetailByID(plErrorID, DetailFamilyOf<tagWebUrl>::value, bstrWebUrlID);
}
STDMETHODIMP CContactAccess::DeleteWebUrlsByContactID(LONG* plErrorID, BSTR bstrContactID) {
    return DeleteDetailsByContactID(plErrorID, DetailFamilyOf<tagWebUrl>::value, bstrContactID);
}
STDMETHODIMP CContactAccess::ModifyWebUrlByID(LONG* plErrorID, BSTR bstrWebUrlID, tagWebUrl* pWebUrl) {
    return ModifyDetailByID(plErrorID, bstrWebUrlID, pWebUrl);
}

STDMETHODIMP CContactAccess::GetIMsByContactID(LONG* plErrorID, BSTR bstrContactID, LONG* plNum, SAFEARRAY** ppIM) {
    return ListDetails<tagIM>(plErrorID, bstrContactID, plNum, ppIM);
}
STDMETHODIMP CContactAccess::AddIMToContact(LONG* plErrorID, BSTR bstrContactID, tagIM* pIM, BSTR* pbstrIMID) {
    return AddDetail(plErrorID, bstrContactID, pIM, pbstrIMID);
}
STDMETHODIMP CContactAccess::DeleteIMByID(LONG* plErrorID, BSTR bstrIMID) {
    return DeleteDetailByID(plErrorID, DetailFamilyOf<tagIM>::value, bstrIMID);
}
STDMETHODIMP CContactAccess::DeleteIMsByContactID(LONG* plErrorID, BSTR bstrContactID) {
    return DeleteDetailsByContactID(plErrorID, DetailFamilyOf<tagIM>::value, bstrContactID);
}
STDMETHODIMP CContactAccess::ModifyIMByID(LONG* plErrorID, BSTR bstrIMID, tagIM* pIM) {
    return ModifyDetailByID(plErrorID, bstrIMID, pIM);
}

}  // namespace calyra
