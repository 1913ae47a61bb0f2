// CContactGroupAccess: the contact groups of one device profile
// ([tContactGroup]).
//
// Groups have a name, a sync flag and a time of change; photo and ringtone
// exist in the record only and always read back NULL. A record cache,
// refilled only by GetNumOfContactGroups, serves GetContactGroupByIndex.
// Deleting groups also deletes their membership rows; the contacts stay.
// Memberships themselves are read and written through CContactAccess.
//
// Ownership: records, texts and arrays handed out are new copies the caller
// owns; records passed in are only read. Thread-safety: every operation
// holds the object lock after its argument checks.
#pragma once

#include "core/pim_access_object.h"

namespace calyra {

class CContactGroupAccess
    : public CPimProfiledAccessObject<CContactGroupAccess, IContactGroupAccess, &CLSID_ContactGroupAccess> {
public:
    CContactGroupAccess();
    ~CContactGroupAccess() override;

    void ClearCache() override { m_cache.Clear(); }

    STDMETHODIMP GetNumOfContactGroups(LONG* plErrorID, LONG* plNumOfContactGroups) override;
    STDMETHODIMP GetContactGroupByIndex(LONG* plErrorID, LONG lIndex, tagContactGroupInfo* pContactGroupInfo) override;
    STDMETHODIMP GetAllContactGroups(LONG* plErrorID, LONG* plNum, SAFEARRAY** ppContactGroupInfo) override;
    STDMETHODIMP AddContactGroup(LONG* plErrorID, tagContactGroupInfo* pContactGroupInfo,
                                 BSTR* pbstrContactGroupID) override;
    STDMETHODIMP DeleteContactGroupByID(LONG* plErrorID, BSTR bstrContactGroupID) override;
    STDMETHODIMP DeleteAllContactGroups(LONG* plErrorID) override;
    STDMETHODIMP ModifyContactGroupByID(LONG* plErrorID, BSTR bstrContactGroupID,
                                        tagContactGroupInfo* pContactGroupInfo) override;

private:
    // Cascade steps: they report nothing and return the statement's status
    // (E_POINTER without a connection) for callers to ignore.
    HRESULT DeleteContactGroupMapByContactGroupID(BSTR bstrContactGroupID);
    HRESULT DeleteContactGroupMapOfAllContactGroups();

    RecordCache<tagContactGroupInfo> m_cache;  // Guarded by m_csAccess.
};

}  // namespace calyra
