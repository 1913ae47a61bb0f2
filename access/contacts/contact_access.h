// CContactAccess: the contacts of one device profile ([tContact]), their
// five kinds of detail items and their memberships in contact groups.
//
// Contacts are read through the current profile; detail items and the
// existence test are not (they go by contact or item ID alone). A record
// cache, refilled only by GetNumOfContacts, serves GetContactByIndex.
// Deleting a contact also deletes its addresses, phone numbers, e-mail and
// web addresses and memberships; its instant-messaging addresses stay.
//
// Ownership: records, texts and arrays handed out are new copies the caller
// owns; records passed in are only read. Thread-safety: every operation
// holds the object lock after its argument checks; the lock is re-entrant,
// so the delete cascades call the object's own operations under it.
#pragma once

#include "core/pim_access_object.h"

namespace calyra {

struct DetailFamily;

class CContactAccess : public CPimProfiledAccessObject<CContactAccess, IContactAccess, &CLSID_ContactAccess> {
public:
    CContactAccess();
    ~CContactAccess() override;

    void ClearCache() override { m_cache.Clear(); }

    // Contacts.
    STDMETHODIMP GetNumOfContacts(LONG* plErrorID, LONG* plNumOfContacts) override;
    STDMETHODIMP GetContactByIndex(LONG* plErrorID, LONG lIndex, tagContactInfo* pContactInfo) override;
    STDMETHODIMP GetAllContacts(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppContactInfo) override;
    STDMETHODIMP AddContact(LONG* plErrorID, tagContactInfo* pContactInfo, BSTR* pbstrContactID) override;
    STDMETHODIMP DeleteContactByID(LONG* plErrorID, BSTR bstrContactID) override;
    STDMETHODIMP DeleteAllContacts(LONG* plErrorID) override;
    STDMETHODIMP ModifyContactByID(LONG* plErrorID, BSTR bstrContactID, tagContactInfo* pContactInfo) override;
    STDMETHODIMP GetContactByID(LONG* plErrorID, BSTR bstrContactID, tagContactInfo* pContactInfo) override;
    STDMETHODIMP ExistContact(LONG* plErrorID, BSTR bstrContactID, VARIANT_BOOL* pvbFound) override;

    // Group membership.
    STDMETHODIMP GetContactsByContactGroupID(LONG* plErrorID, BSTR bstrContactGroupID, LONG* plNum,
                                             SAFEARRAY** ppContactInfo) override;
    STDMETHODIMP GetContactGroupsByContactID(LONG* plErrorID, BSTR bstrContactID, LONG* plNum,
                                             SAFEARRAY** ppContactGroupInfo) override;
    STDMETHODIMP AddContactToContactGroup(LONG* plErrorID, BSTR bstrContactID, BSTR bstrContactGroupID,
                                          VARIANT_BOOL bMultiple) override;
    STDMETHODIMP RemoveContactFromContactGroup(LONG* plErrorID, BSTR bstrContactID, BSTR bstrContactGroupID) override;

    // Detail items, five families of five operations.
    STDMETHODIMP GetAddressesByContactID(LONG* plErrorID, BSTR bstrContactID, LONG* plNum,
                                         SAFEARRAY** ppAddresses) override;
    STDMETHODIMP AddAddressToContact(LONG* plErrorID, BSTR bstrContactID, tagAddress* pAddress,
                                     BSTR* pbstrAddressID) override;
    STDMETHODIMP DeleteAddressByID(LONG* plErrorID, BSTR bstrAddressID) override;
    STDMETHODIMP DeleteAddressesByContactID(LONG* plErrorID, BSTR bstrContactID) override;
    STDMETHODIMP ModifyAddressByID(LONG* plErrorID, BSTR bstrAddressID, tagAddress* pAddress) override;

    STDMETHODIMP GetPhoneNumbersByContactID(LONG* plErrorID, BSTR bstrContactID, LONG* plNum,
                                            SAFEARRAY** ppPhoneNumber) override;
    STDMETHODIMP AddPhoneNumberToContact(LONG* plErrorID, BSTR bstrContactID, tagPhoneNumber* pPhoneNumber,
                                         BSTR* pbstrPhoneNumberID) override;
    STDMETHODIMP DeletePhoneNumberByID(LONG* plErrorID, BSTR bstrPhoneNumberID) override;
    STDMETHODIMP DeletePhoneNumbersByContactID(LONG* plErrorID, BSTR bstrContactID) override;
    STDMETHODIMP ModifyPhoneNumberByID(LONG* plErrorID, BSTR bstrPhoneNumberID, tagPhoneNumber* pPhoneNumber) override;

    STDMETHODIMP GetEmailsByContactID(LONG* plErrorID, BSTR bstrContactID, LONG* plNum, SAFEARRAY** ppEmail) override;
    STDMETHODIMP AddEmailToContact(LONG* plErrorID, BSTR bstrContactID, tagEmail* pEmail, BSTR* pbstrEmailID) override;
    STDMETHODIMP DeleteEmailByID(LONG* plErrorID, BSTR bstrEmailID) override;
    STDMETHODIMP DeleteEmailsByContactID(LONG* plErrorID, BSTR bstrContactID) override;
    STDMETHODIMP ModifyEmailByID(LONG* plErrorID, BSTR bstrEmailID, tagEmail* pEmail) override;

    STDMETHODIMP GetWebUrlsByContactID(LONG* plErrorID, BSTR bstrContactID, LONG* plNum, SAFEARRAY** ppWebUrl) override;
    STDMETHODIMP AddWebUrlToContact(LONG* plErrorID, BSTR bstrContactID, tagWebUrl* pWebUrl,
                                    BSTR* pbstrWebUrlID) override;
    STDMETHODIMP DeleteWebUrlByID(LONG* plErrorID, BSTR bstrWebUrlID) override;
    STDMETHODIMP DeleteWebUrlsByContactID(LONG* plErrorID, BSTR bstrContactID) override;
    STDMETHODIMP ModifyWebUrlByID(LONG* plErrorID, BSTR bstrWebUrlID, tagWebUrl* pWebUrl) override;

    STDMETHODIMP GetIMsByContactID(LONG* plErrorID, BSTR bstrContactID, LONG* plNum, SAFEARRAY** ppIM) override;
    STDMETHODIMP AddIMToContact(LONG* plErrorID, BSTR bstrContactID, tagIM* pIM, BSTR* pbstrIMID) override;
    STDMETHODIMP DeleteIMByID(LONG* plErrorID, BSTR bstrIMID) override;
    STDMETHODIMP DeleteIMsByContactID(LONG* plErrorID, BSTR bstrContactID) override;
    STDMETHODIMP ModifyIMByID(LONG* plErrorID, BSTR bstrIMID, tagIM* pIM) override;

private:
    // The five detail operations, once for all families (contact_details.cpp).
    // The record type selects the family's description, so an operation
    // cannot pair one family's record with another family's statements.
    template <class Record>
    HRESULT ListDetails(LONG* plErrorID, BSTR bstrContactID, LONG* plNum, SAFEARRAY** ppItems);
    template <class Record>
    HRESULT AddDetail(LONG* plErrorID, BSTR bstrContactID, const Record* item, BSTR* pbstrItemID);
    template <class Record>
    HRESULT ModifyDetailByID(LONG* plErrorID, BSTR bstrItemID, const Record* item);
    HRESULT DeleteDetailByID(LONG* plErrorID, const DetailFamily& family, BSTR bstrItemID);
    HRESULT DeleteDetailsByContactID(LONG* plErrorID, const DetailFamily& family, BSTR bstrContactID);

    // Cascade steps. They report nothing; they return the status of the
    // statement (E_POINTER without a connection) for callers to ignore.
    // Deletes the items of every contact of the profile in each family that
    // goes with its contact. REQUIRES: m_csAccess held.
    void DeleteDetailsOfAllContacts();
    HRESULT DeleteContactGroupMapByContactID(BSTR bstrContactID);
    HRESULT DeleteContactGroupMapOfAllContacts();

    RecordCache<tagContactInfo> m_cache;  // Guarded by m_csAccess.
};

}  // namespace calyra
